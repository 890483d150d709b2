// The per-sample blend loop, compiled once per instruction set.
//
// Internal linkage on purpose: Composition.cpp, Blend_avx2.cpp and
// Blend_avx512.cpp each get their own copy built with their own flags, so the
// linker can never hand a wider-instruction copy to the baseline path. All
// copies give identical samples: every operation is exact (see Composition.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace obra {
namespace {

// Result[i] := round half to even (Gamma[i] x G + Activation[i] x W); the sum
// must lie in 0..65535.5, which the weights of ObraBlendWeights guarantee.
inline void BlendSamples(const uint16_t* Gamma, const uint16_t* Activation, uint16_t* Result,
                         size_t Count, double G, double W) {
  for (size_t I = 0; I < Count; ++I) {
    const double V = double(Gamma[I]) * G + double(Activation[I]) * W;
    Result[I] = uint16_t(int32_t((V + 0x1p52) - 0x1p52));
  }
}

}  // namespace

// The same loop built for AVX2 and for AVX-512; call only where the processor has them.
void BlendSamplesAvx2(const uint16_t* Gamma, const uint16_t* Activation, uint16_t* Result,
                      size_t Count, double G, double W);
void BlendSamplesAvx512(const uint16_t* Gamma, const uint16_t* Activation, uint16_t* Result,
                        size_t Count, double G, double W);

}  // namespace obra
