// Activation control: start, progress, completion and the OBRA controls.
#include <algorithm>
#include <cmath>
#include <cstdio>
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

std::string EtaText(double Seconds) {
  if (!(Seconds >= 0.0)) return "ETA --:--";
  // Rounded up, so the estimate never reads 0:00 while columns remain; a
  // day caps absurd early estimates.
  const int64_t T = static_cast<int64_t>(std::ceil(std::min(Seconds, 86400.0)));
  char Buf[32];
  if (T >= 3600)
    std::snprintf(Buf, sizeof Buf, "ETA %d:%02d:%02d", static_cast<int>(T / 3600),
                  static_cast<int>(T / 60 % 60), static_cast<int>(T % 60));
  else
    std::snprintf(Buf, sizeof Buf, "ETA %d:%02d", static_cast<int>(T / 60),
                  static_cast<int>(T % 60));
  return Buf;
}

bool ActivationRunning(const SharedState& S) { return S.Workers != nullptr; }

bool StartActivation(SharedState& S) {
  if (S.InputImage.empty() || (S.Workers && S.Workers->Running())) return false;
  auto& B = S.BeforeActivation;
  B.EnableEQEnabled = S.SpeedButtonEnableEQ.Enabled;
  B.Left = S.ActivatedLeft;
  B.Top = S.ActivatedTop;
  B.Width = S.ActivatedWidth;
  B.Height = S.ActivatedHeight;
  // The run fills a fresh buffer; the old one comes back if it is stopped.
  B.ActivationImage = std::move(S.ActivationImage);
  S.ActivationImage.assign(S.InputImage.size(), 0);

  S.SpeedButtonEnableEQ.Enabled = false;
  EnablePanels(S, false);
  MakeGammaImage(S, S.InputImage, S.ActivationImage);
  S.PanelProc.Color = ProgressColor;
  S.PanelProc.Caption = "Processing     0%";
  S.PanelEta.Caption = EtaText(-1.0);

  const int32_t Roi[4] = {S.RoiLeft, S.RoiTop, S.RoiWidth, S.RoiHeight};
  S.ActivatedLeft = S.RoiLeft;
  S.ActivatedTop = S.RoiTop;
  S.ActivatedWidth = S.RoiWidth;
  S.ActivatedHeight = S.RoiHeight;
  const EqualizeJob Job = MakeJob(S.InputImage.data(), S.ActivationImage.data(), S.Image.Width,
                                  S.Image.Height, S.Image.MinValue, S.Image.MaxValue, Roi,
                                  S.Config(), *S.Tables.KernelTable, *S.Tables.NoiseKernel);
  S.Workers = std::make_unique<Activation>();
  if (!S.Workers->StartWorkers(Job, S.ThreadCount, S.Engine)) {
    StopActivation(S);
    S.PanelProc.Caption.clear();
    if (S.ShowMessage) S.ShowMessage("Impossible to start the activation threads.");
    return false;
  }
  S.SpeedButtonStopActivation.Enabled = true;
  S.Timer1Enabled = true;
  return true;
}

bool StopActivation(SharedState& S) {
  if (!S.Workers) return false;
  S.Workers->Stop();
  S.Workers.reset();
  S.Timer1Enabled = false;
  S.SpeedButtonStopActivation.Enabled = false;
  auto& B = S.BeforeActivation;
  S.ActivationImage = std::move(B.ActivationImage);
  B.ActivationImage = {};
  S.ActivatedLeft = B.Left;
  S.ActivatedTop = B.Top;
  S.ActivatedWidth = B.Width;
  S.ActivatedHeight = B.Height;
  S.SpeedButtonEnableEQ.Enabled = B.EnableEQEnabled;
  S.PanelProc.Color = PanelColor;
  S.PanelProc.Caption = "Activation stopped";
  S.PanelEta.Caption.clear();
  EnablePanels(S, true);
  // A batch run ends with the activation it was waiting for.
  if (S.Batch.Running) BatchStep(S, BatchSender::Stop);
  return true;
}

bool Timer1Timer(SharedState& S) {
  if (!S.Workers) return false;
  const int32_t Done = S.Workers->WorkerProgress();
  S.PanelProc.Caption = ProgressText(Done, S.ActivatedWidth);
  S.PanelEta.Caption = EtaText(S.Workers->SecondsLeft());
  if (Done != S.ActivatedWidth) return false;
  S.Timer1Enabled = false;
  S.PanelProc.Color = PanelColor;
  S.PanelProc.Caption.clear();
  S.PanelEta.Caption.clear();
  S.Workers->Wait();
  S.Workers.reset();
  S.SpeedButtonStopActivation.Enabled = false;
  S.BeforeActivation.ActivationImage = {};
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
  FillDisplayLut(*S.Tables.DisplayLut, S.OutputBlack, S.OutputWhite, 10);
  RenderView(S);
  if (!S.RoiActive) S.ActivationReady = true;
  // The controls come back before a batch run takes its next step, which may
  // start the next activation and disable them again.
  EnablePanels(S, true);
  // The batch dialog takes its next step: save this file, open the next.
  if (S.Batch.Visible) BatchStep(S, BatchSender::None);
}

}  // namespace obra
