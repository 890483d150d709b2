// The view's zoom at a point (mouse wheel, double-click) and the readout's reset.
#include <algorithm>

#include "Global.h"

namespace obra {

void ClearReadout(SharedState& S) {
  S.PanelPixelVal.Caption.clear();
  S.PanelCoordinates.Caption.clear();
}

void ZoomAt(SharedState& S, int32_t Scale, int32_t X, int32_t Y, int32_t Px, int32_t Py) {
  if (S.InputImage.empty() || Scale < 1 || Scale > 10) return;
  // The image sample under (X, Y) before the change, in 64 bits since view
  // coordinates come from the window.
  const int64_t Ix = static_cast<int64_t>(X) * S.DisplayScale;
  const int64_t Iy = static_cast<int64_t>(Y) * S.DisplayScale;
  SpeedButton1Click(S, Scale);
  const int64_t Sx = S.Image1Left + Ix / Scale - Px, Sy = S.Image1Top + Iy / Scale - Py;
  S.ScrollX = static_cast<int32_t>(std::clamp<int64_t>(Sx, 0, S.Image1Left + S.Image1.Width));
  S.ScrollY = static_cast<int32_t>(std::clamp<int64_t>(Sy, 0, S.Image1Top + S.Image1.Height));
}

void WheelScale(SharedState& S, int32_t Steps, int32_t X, int32_t Y) {
  const int32_t Scale = std::clamp(S.DisplayScale - std::clamp(Steps, -10, 10), 1, 10);
  if (Scale == S.DisplayScale || !S.Image1Enabled || S.InputImage.empty()) return;
  ZoomAt(S, Scale, X, Y, S.Image1Left + X - S.ScrollX, S.Image1Top + Y - S.ScrollY);
}

void Image1DblClick(SharedState& S, int32_t X, int32_t Y) {
  if (!S.Image1Enabled) return;
  const int32_t Scale = S.ScaleButtons[1].Down ? S.FitScale : 1;
  ZoomAt(S, Scale, X, Y, S.ClientWidth / 2, S.ClientHeight / 2);
}

}  // namespace obra
