// What new settings mean for the open image: its activation data were
// computed with the old ones and are switched off.
#include <filesystem>

#include "Global.h"

namespace fs = std::filesystem;

namespace obra {

void DiscardActivation(SharedState& S, bool DeleteFile) {
  if (DeleteFile && !S.ActFileName.empty()) {
    // An activation that was never stored has no file to delete; the other
    // steps still follow.
    std::error_code Ec;
    if (fs::exists(S.ActFileName, Ec) && !fs::remove(S.ActFileName, Ec) && S.ShowMessage)
      S.ShowMessage("Cannot delete " + S.ActFileName + ". " + Ec.message());
  }
  S.ActivationReady = false;
  // Before the first image the OBRA controls keep their no-image state:
  // there is nothing to activate and nothing to draw.
  if (S.InputImage.empty()) return;
  EnableEQ(S, false);
  MakeResultImage(S);
  RenderView(S);
}

}  // namespace obra
