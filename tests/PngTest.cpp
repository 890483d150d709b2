// PNG input (the loadpng entry points and the two reads) and PNG output (the
// file form chunk by chunk, the depth choice, the save files and cut-outs),
// both against libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <map>
#include <random>
#include <tuple>

#include "PNGformat.h"
#include "PngWriter.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

struct PngFixture {
  uint32_t Width, Height;
  int BitDepth, ColorType;
  std::vector<uint8_t> Data;  // rows as stored (16-bit samples big-endian)
  bool Interlaced = false;
  std::vector<png_color> Palette = {};
  std::vector<uint8_t> Trans = {};
};

void AppendToVector(png_structp Png, png_bytep Data, size_t Size) {
  auto* Out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(Png));
  Out->insert(Out->end(), Data, Data + Size);
}

// Encoded by libpng itself, so the fixtures are PNG files as any writer makes them.
std::vector<uint8_t> EncodeWithLibpng(const PngFixture& S) {
  std::vector<uint8_t> Out;
  std::vector<png_bytep> Rows;
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_write_struct(&Png, &Info);
    ADD_FAILURE() << "libpng refused the fixture";
    return {};
  }
  png_set_write_fn(Png, &Out, AppendToVector, nullptr);
  png_set_IHDR(Png, Info, S.Width, S.Height, S.BitDepth, S.ColorType,
               S.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!S.Palette.empty()) png_set_PLTE(Png, Info, S.Palette.data(), int(S.Palette.size()));
  if (!S.Trans.empty()) png_set_tRNS(Png, Info, S.Trans.data(), int(S.Trans.size()), nullptr);
  png_write_info(Png, Info);
  for (uint32_t Y = 0; Y < S.Height; ++Y)
    Rows.push_back(const_cast<png_bytep>(S.Data.data()) + Y * png_get_rowbytes(Png, Info));
  png_write_image(Png, Rows.data());
  png_write_end(Png, nullptr);
  png_destroy_write_struct(&Png, &Info);
  return Out;
}

// libpng's decode to 0xRRGGBB pixels; empty when libpng refuses the file.
std::vector<uint32_t> DecodeWithLibpng(const std::vector<uint8_t>& Bytes) {
  png_image Image{};
  Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&Image, Bytes.data(), Bytes.size())) return {};
  Image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> Rgb(PNG_IMAGE_SIZE(Image));
  if (!png_image_finish_read(&Image, nullptr, Rgb.data(), 0, nullptr)) return {};
  std::vector<uint32_t> Pixels;
  for (size_t I = 0; I < Rgb.size(); I += 3)
    Pixels.push_back(Rgb[I] << 16 | Rgb[I + 1] << 8 | Rgb[I + 2]);
  return Pixels;
}

// A chunk with its length and CRC.
void AppendChunk(std::vector<uint8_t>& Out, const char* Type, const std::vector<uint8_t>& Data) {
  Append(Out, uint32_t(Data.size()), 4, true);
  const size_t TypeAt = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  Out.insert(Out.end(), Data.begin(), Data.end());
  Append(Out, uint32_t(crc32(0, Out.data() + TypeAt, uInt(4 + Data.size()))), 4, true);
}

// Signature, an IHDR of the given size and IdatBytes bytes of junk image data.
std::vector<uint8_t> ForgedPng(uint32_t Width, uint32_t Height, int BitDepth, int ColorType,
                               size_t IdatBytes) {
  std::vector<uint8_t> Out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, Ihdr;
  Append(Ihdr, Width, 4, true);
  Append(Ihdr, Height, 4, true);
  Ihdr.insert(Ihdr.end(), {uint8_t(BitDepth), uint8_t(ColorType), 0, 0, 0});
  AppendChunk(Out, "IHDR", Ihdr);
  AppendChunk(Out, "IDAT", std::vector<uint8_t>(IdatBytes, 0x5A));
  AppendChunk(Out, "IEND", {});
  return Out;
}

std::vector<uint8_t> BigEndian16(const std::vector<uint16_t>& V) { return BigEndian(V); }

std::vector<uint16_t> SmallRgb16Samples() {
  std::vector<uint16_t> V;
  for (uint32_t I = 0; I < 7 * 5 * 3; ++I) V.push_back(uint16_t(I * 1237 + 3));
  return V;
}
PngFixture SmallRgb16() { return {7, 5, 16, PNG_COLOR_TYPE_RGB, BigEndian16(SmallRgb16Samples())}; }

DecodedLoad Load(const std::string& File, bool ShowMessages = true) {
  return LoadDecoded(ReadPngHeader, ReadPngPixels, File, ShowMessages);
}

}  // namespace

// ---- Input ---------------------------------------------------------------------

// Every colour type and depth arrives as 8 or 16 bits of grey or R, G, B:
// 16-bit samples in native order, alpha dropped, palettes (with transparency)
// expanded, low grey depths scaled to 8 bits, interlacing undone.
TEST(PngReader, EveryLayoutArrivesAsGreyOrRgb) {
  const std::vector<png_color> Pal = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
  const std::vector<uint16_t> Grey16 = {0, 1, 255, 256, 300, 0x1234, 0xABCD, 65535};
  const std::vector<uint16_t> Abgr = {10, 20, 30, 0, 0, 255, 0, 255, 0, 255, 0, 0};
  std::vector<uint16_t> Ramp;
  std::vector<uint8_t> Rgb8, Grey8;
  for (int I = 0; I < 15; ++I) Grey8.push_back(uint8_t(I * 17));
  for (int I = 0; I < 13 * 11; ++I) Ramp.push_back(uint16_t(I * 457 + 1));
  for (int I = 0; I < 18; ++I) Rgb8.push_back(uint8_t(200 - I * 7));
  const std::pair<PngFixture, std::vector<uint16_t>> Cases[] = {
      {{5, 3, 8, PNG_COLOR_TYPE_GRAY, Grey8}, {Grey8.begin(), Grey8.end()}},
      {{4, 2, 16, PNG_COLOR_TYPE_GRAY, BigEndian16(Grey16)}, Grey16},
      {SmallRgb16(), SmallRgb16Samples()},
      {{13, 11, 16, PNG_COLOR_TYPE_GRAY, BigEndian16(Ramp), true}, Ramp},
      {{3, 2, 8, PNG_COLOR_TYPE_RGB, Rgb8}, {Rgb8.begin(), Rgb8.end()}},
      {{2, 2, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {10, 1, 20, 2, 30, 3, 40, 4}}, {10, 20, 30, 40}},
      {{2, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA,
        BigEndian16({1000, 2000, 3000, 9, 4000, 5000, 6000, 9})},
       {1000, 2000, 3000, 4000, 5000, 6000}},
      // Indices 3, 2, 1, 0 packed at 8, 4 and 2 bits.
      {{4, 1, 8, PNG_COLOR_TYPE_PALETTE, {3, 2, 1, 0}, false, Pal}, Abgr},
      {{4, 1, 4, PNG_COLOR_TYPE_PALETTE, {0x32, 0x10}, false, Pal}, Abgr},
      {{4, 1, 2, PNG_COLOR_TYPE_PALETTE, {0xE4}, false, Pal}, Abgr},
      {{2, 1, 8, PNG_COLOR_TYPE_PALETTE, {0, 1}, false, Pal, {0, 128}}, {255, 0, 0, 0, 255, 0}},
      {{4, 1, 1, PNG_COLOR_TYPE_GRAY, {0xA0}}, {255, 0, 255, 0}},
      {{4, 1, 2, PNG_COLOR_TYPE_GRAY, {0x1B}}, {0, 85, 170, 255}},
      {{4, 1, 4, PNG_COLOR_TYPE_GRAY, {0x0F, 0x7A}}, {0, 255, 119, 170}},
  };
  TempDir Dir;
  const std::string File = Dir.File("x.png");
  for (const auto& [S, Want] : Cases) {
    SCOPED_TRACE(testing::Message() << S.ColorType << "/" << S.BitDepth);
    WriteBytes(File, EncodeWithLibpng(S));
    // The record described a 16-bit colour image before: nothing may stay.
    DecodedLoad L;
    L.R.DataType = "WORD", L.R.BytesPerPixel = 6;
    Messages M;
    ReadPngHeader(File, L.R, true, M.Sink());
    ASSERT_TRUE(L.R.Valid);
    L.Buffer.assign(size_t(L.R.DataSize + 1) / 2, 0);
    ASSERT_TRUE(ReadPngPixels(L.R, L.Buffer));
    const bool Wide = S.BitDepth == 16;
    const int Channels = S.ColorType & PNG_COLOR_MASK_COLOR ? 3 : 1;
    EXPECT_EQ(L.R.Channels, Channels);
    EXPECT_EQ(L.R.DataType, Wide ? "WORD" : "BYTE");
    EXPECT_EQ(L.R.BytesPerPixel, Channels * (Wide ? 2 : 1));
    EXPECT_EQ(L.R.DataSize, int32_t(Want.size()) * (Wide ? 2 : 1));
    EXPECT_FALSE(L.R.SwapBytes);
    if (Wide)
      EXPECT_EQ(L.Samples(), Want);
    else
      EXPECT_EQ(L.Bytes(), std::vector<uint8_t>(Want.begin(), Want.end()));
    // An 8-bit read through the load pipeline's two steps fills the record.
    const DecodedLoad D = Load(File);
    if (!Wide) ExpectGoodDecodedRecord(D, File, int32_t(S.Width), int32_t(S.Height), Channels);
    EXPECT_FALSE(D.HadPicture);
    int32_t W, H, Depth, Ch;
    EXPECT_EQ(get_png_info(File.c_str(), &W, &H, &Depth, &Ch), 1);
    EXPECT_EQ(W, int32_t(S.Width));
    EXPECT_EQ(H, int32_t(S.Height));
    EXPECT_EQ(Depth, Wide ? 16 : 8);
    EXPECT_EQ(Ch, Channels);
  }
}

TEST(PngReader, LoadersConvertDepthAndGreyToColourButNeverColourToGrey) {
  TempDir Dir;
  const std::string File = Dir.File("x.png");
  WriteBytes(File, EncodeWithLibpng({2, 1, 8, PNG_COLOR_TYPE_GRAY, {7, 200}}));
  std::vector<uint16_t> Out(6, 0xEEEE);
  ASSERT_EQ(load_png_gray16(File.c_str(), Out.data(), 2, 1), 1);
  EXPECT_EQ(Out[0], 7 * 257);
  EXPECT_EQ(Out[1], 200 * 257);
  std::vector<uint8_t> Rgb(6);
  ASSERT_EQ(load_png_rgb8(File.c_str(), Rgb.data(), 2, 1), 1);
  EXPECT_EQ(Rgb, (std::vector<uint8_t>{7, 7, 7, 200, 200, 200}));
  // A size other than the file's would write outside a buffer sized for it.
  EXPECT_EQ(load_png_gray8(File.c_str(), Rgb.data(), 1, 1) +
                load_png_gray8(File.c_str(), Rgb.data(), 2, 2),
            0);
  WriteBytes(File, EncodeWithLibpng({1, 1, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3}}));
  EXPECT_EQ(load_png_gray8(File.c_str(), Rgb.data(), 1, 1) +
                load_png_gray8(nullptr, Rgb.data(), 1, 1) +
                load_png_gray8(File.c_str(), nullptr, 1, 1),
            0);

  // The pixel read refuses a buffer too small, or a layout it does not know.
  WriteBytes(File, EncodeWithLibpng(SmallRgb16()));
  ImageRecord R;
  ReadPngHeader(File, R, false, nullptr);
  ASSERT_TRUE(R.Valid);
  std::vector<uint16_t> Small(size_t(R.DataSize) / 2 - 1, 0xEEEE), Big(1000);
  EXPECT_FALSE(ReadPngPixels(R, Small));
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(Small, std::vector<uint16_t>(Small.size(), 0xEEEE));
  R.Valid = true;
  R.BytesPerPixel = 4;
  EXPECT_FALSE(ReadPngPixels(R, Big));
  EXPECT_FALSE(R.Valid);
}

TEST(PngReader, FaultsAreReportedAndLeaveNoStaleDescription) {
  TempDir Dir;
  const std::string File = Dir.File("broken.png");
  WriteText(File, "this is not a picture");
  ImageRecord R;
  R.DataType = "WORD", R.BytesPerPixel = 6, R.DataSize = 1000;
  Messages M;
  ReadPngHeader(File, R, true, M.Sink());
  const std::string Bad = "broken.png is not a correct PNG file.";
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.ErrorText, Bad);
  EXPECT_EQ(M.List, std::vector<std::string>{Bad});
  EXPECT_EQ(R.FileName, File);
  EXPECT_EQ(R.DataType, "");
  EXPECT_EQ(R.BytesPerPixel, 0);
  EXPECT_EQ(R.DataSize, 0);
  EXPECT_EQ(R.HeaderSize, -1);
  int32_t W = 9, H = 9, D = 9, C = 9;
  EXPECT_NE(get_png_info(File.c_str(), &W, &H, &D, &C), 1);
  EXPECT_EQ(W + H + D + C, 0);
  // A missing file is quiet; a directory or pipe is no picture, and opening a
  // pipe would block.
  M.List.clear();
  ReadPngHeader(Dir.File("missing.png"), R, false, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.ErrorText, "missing.png is not a correct PNG file.");
  EXPECT_EQ(M.List.size(), 0u);
  ASSERT_EQ(mkfifo(Dir.File("fifo.png").c_str(), 0600), 0);
  for (const std::string& Name : {Dir.Path().string() + "/", Dir.File("fifo.png")}) {
    R.Valid = true;
    ReadPngHeader(Name, R, false, nullptr);
    EXPECT_FALSE(R.Valid) << Name;
  }
}

TEST(PngReader, HugeSizesAreRefusedFromTheHeader) {
  TempDir Dir;
  const std::string File = Dir.File("huge.png");
  const std::string Corrupt = "huge.png is not a correct PNG file.",
                    Large = "File huge.png is too large.";
  // Far more pixels than such a small file can hold, whatever its compression;
  // then enough data to be plausible, but a byte count beyond 32 bits.
  for (auto [W, Depth, Type, Idat, Message] :
       {std::tuple{100000u, 8, PNG_COLOR_TYPE_GRAY, 100u, Corrupt},
        std::tuple{40000u, 16, PNG_COLOR_TYPE_RGB, 100u, Corrupt},
        std::tuple{46341u, 8, PNG_COLOR_TYPE_GRAY, 2100000u, Large},
        std::tuple{20000u, 16, PNG_COLOR_TYPE_RGB_ALPHA, 3200000u, Large}}) {
    WriteBytes(File, ForgedPng(W, W, Depth, Type, Idat));
    const DecodedLoad L = Load(File);
    EXPECT_FALSE(L.R.Valid) << W;
    EXPECT_EQ(L.R.DataSize, 0) << W;
    EXPECT_EQ(L.Shown, std::vector<std::string>{Message}) << W;
  }
}

TEST(PngReader, DamagedFilesAreRefusedCleanly) {
  TempDir Dir;
  const std::string File = Dir.File("x.png");
  for (bool Interlaced : {false, true}) {
    PngFixture S = SmallRgb16();
    S.Interlaced = Interlaced;
    const std::vector<uint8_t> Good = EncodeWithLibpng(S);
    for (size_t N = 0; N < Good.size(); ++N) {
      WriteBytes(File, {Good.begin(), Good.begin() + ptrdiff_t(N)});
      const DecodedLoad L = Load(File, false);
      const bool Loaded = L.R.Valid && L.Pixels;
      ASSERT_FALSE(Loaded) << "prefix " << N;
      EXPECT_EQ(L.R.ErrorText, "x.png is not a correct PNG file.") << "prefix " << N;
    }
    // Every byte of a PNG lies in the signature or a CRC-checked critical chunk.
    for (size_t I = 0; I < Good.size(); ++I) {
      std::vector<uint8_t> Bad = Good;
      Bad[I] ^= 0x24;
      WriteBytes(File, Bad);
      const DecodedLoad L = Load(File, false);
      const bool Loaded = L.R.Valid && L.Pixels;
      ASSERT_FALSE(Loaded) << "flipped byte " << I;
    }
  }
}

TEST(PngLoad, ThroughTheLoadPipeline) {
  TempDir Dir;
  const std::string File = Dir.File("x.png");
  // 8-bit grey is widened without rescaling; 16-bit colour is kept.
  FullLoad L = WriteAndLoad(
      File, EncodeWithLibpng({4, 2, 8, PNG_COLOR_TYPE_GRAY, {0, 1, 2, 128, 200, 254, 255, 7}}));
  ASSERT_TRUE(L.R.Valid);
  ASSERT_TRUE(L.Shown.empty());
  EXPECT_EQ(L.R.ResultType, "WORD");
  EXPECT_EQ(L.R.BytesPerPixel, 2);
  EXPECT_EQ(L.R.MaxValue, 255);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 1, 2, 128, 200, 254, 255, 7}));
  std::vector<uint8_t> Good = EncodeWithLibpng(SmallRgb16());
  L = WriteAndLoad(File, Good);
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_EQ(L.Buffer, SmallRgb16Samples());
  // Damaged image data after an intact header is reported once.
  Good.resize(Good.size() - 30);
  L = WriteAndLoad(File, Good);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"x.png is not a correct PNG file."});
}

// ---- Output --------------------------------------------------------------------

namespace {

// Pictures are built as 0xRRGGBB pixels, the form libpng decodes to.
struct Colours {
  int32_t Width, Height;
  std::vector<uint32_t> Pixels;
  Picture24 Picture() const {
    Picture24 P{Width, Height, {}};
    for (uint32_t C : Pixels)
      P.Pixels.insert(P.Pixels.end(), {uint8_t(C), uint8_t(C >> 8), uint8_t(C >> 16)});
    return P;
  }
};

// Count distinct colours in bands, with a little noise so the depths
// compress differently.
Colours Bands(int32_t W, int32_t H, uint32_t Count, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  Colours P{W, H, {}};
  for (int32_t I = 0; I < W * H; ++I)
    P.Pixels.push_back(
        (0x102030u + (Rng() % 8 ? uint32_t(I % W * Count / W) : Rng() % Count) * 0x010305u) &
        0xFFFFFF);
  return P;
}

struct Chunk {
  std::string Type;
  std::vector<uint8_t> Data;
};

// The file split into chunks, checking signature, lengths and CRCs.
std::vector<Chunk> ParseChunks(const std::vector<uint8_t>& B) {
  std::vector<Chunk> Chunks;
  EXPECT_EQ(std::vector<uint8_t>(B.begin(), B.begin() + std::min<size_t>(8, B.size())),
            (std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
  size_t At = 8;
  while (At + 12 <= B.size()) {
    const uint32_t Length = Fetch(&B[At], 4, true);
    if (At + 12 + Length > B.size()) break;
    Chunks.push_back({std::string(reinterpret_cast<const char*>(&B[At + 4]), 4),
                      {B.begin() + long(At + 8), B.begin() + long(At + 8 + Length)}});
    EXPECT_EQ(Fetch(&B[At + 8 + Length], 4, true), uint32_t(crc32(0, &B[At + 4], Length + 4)));
    At += 12 + Length;
  }
  EXPECT_EQ(At, B.size());
  return Chunks;
}

// What a saved file holds: its chunks, the IHDR depth and colour type, the
// palette, the joined IDAT stream and the pixels libpng decodes.
struct Saved {
  std::vector<Chunk> Chunks;
  int Depth = 0, ColourType = -1;
  std::vector<uint32_t> Palette, Pixels;
  std::vector<uint8_t> Stream;
};

Saved Save(const Colours& P) {
  std::vector<uint8_t> Bytes;
  const PngResult R = EncodePng(P.Picture(), Bytes);
  EXPECT_TRUE(R.Success) << R.ErrorText;
  Saved S;
  S.Chunks = ParseChunks(Bytes);
  for (const Chunk& C : S.Chunks) {
    if (C.Type == "IHDR") S.Depth = C.Data.at(8), S.ColourType = C.Data.at(9);
    for (size_t I = 0; C.Type == "PLTE" && I + 2 < C.Data.size(); I += 3)
      S.Palette.push_back(C.Data[I] << 16 | C.Data[I + 1] << 8 | C.Data[I + 2]);
    if (C.Type == "IDAT") S.Stream.insert(S.Stream.end(), C.Data.begin(), C.Data.end());
  }
  S.Pixels = DecodeWithLibpng(Bytes);
  return S;
}

// An independent model of the palette: frequency order, ties by colour.
std::vector<uint32_t> ExpectedPalette(const Colours& P) {
  std::map<uint32_t, size_t> Counts;
  for (uint32_t C : P.Pixels) ++Counts[C];
  std::vector<std::pair<size_t, uint32_t>> E;
  for (const auto& [C, N] : Counts) E.emplace_back(N, C);
  std::stable_sort(E.begin(), E.end(),
                   [](const auto& A, const auto& B) { return A.first > B.first; });
  std::vector<uint32_t> Palette;
  for (const auto& Entry : E) Palette.push_back(Entry.second);
  return Palette;
}

// Unfiltered rows of palette indices at Depth, deflated as the file form says.
std::vector<uint8_t> CompressAtDepth(const Colours& P, const std::vector<uint32_t>& Palette,
                                     int Depth) {
  const size_t RowBytes = (size_t(P.Width) * Depth + 7) / 8;
  std::vector<uint8_t> Raw;
  for (int32_t I = 0; I < P.Width * P.Height; ++I) {
    const int32_t X = I % P.Width;
    if (X == 0) Raw.resize(Raw.size() + 1 + RowBytes, 0);
    const auto Index = std::find(Palette.begin(), Palette.end(), P.Pixels[I]) - Palette.begin();
    Raw[Raw.size() - RowBytes + X * Depth / 8] |= uint8_t(Index << (8 - Depth - X * Depth % 8));
  }
  z_stream Z{};
  EXPECT_EQ(deflateInit2(&Z, 9, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<uint8_t> Out(deflateBound(&Z, Raw.size()));
  Z.next_in = Raw.data(), Z.avail_in = uInt(Raw.size());
  Z.next_out = Out.data(), Z.avail_out = uInt(Out.size());
  EXPECT_EQ(deflate(&Z, Z_FINISH), Z_STREAM_END);
  Out.resize(Z.total_out);
  deflateEnd(&Z);
  return Out;
}

std::vector<std::string> Types(const Saved& S) {
  std::vector<std::string> T;
  for (const Chunk& C : S.Chunks) T.push_back(C.Type);
  return T;
}

}  // namespace

TEST(PngWriter, FileForm) {
  const Saved S = Save(Bands(300, 200, 40, 1));
  std::vector<std::string> Want = {"IHDR", "sRGB", "PLTE"};
  Want.resize(S.Chunks.size() - 1, "IDAT");
  Want.push_back("IEND");
  EXPECT_EQ(Types(S), Want);
  EXPECT_EQ(S.Chunks.back().Data.size(), 0u);
  // Width, height, indexed colour, compression, filter method, no interlace.
  const std::vector<uint8_t>& Ihdr = S.Chunks[0].Data;
  ASSERT_EQ(Ihdr.size(), 13u);
  EXPECT_EQ(Fetch(&Ihdr[0], 4, true), 300u);
  EXPECT_EQ(Fetch(&Ihdr[4], 4, true), 200u);
  EXPECT_EQ(Ihdr[9], 3);
  EXPECT_EQ(Ihdr[10], 0);
  EXPECT_EQ(Ihdr[11], 0);
  EXPECT_EQ(Ihdr[12], 0);
  EXPECT_EQ(S.Chunks[1].Data, std::vector<uint8_t>{0});  // perceptual intent
  // 40 entries; zlib header: deflate with a 32 KiB window, level-9 flags.
  ASSERT_GE(S.Stream.size(), 2u);
  EXPECT_EQ(S.Palette.size(), 40u);
  EXPECT_EQ(S.Stream[0], 0x78);
  EXPECT_EQ(S.Stream[1], 0xDA);
  // A noisy picture is well over 64 KiB compressed: several IDATs, none larger.
  size_t Idats = 0;
  for (const Chunk& K : Save(Bands(1500, 1000, 250, 2)).Chunks)
    if (K.Type == "IDAT") {
      EXPECT_LE(K.Data.size(), 65536u);
      ++Idats;
    }
  EXPECT_GT(Idats, 2u);
}

TEST(PngWriter, PaletteAndPixels) {
  // 40, 30, 15 and 15 pixels of four colours: most frequent first, ties by colour.
  Colours P{10, 10, std::vector<uint32_t>(100)};
  for (int32_t I = 0; I < 100; ++I)
    P.Pixels[(I * 37) % 100] = I < 40 ? 0x000000 : I < 70 ? 0xFF0000 : I < 85 ? 0x00FF00 : 0x0000FF;
  Saved S = Save(P);
  EXPECT_EQ(S.Palette, (std::vector<uint32_t>{0x000000, 0xFF0000, 0x0000FF, 0x00FF00}));
  EXPECT_EQ(S.Pixels, P.Pixels);
  // 256 greys are indexed at depth 8; one yellow text pixel more makes 257
  // colours: 8-bit truecolour without a palette.
  P = {256, 8, {}};
  for (int32_t I = 0; I < 256 * 8; ++I) P.Pixels.push_back(uint32_t(I % 256) * 0x010101u);
  S = Save(P);
  EXPECT_EQ(S.ColourType, 3);
  EXPECT_EQ(S.Depth, 8);
  EXPECT_EQ(S.Palette.size(), 256u);
  EXPECT_EQ(S.Pixels, P.Pixels);
  P.Pixels[3 * 256 + 3] = 0xFFFF00;
  S = Save(P);
  EXPECT_EQ(Types(S), (std::vector<std::string>{"IHDR", "sRGB", "IDAT", "IEND"}));
  EXPECT_EQ(S.ColourType, 2);
  EXPECT_EQ(S.Depth, 8);
  EXPECT_EQ(S.Pixels, P.Pixels);
}

// The depth is the one whose compressed data is shortest among the depths that
// hold the palette, the larger on a tie (so one colour takes depth 8); the
// stored stream is exactly that compression of unfiltered rows.
TEST(PngWriter, DepthIsTheShortestCompression) {
  const int32_t Sizes[][2] = {{200, 150}, {257, 31}, {64, 64}, {1, 1}, {9, 3}};
  for (uint32_t Count : {1u, 2u, 3u, 4u, 5u, 16u, 17u, 200u, 256u}) {
    for (const auto& Size : Sizes) {
      const Colours P = Bands(Size[0], Size[1], Count, Count + uint32_t(Size[0]));
      const Saved S = Save(P);
      const std::vector<uint32_t> Palette = ExpectedPalette(P);
      int Best = 0;
      std::vector<uint8_t> BestData;
      for (int Depth = 1; Depth <= 8; Depth *= 2) {
        if (Palette.size() > (1u << Depth)) continue;
        std::vector<uint8_t> Data = CompressAtDepth(P, Palette, Depth);
        if (Best == 0 || Data.size() <= BestData.size()) Best = Depth, BestData = std::move(Data);
      }
      ASSERT_EQ(S.Depth, Best) << Count << " colours, " << Size[0] << "x" << Size[1];
      EXPECT_EQ(S.Stream, BestData);
      EXPECT_EQ(S.ColourType, 3);
      EXPECT_EQ(S.Palette, Palette);
      EXPECT_EQ(S.Pixels, P.Pixels);
    }
  }
}

TEST(PngWriter, WritingFiles) {
  TempDir Dir;
  const Picture24 P = Bands(50, 20, 5, 3).Picture();
  auto Entries = [&] { return std::distance(std::filesystem::directory_iterator(Dir.Path()), {}); };
  // Exactly the path given, no extension added, and an old file replaced.
  WriteText(Dir.File("view_proc"), "old contents");
  const PngResult R = WritePng(P, Dir.File("view_proc"));
  std::vector<uint8_t> Bytes;
  ASSERT_TRUE(EncodePng(P, Bytes).Success);
  EXPECT_TRUE(R.Success);
  EXPECT_EQ(R.ErrorText, "");
  EXPECT_EQ(Entries(), 1);
  EXPECT_EQ(ReadBytes(Dir.File("view_proc")), Bytes);
  // An empty or damaged picture is refused, and nothing is written.
  EXPECT_FALSE(EncodePng(Picture24{}, Bytes).Success);
  Picture24 Short = P;
  Short.Pixels.pop_back();
  EXPECT_FALSE(EncodePng(Short, Bytes).ErrorText.empty());
  EXPECT_FALSE(WritePng(Short, Dir.File("x.png")).Success);
  // A missing directory or a directory in the way are errors naming the file;
  // a write that fails half way keeps the file that was there; no temporary
  // file is left behind.
  const PngResult Missing = WritePng(P, Dir.File("no/such/dir/a.png"));
  EXPECT_FALSE(Missing.Success) << Missing.ErrorText;
  EXPECT_NE(Missing.ErrorText.find("no/such/dir/a.png"), std::string::npos) << Missing.ErrorText;
  std::filesystem::create_directory(Dir.File("taken"));
  WriteText(Dir.File("taken/inside"), "x");
  EXPECT_FALSE(WritePng(P, Dir.File("taken")).ErrorText.empty());
  WriteText(Dir.File("keep.png"), "previous");
  const Picture24 Big = Bands(400, 400, 200, 6).Picture();
  const PngResult Cut =
      WithFileSizeLimit(1000, [&] { return WritePng(Big, Dir.File("keep.png")); });
  EXPECT_FALSE(Cut.Success) << Cut.ErrorText;
  EXPECT_NE(Cut.ErrorText.find("keep.png"), std::string::npos) << Cut.ErrorText;
  EXPECT_EQ(ReadText(Dir.File("keep.png")), "previous");
  EXPECT_EQ(Entries(), 3);
}

TEST(PngWriter, CutsAreClampedToThePicture) {
  // Pixel (x, y) of a picture is y << 8 | x.
  auto Coordinates = [](int32_t W, int32_t H) {
    Colours P{W, H, {}};
    for (int32_t I = 0; I < W * H; ++I) P.Pixels.push_back(uint32_t(I / W) << 8 | uint32_t(I % W));
    return P.Picture();
  };
  auto First = [](const Picture24& P) -> uint32_t {
    return P.Pixels[2] << 16 | P.Pixels[1] << 8 | P.Pixels[0];
  };
  // Screen picture at scale 3 with the ROI 10, 5, 100 x 50: 33 x 16 pixels
  // from column 3, rows 1 to 16.
  Picture24 Cut = CutPicture(Coordinates(80, 40), 10 / 3, 5 / 3, 100 / 3, 50 / 3);
  ASSERT_EQ(Cut.Width, 33);
  ASSERT_EQ(Cut.Height, 16);
  EXPECT_EQ(First(Cut), 1u << 8 | 3u);
  EXPECT_EQ(std::vector<uint8_t>(Cut.Pixels.end() - 3, Cut.Pixels.end()),
            (std::vector<uint8_t>{35, 16, 0}));
  const Picture24 P = Coordinates(20, 10);
  for (auto [X, Y, W, H, WantW, WantH, Corner] :
       {std::tuple{15, 8, 10, 10, 5, 2, 8u << 8 | 15u},
        {-3, -2, 6, 5, 3, 3, 0u},
        {25, 0, 5, 5, 0, 0, 0u},
        {2, 2, 0, 5, 0, 0, 0u},
        {2, 2, -4, 5, 0, 0, 0u},
        {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 0, 0, 0u},
        {1, 1, INT32_MAX, INT32_MAX, 19, 9, 257u}}) {
    Cut = CutPicture(P, X, Y, W, H);
    EXPECT_EQ(Cut.Width, WantW) << X << "," << Y;
    EXPECT_EQ(Cut.Height, WantH) << X << "," << Y;
    EXPECT_EQ(Cut.Pixels.size(), size_t(WantW * WantH * 3)) << X << "," << Y;
    if (WantW != 0) {
      EXPECT_EQ(First(Cut), Corner) << X << "," << Y;
    }
  }
  EXPECT_EQ(CutPicture(P, 0, 0, 20, 10).Pixels, P.Pixels);
}

TEST(PngLoad, LargeSolarImageMatchesLibpngBothWays) {
  const std::string File = SharedData("aia_193_2013-06-24T17-31-30_4096.png");
  if (File.empty()) GTEST_SKIP() << "shared data absent";
  const FullLoad L = LoadWholeFile(File);
  ASSERT_TRUE(L.R.Valid);
  ASSERT_EQ(L.R.Width, 4096);
  ASSERT_EQ(L.R.Height, 4096);
  ASSERT_EQ(L.R.DataType, "BYTE");
  ASSERT_EQ(L.R.Channels, 1);
  ASSERT_EQ(L.Buffer.size(), size_t(4096 * 4096));
  const std::vector<uint32_t> Plain = DecodeWithLibpng(ReadBytes(File));
  ASSERT_EQ(Plain.size(), L.Buffer.size());
  size_t Differing = 0;
  for (size_t I = 0; I < L.Buffer.size(); ++I) Differing += L.Buffer[I] != (Plain[I] & 0xFF);
  EXPECT_EQ(Differing, 0u);
  // A 1024 x 768 part of the grey frame, drawn as the view would be, saves
  // as a palette picture libpng decodes to the same pixels.
  Colours P{1024, 768, {}};
  for (int32_t I = 0; I < 1024 * 768; ++I)
    P.Pixels.push_back(Plain[size_t(I / 1024 + 1500) * 4096 + I % 1024 + 1500]);
  const Saved S = Save(P);
  EXPECT_EQ(S.ColourType, 3);
  EXPECT_EQ(S.Pixels, P.Pixels);
}
