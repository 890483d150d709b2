// BMP and JPEG input: layouts, refusals, hostile files, and libjpeg as the oracle.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <tuple>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "BMP_JPEGformat.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

const std::string Unsupported = "File x.bmp has unsupported BMP pixel format.";
const std::string CorruptBmp = "File x.bmp is not a correct BMP file.";
const std::string CorruptJpeg = "File x.jpg is not a correct JPEG file.";
constexpr size_t PaletteStart = 54, PaletteEnd = PaletteStart + 4 * 256;

struct Bmp {
  int32_t Width, StoredHeight;  // negative: rows stored top first
  uint16_t Bits;
  uint32_t Compression = 0, InfoSize = 40;
  std::vector<uint32_t> Masks = {};             // after a 40-byte header, inside a longer one
  std::vector<std::vector<uint8_t>> Rows = {};  // in file order, without padding
};

// An 8-bit file gets a palette of anything but grey, so a reader that looked
// the indices up would be caught.
std::vector<uint8_t> EncodeBmp(const Bmp& S) {
  std::vector<uint8_t> B = {'B', 'M'};
  B.resize(14 + S.InfoSize);
  Store(B, 14, S.InfoSize, 4, false);
  const bool Os2 = S.InfoSize == 12;
  Store(B, 18, uint32_t(S.Width), Os2 ? 2 : 4, false);
  Store(B, Os2 ? 20 : 22, uint32_t(S.StoredHeight), Os2 ? 2 : 4, false);
  Store(B, Os2 ? 22 : 26, 1, 2, false);
  Store(B, Os2 ? 24 : 28, S.Bits, 2, false);
  if (!Os2) Store(B, 30, S.Compression, 4, false);
  if (S.InfoSize == 40) B.resize(B.size() + 4 * S.Masks.size());
  for (size_t I = 0; I < S.Masks.size(); ++I) Store(B, 54 + 4 * I, S.Masks[I], 4, false);
  if (S.Bits <= 8)
    for (int I = 0; I < 256; ++I)
      B.insert(B.end(), {uint8_t(255 - I), uint8_t(I / 2), uint8_t(I ^ 0x5A), 0});
  const size_t PixelStart = B.size();
  Store(B, 10, uint32_t(PixelStart), 4, false);
  for (const auto& Row : S.Rows) {
    B.insert(B.end(), Row.begin(), Row.end());
    B.resize(PixelStart + (B.size() - PixelStart + 3) / 4 * 4);
  }
  Store(B, 2, uint32_t(B.size()), 4, false);
  return B;
}

// 5 x 3 indices, row y and column x holding 40 y + x; or 3 x 2 colour of 24
// or 32 bits, stored B, G, R(, X), pixel (x, y) being R 10x+y, G 100+y, B 200+x.
Bmp Picture(uint16_t Bits, bool TopDown) {
  const int W = Bits == 8 ? 5 : 3, H = Bits == 8 ? 3 : 2;
  Bmp S{W, TopDown ? -H : H, Bits};
  for (int I = 0; I < H; ++I) {
    const int Y = TopDown ? I : H - 1 - I;
    auto& Row = S.Rows.emplace_back();
    for (int X = 0; X < W; ++X) {
      if (Bits == 8) Row.push_back(uint8_t(40 * Y + X));
      if (Bits != 8)
        Row.insert(Row.end(), {uint8_t(200 + X), uint8_t(100 + Y), uint8_t(10 * X + Y)});
      if (Bits == 32) Row.push_back(0xEE);
    }
  }
  return S;
}
const std::vector<uint8_t> ColourRgb = {0, 100, 200, 10, 100, 201, 20, 100, 202,
                                        1, 101, 200, 11, 101, 201, 21, 101, 202};

DecodedLoad Load(const std::string& File, bool ShowMessages = true) {
  return LoadDecoded(ReadBitmapHeader, ReadBitmapPixels, File, ShowMessages);
}
DecodedLoad WriteLoad(const std::string& File, const std::vector<uint8_t>& Bytes) {
  WriteBytes(File, Bytes);
  return Load(File);
}

// Encoded by libjpeg itself, optionally with a scan script.
std::vector<uint8_t> EncodeJpeg(int W, int H, int Components, J_COLOR_SPACE Space,
                                bool Progressive = false,
                                const std::vector<jpeg_scan_info>& Scans = {}) {
  // Smooth enough that chroma subsampling and quantisation stay small.
  std::vector<uint8_t> Pixels;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      for (int C = 0; C < Components; ++C) Pixels.push_back(uint8_t(40 + 3 * X + 4 * Y + 30 * C));
  jpeg_compress_struct C{};
  jpeg_error_mgr Err{};
  C.err = jpeg_std_error(&Err);
  jpeg_create_compress(&C);
  unsigned char* Mem = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&C, &Mem, &Size);
  C.image_width = JDIMENSION(W);
  C.image_height = JDIMENSION(H);
  C.input_components = Components;
  C.in_color_space = Space;
  jpeg_set_defaults(&C);
  jpeg_set_quality(&C, 95, TRUE);
  if (Progressive) jpeg_simple_progression(&C);
  if (!Scans.empty()) C.scan_info = Scans.data(), C.num_scans = int(Scans.size());
  jpeg_start_compress(&C, TRUE);
  while (C.next_scanline < C.image_height) {
    JSAMPROW Row = Pixels.data() + C.next_scanline * W * Components;
    jpeg_write_scanlines(&C, &Row, 1);
  }
  jpeg_finish_compress(&C);
  std::vector<uint8_t> Out(Mem, Mem + Size);
  jpeg_destroy_compress(&C);
  std::free(Mem);
  return Out;
}

// libjpeg's decode: grey stays grey, colour comes back as R, G, B.
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

// A DC scan, then every AC coefficient of every component alone, first at Al
// 10 and then refined bit by bit: the longest progression there is.
std::vector<jpeg_scan_info> LongestProgression(int Components) {
  std::vector<jpeg_scan_info> Scans(1);
  Scans[0].comps_in_scan = Components;
  for (int C = 0; C < Components; ++C) Scans[0].component_index[C] = C;
  for (int C = 0; C < Components; ++C)
    for (int K = 1; K < 64; ++K)
      for (int Al = 10; Al >= 0; --Al) {
        jpeg_scan_info S{};
        S.comps_in_scan = 1, S.component_index[0] = C, S.Ss = S.Se = K;
        S.Ah = Al == 10 ? 0 : Al + 1, S.Al = Al;
        Scans.push_back(S);
      }
  return Scans;
}

// Offset of the height field of the first SOF0/SOF2 frame header.
size_t FrameSizeOffset(const std::vector<uint8_t>& J) {
  for (size_t I = 2; I + 9 < J.size(); ++I)
    if (J[I] == 0xFF && (J[I + 1] == 0xC0 || J[I + 1] == 0xC2)) return I + 5;
  ADD_FAILURE() << "no frame header";
  return 0;
}

// Every prefix of Good must be refused with Cut (or, from Complete on, load
// as Good does); every single-byte corruption outside [SkipFrom, SkipTo) must
// load a consistent picture or be refused with a Known text.
void ExpectDamageHandled(const std::string& File, const std::vector<uint8_t>& Good,
                         const std::string& Cut, size_t Complete,
                         const std::vector<std::string>& Known, size_t SkipFrom = 0,
                         size_t SkipTo = 0) {
  const std::vector<uint8_t> Whole = WriteLoad(File, Good).Bytes();
  for (size_t N = 0; N < Good.size(); ++N) {
    WriteBytes(File, {Good.begin(), Good.begin() + ptrdiff_t(N)});
    const DecodedLoad L = Load(File, false);
    if (N < Complete) {
      ASSERT_FALSE(L.R.Valid) << "prefix " << N;
      ASSERT_EQ(L.R.ErrorText, Cut) << "prefix " << N;
      ASSERT_FALSE(L.HadPicture) << "prefix " << N;
    } else {
      EXPECT_EQ(L.Bytes(), Whole) << "the last row's padding may be missing";
    }
  }
  for (size_t I = 0; I < Good.size(); ++I) {
    if (I >= SkipFrom && I < SkipTo) continue;
    for (uint8_t Flip : {0x01, 0x80, 0xFF}) {
      std::vector<uint8_t> Bad = Good;
      Bad[I] ^= Flip;
      WriteBytes(File, Bad);
      const DecodedLoad L = Load(File, false);
      if (L.R.Valid) {
        EXPECT_TRUE(L.Pixels) << I;
        EXPECT_EQ(L.R.DataSize, L.R.Width * L.R.Height * L.R.Channels) << I;
      } else {
        EXPECT_NE(std::find(Known.begin(), Known.end(), L.R.ErrorText), Known.end()) << I;
      }
    }
  }
}

}  // namespace

TEST(BmpReader, EveryLayoutDecodes) {
  TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  // 8-bit indices are grey levels whatever the palette, in either row order.
  for (bool TopDown : {false, true}) {
    const DecodedLoad L = WriteLoad(File, EncodeBmp(Picture(8, TopDown)));
    ExpectGoodDecodedRecord(L, File, 5, 3, 1);
    EXPECT_EQ(L.Bytes(),
              (std::vector<uint8_t>{0, 1, 2, 3, 4, 40, 41, 42, 43, 44, 80, 81, 82, 83, 84}));
  }
  // Colour becomes R, G, B from 24 and 32 bits, bit fields and V4/V5 headers.
  for (bool TopDown : {false, true}) {
    Bmp Fields = Picture(32, TopDown);
    Fields.Compression = 3;
    Fields.Masks = {0xFF0000, 0xFF00, 0xFF};
    Bmp V4 = Fields, V5 = Fields;
    V4.InfoSize = 108, V5.InfoSize = 124;
    V4.Masks = V5.Masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    for (const Bmp& S : {Picture(24, TopDown), Picture(32, TopDown), Fields, V4, V5}) {
      const DecodedLoad L = WriteLoad(File, EncodeBmp(S));
      ASSERT_TRUE(L.Pixels) << S.Bits << " " << S.InfoSize;
      EXPECT_EQ(L.R.Channels, 3);
      EXPECT_EQ(L.R.BytesPerPixel, 3);
      EXPECT_EQ(L.R.DataSize, 18);
      EXPECT_EQ(L.Bytes(), ColourRgb) << S.Bits << " " << S.InfoSize;
    }
  }
}

TEST(BmpReader, OtherPixelFormatsAreRefused) {
  TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  std::vector<Bmp> Refused = {{8, 2, 8, 1},   // RLE8
                              {8, 2, 4, 2},   // RLE4
                              {8, 2, 24, 4},  // JPEG
                              {2, 2, 16, 3, 40, {0xF800, 0x7E0, 0x1F}},
                              {2, 2, 24, 3, 40, {0xFF0000, 0xFF00, 0xFF}},
                              {2, 2, 32, 3, 40, {0xFF, 0xFF00, 0xFF0000}},  // not B, G, R
                              {8, 2, 24, 0, 12}};                           // OS/2 header
  for (uint16_t Bits : {1, 4, 16, 2, 48, 0}) Refused.push_back({8, 2, Bits});
  for (Bmp& S : Refused) {
    S.Rows = {std::vector<uint8_t>(size_t(S.Width) * 4, 0)};
    ImageRecord R;
    R.DecodedBitmap = std::make_shared<DecodedPicture>();
    WriteBytes(File, EncodeBmp(S));
    Messages M;
    ReadBitmapHeader(File, R, true, M.Sink());
    EXPECT_FALSE(R.Valid) << S.Bits << " " << S.Compression;
    EXPECT_EQ(R.ErrorText, Unsupported) << S.Bits << " " << S.Compression;
    EXPECT_EQ(M.List, std::vector<std::string>{Unsupported}) << S.Bits << " " << S.Compression;
    EXPECT_EQ(R.DecodedBitmap, nullptr) << S.Bits << " " << S.Compression;
    EXPECT_EQ(R.DataSize, 0) << S.Bits << " " << S.Compression;
    EXPECT_EQ(R.Width, S.InfoSize == 40 ? S.Width : R.Width);
  }
}

TEST(BmpReader, BrokenAndHugeHeadersAreRefusedBeforeAllocating) {
  TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  const std::string TooLarge = "File x.bmp is too large.";
  const std::vector<uint8_t> Good = EncodeBmp(Picture(24, false));
  const std::pair<size_t, uint32_t> Patches[] = {
      {0, 0x4D42 ^ 0x2020},  // no "BM"
      {14, 41},              // unknown header size
      {18, 0},               // width 0
      {18, 0x80000000u},     // negative width
      {22, 0},               // height 0
      {22, 0x80000000u},     // a height without magnitude
      {10, 20},              // pixels inside the header
      {10, 0xFFFFFFF0u},     // pixels beyond the end
      {22, 3},               // more rows than the file holds
  };
  for (const auto& [At, V] : Patches) {
    std::vector<uint8_t> B = Good;
    Store(B, At, V, 4, false);
    const DecodedLoad L = WriteLoad(File, B);
    EXPECT_FALSE(L.R.Valid) << At << " " << V;
    EXPECT_EQ(L.Shown, std::vector<std::string>{CorruptBmp}) << At << " " << V;
    EXPECT_EQ(L.R.DataSize, 0) << At << " " << V;
  }
  for (auto [W, H, Bits, Message] :
       {std::tuple{100000, 100000, 8, TooLarge},
        {46341, -46341, 8, TooLarge},
        {0x7FFFFFFF, 1, 24, TooLarge},
        {30000, 30000, 32, TooLarge},
        {30000, 30000, 8, CorruptBmp}}) {  // fits, but the file holds one row
    const DecodedLoad L =
        WriteLoad(File, EncodeBmp({W, H, uint16_t(Bits), 0, 40, {}, {{1, 2, 3, 4}}}));
    EXPECT_FALSE(L.R.Valid) << W;
    EXPECT_FALSE(L.HadPicture) << W;
    EXPECT_EQ(L.Shown, std::vector<std::string>{Message}) << W;
  }
}

TEST(BmpReader, TruncatedAndDamagedFilesAreRefusedCleanly) {
  TempDir Dir;
  const std::string File = Dir.File("x.bmp");
  const std::vector<std::string> Known = {CorruptBmp, Unsupported, "File x.bmp is too large."};
  const std::vector<uint8_t> Good = EncodeBmp(Picture(24, false));
  ExpectDamageHandled(File, Good, CorruptBmp, Good.size() - 3, Known);  // 3 bytes of padding
  // Flips everywhere but in the palette, which the reader never looks at.
  const std::vector<uint8_t> Indexed = EncodeBmp(Picture(8, true));
  ExpectDamageHandled(File, Indexed, CorruptBmp, Indexed.size() - 3, Known, PaletteStart,
                      PaletteEnd);
}

TEST(BitmapReader, MissingFilesAndThePictureBetweenTheTwoReads) {
  TempDir Dir;
  ImageRecord R;
  Messages M;
  // A missing file, or a pipe whose opening would block, is never shown.
  ASSERT_EQ(mkfifo(Dir.File("fifo.jpg").c_str(), 0600), 0);
  for (const char* Name : {"missing.bmp", "missing.jpg", "fifo.jpg"}) {
    ReadBitmapHeader(Dir.File(Name), R, true, M.Sink());
    EXPECT_FALSE(R.Valid);
    EXPECT_EQ(R.ErrorText, "File not found.");
    EXPECT_EQ(M.List.size(), 0u);
  }
  const std::string File = Dir.File("x.bmp");
  WriteBytes(File, EncodeBmp(Picture(24, true)));
  std::vector<uint16_t> Buffer(9, 0xEEEE), Small(8, 0xEEEE);
  R.Valid = true;
  EXPECT_FALSE(ReadBitmapPixels(R, Buffer));
  EXPECT_FALSE(R.Valid);  // no picture
  // A buffer too small is refused and the picture released.
  ReadBitmapHeader(File, R, false, nullptr);
  ASSERT_NE(R.DecodedBitmap, nullptr);
  EXPECT_FALSE(ReadBitmapPixels(R, Small));
  EXPECT_EQ(R.DecodedBitmap, nullptr);
  EXPECT_EQ(Small, std::vector<uint16_t>(8, 0xEEEE));
  // The picture is read once.
  ReadBitmapHeader(File, R, false, nullptr);
  ASSERT_TRUE(ReadBitmapPixels(R, Buffer));
  ASSERT_TRUE(R.Valid);
  EXPECT_FALSE(ReadBitmapPixels(R, Buffer));
  EXPECT_FALSE(R.Valid);
  // A picture that does not match its record is not copied.
  ReadBitmapHeader(File, R, false, nullptr);
  R.Width = 2;
  EXPECT_FALSE(ReadBitmapPixels(R, Buffer));
  // A refused header read leaves no picture of the file before.
  ReadBitmapHeader(File, R, false, nullptr);
  WriteText(Dir.File("y.bmp"), "BM");
  ReadBitmapHeader(Dir.File("y.bmp"), R, false, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.DecodedBitmap, nullptr);
  EXPECT_EQ(R.ErrorText, "File y.bmp is not a correct BMP file.");
  EXPECT_EQ(M.List.size(), 0u);
}

TEST(JpegReader, DecodesAsLibjpegDoes) {
  TempDir Dir;
  const std::vector<uint8_t> Grey = EncodeJpeg(19, 13, 1, JCS_GRAYSCALE);
  DecodedLoad L = WriteLoad(Dir.File("x.jpg"), Grey);
  ExpectGoodDecodedRecord(L, Dir.File("x.jpg"), 19, 13, 1);
  EXPECT_EQ(L.Bytes(), DecodeJpeg(Grey));
  // Colour, baseline and progressive, under every spelling of the extension.
  for (bool Progressive : {false, true}) {
    const std::vector<uint8_t> Jpeg = EncodeJpeg(21, 17, 3, JCS_RGB, Progressive);
    for (const char* Name : {"x.jpg", "x.jpeg", "X.JPEG"}) {
      L = WriteLoad(Dir.File(Name), Jpeg);
      ExpectGoodDecodedRecord(L, Dir.File(Name), 21, 17, 3);
      EXPECT_EQ(L.Bytes(), DecodeJpeg(Jpeg)) << Progressive << Name;
    }
  }
  // The decoder follows the extension, not the content.
  EXPECT_EQ(WriteLoad(Dir.File("x.bmp"), Grey).R.ErrorText, CorruptBmp);
  // 694 scans: more than any encoder writes, still within bounds.
  const std::vector<uint8_t> Long =
      EncodeJpeg(8, 8, 1, JCS_GRAYSCALE, false, LongestProgression(1));
  EXPECT_EQ(WriteLoad(Dir.File("x.jpg"), Long).Bytes(), DecodeJpeg(Long));
}

TEST(JpegReader, RefusedFrames) {
  TempDir Dir;
  const std::string File = Dir.File("x.jpg");
  const std::string Unsupported = "File x.jpg has unsupported BMP pixel format.";
  DecodedLoad L = WriteLoad(File, EncodeJpeg(8, 8, 4, JCS_CMYK));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{Unsupported});
  EXPECT_EQ(L.R.Width, 8);
  // Twelve bits, and frame sizes patched to 65500 and 20000 squared: the first
  // too large to hold, the second too large for the data after it.
  for (auto [Components, Patch, Message] :
       {std::tuple{1, std::vector<uint8_t>{12}, Unsupported},
        std::tuple{3, std::vector<uint8_t>{8, 0xFF, 0xDC, 0xFF, 0xDC},
                   std::string("File x.jpg is too large.")},
        std::tuple{1, std::vector<uint8_t>{8, 0x4E, 0x20, 0x4E, 0x20}, CorruptJpeg}}) {
    std::vector<uint8_t> Jpeg =
        EncodeJpeg(16, 16, Components, Components == 1 ? JCS_GRAYSCALE : JCS_RGB);
    std::copy(Patch.begin(), Patch.end(), Jpeg.begin() + ptrdiff_t(FrameSizeOffset(Jpeg) - 1));
    L = WriteLoad(File, Jpeg);
    EXPECT_FALSE(L.R.Valid);
    EXPECT_FALSE(L.HadPicture);
    EXPECT_EQ(L.Shown, std::vector<std::string>{Message});
  }
  // 2080 scans of one tiny picture: refused rather than decoded without end.
  const std::vector<uint8_t> Endless = EncodeJpeg(8, 8, 3, JCS_RGB, false, LongestProgression(3));
  EXPECT_EQ(WriteLoad(File, Endless).Shown, std::vector<std::string>{CorruptJpeg});
  EXPECT_EQ(DecodeJpeg(Endless).size(), 8u * 8 * 3);
}

TEST(JpegReader, TruncatedAndDamagedFilesAreRefusedCleanly) {
  TempDir Dir;
  const std::vector<std::string> Known = {CorruptJpeg, "File x.jpg is too large.",
                                          "File x.jpg has unsupported BMP pixel format."};
  for (bool Progressive : {false, true}) {
    const std::vector<uint8_t> Good = EncodeJpeg(16, 16, 3, JCS_RGB, Progressive);
    ExpectDamageHandled(Dir.File("x.jpg"), Good, CorruptJpeg, Good.size(), Known);
  }
}

TEST(BitmapLoad, ThroughTheLoadPipeline) {
  TempDir Dir;
  // 8-bit samples are widened without rescaling; the picture is released.
  FullLoad L = WriteAndLoad(Dir.File("x.bmp"),
                            EncodeBmp({4, 2, 8, 0, 40, {}, {{255, 254, 128, 1}, {0, 2, 3, 200}}}));
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.Shown.size(), 0u);
  EXPECT_EQ(L.R.ResultType, "WORD");
  EXPECT_EQ(L.R.MaxValue, 255);
  EXPECT_EQ(L.R.DecodedBitmap, nullptr);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 2, 3, 200, 255, 254, 128, 1}));
  // Colour JPEG keeps its three channels.
  const std::vector<uint8_t> Jpeg = EncodeJpeg(9, 7, 3, JCS_RGB);
  L = WriteAndLoad(Dir.File("x.JPEG"), Jpeg);
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_EQ(std::vector<uint8_t>(L.Buffer.begin(), L.Buffer.end()), DecodeJpeg(Jpeg));
  // A refused file shows its message once.
  L = WriteAndLoad(Dir.File("x.bmp"), EncodeBmp({8, 2, 4, 0, 40, {}, {{0, 0, 0, 0}}}));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{Unsupported});
}
