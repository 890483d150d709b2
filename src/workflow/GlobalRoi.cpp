// The region of interest: offered sizes, placement, the frame over the view,
// dragging and typed coordinates.
#include <algorithm>
#include <array>
#include <charconv>

#include "Global.h"

namespace obra {

namespace {

constexpr std::array<std::pair<int32_t, int32_t>, 12> CandidateSizes = {{{512, 512},
                                                                         {640, 480},
                                                                         {800, 600},
                                                                         {1024, 768},
                                                                         {1024, 1024},
                                                                         {1152, 864},
                                                                         {1536, 1536},
                                                                         {1600, 1200},
                                                                         {1920, 1080},
                                                                         {1920, 1200},
                                                                         {2048, 2048},
                                                                         {3072, 2048}}};

void ClampRoi(SharedState& S) {
  S.RoiLeft = std::max(S.RoiLeft, 0);
  S.RoiTop = std::max(S.RoiTop, 0);
  if (S.RoiLeft + S.RoiWidth > S.Image.Width) S.RoiLeft = S.Image.Width - S.RoiWidth;
  if (S.RoiTop + S.RoiHeight > S.Image.Height) S.RoiTop = S.Image.Height - S.RoiHeight;
}

void WriteRoiFields(SharedState& S) {
  S.EditRoiLeft.Text = std::to_string(S.RoiLeft);
  S.EditRoiTop.Text = std::to_string(S.RoiTop);
  EditRoiLeftChange(S);
}

// A typed coordinate: decimal digits only, at least 0, and the ROI fits.
bool ParseCoordinate(const std::string& Text, int32_t Size, int32_t Limit, int32_t& Value) {
  if (Text.empty()) return false;
  auto [Ptr, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  return Ec == std::errc() && Ptr == Text.data() + Text.size() && Value >= 0 &&
         static_cast<int64_t>(Value) + Size <= Limit;
}

void Recompose(SharedState& S) {
  MakeResultImage(S);
  RenderView(S);
}

}  // namespace

void MakeRoiItems(SharedState& S) {
  const int32_t W = S.Image.Width, H = S.Image.Height;
  S.RoiItems.clear();
  S.RoiItems.push_back({W, H, "Full  frame"});
  for (auto [Cw, Ch] : CandidateSizes)
    if (Cw <= W && Ch <= H && !(Cw == W && Ch == H))
      S.RoiItems.push_back({Cw, Ch, std::to_string(Cw) + " x " + std::to_string(Ch)});
  S.ComboBoxRoiEnabled = true;
}

void SetImgRoi(SharedState& S, int32_t Index) {
  const int32_t W = S.Image.Width, H = S.Image.Height;
  if (Index <= 0 || Index >= static_cast<int32_t>(S.RoiItems.size())) {
    S.RoiActive = false;
    S.CheckBoxAutoSaveActivated.Enabled = AutoSaveAllowed(S);
    S.RoiLeft = S.RoiTop = 0;
    S.RoiWidth = W;
    S.RoiHeight = H;
    S.EditRoiLeft.Enabled = S.EditRoiTop.Enabled = false;
    S.EditRoiLeft.Color = S.EditRoiTop.Color = ClSilver;
    // The full frame has no corner to type: a corner typed for the region
    // before is dropped with it.
    S.SpeedButtonSetTopLeft.Enabled = false;
    S.ShapeRoiColor = ClLime;
    WriteRoiFields(S);
    return;
  }
  S.CheckBoxAutoSaveActivated.Enabled = false;
  S.RoiActive = true;
  int32_t X, Y;
  if (S.RoiWidth == W && S.RoiHeight == H) {
    // Centre on the middle of the visible part of the view.
    X = (S.ClientWidth / 2 - (S.Image1Left - S.ScrollX)) * S.DisplayScale;
    Y = (S.ClientHeight / 2 - (S.Image1Top - S.ScrollY)) * S.DisplayScale;
  } else {
    X = S.RoiLeft + S.RoiWidth / 2;
    Y = S.RoiTop + S.RoiHeight / 2;
  }
  S.RoiWidth = S.RoiItems[Index].Width;
  S.RoiHeight = S.RoiItems[Index].Height;
  S.RoiLeft = X - S.RoiWidth / 2;
  S.RoiTop = Y - S.RoiHeight / 2;
  ClampRoi(S);
  S.EditRoiLeft.Enabled = S.EditRoiTop.Enabled = true;
  S.EditRoiLeft.Color = S.EditRoiTop.Color = ClWhite;
  WriteRoiFields(S);
}

void DisplayRoi(SharedState& S) {
  if (!S.RoiActive) {
    S.ShapeRoiVisible = false;
    return;
  }
  const int32_t Sc = S.DisplayScale;
  S.ShapeRoiLeft = S.RoiLeft / Sc + S.Image1Left;
  S.ShapeRoiTop = S.RoiTop / Sc + S.Image1Top;
  S.ShapeRoiWidth = S.RoiWidth / Sc;
  S.ShapeRoiHeight = S.RoiHeight / Sc;
  S.ShapeRoiVisible = true;
}

void ComboBoxRoiChange(SharedState& S, int32_t Index) {
  if (Index < 0 || Index >= static_cast<int32_t>(S.RoiItems.size())) return;
  S.RoiIndex = Index;
  S.PanelProc.Caption = Index > 0 ? "Move ROI by right mouse button" : "";
  SetImgRoi(S, Index);
  DisplayRoi(S);
  EnableEQ(S, S.ActivationReady);
  Recompose(S);
}

void SpeedButtonSetFullframeClick(SharedState& S) { ComboBoxRoiChange(S, 0); }

void ShapeRoiMouseDown(SharedState& S, bool RightButton, int32_t X, int32_t Y) {
  if (!RightButton) return;
  S.ShapeRoiColor = ClLime;
  S.RoiDragging = true;
  S.RoiDragX = X;
  S.RoiDragY = Y;
}

void ShapeRoiMouseMove(SharedState& S, bool RightButton, int32_t X, int32_t Y) {
  if (!RightButton) return;
  int32_t L = S.ShapeRoiLeft + (X - S.RoiDragX);
  int32_t T = S.ShapeRoiTop + (Y - S.RoiDragY);
  // Inside the picture; the far edge wins when the frame does not fit.
  L = std::min(std::max(L, S.Image1Left), S.Image1Left + S.Image1.Width - S.ShapeRoiWidth);
  T = std::min(std::max(T, S.Image1Top), S.Image1Top + S.Image1.Height - S.ShapeRoiHeight);
  S.PanelPixelVal.Caption.clear();
  S.PanelCoordinates.Caption.clear();
  if (!S.RoiDragging) return;
  S.ShapeRoiLeft = L;
  S.ShapeRoiTop = T;
  S.EditRoiLeft.Text = std::to_string((L - S.Image1Left) * S.DisplayScale);
  S.EditRoiTop.Text = std::to_string((T - S.Image1Top) * S.DisplayScale);
}

void ShapeRoiMouseUp(SharedState& S) {
  if (!S.RoiDragging) return;
  S.RoiDragging = false;
  const int32_t OldLeft = S.RoiLeft, OldTop = S.RoiTop;
  S.RoiLeft = (S.ShapeRoiLeft - S.Image1Left) * S.DisplayScale;
  S.RoiTop = (S.ShapeRoiTop - S.Image1Top) * S.DisplayScale;
  ClampRoi(S);
  if ((S.RoiLeft != OldLeft || S.RoiTop != OldTop) && !S.ActivationReady) EnableEQ(S, false);
  WriteRoiFields(S);
  Recompose(S);
}

void EditRoiLeftChange(SharedState& S) {
  if (S.RoiDragging || S.RoiIndex == 0) return;
  if (!S.RoiActive) {
    S.EditRoiLeft.Color = S.EditRoiTop.Color = ClGray;
    return;
  }
  int32_t L = 0, T = 0;
  const bool LeftOk = ParseCoordinate(S.EditRoiLeft.Text, S.RoiWidth, S.Image.Width, L);
  const bool TopOk = ParseCoordinate(S.EditRoiTop.Text, S.RoiHeight, S.Image.Height, T);
  S.EditRoiLeft.Color = LeftOk ? ClWhite : InvalidFieldColor;
  S.EditRoiTop.Color = TopOk ? ClWhite : InvalidFieldColor;
  S.SpeedButtonSetTopLeft.Enabled = LeftOk && TopOk && (L != S.RoiLeft || T != S.RoiTop);
  S.ShapeRoiColor = S.SpeedButtonSetTopLeft.Enabled ? ClRed : ClLime;
}

void SpeedButtonSetTopLeftClick(SharedState& S) {
  if (!S.SpeedButtonSetTopLeft.Enabled) return;
  int32_t L = 0, T = 0;
  if (!ParseCoordinate(S.EditRoiLeft.Text, S.RoiWidth, S.Image.Width, L) ||
      !ParseCoordinate(S.EditRoiTop.Text, S.RoiHeight, S.Image.Height, T))
    return;
  S.RoiLeft = L;
  S.RoiTop = T;
  if (!S.ActivationReady) EnableEQ(S, false);
  DisplayRoi(S);
  Recompose(S);
  S.SpeedButtonSetTopLeft.Enabled = false;
  S.ShapeRoiColor = ClLime;
}

}  // namespace obra
