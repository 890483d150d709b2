// Activation control: worker threads over one job, progress, refusals and
// shutdown. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../TestSupport.h"
#include "Activation.h"
#include "EngineFixtures.h"

using namespace obra;
using namespace obra::test;

namespace {

struct Fixture {
  Tables T = ShippedLike(10);
  Image In;
  std::vector<uint16_t> Output;
  EqualizeJob Job;

  Fixture(int32_t W, int32_t H, int32_t R) : In(Blank(W, H)) {
    std::mt19937 Rng(1);
    for (uint16_t& V : In.Samples) V = static_cast<uint16_t>(Rng() % 8 ? 500 + Rng() % 300 : 0);
    Job = JobFor(In, Output, T, R, 20);
  }
  std::vector<uint16_t> SingleThreaded(EngineKind Kind) const {
    return RunInto(Job, std::vector<uint16_t>(Output.size(), Sentinel), Kind);
  }
  bool Untouched() const {
    return std::count(Output.begin(), Output.end(), Sentinel) == std::ssize(Output);
  }
};

// Polls like the window's timer until the workers report every column.
bool WaitForCompletion(const Activation& A, int32_t RoiWidth) {
  return WaitUntil([&] { return A.WorkerProgress() == RoiWidth; }, std::chrono::minutes(5),
                   std::chrono::milliseconds(1));
}

}  // namespace

TEST(Activation, ThreadedRunEqualsSingleThreaded) {
  EXPECT_GE(ProcessorCount(), 1);
  EXPECT_LE(ProcessorCount(), MaxThreads);
  for (EngineKind Kind : {EngineKind::Production, EngineKind::Reference}) {
    Fixture F(61, 23, Kind == EngineKind::Reference ? 6 : 30);
    const std::vector<uint16_t> Want = F.SingleThreaded(Kind);
    for (int32_t Threads : {1, 2, 5, 16, 64}) {
      std::fill(F.Output.begin(), F.Output.end(), Sentinel);
      Activation A;
      ASSERT_TRUE(A.StartWorkers(F.Job, Threads, Kind));
      ASSERT_TRUE(A.Running());
      ASSERT_TRUE(WaitForCompletion(A, F.Job.RoiWidth));
      // The acquire loads that saw the last column make every sample visible.
      EXPECT_EQ(F.Output, Want) << Threads;
      A.Wait();
      EXPECT_FALSE(A.Running());
      EXPECT_EQ(A.WorkerProgress(), F.Job.RoiWidth);
    }
  }
}

TEST(Activation, DealtBandsOfEveryVariantEqualTheReference) {
  // Wide enough for many dealt bands; the left third is dark, so cheap.
  Fixture F(170, 29, 12);
  for (int32_t Y = 0; Y < 29; ++Y)
    for (int32_t X = 0; X < 60; ++X) F.In.At(X, Y) = 0;
  const std::vector<uint16_t> Want = F.SingleThreaded(EngineKind::Reference);
  for (detail::EngineIsa Isa : detail::AllIsas) {
    if (!detail::IsaSupported(Isa)) continue;
    detail::ForceIsa(Isa);
    for (int32_t Threads : {2, 3}) {
      std::fill(F.Output.begin(), F.Output.end(), Sentinel);
      Activation A;
      ASSERT_TRUE(A.StartWorkers(F.Job, Threads));
      ASSERT_TRUE(WaitForCompletion(A, F.Job.RoiWidth));
      A.Wait();
      EXPECT_EQ(A.WorkerProgress(), F.Job.RoiWidth);
      EXPECT_EQ(F.Output, Want) << detail::IsaName(Isa) << " " << Threads;
    }
  }
  detail::ForceIsa(std::nullopt);
}

TEST(Activation, NarrowAndEmptyRectanglesComplete) {
  Fixture F(40, 12, 4);
  Activation A;
  ASSERT_TRUE(A.StartWorkers(WithRoi(F.Job, {30, 0, 3, 12}), 8));
  ASSERT_TRUE(WaitForCompletion(A, 3));
  A.Wait();
  // One dealt band: the workers that can never get one need no scratch.
  EXPECT_EQ(A.ThreadCount(), 8);
  EXPECT_GT(A.ScratchBytes(0), 0u);
  EXPECT_EQ(A.ScratchBytes(7), 0u);
  std::fill(F.Output.begin(), F.Output.end(), Sentinel);
  ASSERT_TRUE(A.StartWorkers(WithRoi(F.Job, {0, 0, 40, 0}), 3));
  ASSERT_TRUE(WaitForCompletion(A, 40));
  A.Wait();
  ASSERT_TRUE(A.StartWorkers(WithRoi(F.Job, {0, 0, 0, 12}), 3));
  A.Wait();
  EXPECT_EQ(A.WorkerProgress(), 0);
  EXPECT_TRUE(F.Untouched());
}

TEST(Activation, RefusesBadStartsAndASecondStartWhileRunning) {
  Fixture F(120, 60, 20);
  Activation A;
  EqualizeJob Bad = F.Job;
  Bad.KerSize = 65;
  EXPECT_FALSE(A.StartWorkers(F.Job, 0));
  EXPECT_FALSE(A.StartWorkers(F.Job, MaxThreads + 1));
  EXPECT_FALSE(A.StartWorkers(Bad, 2));
  EXPECT_FALSE(A.StartWorkers(WithRoi(F.Job, {0, 0, 121, 60}), 2));
  EXPECT_FALSE(A.Running());
  EXPECT_TRUE(F.Untouched());
  ASSERT_TRUE(A.StartWorkers(F.Job, 2, EngineKind::Reference));
  EXPECT_FALSE(A.StartWorkers(F.Job, 2));
  A.Wait();
  EXPECT_EQ(A.WorkerProgress(), 120);
  EXPECT_TRUE(A.StartWorkers(F.Job, 2));
  A.Wait();
  EXPECT_EQ(A.WorkerProgress(), 120);
}

TEST(Activation, DestroyingARunningActivationStopsAndJoins) {
  // A run of many seconds; the destructor ends it after the columns in
  // progress, leaving the buffers untouched from then on.
  Fixture F(400, 300, 64);
  {
    Activation A;
    ASSERT_TRUE(A.StartWorkers(F.Job, 2, EngineKind::Reference));
  }
  EXPECT_GT(std::count(F.Output.begin(), F.Output.end(), Sentinel), 0);
  const std::vector<uint16_t> After = F.Output;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(F.Output, After);
}

TEST(Activation, QuittingDuringARunExitsCleanly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // Constructed before the activation, so destroyed after it at exit.
        static Fixture F(300, 200, 64);
        static Activation A;
        if (!A.StartWorkers(F.Job, 2, EngineKind::Reference)) std::_Exit(3);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(Activation, WorkersKeepTheTablesOfTheirStart) {
  // A configuration read during a run rebuilds the process-wide tables; the
  // run (long enough to be under way) goes on with the tables it started with.
  Fixture F(160, 80, 30);
  const std::vector<uint16_t> Want = F.SingleThreaded(EngineKind::Reference);
  Activation A;
  ASSERT_TRUE(A.StartWorkers(F.Job, 2, EngineKind::Reference));
  F.T.Kernel.Entries.fill(0.0f);
  F.T.Noise.Entries.fill(0.0f);
  A.Wait();
  EXPECT_EQ(F.Output, Want);
}

TEST(Activation, ProgressPercentRoundsHalfToEven) {
  const int32_t Cases[][3] = {{1, 40, 2}, {3, 40, 8},  {1, 3, 33}, {2, 3, 67},
                              {0, 7, 0},  {7, 7, 100}, {0, 0, 100}};
  for (const auto& C : Cases) EXPECT_EQ(ProgressPercent(C[0], C[1]), C[2]) << C[0] << "/" << C[1];
}

TEST(Activation, StopJoinsAndLeavesTheOutputAlone) {
  // Tall columns at the largest kernel, so a column is slow and the run long.
  for (EngineKind Kind : {EngineKind::Production, EngineKind::Reference}) {
    SCOPED_TRACE(Kind == EngineKind::Reference ? "reference" : "production");
    Fixture F(300, 1024, 64);
    Activation A;
    ASSERT_TRUE(A.StartWorkers(F.Job, 2, Kind));
    WaitUntil([&] { return A.WorkerProgress() > 0; }, std::chrono::seconds(60),
              std::chrono::milliseconds(1));
    ASSERT_GT(A.WorkerProgress(), 0);
    A.Stop();
    EXPECT_FALSE(A.Running());
    const int32_t Done = A.WorkerProgress();
    EXPECT_LT(Done, 300);
    const std::vector<uint16_t> After = F.Output;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(F.Output, After);
    EXPECT_EQ(A.WorkerProgress(), Done);
    A.Stop();  // a second stop, with nothing running, returns at once
    EXPECT_FALSE(A.Running());
  }
}

TEST(Activation, SecondsLeftFollowsTheColumnsDone) {
  Fixture F(60, 40, 8);
  Activation A;
  EXPECT_LT(A.SecondsLeft(), 0.0);  // nothing started, nothing done
  ASSERT_TRUE(A.StartWorkers(F.Job, 2));
  A.Wait();
  EXPECT_EQ(A.SecondsLeft(), 0.0);
}
