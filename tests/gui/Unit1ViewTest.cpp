// The view: placement, scale buttons, double-click, left-button scrolling,
// the pixel readout, typed ROI coordinates and the kernel profile graph.
#include <QHelpEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include "GuiSupport.h"
#include "IniFile.h"
#include "ViewWidgets.h"

using namespace obra;
using namespace obra::test;

TEST_F(Window, FitScaleInANineHundredBySixHundredSixtyArea) {
  auto* Area = Find<QScrollArea>("ScrollBox1");
  Area->setFixedSize(900, 660);
  QCoreApplication::processEvents();
  WriteFits(Image, 1024, 4096, Pattern);
  ASSERT_TRUE(Open(Image));
  EXPECT_TRUE(Checked("SpeedButton7"));  // ceiling of 4096 / 660
  EXPECT_EQ(Find("Image1")->size(), QSize(1024 / 7, 4096 / 7));
  Click("SpeedButton1");
  EXPECT_EQ(Text("PanelProc"), "Scroll the image by left mouse button");
  EXPECT_EQ(Find("Image1")->pos(), QPoint(0, 0));
  EXPECT_GT(Area->verticalScrollBar()->maximum(), 0);
  Click("SpeedButton7");
  EXPECT_EQ(Text("PanelProc"), "");
}

TEST_F(Window, OnlyALeftDoubleClickTogglesFullResolution) {
  WriteFits(Image, 2000, 1400, Pattern);
  ASSERT_TRUE(Open(Image));
  const int Fit = Global.FitScale;
  ASSERT_GT(Fit, 1);
  QWidget* View = Find("Image1");
  QTest::mouseDClick(View, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(Checked("SpeedButton1"));
  EXPECT_EQ(View->size(), QSize(2000, 1400));
  QTest::mouseDClick(View, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(Global.DisplayScale, Fit);
  Click("SpeedButton3");
  QTest::mouseDClick(View, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(Global.DisplayScale, 1);
  Click(("SpeedButton" + QByteArray::number(Fit)).constData());

  // Right double-clicks on the view, the empty area and the frame change
  // nothing (QTest leaves out the release that ends a real double-click);
  // the frame still drags.
  ChooseRoi(1);
  QWidget* Frame = Find("ShapeRoi");
  const QPoint Start = Frame->pos();
  const uint64_t V = Global.Image1Version;
  for (QWidget* Target : {View, Find<QScrollArea>("ScrollBox1")->viewport(), Frame}) {
    QTest::mouseDClick(Target, Qt::RightButton, {}, QPoint(3, 3));
    QTest::mouseRelease(Target, Qt::RightButton, {}, QPoint(3, 3));
    EXPECT_EQ(Global.DisplayScale, Fit) << Target->objectName().toStdString();
    EXPECT_EQ(Global.Image1Version, V) << Target->objectName().toStdString();
  }
  Drag(Frame, {20, 20}, {30, 20}, Qt::RightButton);
  EXPECT_EQ(Frame->pos(), Start + QPoint(10, 0));
  EXPECT_EQ(Global.DisplayScale, Fit);
}

TEST_F(Window, NoHintBoxCoversThePictureInsideTheRoi) {
  ASSERT_TRUE(Open(Image));
  ChooseRoi(1);
  QWidget* Frame = Find("ShapeRoi");
  ASSERT_TRUE(Frame->isVisible());
  const QPoint Inside(Frame->width() / 2, Frame->height() / 2);
  QHelpEvent Help(QEvent::ToolTip, Inside, Frame->mapToGlobal(Inside));
  QCoreApplication::sendEvent(Frame, &Help);
  EXPECT_FALSE(QToolTip::isVisible());
  // The ROI panel of the side bar carries the hint.
  QWidget* Panel = Find("PanelRoi");
  QHelpEvent PanelHelp(QEvent::ToolTip, QPoint(3, 3), Panel->mapToGlobal(QPoint(3, 3)));
  QCoreApplication::sendEvent(Panel, &PanelHelp);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), "Use right mouse button to move the ROI");
  QToolTip::hideText();
}

TEST_F(Window, LeftButtonScrolls) {
  WriteFits(Image, 2000, 1400, Pattern);
  ASSERT_TRUE(Open(Image));
  Click("SpeedButton1");
  QScrollArea* Area = Find<QScrollArea>("ScrollBox1");
  QWidget* View = Find("Image1");
  Drag(View, {500, 300}, {400, 250}, Qt::LeftButton);
  EXPECT_EQ(Area->horizontalScrollBar()->value(), 100);
  EXPECT_EQ(Area->verticalScrollBar()->value(), 50);
  // A ROI chosen now is centred on the middle of what is visible.
  ChooseRoi(1);
  EXPECT_EQ(Global.RoiLeft + Global.RoiWidth / 2, Area->viewport()->width() / 2 + 100 - View->x());
  EXPECT_EQ(Global.RoiTop + Global.RoiHeight / 2, Area->viewport()->height() / 2 + 50 - View->y());
}

TEST_F(Window, ReadoutAtAScale) {
  WriteFits(Image, W, H, [](int X, int Y) {
    return X == 40 && Y == 80 ? uint16_t(0) : static_cast<uint16_t>(1000 + X + Y);
  });
  ASSERT_TRUE(Open(Image));
  Click("SpeedButton4");
  QWidget* View = Find("Image1");
  QTest::mouseMove(View, QPoint(10, 20));
  EXPECT_EQ(Text("PanelCoordinates"), "[ 40, 80 ]");
  EXPECT_EQ(Text("PanelPixelVal"), "No data");
  QTest::mouseMove(View, QPoint(11, 20));
  EXPECT_EQ(Text("PanelCoordinates"), "[ 44, 80 ]");
  EXPECT_EQ(Text("PanelPixelVal"), "Input pixel value  1124");

  // Over the ROI frame the view still reads (the frame passes the move on).
  ChooseRoi(1);
  Click("SpeedButton1");
  QWidget* Frame = Find("ShapeRoi");
  ASSERT_TRUE(Frame->isVisible());
  QTest::mouseMove(Frame, QPoint(3, 4));
  const QPoint P = Frame->pos() - View->pos() + QPoint(3, 4);
  EXPECT_EQ(Text("PanelCoordinates"), QStringLiteral("[ %1, %2 ]").arg(P.x()).arg(P.y()));
}

TEST_F(Window, TypedRoiCoordinates) {
  ASSERT_TRUE(Open(Image));
  auto* Left = Find<QLineEdit>("EditRoiLeft");
  auto* Top = Find<QLineEdit>("EditRoiTop");
  ChooseRoi(1);
  ASSERT_TRUE(Left->isEnabled());
  EXPECT_EQ(Colour(Left, QPalette::Base), Qt::white);
  Left->selectAll();
  QTest::keyClicks(Left, "12a");
  EXPECT_EQ(Colour(Left, QPalette::Base), QColor(255, 64, 64));
  EXPECT_FALSE(Enabled("SpeedButtonSetTopLeft"));

  Left->selectAll();
  QTest::keyClicks(Left, "12");
  Top->selectAll();
  QTest::keyClicks(Top, "34");
  EXPECT_EQ(Colour(Left, QPalette::Base), Qt::white);
  auto* Frame = static_cast<TShapeRoi*>(Find("ShapeRoi"));
  EXPECT_EQ(Frame->Color(), ClRed);
  Click("SpeedButtonSetTopLeft");
  EXPECT_EQ(Global.RoiLeft, 12);
  EXPECT_EQ(Global.RoiTop, 34);
  EXPECT_EQ(Frame->Color(), ClLime);
  EXPECT_FALSE(Enabled("SpeedButtonSetTopLeft"));
  EXPECT_EQ(Frame->pos(), Find("Image1")->pos() + QPoint(12, 34) / Global.DisplayScale);
}

TEST_F(Window, KernelProfileGraphBesideThePicture) {
  ASSERT_TRUE(Open(Image));
  const uint64_t V = Global.Image1Version;
  QWidget* Viewport = Find<QScrollArea>("ScrollBox1")->viewport();
  QTest::mouseDClick(Viewport, Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(Global.Image1Version, V + 1);
  EXPECT_EQ(Shown().pixelColor(0, 0), QColor(175, 160, 149));
  // The axis runs along the bottom of the plot area.
  EXPECT_EQ(Shown().pixelColor(Shown().width() / 2 + 20, Shown().height() - 100), Qt::black);

  // Without a kernel radius nothing can be plotted.
  const int32_t Saved = Params.KerSize;
  Params.KerSize = 0;
  QTest::mouseDClick(Viewport, Qt::LeftButton, {}, QPoint(3, 3));
  Params.KerSize = Saved;
  EXPECT_EQ(Global.Image1Version, V + 1);
  // The next render replaces the graph.
  Click("SpeedButton2");
  EXPECT_NE(Shown().pixelColor(0, 0), QColor(175, 160, 149));
}
