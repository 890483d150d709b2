// Opening an image: load, derived names, the directory list, the activation
// cache and the first composition and rendering.
#include <algorithm>
#include <filesystem>

#include "AtomicWrite.h"
#include "Global.h"
#include "TIFformat.h"
#include "ZEL_param.h"

namespace fs = std::filesystem;

namespace obra {

const std::array<const char*, 5> ReadMeLines = {
    "Activation of the whole ZEL AIA image may take several minutes.",
    "That is why it is possible to save activation data in *.act files",
    "which makes new processing of already processed images much faster.",
    "You may delete activation files if you will not work with activated",
    "images any more.",
};

namespace {

// The directory of Path without a trailing separator; a root keeps its own.
std::string DirectoryOf(const fs::path& Path) {
  fs::path Dir = Path.parent_path();
  if (Dir.empty()) Dir = ".";
  return Dir.string();
}

WriteOutcome WriteReadMe(const fs::path& File) {
  std::string Text;
  for (const char* L : ReadMeLines) (Text += L) += '\n';
  return WriteTextFileAtomic(File.string(), Text);
}

// Creates the activation cache directory and its read-me when missing.
// Returns false when the cache cannot be written.
bool PrepareCache(SharedState& S) {
  std::error_code Ec;
  const fs::path Dir(S.ActDir);
  // Another process (a batch shard) may create the directory between the
  // look and the creation: what counts is that it exists afterwards.
  if (!fs::is_directory(Dir, Ec)) {
    fs::create_directory(Dir, Ec);
    if (!fs::is_directory(Dir, Ec)) return false;
  }
  const fs::path ReadMe = Dir / "ReadMe.txt";
  if (fs::exists(ReadMe, Ec)) return true;
  const WriteOutcome Written = WriteReadMe(ReadMe);
  if (Written) return true;
  if (S.ShowMessage) S.ShowMessage("Cannot write " + ReadMe.string() + ". " + Written.ErrorText);
  return false;
}

// Reads the cached activation data of the current image when a matching file
// exists: same width and height, one 16-bit channel, completely readable.
bool ReadCachedActivation(SharedState& S) {
  std::error_code Ec;
  if (!fs::is_regular_file(S.ActFileName, Ec)) return false;
  ImageRecord Probe;
  ReadImageHeader(S.ActFileName, Probe, false, {});
  if (!Probe.Valid || Probe.Width != S.Image.Width || Probe.Height != S.Image.Height ||
      Probe.ResultSample() != SampleType::Word || Probe.Channels != 1)
    return false;
  LoadImageFile(S.ActFileName, Probe, S.ActivationImage, 0, false, false, {});
  return Probe.Valid;
}

// Loads File completely into Loaded and Samples, away from the current image;
// returns the sample count of the frame, or 0 when the file is refused (after
// the loader's own message) or is no single 16-bit channel.
size_t LoadScratchImage(SharedState& S, const std::string& File, ImageRecord& Loaded,
                        std::vector<uint16_t>& Samples) {
  LoadImageFile(File, Loaded, Samples, 16, true, true, S.ShowMessage);
  const size_t Count = static_cast<size_t>(std::max(Loaded.Width, 0)) *
                       static_cast<size_t>(std::max(Loaded.Height, 0));
  if (!Loaded.Valid || Loaded.Channels != 1 || Loaded.ResultSample() != SampleType::Word ||
      Count == 0 || Samples.size() < Count)
    return 0;
  return Count;
}

// Enables the controls that have nothing to act on before the first image.
void EnableFirstImageControls(SharedState& S) {
  S.StartLabelsVisible = false;
  for (ButtonState* B :
       {&S.SpeedButtonAutocontrast, &S.SpeedButtonFixContrast, &S.SpeedButtonAutoGamma,
        &S.SpeedButtonFixGamma, &S.SpeedButtonAutoACEQ, &S.SpeedButtonFixACEQ,
        &S.SpeedButtonSetFullframe, &S.SpeedButtonAdd, &S.SpeedButtonDir})
    B->Enabled = true;
  for (int32_t I = 1; I <= 10; ++I) S.ScaleButtons[I].Enabled = true;
}

// Makes the loaded image the current one, with fresh buffers of Count samples.
void TakeLoadedImage(SharedState& S, ImageRecord&& Loaded, std::vector<uint16_t>&& Samples,
                     size_t Count) {
  S.Image = std::move(Loaded);
  S.ImageIsSum = false;
  Samples.resize(Count);
  S.InputImage = std::move(Samples);
  S.ResultImage.assign(Count, 0);
  S.ActivationImage.assign(Count, 0);
  S.GammaImage.assign(Count, 0);
}

// The names derived from the image file: directory, activation file, the
// save dialog's proposal, the extension, and the solar coordinates.
void SetImageNames(SharedState& S, const std::string& File) {
  const fs::path Path(File);
  S.ImageFileName = File;
  S.ImageName = Path.filename().string();
  S.ImageDir = DirectoryOf(Path);
  S.ActDir = (fs::path(S.ImageDir) / "Activation_Data").string();
  // x.fits.gz and x.fits.fz share x's activation file and names.
  const std::string Stem = ImageStem(S.ImageName);
  S.ActFileName = (fs::path(S.ActDir) / (Stem + ".act")).string();
  S.SaveDialog1.InitialDir = S.ImageDir;
  S.SaveDialog1.FileName = Stem + "_proc";
  S.ImageExt = CompoundExtension(S.ImageName);
  S.SkyWcs = ReadSolarWcs(S.Image.HeaderCards);
  S.PanelSolar.Caption.clear();
}

// Input levels, gamma and equalization weight of the new image; an image of
// another size gets the region list afresh.
void SetUpInputLevels(SharedState& S, bool NewSize) {
  EnableContrastCtrl(S, true);
  if (NewSize) {
    MakeRoiItems(S);
    S.RoiIndex = 0;
    SetImgRoi(S, 0);
    DisplayRoi(S);
  }
  AutoInputParam(S, S.SpeedButtonAutocontrast.Down, S.SpeedButtonAutocontrast.Down);
  SetGamma(S);
  SetEQWeight(S);
}

// The activation cache of the new image: the directory prepared, and the
// cached activation data taken when they match.
void SetUpActivation(SharedState& S) {
  // The cache is usable again as soon as an image lies where it can be
  // written; a read-only cache that holds the file is still read.
  S.CacheUnwritable = !PrepareCache(S);
  S.ActivationReady = ReadCachedActivation(S);
  S.ActivatedLeft = S.ActivatedTop = 0;
  S.ActivatedWidth = S.Image.Width;
  S.ActivatedHeight = S.Image.Height;
  EnableEQ(S, S.ActivationReady);
}

// Shows the whole image: the scale that fits the window, its button down.
void FitDisplayScale(SharedState& S) {
  SetScrollBox(S);
  S.DisplayScale = S.FitScale;
  for (int32_t I = 1; I <= 10; ++I) S.ScaleButtons[I].Down = I == S.DisplayScale;
}

// Channel and observation time of a FITS image; other formats show neither.
void SetImageCaptions(SharedState& S) {
  if (IsFitsExtension(S.ImageExt)) {
    S.PanelInfo.Caption = WavelengthLabel(S.Image.Wavelength);
    S.PanelTime.Caption = FormatObsTime(S.Image.DateObs);
  } else {
    S.PanelInfo.Caption.clear();
    S.PanelTime.Caption.clear();
  }
}

// Enables what acts on a shown image.
void EnableImageControls(SharedState& S) {
  S.Image1Visible = true;
  S.Image1Enabled = true;
  S.SpeedButtonSave.Enabled = true;
  S.SpeedButtonExport.Enabled = true;
  S.SpeedButtonHeader.Enabled = true;
  S.PanelRoi.Caption = "ROI";
  if (!S.RoiActive) SetImgRoi(S, 0);
  S.SpeedButtonBatch.Enabled = true;
}

}  // namespace

int32_t PointDirectoryList(SharedState& S, const std::string& Dir, const std::string& Ext,
                           const std::string& Name) {
  S.DirPath = Dir;
  S.DirFiles = ListMatchingFiles(Dir, "*" + Ext);
  // A fresh list has no selection: a name that is not found (another letter
  // case, a file gone meanwhile) never inherits the selection of the list before.
  S.DirIndex = -1;
  for (size_t I = 0; I < S.DirFiles.size(); ++I)
    if (S.DirFiles[I] == Name) S.DirIndex = static_cast<int32_t>(I);
  return S.DirIndex;
}

bool OpenImage(SharedState& S) {
  // The workers read InputImage and write ActivationImage until the
  // activation has finished; no other image may take their place before.
  if (S.Workers) {
    if (S.ShowMessage) S.ShowMessage("No image can be opened while the activation runs.");
    return false;
  }
  const std::string File = S.OpenDialogFileName;
  ImageRecord Probe;
  ReadImageHeader(File, Probe, false, {});
  if (Probe.Channels != 1) {
    if (S.ShowMessage) S.ShowMessage("Color images are not supported.");
    return false;
  }
  const int32_t OldWidth = S.Image.Width, OldHeight = S.Image.Height;

  // Load into a scratch record first: a refused file leaves the current image,
  // its buffers and its names as they were.
  S.PanelProc.Caption.clear();
  S.Loading = true;
  ImageRecord Loaded = S.Image;
  std::vector<uint16_t> Samples;
  const size_t Count = LoadScratchImage(S, File, Loaded, Samples);
  if (Count == 0) {
    S.Loading = false;
    return false;
  }

  if (S.FirstImage) EnableFirstImageControls(S);
  TakeLoadedImage(S, std::move(Loaded), std::move(Samples), Count);
  SetImageNames(S, File);
  PointDirectoryList(S, S.ImageDir, S.ImageExt, S.ImageName);
  UpdateNavigationButtons(S);

  const bool NewSize = S.Image.Width != OldWidth || S.Image.Height != OldHeight;
  SetUpInputLevels(S, NewSize);
  SetUpActivation(S);
  MakeResultImage(S);
  AutoOutputParam(S, S.SpeedButtonAutocontrast.Down, S.SpeedButtonAutocontrast.Down);
  FillDisplayLut(*S.Tables.DisplayLut, S.OutputBlack, S.OutputWhite, 10);
  // The first image, and one of another size, are shown whole; an image of
  // the same size keeps the user's reduction.
  if (S.FirstImage || NewSize) FitDisplayScale(S);
  SetImageCaptions(S);
  S.Loading = false;
  // The time overlay of the first view needs the font table already.
  if (S.FirstImage) UpDownFontSizeClick(S, S.UpDownFontSize, false);
  RenderView(S);
  // An image of another size is placed afresh (centred when it fits), so it
  // never keeps the offset of the picture before it.
  if (S.FirstImage || NewSize) SetScrollBox(S);
  ClearReadout(S);
  EnableImageControls(S);
  S.FirstImage = false;
  return true;
}

}  // namespace obra
