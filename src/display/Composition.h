// Result composition: the gamma image, the blend with the equalized image, and
// the automatic levels derived from image statistics.
//
// Common rules of this module:
//  - Buffers are row-major 16-bit samples passed as spans; a kernel whose spans
//    differ in length returns false and writes nothing. Source and destination
//    may be the same buffer.
//  - Results are exact: the blend is computed without rounding error and then
//    rounded half to even, so it does not depend on how the work is split over
//    threads (large images use one thread per processor).
//  - The level helpers only compute values; the workflow stores them and sets
//    the sliders.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "Display.h"
#include "IOGraphics.h"

namespace obra {

// Slider limits of the output levels.
inline constexpr uint16_t OutputBlackLimit = 24000;  // largest automatic output black
inline constexpr uint16_t OutputWhiteLimit = 40000;  // smallest automatic output white

// Weights of the blend in single precision: W = ObraWeight x 0.01, G = 1 - W.
struct BlendWeights {
  float W = 0.0f;
  float G = 1.0f;
};

// The blend weights of an OBRA weight in hundredths, taken into 0..100 first.
BlendWeights ObraBlendWeights(int32_t ObraWeight);

// Destination[i] := Lut[Source[i]]. Returns false when the lengths differ.
bool MakeGammaImage(std::span<const uint16_t> Source, std::span<uint16_t> Destination,
                    const GammaLutType& Lut);

// Result[i] := round(Gamma[i] x G + Activation[i] x W) with the weights of
// ObraWeight, rounded half to even. Returns false when the lengths differ.
bool BlendResultImage(std::span<const uint16_t> Gamma, std::span<const uint16_t> Activation,
                      int32_t ObraWeight, std::span<uint16_t> Result);

// Both steps in one pass: Gamma := Lut[Source], then Result := the blend of
// Gamma and Activation. Returns false when the lengths differ.
bool MakeBlendedResult(std::span<const uint16_t> Source, std::span<const uint16_t> Activation,
                       const GammaLutType& Lut, int32_t ObraWeight, std::span<uint16_t> Gamma,
                       std::span<uint16_t> Result);

// Automatic output levels, each rounded half to even and taken into 0..65535.
struct OutputLevels {
  uint16_t Black = 0;  // at most OutputBlackLimit
  uint16_t White = 0;  // at least OutputWhiteLimit
};

// Black = G.Low1 x GlobalB + L.LowP001 x LocalB, White = G.HighP001 x GlobalW +
// L.HighP01 x LocalW (G: whole image or disc, L: region or G), then the slider limits.
OutputLevels AutoOutputLevels(const ImageRecord& G, const ImageRecord& L, float GlobalB,
                              float LocalB, float GlobalW, float LocalW);

// Range and position of an input level slider.
struct LevelRange {
  int32_t Minimum = 0;
  int32_t Maximum = 65535;
  int32_t Position = 0;  // kept inside Minimum..Maximum
};

// Automatic input black of R's statistics; nothing (std::nullopt) when
// MinValue equals MaxValue. An empty range is closed by lowering its minimum.
std::optional<LevelRange> AutoInputBlackRange(const ImageRecord& R);
// Automatic input white (High1..MaxValue at HighP0001); as AutoInputBlackRange.
std::optional<LevelRange> AutoInputWhiteRange(const ImageRecord& R);

}  // namespace obra
