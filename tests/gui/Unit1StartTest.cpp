// The main window before the first image: layout, captions, hints, colours,
// initial states and the commands that work without an image.
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "GuiSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

struct SliderStart {
  const char* Name;
  int Min, Max, Position;
  const char* Panel;
  const char* PanelText;
};

}  // namespace

TEST_F(Window, CaptionSizeAndRegions) {
  EXPECT_EQ(Form->windowTitle(), "OBRA 1.0");
  // The platform appends the application's display name to a title that
  // does not end with it; the title bar must read the caption alone.
  EXPECT_TRUE(Form->windowTitle().endsWith(QGuiApplication::applicationDisplayName()));
  EXPECT_EQ(Form->minimumSize(), QSize(1024, 768));
  EXPECT_EQ(Find<QWidget>("PanelTop")->height(), 40);
  EXPECT_EQ(Find<QWidget>("PanelRight")->width(), 110);
  EXPECT_EQ(Find<QWidget>("PanelBottom")->height(), 32);
  for (const char* P : {"PanelTop", "PanelRight", "PanelBottom"})
    EXPECT_EQ(Background(Find<QWidget>(P)), QColor(175, 160, 149)) << P;
  const QImage Area = Find<QScrollArea>("ScrollBox1")->viewport()->grab().toImage();
  EXPECT_EQ(Area.pixelColor(5, 5), QColor(81, 69, 64));
  EXPECT_EQ(Area.pixelColor(Area.width() - 5, Area.height() - 5), QColor(81, 69, 64));
  for (const char* P : {"PanelInfo", "PanelCoordinates", "PanelPixelVal", "PanelProc"}) {
    EXPECT_EQ(TextColor(Find<QWidget>(P)), QColor(0, 0, 128)) << P;
    EXPECT_TRUE(Find<QWidget>(P)->font().bold()) << P;
  }
  for (int I = 1; I <= 4; ++I) {
    const QByteArray Name = "StartLabel" + QByteArray::number(I);
    EXPECT_TRUE(Find<QLabel>(Name.constData())->isVisible());
  }
}

TEST_F(Window, ToolBarFitsTheNarrowestWindow) {
  Form->resize(1024, 768);
  QCoreApplication::processEvents();
  const QWidget* Bar = Find<QWidget>("PanelTop");
  EXPECT_LE(Bar->layout()->minimumSize().width(), 1024);
  for (const QLabel* L : Bar->findChildren<QLabel*>())
    EXPECT_GE(L->width(), L->sizeHint().width()) << L->text().toStdString();
  // Every caption fits inside its button's border and padding.
  for (const QToolButton* B : Bar->findChildren<QToolButton*>())
    EXPECT_GE(B->width(), B->fontMetrics().horizontalAdvance(B->text().remove('&')) + 8)
        << B->objectName().toStdString();
}

TEST_F(Window, ToolBarAtStart) {
  EXPECT_TRUE(Enabled("SpeedButtonOpen"));
  EXPECT_EQ(Find<QToolButton>("SpeedButtonOpen")->text(), "&Open");
  for (const char* B : {"SpeedButtonPrevious", "SpeedButtonDir", "SpeedButtonNext",
                        "SpeedButtonAdd", "SpeedButtonSave"})
    EXPECT_FALSE(Enabled(B)) << B;
  EXPECT_EQ(Find<QToolButton>("SpeedButtonPrevious")->toolTip(), "Previous image (Page Up)");
  EXPECT_EQ(Find<QToolButton>("SpeedButtonNext")->toolTip(), "Next image (Page Down)");
  EXPECT_EQ(Find<QToolButton>("SpeedButtonDir")->toolTip(), "Show directory");
  for (int I = 1; I <= 10; ++I) {
    const QByteArray Name = "SpeedButton" + QByteArray::number(I);
    auto* B = Find<QToolButton>(Name.constData());
    EXPECT_EQ(B->text(), QStringLiteral("1:%1").arg(I));
    EXPECT_EQ(B->toolTip(), "Display scale");
    EXPECT_FALSE(B->isEnabled());
    EXPECT_EQ(B->isChecked(), I == 4);
  }
  const char* Down[] = {"SpeedButtonAutocontrast", "SpeedButtonAutoGamma", "SpeedButtonAutoACEQ"};
  const char* Up[] = {"SpeedButtonFixContrast", "SpeedButtonFixGamma", "SpeedButtonFixACEQ"};
  for (int I = 0; I < 3; ++I) {
    EXPECT_TRUE(Checked(Down[I]) && !Enabled(Down[I])) << Down[I];
    EXPECT_FALSE(Checked(Up[I]) || Enabled(Up[I])) << Up[I];
  }
  EXPECT_EQ(Find<QToolButton>("SpeedButtonFixContrast")->toolTip(),
            "Fixed contrast until the setting is changed by user");
  EXPECT_EQ(Find<QToolButton>("SpeedButtonAutoACEQ")->toolTip(),
            "Pre-defined value is set on image loading");
}

TEST_F(Window, SideBarAtStart) {
  const SliderStart Sliders[] = {
      {"TrackBarBlack", 0, 65535, 0, "PanelBlack", "0"},
      {"TrackBarWhite", 0, 100, 100, "PanelWhite", "100"},
      {"TrackBarGamma", 10, 60, 20, "PanelGamma", "2.2"},
      {"TrackBarOutputBlack", 0, 24000, 0, "PanelOutputBlack", "0"},
      {"TrackBarOutputWhite", 40000, 65535, 55535, "PanelOutputWhite", "55535"},
  };
  for (const SliderStart& S : Sliders) {
    auto* T = Find<QSlider>(S.Name);
    EXPECT_EQ(T->minimum(), S.Min) << S.Name;
    EXPECT_EQ(T->maximum(), S.Max) << S.Name;
    EXPECT_EQ(T->value(), S.Position) << S.Name;
    EXPECT_FALSE(T->isEnabled()) << S.Name;
    // A disabled level box: silver panel with silver text.
    EXPECT_EQ(Text(S.Panel), S.PanelText);
    EXPECT_EQ(Background(Find<QWidget>(S.Panel)), QColor(192, 192, 192)) << S.Panel;
    EXPECT_EQ(TextColor(Find<QWidget>(S.Panel)), QColor(192, 192, 192)) << S.Panel;
  }
  EXPECT_EQ(Find<QSlider>("TrackBarGamma")->toolTip(), "Gamma value");
  EXPECT_EQ(Find<QWidget>("PanelOutputWhite")->toolTip(), "White color value");
  EXPECT_EQ(Find<QSlider>("TrackBarEqWeight")->toolTip(), "OBRA weight");
  EXPECT_FALSE(Enabled("LabelBlack"));
  EXPECT_EQ(Text("LabelGamma"), "Input  Gamma");
  EXPECT_FALSE(Enabled("LabelEqWeight"));
  EXPECT_EQ(Background(Find<QWidget>("PanelEqWeight")), QColor(192, 192, 192));

  EXPECT_FALSE(Enabled("SpeedButtonEnableEQ"));
  EXPECT_EQ(Find<QToolButton>("SpeedButtonEnableEQ")->toolTip(), "Activate OBRA");
  auto* AutoSave = Find<QCheckBox>("CheckBoxAutoSaveActivated");
  EXPECT_EQ(AutoSave->text(), "Auto save");
  EXPECT_TRUE(AutoSave->isChecked());
  EXPECT_FALSE(AutoSave->isEnabled());
  auto* Combo = Find<QComboBox>("ComboBoxRoi");
  EXPECT_FALSE(Combo->isEnabled());
  EXPECT_EQ(Combo->currentText(), "Full  frame");
  EXPECT_EQ(Combo->toolTip(), "ROI size in pixels");
  for (const char* E : {"EditRoiLeft", "EditRoiTop"}) {
    EXPECT_EQ(Find<QLineEdit>(E)->text(), "0");
    EXPECT_EQ(Find<QLineEdit>(E)->maxLength(), 4);
    EXPECT_FALSE(Enabled(E));
  }
  EXPECT_EQ(Find<QWidget>("PanelRoi")->toolTip(), "Use right mouse button to move the ROI");
  EXPECT_FALSE(Enabled("SpeedButtonSetFullframe"));
  EXPECT_FALSE(Enabled("SpeedButtonSetTopLeft"));
  EXPECT_FALSE(Enabled("SpeedButtonBatch"));
  EXPECT_TRUE(Enabled("SpeedButtonEditIni"));
}

TEST_F(Window, StatusBarAtStart) {
  auto* Check = Find<QCheckBox>("CheckBoxAddText");
  EXPECT_TRUE(Check->isEnabled());
  EXPECT_FALSE(Check->isChecked());
  EXPECT_EQ(Check->toolTip(), "Display time in the image");
  auto* Size = Find<QSpinBox>("UpDownFontSize");
  EXPECT_EQ(Size->minimum(), 8);
  EXPECT_EQ(Size->maximum(), 100);
  EXPECT_EQ(Size->value(), 14);
  EXPECT_FALSE(Size->isEnabled());
  EXPECT_EQ(Size->toolTip(), "Change font size");
  EXPECT_FALSE(Enabled("SpeedButtonSetFontColor"));
  EXPECT_EQ(Find<QToolButton>("SpeedButtonSetFontColor")->toolTip(), "Set font color");
  auto* Timer = Find<QTimer>("Timer1");
  EXPECT_EQ(Timer->interval(), 2000);
  EXPECT_FALSE(Timer->isActive());
}

TEST_F(Window, EditIniStaysAtTheBottomAndTheWindowKeepsItsMinimum) {
  for (const QSize& Size : {QSize(1280, 860), QSize(1100, 1000), QSize(800, 600)}) {
    Form->resize(Size);
    QCoreApplication::processEvents();
    EXPECT_GE(Form->width(), 1024);
    EXPECT_GE(Form->height(), 768);
    const QWidget* Bar = Find<QWidget>("PanelRight");
    const QWidget* Button = Find<QWidget>("SpeedButtonEditIni");
    EXPECT_NEAR(Button->geometry().bottom(), Bar->height() - 1, 6) << Size.height();
  }
}

TEST_F(Window, CommandsWithoutAnImage) {
  Form->SpeedButton1Click(2);
  EXPECT_EQ(Global.DisplayScale, 4);
  EXPECT_TRUE(Checked("SpeedButton4"));

  // The overlay check box works before any image and draws nothing.
  QTest::mouseClick(Find<QCheckBox>("CheckBoxAddText"), Qt::LeftButton);
  EXPECT_TRUE(Enabled("UpDownFontSize"));
  EXPECT_TRUE(Enabled("SpeedButtonSetFontColor"));
  EXPECT_EQ(Global.Image1Version, 0u);

  QSignalSpy EditIni(Form.get(), &TForm1::EditIniRequested);
  Click("SpeedButtonEditIni");
  EXPECT_EQ(EditIni.count(), 1);
  // A double-click on the empty area has no picture to draw into.
  Form->ScrollBox1DblClick();
  EXPECT_EQ(Global.Image1Version, 0u);
  EXPECT_TRUE(Script->Messages.empty());
}

TEST_F(Window, CancelledOpenChangesNothing) {
  Click("SpeedButtonOpen");  // the script answers as a user who cancels
  ASSERT_EQ(Script->OpenRequests.size(), 1u);
  const FileRequest& R = Script->OpenRequests[0];
  EXPECT_EQ(R.Title, "Open image");
  ASSERT_EQ(R.Filters.size(), 4u);
  EXPECT_EQ(QtFilterText(R.Filters[0]), "FITS (*.fits *.fit *.fts)");
  EXPECT_EQ(QtFilterText(R.Filters[1]), "TIFF (*.tif *.tiff)");
  EXPECT_EQ(QtFilterText(R.Filters[2]), "BIF (*.bif)");
  EXPECT_EQ(QtFilterText(R.Filters[3]), "PNG (*.png)");
  EXPECT_TRUE(Global.FirstImage);
  EXPECT_FALSE(Enabled("SpeedButtonSave"));
  EXPECT_TRUE(Find<QLabel>("StartLabel1")->isVisible());
}
