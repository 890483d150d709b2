// BIF headers: keyword lines, the data file, byte order, conversion and refusals.
#include <gtest/gtest.h>

#include <tuple>

#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

std::vector<uint8_t> Concat(const std::string& Text, const std::vector<uint8_t>& B) {
  std::vector<uint8_t> A(Text.begin(), Text.end());
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

}  // namespace

TEST(BifReader, LayoutsAndConversion) {
  TempDir D;
  // A separate data file after a 4-byte header, big-endian words.
  WriteText(D.File("img.bif"),
            "BIF image\nFILENAME data.raw\nWIDTH 3 // columns\nHEIGHT 2\nCHANNELS 1\n"
            "DATATYPE word\nBYTEORDER mac\nHEADER 4\nENDBIF\n");
  WriteBytes(D.File("data.raw"), Concat("head", BigEndian<uint16_t>({1, 2, 3, 4, 5, 65535})));
  FullLoad L = LoadWholeFile(D.File("img.bif"));
  ASSERT_TRUE(L.R.Valid);
  ASSERT_TRUE(L.Shown.empty());
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

  // No FILENAME, HEADER or BYTEORDER: little-endian pixels end the header file.
  // Keys in any order and case, CR LF line ends, the last repeat counts.
  const std::string Head =
      "bif\r\nheight 1\r\nDataType BYTE\r\nwidth 9\r\nWIDTH 4\r\nChannels 1\r\nendbif\r\n";
  L = WriteAndLoad(D.File("self.BIF"), Concat(Head, {10, 20, 30, 255}));
  // BytesPerPixel doubled by the widening.
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.FileName, D.File("self.BIF"));
  EXPECT_EQ(L.R.HeaderSize, int32_t(Head.size()));
  EXPECT_FALSE(L.R.SwapBytes);
  EXPECT_EQ(L.R.BytesPerPixel, 2);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{10, 20, 30, 255}));

  // A data file that does not exist means the header file.
  L = WriteAndLoad(D.File("m.bif"), Concat("BIF\nFILENAME nothere.raw\nWIDTH 1\nHEIGHT 1\n"
                                           "CHANNELS 1\nDATATYPE SMALLINT\nENDBIF\n",
                                           LittleEndian<int16_t>({5})));
  EXPECT_EQ(L.R.FileName, D.File("m.bif"));
  EXPECT_EQ(L.Buffer, std::vector<uint16_t>{32773});

  // Signed samples get 32768 whatever BZERO a FITS image loaded before had;
  // the line after ENDBIF is never read.
  L = WriteAndLoad(D.File("a.fits"),
                   FitsFile(ImageCards(16, 1, 1, {Card("BZERO", "100")}), BigEndian<int16_t>({1})));
  ASSERT_TRUE(L.R.HasBZero);
  WriteText(D.File("s.bif"),
            "BIF\nFILENAME s.raw\nWIDTH 4\nHEIGHT 1\nCHANNELS 1\nDATATYPE SMALLINT\n"
            "BYTEORDER PC\nENDBIF\nWIDTH 99\n");
  WriteBytes(D.File("s.raw"), LittleEndian<int16_t>({-32768, -1, 0, 32767}));
  Messages M;
  LoadImageFile(D.File("s.bif"), L.R, L.Buffer, 16, true, true, M.Sink());
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Width, 4);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 32767, 32768, 65535}));

  // Single-precision colour, rounded half to even and clipped.
  WriteText(D.File("f.bif"),
            "BIF\nFILENAME f.raw\nWIDTH 2\nHEIGHT 1\nCHANNELS 3\nDATATYPE single\n"
            "BYTEORDER MAC\nENDBIF\n");
  WriteBytes(D.File("f.raw"), BigEndian<float>({0.5f, 1.5f, 70000.f, -3.f, 12.25f, 4.5f}));
  L = LoadWholeFile(D.File("f.bif"));
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.DataType, "SINGLE");
  EXPECT_EQ(L.R.ResultType, "WORD");
  EXPECT_EQ(L.R.DataSize, 24);
  EXPECT_EQ(L.R.BytesPerPixel, 6);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 2, 65535, 0, 12, 4}));
}

TEST(BifReader, FaultsAreReportedInOrder) {
  TempDir D;
  const std::pair<std::string, std::vector<std::string>> Cases[] = {
      {"BIF\nWIDTH=512\nHEIGHT 2\nCHANNELS 2\nDATATYPE DOUBLE\nBYTEORDER intel\nENDBIF\n",
       {"Incorrect image x.bif width or height!", "Image x.bif: has unsupported number of channels",
        "Image x.bif: has unsupported data type",
        "Image x.bif has ivalid information about byte order."}},
      {"XIF\nWIDTH 1\n", {"File x.bif is not a correct BIF image file!"}},
      {"", {"File x.bif is not a correct BIF image file!"}},
      // Without HEADER: more data than the whole file.
      {"BIF\nWIDTH 100\nHEIGHT 100\nCHANNELS 1\nDATATYPE WORD\nENDBIF\n",
       {"Image x.bif has incorrect file size."}},
      // Sizes beyond 32 bits are refused before anything is allocated.
      {"BIF\nWIDTH 2000000000\nHEIGHT 2000000000\nCHANNELS 3\nDATATYPE SINGLE\nENDBIF\n",
       {"Image x.bif is too large."}},
      // With HEADER the pixels must fit after it: 2 + 8 bytes, 9 there.
      {"BIF\nFILENAME off.raw\nWIDTH 2\nHEIGHT 2\nCHANNELS 1\nDATATYPE WORD\nHEADER 2\nENDBIF\n",
       {"Image x.bif has incorrect file size."}},
  };
  WriteBytes(D.File("off.raw"), std::vector<uint8_t>(9));
  for (const auto& [Text, Want] : Cases) {
    WriteText(D.File("x.bif"), Text);
    const FullLoad L = LoadWholeFile(D.File("x.bif"));
    EXPECT_FALSE(L.R.Valid) << Text;
    EXPECT_EQ(L.Shown, Want) << Text;
    EXPECT_EQ(L.Buffer.size(), 0u) << Text;
    if (Want.size() != 1) {
      EXPECT_EQ(L.R.Width, 0) << Text;
    }
  }
  WriteBytes(D.File("off.raw"), std::vector<uint8_t>(10));
  EXPECT_TRUE(LoadWholeFile(D.File("x.bif")).R.Valid);  // the last case, now with room
}
