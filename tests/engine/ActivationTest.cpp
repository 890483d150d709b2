#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "Activation.h"
#include "AdaptiveEQ.h"

using namespace obra;

namespace {

struct Fixture {
  KernelTableType Kernel;
  NoiseKernelType Noise;
  std::vector<uint16_t> Input, Output;
  EqualizeJob Job;

  Fixture(int32_t W, int32_t H, int32_t R, uint32_t Seed = 1) {
    Parameters P;
    P.KerS_160 = P.KerS_40 = 1.0f;
    P.KerS_20 = 0.5f;
    P.NRSigma = 10;
    BuildKernels(P, Kernel, Noise);
    std::mt19937 Rng(Seed);
    Input.resize(size_t(W) * H);
    for (uint16_t& V : Input) V = static_cast<uint16_t>(Rng() % 8 ? 500 + Rng() % 300 : 0);
    Output.assign(Input.size(), 7);
    Job.Input = Input.data();
    Job.Output = Output.data();
    Job.Width = W;
    Job.Height = H;
    Job.MinValue = 500;
    Job.MaxValue = 799;
    Job.RoiWidth = W;
    Job.RoiHeight = H;
    Job.KerSize = R;
    Job.NoiseHalfLength = 20;
    Job.Kernel = &Kernel;
    Job.Noise = &Noise;
  }

  std::vector<uint16_t> SingleThreaded(EngineKind Kind) {
    std::vector<uint16_t> Out(Input.size(), 7);
    EqualizeJob J = Job;
    J.Output = Out.data();
    std::atomic<int32_t> P{0};
    EqualizeBand(J, 0, 1, P, Kind);
    return Out;
  }
};

// Polls like the window's timer until the workers report every column.
bool WaitForCompletion(const Activation& A, int32_t RoiWidth) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  while (A.WorkerProgress() != RoiWidth) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

TEST(Activation, ProcessorCountIsOneToSixtyFour) {
  EXPECT_GE(ProcessorCount(), 1);
  EXPECT_LE(ProcessorCount(), MaxThreads);
}

TEST(Activation, ThreadedRunEqualsSingleThreaded) {
  for (EngineKind Kind : {EngineKind::Production, EngineKind::Reference}) {
    Fixture F(61, 23, Kind == EngineKind::Reference ? 6 : 30);
    const std::vector<uint16_t> Want = F.SingleThreaded(Kind);
    for (int32_t Threads : {1, 2, 5, 64}) {
      F.Output.assign(F.Input.size(), 7);
      Activation A;
      ASSERT_TRUE(A.StartWorkers(F.Job, Threads, Kind));
      EXPECT_TRUE(A.Running());
      ASSERT_TRUE(WaitForCompletion(A, F.Job.RoiWidth));
      // The acquire loads that saw the last column make every sample visible.
      EXPECT_EQ(F.Output, Want) << Threads;
      A.Wait();
      EXPECT_FALSE(A.Running());
      EXPECT_EQ(A.WorkerProgress(), F.Job.RoiWidth);
    }
  }
}

TEST(Activation, RectangleNarrowerThanThreadCountCompletes) {
  Fixture F(40, 12, 4);
  F.Job.RoiLeft = 30;
  F.Job.RoiWidth = 3;
  Activation A;
  ASSERT_TRUE(A.StartWorkers(F.Job, 8));
  ASSERT_TRUE(WaitForCompletion(A, 3));
  A.Wait();
  EXPECT_EQ(A.WorkerProgress(), 3);
  EXPECT_EQ(A.ThreadCount(), 8);
  EXPECT_EQ(A.ScratchBytes(0), 0u);  // an empty band needs no scratch
  EXPECT_GT(A.ScratchBytes(7), 0u);
}

TEST(Activation, EmptyRectangleIsCompleteAtOnce) {
  Fixture F(10, 10, 2);
  F.Job.RoiHeight = 0;
  Activation A;
  ASSERT_TRUE(A.StartWorkers(F.Job, 3));
  ASSERT_TRUE(WaitForCompletion(A, 10));
  F.Job.RoiWidth = 0;
  A.Wait();
  ASSERT_TRUE(A.StartWorkers(F.Job, 3));
  A.Wait();
  EXPECT_EQ(A.WorkerProgress(), 0);
  for (uint16_t V : F.Output) EXPECT_EQ(V, 7);
}

TEST(Activation, RefusesBadStartsWithNothingRunning) {
  Fixture F(20, 20, 3);
  Activation A;
  EXPECT_FALSE(A.StartWorkers(F.Job, 0));
  EXPECT_FALSE(A.StartWorkers(F.Job, MaxThreads + 1));
  EqualizeJob Bad = F.Job;
  Bad.KerSize = 65;
  EXPECT_FALSE(A.StartWorkers(Bad, 2));
  Bad = F.Job;
  Bad.RoiWidth = 21;
  EXPECT_FALSE(A.StartWorkers(Bad, 2));
  EXPECT_FALSE(A.Running());
  for (uint16_t V : F.Output) EXPECT_EQ(V, 7);
}

TEST(Activation, SecondStartWhileRunningIsRefused) {
  Fixture F(120, 60, 20);
  Activation A;
  ASSERT_TRUE(A.StartWorkers(F.Job, 2, EngineKind::Reference));
  EXPECT_FALSE(A.StartWorkers(F.Job, 2));
  A.Wait();
  EXPECT_EQ(A.WorkerProgress(), 120);
  EXPECT_TRUE(A.StartWorkers(F.Job, 2));
  A.Wait();
  EXPECT_EQ(A.WorkerProgress(), 120);
}

TEST(Activation, DestroyingARunningActivationStopsAndJoins) {
  // A run of many seconds; the destructor must end it after the columns in
  // progress, leaving the buffers untouched from then on.
  Fixture F(400, 300, 64);
  {
    Activation A;
    ASSERT_TRUE(A.StartWorkers(F.Job, 2, EngineKind::Reference));
  }
  size_t Untouched = 0;
  for (uint16_t V : F.Output) Untouched += V == 7;
  EXPECT_GT(Untouched, 0u);
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

TEST(Activation, ProgressPercentRoundsHalfToEven) {
  EXPECT_EQ(ProgressPercent(1, 40), 2);  // 2.5
  EXPECT_EQ(ProgressPercent(3, 40), 8);  // 7.5
  EXPECT_EQ(ProgressPercent(1, 3), 33);
  EXPECT_EQ(ProgressPercent(2, 3), 67);
  EXPECT_EQ(ProgressPercent(0, 7), 0);
  EXPECT_EQ(ProgressPercent(7, 7), 100);
  EXPECT_EQ(ProgressPercent(0, 0), 100);
}

TEST(Activation, WorkersKeepTheTablesOfTheirStart) {
  // A configuration read during a run rebuilds the process-wide tables; the
  // run goes on with the tables it started with.
  Fixture F(50, 30, 8);
  const std::vector<uint16_t> Want = F.SingleThreaded(EngineKind::Production);
  Activation A;
  ASSERT_TRUE(A.StartWorkers(F.Job, 2));
  F.Kernel.Entries.fill(0.0f);
  F.Noise.Entries.fill(0.0f);
  A.Wait();
  EXPECT_EQ(F.Output, Want);
}
