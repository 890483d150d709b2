// The view: placement in the image area, display scale, pixel readout, the
// time overlay and saving the rendered picture.
#include <algorithm>

#include "Global.h"
#include "PngWriter.h"

namespace obra {

namespace {

int32_t CeilDiv(int32_t A, int32_t B) { return B > 0 ? (A + B - 1) / B : 1; }

TimeOverlay OverlayFor(const SharedState& S) {
  TimeOverlay O;
  O.Text = S.PanelTime.Caption;
  O.Red = S.OverlayColor.R;
  O.Green = S.OverlayColor.G;
  O.Blue = S.OverlayColor.B;
  O.FontTable = S.TimeFontTable;
  O.RoiLeft = S.RoiLeft;
  O.RoiTop = S.RoiTop;
  O.RoiHeight = S.RoiHeight;
  return O;
}

void Render(SharedState& S, Picture24& Target, int32_t Scale) {
  const TimeOverlay O = OverlayFor(S);
  RenderImage(Target, S.Image, S.ResultImage, Scale, *S.Tables.DisplayLut,
              S.CheckBoxAddText ? &O : nullptr, ActiveColourTable(S));
}

}  // namespace

void RenderView(SharedState& S) {
  if (!S.Image.Valid || S.ResultImage.empty()) return;
  Render(S, S.Image1, S.DisplayScale);
  ++S.Image1Version;
}

void SetScrollBox(SharedState& S) {
  S.ShapeRoiVisible = false;
  S.Image1Visible = false;
  const int32_t Sx = std::max(1, CeilDiv(S.Image.Width, S.AreaWidth));
  const int32_t Sy = std::max(1, CeilDiv(S.Image.Height, S.AreaHeight));
  S.FitScale = std::min(std::max(Sx, Sy), 10);
  const int32_t Pw = S.Image1.Width, Ph = S.Image1.Height;
  const int32_t M = (Pw < S.AreaWidth && Ph < S.AreaHeight) ? 0 : 24;
  S.Image1Left = S.AreaWidth - M < Pw ? 0 : (S.AreaWidth - M - Pw) / 2;
  S.Image1Top = S.AreaHeight - M < Ph ? 0 : (S.AreaHeight - M - Ph) / 2;
  S.Image1Visible = !S.InputImage.empty();
  DisplayRoi(S);
}

void SpeedButton1Click(SharedState& S, int32_t Scale) {
  if (S.InputImage.empty() || Scale < 1 || Scale > 10) return;
  S.DisplayScale = Scale;
  for (int32_t I = 1; I <= 10; ++I) S.ScaleButtons[I].Down = I == Scale;
  S.ShapeRoiVisible = false;
  RenderView(S);
  SetScrollBox(S);
  S.PanelProc.Caption =
      S.DisplayScale < S.FitScale ? "Scroll the image by left mouse button" : std::string();
}

void ReadPixel(SharedState& S, int32_t X, int32_t Y) {
  const int32_t Sc = S.DisplayScale;
  const int64_t Ix = static_cast<int64_t>(X) * Sc, Iy = static_cast<int64_t>(Y) * Sc;
  if (X < 0 || Y < 0 || Ix >= S.Image.Width || Iy >= S.Image.Height || S.InputImage.empty()) return;
  const uint16_t V = S.InputImage[static_cast<size_t>(Iy * S.Image.Width + Ix)];
  S.PanelPixelVal.Caption =
      V == 0 ? "No data" : "Input pixel value  " + std::to_string(V - S.Image.ValueOffset);
  S.PanelCoordinates.Caption = "[ " + std::to_string(Ix) + ", " + std::to_string(Iy) + " ]";
  S.PanelSolar.Caption = SkyText(S, static_cast<int32_t>(Ix), static_cast<int32_t>(Iy));
}

void CheckBoxAddTextClick(SharedState& S, bool Checked) {
  S.CheckBoxAddText = Checked;
  S.FontControlsEnabled = Checked;
  RenderView(S);
}

void UpDownFontSizeClick(SharedState& S, int32_t Position, bool Render) {
  S.UpDownFontSize = std::clamp(Position, 8, 100);
  FillTimeFontTable(S.TimeFontTable, S.UpDownFontSize);
  if (!Render) return;
  RenderView(S);
  S.PanelProc.Caption = "Font size  " + std::to_string(S.TimeFontTable[1].FontSize);
}

void SetOverlayColor(SharedState& S, Rgb Color) {
  S.OverlayColor = Color;
  RenderView(S);
}

bool SaveImage(SharedState& S, int32_t Mode, const std::string& Path) {
  if (!S.Image.Valid || S.ResultImage.empty()) return false;
  const Picture24* Out = nullptr;
  const int32_t Sc = S.DisplayScale;
  switch (Mode) {
    case SaveFullFrame:
      Render(S, S.ImageSave, 1);
      Out = &S.ImageSave;
      break;
    case SaveFullFrameScaled:
      Out = &S.Image1;
      break;
    case SaveRoi:
      Render(S, S.ImageSave, 1);
      S.ImageRoi = CutPicture(S.ImageSave, S.RoiLeft, S.RoiTop, S.RoiWidth, S.RoiHeight);
      Out = &S.ImageRoi;
      break;
    case SaveRoiScaled:
      S.ImageRoi =
          CutPicture(S.Image1, S.RoiLeft / Sc, S.RoiTop / Sc, S.RoiWidth / Sc, S.RoiHeight / Sc);
      Out = &S.ImageRoi;
      break;
    default:
      if (S.ShowMessage) S.ShowMessage("Unknown save mode " + std::to_string(Mode) + ".");
      return false;
  }
  const PngResult R = WritePng(*Out, Path);
  if (!R.Success && S.ShowMessage) S.ShowMessage(R.ErrorText);
  return R.Success;
}

}  // namespace obra
