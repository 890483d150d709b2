// The headless workflow on the shared state: open, the activation cache,
// activation, region of interest, levels, readout and the save modes.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "AdaptiveEQ.h"
#include "Global.h"
#include "ImageFixtures.h"
#include "IniFile.h"
#include "TIFformat.h"

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

namespace {

// A small engine and plain display defaults, so activations take milliseconds.
void UseTestConfiguration() {
  std::istringstream In(
      "KerSize 3\nNRSigma 2\nGlobalB 1\nLocalB 0\nGlobalW 1\nLocalW 0\n"
      "Gamma193 30\nObra193 10\nKerS_20  1\nKerS_10  0.5\n");
  Params = Parameters{};
  ASSERT_FALSE(ReadIniStream(In, Params).Fatal);
  BuildKernels();
}

// A signed 16-bit FITS image (BZERO 32768) whose samples are Value(x, y).
template <typename F>
void WriteFits(const std::string& File, int W, int H, F Value, int Wavelength = 193,
               const std::string& Extra = {}, int StoredOffset = 32768) {
  std::vector<std::string> Cards = ImageCards(16, W, H);
  Cards.push_back(Card("BZERO", "32768"));
  Cards.push_back(Card("WAVELNTH", std::to_string(Wavelength)));
  Cards.push_back(Card("DATE-OBS", "'2013-06-24T17:31:30.84'"));
  if (!Extra.empty()) Cards.push_back(Extra);
  std::vector<int16_t> S;
  // FITS stores the bottom row first.
  for (int Y = H - 1; Y >= 0; --Y)
    for (int X = 0; X < W; ++X) S.push_back(static_cast<int16_t>(Value(X, Y) - StoredOffset));
  WriteBytes(File, FitsFile(Cards, BigEndian(S)));
}

uint16_t Pattern(int X, int Y) { return static_cast<uint16_t>(100 + (X * 7 + Y * 13) % 900); }

class Workflow : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestConfiguration();
    InitializeState(S);
    S.ThreadCount = 2;
    S.ShowMessage = Msg.Sink();
    Image = Dir.File("x.fits");
    WriteFits(Image, W, H, Pattern);
  }

  bool Open(const std::string& File) {
    S.OpenDialogFileName = File;
    return OpenImage(S);
  }

  void Activate() {
    ASSERT_TRUE(S.SpeedButtonEnableEQ.Enabled);
    ASSERT_TRUE(StartActivation(S));
    EXPECT_FALSE(S.PanelTopEnabled);
    EXPECT_FALSE(S.PanelRightEnabled);
    EXPECT_FALSE(S.Image1Enabled);
    EXPECT_TRUE(S.Timer1Enabled);
    while (!Timer1Timer(S)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(S.Timer1Enabled);
    EXPECT_TRUE(S.PanelTopEnabled);
    EXPECT_EQ(S.PanelProc.Caption, "");
  }

  static constexpr int W = 700, H = 600;
  TempDir Dir;
  Messages Msg;
  SharedState S;
  std::string Image;
};

std::pair<uint32_t, uint32_t> PngSize(const std::string& File) {
  const std::vector<uint8_t> B = ReadBytes(File);
  if (B.size() < 24) return {0, 0};
  auto Be32 = [&](size_t O) {
    return uint32_t(B[O]) << 24 | uint32_t(B[O + 1]) << 16 | uint32_t(B[O + 2]) << 8 | B[O + 3];
  };
  return {Be32(16), Be32(20)};
}

}  // namespace

TEST_F(Workflow, OpenDerivesNamesAndPreparesTheCache) {
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(S.ImageName, "x.fits");
  EXPECT_EQ(S.ImageDir, Dir.Path().string());
  EXPECT_EQ(S.ImageExt, ".FITS");
  EXPECT_EQ(S.ActDir, (Dir.Path() / "Activation_Data").string());
  EXPECT_EQ(S.ActFileName, (Dir.Path() / "Activation_Data" / "x.act").string());
  EXPECT_EQ(S.SaveDialog1.FileName, "x_proc");
  EXPECT_EQ(S.SaveDialog1.InitialDir, S.ImageDir);
  const std::vector<uint8_t> ReadMe = ReadBytes(S.ActDir + "/ReadMe.txt");
  std::string Expected;
  for (const char* L : ReadMeLines) Expected += std::string(L) + "\n";
  EXPECT_EQ(std::string(ReadMe.begin(), ReadMe.end()), Expected);
  EXPECT_FALSE(S.CacheUnwritable);

  // Controls after the first open.
  EXPECT_FALSE(S.FirstImage);
  EXPECT_TRUE(S.SpeedButtonSave.Enabled && S.SpeedButtonBatch.Enabled && S.Image1Visible);
  EXPECT_TRUE(S.ScaleButtons[1].Enabled && S.SpeedButtonAutocontrast.Enabled);
  EXPECT_EQ(S.DisplayScale, S.FitScale);
  EXPECT_TRUE(S.ScaleButtons[S.DisplayScale].Down);
  EXPECT_EQ(S.Image1.Width, W / S.DisplayScale);
  EXPECT_EQ(S.PanelEqWeight.Caption, "Not active");
  EXPECT_TRUE(S.SpeedButtonEnableEQ.Enabled);
  EXPECT_TRUE(S.CheckBoxAutoSaveActivated.Enabled);
  EXPECT_EQ(S.PanelInfo.Caption, "19.3 nm");
  EXPECT_EQ(S.PanelTime.Caption, "24. 06. 2013    17:31:30");
  EXPECT_EQ(S.PanelRoi.Caption, "ROI");
  ASSERT_EQ(S.RoiItems.size(), 3u);
  EXPECT_EQ(S.RoiItems[0].Caption, "Full  frame");
  EXPECT_EQ(S.RoiItems[1].Caption, "512 x 512");
  EXPECT_EQ(S.RoiItems[2].Caption, "640 x 480");
  // Channel defaults and automatic input levels.
  EXPECT_EQ(S.GammaSetting, 30);
  EXPECT_EQ(S.PanelGamma.Caption, "3.0");
  EXPECT_EQ(S.ObraWeight, 10);
  EXPECT_EQ(S.InputBlack, S.Image.LowP1);
  EXPECT_EQ(S.InputWhite, std::min(S.Image.HighP0001, S.Image.MaxValue));
  EXPECT_TRUE(Msg.List.empty());
}

TEST_F(Workflow, DirectoryListAndNeighbourButtons) {
  WriteFits(Dir.File("a.fits"), 8, 8, Pattern);
  WriteFits(Dir.File("c.FITS"), 8, 8, Pattern);
  WriteFits(Dir.File("d.fit"), 8, 8, Pattern);
  ASSERT_TRUE(Open(Dir.File("a.fits")));
  EXPECT_EQ(S.DirFiles, (std::vector<std::string>{"a.fits", "c.FITS", "x.fits"}));
  EXPECT_EQ(S.DirIndex, 0);
  EXPECT_FALSE(S.SpeedButtonPrevious.Enabled);
  EXPECT_TRUE(S.SpeedButtonNext.Enabled);
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(S.DirIndex, 2);
  EXPECT_TRUE(S.SpeedButtonPrevious.Enabled);
  EXPECT_FALSE(S.SpeedButtonNext.Enabled);
}

TEST_F(Workflow, RefusedFilesKeepThePreviousImage) {
  ASSERT_TRUE(Open(Image));
  const std::vector<uint16_t> Before = S.InputImage;
  const std::string Name = S.ImageName;

  std::vector<uint8_t> Bytes = ReadBytes(Image);
  Bytes.resize(2880 + 100);  // the header promises far more data
  WriteBytes(Dir.File("short.fits"), Bytes);
  EXPECT_FALSE(Open(Dir.File("short.fits")));
  EXPECT_FALSE(Msg.List.empty());

  Msg.List.clear();
  EXPECT_FALSE(Open(Dir.File("missing.fits")));
  ASSERT_EQ(Msg.List.size(), 1u);
  EXPECT_EQ(Msg.List[0], "Color images are not supported.");

  EXPECT_EQ(S.ImageName, Name);
  EXPECT_EQ(S.InputImage, Before);
  EXPECT_TRUE(S.Image.Valid);
  EXPECT_FALSE(S.Loading);
}

TEST_F(Workflow, FirstOpenThatFailsEnablesNothing) {
  EXPECT_FALSE(Open(Dir.File("missing.fits")));
  EXPECT_TRUE(S.FirstImage);
  EXPECT_FALSE(S.SpeedButtonSave.Enabled);
  EXPECT_FALSE(S.ScaleButtons[1].Enabled);
}

TEST_F(Workflow, FullFrameActivationIsCachedAndReused) {
  ASSERT_TRUE(Open(Image));
  Activate();
  EXPECT_TRUE(S.ActivationReady);
  EXPECT_FALSE(S.SpeedButtonEnableEQ.Enabled);
  EXPECT_FALSE(S.CheckBoxAutoSaveActivated.Enabled);
  EXPECT_EQ(S.PanelEqWeight.Caption, "0.10");
  EXPECT_TRUE(S.TrackBarEqWeight.Enabled);
  ASSERT_TRUE(fs::exists(S.ActFileName));
  EXPECT_EQ(fs::file_size(S.ActFileName), 174u + W * H * 2u);
  EXPECT_FALSE(fs::exists(S.ActFileName + ".tmp"));
  const std::vector<uint16_t> Activated = S.ActivationImage;

  // The engine's output differs from the gamma image it was pre-filled with.
  std::vector<uint16_t> Gamma(S.InputImage.size());
  MakeGammaImage(S, S.InputImage, Gamma);
  EXPECT_NE(Activated, Gamma);

  // A second open, and the same image under another FITS extension, reuse it.
  for (const std::string& Again : {Image, Dir.File("x.fit")}) {
    if (Again != Image) fs::copy_file(Image, Again);
    SharedState T;
    InitializeState(T);
    T.ShowMessage = Msg.Sink();
    T.OpenDialogFileName = Again;
    ASSERT_TRUE(OpenImage(T));
    EXPECT_TRUE(T.ActivationReady) << Again;
    EXPECT_FALSE(T.SpeedButtonEnableEQ.Enabled);
    EXPECT_EQ(T.ActivationImage, Activated);
    EXPECT_EQ(T.Workers, nullptr);
  }
}

TEST_F(Workflow, MismatchingOrBrokenCacheFilesAreIgnored) {
  ASSERT_TRUE(Open(Image));
  std::vector<uint16_t> Small(W * (H - 1), 7);
  ASSERT_TRUE(WriteTiff16(Small.data(), W, H - 1, true, S.ActFileName));
  ASSERT_TRUE(Open(Image));
  EXPECT_FALSE(S.ActivationReady);
  EXPECT_EQ(S.PanelEqWeight.Caption, "Not active");
  EXPECT_TRUE(fs::exists(S.ActFileName));  // left on disk

  std::vector<uint16_t> Right(W * H, 7);
  ASSERT_TRUE(WriteTiff16(Right.data(), W, H, true, S.ActFileName));
  fs::resize_file(S.ActFileName, 174 + W * H);  // cut in the middle of the samples
  ASSERT_TRUE(Open(Image));
  EXPECT_FALSE(S.ActivationReady);
  EXPECT_TRUE(S.SpeedButtonEnableEQ.Enabled);
}

TEST_F(Workflow, UnwritableCacheDisablesAutoSave) {
  WriteBytes(Dir.File("Activation_Data"), {1});  // a file where the directory should be
  ASSERT_TRUE(Open(Image));
  EXPECT_TRUE(S.CacheUnwritable);
  EXPECT_FALSE(S.CheckBoxAutoSaveActivated.Enabled);
  Activate();
  EXPECT_TRUE(Msg.List.empty());  // nothing was tried, so nothing failed
  EXPECT_TRUE(S.ActivationReady);

  // Once the directory can be made, the cache works again.
  fs::remove(Dir.File("Activation_Data"));
  ASSERT_TRUE(Open(Image));
  EXPECT_FALSE(S.CacheUnwritable);
}

TEST_F(Workflow, FailedAutoSaveIsReportedAndLeavesNoFile) {
  ASSERT_TRUE(Open(Image));
  fs::remove_all(S.ActDir);  // vanished after the open
  Activate();
  ASSERT_EQ(Msg.List.size(), 1u);
  EXPECT_NE(Msg.List[0].find("could not be saved"), std::string::npos);
  EXPECT_FALSE(fs::exists(S.ActFileName));
}

TEST_F(Workflow, RoiActivationStaysWithItsRegion) {
  ASSERT_TRUE(Open(Image));
  ComboBoxRoiChange(S, 1);
  EXPECT_TRUE(S.RoiActive);
  EXPECT_EQ(S.PanelProc.Caption, "Move ROI by right mouse button");
  EXPECT_FALSE(S.CheckBoxAutoSaveActivated.Enabled);
  EXPECT_EQ(S.RoiWidth, 512);
  EXPECT_TRUE(S.ShapeRoiVisible);
  Activate();
  EXPECT_FALSE(S.ActivationReady);
  EXPECT_FALSE(fs::exists(S.ActFileName));
  EXPECT_EQ(S.PanelEqWeight.Caption, "0.10");

  // Outside the region the activation buffer keeps the gamma image.
  std::vector<uint16_t> Gamma(S.InputImage.size());
  MakeGammaImage(S, S.InputImage, Gamma);
  const size_t Outside = static_cast<size_t>(S.RoiTop) * W + S.RoiLeft + S.RoiWidth;
  if (S.RoiLeft + S.RoiWidth < W) {
    EXPECT_EQ(S.ActivationImage[Outside], Gamma[Outside]);
  }

  // Moving the region drops a region activation.
  S.EditRoiLeft.Text = std::to_string(S.RoiLeft == 0 ? 1 : 0);
  EditRoiLeftChange(S);
  EXPECT_TRUE(S.SpeedButtonSetTopLeft.Enabled);
  EXPECT_EQ(S.ShapeRoiColor, ClRed);
  SpeedButtonSetTopLeftClick(S);
  EXPECT_EQ(S.PanelEqWeight.Caption, "Not active");
  EXPECT_TRUE(S.SpeedButtonEnableEQ.Enabled);
  EXPECT_FALSE(S.SpeedButtonSetTopLeft.Enabled);
  EXPECT_EQ(S.ShapeRoiColor, ClLime);
}

TEST_F(Workflow, FullFrameActivationSurvivesRoiChanges) {
  ASSERT_TRUE(Open(Image));
  Activate();
  ComboBoxRoiChange(S, 1);
  EXPECT_FALSE(S.SpeedButtonEnableEQ.Enabled);
  S.EditRoiTop.Text = "3";
  EditRoiLeftChange(S);
  SpeedButtonSetTopLeftClick(S);
  EXPECT_EQ(S.RoiTop, 3);
  EXPECT_FALSE(S.SpeedButtonEnableEQ.Enabled);
  EXPECT_TRUE(S.TrackBarEqWeight.Enabled);
  SpeedButtonSetFullframeClick(S);
  EXPECT_FALSE(S.RoiActive);
  EXPECT_FALSE(S.ShapeRoiVisible);
  EXPECT_FALSE(S.SpeedButtonEnableEQ.Enabled);
}

TEST_F(Workflow, TypedCoordinatesAreValidated) {
  ASSERT_TRUE(Open(Image));
  ComboBoxRoiChange(S, 1);
  S.EditRoiLeft.Text = "12a";
  EditRoiLeftChange(S);
  EXPECT_EQ(S.EditRoiLeft.Color, InvalidFieldColor);
  EXPECT_FALSE(S.SpeedButtonSetTopLeft.Enabled);
  S.EditRoiLeft.Text = std::to_string(W - 512 + 1);  // one past the right edge
  EditRoiLeftChange(S);
  EXPECT_EQ(S.EditRoiLeft.Color, InvalidFieldColor);
  S.EditRoiLeft.Text = "-1";
  EditRoiLeftChange(S);
  EXPECT_EQ(S.EditRoiLeft.Color, InvalidFieldColor);
  S.EditRoiLeft.Text = std::to_string(W - 512);
  EditRoiLeftChange(S);
  EXPECT_EQ(S.EditRoiLeft.Color, ClWhite);
  EXPECT_TRUE(S.SpeedButtonSetTopLeft.Enabled);
}

TEST_F(Workflow, RoiIsCentredOnTheVisibleViewAndClamped) {
  ASSERT_TRUE(Open(Image));
  SpeedButton1Click(S, 1);
  S.ClientWidth = 400;
  S.ClientHeight = 300;
  S.ScrollX = 250;  // scrolled to the right: centre x = 200 + 250
  S.ScrollY = 0;
  S.Image1Left = S.Image1Top = 0;
  ComboBoxRoiChange(S, 1);
  EXPECT_EQ(S.RoiLeft, W - 512);  // 450 - 256 = 194 runs past the right edge
  ComboBoxRoiChange(S, 0);
  S.ScrollX = 0;
  ComboBoxRoiChange(S, 1);
  EXPECT_EQ(S.RoiLeft, 0);  // centre 200 - 256 < 0
  EXPECT_EQ(S.RoiTop, 0);   // centre 150 - 256 < 0
}

TEST_F(Workflow, SameSizeOpenKeepsTheRoiOtherSizeResetsIt) {
  ASSERT_TRUE(Open(Image));
  ComboBoxRoiChange(S, 1);
  S.EditRoiTop.Text = "20";
  EditRoiLeftChange(S);
  SpeedButtonSetTopLeftClick(S);
  WriteFits(Dir.File("y.fits"), W, H, [](int X, int Y) { return Pattern(Y, X); });
  ASSERT_TRUE(Open(Dir.File("y.fits")));
  EXPECT_TRUE(S.RoiActive);
  EXPECT_EQ(S.RoiTop, 20);
  WriteFits(Dir.File("z.fits"), 600, 520, Pattern);
  ASSERT_TRUE(Open(Dir.File("z.fits")));
  EXPECT_FALSE(S.RoiActive);
  EXPECT_EQ(S.RoiWidth, 600);
  EXPECT_EQ(S.RoiIndex, 0);
}

TEST_F(Workflow, FixedSettingsSurviveAnOpenDefaultsFollowTheChannel) {
  ASSERT_TRUE(Open(Image));
  SpeedButtonFixGammaClick(S);
  TrackBarGammaChange(S, 45);
  WriteFits(Dir.File("other.fits"), 64, 64, Pattern, 999);
  ASSERT_TRUE(Open(Dir.File("other.fits")));
  EXPECT_EQ(S.GammaSetting, 45);
  EXPECT_EQ(S.ObraWeight, 15);  // unknown channel: 0.15
  SpeedButtonAutoGammaClick(S);
  EXPECT_EQ(S.GammaSetting, 22);  // unknown channel: 2.2
  EXPECT_EQ(S.PanelGamma.Caption, "2.2");
  EXPECT_EQ(S.PanelInfo.Caption, "");
}

TEST_F(Workflow, SlidersRecomposeExceptWhileLoadingOrDragging) {
  ASSERT_TRUE(Open(Image));
  const uint64_t V = S.Image1Version;
  TrackBarGammaChange(S, 50, true);
  EXPECT_EQ(S.Image1Version, V);
  EXPECT_EQ(S.PanelGamma.Caption, "5.0");
  S.Loading = true;
  TrackBarBlackChange(S, S.TrackBarBlack.Min);
  EXPECT_EQ(S.Image1Version, V);
  S.Loading = false;
  TrackBarGammaChange(S, 50);
  EXPECT_EQ(S.Image1Version, V + 1);
  TrackBarOutputWhiteChange(S, 1);  // below the range: the slider keeps it inside
  EXPECT_EQ(S.OutputWhite, 40000);
  EXPECT_EQ(S.PanelOutputWhite.Caption, "40000");
}

TEST_F(Workflow, ResultBlendsTheActivationByItsWeight) {
  ASSERT_TRUE(Open(Image));
  Activate();
  TrackBarEqWeightChange(S, 0);
  EXPECT_EQ(S.PanelEqWeight.Caption, "Off");
  EXPECT_EQ(S.ResultImage, S.GammaImage);
  TrackBarEqWeightChange(S, 30);
  for (size_t I = 0; I < S.ResultImage.size(); I += 997) {
    const double Expect = S.GammaImage[I] * double(1.0f - 0.3f) + S.ActivationImage[I] * double(0.3f);
    EXPECT_NEAR(S.ResultImage[I], Expect, 0.5) << I;
  }
}

TEST_F(Workflow, AutomaticAndFixedOutputLevels) {
  ASSERT_TRUE(Open(Image));
  ImageRecord G = S.Image;
  ComputeStatistics(G, S.ResultImage.data());
  EXPECT_EQ(S.OutputWhite, std::max<int>(G.HighP001, 40000));
  EXPECT_EQ(S.OutputBlack, std::min<int>(G.Low1, 24000));
  SpeedButtonFixContrastClick(S);
  TrackBarOutputBlackChange(S, 1234);
  MakeResultImage(S);
  EXPECT_EQ(S.OutputBlack, 1234);
  S.PanelOutputBlack.Caption = "stale";
  AutoOutputParam(S, false, false);
  EXPECT_EQ(S.PanelOutputBlack.Caption, "1234");
  SpeedButtonAutocontrastClick(S);
  EXPECT_EQ(S.OutputBlack, std::min<int>(G.Low1, 24000));
}

TEST_F(Workflow, SingleValuedImageKeepsItsInputLevels) {
  ASSERT_TRUE(Open(Image));
  const uint16_t B = S.InputBlack, Wh = S.InputWhite;
  WriteFits(Dir.File("flat.fits"), W, H, [](int, int) { return uint16_t(500); });
  ASSERT_TRUE(Open(Dir.File("flat.fits")));
  EXPECT_EQ(S.InputBlack, B);
  EXPECT_EQ(S.InputWhite, Wh);
}

TEST_F(Workflow, ReadoutAtAScale) {
  // ZEL images are stored as value + 100 and shown as stored value - 100.
  WriteFits(
      Image, W, H, [](int X, int Y) { return uint16_t(X == 40 && Y == 80 ? 0 : X + Y + 100); }, 193,
      Card("TELESCOP", "'ZEL'"), 100);
  ASSERT_TRUE(Open(Image));
  SpeedButton1Click(S, 4);
  ReadPixel(S, 10, 20);
  EXPECT_EQ(S.PanelCoordinates.Caption, "[ 40, 80 ]");
  EXPECT_EQ(S.PanelPixelVal.Caption, "No data");
  ReadPixel(S, 11, 20);
  EXPECT_EQ(S.PanelPixelVal.Caption, "Input pixel value  124");  // 44 + 80, offset cancelled
  const std::string Before = S.PanelPixelVal.Caption;
  ReadPixel(S, W, 0);  // outside the picture: nothing changes
  EXPECT_EQ(S.PanelPixelVal.Caption, Before);
}

TEST_F(Workflow, ScaleButtonsAndTheScrollHint) {
  WriteFits(Image, 2000, 700, Pattern);
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(S.FitScale, 3);  // ceil(2000 / 900)
  SpeedButton1Click(S, 1);
  EXPECT_EQ(S.PanelProc.Caption, "Scroll the image by left mouse button");
  EXPECT_EQ(S.Image1.Width, 2000);
  SpeedButton1Click(S, 3);
  EXPECT_EQ(S.PanelProc.Caption, "");
  EXPECT_EQ(S.Image1.Width, 666);
}

TEST_F(Workflow, AnotherSizeIsPlacedAfreshAtTheSameScale) {
  ASSERT_TRUE(Open(Image));
  ASSERT_EQ(S.DisplayScale, 1);
  EXPECT_EQ(S.Image1Left, (S.AreaWidth - W) / 2);
  WriteFits(Dir.File("small.fits"), 300, 200, Pattern);
  ASSERT_TRUE(Open(Dir.File("small.fits")));
  EXPECT_EQ(S.Image1Left, (S.AreaWidth - 300) / 2);
  EXPECT_EQ(S.Image1Top, (S.AreaHeight - 200) / 2);
  WriteFits(Dir.File("wide.fits"), 2000, 700, Pattern);
  ASSERT_TRUE(Open(Dir.File("wide.fits")));
  EXPECT_EQ(S.DisplayScale, 1);  // the user's scale stays
  EXPECT_EQ(S.FitScale, 3);
  EXPECT_EQ(S.Image1Left, 0);
  EXPECT_TRUE(S.Image1Visible);
}

TEST_F(Workflow, SaveModesWriteTheirSizes) {
  ASSERT_TRUE(Open(Image));
  SpeedButton1Click(S, 3);
  ComboBoxRoiChange(S, 1);
  const std::pair<uint32_t, uint32_t> Expect[] = {
      {W, H}, {W / 3, H / 3}, {512, 512}, {512 / 3, 512 / 3}};
  for (int Mode = 1; Mode <= 4; ++Mode) {
    const std::string Out = Dir.File("out" + std::to_string(Mode) + ".png");
    ASSERT_TRUE(SaveImage(S, Mode, Out)) << Mode;
    EXPECT_EQ(PngSize(Out), Expect[Mode - 1]) << Mode;
  }
  EXPECT_FALSE(SaveImage(S, 1, Dir.File("no/such/dir/x.png")));
  EXPECT_FALSE(Msg.List.empty());
}

TEST(WorkflowText, ProgressRoundsHalfToEven) {
  EXPECT_EQ(ProgressText(1, 40), "Processing     2 %");  // 2.5
  EXPECT_EQ(ProgressText(3, 40), "Processing     8 %");  // 7.5
  EXPECT_EQ(ProgressText(40, 40), "Processing     100 %");
  EXPECT_EQ(ReplaceExtension("a.b.fits", "_proc"), "a.b_proc");
  EXPECT_EQ(ReplaceExtension("noext", ".act"), "noext.act");
}
