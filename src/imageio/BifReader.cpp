// BIF: a text header naming the geometry, sample type and byte order of raw
// pixels in a data file beside it or after the header in the same file.
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>

#include "IOGraphics.h"
#include "ReaderSupport.h"

namespace obra {

namespace {

// Text beyond this on one line is dropped, so a data file without line breaks
// cannot make one line as large as itself.
constexpr size_t MaxLineLength = 64 * 1024;

struct FileCloser {
  void operator()(std::FILE* F) const { std::fclose(F); }
};
using TextFile = std::unique_ptr<std::FILE, FileCloser>;

// Reads one line without its line break (LF or CR LF); returns false when the
// end of the file has been reached after it.
bool ReadLine(std::FILE* F, std::string& Line) {
  Line.clear();
  int C;
  while ((C = std::getc(F)) != EOF && C != '\n')
    if (Line.size() < MaxLineLength) Line += static_cast<char>(C);
  if (!Line.empty() && Line.back() == '\r') Line.pop_back();
  if (C == EOF) return false;
  const int Next = std::getc(F);
  if (Next == EOF) return false;
  std::ungetc(Next, F);
  return true;
}

struct BifKeys {
  int32_t Header = -1;
  std::string DataType;
  std::string ByteOrder = "PC";
};

void OfferLine(const std::string& Line, ImageRecord& R, BifKeys& K) {
  ParseKeyText(Line, "FILENAME", R.FileName);
  ParseKeyInt(Line, "WIDTH", R.Width);
  ParseKeyInt(Line, "HEIGHT", R.Height);
  ParseKeyInt(Line, "HEADER", K.Header);
  ParseKeyInt(Line, "CHANNELS", R.Channels);
  ParseKeyText(Line, "DATATYPE", K.DataType);
  ParseKeyText(Line, "BYTEORDER", K.ByteOrder);
}

// Bytes of one sample of the types a BIF file may hold, 0 for the others.
int SampleBytesOf(SampleType Type) {
  switch (Type) {
    case SampleType::Byte:
    case SampleType::Word:
    case SampleType::SmallInt:
    case SampleType::Single:
      return SampleTypeBytes(Type);
    default:
      return 0;
  }
}

}  // namespace

void ReadBifHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                   const MessageSink& Sink) {
  const std::string Name = BaseName(FileName);
  auto Fault = [&](const std::string& Text) { detail::Refuse(R, Text, ShowMessages, Sink); };

  R.FileName.clear();
  R.Width = 0;
  R.Height = 0;
  R.Channels = -1;
  R.FlipRows = false;
  R.IsColorCube = false;
  R.BZero = 0.0;
  R.BScale = 1.0;
  R.Valid = true;
  BifKeys K;

  {
    TextFile Header(detail::IsRegularFile(FileName) ? std::fopen(FileName.c_str(), "rb") : nullptr);
    if (!Header) return Fault("Image " + Name + " cannot be opened.");
    std::string Line;
    ReadLine(Header.get(), Line);
    if (UpperCase(Line.substr(0, 3)) != "BIF")
      return Fault("File " + Name + " is not a correct BIF image file!");
    bool More;
    do {
      More = ReadLine(Header.get(), Line);
      OfferLine(Line, R, K);
    } while (More && UpperCase(Line).find("ENDBIF") == std::string::npos);
  }

  // The data file lies beside the header; without a FILENAME (or when it is
  // missing) the pixels follow the header in the header file itself.
  const std::filesystem::path Dir = std::filesystem::path(FileName).parent_path();
  const std::string DataFile = (Dir / R.FileName).string();
  R.FileName = !R.FileName.empty() && detail::IsRegularFile(DataFile) ? DataFile : FileName;
  detail::BinaryFile Data(R.FileName);
  if (!Data.IsOpen()) return Fault("Image " + Name + " cannot be opened.");

  if (R.Width <= 0 || R.Height <= 0) Fault("Incorrect image " + Name + " width or height!");
  if (R.Channels != 1 && R.Channels != 3)
    Fault("Image " + Name + ": has unsupported number of channels");
  R.DataType = UpperCase(K.DataType);
  const int Sample = SampleBytesOf(R.DataSample());
  if (Sample == 0) Fault("Image " + Name + ": has unsupported data type");
  // A refused channel count may be any number the line held.
  R.BytesPerPixel = R.Channels == 1 || R.Channels == 3 ? R.Channels * Sample : 0;
  const int64_t Bytes = detail::PixelByteCount(R.Width, R.Height, R.BytesPerPixel);
  if (Bytes < 0) {
    R.DataSize = 0;
    Fault("Image " + Name + " is too large.");
  } else {
    R.DataSize = static_cast<int32_t>(Bytes);
    R.HeaderSize = K.Header;
    if (R.HeaderSize < 0) {
      const int64_t Start = Data.Size() - Bytes;
      R.HeaderSize = Start > std::numeric_limits<int32_t>::max() ? -1 : static_cast<int32_t>(Start);
      if (R.HeaderSize < 0) Fault("Image " + Name + " has incorrect file size.");
    } else if (Data.Size() - R.HeaderSize < Bytes) {
      // An explicit offset must leave room for the pixels too; the pixel read
      // would otherwise meet the end of the file.
      Fault("Image " + Name + " has incorrect file size.");
    }
  }
  const std::string Order = UpperCase(K.ByteOrder);
  R.SwapBytes = Order != "PC";
  if (Order != "PC" && Order != "MAC")
    Fault("Image " + Name + " has ivalid information about byte order.");
}

}  // namespace obra
