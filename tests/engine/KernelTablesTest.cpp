#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "AdaptiveEQ.h"

using namespace obra;

namespace {
Parameters Only(float Parameters::*Key, float W, int NRSigma = 1) {
  Parameters P;
  P.*Key = W;
  P.NRSigma = NRSigma;
  return P;
}
}  // namespace

TEST(KernelTables, AllWeightsZeroGiveAZeroTable) {
  KernelTableType K;
  NoiseKernelType N;
  K.Entries.fill(1.0f);
  BuildKernels(Only(&Parameters::KerS_10, 0.0f), K, N);
  for (float E : K.Entries) EXPECT_EQ(E, 0.0f);
}

TEST(KernelTables, NarrowestComponentIsConfinedToRadiusFive) {
  KernelTableType K;
  NoiseKernelType N;
  const float W = 3.0f;
  BuildKernels(Only(&Parameters::KerS_10, W), K, N);
  EXPECT_FLOAT_EQ(K.At(0, 0), static_cast<float>(W / (2.0 * M_PI)));
  EXPECT_FLOAT_EQ(K.At(5, 0), static_cast<float>(W * std::exp(-12.5) / (2.0 * M_PI)));
  EXPECT_GT(K.At(3, 4), 0.0f);  // exactly at 5 sigma: still computed
  for (int Dy = -64; Dy <= 64; ++Dy)
    for (int Dx = -64; Dx <= 64; ++Dx)
      if (Dx * Dx + Dy * Dy > 25) {
        ASSERT_EQ(K.At(Dx, Dy), 0.0f) << Dx << "," << Dy;
      }
}

TEST(KernelTables, CutOffUsesTheSinglePrecisionSigma) {
  // 5.6f is slightly below 5.6, so a point at distance 28 is beyond 5 sigma.
  EXPECT_EQ(GaussValue(28, 0, 5.6f), 0.0f);
  EXPECT_GT(GaussValue(27, 0, 5.6f), 0.0f);
  EXPECT_EQ(GaussValue(7, 0, 1.4f), 0.0f);
  EXPECT_GT(GaussValue(20, 0, 4.0f), 0.0f);
  EXPECT_EQ(GaussValue(21, 0, 4.0f), 0.0f);
}

TEST(KernelTables, NegativeWeightsSubtract) {
  Parameters P = Only(&Parameters::KerS_20, 1.0f);
  P.KerS_10 = -1.0f;
  KernelTableType K;
  NoiseKernelType N;
  BuildKernels(P, K, N);
  EXPECT_LT(K.At(0, 0), 0.0f);  // the narrower component is taller
  EXPECT_GT(K.At(6, 0), 0.0f);  // only the wider one reaches here
}

TEST(KernelTables, NoiseKernelShapeAndReach) {
  KernelTableType K;
  NoiseKernelType N;
  N.Entries.fill(-1.0f);
  BuildKernels(Only(&Parameters::KerS_10, 1.0f, 1), K, N);
  const double E2 = std::exp(-2.0), E05 = std::exp(-0.5), S = 2 * E2 + 2 * E05 + 1;
  EXPECT_FLOAT_EQ(N[0], static_cast<float>(1 / S));
  EXPECT_FLOAT_EQ(N[1], static_cast<float>(E05 / S));
  EXPECT_FLOAT_EQ(N[-2], static_cast<float>(E2 / S));
  EXPECT_EQ(N[1], N[-1]);
  EXPECT_EQ(N[3], -1.0f);  // outside -N..N nothing is written

  BuildKernels(Only(&Parameters::KerS_10, 1.0f, 150), K, N);
  float Sum = 0;
  for (int J = -300; J <= 300; ++J) {
    EXPECT_GT(N[J], 0.0f);
    Sum += N[J];
  }
  EXPECT_NEAR(Sum, 1.0f, 1e-5);
}

TEST(KernelTables, RebuildIsBitIdentical) {
  Parameters P;
  P.NRSigma = 7;
  P.KerS_480 = 0.3f;
  P.KerS_56 = 1.7f;
  P.KerS_14 = -0.2f;
  KernelTableType A, B;
  NoiseKernelType NA, NB;
  BuildKernels(P, A, NA);
  BuildKernels(P, B, NB);
  EXPECT_EQ(0, std::memcmp(A.Entries.data(), B.Entries.data(), sizeof A.Entries));
  EXPECT_EQ(0, std::memcmp(NA.Entries.data(), NB.Entries.data(), sizeof NA.Entries));
}
