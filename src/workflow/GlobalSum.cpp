// Summation ("&Add"): a second image of the same channel added into the
// current one, sample by sample.
#include <algorithm>

#include "Global.h"

namespace obra {

namespace {

// The first check the second image fails, or "" when it may be added.
std::string RefusalOf(const ImageRecord& Current, const ImageRecord& Second) {
  if (Second.Width != Current.Width || Second.Height != Current.Height)
    return "This image has incorrect size!";
  if (Second.DataSample() != Current.DataSample())
    return "This image has incompatible data format!";
  if (Second.Wavelength != Current.Wavelength) return "This image has incorrect wavelength!";
  if (Second.Telescope != Current.Telescope || Second.Instrument != Current.Instrument)
    return "This image was taken with different instrument!";
  if (Second.Channels != 1) return "Color images are not supported.";
  return {};
}

// Loads File completely into a scratch buffer; false (after the loader's own
// message) when it is refused or its samples do not cover the frame.
bool LoadSecondImage(SharedState& S, const std::string& File, std::vector<uint16_t>& Samples) {
  ImageRecord Second;
  LoadImageFile(File, Second, Samples, 16, true, true, S.ShowMessage);
  const size_t Count = S.InputImage.size();
  return Second.Valid && Second.Channels == 1 && Second.Width == S.Image.Width &&
         Second.Height == S.Image.Height && Samples.size() >= Count;
}

}  // namespace

bool AddImageFile(SharedState& S, const std::string& File) {
  if (S.Workers || S.InputImage.empty() || !S.Image.Valid) return false;
  ImageRecord Probe;
  ReadImageHeader(File, Probe, false, {});
  if (!Probe.Valid) {
    if (S.ShowMessage) S.ShowMessage("The image " + File + " cannot be read.");
    return false;
  }
  if (const std::string Refusal = RefusalOf(S.Image, Probe); !Refusal.empty()) {
    if (S.ShowMessage) S.ShowMessage(Refusal);
    return false;
  }
  std::vector<uint16_t> Samples;
  if (!LoadSecondImage(S, File, Samples)) return false;

  // Both images carry the value offset; the sum carries it once.
  const int64_t Offset = S.Image.ValueOffset;
  for (size_t I = 0; I < S.InputImage.size(); ++I) {
    const int64_t Sum = int64_t(S.InputImage[I]) + int64_t(Samples[I]) - Offset;
    S.InputImage[I] = static_cast<uint16_t>(std::clamp<int64_t>(Sum, 0, 65535));
  }
  Samples.resize(S.InputImage.size());
  S.AddImage = std::move(Samples);
  ComputeStatistics(S.Image, S.InputImage.data());

  // ActivationImage belongs to the image before the sum.
  S.ImageIsSum = true;
  S.ActivationReady = false;
  EnableEQ(S, false);
  SpeedButtonSetFullframeClick(S);
  // Automatic contrast once, whatever "Auto" / "Fix" say.
  AutoInputParam(S, true, true);
  MakeResultImage(S);
  AutoOutputParam(S, true, true);
  FillDisplayLut(*S.Tables.DisplayLut, S.OutputBlack, S.OutputWhite, 10);
  RenderView(S);
  return true;
}

}  // namespace obra
