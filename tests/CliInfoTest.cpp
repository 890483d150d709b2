// obra-cli info: the record as JSON, the raw dump, and its exit codes.
#include <gtest/gtest.h>

#include <sstream>

#include "TestSupport.h"

using namespace obra::test;

namespace {

// An independent FNV-1a 64 over raw bytes, as 16 hex digits in quotes.
std::string Fnv(const std::vector<uint8_t>& Bytes) {
  uint64_t H = 14695981039346656037ULL;
  for (uint8_t B : Bytes) H = (H ^ B) * 1099511628211ULL;
  char Text[19];
  std::snprintf(Text, sizeof Text, "\"%016llx\"", static_cast<unsigned long long>(H));
  return Text;
}

// "Key": as the JSON writes it (appended: a string sum here trips a GCC 12 warning).
std::string KeyText(const std::string& Key) {
  return std::string(1, '"').append(Key).append("\": ");
}

bool Has(const std::string& Json, const std::string& Key, const std::string& Value) {
  return Json.find(KeyText(Key).append(Value)) != std::string::npos;
}

}  // namespace

TEST(CliInfo, SharedFitsFilesMatchAstropy) {
  const std::string Keys =
      "FileName Width Height Channels ResultType Valid ErrorText MinValue Low20 Low10 Low1 LowP1 "
      "LowP01 LowP001 LowP0001 MaxValue High20 High10 High1 HighP1 HighP01 HighP001 HighP0001 "
      "ValueOffset DataSize HeaderSize IsColorCube BytesPerPixel DataType SwapBytes FlipRows "
      "HasBZero BZero BScale DataMin DataMax CrPix1 CrPix2 CRota2 CDelt1 CDelt2 Wavelength DateObs "
      "Telescope Instrument RSun WavelengthLabel FormatObsTime ObsTimeForFileName SamplesFnv1a64";
  const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>
      Files = {{"trace_171_1998-05-19T22-21-43.fits",
                {{"Wavelength", "0"},
                 {"DateObs", "\"\""},
                 {"FormatObsTime", "\"\""},
                 {"CrPix1", "-331.555"}}},
               {"aia_193_2013-06-24T17-31-30_1024.fits",
                {{"WavelengthLabel", "\"19.3 nm\""},
                 {"FormatObsTime", "\"24. 06. 2013    17:31:30\""},
                 {"RSun", "393.7"}}}};
  for (const auto& [Name, Fields] : Files) {
    SCOPED_TRACE(Name);
    const std::string File = SharedData(Name);
    if (File.empty()) GTEST_SKIP() << "shared data absent";
    TempDir D;
    const CliRun R = RunCli("info " + File + " --dump-raw " + D.File("s.raw"), D);
    EXPECT_EQ(std::tuple(R.Status, R.Err), std::tuple(0, ""));
    std::istringstream In(Keys);
    size_t At = 0;
    for (std::string K; In >> K;) {
      At = R.Out.find(KeyText(K), At);
      ASSERT_NE(At, std::string::npos) << K << " missing or out of order";
    }
    const std::vector<uint8_t> Dump = ReadBytes(D.File("s.raw"));
    EXPECT_EQ(Dump.size(), 1024u * 1024u * 2u);
    for (const auto& [Key, Value] :
         std::vector<std::pair<std::string, std::string>>{{"Width", "1024"},
                                                          {"Height", "1024"},
                                                          {"Valid", "true"},
                                                          {"ResultType", "\"WORD\""},
                                                          {"SamplesFnv1a64", Fnv(Dump)}})
      EXPECT_TRUE(Has(R.Out, Key, Value)) << Key;
    for (const auto& [Key, Value] : Fields) EXPECT_TRUE(Has(R.Out, Key, Value)) << Key;
    if (AstropyPython().empty()) continue;
    ASSERT_TRUE(RunOracle("read " + File + " " + D.File("o.raw")));
    EXPECT_TRUE(ReadBytes(D.File("o.raw")) == Dump);
  }
}

TEST(CliInfo, HeaderOnlyAndFaults) {
  TempDir D;
  WriteBytes(D.File("a.fits"), FitsFile(ImageCards(16, 2, 1), BigEndian<int16_t>({1, 2})));
  CliRun R = RunCli("info " + D.File("a.fits") + " --header-only", D);
  EXPECT_EQ(R.Status, 0);
  EXPECT_TRUE(Has(R.Out, "SamplesFnv1a64", Fnv({})) && Has(R.Out, "MaxValue", "0"));
  R = RunCli("info " + D.File("a.fits"), D);
  EXPECT_EQ(R.Status, 0);
  EXPECT_TRUE(Has(R.Out, "SamplesFnv1a64", Fnv({1, 0, 2, 0})));
  WriteBytes(D.File("b.fits"), FitsFile(ImageCards(64, 2, 1), std::vector<uint8_t>(16)));
  R = RunCli("info " + D.File("b.fits"), D);
  EXPECT_EQ(std::tuple(R.Status, Has(R.Out, "Valid", "false"), R.Err),
            std::tuple(1, true, "FITS file b.fits has unsupported pixel format!\n"));
  EXPECT_EQ(RunCli("info " + D.File("none.fits"), D).Status, 1);
  for (const std::string& Args :
       std::vector<std::string>{"info", "info a b", "info " + D.File("a.fits") + " --dump-raw",
                                "info " + D.File("a.fits") + " --bogus"})
    EXPECT_EQ(RunCli(Args, D).Status, 2) << Args;
}
