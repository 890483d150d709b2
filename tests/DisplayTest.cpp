// The display pipeline: transfer curves and tables against an extended-precision
// model, composition and automatic levels, rendering and the time overlay.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <stdexcept>
#include <tuple>

#include "BlendKernel.h"
#include "Composition.h"
#include "Display.h"
#include "ParallelRanges.h"

namespace obra {
namespace {

std::vector<uint16_t> RandomSamples(size_t N, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::vector<uint16_t> V(N);
  for (uint16_t& S : V) S = uint16_t(Rng());
  return V;
}

// The curves as defined, evaluated in x87 extended precision; Max is 255 or 65535.
int ReferenceCurve(int B, int W, int V, int32_t Selector, int Max) {
  const float T = float(V - B) / float(W - B);
  if (T < 1e-9f) return 0;
  if (T > 1.0f) return Max;
  const long double L = T;
  if (Selector == LinearSelector) return int(std::nearbyint(Max * L));
  if (Selector != SrgbSelector)
    return int(std::nearbyint(Max * std::exp(std::log(L) * (1.0L / SelectorGamma(Selector)))));
  if (L <= 0.0031308L) return int(std::nearbyint((Max == 255 ? 3294.6L : 846712.2L) * T));
  return int(std::nearbyint(Max * (1.055L * std::exp(std::log(L) / 2.4L) - 0.055L)));
}

uint16_t ReferenceBlend(uint16_t G, uint16_t A, int32_t Weight) {
  const float W = float(Weight * 0.01L);
  return uint16_t(std::nearbyint((long double)G * (1.0f - W) + (long double)A * W));
}

struct Tables {
  GammaLutType Gamma{};
  DisplayLutType Display{};
};

ImageRecord Record(int32_t W, int32_t H) {
  ImageRecord R;
  R.Width = W, R.Height = H, R.Valid = true;
  return R;
}

}  // namespace

// ---- Transfer curves ------------------------------------------------------------

TEST(Curves, NumericExamples) {
  auto T = std::make_unique<Tables>();
  FillDisplayLut(T->Display, 0, 65535, LinearSelector);
  EXPECT_EQ(T->Display[0], 0);
  EXPECT_EQ(T->Display[128], 0);
  EXPECT_EQ(T->Display[129], 1);
  EXPECT_EQ(T->Display[32768], 128);
  EXPECT_EQ(T->Display[65535], 255);
  FillGammaLut(T->Gamma, 0, 65535, 22);
  EXPECT_EQ(T->Gamma[0], 0);
  EXPECT_EQ(T->Gamma[1000], 9790);
  EXPECT_EQ(T->Gamma[16384], 34899);
  EXPECT_EQ(T->Gamma[65535], 65535);
  FillGammaLut(T->Gamma, 1000, 61000, 22);
  EXPECT_EQ(T->Gamma[31000], 47824);
  // At t = 1/32, gamma 5 gives 65535 x 0.5 = 32767.5: the even 32768, where
  // double alone rounds the wrong way.
  FillGammaLut(T->Gamma, 1000, 61000, 50);
  EXPECT_EQ(T->Gamma[2875], 32768);
  EXPECT_EQ(SrgbCurve8(0, 65535, 100), 5);
  EXPECT_EQ(SrgbCurve8(0, 65535, 32768), 188);
  EXPECT_EQ(SrgbCurve16(0, 65535, 100), 1292);
  EXPECT_EQ(SrgbCurve16(0, 65535, 32768), 48192);
  EXPECT_EQ(LinearCurve8(1000, 2000, 1500), 128);  // 127.5 rounds to even
  FillGammaLut(0, 65535, 22);
  FillDisplayLut(0, 65535, LinearSelector);
  EXPECT_EQ(GammaLut[1000], 9790);
  EXPECT_EQ(DisplayLut[32768], 128);
}

// The fast evaluation gives the extended-precision tables exactly, and the
// single-value curves agree with them.
TEST(Curves, TablesEqualExtendedPrecision) {
  auto T = std::make_unique<Tables>();
  const int Ranges[][2] = {{0, 65535}, {1000, 61000}, {0, 16320}, {56, 2606}, {250, 40000}};
  for (const auto& Range : Ranges) {
    for (int32_t Selector : {LinearSelector, SrgbSelector, 11, 15, 22, 30, 45, 50, 60}) {
      const uint16_t B = uint16_t(Range[0]), W = uint16_t(Range[1]);
      FillGammaLut(T->Gamma, B, W, Selector);
      FillDisplayLut(T->Display, B, W, Selector);
      for (int V = 0; V < LutSize; ++V) {
        ASSERT_EQ(T->Gamma[V], ReferenceCurve(B, W, V, Selector, 65535)) << Selector << " " << V;
        ASSERT_EQ(T->Display[V], ReferenceCurve(B, W, V, Selector, 255)) << Selector << " " << V;
      }
      const uint16_t V = uint16_t(B + (W - B) / 3);
      const float G = SelectorGamma(Selector);
      const bool Lin = Selector == LinearSelector, Srgb = Selector == SrgbSelector;
      EXPECT_EQ(Lin    ? LinearCurve16(B, W, V)
                : Srgb ? SrgbCurve16(B, W, V)
                       : GammaCurve16(B, W, V, G),
                T->Gamma[V]);
      EXPECT_EQ(Lin    ? LinearCurve8(B, W, V)
                : Srgb ? SrgbCurve8(B, W, V)
                       : GammaCurve8(B, W, V, G),
                T->Display[V]);
    }
  }
}

TEST(Curves, DegenerateRangesAndSelectors) {
  auto Full = std::make_unique<Tables>(), T = std::make_unique<Tables>();
  for (int32_t Selector : {LinearSelector, SrgbSelector, 22}) {
    // An empty range: the display table falls back to the whole range, the
    // gamma table is black.
    FillDisplayLut(Full->Display, 0, 65535, Selector);
    for (auto [B, W] : {std::pair{5000, 5000}, std::pair{60000, 100}}) {
      FillDisplayLut(T->Display, uint16_t(B), uint16_t(W), Selector);
      EXPECT_EQ(T->Display, Full->Display) << B << " " << W << " selector " << Selector;
      T->Gamma.fill(7);
      FillGammaLut(T->Gamma, uint16_t(B), uint16_t(W), Selector);
      EXPECT_EQ(T->Gamma, GammaLutType{}) << B << " " << W << " selector " << Selector;
    }
  }
  // At or below black is black, above white is white; black = white has no NaN.
  EXPECT_EQ(GammaCurve16(1000, 2000, 999, 2.2f), 0);
  EXPECT_EQ(GammaCurve16(1000, 2000, 1000, 2.2f), 0);
  EXPECT_EQ(GammaCurve16(1000, 2000, 2000, 2.2f), 65535);
  EXPECT_EQ(GammaCurve16(1000, 2000, 2001, 2.2f), 65535);
  EXPECT_EQ(LinearCurve16(500, 500, 500), 0);
  EXPECT_EQ(SrgbCurve16(500, 500, 500), 0);
  EXPECT_EQ(GammaCurve8(500, 500, 501, 2.2f), 255);
  EXPECT_EQ(GammaCurve8(500, 500, 499, 2.2f), 0);
  // Selectors no control sets: gamma 0 maps the inside of the range to black
  // and the white level to white; a negative gamma saturates.
  FillGammaLut(T->Gamma, 100, 200, 0);
  FillDisplayLut(T->Display, 100, 200, -5);
  EXPECT_EQ(T->Gamma[150], 0);
  EXPECT_EQ(T->Gamma[200], 65535);
  EXPECT_EQ(T->Display[100], 0);
  EXPECT_EQ(T->Display[101], 255);
  EXPECT_EQ(T->Display[150], 255);
}

// ---- Composition ------------------------------------------------------------------

TEST(Composition, GammaImageAndSizeChecks) {
  auto Lut = std::make_unique<GammaLutType>();
  for (int V = 0; V < LutSize; ++V) (*Lut)[V] = uint16_t(65535 - V);
  std::vector<uint16_t> Same = RandomSamples(5000, 1), Source = Same;
  ASSERT_TRUE(MakeGammaImage(Same, Same, *Lut));  // in place
  for (size_t I = 0; I < Source.size(); ++I) ASSERT_EQ(Same[I], 65535 - Source[I]);
  std::vector<uint16_t> A(10, 1), B(11, 2), C(10, 3);
  EXPECT_FALSE(MakeGammaImage(A, B, *Lut));
  EXPECT_FALSE(BlendResultImage(A, B, 15, C));
  EXPECT_FALSE(BlendResultImage(A, C, 15, B));
  EXPECT_FALSE(MakeBlendedResult(A, C, *Lut, 15, B, C));
  EXPECT_EQ(B, std::vector<uint16_t>(11, 2));
  EXPECT_EQ(C, std::vector<uint16_t>(10, 3));
}

TEST(Composition, BlendIsExactForEveryWeight) {
  EXPECT_EQ(ObraBlendWeights(15).W, 0.15f);
  EXPECT_EQ(ObraBlendWeights(15).G, 1.0f - 0.15f);
  EXPECT_EQ(ObraBlendWeights(0).W, 0.0f);
  EXPECT_EQ(ObraBlendWeights(0).G, 1.0f);
  EXPECT_EQ(ObraBlendWeights(-5).W, 0.0f);
  EXPECT_EQ(ObraBlendWeights(250).W, ObraBlendWeights(100).W);
  // Random samples, the extremes and the ties against the extended-precision
  // definition (at weight 50, 0 and 65535 give 32767.5: the even 32768).
  std::vector<uint16_t> Gamma = RandomSamples(20000, 4), Act = RandomSamples(20000, 5);
  Gamma[0] = Act[0] = Gamma[1] = Act[2] = 65535;
  Act[1] = Gamma[2] = 0;
  std::vector<uint16_t> Result(Gamma.size());
  for (int32_t Weight = 0; Weight <= 100; ++Weight) {
    ASSERT_TRUE(BlendResultImage(Gamma, Act, Weight, Result));
    for (size_t I = 0; I < Gamma.size(); ++I)
      ASSERT_EQ(Result[I], ReferenceBlend(Gamma[I], Act[I], Weight)) << Weight << " " << I;
  }
  // The AVX2 and AVX-512 builds of the loop give the baseline's samples.
  const BlendWeights B = ObraBlendWeights(23);
  std::vector<uint16_t> Base(Gamma.size()), Wide(Gamma.size());
  BlendSamples(Gamma.data(), Act.data(), Base.data(), Base.size(), B.G, B.W);
  for (size_t I = 0; I < Base.size(); ++I) ASSERT_EQ(Base[I], ReferenceBlend(Gamma[I], Act[I], 23));
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) {
    BlendSamplesAvx2(Gamma.data(), Act.data(), Wide.data(), Wide.size() - 3, B.G, B.W);
    EXPECT_TRUE(std::equal(Base.begin(), Base.end() - 3, Wide.begin()));
  }
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq")) {
    std::fill(Wide.begin(), Wide.end(), 0);
    BlendSamplesAvx512(Gamma.data(), Act.data(), Wide.data(), Wide.size() - 5, B.G, B.W);
    EXPECT_TRUE(std::equal(Base.begin(), Base.end() - 5, Wide.begin()));
  }
}

// A frame large enough to be split over threads gives the one-sample
// definition, through the separate and the fused kernels.
TEST(Composition, LargeFramesMatchTheDefinition) {
  const size_t N = 2048 * 1536 + 17;
  const std::vector<uint16_t> Source = RandomSamples(N, 6), Act = RandomSamples(N, 7);
  auto Lut = std::make_unique<GammaLutType>();
  FillGammaLut(*Lut, 300, 50000, 22);
  std::vector<uint16_t> Gamma(N), Result(N), FusedGamma(N), FusedResult(N);
  ASSERT_TRUE(MakeGammaImage(Source, Gamma, *Lut));
  ASSERT_TRUE(BlendResultImage(Gamma, Act, 17, Result));
  ASSERT_TRUE(MakeBlendedResult(Source, Act, *Lut, 17, FusedGamma, FusedResult));
  for (size_t I = 0; I < N; I += 1 + I % 97) {
    ASSERT_EQ(Gamma[I], (*Lut)[Source[I]]) << I;
    ASSERT_EQ(Result[I], ReferenceBlend(Gamma[I], Act[I], 17)) << I;
  }
  EXPECT_EQ(FusedGamma, Gamma);
  EXPECT_EQ(FusedResult, Result);
  // Split work covers every index once, and a fault in any range (the last
  // one runs on a worker thread) reaches the caller after all have finished.
  for (size_t Count : {size_t(0), size_t(1), size_t(999), size_t(100003)}) {
    std::vector<int> Seen(Count, 0);
    ParallelRanges(Count, 1000, [&](size_t Begin, size_t End) {
      for (size_t I = Begin; I < End; ++I) ++Seen[I];
    });
    EXPECT_EQ(std::count(Seen.begin(), Seen.end(), 1), long(Count));
  }
  EXPECT_THROW(ParallelRanges(1 << 20, 1,
                              [](size_t, size_t End) {
                                if (End == size_t(1) << 20) throw std::runtime_error("range fault");
                              }),
               std::runtime_error);
}

TEST(Composition, AutoOutputLevels) {
  ImageRecord G;
  G.Low1 = 1000, G.LowP001 = 500, G.HighP001 = 50000, G.HighP01 = 45000;
  ImageRecord L = G;
  L.LowP001 = 2000, L.HighP01 = 60000;
  // Black 1000 + 2000 x 0.5, white 25000 + 30000.
  const OutputLevels Out = AutoOutputLevels(G, L, 1.0f, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(Out.Black, 2000);
  EXPECT_EQ(Out.White, 55000);
  // The slider limits: black at most 24000, white at least 40000.
  EXPECT_EQ(AutoOutputLevels(G, G, 30.0f, 0.0f, 1.0f, 0.0f).Black, 24000);
  EXPECT_EQ(AutoOutputLevels(G, G, 1.0f, 0.0f, 0.5f, 0.0f).White, 40000);
  // Weights outside 0..1 clamp instead of wrapping: a white of 72,000 stays
  // white (its low 16 bits would be 6,464), a negative black stays black.
  G.HighP001 = 60000;
  EXPECT_EQ(AutoOutputLevels(G, G, 1.0f, 0.0f, 1.2f, 0.0f).White, 65535);
  EXPECT_EQ(AutoOutputLevels(G, G, -1.0f, 0.0f, 1.0f, 0.0f).Black, 0);
  const OutputLevels NaN = AutoOutputLevels(G, G, NAN, 0.0f, NAN, 0.0f);
  EXPECT_EQ(NaN.Black, 0);
  EXPECT_EQ(NaN.White, 40000);
  // Half to even: 0.5 -> 0, 1.5 -> 2, 40000.5 -> 40000, 40001.5 -> 40002.
  for (auto [Low1, High, Black, White] : {std::tuple{1, 80001, 0, 40000}, {3, 80003, 2, 40002}}) {
    G.Low1 = Low1, G.HighP001 = High;
    const OutputLevels H = AutoOutputLevels(G, G, 0.5f, 0.0f, 0.5f, 0.0f);
    EXPECT_EQ(H.Black, Black);
    EXPECT_EQ(H.White, White);
  }
}

TEST(Composition, AutoInputRanges) {
  ImageRecord R;
  R.MinValue = 0, R.MaxValue = 16000, R.LowP0001 = 20, R.LowP1 = 60, R.Low1 = 150, R.Low20 = 900,
  R.High1 = 9000, R.HighP0001 = 15800, R.Telescope = "SDO/AIA";
  auto ExpectRange = [](const std::optional<LevelRange>& L, int Minimum, int Maximum,
                        int Position) {
    ASSERT_TRUE(L.has_value());
    EXPECT_EQ(L->Minimum, Minimum);
    EXPECT_EQ(L->Maximum, Maximum);
    EXPECT_EQ(L->Position, Position);
  };
  ExpectRange(AutoInputBlackRange(R), 20, 900, 60);
  ExpectRange(AutoInputWhiteRange(R), 9000, 16000, 15800);
  // The position stays inside the range.
  ImageRecord P = R;
  P.LowP1 = 5000, P.HighP0001 = 65535;
  EXPECT_EQ(AutoInputBlackRange(P)->Position, 900);
  EXPECT_EQ(AutoInputWhiteRange(P)->Position, 16000);
  // At least 1 % of the samples at the largest value makes High1 = MaxValue + 1:
  // the range is closed by lowering its minimum, never handed over inverted.
  P.High1 = P.MaxValue + 1;
  ExpectRange(AutoInputWhiteRange(P), 16000, 16000, 16000);
  // The offset telescope: at least offset +- 20 around the black level.
  ImageRecord Z = R;
  Z.Telescope = "ZEL-1", Z.ValueOffset = 100, Z.LowP0001 = 95, Z.Low20 = 110, Z.Low1 = 105;
  ExpectRange(AutoInputBlackRange(Z), 80, 120, 105);
  Z.LowP0001 = 50, Z.Low20 = 700;
  ExpectRange(AutoInputBlackRange(Z), 50, 700, 105);
  // A single-valued image leaves the input levels.
  R.MinValue = R.MaxValue = 1234;
  EXPECT_FALSE(AutoInputBlackRange(R));
  EXPECT_FALSE(AutoInputWhiteRange(R));
}

// ---- Rendering --------------------------------------------------------------------

TEST(Render, BoxAverageIsTheExactRoundedQuotient) {
  for (auto [Samples, Want] : {std::pair{std::vector<uint16_t>{0, 0, 1, 1}, 0},
                               {{0, 1, 1, 1}, 1},
                               {{1, 1, 2, 2}, 2},
                               {{65535, 65535, 65535, 65535}, 65535}})
    EXPECT_EQ(BoxAverage(Samples, 2, 0, 0, 2), Want);
  // Outside the buffer, or scale 0: zero.
  const std::vector<uint16_t> S(12, 9);  // 4 x 3
  EXPECT_EQ(BoxAverage(S, 4, 1, 0, 2), 9);
  EXPECT_EQ(BoxAverage(S, 4, 2, 0, 2), 0);
  EXPECT_EQ(BoxAverage(S, 4, 0, 1, 2), 0);
  EXPECT_EQ(BoxAverage(S, 4, -1, 0, 2), 0);
  EXPECT_EQ(BoxAverage(S, 4, 0, 0, 0), 0);
  // Block sums at, around and between the ties of every scale.
  for (int32_t Scale = 1; Scale <= MaxDisplayScale; ++Scale) {
    const uint32_t N = uint32_t(Scale * Scale);
    std::vector<uint16_t> Block(N);
    for (uint32_t Q : {0u, 1u, 2u, 3u, 1000u, 32767u, 32768u, 65533u, 65534u}) {
      for (uint32_t Offset : {0u, 1u, N / 2 - (N > 1), N / 2, N / 2 + 1, N - 1}) {
        const uint32_t Sum = Q * N + Offset, Twice = 2 * (Sum % N);
        for (uint32_t K = 0; K < N; ++K) Block[K] = uint16_t(Sum / N + (K < Sum % N));
        const uint32_t Want = Sum / N + (Twice > N || (Twice == N && (Sum / N) % 2 == 1));
        ASSERT_EQ(BoxAverage(Block, Scale, 0, 0, Scale), Want)
            << "scale " << Scale << " sum " << Sum;
      }
    }
  }
}

// Every scale, sizes that are not multiples of it, and frames large enough to
// be split over threads: each pixel is the table entry of its block average,
// the same grey in blue, green and red; the remainder rows and columns drop.
TEST(Render, PixelsAreTheTableOfTheBlockAverage) {
  auto Lut = std::make_unique<DisplayLutType>();
  for (int V = 0; V < LutSize; ++V) (*Lut)[V] = uint8_t(V * 7 + V / 256);
  for (auto [W, H] : {std::pair{37, 23}, {64, 64}, {2049, 1031}}) {
    const std::vector<uint16_t> S = RandomSamples(size_t(W) * H, uint32_t(W));
    for (int32_t Scale = 1; Scale <= MaxDisplayScale; ++Scale) {
      if (W > 100 && Scale != 1 && Scale != 3 && Scale != 10) continue;
      Picture24 P;
      ASSERT_TRUE(RenderImage(P, Record(W, H), S, Scale, *Lut, nullptr));
      ASSERT_EQ(P.Width, W / Scale);
      ASSERT_EQ(P.Height, H / Scale);
      ASSERT_EQ(P.Pixels.size(), size_t(W / Scale) * (H / Scale) * 3);
      for (size_t I = 0; I < P.Pixels.size(); ++I)
        ASSERT_EQ(
            P.Pixels[I],
            (*Lut)[BoxAverage(S, W, int32_t(I / 3) % P.Width, int32_t(I / 3) / P.Width, Scale)])
            << W << "x" << H << " scale " << Scale << " at " << I / 3;
    }
  }
  // A bright last column beyond the last whole block leaves the picture dark;
  // a picture smaller than one block is empty.
  std::vector<uint16_t> S(1001 * 20, 0);
  for (int32_t Y = 0; Y < 20; ++Y) S[size_t(Y) * 1001 + 1000] = 65535;
  DisplayLutType Dark{};
  Dark[65535] = 255;
  Picture24 P;
  ASSERT_TRUE(RenderImage(P, Record(1001, 20), S, 10, Dark, nullptr));
  EXPECT_EQ(std::count(P.Pixels.begin(), P.Pixels.end(), 0), 100 * 2 * 3);
  ASSERT_TRUE(RenderImage(P, Record(7, 5), S, 8, Dark, nullptr));
  EXPECT_EQ(P.Width, 0);
  EXPECT_EQ(P.Height, 0);
  EXPECT_EQ(P.Pixels.size(), 0u);
  // Invalid input leaves the picture untouched.
  P = {3, 1, std::vector<uint8_t>(9, 77)};
  ImageRecord Invalid = Record(10, 10);
  Invalid.Valid = false;
  for (auto [R, Scale] : {std::pair{Invalid, 1},
                          {Record(10, 10), 0},
                          {Record(10, 10), 11},
                          {Record(1001, 21), 1}})  // the last: buffer too small
    EXPECT_FALSE(RenderImage(P, R, S, Scale, Dark, nullptr)) << R.Height << " " << Scale;
  EXPECT_EQ(P.Width, 3);
  EXPECT_EQ(P.Height, 1);
  EXPECT_EQ(P.Pixels, std::vector<uint8_t>(9, 77));
}

// ---- Time overlay -------------------------------------------------------------------

namespace {

constexpr uint8_t Background = 40;

struct Box {
  int32_t Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1;  // inclusive
  size_t Count = 0;
  bool Yellow = false, Cyan = false;
};

TimeOverlay Overlay(int32_t Left, int32_t Top, int32_t Height) {
  EXPECT_TRUE(EnsureTextRendering());
  TimeOverlay O;
  O.Text = "2013-06-24 17:31:30";
  O.RoiLeft = Left, O.RoiTop = Top, O.RoiHeight = Height;
  FillTimeFontTable(O.FontTable, 14);
  return O;
}

// The pixels the overlay changed on a uniform picture of W x H at Scale.
Box Drawn(int32_t W, int32_t H, int32_t Scale, const TimeOverlay* O) {
  DisplayLutType Lut;
  Lut.fill(Background);
  Picture24 P;
  EXPECT_TRUE(RenderImage(P, Record(W, H), std::vector<uint16_t>(size_t(W) * H, 1), Scale, Lut, O));
  EXPECT_EQ(P.Pixels.size(), size_t(W / Scale) * (H / Scale) * 3);
  Box B;
  for (int32_t I = 0; I < P.Width * P.Height; ++I) {
    const uint8_t* Px = &P.Pixels[size_t(I) * 3];  // B, G, R
    if (Px[0] == Background && Px[1] == Background && Px[2] == Background) continue;
    const int32_t X = I % P.Width, Y = I / P.Width;
    ++B.Count;
    B.Left = std::min(B.Left, X), B.Right = std::max(B.Right, X);
    B.Top = std::min(B.Top, Y), B.Bottom = std::max(B.Bottom, Y);
    B.Yellow |= Px[2] > 200 && Px[1] > 200 && Px[0] <= Background;
    B.Cyan |= Px[0] > 200 && Px[1] > 200 && Px[2] <= Background;
  }
  return B;
}

}  // namespace

TEST(TimeOverlay, FontTableFollowsTheSizeControl) {
  ASSERT_TRUE(EnsureTextRendering());
  TimeFontTableType T;
  ASSERT_TRUE(FillTimeFontTable(T, 14));
  const int32_t Sizes[] = {14, 7, 4, 3, 2, 2, 2, 1, 1, 1};
  for (int32_t S = 1; S <= MaxDisplayScale; ++S) {
    EXPECT_EQ(T[S].FontSize, Sizes[S - 1]) << S;
    EXPECT_GT(T[S].TextHeight, 0) << S;
    EXPECT_EQ(T[S].BottomMargin, 3 * T[S].TextHeight / 2) << S;
    EXPECT_LE(T[S].TextHeight, T[S - (S > 1)].TextHeight) << S;
  }
  // 14 points at 96 dpi are 18 pixels; a text line of that font is taller.
  EXPECT_GE(T[1].TextHeight, 18) << T[1].TextHeight;
  EXPECT_LE(T[1].TextHeight, 30) << T[1].TextHeight;
  // Sizes below one point still have a height.
  ASSERT_TRUE(FillTimeFontTable(T, 8));
  EXPECT_EQ(T[9].FontSize, 0);
  EXPECT_EQ(T[10].FontSize, 0);
  EXPECT_EQ(T[10].TextHeight, T[8].TextHeight);
}

TEST(TimeOverlay, TextSitsAtTheLowerLeftOfTheRegion) {
  EXPECT_EQ(Drawn(400, 300, 1, nullptr).Count, 0u);
  for (int32_t Scale : {1, 2, 3}) {
    const TimeOverlay O = Overlay(60, 30, 240);
    const Box B = Drawn(600, 360, Scale, &O);
    ASSERT_GT(B.Count, 20u) << Scale;
    EXPECT_TRUE(B.Yellow) << Scale;
    // Inside the text cell at (X, Y), one text height tall, 19 characters wide.
    const TimeFontEntry& E = O.FontTable[Scale];
    const int32_t X = 60 / Scale + E.TextHeight, Y = (30 + 240) / Scale - E.BottomMargin;
    EXPECT_GE(B.Left, X) << Scale << ": " << B.Left;
    EXPECT_LE(B.Left, X + E.TextHeight / 2) << Scale << ": " << B.Left;
    EXPECT_GE(B.Top, Y) << Scale << ": " << B.Top;
    EXPECT_LT(B.Bottom, Y + E.TextHeight) << Scale << ": " << B.Top;
    EXPECT_GT(B.Right - B.Left, 5 * E.TextHeight) << Scale;
  }
  // The text follows the region at the scale.
  const TimeOverlay A = Overlay(0, 0, 200), Moved = Overlay(100, 50, 200);
  const Box First = Drawn(600, 400, 2, &A), Second = Drawn(600, 400, 2, &Moved);
  ASSERT_GT(First.Count, 0u);
  EXPECT_EQ(Second.Count, First.Count);
  EXPECT_EQ(Second.Left - First.Left, 50);
  EXPECT_EQ(Second.Top - First.Top, 25);
}

TEST(TimeOverlay, ColourClippingAndEmptyText) {
  TimeOverlay O = Overlay(0, 0, 200);
  O.Red = 0, O.Green = 255, O.Blue = 255;
  const Box B = Drawn(500, 200, 1, &O);
  EXPECT_TRUE(B.Cyan);
  EXPECT_FALSE(B.Yellow);
  // Text near or beyond the edge is clipped, never written outside the picture.
  O = Overlay(380, 0, 10);
  Drawn(400, 60, 1, &O);
  O = Overlay(100000, 100000, 10);
  EXPECT_EQ(Drawn(200, 100, 1, &O).Count, 0u);
  O = Overlay(0, 0, 100);
  O.Text.clear();
  EXPECT_EQ(Drawn(300, 100, 1, &O).Count, 0u);
  Picture24 P{300, 100, std::vector<uint8_t>(300 * 100 * 3)}, Empty;
  EXPECT_FALSE(DrawTimeText(P, O, 1));
  EXPECT_FALSE(DrawTimeText(Empty, Overlay(0, 0, 100), 1));
  EXPECT_FALSE(DrawTimeText(P, Overlay(0, 0, 100), 0));
}

}  // namespace obra
