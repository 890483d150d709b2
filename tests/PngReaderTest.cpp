#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>

#include "DecodedLoad.h"
#include "PNGformat.h"
#include "TestSupport.h"

using namespace obra;

namespace {

struct PngFixture {
  PngFixture(uint32_t W, uint32_t H, int Depth, int Type, std::vector<uint8_t> Rows = {})
      : Width(W), Height(H), BitDepth(Depth), ColorType(Type), Data(std::move(Rows)) {}
  uint32_t Width;
  uint32_t Height;
  int BitDepth;
  int ColorType;
  bool Interlaced = false;
  std::vector<uint8_t> Data;  // rows as the file stores them (16-bit samples big-endian)
  std::vector<png_color> Palette;
  std::vector<uint8_t> Trans;
};

void AppendToVector(png_structp Png, png_bytep Data, size_t Size) {
  auto* Out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(Png));
  Out->insert(Out->end(), Data, Data + Size);
}

// Encodes with libpng itself, so the fixtures are PNG files as any writer makes them.
void EncodeInto(const PngFixture& S, std::vector<png_bytep>& Rows, std::vector<uint8_t>& Out) {
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_write_struct(&Png, &Info);
    Out.clear();
    return;
  }
  png_set_write_fn(Png, &Out, AppendToVector, nullptr);
  png_set_IHDR(Png, Info, S.Width, S.Height, S.BitDepth, S.ColorType,
               S.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!S.Palette.empty())
    png_set_PLTE(Png, Info, S.Palette.data(), static_cast<int>(S.Palette.size()));
  if (!S.Trans.empty())
    png_set_tRNS(Png, Info, S.Trans.data(), static_cast<int>(S.Trans.size()), nullptr);
  png_write_info(Png, Info);
  const size_t RowBytes = png_get_rowbytes(Png, Info);
  for (uint32_t Y = 0; Y < S.Height; ++Y)
    Rows.push_back(const_cast<png_bytep>(S.Data.data()) + Y * RowBytes);
  png_write_image(Png, Rows.data());
  png_write_end(Png, nullptr);
  png_destroy_write_struct(&Png, &Info);
}

std::vector<uint8_t> EncodePng(const PngFixture& S) {
  std::vector<png_bytep> Rows;
  std::vector<uint8_t> Out;
  EncodeInto(S, Rows, Out);
  EXPECT_FALSE(Out.empty());
  return Out;
}

std::vector<uint8_t> BigEndian16(const std::vector<uint16_t>& V) {
  std::vector<uint8_t> B;
  for (uint16_t S : V) {
    B.push_back(static_cast<uint8_t>(S >> 8));
    B.push_back(static_cast<uint8_t>(S & 0xFF));
  }
  return B;
}

using Loaded = test::DecodedLoad;

Loaded Load(const std::string& File, bool ShowMessages = true) {
  return test::LoadDecoded(ReadPngHeader, ReadPngPixels, File, ShowMessages);
}

Loaded WriteAndLoad(const test::TempDir& Dir, const PngFixture& S) {
  const std::string File = Dir.File("x.png");
  test::WriteBytes(File, EncodePng(S));
  return Load(File);
}

// A chunk with its length and CRC, for hand-made headers.
void AppendChunk(std::vector<uint8_t>& Out, const char* Type, const std::vector<uint8_t>& Data) {
  const auto N = static_cast<uint32_t>(Data.size());
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(static_cast<uint8_t>(N >> Shift));
  const size_t TypeAt = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  Out.insert(Out.end(), Data.begin(), Data.end());
  const uLong Crc = crc32(0, Out.data() + TypeAt, static_cast<uInt>(4 + Data.size()));
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(static_cast<uint8_t>(Crc >> Shift));
}

// Signature, an IHDR of the given size and IdatBytes bytes of junk image data.
std::vector<uint8_t> ForgedPng(uint32_t Width, uint32_t Height, int BitDepth, int ColorType,
                               size_t IdatBytes) {
  std::vector<uint8_t> Out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> Ihdr;
  for (uint32_t V : {Width, Height})
    for (int Shift = 24; Shift >= 0; Shift -= 8) Ihdr.push_back(static_cast<uint8_t>(V >> Shift));
  Ihdr.insert(Ihdr.end(),
              {static_cast<uint8_t>(BitDepth), static_cast<uint8_t>(ColorType), 0, 0, 0});
  AppendChunk(Out, "IHDR", Ihdr);
  AppendChunk(Out, "IDAT", std::vector<uint8_t>(IdatBytes, 0x5A));
  AppendChunk(Out, "IEND", {});
  return Out;
}

// libpng's own read of the whole file without any transformation.
bool PlainDecode(const std::string& File, size_t Size, std::vector<uint8_t>& Out) {
  std::FILE* F = std::fopen(File.c_str(), "rb");
  if (!F) return false;
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  bool Ok = false;
  if (!setjmp(png_jmpbuf(Png))) {
    png_init_io(Png, F);
    png_read_png(Png, Info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_bytepp Rows = png_get_rows(Png, Info);
    const size_t RowBytes = png_get_rowbytes(Png, Info);
    const size_t Height = png_get_image_height(Png, Info);
    if (RowBytes * Height == Size) {
      Out.resize(Size);
      for (size_t Y = 0; Y < Height; ++Y) std::memcpy(Out.data() + Y * RowBytes, Rows[Y], RowBytes);
      Ok = true;
    }
  }
  png_destroy_read_struct(&Png, &Info, nullptr);
  std::fclose(F);
  return Ok;
}

PngFixture SmallRgb16() {
  PngFixture S{7, 5, 16, PNG_COLOR_TYPE_RGB};
  std::vector<uint16_t> V;
  for (uint32_t I = 0; I < 7 * 5 * 3; ++I) V.push_back(static_cast<uint16_t>(I * 1237 + 3));
  S.Data = BigEndian16(V);
  return S;
}

}  // namespace

TEST(PngReader, Gray8FillsTheRecordAndKeepsRowsTopFirst) {
  test::TempDir Dir;
  PngFixture S{5, 3, 8, PNG_COLOR_TYPE_GRAY};
  for (int I = 0; I < 15; ++I) S.Data.push_back(static_cast<uint8_t>(I * 17));
  Loaded L = WriteAndLoad(Dir, S);
  test::ExpectGoodDecodedRecord(L, Dir.File("x.png"), 5, 3, 1);
  EXPECT_FALSE(L.HadPicture);
  EXPECT_EQ(L.Bytes(), S.Data);
}

TEST(PngReader, SixteenBitSamplesArriveInNativeOrder) {
  test::TempDir Dir;
  const std::vector<uint16_t> Grey = {0, 1, 255, 256, 300, 0x1234, 0xABCD, 65535};
  PngFixture S{4, 2, 16, PNG_COLOR_TYPE_GRAY};
  S.Data = BigEndian16(Grey);
  Loaded L = WriteAndLoad(Dir, S);
  ASSERT_TRUE(L.Pixels);
  EXPECT_EQ(L.R.DataType, "WORD");
  EXPECT_EQ(L.R.BytesPerPixel, 2);
  EXPECT_EQ(L.R.DataSize, 16);
  EXPECT_FALSE(L.R.SwapBytes);
  EXPECT_EQ(L.Samples(), Grey);

  Loaded Rgb = WriteAndLoad(Dir, SmallRgb16());
  ASSERT_TRUE(Rgb.Pixels);
  EXPECT_EQ(Rgb.R.Channels, 3);
  EXPECT_EQ(Rgb.R.BytesPerPixel, 6);
  EXPECT_EQ(Rgb.R.DataSize, 7 * 5 * 6);
  EXPECT_EQ(BigEndian16(Rgb.Samples()), SmallRgb16().Data);
}

TEST(PngReader, Rgb8IsInterleavedRedGreenBlue) {
  test::TempDir Dir;
  PngFixture S{3, 2, 8, PNG_COLOR_TYPE_RGB};
  for (int I = 0; I < 18; ++I) S.Data.push_back(static_cast<uint8_t>(200 - I * 7));
  Loaded L = WriteAndLoad(Dir, S);
  ASSERT_TRUE(L.Pixels);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_EQ(L.R.DataType, "BYTE");
  EXPECT_EQ(L.R.BytesPerPixel, 3);
  EXPECT_EQ(L.Bytes(), S.Data);
}

TEST(PngReader, AlphaIsDropped) {
  test::TempDir Dir;
  PngFixture Ga{2, 2, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {10, 1, 20, 2, 30, 3, 40, 4}};
  Loaded L = WriteAndLoad(Dir, Ga);
  ASSERT_TRUE(L.Pixels);
  EXPECT_EQ(L.R.Channels, 1);
  EXPECT_EQ(L.Bytes(), (std::vector<uint8_t>{10, 20, 30, 40}));

  PngFixture Rgba{2, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA};
  Rgba.Data = BigEndian16({1000, 2000, 3000, 9, 4000, 5000, 6000, 9});
  L = WriteAndLoad(Dir, Rgba);
  ASSERT_TRUE(L.Pixels);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_EQ(L.R.BytesPerPixel, 6);
  EXPECT_EQ(L.Samples(), (std::vector<uint16_t>{1000, 2000, 3000, 4000, 5000, 6000}));
}

TEST(PngReader, PaletteImagesExpandToTheirColours) {
  test::TempDir Dir;
  const std::vector<png_color> Palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
  for (int Depth : {8, 4, 2}) {
    PngFixture S{4, 1, Depth, PNG_COLOR_TYPE_PALETTE};
    S.Palette = Palette;
    // Indices 3, 2, 1, 0 packed at the file's depth.
    if (Depth == 8) S.Data = {3, 2, 1, 0};
    if (Depth == 4) S.Data = {0x32, 0x10};
    if (Depth == 2) S.Data = {0xE4};
    Loaded L = WriteAndLoad(Dir, S);
    ASSERT_TRUE(L.Pixels) << Depth;
    EXPECT_EQ(L.R.Channels, 3);
    EXPECT_EQ(L.R.DataType, "BYTE");
    EXPECT_EQ(L.Bytes(), (std::vector<uint8_t>{10, 20, 30, 0, 0, 255, 0, 255, 0, 255, 0, 0}))
        << Depth;
  }
  // Transparency in the palette must not turn the rows into R, G, B, A.
  PngFixture S{2, 1, 8, PNG_COLOR_TYPE_PALETTE, {0, 1}};
  S.Palette = Palette;
  S.Trans = {0, 128};
  Loaded L = WriteAndLoad(Dir, S);
  ASSERT_TRUE(L.Pixels);
  EXPECT_EQ(L.Bytes(), (std::vector<uint8_t>{255, 0, 0, 0, 255, 0}));
}

TEST(PngReader, LowGreyDepthsAreExpandedToEightBits) {
  test::TempDir Dir;
  struct Case {
    int Depth;
    std::vector<uint8_t> Packed;
    std::vector<uint8_t> Expected;
  };
  const std::vector<Case> Cases = {
      {1, {0xA0}, {255, 0, 255, 0}},
      {2, {0x1B}, {0, 85, 170, 255}},
      {4, {0x0F, 0x7A}, {0, 255, 119, 170}},
  };
  for (const Case& C : Cases) {
    PngFixture S{4, 1, C.Depth, PNG_COLOR_TYPE_GRAY, C.Packed};
    Loaded L = WriteAndLoad(Dir, S);
    ASSERT_TRUE(L.Pixels) << C.Depth;
    EXPECT_EQ(L.Bytes(), C.Expected) << C.Depth;
    // A record that described a 16-bit image before must not keep its type.
    ImageRecord R;
    R.DataType = "WORD";
    R.BytesPerPixel = 2;
    ReadPngHeader(Dir.File("x.png"), R, false, nullptr);
    EXPECT_EQ(R.DataType, "BYTE");
    EXPECT_EQ(R.BytesPerPixel, 1);
    int32_t W, H, Depth, Ch;
    EXPECT_EQ(get_png_info(Dir.File("x.png").c_str(), &W, &H, &Depth, &Ch), 1);
    EXPECT_EQ(Depth, 8);
    EXPECT_EQ(Ch, 1);
  }
}

TEST(PngReader, InterlacedEqualsPlain) {
  test::TempDir Dir;
  PngFixture S{13, 11, 16, PNG_COLOR_TYPE_GRAY};
  std::vector<uint16_t> V;
  for (int I = 0; I < 13 * 11; ++I) V.push_back(static_cast<uint16_t>(I * 457 + 1));
  S.Data = BigEndian16(V);
  S.Interlaced = true;
  Loaded L = WriteAndLoad(Dir, S);
  ASSERT_TRUE(L.Pixels);
  EXPECT_EQ(L.Samples(), V);
}

TEST(PngReader, LoadersConvertDepthAndGreyToColourButNeverColourToGrey) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.png");
  test::WriteBytes(File, EncodePng({2, 1, 8, PNG_COLOR_TYPE_GRAY, {7, 200}}));
  std::vector<uint16_t> Out(6, 0xEEEE);
  ASSERT_EQ(load_png_gray16(File.c_str(), Out.data(), 2, 1), 1);
  EXPECT_EQ(Out[0], 7 * 257);
  EXPECT_EQ(Out[1], 200 * 257);
  std::vector<uint8_t> Rgb(6);
  ASSERT_EQ(load_png_rgb8(File.c_str(), Rgb.data(), 2, 1), 1);
  EXPECT_EQ(Rgb, (std::vector<uint8_t>{7, 7, 7, 200, 200, 200}));
  // A size other than the file's would write outside a buffer sized for it.
  EXPECT_EQ(load_png_gray8(File.c_str(), Rgb.data(), 1, 1), 0);
  EXPECT_EQ(load_png_gray8(File.c_str(), Rgb.data(), 2, 2), 0);

  test::WriteBytes(File, EncodePng({1, 1, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3}}));
  EXPECT_EQ(load_png_gray8(File.c_str(), Rgb.data(), 1, 1), 0);
  EXPECT_EQ(load_png_gray8(nullptr, Rgb.data(), 1, 1), 0);
  EXPECT_EQ(load_png_gray8(File.c_str(), nullptr, 1, 1), 0);
}

TEST(PngReader, PixelReadRefusesABufferTooSmallOrAnUnknownLayout) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.png");
  test::WriteBytes(File, EncodePng(SmallRgb16()));
  ImageRecord R;
  ReadPngHeader(File, R, false, nullptr);
  ASSERT_TRUE(R.Valid);
  std::vector<uint16_t> Small(static_cast<size_t>(R.DataSize) / 2 - 1, 0xEEEE);
  EXPECT_FALSE(ReadPngPixels(R, Small));
  EXPECT_FALSE(R.Valid);
  for (uint16_t V : Small) ASSERT_EQ(V, 0xEEEE);

  R.Valid = true;
  R.BytesPerPixel = 4;
  std::vector<uint16_t> Big(1000);
  EXPECT_FALSE(ReadPngPixels(R, Big));
  EXPECT_FALSE(R.Valid);
}

TEST(PngReader, FaultsAreReportedAndLeaveNoStaleDescription) {
  test::TempDir Dir;
  const std::string File = Dir.File("broken.png");
  test::WriteText(File, "this is not a picture");
  ImageRecord R;
  R.DataType = "WORD";
  R.BytesPerPixel = 6;
  R.DataSize = 1000;
  test::Messages M;
  ReadPngHeader(File, R, true, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.ErrorText, "broken.png is not a correct PNG file.");
  EXPECT_EQ(M.List, std::vector<std::string>{"broken.png is not a correct PNG file."});
  EXPECT_EQ(R.FileName, File);
  EXPECT_EQ(R.DataType, "");
  EXPECT_EQ(R.BytesPerPixel, 0);
  EXPECT_EQ(R.DataSize, 0);
  EXPECT_EQ(R.HeaderSize, -1);

  test::Messages Quiet;
  ReadPngHeader(Dir.File("missing.png"), R, false, Quiet.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.ErrorText, "missing.png is not a correct PNG file.");
  EXPECT_TRUE(Quiet.List.empty());

  // A directory or pipe is no picture, and opening a pipe would block.
  ReadPngHeader(Dir.Path().string() + "/", R, false, nullptr);
  EXPECT_FALSE(R.Valid);
  const std::string Fifo = Dir.File("fifo.png");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
  ReadPngHeader(Fifo, R, false, nullptr);
  EXPECT_FALSE(R.Valid);

  int32_t W = 9, H = 9, D = 9, C = 9;
  EXPECT_NE(get_png_info(File.c_str(), &W, &H, &D, &C), 1);
  EXPECT_EQ(W + H + D + C, 0);
}

TEST(PngReader, HugeSizesAreRefusedFromTheHeader) {
  test::TempDir Dir;
  const std::string File = Dir.File("huge.png");
  // Far more pixels than such a small file can hold, whatever its compression.
  test::WriteBytes(File, ForgedPng(100000, 100000, 8, PNG_COLOR_TYPE_GRAY, 100));
  Loaded L = Load(File);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.R.DataSize, 0);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"huge.png is not a correct PNG file."});
  test::WriteBytes(File, ForgedPng(40000, 40000, 16, PNG_COLOR_TYPE_RGB, 100));
  EXPECT_FALSE(Load(File).R.Valid);

  // Enough data to be plausible, but a byte count beyond 32 bits: 46341^2 > 2^31 - 1.
  test::WriteBytes(File, ForgedPng(46341, 46341, 8, PNG_COLOR_TYPE_GRAY, 2100000));
  L = Load(File);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.R.DataSize, 0);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"File huge.png is too large."});
  test::WriteBytes(File, ForgedPng(20000, 20000, 16, PNG_COLOR_TYPE_RGB_ALPHA, 3200000));
  L = Load(File);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.R.BytesPerPixel, 6);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"File huge.png is too large."});
}

TEST(PngReader, DamagedFilesAreRefusedCleanly) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.png");
  for (bool Interlaced : {false, true}) {
    PngFixture S = SmallRgb16();
    S.Interlaced = Interlaced;
    const std::vector<uint8_t> Good = EncodePng(S);
    for (size_t N = 0; N < Good.size(); ++N) {
      test::WriteBytes(File, {Good.begin(), Good.begin() + static_cast<ptrdiff_t>(N)});
      Loaded L = Load(File, false);
      ASSERT_FALSE(L.R.Valid && L.Pixels) << "prefix " << N;
      EXPECT_EQ(L.R.ErrorText, "x.png is not a correct PNG file.") << "prefix " << N;
    }
    // Every byte of a PNG lies in the signature or a CRC-checked critical chunk.
    for (size_t I = 0; I < Good.size(); ++I) {
      std::vector<uint8_t> Bad = Good;
      Bad[I] ^= 0x24;
      test::WriteBytes(File, Bad);
      Loaded L = Load(File, false);
      ASSERT_FALSE(L.R.Valid && L.Pixels) << "flipped byte " << I;
    }
  }
}

// ---- Through the load pipeline --------------------------------------------

TEST(PngLoad, EightBitGreyIsWidenedWithoutRescaling) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.png");
  test::WriteBytes(File,
                   EncodePng({4, 2, 8, PNG_COLOR_TYPE_GRAY, {0, 1, 2, 128, 200, 254, 255, 7}}));
  test::FullLoad L = test::LoadWholeFile(File);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_TRUE(L.Shown.empty());
  EXPECT_EQ(L.R.ResultType, "WORD");
  EXPECT_EQ(L.R.BytesPerPixel, 2);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 1, 2, 128, 200, 254, 255, 7}));
  EXPECT_EQ(L.R.MaxValue, 255);

  test::WriteBytes(File, EncodePng(SmallRgb16()));
  L = test::LoadWholeFile(File);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_EQ(BigEndian16(L.Buffer), SmallRgb16().Data);
}

TEST(PngLoad, DamagedImageDataIsReportedOnce) {
  test::TempDir Dir;
  const std::string File = Dir.File("x.png");
  std::vector<uint8_t> Good = EncodePng(SmallRgb16());
  Good.resize(Good.size() - 30);  // the header is intact, the pixels are not
  test::WriteBytes(File, Good);
  auto [R, Buffer, Shown] = test::LoadWholeFile(File);
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(Shown, std::vector<std::string>{"x.png is not a correct PNG file."});
}

TEST(PngLoad, LargeSolarImageMatchesAPlainLibpngDecode) {
  const std::string File = test::SharedData("aia_193_2013-06-24T17-31-30_4096.png");
  if (File.empty()) GTEST_SKIP() << "shared data absent";
  auto [R, Buffer, Shown] = test::LoadWholeFile(File);
  ASSERT_TRUE(R.Valid);
  ASSERT_EQ(R.Width, 4096);
  ASSERT_EQ(R.Height, 4096);
  ASSERT_EQ(R.DataType, "BYTE");
  ASSERT_EQ(R.Channels, 1);
  ASSERT_EQ(Buffer.size(), 4096u * 4096);

  std::vector<uint8_t> Plain;
  ASSERT_TRUE(PlainDecode(File, 4096 * 4096, Plain));
  size_t Differing = 0;
  for (size_t I = 0; I < Plain.size(); ++I) Differing += Buffer[I] != Plain[I];
  EXPECT_EQ(Differing, 0u);
}
