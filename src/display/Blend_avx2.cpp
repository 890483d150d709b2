// The blend loop built for AVX2; the build gives this file its instruction-set flags.
#include "BlendKernel.h"

namespace obra {

void BlendSamplesAvx2(const uint16_t* Gamma, const uint16_t* Activation, uint16_t* Result,
                      size_t Count, double G, double W) {
  BlendSamples(Gamma, Activation, Result, Count, G, W);
}

}  // namespace obra
