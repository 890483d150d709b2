// The keyword-line parsers and the observation-time texts built from their
// values. The input is "key\nline": the first line is the key looked for.
#include <cstdint>
#include <string>
#include <string_view>

#include "IOGraphics.h"
#include "ZEL_param.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view In(reinterpret_cast<const char*>(Data), Size);
  const size_t Split = In.find('\n');
  const std::string_view Key = Split == std::string_view::npos ? In : In.substr(0, Split);
  const std::string_view Line = Split == std::string_view::npos ? In : In.substr(Split + 1);
  int32_t I = 0;
  double D = 0;
  float F = 0;
  std::string T;
  obra::ParseKeyInt(Line, Key, I);
  obra::ParseKeyDouble(Line, Key, D);
  obra::ParseKeyFloat(Line, Key, F);
  if (obra::ParseKeyText(Line, Key, T)) {
    obra::FormatObsTime(T);
    obra::ObsTimeForFileName(T);
  }
  obra::WavelengthLabel(I);
  return 0;
}
