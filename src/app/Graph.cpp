// The plotting module and the kernel profile graph drawn with it.
#include "Graph.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <cmath>

#include "AdaptiveEQ.h"

namespace obra {

namespace {

struct GraphState {
  QPainter* Canvas = nullptr;
  Rgb Color = ClBlack;
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
};

GraphState G;

QColor ToQColor(Rgb C) { return QColor(C.R, C.G, C.B); }

// Left edge and baseline of Text centred on the pixel (Px, Py); Above puts
// its top three half text heights above, otherwise half a height below.
void PlotText(const std::string& Text, double X, double Y, bool Above) {
  if (G.Canvas == nullptr || !ViewUsable()) return;
  int32_t Px = 0, Py = 0;
  WorldToPixel(X, Y, Px, Py);
  const QString T = QString::fromStdString(Text);
  const QFontMetrics M(G.Canvas->font());
  const int32_t W = M.horizontalAdvance(T), H = M.height();
  const int32_t Top = Above ? Py - 3 * (H / 2) : Py + H / 2;
  G.Canvas->setPen(ToQColor(G.Color));
  G.Canvas->setBackgroundMode(Qt::TransparentMode);
  G.Canvas->drawText(QPoint(Px - W / 2, Top + M.ascent()), T);
}

}  // namespace

void SetCanvas(QPainter* Canvas) { G.Canvas = Canvas; }

void SetColor(Rgb Color) { G.Color = Color; }

void SetView(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, double XMin, double YMin,
             double XMax, double YMax) {
  G.Left = Left;
  G.Top = Top;
  G.Right = Right;
  G.Bottom = Bottom;
  G.XMin = XMin;
  G.YMin = YMin;
  G.XMax = XMax;
  G.YMax = YMax;
}

bool ViewUsable() {
  return G.XMax != G.XMin && G.YMax != G.YMin && std::isfinite(G.XMin) && std::isfinite(G.XMax) &&
         std::isfinite(G.YMin) && std::isfinite(G.YMax);
}

void WorldToPixel(double X, double Y, int32_t& Px, int32_t& Py) {
  if (!ViewUsable()) {
    Px = Py = 0;
    return;
  }
  Px = static_cast<int32_t>(
      std::nearbyint((X - G.XMin) * (G.Right - G.Left) / (G.XMax - G.XMin) + G.Left));
  Py = static_cast<int32_t>(
      std::nearbyint(G.Bottom - (Y - G.YMin) * (G.Bottom - G.Top) / (G.YMax - G.YMin)));
}

void PlotLine(int32_t PenWidth, double X1, double Y1, double X2, double Y2) {
  if (G.Canvas == nullptr || !ViewUsable()) return;
  int32_t Ax = 0, Ay = 0, Bx = 0, By = 0;
  WorldToPixel(X1, Y1, Ax, Ay);
  WorldToPixel(X2, Y2, Bx, By);
  G.Canvas->setPen(QPen(ToQColor(G.Color), PenWidth, Qt::SolidLine, Qt::RoundCap));
  G.Canvas->drawLine(Ax, Ay, Bx, By);
}

void PlotTextBelow(const std::string& Text, double X, double Y) { PlotText(Text, X, Y, false); }

void PlotTextAbove(const std::string& Text, double X, double Y) { PlotText(Text, X, Y, true); }

bool KernelPlot(Picture24& Picture, int32_t KerSize) {
  return KernelPlot(Picture, KernelTable, KerSize);
}

bool KernelPlot(Picture24& Picture, const KernelTableType& Kernel, int32_t KerSize) {
  const int32_t R = KerSize;
  if (Picture.Width <= 0 || Picture.Height <= 0 || R < 1 || R > KernelRadius) return false;
  if (Picture.Pixels.size() != size_t(Picture.Width) * size_t(Picture.Height) * 3) return false;
  auto P = [&](int32_t I) { return static_cast<double>(Kernel.At(I, 0)); };
  if (!(P(0) != 0.0) || !std::isfinite(P(0))) return false;

  QImage Canvas(Picture.Pixels.data(), Picture.Width, Picture.Height, qsizetype(Picture.Width) * 3,
                QImage::Format_BGR888);
  QPainter Painter(&Canvas);
  Painter.setRenderHint(QPainter::Antialiasing, false);
  Painter.fillRect(0, 0, Picture.Width, Picture.Height, ToQColor(PanelColor));
  SetCanvas(&Painter);
  SetColor(ClBlack);
  SetView(100, 100, Picture.Width - 100, Picture.Height - 100, -R, 0, R, P(0));
  PlotLine(1, -R, 0, R, 0);
  for (int32_t X : {-R, R, 0}) PlotLine(3, X, 0, X, -0.01 * P(0));
  QFont F = Painter.font();
  F.setPointSize(10);
  Painter.setFont(F);
  PlotTextBelow(std::to_string(-R), -R, 0);
  PlotTextBelow(std::to_string(R), R, 0);
  PlotTextBelow("0", 0, 0);
  for (int32_t X : {-R, R, 0}) PlotTextAbove(FormatFixed(P(X), 6), X, P(X));
  for (int32_t I = -R + 1; I <= R; ++I) PlotLine(3, I - 1, P(I - 1), I, P(I));
  SetCanvas(nullptr);
  return true;
}

}  // namespace obra
