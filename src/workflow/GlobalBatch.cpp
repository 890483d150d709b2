// The batch dialog's state without widgets: the file list and its mask, the
// process and naming buttons, the selection and the output names.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "Global.h"
#include "ZEL_param.h"

namespace fs = std::filesystem;

namespace obra {

// Compound extensions (".FITS.GZ") may be appended; the first entry is the default.
const std::vector<std::string> BatchExtensions = {".FITS",   ".FTS",    ".FIT",     ".FITS.GZ",
                                                  ".FTS.GZ", ".FIT.GZ", ".FITS.FZ", ".FZ"};

namespace {

inline constexpr Rgb BatchIdleColor = ClSilver;

int32_t SelectedCount(const BatchState& B) {
  return static_cast<int32_t>(std::count(B.Selected.begin(), B.Selected.end(), uint8_t{1}));
}

// "0042": Value in decimal, padded with leading zeros to at least four digits.
std::string Padded4(int32_t Value) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%04d", Value);
  return Buf;
}

// The last component of a directory; a root directory names itself.
std::string LastComponent(const std::string& Dir) {
  const std::string Name = fs::path(Dir).filename().string();
  return Name.empty() ? Dir : Name;
}

}  // namespace

bool MatchesMask(const std::string& Name, const std::string& Mask) {
  const std::string N = UpperCase(Name), M = UpperCase(Mask);
  // Greedy wildcard match with one backtracking point: linear in practice.
  size_t I = 0, J = 0, StarJ = std::string::npos, StarI = 0;
  while (I < N.size()) {
    if (J < M.size() && M[J] == '*') {
      StarJ = J++;
      StarI = I;
    } else if (J < M.size() && M[J] == N[I]) {
      ++I;
      ++J;
    } else if (StarJ != std::string::npos) {
      J = StarJ + 1;
      I = ++StarI;
    } else {
      return false;
    }
  }
  while (J < M.size() && M[J] == '*') ++J;
  return J == M.size();
}

std::vector<std::string> ListMatchingFiles(const std::string& Dir, const std::string& Mask) {
  std::vector<std::string> Names;
  std::error_code Ec;
  for (fs::directory_iterator It(Dir, Ec), End; !Ec && It != End; It.increment(Ec)) {
    std::error_code E2;
    if (!It->is_regular_file(E2)) continue;
    std::string N = It->path().filename().string();
    if (MatchesMask(N, Mask)) Names.push_back(std::move(N));
  }
  std::sort(Names.begin(), Names.end(), [](const std::string& A, const std::string& B) {
    const std::string UA = UpperCase(A), UB = UpperCase(B);
    return UA != UB ? UA < UB : A < B;
  });
  return Names;
}

std::string BatchOutputName(BatchNaming Naming, const std::string& Name, int32_t Number,
                            int32_t Wavelength, const std::string& DateObs) {
  switch (Naming) {
    case BatchPrefix:
      return "Proc_" + ImageStem(Name) + ".png";
    case BatchSuffix:
      return ImageStem(Name) + "_Proc.png";
    case BatchNumber:
      return Padded4(Number) + ".png";
    case BatchTime:
    default:
      return Padded4(Wavelength) + "A_" + ObsTimeForFileName(DateObs) + ".png";
  }
}

BatchProcess SelectedBatchProcess(const SharedState& S) {
  for (int32_t I = 0; I < 5; ++I)
    if (S.Batch.ProcessButtons[I].Down) return static_cast<BatchProcess>(I);
  return BatchFull;
}

BatchNaming SelectedBatchNaming(const SharedState& S) {
  for (int32_t I = 0; I < 4; ++I)
    if (S.Batch.NamingButtons[I].Down) return static_cast<BatchNaming>(I);
  return BatchTime;
}

void LockBatchControls(SharedState& S, bool Locked) {
  BatchState& B = S.Batch;
  B.FileListBox1Enabled = B.EditMask.Enabled = B.ComboBoxExtEnabled = !Locked;
  B.SpeedButtonSelectAll.Enabled = B.SpeedButtonUnselect.Enabled = !Locked;
  for (int32_t I = 0; I < 5; ++I) {
    const bool RoiButton = I == BatchRoi || I == BatchRoiScaled;
    B.ProcessButtons[I].Enabled = !Locked && RoiButton == B.RoiAtShow;
  }
  const bool Naming = !Locked && SelectedBatchProcess(S) != BatchActivateOnly;
  for (ButtonState& N : B.NamingButtons) N.Enabled = Naming;
}

void BatchFormShow(SharedState& S) {
  BatchState& B = S.Batch;
  B.Running = false;
  B.Halted = false;
  B.Visible = true;
  B.Dir = S.ImageDir;
  B.Caption = "Batch processing of images in directory:  " + LastComponent(S.ImageDir);
  BatchEditMaskChange(S);
  B.SpeedButtonStop.Enabled = false;
  B.PanelInfo.Color = BatchIdleColor;
  B.PanelInfo.FontColor = ClWhite;
  B.PanelInfo.Caption.clear();
  B.RoiAtShow = S.RoiActive;
  for (ButtonState& P : B.ProcessButtons) P.Down = false;
  B.ProcessButtons[S.RoiActive ? BatchRoi : BatchFull].Down = true;
  if (std::none_of(B.NamingButtons.begin(), B.NamingButtons.end(),
                   [](const ButtonState& N) { return N.Down; }))
    B.NamingButtons[BatchTime].Down = true;
  LockBatchControls(S, false);
  BatchSelectionChange(S);
}

void BatchEditMaskChange(SharedState& S) {
  BatchState& B = S.Batch;
  const int32_t Ext = std::clamp(B.ExtIndex, 0, static_cast<int32_t>(BatchExtensions.size()) - 1);
  B.Files = ListMatchingFiles(B.Dir, B.EditMask.Text + BatchExtensions[Ext]);
  B.Selected.assign(B.Files.size(), 0);
  B.ItemIndex = B.Files.empty() ? -1 : 0;
  BatchSelectionChange(S);
}

void BatchSelectionChange(SharedState& S) {
  BatchState& B = S.Batch;
  const int32_t Count = SelectedCount(B);
  B.SpeedButtonRun.Enabled = Count > 0 && !B.Running;
  if (!B.Running) B.PanelInfo.Caption = "Selected   " + std::to_string(Count);
}

void BatchSelectAll(SharedState& S, bool Select) {
  if (S.Batch.Running) return;
  std::fill(S.Batch.Selected.begin(), S.Batch.Selected.end(), static_cast<uint8_t>(Select ? 1 : 0));
  BatchSelectionChange(S);
}

void BatchProcessClick(SharedState& S, BatchProcess Mode) {
  BatchState& B = S.Batch;
  for (int32_t I = 0; I < 5; ++I) B.ProcessButtons[I].Down = I == Mode;
  LockBatchControls(S, B.Running);
}

void BatchNamingClick(SharedState& S, BatchNaming Naming) {
  for (int32_t I = 0; I < 4; ++I) S.Batch.NamingButtons[I].Down = I == Naming;
}

bool BatchCloseQuery(SharedState& S) {
  if (!S.Batch.Running) return true;
  if (S.ShowMessage) S.ShowMessage("Batch is running. If you want to stop it use botton Stop.");
  return false;
}

}  // namespace obra
