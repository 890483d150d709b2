// OBRA equalization: kernel tables and the threaded equalization worker.
//
// Common rules of this module:
//  - KernelTable and NoiseKernel exist once per process and are written only
//    by BuildKernels (at each configuration read). They must not be rebuilt
//    while an activation runs: the workers read them without locks.
//  - All weights, histograms and accumulators are single precision and every
//    accumulation is rounded to single precision in a fixed order, so that a
//    result is reproducible to the last bit on every machine.
//  - The functions take their tables and parameters explicitly; the
//    parameterless forms work on the process-wide ones.
#pragma once

#include <array>
#include <cstdint>

#include "IniFile.h"

namespace obra {

inline constexpr int KernelRadius = 64;                 // table reach in pixels
inline constexpr int KernelDim = 2 * KernelRadius + 1;  // 129
inline constexpr int NoiseReach = 300;                  // noise table offsets -300..300

// Spatial weights, 129 x 129, row-major: entry [dy + 64][dx + 64] is the weight
// of the neighbour at offset (dx, dy).
struct KernelTableType {
  std::array<float, KernelDim * KernelDim> Entries{};
  float& At(int Dx, int Dy) { return Entries[(Dy + KernelRadius) * KernelDim + Dx + KernelRadius]; }
  float At(int Dx, int Dy) const {
    return Entries[(Dy + KernelRadius) * KernelDim + Dx + KernelRadius];
  }
};

// Noise weights over sample values, offsets -300..300; only -N..N are used,
// N being the noise half-length 2 x NRSigma.
struct NoiseKernelType {
  std::array<float, 2 * NoiseReach + 1> Entries{};
  float& operator[](int K) { return Entries[K + NoiseReach]; }
  float operator[](int K) const { return Entries[K + NoiseReach]; }
};

extern KernelTableType KernelTable;
extern NoiseKernelType NoiseKernel;

// The twelve Gaussian components: standard deviations in pixels, widest first.
inline constexpr std::array<float, 12> KernelSigmas = {48.0f, 32.0f, 22.0f, 16.0f, 11.0f, 8.0f,
                                                       5.6f,  4.0f,  2.8f,  2.0f,  1.4f,  1.0f};
// Their weights from the configuration, in the same order.
std::array<float, 12> KernelWeights(const Parameters& P);

// Normalized 2-D Gaussian at (X, Y), cut to 0 beyond five standard deviations.
float GaussValue(float X, float Y, float Sigma);
void ClearKernel(KernelTableType& K);
// Adds Weight x GaussValue to every entry (dy outer, dx inner).
void AddGaussian(KernelTableType& K, float Weight, float Sigma);
// Rebuilds both tables from P (P.NRSigma must be 1..150).
void BuildKernels(const Parameters& P, KernelTableType& K, NoiseKernelType& Noise);

void ClearKernel();
void AddGaussian(float Weight, float Sigma);
void BuildKernels();

}  // namespace obra
