// FITS header cards, sample conversion, refusals, and astropy as the oracle.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

// The header read with messages shown when Shown is given; a quiet read must not call the sink.
ImageRecord Header(const std::string& File, std::vector<std::string>* Shown = nullptr,
                   ImageRecord R = {}) {
  Messages M;
  ReadImageHeader(File, R, Shown != nullptr, M.Sink());
  if (Shown) *Shown = M.List;
  if (!Shown) {
    EXPECT_TRUE(M.List.empty());
  }
  return R;
}

// The layout a header read describes.
struct Layout {
  int32_t Width, Height, Channels;
  std::string DataType;
  int32_t BytesPerPixel, DataSize, HeaderSize;
  bool SwapBytes, FlipRows, IsColorCube;
};
void ExpectLayout(const ImageRecord& R, const Layout& Want) {
  EXPECT_EQ(R.Width, Want.Width);
  EXPECT_EQ(R.Height, Want.Height);
  EXPECT_EQ(R.Channels, Want.Channels);
  EXPECT_EQ(R.DataType, Want.DataType);
  EXPECT_EQ(R.BytesPerPixel, Want.BytesPerPixel);
  EXPECT_EQ(R.DataSize, Want.DataSize);
  EXPECT_EQ(R.HeaderSize, Want.HeaderSize);
  EXPECT_EQ(R.SwapBytes, Want.SwapBytes);
  EXPECT_EQ(R.FlipRows, Want.FlipRows);
  EXPECT_EQ(R.IsColorCube, Want.IsColorCube);
}

// The metadata a header read takes from the cards.
struct Metadata {
  std::string Telescope, Instrument;
  int32_t Wavelength;
  std::string DateObs;
  double CrPix1, CrPix2, RSun, CDelt1, CDelt2, CRota2, DataMin, DataMax, BZero, BScale;
};
void ExpectMetadata(const ImageRecord& R, const Metadata& Want) {
  EXPECT_EQ(R.Telescope, Want.Telescope);
  EXPECT_EQ(R.Instrument, Want.Instrument);
  EXPECT_EQ(R.Wavelength, Want.Wavelength);
  EXPECT_EQ(R.DateObs, Want.DateObs);
  EXPECT_EQ(R.CrPix1, Want.CrPix1);
  EXPECT_EQ(R.CrPix2, Want.CrPix2);
  EXPECT_EQ(R.RSun, Want.RSun);
  EXPECT_EQ(R.CDelt1, Want.CDelt1);
  EXPECT_EQ(R.CDelt2, Want.CDelt2);
  EXPECT_EQ(R.CRota2, Want.CRota2);
  EXPECT_EQ(R.DataMin, Want.DataMin);
  EXPECT_EQ(R.DataMax, Want.DataMax);
  EXPECT_EQ(R.BZero, Want.BZero);
  EXPECT_EQ(R.BScale, Want.BScale);
}

}  // namespace

TEST(FitsReader, HeaderFieldsAndDefaults) {
  TempDir D;
  WriteBytes(
      D.File("a.fits"),
      FitsFile(ImageCards(16, 5, 3,
                          {Card("TELESCOP", "'SDO/AIA '"), Card("INSTRUME", "'AIA_4 '", "x"),
                           Card("WAVELNTH", "171"), Card("DATE-OBS", "'2010-05-13T12:34:56.78'"),
                           Card("CRPIX1", "512.5"), Card("CRPIX2", "-3.25E1"),
                           Card("R_SUN", "393.7"), Card("CDELT1", "0.6"), Card("CDELT2", "0.61"),
                           Card("CROTA2", "1.5"), Card("DATAMIN", "2"), Card("DATAMAX", "9")}),
               std::vector<uint8_t>(30)));
  ImageRecord Old;
  Old.ValueOffset = 7;
  Old.HasBZero = true;
  std::vector<std::string> Shown;
  ImageRecord R = Header(D.File("a.fits"), &Shown, Old);
  EXPECT_TRUE(R.Valid);
  EXPECT_TRUE(Shown.empty());
  EXPECT_TRUE(R.HasBZero);
  EXPECT_EQ(R.FileName, D.File("a.fits"));
  EXPECT_EQ(R.ValueOffset, 0);
  ExpectLayout(R, {5, 3, 1, "SMALLINT", 2, 30, 2880, true, true, false});
  // The "/" inside the quotes cuts the telescope's value.
  ExpectMetadata(R, {"SDO", "AIA_4", 171, "2010-05-13T12:34:56.78", 512.5, -32.5, 393.7, 0.6, 0.61,
                     1.5, 2.0, 9.0, 0.0, 1.0});
  // A second header without the optional keywords brings back every default;
  // CDELT1 and CDELT2 have none.
  WriteBytes(D.File("b.fits"), FitsFile(ImageCards(16, 5, 3), std::vector<uint8_t>(30)));
  R = Header(D.File("b.fits"), nullptr, R);
  EXPECT_TRUE(R.Valid);
  ExpectMetadata(R, {"", "", 0, "", -1.0, -1.0, -1.0, 0.6, 0.61, 0.0, 1.0, -1.0, 0.0, 1.0});
}

TEST(FitsReader, CardRules) {
  TempDir D;
  const std::vector<std::string> Cards = {
      RawCard("WAVELNTH:304"),             // column 9 is blanked whatever it holds
      RawCard("CRPIX1  = 12.5/ comment"),  // "/" from column 11 on starts a comment
      RawCard("crpix2  = 7"),              // keyword lines ignore case
      Card("R_SUN", "10"),                 // the last of several cards wins
      Card("R_SUN", "20"),
      Card("INSTRUME", "'X'"),                   // too short for a text value: cleared
      RawCard("DATE-OBS=/1998-05-19T22:21:43"),  // a slash before column 11 is no comment
      Card("NAXIS12", "99"),                     // not taken for NAXIS or NAXIS1
      Card("CDELT1", "1.5D0"),  // a Fortran exponent is a fault: the digits make one number
      Card("CDELT2", "'2.5'"),  // quotes are blanked before a number is read
  };
  WriteBytes(D.File("c.fit"), FitsFile(ImageCards(16, 2, 2, Cards), std::vector<uint8_t>(8)));
  ImageRecord Old;
  Old.Instrument = "old";
  const ImageRecord R = Header(D.File("c.fit"), nullptr, Old);
  EXPECT_TRUE(R.Valid);
  ExpectMetadata(R, {"", "", 304, "/1998-05-19T22:21:43", 12.5, 7.0, 20.0, 15.0, 2.5, 0.0, 1.0,
                     -1.0, 0.0, 1.0});
  EXPECT_EQ(R.Width, 2);
  EXPECT_EQ(R.Channels, 1);
}

TEST(FitsReader, HeaderEndAndSize) {
  TempDir D;
  // 5 image cards + 30 or 31 more + END: one block or two.
  for (const auto& [Extra, Expected] : {std::pair{30, 2880}, std::pair{31, 5760}}) {
    std::vector<std::string> Cards(Extra, Card("HISTORY", "x"));
    WriteBytes(D.File("h.fits"),
               FitsFile(ImageCards(16, 2, 2, Cards), std::vector<uint8_t>(8), true, false));
    std::vector<std::string> Shown;
    const ImageRecord R = Header(D.File("h.fits"), &Shown);
    EXPECT_TRUE(R.Valid) << Extra;
    EXPECT_TRUE(Shown.empty()) << Extra;
    EXPECT_EQ(R.HeaderSize, Expected);
  }
  // Cards after END are not read.
  WriteBytes(D.File("e.fits"),
             FitsFile(ImageCards(16, 2, 2, {RawCard("END"), Card("WAVELNTH", "1")}),
                      std::vector<uint8_t>(8), false));
  EXPECT_EQ(Header(D.File("e.fits")).Wavelength, 0);
  // 36 cards without END and nothing after them: read to the end of the file,
  // then refused for the missing data; a file ending inside a card is truncated.
  std::vector<std::string> Cards = ImageCards(16, 1, 1, {Card("WAVELNTH", "94")});
  Cards.resize(36, Card("HISTORY", "x"));
  std::string H;
  for (auto& C : Cards) H += C;
  WriteText(D.File("n.fits"), H);
  std::vector<std::string> Shown;
  ImageRecord R = Header(D.File("n.fits"), &Shown);
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.Wavelength, 94);
  EXPECT_EQ(R.HeaderSize, 2880);
  EXPECT_EQ(Shown, std::vector<std::string>{"FITS file n.fits has incorrect file size!"});
  WriteText(D.File("t.fits"), H.substr(0, H.size() - 3));
  R.Valid = true;
  EXPECT_FALSE(Header(D.File("t.fits"), &Shown, R).Valid);
  EXPECT_EQ(Shown, std::vector<std::string>{"FITS file t.fits is truncated."});
}

// Each case: header cards, stored samples, and the working samples after the
// load (rows reversed, BZERO added and rounded half to even, clipped to 16
// bits; NaN is no data, infinities saturate).
TEST(FitsReader, SamplesAreConvertedToWords) {
  const float Inf = std::numeric_limits<float>::infinity();
  const float NaN = std::numeric_limits<float>::quiet_NaN();
  const std::string Zel = Card("TELESCOP", "'ZEL/AIA'");
  struct Case {
    std::vector<std::string> Cards;
    std::vector<uint8_t> Data;
    std::vector<uint16_t> Want;
    const char* DataType;
    int32_t ValueOffset;
    double BZero;
  } Cases[] = {
      // clang-format off
      {ImageCards(16, 4, 1), BigEndian<int16_t>({-5, 0, 1, 32767}), {0, 0, 1, 32767},
       "SMALLINT", 0, 0},
      {ImageCards(16, 2, 1, {Card("BZERO", "2.5")}), BigEndian<int16_t>({-2, 10}), {0, 12},
       "SMALLINT", 0, 2.5},
      {ImageCards(16, 2, 3), BigEndian<int16_t>({1, 2, 3, 4, 5, 6}), {5, 6, 3, 4, 1, 2},
       "SMALLINT", 0, 0},
      {ImageCards(16, 1, 4), BigEndian<int16_t>({1, 2, 3, 4}), {4, 3, 2, 1}, "SMALLINT", 0, 0},
      {ImageCards(8, 3, 2), {0, 1, 2, 128, 254, 255}, {128, 254, 255, 0, 1, 2}, "BYTE", 0, 0},
      {ImageCards(32, 6, 1, {Card("BZERO", "10")}),
       BigEndian<int32_t>({-11, -10, 0, 65525, 65526, 2000000000}),
       {0, 0, 10, 65535, 65535, 65535}, "INTEGER", 0, 10},
      {ImageCards(-32, 4, 2), BigEndian<float>({0.5f, 1.5f, 2.5f, -0.7f, NaN, Inf, -Inf, 65534.6f}),
       {0, 65535, 0, 65535, 0, 2, 2, 0}, "SINGLE", 0, 0},
      // ZEL: BZERO 100 and BSCALE 1 whatever the header says, and an offset of 100.
      {ImageCards(16, 3, 1, {Card("BZERO", "32768"), Card("BSCALE", "2"), Zel}),
       BigEndian<int16_t>({-200, -100, 500}), {0, 0, 600}, "SMALLINT", 100, 100},
      {ImageCards(16, 3, 1, {Card("BZERO", "0"), Card("TELESCOP", "'PROBA2'")}),
       BigEndian<int16_t>({-32768, 0, 32767}), {0, 32768, 65535}, "SMALLINT", 0, 32768},
      // The telescope test is case-sensitive; others keep the header's BZERO.
      {ImageCards(16, 3, 1, {Card("BZERO", "1000"), Card("TELESCOP", "'zel'")}),
       BigEndian<int16_t>({-1001, -1000, 1}), {0, 0, 1001}, "SMALLINT", 0, 1000},
      // Colour planes red, green, blue are interleaved.
      {{Card("SIMPLE", "T"), Card("BITPIX", "16"), Card("NAXIS", "3"), Card("NAXIS1", "2"),
        Card("NAXIS2", "1"), Card("NAXIS3", "3"), Card("BZERO", "32768")},
       BigEndian<int16_t>({-32767, -32766, -32765, -32764, -32763, -32762}), {1, 3, 5, 2, 4, 6},
       "SMALLINT", 0, 32768},
      // clang-format on
  };
  TempDir D;
  FullLoad L;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Cards.back());
    // One record for every load: nothing of the image before may survive.
    Messages M;
    WriteBytes(D.File("x.fits"), FitsFile(C.Cards, C.Data));
    LoadImageFile(D.File("x.fits"), L.R, L.Buffer, 16, true, true, M.Sink());
    ASSERT_TRUE(L.R.Valid);
    ASSERT_TRUE(M.List.empty());
    EXPECT_EQ(L.Buffer, C.Want);
    EXPECT_EQ(L.R.DataType, C.DataType);
    EXPECT_EQ(L.R.ResultType, "WORD");
    EXPECT_EQ(L.R.BytesPerPixel, 2);
    EXPECT_EQ(L.R.ValueOffset, C.ValueOffset);
    EXPECT_EQ(L.R.BZero, C.BZero);
    EXPECT_EQ(L.R.BScale, 1.0);
    EXPECT_EQ(L.R.IsColorCube, L.R.Channels == 3);
    EXPECT_EQ(L.R.MaxValue, *std::max_element(C.Want.begin(), C.Want.end()));
  }
}

TEST(FitsReader, Refusals) {
  TempDir D;
  auto Refused = [&](const std::vector<std::string>& Cards, const std::vector<uint8_t>& Data,
                     const std::vector<std::string>& Want, ImageRecord R = {}) {
    WriteBytes(D.File("bad.fits"), FitsFile(Cards, Data));
    std::vector<uint16_t> B;
    Messages M;
    LoadImageFile(D.File("bad.fits"), R, B, 16, true, true, M.Sink());
    EXPECT_FALSE(R.Valid);
    EXPECT_EQ(M.List, Want);
    EXPECT_EQ(B.size(), 0u);
    return R;
  };
  const std::string NotImage = "FITS file bad.fits is not a correct image file!";
  const std::string Format = "FITS file bad.fits has unsupported pixel format!";
  const std::string Size = "FITS file bad.fits has incorrect file size!";
  // The checks are independent and reported in order.
  std::vector<std::string> Cards = ImageCards(24, 100, 100);
  Cards[2] = Card("NAXIS", "1");
  Refused(Cards, {}, {NotImage, Format, Size});
  Cards = ImageCards(16, 2, 1, {Card("NAXIS3", "2")});
  Cards[2] = Card("NAXIS", "3");
  EXPECT_FALSE(Refused(Cards, std::vector<uint8_t>(8), {NotImage}).IsColorCube);
  for (int Bitpix : {12, -8, -16, 24, 0, -128}) {
    ImageRecord Old;
    Old.DataType = "WORD";  // an earlier image's type must not be taken over
    Refused(ImageCards(Bitpix, 2, 2), std::vector<uint8_t>(64), {Format}, Old);
  }
  // A missing axis length on a record that held an image before.
  ImageRecord Old;
  Old.Width = 2, Old.Valid = true;
  Cards = ImageCards(16, 2, 2);
  Cards.erase(Cards.begin() + 3);
  EXPECT_EQ(Refused(Cards, std::vector<uint8_t>(8), {NotImage}, Old).Width, 0);
  // Sizes beyond 32 bits are refused before anything is allocated.
  Refused(ImageCards(16, 2000000000, 2000000000), {}, {"FITS file bad.fits is too large."});
  Refused(ImageCards(16, 30000, 30000), {}, {Size});
  // Without show messages nothing is shown and Valid is still cleared.
  Old.Valid = true;
  EXPECT_FALSE(Header(D.File("bad.fits"), nullptr, Old).Valid);
}

// An independent writer: astropy's files load sample for sample as astropy
// reads them, after the row reversal.
TEST(FitsReader, MatchesAstropy) {
  if (AstropyPython().empty()) GTEST_SKIP() << "python3 with astropy is not available";
  TempDir D;
  for (const char* Kind : {"uint16", "int16", "int32", "float32", "cube"}) {
    SCOPED_TRACE(Kind);
    const std::string F = D.File(std::string(Kind) + ".fits"), Raw = D.File("oracle.raw");
    ASSERT_TRUE(RunOracle(std::string("write ") + Kind + " " + F));
    ASSERT_TRUE(RunOracle("read " + F + " " + Raw));
    const FullLoad L = LoadWholeFile(F);
    ASSERT_TRUE(L.R.Valid) << (L.Shown.empty() ? "" : L.Shown[0]);
    EXPECT_EQ(L.R.Width, 7);
    EXPECT_EQ(L.R.Height, 5);
    EXPECT_EQ(L.R.Wavelength, 211);
    EXPECT_EQ(L.R.DateObs, "2011-03-07T18:05:09.34");
    EXPECT_EQ(L.R.Instrument, "AIA_3");
    EXPECT_EQ(L.R.CrPix2, 2.25);
    EXPECT_EQ(L.R.RSun, 15.0);
    EXPECT_EQ(L.Buffer, Samples16(ReadBytes(Raw)));
  }
}
