#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "../TestSupport.h"
#include "AdaptiveEQ.h"
#include "EngineDetail.h"
#include "IOGraphics.h"
#include "IniFile.h"

using namespace obra;
using detail::EngineIsa;

namespace {

constexpr uint16_t Sentinel = 0xBEEF;

struct Tables {
  KernelTableType Kernel;
  NoiseKernelType Noise;
};

// Tables as the configuration read builds them.
Tables Built(float Parameters::*Key, float Weight, int32_t NRSigma) {
  Parameters P;
  P.*Key = Weight;
  P.NRSigma = NRSigma;
  Tables T;
  BuildKernels(P, T.Kernel, T.Noise);
  return T;
}

Tables ShippedLike(int32_t NRSigma) {
  Parameters P;
  P.KerS_220 = 0.5f;
  P.KerS_160 = P.KerS_110 = P.KerS_80 = P.KerS_56 = P.KerS_40 = 1.0f;
  P.KerS_28 = P.KerS_20 = 0.5f;
  P.NRSigma = NRSigma;
  Tables T;
  BuildKernels(P, T.Kernel, T.Noise);
  return T;
}

struct Image {
  int32_t Width = 0, Height = 0;
  std::vector<uint16_t> Samples;
  uint16_t& At(int32_t X, int32_t Y) { return Samples[static_cast<size_t>(Y) * Width + X]; }
};

Image Blank(int32_t W, int32_t H) { return {W, H, std::vector<uint16_t>(size_t(W) * H, 0)}; }

EqualizeJob JobFor(const Image& In, std::vector<uint16_t>& Out, const Tables& T, int32_t R) {
  Out.assign(In.Samples.size(), Sentinel);
  EqualizeJob J;
  J.Input = In.Samples.data();
  J.Output = Out.data();
  J.Width = In.Width;
  J.Height = In.Height;
  J.MinValue = 65535;
  J.MaxValue = 0;
  for (uint16_t V : In.Samples)
    if (V != 0) {
      J.MinValue = std::min<int32_t>(J.MinValue, V);
      J.MaxValue = std::max<int32_t>(J.MaxValue, V);
    }
  J.RoiWidth = In.Width;
  J.RoiHeight = In.Height;
  J.KerSize = R;
  J.NoiseHalfLength = 0;
  J.Kernel = &T.Kernel;
  J.Noise = &T.Noise;
  return J;
}

// Job with the rectangle Left, Top, Width, Height.
EqualizeJob WithRoi(EqualizeJob Job, const int32_t (&Rc)[4]) {
  Job.RoiLeft = Rc[0];
  Job.RoiTop = Rc[1];
  Job.RoiWidth = Rc[2];
  Job.RoiHeight = Rc[3];
  return Job;
}

// Runs all Count workers of Job one after the other; returns the progress sum.
int32_t RunAll(const EqualizeJob& Job, EngineKind Kind, int32_t Count = 1,
               EngineIsa Isa = detail::BestIsa()) {
  int32_t Sum = 0;
  for (int32_t I = 0; I < Count; ++I) {
    std::atomic<int32_t> P{0};
    detail::EqualizeBandIsa(Job, I, Count, P, Kind, Isa);
    EXPECT_EQ(P.load(), std::max(0, BandOf(Job, I, Count).Last - BandOf(Job, I, Count).First + 1));
    Sum += P.load();
  }
  return Sum;
}

std::vector<uint16_t> Reference(EqualizeJob Job, std::vector<uint16_t> Out) {
  Job.Output = Out.data();
  RunAll(Job, EngineKind::Reference);
  return Out;
}

// The reference output for the whole of In at radius R and noise half-length N.
std::vector<uint16_t> ReferenceOf(const Image& In, const Tables& T, int32_t R, int32_t N) {
  std::vector<uint16_t> Out;
  EqualizeJob J = JobFor(In, Out, T, R);
  J.NoiseHalfLength = N;
  RunAll(J, EngineKind::Reference);
  return Out;
}

std::vector<EngineIsa> SupportedIsas() {
  std::vector<EngineIsa> L;
  for (EngineIsa I : {EngineIsa::Baseline, EngineIsa::Avx2, EngineIsa::Avx512})
    if (detail::IsaSupported(I)) L.push_back(I);
  return L;
}

// Every production variant against the reference, sample by sample.
void ExpectProductionMatches(const EqualizeJob& Job, const std::vector<uint16_t>& Prefill,
                             int32_t Count = 1) {
  const std::vector<uint16_t> Want = Reference(Job, Prefill);
  for (EngineIsa Isa : SupportedIsas()) {
    std::vector<uint16_t> Got = Prefill;
    EqualizeJob J = Job;
    J.Output = Got.data();
    EXPECT_EQ(RunAll(J, EngineKind::Production, Count, Isa), Job.RoiWidth);
    size_t Diffs = 0, First = 0;
    for (size_t I = 0; I < Want.size(); ++I)
      if (Want[I] != Got[I] && Diffs++ == 0) First = I;
    ASSERT_EQ(Diffs, 0u) << "isa " << static_cast<int>(Isa) << " first at x=" << First % Job.Width
                         << " y=" << First / Job.Width << ": want " << Want[First] << " got "
                         << Got[First] << " (R=" << Job.KerSize << " N=" << Job.NoiseHalfLength
                         << " roi " << Job.RoiLeft << "," << Job.RoiTop << "," << Job.RoiWidth
                         << "," << Job.RoiHeight << ")";
  }
}

// The read-out of a neighbourhood with one occurring value of total weight W
// for a centre above it: every term k >= 1, in ascending order.
uint16_t SingleValueOutput(const NoiseKernelType& Noise, int32_t N, float W, int32_t FromK) {
  float A = 0.0f;
  for (int32_t K = FromK; K <= N; ++K) A = A + Noise[K] * W;
  return static_cast<uint16_t>(std::nearbyint((65535.0f / W) * A));
}

}  // namespace

// ---- Numeric edge cases of the plain algorithm ---------------------------------------

// The shipped kernel shape with NRSigma 10 (N = 20).
class EqualizeReference : public testing::Test {
 protected:
  const Tables T = ShippedLike(10);
  static constexpr int32_t N = 20;
  std::vector<uint16_t> Of(const Image& In, int32_t R) const { return ReferenceOf(In, T, R, N); }
};

TEST_F(EqualizeReference, EmptyNeighbourhoodGivesZero) {
  Image In = Blank(30, 20);
  In.At(29, 19) = 500;  // farther than R from the others
  const std::vector<uint16_t> Out = Of(In, 5);
  EXPECT_EQ(Out[0], 0);
  EXPECT_EQ(Out[10 * 30 + 10], 0);
  EXPECT_NE(Out[19 * 30 + 29], 0);
}

TEST_F(EqualizeReference, SingleValueNeighbourhood) {
  Image In = Blank(9, 9);
  In.At(4, 4) = 1000;
  std::vector<uint16_t> Out = Of(In, 3);
  // The centre of value v: the terms k >= 1, about half the noise kernel.
  EXPECT_EQ(Out[4 * 9 + 4], SingleValueOutput(T.Noise, N, T.Kernel.At(0, 0), 1));
  EXPECT_NEAR(Out[4 * 9 + 4], 65535.0 * (1.0 - T.Noise[0]) / 2.0, 2.0);
  // A centre of value 0 sees nothing at or below N, so 0.
  EXPECT_EQ(Out[4 * 9 + 5], 0);
  EXPECT_EQ(Out[3 * 9 + 3], 0);

  // Unless the value lies below N: for a centre of 0 the terms k = 6..N lie
  // above the only value 5.
  In.At(4, 4) = 5;
  Out = Of(In, 3);
  EXPECT_EQ(Out[4 * 9 + 5], SingleValueOutput(T.Noise, N, T.Kernel.At(-1, 0), 6));
  EXPECT_GT(Out[4 * 9 + 5], 0);
  EXPECT_LT(Out[4 * 9 + 5], Out[4 * 9 + 4]);
}

TEST_F(EqualizeReference, TwoValuesFartherApartThanN) {
  Image In = Blank(2, 1);
  In.At(0, 0) = 100;
  In.At(1, 0) = 300;
  const std::vector<uint16_t> Out = Of(In, 1);
  EXPECT_EQ(Out[0], 0);  // the darkest value is left out of every sum
  // The brightest: every term k >= -N reaches hi, so about (1 + Noise[0]) / 2, not 65535.
  EXPECT_EQ(Out[1], SingleValueOutput(T.Noise, N, T.Kernel.At(0, 0), 0));
  EXPECT_NEAR(Out[1], 65535.0 * (1.0 + T.Noise[0]) / 2.0, 2.0);
  EXPECT_LT(Out[1], 65535);
}

TEST(EqualizeReferenceTables, KerSizeZeroSeesOnlyThePixel) {
  Tables T = ShippedLike(3);
  const int32_t N = 6;
  Image In = Blank(6, 4);
  std::mt19937 Rng(7);
  for (uint16_t& V : In.Samples) V = static_cast<uint16_t>(Rng() % 3 ? 1 + Rng() % 60000 : 0);
  const std::vector<uint16_t> Out = ReferenceOf(In, T, 0, N);
  const uint16_t Want = SingleValueOutput(T.Noise, N, T.Kernel.At(0, 0), 1);
  for (size_t I = 0; I < Out.size(); ++I) EXPECT_EQ(Out[I], In.Samples[I] ? Want : 0) << I;
}

TEST(EqualizeReferenceTables, AllWeightsZeroGiveZero) {
  Tables T = Built(&Parameters::KerS_10, 0.0f, 10);
  Image In = Blank(8, 8);
  for (size_t I = 0; I < In.Samples.size(); ++I) In.Samples[I] = static_cast<uint16_t>(1 + I * 37);
  const std::vector<uint16_t> Out = ReferenceOf(In, T, 4, 20);
  for (uint16_t V : Out) EXPECT_EQ(V, 0);
}

TEST(EqualizeReferenceTables, NegativeTotalsClampToZero) {
  // Negative weights can make the scaled read-out negative: clamped, not wrapped.
  Tables T = Built(&Parameters::KerS_10, -1.0f, 2);
  Image In = Blank(3, 1);
  In.At(0, 0) = 10;
  In.At(1, 0) = 20;
  In.At(2, 0) = 30;
  const std::vector<uint16_t> Out = ReferenceOf(In, T, 1, 4);
  for (uint16_t V : Out) EXPECT_EQ(V, 0);
}

TEST_F(EqualizeReference, StaleStatisticsDoNotLeakEarlierBins) {
  // Bounds that miss the samples must not let one pixel's bins reach the next.
  Image In = Blank(12, 12);
  std::mt19937 Rng(3);
  for (uint16_t& V : In.Samples) V = static_cast<uint16_t>(1000 + Rng() % 50);
  std::vector<uint16_t> Out;
  EqualizeJob J = JobFor(In, Out, T, 4);
  J.NoiseHalfLength = N;
  const std::vector<uint16_t> Right = Reference(J, Out);
  J.MinValue = 2000;
  J.MaxValue = 1;
  EXPECT_EQ(Reference(J, Out), Right);
  J.MinValue = -5;
  J.MaxValue = 70000;
  EXPECT_EQ(Reference(J, Out), Right);
}

// ---- Properties both engines share -------------------------------------------------

TEST(Equalize, BorderIsClippedNotMirrored) {
  // Clipping equals a frame of "no data" around the image.
  Tables T = ShippedLike(5);
  const int32_t R = 6, W = 17, H = 13;
  Image In = Blank(W, H), Framed = Blank(W + 2 * R, H + 2 * R);
  std::mt19937 Rng(11);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      Framed.At(X + R, Y + R) = In.At(X, Y) = static_cast<uint16_t>(1 + Rng() % 200);
  for (EngineKind Kind : {EngineKind::Reference, EngineKind::Production}) {
    std::vector<uint16_t> A, B;
    EqualizeJob Ja = JobFor(In, A, T, R), Jb = JobFor(Framed, B, T, R);
    Ja.NoiseHalfLength = Jb.NoiseHalfLength = 10;
    RunAll(Ja, Kind);
    RunAll(Jb, Kind);
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X)
        ASSERT_EQ(A[size_t(Y) * W + X], B[size_t(Y + R) * (W + 2 * R) + X + R]) << X << "," << Y;
  }
}

TEST(Equalize, OnlyTheRectangleIsWritten) {
  Tables T = ShippedLike(10);
  Image In = Blank(20, 16);
  std::mt19937 Rng(5);
  for (uint16_t& V : In.Samples) V = static_cast<uint16_t>(Rng() % 4000);
  for (EngineKind Kind : {EngineKind::Reference, EngineKind::Production}) {
    std::vector<uint16_t> Out;
    EqualizeJob J = JobFor(In, Out, T, 3);
    J.NoiseHalfLength = 20;
    J.RoiLeft = 4;
    J.RoiTop = 5;
    J.RoiWidth = 7;
    J.RoiHeight = 6;
    EXPECT_EQ(RunAll(J, Kind, 3), 7);
    for (int32_t Y = 0; Y < 16; ++Y)
      for (int32_t X = 0; X < 20; ++X) {
        const bool Inside = X >= 4 && X < 11 && Y >= 5 && Y < 11;
        EXPECT_EQ(Out[size_t(Y) * 20 + X] == Sentinel, !Inside) << X << "," << Y;
      }
  }
}

TEST(Equalize, ProgressReachesRoiWidthForEverySplit) {
  Tables T = ShippedLike(2);
  Image In = Blank(70, 3);
  for (uint16_t& V : In.Samples) V = 9;
  for (int32_t RoiWidth : {0, 1, 5, 63, 64, 65, 70}) {
    for (int32_t Count : {1, 2, 3, 7, 63, 64}) {
      std::vector<uint16_t> Out;
      EqualizeJob J = JobFor(In, Out, T, 1);
      J.RoiWidth = RoiWidth;
      for (EngineKind Kind : {EngineKind::Reference, EngineKind::Production})
        EXPECT_EQ(RunAll(J, Kind, Count), RoiWidth) << RoiWidth << "/" << Count;
    }
  }
  // The remainder goes to the last worker; the others may be empty.
  EqualizeJob J;
  J.RoiLeft = 10;
  J.RoiWidth = 5;
  EXPECT_LT(BandOf(J, 0, 8).Last, BandOf(J, 0, 8).First);
  EXPECT_EQ(BandOf(J, 7, 8).First, 10);
  EXPECT_EQ(BandOf(J, 7, 8).Last, 14);
  J.RoiWidth = 23;
  EXPECT_EQ(BandOf(J, 1, 4).First, 15);
  EXPECT_EQ(BandOf(J, 1, 4).Last, 19);
  EXPECT_EQ(BandOf(J, 3, 4).Last, 32);
}

TEST(Equalize, StopFlagEndsTheBandBetweenColumns) {
  Tables T = ShippedLike(10);
  Image In = Blank(10, 10);
  for (uint16_t& V : In.Samples) V = 100;
  for (EngineKind Kind : {EngineKind::Reference, EngineKind::Production}) {
    std::vector<uint16_t> Out;
    EqualizeJob J = JobFor(In, Out, T, 2);
    const std::atomic<bool> Stop{true};
    std::atomic<int32_t> P{0};
    EqualizeBand(J, 0, 1, P, Kind, &Stop);
    EXPECT_EQ(P.load(), 0);
    EXPECT_EQ(std::count(Out.begin(), Out.end(), Sentinel), 100);
  }
}

TEST(Equalize, InvalidJobsDoNothing) {
  Tables T = ShippedLike(10);
  Image In = Blank(10, 10);
  std::vector<uint16_t> Out;
  const EqualizeJob Good = JobFor(In, Out, T, 2);
  EXPECT_TRUE(ValidJob(Good));
  auto Bad = [&](auto Change) {
    EqualizeJob J = Good;
    Change(J);
    EXPECT_FALSE(ValidJob(J));
    std::atomic<int32_t> P{0};
    EqualizeBand(J, 0, 1, P, EngineKind::Production);
    EXPECT_EQ(P.load(), 0);
  };
  Bad([](EqualizeJob& J) { J.KerSize = 65; });
  Bad([](EqualizeJob& J) { J.KerSize = -1; });
  Bad([](EqualizeJob& J) { J.NoiseHalfLength = 301; });
  Bad([](EqualizeJob& J) { J.NoiseHalfLength = -2; });
  Bad([](EqualizeJob& J) { J.RoiLeft = 1; });  // reaches past the right edge
  Bad([](EqualizeJob& J) { J.RoiTop = -1; });
  Bad([](EqualizeJob& J) { J.RoiHeight = 11; });
  Bad([](EqualizeJob& J) { J.RoiWidth = -1; });
  Bad([](EqualizeJob& J) { J.Height = MaxSide + 1; });
  Bad([](EqualizeJob& J) { J.Kernel = nullptr; });
  Bad([](EqualizeJob& J) { J.Input = nullptr; });
  Bad([&](EqualizeJob& J) { J.Output = const_cast<uint16_t*>(J.Input) + 3; });
  EXPECT_EQ(std::count(Out.begin(), Out.end(), Sentinel), 100);
}

// ---- Production against reference ----------------------------------------------------

namespace {

// A kernel with exact zeros, negative weights and all-zero columns and rows.
Tables RandomTables(std::mt19937& Rng, int32_t NRSigma) {
  Tables T;
  Parameters P;
  P.NRSigma = NRSigma;
  BuildKernels(P, T.Kernel, T.Noise);
  std::uniform_real_distribution<float> U(-1.0f, 2.0f);
  const int Mode = static_cast<int>(Rng() % 3);
  for (int Dy = -64; Dy <= 64; ++Dy)
    for (int Dx = -64; Dx <= 64; ++Dx) {
      float V = U(Rng);
      if (Mode == 1 && Rng() % 4 == 0) V = 0.0f;
      if (Mode == 2 && (Dx % 3 == 0 || Dy % 5 == 0)) V = 0.0f;
      T.Kernel.At(Dx, Dy) = V;
    }
  return T;
}

// Value spans from 3 to the whole 16-bit range; Wide false keeps them below
// 2000, which keeps the per-pixel bin clearing of the reference cheap.
Image RandomImage(std::mt19937& Rng, int32_t W, int32_t H, bool Wide = true) {
  Image In = Blank(W, H);
  int Kind = static_cast<int>(Rng() % 5);
  if (!Wide && Kind == 2) Kind = 1;
  const uint32_t Lo = Kind == 0 ? 1 : 1 + Rng() % 60000;
  const uint32_t Span = Kind == 1 ? 3 : Kind == 2 ? 65536 - Lo : 1 + Rng() % 2000;
  const uint32_t ZeroPercent = Kind == 3 ? 90 : Rng() % 40;
  for (uint16_t& V : In.Samples)
    V = Rng() % 100 < ZeroPercent ? 0 : static_cast<uint16_t>(Lo + Rng() % Span);
  if (Kind == 4)  // a no-data block, as off a solar disc
    for (int32_t Y = 0; Y < H / 2; ++Y)
      for (int32_t X = 0; X < W / 3; ++X) In.At(X, Y) = 0;
  return In;
}

}  // namespace

TEST(EqualizeProduction, MatchesReferenceOnRandomInputs) {
  std::mt19937 Rng(20240601);
  for (int Case = 0; Case < 60; ++Case) {
    const int32_t W = 1 + Rng() % 45, H = 1 + Rng() % 45;
    const int32_t R = Case % 6 == 0 ? 64 : static_cast<int32_t>(Rng() % 65);
    const int32_t NRSigma = Case % 7 == 0 ? 150 : 1 + static_cast<int32_t>(Rng() % 40);
    const Tables T = Case % 2 ? ShippedLike(NRSigma) : RandomTables(Rng, NRSigma);
    const Image In = RandomImage(Rng, W, H);
    std::vector<uint16_t> Out;
    EqualizeJob J = JobFor(In, Out, T, R);
    J.NoiseHalfLength = 2 * NRSigma;
    J.RoiLeft = static_cast<int32_t>(Rng() % W);
    J.RoiTop = static_cast<int32_t>(Rng() % H);
    J.RoiWidth = 1 + static_cast<int32_t>(Rng() % (W - J.RoiLeft));
    J.RoiHeight = 1 + static_cast<int32_t>(Rng() % (H - J.RoiTop));
    SCOPED_TRACE(Case);
    ExpectProductionMatches(J, Out, 1 + static_cast<int32_t>(Rng() % 5));
  }
}

TEST(EqualizeProduction, MatchesReferenceOnEdgeCases) {
  std::mt19937 Rng(99);
  const int32_t W = 37, H = 41;
  for (int32_t R : {0, 1, 2, 15, 16, 17, 63, 64}) {
    for (int32_t NRSigma : {1, 150}) {
      const Tables T = ShippedLike(NRSigma);
      const Image In = RandomImage(Rng, W, H, false);
      std::vector<uint16_t> Out;
      EqualizeJob J = JobFor(In, Out, T, R);
      J.NoiseHalfLength = 2 * NRSigma;
      SCOPED_TRACE(R);
      ExpectProductionMatches(J, Out, 2);
      // Rectangles on every border and corner, and one pixel wide or high.
      const int32_t Rects[][4] = {{0, 0, 5, H},     {W - 5, 0, 5, H},     {0, 0, W, 3},
                                  {0, H - 3, W, 3}, {W - 1, H - 1, 1, 1}, {0, 0, 1, 1},
                                  {10, 7, 1, 30},   {3, 20, 30, 1}};
      for (const auto& Rc : Rects) ExpectProductionMatches(WithRoi(J, Rc), Out, 3);
    }
  }
}

TEST(EqualizeProduction, MatchesReferenceOnSparseNeighbourhoods) {
  // All-zero neighbourhoods, single values and pairs farther apart than N.
  const Tables T = ShippedLike(10);
  for (int32_t R : {0, 1, 3, 64}) {
    Image In = Blank(29, 34);
    In.At(3, 3) = 1;
    In.At(14, 17) = 3000;
    In.At(15, 17) = 100;
    In.At(28, 33) = 2500;
    In.At(28, 0) = 7;
    In.At(0, 33) = 7;
    std::vector<uint16_t> Out;
    EqualizeJob J = JobFor(In, Out, T, R);
    J.NoiseHalfLength = 20;
    ExpectProductionMatches(J, Out);
    In.At(14, 18) = 3000;
    In.At(5, 30) = 1;
    J = JobFor(In, Out, T, R);
    J.NoiseHalfLength = 20;
    ExpectProductionMatches(J, Out, 4);
  }
}

TEST(EqualizeProduction, ExtremeValuesAndWeights) {
  // Values 1 and 65535 side by side, weights of both signs and zero.
  std::mt19937 Rng(17);
  for (int Case = 0; Case < 4; ++Case) {
    Tables T = RandomTables(Rng, 1 + Case * 49);
    Image In = Blank(19, 21);
    for (uint16_t& V : In.Samples)
      V = static_cast<uint16_t>((Rng() % 3 == 0) ? 0 : Rng() % 2 ? 1 : 65535);
    In.At(5, 5) = 2;
    In.At(6, 5) = 65534;
    std::vector<uint16_t> Out;
    EqualizeJob J = JobFor(In, Out, T, static_cast<int32_t>(Case * 21));
    J.NoiseHalfLength = 2 * (1 + Case * 49);
    ExpectProductionMatches(J, Out, 2);
  }
}

TEST(EqualizeProduction, MatchesReferenceOnTallColumns) {
  // Many groups per column: full sets of groups processed together, sets cut
  // short by a stretch without data, and groups clipped at the top and bottom.
  std::mt19937 Rng(31);
  for (int32_t R : {3, 40, 64}) {
    const Tables T = ShippedLike(10);
    Image In = RandomImage(Rng, 9, 330, false);
    for (int32_t Y = 150; Y < 150 + 2 * R + 40; ++Y)
      for (int32_t X = 0; X < 9; ++X) In.At(X, Y) = 0;
    std::vector<uint16_t> Out;
    EqualizeJob J = JobFor(In, Out, T, R);
    J.NoiseHalfLength = 20;
    SCOPED_TRACE(R);
    ExpectProductionMatches(J, Out, 2);
    ExpectProductionMatches(WithRoi(J, {2, 7, 4, 301}), Out, 1);
  }
}

TEST(EqualizeProduction, ResultDoesNotDependOnThreadCount) {
  std::mt19937 Rng(8);
  const Tables T = ShippedLike(10);
  const Image In = RandomImage(Rng, 90, 40);
  std::vector<uint16_t> Out;
  EqualizeJob J = JobFor(In, Out, T, 20);
  J.NoiseHalfLength = 20;
  std::vector<uint16_t> One = Out;
  J.Output = One.data();
  RunAll(J, EngineKind::Production, 1);
  for (int32_t Count : {2, 3, 5, 16, 64, 89}) {
    std::vector<uint16_t> Many = Out;
    J.Output = Many.data();
    EXPECT_EQ(RunAll(J, EngineKind::Production, std::min(Count, MaxThreads)), 90);
    EXPECT_EQ(Many, One) << Count;
  }
}

TEST(EqualizeProduction, MatchesReferenceOnTheTraceImage) {
  const std::string File = test::SharedData("trace_171_1998-05-19T22-21-43.fits");
  if (File.empty()) GTEST_SKIP() << "TRACE image not present";
  ImageRecord R;
  Image In;
  LoadImageFile(File, R, In.Samples, 16, true, false, nullptr);
  ASSERT_TRUE(R.Valid);
  In.Width = R.Width;
  In.Height = R.Height;
  Parameters P;
  ASSERT_FALSE(ReadIniFile(std::string(OBRA_SOURCE_DIR) + "/dist/OBRA.ini", P).Fatal);
  Tables T;
  BuildKernels(P, T.Kernel, T.Noise);
  std::vector<uint16_t> Out;
  EqualizeJob J = JobFor(In, Out, T, P.KerSize);
  J.MinValue = R.MinValue;
  J.MaxValue = R.MaxValue;
  J.NoiseHalfLength = P.NoiseHalfLength;
  // Inside the disc, across the limb, and in the corner where the
  // neighbourhood is clipped on two sides.
  const int32_t Rects[][4] = {{500, 480, 24, 20}, {130, 600, 20, 24}, {1004, 1000, 20, 24}};
  for (const auto& Rc : Rects) ExpectProductionMatches(WithRoi(J, Rc), Out, 3);
}
