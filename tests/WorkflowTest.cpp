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
template <typename F = decltype(&Pattern)>
void WriteFits(const std::string& File, int W, int H, F Value = Pattern, int Wavelength = 193,
               bool Zel = false) {
  std::vector<int16_t> S;
  for (int Y = H - 1; Y >= 0; --Y)
    for (int X = 0; X < W; ++X) S.push_back(int16_t(Value(X, Y) - (Zel ? 100 : 32768)));
  WriteBytes(File, FitsFile(ImageCards(16, W, H,
                                       {Card("BZERO", "32768"),
                                        Card("WAVELNTH", std::to_string(Wavelength)),
                                        Card("DATE-OBS", "'2013-06-24T17:31:30.84'"),
                                        Card("TELESCOP", Zel ? "'ZEL'" : "'SDO'")}),
                            BigEndian(S)));
}

class Workflow : public ::testing::Test {
 protected:
  void SetUp() override {
    // A small engine and plain display defaults, so activations take
    // milliseconds.
    std::istringstream In(
        "KerSize 3\nNRSigma 2\nGlobalB 1\nLocalB 0\nGlobalW 1\nLocalW 0\n"
        "Gamma193 30\nObra193 10\nKerS_20  1\nKerS_10  0.5\n");
    Params = Parameters{};
    ASSERT_FALSE(ReadIniStream(In, Params).Fatal);
    BuildKernels();
    InitializeState(S);
    S.ThreadCount = 2;
    S.ShowMessage = Msg.Sink();
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
    EXPECT_EQ(std::tuple(S.PanelTopEnabled, S.PanelRightEnabled, S.Image1Enabled, S.Timer1Enabled),
              std::tuple(false, false, false, true));
    while (!Timer1Timer(S)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(std::tuple(S.Timer1Enabled, S.PanelTopEnabled, S.PanelProc.Caption),
              std::tuple(false, true, ""));
  }

  std::vector<uint16_t> Gamma() {
    std::vector<uint16_t> G(S.InputImage.size());
    MakeGammaImage(S, S.InputImage, G);
    return G;
  }

  // Types a corner into the region fields; the field colour and the button.
  std::tuple<Rgb, bool> TypeCorner(const std::string& Left, const std::string& Top) {
    S.EditRoiLeft.Text = Left, S.EditRoiTop.Text = Top;
    EditRoiLeftChange(S);
    return {S.EditRoiLeft.Color, S.SpeedButtonSetTopLeft.Enabled};
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
  EXPECT_EQ(std::tuple(S.FontControlsEnabled, S.Image1.Width), std::tuple(true, 0));
  EXPECT_FALSE(Open(Dir.File("missing.fits")));
  EXPECT_EQ(std::tuple(S.FirstImage, S.SpeedButtonSave.Enabled, S.ScaleButtons[1].Enabled),
            std::tuple(true, false, false));
  Msg.List.clear();
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(std::tuple(S.ImageName, S.ImageDir, S.ImageExt, S.ActDir, S.ActFileName),
            std::tuple("x.fits", Dir.Path().string(), ".FITS", Dir.File("Activation_Data"),
                       Dir.File("Activation_Data/x.act")));
  EXPECT_EQ(std::tuple(S.SaveDialog1.FileName, S.SaveDialog1.InitialDir),
            std::tuple("x_proc", S.ImageDir));
  std::string ReadMe;
  for (const char* L : ReadMeLines) ReadMe += std::string(L) + "\n";
  EXPECT_EQ(ReadText(S.ActDir + "/ReadMe.txt"), ReadMe);
  // Controls after the first open.
  EXPECT_EQ(std::tuple(S.FirstImage, S.CacheUnwritable), std::tuple(false, false));
  EXPECT_TRUE(S.SpeedButtonSave.Enabled && S.SpeedButtonBatch.Enabled && S.Image1Visible &&
              S.ScaleButtons[S.DisplayScale].Down && S.CheckBoxAutoSaveActivated.Enabled);
  EXPECT_EQ(std::tuple(S.DisplayScale, S.Image1.Width), std::tuple(S.FitScale, W / S.FitScale));
  EXPECT_EQ(std::tuple(S.PanelEqWeight.Caption, S.PanelInfo.Caption, S.PanelTime.Caption,
                       S.PanelRoi.Caption),
            std::tuple("Not active", "19.3 nm", "24. 06. 2013    17:31:30", "ROI"));
  ASSERT_EQ(S.RoiItems.size(), 3u);
  EXPECT_EQ(std::tuple(S.RoiItems[0].Caption, S.RoiItems[1].Caption, S.RoiItems[2].Caption),
            std::tuple("Full  frame", "512 x 512", "640 x 480"));
  // Channel defaults and automatic input levels.
  EXPECT_EQ(std::tuple(S.GammaSetting, S.PanelGamma.Caption, S.ObraWeight),
            std::tuple(30, "3.0", 10));
  EXPECT_EQ(std::tuple(S.InputBlack, S.InputWhite),
            std::tuple(S.Image.LowP1, std::min(S.Image.HighP0001, S.Image.MaxValue)));
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
  EXPECT_EQ(std::tuple(Open(Dir.File("missing.fits")), Msg.List),
            std::tuple(false, std::vector<std::string>{"Color images are not supported."}));
  EXPECT_EQ(std::tuple(S.ImageName, S.Image.Valid, S.Loading, S.InputImage),
            std::tuple("x.fits", true, false, Before));
  // The directory list and the neighbour buttons.
  for (const char* Name : {"a.fits", "c.FITS", "d.fit"}) WriteFits(Dir.File(Name), 8, 8);
  ASSERT_TRUE(Open(Dir.File("a.fits")));
  EXPECT_EQ(S.DirFiles, (std::vector<std::string>{"a.fits", "c.FITS", "short.fits", "x.fits"}));
  EXPECT_EQ(std::tuple(S.DirIndex, S.SpeedButtonPrevious.Enabled, S.SpeedButtonNext.Enabled),
            std::tuple(0, false, true));
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(std::tuple(S.DirIndex, S.SpeedButtonPrevious.Enabled, S.SpeedButtonNext.Enabled),
            std::tuple(3, true, false));
}

TEST_F(Workflow, FullFrameActivationIsCachedAndReused) {
  ASSERT_TRUE(Open(Image));
  Activate();
  EXPECT_EQ(std::tuple(S.ActivationReady, S.SpeedButtonEnableEQ.Enabled,
                       S.CheckBoxAutoSaveActivated.Enabled, S.PanelEqWeight.Caption,
                       S.TrackBarEqWeight.Enabled),
            std::tuple(true, false, false, "0.10", true));
  EXPECT_EQ(std::tuple(fs::file_size(S.ActFileName), fs::exists(S.ActFileName + ".tmp")),
            std::tuple(174u + W * H * 2u, false));
  const std::vector<uint16_t> Activated = S.ActivationImage;
  EXPECT_NE(Activated,
            Gamma());  // the engine replaced the gamma image it was pre-filled with
  // The result blends the activation by its weight.
  TrackBarEqWeightChange(S, 0);
  EXPECT_EQ(std::tuple(S.PanelEqWeight.Caption, S.ResultImage), std::tuple("Off", S.GammaImage));
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
    EXPECT_EQ(std::tuple(T.ActivationReady, T.SpeedButtonEnableEQ.Enabled, T.Workers == nullptr,
                         T.ActivationImage == Activated, T.PanelInfo.Caption),
              std::tuple(true, false, true, true, "19.3 nm"))
        << Again;
  }
  // The region keeps a full-frame activation, and leaving it keeps it too.
  ComboBoxRoiChange(S, 1);
  EXPECT_FALSE(S.SpeedButtonEnableEQ.Enabled);
  TypeCorner(S.EditRoiLeft.Text, "3");
  SpeedButtonSetTopLeftClick(S);
  EXPECT_EQ(std::tuple(S.RoiTop, S.SpeedButtonEnableEQ.Enabled, S.TrackBarEqWeight.Enabled),
            std::tuple(3, false, true));
  SpeedButtonSetFullframeClick(S);
  EXPECT_EQ(std::tuple(S.RoiActive, S.ShapeRoiVisible, S.SpeedButtonEnableEQ.Enabled),
            std::tuple(false, false, false));
}

TEST_F(Workflow, CacheFaults) {
  ASSERT_TRUE(Open(Image));
  // A cache file of another size, or cut in the middle of its samples, is
  // ignored and left on disk.
  std::vector<uint16_t> Samples(W * H, 7);
  ASSERT_TRUE(WriteTiff16(Samples.data(), W, H - 1, true, S.ActFileName));
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(std::tuple(S.ActivationReady, S.PanelEqWeight.Caption, fs::exists(S.ActFileName)),
            std::tuple(false, "Not active", true));
  ASSERT_TRUE(WriteTiff16(Samples.data(), W, H, true, S.ActFileName));
  fs::resize_file(S.ActFileName, 174 + W * H);
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(std::tuple(S.ActivationReady, S.SpeedButtonEnableEQ.Enabled), std::tuple(false, true));
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
  EXPECT_EQ(std::tuple(S.CacheUnwritable, S.CheckBoxAutoSaveActivated.Enabled),
            std::tuple(true, false));
  Activate();
  EXPECT_EQ(std::tuple(Msg.List.empty(), S.ActivationReady), std::tuple(true, true));
  fs::remove(Dir.File("Activation_Data"));
  ASSERT_TRUE(Open(Image));
  EXPECT_FALSE(S.CacheUnwritable);
}

TEST_F(Workflow, RoiActivationStaysWithItsRegion) {
  ASSERT_TRUE(Open(Image));
  ComboBoxRoiChange(S, 1);
  EXPECT_EQ(std::tuple(S.RoiActive, S.PanelProc.Caption, S.CheckBoxAutoSaveActivated.Enabled,
                       S.RoiWidth, S.ShapeRoiVisible),
            std::tuple(true, "Move ROI by right mouse button", false, 512, true));
  Activate();
  EXPECT_EQ(std::tuple(S.ActivationReady, fs::exists(S.ActFileName), S.PanelEqWeight.Caption),
            std::tuple(false, false, "0.10"));
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
      ASSERT_EQ(std::tuple(S.ActivationImage[I], S.ResultImage[I]), std::tuple(Old[I], G[I])) << I;
    } else {
      const double V = G[I] * double(B.G) + S.ActivationImage[I] * double(B.W);
      ASSERT_EQ(S.ResultImage[I], uint16_t(std::nearbyint(V))) << I;
      Blended += S.ResultImage[I] != G[I];
    }
  }
  EXPECT_GT(Blended, 0u);
  // Moving the region drops a region activation.
  EXPECT_EQ(TypeCorner(std::to_string(S.RoiLeft == 0 ? 1 : 0), S.EditRoiTop.Text),
            std::tuple(ClWhite, true));
  EXPECT_EQ(S.ShapeRoiColor, ClRed);
  SpeedButtonSetTopLeftClick(S);
  EXPECT_EQ(std::tuple(S.PanelEqWeight.Caption, S.SpeedButtonEnableEQ.Enabled,
                       S.SpeedButtonSetTopLeft.Enabled, S.ShapeRoiColor),
            std::tuple("Not active", true, false, ClLime));
  // Typed coordinates are checked: not a number, or past an edge.
  for (const std::string& Text : std::vector<std::string>{"12a", std::to_string(W - 512 + 1), "-1"})
    EXPECT_EQ(TypeCorner(Text, S.EditRoiTop.Text), std::tuple(InvalidFieldColor, false)) << Text;
  EXPECT_EQ(TypeCorner(std::to_string(W - 512), S.EditRoiTop.Text), std::tuple(ClWhite, true));
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
  EXPECT_EQ(std::tuple(S.RoiLeft, S.RoiTop), std::tuple(0, 0));  // centres 200, 150 - 256 < 0
  // An open of the same size keeps the region, another size resets it and
  // disables the typed corner, as "Set full frame" does.
  TypeCorner("0", "20");
  SpeedButtonSetTopLeftClick(S);
  WriteFits(Dir.File("y.fits"), W, H, [](int X, int Y) { return Pattern(Y, X); });
  ASSERT_TRUE(Open(Dir.File("y.fits")));
  EXPECT_EQ(std::tuple(S.RoiActive, S.RoiTop), std::tuple(true, 20));
  for (bool Reopen : {false, true}) {
    ComboBoxRoiChange(S, 1);
    ASSERT_EQ(std::get<1>(TypeCorner(std::to_string(S.RoiLeft + 1), S.EditRoiTop.Text)), true);
    if (!Reopen) SpeedButtonSetFullframeClick(S);
    WriteFits(Dir.File("z.fits"), 600, 520);
    if (Reopen) {
      ASSERT_TRUE(Open(Dir.File("z.fits")));
    }
    EXPECT_EQ(std::tuple(S.RoiActive, S.SpeedButtonSetTopLeft.Enabled, S.ShapeRoiColor),
              std::tuple(false, false, ClLime));
  }
  EXPECT_EQ(std::tuple(S.RoiWidth, S.RoiIndex), std::tuple(600, 0));
}

TEST_F(Workflow, ChannelSettingsSlidersAndLevels) {
  ASSERT_TRUE(Open(Image));
  // Sliders recompose, except while loading or dragging, and stay in range.
  const uint64_t V = S.Image1Version;
  TrackBarGammaChange(S, 50, true);
  EXPECT_EQ(std::tuple(S.Image1Version, S.PanelGamma.Caption), std::tuple(V, "5.0"));
  S.Loading = true;
  TrackBarBlackChange(S, S.TrackBarBlack.Min);
  EXPECT_EQ(S.Image1Version, V);
  S.Loading = false;
  TrackBarGammaChange(S, 50);
  EXPECT_EQ(S.Image1Version, V + 1);
  TrackBarOutputWhiteChange(S, 1);
  EXPECT_EQ(std::tuple(S.OutputWhite, S.PanelOutputWhite.Caption), std::tuple(40000, "40000"));
  // Automatic output levels from the result's statistics; fixed ones survive.
  ImageRecord G = S.Image;
  ComputeStatistics(G, S.ResultImage.data());
  SpeedButtonAutocontrastClick(S);
  EXPECT_EQ(std::tuple(int(S.OutputWhite), int(S.OutputBlack)),
            std::tuple(std::max<int>(G.HighP001, 40000), std::min<int>(G.Low1, 24000)));
  SpeedButtonFixContrastClick(S);
  TrackBarOutputBlackChange(S, 1234);
  MakeResultImage(S);
  S.PanelOutputBlack.Caption = "stale";
  AutoOutputParam(S, false, false);
  EXPECT_EQ(std::tuple(S.OutputBlack, S.PanelOutputBlack.Caption), std::tuple(1234, "1234"));
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
  EXPECT_EQ(
      std::tuple(S.GammaSetting, S.ObraWeight, S.PanelInfo.Caption, S.InputBlack, S.InputWhite),
      std::tuple(45, 15, "", Black, White));
  SpeedButtonAutoGammaClick(S);
  EXPECT_EQ(std::tuple(S.GammaSetting, S.PanelGamma.Caption), std::tuple(22, "2.2"));
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
    EXPECT_EQ(std::tuple(S.PanelBlack.Caption, S.PanelWhite.Caption),
              std::tuple(std::to_string(S.InputBlack - S.Image.ValueOffset),
                         std::to_string(S.InputWhite - S.Image.ValueOffset)))
        << File;
  }
}

TEST_F(Workflow, PlacementScaleReadoutAndSaveModes) {
  // The fit scale of a wide first image, and the scroll hint below it.
  WriteFits(Dir.File("wide.fits"), 2000, 700);
  ASSERT_TRUE(Open(Dir.File("wide.fits")));
  EXPECT_EQ(std::tuple(S.DisplayScale, S.FitScale), std::tuple(3, 3));  // ceil(2000 / 900)
  SpeedButton1Click(S, 1);
  EXPECT_EQ(std::tuple(S.PanelProc.Caption, S.Image1.Width),
            std::tuple("Scroll the image by left mouse button", 2000));
  SpeedButton1Click(S, 3);
  EXPECT_EQ(std::tuple(S.PanelProc.Caption, S.Image1.Width), std::tuple("", 666));
  // Another size is fitted and placed afresh.
  SpeedButton1Click(S, 1);
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(S.Image1Left, (S.AreaWidth - W) / 2);
  WriteFits(Dir.File("small.fits"), 300, 200);
  ASSERT_TRUE(Open(Dir.File("small.fits")));
  EXPECT_EQ(std::tuple(S.Image1Left, S.Image1Top),
            std::tuple((S.AreaWidth - 300) / 2, (S.AreaHeight - 200) / 2));
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
  EXPECT_EQ(std::tuple(S.PanelCoordinates.Caption, S.PanelPixelVal.Caption),
            std::tuple("[ 40, 80 ]", "No data"));
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
    EXPECT_EQ(std::pair(Fetch(&B[16], 4, true), Fetch(&B[20], 4, true)), Sizes[Mode - 1]) << Mode;
  }
  EXPECT_TRUE(!SaveImage(S, 1, Dir.File("no/such/dir/x.png")) && !Msg.List.empty());
}

TEST(WorkflowText, ProgressRoundsHalfToEven) {
  EXPECT_EQ(std::tuple(ProgressText(1, 40), ProgressText(3, 40), ProgressText(40, 40)),
            std::tuple("Processing     2 %", "Processing     8 %", "Processing     100 %"));
  EXPECT_EQ(std::tuple(ReplaceExtension("a.b.fits", "_proc"), ReplaceExtension("noext", ".act")),
            std::tuple("a.b_proc", "noext.act"));
}

TEST_F(Workflow, NoOpenWhileAnActivationRuns) {
  ASSERT_TRUE(Open(Image));
  WriteFits(Dir.File("other.fits"), W / 2, H / 2);
  ASSERT_TRUE(StartActivation(S));
  const uint16_t* Input = S.InputImage.data();
  const uint16_t* Output = S.ActivationImage.data();
  EXPECT_FALSE(Open(Dir.File("other.fits")));
  EXPECT_EQ(std::tuple(Msg.List.size(), S.ImageName, S.InputImage.data(), S.ActivationImage.data(),
                       S.Image.Width),
            std::tuple(1u, "x.fits", Input, Output, W));
  while (!Timer1Timer(S)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(Open(Dir.File("other.fits")));
}
