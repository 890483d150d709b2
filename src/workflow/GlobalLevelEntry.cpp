// Typed values of the six level panels: parsed as the panels show them and
// applied through the sliders' own reactions.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

#include "Global.h"

namespace obra {

namespace {

struct PanelEntry {
  TrackBarState SharedState::*Bar;
  void (*Change)(SharedState&, int32_t, bool);
  double Unit;      // slider steps per shown unit
  bool WithOffset;  // the panel shows the position minus ValueOffset
};

PanelEntry EntryOf(LevelPanel P) {
  switch (P) {
    case LevelPanel::Black:
      return {&SharedState::TrackBarBlack, &TrackBarBlackChange, 1.0, true};
    case LevelPanel::White:
      return {&SharedState::TrackBarWhite, &TrackBarWhiteChange, 1.0, true};
    case LevelPanel::Gamma:
      return {&SharedState::TrackBarGamma, &TrackBarGammaChange, 10.0, false};
    case LevelPanel::OutputBlack:
      return {&SharedState::TrackBarOutputBlack, &TrackBarOutputBlackChange, 1.0, false};
    case LevelPanel::OutputWhite:
      return {&SharedState::TrackBarOutputWhite, &TrackBarOutputWhiteChange, 1.0, false};
    case LevelPanel::EqWeight:
      break;
  }
  return {&SharedState::TrackBarEqWeight, &TrackBarEqWeightChange, 100.0, false};
}

// The typed text as a number: blanks around it ignored, "," read as ".",
// "Off" (any letter case) as 0 for the OBRA weight. False when it is none.
bool ParseTyped(std::string_view Text, bool OffAllowed, double& Value) {
  std::string T(Text);
  T.erase(0, T.find_first_not_of(" \t"));
  T.erase(T.find_last_not_of(" \t") + 1);
  std::replace(T.begin(), T.end(), ',', '.');
  std::string Lower = T;
  std::transform(Lower.begin(), Lower.end(), Lower.begin(),
                 [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  if (OffAllowed && Lower == "off") {
    Value = 0.0;
    return true;
  }
  if (!T.empty() && T[0] == '+') T.erase(0, 1);
  const char* End = T.data() + T.size();
  const auto [Ptr, Ec] = std::from_chars(T.data(), End, Value);
  // Out-of-range magnitudes still name a side: they go to the nearer end.
  if (Ec == std::errc::result_out_of_range && Ptr == End) {
    Value = T[0] == '-' ? -1e300 : 1e300;
    return true;
  }
  return !T.empty() && Ec == std::errc() && Ptr == End && std::isfinite(Value);
}

}  // namespace

TypedLevel TypeLevel(SharedState& S, LevelPanel Panel, std::string_view Text) {
  const PanelEntry E = EntryOf(Panel);
  const TrackBarState& Bar = S.*E.Bar;
  double Value = 0.0;
  if (S.InputImage.empty() || !Bar.Enabled || !S.PanelRightEnabled ||
      !ParseTyped(Text, Panel == LevelPanel::EqWeight, Value))
    return TypedLevel::Refused;
  // Steps of the slider, rounded half to even; clamped in floating point so
  // huge values cannot overflow.
  double Steps = std::nearbyint(Value * E.Unit);
  if (E.WithOffset) Steps += S.Image.ValueOffset;
  const double Clamped =
      std::clamp(Steps, static_cast<double>(Bar.Min), static_cast<double>(Bar.Max));
  E.Change(S, static_cast<int32_t>(Clamped), false);
  return Clamped == Steps ? TypedLevel::Applied : TypedLevel::Clamped;
}

}  // namespace obra
