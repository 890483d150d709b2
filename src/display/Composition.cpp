// The gamma image and the blend of the result image.
//
// Why the blend is exact in double: W = k x 0.01 (k = 0..100) and G = 1 - W
// are single-precision numbers of at most 24 significant bits, each 0 or at
// least 2^-7. A 16-bit sample times either is exact (40 bits), and the sum of
// the two products is a multiple of 2^-30 below 2^17, which needs at most 47
// bits. So the double sum equals the extended-precision one and rounding it
// half to even gives the defined result. Adding and subtracting 2^52 rounds a
// non-negative double below 2^52 to an integer under the default rounding mode,
// in a form the compiler vectorizes.
#include "Composition.h"

#include <algorithm>

#include "BlendKernel.h"
#include "ParallelRanges.h"

namespace obra {
namespace {

// Below this many samples per thread, starting threads costs more than it saves.
constexpr size_t MinSamplesPerThread = size_t(1) << 20;
// Block of the fused pass: the gamma samples are blended while still in cache.
constexpr size_t FusedBlock = 4096;

void LookupRange(const uint16_t* Source, uint16_t* Destination, size_t Count,
                 const GammaLutType& Lut) {
  for (size_t I = 0; I < Count; ++I) Destination[I] = Lut[Source[I]];
}

using BlendFunction = void (*)(const uint16_t*, const uint16_t*, uint16_t*, size_t, double, double);

// The widest build of the blend loop this processor runs; all give the same samples.
BlendFunction ChooseBlend() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
    return BlendSamplesAvx512;
  if (__builtin_cpu_supports("avx2")) return BlendSamplesAvx2;
  return BlendSamples;
}

void BlendRange(const uint16_t* Gamma, const uint16_t* Activation, uint16_t* Result, size_t Count,
                double G, double W) {
  static const BlendFunction Blend = ChooseBlend();
  Blend(Gamma, Activation, Result, Count, G, W);
}

}  // namespace

BlendWeights ObraBlendWeights(int32_t ObraWeight) {
  BlendWeights B;
  B.W = float(double(std::clamp(ObraWeight, 0, 100)) * 0.01);
  B.G = 1.0f - B.W;
  return B;
}

bool MakeGammaImage(std::span<const uint16_t> Source, std::span<uint16_t> Destination,
                    const GammaLutType& Lut) {
  if (Source.size() != Destination.size()) return false;
  ParallelRanges(Source.size(), MinSamplesPerThread, [&](size_t Begin, size_t End) {
    LookupRange(Source.data() + Begin, Destination.data() + Begin, End - Begin, Lut);
  });
  return true;
}

bool BlendResultImage(std::span<const uint16_t> Gamma, std::span<const uint16_t> Activation,
                      int32_t ObraWeight, std::span<uint16_t> Result) {
  if (Gamma.size() != Activation.size() || Gamma.size() != Result.size()) return false;
  const BlendWeights B = ObraBlendWeights(ObraWeight);
  ParallelRanges(Gamma.size(), MinSamplesPerThread, [&](size_t Begin, size_t End) {
    BlendRange(Gamma.data() + Begin, Activation.data() + Begin, Result.data() + Begin, End - Begin,
               B.G, B.W);
  });
  return true;
}

bool MakeBlendedResult(std::span<const uint16_t> Source, std::span<const uint16_t> Activation,
                       const GammaLutType& Lut, int32_t ObraWeight, std::span<uint16_t> Gamma,
                       std::span<uint16_t> Result) {
  const size_t N = Source.size();
  if (Activation.size() != N || Gamma.size() != N || Result.size() != N) return false;
  const BlendWeights B = ObraBlendWeights(ObraWeight);
  ParallelRanges(N, MinSamplesPerThread, [&](size_t Begin, size_t End) {
    for (size_t I = Begin; I < End; I += FusedBlock) {
      const size_t Count = std::min(FusedBlock, End - I);
      LookupRange(Source.data() + I, Gamma.data() + I, Count, Lut);
      BlendRange(Gamma.data() + I, Activation.data() + I, Result.data() + I, Count, B.G, B.W);
    }
  });
  return true;
}

}  // namespace obra
