// What this machine gives the engine's inner loop at best: 256-bit
// read-modify-writes of bin rows chosen by 16-bit indices, 8 independent bin
// sets of 8 lanes (or 4 of 16 lanes, two vectors per index) interleaved as
// the production engine interleaves its groups, with no prefix pass,
// read-out or ring around them. The index pattern is uniform random over
// Span rows (the bins of all sets take 8 x Span x 32 bytes either way), or,
// as a reference point, every set walking its rows in order. The time per
// pixel sample is the floor the engine's scatter can reach for a given cache
// footprint.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

typedef float V8 __attribute__((vector_size(32)));
constexpr int Rows = 136 * 129;  // the samples of one AVX2 group's window, R = 64

// Halves 256-bit vectors per bin row: 8 sets of 8 lanes, or 4 sets of 16
// lanes in two halves (the same bin memory, one index for two vectors).
template <int Halves>
__attribute__((target("avx2"))) void Scatter(float* const* Bins, const uint16_t* Col,
                                             const float* W) {
  constexpr int Sets = 8 / Halves, Lanes = 8 * Halves;
  for (int T = 0; T < Rows; ++T) {
    V8 Wt[Halves];
    for (int H = 0; H < Halves; ++H) std::memcpy(&Wt[H], W + (T & 63) + 8 * H, sizeof(V8));
#pragma GCC unroll 8
    for (int G = 0; G < Sets; ++G) {
      V8* P = reinterpret_cast<V8*>(Bins[G] + static_cast<size_t>(Col[T + G * Lanes]) * Lanes);
      for (int H = 0; H < Halves; ++H) P[H] = P[H] + Wt[H];
    }
  }
}

void BM_BinReadModifyWrite(benchmark::State& State) {
  if (!__builtin_cpu_supports("avx2")) return State.SkipWithError("no AVX2 here");
  const int Span = static_cast<int>(State.range(0));
  const bool InOrder = State.range(1) != 0;
  const int Halves = static_cast<int>(State.range(2));
  const int Sets = 8 / Halves, Lanes = 8 * Halves;
  // Bin rows 64-byte aligned, as the engine's.
  const size_t SetFloats = static_cast<size_t>(Span) * Lanes;
  std::vector<float> Store(Sets * SetFloats + 16);
  float* const First =
      Store.data() + (16 - reinterpret_cast<uintptr_t>(Store.data()) / 4 % 16) % 16;
  float* Bins[8];
  for (int G = 0; G < Sets; ++G) Bins[G] = First + G * SetFloats;
  std::vector<uint16_t> Col(Rows + Sets * Lanes);
  std::mt19937 Rng(1);
  for (size_t I = 0; I < Col.size(); ++I)
    Col[I] = static_cast<uint16_t>(InOrder ? I % Span : Rng() % Span);
  std::vector<float> W(80, 1e-9f);
  for (auto _ : State) {
    if (Halves == 2)
      Scatter<2>(Bins, Col.data(), W.data());
    else
      Scatter<1>(Bins, Col.data(), W.data());
    benchmark::ClobberMemory();
  }
  const double Vectors = static_cast<double>(Rows) * Sets * Halves * State.iterations();
  State.counters["time/RMW"] =
      benchmark::Counter(Vectors, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  State.counters["time/sample"] =
      benchmark::Counter(Vectors * 8, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  State.counters["KiB"] = static_cast<double>(Sets * SetFloats * sizeof(float)) / 1024;
}
BENCHMARK(BM_BinReadModifyWrite)
    ->ArgNames({"span", "in_order", "halves"})
    ->Args({64, 1, 1})
    ->Args({64, 0, 1})
    ->Args({256, 0, 1})
    ->Args({1024, 0, 1})
    ->Args({2560, 0, 1})
    ->Args({64, 0, 2})
    ->Args({256, 0, 2})
    ->Args({1024, 0, 2})
    ->Args({2560, 0, 2})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
