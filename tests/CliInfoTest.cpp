// obra-cli info: the record as JSON, the raw dump, and its exit codes.
#include <gtest/gtest.h>

#include <sstream>

#include "TestSupport.h"

using namespace obra::test;

namespace {

// An independent FNV-1a 64 over raw bytes, as the JSON field writes it.
std::string Fnv(const std::vector<uint8_t>& Bytes) {
  uint64_t H = 14695981039346656037ULL;
  for (uint8_t B : Bytes) H = (H ^ B) * 1099511628211ULL;
  char Text[40];
  std::snprintf(Text, sizeof Text, "\"SamplesFnv1a64\": \"%016llx\"",
                static_cast<unsigned long long>(H));
  return Text;
}

bool Has(const std::string& Json, const std::string& Field) {
  return Json.find(Field) != std::string::npos;
}

}  // namespace

TEST(CliInfo, SharedFitsFilesMatchAstropy) {
  const std::string Keys =
      "FileName Width Height Channels ResultType Valid ErrorText MinValue Low20 Low10 Low1 LowP1 "
      "LowP01 LowP001 LowP0001 MaxValue High20 High10 High1 HighP1 HighP01 HighP001 HighP0001 "
      "ValueOffset DataSize HeaderSize IsColorCube BytesPerPixel DataType SwapBytes FlipRows "
      "HasBZero BZero BScale DataMin DataMax CrPix1 CrPix2 CRota2 CDelt1 CDelt2 Wavelength DateObs "
      "Telescope Instrument RSun WavelengthLabel FormatObsTime ObsTimeForFileName SamplesFnv1a64";
  // TRACE writes its channel in WAVE_LEN and its time in DATE_OBS.
  const std::pair<const char*, std::vector<std::string>> Files[] = {
      {"trace_171_1998-05-19T22-21-43.fits",
       {R"("Wavelength": 171)", R"("DateObs": "1998-05-19T22:21:43.000")",
        R"("FormatObsTime": "19. 05. 1998    22:21:43")", R"("CrPix1": -331.555)",
        R"("Telescope": "TRACE")"}},
      {"aia_193_2013-06-24T17-31-30_1024.fits",
       {R"("Wavelength": 193)", R"("DateObs": "2013-06-24T17:31:30.84")", R"("Telescope": "SDO")",
        R"("WavelengthLabel": "19.3 nm")", R"("FormatObsTime": "24. 06. 2013    17:31:30")",
        R"("RSun": 393.7)"}}};
  for (const auto& [Name, Fields] : Files) {
    SCOPED_TRACE(Name);
    const std::string File = SharedData(Name);
    if (File.empty()) GTEST_SKIP() << "shared data absent";
    TempDir D;
    const CliRun R = RunCli("info " + File + " --dump-raw " + D.File("s.raw"), D);
    EXPECT_EQ(R.Status, 0);
    EXPECT_EQ(R.Err, "");
    std::istringstream In(Keys);
    size_t At = 0;
    for (std::string K; In >> K;) {
      At = R.Out.find(std::string(1, '"').append(K).append("\": "), At);
      ASSERT_NE(At, std::string::npos) << K << " missing or out of order";
    }
    const std::vector<uint8_t> Dump = ReadBytes(D.File("s.raw"));
    EXPECT_EQ(Dump.size(), 1024u * 1024u * 2u);
    std::vector<std::string> Want = Fields;
    Want.insert(Want.end(), {R"("Width": 1024)", R"("Height": 1024)", R"("Valid": true)",
                             R"("ResultType": "WORD")", Fnv(Dump)});
    for (const std::string& F : Want) EXPECT_TRUE(Has(R.Out, F)) << F;
    if (AstropyPython().empty()) continue;
    ASSERT_TRUE(RunOracle("read " + File + " " + D.File("o.raw")));
    EXPECT_TRUE(ReadBytes(D.File("o.raw")) == Dump);
  }
}

TEST(CliInfo, HeaderOnlyAndFaults) {
  TempDir D;
  const std::string A = D.File("a.fits");
  WriteBytes(A, FitsFile(ImageCards(16, 2, 1), BigEndian<int16_t>({1, 2})));
  CliRun R = RunCli("info " + A + " --header-only", D);
  EXPECT_EQ(R.Status, 0);
  EXPECT_TRUE(Has(R.Out, Fnv({})));
  EXPECT_TRUE(Has(R.Out, R"("MaxValue": 0)"));
  R = RunCli("info " + A, D);
  EXPECT_EQ(R.Status, 0);
  EXPECT_TRUE(Has(R.Out, Fnv({1, 0, 2, 0})));
  WriteBytes(D.File("b.fits"), FitsFile(ImageCards(24, 2, 1), std::vector<uint8_t>(16)));
  R = RunCli("info " + D.File("b.fits"), D);
  EXPECT_EQ(R.Status, 1);
  EXPECT_TRUE(Has(R.Out, R"("Valid": false)"));
  EXPECT_EQ(R.Err, "FITS file b.fits has unsupported pixel format!\n");
  EXPECT_EQ(RunCli("info " + D.File("none.fits"), D).Status, 1);
  for (const std::string& Args : std::vector<std::string>{
           "info", "info a b", "info " + A + " --dump-raw", "info " + A + " --bogus"})
    EXPECT_EQ(RunCli(Args, D).Status, 2) << Args;
}
