// Activation through the window: controls during a run, Timer1, the OBRA
// controls' two states, the cache and closing the window mid-run.
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
  EXPECT_EQ(Colour(Find("PanelProc")), QColor(96, 255, 144));
  ExpectEnabled({"PanelTop", "PanelRight", "Image1", "ShapeRoi", "SpeedButtonEnableEQ"}, false);
  ExpectEnabled({"PanelBottom", "CheckBoxAddText"}, true);  // the status bar stays usable

  ASSERT_NE(Global.Workers, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([] { return Global.Workers->WorkerProgress() == Global.RoiWidth; },
                              WaitLimitMs))
      << "the workers did not finish";
  Form->Timer1Timer();
  EXPECT_FALSE(Find<QTimer>("Timer1")->isActive());
  EXPECT_EQ(Text("PanelProc"), "");
  EXPECT_EQ(Colour(Find("PanelProc")), QColor(175, 160, 149));
  ExpectEnabled({"PanelTop", "PanelRight", "Image1", "TrackBarEqWeight"}, true);
  EXPECT_FALSE(Enabled("SpeedButtonEnableEQ"));
  EXPECT_EQ(Text("PanelEqWeight"), "0.10");
  EXPECT_EQ(Colour(Find("PanelEqWeight")), Qt::white);
  EXPECT_EQ(Colour(Find("PanelEqWeight"), QPalette::WindowText), Qt::black);

  auto* Weight = Find<QSlider>("TrackBarEqWeight");
  Weight->setFocus();
  QTest::keyClick(Weight, Qt::Key_Home);
  EXPECT_EQ(Text("PanelEqWeight"), "Off");
}

// A right-button drag of the frame drops an activation of the region, not
// one of the full frame.
TEST_F(Window, MovingTheRoi) {
  for (const bool Roi : {true, false}) {
    SCOPED_TRACE(Roi ? "ROI activation" : "full-frame activation");
    NewWindow();
    ASSERT_TRUE(Open(Image));
    if (Roi) ChooseRoi(1);
    ActivateAndWait();
    if (!Roi) ChooseRoi(1);
    ASSERT_EQ(Text("PanelEqWeight"), "0.10");
    QWidget* Frame = Find("ShapeRoi");
    ASSERT_TRUE(Frame->isVisible());
    const QPoint Start = Frame->pos();
    const int32_t Left = Global.RoiLeft;

    // The frame follows the mouse; the region moves by 10 x scale.
    Mouse(Frame, QEvent::MouseButtonPress, {20, 20}, Qt::RightButton, Qt::RightButton);
    Mouse(Frame, QEvent::MouseMove, {10, 20}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(Frame->pos(), Start - QPoint(10, 0));
    Mouse(Frame, QEvent::MouseButtonRelease, {10, 20}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(Global.RoiLeft, std::max(0, Left - 10 * Global.DisplayScale));
    EXPECT_EQ(Find<QLineEdit>("EditRoiLeft")->text(), QString::number(Global.RoiLeft));
    EXPECT_EQ(Text("PanelEqWeight"), Roi ? "Not active" : "0.10");
    EXPECT_EQ(Enabled("SpeedButtonEnableEQ"), Roi);
    EXPECT_EQ(Enabled("TrackBarEqWeight"), !Roi);

    // Dragging stops at the image's border.
    Drag(Frame, {5, 5}, {2005, 2005}, Qt::RightButton);
    EXPECT_EQ(Global.RoiLeft, W - 512);
    EXPECT_EQ(Global.RoiTop, H - 512);
    EXPECT_EQ(Find<QLineEdit>("EditRoiLeft")->text(), QString::number(W - 512));
    Click("SpeedButtonSetFullframe");
    EXPECT_FALSE(Frame->isVisible());
    EXPECT_EQ(Find<QComboBox>("ComboBoxRoi")->currentIndex(), 0);
  }
}

TEST_F(Window, TheCacheIsReusedOnReopen) {
  ASSERT_TRUE(Open(Image));
  ActivateAndWait();
  EXPECT_FALSE(Enabled("CheckBoxAutoSaveActivated"));  // written once, then disabled
  ASSERT_TRUE(fs::exists(Global.ActFileName));

  // A new window over a new state: the open finds the activation file.
  NewWindow();
  ASSERT_TRUE(Open(Image));
  ExpectEnabled({"SpeedButtonEnableEQ", "CheckBoxAutoSaveActivated"}, false);
  EXPECT_TRUE(Enabled("TrackBarEqWeight"));
  EXPECT_EQ(Text("PanelEqWeight"), "0.10");
}

TEST_F(Window, AutoSaveUntickedStoresNothing) {
  ASSERT_TRUE(Open(Image));
  Click("CheckBoxAutoSaveActivated");
  ActivateAndWait();
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
