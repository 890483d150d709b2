// obra-cli process: the window's open-activate-save workflow from the command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

using namespace obra::test;
namespace fs = std::filesystem;

namespace {

// A 600 x 520 signed 16-bit image of channel 171 with some structure.
std::string WriteImage(const TempDir& D) {
  const std::vector<std::string> Cards = ImageCards(
      16, 600, 520,
      {Card("BZERO", "32768"), Card("WAVELNTH", "171"), Card("DATE-OBS", "'2013-06-24T17:31:30'")});
  std::vector<int16_t> S;
  for (int Y = 0; Y < 520; ++Y)
    for (int X = 0; X < 600; ++X)
      S.push_back(static_cast<int16_t>(100 + (X * 7 + Y * 13) % 900 - 32768));
  const std::string File = D.File("img.fits");
  WriteBytes(File, FitsFile(Cards, BigEndian(S)));
  return File;
}

}  // namespace

TEST(CliProcess, ActivationsAndTheCache) {
  TempDir D;
  const std::string Image = WriteImage(D), Out = D.File("roi.png");
  CliRun R = RunCli(
      "process " + Image + " -o " + Out + " --activate --roi-size 1 --mode 3 --time --threads 2",
      D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  ExpectPngSize(Out, 512, 512);
  EXPECT_NE(R.Err.find("Processing     100 %"), std::string::npos);
  // A region activation is never cached; a whole-frame one is, and is reused.
  EXPECT_FALSE(fs::exists(D.File("Activation_Data/img.act")));
  EXPECT_TRUE(fs::exists(D.File("Activation_Data/ReadMe.txt")));
  R = RunCli("process " + Image + " -o " + D.File("a.png") + " --activate --scale 2 --mode 2", D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  ExpectPngSize(D.File("a.png"), 300, 260);
  ASSERT_TRUE(fs::exists(D.File("Activation_Data/img.act")));
  // The second run finds the cache: no engine progress, the same picture.
  R = RunCli("process " + Image + " -o " + D.File("b.png") + " --activate --scale 2 --mode 2", D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err.find("Processing"), std::string::npos);
  EXPECT_EQ(ReadBytes(D.File("a.png")), ReadBytes(D.File("b.png")));
  // Without --activate the cached data are used all the same, as on an open.
  R = RunCli("process " + Image + " -o " + D.File("c.png") + " --scale 2 --mode 2", D);
  EXPECT_EQ(ReadBytes(D.File("a.png")), ReadBytes(D.File("c.png")));
  // --no-auto-save keeps a new activation out of the cache.
  fs::remove(D.File("Activation_Data/img.act"));
  R = RunCli("process " + Image + " -o " + D.File("d.png") + " --activate --no-auto-save", D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_FALSE(fs::exists(D.File("Activation_Data/img.act")));
  // A cache that cannot be stored fails the run, though the picture is written.
  fs::create_directory(D.File("Activation_Data/img.act"));
  R = RunCli("process " + Image + " -o " + D.File("e.png") + " --activate", D);
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("Activation data could not be saved to "), std::string::npos) << R.Err;
  EXPECT_TRUE(fs::exists(D.File("e.png")));
}

TEST(CliProcess, SettingsAndFaults) {
  TempDir D;
  const std::string Image = WriteImage(D);
  ASSERT_EQ(RunCli("process " + Image + " -o " + D.File("auto.png"), D).Status, 0);
  CliRun R = RunCli("process " + Image + " -o " + D.File("fix.png") +
                        " --fix-gamma 40 --fix-contrast --output-black 5000",
                    D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(ReadBytes(D.File("auto.png")), ReadBytes(D.File("fix.png")));
  // A value beyond a slider's range is taken to the nearer end, and said so.
  R = RunCli("process " + Image + " -o " + D.File("g.png") + " --fix-gamma 99", D);
  EXPECT_EQ(R.Status, 0);
  EXPECT_NE(R.Err.find("outside the slider range"), std::string::npos);
  // Faults give their status and say why.
  const std::string Out = D.File("x.png");
  struct Case {
    std::string Args;
    int Status;
    std::string Text;
  } Cases[] = {
      {"process", 2, "-o OUT.png"},
      {"process " + Image + " -o " + Out + " --scale 11", 2, "--scale"},
      {"process " + Image + " -o " + Out + " --mode 3", 2, "need a region"},
      {"process " + Image + " -o " + Out + " --roi-size 9", 2, "--roi-size"},
      {"process " + Image + " -o " + Out + " --roi-size 1 --roi-left 100 --roi-top 0", 2,
       "does not fit"},
      {"process " + Image + " -o " + Out + " --input-black 3", 2, "--fix-contrast"},
      {"process " + D.File("none.fits") + " -o " + Out, 1, "Color images are not supported."},
      {"process " + Image + " -o " + D.File("no/dir/x.png"), 1, "no/dir"},
  };
  for (const Case& C : Cases) {
    const CliRun R = RunCli(C.Args, D);
    EXPECT_EQ(R.Status, C.Status) << C.Args << "\n" << R.Err;
    EXPECT_NE(R.Err.find(C.Text), std::string::npos) << C.Args << "\n" << R.Err;
  }
  // A region save without a region is refused before any activation starts.
  R = RunCli("process " + Image + " -o " + Out + " --activate --mode 4", D);
  EXPECT_EQ(R.Status, 2) << R.Err;
  EXPECT_EQ(R.Err.find("Processing"), std::string::npos) << R.Err;
  EXPECT_FALSE(fs::exists(D.File("Activation_Data/img.act")));
}

namespace {

// A 64 x 48 image of the given channel whose samples are Scale x a pattern.
std::string WriteFrame(const TempDir& D, const std::string& Name, int Scale = 1, int Width = 64,
                       int Bitpix = 16, int Wavelength = 171, const char* Instrument = "'AIA'") {
  const std::vector<std::string> Cards =
      ImageCards(Bitpix, Width, 48,
                 {Card("BZERO", "32768"), Card("WAVELNTH", std::to_string(Wavelength)),
                  Card("TELESCOP", "'SDO'"), Card("INSTRUME", Instrument),
                  Card("DATE-OBS", "'2013-06-24T17:31:30'")});
  std::vector<int32_t> S;
  for (int Y = 0; Y < 48; ++Y)
    for (int X = 0; X < Width; ++X) S.push_back(Scale * (100 + (X * 7 + Y * 13) % 900) - 32768);
  std::vector<uint8_t> Data;
  if (Bitpix == 16)
    Data = BigEndian(std::vector<int16_t>(S.begin(), S.end()));
  else
    Data = BigEndian(S);
  WriteBytes(D.File(Name), FitsFile(Cards, Data));
  return D.File(Name);
}

}  // namespace

TEST(CliProcess, AddSumsInTheOrderGiven) {
  TempDir D;
  const std::string One = WriteFrame(D, "one.fits"), Two = WriteFrame(D, "two.fits", 2);
  const std::string Three = WriteFrame(D, "three.fits", 3);
  ASSERT_EQ(RunCli("process " + Two + " -o " + D.File("two.png"), D).Status, 0);
  // one + one is two: the same samples, the same automatic levels, the same picture.
  CliRun R = RunCli("process " + One + " --add " + One + " -o " + D.File("sum.png"), D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(ReadBytes(D.File("sum.png")), ReadBytes(D.File("two.png")));
  ASSERT_EQ(RunCli("process " + Three + " -o " + D.File("three.png"), D).Status, 0);
  R = RunCli("process " + One + " --add " + One + " --add " + One + " -o " + D.File("sum3.png"), D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(ReadBytes(D.File("sum3.png")), ReadBytes(D.File("three.png")));
  // A summed image never reaches the activation cache.
  R = RunCli("process " + One + " --add " + One + " --activate -o " + D.File("a.png"), D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_FALSE(fs::exists(D.File("Activation_Data/one.act")));
}

TEST(CliProcess, AddRefusals) {
  TempDir D;
  const std::string One = WriteFrame(D, "one.fits");
  const struct {
    std::string Second, Message;
  } Cases[] = {
      {WriteFrame(D, "size.fits", 1, 65, 32, 193), "This image has incorrect size!"},
      {WriteFrame(D, "format.fits", 1, 64, 32, 193), "This image has incompatible data format!"},
      {WriteFrame(D, "channel.fits", 1, 64, 16, 193, "'HMI'"),
       "This image has incorrect wavelength!"},
      {WriteFrame(D, "instrument.fits", 1, 64, 16, 171, "'HMI'"),
       "This image was taken with different instrument!"},
  };
  for (const auto& C : Cases) {
    const CliRun R = RunCli("process " + One + " --add " + C.Second + " -o " + D.File("x.png"), D);
    EXPECT_EQ(R.Status, 1) << C.Second;
    EXPECT_NE(R.Err.find(C.Message), std::string::npos) << R.Err;
    EXPECT_FALSE(fs::exists(D.File("x.png"))) << C.Second;
  }
  EXPECT_EQ(RunCli("process " + One + " -o " + D.File("x.png") + " --add", D).Status, 2);
}
