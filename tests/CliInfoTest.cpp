#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ImageFixtures.h"

using namespace obra::test;

namespace {

struct CliRun {
  int Status = -1;
  std::string Out, Err;
};

// Runs obra-cli with Args, collecting its standard output and error.
CliRun RunCli(const std::string& Args, const TempDir& D) {
  const std::string Out = D.File("stdout.txt"), Err = D.File("stderr.txt");
  const std::string Cmd =
      std::string(OBRA_BIN_DIR) + "/obra-cli " + Args + " >" + Out + " 2>" + Err;
  const int Raw = std::system(Cmd.c_str());
  CliRun R;
  R.Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
  auto Text = [](const std::string& F) {
    std::ifstream In(F);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
  };
  R.Out = Text(Out);
  R.Err = Text(Err);
  return R;
}

// An independent FNV-1a 64 over raw bytes.
std::string Fnv(const std::vector<uint8_t>& Bytes) {
  uint64_t H = 14695981039346656037ULL;
  for (uint8_t B : Bytes) H = (H ^ B) * 1099511628211ULL;
  std::ostringstream S;
  S << std::hex;
  S.width(16);
  S.fill('0');
  S << H;
  return S.str();
}

const char* const RecordKeys[] = {"FileName",
                                  "Width",
                                  "Height",
                                  "Channels",
                                  "ResultType",
                                  "Valid",
                                  "ErrorText",
                                  "MinValue",
                                  "Low20",
                                  "Low10",
                                  "Low1",
                                  "LowP1",
                                  "LowP01",
                                  "LowP001",
                                  "LowP0001",
                                  "MaxValue",
                                  "High20",
                                  "High10",
                                  "High1",
                                  "HighP1",
                                  "HighP01",
                                  "HighP001",
                                  "HighP0001",
                                  "ValueOffset",
                                  "DataSize",
                                  "HeaderSize",
                                  "IsColorCube",
                                  "BytesPerPixel",
                                  "DataType",
                                  "SwapBytes",
                                  "FlipRows",
                                  "HasBZero",
                                  "BZero",
                                  "BScale",
                                  "DataMin",
                                  "DataMax",
                                  "CrPix1",
                                  "CrPix2",
                                  "CRota2",
                                  "CDelt1",
                                  "CDelt2",
                                  "Wavelength",
                                  "DateObs",
                                  "Telescope",
                                  "Instrument",
                                  "RSun",
                                  "WavelengthLabel",
                                  "FormatObsTime",
                                  "ObsTimeForFileName",
                                  "SamplesFnv1a64"};

void ExpectAllKeysInOrder(const std::string& Json) {
  size_t At = 0;
  for (const char* K : RecordKeys) {
    const size_t P = Json.find(std::string(1, '"').append(K).append("\": "), At);
    ASSERT_NE(P, std::string::npos) << K;
    At = P;
  }
}

bool Has(const std::string& Json, const std::string& Key, const std::string& Value) {
  return Json.find("\"" + Key + "\": " + Value) != std::string::npos;
}

}  // namespace

TEST(CliInfo, SharedFitsFilesMatchAstropy) {
  const std::filesystem::path Dir = OBRA_SHARED_DATA;
  std::error_code Ec;
  if (!std::filesystem::is_directory(Dir, Ec)) GTEST_SKIP() << "shared data absent";
  int Seen = 0;
  for (const auto& E : std::filesystem::directory_iterator(Dir)) {
    if (E.path().extension() != ".fits") continue;
    SCOPED_TRACE(E.path().string());
    ++Seen;
    TempDir D;
    const CliRun R = RunCli("info " + E.path().string() + " --dump-raw " + D.File("s.raw"), D);
    EXPECT_EQ(R.Status, 0);
    EXPECT_EQ(R.Err, "");
    ExpectAllKeysInOrder(R.Out);
    EXPECT_TRUE(Has(R.Out, "Width", "1024"));
    EXPECT_TRUE(Has(R.Out, "Height", "1024"));
    EXPECT_TRUE(Has(R.Out, "Valid", "true"));
    EXPECT_TRUE(Has(R.Out, "ResultType", "\"WORD\""));
    const std::vector<uint8_t> Dump = ReadBytes(D.File("s.raw"));
    EXPECT_EQ(Dump.size(), 1024u * 1024u * 2u);
    EXPECT_TRUE(Has(R.Out, "SamplesFnv1a64", "\"" + Fnv(Dump) + "\""));
    if (E.path().filename().string().starts_with("trace")) {
      EXPECT_TRUE(Has(R.Out, "Wavelength", "0"));
      EXPECT_TRUE(Has(R.Out, "DateObs", "\"\""));
      EXPECT_TRUE(Has(R.Out, "FormatObsTime", "\"\""));
      EXPECT_TRUE(Has(R.Out, "CrPix1", "-331.555"));
    }
    if (E.path().filename().string().starts_with("aia")) {
      EXPECT_TRUE(Has(R.Out, "WavelengthLabel", "\"19.3 nm\""));
      EXPECT_TRUE(Has(R.Out, "FormatObsTime", "\"24. 06. 2013    17:31:30\""));
      EXPECT_TRUE(Has(R.Out, "RSun", "393.7"));
    }
    if (AstropyPython().empty()) continue;
    ASSERT_TRUE(RunOracle("read " + E.path().string() + " " + D.File("o.raw")));
    EXPECT_TRUE(ReadBytes(D.File("o.raw")) == Dump);
  }
  if (Seen == 0) GTEST_SKIP() << "no FITS files in the shared data";
}

TEST(CliInfo, HeaderOnlyAndFaults) {
  TempDir D;
  WriteBytes(D.File("a.fits"), FitsFile(ImageCards(16, 2, 1), BigEndian<int16_t>({1, 2})));
  CliRun R = RunCli("info " + D.File("a.fits") + " --header-only", D);
  EXPECT_EQ(R.Status, 0);
  EXPECT_TRUE(Has(R.Out, "SamplesFnv1a64", "\"" + Fnv({}) + "\""));
  EXPECT_TRUE(Has(R.Out, "MaxValue", "0"));

  R = RunCli("info " + D.File("a.fits"), D);
  EXPECT_EQ(R.Status, 0);
  EXPECT_TRUE(Has(R.Out, "SamplesFnv1a64", "\"" + Fnv({1, 0, 2, 0}) + "\""));

  WriteBytes(D.File("b.fits"), FitsFile(ImageCards(64, 2, 1), std::vector<uint8_t>(16)));
  R = RunCli("info " + D.File("b.fits"), D);
  EXPECT_EQ(R.Status, 1);
  EXPECT_TRUE(Has(R.Out, "Valid", "false"));
  EXPECT_EQ(R.Err, "FITS file b.fits has unsupported pixel format!\n");

  EXPECT_EQ(RunCli("info " + D.File("none.fits"), D).Status, 1);
  EXPECT_EQ(RunCli("info", D).Status, 2);
  EXPECT_EQ(RunCli("info a b", D).Status, 2);
  EXPECT_EQ(RunCli("info " + D.File("a.fits") + " --dump-raw", D).Status, 2);
  EXPECT_EQ(RunCli("info " + D.File("a.fits") + " --bogus", D).Status, 2);
}
