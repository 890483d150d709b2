// The control options of obra-cli: parsing, checks and pressing the controls.
#include "CliOptions.h"

#include <unistd.h>

#include <cstdio>

#include "Cli.h"
#include "IniFile.h"

namespace obra::cli {

const char* const ControlOptionsUsage =
    "[--roi-size N] [--roi-left L --roi-top T] [--scale S] [--fix-gamma G] [--fix-weight W] "
    "[--fix-contrast [--input-black B] [--input-white W] [--output-black B] [--output-white W]] "
    "[--colour-table grey|channel|NAME] [--time] [--no-auto-save] [--threads N] "
    "[--engine reference|production]";

bool ParseInt(const std::string& T, int32_t& V) {
  try {
    size_t N = 0;
    V = std::stoi(T, &N);
    return N == T.size();
  } catch (...) {
    return false;
  }
}

namespace {

// The options that take a whole number, and where it goes.
struct NumberOption {
  const char* Name;
  std::optional<int32_t> ControlOptions::*Target;
};

constexpr NumberOption NumberOptions[] = {
    {"--roi-size", &ControlOptions::RoiSize},
    {"--roi-left", &ControlOptions::RoiLeft},
    {"--roi-top", &ControlOptions::RoiTop},
    {"--fix-gamma", &ControlOptions::FixGamma},
    {"--fix-weight", &ControlOptions::FixWeight},
    {"--threads", &ControlOptions::Threads},
    {"--input-black", &ControlOptions::InputBlack},
    {"--input-white", &ControlOptions::InputWhite},
    {"--output-black", &ControlOptions::OutputBlack},
    {"--output-white", &ControlOptions::OutputWhite},
};

// Moves a slider as a user would and says when the slider's range cut the value.
void MoveSlider(TrackBarState& Bar, int32_t Wanted, const char* Name,
                void (*Change)(SharedState&, int32_t, bool)) {
  if (Wanted < Bar.Min || Wanted > Bar.Max)
    std::fprintf(stderr, "%s %d lies outside the slider range %d..%d; using the nearer end\n", Name,
                 Wanted, Bar.Min, Bar.Max);
  Change(Global, Wanted, false);
}

}  // namespace

OptionMatch ParseControlOption(const std::vector<std::string>& Args, size_t& I, ControlOptions& O,
                               std::string& Error) {
  const std::string& A = Args[I];
  for (const NumberOption& N : NumberOptions) {
    if (A != N.Name) continue;
    int32_t V = 0;
    if (I + 1 >= Args.size() || !ParseInt(Args[I + 1], V)) {
      Error = A + " needs a whole number";
      return OptionMatch::Fault;
    }
    ++I;
    O.*(N.Target) = V;
    return OptionMatch::Taken;
  }
  if (A == "--scale") {
    if (I + 1 >= Args.size() || !ParseInt(Args[I + 1], O.Scale)) {
      Error = "--scale needs a whole number";
      return OptionMatch::Fault;
    }
    ++I;
  } else if (A == "--colour-table") {
    if (I + 1 >= Args.size()) {
      Error = "--colour-table needs grey, channel or a table's name";
      return OptionMatch::Fault;
    }
    O.ColourTable = Args[++I];
  } else if (A == "--fix-contrast") {
    O.FixContrast = true;
  } else if (A == "--time") {
    O.Time = true;
  } else if (A == "--no-auto-save") {
    O.NoAutoSave = true;
  } else if (A == "--engine") {
    const std::string E = I + 1 < Args.size() ? Args[++I] : std::string();
    if (E != "reference" && E != "production") {
      Error = "--engine needs reference or production";
      return OptionMatch::Fault;
    }
    O.Engine = E == "reference" ? EngineKind::Reference : EngineKind::Production;
  } else {
    return OptionMatch::NotMine;
  }
  return OptionMatch::Taken;
}

bool CheckControlOptions(const ControlOptions& O, std::string& Error) {
  if (O.Scale < 1 || O.Scale > 10) return Error = "--scale must lie in 1..10", false;
  if (O.RoiLeft.has_value() != O.RoiTop.has_value())
    return Error = "--roi-left and --roi-top go together", false;
  if ((O.InputBlack || O.InputWhite || O.OutputBlack || O.OutputWhite) && !O.FixContrast)
    return Error = "levels need --fix-contrast", false;
  if (O.Threads && (*O.Threads < 1 || *O.Threads > 64))
    return Error = "--threads must lie in 1..64", false;
  return true;
}

int PrepareSession(const char* Command, const ControlOptions& O, int& Messages) {
  ProgramDir = ExecutableDir();
  if (const IniStatus S = GetIniFile(); S.Fatal) {
    std::fprintf(stderr, "%s\n", S.Message.c_str());
    return 2;
  }
  if (!EnsureTextRendering()) {
    std::fprintf(stderr, "obra-cli %s: text drawing is not available\n", Command);
    return 1;
  }
  SharedState& S = Global;
  S.ShowMessage = [&Messages](const std::string& M) {
    ++Messages;
    std::fprintf(stderr, "%s\n", M.c_str());
  };
  StartState(S, O);
  return 0;
}

void StartState(SharedState& S, const ControlOptions& O) {
  MessageSink Show = std::move(S.ShowMessage);
  QuestionSink Ask = std::move(S.AskYesNoCancel);
  BatchState Batch = std::move(S.Batch);
  S = SharedState();
  S.ShowMessage = std::move(Show);
  S.AskYesNoCancel = std::move(Ask);
  S.Batch = std::move(Batch);
  InitializeState(S);
  if (O.Threads) S.ThreadCount = *O.Threads;
  S.Engine = O.Engine;
}

int ApplyControlOptions(SharedState& S, const ControlOptions& O, const char* Command) {
  // The virtual view shows the whole picture, so a chosen ROI size is
  // centred on the image.
  SpeedButton1Click(S, O.Scale);
  S.ClientWidth = S.AreaWidth = S.Image1.Width;
  S.ClientHeight = S.AreaHeight = S.Image1.Height;
  S.Image1Left = S.Image1Top = S.ScrollX = S.ScrollY = 0;

  const int32_t Off = S.Image.ValueOffset;
  if (O.FixContrast) {
    SpeedButtonFixContrastClick(S);
    if (O.InputBlack)
      MoveSlider(S.TrackBarBlack, *O.InputBlack + Off, "input black", TrackBarBlackChange);
    if (O.InputWhite)
      MoveSlider(S.TrackBarWhite, *O.InputWhite + Off, "input white", TrackBarWhiteChange);
    if (O.OutputBlack)
      MoveSlider(S.TrackBarOutputBlack, *O.OutputBlack, "output black", TrackBarOutputBlackChange);
    if (O.OutputWhite)
      MoveSlider(S.TrackBarOutputWhite, *O.OutputWhite, "output white", TrackBarOutputWhiteChange);
  }
  if (O.FixGamma) {
    SpeedButtonFixGammaClick(S);
    MoveSlider(S.TrackBarGamma, *O.FixGamma, "gamma", TrackBarGammaChange);
  }
  if (O.FixWeight) {
    SpeedButtonFixACEQClick(S);
    MoveSlider(S.TrackBarEqWeight, *O.FixWeight, "OBRA weight", TrackBarEqWeightChange);
  }
  if (O.RoiSize) {
    if (*O.RoiSize < 0 || *O.RoiSize >= static_cast<int32_t>(S.RoiItems.size())) {
      std::fprintf(stderr, "obra-cli %s: --roi-size must lie in 0..%zu for %s\n", Command,
                   S.RoiItems.size() - 1, S.ImageName.c_str());
      return 2;
    }
    ComboBoxRoiChange(S, *O.RoiSize);
  }
  if (O.RoiLeft) {
    if (!S.RoiActive) {
      std::fprintf(stderr, "obra-cli %s: --roi-left and --roi-top need --roi-size\n", Command);
      return 2;
    }
    S.EditRoiLeft.Text = std::to_string(*O.RoiLeft);
    S.EditRoiTop.Text = std::to_string(*O.RoiTop);
    EditRoiLeftChange(S);
    if (S.EditRoiLeft.Color == InvalidFieldColor || S.EditRoiTop.Color == InvalidFieldColor) {
      std::fprintf(stderr, "obra-cli %s: the ROI does not fit at %d,%d in %s\n", Command,
                   *O.RoiLeft, *O.RoiTop, S.ImageName.c_str());
      return 2;
    }
    if (S.SpeedButtonSetTopLeft.Enabled) SpeedButtonSetTopLeftClick(S);
  }
  if (!O.ColourTable.empty() && !ComboBoxColourTableChange(S, O.ColourTable)) {
    std::fprintf(stderr, "obra-cli %s: unknown colour table %s\n", Command, O.ColourTable.c_str());
    return 2;
  }
  if (O.Time) CheckBoxAddTextClick(S, true);
  if (O.NoAutoSave) S.CheckBoxAutoSaveActivated.Down = false;
  return 0;
}

void ShowProgress(int32_t Done, int32_t Total, double SecondsLeft) {
  const std::string Text = ProgressText(Done, Total) + "  " + EtaText(SecondsLeft);
  if (isatty(STDERR_FILENO)) {
    const int Width = 40, Filled = Total > 0 ? static_cast<int>(int64_t(Done) * Width / Total) : 0;
    std::fprintf(stderr, "\r[%s%s] %s", std::string(Filled, '#').c_str(),
                 std::string(Width - Filled, ' ').c_str(), Text.c_str());
    if (Done == Total) std::fprintf(stderr, "\n");
  } else {
    std::fprintf(stderr, "%s\n", Text.c_str());
  }
}

}  // namespace obra::cli
