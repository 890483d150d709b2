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
  struct Case {
    bool Wide;
    double X, Y;
    int32_t Px, Py;
  };
  // Halves go to the even neighbour: (0.5, 1 - 0.5) and (1.5, 1 + 0.5).
  const Case Cases[] = {{true, 0, 0.5, 200, 150},
                        {true, -2, 0, 100, 200},
                        {true, 2, 1, 300, 100},
                        {false, 1, 1, 0, 0},
                        {false, 3, -1, 2, 2}};
  for (const Case& C : Cases) {
    if (C.Wide)
      SetView(100, 100, 300, 200, -2, 0, 2, 1);
    else
      SetView(0, 0, 1, 1, 0, 0, 2, 2);
    int32_t Px = 0, Py = 0;
    WorldToPixel(C.X, C.Y, Px, Py);
    EXPECT_EQ(Px, C.Px) << C.X << ", " << C.Y;
    EXPECT_EQ(Py, C.Py) << C.X << ", " << C.Y;
  }
}

TEST(Graph, AZeroWorldWindowDrawsNothing) {
  QImage Canvas(50, 50, QImage::Format_RGB32);
  Canvas.fill(Qt::white);
  const QImage White = Canvas.copy();
  QPainter P(&Canvas);
  SetCanvas(&P);
  SetColor(ClBlack);
  const double Worlds[2][4] = {{1, 0, 1, 1}, {0, 2, 1, 2}};  // no width, no height
  for (const auto& Wd : Worlds) {
    SetView(0, 0, 50, 50, Wd[0], Wd[1], Wd[2], Wd[3]);
    EXPECT_FALSE(ViewUsable());
    PlotLine(3, 0, 0, 1, 1);
    PlotTextAbove("x", 0, 0);
  }
  SetCanvas(nullptr);
  P.end();
  EXPECT_EQ(Canvas, White);
  // Without a canvas nothing is touched at all.
  SetView(0, 0, 50, 50, 0, 0, 1, 1);
  PlotLine(1, 0, 0, 1, 1);
}

TEST(Graph, KernelProfileAndItsGuards) {
  Parameters P;
  P.NRSigma = 2;
  P.KerS_10 = 1;
  const KernelTableType Saved = KernelTable;
  const NoiseKernelType SavedNoise = NoiseKernel;
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

  // A zero centre weight cannot be scaled to the plot, nor an empty picture drawn.
  KernelTable = KernelTableType{};
  std::fill(Pic.Pixels.begin(), Pic.Pixels.end(), 7);
  EXPECT_FALSE(KernelPlot(Pic, 3));
  EXPECT_EQ(Pic.Pixels[0], 7);
  Picture24 Empty;
  EXPECT_FALSE(KernelPlot(Empty, 3));
  KernelTable = Saved;
  NoiseKernel = SavedNoise;
}
