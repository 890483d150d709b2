#include "ParallelRanges.h"

#include <algorithm>
#include <system_error>
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
  std::vector<std::thread> Workers;
  Workers.reserve(Parts - 1);
  std::vector<std::pair<size_t, size_t>> Inline;
  for (size_t P = 1; P < Parts; ++P) {
    const size_t Begin = Count * P / Parts;
    const size_t End = Count * (P + 1) / Parts;
    try {
      Workers.emplace_back([&Body, Begin, End] { Body(Begin, End); });
    } catch (const std::system_error&) {
      Inline.emplace_back(Begin, End);
    }
  }
  Body(0, Count / Parts);
  for (const auto& [Begin, End] : Inline) Body(Begin, End);
  for (std::thread& W : Workers) W.join();
}

}  // namespace obra
