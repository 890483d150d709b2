// Automatic output levels and the ranges of the automatic input levels.
#include <algorithm>
#include <cmath>

#include "Composition.h"

namespace obra {
namespace {

// Rounds half to even into the 16-bit range. Configuration weights whose sum
// leaves 0..1 can push a level outside it; keeping only the low 16 bits would
// turn a slightly too bright white into a black.
uint16_t RoundInto16(double V) {
  if (!(V > 0.0)) return 0;
  if (V >= 65535.0) return 65535;
  return uint16_t(std::nearbyint(V));
}

// A slider takes no range whose minimum lies above its maximum, and a 16-bit
// level must stay representable.
LevelRange MakeRange(int32_t Minimum, int32_t Maximum, int32_t Position) {
  LevelRange R;
  R.Maximum = std::clamp(Maximum, 0, 65535);
  R.Minimum = std::min(std::clamp(Minimum, 0, 65535), R.Maximum);
  R.Position = std::clamp(Position, R.Minimum, R.Maximum);
  return R;
}

}  // namespace

OutputLevels AutoOutputLevels(const ImageRecord& G, const ImageRecord& L, float GlobalB,
                              float LocalB, float GlobalW, float LocalW) {
  const double Black = double(G.Low1) * double(GlobalB) + double(L.LowP001) * double(LocalB);
  const double White = double(G.HighP001) * double(GlobalW) + double(L.HighP01) * double(LocalW);
  OutputLevels Out;
  Out.Black = std::min(RoundInto16(Black), OutputBlackLimit);
  Out.White = std::max(RoundInto16(White), OutputWhiteLimit);
  return Out;
}

std::optional<LevelRange> AutoInputBlackRange(const ImageRecord& R) {
  if (R.MinValue == R.MaxValue) return std::nullopt;
  if (R.Telescope.find("ZEL") != std::string::npos) {
    // The offset telescope's dark level sits at ValueOffset; keep it reachable.
    const int32_t Minimum = std::min(R.LowP0001, R.ValueOffset - 20);
    const int32_t Maximum = std::max(R.Low20, R.ValueOffset + 20);
    return MakeRange(Minimum, Maximum, R.Low1);
  }
  return MakeRange(R.LowP0001, R.Low20, R.LowP1);
}

std::optional<LevelRange> AutoInputWhiteRange(const ImageRecord& R) {
  if (R.MinValue == R.MaxValue) return std::nullopt;
  return MakeRange(R.High1, R.MaxValue, R.HighP0001);
}

}  // namespace obra
