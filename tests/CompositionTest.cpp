// Composition kernels and the automatic level helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include "BlendKernel.h"
#include "Composition.h"
#include "ParallelRanges.h"

namespace obra {
namespace {

std::vector<uint16_t> RandomSamples(size_t N, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::vector<uint16_t> V(N);
  for (uint16_t& S : V) S = uint16_t(Rng());
  return V;
}

// The blend in x87 extended precision, as defined.
uint16_t ReferenceBlend(uint16_t G, uint16_t A, int32_t Weight) {
  const float W = float(Weight * 0.01L);
  const float Gw = 1.0f - W;
  return uint16_t(std::nearbyint((long double)G * Gw + (long double)A * W));
}

TEST(CompositionTest, GammaImageIsTableLookup) {
  auto Lut = std::make_unique<GammaLutType>();
  for (int V = 0; V < LutSize; ++V) (*Lut)[V] = uint16_t(65535 - V);
  const std::vector<uint16_t> Source = RandomSamples(5000, 1);
  std::vector<uint16_t> Destination(Source.size());
  ASSERT_TRUE(MakeGammaImage(Source, Destination, *Lut));
  for (size_t I = 0; I < Source.size(); ++I) ASSERT_EQ(Destination[I], 65535 - Source[I]);
  // In place.
  std::vector<uint16_t> Same = Source;
  ASSERT_TRUE(MakeGammaImage(Same, Same, *Lut));
  EXPECT_EQ(Same, Destination);
}

TEST(CompositionTest, KernelsRefuseMismatchedSizes) {
  auto Lut = std::make_unique<GammaLutType>();
  std::vector<uint16_t> A(10, 1), B(11, 2), C(10, 3);
  EXPECT_FALSE(MakeGammaImage(A, B, *Lut));
  EXPECT_FALSE(BlendResultImage(A, B, 15, C));
  EXPECT_FALSE(BlendResultImage(A, C, 15, B));
  EXPECT_FALSE(MakeBlendedResult(A, C, *Lut, 15, B, C));
  EXPECT_EQ(B, std::vector<uint16_t>(11, 2));
  EXPECT_EQ(C, std::vector<uint16_t>(10, 3));
}

TEST(CompositionTest, BlendWeights) {
  const BlendWeights B = ObraBlendWeights(15);
  EXPECT_EQ(B.W, 0.15f);
  EXPECT_EQ(B.G, 1.0f - 0.15f);
  EXPECT_EQ(ObraBlendWeights(0).W, 0.0f);
  EXPECT_EQ(ObraBlendWeights(0).G, 1.0f);
  EXPECT_EQ(ObraBlendWeights(-5).W, 0.0f);
  EXPECT_EQ(ObraBlendWeights(250).W, ObraBlendWeights(100).W);
}

TEST(CompositionTest, WeightZeroGivesTheGammaImage) {
  const std::vector<uint16_t> Gamma = RandomSamples(3000, 2), Act = RandomSamples(3000, 3);
  std::vector<uint16_t> Result(Gamma.size());
  ASSERT_TRUE(BlendResultImage(Gamma, Act, 0, Result));
  EXPECT_EQ(Result, Gamma);
}

TEST(CompositionTest, BlendRoundsHalfToEven) {
  std::vector<uint16_t> Gamma = {1, 3, 5, 65535, 0}, Act = {0, 0, 0, 65535, 65535};
  std::vector<uint16_t> Result(Gamma.size());
  ASSERT_TRUE(BlendResultImage(Gamma, Act, 50, Result));
  EXPECT_EQ(Result, (std::vector<uint16_t>{0, 2, 2, 65535, 32768}));  // 0.5, 1.5, 2.5, ..., 32767.5
}

// Every weight 0..100 against the extended-precision definition, with random
// samples and the extremes; the result never leaves 16 bits.
TEST(CompositionTest, BlendIsExactForEveryWeight) {
  std::vector<uint16_t> Gamma = RandomSamples(20000, 4), Act = RandomSamples(20000, 5);
  Gamma[0] = Act[0] = 65535;
  Gamma[1] = 65535;
  Act[1] = 0;
  Gamma[2] = 0;
  Act[2] = 65535;
  std::vector<uint16_t> Result(Gamma.size());
  for (int32_t Weight = 0; Weight <= 100; ++Weight) {
    ASSERT_TRUE(BlendResultImage(Gamma, Act, Weight, Result));
    for (size_t I = 0; I < Gamma.size(); ++I)
      ASSERT_EQ(Result[I], ReferenceBlend(Gamma[I], Act[I], Weight))
          << "weight " << Weight << " index " << I;
    EXPECT_EQ(Result[0], 65535);
  }
}

// The AVX2 and AVX-512 builds of the blend loop give the baseline's samples.
TEST(CompositionTest, EveryInstructionSetGivesTheSameBlend) {
  const std::vector<uint16_t> Gamma = RandomSamples(10007, 8), Act = RandomSamples(10007, 9);
  const BlendWeights B = ObraBlendWeights(23);
  std::vector<uint16_t> Base(Gamma.size()), Wide(Gamma.size());
  BlendSamples(Gamma.data(), Act.data(), Base.data(), Base.size(), B.G, B.W);
  for (size_t I = 0; I < Base.size(); ++I) ASSERT_EQ(Base[I], ReferenceBlend(Gamma[I], Act[I], 23));
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) {
    BlendSamplesAvx2(Gamma.data(), Act.data(), Wide.data(), Wide.size(), B.G, B.W);
    EXPECT_EQ(Wide, Base);
  }
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq")) {
    std::fill(Wide.begin(), Wide.end(), 0);
    BlendSamplesAvx512(Gamma.data(), Act.data(), Wide.data(), Wide.size(), B.G, B.W);
    EXPECT_EQ(Wide, Base);
  }
}

TEST(CompositionTest, WeightThirtyMixesSeventyThirty) {
  std::vector<uint16_t> Gamma = {10000, 0}, Act = {0, 10000};
  std::vector<uint16_t> Result(2);
  ASSERT_TRUE(BlendResultImage(Gamma, Act, 30, Result));
  EXPECT_EQ(Result[0], 7000);
  EXPECT_EQ(Result[1], 3000);
}

// A frame large enough to be split over threads gives the same samples as the
// one-sample definition, through the separate and the fused kernels.
TEST(CompositionTest, LargeFramesMatchTheDefinition) {
  const size_t N = 2048 * 1536 + 17;
  const std::vector<uint16_t> Source = RandomSamples(N, 6), Act = RandomSamples(N, 7);
  auto Lut = std::make_unique<GammaLutType>();
  FillGammaLut(*Lut, 300, 50000, 22);
  std::vector<uint16_t> Gamma(N), Result(N), FusedGamma(N), FusedResult(N);
  ASSERT_TRUE(MakeGammaImage(Source, Gamma, *Lut));
  ASSERT_TRUE(BlendResultImage(Gamma, Act, 17, Result));
  ASSERT_TRUE(MakeBlendedResult(Source, Act, *Lut, 17, FusedGamma, FusedResult));
  for (size_t I = 0; I < N; I += 1 + I % 97) {
    ASSERT_EQ(Gamma[I], (*Lut)[Source[I]]) << I;
    ASSERT_EQ(Result[I], ReferenceBlend(Gamma[I], Act[I], 17)) << I;
  }
  EXPECT_EQ(FusedGamma, Gamma);
  EXPECT_EQ(FusedResult, Result);
}

// Work split over threads covers every index exactly once, and a fault in any
// range reaches the caller after all threads have finished.
TEST(CompositionTest, ParallelRangesCoverEveryIndexOnce) {
  for (size_t Count : {size_t(0), size_t(1), size_t(999), size_t(100003)}) {
    std::vector<int> Seen(Count, 0);
    ParallelRanges(Count, 1000, [&](size_t Begin, size_t End) {
      for (size_t I = Begin; I < End; ++I) ++Seen[I];
    });
    EXPECT_EQ(std::count(Seen.begin(), Seen.end(), 1), long(Count));
  }
  // The last range runs on a worker thread whenever there is more than one.
  const auto Failing = [](size_t, size_t End) {
    if (End == size_t(1) << 20) throw std::runtime_error("range fault");
  };
  EXPECT_THROW(ParallelRanges(1 << 20, 1, Failing), std::runtime_error);
}

ImageRecord LevelRecord() {
  ImageRecord R;
  R.Low1 = 1000;
  R.LowP001 = 500;
  R.HighP001 = 50000;
  R.HighP01 = 45000;
  return R;
}

TEST(CompositionTest, AutoOutputLevelsWeighTwoStatistics) {
  const ImageRecord G = LevelRecord();
  ImageRecord L = LevelRecord();
  L.LowP001 = 2000;
  L.HighP01 = 60000;
  const OutputLevels Out = AutoOutputLevels(G, L, 1.0f, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(Out.Black, 2000);   // 1000 + 2000 x 0.5
  EXPECT_EQ(Out.White, 55000);  // 25000 + 30000
}

TEST(CompositionTest, AutoOutputLevelsRoundHalfToEven) {
  ImageRecord G;
  G.Low1 = 1;
  G.HighP001 = 80001;
  EXPECT_EQ(AutoOutputLevels(G, G, 0.5f, 0.0f, 0.5f, 0.0f).Black, 0);
  G.Low1 = 3;
  EXPECT_EQ(AutoOutputLevels(G, G, 0.5f, 0.0f, 0.5f, 0.0f).Black, 2);
  EXPECT_EQ(AutoOutputLevels(G, G, 0.5f, 0.0f, 0.5f, 0.0f).White, 40000);  // 40000.5
  G.HighP001 = 80003;
  EXPECT_EQ(AutoOutputLevels(G, G, 0.5f, 0.0f, 0.5f, 0.0f).White, 40002);  // 40001.5
}

TEST(CompositionTest, AutoOutputLevelsKeepTheSliderLimits) {
  const ImageRecord G = LevelRecord();
  EXPECT_EQ(AutoOutputLevels(G, G, 30.0f, 0.0f, 1.0f, 0.0f).Black, 24000);
  EXPECT_EQ(AutoOutputLevels(G, G, 1.0f, 0.0f, 0.5f, 0.0f).White, 40000);
}

// Weights outside 0..1 clamp to the 16-bit range instead of wrapping: a white
// of 72,000 stays white (its low 16 bits would be 6,464) and a negative black
// stays black.
TEST(CompositionTest, AutoOutputLevelsClampInsteadOfWrapping) {
  ImageRecord G = LevelRecord();
  G.HighP001 = 60000;
  EXPECT_EQ(AutoOutputLevels(G, G, 1.0f, 0.0f, 1.2f, 0.0f).White, 65535);
  EXPECT_EQ(AutoOutputLevels(G, G, -1.0f, 0.0f, 1.0f, 0.0f).Black, 0);
  EXPECT_EQ(AutoOutputLevels(G, G, NAN, 0.0f, NAN, 0.0f).Black, 0);
  EXPECT_EQ(AutoOutputLevels(G, G, NAN, 0.0f, NAN, 0.0f).White, 40000);
}

ImageRecord InputRecord() {
  ImageRecord R;
  R.MinValue = 0;
  R.MaxValue = 16000;
  R.LowP0001 = 20;
  R.LowP1 = 60;
  R.Low1 = 150;
  R.Low20 = 900;
  R.High1 = 9000;
  R.HighP0001 = 15800;
  R.Telescope = "SDO/AIA";
  return R;
}

void ExpectRange(const std::optional<LevelRange>& R, int32_t Minimum, int32_t Maximum,
                 int32_t Position) {
  ASSERT_TRUE(R.has_value());
  EXPECT_EQ(R->Minimum, Minimum);
  EXPECT_EQ(R->Maximum, Maximum);
  EXPECT_EQ(R->Position, Position);
}

TEST(CompositionTest, AutoInputRangesFromStatistics) {
  ExpectRange(AutoInputBlackRange(InputRecord()), 20, 900, 60);
  ExpectRange(AutoInputWhiteRange(InputRecord()), 9000, 16000, 15800);
}

TEST(CompositionTest, AutoInputBlackOfTheOffsetTelescope) {
  ImageRecord R = InputRecord();
  R.Telescope = "ZEL-1";
  R.ValueOffset = 100;
  R.LowP0001 = 95;
  R.Low20 = 110;
  R.Low1 = 105;
  ExpectRange(AutoInputBlackRange(R), 80, 120, 105);
  // Statistics already wider than offset +- 20 stay as they are.
  R.LowP0001 = 50;
  R.Low20 = 700;
  ExpectRange(AutoInputBlackRange(R), 50, 700, 105);
}

TEST(CompositionTest, AutoInputPositionStaysInsideTheRange) {
  ImageRecord R = InputRecord();
  R.LowP1 = 5000;
  R.HighP0001 = 65535;
  EXPECT_EQ(AutoInputBlackRange(R)->Position, 900);
  EXPECT_EQ(AutoInputWhiteRange(R)->Position, 16000);
}

// At least 1 % of the samples at the largest value makes High1 = MaxValue + 1;
// the range is closed by lowering its minimum, never handed over inverted.
TEST(CompositionTest, EmptyWhiteRangeIsClosed) {
  ImageRecord R = InputRecord();
  R.High1 = R.MaxValue + 1;
  R.HighP0001 = 65535;
  ExpectRange(AutoInputWhiteRange(R), 16000, 16000, 16000);
}

TEST(CompositionTest, SingleValuedImageLeavesInputLevels) {
  ImageRecord R = InputRecord();
  R.MinValue = R.MaxValue = 1234;
  EXPECT_FALSE(AutoInputBlackRange(R).has_value());
  EXPECT_FALSE(AutoInputWhiteRange(R).has_value());
}

}  // namespace
}  // namespace obra
