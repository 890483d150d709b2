// The batch run: start, the step with its three senders, and the end.
//
// A run is a chain of steps on the user-interface thread. A file that needs
// the engine ends the step; FinishActivation then takes the next step. Files
// whose activation is cached are handled in a loop, so a long run of cached
// files never nests one call per file.
#include <filesystem>

#include "Global.h"

namespace fs = std::filesystem;

namespace obra {

namespace {

// What became of the file a step began.
enum class FileStart { Activating, Ready, Handled, Halted };

void Notify(SharedState& S) {
  if (S.Batch.OnChange) S.Batch.OnChange();
}

// Ends the run and closes the dialog.
void EndRun(SharedState& S) {
  BatchState& B = S.Batch;
  B.Running = false;
  B.Visible = false;
  B.SpeedButtonStop.Enabled = false;
  LockBatchControls(S, false);
  BatchSelectionChange(S);
  Notify(S);
}

// The entry at the list position is done with (processed, skipped or failed).
void CloseEntry(BatchState& B) {
  B.Selected[B.ListPosition] = 0;
  ++B.ListPosition;
  ++B.ProcessedCount;
}

// Moves the list position to the next selected entry; false when none is left.
bool NextEntry(BatchState& B) {
  const size_t N = B.Files.size();
  while (static_cast<size_t>(B.ListPosition) < N && !B.Selected[B.ListPosition]) ++B.ListPosition;
  return static_cast<size_t>(B.ListPosition) < N;
}

// The output path of the entry at the list position. The channel and time
// naming reads them from the file's header, before any work on the file.
std::string OutputPath(const SharedState& S, const fs::path& File) {
  const BatchState& B = S.Batch;
  const std::string Name = File.filename().string();
  ImageRecord Probe;
  if (SelectedBatchNaming(S) == BatchTime) ReadImageHeader(File.string(), Probe, false, {});
  const int32_t Number = B.ListPosition < static_cast<int32_t>(B.Numbers.size())
                             ? B.Numbers[B.ListPosition]
                             : B.ProcessedCount + 1;
  return (fs::path(B.Dir) /
          BatchOutputName(SelectedBatchNaming(S), Name, Number, Probe.Wavelength, Probe.DateObs))
      .string();
}

// The overwrite question for an existing output: false when the file is not
// to be processed (skipped with No, or the run stopped with Cancel).
bool MayWrite(SharedState& S, const std::string& Out) {
  BatchState& B = S.Batch;
  std::error_code Ec;
  if (!fs::exists(Out, Ec)) return true;
  const Answer A = S.AskYesNoCancel ? S.AskYesNoCancel("File " + Out +
                                                       " already exists! Overwrite the file?\r"
                                                       "No will skip saving this file.\r"
                                                       "Cancel will stop the batch.")
                                    : Answer::Cancel;
  if (A == Answer::Yes) return true;
  if (A == Answer::No) {
    ++B.Skipped;
    CloseEntry(B);
  } else {
    B.StoppedAt = Out;
    EndRun(S);
  }
  return false;
}

// Opens the entry at the list position and starts its activation when the
// cache did not hold it.
FileStart BeginFile(SharedState& S) {
  BatchState& B = S.Batch;
  B.ItemIndex = B.ListPosition;
  B.PanelInfo.Caption =
      "Processing   " + std::to_string(B.ProcessedCount + 1) + " of " + std::to_string(B.Total);
  Notify(S);
  if (!B.Running) return FileStart::Handled;  // "Stop" while the progress was shown
  const fs::path File = fs::path(B.Dir) / B.Files[B.ListPosition];
  const BatchProcess Mode = SelectedBatchProcess(S);
  B.OutputFile.clear();
  if (Mode != BatchActivateOnly) {
    B.OutputFile = OutputPath(S, File);
    if (!MayWrite(S, B.OutputFile)) return FileStart::Handled;
  }
  if (B.OnBeforeOpen) B.OnBeforeOpen();
  S.ActivationStoreFailed = false;
  S.OpenDialogFileName = File.string();
  if (!OpenImage(S) || (B.OnImageOpened && !B.OnImageOpened())) {
    ++B.Failed;
    CloseEntry(B);
    return FileStart::Handled;
  }
  // The save mode and path of the dialog-less save, as the open left them otherwise.
  if (Mode != BatchActivateOnly) {
    S.SaveDialog1.FilterIndex = Mode;
    S.SaveDialog1.FileName = B.OutputFile;
  }
  if (Mode == BatchActivateOnly && S.CacheUnwritable) {
    if (S.ShowMessage) S.ShowMessage("Impossible to process, the disk is read only.");
    ++B.Failed;
    CloseEntry(B);
    return FileStart::Handled;
  }
  if (!S.SpeedButtonEnableEQ.Enabled) return FileStart::Ready;
  if (StartActivation(S)) return FileStart::Activating;
  ++B.Failed;
  return FileStart::Halted;
}

// The file at the list position is ready: saves its picture (none in
// "Activate only", where the activation went to the cache). False when the
// save failed and the run halts.
bool FinishFile(SharedState& S) {
  BatchState& B = S.Batch;
  const BatchProcess Mode = SelectedBatchProcess(S);
  if (Mode != BatchActivateOnly && !SaveImage(S, Mode, B.OutputFile)) {
    ++B.Failed;
    return false;
  }
  // A picture without its cached activation is still a failed file.
  ++(S.ActivationStoreFailed ? B.Failed : B.Saved);
  CloseEntry(B);
  return true;
}

}  // namespace

bool BatchRunClick(SharedState& S) {
  BatchState& B = S.Batch;
  if (B.Running || B.Files.empty()) return false;
  B.Numbers.assign(B.Files.size(), 0);
  int32_t Ordinal = 0, Total = 0;
  for (size_t I = 0; I < B.Files.size(); ++I) {
    if (!B.Selected[I]) continue;
    B.Numbers[I] = ++Ordinal;
    if ((Ordinal - 1) % B.ShardCount != B.ShardIndex - 1)
      B.Selected[I] = 0;
    else
      ++Total;
  }
  if (Ordinal == 0) return false;
  B.Total = Total;
  B.ListPosition = B.ProcessedCount = B.Saved = B.Skipped = B.Failed = 0;
  B.Halted = false;
  B.StoppedAt.clear();
  B.Running = true;
  B.PanelInfo.Color = ProgressColor;
  B.PanelInfo.FontColor = ClNavy;
  B.PanelInfo.Caption = "Processing   1 of " + std::to_string(Total);
  if (SelectedBatchProcess(S) == BatchActivateOnly) S.CheckBoxAutoSaveActivated.Down = true;
  B.SpeedButtonStop.Enabled = true;
  B.SpeedButtonRun.Enabled = false;
  LockBatchControls(S, true);
  BatchStep(S, BatchSender::Run);
  return true;
}

void BatchStep(SharedState& S, BatchSender Sender) {
  BatchState& B = S.Batch;
  if (Sender == BatchSender::Stop) return EndRun(S);
  if (!B.Running || B.Halted) return;
  bool Ready = Sender == BatchSender::None;
  while (B.Running) {
    if (B.StopRequested && B.StopRequested()) return EndRun(S);
    if (Ready && !FinishFile(S)) {
      B.Halted = true;
      return Notify(S);
    }
    if (!NextEntry(B)) return EndRun(S);
    switch (BeginFile(S)) {
      case FileStart::Activating:
        return Notify(S);
      case FileStart::Halted:
        B.Halted = true;
        return Notify(S);
      case FileStart::Ready:
        Ready = true;
        break;
      case FileStart::Handled:
        Ready = false;
        break;
    }
  }
}

}  // namespace obra
