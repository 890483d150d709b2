#include "ParallelRanges.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace obra {

void ParallelRanges(size_t Count, size_t MinPerPart,
                    const std::function<void(size_t Begin, size_t End)>& Body) {
  if (Count == 0) return;
  const size_t Processors = std::max(1u, std::thread::hardware_concurrency());
  const size_t ByWork = Count / std::max<size_t>(MinPerPart, 1);
  const size_t Parts = std::clamp<size_t>(ByWork, 1, std::min<size_t>(Processors, 8));
  if (Parts == 1) {
    Body(0, Count);
    return;
  }
  // A fault in any range (lack of memory) reaches the caller once every
  // thread has finished, never as a terminate from a lost thread.
  std::vector<std::exception_ptr> Faults(Parts);
  const auto Run = [&](size_t P) {
    try {
      Body(Count * P / Parts, Count * (P + 1) / Parts);
    } catch (...) {
      Faults[P] = std::current_exception();
    }
  };
  std::vector<std::thread> Workers;
  std::vector<size_t> Inline{0};
  Inline.reserve(Parts);
  Workers.reserve(Parts - 1);
  for (size_t P = 1; P < Parts; ++P) {
    try {
      Workers.emplace_back(Run, P);
    } catch (...) {
      Inline.push_back(P);
    }
  }
  for (size_t P : Inline) Run(P);
  for (std::thread& W : Workers) W.join();
  for (const std::exception_ptr& F : Faults)
    if (F) std::rethrow_exception(F);
}

}  // namespace obra
