#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "BMP_JPEGformat.h"
#include "DecodedLoad.h"
#include "TestSupport.h"

using namespace obra;

namespace {

void Put16(std::vector<uint8_t>& B, size_t At, uint32_t V) {
  B[At] = static_cast<uint8_t>(V);
  B[At + 1] = static_cast<uint8_t>(V >> 8);
}
void Put32(std::vector<uint8_t>& B, size_t At, uint32_t V) {
  for (int I = 0; I < 4; ++I) B[At + I] = static_cast<uint8_t>(V >> (8 * I));
}

struct BmpFixture {
  BmpFixture(int32_t W, int32_t H, uint16_t B, uint32_t C = 0, uint32_t Size = 40,
             std::vector<uint32_t> M = {}, std::vector<std::vector<uint8_t>> R = {})
      : Width(W),
        StoredHeight(H),
        Bits(B),
        Compression(C),
        InfoSize(Size),
        Masks(std::move(M)),
        Rows(std::move(R)) {}
  int32_t Width;
  int32_t StoredHeight;  // negative: rows stored top first
  uint16_t Bits;
  uint32_t Compression;
  uint32_t InfoSize;
  std::vector<uint32_t> Masks;             // after a 40-byte header, inside a longer one
  std::vector<std::vector<uint8_t>> Rows;  // in file order, without padding
};

// An 8-bit palette whose colours are anything but grey, so that a reader which
// looked the indices up would be caught.
constexpr int PaletteEntries = 256;
void AppendColourPalette(std::vector<uint8_t>& B) {
  for (int I = 0; I < PaletteEntries; ++I)
    B.insert(B.end(), {static_cast<uint8_t>(255 - I), static_cast<uint8_t>(I / 2),
                       static_cast<uint8_t>(I ^ 0x5A), 0});
}

std::vector<uint8_t> EncodeBmp(const BmpFixture& S) {
  std::vector<uint8_t> B(14 + S.InfoSize, 0);
  B[0] = 'B';
  B[1] = 'M';
  Put32(B, 14, S.InfoSize);
  if (S.InfoSize == 12) {
    Put16(B, 18, static_cast<uint32_t>(S.Width));
    Put16(B, 20, static_cast<uint32_t>(S.StoredHeight));
    Put16(B, 22, 1);
    Put16(B, 24, S.Bits);
  } else {
    Put32(B, 18, static_cast<uint32_t>(S.Width));
    Put32(B, 22, static_cast<uint32_t>(S.StoredHeight));
    Put16(B, 26, 1);
    Put16(B, 28, S.Bits);
    Put32(B, 30, S.Compression);
  }
  for (size_t I = 0; I < S.Masks.size(); ++I) {
    if (S.InfoSize == 40) B.resize(B.size() + 4);
    Put32(B, 54 + 4 * I, S.Masks[I]);
  }
  if (S.Bits <= 8) AppendColourPalette(B);
  const size_t PixelStart = B.size();
  Put32(B, 10, static_cast<uint32_t>(PixelStart));
  for (const auto& Row : S.Rows) {
    B.insert(B.end(), Row.begin(), Row.end());
    while ((B.size() - PixelStart) % 4) B.push_back(0);
  }
  Put32(B, 2, static_cast<uint32_t>(B.size()));
  return B;
}

using Loaded = test::DecodedLoad;

Loaded Load(const std::string& File, bool ShowMessages = true) {
  return test::LoadDecoded(ReadBitmapHeader, ReadBitmapPixels, File, ShowMessages);
}

Loaded WriteAndLoad(const std::string& File, const std::vector<uint8_t>& Bytes) {
  test::WriteBytes(File, Bytes);
  return Load(File);
}

// ---- JPEG fixtures, encoded and decoded by libjpeg itself --------------------

std::vector<uint8_t> EncodeJpeg(int Width, int Height, int Components, J_COLOR_SPACE Space,
                                const std::vector<uint8_t>& Pixels, int Quality = 95,
                                bool Progressive = false,
                                const std::vector<jpeg_scan_info>& Scans = {}) {
  jpeg_compress_struct C{};
  jpeg_error_mgr Err{};
  C.err = jpeg_std_error(&Err);
  jpeg_create_compress(&C);
  unsigned char* Mem = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&C, &Mem, &Size);
  C.image_width = static_cast<JDIMENSION>(Width);
  C.image_height = static_cast<JDIMENSION>(Height);
  C.input_components = Components;
  C.in_color_space = Space;
  jpeg_set_defaults(&C);
  jpeg_set_quality(&C, Quality, TRUE);
  if (Progressive) jpeg_simple_progression(&C);
  if (!Scans.empty()) {
    C.scan_info = Scans.data();
    C.num_scans = static_cast<int>(Scans.size());
  }
  jpeg_start_compress(&C, TRUE);
  while (C.next_scanline < C.image_height) {
    JSAMPROW Row = const_cast<JSAMPROW>(Pixels.data()) + C.next_scanline * Width * Components;
    jpeg_write_scanlines(&C, &Row, 1);
  }
  jpeg_finish_compress(&C);
  std::vector<uint8_t> Out(Mem, Mem + Size);
  jpeg_destroy_compress(&C);
  std::free(Mem);
  return Out;
}

// Grey stays grey, colour comes back as R, G, B.
std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t>& Bytes) {
  jpeg_decompress_struct D{};
  jpeg_error_mgr Err{};
  D.err = jpeg_std_error(&Err);
  jpeg_create_decompress(&D);
  jpeg_mem_src(&D, Bytes.data(), Bytes.size());
  jpeg_read_header(&D, TRUE);
  if (D.num_components == 3) D.out_color_space = JCS_RGB;
  jpeg_start_decompress(&D);
  const size_t RowBytes = size_t{D.output_width} * D.output_components;
  std::vector<uint8_t> Out(RowBytes * D.output_height);
  while (D.output_scanline < D.output_height) {
    JSAMPROW Row = Out.data() + RowBytes * D.output_scanline;
    jpeg_read_scanlines(&D, &Row, 1);
  }
  jpeg_finish_decompress(&D);
  jpeg_destroy_decompress(&D);
  return Out;
}

// The longest progression there is: a DC scan, then every AC coefficient of
// every component alone, first at Al 10 and then refined bit by bit.
std::vector<jpeg_scan_info> LongestProgression(int Components) {
  std::vector<jpeg_scan_info> Scans(1);
  Scans[0].comps_in_scan = Components;
  for (int C = 0; C < Components; ++C) Scans[0].component_index[C] = C;
  for (int C = 0; C < Components; ++C)
    for (int K = 1; K < 64; ++K)
      for (int Al = 10; Al >= 0; --Al) {
        jpeg_scan_info S{};
        S.comps_in_scan = 1;
        S.component_index[0] = C;
        S.Ss = K;
        S.Se = K;
        S.Ah = Al == 10 ? 0 : Al + 1;
        S.Al = Al;
        Scans.push_back(S);
      }
  return Scans;
}

// Smooth enough that chroma subsampling and quantisation stay small.
std::vector<uint8_t> Gradient(int Width, int Height, int Components) {
  std::vector<uint8_t> P;
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width; ++X)
      for (int C = 0; C < Components; ++C)
        P.push_back(static_cast<uint8_t>(40 + 3 * X + 4 * Y + 30 * C));
  return P;
}

int MaxDifference(const std::vector<uint8_t>& A, const std::vector<uint8_t>& B) {
  int Max = A.size() == B.size() ? 0 : 999;
  for (size_t I = 0; I < std::min(A.size(), B.size()); ++I)
    Max = std::max(Max, std::abs(A[I] - B[I]));
  return Max;
}

// Offset of the height field of the first SOF0/SOF2 frame header.
size_t FrameSizeOffset(const std::vector<uint8_t>& J) {
  for (size_t I = 2; I + 9 < J.size(); ++I)
    if (J[I] == 0xFF && (J[I + 1] == 0xC0 || J[I + 1] == 0xC2)) return I + 5;
  ADD_FAILURE() << "no frame header";
  return 0;
}

// Writes every single-byte corruption of Good outside [SkipFrom, SkipTo) to
// File: each must load a consistent picture or be refused with a Known text.
void ExpectEveryFlipHandled(const std::string& File, const std::vector<uint8_t>& Good,
                            const std::vector<std::string>& Known, size_t SkipFrom = 0,
                            size_t SkipTo = 0) {
  for (size_t I = 0; I < Good.size(); ++I) {
    if (I >= SkipFrom && I < SkipTo) continue;
    for (uint8_t Flip : {0x01, 0x80, 0xFF}) {
      std::vector<uint8_t> Bad = Good;
      Bad[I] ^= Flip;
      test::WriteBytes(File, Bad);
      Loaded L = Load(File, false);
      if (L.R.Valid) {
        EXPECT_TRUE(L.Pixels) << I;
        EXPECT_EQ(L.R.DataSize, L.R.Width * L.R.Height * L.R.Channels);
      } else {
        EXPECT_NE(std::find(Known.begin(), Known.end(), L.R.ErrorText), Known.end())
            << I << ": " << L.R.ErrorText;
      }
    }
  }
}

const std::string Unsupported = "File x.bmp has unsupported BMP pixel format.";
const std::string CorruptBmp = "File x.bmp is not a correct BMP file.";

// 5 x 3 index image (top row first): row y, column x holds 40 y + x.
BmpFixture EightBit(bool TopDown) {
  BmpFixture S{5, TopDown ? -3 : 3, 8};
  for (int I = 0; I < 3; ++I) {
    const int Y = TopDown ? I : 2 - I;
    std::vector<uint8_t> Row;
    for (int X = 0; X < 5; ++X) Row.push_back(static_cast<uint8_t>(40 * Y + X));
    S.Rows.push_back(Row);
  }
  return S;
}

// 3 x 2 colour image of 24 or 32 bits, pixel (x, y) = R 10x+y, G 100+y, B 200+x.
BmpFixture Colour(uint16_t Bits, bool TopDown) {
  BmpFixture S{3, TopDown ? -2 : 2, Bits};
  for (int I = 0; I < 2; ++I) {
    const int Y = TopDown ? I : 1 - I;
    std::vector<uint8_t> Row;
    for (int X = 0; X < 3; ++X) {
      Row.push_back(static_cast<uint8_t>(200 + X));
      Row.push_back(static_cast<uint8_t>(100 + Y));
      Row.push_back(static_cast<uint8_t>(10 * X + Y));
      if (Bits == 32) Row.push_back(0xEE);
    }
    S.Rows.push_back(Row);
  }
  return S;
}

const std::vector<uint8_t> ColourRgb = {0, 100, 200, 10, 100, 201, 20, 100, 202,
                                        1, 101, 200, 11, 101, 201, 21, 101, 202};

}  // namespace

// ---- BMP -------------------------------------------------------------------

TEST(BmpReader, EightBitIndicesAreGreyLevelsWhateverThePalette) {
  test::TempDir Dir;
  const std::vector<uint8_t> Expected = {0, 1, 2, 3, 4, 40, 41, 42, 43, 44, 80, 81, 82, 83, 84};
  for (bool TopDown : {false, true}) {
    Loaded L = WriteAndLoad(Dir.File("x.bmp"), EncodeBmp(EightBit(TopDown)));
    test::ExpectGoodDecodedRecord(L, Dir.File("x.bmp"), 5, 3, 1);
    EXPECT_TRUE(L.HadPicture);
    EXPECT_EQ(L.Bytes(), Expected) << TopDown;
  }
}

TEST(BmpReader, ColourBecomesRedGreenBlueInEveryLayout) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  std::vector<BmpFixture> Layouts;
  for (bool TopDown : {false, true}) {
    Layouts.push_back(Colour(24, TopDown));
    Layouts.push_back(Colour(32, TopDown));
    BmpFixture Fields = Colour(32, TopDown);
    Fields.Compression = 3;
    Fields.Masks = {0xFF0000, 0xFF00, 0xFF};
    Layouts.push_back(Fields);
    for (uint32_t Size : {108u, 124u}) {
      Fields.InfoSize = Size;
      Fields.Masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
      Layouts.push_back(Fields);
    }
  }
  for (size_t I = 0; I < Layouts.size(); ++I) {
    Loaded L = WriteAndLoad(File, EncodeBmp(Layouts[I]));
    ASSERT_TRUE(L.Pixels) << I;
    EXPECT_EQ(L.R.Channels, 3);
    EXPECT_EQ(L.R.BytesPerPixel, 3);
    EXPECT_EQ(L.R.DataSize, 18);
    EXPECT_EQ(L.Bytes(), ColourRgb) << I;
  }
}

TEST(BmpReader, OtherPixelFormatsAreRefused) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  std::vector<BmpFixture> Refused;
  for (uint16_t Bits : {1, 4, 16, 2, 48, 0})
    Refused.push_back({8, 2, Bits, 0, 40, {}, {{0, 0, 0, 0}}});
  Refused.push_back({8, 2, 8, 1, 40, {}, {{0, 0, 0, 0}}});   // RLE8
  Refused.push_back({8, 2, 4, 2, 40, {}, {{0, 0, 0, 0}}});   // RLE4
  Refused.push_back({8, 2, 24, 4, 40, {}, {{0, 0, 0, 0}}});  // embedded JPEG
  Refused.push_back({2, 2, 16, 3, 40, {0xF800, 0x7E0, 0x1F}, {{0, 0, 0, 0}}});
  Refused.push_back({2, 2, 24, 3, 40, {0xFF0000, 0xFF00, 0xFF}, {{0, 0, 0, 0, 0, 0}}});
  Refused.push_back({2, 2, 32, 3, 40, {0xFF, 0xFF00, 0xFF0000}, {{0, 0, 0, 0, 0, 0, 0, 0}}});
  Refused.push_back({8, 2, 24, 0, 12, {}, {{0, 0, 0}}});  // OS/2 header
  for (size_t I = 0; I < Refused.size(); ++I) {
    ImageRecord R;
    R.DecodedBitmap = std::make_shared<DecodedPicture>();
    test::WriteBytes(File, EncodeBmp(Refused[I]));
    test::Messages M;
    ReadBitmapHeader(File, R, true, M.Sink());
    EXPECT_FALSE(R.Valid) << I;
    EXPECT_EQ(R.ErrorText, Unsupported) << I;
    EXPECT_EQ(M.List, std::vector<std::string>{Unsupported}) << I;
    EXPECT_EQ(R.DecodedBitmap, nullptr);
    EXPECT_EQ(R.DataSize, 0);
    if (Refused[I].InfoSize == 40) {
      EXPECT_EQ(R.Width, Refused[I].Width) << I;
    }
  }
}

TEST(BmpReader, MissingFileIsNeverShown) {
  test::TempDir Dir;
  ImageRecord R;
  test::Messages M;
  ReadBitmapHeader(Dir.File("missing.bmp"), R, true, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.ErrorText, "File not found.");
  EXPECT_TRUE(M.List.empty());
  ReadBitmapHeader(Dir.File("missing.jpg"), R, true, M.Sink());
  EXPECT_EQ(R.ErrorText, "File not found.");
  // Nor is a pipe a file: opening it would block.
  const std::string Fifo = Dir.File("fifo.jpg");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
  ReadBitmapHeader(Fifo, R, true, M.Sink());
  EXPECT_EQ(R.ErrorText, "File not found.");
  EXPECT_TRUE(M.List.empty());
}

TEST(BmpReader, BrokenHeadersAreRefused) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  const std::vector<uint8_t> Good = EncodeBmp(Colour(24, false));
  auto Patched = [&](size_t At, uint32_t V) {
    std::vector<uint8_t> B = Good;
    Put32(B, At, V);
    return B;
  };
  std::vector<std::vector<uint8_t>> Broken = {
      Patched(0, 0x4D42 ^ 0x2020),  // no "BM"
      Patched(14, 41),              // unknown header size
      Patched(18, 0),               // width 0
      Patched(18, 0x80000000u),     // negative width
      Patched(22, 0),               // height 0
      Patched(22, 0x80000000u),     // a height without magnitude
      Patched(10, 20),              // pixels inside the header
      Patched(10, 0xFFFFFFF0u),     // pixels beyond the end
      Patched(22, 3),               // more rows than the file holds
  };
  for (size_t I = 0; I < Broken.size(); ++I) {
    Loaded L = WriteAndLoad(File, Broken[I]);
    EXPECT_FALSE(L.R.Valid) << I;
    EXPECT_EQ(L.Shown, std::vector<std::string>{CorruptBmp}) << I;
    EXPECT_EQ(L.R.DataSize, 0) << I;
  }
}

TEST(BmpReader, HugeSizesAreRefusedBeforeAllocating) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  struct Case {
    int32_t Width, Height;
    uint16_t Bits;
    std::string Message;
  };
  const std::vector<Case> Cases = {
      {100000, 100000, 8, "File x.bmp is too large."},
      {46341, -46341, 8, "File x.bmp is too large."},
      {0x7FFFFFFF, 1, 24, "File x.bmp is too large."},
      {30000, 30000, 32, "File x.bmp is too large."},
      {30000, 30000, 8, CorruptBmp},  // fits, but the file holds one row
  };
  for (const Case& C : Cases) {
    Loaded L =
        WriteAndLoad(File, EncodeBmp({C.Width, C.Height, C.Bits, 0, 40, {}, {{1, 2, 3, 4}}}));
    EXPECT_FALSE(L.R.Valid);
    EXPECT_FALSE(L.HadPicture);
    EXPECT_EQ(L.Shown, std::vector<std::string>{C.Message}) << C.Width;
  }
}

TEST(BmpReader, TruncatedAndDamagedFilesAreRefusedCleanly) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  const std::vector<uint8_t> Good = EncodeBmp(Colour(24, false));
  const size_t LastPadding = 3;  // 3 pixels of 3 bytes pad to 12
  for (size_t N = 0; N < Good.size(); ++N) {
    test::WriteBytes(File, {Good.begin(), Good.begin() + static_cast<ptrdiff_t>(N)});
    Loaded L = Load(File, false);
    if (N + LastPadding < Good.size()) {
      ASSERT_FALSE(L.R.Valid) << "prefix " << N;
      EXPECT_EQ(L.R.ErrorText, CorruptBmp) << "prefix " << N;
    } else {
      EXPECT_EQ(L.Bytes(), ColourRgb) << "the last row's padding may be missing";
    }
  }
  const std::vector<std::string> Known = {CorruptBmp, Unsupported, "File x.bmp is too large."};
  // Flips everywhere but in the palette, which the reader never looks at.
  const size_t PaletteStart = 54, PaletteEnd = PaletteStart + 4 * PaletteEntries;
  ExpectEveryFlipHandled(File, Good, Known);
  ExpectEveryFlipHandled(File, EncodeBmp(EightBit(true)), Known, PaletteStart, PaletteEnd);
}

TEST(BitmapReader, PixelReadNeedsAPictureAndReleasesIt) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  test::WriteBytes(File, EncodeBmp(Colour(24, true)));
  ImageRecord R;
  std::vector<uint16_t> Buffer(9, 0xEEEE);
  R.Valid = true;
  EXPECT_FALSE(ReadBitmapPixels(R, Buffer));
  EXPECT_FALSE(R.Valid);

  ReadBitmapHeader(File, R, false, nullptr);
  ASSERT_NE(R.DecodedBitmap, nullptr);
  std::vector<uint16_t> Small(8, 0xEEEE);
  EXPECT_FALSE(ReadBitmapPixels(R, Small));
  EXPECT_EQ(R.DecodedBitmap, nullptr);
  for (uint16_t V : Small) EXPECT_EQ(V, 0xEEEE);

  ReadBitmapHeader(File, R, false, nullptr);
  ASSERT_TRUE(ReadBitmapPixels(R, Buffer));
  EXPECT_TRUE(R.Valid);
  EXPECT_FALSE(ReadBitmapPixels(R, Buffer));
  EXPECT_FALSE(R.Valid);

  // A picture that does not match its record is not copied.
  ReadBitmapHeader(File, R, false, nullptr);
  R.Width = 2;
  EXPECT_FALSE(ReadBitmapPixels(R, Buffer));

  // A refused header read leaves no picture of the file before.
  ReadBitmapHeader(File, R, false, nullptr);
  test::WriteText(Dir.File("y.bmp"), "BM");
  test::Messages M;
  ReadBitmapHeader(Dir.File("y.bmp"), R, false, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.DecodedBitmap, nullptr);
  EXPECT_EQ(R.ErrorText, "File y.bmp is not a correct BMP file.");
  EXPECT_TRUE(M.List.empty());
}

// ---- JPEG ------------------------------------------------------------------

TEST(JpegReader, GreyDecodesToEightBitsAsLibjpegDoes) {
  test::TempDir Dir;
  const std::vector<uint8_t> Source = Gradient(19, 13, 1);
  const std::vector<uint8_t> Jpeg = EncodeJpeg(19, 13, 1, JCS_GRAYSCALE, Source);
  Loaded L = WriteAndLoad(Dir.File("x.jpg"), Jpeg);
  ASSERT_TRUE(L.Pixels);
  EXPECT_EQ(L.R.Width, 19);
  EXPECT_EQ(L.R.Height, 13);
  EXPECT_EQ(L.R.Channels, 1);
  EXPECT_EQ(L.R.DataType, "BYTE");
  EXPECT_EQ(L.R.BytesPerPixel, 1);
  EXPECT_EQ(L.R.DataSize, 19 * 13);
  EXPECT_EQ(L.R.HeaderSize, -1);
  EXPECT_EQ(L.Bytes(), DecodeJpeg(Jpeg));
  EXPECT_LE(MaxDifference(L.Bytes(), Source), 4);
}

TEST(JpegReader, ColourDecodesToRedGreenBlue) {
  test::TempDir Dir;
  const std::vector<uint8_t> Source = Gradient(21, 17, 3);
  for (bool Progressive : {false, true}) {
    const std::vector<uint8_t> Jpeg = EncodeJpeg(21, 17, 3, JCS_RGB, Source, 95, Progressive);
    Loaded L = WriteAndLoad(Dir.File("x.jpg"), Jpeg);
    ASSERT_TRUE(L.Pixels) << Progressive;
    EXPECT_EQ(L.R.Channels, 3);
    EXPECT_EQ(L.R.BytesPerPixel, 3);
    EXPECT_EQ(L.R.DataSize, 21 * 17 * 3);
    EXPECT_EQ(L.Bytes(), DecodeJpeg(Jpeg)) << Progressive;
    EXPECT_LE(MaxDifference(L.Bytes(), Source), 8) << Progressive;
  }
}

TEST(JpegReader, JpegAndJpgExtensionsLoadIdentically) {
  test::TempDir Dir;
  const std::vector<uint8_t> Jpeg = EncodeJpeg(9, 7, 3, JCS_RGB, Gradient(9, 7, 3));
  Loaded A = WriteAndLoad(Dir.File("x.jpg"), Jpeg);
  Loaded B = WriteAndLoad(Dir.File("x.jpeg"), Jpeg);
  Loaded C = WriteAndLoad(Dir.File("X.JPEG"), Jpeg);
  ASSERT_TRUE(A.Pixels && B.Pixels && C.Pixels);
  EXPECT_EQ(A.Bytes(), B.Bytes());
  EXPECT_EQ(A.Bytes(), C.Bytes());
  EXPECT_EQ(A.R.DataSize, B.R.DataSize);
  EXPECT_EQ(A.R.Channels, B.R.Channels);
  EXPECT_EQ(B.R.FileName, Dir.File("x.jpeg"));
  // The decoder follows the extension, not the content.
  Loaded AsBmp = WriteAndLoad(Dir.File("x.bmp"), Jpeg);
  EXPECT_EQ(AsBmp.R.ErrorText, CorruptBmp);
}

TEST(JpegReader, CmykAndTwelveBitFilesAreRefused) {
  test::TempDir Dir;
  const std::string Message = "File x.jpg has unsupported BMP pixel format.";
  Loaded L = WriteAndLoad(Dir.File("x.jpg"), EncodeJpeg(8, 8, 4, JCS_CMYK, Gradient(8, 8, 4)));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{Message});
  EXPECT_EQ(L.R.Width, 8);

  std::vector<uint8_t> Jpeg = EncodeJpeg(8, 8, 1, JCS_GRAYSCALE, Gradient(8, 8, 1));
  Jpeg[FrameSizeOffset(Jpeg) - 1] = 12;
  L = WriteAndLoad(Dir.File("x.jpg"), Jpeg);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{Message});
}

TEST(JpegReader, HugeFramesAreRefusedBeforeAllocating) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.jpg");
  std::vector<uint8_t> Jpeg = EncodeJpeg(16, 16, 3, JCS_RGB, Gradient(16, 16, 3));
  const size_t At = FrameSizeOffset(Jpeg);
  for (size_t I = 0; I < 4; ++I) Jpeg[At + I] = (I % 2) ? 0xDC : 0xFF;  // 65500 x 65500
  Loaded L = WriteAndLoad(File, Jpeg);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"File x.jpg is too large."});

  // It fits, but the data for it run out at once.
  std::vector<uint8_t> Grey = EncodeJpeg(16, 16, 1, JCS_GRAYSCALE, Gradient(16, 16, 1));
  const size_t GreyAt = FrameSizeOffset(Grey);
  for (size_t I = 0; I < 4; ++I) Grey[GreyAt + I] = (I % 2) ? 0x20 : 0x4E;  // 20000 x 20000
  L = WriteAndLoad(File, Grey);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_FALSE(L.HadPicture);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"File x.jpg is not a correct JPEG file."});
}

TEST(JpegReader, TruncatedAndDamagedFilesAreRefusedCleanly) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.jpg");
  const std::string Corrupt = "File x.jpg is not a correct JPEG file.";
  for (bool Progressive : {false, true}) {
    const std::vector<uint8_t> Good =
        EncodeJpeg(16, 16, 3, JCS_RGB, Gradient(16, 16, 3), 90, Progressive);
    for (size_t N = 0; N < Good.size(); ++N) {
      test::WriteBytes(File, {Good.begin(), Good.begin() + static_cast<ptrdiff_t>(N)});
      Loaded L = Load(File, false);
      ASSERT_FALSE(L.R.Valid) << "prefix " << N;
      EXPECT_EQ(L.R.ErrorText, Corrupt) << "prefix " << N;
      EXPECT_FALSE(L.HadPicture);
    }
    const std::vector<std::string> Known = {Corrupt, "File x.jpg is too large.",
                                            "File x.jpg has unsupported BMP pixel format."};
    ExpectEveryFlipHandled(File, Good, Known);
  }
}

TEST(JpegReader, EndlessProgressionsAreCutShort) {
  test::TempDir Dir;
  // 694 scans: more than any encoder writes, still within bounds.
  const std::vector<uint8_t> Grey =
      EncodeJpeg(8, 8, 1, JCS_GRAYSCALE, Gradient(8, 8, 1), 95, false, LongestProgression(1));
  Loaded L = WriteAndLoad(Dir.File("x.jpg"), Grey);
  ASSERT_TRUE(L.Pixels);
  EXPECT_EQ(L.Bytes(), DecodeJpeg(Grey));

  // 2080 scans of one tiny picture: refused rather than decoded without end.
  const std::vector<uint8_t> Colour =
      EncodeJpeg(8, 8, 3, JCS_RGB, Gradient(8, 8, 3), 95, false, LongestProgression(3));
  L = WriteAndLoad(Dir.File("x.jpg"), Colour);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"File x.jpg is not a correct JPEG file."});
  EXPECT_EQ(DecodeJpeg(Colour).size(), 8u * 8 * 3);
}

// ---- Through the load pipeline --------------------------------------------

TEST(BitmapLoad, EightBitBmpIsWidenedWithoutRescaling) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  BmpFixture S{4, 2, 8, 0, 40, {}, {{255, 254, 128, 1}, {0, 2, 3, 200}}};
  test::WriteBytes(File, EncodeBmp(S));
  auto [R, Buffer, Shown] = test::LoadWholeFile(File);
  ASSERT_TRUE(R.Valid);
  EXPECT_TRUE(Shown.empty());
  EXPECT_EQ(R.ResultType, "WORD");
  EXPECT_EQ(Buffer, (std::vector<uint16_t>{0, 2, 3, 200, 255, 254, 128, 1}));
  EXPECT_EQ(R.MaxValue, 255);
  EXPECT_EQ(R.DecodedBitmap, nullptr);
}

TEST(BitmapLoad, ColourJpegKeepsItsThreeChannels) {
  test::TempDir Dir;
  const std::vector<uint8_t> Jpeg = EncodeJpeg(9, 7, 3, JCS_RGB, Gradient(9, 7, 3));
  const std::vector<uint8_t> Expected = DecodeJpeg(Jpeg);
  for (const char* Name : {"x.jpg", "x.JPEG"}) {
    test::WriteBytes(Dir.File(Name), Jpeg);
    auto [R, Buffer, Shown] = test::LoadWholeFile(Dir.File(Name));
    ASSERT_TRUE(R.Valid) << Name;
    EXPECT_EQ(R.Channels, 3);
    EXPECT_EQ(std::vector<uint8_t>(Buffer.begin(), Buffer.end()), Expected) << Name;
  }
}

TEST(BitmapLoad, RefusedFilesShowTheirMessageOnce) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  test::WriteBytes(File, EncodeBmp({8, 2, 4, 0, 40, {}, {{0, 0, 0, 0}}}));
  auto [R, Buffer, Shown] = test::LoadWholeFile(File);
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(Shown, std::vector<std::string>{Unsupported});
}
