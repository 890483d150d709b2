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
//  - The equalization reads its input, tables and rectangle through an
//    EqualizeJob; workers write disjoint columns of the output and take no
//    locks. Two engines compute it: the plain reference and the fast
//    production engine, which gives the same output to the last bit.
#pragma once

#include <array>
#include <atomic>
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
// Reads ProgramDir/OBRA.ini into Params (ReadProgramIniFile) and, unless the
// status is fatal, rebuilds KernelTable and NoiseKernel from it.
IniStatus GetIniFile();

// ---- Equalization ------------------------------------------------------------
// Everything a worker reads, passed explicitly. Samples are row-major, sample
// (x, y) at y x Width + x; value 0 means no data. Only the rectangle's samples
// of Output are written; the rest keep what the caller put there.
struct EqualizeJob {
  const uint16_t* Input = nullptr;
  uint16_t* Output = nullptr;
  int32_t Width = 0, Height = 0;
  // Statistics of Input that bound the histogram clearing. Values that do not
  // cover every sample are widened, so stale statistics cannot leak old bins.
  int32_t MinValue = 0, MaxValue = 0;
  int32_t RoiLeft = 0, RoiTop = 0, RoiWidth = 0, RoiHeight = 0;
  int32_t KerSize = 0;          // neighbourhood radius R, 0..64
  int32_t NoiseHalfLength = 0;  // N = 2 x NRSigma, 0..300
  const KernelTableType* Kernel = nullptr;
  const NoiseKernelType* Noise = nullptr;
};

// A job over the rectangle (Left, Top, Width, Height) of Input with the
// configured radius and noise reach and the given tables.
inline EqualizeJob MakeJob(const uint16_t* Input, uint16_t* Output, int32_t Width, int32_t Height,
                           int32_t MinValue, int32_t MaxValue, const int32_t (&Roi)[4],
                           const Parameters& P, const KernelTableType& Kernel,
                           const NoiseKernelType& Noise) {
  return {Input,  Output, Width,  Height,    MinValue,          MaxValue, Roi[0],
          Roi[1], Roi[2], Roi[3], P.KerSize, P.NoiseHalfLength, &Kernel,  &Noise};
}

enum class EngineKind { Reference, Production };

// Most workers an activation starts.
inline constexpr int32_t MaxThreads = 64;

// The processor count, at least 1 and at most MaxThreads.
int32_t ProcessorCount();

// Largest image width or height the engine accepts.
inline constexpr int32_t MaxSide = (int32_t{1} << 30);

// True when Job can be run: pointers set, sides 0..MaxSide, rectangle inside
// the image, KerSize 0..64, NoiseHalfLength 0..300, Output not overlapping Input.
bool ValidJob(const EqualizeJob& Job);

// First and last column of worker Index of Count: equal bands of RoiWidth /
// Count columns, the remainder to the last worker. Last < First when empty.
struct ColumnBand {
  int32_t First = 0, Last = -1;
};
ColumnBand BandOf(const EqualizeJob& Job, int32_t Index, int32_t Count);

// Single-threaded entry, for tests and tools: runs worker Index of Count over
// Job, storing the number of finished columns of its band in Progress (release
// order) after each column. Returns early, leaving Progress short, when *Stop
// becomes true; does nothing when !ValidJob(Job) or Index is not in 0..Count-1.
// Throws std::bad_alloc when its scratch cannot be allocated.
void EqualizeBand(const EqualizeJob& Job, int32_t Index, int32_t Count,
                  std::atomic<int32_t>& Progress, EngineKind Kind,
                  const std::atomic<bool>* Stop = nullptr);

}  // namespace obra
