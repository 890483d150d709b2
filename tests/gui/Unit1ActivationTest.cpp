// Activation through the window: controls during a run, Timer1, the OBRA
// controls' two states, the cache and closing the window mid-run.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "GuiSupport.h"

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

TEST_F(Window, RoiActivationRunsThroughTimer1) {
  ASSERT_TRUE(Open(Image));
  ChooseRoi(1);
  EXPECT_EQ(Text("PanelProc"), "Move ROI by right mouse button");
  EXPECT_FALSE(Enabled("CheckBoxAutoSaveActivated"));

  // The real timer is slow; the handler is run by hand once the workers are done.
  Click("SpeedButtonEnableEQ");
  EXPECT_TRUE(Find<QTimer>("Timer1")->isActive());
  EXPECT_EQ(Text("PanelProc"), "Processing     0%");
  EXPECT_EQ(Background(Find<QWidget>("PanelProc")), QColor(96, 255, 144));
  for (const char* Off : {"PanelTop", "PanelRight", "Image1", "ShapeRoi", "SpeedButtonEnableEQ"})
    EXPECT_FALSE(Enabled(Off)) << Off;
  // The status bar stays usable.
  EXPECT_TRUE(Enabled("PanelBottom"));
  EXPECT_TRUE(Enabled("CheckBoxAddText"));

  ASSERT_NE(Global.Workers, nullptr);
  while (Global.Workers->WorkerProgress() != Global.RoiWidth) QTest::qWait(2);
  Form->Timer1Timer();
  EXPECT_FALSE(Find<QTimer>("Timer1")->isActive());
  EXPECT_EQ(Text("PanelProc"), "");
  EXPECT_EQ(Background(Find<QWidget>("PanelProc")), QColor(175, 160, 149));
  for (const char* On : {"PanelTop", "PanelRight", "Image1", "TrackBarEqWeight"})
    EXPECT_TRUE(Enabled(On)) << On;
  EXPECT_FALSE(Enabled("SpeedButtonEnableEQ"));
  EXPECT_EQ(Text("PanelEqWeight"), "0.10");
  EXPECT_EQ(Background(Find<QWidget>("PanelEqWeight")), Qt::white);
  EXPECT_EQ(TextColor(Find<QWidget>("PanelEqWeight")), Qt::black);
  EXPECT_FALSE(Global.ActivationReady);
  EXPECT_FALSE(fs::exists(Global.ActFileName));  // a region is never cached

  auto* Weight = Find<QSlider>("TrackBarEqWeight");
  Weight->setFocus();
  QTest::keyClick(Weight, Qt::Key_Home);
  EXPECT_EQ(Text("PanelEqWeight"), "Off");
  EXPECT_EQ(Global.ResultImage, Global.GammaImage);
}

TEST_F(Window, MovingTheRoiDropsARoiActivation) {
  ASSERT_TRUE(Open(Image));
  ChooseRoi(1);
  ActivateAndWait();
  ASSERT_EQ(Text("PanelEqWeight"), "0.10");
  QWidget* Frame = Find<QWidget>("ShapeRoi");
  ASSERT_TRUE(Frame->isVisible());
  const QPoint Start = Frame->pos();
  const int32_t Left = Global.RoiLeft;

  // A right-button drag by 10 view pixels moves the region by 10 x scale.
  Mouse(Frame, QEvent::MouseButtonPress, 20, 20, Qt::RightButton, Qt::RightButton);
  Mouse(Frame, QEvent::MouseMove, 10, 20, Qt::NoButton, Qt::RightButton);
  EXPECT_EQ(Frame->pos(), Start - QPoint(10, 0));
  Mouse(Frame, QEvent::MouseButtonRelease, 10, 20, Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(Global.RoiLeft, std::max(0, Left - 10 * Global.DisplayScale));
  EXPECT_EQ(Find<QLineEdit>("EditRoiLeft")->text(), QString::number(Global.RoiLeft));
  EXPECT_EQ(Text("PanelEqWeight"), "Not active");
  EXPECT_TRUE(Enabled("SpeedButtonEnableEQ"));
}

TEST_F(Window, MovingTheRoiKeepsAFullFrameActivation) {
  ASSERT_TRUE(Open(Image));
  ActivateAndWait();
  EXPECT_TRUE(Global.ActivationReady);
  EXPECT_FALSE(Enabled("CheckBoxAutoSaveActivated"));  // written once, then disabled
  ASSERT_TRUE(fs::exists(Global.ActFileName));
  ChooseRoi(1);
  QWidget* Frame = Find<QWidget>("ShapeRoi");
  Mouse(Frame, QEvent::MouseButtonPress, 20, 20, Qt::RightButton, Qt::RightButton);
  Mouse(Frame, QEvent::MouseMove, 30, 25, Qt::NoButton, Qt::RightButton);
  Mouse(Frame, QEvent::MouseButtonRelease, 30, 25, Qt::RightButton, Qt::NoButton);
  EXPECT_FALSE(Enabled("SpeedButtonEnableEQ"));
  EXPECT_TRUE(Enabled("TrackBarEqWeight"));
  Click("SpeedButtonSetFullframe");
  EXPECT_FALSE(Frame->isVisible());
  EXPECT_EQ(Find<QComboBox>("ComboBoxRoi")->currentIndex(), 0);
  EXPECT_FALSE(Enabled("SpeedButtonEnableEQ"));
}

TEST_F(Window, TheCacheIsReusedOnReopen) {
  ASSERT_TRUE(Open(Image));
  ActivateAndWait();
  const std::vector<uint16_t> Activated = Global.ActivationImage;
  ASSERT_TRUE(fs::exists(Global.ActFileName));

  // A new window over a new state: the open finds the activation file.
  Form.reset();
  Global = SharedState();
  InitializeState(Global);
  auto D = std::make_unique<ScriptedDialogs>();
  Script = D.get();
  Form = std::make_unique<TForm1>(std::move(D));
  Form->show();
  ASSERT_TRUE(Open(Image));
  EXPECT_FALSE(Enabled("SpeedButtonEnableEQ"));
  EXPECT_FALSE(Enabled("CheckBoxAutoSaveActivated"));
  EXPECT_TRUE(Enabled("TrackBarEqWeight"));
  EXPECT_EQ(Text("PanelEqWeight"), "0.10");
  EXPECT_EQ(Global.ActivationImage, Activated);
  EXPECT_EQ(Global.Workers, nullptr);
}

TEST_F(Window, AutoSaveUntickedStoresNothing) {
  ASSERT_TRUE(Open(Image));
  QTest::mouseClick(Find<QCheckBox>("CheckBoxAutoSaveActivated"), Qt::LeftButton);
  EXPECT_FALSE(Global.CheckBoxAutoSaveActivated.Down);
  ActivateAndWait();
  EXPECT_TRUE(Global.ActivationReady);
  EXPECT_FALSE(fs::exists(Global.ActFileName));
}

TEST_F(Window, ClosingDuringAnActivationStopsTheWorkers) {
  WriteFits(Image, 2000, 1500, Pattern);
  ASSERT_TRUE(Open(Image));
  Click("SpeedButtonEnableEQ");
  ASSERT_NE(Global.Workers, nullptr);
  Form->close();
  EXPECT_EQ(Global.Workers, nullptr);
  EXPECT_FALSE(Find<QTimer>("Timer1")->isActive());
  EXPECT_FALSE(fs::exists(Global.ActFileName));
}
