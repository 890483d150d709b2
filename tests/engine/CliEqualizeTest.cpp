// obra-cli equalize, run as a user runs it, against the engine called directly.
#include <gtest/gtest.h>

#include "../TestSupport.h"
#include "EngineDetail.h"
#include "EngineFixtures.h"
#include "IniFile.h"

using namespace obra;
using namespace obra::test;

namespace {

class CliEqualize : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(CliPath())) GTEST_SKIP() << "obra-cli not built";
    std::mt19937 Rng(4);
    std::vector<int16_t> V(40 * 30);
    for (int16_t& S : V) S = static_cast<int16_t>(Rng() % 9 ? 100 + Rng() % 2900 : 0);
    WriteBytes(Fits, FitsFile(ImageCards(16, 40, 30), BigEndian(V)));
  }
  CliRun Equalize(const std::string& Args) { return RunCli("equalize " + Fits + " " + Args, Dir); }
  // The samples of an activation file written by obra-cli.
  std::vector<uint16_t> Written(const std::string& File) {
    ImageRecord R;
    std::vector<uint16_t> S;
    LoadImageFile(File, R, S, 0, true, false, nullptr);
    EXPECT_TRUE(R.Valid);
    EXPECT_EQ(R.Width, 40);
    EXPECT_EQ(R.Height, 30);
    return S;
  }
  TempDir Dir;
  const std::string Fits = Dir.File("frame.fits");
};

}  // namespace

TEST_F(CliEqualize, WritesTheRectangleAsTheEngineComputesIt) {
  const std::string Prod = Dir.File("p.act"), Ref = Dir.File("r.act");
  CliRun R = Equalize("-o " + Prod + " --roi 5,4,20,18 --threads 3");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find("Processing     0 %  ETA --:--\n"), std::string::npos) << R.Err;
  EXPECT_NE(R.Err.find("Processing     100 %  ETA 0:00\n"), std::string::npos) << R.Err;
  ASSERT_EQ(Equalize("-o " + Ref + " --roi 5,4,20,18 --engine reference --threads 1").Status, 0);
  EXPECT_EQ(ReadBytes(Prod), ReadBytes(Ref));
  // Every variant this processor runs, forced, writes the same file.
  for (detail::EngineIsa Isa : detail::AllIsas) {
    if (!detail::IsaSupported(Isa)) continue;
    const std::string Forced = Dir.File(std::string("f_") + detail::IsaName(Isa) + ".act");
    ASSERT_EQ(Equalize("-o " + Forced + " --roi 5,4,20,18 --isa " + detail::IsaName(Isa)).Status,
              0);
    EXPECT_EQ(ReadBytes(Forced), ReadBytes(Ref)) << detail::IsaName(Isa);
  }

  // The same run through the engine, with the configuration beside obra-cli;
  // 0 outside the rectangle.
  const FullLoad In = LoadWholeFile(Fits);
  Parameters P;
  ASSERT_FALSE(ReadIniFile(std::string(OBRA_BIN_DIR) + "/OBRA.ini", P).Fatal);
  const Tables T = Built(P);
  std::vector<uint16_t> Want(In.Buffer.size(), 0);
  const EqualizeJob J = MakeJob(In.Buffer.data(), Want.data(), 40, 30, In.R.MinValue, In.R.MaxValue,
                                {5, 4, 20, 18}, P, T.Kernel, T.Noise);
  EXPECT_EQ(Written(Prod), RunInto(J, Want, EngineKind::Reference));

  // Without --roi the whole frame, first row included.
  ASSERT_EQ(Equalize("-o " + Prod).Status, 0);
  const std::vector<uint16_t> Whole = Written(Prod);
  EXPECT_GT(std::count_if(Whole.begin(), Whole.begin() + 40, [](uint16_t V) { return V; }), 0);
}

TEST_F(CliEqualize, FailuresExitNonZeroWithAMessage) {
  const std::string Out = Dir.File("x.act");
  CliRun R = RunCli("equalize " + Dir.File("missing.fits") + " -o " + Out, Dir);
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("missing.fits"), std::string::npos);
  R = Equalize("-o " + Out + " --roi 30,0,11,5");
  EXPECT_EQ(R.Status, 2);
  EXPECT_NE(R.Err.find("rectangle"), std::string::npos);
  for (const char* Bad : {" --roi 1,2,3", " --threads 0", " --engine fast", " --isa sse9"})
    EXPECT_EQ(Equalize("-o " + Out + Bad).Status, 2) << Bad;
  EXPECT_EQ(Equalize("").Status, 2);
  // An unknown variant is answered with the names of the known ones.
  EXPECT_NE(Equalize("-o " + Out + " --isa sse9").Err.find("avx512-values"), std::string::npos);
  for (detail::EngineIsa Isa : detail::AllIsas)
    if (!detail::IsaSupported(Isa)) {
      R = Equalize("-o " + Out + " --isa " + detail::IsaName(Isa));
      EXPECT_EQ(R.Status, 2);
      EXPECT_NE(R.Err.find("does not run"), std::string::npos);
    }
  R = Equalize("-o " + Dir.File("no/such/dir/x.act"));
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("cannot write"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Out));
}
