// What this machine gives the engine's inner loop at best: 256-bit
// read-modify-writes of bin rows (8 floats) chosen by 16-bit indices, 8
// independent bin sets interleaved as the production engine interleaves its
// groups, with no prefix pass, read-out or ring around them. The index
// pattern is uniform random over Span rows (so the bins of all sets take
// 8 x Span x 32 bytes), or, as a reference point, every set walking its rows
// in order. The time per read-modify-write is the floor the engine's scatter
// can reach for a given cache footprint.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

typedef float V8 __attribute__((vector_size(32)));
constexpr int Sets = 8;
constexpr int Rows = 136 * 129;  // the samples of one AVX2 group's window, R = 64

__attribute__((target("avx2"))) void Scatter(float* const* Bins, const uint16_t* Col,
                                             const float* W) {
  for (int T = 0; T < Rows; ++T) {
    V8 Wt;
    std::memcpy(&Wt, W + (T & 63), sizeof Wt);
#pragma GCC unroll 8
    for (int G = 0; G < Sets; ++G) {
      V8* P = reinterpret_cast<V8*>(Bins[G] + static_cast<size_t>(Col[T + G * 8]) * 8);
      *P = *P + Wt;
    }
  }
}

void BM_BinReadModifyWrite(benchmark::State& State) {
  if (!__builtin_cpu_supports("avx2")) return State.SkipWithError("no AVX2 here");
  const int Span = static_cast<int>(State.range(0));
  const bool InOrder = State.range(1) != 0;
  // Bin rows 64-byte aligned, as the engine's.
  std::vector<float> Store(static_cast<size_t>(Sets) * Span * 8 + 16);
  float* const First =
      Store.data() + (16 - reinterpret_cast<uintptr_t>(Store.data()) / 4 % 16) % 16;
  float* Bins[Sets];
  for (int G = 0; G < Sets; ++G) Bins[G] = First + static_cast<size_t>(G) * Span * 8;
  std::vector<uint16_t> Col(Rows + Sets * 8);
  std::mt19937 Rng(1);
  for (size_t I = 0; I < Col.size(); ++I)
    Col[I] = static_cast<uint16_t>(InOrder ? I % Span : Rng() % Span);
  std::vector<float> W(72, 1e-9f);
  for (auto _ : State) {
    Scatter(Bins, Col.data(), W.data());
    benchmark::ClobberMemory();
  }
  State.counters["time/RMW"] =
      benchmark::Counter(static_cast<double>(Rows) * Sets * State.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  State.counters["KiB"] = static_cast<double>(Sets) * Span * sizeof(V8) / 1024;
}
BENCHMARK(BM_BinReadModifyWrite)
    ->ArgNames({"span", "in_order"})
    ->Args({64, 1})
    ->Args({64, 0})
    ->Args({256, 0})
    ->Args({1024, 0})
    ->Args({2560, 0})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
