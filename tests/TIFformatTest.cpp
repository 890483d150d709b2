// The TIFF writer byte for byte and through libtiff's tools, and the reader on
// hand-made files of both byte orders.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "TIFformat.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

struct Entry {
  uint16_t Tag, Type;
  uint32_t Count, Value;
};

// Offset of the bytes that follow one IFD of N entries at offset 8.
uint32_t TailAt(size_t N) { return static_cast<uint32_t>(8 + 2 + 12 * N + 4); }

// Header, one IFD at offset 8, then Tail (pixel data, arrays, more IFDs).
std::vector<uint8_t> MakeTiff(bool Big, const std::vector<Entry>& Entries,
                              const std::vector<uint8_t>& Tail, uint32_t NextIfd = 0) {
  std::vector<uint8_t> B = {uint8_t(Big ? 'M' : 'I'), uint8_t(Big ? 'M' : 'I')};
  Append(B, 42, 2, Big);
  Append(B, 8, 4, Big);
  Append(B, uint32_t(Entries.size()), 2, Big);
  for (const Entry& E : Entries) {
    Append(B, E.Tag, 2, Big);
    Append(B, E.Type, 2, Big);
    Append(B, E.Count, 4, Big);
    // A single SHORT sits in the first two bytes of the value field.
    Append(B, E.Type == 3 && E.Count == 1 ? E.Value << (Big ? 16 : 0) : E.Value, 4, Big);
  }
  Append(B, NextIfd, 4, Big);
  B.insert(B.end(), Tail.begin(), Tail.end());
  return B;
}

// A one-channel image of W x H with its pixels right after the IFD.
std::vector<Entry> GreyEntries(uint32_t W, uint32_t H, uint32_t Bits = 16) {
  return {{256, 4, 1, W}, {257, 4, 1, H}, {258, 3, 1, Bits},         {259, 3, 1, 1},
          {262, 3, 1, 1}, {277, 3, 1, 1}, {273, 4, 1, TailAt(6 + 1)}};
}

std::vector<uint8_t> Words(const std::vector<uint16_t>& V, bool Big) {
  return Big ? BigEndian(V) : LittleEndian(V);
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

}  // namespace

TEST(TiffWriter, ActivationFileIsByteExact) {
  TempDir D;
  const int W = 5, H = 3;
  std::vector<uint16_t> S(W * H);
  for (size_t I = 0; I < S.size(); ++I) S[I] = static_cast<uint16_t>(I * 4099 + 1);
  ASSERT_TRUE(WriteTiff16(S.data(), W, H, true, D.File("x.act")));
  // Twelve entries, no next IFD, the two resolutions 1/1, then the samples.
  std::vector<uint8_t> Want = {'I', 'I', 42, 0, 8, 0, 0, 0, 12, 0};
  const uint32_t Entries[][3] = {{256, 4, W},   {257, 4, H},   {258, 3, 16}, {259, 3, 1},
                                 {262, 3, 1},   {278, 4, H},   {277, 3, 1},  {279, 4, W * H * 2},
                                 {282, 5, 158}, {283, 5, 166}, {296, 3, 1},  {273, 4, 174}};
  for (const auto& E : Entries)
    for (auto [V, N] : {std::pair{E[0], 2}, {E[1], 2}, {1u, 4}, {E[2], 4}})
      Append(Want, V, N, false);
  for (uint32_t V : {0, 1, 1, 1, 1}) Append(Want, V, 4, false);
  const std::vector<uint8_t> Samples = LittleEndian(S);
  Want.insert(Want.end(), Samples.begin(), Samples.end());
  EXPECT_EQ(ReadBytes(D.File("x.act")), Want);
}

TEST(TiffWriter, RgbHeaderAndRoundTrip) {
  TempDir D;
  const std::vector<uint16_t> S = {1, 2, 3, 400, 500, 600};  // 2 x 1 pixels
  ASSERT_TRUE(WriteTiff16(S.data(), 2, 1, false, D.File("c.tif")));
  const std::vector<uint8_t> B = ReadBytes(D.File("c.tif"));
  ASSERT_EQ(B.size(), 192u + 12u);
  EXPECT_EQ(B[8], 13);
  auto At = [&](size_t From, size_t N) { return std::vector<uint8_t>(&B[From], &B[From + N]); };
  // Tag 258: SHORT, count 3, at offset 170 where the three 16s are.
  EXPECT_EQ(At(34, 12), (std::vector<uint8_t>{0x02, 0x01, 3, 0, 3, 0, 0, 0, 170, 0, 0, 0}));
  EXPECT_EQ(At(170, 6), (std::vector<uint8_t>{16, 0, 16, 0, 16, 0}));
  // Tag 284 PlanarConfiguration, then 273 last with 192 and no next IFD.
  EXPECT_EQ(At(130, 4), (std::vector<uint8_t>{0x1C, 0x01, 3, 0}));
  EXPECT_EQ(At(154, 16),
            (std::vector<uint8_t>{0x11, 0x01, 4, 0, 1, 0, 0, 0, 192, 0, 0, 0, 0, 0, 0, 0}));
  const FullLoad L = LoadWholeFile(D.File("c.tif"));
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_EQ(L.R.BytesPerPixel, 6);
  EXPECT_EQ(L.Buffer, S);
}

TEST(TiffWriter, HeadersAtTheEndOfAFile) {
  TempDir D;
  std::FILE* F = std::fopen(D.File("two.tif").c_str(), "wb+");
  ASSERT_NE(F, nullptr);
  const uint8_t Pixels[2] = {7, 8};
  ASSERT_TRUE(WriteTiffHeaderGray(F, 2, 1, 8, false));
  ASSERT_EQ(std::fwrite(Pixels, 1, 2, F), 2u);
  ASSERT_TRUE(WriteTiffHeaderGray(F, 2, 1, 4, true));
  ASSERT_EQ(std::fwrite(Pixels, 1, 2, F), 2u);
  std::fclose(F);
  const std::vector<uint8_t> B = ReadBytes(D.File("two.tif"));
  ASSERT_EQ(B.size(), 2u * 176u);
  const uint32_t P = 176;
  auto At32 = [&](size_t O) { return Fetch(&B[O], 4, false); };
  EXPECT_EQ(At32(154), P + 8);  // next IFD: the second header's IFD
  EXPECT_EQ(At32(94 + 8), 2u);  // 8 bits: width x height bytes
  EXPECT_EQ(B[34 + 8], 8);      // bits 4 or 8 both write 8
  EXPECT_EQ(At32(P + 4), 8u);   // the header's own IFD offset is always 8
  EXPECT_EQ(At32(P + 106 + 8), P + 158);
  EXPECT_EQ(At32(P + 142 + 8), P + 174);
  EXPECT_EQ(At32(P + 154), 0u);
  // The reader follows the chain and loads the first page.
  EXPECT_EQ(LoadWholeFile(D.File("two.tif")).Buffer, (std::vector<uint16_t>{7, 8}));
}

TEST(TiffWriter, FailuresAreReportedAndLeaveNoFile) {
  TempDir D;
  const std::vector<uint16_t> S(64 * 64, 7);
  EXPECT_FALSE(WriteTiff16(S.data(), 2, 2, true, D.File("no/such/dir/x.act")));
  EXPECT_FALSE(WriteTiff16(S.data(), 0, 2, true, D.File("zero.act")));
  EXPECT_FALSE(WriteTiff16(nullptr, 2, 2, true, D.File("null.act")));
  EXPECT_FALSE(WriteTiffHeaderGray(nullptr, 2, 2, 16, true));
  // A write cut short by the file-size limit.
  EXPECT_FALSE(WithFileSizeLimit(
      1000, [&] { return WriteTiff16(S.data(), 64, 64, true, D.File("cut.act")); }));
  EXPECT_TRUE(std::filesystem::is_empty(D.Path()));
}

TEST(TiffWriter, IndependentReaderAgrees) {
  if (std::system("command -v tiffinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "no libtiff tools";
  TempDir D;
  const std::vector<uint16_t> S(7 * 4 * 3, 1000);
  ASSERT_TRUE(WriteTiff16(S.data(), 7, 4, true, D.File("g.tif")));
  ASSERT_TRUE(WriteTiff16(S.data(), 7, 4, false, D.File("c.tif")));
  const std::string G = CommandOutput("tiffinfo " + D.File("g.tif") + " 2>&1"),
                    C = CommandOutput("tiffinfo " + D.File("c.tif") + " 2>&1"),
                    Dump = CommandOutput("tiffdump " + D.File("g.tif") + " 2>&1");
  for (const auto& [Out, Want] : {std::pair{G, "Image Width: 7 Image Length: 4"},
                                  {G, "Bits/Sample: 16"},
                                  {G, "min-is-black"},
                                  {C, "Samples/Pixel: 3"},
                                  {C, "RGB color"},
                                  {Dump, "StripOffsets (273) LONG (4) 1<174>"}})
    EXPECT_NE(Out.find(Want), std::string::npos) << Out;
  EXPECT_EQ((G + C).find("rror"), std::string::npos) << G << C;
}

TEST(TiffReader, ByteOrdersDepthsAndStripArrays) {
  TempDir D;
  const std::vector<uint16_t> S = {1, 258, 65535, 0, 4096, 77};
  for (bool Big : {false, true}) {
    SCOPED_TRACE(Big);
    FullLoad L = WriteAndLoad(D.File("a.tif"), MakeTiff(Big, GreyEntries(3, 2), Words(S, Big)));
    EXPECT_TRUE(L.R.Valid);
    EXPECT_EQ(L.R.SwapBytes, Big);
    EXPECT_EQ(L.R.HeaderSize, int32_t(TailAt(7)));
    EXPECT_EQ(L.Buffer, S);
    // 8-bit grey, and a palette image whose indices are taken as grey.
    L = WriteAndLoad(D.File("g8.tif"), MakeTiff(Big, GreyEntries(2, 2, 8), {0, 1, 128, 255}));
    EXPECT_TRUE(L.R.Valid);
    EXPECT_EQ(L.R.DataType, "BYTE");
    EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 1, 128, 255}));
    std::vector<Entry> E = GreyEntries(2, 1, 8);
    E[4].Value = 3;
    L = WriteAndLoad(D.File("p.tif"), MakeTiff(Big, E, {9, 200}));
    EXPECT_TRUE(L.R.Valid);
    EXPECT_EQ(L.R.Channels, 1);
    EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{9, 200}));
    // Three strips as a LONG or a SHORT array; the first strip is the header size.
    E = GreyEntries(2, 3);
    const uint32_t Array = TailAt(E.size());
    for (uint16_t Type : {4, 3}) {
      const int Size = Type == 4 ? 4 : 2;
      E[6] = {273, Type, 3, Array};
      std::vector<uint8_t> Tail;
      for (int I = 0; I < 3; ++I) Append(Tail, Array + 3 * Size + 4 * I, Size, Big);
      const std::vector<uint8_t> Px = Words(S, Big);
      Tail.insert(Tail.end(), Px.begin(), Px.end());
      L = WriteAndLoad(D.File("strips.tif"), MakeTiff(Big, E, Tail));
      EXPECT_TRUE(L.R.Valid);
      EXPECT_EQ(L.R.HeaderSize, int32_t(Array + 3 * Size));
      EXPECT_EQ(L.Buffer, S);
    }
  }
  // Two SHORT offsets fit the value field itself.
  std::vector<Entry> E = GreyEntries(2, 3);
  const uint32_t Start = TailAt(E.size());
  E[6] = {273, 3, 2, Start | (Start + 6) << 16};
  const FullLoad L = WriteAndLoad(D.File("short2.tif"), MakeTiff(false, E, Words(S, false)));
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.HeaderSize, int32_t(Start));
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
    for (int I = 0; I < 3; ++I) Append(T, 8, 2, Big);
    T.insert(T.end(), {10, 20, 30, 40, 50, 60});
    FullLoad L = WriteAndLoad(D.File("rgb8.tif"), MakeTiff(Big, E, T));
    EXPECT_TRUE(L.R.Valid);
    EXPECT_EQ(L.R.Channels, 3);
    EXPECT_EQ(L.R.BytesPerPixel, 6);
    EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{10, 20, 30, 40, 50, 60}));
    // Unequal bits: the offset itself is the bits value of the message.
    T[Big ? 5 : 4] = 16;
    L = WriteAndLoad(D.File("rgb816.tif"), MakeTiff(Big, E, T));
    const std::string Msg =
        "File: rgb816.tif  has unsupported data format (" + std::to_string(Tail) + " bit).";
    EXPECT_FALSE(L.R.Valid);
    EXPECT_EQ(L.Shown, std::vector<std::string>{Msg});
    EXPECT_EQ(L.R.ErrorText, Msg);
  }
}

TEST(TiffReader, Refusals) {
  TempDir D;
  for (auto [Index, Value, Name, Want] :
       {std::tuple{3, 5u, "lzw.tif", "has compressed data type. Compression is not supported."},
        std::tuple{4, 5u, "cmyk.tif", "has unsupported data type."},
        std::tuple{2, 12u, "b12.tif", "has unsupported data format (12 bit)."}}) {
    std::vector<Entry> E = GreyEntries(2, 1);
    E[Index].Value = Value;
    const FullLoad L = WriteAndLoad(D.File(Name), MakeTiff(false, E, std::vector<uint8_t>(4)));
    EXPECT_FALSE(L.R.Valid);
    EXPECT_EQ(L.Shown, std::vector<std::string>{"File: " + std::string(Name) + "  " + Want});
  }
  // A colour image with more samples per pixel than the SHORT field holds.
  std::vector<Entry> Rgb = GreyEntries(2, 1);
  Rgb[4].Value = 2;
  Rgb[5] = {277, 4, 1, 0x40000000u};
  EXPECT_FALSE(
      WriteAndLoad(D.File("many.tif"), MakeTiff(false, Rgb, std::vector<uint8_t>(8))).R.Valid);
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
  EXPECT_EQ(M.List.size(), 0u);
}

TEST(TiffReader, BoundedIfdChains) {
  TempDir D;
  // An IFD whose next offset is itself; a chain of 300 empty IFDs; a later
  // IFD past the end of the file. Each only ends the walk.
  std::vector<uint8_t> Chain = {6, 0};
  const uint32_t First = TailAt(7) + 2;
  for (uint32_t I = 0; I < 300; ++I) {
    Append(Chain, 0, 2, false);
    Append(Chain, I + 1 < 300 ? First + 6 * (I + 1) : 0, 4, false);
  }
  for (auto [Tail, Next, Want] :
       {std::tuple{std::vector<uint8_t>{5, 0}, 8u, 5}, std::tuple{Chain, First, 6},
        std::tuple{std::vector<uint8_t>{7, 0}, 100000u, 7}}) {
    const FullLoad L =
        WriteAndLoad(D.File("c.tif"), MakeTiff(false, GreyEntries(1, 1), Tail, Next));
    EXPECT_TRUE(L.R.Valid);
    EXPECT_EQ(L.Buffer, std::vector<uint16_t>{uint16_t(Want)});
  }
}
