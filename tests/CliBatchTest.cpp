// obra-cli batch: the batch dialog's run from the command line, its naming
// rules, modes, selection, shards and the answers to the overwrite question.
#include <gtest/gtest.h>

#include <filesystem>

#include "Global.h"
#include "TestSupport.h"

using namespace obra::test;
namespace fs = std::filesystem;

namespace {

// A 520 x 512 signed 16-bit image (the smallest the 512 x 512 region fits)
// with a pattern that depends on Seed.
void WriteImage(const std::string& File, int Wavelength, const std::string& DateObs, int Seed) {
  const int W = 520, H = 512;
  const std::vector<std::string> Cards =
      ImageCards(16, W, H,
                 {Card("BZERO", "32768"), Card("WAVELNTH", std::to_string(Wavelength)),
                  Card("DATE-OBS", "'" + DateObs + "'")});
  std::vector<int16_t> S;
  S.reserve(size_t(W) * H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      S.push_back(static_cast<int16_t>(100 + (X * (7 + Seed) + Y * 13 + Seed * 31) % 900 - 32768));
  WriteBytes(File, FitsFile(Cards, BigEndian(S)));
}

// The names of the PNG files in Dir, sorted.
std::vector<std::string> Pngs(const fs::path& Dir) {
  std::vector<std::string> N;
  for (const auto& E : fs::directory_iterator(Dir))
    if (E.path().extension() == ".png") N.push_back(E.path().filename().string());
  std::sort(N.begin(), N.end());
  return N;
}

// Three images whose activation is cached once for every test of the suite.
class CliBatch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Cache = new TempDir;
    WriteImage(Cache->File("a.b.fits"), 171, "2013-05-21T12:34:56.78", 1);
    WriteImage(Cache->File("B.FITS"), 193, "2013-06-24T17:31:30.84", 2);
    WriteImage(Cache->File("c.fits"), 304, "2014-01-02T03:04:05.06", 3);
    WriteText(Cache->File("notes.txt"), "not an image");
    CacheRun = RunCli("batch " + Cache->Path().string() + " --mode activate --threads 2", *Cache);
  }
  static void TearDownTestSuite() {
    delete Cache;
    Cache = nullptr;
  }
  // A copy of the cached directory (images and Activation_Data).
  void SetUp() override {
    fs::copy(Cache->Path(), D.Path(),
             fs::copy_options::recursive | fs::copy_options::skip_existing);
    fs::remove(D.File("cli-stdout"));
    fs::remove(D.File("cli-stderr"));
  }
  CliRun Batch(const std::string& Options) {
    return RunCli("batch " + D.Path().string() + " " + Options, Scratch);
  }

  static TempDir* Cache;
  static CliRun CacheRun;
  TempDir D, Scratch;
};

TempDir* CliBatch::Cache = nullptr;
CliRun CliBatch::CacheRun;

TEST_F(CliBatch, ActivateOnlyFillsTheCacheAndWritesNoPicture) {
  ASSERT_EQ(CacheRun.Status, 0) << CacheRun.Err;
  EXPECT_NE(CacheRun.Err.find("Processing   3 of 3"), std::string::npos) << CacheRun.Err;
  EXPECT_NE(CacheRun.Err.find("Processing     100 %"), std::string::npos);
  EXPECT_NE(CacheRun.Err.find("3 processed, 0 skipped, 0 failed"), std::string::npos);
  for (const char* Act : {"a.b.act", "B.act", "c.act"})
    EXPECT_TRUE(fs::exists(D.File(std::string("Activation_Data/") + Act))) << Act;
  EXPECT_TRUE(Pngs(D.Path()).empty());
  // A later run finds every activation in the cache and starts no engine.
  const CliRun R = Batch("--mode full --naming prefix");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err.find(" %"), std::string::npos) << R.Err;
  EXPECT_EQ(Pngs(D.Path()).size(), 3u);
}

TEST_F(CliBatch, NamingRules) {
  ASSERT_EQ(Batch("--naming prefix").Status, 0);
  ASSERT_EQ(Batch("--naming suffix").Status, 0);
  ASSERT_EQ(Batch("--naming time").Status, 0);
  const CliRun R = Batch("--naming number");
  ASSERT_EQ(R.Status, 0) << R.Err;
  const std::vector<std::string> Expected = {"0001.png",
                                             "0002.png",
                                             "0003.png",
                                             "0171A_2013_05_21T12_34_56_78.png",
                                             "0193A_2013_06_24T17_31_30_84.png",
                                             "0304A_2014_01_02T03_04_05_06.png",
                                             "B_Proc.png",
                                             "Proc_B.png",
                                             "Proc_a.b.png",
                                             "Proc_c.png",
                                             "a.b_Proc.png",
                                             "c_Proc.png"};
  EXPECT_EQ(Pngs(D.Path()), Expected);
  // List order ignores letter case: a.b, B, c.
  EXPECT_EQ(ReadBytes(D.File("0002.png")), ReadBytes(D.File("Proc_B.png")));
}

TEST_F(CliBatch, ProcessModes) {
  ASSERT_EQ(Batch("B.FITS --mode full --naming prefix").Status, 0);
  ExpectPngSize(D.File("Proc_B.png"), 520, 512);
  ASSERT_EQ(Batch("B.FITS --mode full-scaled --scale 3 --naming suffix").Status, 0);
  ExpectPngSize(D.File("B_Proc.png"), 173, 170);
  ASSERT_EQ(Batch("B.FITS --mode roi --roi-size 1 --naming number").Status, 0);
  ExpectPngSize(D.File("0001.png"), 512, 512);
  // With a region, ROI is the default mode.
  const CliRun R = Batch("B.FITS --roi-size 1 --scale 2 --naming time --mode roi-scaled");
  ASSERT_EQ(R.Status, 0) << R.Err;
  ExpectPngSize(D.File("0193A_2013_06_24T17_31_30_84.png"), 256, 256);
  EXPECT_EQ(Batch("B.FITS --mode roi").Status, 2);
  EXPECT_EQ(Batch("B.FITS --mode full --roi-size 1").Status, 2);
  EXPECT_EQ(Batch("B.FITS --mode activate --no-auto-save").Status, 2);
}

TEST_F(CliBatch, PicturesEqualProcessWithTheSameOptions) {
  const std::vector<std::pair<std::string, std::string>> Cases = {
      {"--mode full --time --fix-gamma 25", "--mode 1 --time --fix-gamma 25"},
      {"--mode roi-scaled --roi-size 1 --roi-left 4 --roi-top 0 --scale 2 --fix-contrast "
       "--output-black 3000",
       "--mode 4 --roi-size 1 --roi-left 4 --roi-top 0 --scale 2 --fix-contrast "
       "--output-black 3000"}};
  for (const auto& [BatchOptions, ProcessOptions] : Cases) {
    const CliRun R = Batch("--naming prefix --if-exists overwrite " + BatchOptions);
    ASSERT_EQ(R.Status, 0) << R.Err;
    for (const char* Name : {"a.b", "B", "c"}) {
      const std::string Image = D.File(std::string(Name) + (Name[0] == 'B' ? ".FITS" : ".fits"));
      const std::string Single = Scratch.File("single.png");
      const CliRun P =
          RunCli("process " + Image + " -o " + Single + " --activate " + ProcessOptions, Scratch);
      ASSERT_EQ(P.Status, 0) << P.Err;
      EXPECT_EQ(ReadBytes(D.File("Proc_" + std::string(Name) + ".png")), ReadBytes(Single))
          << Name << " " << BatchOptions;
    }
  }
}

TEST_F(CliBatch, ExistingOutputs) {
  WriteText(D.File("0002.png"), "old");
  // stop: status 3, the path and the option named, nothing written from there on.
  CliRun R = Batch("--naming number");
  EXPECT_EQ(R.Status, 3);
  EXPECT_NE(R.Err.find(D.File("0002.png")), std::string::npos) << R.Err;
  EXPECT_NE(R.Err.find("--if-exists"), std::string::npos) << R.Err;
  EXPECT_EQ(Pngs(D.Path()), (std::vector<std::string>{"0001.png", "0002.png"}));
  EXPECT_EQ(ReadText(D.File("0002.png")), "old");
  // skip: the file keeps its number and its old output.
  fs::remove(D.File("0001.png"));
  R = Batch("--naming number --if-exists skip");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find("2 processed, 1 skipped, 0 failed"), std::string::npos) << R.Err;
  EXPECT_EQ(ReadText(D.File("0002.png")), "old");
  EXPECT_EQ(Pngs(D.Path()), (std::vector<std::string>{"0001.png", "0002.png", "0003.png"}));
  // overwrite: the new picture replaces it.
  R = Batch("--naming number --if-exists overwrite");
  EXPECT_EQ(R.Status, 0) << R.Err;
  ExpectPngSize(D.File("0002.png"), 520, 512);
}

TEST_F(CliBatch, BrokenFileFailsAndTheOthersAreProcessed) {
  WriteText(D.File("b0.fits"), "SIMPLE  = T");
  const CliRun R = Batch("--naming prefix");
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("3 processed, 0 skipped, 1 failed"), std::string::npos) << R.Err;
  EXPECT_EQ(Pngs(D.Path()), (std::vector<std::string>{"Proc_B.png", "Proc_a.b.png", "Proc_c.png"}));
}

TEST_F(CliBatch, SelectionMaskExtensionAndShards) {
  WriteText(D.File("d.fts"), "x");
  // NAMEs are taken in list order, whatever order they are given in.
  CliRun R = Batch("c.fits a.b.fits --naming number");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find("Processing   2 of 2"), std::string::npos);
  EXPECT_EQ(Pngs(D.Path()), (std::vector<std::string>{"0001.png", "0002.png"}));
  EXPECT_EQ(Batch("nothere.fits").Status, 2);
  EXPECT_EQ(Batch("d.fts").Status, 2);  // not in the .FITS list
  EXPECT_EQ(Batch("--shard 0/2").Status, 2);
  EXPECT_EQ(Batch("--shard 3/2").Status, 2);
  EXPECT_EQ(Batch("--ext .PNG").Status, 2);
  // The mask ignores letter case; the .FTS list holds only d.fts, which fails.
  R = Batch("--mask A* --naming suffix");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_TRUE(fs::exists(D.File("a.b_Proc.png")));
  EXPECT_FALSE(fs::exists(D.File("B_Proc.png")));
  EXPECT_EQ(Batch("--ext .fts").Status, 1);
  // Shard 2 of 2 takes list positions 2 (B) and keeps the whole list's numbers.
  fs::remove(D.File("0001.png"));
  fs::remove(D.File("0002.png"));
  R = Batch("--shard 2/2 --naming number");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find("Processing   1 of 1"), std::string::npos);
  EXPECT_EQ(Pngs(D.Path()), (std::vector<std::string>{"0002.png", "a.b_Proc.png"}));
}

}  // namespace
