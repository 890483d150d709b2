#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <cmath>
#include <numeric>
#include <random>

#include "IOGraphics.h"

using namespace obra;

namespace {

ImageRecord WordRecord(int W, int H) {
  ImageRecord R;
  R.Width = W;
  R.Height = H;
  R.Channels = 1;
  R.ResultType = "WORD";
  return R;
}

std::array<int32_t, 16> All(const ImageRecord& R) {
  return {R.MinValue, R.Low20,  R.Low10,  R.Low1,  R.LowP1,  R.LowP01,  R.LowP001,  R.LowP0001,
          R.MaxValue, R.High20, R.High10, R.High1, R.HighP1, R.HighP01, R.HighP001, R.HighP0001};
}

const std::array<int32_t, 16> Empty = {0,     0,     0,     0,     0,     0,     0,     0,
                                       65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535};

}  // namespace

TEST(Statistics, ValuesOneToThousand) {
  // 1000 non-zero samples 1..1000 and some zeros, in a 40 x 30 image.
  ImageRecord R = WordRecord(40, 30);
  std::vector<uint16_t> S(1200, 0);
  std::iota(S.begin() + 100, S.begin() + 1100, 1);
  ComputeStatistics(R, S.data());
  EXPECT_EQ(All(R), (std::array<int32_t, 16>{0, 199, 99, 9, 0, 0, 0, 0, 1000, 802, 902, 992, 1001,
                                             65535, 65535, 65535}));
  // Without value 1 the minimum is the smallest value present.
  for (auto& V : S)
    if (V) ++V;
  ComputeStatistics(R, S.data());
  EXPECT_EQ(R.MinValue, 2);
  EXPECT_EQ(R.MaxValue, 1001);
}

TEST(Statistics, AllZeroAndOtherTypes) {
  ImageRecord R = WordRecord(4, 4);
  std::vector<uint16_t> S(16, 0);
  R.MinValue = 5;
  ComputeStatistics(R, S.data());
  EXPECT_EQ(All(R), Empty);
  R.ResultType = "SINGLE";
  ComputeStatistics(R, S.data());
  EXPECT_EQ(All(R), (std::array<int32_t, 16>{}));
}

TEST(Statistics, ExtremeValues) {
  ImageRecord R = WordRecord(3, 1);
  std::vector<uint16_t> S = {65535, 1, 0};
  ComputeStatistics(R, S.data());
  EXPECT_EQ(R.MinValue, 0);
  EXPECT_EQ(R.MaxValue, 65535);
  // round(0.2 x 2) = 0: no low level satisfies s < 0.
  EXPECT_EQ(R.Low20, 0);
  EXPECT_EQ(R.High20, 65535);
}

TEST(Statistics, ThresholdsRoundHalfToEven) {
  // N = 5: 0.1 x 5 = 0.5 rounds to 0, 0.2 x 5 = 1 stays 1.
  ImageRecord R = WordRecord(5, 1);
  std::vector<uint16_t> S = {10, 20, 30, 40, 50};
  ComputeStatistics(R, S.data());
  EXPECT_EQ(R.Low10, 0);
  EXPECT_EQ(R.Low20, 9);
  EXPECT_EQ(R.High20, 51);
  EXPECT_EQ(R.High10, 65535);
  // N = 15: 0.1 x 15 = 1.5 rounds to 2.
  R = WordRecord(15, 1);
  std::vector<uint16_t> T(15);
  std::iota(T.begin(), T.end(), 100);
  ComputeStatistics(R, T.data());
  EXPECT_EQ(R.Low10, 100);
  EXPECT_EQ(R.High10, 114);
}

TEST(Statistics, ByteSamples) {
  ImageRecord R = WordRecord(4, 1);
  R.ResultType = "BYTE";
  const uint8_t Bytes[4] = {0, 3, 200, 7};
  std::vector<uint16_t> S(2);
  std::memcpy(S.data(), Bytes, 4);
  ComputeStatistics(R, S.data());
  EXPECT_EQ(R.MinValue, 3);
  EXPECT_EQ(R.MaxValue, 200);
}

TEST(Statistics, Roi) {
  // 4 x 3 image; the rectangle x 1..2, y 1..2 holds 5, 6, 7, 8.
  ImageRecord R = WordRecord(4, 3);
  std::vector<uint16_t> S = {100, 100, 100, 100, 100, 5, 6, 100, 100, 7, 8, 100};
  ComputeRoiStatistics(1, 1, 2, 2, R, S.data());
  EXPECT_EQ(R.MinValue, 5);
  EXPECT_EQ(R.MaxValue, 8);
  // A rectangle of zeros falls back to the whole image.
  S[5] = S[6] = S[9] = S[10] = 0;
  ComputeRoiStatistics(1, 1, 2, 2, R, S.data());
  EXPECT_EQ(R.MinValue, 100);
  EXPECT_EQ(R.MaxValue, 100);
  // A rectangle reaching past the image is clipped to it.
  S[11] = 9;
  ComputeRoiStatistics(3, 2, 50, 50, R, S.data());
  EXPECT_EQ(R.MinValue, 9);
  EXPECT_EQ(R.MaxValue, 9);
  ComputeRoiStatistics(-10, -10, 5, 5, R, S.data());
  EXPECT_EQ(R.MaxValue, 100);  // nothing inside: whole image
}

TEST(Statistics, Disc) {
  // 5 x 5 image, centre (2, 2), radius 1 / 1.15: only the centre column and
  // row neighbours at distance 1 lie inside.
  ImageRecord R = WordRecord(5, 5);
  std::vector<uint16_t> S(25);
  std::iota(S.begin(), S.end(), 1);
  R.CrPix1 = 2;
  R.CrPix2 = 2;
  R.RSun = 1.0 / 1.15 + 1e-9;
  ComputeDiscStatistics(R, S.data());
  EXPECT_EQ(R.MinValue, 8);   // (2, 1)
  EXPECT_EQ(R.MaxValue, 18);  // (2, 3)
  // The default radius -1 leaves no sample inside.
  R.RSun = -1.0;
  ComputeDiscStatistics(R, S.data());
  EXPECT_EQ(All(R), Empty);
}

TEST(Statistics, DiscClassifiesEverySampleAsThePlainDistanceTest) {
  // The disc is found per row from its two ends. A single non-zero sample
  // placed at the edge of the disc (and one column beside it) must count
  // exactly when the plain distance test says it lies inside.
  std::mt19937 Rng(7);
  for (int Case = 0; Case < 24; ++Case) {
    ImageRecord R;
    R.ResultType = "WORD";
    R.Width = 1 + static_cast<int32_t>(Rng() % 60);
    R.Height = 1 + static_cast<int32_t>(Rng() % 40);
    R.Channels = Case % 7 == 0 ? 3 : 1;
    const double Half[] = {0.0, 0.5, 0.25};
    R.CrPix1 = static_cast<double>(Rng() % 80) - 10 + Half[Case % 3];
    R.CrPix2 = static_cast<double>(Rng() % 60) - 10 + Half[(Case / 3) % 3];
    R.RSun = Case % 11 == 0 ? -1.0 : (Rng() % 400) / 10.0;
    const size_t Count = static_cast<size_t>(R.Width) * R.Height * R.Channels;
    auto Inside = [&](size_t I) {
      const double Dx = static_cast<double>(I % R.Width) - R.CrPix1;
      const double Dy = static_cast<double>(I / R.Width) - R.CrPix2;
      return !(std::sqrt(Dx * Dx + Dy * Dy) > 1.15 * R.RSun);
    };
    for (size_t I = 0; I < Count; ++I) {
      const bool Edge = (I % R.Width == 0 || Inside(I - 1) != Inside(I)) ||
                        (I % R.Width == static_cast<size_t>(R.Width) - 1 || Inside(I + 1) != Inside(I));
      if (!Edge) continue;
      std::vector<uint16_t> S(Count, 0);
      S[I] = 5;
      ImageRecord D = R;
      ComputeDiscStatistics(D, S.data());
      EXPECT_EQ(D.MaxValue, Inside(I) ? 5 : 65535) << "case " << Case << " sample " << I;
    }
  }
}
