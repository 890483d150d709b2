#include "ParallelRanges.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace obra {

void RunTasks(size_t Count, const std::function<void(size_t Task)>& Task) {
  if (Count == 0) return;
  // A fault in any task (lack of memory) reaches the caller once every
  // thread has finished, never as a terminate from a lost thread.
  std::vector<std::exception_ptr> Faults(Count);
  const auto Run = [&](size_t K) {
    try {
      Task(K);
    } catch (...) {
      Faults[K] = std::current_exception();
    }
  };
  std::vector<std::thread> Workers;
  std::vector<size_t> Inline{0};
  Inline.reserve(Count);
  Workers.reserve(Count - 1);
  for (size_t K = 1; K < Count; ++K) {
    try {
      Workers.emplace_back(Run, K);
    } catch (...) {
      Inline.push_back(K);
    }
  }
  for (size_t K : Inline) Run(K);
  for (std::thread& W : Workers) W.join();
  for (const std::exception_ptr& F : Faults)
    if (F) std::rethrow_exception(F);
}

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
  RunTasks(Parts, [&](size_t P) { Body(Count * P / Parts, Count * (P + 1) / Parts); });
}

}  // namespace obra
