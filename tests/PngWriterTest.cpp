// PNG output: file form checked byte by byte and through libpng, and the cut-outs.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <zlib.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#include "PngWriter.h"
#include "TestSupport.h"

namespace obra {
namespace {

using test::TempDir;

Picture24 MakePicture(int32_t W, int32_t H) {
  Picture24 P;
  P.Width = W;
  P.Height = H;
  P.Pixels.assign(size_t(W) * H * 3, 0);
  return P;
}

void SetPixel(Picture24& P, int32_t X, int32_t Y, uint32_t Rgb) {
  uint8_t* Px = &P.Pixels[(size_t(Y) * P.Width + X) * 3];
  Px[0] = uint8_t(Rgb);
  Px[1] = uint8_t(Rgb >> 8);
  Px[2] = uint8_t(Rgb >> 16);
}

uint32_t PixelAt(const Picture24& P, size_t I) {
  return uint32_t(P.Pixels[3 * I + 2]) << 16 | uint32_t(P.Pixels[3 * I + 1]) << 8 | P.Pixels[3 * I];
}

// A picture of Colours distinct colours in bands, with a little noise so the
// depths compress differently.
Picture24 BandPicture(int32_t W, int32_t H, uint32_t Colours, uint32_t Seed) {
  Picture24 P = MakePicture(W, H);
  std::mt19937 Rng(Seed);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      uint32_t K = uint32_t(X * Colours / W);
      if (Rng() % 8 == 0) K = Rng() % Colours;
      SetPixel(P, X, Y, 0x102030u + K * 0x010305u);
    }
  return P;
}

struct Chunk {
  std::string Type;
  std::vector<uint8_t> Data;
};

uint32_t Be32(const uint8_t* P) {
  return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
}

// Splits the file into chunks, checking signature, lengths and CRCs.
std::vector<Chunk> ParseChunks(const std::vector<uint8_t>& B) {
  static const uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<Chunk> Chunks;
  EXPECT_GE(B.size(), 8u);
  EXPECT_EQ(std::memcmp(B.data(), Signature, 8), 0);
  size_t At = 8;
  while (At + 12 <= B.size()) {
    const uint32_t Length = Be32(&B[At]);
    EXPECT_LE(At + 12 + Length, B.size());
    if (At + 12 + Length > B.size()) break;
    Chunk C;
    C.Type.assign(reinterpret_cast<const char*>(&B[At + 4]), 4);
    C.Data.assign(B.begin() + long(At + 8), B.begin() + long(At + 8 + Length));
    EXPECT_EQ(Be32(&B[At + 8 + Length]), uint32_t(crc32(0, &B[At + 4], Length + 4))) << C.Type;
    Chunks.push_back(std::move(C));
    At += 12 + Length;
  }
  EXPECT_EQ(At, B.size());
  return Chunks;
}

std::vector<uint8_t> IdatStream(const std::vector<Chunk>& Chunks) {
  std::vector<uint8_t> S;
  for (const Chunk& C : Chunks)
    if (C.Type == "IDAT") S.insert(S.end(), C.Data.begin(), C.Data.end());
  return S;
}

struct Decoded {
  bool Ok = false;
  uint32_t Width = 0, Height = 0;
  int ColourType = -1, Depth = 0, Interlace = -1;
  std::vector<uint32_t> Palette;  // 0xRRGGBB
  std::vector<uint32_t> Pixels;   // 0xRRGGBB, expanded
};

struct MemoryReader {
  const std::vector<uint8_t>* Bytes;
  size_t At = 0;
};

void ReadFromMemory(png_structp Png, png_bytep Out, png_size_t Size) {
  auto* M = static_cast<MemoryReader*>(png_get_io_ptr(Png));
  if (M->At + Size > M->Bytes->size()) png_error(Png, "read past the end");
  std::memcpy(Out, M->Bytes->data() + M->At, Size);
  M->At += Size;
}

// Decodes with libpng, palette and small depths expanded to 8-bit RGB.
Decoded DecodeWithLibpng(const std::vector<uint8_t>& Bytes) {
  Decoded D;
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  MemoryReader M{&Bytes};
  std::vector<uint8_t> Rows;
  std::vector<png_bytep> Pointers;
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_read_struct(&Png, &Info, nullptr);
    return Decoded{};
  }
  png_set_read_fn(Png, &M, ReadFromMemory);
  png_read_info(Png, Info);
  D.Width = png_get_image_width(Png, Info);
  D.Height = png_get_image_height(Png, Info);
  D.ColourType = png_get_color_type(Png, Info);
  D.Depth = png_get_bit_depth(Png, Info);
  D.Interlace = png_get_interlace_type(Png, Info);
  png_colorp Colours = nullptr;
  int Count = 0;
  if (png_get_PLTE(Png, Info, &Colours, &Count) != 0)
    for (int K = 0; K < Count; ++K)
      D.Palette.push_back(uint32_t(Colours[K].red) << 16 | uint32_t(Colours[K].green) << 8 |
                          Colours[K].blue);
  png_set_expand(Png);
  png_set_gray_to_rgb(Png);
  png_read_update_info(Png, Info);
  const size_t RowBytes = png_get_rowbytes(Png, Info);
  EXPECT_EQ(RowBytes, size_t(D.Width) * 3);
  Rows.resize(RowBytes * D.Height);
  Pointers.resize(D.Height);
  for (uint32_t Y = 0; Y < D.Height; ++Y) Pointers[Y] = Rows.data() + Y * RowBytes;
  png_read_image(Png, Pointers.data());
  png_read_end(Png, nullptr);
  png_destroy_read_struct(&Png, &Info, nullptr);
  for (size_t I = 0; I < Rows.size(); I += 3)
    D.Pixels.push_back(uint32_t(Rows[I]) << 16 | uint32_t(Rows[I + 1]) << 8 | Rows[I + 2]);
  D.Ok = true;
  return D;
}

std::vector<uint8_t> Encode(const Picture24& P) {
  std::vector<uint8_t> Bytes;
  const PngResult R = EncodePng(P, Bytes);
  EXPECT_TRUE(R.Success) << R.ErrorText;
  return Bytes;
}

void ExpectSamePixels(const Decoded& D, const Picture24& P) {
  ASSERT_TRUE(D.Ok);
  ASSERT_EQ(D.Width, uint32_t(P.Width));
  ASSERT_EQ(D.Height, uint32_t(P.Height));
  ASSERT_EQ(D.Pixels.size(), size_t(P.Width) * P.Height);
  for (size_t I = 0; I < D.Pixels.size(); ++I) ASSERT_EQ(D.Pixels[I], PixelAt(P, I)) << I;
}

// Independent model of the indexed encoder: frequency order, ties by colour.
std::vector<uint32_t> ExpectedPalette(const Picture24& P) {
  std::map<uint32_t, size_t> Counts;
  for (size_t I = 0; I < size_t(P.Width) * P.Height; ++I) ++Counts[PixelAt(P, I)];
  std::vector<std::pair<size_t, uint32_t>> E;
  for (const auto& [C, N] : Counts) E.emplace_back(N, C);
  std::stable_sort(E.begin(), E.end(),
                   [](const auto& A, const auto& B) { return A.first > B.first; });
  std::vector<uint32_t> Palette;
  for (const auto& Entry : E) Palette.push_back(Entry.second);
  return Palette;
}

std::vector<uint8_t> CompressAtDepth(const Picture24& P, const std::vector<uint32_t>& Palette,
                                     int Depth) {
  std::map<uint32_t, uint8_t> Index;
  for (size_t K = 0; K < Palette.size(); ++K) Index[Palette[K]] = uint8_t(K);
  const size_t RowBytes = (size_t(P.Width) * Depth + 7) / 8;
  std::vector<uint8_t> Raw;
  for (int32_t Y = 0; Y < P.Height; ++Y) {
    Raw.push_back(0);
    std::vector<uint8_t> Row(RowBytes, 0);
    for (int32_t X = 0; X < P.Width; ++X) {
      const uint8_t I = Index[PixelAt(P, size_t(Y) * P.Width + X)];
      const int Bit = X * Depth;
      Row[size_t(Bit / 8)] |= uint8_t(I << (8 - Depth - Bit % 8));
    }
    Raw.insert(Raw.end(), Row.begin(), Row.end());
  }
  z_stream Z{};
  EXPECT_EQ(deflateInit2(&Z, 9, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<uint8_t> Out(deflateBound(&Z, Raw.size()));
  Z.next_in = Raw.data();
  Z.avail_in = uInt(Raw.size());
  Z.next_out = Out.data();
  Z.avail_out = uInt(Out.size());
  EXPECT_EQ(deflate(&Z, Z_FINISH), Z_STREAM_END);
  Out.resize(Z.total_out);
  deflateEnd(&Z);
  return Out;
}

TEST(PngWriterTest, ChunkOrderAndHeader) {
  const Picture24 P = BandPicture(300, 200, 40, 1);
  const std::vector<Chunk> C = ParseChunks(Encode(P));
  ASSERT_GE(C.size(), 5u);
  EXPECT_EQ(C[0].Type, "IHDR");
  EXPECT_EQ(C[1].Type, "sRGB");
  EXPECT_EQ(C[2].Type, "PLTE");
  EXPECT_EQ(C.back().Type, "IEND");
  EXPECT_TRUE(C.back().Data.empty());
  for (size_t K = 3; K + 1 < C.size(); ++K) EXPECT_EQ(C[K].Type, "IDAT") << K;
  ASSERT_EQ(C[0].Data.size(), 13u);
  EXPECT_EQ(Be32(&C[0].Data[0]), 300u);
  EXPECT_EQ(Be32(&C[0].Data[4]), 200u);
  EXPECT_EQ(C[0].Data[9], 3);   // indexed colour
  EXPECT_EQ(C[0].Data[10], 0);  // compression
  EXPECT_EQ(C[0].Data[11], 0);  // filter method
  EXPECT_EQ(C[0].Data[12], 0);  // no interlace
  ASSERT_EQ(C[1].Data.size(), 1u);
  EXPECT_EQ(C[1].Data[0], 0);  // perceptual intent
  EXPECT_EQ(C[2].Data.size(), 40u * 3);
  // zlib header: deflate with a 32 KiB window, level-9 flags.
  const std::vector<uint8_t> Stream = IdatStream(C);
  ASSERT_GE(Stream.size(), 2u);
  EXPECT_EQ(Stream[0], 0x78);
  EXPECT_EQ(Stream[1], 0xDA);
}

TEST(PngWriterTest, IdatChunksHoldAtMost64KiB) {
  const Picture24 P = BandPicture(1500, 1000, 250, 2);  // noisy: well over 64 KiB compressed
  const std::vector<Chunk> C = ParseChunks(Encode(P));
  size_t Idats = 0;
  for (const Chunk& K : C) {
    if (K.Type != "IDAT") continue;
    ++Idats;
    EXPECT_LE(K.Data.size(), 65536u);
  }
  EXPECT_GT(Idats, 2u);
}

TEST(PngWriterTest, DecodesToThePicture) {
  for (uint32_t Colours : {1u, 2u, 3u, 4u, 5u, 16u, 17u, 256u}) {
    const Picture24 P = BandPicture(123, 45, Colours, Colours);
    const Decoded D = DecodeWithLibpng(Encode(P));
    EXPECT_EQ(D.ColourType, PNG_COLOR_TYPE_PALETTE) << Colours;
    EXPECT_EQ(D.Interlace, PNG_INTERLACE_NONE);
    EXPECT_EQ(D.Palette, ExpectedPalette(P));
    ExpectSamePixels(D, P);
  }
}

// The depth is the one whose compressed data is shortest among the depths that
// hold the palette, the larger on a tie; the stored stream is exactly that
// compression of unfiltered rows.
TEST(PngWriterTest, DepthIsTheShortestCompression) {
  const int32_t Sizes[][2] = {{200, 150}, {257, 31}, {64, 64}, {1, 1}, {9, 3}};
  for (uint32_t Colours : {1u, 2u, 3u, 4u, 7u, 16u, 17u, 200u}) {
    for (const auto& Size : Sizes) {
      const Picture24 P = BandPicture(Size[0], Size[1], Colours, Colours + uint32_t(Size[0]));
      const std::vector<Chunk> C = ParseChunks(Encode(P));
      const std::vector<uint32_t> Palette = ExpectedPalette(P);
      const int Smallest = Palette.size() <= 2    ? 1
                           : Palette.size() <= 4  ? 2
                           : Palette.size() <= 16 ? 4
                                                  : 8;
      int Best = 0;
      std::vector<uint8_t> BestData;
      for (int Depth = Smallest; Depth <= 8; Depth *= 2) {
        std::vector<uint8_t> Data = CompressAtDepth(P, Palette, Depth);
        if (Best == 0 || Data.size() <= BestData.size()) {
          Best = Depth;
          BestData = std::move(Data);
        }
      }
      ASSERT_EQ(C[0].Data[8], Best) << Colours << " colours, " << Size[0] << "x" << Size[1];
      EXPECT_EQ(IdatStream(C), BestData);
    }
  }
}

TEST(PngWriterTest, SingleColourTieTakesTheLargestDepth) {
  Picture24 P = MakePicture(1, 1);
  SetPixel(P, 0, 0, 0x336699);
  const std::vector<Chunk> C = ParseChunks(Encode(P));
  EXPECT_EQ(C[0].Data[8], 8);
  EXPECT_EQ(C[2].Data, (std::vector<uint8_t>{0x33, 0x66, 0x99}));
}

TEST(PngWriterTest, PaletteIsMostFrequentFirstTiesByColour) {
  Picture24 P = MakePicture(10, 10);
  // 0x000000: 40 pixels, 0xFF0000: 30, 0x00FF00 and 0x0000FF: 15 each.
  for (int32_t I = 0; I < 100; ++I) {
    const uint32_t C = I < 40 ? 0x000000 : I < 70 ? 0xFF0000 : I < 85 ? 0x00FF00 : 0x0000FF;
    SetPixel(P, (I * 37) % 10, ((I * 37) / 10) % 10, C);
  }
  const Decoded D = DecodeWithLibpng(Encode(P));
  EXPECT_EQ(D.Palette, (std::vector<uint32_t>{0x000000, 0xFF0000, 0x0000FF, 0x00FF00}));
  EXPECT_EQ(D.Palette, ExpectedPalette(P));
  ExpectSamePixels(D, P);
}

TEST(PngWriterTest, GreyPictureIsIndexed) {
  Picture24 P = MakePicture(256, 8);
  for (int32_t Y = 0; Y < 8; ++Y)
    for (int32_t X = 0; X < 256; ++X) SetPixel(P, X, Y, uint32_t(X) * 0x010101u);
  const Decoded D = DecodeWithLibpng(Encode(P));
  EXPECT_EQ(D.ColourType, PNG_COLOR_TYPE_PALETTE);
  EXPECT_EQ(D.Depth, 8);
  EXPECT_EQ(D.Palette.size(), 256u);
  ExpectSamePixels(D, P);
}

TEST(PngWriterTest, MoreThan256ColoursIsTruecolour) {
  Picture24 P = MakePicture(256, 8);
  for (int32_t Y = 0; Y < 8; ++Y)
    for (int32_t X = 0; X < 256; ++X) SetPixel(P, X, Y, uint32_t(X) * 0x010101u);
  SetPixel(P, 3, 3, 0xFFFF00);  // a yellow text pixel makes 257 colours
  const std::vector<uint8_t> Bytes = Encode(P);
  const std::vector<Chunk> C = ParseChunks(Bytes);
  ASSERT_EQ(C.size(), 4u);
  EXPECT_EQ(C[0].Type, "IHDR");
  EXPECT_EQ(C[1].Type, "sRGB");
  EXPECT_EQ(C[2].Type, "IDAT");
  EXPECT_EQ(C[3].Type, "IEND");
  EXPECT_EQ(C[0].Data[8], 8);
  EXPECT_EQ(C[0].Data[9], 2);
  const Decoded D = DecodeWithLibpng(Bytes);
  EXPECT_EQ(D.ColourType, PNG_COLOR_TYPE_RGB);
  EXPECT_TRUE(D.Palette.empty());
  ExpectSamePixels(D, P);
}

TEST(PngWriterTest, RealViewRoundTrips) {
  const std::string Path = test::SharedData("aia_193_2013-06-24T17-31-30_4096.png");
  if (Path.empty()) GTEST_SKIP() << "shared data absent";
  const Decoded Source = DecodeWithLibpng(test::ReadBytes(Path));
  ASSERT_TRUE(Source.Ok);
  // A 1024 x 768 part of the grey frame, drawn as the view would be.
  Picture24 P = MakePicture(1024, 768);
  for (int32_t Y = 0; Y < 768; ++Y)
    for (int32_t X = 0; X < 1024; ++X)
      SetPixel(P, X, Y, Source.Pixels[size_t(Y + 1500) * Source.Width + size_t(X) + 1500]);
  const Decoded D = DecodeWithLibpng(Encode(P));
  EXPECT_EQ(D.ColourType, PNG_COLOR_TYPE_PALETTE);
  ExpectSamePixels(D, P);
}

TEST(PngWriterTest, RefusesEmptyOrDamagedPictures) {
  std::vector<uint8_t> Bytes;
  EXPECT_FALSE(EncodePng(Picture24{}, Bytes).Success);
  Picture24 P = MakePicture(4, 4);
  P.Pixels.pop_back();
  const PngResult R = EncodePng(P, Bytes);
  EXPECT_FALSE(R.Success);
  EXPECT_FALSE(R.ErrorText.empty());
  TempDir Dir;
  EXPECT_FALSE(WritePng(P, Dir.File("x.png")).Success);
  EXPECT_FALSE(std::filesystem::exists(Dir.File("x.png")));
}

TEST(PngWriterTest, WritesUnderExactlyThePathGiven) {
  TempDir Dir;
  const Picture24 P = BandPicture(50, 20, 5, 3);
  const PngResult R = WritePng(P, Dir.File("view_proc"));
  ASSERT_TRUE(R.Success) << R.ErrorText;
  EXPECT_TRUE(R.ErrorText.empty());
  std::vector<std::string> Names;
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path()))
    Names.push_back(E.path().filename().string());
  EXPECT_EQ(Names, std::vector<std::string>{"view_proc"});
  EXPECT_EQ(test::ReadBytes(Dir.File("view_proc")), Encode(P));
}

TEST(PngWriterTest, ReplacesAnExistingFile) {
  TempDir Dir;
  test::WriteText(Dir.File("a.png"), "old contents");
  const Picture24 P = BandPicture(30, 30, 3, 4);
  ASSERT_TRUE(WritePng(P, Dir.File("a.png")).Success);
  ExpectSamePixels(DecodeWithLibpng(test::ReadBytes(Dir.File("a.png"))), P);
}

TEST(PngWriterTest, UnwritablePathsAreErrors) {
  TempDir Dir;
  const Picture24 P = BandPicture(30, 30, 3, 5);
  const PngResult Missing = WritePng(P, Dir.File("no/such/dir/a.png"));
  EXPECT_FALSE(Missing.Success);
  EXPECT_NE(Missing.ErrorText.find("no/such/dir/a.png"), std::string::npos) << Missing.ErrorText;
  std::filesystem::create_directory(Dir.File("taken"));
  test::WriteText(Dir.File("taken/inside"), "x");
  const PngResult Directory = WritePng(P, Dir.File("taken"));
  EXPECT_FALSE(Directory.Success);
  EXPECT_FALSE(Directory.ErrorText.empty());
  // No temporary file is left behind.
  size_t Entries = 0;
  for ([[maybe_unused]] const auto& E : std::filesystem::directory_iterator(Dir.Path())) ++Entries;
  EXPECT_EQ(Entries, 1u);
}

// A write that fails half way (here: the file size limit) is an error, and the
// file that was there before is left as it was.
TEST(PngWriterTest, FailedWriteKeepsTheOldFile) {
  TempDir Dir;
  test::WriteText(Dir.File("keep.png"), "previous");
  rlimit Old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Old), 0);
  const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Small = Old;
  Small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Small), 0);
  const PngResult R = WritePng(BandPicture(400, 400, 200, 6), Dir.File("keep.png"));
  setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, OldHandler);
  EXPECT_FALSE(R.Success);
  EXPECT_NE(R.ErrorText.find("keep.png"), std::string::npos) << R.ErrorText;
  EXPECT_EQ(test::ReadBytes(Dir.File("keep.png")),
            (std::vector<uint8_t>{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
  size_t Entries = 0;
  for ([[maybe_unused]] const auto& E : std::filesystem::directory_iterator(Dir.Path())) ++Entries;
  EXPECT_EQ(Entries, 1u);
}

// Screen picture at scale 3 with the ROI 10, 5, 100 x 50: 33 x 16 pixels from
// column 3, rows 1 to 16.
TEST(PngWriterTest, CutOfTheScaledRegion) {
  Picture24 Screen = MakePicture(80, 40);
  for (int32_t Y = 0; Y < 40; ++Y)
    for (int32_t X = 0; X < 80; ++X) SetPixel(Screen, X, Y, uint32_t(Y) << 8 | uint32_t(X));
  const int32_t S = 3;
  const Picture24 Cut = CutPicture(Screen, 10 / S, 5 / S, 100 / S, 50 / S);
  ASSERT_EQ(Cut.Width, 33);
  ASSERT_EQ(Cut.Height, 16);
  EXPECT_EQ(PixelAt(Cut, 0), (1u << 8) | 3u);
  EXPECT_EQ(PixelAt(Cut, size_t(15) * 33 + 32), (16u << 8) | 35u);
}

TEST(PngWriterTest, CutIsClampedToThePicture) {
  Picture24 P = MakePicture(20, 10);
  for (int32_t Y = 0; Y < 10; ++Y)
    for (int32_t X = 0; X < 20; ++X) SetPixel(P, X, Y, uint32_t(Y) << 8 | uint32_t(X));
  const Picture24 Right = CutPicture(P, 15, 8, 10, 10);
  EXPECT_EQ(Right.Width, 5);
  EXPECT_EQ(Right.Height, 2);
  EXPECT_EQ(PixelAt(Right, 0), (8u << 8) | 15u);
  const Picture24 Left = CutPicture(P, -3, -2, 6, 5);
  EXPECT_EQ(Left.Width, 3);
  EXPECT_EQ(Left.Height, 3);
  EXPECT_EQ(PixelAt(Left, 0), 0u);
  EXPECT_EQ(CutPicture(P, 0, 0, 20, 10).Pixels, P.Pixels);
  EXPECT_EQ(CutPicture(P, 25, 0, 5, 5).Width, 0);
  EXPECT_TRUE(CutPicture(P, 2, 2, 0, 5).Pixels.empty());
  EXPECT_TRUE(CutPicture(P, 2, 2, -4, 5).Pixels.empty());
  EXPECT_EQ(CutPicture(P, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX).Width, 0);
  EXPECT_EQ(CutPicture(P, 1, 1, INT32_MAX, INT32_MAX).Width, 19);
}

}  // namespace
}  // namespace obra
