// Rendering into the 24-bit picture: reduction, box averaging and the table.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "Display.h"

namespace obra {
namespace {

ImageRecord Record(int32_t W, int32_t H) {
  ImageRecord R;
  R.Width = W;
  R.Height = H;
  R.Valid = true;
  return R;
}

// A table that keeps the low byte, so a rendered grey tells the averaged value.
std::unique_ptr<DisplayLutType> LowByteLut() {
  auto Lut = std::make_unique<DisplayLutType>();
  for (int V = 0; V < LutSize; ++V) (*Lut)[V] = uint8_t(V * 7 + V / 256);
  return Lut;
}

std::vector<uint16_t> RandomSamples(size_t N, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::vector<uint16_t> V(N);
  for (uint16_t& S : V) S = uint16_t(Rng());
  return V;
}

TEST(RenderTest, BoxAverageRoundsHalfToEven) {
  const std::vector<uint16_t> Half = {0, 0, 1, 1};
  EXPECT_EQ(BoxAverage(Half, 2, 0, 0, 2), 0);
  const std::vector<uint16_t> ThreeQuarters = {0, 1, 1, 1};
  EXPECT_EQ(BoxAverage(ThreeQuarters, 2, 0, 0, 2), 1);
  const std::vector<uint16_t> White(4, 65535);
  EXPECT_EQ(BoxAverage(White, 2, 0, 0, 2), 65535);
  const std::vector<uint16_t> OneAndHalf = {1, 1, 2, 2};
  EXPECT_EQ(BoxAverage(OneAndHalf, 2, 0, 0, 2), 2);
}

TEST(RenderTest, BoxAverageOutsideTheBufferIsZero) {
  const std::vector<uint16_t> S(12, 9);  // 4 x 3
  EXPECT_EQ(BoxAverage(S, 4, 1, 0, 2), 9);
  EXPECT_EQ(BoxAverage(S, 4, 2, 0, 2), 0);
  EXPECT_EQ(BoxAverage(S, 4, 0, 1, 2), 0);
  EXPECT_EQ(BoxAverage(S, 4, -1, 0, 2), 0);
  EXPECT_EQ(BoxAverage(S, 4, 0, 0, 0), 0);
}

// Block sums at, around and between the ties of every scale: the rounded mean
// must be the exact half-to-even quotient.
TEST(RenderTest, BoxAverageIsTheExactRoundedQuotient) {
  for (int32_t S = 1; S <= MaxDisplayScale; ++S) {
    const uint32_t N = uint32_t(S * S);
    std::vector<uint16_t> Block(N);
    for (uint32_t Q : {0u, 1u, 2u, 3u, 1000u, 32767u, 32768u, 65533u, 65534u}) {
      for (uint32_t Offset : {0u, 1u, N / 2 - (N > 1), N / 2, N / 2 + 1, N - 1}) {
        const uint32_t Sum = Q * N + Offset;
        for (uint32_t K = 0; K < N; ++K) Block[K] = uint16_t(Sum / N + (K < Sum % N));
        uint32_t Expected = Sum / N;
        const uint32_t Twice = 2 * (Sum % N);
        if (Twice > N || (Twice == N && Expected % 2 == 1)) ++Expected;
        ASSERT_EQ(BoxAverage(Block, S, 0, 0, S), Expected) << "scale " << S << " sum " << Sum;
      }
    }
  }
}

TEST(RenderTest, InvalidInputLeavesThePictureUntouched) {
  Picture24 P;
  P.Width = 3;
  P.Height = 1;
  P.Pixels.assign(9, 77);
  const Picture24 Before = P;
  auto Lut = LowByteLut();
  const std::vector<uint16_t> S(100, 5);
  ImageRecord Invalid = Record(10, 10);
  Invalid.Valid = false;
  EXPECT_FALSE(RenderImage(P, Invalid, S, 1, *Lut, nullptr));
  EXPECT_FALSE(RenderImage(P, Record(10, 10), S, 0, *Lut, nullptr));
  EXPECT_FALSE(RenderImage(P, Record(10, 10), S, 11, *Lut, nullptr));
  EXPECT_FALSE(RenderImage(P, Record(10, 11), S, 1, *Lut, nullptr));  // buffer too small
  EXPECT_EQ(P.Width, Before.Width);
  EXPECT_EQ(P.Height, Before.Height);
  EXPECT_EQ(P.Pixels, Before.Pixels);
}

TEST(RenderTest, OutputSizeDropsTheRemainder) {
  auto Lut = LowByteLut();
  const std::vector<uint16_t> S(1001 * 35, 3);
  Picture24 P;
  ASSERT_TRUE(RenderImage(P, Record(1001, 35), S, 10, *Lut, nullptr));
  EXPECT_EQ(P.Width, 100);
  EXPECT_EQ(P.Height, 3);
  EXPECT_EQ(P.Pixels.size(), size_t(100 * 3 * 3));
  ASSERT_TRUE(RenderImage(P, Record(7, 5), S, 8, *Lut, nullptr));
  EXPECT_EQ(P.Width, 0);
  EXPECT_EQ(P.Height, 0);
  EXPECT_TRUE(P.Pixels.empty());
}

// The last Width mod s columns never take part: a bright last column leaves
// the reduced picture dark.
TEST(RenderTest, RemainderColumnsAreNotShown) {
  const int32_t W = 1001, H = 20;
  std::vector<uint16_t> S(size_t(W) * H, 0);
  for (int32_t Y = 0; Y < H; ++Y) S[size_t(Y) * W + W - 1] = 65535;
  DisplayLutType Lut{};
  Lut[65535] = 255;
  Picture24 P;
  ASSERT_TRUE(RenderImage(P, Record(W, H), S, 10, Lut, nullptr));
  for (uint8_t B : P.Pixels) ASSERT_EQ(B, 0);
}

// Every scale, sizes that are not multiples of it, and frames large enough to
// be split over threads: each pixel is the table entry of its block average,
// the same grey in blue, green and red.
TEST(RenderTest, PixelsAreTheTableOfTheBlockAverage) {
  auto Lut = LowByteLut();
  const int32_t Sizes[][2] = {{37, 23}, {64, 64}, {2049, 1031}};
  for (const auto& Size : Sizes) {
    const int32_t W = Size[0], H = Size[1];
    const std::vector<uint16_t> S = RandomSamples(size_t(W) * H, uint32_t(W));
    for (int32_t Scale = 1; Scale <= MaxDisplayScale; ++Scale) {
      if (W > 100 && Scale != 1 && Scale != 3 && Scale != 10) continue;
      Picture24 P;
      ASSERT_TRUE(RenderImage(P, Record(W, H), S, Scale, *Lut, nullptr));
      ASSERT_EQ(P.Width, W / Scale);
      ASSERT_EQ(P.Height, H / Scale);
      for (int32_t Y = 0; Y < P.Height; ++Y) {
        for (int32_t X = 0; X < P.Width; ++X) {
          const uint8_t* Px = &P.Pixels[(size_t(Y) * P.Width + X) * 3];
          const uint8_t G = (*Lut)[BoxAverage(S, W, X, Y, Scale)];
          ASSERT_EQ(Px[0], G) << W << "x" << H << " scale " << Scale << " at " << X << "," << Y;
          ASSERT_EQ(Px[1], G);
          ASSERT_EQ(Px[2], G);
        }
      }
    }
  }
}

}  // namespace
}  // namespace obra
