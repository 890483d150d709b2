// Kernel tables. The Gaussian itself is evaluated in double precision and
// rounded to single precision once; the comparison with the cut-off radius is
// also made in double, so that for sigma = 5.6f (slightly below 5.6) a point at
// distance 28 lies beyond 5 sigma and is cut.
#include <cmath>
#include <numbers>

#include "AdaptiveEQ.h"

namespace obra {

KernelTableType KernelTable;
NoiseKernelType NoiseKernel;

std::array<float, 12> KernelWeights(const Parameters& P) {
  return {P.KerS_480, P.KerS_320, P.KerS_220, P.KerS_160, P.KerS_110, P.KerS_80,
          P.KerS_56,  P.KerS_40,  P.KerS_28,  P.KerS_20,  P.KerS_14,  P.KerS_10};
}

float GaussValue(float X, float Y, float Sigma) {
  const float R2 = X * X + Y * Y;
  const double S = Sigma;
  if (std::sqrt(static_cast<double>(R2)) > 5.0 * S) return 0.0f;
  return static_cast<float>(std::exp(-static_cast<double>(R2) / (2.0 * S * S)) /
                            (2.0 * std::numbers::pi * S * S));
}

void ClearKernel(KernelTableType& K) { K.Entries.fill(0.0f); }

void AddGaussian(KernelTableType& K, float Weight, float Sigma) {
  for (int Dy = -KernelRadius; Dy <= KernelRadius; ++Dy)
    for (int Dx = -KernelRadius; Dx <= KernelRadius; ++Dx) {
      float& E = K.At(Dx, Dy);
      // The product of two singles is exact in double; only the sum is rounded.
      E = static_cast<float>(static_cast<double>(E) +
                             static_cast<double>(Weight) * GaussValue(float(Dx), float(Dy), Sigma));
    }
}

void BuildKernels(const Parameters& P, KernelTableType& K, NoiseKernelType& Noise) {
  ClearKernel(K);
  const std::array<float, 12> W = KernelWeights(P);
  for (size_t I = 0; I < W.size(); ++I) AddGaussian(K, W[I], KernelSigmas[I]);

  const int32_t Sigma = P.NRSigma;
  const int32_t N = 2 * Sigma;
  if (Sigma < 1 || N > NoiseReach) return;  // refused by the configuration read
  const int32_t TwoSigma2 = 2 * Sigma * Sigma;
  float Sum = 0.0f;
  for (int32_t J = -N; J <= N; ++J) {
    Noise[J] = static_cast<float>(std::exp(-static_cast<double>(J * J) / TwoSigma2));
    Sum += Noise[J];
  }
  for (int32_t J = -N; J <= N; ++J) Noise[J] = Noise[J] / Sum;
}

void ClearKernel() { ClearKernel(KernelTable); }
void AddGaussian(float Weight, float Sigma) { AddGaussian(KernelTable, Weight, Sigma); }
void BuildKernels() { BuildKernels(Params, KernelTable, NoiseKernel); }

IniStatus GetIniFile() {
  IniStatus S = ReadProgramIniFile();
  if (!S.Fatal) BuildKernels();
  return S;
}

}  // namespace obra
