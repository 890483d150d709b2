// A workflow state reads its configuration and fills its lookup tables
// through its own tables: one given tables of its own works beside the
// process's tables without touching them, and gets what a state on the
// process's tables gets from the same configuration. The batch step runs in
// process here, activations and all, so the race checks cover it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

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

void WriteImage(const std::string& File, int Seed = 0) {
  constexpr int W = 90, H = 70;
  std::vector<int16_t> S;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      S.push_back(int16_t((X * 53 + Y * 97 + Seed * 31) % 3000 + 100 - 32768));
  WriteBytes(File, FitsFile(ImageCards(16, W, H, {Card("BZERO", "32768"), Card("WAVELNTH", "193")}),
                            BigEndian(S)));
}

void Prepare(SharedState& S, Messages& Msg) {
  InitializeState(S);
  S.ThreadCount = 2;
  S.ShowMessage = Msg.Sink();
}

// Opens File in S and runs its activation to the end.
void OpenAndActivate(SharedState& S, const std::string& File, Messages& Msg) {
  Prepare(S, Msg);
  S.CheckBoxAutoSaveActivated.Down = false;
  S.OpenDialogFileName = File;
  ASSERT_TRUE(OpenImage(S));
  ASSERT_TRUE(StartActivation(S));
  ASSERT_TRUE(AwaitActivation(S)) << "the activation did not end";
}

// The PNG files of Dir, name and bytes, in name order.
std::map<std::string, std::vector<uint8_t>> Pictures(const TempDir& Dir) {
  std::map<std::string, std::vector<uint8_t>> Found;
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path()))
    if (E.path().extension() == ".png") Found[E.path().filename().string()] = ReadBytes(E.path());
  return Found;
}

// Runs a batch over every FITS file of Dir with activation and full frames,
// overwriting what exists.
void RunBatch(SharedState& S, const TempDir& Dir) {
  S.ImageDir = Dir.Path().string();
  BatchFormShow(S);
  BatchSelectAll(S, true);
  BatchProcessClick(S, BatchFull);
  BatchNamingClick(S, BatchSuffix);
  S.AskYesNoCancel = [](const std::string&) { return Answer::Yes; };
  ASSERT_TRUE(BatchRunClick(S));
  ASSERT_TRUE(WaitUntil([&] {
    Timer1Timer(S);
    return !S.Batch.Running || S.Batch.Halted;
  })) << "the batch run did not end";
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

// Three files, none cached: each is activated by the workers, stored and saved.
// A second run finds every activation cached and writes the same pictures.
TEST(WorkflowBatch, RunActivatesStoresAndSavesEveryFile) {
  TempDir Dir;
  for (int I = 0; I < 3; ++I) WriteImage(Dir.File("f" + std::to_string(I) + ".fits"), I);
  Messages Msg;
  SharedState S;
  Prepare(S, Msg);
  S.UseOwnTables(Config(Small));
  RunBatch(S, Dir);
  EXPECT_TRUE(Msg.List.empty()) << (Msg.List.empty() ? "" : Msg.List[0]);
  EXPECT_EQ(S.Batch.Saved, 3);
  EXPECT_EQ(S.Batch.Failed, 0);
  for (int I = 0; I < 3; ++I)
    EXPECT_TRUE(std::filesystem::exists(Dir.File("Activation_Data/f" + std::to_string(I) + ".act")))
        << I;
  const auto First = Pictures(Dir);
  EXPECT_EQ(First.size(), 3u);

  RunBatch(S, Dir);
  EXPECT_EQ(S.Batch.Saved, 3);
  EXPECT_TRUE(Pictures(Dir) == First);
}
