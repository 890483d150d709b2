// obra-cli batch DIR [NAME...] [options]: the batch dialog's run without the
// window, over the same batch step.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "Cli.h"
#include "CliOptions.h"
#include "Global.h"

namespace fs = std::filesystem;

namespace obra::cli {
namespace {

struct BatchOptions {
  std::string Dir;
  std::vector<std::string> Names;
  std::string Mask = "*";
  int32_t ExtIndex = 0;
  std::optional<BatchProcess> Mode;
  BatchNaming Naming = BatchTime;
  Answer IfExists = Answer::Cancel;
  int32_t ShardIndex = 1, ShardCount = 1;
  ControlOptions Controls;
};

template <typename T, size_t N>
bool Choose(const std::string& Text, const std::pair<const char*, T> (&Table)[N], T& Out) {
  for (const auto& [Name, Value] : Table)
    if (Text == Name) return Out = Value, true;
  return false;
}

constexpr std::pair<const char*, BatchProcess> Modes[] = {{"activate", BatchActivateOnly},
                                                          {"full", BatchFull},
                                                          {"full-scaled", BatchFullScaled},
                                                          {"roi", BatchRoi},
                                                          {"roi-scaled", BatchRoiScaled}};
constexpr std::pair<const char*, BatchNaming> Namings[] = {
    {"prefix", BatchPrefix}, {"suffix", BatchSuffix}, {"number", BatchNumber}, {"time", BatchTime}};
constexpr std::pair<const char*, Answer> IfExistsAnswers[] = {
    {"stop", Answer::Cancel}, {"skip", Answer::No}, {"overwrite", Answer::Yes}};

bool ParseShard(const std::string& T, BatchOptions& O) {
  const size_t Slash = T.find('/');
  return Slash != std::string::npos && ParseInt(T.substr(0, Slash), O.ShardIndex) &&
         ParseInt(T.substr(Slash + 1), O.ShardCount) && O.ShardIndex >= 1 &&
         O.ShardIndex <= O.ShardCount;
}

bool ParseExt(const std::string& T, BatchOptions& O) {
  for (size_t I = 0; I < BatchExtensions.size(); ++I)
    if (UpperCase(T) == BatchExtensions[I]) return O.ExtIndex = static_cast<int32_t>(I), true;
  return false;
}

// Takes one batch option with its value; false with Error set.
bool ParseBatchOption(const std::vector<std::string>& Args, size_t& I, BatchOptions& O,
                      std::string& Error) {
  const std::string& A = Args[I];
  const std::string V = I + 1 < Args.size() ? Args[I + 1] : std::string();
  ++I;
  BatchProcess Mode{};
  if (A == "--mask" && !V.empty()) return O.Mask = V, true;
  if (A == "--ext" && ParseExt(V, O)) return true;
  if (A == "--mode" && Choose(V, Modes, Mode)) return O.Mode = Mode, true;
  if (A == "--naming" && Choose(V, Namings, O.Naming)) return true;
  if (A == "--if-exists" && Choose(V, IfExistsAnswers, O.IfExists)) return true;
  if (A == "--shard" && ParseShard(V, O)) return true;
  const char* Need = A == "--mask" ? "a file mask"
                     : A == "--ext"
                         ? ".FITS, .FTS, .FIT or a compressed form (.FITS.GZ, .FITS.FZ, .FZ, ...)"
                     : A == "--mode"      ? "activate, full, full-scaled, roi or roi-scaled"
                     : A == "--naming"    ? "prefix, suffix, number or time"
                     : A == "--if-exists" ? "stop, skip or overwrite"
                     : A == "--shard"     ? "I/N with 1 <= I <= N"
                                          : nullptr;
  Error = Need ? A + " needs " + Need : "unknown option " + A;
  return false;
}

bool Parse(const std::vector<std::string>& Args, BatchOptions& O, std::string& Error) {
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    const OptionMatch M = ParseControlOption(Args, I, O.Controls, Error);
    if (M == OptionMatch::Fault) return false;
    if (M == OptionMatch::Taken) continue;
    if (A.size() > 1 && A[0] == '-') {
      if (!ParseBatchOption(Args, I, O, Error)) return false;
    } else if (O.Dir.empty()) {
      O.Dir = A;
    } else {
      O.Names.push_back(A);
    }
  }
  if (O.Dir.empty()) return Error = "a directory is needed", false;
  const bool Region = O.Controls.RoiSize.value_or(0) > 0;
  if (!O.Mode) O.Mode = Region ? BatchRoi : BatchFull;
  const bool RoiMode = *O.Mode == BatchRoi || *O.Mode == BatchRoiScaled;
  if (RoiMode && !Region)
    return Error = "--mode roi and roi-scaled need --roi-size 1 or more", false;
  if (!RoiMode && Region) return Error = "with a region only --mode roi or roi-scaled apply", false;
  if (*O.Mode == BatchActivateOnly && O.Controls.NoAutoSave)
    return Error = "--mode activate fills the activation cache; --no-auto-save contradicts it",
           false;
  return CheckControlOptions(O.Controls, Error);
}

// Lists DIR as the dialog does and selects everything, or the NAMEs given.
bool SelectEntries(SharedState& S, const BatchOptions& O, std::string& Error) {
  S.ImageDir = O.Dir;
  S.Batch.EditMask.Text = O.Mask;
  S.Batch.ExtIndex = O.ExtIndex;
  BatchFormShow(S);
  BatchState& B = S.Batch;
  if (O.Names.empty()) {
    BatchSelectAll(S, true);
    return true;
  }
  for (const std::string& N : O.Names) {
    size_t At = B.Files.size();
    for (size_t I = 0; I < B.Files.size(); ++I)
      if (B.Files[I] == N || (At == B.Files.size() && UpperCase(B.Files[I]) == UpperCase(N)))
        At = I;
    if (At == B.Files.size())
      return Error = N + " is not in the list of " + O.Dir + " for the mask " + O.Mask +
                     BatchExtensions[O.ExtIndex],
             false;
    B.Selected[At] = 1;
  }
  BatchSelectionChange(S);
  return true;
}

// Prints the activation percentage when it changed, at most once a second.
class ProgressLine {
 public:
  void Poll(const SharedState& S) {
    if (!S.Workers) return;
    const int32_t Done = S.Workers->WorkerProgress(), Total = S.ActivatedWidth;
    const auto Now = std::chrono::steady_clock::now();
    if (Done == Last_ || (Done != Total && Now - Shown_ < std::chrono::seconds(1))) return;
    ShowProgress(Done, Total, S.Workers->SecondsLeft());
    Last_ = Done;
    Shown_ = Now;
  }
  void Reset() { Last_ = -1; }

 private:
  int32_t Last_ = -1;
  std::chrono::steady_clock::time_point Shown_{};
};

int RunBatch(const std::vector<std::string>& Args) {
  InstallStopSignals();
  BatchOptions O;
  std::string Error;
  if (!Parse(Args, O, Error)) {
    std::fprintf(stderr, "obra-cli batch: %s\n", Error.c_str());
    return 2;
  }
  std::error_code Ec;
  if (!fs::is_directory(O.Dir, Ec)) {
    std::fprintf(stderr, "obra-cli batch: %s is not a directory\n", O.Dir.c_str());
    return 2;
  }
  int Messages = 0;
  if (const int Status = PrepareSession("batch", O.Controls, Messages)) return Status;
  SharedState& S = Global;
  if (!SelectEntries(S, O, Error)) {
    std::fprintf(stderr, "obra-cli batch: %s\n", Error.c_str());
    return 2;
  }
  BatchProcessClick(S, *O.Mode);
  BatchNamingClick(S, O.Naming);
  BatchState& B = S.Batch;
  B.ShardIndex = O.ShardIndex;
  B.ShardCount = O.ShardCount;
  S.AskYesNoCancel = [&O](const std::string&) { return O.IfExists; };
  // Every file is processed as obra-cli process would: from the start-up
  // state, with the controls pressed after its open.
  B.OnBeforeOpen = [&S, &O] { StartState(S, O.Controls); };
  B.OnImageOpened = [&S, &O] { return ApplyControlOptions(S, O.Controls, "batch") == 0; };
  ProgressLine Progress;
  std::string Shown;
  B.OnChange = [&] {
    if (!B.Running || B.PanelInfo.Caption == Shown) return;
    Shown = B.PanelInfo.Caption;
    Progress.Reset();
    std::fprintf(stderr, "%s\n", Shown.c_str());
  };

  // A stop signal ends the run before the next file is opened or saved; an
  // activation under way is stopped and stores nothing.
  B.StopRequested = [] { return StopSignal() != 0; };
  if (std::count(B.Selected.begin(), B.Selected.end(), uint8_t{1}) > 0) BatchRunClick(S);
  while (B.Running && !B.Halted && S.Workers) {
    if (StopSignal() != 0) {
      StopActivation(S);
      break;
    }
    SleepUnlessStopped(std::chrono::milliseconds(20));
    Progress.Poll(S);
    Timer1Timer(S);
  }
  if (StopSignal() != 0) {
    if (B.Running) BatchStep(S, BatchSender::Stop);
    std::fprintf(stderr, "obra-cli batch: interrupted; %d processed, %d skipped, %d failed\n",
                 B.Saved, B.Skipped, B.Failed);
    return StopExitStatus();
  }
  std::fprintf(stderr, "%d processed, %d skipped, %d failed\n", B.Saved, B.Skipped, B.Failed);
  if (!B.StoppedAt.empty()) {
    std::fprintf(stderr,
                 "obra-cli batch: %s already exists; stopped there as --if-exists stop asks "
                 "(use --if-exists skip or --if-exists overwrite)\n",
                 B.StoppedAt.c_str());
    return 3;
  }
  return B.Failed > 0 || B.Halted ? 1 : 0;
}

const std::string Usage =
    std::string(
        "batch DIR [NAME...] [--mask M] [--ext .FITS|.FTS|.FIT|.FITS.GZ|.FZ|...] "
        "[--mode activate|full|full-scaled|roi|roi-scaled] "
        "[--naming prefix|suffix|number|time] [--if-exists stop|skip|overwrite] "
        "[--shard I/N] ") +
    ControlOptionsUsage;
const bool Registered = RegisterCommand({"batch", Usage, RunBatch});

}  // namespace
}  // namespace obra::cli
