// obra-cli process FILE -o OUT.png [options]: the window's open-activate-save
// workflow on the shared state, one option per control.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "Cli.h"
#include "Global.h"
#include "IniFile.h"

namespace obra::cli {
namespace {

struct ProcessOptions {
  std::string File, Out;
  bool Activate = false, FixContrast = false, Time = false, NoAutoSave = false;
  std::optional<int32_t> RoiSize, RoiLeft, RoiTop, FixGamma, FixWeight, Threads;
  std::optional<int32_t> InputBlack, InputWhite, OutputBlack, OutputWhite;
  int32_t Scale = 1, Mode = 1;
  EngineKind Engine = EngineKind::Production;
};

bool ParseInt(const std::string& T, int32_t& V) {
  try {
    size_t N = 0;
    V = std::stoi(T, &N);
    return N == T.size();
  } catch (...) {
    return false;
  }
}

bool Parse(const std::vector<std::string>& Args, ProcessOptions& O, std::string& Error) {
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    auto Value = [&](std::optional<int32_t>& Target) {
      int32_t V;
      if (I + 1 >= Args.size() || !ParseInt(Args[++I], V)) {
        Error = A + " needs a whole number";
        return false;
      }
      Target = V;
      return true;
    };
    std::optional<int32_t> Tmp;
    if (A == "-o" || A == "--output") {
      if (I + 1 >= Args.size()) return Error = "-o needs a file name", false;
      O.Out = Args[++I];
    } else if (A == "--activate") {
      O.Activate = true;
    } else if (A == "--fix-contrast") {
      O.FixContrast = true;
    } else if (A == "--time") {
      O.Time = true;
    } else if (A == "--no-auto-save") {
      O.NoAutoSave = true;
    } else if (A == "--engine") {
      if (I + 1 >= Args.size()) return Error = "--engine needs reference or production", false;
      const std::string& E = Args[++I];
      if (E == "reference")
        O.Engine = EngineKind::Reference;
      else if (E == "production")
        O.Engine = EngineKind::Production;
      else
        return Error = "--engine needs reference or production", false;
    } else if (A == "--roi-size") {
      if (!Value(O.RoiSize)) return false;
    } else if (A == "--roi-left") {
      if (!Value(O.RoiLeft)) return false;
    } else if (A == "--roi-top") {
      if (!Value(O.RoiTop)) return false;
    } else if (A == "--fix-gamma") {
      if (!Value(O.FixGamma)) return false;
    } else if (A == "--fix-weight") {
      if (!Value(O.FixWeight)) return false;
    } else if (A == "--threads") {
      if (!Value(O.Threads)) return false;
    } else if (A == "--input-black") {
      if (!Value(O.InputBlack)) return false;
    } else if (A == "--input-white") {
      if (!Value(O.InputWhite)) return false;
    } else if (A == "--output-black") {
      if (!Value(O.OutputBlack)) return false;
    } else if (A == "--output-white") {
      if (!Value(O.OutputWhite)) return false;
    } else if (A == "--scale" || A == "--mode") {
      if (!Value(Tmp)) return false;
      (A == "--scale" ? O.Scale : O.Mode) = *Tmp;
    } else if (!A.empty() && A[0] == '-') {
      return Error = "unknown option " + A, false;
    } else if (O.File.empty()) {
      O.File = A;
    } else {
      return Error = "more than one input file", false;
    }
  }
  if (O.File.empty() || O.Out.empty())
    return Error = "an input file and -o OUT.png are needed", false;
  if (O.Scale < 1 || O.Scale > 10) return Error = "--scale must lie in 1..10", false;
  if (O.Mode < 1 || O.Mode > 4) return Error = "--mode must lie in 1..4", false;
  if (O.RoiLeft.has_value() != O.RoiTop.has_value())
    return Error = "--roi-left and --roi-top go together", false;
  if ((O.InputBlack || O.InputWhite || O.OutputBlack || O.OutputWhite) && !O.FixContrast)
    return Error = "levels need --fix-contrast", false;
  if (O.Threads && (*O.Threads < 1 || *O.Threads > 64))
    return Error = "--threads must lie in 1..64", false;
  return true;
}

// Moves a slider as a user would and says when the slider's range cut the value.
void MoveSlider(TrackBarState& Bar, int32_t Wanted, const char* Name,
                void (*Change)(SharedState&, int32_t, bool)) {
  if (Wanted < Bar.Min || Wanted > Bar.Max)
    std::fprintf(stderr, "%s %d lies outside the slider range %d..%d; using the nearer end\n", Name,
                 Wanted, Bar.Min, Bar.Max);
  Change(Global, Wanted, false);
}

// The progress text and the estimated time left: a bar on a terminal, else
// one line per poll.
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

// Runs the activation to its end, showing the progress. False when a stop
// signal ended it: the workers are then joined and nothing was stored.
bool RunActivation(SharedState& S) {
  // Progress counts the columns of the rectangle the activation runs over.
  const int32_t Columns = S.ActivatedWidth;
  for (;;) {
    if (StopSignal() != 0) {
      StopActivation(S);
      return false;
    }
    if (Timer1Timer(S)) break;
    ShowProgress(S.Workers->WorkerProgress(), Columns, S.Workers->SecondsLeft());
    SleepUnlessStopped(std::chrono::milliseconds(500));
  }
  ShowProgress(Columns, Columns, 0.0);
  return true;
}

// Ends an interrupted run: says so and returns 130 or 143.
int Interrupted() {
  std::fprintf(stderr, "obra-cli process: interrupted\n");
  return StopExitStatus();
}

int RunProcess(const std::vector<std::string>& Args) {
  InstallStopSignals();
  ProcessOptions O;
  std::string Error;
  if (!Parse(Args, O, Error)) {
    std::fprintf(stderr, "obra-cli process: %s\n", Error.c_str());
    return 2;
  }
  ProgramDir = ExecutableDir();
  if (const IniStatus S = GetIniFile(); S.Fatal) {
    std::fprintf(stderr, "%s\n", S.Message.c_str());
    return 2;
  }
  if (!EnsureTextRendering()) {
    std::fprintf(stderr, "obra-cli process: text drawing is not available\n");
    return 1;
  }
  SharedState& S = Global;
  int Messages = 0;
  S.ShowMessage = [&Messages](const std::string& M) {
    ++Messages;
    std::fprintf(stderr, "%s\n", M.c_str());
  };
  InitializeState(S);
  if (O.Threads) S.ThreadCount = *O.Threads;
  S.Engine = O.Engine;

  S.OpenDialogFileName = O.File;
  if (!OpenImage(S)) {
    if (Messages == 0) std::fprintf(stderr, "obra-cli process: cannot open %s\n", O.File.c_str());
    return 1;
  }
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
      std::fprintf(stderr, "obra-cli process: --roi-size must lie in 0..%zu for this image\n",
                   S.RoiItems.size() - 1);
      return 2;
    }
    ComboBoxRoiChange(S, *O.RoiSize);
  }
  if (O.RoiLeft) {
    if (!S.RoiActive) {
      std::fprintf(stderr, "obra-cli process: --roi-left and --roi-top need --roi-size\n");
      return 2;
    }
    S.EditRoiLeft.Text = std::to_string(*O.RoiLeft);
    S.EditRoiTop.Text = std::to_string(*O.RoiTop);
    EditRoiLeftChange(S);
    if (S.EditRoiLeft.Color == InvalidFieldColor || S.EditRoiTop.Color == InvalidFieldColor) {
      std::fprintf(stderr, "obra-cli process: the ROI does not fit at %d,%d\n", *O.RoiLeft,
                   *O.RoiTop);
      return 2;
    }
    if (S.SpeedButtonSetTopLeft.Enabled) SpeedButtonSetTopLeftClick(S);
  }
  // Checked before the activation, which may take minutes.
  if ((O.Mode == SaveRoi || O.Mode == SaveRoiScaled) && !S.RoiActive) {
    std::fprintf(stderr, "obra-cli process: save modes 3 and 4 need a region (--roi-size)\n");
    return 2;
  }
  if (O.Time) CheckBoxAddTextClick(S, true);
  if (O.NoAutoSave) S.CheckBoxAutoSaveActivated.Down = false;

  if (StopSignal() != 0) return Interrupted();
  if (O.Activate && S.SpeedButtonEnableEQ.Enabled) {
    if (!StartActivation(S)) return 1;
    if (!RunActivation(S)) return Interrupted();
  }

  if (StopSignal() != 0) return Interrupted();
  const bool Saved = SaveImage(S, O.Mode, O.Out);
  // A signal during the write lets it finish whole; the picture is then
  // taken back, since the run did not end as asked.
  if (StopSignal() != 0) {
    std::error_code Ec;
    if (Saved) std::filesystem::remove(O.Out, Ec);
    return Interrupted();
  }
  if (!Saved) return 1;
  // The picture is written, but a cache that could not be stored is still a failure.
  return S.ActivationStoreFailed ? 1 : 0;
}

const bool Registered = RegisterCommand(
    {"process",
     "process FILE -o OUT.png [--activate] [--roi-size N] [--roi-left L --roi-top T] "
     "[--scale S] [--mode M] [--fix-gamma G] [--fix-weight W] [--fix-contrast "
     "[--input-black B] [--input-white W] [--output-black B] [--output-white W]] [--time] "
     "[--no-auto-save] [--threads N] [--engine reference|production]",
     RunProcess});

}  // namespace
}  // namespace obra::cli
