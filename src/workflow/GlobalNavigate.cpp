// Navigation through the directory list: the browser's "Open", "<" and ">".
#include <filesystem>

#include "Global.h"

namespace fs = std::filesystem;

namespace obra {

void UpdateNavigationButtons(SharedState& S) {
  const int32_t Count = static_cast<int32_t>(S.DirFiles.size());
  S.SpeedButtonPrevious.Enabled = S.DirIndex > 0 && S.DirIndex < Count;
  S.SpeedButtonNext.Enabled = S.DirIndex < Count - 1;
}

bool OpenDirectoryEntry(SharedState& S) {
  if (S.DirIndex < 0 || S.DirIndex >= static_cast<int32_t>(S.DirFiles.size())) return false;
  S.OpenDialogFileName = (fs::path(S.DirPath) / S.DirFiles[S.DirIndex]).string();
  const bool Opened = OpenImage(S);
  // A refused file keeps the selection on it; the buttons follow the
  // selection, so the next step leads on from the refused entry and never
  // leaves the list.
  UpdateNavigationButtons(S);
  return Opened;
}

bool StepDirectory(SharedState& S, int32_t Step) {
  const ButtonState& Button = Step < 0 ? S.SpeedButtonPrevious : S.SpeedButtonNext;
  if (!Button.Enabled || Step == 0) return false;
  const int32_t Index = S.DirIndex + (Step < 0 ? -1 : 1);
  if (Index < 0 || Index >= static_cast<int32_t>(S.DirFiles.size())) return false;
  S.DirIndex = Index;
  return OpenDirectoryEntry(S);
}

}  // namespace obra
