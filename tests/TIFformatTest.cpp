#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>

#include "IOGraphics.h"
#include "ImageFixtures.h"
#include "TIFformat.h"

using namespace obra;
using namespace obra::test;

namespace {

// ---- A builder for hand-made TIFF files --------------------------------------

struct Entry {
  uint16_t Tag, Type;
  uint32_t Count, Value;
};

void Put(std::vector<uint8_t>& B, uint32_t V, int Bytes, bool Big) {
  for (int I = 0; I < Bytes; ++I) {
    const int Shift = Big ? 8 * (Bytes - 1 - I) : 8 * I;
    B.push_back(static_cast<uint8_t>(V >> Shift));
  }
}

// Offset of the bytes that follow one IFD of N entries at offset 8.
uint32_t TailAt(size_t N) { return static_cast<uint32_t>(8 + 2 + 12 * N + 4); }

// Header, one IFD at offset 8, then Tail (pixel data, arrays, more IFDs).
std::vector<uint8_t> MakeTiff(bool Big, const std::vector<Entry>& Entries,
                              const std::vector<uint8_t>& Tail, uint32_t NextIfd = 0) {
  std::vector<uint8_t> B;
  for (char C : std::string(Big ? "MM" : "II")) B.push_back(static_cast<uint8_t>(C));
  Put(B, 42, 2, Big);
  Put(B, 8, 4, Big);
  Put(B, static_cast<uint32_t>(Entries.size()), 2, Big);
  for (const Entry& E : Entries) {
    Put(B, E.Tag, 2, Big);
    Put(B, E.Type, 2, Big);
    Put(B, E.Count, 4, Big);
    if (E.Type == 3 && E.Count == 1) {
      Put(B, E.Value, 2, Big);
      Put(B, 0, 2, Big);
    } else {
      Put(B, E.Value, 4, Big);
    }
  }
  Put(B, NextIfd, 4, Big);
  B.insert(B.end(), Tail.begin(), Tail.end());
  return B;
}

// A one-channel 16-bit image of W x H with its pixels right after the IFD.
std::vector<Entry> GreyEntries(uint32_t W, uint32_t H, uint32_t Bits = 16) {
  return {{256, 4, 1, W}, {257, 4, 1, H}, {258, 3, 1, Bits},         {259, 3, 1, 1},
          {262, 3, 1, 1}, {277, 3, 1, 1}, {273, 4, 1, TailAt(6 + 1)}};
}

std::vector<uint8_t> Words(const std::vector<uint16_t>& V, bool Big) {
  return Big ? BigEndian(V) : LittleEndian(V);
}

struct Loaded {
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  Messages M;
};

Loaded Load(const std::string& File, const std::vector<uint8_t>& Bytes) {
  WriteBytes(File, Bytes);
  Loaded L;
  LoadImageFile(File, L.R, L.Buffer, 16, true, true, L.M.Sink());
  return L;
}

// The activation-file header of a W x H image, byte for byte from the table.
std::vector<uint8_t> ExpectedGreyHeader(uint32_t W, uint32_t H) {
  std::vector<uint8_t> B = {0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00, 12, 0};
  auto E = [&](uint16_t Tag, uint16_t Type, uint32_t Value) {
    Put(B, Tag, 2, false);
    Put(B, Type, 2, false);
    Put(B, 1, 4, false);
    Put(B, Value, 4, false);
  };
  E(256, 4, W);
  E(257, 4, H);
  E(258, 3, 16);
  E(259, 3, 1);
  E(262, 3, 1);
  E(278, 4, H);
  E(277, 3, 1);
  E(279, 4, W * H * 2);
  E(282, 5, 158);
  E(283, 5, 166);
  E(296, 3, 1);
  E(273, 4, 174);
  Put(B, 0, 4, false);
  for (int I = 0; I < 4; ++I) Put(B, 1, 4, false);
  return B;
}

std::string CommandOutput(const std::string& Cmd) {
  std::string Out;
  if (std::FILE* P = popen(Cmd.c_str(), "r")) {
    char Buf[512];
    while (size_t N = std::fread(Buf, 1, sizeof Buf, P)) Out.append(Buf, N);
    pclose(P);
  }
  return Out;
}

bool HaveTiffInfo() { return std::system("command -v tiffinfo >/dev/null 2>&1") == 0; }

}  // namespace

TEST(TiffWriter, ActivationFileIsByteExact) {
  TempDir D;
  const int W = 5, H = 3;
  std::vector<uint16_t> S(W * H);
  for (size_t I = 0; I < S.size(); ++I) S[I] = static_cast<uint16_t>(I * 4099 + 1);
  ASSERT_TRUE(WriteTiff16(S.data(), W, H, true, D.File("x.act")));
  const auto Bytes = ReadBytes(D.File("x.act"));
  ASSERT_EQ(Bytes.size(), 174u + W * H * 2);
  const auto Expected = ExpectedGreyHeader(W, H);
  ASSERT_EQ(Expected.size(), 174u);
  EXPECT_EQ(std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + 174), Expected);
  EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + 174, Bytes.end()), LittleEndian(S));

  ImageRecord R;
  ReadImageHeader(D.File("x.act"), R, false, {});
  ASSERT_TRUE(R.Valid);
  EXPECT_FALSE(R.SwapBytes);
  EXPECT_EQ(R.HeaderSize, 174);
  EXPECT_EQ(R.Channels, 1);
  EXPECT_EQ(R.DataType, "WORD");
  EXPECT_EQ(R.ResultType, "WORD");
  EXPECT_EQ(R.BytesPerPixel, 2);
  EXPECT_EQ(R.ErrorText, "");
  std::vector<uint16_t> Act(W * H);
  LoadImageFile(D.File("x.act"), R, Act, 0, false, false, {});
  ASSERT_TRUE(R.Valid);
  EXPECT_EQ(Act, S);
}

TEST(TiffWriter, RgbHeaderAndRoundTrip) {
  TempDir D;
  const std::vector<uint16_t> S = {1, 2, 3, 400, 500, 600};  // 2 x 1 pixels
  ASSERT_TRUE(WriteTiff16(S.data(), 2, 1, false, D.File("c.tif")));
  const auto B = ReadBytes(D.File("c.tif"));
  ASSERT_EQ(B.size(), 192u + 12u);
  EXPECT_EQ(B[8], 13);
  // tag 258: SHORT, count 3, offset 170; the three values there.
  const std::vector<uint8_t> Bits = {0x02, 0x01, 3, 0, 3, 0, 0, 0, 170, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(B.begin() + 34, B.begin() + 46), Bits);
  EXPECT_EQ(std::vector<uint8_t>(B.begin() + 170, B.begin() + 176),
            (std::vector<uint8_t>{16, 0, 16, 0, 16, 0}));
  // tag 284 PlanarConfiguration 1 then 296, and 273 last with 192.
  EXPECT_EQ(std::vector<uint8_t>(B.begin() + 130, B.begin() + 134),
            (std::vector<uint8_t>{0x1C, 0x01, 3, 0}));
  EXPECT_EQ(std::vector<uint8_t>(B.begin() + 154, B.begin() + 170),
            (std::vector<uint8_t>{0x11, 0x01, 4, 0, 1, 0, 0, 0, 192, 0, 0, 0, 0, 0, 0, 0}));
  Loaded L;
  LoadImageFile(D.File("c.tif"), L.R, L.Buffer, 16, true, true, L.M.Sink());
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_EQ(L.R.BytesPerPixel, 6);
  EXPECT_EQ(L.Buffer, S);
}

TEST(TiffWriter, HeadersAtTheEndOfAFile) {
  TempDir D;
  std::FILE* F = std::fopen(D.File("two.tif").c_str(), "wb+");
  ASSERT_NE(F, nullptr);
  ASSERT_TRUE(WriteTiffHeaderGray(F, 2, 1, 8, false));
  const uint8_t Pixels[2] = {7, 8};
  ASSERT_EQ(std::fwrite(Pixels, 1, 2, F), 2u);
  ASSERT_TRUE(WriteTiffHeaderGray(F, 2, 1, 4, true));
  ASSERT_EQ(std::fwrite(Pixels, 1, 2, F), 2u);
  std::fclose(F);
  const auto B = ReadBytes(D.File("two.tif"));
  ASSERT_EQ(B.size(), 2u * 176u);
  const uint32_t P = 176;
  auto At32 = [&](size_t O) { return B[O] | B[O + 1] << 8 | B[O + 2] << 16 | B[O + 3] << 24; };
  EXPECT_EQ(At32(154), P + 8);  // next IFD: the second header's IFD
  EXPECT_EQ(At32(94 + 8), 2u);  // 8 bits: width x height bytes
  EXPECT_EQ(B[34 + 8], 8);      // bits 4 or 8 both write 8
  EXPECT_EQ(At32(P + 4), 8u);   // the header's own IFD offset is always 8
  EXPECT_EQ(At32(P + 106 + 8), P + 158);
  EXPECT_EQ(At32(P + 142 + 8), P + 174);
  EXPECT_EQ(At32(P + 154), 0u);
  // The reader follows the chain and loads the first page.
  Loaded L;
  LoadImageFile(D.File("two.tif"), L.R, L.Buffer, 16, true, true, L.M.Sink());
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{7, 8}));
}

TEST(TiffWriter, FailuresAreReported) {
  TempDir D;
  const std::vector<uint16_t> S(4, 1);
  EXPECT_FALSE(WriteTiff16(S.data(), 2, 2, true, D.File("no/such/dir/x.act")));
  EXPECT_FALSE(WriteTiff16(S.data(), 0, 2, true, D.File("zero.act")));
  EXPECT_FALSE(WriteTiff16(nullptr, 2, 2, true, D.File("null.act")));
  EXPECT_FALSE(WriteTiffHeaderGray(nullptr, 2, 2, 16, true));
}

TEST(TiffWriter, ShortWriteIsAFailureAndLeavesNoFile) {
  TempDir D;
  const std::vector<uint16_t> S(64 * 64, 7);
  // A file-size limit below the image makes the write fail part way.
  rlimit Old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Old), 0);
  rlimit Small = Old;
  Small.rlim_cur = 1000;
  auto* Previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Small), 0);
  const bool Ok = WriteTiff16(S.data(), 64, 64, true, D.File("cut.act"));
  setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, Previous);
  EXPECT_FALSE(Ok);
  EXPECT_FALSE(std::filesystem::exists(D.File("cut.act")));
}

TEST(TiffWriter, IndependentReaderAgrees) {
  if (!HaveTiffInfo()) GTEST_SKIP() << "libtiff tools not installed";
  TempDir D;
  std::vector<uint16_t> S(7 * 4, 1000);
  ASSERT_TRUE(WriteTiff16(S.data(), 7, 4, true, D.File("g.tif")));
  std::vector<uint16_t> Rgb(7 * 4 * 3, 2000);
  ASSERT_TRUE(WriteTiff16(Rgb.data(), 7, 4, false, D.File("c.tif")));
  const std::string G = CommandOutput("tiffinfo " + D.File("g.tif") + " 2>&1");
  EXPECT_NE(G.find("Image Width: 7 Image Length: 4"), std::string::npos) << G;
  EXPECT_NE(G.find("Bits/Sample: 16"), std::string::npos) << G;
  EXPECT_NE(G.find("min-is-black"), std::string::npos) << G;
  EXPECT_EQ(G.find("rror"), std::string::npos) << G;
  const std::string C = CommandOutput("tiffinfo " + D.File("c.tif") + " 2>&1");
  EXPECT_NE(C.find("Samples/Pixel: 3"), std::string::npos) << C;
  EXPECT_NE(C.find("RGB color"), std::string::npos) << C;
  EXPECT_EQ(C.find("rror"), std::string::npos) << C;
  const std::string Dump = CommandOutput("tiffdump " + D.File("g.tif") + " 2>&1");
  EXPECT_NE(Dump.find("StripOffsets (273) LONG (4) 1<174>"), std::string::npos) << Dump;
}

TEST(TiffReader, BigEndianEqualsLittleEndian) {
  TempDir D;
  const std::vector<uint16_t> S = {1, 258, 65535, 0, 4096, 77};
  Loaded Little = Load(D.File("le.tif"), MakeTiff(false, GreyEntries(3, 2), Words(S, false)));
  Loaded Big = Load(D.File("be.tif"), MakeTiff(true, GreyEntries(3, 2), Words(S, true)));
  ASSERT_TRUE(Little.R.Valid);
  ASSERT_TRUE(Big.R.Valid);
  EXPECT_FALSE(Little.R.SwapBytes);
  EXPECT_TRUE(Big.R.SwapBytes);
  EXPECT_EQ(Little.Buffer, S);
  EXPECT_EQ(Big.Buffer, S);
  EXPECT_EQ(Big.R.HeaderSize, static_cast<int32_t>(TailAt(7)));
}

TEST(TiffReader, EightBitGreyAndPalette) {
  TempDir D;
  Loaded L = Load(D.File("g8.tif"), MakeTiff(false, GreyEntries(2, 2, 8), {0, 1, 128, 255}));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.DataType, "BYTE");
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 1, 128, 255}));
  auto Palette = GreyEntries(2, 1, 8);
  Palette[4].Value = 3;
  L = Load(D.File("p.tif"), MakeTiff(true, Palette, {9, 200}));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Channels, 1);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{9, 200}));
}

TEST(TiffReader, MultiStripOffsets) {
  TempDir D;
  const std::vector<uint16_t> S = {1, 2, 3, 4, 5, 6};
  for (bool Big : {false, true}) {
    SCOPED_TRACE(Big);
    // LONG array of three strips at an offset; pixels follow the array.
    auto E = GreyEntries(2, 3);
    const uint32_t Array = TailAt(E.size());
    E[6] = {273, 4, 3, Array};
    std::vector<uint8_t> Tail;
    Put(Tail, Array + 12, 4, Big);
    Put(Tail, Array + 16, 4, Big);
    Put(Tail, Array + 20, 4, Big);
    auto Px = Words(S, Big);
    Tail.insert(Tail.end(), Px.begin(), Px.end());
    Loaded L = Load(D.File("long.tif"), MakeTiff(Big, E, Tail));
    ASSERT_TRUE(L.R.Valid);
    EXPECT_EQ(L.R.HeaderSize, static_cast<int32_t>(Array + 12));
    EXPECT_EQ(L.Buffer, S);

    // SHORT array of three: the first entry is a SHORT.
    E[6] = {273, 3, 3, Array};
    Tail.clear();
    Put(Tail, Array + 6, 2, Big);
    Put(Tail, Array + 10, 2, Big);
    Put(Tail, Array + 14, 2, Big);
    Tail.insert(Tail.end(), Px.begin(), Px.end());
    L = Load(D.File("short3.tif"), MakeTiff(Big, E, Tail));
    ASSERT_TRUE(L.R.Valid);
    EXPECT_EQ(L.R.HeaderSize, static_cast<int32_t>(Array + 6));
    EXPECT_EQ(L.Buffer, S);
  }
  // Two SHORT offsets fit the value field itself.
  auto E = GreyEntries(2, 3);
  const uint32_t Start = TailAt(E.size());
  E[6] = {273, 3, 2, Start | (Start + 6) << 16};
  Loaded L = Load(D.File("short2.tif"), MakeTiff(false, E, Words(S, false)));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.HeaderSize, static_cast<int32_t>(Start));
  EXPECT_EQ(L.Buffer, S);
}

TEST(TiffReader, RgbBitsAtAnOffset) {
  TempDir D;
  for (bool Big : {false, true}) {
    std::vector<Entry> E = {{256, 4, 1, 2}, {257, 4, 1, 1}, {258, 3, 3, 0},
                            {262, 3, 1, 2}, {277, 3, 1, 3}, {273, 4, 1, 0}};
    const uint32_t Tail = TailAt(E.size());
    E[2].Value = Tail;
    E[5].Value = Tail + 6;
    std::vector<uint8_t> T;
    for (int I = 0; I < 3; ++I) Put(T, 8, 2, Big);
    for (uint8_t V : {10, 20, 30, 40, 50, 60}) T.push_back(V);
    Loaded L = Load(D.File("rgb8.tif"), MakeTiff(Big, E, T));
    ASSERT_TRUE(L.R.Valid);
    EXPECT_EQ(L.R.Channels, 3);
    EXPECT_EQ(L.R.BytesPerPixel, 6);
    EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{10, 20, 30, 40, 50, 60}));
    // Unequal bits: the offset itself is the bits value of the message.
    T[Big ? 5 : 4] = 16;
    L = Load(D.File("rgb816.tif"), MakeTiff(Big, E, T));
    EXPECT_FALSE(L.R.Valid);
    const std::string Msg =
        "File: rgb816.tif  has unsupported data format (" + std::to_string(Tail) + " bit).";
    EXPECT_EQ(L.M.List, std::vector<std::string>{Msg});
    EXPECT_EQ(L.R.ErrorText, Msg);
  }
}

TEST(TiffReader, Refusals) {
  TempDir D;
  auto E = GreyEntries(2, 1);
  E[3].Value = 5;  // LZW
  Loaded L = Load(D.File("lzw.tif"), MakeTiff(false, E, std::vector<uint8_t>(4)));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.M.List,
            std::vector<std::string>{
                "File: lzw.tif  has compressed data type. Compression is not supported."});
  E = GreyEntries(2, 1);
  E[4].Value = 5;  // CMYK
  L = Load(D.File("cmyk.tif"), MakeTiff(false, E, std::vector<uint8_t>(4)));
  EXPECT_EQ(L.M.List, std::vector<std::string>{"File: cmyk.tif  has unsupported data type."});
  L = Load(D.File("b12.tif"), MakeTiff(false, GreyEntries(2, 1, 12), std::vector<uint8_t>(4)));
  EXPECT_EQ(L.M.List,
            std::vector<std::string>{"File: b12.tif  has unsupported data format (12 bit)."});

  // Not a TIFF: the full path in the message, and a reused record is not left Valid.
  WriteBytes(D.File("x.tif"), {'I', 'I', 43, 0, 8, 0, 0, 0});
  ImageRecord R;
  R.Valid = true;
  Messages M;
  ReadImageHeader(D.File("x.tif"), R, true, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(M.List, std::vector<std::string>{D.File("x.tif") + " is not correct TIFF file."});

  // A missing file is reported through ErrorText only.
  M.List.clear();
  ReadTiffHeader(D.File("none.tif"), R, true, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.ErrorText, "File: none.tif  not found.");
  EXPECT_TRUE(M.List.empty());
}

TEST(TiffReader, BoundedIfdChains) {
  TempDir D;
  // An IFD whose next offset is itself.
  Loaded L = Load(D.File("loop.tif"), MakeTiff(false, GreyEntries(1, 1), {5, 0}, 8));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{5}));
  // A chain of 300 empty IFDs after the first.
  std::vector<uint8_t> Tail = {6, 0};
  const uint32_t First = TailAt(7) + 2;
  for (uint32_t I = 0; I < 300; ++I) {
    Put(Tail, 0, 2, false);
    Put(Tail, I + 1 < 300 ? First + 6 * (I + 1) : 0, 4, false);
  }
  L = Load(D.File("chain.tif"), MakeTiff(false, GreyEntries(1, 1), Tail, First));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{6}));
  // A later IFD past the end of the file only ends the walk.
  L = Load(D.File("later.tif"), MakeTiff(false, GreyEntries(1, 1), {7, 0}, 100000));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{7}));
}
