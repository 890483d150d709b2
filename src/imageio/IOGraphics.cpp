// Load pipeline: dispatch by extension, the raw pixel read and the conversion
// into the 16-bit working buffer.
#include "IOGraphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <span>

#include "BMP_JPEGformat.h"
#include "FitsSupport.h"
#include "PNGformat.h"
#include "ReaderSupport.h"
#include "TIFformat.h"

namespace obra {

namespace {

enum class Format { None, Fits, Bif, Tiff, Png, Bitmap };

Format FormatOf(const std::string& Ext) {
  if (IsFitsExtension(Ext)) return Format::Fits;
  if (Ext == ".BIF") return Format::Bif;
  if (Ext == ".TIF" || Ext == ".TIFF" || Ext == ".ACT") return Format::Tiff;
  if (Ext == ".PNG") return Format::Png;
  if (Ext == ".BMP" || Ext == ".JPG" || Ext == ".JPEG") return Format::Bitmap;
  return Format::None;
}

// Only the FITS reader knows the observation metadata; without this reset a
// TIFF loaded into the record of a FITS image would keep its channel and time.
void ResetFitsFields(ImageRecord& R) {
  R.Wavelength = 0;
  R.DateObs.clear();
  R.Telescope.clear();
  R.Instrument.clear();
  R.CrPix1 = -1.0;
  R.CrPix2 = -1.0;
  R.RSun = -1.0;
  R.CRota2 = 0.0;
  R.CDelt1 = 0.0;
  R.CDelt2 = 0.0;
}

void ReadHeaderFor(Format F, const std::string& FileName, ImageRecord& R, bool ShowMessages,
                   const MessageSink& Sink) {
  if (F == Format::None) return;
  // A picture decoded by an earlier header-only read is never read now.
  R.DecodedBitmap.reset();
  R.InflatedFile.reset();
  R.ImageHdu = 0;
  if (F != Format::Fits) ResetFitsFields(R);
  switch (F) {
    case Format::Fits:
      return ReadFitsHeader(FileName, R, ShowMessages, Sink);
    case Format::Bif:
      return ReadBifHeader(FileName, R, ShowMessages, Sink);
    case Format::Tiff:
      return ReadTiffHeader(FileName, R, ShowMessages, Sink);
    case Format::Png:
      return ReadPngHeader(FileName, R, ShowMessages, Sink);
    case Format::Bitmap:
      return ReadBitmapHeader(FileName, R, ShowMessages, Sink);
    case Format::None:
      return;
  }
}

uint16_t Swap16(uint16_t V) { return static_cast<uint16_t>(V << 8 | V >> 8); }

// Saturates a converted sample into the working range; NaN is "no data".
uint16_t Clip16(double V) {
  if (!(V > 0.0)) return 0;
  return V >= 65535.0 ? uint16_t{65535} : static_cast<uint16_t>(V);
}

// Signed 16-bit samples plus the offset, clipped to 0..65535.
void OffsetSigned(std::span<uint16_t> S, double BZero, bool HasBZero) {
  double Offset = 32768.0;
  // Offsets beyond these bounds saturate every sample anyway; bounding them
  // keeps the integer arithmetic defined for any BZERO a header holds.
  if (HasBZero) Offset = std::isnan(BZero) ? 0.0 : std::clamp(std::nearbyint(BZero), -1e6, 1e6);
  const int32_t O = static_cast<int32_t>(Offset);
  for (uint16_t& V : S) {
    const int32_t X = static_cast<int16_t>(V) + O;
    V = static_cast<uint16_t>(std::clamp(X, 0, 65535));
  }
}

// 8-byte samples at the start of Bytes become 16-bit samples in place, as
// ConvertFourByte does for 4-byte ones.
void ConvertEightByte(uint8_t* Bytes, size_t N, bool Float, bool Swap, double Zero) {
  for (size_t I = 0; I < N; ++I) {
    const uint8_t* P = Bytes + 8 * I;
    uint64_t U = 0;
    for (int K = 0; K < 8; ++K) U |= uint64_t{P[Swap ? K : 7 - K]} << (56 - 8 * K);
    double V;
    if (Float)
      std::memcpy(&V, &U, sizeof V);
    else
      V = static_cast<double>(static_cast<int64_t>(U));
    const uint16_t Out = Clip16(std::nearbyint(V + Zero));
    std::memcpy(Bytes + 2 * I, &Out, sizeof Out);
  }
}

// 4-byte samples at the start of Bytes become 16-bit samples in place; the
// output of sample i (bytes 2i..2i+1) never overtakes the input (bytes 4i..).
void ConvertFourByte(uint8_t* Bytes, size_t N, bool Float, bool Swap, double Zero) {
  for (size_t I = 0; I < N; ++I) {
    uint8_t* P = Bytes + 4 * I;
    const uint32_t U = detail::Get32(P, Swap);
    double V;
    if (Float) {
      float F;
      std::memcpy(&F, &U, sizeof F);
      V = static_cast<double>(F);
    } else {
      V = static_cast<double>(static_cast<int32_t>(U));
    }
    const uint16_t Out = Clip16(std::nearbyint(V + Zero));
    std::memcpy(Bytes + 2 * I, &Out, sizeof Out);
  }
}

// Planes of a FITS colour cube (all red, all green, all blue) become
// interleaved pixels, the layout of every other colour buffer.
template <typename T>
void InterleavePlanes(T* S, size_t PlaneSize) {
  std::vector<T> Planes(S, S + 3 * PlaneSize);
  for (size_t I = 0; I < PlaneSize; ++I)
    for (size_t C = 0; C < 3; ++C) S[3 * I + C] = Planes[C * PlaneSize + I];
}

// Exchanges row i with row Rows - 1 - i through one row-sized scratch block.
void ReverseRows(uint8_t* Bytes, size_t Rows, size_t RowBytes) {
  std::vector<uint8_t> Scratch(RowBytes);
  for (size_t I = 0; I < Rows / 2; ++I) {
    uint8_t* A = Bytes + I * RowBytes;
    uint8_t* B = Bytes + (Rows - 1 - I) * RowBytes;
    std::memcpy(Scratch.data(), A, RowBytes);
    std::memcpy(A, B, RowBytes);
    std::memcpy(B, Scratch.data(), RowBytes);
  }
}

// Sets ResultType for ConvertToBits (0 keeps the stored type); false, with
// the message, for any other value than 0, 8 or 16.
bool SetResultType(ImageRecord& R, int ConvertToBits, const MessageSink& Sink) {
  if (ConvertToBits == 0)
    R.ResultType = R.DataType;
  else if (ConvertToBits == 8)
    R.SetResultSample(SampleType::Byte);
  else if (ConvertToBits == 16)
    R.SetResultSample(SampleType::Word);
  else {
    R.Valid = false;
    detail::Show(Sink, "Inavalid parameter ConvertToBits in procedure LoadAndTransformImage");
    return false;
  }
  return true;
}

// Where the pixels of a record come from and how many bytes they take.
struct PixelSource {
  Format F = Format::None;
  bool Decoded = false;  // PNG/BMP/JPEG pixels produced by their decoders
  bool Held = false;     // held in memory or read through CFITSIO (compressed FITS forms)
  int Stored = 0;        // bytes of one stored sample
  int64_t Count = 0;     // samples of the whole image
  int64_t Final = 0;     // bytes of the converted samples
  int64_t Needed = 0;    // bytes the buffer holds while converting
};

// The source of the pixels R describes; Stored 0 or Count <= 0 when the
// record describes no readable samples.
PixelSource SourceOf(const ImageRecord& R, int ConvertToBits) {
  PixelSource Src;
  Src.Stored = SampleTypeBytes(R.DataSample());
  Src.Count = detail::PixelByteCount(R.Width, R.Height, R.Channels);
  Src.Final = ConvertToBits == 16 ? 2 * Src.Count : ConvertToBits == 8 ? Src.Count : R.DataSize;
  Src.Needed = std::max<int64_t>(R.DataSize, Src.Final);
  Src.F = FormatOf(UpperExtension(R.FileName));
  Src.Decoded = R.HeaderSize < 0 && (Src.F == Format::Png || Src.F == Format::Bitmap);
  Src.Held = R.ImageHdu > 0 || R.InflatedFile != nullptr;
  return Src;
}

// Why the file (or the inflated copy) cannot deliver DataSize bytes at
// HeaderSize, or "" when it can.
std::string SourceFault(const ImageRecord& R, const PixelSource& Src,
                        const detail::BinaryFile& File, const std::string& Name) {
  if (Src.Held && R.ImageHdu == 0 &&
      (R.HeaderSize < 0 || int64_t(R.InflatedFile->size()) - R.HeaderSize < R.DataSize))
    return "File " + Name + " is truncated.";
  if (!Src.Decoded && !Src.Held) {
    if (!File.IsOpen()) return "File " + Name + " cannot be opened.";
    if (R.HeaderSize < 0 || File.Size() - R.HeaderSize < R.DataSize)
      return "File " + Name + " is truncated.";
  }
  return {};
}

// Allocates Needed bytes, or checks that the caller's buffer holds them;
// the fault text, or "" when the buffer is ready.
std::string PrepareBuffer(std::vector<uint16_t>& Buffer, bool Allocate, int64_t Needed,
                          const std::string& Name) {
  if (Allocate) {
    Buffer = std::vector<uint16_t>();
    try {
      Buffer.resize(static_cast<size_t>((Needed + 1) / 2));
    } catch (const std::bad_alloc&) {
      Buffer = std::vector<uint16_t>();
      return "Not enough memory to load " + Name + ".";
    }
  } else if (static_cast<int64_t>(Buffer.size()) * 2 < Needed) {
    return "File " + Name + " does not fit the buffer it is loaded into.";
  }
  return {};
}

// Reads the stored samples into Buffer as they are; the fault text, or ""
// when all of them arrived.
std::string ReadStoredSamples(ImageRecord& R, const PixelSource& Src, detail::BinaryFile& File,
                              std::vector<uint16_t>& Buffer, const std::string& Name) {
  bool Read = true;
  std::string HeldError;
  if (R.ImageHdu > 0)
    Read = detail::ReadFitsExtensionPixels(R, reinterpret_cast<uint8_t*>(Buffer.data()), HeldError);
  else if (Src.Held)
    std::memcpy(Buffer.data(), R.InflatedFile->data() + R.HeaderSize,
                static_cast<size_t>(R.DataSize));
  else if (!Src.Decoded)
    Read = File.ReadAt(R.HeaderSize, Buffer.data(), static_cast<size_t>(R.DataSize));
  else if (Src.F == Format::Png)
    Read = ReadPngPixels(R, Buffer);
  else
    Read = ReadBitmapPixels(R, Buffer);
  // The inflated file is not needed once its pixels are in the buffer.
  R.InflatedFile.reset();
  // The decoders get the vector itself; what follows must still fit in it.
  Read = Read && static_cast<int64_t>(Buffer.size()) * 2 >= Src.Needed;
  if (Read) return {};
  return !HeldError.empty()    ? "FITS file " + Name + " is not a correct image file! " + HeldError
         : !Src.Decoded        ? "File " + Name + " is truncated."
         : R.ErrorText.empty() ? "File " + Name + " cannot be read."
                               : R.ErrorText;
}

// Converts the stored samples in place into the form ConvertToBits asks for
// and updates BytesPerPixel; returns the bytes of one sample afterwards.
int ConvertSamples(ImageRecord& R, std::vector<uint16_t>& Buffer, size_t Count, int Stored,
                   int ConvertToBits) {
  uint8_t* Bytes = reinterpret_cast<uint8_t*>(Buffer.data());
  const SampleType Data = R.DataSample();
  const double Zero = R.HasBZero ? R.BZero : 0.0;
  if (Stored == 2) {
    const std::span<uint16_t> Words(Buffer.data(), Count);
    if (R.SwapBytes)
      for (uint16_t& V : Words) V = Swap16(V);
    if (ConvertToBits != 0 && Data == SampleType::SmallInt)
      OffsetSigned(Words, R.BZero, R.HasBZero);
  }
  int SampleNow = Stored;
  if (ConvertToBits != 0 && Stored == 8) {
    ConvertEightByte(Bytes, Count, Data == SampleType::Double, R.SwapBytes, Zero);
    R.BytesPerPixel = R.BytesPerPixel / 8 * 2;
    SampleNow = 2;
  }
  if (ConvertToBits != 0 && Stored == 4) {
    ConvertFourByte(Bytes, Count, Data == SampleType::Single, R.SwapBytes, Zero);
    R.BytesPerPixel = R.BytesPerPixel / 4 * 2;
    SampleNow = 2;
  }
  if (ConvertToBits == 16 && SampleNow == 1) {
    for (size_t I = Count; I-- > 0;) Buffer[I] = Bytes[I];
    R.BytesPerPixel *= 2;
    SampleNow = 2;
  }
  if (ConvertToBits == 8 && SampleNow == 2) {
    // Keeps the most significant byte, so the picture keeps its look.
    for (size_t I = 0; I < Count; ++I) Bytes[I] = static_cast<uint8_t>(Buffer[I] >> 8);
    R.BytesPerPixel /= 2;
    SampleNow = 1;
  }
  return SampleNow;
}

// Interleaves the planes of a colour cube and turns bottom-up images upright.
void ArrangePixels(const ImageRecord& R, std::vector<uint16_t>& Buffer, size_t Count, int SampleNow,
                   int ConvertToBits) {
  uint8_t* Bytes = reinterpret_cast<uint8_t*>(Buffer.data());
  if (ConvertToBits != 0 && R.IsColorCube && R.Channels == 3) {
    if (SampleNow == 2)
      InterleavePlanes(Buffer.data(), Count / 3);
    else
      InterleavePlanes(Bytes, Count / 3);
  }
  if (R.FlipRows) {
    const size_t Row = static_cast<size_t>(R.Width) * static_cast<size_t>(R.Channels);
    const SampleType Result = R.ResultSample();
    if (Result == SampleType::Byte)
      ReverseRows(Bytes, static_cast<size_t>(R.Height), Row);
    else if (Result == SampleType::Word || Result == SampleType::SmallInt)
      ReverseRows(Bytes, static_cast<size_t>(R.Height), Row * 2);
  }
}

// Reads the pixels the record describes into Buffer and converts them.
void TransformPixels(ImageRecord& R, std::vector<uint16_t>& Buffer, int ConvertToBits,
                     bool Allocate, bool ShowMessages, const MessageSink& Sink) {
  const std::string Name = BaseName(R.FileName);
  auto Fault = [&](const std::string& Text) { detail::Refuse(R, Text, ShowMessages, Sink); };
  if (!SetResultType(R, ConvertToBits, Sink)) return;

  // The record must describe a buffer the steps below stay inside of.
  const PixelSource Src = SourceOf(R, ConvertToBits);
  if (Src.Stored == 0 || Src.Count <= 0 || R.DataSize < Src.Count * Src.Stored)
    return Fault("File " + Name + " is not a correct image file.");
  detail::BinaryFile File(Src.Decoded || Src.Held ? std::string() : R.FileName);
  std::string Text = SourceFault(R, Src, File, Name);
  if (Text.empty()) Text = PrepareBuffer(Buffer, Allocate, Src.Needed, Name);
  if (Text.empty()) Text = ReadStoredSamples(R, Src, File, Buffer, Name);
  if (!Text.empty()) return Fault(Text);

  const size_t Count = static_cast<size_t>(Src.Count);
  const int SampleNow = ConvertSamples(R, Buffer, Count, Src.Stored, ConvertToBits);
  ArrangePixels(R, Buffer, Count, SampleNow, ConvertToBits);
  if (Allocate && Src.Final < Src.Needed) {
    Buffer.resize(static_cast<size_t>((Src.Final + 1) / 2));
    Buffer.shrink_to_fit();
  }
}

}  // namespace

void ReadImageHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                     const MessageSink& Sink) {
  if (!detail::IsRegularFile(FileName)) return;
  R.HasBZero = false;
  R.ValueOffset = 0;
  R.HeaderCards.clear();
  ReadHeaderFor(FormatOf(CompoundExtension(FileName)), FileName, R, ShowMessages, Sink);
}

void LoadImageFile(const std::string& FileName, ImageRecord& R, std::vector<uint16_t>& Buffer,
                   int ConvertToBits, bool Allocate, bool ShowMessages, const MessageSink& Sink) {
  R.Valid = false;
  R.FileName = " -";
  if (!detail::IsRegularFile(FileName)) return;
  const std::string Ext = CompoundExtension(FileName);
  // The compressed FITS forms are whole compound extensions; a substring
  // test would let any ".GZ" pass.
  if (Ext.empty() ||
      (!IsFitsExtension(Ext) && SupportedExtensions.find(Ext) == std::string_view::npos))
    return detail::Show(Sink, "Files *" + Ext + " are not supported.");
  R.HasBZero = false;
  R.ValueOffset = 0;
  R.HeaderCards.clear();
  ReadHeaderFor(FormatOf(Ext), FileName, R, ShowMessages, Sink);
  if (!R.Valid) return;
  TransformPixels(R, Buffer, ConvertToBits, Allocate, ShowMessages, Sink);
  if (R.Valid) ComputeStatistics(R, Buffer.data());
}

void LoadAndTransformImage(ImageRecord& R, std::vector<uint16_t>& Buffer, int ConvertToBits,
                           bool Allocate, const MessageSink& Sink) {
  TransformPixels(R, Buffer, ConvertToBits, Allocate, true, Sink);
}

}  // namespace obra
