// gzip-compressed FITS files: inflated into memory only as far as the header
// shows they are needed, then read exactly as the plain file would be.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "FitsSupport.h"
#include "ReaderSupport.h"

namespace obra::detail {

namespace {

// A header longer than this many bytes is not a header (a hostile stream of
// blank cards would otherwise be inflated to its end).
constexpr size_t MaxHeaderBytes = 10000 * FitsBlockBytes;
// Inflated bytes after the data that are still read to check the stream's
// check sum; a longer tail (further HDUs) is not inflated.
constexpr size_t VerifyBudget = size_t{1} << 20;
constexpr size_t ChunkBytes = size_t{1} << 16;

size_t RoundUpToBlock(size_t Bytes) {
  const size_t Block = static_cast<size_t>(FitsBlockBytes);
  return (Bytes + Block - 1) / Block * Block;
}

enum class CardsEnd { End, StreamEnd, Cut, TooLong };

// Reads header cards from the inflated stream at Pos until END. Like the
// plain reader, a stream that ends on a card boundary ends the header; one
// that ends inside a card is cut.
template <typename CardFn>
CardsEnd ReadCards(GzipStream& Z, size_t& Pos, CardFn OnCard) {
  for (;;) {
    if (Z.Bytes().size() < Pos + FitsCardBytes && !Z.Fill(RoundUpToBlock(Pos + FitsCardBytes)) &&
        Z.Bytes().size() < Pos + FitsCardBytes)
      return Z.Bytes().size() == Pos && Pos > 0 ? CardsEnd::StreamEnd : CardsEnd::Cut;
    const std::string_view Card(reinterpret_cast<const char*>(Z.Bytes().data()) + Pos,
                                FitsCardBytes);
    Pos += FitsCardBytes;
    OnCard(Card);
    if (Card.starts_with("END")) return CardsEnd::End;
    if (Pos >= MaxHeaderBytes) return CardsEnd::TooLong;
  }
}

// Sizes of one extension header, enough to skip its data or to choose it.
struct HduSizes {
  std::string Xtension;
  int32_t Bitpix = 0, Naxis = 0, Pcount = 0, Gcount = 1, ZBitpix = 0, ZNaxis = 0;
  int32_t Axes[9] = {};
  int32_t ZAxes[3] = {};
  bool ZImage = false;
};

void ParseSizeCard(std::string_view Card, HduSizes& H) {
  std::string Line(Card);
  Line.resize(92, ' ');
  Line[8] = ' ';
  // As the header reader does it: quotes and the comment from "/" on go.
  bool InComment = false;
  for (size_t I = 10; I < FitsCardBytes; ++I) {
    if (Line[I] == '/') InComment = true;
    if (InComment || Line[I] == '\'') Line[I] = ' ';
  }
  ParseKeyText(Line, "XTENSION", H.Xtension);
  ParseKeyInt(Line, "BITPIX", H.Bitpix);
  ParseKeyInt(Line, "NAXIS", H.Naxis);
  ParseKeyInt(Line, "PCOUNT", H.Pcount);
  ParseKeyInt(Line, "GCOUNT", H.Gcount);
  ParseKeyInt(Line, "ZBITPIX", H.ZBitpix);
  ParseKeyInt(Line, "ZNAXIS", H.ZNaxis);
  if (Line.starts_with("ZIMAGE ")) {
    const size_t V = Line.find_first_not_of(' ', 9);
    H.ZImage = V != std::string::npos && Line[V] == 'T';
  }
  for (int I = 0; I < 9; ++I) ParseKeyInt(Line, "NAXIS" + std::to_string(I + 1), H.Axes[I]);
  for (int I = 0; I < 3; ++I) ParseKeyInt(Line, "ZNAXIS" + std::to_string(I + 1), H.ZAxes[I]);
}

// Bytes of the data unit, -1 when it is negative or beyond 32 bits.
int64_t DataUnitBytes(const HduSizes& H) {
  if (H.Naxis < 0 || H.Naxis > 9 || H.Pcount < 0 || H.Gcount < 0) return -1;
  if (H.Naxis == 0) return 0;
  int64_t Elements = 1;
  for (int I = 0; I < H.Naxis; ++I) {
    if (H.Axes[I] < 0) return -1;
    Elements *= H.Axes[I];
    if (Elements > INT32_MAX) return -1;
  }
  const int64_t Bytes =
      (H.Bitpix < 0 ? -H.Bitpix : H.Bitpix) / 8 * H.Gcount * (Elements + H.Pcount);
  return Bytes > INT32_MAX ? -1 : Bytes;
}

// True when the extension holds an image of the kind the reader takes;
// ImageBytes is then its size once decompressed (-1: too large).
bool IsImageHdu(const HduSizes& H, int64_t& ImageBytes) {
  const bool Compressed = H.ZImage && H.Xtension == "BINTABLE";
  const int32_t Naxis = Compressed ? H.ZNaxis : H.Naxis;
  const int32_t* Axes = Compressed ? H.ZAxes : H.Axes;
  const int32_t Bitpix = Compressed ? H.ZBitpix : H.Bitpix;
  if (!Compressed && H.Xtension != "IMAGE") return false;
  if (Naxis != 2 && !(Naxis == 3 && (Axes[2] == 1 || Axes[2] == 3))) return false;
  const int64_t Planes = Naxis == 3 ? Axes[2] : 1;
  ImageBytes = PixelByteCount(Axes[0], Axes[1], Planes * ((Bitpix < 0 ? -Bitpix : Bitpix) / 8));
  return true;
}

}  // namespace

struct GzipStream::State {
  z_stream S{};
};

GzipStream::GzipStream(const std::string& FileName) : Z_(std::make_unique<State>()) {
  BinaryFile File(FileName);
  if (!File.IsOpen()) return;
  try {
    In_.resize(static_cast<size_t>(File.Size()));
  } catch (const std::bad_alloc&) {
    return;
  }
  if (!File.Read(In_.data(), In_.size())) return;
  Z_->S.next_in = In_.data();
  Z_->S.avail_in =
      static_cast<uInt>(std::min<size_t>(In_.size(), std::numeric_limits<uInt>::max()));
  // 16 + 15: a gzip wrapper only.
  Open_ = inflateInit2(&Z_->S, 16 + MAX_WBITS) == Z_OK;
}

GzipStream::~GzipStream() {
  if (Open_) inflateEnd(&Z_->S);
}

bool GzipStream::Inflate(uint8_t* To, size_t Size, size_t& Made) {
  Made = 0;
  z_stream& S = Z_->S;
  while (Made < Size && !Ended_ && Error_.empty()) {
    const size_t Consumed = static_cast<size_t>(S.next_in - In_.data());
    S.avail_in = static_cast<uInt>(std::min<size_t>(In_.size() - Consumed, UINT32_MAX));
    S.next_out = To + Made;
    S.avail_out = static_cast<uInt>(std::min<size_t>(Size - Made, UINT32_MAX));
    const uInt Before = S.avail_out;
    const int Rc = inflate(&S, Z_NO_FLUSH);
    Made += Before - S.avail_out;
    if (Rc == Z_STREAM_END) {
      // Several gzip members in a row form one file; anything else after
      // the stream (padding some tools add) is not part of it.
      const uint8_t* Next = S.next_in;
      const bool More = In_.data() + In_.size() - Next >= 2 && Next[0] == 0x1f && Next[1] == 0x8b;
      if (!More || inflateReset(&S) != Z_OK) Ended_ = true;
    } else if (Rc == Z_BUF_ERROR && S.avail_in == 0) {
      return false;  // the compressed bytes end before the stream does
    } else if (Rc != Z_OK && Rc != Z_BUF_ERROR) {
      Error_ = S.msg ? S.msg : "corrupt compressed data";
    }
  }
  return Error_.empty();
}

bool GzipStream::Fill(size_t Size) {
  if (!Open_) return false;
  // The buffer grows with what the stream gives, not with what a header
  // promises: a short file that declares a huge image costs only the bytes
  // it holds. Steps at least double the buffer, and start from eight times
  // the compressed size, so that a sound file is rarely copied.
  while (Out_.size() < Size && !Ended_ && Error_.empty()) {
    const size_t Have = Out_.size();
    const size_t Step = std::min(Size - Have, std::max({Have, ChunkBytes, 8 * In_.size()}));
    try {
      Out_.resize(Have + Step);
    } catch (const std::bad_alloc&) {
      Out_.resize(Have);
      Error_ = "not enough memory";
      return false;
    }
    size_t Made = 0;
    const bool Sound = Inflate(Out_.data() + Have, Step, Made);
    Out_.resize(Have + Made);
    if (!Sound || Made < Step) break;
  }
  return Out_.size() >= Size;
}

bool GzipStream::Verify(size_t Budget) {
  if (!Open_ || !Error_.empty()) return false;
  std::vector<uint8_t> Scratch(ChunkBytes);
  size_t Seen = 0;
  while (!Ended_ && Seen < Budget) {
    size_t Made = 0;
    if (!Inflate(Scratch.data(), Scratch.size(), Made)) return false;
    Seen += Made;
  }
  return Error_.empty();
}

namespace {

// The extension HDUs of an inflating stream after the primary header (which
// ends at Pos): each header is checked before its data are inflated, until
// the first image the reader takes is whole. Returns the fault text suffix,
// empty on success.
std::string InflateToImageHdu(GzipStream& Z, size_t Pos) {
  for (;;) {
    HduSizes H;
    // No image in any HDU: the file is what the plain reader calls it.
    if (Pos >= Z.Bytes().size() && !Z.Fill(Pos + 1))
      return Z.Error().empty() ? " is not a correct image file!" : " is truncated.";
    const CardsEnd E = ReadCards(Z, Pos, [&](std::string_view Card) { ParseSizeCard(Card, H); });
    if (E == CardsEnd::TooLong) return " is too large.";
    if (E != CardsEnd::End) return " is truncated.";
    Pos = RoundUpToBlock(Pos);
    const int64_t Data = DataUnitBytes(H);
    int64_t ImageBytes = 0;
    const bool Image = IsImageHdu(H, ImageBytes);
    if (Data < 0 || (Image && ImageBytes < 0)) return " is too large.";
    const size_t End = RoundUpToBlock(Pos + static_cast<size_t>(Data));
    if (Image) return Z.Fill(Pos + static_cast<size_t>(Data)) ? "" : " is truncated.";
    if (!Z.Fill(End)) return " is truncated.";
    Pos = End;
  }
}

}  // namespace

void ReadGzipFitsHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                        const MessageSink& Sink) {
  const std::string Name = BaseName(FileName);
  auto Fault = [&](const std::string& Text) {
    Refuse(R, "FITS file " + Name + Text, ShowMessages, Sink);
  };
  GzipStream Z(FileName);
  if (!Z.IsOpen()) return Fault(" cannot be opened.");
  auto Corrupt = [&] {
    Fault(" is not a correct image file! " +
          (Z.Error().empty() ? "gzip stream cut short" : Z.Error()));
  };
  SetFitsDefaults(R);

  FitsAxes Axes;
  size_t Pos = 0;
  int64_t Cards = 0;
  bool StoreCards = true;
  const CardsEnd E = ReadCards(Z, Pos, [&](std::string_view Card) {
    StoreFitsCard(Card, R, StoreCards);
    NoteFirstCard(Card, Cards, Axes);
    ParseFitsCard(Card, Axes, R);
    ++Cards;
  });
  if (!Z.Error().empty()) return Corrupt();
  if (E == CardsEnd::TooLong) return Fault(" is too large.");
  if (E == CardsEnd::Cut) return Fault(" is truncated.");

  if (LooksForExtension(Axes)) {
    // A cube of one plane is the primary HDU's own image: its data first.
    const int64_t Plane =
        PixelByteCount(R.Width, R.Height, (Axes.Bitpix < 0 ? -Axes.Bitpix : Axes.Bitpix) / 8);
    const size_t DataStart = RoundUpToBlock(Pos);
    std::string Failed;
    if (Axes.Naxis == 0)
      Failed = InflateToImageHdu(Z, DataStart);
    else if (Plane < 0)
      Failed = " is too large.";
    else if (!Z.Fill(DataStart + static_cast<size_t>(Plane)))
      Failed = " is truncated.";
    if (!Z.Error().empty()) return Corrupt();
    if (!Failed.empty()) return Fault(Failed);
    // CFITSIO reads a memory file a whole 2880-byte record at a time, and the
    // inflated part may end inside one: the record is completed with the zeros
    // FITS pads with, and one more zero record stands behind it, so no read of
    // the library goes past the buffer.
    std::vector<uint8_t> Bytes = Z.Take();
    const size_t Block = static_cast<size_t>(FitsBlockBytes);
    Bytes.resize((Bytes.size() + Block - 1) / Block * Block + Block, 0);
    const auto File = std::make_shared<const std::vector<uint8_t>>(std::move(Bytes));
    return ReadFitsExtensionHeader(FileName, File, R, ShowMessages, Sink);
  }
  CompleteFitsKeywords(FileName, Axes, R);
  if (!SizeFitsImage(Axes, Cards, R, Fault)) return;
  const size_t Need = static_cast<size_t>(R.HeaderSize) + static_cast<size_t>(R.DataSize);
  if (!Z.Fill(Need)) {
    if (!Z.Error().empty()) return Corrupt();
    return Fault(" has incorrect file size!");
  }
  if (!R.Valid) return;
  if (!Z.Verify(VerifyBudget)) return Corrupt();
  R.InflatedFile = std::make_shared<const std::vector<uint8_t>>(Z.Take());
}

}  // namespace obra::detail
