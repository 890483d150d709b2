// Transfer curves and the two table fillers.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "Display.h"

namespace obra {
namespace {

// The curves as defined, evaluated entirely in x87 extended precision.
long double ReferenceFraction(int B, int W, int V) { return float(V - B) / float(W - B); }

int ReferencePower(int B, int W, int V, float Gamma, int Max) {
  const float T = float(ReferenceFraction(B, W, V));
  if (T < 1e-9f) return 0;
  if (T > 1.0f) return Max;
  const long double Inverse = 1.0L / Gamma;
  return int(std::nearbyint((long double)Max * std::exp(std::log((long double)T) * Inverse)));
}

int ReferenceSrgb(int B, int W, int V, int Max) {
  const float T = float(ReferenceFraction(B, W, V));
  if (T < 1e-9f) return 0;
  if (T > 1.0f) return Max;
  if ((long double)T <= 0.0031308L)
    return int(std::nearbyint((Max == 255 ? 3294.6L : 846712.2L) * T));
  return int(std::nearbyint((long double)Max *
                            (1.055L * std::exp(std::log((long double)T) / 2.4L) - 0.055L)));
}

struct Tables {
  GammaLutType Gamma{};
  DisplayLutType Display{};
};

TEST(CurvesTest, LinearDisplayTableExamples) {
  auto T = std::make_unique<Tables>();
  FillDisplayLut(T->Display, 0, 65535, LinearSelector);
  EXPECT_EQ(T->Display[0], 0);
  EXPECT_EQ(T->Display[128], 0);
  EXPECT_EQ(T->Display[129], 1);
  EXPECT_EQ(T->Display[32768], 128);
  EXPECT_EQ(T->Display[65535], 255);
}

TEST(CurvesTest, DisplayTableFallsBackToFullRange) {
  auto Full = std::make_unique<Tables>();
  auto T = std::make_unique<Tables>();
  for (int32_t Selector : {LinearSelector, SrgbSelector, 22}) {
    FillDisplayLut(Full->Display, 0, 65535, Selector);
    FillDisplayLut(T->Display, 5000, 5000, Selector);
    EXPECT_EQ(T->Display, Full->Display) << "black = white, selector " << Selector;
    FillDisplayLut(T->Display, 60000, 100, Selector);
    EXPECT_EQ(T->Display, Full->Display) << "black > white, selector " << Selector;
  }
}

TEST(CurvesTest, GammaTableOfEmptyRangeIsBlack) {
  auto T = std::make_unique<Tables>();
  T->Gamma.fill(7);
  FillGammaLut(T->Gamma, 3000, 3000, 22);
  for (uint16_t V : T->Gamma) ASSERT_EQ(V, 0);
  T->Gamma.fill(7);
  FillGammaLut(T->Gamma, 3001, 3000, LinearSelector);
  for (uint16_t V : T->Gamma) ASSERT_EQ(V, 0);
}

TEST(CurvesTest, GammaTableExamples) {
  auto T = std::make_unique<Tables>();
  FillGammaLut(T->Gamma, 0, 65535, 22);
  EXPECT_EQ(T->Gamma[0], 0);
  EXPECT_EQ(T->Gamma[1000], 9790);
  EXPECT_EQ(T->Gamma[16384], 34899);
  EXPECT_EQ(T->Gamma[65535], 65535);

  FillGammaLut(T->Gamma, 1000, 61000, 22);
  for (int V = 0; V <= 1000; ++V) ASSERT_EQ(T->Gamma[V], 0) << V;
  EXPECT_EQ(T->Gamma[1001], ReferencePower(1000, 61000, 1001, 2.2f, 65535));
  EXPECT_GT(T->Gamma[1001], 0);
  EXPECT_EQ(T->Gamma[31000], 47824);
  for (int V = 61000; V <= 65535; ++V) ASSERT_EQ(T->Gamma[V], 65535) << V;
}

TEST(CurvesTest, SrgbExamples) {
  EXPECT_EQ(SrgbCurve8(0, 65535, 100), 5);
  EXPECT_EQ(SrgbCurve8(0, 65535, 32768), 188);
  EXPECT_EQ(SrgbCurve16(0, 65535, 100), 1292);
  EXPECT_EQ(SrgbCurve16(0, 65535, 32768), 48192);
  auto T = std::make_unique<Tables>();
  FillDisplayLut(T->Display, 0, 65535, SrgbSelector);
  FillGammaLut(T->Gamma, 0, 65535, SrgbSelector);
  EXPECT_EQ(T->Display[100], 5);
  EXPECT_EQ(T->Display[32768], 188);
  EXPECT_EQ(T->Gamma[100], 1292);
  EXPECT_EQ(T->Gamma[32768], 48192);
}

TEST(CurvesTest, LinearSelectorUsesTheLinearRamp) {
  auto T = std::make_unique<Tables>();
  FillGammaLut(T->Gamma, 250, 40000, LinearSelector);
  FillDisplayLut(T->Display, 250, 40000, LinearSelector);
  for (int V = 0; V < LutSize; ++V) {
    const float F = float(ReferenceFraction(250, 40000, V));
    const long double Clamped = F < 1e-9f ? 0.0L : F > 1.0f ? 1.0L : F;
    ASSERT_EQ(T->Gamma[V], int(std::nearbyint(65535.0L * Clamped))) << V;
    ASSERT_EQ(T->Display[V], int(std::nearbyint(255.0L * Clamped))) << V;
    ASSERT_EQ(T->Gamma[V], LinearCurve16(250, 40000, uint16_t(V)));
  }
}

// The fast evaluation must give the extended-precision tables exactly, also at
// the exact ties where double alone rounds the wrong way (t = 1/32 at gamma 5
// gives 65535 x 0.5 = 32767.5, which rounds to the even 32768).
TEST(CurvesTest, PowerTablesEqualExtendedPrecision) {
  auto T = std::make_unique<Tables>();
  FillGammaLut(T->Gamma, 1000, 61000, 50);
  EXPECT_EQ(T->Gamma[2875], 32768);
  const int Ranges[][2] = {{0, 65535}, {1000, 61000}, {0, 16320}, {56, 2606}};
  for (const auto& Range : Ranges) {
    for (int32_t Selector : {11, 15, 22, 30, 45, 50, 60}) {
      const float Gamma = SelectorGamma(Selector);
      FillGammaLut(T->Gamma, uint16_t(Range[0]), uint16_t(Range[1]), Selector);
      FillDisplayLut(T->Display, uint16_t(Range[0]), uint16_t(Range[1]), Selector);
      for (int V = Range[0]; V <= Range[1] + 1 && V < LutSize; ++V) {
        ASSERT_EQ(T->Gamma[V], ReferencePower(Range[0], Range[1], V, Gamma, 65535))
            << "selector " << Selector << " value " << V;
        ASSERT_EQ(T->Display[V], ReferencePower(Range[0], Range[1], V, Gamma, 255))
            << "selector " << Selector << " value " << V;
      }
    }
  }
}

TEST(CurvesTest, SrgbTablesEqualExtendedPrecision) {
  auto T = std::make_unique<Tables>();
  FillGammaLut(T->Gamma, 0, 65535, SrgbSelector);
  FillDisplayLut(T->Display, 0, 65535, SrgbSelector);
  for (int V = 0; V < LutSize; ++V) {
    ASSERT_EQ(T->Gamma[V], ReferenceSrgb(0, 65535, V, 65535)) << V;
    ASSERT_EQ(T->Display[V], ReferenceSrgb(0, 65535, V, 255)) << V;
  }
}

TEST(CurvesTest, CurvesAtTheRangeEdges) {
  EXPECT_EQ(GammaCurve16(1000, 2000, 999, 2.2f), 0);
  EXPECT_EQ(GammaCurve16(1000, 2000, 1000, 2.2f), 0);
  EXPECT_EQ(GammaCurve16(1000, 2000, 2000, 2.2f), 65535);
  EXPECT_EQ(GammaCurve16(1000, 2000, 2001, 2.2f), 65535);
  EXPECT_EQ(LinearCurve8(1000, 2000, 1500), 128);  // 127.5 rounds to even
  // Black = white: at or below black is black, above it white; no NaN leaks out.
  EXPECT_EQ(LinearCurve16(500, 500, 500), 0);
  EXPECT_EQ(SrgbCurve16(500, 500, 500), 0);
  EXPECT_EQ(GammaCurve8(500, 500, 501, 2.2f), 255);
  EXPECT_EQ(GammaCurve8(500, 500, 499, 2.2f), 0);
}

// Selectors no control sets still give defined tables: gamma 0 maps everything
// inside the range to black and the white level to white; a negative gamma
// would exceed the range and saturates.
TEST(CurvesTest, DegenerateSelectorsSaturate) {
  auto T = std::make_unique<Tables>();
  FillGammaLut(T->Gamma, 100, 200, 0);
  EXPECT_EQ(T->Gamma[150], 0);
  EXPECT_EQ(T->Gamma[200], 65535);
  FillDisplayLut(T->Display, 100, 200, -5);
  EXPECT_EQ(T->Display[100], 0);
  EXPECT_EQ(T->Display[101], 255);
  EXPECT_EQ(T->Display[150], 255);
}

TEST(CurvesTest, ProcessWideTablesAreFilled) {
  FillGammaLut(0, 65535, 22);
  FillDisplayLut(0, 65535, LinearSelector);
  EXPECT_EQ(GammaLut[1000], 9790);
  EXPECT_EQ(DisplayLut[32768], 128);
}

}  // namespace
}  // namespace obra
