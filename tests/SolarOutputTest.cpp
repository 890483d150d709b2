// Colour tables of the view and the 16-bit FITS export of ResultImage, on
// the shared state and through obra-cli process.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "AdaptiveEQ.h"
#include "FitsWriter.h"
#include "Global.h"
#include "IniFile.h"
#include "PngWriter.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

constexpr int W = 60, H = 40;

uint16_t Pattern(int X, int Y) { return static_cast<uint16_t>(100 + (X * 37 + Y * 113) % 3000); }

// A signed 16-bit AIA image with coordinates, stored bottom row first.
void WriteAiaFits(const std::string& File, int Wavelength = 171) {
  WriteFitsSamples(
      File, W, H, Pattern, 32768,
      {Card("TELESCOP", "'SDO/AIA'"), Card("INSTRUME", "'AIA_3'"),
       Card("WAVELNTH", std::to_string(Wavelength)), Card("DATE-OBS", "'2013-06-24T17:31:30.84'"),
       Card("CTYPE1", "'HPLN-TAN'"), Card("CTYPE2", "'HPLT-TAN'"), Card("CUNIT1", "'arcsec'"),
       Card("CUNIT2", "'arcsec'"), Card("CRPIX1", "30.5"), Card("CRPIX2", "20.5"),
       Card("CDELT1", "0.6"), Card("CDELT2", "0.6"), Card("CRVAL1", "12.5"),
       Card("CRVAL2", "-7.25"), Card("CROTA2", "0.02"), Card("RSUN_OBS", "975.3"),
       Card("R_SUN", "1625.5"), Card("DSUN_OBS", "1.496E11"), Card("EXPOSURE", "2.0")});
}

std::vector<uint16_t> ReadBackWithAstropy(const std::string& Fits, const TempDir& Dir) {
  const std::string Raw = Dir.File("readback.raw");
  if (!RunOracle("read " + Fits + " " + Raw)) return {};
  return Samples16(ReadBytes(Raw));
}

std::string AstropyKeys(const std::string& Fits, const TempDir& Dir) {
  const std::string Out = Dir.File("keys.txt");
  const std::string Cmd =
      AstropyPython() + " " OBRA_SOURCE_DIR "/tests/tools/wcs_oracle.py keys " + Fits + " >" + Out;
  return std::system(Cmd.c_str()) == 0 ? ReadText(Out) : std::string();
}

bool NonDecreasing(const ColourTable& T, uint8_t TableColour::*Component) {
  for (size_t I = 1; I < T.size(); ++I)
    if (T[I].*Component < T[I - 1].*Component) return false;
  return true;
}

class SolarOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PrepareWorkflow(SmallEngineIni(171), S, Msg));
    WriteAiaFits(Image);
    S.OpenDialogFileName = Image;
    ASSERT_TRUE(OpenImage(S));
  }
  void Activate() {
    ASSERT_TRUE(StartActivation(S));
    ASSERT_TRUE(AwaitActivation(S)) << "the activation did not finish";
  }

  TempDir Dir;
  SharedState S;
  Messages Msg;
  std::string Image = Dir.File("aia.fits");
};

}  // namespace

// ---- colour tables -------------------------------------------------------------

TEST(ColourTables, EveryTableRisesInEachComponentAndInBrightness) {
  ASSERT_EQ(ColourTables().size(), 15u);
  for (const NamedColourTable& N : ColourTables()) {
    const ColourTable& T = *N.Table;
    EXPECT_TRUE(NonDecreasing(T, &TableColour::Red)) << N.Name;
    EXPECT_TRUE(NonDecreasing(T, &TableColour::Green)) << N.Name;
    EXPECT_TRUE(NonDecreasing(T, &TableColour::Blue)) << N.Name;
    EXPECT_EQ(T[0], (TableColour{0, 0, 0})) << N.Name;
    double Last = -1;
    for (const TableColour& C : T) {
      const double Luma = 0.2126 * C.Red + 0.7152 * C.Green + 0.0722 * C.Blue;
      EXPECT_GE(Luma, Last) << N.Name;
      Last = Luma;
    }
  }
}

TEST(ColourTables, AiaTablesFollowTheirDefinition) {
  // 171: red = IDL table 3 red (255/176 per entry), green = c0, blue = IDL blue.
  const ColourTable& T171 = *FindColourTable("AIA 171")->Table;
  EXPECT_EQ(T171[88].Red, 127);
  EXPECT_EQ(T171[176].Red, 255);
  EXPECT_EQ(T171[100].Green, 100);
  EXPECT_EQ(T171[190].Blue, 0);
  EXPECT_EQ(T171[191].Blue, 3);
  EXPECT_EQ(T171[255].Blue, 255);
  // 304: green = IDL table 3 green, 0 up to entry 120.
  const ColourTable& T304 = *FindColourTable("304")->Table;
  EXPECT_EQ(T304[120].Green, 0);
  EXPECT_EQ(T304[121].Green, 1);
  EXPECT_EQ(T304[255].Green, 255);
  // 193: red = sqrt(i * 255), blue = i^2 / 255, both truncated.
  const ColourTable& T193 = *FindColourTable("aia193")->Table;
  EXPECT_EQ(T193[64].Red, 127);
  EXPECT_EQ(T193[64].Blue, 16);
  // 4500: blue = IDL blue / 2.
  EXPECT_EQ(FindColourTable("4500")->Table->at(255).Blue, 127);
}

TEST(ColourTables, NamesAndChannels) {
  EXPECT_EQ(FindColourTable("171")->Name, "AIA 171");
  EXPECT_EQ(FindColourTable("eit 171")->Name, "EIT 171");
  EXPECT_EQ(FindColourTable("195")->Name, "EIT 195");
  EXPECT_EQ(FindColourTable("174")->Name, "SWAP 174");
  EXPECT_EQ(FindColourTable("999"), nullptr);
  EXPECT_EQ(FindColourTable("Grey"), nullptr);
  EXPECT_EQ(*FindColourTable("SWAP 174")->Table, *FindColourTable("AIA 171")->Table);

  ImageRecord R;
  R.Telescope = "SDO";  // 'SDO/AIA' as the record holds it
  R.Wavelength = 193;
  EXPECT_EQ(ChannelColourTable(R)->Name, "AIA 193");
  R.HeaderCards = {Card("TELESCOP", "'XYZ/AIA'")};  // the stored card counts
  R.Telescope = "XYZ";
  EXPECT_EQ(ChannelColourTable(R)->Name, "AIA 193");
  R.HeaderCards.clear();
  R.Wavelength = 195;
  EXPECT_EQ(ChannelColourTable(R), nullptr);  // no such AIA channel: grey
  R.Telescope = "SOHO";
  R.Instrument = "EIT";
  EXPECT_EQ(ChannelColourTable(R)->Name, "EIT 195");
  R.Telescope = "PROBA2";
  R.Instrument = "SWAP";
  R.Wavelength = 174;
  EXPECT_EQ(ChannelColourTable(R)->Name, "SWAP 174");
  R.Telescope = R.Instrument = "TRACE";
  R.Wavelength = 171;
  EXPECT_EQ(ChannelColourTable(R), nullptr);
}

TEST_F(SolarOutput, GreyIsTodaysRenderingAndColoursFollowTheGrey) {
  Picture24 Plain;
  ASSERT_TRUE(RenderImage(Plain, S.Image, S.ResultImage, 2, DisplayLut, nullptr));
  ASSERT_TRUE(ComboBoxColourTableChange(S, "Channel"));
  SpeedButton1Click(S, 2);
  const ColourTable& T = *FindColourTable("AIA 171")->Table;
  ASSERT_EQ(S.Image1.Pixels.size(), Plain.Pixels.size());
  bool Coloured = false;
  for (size_t I = 0; I < Plain.Pixels.size(); I += 3) {
    const TableColour& C = T[Plain.Pixels[I]];
    ASSERT_EQ(S.Image1.Pixels[I], C.Blue);
    ASSERT_EQ(S.Image1.Pixels[I + 1], C.Green);
    ASSERT_EQ(S.Image1.Pixels[I + 2], C.Red);
    Coloured = Coloured || C.Red != C.Blue;
  }
  EXPECT_TRUE(Coloured);
  ASSERT_TRUE(ComboBoxColourTableChange(S, "grey"));
  EXPECT_EQ(S.ColourTableName, "Grey");
  EXPECT_EQ(S.Image1.Pixels, Plain.Pixels);
  EXPECT_FALSE(ComboBoxColourTableChange(S, "sepia"));
  EXPECT_EQ(S.ColourTableName, "Grey");
}

TEST_F(SolarOutput, ColouredSaveIsIndexedPng) {
  ASSERT_TRUE(ComboBoxColourTableChange(S, "EIT 284"));
  ASSERT_TRUE(SaveImage(S, SaveFullFrame, Dir.File("c.png")));
  const std::vector<uint8_t> Png = ReadBytes(Dir.File("c.png"));
  ASSERT_GT(Png.size(), 26u);
  EXPECT_EQ(Png[25], 3);  // IHDR colour type: indexed
}

// ---- 16-bit export ------------------------------------------------------------------

TEST_F(SolarOutput, ExportReadsBackAsResultImageWithAndWithoutActivation) {
  if (AstropyPython().empty()) GTEST_SKIP() << "astropy not available";
  ASSERT_TRUE(ExportFits(S, Dir.File("gamma.fits")));
  EXPECT_EQ(ReadBackWithAstropy(Dir.File("gamma.fits"), Dir), S.ResultImage);
  const std::vector<uint16_t> GammaView = S.ResultImage;

  Activate();
  ASSERT_NE(S.ResultImage, GammaView);
  ASSERT_TRUE(ExportFits(S, Dir.File("blend.fits")));
  EXPECT_EQ(ReadBackWithAstropy(Dir.File("blend.fits"), Dir), S.ResultImage);
  // Extremes survive the offset of 32768.
  S.ResultImage.front() = 0;
  S.ResultImage.back() = 65535;
  ASSERT_TRUE(ExportFits(S, Dir.File("ends.fits")));
  EXPECT_EQ(ReadBackWithAstropy(Dir.File("ends.fits"), Dir), S.ResultImage);
  EXPECT_TRUE(Msg.List.empty());
}

TEST_F(SolarOutput, ExportKeepsTheSolarKeywordsAndRecordsTheSettings) {
  if (AstropyPython().empty()) GTEST_SKIP() << "astropy not available";
  Activate();
  ASSERT_TRUE(ExportFits(S, Dir.File("out.fits")));
  const std::string Keys = AstropyKeys(Dir.File("out.fits"), Dir);
  for (const char* Expected : {"BITPIX=16\n",
                               "BZERO=32768\n",
                               "NAXIS1=60\n",
                               "NAXIS2=40\n",
                               "DATE-OBS='2013-06-24T17:31:30.84'\n",
                               "TELESCOP='SDO/AIA'\n",
                               "INSTRUME='AIA_3'\n",
                               "WAVELNTH=171\n",
                               "CRPIX1=30.5\n",
                               "CRPIX2=20.5\n",
                               "CDELT1=0.6\n",
                               "CDELT2=0.6\n",
                               "CRVAL1=12.5\n",
                               "CRVAL2=-7.25\n",
                               "CROTA2=0.02\n",
                               "CTYPE1='HPLN-TAN'\n",
                               "CTYPE2='HPLT-TAN'\n",
                               "CUNIT1='arcsec'\n",
                               "CUNIT2='arcsec'\n",
                               "RSUN_OBS=975.3\n",
                               "R_SUN=1625.5\n",
                               "DSUN_OBS=149600000000.0\n",
                               "HISTORY=OBRA 1.0: 16-bit result of aia.fits\n",
                               "HISTORY=Kernel KerSize 3, NRSigma 2,",
                               "HISTORY=Gamma 3.0, OBRA weight 0.10\n",
                               "HISTORY=OBRA equalization blended with the gamma image\n",
                               "HISTORY=Input levels black "})
    EXPECT_NE(Keys.find(Expected), std::string::npos) << Expected << "\n" << Keys;
  EXPECT_EQ(Keys.find("EXPOSURE"), std::string::npos);

  // The export has the coordinates of its source at every pixel.
  for (const char* P : {"0 0", "59 39", "12 30"}) {
    const CliRun In = RunCli(std::string("coords ") + Image + " " + P, Dir);
    const CliRun Out = RunCli("coords " + Dir.File("out.fits") + " " + P, Dir);
    EXPECT_EQ(In.Out, Out.Out);
  }
}

TEST_F(SolarOutput, FailedExportIsReportedAndKeepsTheOldFile) {
  WriteText(Dir.File("old.fits"), "old");
  const bool Written = WithFileSizeLimit(4000, [&] { return ExportFits(S, Dir.File("old.fits")); });
  EXPECT_FALSE(Written);
  EXPECT_EQ(ReadText(Dir.File("old.fits")), "old");
  ASSERT_EQ(Msg.List.size(), 1u);
  EXPECT_NE(Msg.List[0].find("old.fits"), std::string::npos) << Msg.List[0];
  EXPECT_FALSE(ExportFits(S, Dir.File("no-such-dir/x.fits")));
  EXPECT_EQ(Msg.List.size(), 2u);
}

TEST(FitsWriter, RefusesBadInputWithoutWriting) {
  TempDir Dir;
  const std::vector<uint16_t> Samples(6, 1);
  FitsImage16 Image{3, 3, Samples, {}};
  EXPECT_FALSE(WriteFits16(Dir.File("a.fits"), Image).Success);  // 6 samples for 3 x 3
  Image.Height = 2;
  Image.Cards = {"SHORT"};
  EXPECT_FALSE(WriteFits16(Dir.File("a.fits"), Image).Success);
  EXPECT_FALSE(std::filesystem::exists(Dir.File("a.fits")));
  Image.Cards = HistoryCards(std::string(100, 'x'));
  ASSERT_EQ(Image.Cards.size(), 2u);
  ASSERT_TRUE(WriteFits16(Dir.File("a.fits"), Image).Success);
  EXPECT_EQ(std::filesystem::file_size(Dir.File("a.fits")), 2u * 2880u);
}

// ---- obra-cli process ----------------------------------------------------------------

TEST_F(SolarOutput, CliColourTableAndExport) {
  const CliRun Run = RunCli("process " + Image + " -o " + Dir.File("p.png") +
                                " --colour-table 171 --export-fits " + Dir.File("p.fits"),
                            Dir);
  ASSERT_EQ(Run.Status, 0) << Run.Err;
  const std::vector<uint8_t> Png = ReadBytes(Dir.File("p.png"));
  ASSERT_GT(Png.size(), 26u);
  EXPECT_EQ(Png[25], 3);
  EXPECT_TRUE(std::filesystem::exists(Dir.File("p.fits")));

  const CliRun Only = RunCli("process " + Image + " --export-fits " + Dir.File("q.fits"), Dir);
  EXPECT_EQ(Only.Status, 0) << Only.Err;
  if (!AstropyPython().empty()) {
    EXPECT_EQ(ReadBackWithAstropy(Dir.File("q.fits"), Dir).size(), S.ResultImage.size());
  }
  EXPECT_EQ(
      RunCli("process " + Image + " -o " + Dir.File("x.png") + " --colour-table sepia", Dir).Status,
      2);
  EXPECT_EQ(RunCli("process " + Image + " --colour-table", Dir).Status, 2);
}
