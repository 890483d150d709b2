// Kernel tables and the equalization worker: the reference engine's read-out
// on hand-made neighbourhoods, properties both engines share, and every
// production variant bit for bit against the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

#include "../TestSupport.h"
#include "EngineFixtures.h"
#include "IniFile.h"

using namespace obra;
using namespace obra::test;
using detail::EngineIsa;

namespace {

// The read-out of a neighbourhood holding one value of total weight W for a
// centre at or above it: the noise terms k = FromK..N in ascending order.
uint16_t SingleValueOutput(const NoiseKernelType& Noise, int32_t N, float W, int32_t FromK) {
  float A = 0.0f;
  for (int32_t K = FromK; K <= N; ++K) A = A + Noise[K] * W;
  return static_cast<uint16_t>(std::nearbyint((65535.0f / W) * A));
}

std::vector<uint16_t> Reference(const Image& In, const Tables& T, int32_t R, int32_t N) {
  std::vector<uint16_t> Out;
  return RunInto(JobFor(In, Out, T, R, N), Out, EngineKind::Reference);
}

// Every production variant this processor runs against the reference, with
// the fixed split of Count workers and with bands of 1 and 3 columns dealt
// to 2 workers in turn.
void ExpectProductionMatches(const EqualizeJob& Job, const std::vector<uint16_t>& Prefill,
                             int32_t Count = 1) {
  const std::vector<uint16_t> Want = RunInto(Job, Prefill, EngineKind::Reference);
  for (EngineIsa Isa : detail::AllIsas) {
    if (!detail::IsaSupported(Isa)) continue;
    for (int32_t Step : {0, 1, 3}) {
      std::vector<uint16_t> Got = Prefill;
      EqualizeJob J = Job;
      J.Output = Got.data();
      if (Step == 0)
        EXPECT_EQ(RunAll(J, EngineKind::Production, Count, Isa), Job.RoiWidth);
      else
        EXPECT_EQ(RunDealt(J, EngineKind::Production, 2, Step, Isa), Job.RoiWidth);
      const size_t First = FirstMismatch(Want, Got);
      ASSERT_EQ(First, Want.size())
          << detail::IsaName(Isa) << " step " << Step << " at " << First % Job.Width << ","
          << First / Job.Width << " R=" << Job.KerSize << " N=" << Job.NoiseHalfLength;
    }
  }
}

}  // namespace

// ---- Kernel tables ------------------------------------------------------------

TEST(KernelTables, ShapesSignsAndReach) {
  KernelTableType K;
  NoiseKernelType N;
  N.Entries.fill(-1.0f);
  BuildKernels(Only(&Parameters::KerS_10, 3.0f), K, N);
  EXPECT_FLOAT_EQ(K.At(0, 0), static_cast<float>(3.0 / (2.0 * M_PI)));
  EXPECT_FLOAT_EQ(K.At(5, 0), static_cast<float>(3.0 * std::exp(-12.5) / (2.0 * M_PI)));
  EXPECT_GT(K.At(3, 4), 0.0f);  // exactly at 5 sigma: still computed
  for (int Dy = -64; Dy <= 64; ++Dy)
    for (int Dx = -64; Dx <= 64; ++Dx)
      if (Dx * Dx + Dy * Dy > 25) {
        ASSERT_EQ(K.At(Dx, Dy), 0.0f) << Dx << "," << Dy;
      }
  // The cut-off uses the single-precision sigma: 5.6f is slightly below 5.6.
  EXPECT_EQ(GaussValue(28, 0, 5.6f), 0);
  EXPECT_GT(GaussValue(27, 0, 5.6f), 0);
  EXPECT_EQ(GaussValue(7, 0, 1.4f), 0);
  EXPECT_GT(GaussValue(20, 0, 4.0f), 0);
  EXPECT_EQ(GaussValue(21, 0, 4.0f), 0);
  // Noise sigma 1: -2..2 only.
  const double E2 = std::exp(-2.0), E05 = std::exp(-0.5), S = 2 * E2 + 2 * E05 + 1;
  EXPECT_FLOAT_EQ(N[0], static_cast<float>(1 / S));
  EXPECT_FLOAT_EQ(N[1], static_cast<float>(E05 / S));
  EXPECT_FLOAT_EQ(N[-2], static_cast<float>(E2 / S));
  EXPECT_EQ(N[1], N[-1]);
  EXPECT_EQ(N[3], -1.0f);  // outside -N..N nothing is written
  BuildKernels(Only(&Parameters::KerS_10, 1.0f, 150), K, N);
  float Sum = 0, Least = 1;
  for (int J = -300; J <= 300; ++J) Sum += N[J], Least = std::min(Least, N[J]);
  EXPECT_GT(Least, 0.0f);
  EXPECT_NEAR(Sum, 1.0f, 1e-5);
  // Weights add with their sign: the narrower component is taller, only the
  // wider one reaches 6; weight 0 clears the table.
  Parameters P = Only(&Parameters::KerS_20, 1.0f);
  P.KerS_10 = -1.0f;
  BuildKernels(P, K, N);
  EXPECT_LT(K.At(0, 0), 0);
  EXPECT_GT(K.At(6, 0), 0);
  BuildKernels(Only(&Parameters::KerS_10, 0.0f), K, N);
  for (float E : K.Entries) ASSERT_EQ(E, 0.0f);
}

// ---- The read-out of the reference engine --------------------------------------

TEST(EqualizeReference, SparseNeighbourhoods) {
  const Tables T = ShippedLike(10);
  const int32_t N = 20;
  Image In = Blank(9, 9);
  In.At(4, 4) = 1000;
  std::vector<uint16_t> Out = Reference(In, T, 3, N);
  // The centre of a lone value: the terms k >= 1, about half the noise kernel.
  EXPECT_EQ(Out[4 * 9 + 4], SingleValueOutput(T.Noise, N, T.Kernel.At(0, 0), 1));
  EXPECT_NEAR(Out[4 * 9 + 4], 65535.0 * (1.0 - T.Noise[0]) / 2.0, 2.0);
  // A centre of 0 sees nothing at or below N; farther than R sees nothing at all.
  EXPECT_EQ(Out[4 * 9 + 5], 0);
  EXPECT_EQ(Out[3 * 9 + 3], 0);
  EXPECT_EQ(Out[0], 0);
  // Unless the value lies below N: the terms k = 6..N lie above the value 5.
  In.At(4, 4) = 5;
  Out = Reference(In, T, 3, N);
  EXPECT_EQ(Out[4 * 9 + 5], SingleValueOutput(T.Noise, N, T.Kernel.At(-1, 0), 6));
  // Two values farther apart than N: the darker is left out of every sum, the
  // brighter gets every term k >= -N, about (1 + Noise[0]) / 2 and not 65535.
  In = Blank(2, 1);
  In.At(0, 0) = 100;
  In.At(1, 0) = 300;
  Out = Reference(In, T, 1, N);
  EXPECT_EQ(Out[0], 0);
  EXPECT_EQ(Out[1], SingleValueOutput(T.Noise, N, T.Kernel.At(0, 0), 0));
  EXPECT_NEAR(Out[1], 65535.0 * (1.0 + T.Noise[0]) / 2.0, 2.0);
}

TEST(EqualizeReference, KerSizeZeroSeesOnlyThePixel) {
  const Tables T = ShippedLike(3);
  Image In = Blank(6, 4);
  std::mt19937 Rng(7);
  for (uint16_t& V : In.Samples) V = static_cast<uint16_t>(Rng() % 3 ? 1 + Rng() % 60000 : 0);
  const std::vector<uint16_t> Out = Reference(In, T, 0, 6);
  const uint16_t Want = SingleValueOutput(T.Noise, 6, T.Kernel.At(0, 0), 1);
  for (size_t I = 0; I < Out.size(); ++I) EXPECT_EQ(Out[I], In.Samples[I] ? Want : 0) << I;
}

TEST(EqualizeReference, ZeroOrNegativeTotalsGiveZero) {
  // Negative weights can make the scaled read-out negative: clamped, not wrapped.
  Image In = Blank(8, 8);
  for (size_t I = 0; I < In.Samples.size(); ++I) In.Samples[I] = static_cast<uint16_t>(1 + I * 37);
  for (float Weight : {0.0f, -1.0f})
    for (uint16_t V : Reference(In, Built(Only(&Parameters::KerS_10, Weight, 2)), 4, 4))
      ASSERT_EQ(V, 0) << Weight;
}

TEST(EqualizeReference, StaleStatisticsDoNotLeakEarlierBins) {
  Image In = Blank(12, 12);
  std::mt19937 Rng(3);
  for (uint16_t& V : In.Samples) V = static_cast<uint16_t>(1000 + Rng() % 50);
  const Tables T = ShippedLike(10);
  std::vector<uint16_t> Out;
  EqualizeJob J = JobFor(In, Out, T, 4, 20);
  const std::vector<uint16_t> Right = RunInto(J, Out, EngineKind::Reference);
  for (auto [Min, Max] : {std::pair{2000, 1}, std::pair{-5, 70000}}) {
    J.MinValue = Min, J.MaxValue = Max;
    EXPECT_EQ(RunInto(J, Out, EngineKind::Reference), Right) << Min;
  }
}

// ---- Properties both engines share ---------------------------------------------

TEST(Equalize, BorderIsClippedNotMirrored) {
  // Clipping equals a frame of "no data" around the image.
  const Tables T = ShippedLike(5);
  const int32_t R = 6, W = 17, H = 13;
  Image In = Blank(W, H), Framed = Blank(W + 2 * R, H + 2 * R);
  std::mt19937 Rng(11);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      Framed.At(X + R, Y + R) = In.At(X, Y) = static_cast<uint16_t>(1 + Rng() % 200);
  for (EngineKind Kind : {EngineKind::Reference, EngineKind::Production}) {
    std::vector<uint16_t> A, B;
    A = RunInto(JobFor(In, A, T, R, 10), A, Kind);
    B = RunInto(JobFor(Framed, B, T, R, 10), B, Kind);
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X)
        ASSERT_EQ(A[size_t(Y) * W + X], B[size_t(Y + R) * (W + 2 * R) + X + R]) << X << "," << Y;
  }
}

TEST(Equalize, OnlyTheRectangleIsWrittenAndProgressCountsItsColumns) {
  const Tables T = ShippedLike(10);
  std::mt19937 Rng(5);
  Image In = Blank(20, 16);
  for (uint16_t& V : In.Samples) V = static_cast<uint16_t>(Rng() % 4000);
  for (EngineKind Kind : {EngineKind::Reference, EngineKind::Production}) {
    std::vector<uint16_t> Out;
    const EqualizeJob J = WithRoi(JobFor(In, Out, T, 3, 20), {4, 5, 7, 6});
    EXPECT_EQ(RunAll(J, Kind, 3), 7);
    for (int32_t Y = 0; Y < 16; ++Y)
      for (int32_t X = 0; X < 20; ++X)
        EXPECT_EQ(Out[size_t(Y) * 20 + X] == Sentinel, !(X >= 4 && X < 11 && Y >= 5 && Y < 11));
    // Every split of every width reports each column once.
    Image Flat = Blank(70, 3);
    std::fill(Flat.Samples.begin(), Flat.Samples.end(), 9);
    for (int32_t RoiWidth : {0, 1, 5, 63, 64, 65, 70})
      for (int32_t Count : {1, 2, 3, 7, 63, 64})
        EXPECT_EQ(RunAll(WithRoi(JobFor(Flat, Out, T, 1, 2), {0, 0, RoiWidth, 3}), Kind, Count),
                  RoiWidth)
            << RoiWidth << "/" << Count;
    // Dealt bands too, the last one cut at the rectangle's edge.
    for (int32_t RoiWidth : {0, 1, 5, 63, 70})
      for (int32_t Step : {1, 4, 32})
        EXPECT_EQ(RunDealt(WithRoi(JobFor(Flat, Out, T, 1, 2), {0, 0, RoiWidth, 3}), Kind, 3, Step,
                           detail::BestIsa()),
                  RoiWidth)
            << RoiWidth << "/" << Step;
  }
  // Equal bands, the remainder to the last worker; the others may be empty.
  EqualizeJob J;
  J.RoiLeft = 10;
  for (auto [Width, Index, Count, First, Last] :
       {std::array{5, 0, 8, 10, 9}, {5, 7, 8, 10, 14}, {23, 1, 4, 15, 19}, {23, 3, 4, 25, 32}}) {
    J.RoiWidth = Width;
    EXPECT_EQ(BandOf(J, Index, Count).First, First);
    EXPECT_EQ(BandOf(J, Index, Count).Last, Last);
  }
}

TEST(Equalize, TheDealerHandsOutEachColumnOnceInOrder) {
  detail::ColumnDealer D;
  D.Reset(10, 11, 4);
  std::vector<std::pair<int32_t, int32_t>> Got;
  for (ColumnBand B = D.Next(); B.Last >= B.First; B = D.Next()) Got.emplace_back(B.First, B.Last);
  EXPECT_EQ(Got, (std::vector<std::pair<int32_t, int32_t>>{{10, 13}, {14, 17}, {18, 20}}));
  EXPECT_LT(D.Next().Last, D.Next().First);
  D.Reset(0, 0, 4);
  EXPECT_LT(D.Next().Last, D.Next().First);
  // Bands shrink towards the end, down to 4 columns, and still cover every
  // column once, in order.
  D.Reset(0, 1024, 32);
  std::vector<int32_t> Widths;
  int32_t Next = 0;
  for (ColumnBand B = D.Next(); B.Last >= B.First; B = D.Next()) {
    EXPECT_EQ(B.First, Next);
    Next = B.Last + 1;
    Widths.push_back(B.Last - B.First + 1);
  }
  EXPECT_EQ(Next, 1024);
  EXPECT_EQ(Widths.front(), 32);
  EXPECT_LE(Widths.back(), 4);
  EXPECT_TRUE(std::is_sorted(Widths.rbegin(), Widths.rend()));
  // Bands stay between 4 and 32 columns.
  EXPECT_EQ(detail::DealStep(1024, 2), 32);
  EXPECT_EQ(detail::DealStep(100, 2), 4);
  EXPECT_EQ(detail::DealStep(0, 64), 4);
}

TEST(Equalize, VariantsAreNamedForcedAndTimed) {
  for (EngineIsa Isa : detail::AllIsas) EXPECT_EQ(detail::ParseIsa(detail::IsaName(Isa)), Isa);
  EXPECT_EQ(detail::ParseIsa("avx"), std::nullopt);
  const Tables T = ShippedLike(10);
  std::mt19937 Rng(3);
  const Image In = RandomImage(Rng, 40, 150, false);
  std::vector<uint16_t> Out;
  const EqualizeJob J = JobFor(In, Out, T, 8, 20);
  const detail::VariantTimes Ns = detail::TimeVariants(J);
  for (EngineIsa Isa : detail::AllIsas)
    EXPECT_EQ(Ns[static_cast<int>(Isa)] > 0, detail::IsaSupported(Isa)) << detail::IsaName(Isa);
  // The automatic choice is a supported variant; a forced one wins until released.
  EXPECT_TRUE(detail::IsaSupported(detail::ChosenIsa(J)));
  detail::ForceIsa(EngineIsa::Baseline);
  EXPECT_EQ(detail::ChosenIsa(J), EngineIsa::Baseline);
  detail::ForceIsa(std::nullopt);
  EXPECT_TRUE(detail::IsaSupported(detail::ChosenIsa(J)));
  // Nothing to time on an empty image.
  EXPECT_EQ(detail::TimeVariants(EqualizeJob{}), (detail::VariantTimes{}));
}

TEST(Equalize, StopFlagAndInvalidJobsWriteNothing) {
  const Tables T = ShippedLike(10);
  Image In = Blank(10, 10);
  std::fill(In.Samples.begin(), In.Samples.end(), 100);
  std::vector<uint16_t> Out;
  const EqualizeJob Good = JobFor(In, Out, T, 2, 20);
  EXPECT_TRUE(ValidJob(Good));
  const std::atomic<bool> Stop{true};
  for (EngineKind Kind : {EngineKind::Reference, EngineKind::Production}) {
    std::atomic<int32_t> P{0};
    EqualizeBand(Good, 0, 1, P, Kind, &Stop);
    EXPECT_EQ(P.load(), 0);
  }
  // Bounds (RoiLeft 1 reaches past the right edge), missing tables or data,
  // and an output overlapping the input.
  std::vector<EqualizeJob> Bad;
  for (auto [Field, V] : {std::pair{&EqualizeJob::KerSize, 65},
                          {&EqualizeJob::KerSize, -1},
                          {&EqualizeJob::NoiseHalfLength, 301},
                          {&EqualizeJob::NoiseHalfLength, -2},
                          {&EqualizeJob::RoiLeft, 1},
                          {&EqualizeJob::RoiTop, -1},
                          {&EqualizeJob::RoiHeight, 11},
                          {&EqualizeJob::RoiWidth, -1},
                          {&EqualizeJob::Height, MaxSide + 1}})
    (Bad.emplace_back(Good).*Field) = V;
  Bad.emplace_back(Good).Kernel = nullptr;
  Bad.emplace_back(Good).Input = nullptr;
  Bad.emplace_back(Good).Output = const_cast<uint16_t*>(Good.Input) + 3;
  for (size_t I = 0; I < Bad.size(); ++I) {
    EXPECT_FALSE(ValidJob(Bad[I])) << I;
    std::atomic<int32_t> P{0};
    EqualizeBand(Bad[I], 0, 1, P, EngineKind::Production);
    EXPECT_EQ(P.load(), 0) << I;
  }
  EXPECT_EQ(std::count(Out.begin(), Out.end(), Sentinel), 100);
}

// ---- Production against reference --------------------------------------------

TEST(EqualizeProduction, MatchesReferenceOnRandomInputsAndTables) {
  std::mt19937 Rng(20240601);
  for (int Case = 0; Case < 64; ++Case) {
    SCOPED_TRACE(Case);
    if (Case >= 60) {
      // Values 1 and 65535 side by side under weights of both signs and zero.
      const int32_t NRSigma = 1 + (Case - 60) * 49;
      const Tables T = RandomTables(Rng, NRSigma);
      Image In = Blank(19, 21);
      for (uint16_t& V : In.Samples) V = uint16_t(Rng() % 3 == 0 ? 0 : Rng() % 2 ? 1 : 65535);
      In.At(5, 5) = 2;
      In.At(6, 5) = 65534;
      std::vector<uint16_t> Out;
      ExpectProductionMatches(JobFor(In, Out, T, (Case - 60) * 21, 2 * NRSigma), Out, 2);
      continue;
    }
    const int32_t W = 1 + Rng() % 45, H = 1 + Rng() % 45;
    const int32_t R = Case % 6 == 0 ? 64 : static_cast<int32_t>(Rng() % 65);
    const int32_t NRSigma = Case % 7 == 0 ? 150 : 1 + static_cast<int32_t>(Rng() % 40);
    const Tables T = Case % 2 ? ShippedLike(NRSigma) : RandomTables(Rng, NRSigma);
    const Image In = RandomImage(Rng, W, H);
    std::vector<uint16_t> Out;
    EqualizeJob J = JobFor(In, Out, T, R, 2 * NRSigma);
    J.RoiLeft = static_cast<int32_t>(Rng() % W);
    J.RoiTop = static_cast<int32_t>(Rng() % H);
    J.RoiWidth = 1 + static_cast<int32_t>(Rng() % (W - J.RoiLeft));
    J.RoiHeight = 1 + static_cast<int32_t>(Rng() % (H - J.RoiTop));
    ExpectProductionMatches(J, Out, 1 + static_cast<int32_t>(Rng() % 5));
  }
}

TEST(EqualizeProduction, MatchesReferenceOnEdgeRadiiAndRectangles) {
  std::mt19937 Rng(99);
  const int32_t W = 37, H = 41;
  for (int32_t R : {0, 1, 2, 15, 16, 17, 63, 64}) {
    for (int32_t NRSigma : {1, 150}) {
      SCOPED_TRACE(R);
      const Tables T = ShippedLike(NRSigma);
      const Image In = RandomImage(Rng, W, H, false);
      std::vector<uint16_t> Out;
      const EqualizeJob J = JobFor(In, Out, T, R, 2 * NRSigma);
      ExpectProductionMatches(J, Out, 2);
      // Rectangles on every border and corner, and one pixel wide or high.
      const int32_t Rects[][4] = {{0, 0, 5, H},     {W - 5, 0, 5, H},     {0, 0, W, 3},
                                  {0, H - 3, W, 3}, {W - 1, H - 1, 1, 1}, {0, 0, 1, 1},
                                  {10, 7, 1, 30},   {3, 20, 30, 1}};
      for (const auto& Rc : Rects) ExpectProductionMatches(WithRoi(J, Rc), Out, 3);
    }
  }
}

TEST(EqualizeProduction, MatchesReferenceOnSparseAndTallColumns) {
  // All-zero neighbourhoods, lone values and pairs farther apart than N.
  const Tables T = ShippedLike(10);
  const int32_t Points[][3] = {{3, 3, 1},      {14, 17, 3000}, {15, 17, 100},
                               {28, 33, 2500}, {28, 0, 7},     {0, 33, 7}};
  for (int32_t R : {0, 1, 3, 64}) {
    Image In = Blank(29, 34);
    for (const auto& P : Points) In.At(P[0], P[1]) = uint16_t(P[2]);
    std::vector<uint16_t> Out;
    ExpectProductionMatches(JobFor(In, Out, T, R, 20), Out);
    In.At(14, 18) = 3000;
    In.At(5, 30) = 1;
    ExpectProductionMatches(JobFor(In, Out, T, R, 20), Out, 4);
  }
  // Many groups per column: full sets processed together, sets cut short by a
  // stretch without data, groups clipped at the top and bottom.
  std::mt19937 Rng(31);
  for (int32_t R : {3, 40, 64}) {
    SCOPED_TRACE(R);
    Image In = RandomImage(Rng, 9, 330, false);
    for (int32_t Y = 150; Y < 150 + 2 * R + 40; ++Y)
      for (int32_t X = 0; X < 9; ++X) In.At(X, Y) = 0;
    std::vector<uint16_t> Out;
    const EqualizeJob J = JobFor(In, Out, T, R, 20);
    ExpectProductionMatches(J, Out, 2);
    ExpectProductionMatches(WithRoi(J, {2, 7, 4, 301}), Out, 1);
  }
}

TEST(EqualizeProduction, MatchesReferenceOnTheTraceImage) {
  const std::string File = SharedData("trace_171_1998-05-19T22-21-43.fits");
  if (File.empty()) GTEST_SKIP() << "TRACE image not present";
  FullLoad L = LoadWholeFile(File);
  ASSERT_TRUE(L.R.Valid);
  Parameters P;
  ASSERT_FALSE(ReadIniFile(std::string(OBRA_SOURCE_DIR) + "/dist/OBRA.ini", P).Fatal);
  const Tables T = Built(P);
  const Image In{L.R.Width, L.R.Height, L.Buffer};
  std::vector<uint16_t> Out;
  EqualizeJob J = JobFor(In, Out, T, P.KerSize, P.NoiseHalfLength);
  J.MinValue = L.R.MinValue, J.MaxValue = L.R.MaxValue;
  // Inside the disc, across the limb, and in the corner clipped on two sides.
  const int32_t Rects[][4] = {{500, 480, 24, 20}, {130, 600, 20, 24}, {1004, 1000, 20, 24}};
  for (const auto& Rc : Rects) ExpectProductionMatches(WithRoi(J, Rc), Out, 3);
}
