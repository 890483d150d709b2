// The blend loop built for AVX-512; the build gives this file its instruction-set flags.
#include "BlendKernel.h"

namespace obra {

void BlendSamplesAvx512(const uint16_t* Gamma, const uint16_t* Activation, uint16_t* Result,
                        size_t Count, double G, double W) {
  BlendSamples(Gamma, Activation, Result, Count, G, W);
}

}  // namespace obra
