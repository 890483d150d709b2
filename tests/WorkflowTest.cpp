// The headless workflow on the shared state: open, the activation cache,
// activation, region of interest, levels, readout and the save modes.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sstream>
#include <thread>
#include <tuple>

#include "AdaptiveEQ.h"
#include "Composition.h"
#include "Global.h"
#include "IniFile.h"
#include "TIFformat.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

namespace {

uint16_t Pattern(int X, int Y) { return static_cast<uint16_t>(100 + (X * 7 + Y * 13) % 900); }

// A signed 16-bit FITS image (BZERO 32768) whose samples are Value(x, y),
// stored bottom row first; ZEL images are stored as value + 100.
void WriteFits(const std::string& File, int W, int H,
               const std::function<int(int X, int Y)>& Value = Pattern, int Wavelength = 193,
               bool Zel = false) {
  WriteFitsSamples(
      File, W, H, Value, Zel ? 100 : 32768,
      {Card("WAVELNTH", std::to_string(Wavelength)), Card("DATE-OBS", "'2013-06-24T17:31:30.84'"),
       Card("TELESCOP", Zel ? "'ZEL'" : "'SDO'")});
}

class Workflow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PrepareWorkflow(SmallEngineIni(193), S, Msg));
    WriteFits(Image, W, H);
  }

  bool Open(const std::string& File) {
    S.OpenDialogFileName = File;
    return OpenImage(S);
  }

  // Starts an activation and polls like the window's timer until it completes.
  void Activate() {
    ASSERT_TRUE(S.SpeedButtonEnableEQ.Enabled);
    ASSERT_TRUE(StartActivation(S));
    EXPECT_FALSE(S.PanelTopEnabled);
    EXPECT_FALSE(S.PanelRightEnabled);
    EXPECT_FALSE(S.Image1Enabled);
    EXPECT_TRUE(S.Timer1Enabled);
    ASSERT_TRUE(AwaitActivation(S)) << "the activation did not finish";
    EXPECT_FALSE(S.Timer1Enabled);
    EXPECT_TRUE(S.PanelTopEnabled);
    EXPECT_EQ(S.PanelProc.Caption, "");
  }

  std::vector<uint16_t> Gamma() {
    std::vector<uint16_t> G(S.InputImage.size());
    MakeGammaImage(S, S.InputImage, G);
    return G;
  }

  // Types a corner into the region fields.
  void TypeCorner(const std::string& Left, const std::string& Top) {
    S.EditRoiLeft.Text = Left, S.EditRoiTop.Text = Top;
    EditRoiLeftChange(S);
  }

  void ExpectOneMessage(const std::string& Part) {
    ASSERT_EQ(Msg.List.size(), 1u);
    EXPECT_NE(Msg.List[0].find(Part), std::string::npos) << Msg.List[0];
    Msg.List.clear();
  }

  static constexpr int W = 700, H = 600;
  TempDir Dir;
  Messages Msg;
  SharedState S;
  const std::string Image = Dir.File("x.fits");
};

}  // namespace

TEST_F(Workflow, OpenDerivesNamesAndPreparesTheCache) {
  // Before any image only the font controls follow the time box; a first open
  // that fails enables nothing.
  ASSERT_TRUE(EnsureTextRendering());
  CheckBoxAddTextClick(S, true);
  EXPECT_TRUE(S.FontControlsEnabled);
  EXPECT_EQ(S.Image1.Width, 0);
  EXPECT_FALSE(Open(Dir.File("missing.fits")));
  EXPECT_TRUE(S.FirstImage);
  EXPECT_FALSE(S.SpeedButtonSave.Enabled);
  EXPECT_FALSE(S.ScaleButtons[1].Enabled);
  Msg.List.clear();
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(S.ImageName, "x.fits");
  EXPECT_EQ(S.ImageDir, Dir.Path().string());
  EXPECT_EQ(S.ImageExt, ".FITS");
  EXPECT_EQ(S.ActDir, Dir.File("Activation_Data"));
  EXPECT_EQ(S.ActFileName, Dir.File("Activation_Data/x.act"));
  EXPECT_EQ(S.SaveDialog1.FileName, "x_proc");
  EXPECT_EQ(S.SaveDialog1.InitialDir, S.ImageDir);
  std::string ReadMe;
  for (const char* L : ReadMeLines) ReadMe += std::string(L) + "\n";
  EXPECT_EQ(ReadText(S.ActDir + "/ReadMe.txt"), ReadMe);
  // Controls after the first open.
  EXPECT_FALSE(S.FirstImage);
  EXPECT_FALSE(S.CacheUnwritable);
  EXPECT_TRUE(S.SpeedButtonSave.Enabled);
  EXPECT_TRUE(S.SpeedButtonBatch.Enabled);
  EXPECT_TRUE(S.Image1Visible);
  EXPECT_TRUE(S.ScaleButtons[S.DisplayScale].Down);
  EXPECT_TRUE(S.CheckBoxAutoSaveActivated.Enabled);
  EXPECT_EQ(S.DisplayScale, S.FitScale);
  EXPECT_EQ(S.Image1.Width, W / S.FitScale);
  EXPECT_EQ(S.PanelEqWeight.Caption, "Not active");
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
  // The first view already carries the time, drawn with the built font table.
  EXPECT_EQ(S.TimeFontTable[1].FontSize, 14);
  const std::vector<uint8_t> First = S.Image1.Pixels;
  RenderView(S);
  EXPECT_EQ(S.Image1.Pixels, First);
  // Refused files keep the previous image.
  const std::vector<uint16_t> Before = S.InputImage;
  std::vector<uint8_t> Bytes = ReadBytes(Image);
  Bytes.resize(2880 + 100);  // the header promises far more data
  WriteBytes(Dir.File("short.fits"), Bytes);
  EXPECT_FALSE(Open(Dir.File("short.fits")));
  EXPECT_FALSE(Msg.List.empty());
  Msg.List.clear();
  EXPECT_FALSE(Open(Dir.File("missing.fits")));
  EXPECT_EQ(Msg.List, std::vector<std::string>{"Color images are not supported."});
  EXPECT_EQ(S.ImageName, "x.fits");
  EXPECT_TRUE(S.Image.Valid);
  EXPECT_FALSE(S.Loading);
  EXPECT_EQ(S.InputImage, Before);
  // The directory list and the neighbour buttons.
  for (const char* Name : {"a.fits", "c.FITS", "d.fit"}) WriteFits(Dir.File(Name), 8, 8);
  ASSERT_TRUE(Open(Dir.File("a.fits")));
  EXPECT_EQ(S.DirFiles, (std::vector<std::string>{"a.fits", "c.FITS", "short.fits", "x.fits"}));
  EXPECT_EQ(S.DirIndex, 0);
  EXPECT_FALSE(S.SpeedButtonPrevious.Enabled);
  EXPECT_TRUE(S.SpeedButtonNext.Enabled);
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(S.DirIndex, 3);
  EXPECT_TRUE(S.SpeedButtonPrevious.Enabled);
  EXPECT_FALSE(S.SpeedButtonNext.Enabled);
}

TEST_F(Workflow, FullFrameActivationIsCachedAndReused) {
  ASSERT_TRUE(Open(Image));
  Activate();
  EXPECT_TRUE(S.ActivationReady);
  EXPECT_FALSE(S.SpeedButtonEnableEQ.Enabled);
  EXPECT_FALSE(S.CheckBoxAutoSaveActivated.Enabled);
  EXPECT_EQ(S.PanelEqWeight.Caption, "0.10");
  EXPECT_TRUE(S.TrackBarEqWeight.Enabled);
  EXPECT_EQ(fs::file_size(S.ActFileName), 174u + W * H * 2u);
  EXPECT_FALSE(fs::exists(S.ActFileName + ".tmp"));
  const std::vector<uint16_t> Activated = S.ActivationImage;
  EXPECT_NE(Activated,
            Gamma());  // the engine replaced the gamma image it was pre-filled with
  // The result blends the activation by its weight.
  TrackBarEqWeightChange(S, 0);
  EXPECT_EQ(S.PanelEqWeight.Caption, "Off");
  EXPECT_EQ(S.ResultImage, S.GammaImage);
  TrackBarEqWeightChange(S, 30);
  for (size_t I = 0; I < S.ResultImage.size(); I += 997)
    EXPECT_NEAR(S.ResultImage[I],
                S.GammaImage[I] * double(1.0f - 0.3f) + S.ActivationImage[I] * double(0.3f), 0.5)
        << I;
  // A second open, and the same image under another FITS extension, reuse it.
  fs::copy_file(Image, Dir.File("x.fit"));
  for (const std::string& Again : {Image, Dir.File("x.fit")}) {
    SharedState T;
    InitializeState(T);
    T.ShowMessage = Msg.Sink();
    T.OpenDialogFileName = Again;
    ASSERT_TRUE(OpenImage(T));
    EXPECT_TRUE(T.ActivationReady) << Again;
    EXPECT_FALSE(T.SpeedButtonEnableEQ.Enabled) << Again;
    EXPECT_EQ(T.Workers, nullptr) << Again;
    EXPECT_EQ(T.ActivationImage, Activated) << Again;
    EXPECT_EQ(T.PanelInfo.Caption, "19.3 nm") << Again;
  }
  // The region keeps a full-frame activation, and leaving it keeps it too.
  ComboBoxRoiChange(S, 1);
  EXPECT_FALSE(S.SpeedButtonEnableEQ.Enabled);
  TypeCorner(S.EditRoiLeft.Text, "3");
  SpeedButtonSetTopLeftClick(S);
  EXPECT_EQ(S.RoiTop, 3);
  EXPECT_FALSE(S.SpeedButtonEnableEQ.Enabled);
  EXPECT_TRUE(S.TrackBarEqWeight.Enabled);
  SpeedButtonSetFullframeClick(S);
  EXPECT_FALSE(S.RoiActive);
  EXPECT_FALSE(S.ShapeRoiVisible);
  EXPECT_FALSE(S.SpeedButtonEnableEQ.Enabled);
}

TEST_F(Workflow, CacheFaults) {
  ASSERT_TRUE(Open(Image));
  // A cache file of another size, or cut in the middle of its samples, is
  // ignored and left on disk.
  std::vector<uint16_t> Samples(W * H, 7);
  ASSERT_TRUE(WriteTiff16(Samples.data(), W, H - 1, true, S.ActFileName));
  ASSERT_TRUE(Open(Image));
  EXPECT_FALSE(S.ActivationReady);
  EXPECT_EQ(S.PanelEqWeight.Caption, "Not active");
  EXPECT_TRUE(fs::exists(S.ActFileName));
  ASSERT_TRUE(WriteTiff16(Samples.data(), W, H, true, S.ActFileName));
  fs::resize_file(S.ActFileName, 174 + W * H);
  ASSERT_TRUE(Open(Image));
  EXPECT_FALSE(S.ActivationReady);
  EXPECT_TRUE(S.SpeedButtonEnableEQ.Enabled);
  // A cache directory that vanished after the open: the failed save is
  // reported and leaves no file.
  fs::remove_all(S.ActDir);
  Activate();
  ExpectOneMessage("could not be saved");
  EXPECT_FALSE(fs::exists(S.ActFileName));
  // A directory under the activation file's name: the finished file cannot
  // take its place, and no temporary file is left.
  ASSERT_TRUE(Open(Image));
  fs::create_directories(S.ActFileName + "/keep");
  Activate();
  ExpectOneMessage("could not be saved");
  EXPECT_TRUE(fs::is_directory(S.ActFileName));
  for (const auto& E : fs::directory_iterator(S.ActDir))
    EXPECT_EQ(E.path().filename().string().find(".tmp"), std::string::npos) << E.path();
  // A file where the directory should be: auto save is off, nothing is tried
  // and so nothing fails; once the directory can be made the cache works again.
  fs::remove_all(S.ActDir);
  WriteBytes(Dir.File("Activation_Data"), {1});
  ASSERT_TRUE(Open(Image));
  EXPECT_TRUE(S.CacheUnwritable);
  EXPECT_FALSE(S.CheckBoxAutoSaveActivated.Enabled);
  Activate();
  EXPECT_TRUE(Msg.List.empty());
  EXPECT_TRUE(S.ActivationReady);
  fs::remove(Dir.File("Activation_Data"));
  ASSERT_TRUE(Open(Image));
  EXPECT_FALSE(S.CacheUnwritable);
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
  // Outside the region the activation buffer keeps the gamma image; after
  // another gamma the result there is the new gamma image, inside the blend.
  const std::vector<uint16_t> Old = Gamma();
  TrackBarGammaChange(S, 12);
  const std::vector<uint16_t> G = Gamma();
  EXPECT_EQ(S.GammaImage, G);
  const BlendWeights B = ObraBlendWeights(S.ObraWeight);
  size_t Blended = 0;
  for (int32_t I = 0; I < W * H; ++I) {
    const int32_t X = I % W - S.RoiLeft, Y = I / W - S.RoiTop;
    if (X < 0 || X >= S.RoiWidth || Y < 0 || Y >= S.RoiHeight) {
      ASSERT_EQ(S.ActivationImage[I], Old[I]) << I;
      ASSERT_EQ(S.ResultImage[I], G[I]) << I;
    } else {
      const double V = G[I] * double(B.G) + S.ActivationImage[I] * double(B.W);
      ASSERT_EQ(S.ResultImage[I], uint16_t(std::nearbyint(V))) << I;
      Blended += S.ResultImage[I] != G[I];
    }
  }
  EXPECT_GT(Blended, 0u);
  // Moving the region drops a region activation.
  TypeCorner(std::to_string(S.RoiLeft == 0 ? 1 : 0), S.EditRoiTop.Text);
  EXPECT_EQ(S.EditRoiLeft.Color, ClWhite);
  EXPECT_TRUE(S.SpeedButtonSetTopLeft.Enabled);
  EXPECT_EQ(S.ShapeRoiColor, ClRed);
  SpeedButtonSetTopLeftClick(S);
  EXPECT_EQ(S.PanelEqWeight.Caption, "Not active");
  EXPECT_TRUE(S.SpeedButtonEnableEQ.Enabled);
  EXPECT_FALSE(S.SpeedButtonSetTopLeft.Enabled);
  EXPECT_EQ(S.ShapeRoiColor, ClLime);
  // Typed coordinates are checked: not a number, or past an edge.
  for (const std::string& Text :
       std::vector<std::string>{"12a", std::to_string(W - 512 + 1), "-1"}) {
    TypeCorner(Text, S.EditRoiTop.Text);
    EXPECT_EQ(S.EditRoiLeft.Color, InvalidFieldColor) << Text;
    EXPECT_FALSE(S.SpeedButtonSetTopLeft.Enabled) << Text;
  }
  TypeCorner(std::to_string(W - 512), S.EditRoiTop.Text);
  EXPECT_EQ(S.EditRoiLeft.Color, ClWhite);
  EXPECT_TRUE(S.SpeedButtonSetTopLeft.Enabled);
}

TEST_F(Workflow, RoiIsCentredOnTheVisibleViewAndKeptForTheSameSize) {
  ASSERT_TRUE(Open(Image));
  SpeedButton1Click(S, 1);
  S.ClientWidth = 400, S.ClientHeight = 300, S.ScrollX = 250, S.ScrollY = 0;
  S.Image1Left = S.Image1Top = 0;
  ComboBoxRoiChange(S, 1);
  EXPECT_EQ(S.RoiLeft,
            W - 512);  // centre 200 + 250 - 256 = 194 runs past the right edge
  ComboBoxRoiChange(S, 0);
  S.ScrollX = 0;
  ComboBoxRoiChange(S, 1);
  EXPECT_EQ(S.RoiLeft, 0);
  EXPECT_EQ(S.RoiTop, 0);  // centres 200, 150 - 256 < 0
  // An open of the same size keeps the region, another size resets it and
  // disables the typed corner, as "Set full frame" does.
  TypeCorner("0", "20");
  SpeedButtonSetTopLeftClick(S);
  WriteFits(Dir.File("y.fits"), W, H, [](int X, int Y) { return Pattern(Y, X); });
  ASSERT_TRUE(Open(Dir.File("y.fits")));
  EXPECT_TRUE(S.RoiActive);
  EXPECT_EQ(S.RoiTop, 20);
  for (bool Reopen : {false, true}) {
    ComboBoxRoiChange(S, 1);
    TypeCorner(std::to_string(S.RoiLeft + 1), S.EditRoiTop.Text);
    ASSERT_TRUE(S.SpeedButtonSetTopLeft.Enabled);
    if (!Reopen) SpeedButtonSetFullframeClick(S);
    WriteFits(Dir.File("z.fits"), 600, 520);
    if (Reopen) {
      ASSERT_TRUE(Open(Dir.File("z.fits")));
    }
    EXPECT_FALSE(S.RoiActive);
    EXPECT_FALSE(S.SpeedButtonSetTopLeft.Enabled);
    EXPECT_EQ(S.ShapeRoiColor, ClLime);
  }
  EXPECT_EQ(S.RoiWidth, 600);
  EXPECT_EQ(S.RoiIndex, 0);
}

TEST_F(Workflow, ChannelSettingsSlidersAndLevels) {
  ASSERT_TRUE(Open(Image));
  // Sliders recompose, except while loading or dragging, and stay in range.
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
  TrackBarOutputWhiteChange(S, 1);
  EXPECT_EQ(S.OutputWhite, 40000);
  EXPECT_EQ(S.PanelOutputWhite.Caption, "40000");
  // Automatic output levels from the result's statistics; fixed ones survive.
  ImageRecord G = S.Image;
  ComputeStatistics(G, S.ResultImage.data());
  SpeedButtonAutocontrastClick(S);
  EXPECT_EQ(int(S.OutputWhite), std::max<int>(G.HighP001, 40000));
  EXPECT_EQ(int(S.OutputBlack), std::min<int>(G.Low1, 24000));
  SpeedButtonFixContrastClick(S);
  TrackBarOutputBlackChange(S, 1234);
  MakeResultImage(S);
  S.PanelOutputBlack.Caption = "stale";
  AutoOutputParam(S, false, false);
  EXPECT_EQ(S.OutputBlack, 1234);
  EXPECT_EQ(S.PanelOutputBlack.Caption, "1234");
  SpeedButtonAutocontrastClick(S);
  EXPECT_EQ(S.OutputBlack, std::min<int>(G.Low1, 24000));
  // A fixed gamma survives an open; the defaults follow the channel
  // (unknown: 2.2, 0.15).
  SpeedButtonFixGammaClick(S);
  TrackBarGammaChange(S, 45);
  const uint16_t Black = S.InputBlack, White = S.InputWhite;
  WriteFits(
      Dir.File("flat.fits"), W, H, [](int, int) { return uint16_t(500); }, 999);
  ASSERT_TRUE(Open(Dir.File("flat.fits")));
  // The input levels stay on an image of one value.
  EXPECT_EQ(S.GammaSetting, 45);
  EXPECT_EQ(S.ObraWeight, 15);
  EXPECT_EQ(S.PanelInfo.Caption, "");
  EXPECT_EQ(S.InputBlack, Black);
  EXPECT_EQ(S.InputWhite, White);
  SpeedButtonAutoGammaClick(S);
  EXPECT_EQ(S.GammaSetting, 22);
  EXPECT_EQ(S.PanelGamma.Caption, "2.2");
}

TEST_F(Workflow, InputLevelPanelsFollowTheOffsetOfTheOpenImage) {
  ASSERT_TRUE(Open(Image));
  const std::string Zel = Dir.File("zel.fits"), Flat = Dir.File("flat.fits");
  WriteFits(Zel, W, H, Pattern, 193, true);
  WriteFits(
      Flat, W, H, [](int, int) { return uint16_t(700); }, 193, true);
  // Fixed levels are kept, but shown against the new image's offset; so are
  // automatic ones on an image of one value, which leaves them unchanged.
  SpeedButtonFixContrastClick(S);
  for (const std::string& File : {Zel, Image, Flat}) {
    if (File == Flat) SpeedButtonAutocontrastClick(S);
    ASSERT_TRUE(Open(File));
    ASSERT_EQ(S.Image.ValueOffset, File == Image ? 0 : 100);
    EXPECT_EQ(S.PanelBlack.Caption, std::to_string(S.InputBlack - S.Image.ValueOffset)) << File;
    EXPECT_EQ(S.PanelWhite.Caption, std::to_string(S.InputWhite - S.Image.ValueOffset)) << File;
  }
}

TEST_F(Workflow, PlacementScaleReadoutAndSaveModes) {
  // The fit scale of a wide first image, and the scroll hint below it.
  WriteFits(Dir.File("wide.fits"), 2000, 700);
  ASSERT_TRUE(Open(Dir.File("wide.fits")));
  EXPECT_EQ(S.DisplayScale, 3);
  EXPECT_EQ(S.FitScale, 3);  // ceil(2000 / 900)
  SpeedButton1Click(S, 1);
  EXPECT_EQ(S.PanelProc.Caption, "Scroll the image by left mouse button");
  EXPECT_EQ(S.Image1.Width, 2000);
  SpeedButton1Click(S, 3);
  EXPECT_EQ(S.PanelProc.Caption, "");
  EXPECT_EQ(S.Image1.Width, 666);
  // Another size is fitted and placed afresh.
  SpeedButton1Click(S, 1);
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(S.Image1Left, (S.AreaWidth - W) / 2);
  WriteFits(Dir.File("small.fits"), 300, 200);
  ASSERT_TRUE(Open(Dir.File("small.fits")));
  EXPECT_EQ(S.Image1Left, (S.AreaWidth - 300) / 2);
  EXPECT_EQ(S.Image1Top, (S.AreaHeight - 200) / 2);
  ASSERT_TRUE(Open(Dir.File("wide.fits")));
  EXPECT_EQ(S.DisplayScale, 3);
  EXPECT_EQ(S.Image1Left, (S.AreaWidth - 666) / 2);
  EXPECT_TRUE(S.Image1Visible);
  // ZEL images are stored as value + 100 and shown as stored value - 100.
  WriteFits(
      Image, W, H, [](int X, int Y) { return uint16_t(X == 40 && Y == 80 ? 0 : X + Y + 100); }, 193,
      true);
  ASSERT_TRUE(Open(Image));
  SpeedButton1Click(S, 4);
  ReadPixel(S, 10, 20);
  EXPECT_EQ(S.PanelCoordinates.Caption, "[ 40, 80 ]");
  EXPECT_EQ(S.PanelPixelVal.Caption, "No data");
  ReadPixel(S, 11, 20);
  ReadPixel(S, W, 0);  // outside the picture: nothing changes
  EXPECT_EQ(S.PanelPixelVal.Caption,
            "Input pixel value  124");  // 44 + 80, offset cancelled
  // Four save modes: the frame or the region, at 1:1 or at the view's scale.
  SpeedButton1Click(S, 3);
  ComboBoxRoiChange(S, 1);
  const std::pair<uint32_t, uint32_t> Sizes[] = {
      {W, H}, {W / 3, H / 3}, {512, 512}, {512 / 3, 512 / 3}};
  for (int Mode = 1; Mode <= 4; ++Mode) {
    const std::string Out = Dir.File("out" + std::to_string(Mode) + ".png");
    ASSERT_TRUE(SaveImage(S, Mode, Out)) << Mode;
    const std::vector<uint8_t> B = ReadBytes(Out);
    ASSERT_GE(B.size(), 24u);
    EXPECT_EQ(Fetch(&B[16], 4, true), Sizes[Mode - 1].first) << Mode;
    EXPECT_EQ(Fetch(&B[20], 4, true), Sizes[Mode - 1].second) << Mode;
  }
  EXPECT_FALSE(SaveImage(S, 1, Dir.File("no/such/dir/x.png")));
  EXPECT_FALSE(Msg.List.empty());
}

TEST(WorkflowText, ProgressRoundsHalfToEven) {
  EXPECT_EQ(ProgressText(1, 40), "Processing     2 %");
  EXPECT_EQ(ProgressText(3, 40), "Processing     8 %");
  EXPECT_EQ(ProgressText(40, 40), "Processing     100 %");
  EXPECT_EQ(ReplaceExtension("a.b.fits", "_proc"), "a.b_proc");
  EXPECT_EQ(ReplaceExtension("noext", ".act"), "noext.act");
}

TEST_F(Workflow, NoOpenWhileAnActivationRuns) {
  ASSERT_TRUE(Open(Image));
  WriteFits(Dir.File("other.fits"), W / 2, H / 2);
  ASSERT_TRUE(StartActivation(S));
  const uint16_t* Input = S.InputImage.data();
  const uint16_t* Output = S.ActivationImage.data();
  EXPECT_FALSE(Open(Dir.File("other.fits")));
  EXPECT_EQ(Msg.List.size(), 1u);
  EXPECT_EQ(S.ImageName, "x.fits");
  EXPECT_EQ(S.InputImage.data(), Input);
  EXPECT_EQ(S.ActivationImage.data(), Output);
  EXPECT_EQ(S.Image.Width, W);
  ASSERT_TRUE(AwaitActivation(S)) << "the activation did not finish";
  EXPECT_TRUE(Open(Dir.File("other.fits")));
}
