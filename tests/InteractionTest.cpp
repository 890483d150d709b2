// Interaction beyond the window's widgets: the time-left text, typed level
// values on the shared state, and obra-cli ending cleanly on SIGINT/SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "Global.h"
#include "IniFile.h"
#include "TestSupport.h"

extern char** environ;

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

namespace {

// A signed 16-bit FITS image of W x H whose samples are 100 + a ramp; ZEL
// files hold value - 100 (their offset is 100).
// The ramp runs from the first row stored, the bottom one.
void WriteRamp(const std::string& File, int W, int H, bool Zel) {
  std::vector<std::string> Cards = {Card("WAVELNTH", "193")};
  if (Zel) Cards.push_back(Card("TELESCOP", "'ZEL'"));
  WriteFitsSamples(
      File, W, H, [H](int X, int Y) { return 100 + (X * 7 + (H - 1 - Y) * 13) % 900; },
      Zel ? 100 : 32768, Cards);
}

}  // namespace

TEST(EtaText, MinutesAndHoursRoundedUp) {
  EXPECT_EQ(EtaText(-1.0), "ETA --:--");
  EXPECT_EQ(EtaText(0.0), "ETA 0:00");
  EXPECT_EQ(EtaText(42.2), "ETA 0:43");
  EXPECT_EQ(EtaText(600.0), "ETA 10:00");
  EXPECT_EQ(EtaText(3725.0), "ETA 1:02:05");
  EXPECT_EQ(EtaText(1e12), "ETA 24:00:00");  // absurd early estimates are capped
}

class TypedLevels : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PrepareWorkflow(SmallEngineIni(193), S, Msg));
    WriteRamp(Dir.File("zel.fits"), 300, 200, true);
    S.OpenDialogFileName = Dir.File("zel.fits");
    ASSERT_TRUE(OpenImage(S));
    ASSERT_EQ(S.Image.ValueOffset, 100);
  }
  TempDir Dir;
  SharedState S;
  Messages Msg;
};

TEST_F(TypedLevels, InputLevelsAreTypedWithoutTheOffset) {
  const int32_t Shown = S.TrackBarBlack.Min + 5 - 100;
  EXPECT_EQ(TypeLevel(S, LevelPanel::Black, " " + std::to_string(Shown) + " "),
            TypedLevel::Applied);
  EXPECT_EQ(S.TrackBarBlack.Position, S.TrackBarBlack.Min + 5);
  EXPECT_EQ(S.InputBlack, S.TrackBarBlack.Min + 5);
  EXPECT_EQ(S.PanelBlack.Caption, std::to_string(Shown));
  EXPECT_EQ(TypeLevel(S, LevelPanel::White, "-70000"), TypedLevel::Clamped);
  EXPECT_EQ(S.InputWhite, S.TrackBarWhite.Min);
}

TEST_F(TypedLevels, DecimalsRoundHalfToEvenAndEndsClamp) {
  EXPECT_EQ(TypeLevel(S, LevelPanel::Gamma, "2,25"), TypedLevel::Applied);
  EXPECT_EQ(S.GammaSetting, 22);  // 22.5 rounds to the even 22
  EXPECT_EQ(S.PanelGamma.Caption, "2.2");
  EXPECT_EQ(TypeLevel(S, LevelPanel::Gamma, "9"), TypedLevel::Clamped);
  EXPECT_EQ(S.GammaSetting, 60);
  EXPECT_EQ(TypeLevel(S, LevelPanel::OutputBlack, "1e400"), TypedLevel::Clamped);
  EXPECT_EQ(S.OutputBlack, 24000);
  EXPECT_EQ(TypeLevel(S, LevelPanel::OutputWhite, "+41000"), TypedLevel::Applied);
  EXPECT_EQ(S.OutputWhite, 41000);
}

TEST_F(TypedLevels, NonsenseAndDisabledSlidersAreRefused) {
  const uint16_t Black = S.InputBlack;
  for (const char* T : {"", "abc", "12abc", "nan", "inf", "1.2.3"})
    EXPECT_EQ(TypeLevel(S, LevelPanel::Black, T), TypedLevel::Refused) << T;
  EXPECT_EQ(S.InputBlack, Black);
  // Without activation data the OBRA weight slider is disabled.
  ASSERT_FALSE(S.TrackBarEqWeight.Enabled);
  EXPECT_EQ(TypeLevel(S, LevelPanel::EqWeight, "0.1"), TypedLevel::Refused);
  S.PanelRightEnabled = false;  // an activation runs
  EXPECT_EQ(TypeLevel(S, LevelPanel::Gamma, "3.0"), TypedLevel::Refused);
}

// ---- obra-cli and stop signals -------------------------------------------------------

namespace {

struct Child {
  pid_t Pid = -1;
  // Exit status, -1 when it did not end in time (it is then killed).
  int WaitFor(std::chrono::milliseconds Limit) {
    int Raw = 0;
    if (WaitUntil([&] { return waitpid(Pid, &Raw, WNOHANG) == Pid; }, Limit))
      return WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -2;
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
    return -1;
  }
};

// Starts obra-cli with Args, its stdout and stderr going to ErrFile.
Child StartCli(const std::vector<std::string>& Args, const std::string& ErrFile) {
  std::vector<std::string> Argv = {CliPath()};
  Argv.insert(Argv.end(), Args.begin(), Args.end());
  std::vector<char*> P;
  for (std::string& A : Argv) P.push_back(A.data());
  P.push_back(nullptr);
  posix_spawn_file_actions_t Files;
  posix_spawn_file_actions_init(&Files);
  posix_spawn_file_actions_addopen(&Files, 2, ErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&Files, 2, 1);
  Child C;
  if (posix_spawn(&C.Pid, P[0], &Files, nullptr, P.data(), environ) != 0) C.Pid = -1;
  posix_spawn_file_actions_destroy(&Files);
  return C;
}

// Waits (bounded) until the progress shows a real estimate of the time left.
bool WaitForEta(const std::string& ErrFile) {
  const std::regex Eta("Processing +[0-9]+ %  ETA [0-9]+:[0-9][0-9]");
  return WaitUntil([&] { return std::regex_search(ReadText(ErrFile), Eta); },
                   std::chrono::seconds(120), std::chrono::milliseconds(20));
}

std::vector<std::string> FilesUnder(const fs::path& Dir) {
  std::vector<std::string> Names;
  for (const auto& E : fs::recursive_directory_iterator(Dir))
    if (E.is_regular_file()) Names.push_back(fs::relative(E.path(), Dir).string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::chrono::milliseconds ExitLimit{5000};
#else
constexpr std::chrono::milliseconds ExitLimit{1000};
#endif

}  // namespace

// A 4096 x 4096 frame at the shipped KerSize takes minutes; the signal comes
// once the progress shows its first estimate.
TEST(CliStopSignals, ProcessAndEqualizeEndCleanly) {
  TempDir D;
  const std::string Image = D.File("big.fits"), Err = D.File("err.txt");
  WriteRamp(Image, 4096, 4096, false);
  struct Case {
    std::vector<std::string> Args;
    int Signal;
  };
  const Case Cases[] = {
      {{"process", Image, "-o", D.File("out.png"), "--activate"}, SIGINT},
      {{"process", Image, "-o", D.File("out.png"), "--activate"}, SIGTERM},
      {{"equalize", Image, "-o", D.File("out.act")}, SIGTERM},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Args[0] + " " + std::to_string(C.Signal));
    Child P = StartCli(C.Args, Err);
    ASSERT_GT(P.Pid, 0);
    if (!WaitForEta(Err)) {
      P.WaitFor(std::chrono::milliseconds(0));
      FAIL() << "no estimate in the progress:\n" << ReadText(Err);
    }
    kill(P.Pid, C.Signal);
    EXPECT_EQ(P.WaitFor(ExitLimit), 128 + C.Signal) << ReadText(Err);
    EXPECT_NE(ReadText(Err).find("interrupted"), std::string::npos);
    // Only the image, the cache's read-me and the captured output remain:
    // no activation file, no picture, no temporary file.
    const std::vector<std::string> Want =
        C.Args[0] == "process"
            ? std::vector<std::string>{"Activation_Data/ReadMe.txt", "big.fits", "err.txt"}
            : std::vector<std::string>{"big.fits", "err.txt"};
    EXPECT_EQ(FilesUnder(D.Path()), Want);
    fs::remove_all(D.File("Activation_Data"));
  }
}
