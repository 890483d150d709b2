// A workflow state reads its configuration and fills its lookup tables
// through its own tables: one given tables of its own works beside the
// process's tables without touching them, and gets what a state on the
// process's tables gets from the same configuration.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "AdaptiveEQ.h"
#include "Global.h"
#include "IniFile.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

Parameters Config(const std::string& Text) {
  Parameters P;
  std::istringstream In(Text);
  EXPECT_FALSE(ReadIniStream(In, P).Fatal);
  return P;
}

const std::string Small =
    "KerSize 3\nNRSigma 2\nGlobalB 1\nLocalB 0\nGlobalW 1\nLocalW 0\nGamma193 30\nObra193 10\n"
    "KerS_20  1\nKerS_10  0.5\n";
const std::string Other =
    "KerSize 2\nNRSigma 1\nGlobalB 1\nLocalB 0\nGlobalW 1\nLocalW 0\nGamma193 45\nObra193 25\n"
    "KerS_10  1\n";

void WriteImage(const std::string& File) {
  constexpr int W = 90, H = 70;
  std::vector<int16_t> S;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) S.push_back(int16_t((X * 53 + Y * 97) % 3000 + 100 - 32768));
  WriteBytes(File, FitsFile(ImageCards(16, W, H, {Card("BZERO", "32768"), Card("WAVELNTH", "193")}),
                            BigEndian(S)));
}

// Opens File in S and runs its activation to the end, polling like the
// window's timer for at most a minute.
void OpenAndActivate(SharedState& S, const std::string& File, Messages& Msg) {
  InitializeState(S);
  S.ThreadCount = 2;
  S.ShowMessage = Msg.Sink();
  S.CheckBoxAutoSaveActivated.Down = false;
  S.OpenDialogFileName = File;
  ASSERT_TRUE(OpenImage(S));
  ASSERT_TRUE(StartActivation(S));
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  bool Done = false;
  while (!(Done = Timer1Timer(S)) && std::chrono::steady_clock::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(Done) << "the activation did not end within a minute";
}

// Puts the process's tables back as they were, whatever the test's outcome.
struct KeepProcessTables {
  Parameters P = Params;
  KernelTableType K = KernelTable;
  NoiseKernelType N = NoiseKernel;
  GammaLutType G = GammaLut;
  DisplayLutType D = DisplayLut;
  ~KeepProcessTables() {
    Params = P, KernelTable = K, NoiseKernel = N, GammaLut = G, DisplayLut = D;
  }
};

}  // namespace

TEST(WorkflowTables, OwnTablesLeaveTheProcessTablesAlone) {
  KeepProcessTables Keep;
  TempDir Dir;
  const std::string Image = Dir.File("x.fits");
  WriteImage(Image);
  Params = Config(Small);
  BuildKernels();
  const KernelTableType ProcessKernel = KernelTable;
  FillGammaLut(0, 65535, 22);
  FillDisplayLut(0, 65535, 10);
  const GammaLutType ProcessGamma = GammaLut;
  const DisplayLutType ProcessDisplay = DisplayLut;

  Messages Msg;
  SharedState Own;
  Own.UseOwnTables(Config(Other));
  OpenAndActivate(Own, Image, Msg);
  EXPECT_TRUE(Msg.List.empty());
  EXPECT_TRUE(Own.ActivationReady);
  EXPECT_EQ(Own.TrackBarGamma.Position, 45);
  EXPECT_EQ(Own.Config().KerSize, 2);
  EXPECT_EQ(Params.KerSize, 3);
  EXPECT_EQ(Params.Gamma193, 30);
  EXPECT_TRUE(KernelTable.Entries == ProcessKernel.Entries);
  EXPECT_TRUE(GammaLut == ProcessGamma);
  EXPECT_TRUE(DisplayLut == ProcessDisplay);
  EXPECT_FALSE(*Own.Tables.GammaLut == ProcessGamma);

  // A state on the process's tables with the same configuration gets the same.
  Params = Config(Other);
  BuildKernels();
  SharedState Process;
  OpenAndActivate(Process, Image, Msg);
  EXPECT_EQ(Process.TrackBarGamma.Position, 45);
  EXPECT_TRUE(Process.ActivationImage == Own.ActivationImage);
  EXPECT_TRUE(Process.ResultImage == Own.ResultImage);
  EXPECT_TRUE(*Process.Tables.GammaLut == *Own.Tables.GammaLut);
}
