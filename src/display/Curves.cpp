// Transfer curves and the table fillers.
//
// The curves are defined in extended precision. Evaluating 65,536 entries with
// x87 long double costs about 12 ms per fill, too slow for a slider, so each
// curve is evaluated in double and only a result within 1e-6 of a rounding
// boundary (x.5) is evaluated again in long double. The error of the double
// evaluation stays below 1e-9 of a level, far inside that margin, so the tables
// are bit for bit those of a pure long double evaluation.
#include <cmath>

#include "Display.h"

namespace obra {

GammaLutType GammaLut{};
DisplayLutType DisplayLut{};

namespace {

// Both differences are exact in single precision, so the division rounds once.
float CurveFraction(uint16_t Black, uint16_t White, uint16_t Value) {
  const int32_t Num = int32_t(Value) - int32_t(Black);
  const int32_t Den = int32_t(White) - int32_t(Black);
  return float(Num) / float(Den);
}

bool NearHalf(double R) {
  const double Fraction = R - std::floor(R);
  return std::fabs(Fraction - 0.5) < 1e-6;
}

// Rounds half to even into 0..Max. NaN and negative values give 0: they only
// come from curve parameters no control can set (a gamma of 0 or below).
template <typename Real>
int32_t RoundInto(Real R, int32_t Max) {
  if (!(R > 0)) return 0;
  if (R >= Real(Max)) return Max;
  return int32_t(std::nearbyint(R));
}

// The front common to all curves: 0 below t = 1e-9 (also for black = white,
// where t is not a number), Max above 1, and -1 where the curve decides.
int32_t Front(float T, int32_t Max) {
  if (!(double(T) >= 1e-9)) return 0;
  if (T > 1.0f) return Max;
  return -1;
}

int32_t LinearValue(float T, int32_t Max) {
  // Max x t needs at most 40 significant bits: exact in double.
  return RoundInto(double(Max) * double(T), Max);
}

struct PowerCurve {
  double InverseD;
  long double InverseL;

  explicit PowerCurve(float Gamma) : InverseD(1.0 / double(Gamma)), InverseL(1.0L / Gamma) {}

  int32_t operator()(float T, int32_t Max) const {
    // 1 to any power is 1; this also keeps ln(1) x (1/0) from making a NaN.
    if (T == 1.0f) return Max;
    const double R = double(Max) * std::exp(std::log(double(T)) * InverseD);
    if (!NearHalf(R)) return RoundInto(R, Max);
    const long double L = (long double)Max * std::exp(std::log((long double)T) * InverseL);
    return RoundInto(L, Max);
  }
};

int32_t SrgbValue(float T, int32_t Max) {
  // 12.92 x 255 and 12.92 x 65535, taken as these decimal constants.
  const long double LinearSlope = Max == 255 ? 3294.6L : 846712.2L;
  if ((long double)T <= 0.0031308L) {
    const double R = double(LinearSlope) * double(T);
    if (!NearHalf(R)) return RoundInto(R, Max);
    return RoundInto(LinearSlope * T, Max);
  }
  const double R = double(Max) * (1.055 * std::exp(std::log(double(T)) * (1.0 / 2.4)) - 0.055);
  if (!NearHalf(R)) return RoundInto(R, Max);
  const long double L =
      (long double)Max * (1.055L * std::exp(std::log((long double)T) * (1.0L / 2.4L)) - 0.055L);
  return RoundInto(L, Max);
}

template <typename Curve>
int32_t Evaluate(uint16_t Black, uint16_t White, uint16_t Value, int32_t Max, const Curve& C) {
  const float T = CurveFraction(Black, White, Value);
  const int32_t F = Front(T, Max);
  return F >= 0 ? F : C(T, Max);
}

template <typename Entry, typename Curve>
void FillWith(std::array<Entry, LutSize>& Lut, uint16_t Black, uint16_t White, int32_t Max,
              const Curve& C) {
  for (int32_t V = 0; V < LutSize; ++V) Lut[V] = Entry(Evaluate(Black, White, uint16_t(V), Max, C));
}

// Fills Lut between Black and White by selector; Black < White here.
template <typename Entry>
void FillBySelector(std::array<Entry, LutSize>& Lut, uint16_t Black, uint16_t White,
                    int32_t Selector, int32_t Max) {
  if (Selector == SrgbSelector)
    FillWith(Lut, Black, White, Max, SrgbValue);
  else if (Selector == LinearSelector)
    FillWith(Lut, Black, White, Max, LinearValue);
  else
    FillWith(Lut, Black, White, Max, PowerCurve(SelectorGamma(Selector)));
}

}  // namespace

uint8_t SrgbCurve8(uint16_t Black, uint16_t White, uint16_t Value) {
  return uint8_t(Evaluate(Black, White, Value, 255, SrgbValue));
}

uint8_t LinearCurve8(uint16_t Black, uint16_t White, uint16_t Value) {
  return uint8_t(Evaluate(Black, White, Value, 255, LinearValue));
}

uint8_t GammaCurve8(uint16_t Black, uint16_t White, uint16_t Value, float Gamma) {
  return uint8_t(Evaluate(Black, White, Value, 255, PowerCurve(Gamma)));
}

uint16_t SrgbCurve16(uint16_t Black, uint16_t White, uint16_t Value) {
  return uint16_t(Evaluate(Black, White, Value, 65535, SrgbValue));
}

uint16_t LinearCurve16(uint16_t Black, uint16_t White, uint16_t Value) {
  return uint16_t(Evaluate(Black, White, Value, 65535, LinearValue));
}

uint16_t GammaCurve16(uint16_t Black, uint16_t White, uint16_t Value, float Gamma) {
  return uint16_t(Evaluate(Black, White, Value, 65535, PowerCurve(Gamma)));
}

float SelectorGamma(int32_t Selector) { return float(double(Selector) * 0.1); }

void FillDisplayLut(DisplayLutType& Lut, uint16_t Black, uint16_t White, int32_t Selector) {
  if (Black >= White) {
    Black = 0;
    White = 65535;
  }
  FillBySelector(Lut, Black, White, Selector, 255);
}

void FillDisplayLut(uint16_t Black, uint16_t White, int32_t Selector) {
  FillDisplayLut(DisplayLut, Black, White, Selector);
}

void FillGammaLut(GammaLutType& Lut, uint16_t Black, uint16_t White, int32_t Selector) {
  if (Black >= White) {
    Lut.fill(0);
    return;
  }
  FillBySelector(Lut, Black, White, Selector, 65535);
}

void FillGammaLut(uint16_t Black, uint16_t White, int32_t Selector) {
  FillGammaLut(GammaLut, Black, White, Selector);
}

}  // namespace obra
