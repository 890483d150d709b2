// The observation-time overlay: its font table and the text drawing.
//
// Font sizes are points at 96 dpi, turned into whole pixels, so that a size
// gives the same text on every screen and in every saved picture. The picture
// is painted in place through a QImage that shares its pixel rows.
#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <memory>

#include "Display.h"

namespace obra {
namespace {

// The overlay font at a size in points. Sizes below 1 point (a small font size
// control at a large reduction) are drawn at 1 point rather than vanishing.
QFont OverlayFont(int32_t FontSize) {
  QFont F(QStringLiteral("Courier New"));
  F.setBold(true);
  F.setPixelSize(std::clamp(FontSize, 1, 1000) * 96 / 72);
  return F;
}

bool TextRenderingReady() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()); }

}  // namespace

bool EnsureTextRendering() {
  if (TextRenderingReady()) return true;
  if (QCoreApplication::instance() != nullptr) return false;
  static char Arg0[] = "obra";
  static char ArgPlatform[] = "-platform";
  static char ArgOffscreen[] = "offscreen";
  static char* Argv[] = {Arg0, ArgPlatform, ArgOffscreen, nullptr};
  static int Argc = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ? 3 : 1;
  static const auto App = std::make_unique<QGuiApplication>(Argc, Argv);
  return TextRenderingReady();
}

bool FillTimeFontTable(TimeFontTableType& Table, int32_t FontPosition) {
  const bool Ready = TextRenderingReady();
  Table[0] = TimeFontEntry{};
  for (int32_t S = 1; S <= MaxDisplayScale; ++S) {
    TimeFontEntry& E = Table[S];
    E.FontSize = FontPosition / S;
    E.TextHeight =
        Ready ? QFontMetrics(OverlayFont(E.FontSize)).boundingRect(QStringLiteral("1")).height()
              : 0;
    E.BottomMargin = (3 * E.TextHeight) / 2;
  }
  return Ready;
}

bool DrawTimeText(Picture24& Picture, const TimeOverlay& Overlay, int32_t Scale) {
  if (!TextRenderingReady() || Scale < 1 || Scale > MaxDisplayScale) return false;
  if (Picture.Width <= 0 || Picture.Height <= 0 || Overlay.Text.empty()) return false;
  if (Picture.Pixels.size() != size_t(Picture.Width) * size_t(Picture.Height) * 3) return false;
  const TimeFontEntry& E = Overlay.FontTable[Scale];
  const int32_t X = Overlay.RoiLeft / Scale + E.TextHeight;
  const int32_t Y = (Overlay.RoiTop + Overlay.RoiHeight) / Scale - E.BottomMargin;
  QImage Canvas(Picture.Pixels.data(), Picture.Width, Picture.Height, qsizetype(Picture.Width) * 3,
                QImage::Format_BGR888);
  const QFont F = OverlayFont(E.FontSize);
  QPainter Painter(&Canvas);
  Painter.setFont(F);
  Painter.setPen(QColor(Overlay.Red, Overlay.Green, Overlay.Blue));
  Painter.setBackgroundMode(Qt::TransparentMode);
  // The given corner is the top left of the text cell; Qt places the baseline.
  Painter.drawText(QPoint(X, Y + QFontMetrics(F).ascent()), QString::fromStdString(Overlay.Text));
  return true;
}

}  // namespace obra
