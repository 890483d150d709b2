#include <gtest/gtest.h>

#include "IOGraphics.h"
#include "ImageFixtures.h"

using namespace obra;
using namespace obra::test;

namespace {

std::vector<uint8_t> Bytes(const std::string& Text) { return {Text.begin(), Text.end()}; }

std::vector<uint8_t> Concat(std::vector<uint8_t> A, const std::vector<uint8_t>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

struct Result {
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  Messages M;
};

Result Load(const std::string& File) {
  Result L;
  LoadImageFile(File, L.R, L.Buffer, 16, true, true, L.M.Sink());
  return L;
}

}  // namespace

TEST(BifReader, SeparateDataFileWithHeaderOffset) {
  TempDir D;
  WriteText(D.File("img.bif"),
            "BIF image\nFILENAME data.raw\nWIDTH 3 // columns\nHEIGHT 2\nCHANNELS 1\n"
            "DATATYPE word\nBYTEORDER mac\nHEADER 4\nENDBIF\n");
  WriteBytes(D.File("data.raw"), Concat({9, 9, 9, 9}, BigEndian<uint16_t>({1, 2, 3, 4, 5, 65535})));
  Result L = Load(D.File("img.bif"));
  ASSERT_TRUE(L.R.Valid) << (L.M.List.empty() ? "" : L.M.List[0]);
  EXPECT_EQ(L.R.FileName, D.File("data.raw"));
  EXPECT_EQ(L.R.Width, 3);
  EXPECT_EQ(L.R.Height, 2);
  EXPECT_EQ(L.R.HeaderSize, 4);
  EXPECT_EQ(L.R.DataSize, 12);
  EXPECT_EQ(L.R.BytesPerPixel, 2);
  EXPECT_EQ(L.R.DataType, "WORD");
  EXPECT_TRUE(L.R.SwapBytes);
  EXPECT_FALSE(L.R.FlipRows);
  EXPECT_FALSE(L.R.HasBZero);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{1, 2, 3, 4, 5, 65535}));
  EXPECT_TRUE(L.M.List.empty());
}

TEST(BifReader, PixelsAtTheEndOfTheHeaderFile) {
  TempDir D;
  // No FILENAME, no HEADER, no BYTEORDER: little-endian pixels end the file.
  // Keys in any order and case, CR LF line ends, the last repeat counts.
  const std::string Head =
      "bif\r\nheight 1\r\nDataType BYTE\r\nwidth 9\r\nWIDTH 4\r\nChannels 1\r\nendbif\r\n";
  WriteBytes(D.File("self.BIF"), Concat(Bytes(Head), {10, 20, 30, 255}));
  Result L = Load(D.File("self.BIF"));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.FileName, D.File("self.BIF"));
  EXPECT_EQ(L.R.HeaderSize, static_cast<int32_t>(Head.size()));
  EXPECT_FALSE(L.R.SwapBytes);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{10, 20, 30, 255}));
  EXPECT_EQ(L.R.BytesPerPixel, 2);  // doubled by the widening
}

TEST(BifReader, MissingDataFileMeansTheHeaderFile) {
  TempDir D;
  WriteBytes(D.File("m.bif"),
             Concat(Bytes("BIF\nFILENAME nothere.raw\nWIDTH 1\nHEIGHT 1\nCHANNELS 1\n"
                          "DATATYPE SMALLINT\nENDBIF\n"),
                    LittleEndian<int16_t>({5})));
  Result L = Load(D.File("m.bif"));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.FileName, D.File("m.bif"));
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{32773}));
}

TEST(BifReader, SignedOffsetIgnoresEarlierFitsBZero) {
  TempDir D;
  WriteBytes(D.File("a.fits"), FitsFile(
                                   [] {
                                     auto C = ImageCards(16, 1, 1);
                                     C.push_back(Card("BZERO", "100"));
                                     return C;
                                   }(),
                                   BigEndian<int16_t>({1})));
  WriteText(D.File("s.bif"),
            "BIF\nFILENAME s.raw\nWIDTH 4\nHEIGHT 1\nCHANNELS 1\nDATATYPE SMALLINT\n"
            "BYTEORDER PC\nENDBIF\nWIDTH 99\n");
  WriteBytes(D.File("s.raw"), LittleEndian<int16_t>({-32768, -1, 0, 32767}));
  Result L;
  LoadImageFile(D.File("a.fits"), L.R, L.Buffer, 16, true, true, L.M.Sink());
  ASSERT_TRUE(L.R.HasBZero);
  LoadImageFile(D.File("s.bif"), L.R, L.Buffer, 16, true, true, L.M.Sink());
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Width, 4);  // the line after ENDBIF is never read
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 32767, 32768, 65535}));
}

TEST(BifReader, SingleSamplesAndColour) {
  TempDir D;
  WriteText(D.File("f.bif"),
            "BIF\nFILENAME f.raw\nWIDTH 2\nHEIGHT 1\nCHANNELS 3\nDATATYPE single\n"
            "BYTEORDER MAC\nENDBIF\n");
  WriteBytes(D.File("f.raw"), BigEndian<float>({0.5f, 1.5f, 70000.f, -3.f, 12.25f, 4.5f}));
  Result L = Load(D.File("f.bif"));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.DataType, "SINGLE");
  EXPECT_EQ(L.R.ResultType, "WORD");
  EXPECT_EQ(L.R.DataSize, 24);
  EXPECT_EQ(L.R.BytesPerPixel, 6);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 2, 65535, 0, 12, 4}));
}

TEST(BifReader, FaultsAreReportedInOrder) {
  TempDir D;
  WriteText(D.File("bad.bif"),
            "BIF\nWIDTH=512\nHEIGHT 2\nCHANNELS 2\nDATATYPE DOUBLE\nBYTEORDER intel\nENDBIF\n");
  Result L = Load(D.File("bad.bif"));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.R.Width, 0);
  EXPECT_EQ(L.M.List,
            (std::vector<std::string>{"Incorrect image bad.bif width or height!",
                                      "Image bad.bif: has unsupported number of channels",
                                      "Image bad.bif: has unsupported data type",
                                      "Image bad.bif has ivalid information about byte order."}));

  WriteText(D.File("nobif.bif"), "XIF\nWIDTH 1\n");
  L = Load(D.File("nobif.bif"));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.M.List, std::vector<std::string>{"File nobif.bif is not a correct BIF image file!"});
  WriteText(D.File("empty.bif"), "");
  L = Load(D.File("empty.bif"));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.M.List, std::vector<std::string>{"File empty.bif is not a correct BIF image file!"});
}

TEST(BifReader, DataBeyondTheFileIsRefused) {
  TempDir D;
  // Without HEADER: more data than the whole file.
  WriteText(D.File("big.bif"), "BIF\nWIDTH 100\nHEIGHT 100\nCHANNELS 1\nDATATYPE WORD\nENDBIF\n");
  Result L = Load(D.File("big.bif"));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.M.List, std::vector<std::string>{"Image big.bif has incorrect file size."});
  EXPECT_TRUE(L.Buffer.empty());
  // With an explicit HEADER the pixels must fit after it, too.
  WriteText(D.File("off.bif"),
            "BIF\nFILENAME off.raw\nWIDTH 2\nHEIGHT 2\nCHANNELS 1\nDATATYPE WORD\nHEADER 2\n"
            "ENDBIF\n");
  WriteBytes(D.File("off.raw"), std::vector<uint8_t>(9));
  L = Load(D.File("off.bif"));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.M.List, std::vector<std::string>{"Image off.bif has incorrect file size."});
  WriteBytes(D.File("off.raw"), std::vector<uint8_t>(10));
  L = Load(D.File("off.bif"));
  EXPECT_TRUE(L.R.Valid);
  // Sizes beyond 32 bits are refused before anything is allocated.
  WriteText(D.File("huge.bif"),
            "BIF\nWIDTH 2000000000\nHEIGHT 2000000000\nCHANNELS 3\nDATATYPE SINGLE\nENDBIF\n");
  L = Load(D.File("huge.bif"));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.M.List, std::vector<std::string>{"Image huge.bif is too large."});
}
