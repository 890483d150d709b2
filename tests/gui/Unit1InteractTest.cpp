// Interaction through the window: stopping an activation (Esc, "Stop"), the
// time left, typed levels, the refit on a new size, the wheel, the centred
// double-click and the readout's reset.
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <filesystem>

#include "GuiSupport.h"
#include "ValuePanel.h"

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

namespace {

// Waits, bounded, until the workers have finished a column.
bool WaitForProgress() {
  static_cast<void>(QTest::qWaitFor(
      [] { return !Global.Workers || Global.Workers->WorkerProgress() > 0; }, 60000));
  return Global.Workers && Global.Workers->WorkerProgress() > 0;
}

}  // namespace

// The shipped KerSize makes a 2000 x 1500 activation last seconds.
TEST_F(Window, EscAndStopEndAnActivation) {
  WriteFits(Image, 2000, 1500, Pattern);
  for (const bool Esc : {true, false}) {
    SCOPED_TRACE(Esc ? "Esc" : "Stop");
    NewWindow();
    ASSERT_TRUE(Open(Image));
    ASSERT_TRUE(UseDistributedConfiguration(Dir.Path()));
    const std::vector<uint16_t> Before = Global.ActivationImage;
    const QImage View = Shown();
    const int32_t Scale = Global.DisplayScale;
    ExpectEnabled({"SpeedButtonEnableEQ", "CheckBoxAutoSaveActivated"}, true);
    EXPECT_FALSE(Find("SpeedButtonStopActivation")->isVisible());

    Click("SpeedButtonEnableEQ");
    EXPECT_TRUE(Find("SpeedButtonStopActivation")->isVisible());
    EXPECT_EQ(Text("PanelEta"), "ETA --:--");
    ASSERT_TRUE(WaitForProgress());
    Form->Timer1Timer();
    // The progress text is unchanged; the estimate stands beside it.
    EXPECT_TRUE(Text("PanelProc").startsWith("Processing     "));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^ETA \\d+:\\d\\d$")).match(Text("PanelEta")).hasMatch())
        << Text("PanelEta").toStdString();

    if (Esc)
      QTest::keyClick(Form.get(), Qt::Key_Escape);
    else
      Click("SpeedButtonStopActivation");
    EXPECT_EQ(Global.Workers, nullptr);
    EXPECT_FALSE(Find<QTimer>("Timer1")->isActive());
    EXPECT_FALSE(fs::exists(Global.ActFileName));
    EXPECT_FALSE(Find("SpeedButtonStopActivation")->isVisible());
    EXPECT_FALSE(Find("PanelEta")->isVisible());
    EXPECT_EQ(Text("PanelProc"), "Activation stopped");
    // The OBRA controls, the panels, the image and the view are as before.
    ExpectEnabled(
        {"PanelTop", "PanelRight", "Image1", "SpeedButtonEnableEQ", "CheckBoxAutoSaveActivated"},
        true);
    EXPECT_FALSE(Enabled("TrackBarEqWeight"));
    EXPECT_EQ(Text("PanelEqWeight"), "Not active");
    EXPECT_EQ(Global.ActivationImage, Before);
    EXPECT_EQ(Global.DisplayScale, Scale);
    EXPECT_TRUE(SamePixels(Shown(), View));

    // A later activation runs to its end and is stored.
    ASSERT_TRUE(UseTestConfiguration(Dir.Path()));
    ActivateAndWait();
    EXPECT_TRUE(fs::exists(Global.ActFileName));
    EXPECT_EQ(Text("PanelEqWeight"), "0.10");
    fs::remove(Global.ActFileName);
  }
}

TEST_F(Window, EscWithoutAnActivationDoesNothing) {
  ASSERT_TRUE(Open(Image));
  QTest::keyClick(Form.get(), Qt::Key_Escape);
  EXPECT_TRUE(Enabled("SpeedButtonEnableEQ"));
  EXPECT_EQ(Text("PanelProc"), "");
}

TEST_F(Window, TypedLevels) {
  ASSERT_TRUE(Open(Image));
  auto Type = [this](const char* Panel, const QString& Keys) {
    auto* P = Find<TValuePanel>(Panel);
    QTest::mouseClick(P, Qt::LeftButton);
    EXPECT_TRUE(P->Editor()->isVisible()) << Panel;
    P->Editor()->selectAll();
    QTest::keyClicks(P->Editor(), Keys);
    QTest::keyClick(P->Editor(), Qt::Key_Return);
    EXPECT_FALSE(P->Editor()->isVisible()) << Panel;
  };
  const QColor Red(255, 64, 64);

  // In range: the slider moves there and the view follows.
  const uint64_t V = Global.Image1Version;
  Type("PanelGamma", QStringLiteral("3.5"));
  EXPECT_EQ(Find<QSlider>("TrackBarGamma")->value(), 35);
  EXPECT_EQ(Text("PanelGamma"), "3.5");
  EXPECT_EQ(Colour(Find("PanelGamma")), Qt::white);
  EXPECT_GT(Global.Image1Version, V);
  auto* Black = Find<QSlider>("TrackBarBlack");
  const int Wanted = (Black->minimum() + Black->maximum()) / 2;
  Type("PanelBlack", QString::number(Wanted));
  EXPECT_EQ(Black->value(), Wanted);

  // Out of range: the nearer end, and the panel red for a moment.
  Type("PanelOutputBlack", QStringLiteral("99999"));
  EXPECT_EQ(Find<QSlider>("TrackBarOutputBlack")->value(), 24000);
  EXPECT_EQ(Text("PanelOutputBlack"), "24000");
  EXPECT_EQ(Colour(Find("PanelOutputBlack")), Red);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Colour(Find("PanelOutputBlack")) == Qt::white; }, 5000));

  // Not a number: nothing changes, the panel flashes red.
  Type("PanelOutputWhite", QStringLiteral("lots"));
  EXPECT_EQ(Text("PanelOutputWhite"), QString::number(Global.OutputWhite));
  EXPECT_EQ(Colour(Find("PanelOutputWhite")), Red);

  // Esc drops what was typed.
  auto* Gamma = Find<TValuePanel>("PanelGamma");
  QTest::mouseClick(Gamma, Qt::LeftButton);
  QTest::keyClicks(Gamma->Editor(), QStringLiteral("5"));
  QTest::keyClick(Gamma->Editor(), Qt::Key_Escape);
  EXPECT_FALSE(Gamma->Editor()->isVisible());
  EXPECT_EQ(Text("PanelGamma"), "3.5");

  // The OBRA weight without activation data takes nothing.
  auto* Weight = Find<TValuePanel>("PanelEqWeight");
  QTest::mouseClick(Weight, Qt::LeftButton);
  EXPECT_FALSE(Weight->Editor()->isVisible());
}

TEST_F(Window, AnotherSizeIsFittedTheSameSizeKeepsTheScale) {
  ASSERT_TRUE(Open(Image));
  Click("SpeedButton3");
  const std::string Same = Dir.File("same.fits"), Big = Dir.File("big.fits");
  WriteFits(Same, W, H, Pattern);
  ASSERT_TRUE(Open(Same));
  EXPECT_EQ(Global.DisplayScale, 3);
  EXPECT_TRUE(Checked("SpeedButton3"));
  WriteFits(Big, 3000, 2400, Pattern);
  ASSERT_TRUE(Open(Big));
  EXPECT_GT(Global.FitScale, 1);
  EXPECT_EQ(Global.DisplayScale, Global.FitScale);
  EXPECT_TRUE(Checked(("SpeedButton" + QByteArray::number(Global.FitScale)).constData()));
  EXPECT_EQ(Find("Image1")->size(), QSize(3000 / Global.FitScale, 2400 / Global.FitScale));
}

namespace {

void Wheel(QWidget* Target, QPoint P, int Angle) {
  QWheelEvent E(QPointF(P), Target->mapToGlobal(QPointF(P)), QPoint(), QPoint(0, Angle),
                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(Target, &E);
}

}  // namespace

TEST_F(Window, TheWheelKeepsTheSampleUnderThePointer) {
  WriteFits(Image, 3000, 2400, Pattern);
  ASSERT_TRUE(Open(Image));
  Click("SpeedButton1");
  auto* Area = Find<QScrollArea>("ScrollBox1");
  QWidget* Port = Area->viewport();
  Area->horizontalScrollBar()->setValue(1000);
  Area->verticalScrollBar()->setValue(800);
  QWidget* View = Find("Image1");
  const QPoint Pointer(400, 300);  // in the viewport
  const QPoint Sample = View->mapFrom(Port, Pointer);

  Wheel(View, Sample, -120);  // towards the user: one step away from 1:1
  EXPECT_EQ(Global.DisplayScale, 2);
  EXPECT_TRUE(Checked("SpeedButton2"));
  const QPoint Under = View->mapFrom(Port, Pointer) * 2;
  EXPECT_LE(std::abs(Under.x() - Sample.x()), 1);
  EXPECT_LE(std::abs(Under.y() - Sample.y()), 1);

  // Half notches add up; away from the user goes back towards 1:1.
  Wheel(View, View->mapFrom(Port, Pointer), 60);
  EXPECT_EQ(Global.DisplayScale, 2);
  Wheel(View, View->mapFrom(Port, Pointer), 60);
  EXPECT_EQ(Global.DisplayScale, 1);
  const QPoint Back = View->mapFrom(Port, Pointer);
  EXPECT_LE(std::abs(Back.x() - Sample.x()), 1);
  EXPECT_LE(std::abs(Back.y() - Sample.y()), 1);

  // 1:1 is the end.
  Wheel(View, Back, 120);
  EXPECT_EQ(Global.DisplayScale, 1);
}

TEST_F(Window, DoubleClickCentresTheClickedSample) {
  WriteFits(Image, 3000, 2400, Pattern);
  ASSERT_TRUE(Open(Image));
  const int32_t Fit = Global.FitScale;
  ASSERT_GT(Fit, 1);
  QWidget* View = Find("Image1");
  QWidget* Port = Find<QScrollArea>("ScrollBox1")->viewport();
  const QPoint Clicked(View->width() / 3, View->height() / 4);
  QTest::mouseDClick(View, Qt::LeftButton, {}, Clicked);
  EXPECT_EQ(Global.DisplayScale, 1);
  const QPoint Centre = View->mapFrom(Port, Port->rect().center());
  EXPECT_LE(std::abs(Centre.x() - Clicked.x() * Fit), 1);
  EXPECT_LE(std::abs(Centre.y() - Clicked.y() * Fit), 1);
  QTest::mouseDClick(View, Qt::LeftButton, {}, Centre);
  EXPECT_EQ(Global.DisplayScale, Fit);
}

TEST_F(Window, TheReadoutIsClearedOnLeaveAndOnOpen) {
  ASSERT_TRUE(Open(Image));
  QWidget* View = Find("Image1");
  QTest::mouseMove(View, QPoint(10, 10));
  ASSERT_FALSE(Text("PanelCoordinates").isEmpty());
  QEvent Leave(QEvent::Leave);
  QCoreApplication::sendEvent(View, &Leave);
  EXPECT_EQ(Text("PanelCoordinates"), "");
  EXPECT_EQ(Text("PanelPixelVal"), "");

  QTest::mouseMove(View, QPoint(12, 10));
  ASSERT_FALSE(Text("PanelPixelVal").isEmpty());
  const std::string Other = Dir.File("other.fits");
  WriteFits(Other, 300, 200, Pattern);
  ASSERT_TRUE(Open(Other));
  EXPECT_EQ(Text("PanelCoordinates"), "");
  EXPECT_EQ(Text("PanelPixelVal"), "");
}
