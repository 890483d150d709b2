// "&Add": summation of a second image into the current one in the window.
#include <QComboBox>
#include <QSlider>
#include <QTest>
#include <filesystem>

#include "GuiSupport.h"

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

namespace {

struct Frame {
  int Width = 64, Height = 48, Wavelength = 193;
  std::string Telescope = "SDO", Instrument = "AIA";
  int Bitpix = 16;
};

// A FITS image of the given frame; samples Value(x, y) as the loader gives
// them (ZEL files are stored as value - 100 and carry an offset of 100).
void WriteFrame(const std::string& File, const Frame& F, uint16_t (*Value)(int, int)) {
  const bool Zel = F.Telescope == "ZEL";
  const std::vector<std::string> Cards = ImageCards(
      F.Bitpix, F.Width, F.Height,
      {Card("BZERO", Zel ? "100" : "32768"), Card("WAVELNTH", std::to_string(F.Wavelength)),
       Card("TELESCOP", "'" + F.Telescope + "'"), Card("INSTRUME", "'" + F.Instrument + "'"),
       Card("DATE-OBS", "'2013-06-24T17:31:30.84'")});
  std::vector<uint8_t> Data;
  if (F.Bitpix == 16) {
    std::vector<int16_t> S;
    for (int Y = F.Height - 1; Y >= 0; --Y)
      for (int X = 0; X < F.Width; ++X) S.push_back(int16_t(Value(X, Y) - (Zel ? 100 : 32768)));
    Data = BigEndian(S);
  } else {
    std::vector<int32_t> S;
    for (int Y = F.Height - 1; Y >= 0; --Y)
      for (int X = 0; X < F.Width; ++X) S.push_back(int32_t(Value(X, Y)) - 32768);
    Data = BigEndian(S);
  }
  WriteBytes(File, FitsFile(Cards, Data));
}

// Dark corner (0), a saturating bright band and a ramp between.
uint16_t Sun(int X, int Y) {
  if (X < 4 && Y < 4) return 0;
  if (Y >= 40) return 32867;
  return static_cast<uint16_t>(200 + X * 30 + Y * 11);
}

class Summation : public Window {
 protected:
  std::string First;
  void SetUp() override {
    Window::SetUp();
    First = Dir.File("first.fits");
    WriteFrame(First, Frame{}, Sun);
  }
  // "&Add" with the dialog answering File.
  void Add(const std::string& File) {
    Script->OpenAnswers.push_back(FileAnswer{File, 1});
    Click("SpeedButtonAdd");
  }
  std::string Second(const Frame& F, const char* Name = "second.fits") {
    WriteFrame(Dir.File(Name), F, Pattern);
    return Dir.File(Name);
  }
};

}  // namespace

TEST_F(Summation, TheChecksComeInOrder) {
  ASSERT_TRUE(Open(First));
  const std::vector<uint16_t> Before = Global.InputImage;
  Frame Other;
  Other.Width = 65;
  Other.Wavelength = 171;
  Other.Bitpix = 32;
  Add(Second(Other, "size.fits"));
  Other = Frame{};
  Other.Bitpix = 32;
  Other.Wavelength = 171;
  Add(Second(Other, "format.fits"));
  Other = Frame{};
  Other.Wavelength = 171;
  Other.Telescope = "OTHER";
  Add(Second(Other, "wavelength.fits"));
  Other = Frame{};
  Other.Telescope = "sdo";  // letter case counts
  Add(Second(Other, "telescope.fits"));
  Other = Frame{};
  Other.Instrument = "HMI";
  Add(Second(Other, "instrument.fits"));
  EXPECT_EQ(
      Script->Messages,
      (std::vector<std::string>{
          "This image has incorrect size!", "This image has incompatible data format!",
          "This image has incorrect wavelength!", "This image was taken with different instrument!",
          "This image was taken with different instrument!"}));
  EXPECT_EQ(Global.InputImage, Before);
  EXPECT_FALSE(Global.ImageIsSum);
  // The add dialog is the open dialog.
  ASSERT_FALSE(Script->OpenRequests.empty());
  EXPECT_EQ(Script->OpenRequests.back().Title, "Open image");
}

TEST_F(Summation, AnImageAddedToItselfCarriesTheOffsetOnceAndSaturates) {
  Frame Zel;
  Zel.Telescope = "ZEL";
  WriteFrame(First, Zel, Sun);
  ASSERT_TRUE(Open(First));
  ASSERT_EQ(Global.Image.ValueOffset, 100);
  const std::vector<uint16_t> One = Global.InputImage;
  Add(First);
  EXPECT_TRUE(Script->Messages.empty());
  size_t Clipped = 0, Zeros = 0, Wrong = 0;
  for (size_t I = 0; I < One.size(); ++I) {
    const int64_t Want = std::clamp<int64_t>(2 * int64_t(One[I]) - 100, 0, 65535);
    Wrong += Global.InputImage[I] != Want;
    Clipped += Want == 65535;
    Zeros += One[I] == 0 && Global.InputImage[I] == 0;
  }
  EXPECT_EQ(Wrong, 0u);
  EXPECT_GT(Clipped, 0u);
  EXPECT_EQ(Zeros, 16u);
  // The statistics follow the sum.
  EXPECT_EQ(Global.Image.MaxValue, 65535);
}

TEST_F(Summation, TheSumIsShownWholeWithAutomaticLevelsAndNoActivation) {
  ASSERT_TRUE(Open(Image));
  ActivateAndWait();
  EXPECT_NE(Text("PanelEqWeight"), "Not active");
  ChooseRoi(1);
  Click("SpeedButtonFixContrast");
  auto* Black = Find<QSlider>("TrackBarBlack");
  Black->setValue(Black->minimum());
  const int Moved = Black->value();

  Add(Image);
  EXPECT_TRUE(Script->Messages.empty());
  EXPECT_FALSE(Global.RoiActive);
  EXPECT_EQ(Find<QComboBox>("ComboBoxRoi")->currentIndex(), 0);
  EXPECT_EQ(Text("PanelEqWeight"), "Not active");
  EXPECT_TRUE(Enabled("SpeedButtonEnableEQ"));
  EXPECT_FALSE(Global.ActivationReady);
  // Automatic input levels of the sum although "Fix" stays down.
  EXPECT_TRUE(Checked("SpeedButtonFixContrast"));
  EXPECT_NE(Black->value(), Moved);
  EXPECT_EQ(Black->value(), Global.Image.LowP1);
}

TEST_F(Summation, ASumNeverReachesTheActivationCache) {
  ASSERT_TRUE(Open(Image));
  const std::string Act = Global.ActFileName;
  Add(Image);
  EXPECT_FALSE(Enabled("CheckBoxAutoSaveActivated"));
  ActivateAndWait();
  EXPECT_FALSE(fs::exists(Act));
  // The plain image opened again finds nothing cached and is not activated.
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(Text("PanelEqWeight"), "Not active");
  EXPECT_TRUE(Enabled("CheckBoxAutoSaveActivated"));
}

TEST_F(Summation, ARefusedFullLoadLeavesTheImage) {
  ASSERT_TRUE(Open(First));
  const std::vector<uint16_t> Before = Global.InputImage;
  std::vector<uint8_t> Bytes = ReadBytes(First);
  Bytes.resize(2880 + 100);  // a good header, far too few samples
  WriteBytes(Dir.File("short.fits"), Bytes);
  Add(Dir.File("short.fits"));
  EXPECT_EQ(Script->Messages.size(), 1u);
  EXPECT_EQ(Global.InputImage, Before);
  EXPECT_FALSE(Global.ImageIsSum);
  Add(Dir.File("missing.fits"));
  EXPECT_EQ(Script->Messages.size(), 2u);
  EXPECT_EQ(Global.InputImage, Before);
}
