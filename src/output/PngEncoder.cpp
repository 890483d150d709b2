// Encoding of a 24-bit picture as PNG bytes.
//
// Row filter: None on every row. Palette indices are ordered by frequency, not
// by brightness, so predicting them from neighbours does not pay; for the
// truecolour case (grey views with a coloured time text) filtering shrinks the
// data by about a quarter but makes level-9 deflate seven times slower (18 s
// instead of 2.6 s for 4096 x 4096). The chunks are framed here rather than by
// libpng, which would narrow the deflate window for small images and would
// compress the chosen depth a second time.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "ParallelRanges.h"
#include "PngWriter.h"

namespace obra {
namespace {

constexpr size_t MaxIdatBytes = 65536;
constexpr size_t MaxPaletteSize = 256;
constexpr size_t DeflatePiece = size_t(1) << 20;  // zlib counts its input in 32 bits

// ---- Colour analysis -----------------------------------------------------------

uint32_t ColourAt(const uint8_t* Pixel) {
  return uint32_t(Pixel[2]) << 16 | uint32_t(Pixel[1]) << 8 | uint32_t(Pixel[0]);
}

// Open addressing over the non-grey colours; grey pixels (the bulk of every
// view) go to a direct table instead.
class ColourCounter {
 public:
  // Counts the colours of Picture; false as soon as there are more than 256.
  bool Count(const Picture24& Picture) {
    const size_t N = size_t(Picture.Width) * size_t(Picture.Height);
    const uint8_t* P = Picture.Pixels.data();
    for (size_t I = 0; I < N; ++I, P += 3) {
      if (P[0] == P[1] && P[1] == P[2]) {
        if (Grey_[P[0]]++ == 0 && ++Distinct_ > MaxPaletteSize) return false;
      } else {
        Slot& S = Find(ColourAt(P));
        if (S.Count++ == 0 && ++Distinct_ > MaxPaletteSize) return false;
      }
    }
    return true;
  }

  // The palette, most frequent first, equal counts in ascending colour order;
  // afterwards IndexOf gives each colour's palette index.
  std::vector<uint32_t> MakePalette() {
    std::vector<std::pair<uint64_t, uint32_t>> Entries;
    for (uint32_t G = 0; G < 256; ++G)
      if (Grey_[G] != 0) Entries.emplace_back(Grey_[G], G << 16 | G << 8 | G);
    for (const Slot& S : Slots_)
      if (S.Count != 0) Entries.emplace_back(S.Count, S.Key & 0xFFFFFFu);
    std::sort(Entries.begin(), Entries.end(), [](const auto& A, const auto& B) {
      return A.first != B.first ? A.first > B.first : A.second < B.second;
    });
    std::vector<uint32_t> Palette;
    for (size_t K = 0; K < Entries.size(); ++K) {
      const uint32_t C = Entries[K].second;
      Palette.push_back(C);
      if (IsGrey(C))
        GreyIndex_[C & 0xFF] = uint8_t(K);
      else
        Find(C).Index = uint8_t(K);
    }
    return Palette;
  }

  uint8_t IndexOf(const uint8_t* Pixel) {
    if (Pixel[0] == Pixel[1] && Pixel[1] == Pixel[2]) return GreyIndex_[Pixel[0]];
    return Find(ColourAt(Pixel)).Index;
  }

 private:
  struct Slot {
    uint32_t Key = 0;  // colour | 1 << 24, 0 when free
    uint8_t Index = 0;
    uint64_t Count = 0;
  };

  static bool IsGrey(uint32_t C) {
    return (C & 0xFF) == ((C >> 8) & 0xFF) && (C & 0xFF) == (C >> 16);
  }

  // At most 257 keys ever go in, so a table of 1024 never fills.
  Slot& Find(uint32_t Colour) {
    const uint32_t Key = Colour | 1u << 24;
    uint32_t H = (Colour * 2654435761u) >> 22;
    while (Slots_[H].Key != 0 && Slots_[H].Key != Key) H = (H + 1) & 1023;
    Slots_[H].Key = Key;
    return Slots_[H];
  }

  std::array<uint64_t, 256> Grey_{};
  std::array<uint8_t, 256> GreyIndex_{};
  std::array<Slot, 1024> Slots_{};
  size_t Distinct_ = 0;
};

// ---- Compression ---------------------------------------------------------------

struct Compressed {
  bool Ok = false;
  std::string Error;
  std::vector<uint8_t> Data;
};

// One zlib stream with the fixed parameters, fed row by row.
class Deflater {
 public:
  Deflater() {
    Started_ = deflateInit2(&Z_, 9, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) == Z_OK;
    Ok_ = Started_;
  }
  ~Deflater() {
    if (Started_) deflateEnd(&Z_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  bool Feed(const uint8_t* Data, size_t Size) {
    while (Ok_ && Size > 0) {
      const size_t Piece = std::min(Size, DeflatePiece);
      Run(Data, Piece, Z_NO_FLUSH);
      Data += Piece;
      Size -= Piece;
    }
    return Ok_;
  }

  Compressed Finish() {
    Compressed C;
    if (Ok_) Run(nullptr, 0, Z_FINISH);
    C.Ok = Ok_ && Finished_;
    if (!C.Ok) C.Error = std::string("PNG compression failed: ") + (Z_.msg ? Z_.msg : "zlib error");
    Out_.resize(Z_.total_out);
    C.Data = std::move(Out_);
    return C;
  }

 private:
  void Run(const uint8_t* Data, size_t Size, int Flush) {
    Z_.next_in = const_cast<Bytef*>(Data);
    Z_.avail_in = uInt(Size);
    for (;;) {
      if (Out_.size() - Z_.total_out < 65536)
        Out_.resize(std::max<size_t>(Out_.size() * 2, size_t(1) << 20));
      Z_.next_out = Out_.data() + Z_.total_out;
      Z_.avail_out = uInt(std::min<size_t>(Out_.size() - Z_.total_out, size_t(1) << 30));
      const int Status = deflate(&Z_, Flush);
      if (Status == Z_STREAM_END) {
        Finished_ = true;
        return;
      }
      if (Status != Z_OK && Status != Z_BUF_ERROR) {
        Ok_ = false;
        return;
      }
      // Without a flush, deflate is done with this input once it has taken it
      // all and still had room to spare; a finish runs to the stream end.
      if (Flush == Z_NO_FLUSH && Z_.avail_in == 0 && Z_.avail_out != 0) return;
    }
  }

  z_stream Z_{};
  bool Started_ = false;
  bool Ok_ = false;
  bool Finished_ = false;
  std::vector<uint8_t> Out_;
};

// Filter byte 0 and the row's indices packed at Depth bits, first pixel in the
// high bits, the last byte padded with zero bits.
void PackRow(const uint8_t* Indices, size_t Width, int Depth, uint8_t* Row) {
  Row[0] = 0;
  uint8_t* Out = Row + 1;
  if (Depth == 8) {
    std::memcpy(Out, Indices, Width);
    return;
  }
  const size_t PerByte = size_t(8 / Depth);
  const size_t Bytes = (Width + PerByte - 1) / PerByte;
  std::memset(Out, 0, Bytes);
  for (size_t X = 0; X < Width; ++X)
    Out[X / PerByte] |= uint8_t(Indices[X] << (8 - Depth * int(X % PerByte + 1)));
}

Compressed CompressIndexed(const std::vector<uint8_t>& Indices, size_t Width, size_t Height,
                           int Depth) {
  Deflater D;
  std::vector<uint8_t> Row(1 + (Width * size_t(Depth) + 7) / 8);
  for (size_t Y = 0; Y < Height; ++Y) {
    PackRow(Indices.data() + Y * Width, Width, Depth, Row.data());
    if (!D.Feed(Row.data(), Row.size())) break;
  }
  return D.Finish();
}

Compressed CompressTruecolour(const Picture24& Picture) {
  Deflater D;
  const size_t W = size_t(Picture.Width);
  std::vector<uint8_t> Row(1 + 3 * W);
  for (size_t Y = 0; Y < size_t(Picture.Height); ++Y) {
    const uint8_t* In = Picture.Pixels.data() + Y * W * 3;
    Row[0] = 0;
    for (size_t X = 0; X < W; ++X) {
      Row[1 + 3 * X] = In[3 * X + 2];
      Row[2 + 3 * X] = In[3 * X + 1];
      Row[3 + 3 * X] = In[3 * X];
    }
    if (!D.Feed(Row.data(), Row.size())) break;
  }
  return D.Finish();
}

// Compresses at every depth that holds the palette, the depths in parallel,
// and keeps the shortest data; on equal length the larger depth.
std::pair<int, Compressed> BestIndexed(const std::vector<uint8_t>& Indices, size_t Width,
                                       size_t Height, size_t Colours) {
  const int Smallest = Colours <= 2 ? 1 : Colours <= 4 ? 2 : Colours <= 16 ? 4 : 8;
  std::vector<int> Depths;
  for (int D = Smallest; D <= 8; D *= 2) Depths.push_back(D);
  std::vector<Compressed> Results(Depths.size());
  RunTasks(Depths.size(), [&](size_t K) {
    try {
      Results[K] = CompressIndexed(Indices, Width, Height, Depths[K]);
    } catch (const std::bad_alloc&) {
      Results[K].Error = "Not enough memory to encode the picture.";
    }
  });
  size_t Best = 0;
  for (size_t K = 0; K < Results.size(); ++K) {
    if (!Results[K].Ok) return {Depths[K], std::move(Results[K])};
    if (Results[K].Data.size() <= Results[Best].Data.size()) Best = K;
  }
  return {Depths[Best], std::move(Results[Best])};
}

// ---- File form -----------------------------------------------------------------

void PutBytes(std::vector<uint8_t>& B, const uint8_t* Data, size_t Size) {
  const size_t At = B.size();
  B.resize(At + Size);
  if (Size > 0) std::memcpy(B.data() + At, Data, Size);
}

void PutU32(std::vector<uint8_t>& B, uint32_t V) {
  const uint8_t Big[4] = {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)};
  PutBytes(B, Big, 4);
}

void PutChunk(std::vector<uint8_t>& B, const char* Type, const uint8_t* Data, size_t Size) {
  PutU32(B, uint32_t(Size));
  const size_t TypeAt = B.size();
  PutBytes(B, reinterpret_cast<const uint8_t*>(Type), 4);
  PutBytes(B, Data, Size);
  PutU32(B, uint32_t(crc32(0, B.data() + TypeAt, uInt(Size + 4))));
}

void Assemble(std::vector<uint8_t>& B, const Picture24& Picture, int Depth, int ColourType,
              const std::vector<uint32_t>& Palette, const std::vector<uint8_t>& Data) {
  static constexpr uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  B.clear();
  B.reserve(Data.size() + Data.size() / MaxIdatBytes * 12 + 1024);
  PutBytes(B, Signature, 8);
  std::vector<uint8_t> Header;
  PutU32(Header, uint32_t(Picture.Width));
  PutU32(Header, uint32_t(Picture.Height));
  // Depth and colour type, then compression, filter and interlace methods 0.
  const uint8_t Form[5] = {uint8_t(Depth), uint8_t(ColourType), 0, 0, 0};
  PutBytes(Header, Form, 5);
  PutChunk(B, "IHDR", Header.data(), Header.size());
  const uint8_t Intent = 0;
  PutChunk(B, "sRGB", &Intent, 1);
  if (ColourType == 3) {
    std::vector<uint8_t> Entries(Palette.size() * 3);
    for (size_t K = 0; K < Palette.size(); ++K) {
      Entries[3 * K] = uint8_t(Palette[K] >> 16);
      Entries[3 * K + 1] = uint8_t(Palette[K] >> 8);
      Entries[3 * K + 2] = uint8_t(Palette[K]);
    }
    PutChunk(B, "PLTE", Entries.data(), Entries.size());
  }
  for (size_t At = 0; At < Data.size(); At += MaxIdatBytes)
    PutChunk(B, "IDAT", Data.data() + At, std::min(MaxIdatBytes, Data.size() - At));
  PutChunk(B, "IEND", nullptr, 0);
}

PngResult Failure(std::string Text) { return PngResult{false, std::move(Text)}; }

}  // namespace

PngResult EncodePng(const Picture24& Picture, std::vector<uint8_t>& Bytes) {
  if (Picture.Width <= 0 || Picture.Height <= 0) return Failure("The picture to save is empty.");
  const size_t W = size_t(Picture.Width), H = size_t(Picture.Height);
  if (Picture.Pixels.size() != W * H * 3)
    return Failure("The picture's pixel buffer does not match its size.");
  try {
    auto Counter = std::make_unique<ColourCounter>();
    if (Counter->Count(Picture)) {
      const std::vector<uint32_t> Palette = Counter->MakePalette();
      std::vector<uint8_t> Indices(W * H);
      const uint8_t* P = Picture.Pixels.data();
      for (size_t I = 0; I < W * H; ++I, P += 3) Indices[I] = Counter->IndexOf(P);
      auto [Depth, C] = BestIndexed(Indices, W, H, Palette.size());
      if (!C.Ok) return Failure(C.Error);
      Assemble(Bytes, Picture, Depth, 3, Palette, C.Data);
    } else {
      const Compressed C = CompressTruecolour(Picture);
      if (!C.Ok) return Failure(C.Error);
      Assemble(Bytes, Picture, 8, 2, {}, C.Data);
    }
  } catch (const std::bad_alloc&) {
    Bytes.clear();
    return Failure("Not enough memory to encode the picture.");
  }
  return PngResult{true, {}};
}

}  // namespace obra
