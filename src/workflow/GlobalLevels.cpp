// Result composition, automatic levels, default gamma and weight, and the
// reactions of the six level sliders and the three mode-button pairs.
#include <algorithm>

#include "Composition.h"
#include "Global.h"
#include "IniFile.h"

namespace obra {

namespace {

std::string OffsetText(const SharedState& S, int32_t Value) {
  return std::to_string(Value - S.Image.ValueOffset);
}

bool DiscChannel(int32_t Wavelength) {
  return Wavelength == 304 || Wavelength == 1600 || Wavelength == 1700;
}

// Outside the rectangle the activation data cover, the result is the gamma
// image of the present levels, not a blend with the gamma image the
// activation started from.
void KeepGammaOutsideActivation(SharedState& S) {
  const int32_t W = S.Image.Width, H = S.Image.Height;
  const int32_t L = std::clamp(S.ActivatedLeft, 0, W), T = std::clamp(S.ActivatedTop, 0, H);
  const int32_t R = std::clamp(S.ActivatedLeft + S.ActivatedWidth, L, W);
  const int32_t B = std::clamp(S.ActivatedTop + S.ActivatedHeight, T, H);
  if (L == 0 && T == 0 && R == W && B == H) return;
  const uint16_t* Gamma = S.GammaImage.data();
  uint16_t* Result = S.ResultImage.data();
  for (int32_t Y = 0; Y < H; ++Y) {
    const size_t Row = size_t(Y) * size_t(W);
    if (Y < T || Y >= B) {
      std::copy_n(Gamma + Row, W, Result + Row);
    } else {
      std::copy_n(Gamma + Row, L, Result + Row);
      std::copy_n(Gamma + Row + R, W - R, Result + Row + R);
    }
  }
}

// A slider reaction runs only for keyboard changes and the end of a drag,
// never while an open sets the sliders.
bool Reacts(const SharedState& S, bool Dragging) { return !Dragging && !S.Loading; }

}  // namespace

void MakeGammaImage(SharedState& S, const std::vector<uint16_t>& Source,
                    std::vector<uint16_t>& Destination) {
  FillGammaLut(*S.Tables.GammaLut, S.InputBlack, S.InputWhite, S.GammaSetting);
  MakeGammaImage(Source, Destination, *S.Tables.GammaLut);
}

void MakeResultImage(SharedState& S) {
  if (S.InputImage.empty()) return;
  if (S.SpeedButtonEnableEQ.Enabled) {
    MakeGammaImage(S, S.InputImage, S.ResultImage);
  } else {
    FillGammaLut(*S.Tables.GammaLut, S.InputBlack, S.InputWhite, S.GammaSetting);
    MakeBlendedResult(S.InputImage, S.ActivationImage, *S.Tables.GammaLut, S.ObraWeight,
                      S.GammaImage, S.ResultImage);
    KeepGammaOutsideActivation(S);
  }
  if (S.SpeedButtonAutocontrast.Down) AutoOutputParam(S, true, true);
  FillDisplayLut(*S.Tables.DisplayLut, S.OutputBlack, S.OutputWhite, 10);
}

void AutoInputParam(SharedState& S, bool Black, bool White) {
  const ImageRecord& R = S.Image;
  // Levels that stay as they are are still shown against this image's offset.
  S.PanelBlack.Caption = OffsetText(S, S.InputBlack);
  S.PanelWhite.Caption = OffsetText(S, S.InputWhite);
  if (R.MinValue == R.MaxValue) return;
  if (Black) {
    const LevelRange B = *AutoInputBlackRange(R);
    S.TrackBarBlack.SetRange(0, 65535);
    S.TrackBarBlack.SetRange(B.Minimum, B.Maximum);
    S.TrackBarBlack.SetPosition(B.Position);
    S.InputBlack = static_cast<uint16_t>(S.TrackBarBlack.Position);
    S.PanelBlack.Caption = OffsetText(S, S.InputBlack);
  }
  if (White) {
    const LevelRange W = *AutoInputWhiteRange(R);
    S.TrackBarWhite.SetRange(0, 65535);
    S.TrackBarWhite.SetRange(W.Minimum, W.Maximum);
    S.TrackBarWhite.SetPosition(W.Position);
    S.PanelWhite.Caption = OffsetText(S, S.TrackBarWhite.Position);
    S.InputWhite = static_cast<uint16_t>(S.TrackBarWhite.Position);
  }
}

void AutoOutputParam(SharedState& S, bool Black, bool White) {
  if ((Black || White) && !S.ResultImage.empty()) {
    ImageRecord G = S.Image, L;
    if (DiscChannel(S.Image.Wavelength))
      ComputeDiscStatistics(G, S.ResultImage.data());
    else
      ComputeStatistics(G, S.ResultImage.data());
    if (S.RoiActive) {
      L = S.Image;
      ComputeRoiStatistics(S.RoiLeft, S.RoiTop, S.RoiWidth, S.RoiHeight, L, S.ResultImage.data());
    } else {
      L = G;
    }
    const OutputLevels O = AutoOutputLevels(G, L, S.Config().GlobalB, S.Config().LocalB,
                                            S.Config().GlobalW, S.Config().LocalW);
    if (Black) {
      S.OutputBlack = O.Black;
      S.TrackBarOutputBlack.SetPosition(S.OutputBlack);
    }
    if (White) {
      S.OutputWhite = O.White;
      S.TrackBarOutputWhite.SetPosition(S.OutputWhite);
    }
  }
  S.PanelOutputBlack.Caption = std::to_string(S.OutputBlack);
  S.PanelOutputWhite.Caption = std::to_string(S.OutputWhite);
}

void SetGamma(SharedState& S) {
  if (!S.SpeedButtonAutoGamma.Down) return;
  S.TrackBarGamma.SetPosition(DefaultGamma(S.Config(), S.Image.Wavelength));
  S.GammaSetting = S.TrackBarGamma.Position;
  S.PanelGamma.Caption = FormatFixed(S.GammaSetting * 0.1, 1);
}

void SetEQWeight(SharedState& S) {
  if (!S.SpeedButtonAutoACEQ.Down) return;
  S.TrackBarEqWeight.SetPosition(DefaultObraWeight(S.Config(), S.Image.Wavelength));
  S.ObraWeight = S.TrackBarEqWeight.Position;
  // Without activation data the panel keeps saying so.
  if (S.TrackBarEqWeight.Enabled) S.PanelEqWeight.Caption = FormatFixed(S.ObraWeight * 0.01, 2);
}

void TrackBarBlackChange(SharedState& S, int32_t Position, bool Dragging) {
  S.TrackBarBlack.SetPosition(Position);
  S.InputBlack = static_cast<uint16_t>(S.TrackBarBlack.Position);
  S.PanelBlack.Caption = OffsetText(S, S.InputBlack);
  if (!Reacts(S, Dragging)) return;
  MakeResultImage(S);
  RenderView(S);
}

void TrackBarWhiteChange(SharedState& S, int32_t Position, bool Dragging) {
  S.TrackBarWhite.SetPosition(Position);
  S.InputWhite = static_cast<uint16_t>(S.TrackBarWhite.Position);
  S.PanelWhite.Caption = OffsetText(S, S.InputWhite);
  if (!Reacts(S, Dragging)) return;
  MakeResultImage(S);
  RenderView(S);
}

void TrackBarGammaChange(SharedState& S, int32_t Position, bool Dragging) {
  S.TrackBarGamma.SetPosition(Position);
  S.GammaSetting = S.TrackBarGamma.Position;
  S.PanelGamma.Caption = FormatFixed(S.GammaSetting * 0.1, 1);
  if (!Reacts(S, Dragging)) return;
  MakeResultImage(S);
  RenderView(S);
}

void TrackBarEqWeightChange(SharedState& S, int32_t Position, bool Dragging) {
  S.TrackBarEqWeight.SetPosition(Position);
  S.ObraWeight = S.TrackBarEqWeight.Position;
  S.PanelEqWeight.Caption = S.ObraWeight == 0 ? "Off" : FormatFixed(S.ObraWeight * 0.01, 2);
  if (!Reacts(S, Dragging)) return;
  MakeResultImage(S);
  RenderView(S);
}

void TrackBarOutputBlackChange(SharedState& S, int32_t Position, bool Dragging) {
  S.TrackBarOutputBlack.SetPosition(Position);
  S.OutputBlack = static_cast<uint16_t>(S.TrackBarOutputBlack.Position);
  S.PanelOutputBlack.Caption = std::to_string(S.OutputBlack);
  if (!Reacts(S, Dragging)) return;
  FillDisplayLut(*S.Tables.DisplayLut, S.OutputBlack, S.OutputWhite, 10);
  RenderView(S);
}

void TrackBarOutputWhiteChange(SharedState& S, int32_t Position, bool Dragging) {
  S.TrackBarOutputWhite.SetPosition(Position);
  S.OutputWhite = static_cast<uint16_t>(S.TrackBarOutputWhite.Position);
  S.PanelOutputWhite.Caption = std::to_string(S.OutputWhite);
  if (!Reacts(S, Dragging)) return;
  FillDisplayLut(*S.Tables.DisplayLut, S.OutputBlack, S.OutputWhite, 10);
  RenderView(S);
}

void SpeedButtonAutocontrastClick(SharedState& S) {
  S.SpeedButtonAutocontrast.Down = true;
  S.SpeedButtonFixContrast.Down = false;
  AutoInputParam(S, true, true);
  MakeResultImage(S);
  AutoOutputParam(S, true, true);
  FillDisplayLut(*S.Tables.DisplayLut, S.OutputBlack, S.OutputWhite, 10);
  RenderView(S);
}

void SpeedButtonFixContrastClick(SharedState& S) {
  S.SpeedButtonAutocontrast.Down = false;
  S.SpeedButtonFixContrast.Down = true;
}

void SpeedButtonAutoGammaClick(SharedState& S) {
  S.SpeedButtonAutoGamma.Down = true;
  S.SpeedButtonFixGamma.Down = false;
  SetGamma(S);
  MakeResultImage(S);
  RenderView(S);
}

void SpeedButtonFixGammaClick(SharedState& S) {
  S.SpeedButtonAutoGamma.Down = false;
  S.SpeedButtonFixGamma.Down = true;
}

void SpeedButtonAutoACEQClick(SharedState& S) {
  S.SpeedButtonAutoACEQ.Down = true;
  S.SpeedButtonFixACEQ.Down = false;
  SetEQWeight(S);
  MakeResultImage(S);
  RenderView(S);
}

void SpeedButtonFixACEQClick(SharedState& S) {
  S.SpeedButtonAutoACEQ.Down = false;
  S.SpeedButtonFixACEQ.Down = true;
}

}  // namespace obra
