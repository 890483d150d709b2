// Activation control: start, progress, completion and the OBRA controls.
#include <cmath>
#include <filesystem>

#include "AdaptiveEQ.h"
#include "Global.h"
#include "IniFile.h"
#include "TIFformat.h"

namespace fs = std::filesystem;

namespace obra {

namespace {

void EnablePanels(SharedState& S, bool Enabled) {
  S.PanelTopEnabled = Enabled;
  S.PanelRightEnabled = Enabled;
  S.Image1Enabled = Enabled;
}

// Writes the activation data beside the image, atomically, so that no partial
// file is ever found by a later open. Returns the fault's text, or "".
std::string StoreActivation(SharedState& S) {
  std::string Error;
  WriteTiff16(S.ActivationImage.data(), S.Image.Width, S.Image.Height, true, S.ActFileName, &Error);
  return Error;
}

}  // namespace

std::string ProgressText(int32_t Done, int32_t Total) {
  return "Processing     " + std::to_string(ProgressPercent(Done, Total)) + " %";
}

bool StartActivation(SharedState& S) {
  if (S.InputImage.empty() || (S.Workers && S.Workers->Running())) return false;
  S.SpeedButtonEnableEQ.Enabled = false;
  EnablePanels(S, false);
  MakeGammaImage(S, S.InputImage, S.ActivationImage);
  S.PanelProc.Color = ProgressColor;
  S.PanelProc.Caption = "Processing     0%";

  const int32_t Roi[4] = {S.RoiLeft, S.RoiTop, S.RoiWidth, S.RoiHeight};
  S.ActivatedLeft = S.RoiLeft;
  S.ActivatedTop = S.RoiTop;
  S.ActivatedWidth = S.RoiWidth;
  S.ActivatedHeight = S.RoiHeight;
  const EqualizeJob Job =
      MakeJob(S.InputImage.data(), S.ActivationImage.data(), S.Image.Width, S.Image.Height,
              S.Image.MinValue, S.Image.MaxValue, Roi, Params, KernelTable, NoiseKernel);
  S.Workers = std::make_unique<Activation>();
  if (!S.Workers->StartWorkers(Job, S.ThreadCount, S.Engine)) {
    S.Workers.reset();
    S.PanelProc.Color = PanelColor;
    S.PanelProc.Caption.clear();
    S.SpeedButtonEnableEQ.Enabled = true;
    EnablePanels(S, true);
    if (S.ShowMessage) S.ShowMessage("Impossible to start the activation threads.");
    return false;
  }
  S.Timer1Enabled = true;
  return true;
}

bool Timer1Timer(SharedState& S) {
  if (!S.Workers) return false;
  const int32_t Done = S.Workers->WorkerProgress();
  S.PanelProc.Caption = ProgressText(Done, S.ActivatedWidth);
  if (Done != S.ActivatedWidth) return false;
  S.Timer1Enabled = false;
  S.PanelProc.Color = PanelColor;
  S.PanelProc.Caption.clear();
  S.Workers->Wait();
  S.Workers.reset();
  FinishActivation(S);
  return true;
}

void FinishActivation(SharedState& S) {
  S.ActivationStoreFailed = false;
  // A sum is stored nowhere: its activation file name belongs to the first image.
  if (S.CheckBoxAutoSaveActivated.Enabled && S.CheckBoxAutoSaveActivated.Down && !S.ImageIsSum) {
    const std::string Error = StoreActivation(S);
    S.ActivationStoreFailed = !Error.empty();
    if (S.ActivationStoreFailed && S.ShowMessage)
      S.ShowMessage("Activation data could not be saved to " + S.ActFileName + ". " + Error);
    S.CheckBoxAutoSaveActivated.Enabled = false;
  }
  EnableEQ(S, true);
  MakeResultImage(S);
  if (S.SpeedButtonAutocontrast.Down) AutoOutputParam(S, true, true);
  FillDisplayLut(S.OutputBlack, S.OutputWhite, 10);
  RenderView(S);
  if (!S.RoiActive) S.ActivationReady = true;
  // The controls come back before a batch run takes its next step, which may
  // start the next activation and disable them again.
  EnablePanels(S, true);
  // The batch dialog takes its next step: save this file, open the next.
  if (S.Batch.Visible) BatchStep(S, BatchSender::None);
}

}  // namespace obra
