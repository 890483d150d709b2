// obra-cli process FILE -o OUT.png [options]: the window's open-activate-save
// workflow on the shared state, one option per control.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>

#include "Cli.h"
#include "CliOptions.h"
#include "Global.h"

namespace obra::cli {
namespace {

struct ProcessOptions {
  std::string File, Out;
  std::string ExportFits;  // --export-fits
  bool Activate = false;
  int32_t Mode = 1;
  ControlOptions Controls;
  std::vector<std::string> Add;  // --add FILE, summed in the order given
};

bool Parse(const std::vector<std::string>& Args, ProcessOptions& O, std::string& Error) {
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    const OptionMatch M = ParseControlOption(Args, I, O.Controls, Error);
    if (M == OptionMatch::Fault) return false;
    if (M == OptionMatch::Taken) continue;
    if (A == "-o" || A == "--output") {
      if (I + 1 >= Args.size()) return Error = "-o needs a file name", false;
      O.Out = Args[++I];
    } else if (A == "--export-fits") {
      if (I + 1 >= Args.size()) return Error = A + " needs a file name", false;
      O.ExportFits = Args[++I];
    } else if (A == "--add") {
      if (I + 1 >= Args.size()) return Error = "--add needs a file name", false;
      O.Add.push_back(Args[++I]);
    } else if (A == "--activate") {
      O.Activate = true;
    } else if (A == "--mode") {
      if (I + 1 >= Args.size() || !ParseInt(Args[++I], O.Mode))
        return Error = "--mode needs a whole number", false;
    } else if (!A.empty() && A[0] == '-') {
      return Error = "unknown option " + A, false;
    } else if (O.File.empty()) {
      O.File = A;
    } else {
      return Error = "more than one input file", false;
    }
  }
  if (O.File.empty() || (O.Out.empty() && O.ExportFits.empty()))
    return Error = "an input file and -o OUT.png (or --export-fits OUT.fits) are needed", false;
  if (O.Mode < 1 || O.Mode > 4) return Error = "--mode must lie in 1..4", false;
  return CheckControlOptions(O.Controls, Error);
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

// Opens FILE and adds every --add into it; 0, or the exit status of the
// refusal. Messages counts the messages shown so far.
int OpenInputs(SharedState& S, const ProcessOptions& O, const int& Messages) {
  S.OpenDialogFileName = O.File;
  if (!OpenImage(S)) {
    if (Messages == 0) std::fprintf(stderr, "obra-cli process: cannot open %s\n", O.File.c_str());
    return 1;
  }
  // "&Add" for every --add: a refusal has printed its message.
  for (const std::string& Second : O.Add)
    if (!AddImageFile(S, Second)) return 1;
  return 0;
}

// Writes the picture and the FITS export that were asked for; the exit status.
int WriteOutputs(SharedState& S, const ProcessOptions& O) {
  const bool Saved = O.Out.empty() || SaveImage(S, O.Mode, O.Out);
  const bool Exported = Saved && (O.ExportFits.empty() || ExportFits(S, O.ExportFits));
  // A signal during a write lets it finish whole; what was written is then
  // taken back, since the run did not end as asked.
  if (StopSignal() != 0) {
    std::error_code Ec;
    for (const std::string& Written : {O.Out, O.ExportFits})
      if (!Written.empty()) std::filesystem::remove(Written, Ec);
    return Interrupted();
  }
  if (!Saved || !Exported) return 1;
  // The picture is written, but a cache that could not be stored is still a failure.
  return S.ActivationStoreFailed ? 1 : 0;
}

int RunProcess(const std::vector<std::string>& Args) {
  InstallStopSignals();
  ProcessOptions O;
  std::string Error;
  if (!Parse(Args, O, Error)) {
    std::fprintf(stderr, "obra-cli process: %s\n", Error.c_str());
    return 2;
  }
  int Messages = 0;
  if (const int Status = PrepareSession("process", O.Controls, Messages)) return Status;
  SharedState& S = Global;

  if (const int Status = OpenInputs(S, O, Messages)) return Status;
  if (const int Status = ApplyControlOptions(S, O.Controls, "process")) return Status;
  // Checked before the activation, which may take minutes.
  if ((O.Mode == SaveRoi || O.Mode == SaveRoiScaled) && !S.RoiActive) {
    std::fprintf(stderr, "obra-cli process: save modes 3 and 4 need a region (--roi-size)\n");
    return 2;
  }

  if (StopSignal() != 0) return Interrupted();
  if (O.Activate && S.SpeedButtonEnableEQ.Enabled) {
    if (!StartActivation(S)) return 1;
    if (!RunActivation(S)) return Interrupted();
  }

  if (StopSignal() != 0) return Interrupted();
  return WriteOutputs(S, O);
}

const std::string Usage = std::string(
                              "process FILE -o OUT.png [--add FILE2 ...] [--export-fits OUT.fits] "
                              "[--activate] [--mode M] ") +
                          ControlOptionsUsage;
const bool Registered = RegisterCommand({"process", Usage, RunProcess});

}  // namespace
}  // namespace obra::cli
