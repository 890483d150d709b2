// The time overlay: font table, placement relative to ROI and scale, colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "Display.h"

namespace obra {
namespace {

constexpr uint8_t Background = 40;

struct Box {
  int32_t Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1;  // inclusive
  size_t Count = 0;
  bool Yellow = false;
};

class TimeOverlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(EnsureTextRendering());
    Lut_->fill(Background);
  }

  TimeOverlay Overlay(int32_t Left, int32_t Top, int32_t Height) const {
    TimeOverlay O;
    O.Text = "2013-06-24 17:31:30";
    O.RoiLeft = Left;
    O.RoiTop = Top;
    O.RoiHeight = Height;
    FillTimeFontTable(O.FontTable, 14);
    return O;
  }

  Picture24 Render(int32_t W, int32_t H, int32_t Scale, const TimeOverlay* O) const {
    ImageRecord R;
    R.Width = W;
    R.Height = H;
    R.Valid = true;
    const std::vector<uint16_t> S(size_t(W) * H, 1);
    Picture24 P;
    EXPECT_TRUE(RenderImage(P, R, S, Scale, *Lut_, O));
    return P;
  }

  static Box Changed(const Picture24& P) {
    Box B;
    for (int32_t Y = 0; Y < P.Height; ++Y) {
      for (int32_t X = 0; X < P.Width; ++X) {
        const uint8_t* Px = &P.Pixels[(size_t(Y) * P.Width + X) * 3];
        if (Px[0] == Background && Px[1] == Background && Px[2] == Background) continue;
        ++B.Count;
        B.Left = std::min(B.Left, X);
        B.Right = std::max(B.Right, X);
        B.Top = std::min(B.Top, Y);
        B.Bottom = std::max(B.Bottom, Y);
        if (Px[2] > 200 && Px[1] > 200 && Px[0] <= Background) B.Yellow = true;
      }
    }
    return B;
  }

  std::unique_ptr<DisplayLutType> Lut_ = std::make_unique<DisplayLutType>();
};

TEST_F(TimeOverlayTest, FontTableFollowsTheSizeControl) {
  TimeFontTableType T;
  ASSERT_TRUE(FillTimeFontTable(T, 14));
  const int32_t Sizes[] = {14, 7, 4, 3, 2, 2, 2, 1, 1, 1};
  for (int32_t S = 1; S <= MaxDisplayScale; ++S) {
    EXPECT_EQ(T[S].FontSize, Sizes[S - 1]) << S;
    EXPECT_GT(T[S].TextHeight, 0) << S;
    EXPECT_EQ(T[S].BottomMargin, 3 * T[S].TextHeight / 2) << S;
    if (S > 1) {
      EXPECT_LE(T[S].TextHeight, T[S - 1].TextHeight) << S;
    }
  }
  // 14 points at 96 dpi are 18 pixels; a text line of that font is taller.
  EXPECT_GE(T[1].TextHeight, 18);
  EXPECT_LE(T[1].TextHeight, 30);
}

TEST_F(TimeOverlayTest, SizesBelowOnePointStillHaveAHeight) {
  TimeFontTableType T;
  ASSERT_TRUE(FillTimeFontTable(T, 8));
  EXPECT_EQ(T[9].FontSize, 0);
  EXPECT_EQ(T[10].FontSize, 0);
  EXPECT_EQ(T[10].TextHeight, T[8].TextHeight);
}

TEST_F(TimeOverlayTest, NothingIsDrawnWithoutOverlay) {
  const Picture24 P = Render(400, 300, 1, nullptr);
  EXPECT_EQ(Changed(P).Count, 0u);
}

TEST_F(TimeOverlayTest, TextSitsAtTheLowerLeftOfTheRegion) {
  for (int32_t Scale : {1, 2, 3}) {
    const TimeOverlay O = Overlay(60, 30, 240);
    const Picture24 P = Render(600, 360, Scale, &O);
    const Box B = Changed(P);
    ASSERT_GT(B.Count, 20u) << Scale;
    EXPECT_TRUE(B.Yellow) << Scale;
    const TimeFontEntry& E = O.FontTable[Scale];
    const int32_t X = 60 / Scale + E.TextHeight;
    const int32_t Y = (30 + 240) / Scale - E.BottomMargin;
    // Inside the text cell that starts at (X, Y) and is one text height tall.
    EXPECT_GE(B.Left, X) << Scale;
    EXPECT_LE(B.Left, X + E.TextHeight / 2) << Scale;
    EXPECT_GE(B.Top, Y) << Scale;
    EXPECT_LT(B.Bottom, Y + E.TextHeight) << Scale;
    EXPECT_GT(B.Right - B.Left, 5 * E.TextHeight) << Scale;  // 19 characters
  }
}

TEST_F(TimeOverlayTest, TextFollowsTheRegion) {
  const TimeOverlay A = Overlay(0, 0, 200);
  const TimeOverlay B = Overlay(100, 50, 200);
  const Box First = Changed(Render(600, 400, 2, &A));
  const Box Moved = Changed(Render(600, 400, 2, &B));
  ASSERT_GT(First.Count, 0u);
  EXPECT_EQ(Moved.Count, First.Count);
  EXPECT_EQ(Moved.Left - First.Left, 50);
  EXPECT_EQ(Moved.Top - First.Top, 25);
}

TEST_F(TimeOverlayTest, ColourCanBeChanged) {
  TimeOverlay O = Overlay(0, 0, 200);
  O.Red = 0;
  O.Green = 255;
  O.Blue = 255;
  const Picture24 P = Render(500, 200, 1, &O);
  bool Cyan = false, Yellow = false;
  for (size_t I = 0; I < P.Pixels.size(); I += 3) {
    if (P.Pixels[I] > 200 && P.Pixels[I + 1] > 200 && P.Pixels[I + 2] <= Background) Cyan = true;
    if (P.Pixels[I + 2] > 200 && P.Pixels[I] <= Background) Yellow = true;
  }
  EXPECT_TRUE(Cyan);
  EXPECT_FALSE(Yellow);
}

// Text near or beyond the edge is clipped, never written outside the picture.
TEST_F(TimeOverlayTest, TextOutsideThePictureIsClipped) {
  const TimeOverlay O = Overlay(380, 0, 10);
  const Picture24 P = Render(400, 60, 1, &O);
  EXPECT_EQ(P.Pixels.size(), size_t(400 * 60 * 3));
  TimeOverlay Far = Overlay(100000, 100000, 10);
  EXPECT_EQ(Changed(Render(200, 100, 1, &Far)).Count, 0u);
}

TEST_F(TimeOverlayTest, EmptyTextOrPictureDrawsNothing) {
  TimeOverlay O = Overlay(0, 0, 100);
  O.Text.clear();
  Picture24 P = Render(300, 100, 1, &O);
  EXPECT_EQ(Changed(P).Count, 0u);
  EXPECT_FALSE(DrawTimeText(P, O, 1));
  Picture24 Empty;
  EXPECT_FALSE(DrawTimeText(Empty, Overlay(0, 0, 100), 1));
  EXPECT_FALSE(DrawTimeText(P, Overlay(0, 0, 100), 0));
}

}  // namespace
}  // namespace obra
