// Run-time choice of the production engine's instruction set. The variants
// are compiled with their own flags; the program itself stays baseline x86-64.
#include "EngineDetail.h"

namespace obra::detail {

bool IsaSupported(EngineIsa Isa) {
  switch (Isa) {
    case EngineIsa::Baseline:
      return true;
    case EngineIsa::Avx2:
      return __builtin_cpu_supports("avx2");
    case EngineIsa::Avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
  }
  return false;
}

EngineIsa BestIsa() {
  static const EngineIsa Best = IsaSupported(EngineIsa::Avx512) ? EngineIsa::Avx512
                                : IsaSupported(EngineIsa::Avx2) ? EngineIsa::Avx2
                                                                : EngineIsa::Baseline;
  return Best;
}

int32_t IsaLanes(EngineIsa Isa) {
  switch (Isa) {
    case EngineIsa::Avx2:
      return 8;
    case EngineIsa::Avx512:
      return 16;
    case EngineIsa::Baseline:
      break;
  }
  return 4;
}

}  // namespace obra::detail
