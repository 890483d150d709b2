#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "IOGraphics.h"
#include "ImageFixtures.h"

using namespace obra;
using namespace obra::test;

namespace {

struct Loaded {
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  Messages M;
};

// Writes the file and loads it as the window's open does.
void Load(const std::string& Path, const std::vector<uint8_t>& Bytes, Loaded& L) {
  WriteBytes(Path, Bytes);
  LoadImageFile(Path, L.R, L.Buffer, 16, true, true, L.M.Sink());
}

std::vector<std::string> With(std::vector<std::string> Cards,
                              const std::vector<std::string>& More) {
  Cards.insert(Cards.end(), More.begin(), More.end());
  return Cards;
}

}  // namespace

TEST(FitsReader, HeaderFieldsAndDefaults) {
  TempDir D;
  auto Cards = With(ImageCards(16, 5, 3),
                    {Card("TELESCOP", "'SDO/AIA '"), Card("INSTRUME", "'AIA_4   '", "instrument"),
                     Card("WAVELNTH", "171"), Card("DATE-OBS", "'2010-05-13T12:34:56.78'"),
                     Card("CRPIX1", "512.5"), Card("CRPIX2", "-3.25E1"), Card("R_SUN", "393.7"),
                     Card("CDELT1", "0.6"), Card("CDELT2", "0.61"), Card("CROTA2", "1.5"),
                     Card("DATAMIN", "2"), Card("DATAMAX", "9")});
  WriteBytes(D.File("a.fits"), FitsFile(Cards, std::vector<uint8_t>(30)));
  ImageRecord R;
  R.ValueOffset = 7;
  R.HasBZero = true;
  Messages M;
  ReadImageHeader(D.File("a.fits"), R, true, M.Sink());
  EXPECT_TRUE(M.List.empty());
  EXPECT_TRUE(R.Valid);
  EXPECT_EQ(R.FileName, D.File("a.fits"));
  EXPECT_EQ(R.Width, 5);
  EXPECT_EQ(R.Height, 3);
  EXPECT_EQ(R.Channels, 1);
  EXPECT_EQ(R.DataType, "SMALLINT");
  EXPECT_EQ(R.BytesPerPixel, 2);
  EXPECT_EQ(R.DataSize, 30);
  EXPECT_EQ(R.HeaderSize, 2880);
  EXPECT_TRUE(R.SwapBytes);
  EXPECT_TRUE(R.FlipRows);
  EXPECT_TRUE(R.HasBZero);
  EXPECT_FALSE(R.IsColorCube);
  EXPECT_EQ(R.ValueOffset, 0);
  EXPECT_EQ(R.Telescope, "SDO");  // the "/" inside the quotes cuts the value
  EXPECT_EQ(R.Instrument, "AIA_4");
  EXPECT_EQ(R.Wavelength, 171);
  EXPECT_EQ(R.DateObs, "2010-05-13T12:34:56.78");
  EXPECT_DOUBLE_EQ(R.CrPix1, 512.5);
  EXPECT_DOUBLE_EQ(R.CrPix2, -32.5);
  EXPECT_DOUBLE_EQ(R.RSun, 393.7);
  EXPECT_DOUBLE_EQ(R.CDelt1, 0.6);
  EXPECT_DOUBLE_EQ(R.CDelt2, 0.61);
  EXPECT_DOUBLE_EQ(R.CRota2, 1.5);
  EXPECT_DOUBLE_EQ(R.DataMin, 2.0);
  EXPECT_DOUBLE_EQ(R.DataMax, 9.0);
  EXPECT_DOUBLE_EQ(R.BZero, 0.0);
  EXPECT_DOUBLE_EQ(R.BScale, 1.0);

  // A second header without the optional keywords brings back every default.
  WriteBytes(D.File("b.fits"), FitsFile(ImageCards(16, 5, 3), std::vector<uint8_t>(30)));
  ReadImageHeader(D.File("b.fits"), R, true, M.Sink());
  EXPECT_TRUE(R.Valid);
  EXPECT_DOUBLE_EQ(R.CrPix1, -1.0);
  EXPECT_DOUBLE_EQ(R.CrPix2, -1.0);
  EXPECT_DOUBLE_EQ(R.RSun, -1.0);
  EXPECT_DOUBLE_EQ(R.CRota2, 0.0);
  EXPECT_DOUBLE_EQ(R.DataMin, 1.0);
  EXPECT_DOUBLE_EQ(R.DataMax, -1.0);
  EXPECT_EQ(R.Wavelength, 0);
  EXPECT_EQ(R.DateObs, "");
  EXPECT_EQ(R.Telescope, "");
  EXPECT_EQ(R.Instrument, "");
}

TEST(FitsReader, CardRules) {
  TempDir D;
  auto Cards =
      With(ImageCards(16, 2, 2), {
                                     // Column 9 is blanked whatever it holds.
                                     RawCard("WAVELNTH:304"),
                                     // A "/" from column 11 on starts a comment, even unquoted.
                                     RawCard("CRPIX1  = 12.5/ comment"),
                                     // Lower-case keywords match too: keyword lines ignore case.
                                     RawCard("crpix2  = 7"),
                                     // The last of several cards wins.
                                     Card("R_SUN", "10"),
                                     Card("R_SUN", "20"),
                                     // One character is too short for a text value: cleared.
                                     Card("INSTRUME", "'X'"),
                                     // A slash before column 11 is not a comment.
                                     RawCard("DATE-OBS=/1998-05-19T22:21:43"),
                                     // Not taken for NAXIS or for NAXIS1.
                                     Card("NAXIS12", "99"),
                                 });
  WriteBytes(D.File("c.fit"), FitsFile(Cards, std::vector<uint8_t>(8)));
  ImageRecord R;
  R.Instrument = "old";
  ReadImageHeader(D.File("c.fit"), R, false, {});
  EXPECT_TRUE(R.Valid);
  EXPECT_EQ(R.Wavelength, 304);
  EXPECT_DOUBLE_EQ(R.CrPix1, 12.5);
  EXPECT_DOUBLE_EQ(R.CrPix2, 7.0);
  EXPECT_DOUBLE_EQ(R.RSun, 20.0);
  EXPECT_EQ(R.Instrument, "");
  EXPECT_EQ(R.DateObs, "/1998-05-19T22:21:43");
  EXPECT_EQ(R.Width, 2);
  EXPECT_EQ(R.Channels, 1);
}

TEST(FitsReader, KeywordFaultKeepsDigits) {
  TempDir D;
  // A Fortran D exponent is a fault: the digits read make one whole number.
  auto Cards = With(ImageCards(16, 2, 2), {Card("CRPIX1", "1.5D0"), Card("WAVELNTH", "'171'")});
  WriteBytes(D.File("k.fits"), FitsFile(Cards, std::vector<uint8_t>(8)));
  ImageRecord R;
  ReadImageHeader(D.File("k.fits"), R, false, {});
  EXPECT_TRUE(R.Valid);
  EXPECT_DOUBLE_EQ(R.CrPix1, 15.0);
  EXPECT_EQ(R.Wavelength, 171);  // the quotes are blanked before the value is read
}

TEST(FitsReader, HeaderSizeFollowsCardCount) {
  TempDir D;
  for (const auto& [Extra, Expected] : {std::pair{30, 2880}, std::pair{31, 5760}}) {
    // 5 image cards + Extra + END = 36 or 37 cards.
    auto Cards = ImageCards(16, 2, 2);
    for (int I = 0; I < Extra; ++I) Cards.push_back(Card("HISTORY", "x"));
    const std::string F = D.File("h" + std::to_string(Extra) + ".fits");
    WriteBytes(F, FitsFile(Cards, std::vector<uint8_t>(8), true, false));
    ImageRecord R;
    Messages M;
    ReadImageHeader(F, R, true, M.Sink());
    EXPECT_TRUE(R.Valid) << Extra;
    EXPECT_EQ(R.HeaderSize, Expected);
    EXPECT_TRUE(M.List.empty());
  }
}

TEST(FitsReader, CardsAfterEndAreNotRead) {
  TempDir D;
  auto Cards = ImageCards(16, 2, 2);
  Cards.push_back(RawCard("END"));
  Cards.push_back(Card("WAVELNTH", "193"));
  WriteBytes(D.File("e.fits"), FitsFile(Cards, std::vector<uint8_t>(8), false));
  ImageRecord R;
  ReadImageHeader(D.File("e.fits"), R, false, {});
  EXPECT_TRUE(R.Valid);
  EXPECT_EQ(R.Wavelength, 0);
}

TEST(FitsReader, FileWithoutEndIsReadToItsEnd) {
  TempDir D;
  auto Cards = With(ImageCards(16, 1, 1), {Card("WAVELNTH", "94")});
  // 36 cards, no END, nothing after them: read cleanly to the end of the file.
  while (Cards.size() < 36) Cards.push_back(Card("HISTORY", "x"));
  std::string H;
  for (auto& C : Cards) H += C;
  WriteBytes(D.File("n.fits"), std::vector<uint8_t>(H.begin(), H.end()));
  ImageRecord R;
  Messages M;
  ReadImageHeader(D.File("n.fits"), R, true, M.Sink());
  EXPECT_EQ(R.Wavelength, 94);
  EXPECT_EQ(R.HeaderSize, 2880);
  EXPECT_FALSE(R.Valid);  // the 2 data bytes are missing
  EXPECT_EQ(M.List, std::vector<std::string>{"FITS file n.fits has incorrect file size!"});

  // A file ending inside a card is truncated.
  H.resize(H.size() - 3);
  WriteBytes(D.File("t.fits"), std::vector<uint8_t>(H.begin(), H.end()));
  M.List.clear();
  R.Valid = true;
  ReadImageHeader(D.File("t.fits"), R, true, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(M.List, std::vector<std::string>{"FITS file t.fits is truncated."});
}

TEST(FitsReader, TelescopeRules) {
  TempDir D;
  auto Zel = With(ImageCards(16, 3, 1),
                  {Card("BZERO", "32768"), Card("BSCALE", "2"), Card("TELESCOP", "'ZEL/AIA'")});
  Loaded L;
  Load(D.File("z.fits"), FitsFile(Zel, BigEndian<int16_t>({-200, -100, 500})), L);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Telescope, "ZEL");
  EXPECT_DOUBLE_EQ(L.R.BZero, 100.0);
  EXPECT_DOUBLE_EQ(L.R.BScale, 1.0);
  EXPECT_EQ(L.R.ValueOffset, 100);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 0, 600}));

  auto Proba = With(ImageCards(16, 3, 1), {Card("BZERO", "0"), Card("TELESCOP", "'PROBA2'")});
  Load(D.File("p.fits"), FitsFile(Proba, BigEndian<int16_t>({-32768, 0, 32767})), L);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_DOUBLE_EQ(L.R.BZero, 32768.0);
  EXPECT_EQ(L.R.ValueOffset, 0);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 32768, 65535}));

  // The substring test is case-sensitive, and other telescopes keep the
  // header's BZERO; the ValueOffset of the ZEL image before does not survive.
  auto Other = With(ImageCards(16, 3, 1), {Card("BZERO", "1000"), Card("TELESCOP", "'zel'")});
  Load(D.File("o.fits"), FitsFile(Other, BigEndian<int16_t>({-1001, -1000, 1})), L);
  Load(D.File("z.fits"), FitsFile(Zel, BigEndian<int16_t>({1, 2, 3})), L);
  EXPECT_EQ(L.R.ValueOffset, 100);
  Load(D.File("o.fits"), FitsFile(Other, BigEndian<int16_t>({-1001, -1000, 1})), L);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.ValueOffset, 0);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 0, 1001}));
  EXPECT_TRUE(L.M.List.empty());
}

TEST(FitsReader, SignedSamplesWithoutBZeroAreClippedAtZero) {
  TempDir D;
  Loaded L;
  Load(D.File("s.fits"), FitsFile(ImageCards(16, 4, 1), BigEndian<int16_t>({-5, 0, 1, 32767})), L);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.ResultType, "WORD");
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 0, 1, 32767}));
  // BZERO is rounded half to even before it is added.
  auto Cards = With(ImageCards(16, 2, 1), {Card("BZERO", "2.5")});
  Load(D.File("r.fits"), FitsFile(Cards, BigEndian<int16_t>({-2, 10})), L);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 12}));
}

TEST(FitsReader, RowsAreReversedAndOddMiddleRowStays) {
  TempDir D;
  Loaded L;
  Load(D.File("odd.fits"), FitsFile(ImageCards(16, 2, 3), BigEndian<int16_t>({1, 2, 3, 4, 5, 6})),
       L);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{5, 6, 3, 4, 1, 2}));
  Load(D.File("even.fits"), FitsFile(ImageCards(16, 1, 4), BigEndian<int16_t>({1, 2, 3, 4})), L);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{4, 3, 2, 1}));
}

TEST(FitsReader, EightBitSamplesAreWidenedWithoutScaling) {
  TempDir D;
  Loaded L;
  Load(D.File("b.fits"), FitsFile(ImageCards(8, 3, 2), {0, 1, 2, 128, 254, 255}), L);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.DataType, "BYTE");
  EXPECT_EQ(L.R.BytesPerPixel, 2);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{128, 254, 255, 0, 1, 2}));
}

TEST(FitsReader, FourByteSamplesAreConvertedToWords) {
  TempDir D;
  Loaded L;
  auto Cards = With(ImageCards(32, 6, 1), {Card("BZERO", "10")});
  Load(D.File("i.fits"),
       FitsFile(Cards, BigEndian<int32_t>({-11, -10, 0, 65525, 65526, 2000000000})), L);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.DataType, "INTEGER");
  EXPECT_EQ(L.R.ResultType, "WORD");
  EXPECT_EQ(L.R.BytesPerPixel, 2);
  EXPECT_EQ(L.R.DataSize, 24);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 0, 10, 65535, 65535, 65535}));

  const float Inf = std::numeric_limits<float>::infinity();
  const float NaN = std::numeric_limits<float>::quiet_NaN();
  Load(D.File("f.fits"),
       FitsFile(ImageCards(-32, 4, 2),
                BigEndian<float>({0.5f, 1.5f, 2.5f, -0.7f, NaN, Inf, -Inf, 65534.6f})),
       L);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.DataType, "SINGLE");
  EXPECT_EQ(L.Buffer.size(), 8u);
  // Rows reversed; half to even; NaN is no data; infinities saturate.
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 65535, 0, 65535, 0, 2, 2, 0}));
  EXPECT_EQ(L.R.MaxValue, 65535);
}

TEST(FitsReader, ColourCube) {
  TempDir D;
  auto Cards = ImageCards(16, 2, 1);
  Cards[2] = Card("NAXIS", "3");
  Cards.push_back(Card("NAXIS3", "3"));
  Cards.push_back(Card("BZERO", "32768"));
  // Planes red, green, blue of a 2 x 1 image.
  Loaded L;
  Load(D.File("rgb.fits"),
       FitsFile(Cards, BigEndian<int16_t>({-32768 + 1, -32768 + 2, -32768 + 3, -32768 + 4,
                                           -32768 + 5, -32768 + 6})),
       L);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Channels, 3);
  EXPECT_TRUE(L.R.IsColorCube);
  EXPECT_EQ(L.R.DataSize, 12);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{1, 3, 5, 2, 4, 6}));

  Cards[5] = Card("NAXIS3", "2");
  Load(D.File("two.fits"), FitsFile(Cards, std::vector<uint8_t>(8)), L);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_FALSE(L.R.IsColorCube);
  EXPECT_EQ(L.M.List.back(), "FITS file two.fits is not a correct image file!");
}

TEST(FitsReader, ChecksAreIndependentAndOrdered) {
  TempDir D;
  auto Cards = ImageCards(64, 100, 100);
  Cards[2] = Card("NAXIS", "1");
  WriteBytes(D.File("bad.fits"), FitsFile(Cards, {}));
  ImageRecord R;
  Messages M;
  ReadImageHeader(D.File("bad.fits"), R, true, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(R.DataType, "COMP");
  EXPECT_EQ(M.List, (std::vector<std::string>{"FITS file bad.fits is not a correct image file!",
                                              "FITS file bad.fits has unsupported pixel format!",
                                              "FITS file bad.fits has incorrect file size!"}));
  // Without show messages nothing is shown and Valid is still cleared.
  M.List.clear();
  ReadImageHeader(D.File("bad.fits"), R, false, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_TRUE(M.List.empty());
}

TEST(FitsReader, OnlyStandardBitpixValuesAreAccepted) {
  TempDir D;
  for (int Bitpix : {12, -8, -16, 24, 0, -64}) {
    SCOPED_TRACE(Bitpix);
    const std::string F = D.File("x.fits");
    WriteBytes(F, FitsFile(ImageCards(Bitpix, 2, 2), std::vector<uint8_t>(64)));
    ImageRecord R;
    R.DataType = "WORD";  // an earlier image's type must not be taken over
    Messages M;
    std::vector<uint16_t> B;
    LoadImageFile(F, R, B, 16, true, true, M.Sink());
    EXPECT_FALSE(R.Valid);
    EXPECT_EQ(M.List, std::vector<std::string>{"FITS file x.fits has unsupported pixel format!"});
  }
}

TEST(FitsReader, MissingAxisLengthIsRefusedOnReusedRecord) {
  TempDir D;
  Loaded L;
  Load(D.File("ok.fits"), FitsFile(ImageCards(16, 2, 2), std::vector<uint8_t>(8)), L);
  ASSERT_TRUE(L.R.Valid);
  auto Cards = ImageCards(16, 2, 2);
  Cards.erase(Cards.begin() + 3);  // NAXIS1
  Load(D.File("nowidth.fits"), FitsFile(Cards, std::vector<uint8_t>(8)), L);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.R.Width, 0);
  EXPECT_EQ(L.M.List,
            std::vector<std::string>{"FITS file nowidth.fits is not a correct image file!"});
}

TEST(FitsReader, HugeSizesAreRefusedBeforeAllocating) {
  TempDir D;
  Loaded L;
  Load(D.File("huge.fits"), FitsFile(ImageCards(16, 2000000000, 2000000000), {}), L);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.M.List, std::vector<std::string>{"FITS file huge.fits is too large."});
  EXPECT_TRUE(L.Buffer.empty());
  L.M.List.clear();
  Load(D.File("big.fits"), FitsFile(ImageCards(16, 30000, 30000), {}), L);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.M.List, std::vector<std::string>{"FITS file big.fits has incorrect file size!"});
  EXPECT_TRUE(L.Buffer.empty());
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
    ImageRecord R;
    std::vector<uint16_t> B;
    Messages M;
    LoadImageFile(F, R, B, 16, true, true, M.Sink());
    ASSERT_TRUE(R.Valid) << (M.List.empty() ? "" : M.List[0]);
    EXPECT_EQ(R.Width, 7);
    EXPECT_EQ(R.Height, 5);
    EXPECT_EQ(R.Wavelength, 211);
    EXPECT_EQ(R.DateObs, "2011-03-07T18:05:09.34");
    EXPECT_EQ(R.Instrument, "AIA_3");
    EXPECT_DOUBLE_EQ(R.CrPix2, 2.25);
    EXPECT_DOUBLE_EQ(R.RSun, 15.0);
    EXPECT_EQ(B, Samples16(ReadBytes(Raw)));
  }
}

TEST(FitsReader, SharedSolarImages) {
  struct Expect {
    const char* Name;
    int32_t Wavelength;
    const char* DateObs;
    const char* Telescope;
  };
  for (const Expect& E :
       {Expect{"aia_193_2013-06-24T17-31-30_1024.fits", 193, "2013-06-24T17:31:30.84", "SDO"},
        // TRACE has WAVE_LEN and DATE_OBS, which are not our keywords.
        Expect{"trace_171_1998-05-19T22-21-43.fits", 0, "", "TRACE"}}) {
    SCOPED_TRACE(E.Name);
    const std::string F = SharedData(E.Name);
    if (F.empty()) GTEST_SKIP() << "shared data absent";
    ImageRecord R;
    std::vector<uint16_t> B;
    Messages M;
    LoadImageFile(F, R, B, 16, true, true, M.Sink());
    ASSERT_TRUE(R.Valid);
    EXPECT_TRUE(M.List.empty());
    EXPECT_EQ(R.Width, 1024);
    EXPECT_EQ(R.Height, 1024);
    EXPECT_EQ(R.Wavelength, E.Wavelength);
    EXPECT_EQ(R.DateObs, E.DateObs);
    EXPECT_EQ(R.Telescope, E.Telescope);
    EXPECT_EQ(R.ResultType, "WORD");
    ASSERT_EQ(B.size(), 1024u * 1024u);
    if (AstropyPython().empty()) continue;
    TempDir D;
    ASSERT_TRUE(RunOracle("read " + F + " " + D.File("o.raw")));
    EXPECT_EQ(B, Samples16(ReadBytes(D.File("o.raw"))));
  }
}
