// The configuration text as start-up and the editor read it, and the kernel
// tables built from whatever it accepts.
#include <cstdint>
#include <sstream>
#include <string>

#include "AdaptiveEQ.h"
#include "IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::istringstream Text(std::string(reinterpret_cast<const char*>(Data), Size));
  obra::Parameters P;
  if (!obra::ReadIniStream(Text, P).Fatal) {
    static obra::KernelTableType Kernel;
    static obra::NoiseKernelType Noise;
    obra::BuildKernels(P, Kernel, Noise);
  }
  return 0;
}
