// obra-cli equalize, run as a user runs it, against the engine called directly.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "../ImageFixtures.h"
#include "../TestSupport.h"
#include "AdaptiveEQ.h"
#include "IOGraphics.h"
#include "IniFile.h"

using namespace obra;

namespace {

std::string Cli() { return std::string(OBRA_BIN_DIR) + "/obra-cli"; }

// Runs obra-cli equalize with Args, its stderr into ErrFile; returns the exit status.
int RunCli(const std::string& Args, const std::string& ErrFile) {
  const int S = std::system((Cli() + " equalize " + Args + " 2>" + ErrFile).c_str());
  return WIFEXITED(S) ? WEXITSTATUS(S) : -1;
}

std::string TextOf(const std::string& File) {
  const std::vector<uint8_t> B = test::ReadBytes(File);
  return {B.begin(), B.end()};
}

class CliEqualize : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(Cli())) GTEST_SKIP() << "obra-cli not built";
    std::mt19937 Rng(4);
    std::vector<int16_t> V(40 * 30);
    for (int16_t& S : V) S = static_cast<int16_t>(Rng() % 9 ? 100 + Rng() % 2900 : 0);
    Fits = Dir.File("frame.fits");
    test::WriteBytes(Fits, test::FitsFile(test::ImageCards(16, 40, 30), test::BigEndian(V)));
  }
  test::TempDir Dir;
  std::string Fits;
};

}  // namespace

TEST_F(CliEqualize, WritesTheRectangleAsTheEngineComputesIt) {
  const std::string Prod = Dir.File("p.act"), Ref = Dir.File("r.act"), Err = Dir.File("err");
  ASSERT_EQ(RunCli(Fits + " -o " + Prod + " --roi 5,4,20,18 --threads 3", Err), 0) << TextOf(Err);
  const std::string Progress = TextOf(Err);
  EXPECT_NE(Progress.find("Processing     0 %\n"), std::string::npos) << Progress;
  EXPECT_NE(Progress.find("Processing     100 %\n"), std::string::npos) << Progress;
  ASSERT_EQ(RunCli(Fits + " -o " + Ref + " --roi 5,4,20,18 --engine reference --threads 1", Err),
            0);
  EXPECT_EQ(test::ReadBytes(Prod), test::ReadBytes(Ref));

  // The same run through the engine, with the configuration beside obra-cli.
  ImageRecord In, Act;
  std::vector<uint16_t> Samples, Written;
  LoadImageFile(Fits, In, Samples, 16, true, false, nullptr);
  LoadImageFile(Prod, Act, Written, 0, true, false, nullptr);
  ASSERT_TRUE(In.Valid);
  ASSERT_TRUE(Act.Valid);
  ASSERT_EQ(Act.Width, 40);
  ASSERT_EQ(Act.Height, 30);
  Parameters P;
  ASSERT_FALSE(ReadIniFile(std::string(OBRA_BIN_DIR) + "/OBRA.ini", P).Fatal);
  KernelTableType Kernel;
  NoiseKernelType Noise;
  BuildKernels(P, Kernel, Noise);
  std::vector<uint16_t> Want(Samples.size(), 0);
  EqualizeJob J;
  J.Input = Samples.data();
  J.Output = Want.data();
  J.Width = 40;
  J.Height = 30;
  J.MinValue = In.MinValue;
  J.MaxValue = In.MaxValue;
  J.RoiLeft = 5;
  J.RoiTop = 4;
  J.RoiWidth = 20;
  J.RoiHeight = 18;
  J.KerSize = P.KerSize;
  J.NoiseHalfLength = P.NoiseHalfLength;
  J.Kernel = &Kernel;
  J.Noise = &Noise;
  std::atomic<int32_t> Done{0};
  EqualizeBand(J, 0, 1, Done, EngineKind::Reference);
  EXPECT_EQ(Written, Want);  // 0 outside the rectangle
}

TEST_F(CliEqualize, WholeFrameByDefault) {
  const std::string Out = Dir.File("w.act"), Err = Dir.File("err");
  ASSERT_EQ(RunCli(Fits + " -o " + Out, Err), 0) << TextOf(Err);
  ImageRecord Act;
  std::vector<uint16_t> Written;
  LoadImageFile(Out, Act, Written, 0, true, false, nullptr);
  ASSERT_TRUE(Act.Valid);
  EXPECT_GT(std::count_if(Written.begin(), Written.begin() + 40, [](uint16_t V) { return V; }), 0);
}

TEST_F(CliEqualize, FailuresExitNonZeroWithAMessage) {
  const std::string Err = Dir.File("err"), Out = Dir.File("x.act");
  EXPECT_EQ(RunCli(Dir.File("missing.fits") + " -o " + Out, Err), 1);
  EXPECT_NE(TextOf(Err).find("missing.fits"), std::string::npos);
  EXPECT_EQ(RunCli(Fits + " -o " + Out + " --roi 30,0,11,5", Err), 2);
  EXPECT_NE(TextOf(Err).find("rectangle"), std::string::npos);
  EXPECT_EQ(RunCli(Fits + " -o " + Out + " --roi 1,2,3", Err), 2);
  EXPECT_EQ(RunCli(Fits + " -o " + Out + " --threads 0", Err), 2);
  EXPECT_EQ(RunCli(Fits + " -o " + Out + " --engine fast", Err), 2);
  EXPECT_EQ(RunCli(Fits, Err), 2);
  EXPECT_EQ(RunCli(Fits + " -o " + Dir.File("no/such/dir/x.act"), Err), 1);
  EXPECT_NE(TextOf(Err).find("cannot write"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Out));
}
