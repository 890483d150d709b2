// Run-time choice of the production engine's instruction set. The variants
// are compiled with their own flags; the program itself stays baseline x86-64.
//
// What a processor supports does not say what runs fastest on it: a core that
// executes 512-bit operations in two halves can run the 16-lane variant slower
// than the 8-lane one, whose bin rows also take half the cache. So the choice
// is measured: each supported variant equalizes the same strip (about 30 ms
// in all) before the first run, and the fastest is kept for the process.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "EngineDetail.h"

namespace obra::detail {

namespace {

// What each variant is, in the order of the enum.
enum class Needs { Nothing, Avx2, Avx512 };
struct Variant {
  EngineIsa Isa;
  const char* Name;
  int32_t Lanes;
  bool ByValue;
  Needs Requires;
};
constexpr std::array<Variant, AllIsas.size()> Variants = {{
    {EngineIsa::Baseline, "baseline", 4, false, Needs::Nothing},
    {EngineIsa::Avx2, "avx2", 8, false, Needs::Avx2},
    {EngineIsa::Avx2Wide, "avx2-16", 16, false, Needs::Avx2},
    {EngineIsa::Avx512, "avx512", 16, false, Needs::Avx512},
    {EngineIsa::BaselineValues, "baseline-values", 4, true, Needs::Nothing},
    {EngineIsa::Avx2Values, "avx2-values", 8, true, Needs::Avx2},
    {EngineIsa::Avx512Values, "avx512-values", 16, true, Needs::Avx512},
}};
constexpr bool InEnumOrder() {
  for (size_t I = 0; I < Variants.size(); ++I)
    if (static_cast<size_t>(Variants[I].Isa) != I || AllIsas[I] != Variants[I].Isa) return false;
  return true;
}
static_assert(InEnumOrder(), "one row per variant, in the order of the enum");
const Variant& Of(EngineIsa Isa) { return Variants[static_cast<size_t>(Isa)]; }

}  // namespace

bool IsaSupported(EngineIsa Isa) {
  switch (Of(Isa).Requires) {
    case Needs::Nothing:
      return true;
    case Needs::Avx2:
      return __builtin_cpu_supports("avx2");
    case Needs::Avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
  }
  return false;
}

EngineIsa BestIsa() {
  static const EngineIsa Best = IsaSupported(EngineIsa::Avx512Values) ? EngineIsa::Avx512Values
                                : IsaSupported(EngineIsa::Avx2Values) ? EngineIsa::Avx2Values
                                                                      : EngineIsa::BaselineValues;
  return Best;
}

int32_t IsaLanes(EngineIsa Isa) { return Of(Isa).Lanes; }
bool IsValueIsa(EngineIsa Isa) { return Of(Isa).ByValue; }
const char* IsaName(EngineIsa Isa) { return Of(Isa).Name; }

std::optional<EngineIsa> ParseIsa(std::string_view Name) {
  for (EngineIsa Isa : AllIsas)
    if (Name == IsaName(Isa)) return Isa;
  return std::nullopt;
}

namespace {

// Columns and rows of the timed strip, about 2,000 pixels per run: wide
// enough that the engine by value (which sorts each strip of rows with R
// columns either side) is timed on bands like the ones it is dealt, tall
// enough for a whole set of groups of the column engine. Then the timed runs
// of each variant: variants a sixth apart must not swap places on a machine
// whose timings wander by a tenth. After the first run (which also warms the
// caches up), a variant more than Behind times slower than the fastest is
// dropped, so that the clear losers cost one run each.
constexpr int32_t StripColumns = 32, StripRows = 64, TimedRounds = 3;
constexpr double Behind = 1.5;

struct Choice {
  std::mutex Lock;
  std::optional<EngineIsa> Forced, Measured;
};
Choice& TheChoice() {
  static Choice C;
  return C;
}

// The strip and its neighbourhoods from the middle of Job's image, as a job of its own.
struct Strip {
  std::vector<uint16_t> Input, Output;
  EqualizeJob Job;
};
Strip StripOf(const EqualizeJob& Job) {
  Strip S;
  const int32_t R = Job.KerSize;
  const int32_t Cw = std::min(StripColumns, Job.Width), Rh = std::min(StripRows, Job.Height);
  const int32_t X0 = (Job.Width - Cw) / 2, Y0 = (Job.Height - Rh) / 2;
  const int32_t Left = std::max(0, X0 - R), Right = std::min(Job.Width, X0 + Cw + R);
  const int32_t Top = std::max(0, Y0 - R), Bottom = std::min(Job.Height, Y0 + Rh + R);
  const int32_t W = Right - Left, H = Bottom - Top;
  S.Input.resize(static_cast<size_t>(W) * H);
  for (int32_t Y = 0; Y < H; ++Y)
    std::copy_n(Job.Input + static_cast<size_t>(Top + Y) * Job.Width + Left, W,
                S.Input.begin() + static_cast<ptrdiff_t>(Y) * W);
  S.Output.assign(S.Input.size(), 0);
  S.Job = Job;
  S.Job.Input = S.Input.data();
  S.Job.Output = S.Output.data();
  S.Job.Width = W;
  S.Job.Height = H;
  S.Job.RoiLeft = X0 - Left;
  S.Job.RoiTop = Y0 - Top;
  S.Job.RoiWidth = Cw;
  S.Job.RoiHeight = Rh;
  return S;
}

std::optional<EngineIsa> FromEnvironment() {
  const char* Name = std::getenv("OBRA_ISA");
  if (!Name) return std::nullopt;
  const std::optional<EngineIsa> Isa = ParseIsa(Name);
  if (Isa && IsaSupported(*Isa)) return Isa;
  return std::nullopt;
}

}  // namespace

VariantTimes TimeVariants(const EqualizeJob& Job) {
  VariantTimes Ns{};
  if (!ValidJob(Job) || !Job.Input || Job.Width < 1 || Job.Height < 1) return Ns;
  Strip S = StripOf(Job);
  const ColumnBand Band{S.Job.RoiLeft, S.Job.RoiLeft + S.Job.RoiWidth - 1};
  std::array<ProductionScratch, AllIsas.size()> Scratch;
  for (EngineIsa Isa : AllIsas)
    if (IsaSupported(Isa)) PrepareProduction(S.Job, Band, Isa, Scratch[static_cast<int>(Isa)]);
  // The variants in turn, so that a disturbance from other programs does
  // not fall on one variant only; each keeps its best run.
  const double Pixels = static_cast<double>(S.Job.RoiWidth) * S.Job.RoiHeight;
  double Fastest = 0;
  for (int32_t Round = 0; Round < TimedRounds; ++Round) {
    for (EngineIsa Isa : AllIsas) {
      if (!IsaSupported(Isa)) continue;
      if (Round > 0 && Ns[static_cast<int>(Isa)] > Behind * Fastest) continue;
      std::atomic<int32_t> Progress{0};
      const auto T0 = std::chrono::steady_clock::now();
      RunProduction(S.Job, Band, Scratch[static_cast<int>(Isa)], Progress, nullptr);
      const std::chrono::duration<double, std::nano> T = std::chrono::steady_clock::now() - T0;
      double& Best = Ns[static_cast<int>(Isa)];
      if (Round == 0 || T.count() / Pixels < Best) Best = T.count() / Pixels;
      if (Fastest == 0 || Best < Fastest) Fastest = Best;
    }
  }
  return Ns;
}

EngineIsa ChosenIsa(const EqualizeJob& Job) {
  Choice& C = TheChoice();
  std::lock_guard<std::mutex> Guard(C.Lock);
  if (C.Forced) return *C.Forced;
  static const std::optional<EngineIsa> Named = FromEnvironment();
  if (Named) return *Named;
  if (C.Measured) return *C.Measured;
  const VariantTimes Ns = TimeVariants(Job);
  // Widest first, so that a tie keeps the wider variant.
  std::optional<EngineIsa> Fastest;
  for (auto It = AllIsas.rbegin(); It != AllIsas.rend(); ++It) {
    const double T = Ns[static_cast<int>(*It)];
    if (T > 0 && (!Fastest || T < Ns[static_cast<int>(*Fastest)])) Fastest = *It;
  }
  if (!Fastest) return BestIsa();  // nothing to measure on yet
  C.Measured = Fastest;
  return *Fastest;
}

void ForceIsa(std::optional<EngineIsa> Isa) {
  Choice& C = TheChoice();
  std::lock_guard<std::mutex> Guard(C.Lock);
  C.Forced = Isa;
}

}  // namespace obra::detail
