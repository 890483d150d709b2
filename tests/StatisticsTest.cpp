// The sixteen percentile statistics of the whole image, a rectangle and the disc.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <tuple>

#include "IOGraphics.h"

using namespace obra;

namespace {

ImageRecord WordRecord(int W, int H) {
  ImageRecord R;
  R.Width = W, R.Height = H, R.Channels = 1, R.ResultType = "WORD";
  return R;
}

std::array<int32_t, 16> All(const ImageRecord& R) {
  return {R.MinValue, R.Low20,  R.Low10,  R.Low1,  R.LowP1,  R.LowP01,  R.LowP001,  R.LowP0001,
          R.MaxValue, R.High20, R.High10, R.High1, R.HighP1, R.HighP01, R.HighP001, R.HighP0001};
}

const std::array<int32_t, 16> Empty = {0,     0,     0,     0,     0,     0,     0,     0,
                                       65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535};

}  // namespace

TEST(Statistics, PercentilesOfTheWholeImage) {
  // 1000 non-zero samples 1..1000 and zeros, in a 40 x 30 image.
  ImageRecord R = WordRecord(40, 30);
  std::vector<uint16_t> S(1200, 0);
  std::iota(S.begin() + 100, S.begin() + 1100, 1);
  ComputeStatistics(R, S.data());
  EXPECT_EQ(All(R), (std::array<int32_t, 16>{0, 199, 99, 9, 0, 0, 0, 0, 1000, 802, 902, 992, 1001,
                                             65535, 65535, 65535}));
  // Without value 1 the minimum is the smallest value present.
  for (auto& V : S) V += V != 0;
  ComputeStatistics(R, S.data());
  EXPECT_EQ(R.MinValue, 2);
  EXPECT_EQ(R.MaxValue, 1001);
  // Extremes: round(0.2 x 2) = 0, so no low level satisfies s < 0.
  R = WordRecord(3, 1);
  S = {65535, 1, 0};
  ComputeStatistics(R, S.data());
  EXPECT_EQ(R.MinValue, 0);
  EXPECT_EQ(R.MaxValue, 65535);
  EXPECT_EQ(R.Low20, 0);
  EXPECT_EQ(R.High20, 65535);
  // Thresholds round half to even: 0.1 x 5 = 0.5 gives 0, 0.1 x 15 = 1.5 gives 2.
  R = WordRecord(5, 1);
  S = {10, 20, 30, 40, 50};
  ComputeStatistics(R, S.data());
  EXPECT_EQ(R.Low10, 0);
  EXPECT_EQ(R.Low20, 9);
  EXPECT_EQ(R.High20, 51);
  EXPECT_EQ(R.High10, 65535);
  R = WordRecord(15, 1);
  S.resize(15);
  std::iota(S.begin(), S.end(), 100);
  ComputeStatistics(R, S.data());
  EXPECT_EQ(R.Low10, 100);
  EXPECT_EQ(R.High10, 114);
  // Bytes are counted as bytes; all zeros give the empty statistics, and
  // other result types none at all.
  R = WordRecord(4, 1);
  R.ResultType = "BYTE";
  const uint8_t Bytes[4] = {0, 3, 200, 7};
  std::memcpy(S.data(), Bytes, 4);
  ComputeStatistics(R, S.data());
  EXPECT_EQ(R.MinValue, 3);
  EXPECT_EQ(R.MaxValue, 200);
  R = WordRecord(4, 4);
  S.assign(16, 0);
  R.MinValue = 5;
  ComputeStatistics(R, S.data());
  EXPECT_EQ(All(R), Empty);
  R.ResultType = "SINGLE";
  ComputeStatistics(R, S.data());
  EXPECT_EQ(All(R), (std::array<int32_t, 16>{}));
}

TEST(Statistics, RectangleAndDisc) {
  // 4 x 3 image; the rectangle x 1..2, y 1..2 holds 5, 6, 7, 8.
  ImageRecord R = WordRecord(4, 3);
  std::vector<uint16_t> S = {100, 100, 100, 100, 100, 5, 6, 100, 100, 7, 8, 100};
  ComputeRoiStatistics(1, 1, 2, 2, R, S.data());
  EXPECT_EQ(R.MinValue, 5);
  EXPECT_EQ(R.MaxValue, 8);
  // A rectangle of zeros, or one outside the image, falls back to the whole
  // image; one reaching past the image is clipped to it.
  S[5] = S[6] = S[9] = S[10] = 0;
  ComputeRoiStatistics(1, 1, 2, 2, R, S.data());
  EXPECT_EQ(R.MinValue, 100);
  EXPECT_EQ(R.MaxValue, 100);
  S[11] = 9;
  ComputeRoiStatistics(3, 2, 50, 50, R, S.data());
  EXPECT_EQ(R.MinValue, 9);
  EXPECT_EQ(R.MaxValue, 9);
  ComputeRoiStatistics(-10, -10, 5, 5, R, S.data());
  EXPECT_EQ(R.MaxValue, 100);
  // 5 x 5, centre (2, 2), radius 1 / 1.15: the centre and its four
  // neighbours at distance 1; the default radius -1 leaves nothing inside.
  R = WordRecord(5, 5);
  S.resize(25);
  std::iota(S.begin(), S.end(), 1);
  R.CrPix1 = R.CrPix2 = 2;
  R.RSun = 1.0 / 1.15 + 1e-9;
  ComputeDiscStatistics(R, S.data());
  EXPECT_EQ(R.MinValue, 8);
  EXPECT_EQ(R.MaxValue, 18);
  R.RSun = -1.0;
  ComputeDiscStatistics(R, S.data());
  EXPECT_EQ(All(R), Empty);
}

TEST(Statistics, DiscClassifiesEverySampleAsThePlainDistanceTest) {
  // The disc is found per row from its two ends. A single non-zero sample at
  // the edge of the disc (or one column beside it) must count exactly when
  // the plain distance test says it lies inside.
  std::mt19937 Rng(7);
  for (int Case = 0; Case < 24; ++Case) {
    ImageRecord R = WordRecord(1 + int(Rng() % 60), 1 + int(Rng() % 40));
    R.Channels = Case % 7 == 0 ? 3 : 1;
    const double Half[] = {0.0, 0.5, 0.25};
    R.CrPix1 = double(Rng() % 80) - 10 + Half[Case % 3];
    R.CrPix2 = double(Rng() % 60) - 10 + Half[(Case / 3) % 3];
    R.RSun = Case % 11 == 0 ? -1.0 : (Rng() % 400) / 10.0;
    const size_t Count = size_t(R.Width) * R.Height * R.Channels, W = size_t(R.Width);
    auto Inside = [&](size_t I) {
      const double Dx = double(I % W) - R.CrPix1, Dy = double(I / W) - R.CrPix2;
      return !(std::sqrt(Dx * Dx + Dy * Dy) > 1.15 * R.RSun);
    };
    for (size_t I = 0; I < Count; ++I) {
      if (I % W != 0 && I % W != W - 1 && Inside(I - 1) == Inside(I) && Inside(I + 1) == Inside(I))
        continue;
      std::vector<uint16_t> S(Count, 0);
      S[I] = 5;
      ImageRecord D = R;
      ComputeDiscStatistics(D, S.data());
      EXPECT_EQ(D.MaxValue, Inside(I) ? 5 : 65535) << "case " << Case << " sample " << I;
    }
  }
}
