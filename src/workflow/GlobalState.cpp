// The shared state: its initial values and the switches that enable whole
// groups of controls together.
#include <algorithm>
#include <array>
#include <cstdio>

#include "AdaptiveEQ.h"
#include "Global.h"
#include "IniFile.h"

namespace obra {

SharedState Global;

void TrackBarState::SetRange(int32_t NewMin, int32_t NewMax) {
  Min = NewMin;
  Max = std::max(NewMin, NewMax);
  SetPosition(Position);
}

void TrackBarState::SetPosition(int32_t P) { Position = std::clamp(P, Min, Max); }

namespace {
TrackBarState Bar(int32_t Min, int32_t Max, int32_t Position) {
  TrackBarState T;
  T.Min = Min;
  T.Max = Max;
  T.Position = Position;
  return T;
}
PanelState Panel(const std::string& Caption) {
  PanelState P;
  P.Caption = Caption;
  return P;
}
}  // namespace

SharedState::SharedState()
    : TrackBarBlack(Bar(0, 65535, 0)),
      TrackBarWhite(Bar(0, 100, 100)),
      TrackBarGamma(Bar(10, 60, 20)),
      TrackBarOutputBlack(Bar(0, 24000, 0)),
      TrackBarOutputWhite(Bar(40000, 65535, 55535)),
      TrackBarEqWeight(Bar(0, 30, 20)),
      PanelBlack(Panel("0")),
      PanelWhite(Panel("100")),
      PanelGamma(Panel("2.2")),
      PanelOutputBlack(Panel("0")),
      PanelOutputWhite(Panel("55535")),
      PanelEqWeight(Panel("0.20")) {
  for (int32_t I = 1; I <= 10; ++I) ScaleButtons[I] = {false, I == 4};
  for (PanelState* P : {&PanelTime, &PanelInfo, &PanelCoordinates, &PanelPixelVal, &PanelProc}) {
    P->Color = PanelColor;
    P->FontColor = ClNavy;
  }
  PanelRoi.Color = PanelColor;
}

WorkflowTables ProcessTables() {
  return {&Params, &KernelTable, &NoiseKernel, &GammaLut, &DisplayLut};
}

void SharedState::UseOwnTables(const Parameters& P) {
  Own = std::make_shared<OwnedTables>();
  Own->Params = P;
  BuildKernels(Own->Params, Own->KernelTable, Own->NoiseKernel);
  Tables = {&Own->Params, &Own->KernelTable, &Own->NoiseKernel, &Own->GammaLut, &Own->DisplayLut};
}

void InitializeState(SharedState& S) {
  S.FirstImage = true;
  S.InputImage.clear();
  S.GammaImage.clear();
  S.ActivationImage.clear();
  S.ResultImage.clear();
  S.ThreadCount = ProcessorCount();
  EnableContrastCtrl(S, false);
  EnableEQ(S, false);
  S.SpeedButtonEnableEQ.Enabled = false;
  S.ActivationReady = false;
  S.PanelEqWeight.Color = ClSilver;
  S.LabelObraEnabled = false;
  S.CheckBoxAutoSaveActivated.Enabled = false;
  S.RoiIndex = 0;
  S.OverlayColor = ClYellow;
}

void EnableContrastCtrl(SharedState& S, bool Enabled) {
  S.LevelTitlesEnabled = Enabled;
  for (TrackBarState* T : {&S.TrackBarBlack, &S.TrackBarWhite, &S.TrackBarGamma,
                           &S.TrackBarOutputBlack, &S.TrackBarOutputWhite})
    T->Enabled = Enabled;
  for (PanelState* P :
       {&S.PanelBlack, &S.PanelWhite, &S.PanelGamma, &S.PanelOutputBlack, &S.PanelOutputWhite}) {
    P->Color = Enabled ? ClWhite : ClSilver;
    P->FontColor = Enabled ? ClBlack : ClSilver;
  }
}

std::string FormatFixed(double Value, int Decimals) {
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%.*f", Decimals, Value);
  return Buf;
}

void EnableEQ(SharedState& S, bool Activated) {
  S.LabelObraEnabled = true;
  if (Activated) {
    S.PanelEqWeight.Color = ClWhite;
    S.PanelEqWeight.FontColor = ClBlack;
    S.PanelEqWeight.Caption = FormatFixed(S.ObraWeight * 0.01, 2);
    S.TrackBarEqWeight.Enabled = true;
    S.SpeedButtonEnableEQ.Enabled = false;
    S.CheckBoxAutoSaveActivated.Enabled = false;
  } else {
    S.PanelEqWeight.Color = NotActiveColor;
    S.PanelEqWeight.FontColor = ClSilver;
    S.PanelEqWeight.Caption = "Not active";
    S.TrackBarEqWeight.Enabled = false;
    S.SpeedButtonEnableEQ.Enabled = true;
    S.CheckBoxAutoSaveActivated.Enabled = AutoSaveAllowed(S);
  }
}

bool AutoSaveAllowed(const SharedState& S) {
  return !(S.CacheUnwritable || S.ActivationReady || S.RoiActive || S.ImageIsSum);
}

namespace {

// The channels with configured defaults and the keys that hold them.
struct ChannelKeys {
  int32_t Wavelength;
  int32_t Parameters::*Gamma;
  int32_t Parameters::*Obra;
};

constexpr std::array<ChannelKeys, 10> Channels = {{
    {94, &Parameters::Gamma94, &Parameters::Obra94},
    {131, &Parameters::Gamma131, &Parameters::Obra131},
    {171, &Parameters::Gamma171, &Parameters::Obra171},
    {193, &Parameters::Gamma193, &Parameters::Obra193},
    {211, &Parameters::Gamma211, &Parameters::Obra211},
    {304, &Parameters::Gamma304, &Parameters::Obra304},
    {335, &Parameters::Gamma335, &Parameters::Obra335},
    {1600, &Parameters::Gamma1600, &Parameters::Obra1600},
    {1700, &Parameters::Gamma1700, &Parameters::Obra1700},
    {4500, &Parameters::Gamma4500, &Parameters::Obra4500},
}};

const ChannelKeys* KeysOf(int32_t Wavelength) {
  for (const ChannelKeys& C : Channels)
    if (C.Wavelength == Wavelength) return &C;
  return nullptr;
}

}  // namespace

int32_t DefaultGamma(const Parameters& P, int32_t Wavelength) {
  const ChannelKeys* C = KeysOf(Wavelength);
  return C ? P.*(C->Gamma) : 22;
}

int32_t DefaultObraWeight(const Parameters& P, int32_t Wavelength) {
  const ChannelKeys* C = KeysOf(Wavelength);
  return C ? P.*(C->Obra) : 15;
}

int32_t DefaultGamma(int32_t Wavelength) { return DefaultGamma(Params, Wavelength); }
int32_t DefaultObraWeight(int32_t Wavelength) { return DefaultObraWeight(Params, Wavelength); }

std::string ReplaceExtension(const std::string& Name, const std::string& NewExt) {
  const size_t Dot = Name.rfind('.');
  return (Dot == std::string::npos ? Name : Name.substr(0, Dot)) + NewExt;
}

}  // namespace obra
