// Helioprojective coordinates of the readout, `obra-cli coords` against
// astropy's WCS on headers built in code, the radius sources, and the header
// cards the FITS reader stores with `obra-cli header`.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "FitsHeader.h"
#include "PngWriter.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

constexpr int W = 64, H = 48;
constexpr double Tolerance = 0.01;  // arcsec

// A 16-bit FITS image W x H with the given extra cards.
void WriteHeaderFile(const std::string& File, const std::vector<std::string>& More) {
  WriteBytes(File, FitsFile(ImageCards(16, W, H, More), std::vector<uint8_t>(W * H * 2, 0)));
}

// A member of obra-cli's JSON output: its number, or NaN for null or absence.
double JsonMember(const std::string& Json, const std::string& Key) {
  const size_t At = Json.find("\"" + Key + "\":");
  if (At == std::string::npos) return NAN;
  const char* Begin = Json.c_str() + At + Key.size() + 3;
  char* End = nullptr;
  const double V = std::strtod(Begin, &End);
  return End == Begin ? NAN : V;
}

struct Point {
  double X, Y;
};
const std::vector<Point> Points = {{0, 0},     {W - 1, H - 1}, {W - 1, 0},
                                   {0, H - 1}, {17, 29},       {10.5, 3.25}};

class SkyCoordinates : public ::testing::Test {
 protected:
  // Compares obra-cli coords with astropy at every point of Points.
  void ExpectAstropyAgrees(const std::vector<std::string>& Cards) {
    const std::string File = Dir.File("sky.fits");
    WriteHeaderFile(File, Cards);
    if (AstropyPython().empty()) GTEST_SKIP() << "astropy not available";
    std::string Args;
    for (const Point& P : Points) Args += " " + std::to_string(P.X) + "," + std::to_string(P.Y);
    const std::string Out = Dir.File("oracle.txt");
    ASSERT_EQ(
        std::system((AstropyPython() + " " OBRA_SOURCE_DIR "/tests/tools/wcs_oracle.py coords " +
                     File + Args + " >" + Out)
                        .c_str()),
        0);
    std::istringstream Oracle(ReadText(Out));
    for (const Point& P : Points) {
      double Tx = NAN, Ty = NAN;
      Oracle >> Tx >> Ty;
      const CliRun Run =
          RunCli("coords " + File + " " + std::to_string(P.X) + " " + std::to_string(P.Y), Dir);
      ASSERT_EQ(Run.Status, 0) << Run.Err;
      EXPECT_NEAR(JsonMember(Run.Out, "Tx"), Tx, Tolerance) << P.X << "," << P.Y;
      EXPECT_NEAR(JsonMember(Run.Out, "Ty"), Ty, Tolerance) << P.X << "," << P.Y;
    }
  }

  TempDir Dir;
};

std::vector<std::string> TanCards(const std::string& Crota2) {
  return {Card("CTYPE1", "'HPLN-TAN'"), Card("CTYPE2", "'HPLT-TAN'"), Card("CUNIT1", "'arcsec'"),
          Card("CUNIT2", "'arcsec'"),   Card("CDELT1", "0.6"),        Card("CDELT2", "0.6"),
          Card("CRPIX1", "32.5"),       Card("CRPIX2", "24.5"),       Card("CRVAL1", "-350.25"),
          Card("CRVAL2", "120.5"),      Card("CROTA2", Crota2),       Card("RSUN_OBS", "975.3")};
}

}  // namespace

TEST_F(SkyCoordinates, GnomonicAxesAgreeWithAstropyAtEveryRotation) {
  for (const char* Rotation : {"0.0", "0.02", "180.0"}) {
    SCOPED_TRACE(Rotation);
    ExpectAstropyAgrees(TanCards(Rotation));
  }
}

TEST_F(SkyCoordinates, PcMatrixWinsOverCrota2) {
  std::vector<std::string> Cards = TanCards("45.0");
  for (auto [Key, Value] : {std::pair{"PC1_1", "0.9998"},
                            {"PC1_2", "-0.0175"},
                            {"PC2_1", "0.0171"},
                            {"PC2_2", "0.9997"}})
    Cards.push_back(Card(Key, Value));
  Cards.push_back(Card("CDELT2", "0.61"));
  ExpectAstropyAgrees(Cards);
}

TEST_F(SkyCoordinates, FourDegreeFieldIsProjected) {
  // 3.84 x 3.84 degrees in degrees per pixel: a linear reading is off by
  // arcseconds at the corners, so only the projection agrees.
  ExpectAstropyAgrees({Card("CTYPE1", "'HPLN-TAN'"), Card("CTYPE2", "'HPLT-TAN'"),
                       Card("CUNIT1", "'deg'"), Card("CUNIT2", "'deg'"), Card("CDELT1", "0.06"),
                       Card("CDELT2", "0.08"), Card("CRPIX1", "20.5"), Card("CRPIX2", "30.5"),
                       Card("CRVAL1", "0.1"), Card("CRVAL2", "-0.2"), Card("CROTA2", "3.5")});
  const std::string File = Dir.File("sky.fits");
  const CliRun Corner = RunCli("coords " + File + " 0 0", Dir);
  ImageRecord R;
  ReadImageHeader(File, R, false, {});
  SolarWcs Linear = *ReadSolarWcs(R.HeaderCards);
  Linear.Gnomonic = false;
  const SkyPosition Flat = ReadoutToSky(Linear, H, 0, 0);
  EXPECT_GT(std::fabs(JsonMember(Corner.Out, "Tx") - Flat.Tx), 1.0);
}

TEST_F(SkyCoordinates, SolarXAxesAndBareCdeltAreLinear) {
  ExpectAstropyAgrees({Card("CTYPE1", "'Solar-X'"), Card("CTYPE2", "'Solar-Y'"),
                       Card("CDELT1", "2.4"), Card("CDELT2", "2.5"), Card("CRPIX1", "-331.555"),
                       Card("CRPIX2", "289.793"), Card("CRVAL1", "10.0"), Card("CRVAL2", "-20.0")});
  ExpectAstropyAgrees({Card("CDELT1", "2.4"), Card("CDELT2", "2.4")});
}

TEST(SkyCoordinatesLinear, Crota2TurnsLinearAxes) {
  // Old linear headers still give the roll of the image: (1, 0) pixels from
  // the reference turns by 90 degrees onto the y axis.
  const std::vector<std::string> Cards = {Card("CTYPE1", "'Solar-X'"), Card("CTYPE2", "'Solar-Y'"),
                                          Card("CDELT1", "2.0"),       Card("CDELT2", "2.0"),
                                          Card("CRPIX1", "1.0"),       Card("CRPIX2", "1.0"),
                                          Card("CROTA2", "90.0")};
  const SkyPosition P = PixelToSky(*ReadSolarWcs(Cards), 2.0, 1.0);
  EXPECT_NEAR(P.Tx, 0.0, 1e-9);
  EXPECT_NEAR(P.Ty, 2.0, 1e-9);
}

TEST_F(SkyCoordinates, EachRadiusSourceInItsOrder) {
  // The readout pixel (47, 23) lies 480 arcsec right of disc centre.
  const std::vector<std::string> Axes = {Card("CDELT1", "2.4"), Card("CDELT2", "2.4"),
                                         Card("CRPIX1", "-152.0"), Card("CRPIX2", "25.0")};
  const double Distance = 695'700'000.0 / std::tan(960.0 / 206264.80624709636);
  const std::vector<std::pair<std::vector<std::string>, const char*>> Cases = {
      {{Card("RSUN_OBS", "960.0"), Card("R_SUN", "100.0"), Card("DSUN_OBS", "1.0E11")}, "RSUN_OBS"},
      {{Card("R_SUN", "400.0"), Card("DSUN_OBS", "1.0E11")}, "R_SUN"},
      {{Card("DSUN_OBS", std::to_string(Distance))}, "DSUN_OBS"},
      {{Card("DSUN_OBS", std::to_string(Distance * 2)), Card("RSUN_REF", "1.3914E9")}, "RSUN_REF"}};
  for (const auto& [Extra, Source] : Cases) {
    std::vector<std::string> Cards = Axes;
    Cards.insert(Cards.end(), Extra.begin(), Extra.end());
    WriteHeaderFile(Dir.File("r.fits"), Cards);
    const CliRun Run = RunCli("coords " + Dir.File("r.fits") + " 47 23", Dir);
    EXPECT_EQ(Run.Status, 0) << Source;
    EXPECT_NEAR(JsonMember(Run.Out, "Tx"), 480.0, 1e-9) << Source;
    EXPECT_NEAR(JsonMember(Run.Out, "R"), 0.5, 1e-6) << Source;
  }
  WriteHeaderFile(Dir.File("r.fits"), Axes);
  const CliRun Unknown = RunCli("coords " + Dir.File("r.fits") + " 47 23", Dir);
  EXPECT_EQ(Unknown.Status, 0);
  EXPECT_NE(Unknown.Out.find("\"R\": null"), std::string::npos) << Unknown.Out;
}

TEST_F(SkyCoordinates, NoUsableCoordinatesExitOne) {
  const std::vector<std::vector<std::string>> Headers = {
      {Card("CRPIX1", "10.0"), Card("CRPIX2", "10.0")},
      {Card("CTYPE1", "'RA---TAN'"), Card("CTYPE2", "'DEC--TAN'"), Card("CDELT1", "1.0"),
       Card("CDELT2", "1.0")},
      {Card("CDELT1", "1.0"), Card("CDELT2", "1.0"), Card("CUNIT1", "'m'")},
      {Card("CDELT1", "0.0"), Card("CDELT2", "1.0")}};
  for (const auto& Cards : Headers) {
    WriteHeaderFile(Dir.File("none.fits"), Cards);
    const CliRun Run = RunCli("coords " + Dir.File("none.fits") + " 1 2", Dir);
    EXPECT_EQ(Run.Status, 1) << Cards[0];
    EXPECT_NE(Run.Out.find("\"Tx\": null"), std::string::npos) << Run.Out;
  }
  EXPECT_EQ(RunCli("coords " + Dir.File("none.fits") + " x 2", Dir).Status, 2);
  EXPECT_EQ(RunCli("coords " + Dir.File("absent.fits") + " 1 2", Dir).Status, 1);
}

// ---- header cards ------------------------------------------------------------------

TEST(HeaderCards, ReaderStoresTheCardsAndTheCliListsThem) {
  TempDir Dir;
  const std::vector<std::string> Cards =
      ImageCards(16, 4, 3,
                 {Card("TELESCOP", "'SDO/AIA '", "telescope"), RawCard(""),
                  RawCard("COMMENT it's a 'quoted' comment   "), Card("CDELT1", "0.6")});
  WriteBytes(Dir.File("h.fits"), FitsFile(Cards, std::vector<uint8_t>(24, 0)));
  ImageRecord R;
  ReadImageHeader(Dir.File("h.fits"), R, true, {});
  ASSERT_TRUE(R.Valid);
  EXPECT_EQ(R.HeaderCards, Cards);  // END is not stored

  const std::vector<std::string> Lines = HeaderLines(R.HeaderCards);
  ASSERT_EQ(Lines.size(), Cards.size() - 1);  // the blank card is left out
  EXPECT_EQ(Lines.back(), "CDELT1  = 0.6");
  std::string Expected;
  for (const std::string& L : Lines) Expected += L + "\n";
  const CliRun Run = RunCli("header " + Dir.File("h.fits"), Dir);
  EXPECT_EQ(Run.Status, 0);
  EXPECT_EQ(Run.Out, Expected);
  EXPECT_EQ(HeaderText(R.HeaderCards, "TELESCOP"), "SDO/AIA");
  EXPECT_EQ(HeaderNumber(R.HeaderCards, "CDELT1"), 0.6);
}

TEST(HeaderCards, ValuesAsTheStandardWritesThem) {
  const std::vector<std::string> Cards = {Card("A", "'it''s / here '  / note"),
                                          Card("B", "1.5D2 / exponent D"),
                                          Card("C", "'x'"),
                                          Card("C", "  7  "),
                                          Card("D", "abc"),
                                          RawCard("E       'no value indicator'")};
  EXPECT_EQ(HeaderText(Cards, "A"), "it's / here");
  EXPECT_EQ(HeaderNumber(Cards, "B"), 150.0);
  EXPECT_EQ(HeaderNumber(Cards, "C"), 7.0);  // the last card counts
  EXPECT_FALSE(HeaderNumber(Cards, "D").has_value());
  EXPECT_FALSE(HeaderText(Cards, "E").has_value());
  EXPECT_FALSE(HeaderText(Cards, "F").has_value());
}

TEST(HeaderCards, OtherFormatsAndBinaryCardsStoreNothingMore) {
  TempDir Dir;
  ImageRecord R;
  const std::vector<std::string> Cards = ImageCards(16, 4, 3);
  WriteBytes(Dir.File("h.fits"), FitsFile(Cards, std::vector<uint8_t>(24, 0)));
  ReadImageHeader(Dir.File("h.fits"), R, false, {});
  ASSERT_FALSE(R.HeaderCards.empty());
  Picture24 P{2, 2, std::vector<uint8_t>(12, 7)};
  ASSERT_TRUE(WritePng(P, Dir.File("p.png")).Success);
  ReadImageHeader(Dir.File("p.png"), R, false, {});
  EXPECT_TRUE(R.HeaderCards.empty());

  // A header without END that runs into binary data: the cards stop there.
  std::vector<uint8_t> Bytes = FitsFile(Cards, {}, false, false);
  Bytes.resize(Cards.size() * 80);
  Bytes.insert(Bytes.end(), 160, 0x01);
  WriteBytes(Dir.File("b.fits"), Bytes);
  ReadImageHeader(Dir.File("b.fits"), R, false, {});
  EXPECT_EQ(R.HeaderCards, Cards);
}
