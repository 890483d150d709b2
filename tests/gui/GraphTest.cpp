// The plotting module: the world-to-pixel mapping, its guards, and the
// kernel profile it draws.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>

#include "AdaptiveEQ.h"
#include "Graph.h"

using namespace obra;

TEST(Graph, MapsWorldToPixelsWithTheYAxisUp) {
  SetView(100, 100, 300, 200, -2, 0, 2, 1);
  int32_t Px = 0, Py = 0;
  WorldToPixel(0, 0.5, Px, Py);
  EXPECT_EQ(Px, 200);
  EXPECT_EQ(Py, 150);
  WorldToPixel(-2, 0, Px, Py);
  EXPECT_EQ(Px, 100);
  EXPECT_EQ(Py, 200);
  WorldToPixel(2, 1, Px, Py);
  EXPECT_EQ(Px, 300);
  EXPECT_EQ(Py, 100);
  // Halves go to the even neighbour.
  SetView(0, 0, 1, 1, 0, 0, 2, 2);
  WorldToPixel(1, 1, Px, Py);  // 0.5, 1 - 0.5
  EXPECT_EQ(Px, 0);
  EXPECT_EQ(Py, 0);
  WorldToPixel(3, -1, Px, Py);  // 1.5, 1 + 0.5
  EXPECT_EQ(Px, 2);
  EXPECT_EQ(Py, 2);
}

TEST(Graph, AZeroWorldWindowDrawsNothing) {
  QImage Canvas(50, 50, QImage::Format_RGB32);
  Canvas.fill(Qt::white);
  QPainter P(&Canvas);
  SetCanvas(&P);
  SetColor(ClBlack);
  SetView(0, 0, 50, 50, 1, 0, 1, 1);  // no width
  EXPECT_FALSE(ViewUsable());
  PlotLine(3, 0, 0, 1, 1);
  PlotTextAbove("x", 0, 0);
  SetView(0, 0, 50, 50, 0, 2, 1, 2);  // no height
  EXPECT_FALSE(ViewUsable());
  PlotLine(3, 0, 0, 1, 1);
  SetCanvas(nullptr);
  P.end();
  EXPECT_EQ(Canvas.pixelColor(25, 25), Qt::white);
  for (int Y = 0; Y < 50; ++Y)
    for (int X = 0; X < 50; ++X) ASSERT_EQ(Canvas.pixel(X, Y), qRgb(255, 255, 255));
  // Without a canvas nothing is touched at all.
  SetView(0, 0, 50, 50, 0, 0, 1, 1);
  PlotLine(1, 0, 0, 1, 1);
}

TEST(Graph, KernelProfileAndItsGuards) {
  Parameters P;
  P.NRSigma = 2;
  P.KerS_10 = 1;
  KernelTableType Saved = KernelTable;
  NoiseKernelType SavedNoise = NoiseKernel;
  BuildKernels(P, KernelTable, NoiseKernel);

  Picture24 Pic;
  Pic.Width = 400;
  Pic.Height = 300;
  Pic.Pixels.assign(400 * 300 * 3, 0);
  EXPECT_FALSE(KernelPlot(Pic, 0));
  EXPECT_FALSE(KernelPlot(Pic, 65));  // past the table's reach
  EXPECT_TRUE(std::all_of(Pic.Pixels.begin(), Pic.Pixels.end(), [](uint8_t B) { return !B; }));
  ASSERT_TRUE(KernelPlot(Pic, 3));
  const QImage Shown(Pic.Pixels.data(), 400, 300, 400 * 3, QImage::Format_BGR888);
  EXPECT_EQ(Shown.pixelColor(0, 0), QColor(175, 160, 149));
  EXPECT_EQ(Shown.pixelColor(250, 200), Qt::black);  // the axis at y = 0
  // The curve's peak lies at the top of the plot area, above the centre tick.
  bool Peak = false;
  for (int Y = 97; Y <= 103; ++Y) Peak = Peak || Shown.pixelColor(200, Y) == Qt::black;
  EXPECT_TRUE(Peak);

  // A zero centre weight cannot be scaled to the plot.
  KernelTable = KernelTableType{};
  std::fill(Pic.Pixels.begin(), Pic.Pixels.end(), 7);
  EXPECT_FALSE(KernelPlot(Pic, 3));
  EXPECT_EQ(Pic.Pixels[0], 7);
  Picture24 Empty;
  EXPECT_FALSE(KernelPlot(Empty, 3));
  KernelTable = Saved;
  NoiseKernel = SavedNoise;
}
