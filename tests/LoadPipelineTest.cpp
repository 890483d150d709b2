#include <gtest/gtest.h>

#include "IOGraphics.h"
#include "ImageFixtures.h"
#include "TIFformat.h"

using namespace obra;
using namespace obra::test;

namespace {

std::vector<uint8_t> SmallFits(const std::vector<int16_t>& Samples, int W, int H,
                               const std::vector<std::string>& More = {}) {
  auto Cards = ImageCards(16, W, H);
  Cards.insert(Cards.end(), More.begin(), More.end());
  return FitsFile(Cards, BigEndian(Samples));
}

}  // namespace

TEST(LoadPipeline, ExtensionTestAndMessages) {
  TempDir D;
  ImageRecord R;
  std::vector<uint16_t> B;
  Messages M;
  WriteBytes(D.File("x.txt"), {1, 2, 3});
  LoadImageFile(D.File("x.txt"), R, B, 16, true, false, M.Sink());
  EXPECT_EQ(M.List, std::vector<std::string>{"Files *.TXT are not supported."});
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.FileName, " -");

  M.List.clear();
  WriteBytes(D.File("noext"), {1, 2, 3});
  LoadImageFile(D.File("noext"), R, B, 16, true, true, M.Sink());
  EXPECT_EQ(M.List, std::vector<std::string>{"Files * are not supported."});

  // ".FI" passes the substring test but has no reader: nothing, silently.
  M.List.clear();
  WriteBytes(D.File("x.fi"), SmallFits({1}, 1, 1));
  LoadImageFile(D.File("x.fi"), R, B, 16, true, true, M.Sink());
  EXPECT_TRUE(M.List.empty());
  EXPECT_FALSE(R.Valid);

  // A missing file, or a directory named like an image, is no message either.
  LoadImageFile(D.File("missing.fits"), R, B, 16, true, true, M.Sink());
  std::filesystem::create_directory(D.File("dir.fits"));
  LoadImageFile(D.File("dir.fits"), R, B, 16, true, true, M.Sink());
  EXPECT_TRUE(M.List.empty());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.FileName, " -");
}

TEST(LoadPipeline, ExtensionIsUpperCased) {
  TempDir D;
  WriteBytes(D.File("a.FiTs"), SmallFits({1, 2}, 2, 1));
  ImageRecord R;
  std::vector<uint16_t> B;
  LoadImageFile(D.File("a.FiTs"), R, B, 16, true, true, {});
  EXPECT_TRUE(R.Valid);
  EXPECT_EQ(B, (std::vector<uint16_t>{1, 2}));
}

TEST(LoadPipeline, BadConvertToBitsIsAlwaysShown) {
  TempDir D;
  WriteBytes(D.File("a.fits"), SmallFits({1, 2}, 2, 1));
  ImageRecord R;
  std::vector<uint16_t> B;
  Messages M;
  LoadImageFile(D.File("a.fits"), R, B, 12, true, false, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(M.List, std::vector<std::string>{
                        "Inavalid parameter ConvertToBits in procedure LoadAndTransformImage"});
}

TEST(LoadPipeline, HeaderReadResetsOnlyTwoFieldsForUnknownExtension) {
  TempDir D;
  WriteBytes(D.File("x.xyz"), {0});
  ImageRecord R;
  R.Width = 17;
  R.Valid = true;
  R.HasBZero = true;
  R.ValueOffset = 100;
  R.Wavelength = 171;
  ReadImageHeader(D.File("x.xyz"), R, true, {});
  EXPECT_EQ(R.Width, 17);
  EXPECT_TRUE(R.Valid);
  EXPECT_FALSE(R.HasBZero);
  EXPECT_EQ(R.ValueOffset, 0);
  EXPECT_EQ(R.Wavelength, 171);
  // A missing file changes nothing at all.
  R.HasBZero = true;
  ReadImageHeader(D.File("none.fits"), R, true, {});
  EXPECT_TRUE(R.HasBZero);
}

TEST(LoadPipeline, HeaderReadComputesNoStatistics) {
  TempDir D;
  WriteBytes(D.File("a.fits"), SmallFits({5, 6}, 2, 1));
  ImageRecord R;
  R.MaxValue = 1234;
  ReadImageHeader(D.File("a.fits"), R, false, {});
  EXPECT_TRUE(R.Valid);
  EXPECT_EQ(R.MaxValue, 1234);
  std::vector<uint16_t> B;
  LoadImageFile(D.File("a.fits"), R, B, 16, true, false, {});
  EXPECT_EQ(R.MaxValue, 6);
  EXPECT_EQ(R.MinValue, 5);
}

TEST(LoadPipeline, NonFitsLoadResetsFitsFields) {
  TempDir D;
  WriteBytes(D.File("a.fits"),
             SmallFits({1, 2}, 2, 1,
                       {Card("WAVELNTH", "171"), Card("DATE-OBS", "'2010-05-13T12:34:56'"),
                        Card("TELESCOP", "'ZEL'"), Card("INSTRUME", "'EUV'"), Card("CRPIX1", "5"),
                        Card("CRPIX2", "6"), Card("R_SUN", "7"), Card("CROTA2", "8"),
                        Card("CDELT1", "9"), Card("CDELT2", "10")}));
  const std::vector<uint16_t> Pixels = {10, 20, 30, 40};
  ASSERT_TRUE(WriteTiff16(Pixels.data(), 2, 2, true, D.File("b.tif")));
  ImageRecord R;
  std::vector<uint16_t> B;
  LoadImageFile(D.File("a.fits"), R, B, 16, true, true, {});
  ASSERT_TRUE(R.Valid);
  EXPECT_EQ(R.ValueOffset, 100);
  LoadImageFile(D.File("b.tif"), R, B, 16, true, true, {});
  ASSERT_TRUE(R.Valid);
  EXPECT_EQ(B, Pixels);
  EXPECT_EQ(R.ValueOffset, 0);
  EXPECT_FALSE(R.HasBZero);
  EXPECT_EQ(R.Wavelength, 0);
  EXPECT_EQ(R.DateObs, "");
  EXPECT_EQ(R.Telescope, "");
  EXPECT_EQ(R.Instrument, "");
  EXPECT_DOUBLE_EQ(R.CrPix1, -1.0);
  EXPECT_DOUBLE_EQ(R.CrPix2, -1.0);
  EXPECT_DOUBLE_EQ(R.RSun, -1.0);
  EXPECT_DOUBLE_EQ(R.CRota2, 0.0);
  EXPECT_DOUBLE_EQ(R.CDelt1, 0.0);
  EXPECT_DOUBLE_EQ(R.CDelt2, 0.0);
}

TEST(LoadPipeline, ConvertToBitsZeroKeepsStoredSamples) {
  TempDir D;
  WriteBytes(D.File("a.fits"), SmallFits({-1, 2, 3, 4}, 2, 2));
  ImageRecord R;
  std::vector<uint16_t> B;
  LoadImageFile(D.File("a.fits"), R, B, 0, true, false, {});
  ASSERT_TRUE(R.Valid);
  EXPECT_EQ(R.ResultType, "SMALLINT");
  // Swapped and row-reversed, but no offset.
  EXPECT_EQ(B, (std::vector<uint16_t>{3, 4, 0xFFFF, 2}));
  // Statistics are only for "BYTE" and "WORD" results.
  EXPECT_EQ(R.MaxValue, 0);
}

TEST(LoadPipeline, ConvertToBitsEightKeepsTheHighByte) {
  TempDir D;
  WriteBytes(D.File("a.fits"), SmallFits({-32768, -32768 + 255, -32768 + 256, 32767}, 4, 1,
                                         {Card("BZERO", "32768")}));
  ImageRecord R;
  std::vector<uint16_t> B;
  LoadImageFile(D.File("a.fits"), R, B, 8, true, false, {});
  ASSERT_TRUE(R.Valid);
  EXPECT_EQ(R.ResultType, "BYTE");
  EXPECT_EQ(R.BytesPerPixel, 1);
  ASSERT_EQ(B.size(), 2u);
  const auto* Bytes = reinterpret_cast<const uint8_t*>(B.data());
  EXPECT_EQ(std::vector<uint8_t>(Bytes, Bytes + 4), (std::vector<uint8_t>{0, 0, 1, 255}));
  EXPECT_EQ(R.MaxValue, 255);
}

TEST(LoadPipeline, BufferWithoutAllocation) {
  TempDir D;
  const std::vector<uint16_t> Pixels = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(WriteTiff16(Pixels.data(), 3, 2, true, D.File("a.act")));
  ImageRecord R;
  std::vector<uint16_t> B(6, 9);
  LoadImageFile(D.File("a.act"), R, B, 0, false, false, {});
  ASSERT_TRUE(R.Valid);
  EXPECT_EQ(R.ResultType, "WORD");
  EXPECT_EQ(B, Pixels);
  // A buffer smaller than the image is refused instead of overrun.
  std::vector<uint16_t> Small(5, 9);
  Messages M;
  LoadImageFile(D.File("a.act"), R, Small, 0, false, true, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(Small, std::vector<uint16_t>(5, 9));
  EXPECT_EQ(M.List,
            std::vector<std::string>{"File a.act does not fit the buffer it is loaded into."});
}

TEST(LoadPipeline, LoadAndTransformImageDirect) {
  TempDir D;
  WriteBytes(D.File("a.fits"), SmallFits({7, 8}, 2, 1));
  ImageRecord R;
  ReadImageHeader(D.File("a.fits"), R, false, {});
  ASSERT_TRUE(R.Valid);
  std::vector<uint16_t> B = {1, 2, 3, 4, 5};
  LoadAndTransformImage(R, B, 16, true, {});
  EXPECT_TRUE(R.Valid);
  EXPECT_EQ(B, (std::vector<uint16_t>{7, 8}));

  // A file cut short after its header was read is a fault, not a partial image.
  auto Bytes = SmallFits({7, 8}, 2, 1);
  Bytes.resize(2881);
  WriteBytes(D.File("a.fits"), Bytes);
  Messages M;
  LoadAndTransformImage(R, B, 16, true, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(M.List, std::vector<std::string>{"File a.fits is truncated."});
}
