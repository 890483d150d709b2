// The main window before the first image: layout, captions, hints, colours,
// initial states and the commands that work without an image.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include "GuiSupport.h"

using namespace obra;
using namespace obra::test;

TEST_F(Window, CaptionSizeAndRegions) {
  // The platform appends the application's display name to a title that
  // does not end with it; the title bar must read the caption alone.
  EXPECT_EQ(Form->windowTitle(), "OBRA 1.0");
  EXPECT_TRUE(Form->windowTitle().endsWith(QGuiApplication::applicationDisplayName()));
  EXPECT_EQ(Form->minimumSize(), QSize(1024, 768));
  EXPECT_EQ(Find("PanelTop")->height(), 40);
  EXPECT_EQ(Find("PanelRight")->width(), 110);
  EXPECT_EQ(Find("PanelBottom")->height(), 32);
  for (const char* P : {"PanelTop", "PanelRight", "PanelBottom"})
    EXPECT_EQ(Colour(Find(P)), QColor(175, 160, 149)) << P;
  const QImage Area = Find<QScrollArea>("ScrollBox1")->viewport()->grab().toImage();
  EXPECT_EQ(Area.pixelColor(5, 5), QColor(81, 69, 64));
  EXPECT_EQ(Area.pixelColor(Area.width() - 5, Area.height() - 5), QColor(81, 69, 64));
  for (const char* P : {"PanelInfo", "PanelCoordinates", "PanelPixelVal", "PanelProc"}) {
    EXPECT_EQ(Colour(Find(P), QPalette::WindowText), QColor(0, 0, 128)) << P;
    EXPECT_TRUE(Find(P)->font().bold()) << P;
  }
  for (const char* L : {"StartLabel1", "StartLabel2", "StartLabel3", "StartLabel4"})
    EXPECT_TRUE(Find(L)->isVisible()) << L;
}

TEST_F(Window, ToolBarFitsTheNarrowestWindow) {
  Form->resize(1024, 768);
  QCoreApplication::processEvents();
  const QWidget* Bar = Find("PanelTop");
  EXPECT_LE(Bar->layout()->minimumSize().width(), 1024);
  for (const QLabel* L : Bar->findChildren<QLabel*>())
    EXPECT_GE(L->width(), L->sizeHint().width()) << L->text().toStdString();
  // Every caption fits inside its button's border and padding.
  for (const QToolButton* B : Bar->findChildren<QToolButton*>())
    EXPECT_GE(B->width(), B->fontMetrics().horizontalAdvance(B->text().remove('&')) + 8)
        << B->objectName().toStdString();
}

TEST_F(Window, ControlsAtStart) {
  ExpectEnabled({"SpeedButtonOpen", "SpeedButtonEditIni", "CheckBoxAddText"}, true);
  ExpectEnabled({"SpeedButtonPrevious", "SpeedButtonDir", "SpeedButtonNext", "SpeedButtonAdd",
                 "SpeedButtonSave", "SpeedButtonAutocontrast", "SpeedButtonFixGamma", "LabelBlack",
                 "LabelEqWeight", "SpeedButtonEnableEQ", "CheckBoxAutoSaveActivated", "ComboBoxRoi",
                 "EditRoiLeft", "EditRoiTop", "SpeedButtonSetFullframe", "SpeedButtonSetTopLeft",
                 "SpeedButtonBatch", "UpDownFontSize", "SpeedButtonSetFontColor"},
                false);
  for (const char* Down : {"SpeedButtonAutocontrast", "SpeedButtonAutoGamma", "SpeedButtonAutoACEQ",
                           "CheckBoxAutoSaveActivated"})
    EXPECT_TRUE(Checked(Down)) << Down;
  for (const char* Up :
       {"SpeedButtonFixContrast", "SpeedButtonFixGamma", "SpeedButtonFixACEQ", "CheckBoxAddText"})
    EXPECT_FALSE(Checked(Up)) << Up;
  for (int I = 1; I <= 10; ++I) {
    auto* B = Find<QToolButton>(("SpeedButton" + QByteArray::number(I)).constData());
    EXPECT_EQ(B->text(), QStringLiteral("1:%1").arg(I));
    EXPECT_EQ(B->toolTip(), "Display scale");
    EXPECT_FALSE(B->isEnabled());
    EXPECT_EQ(B->isChecked(), I == 4);
  }
  const std::pair<const char*, const char*> Hints[] = {
      {"SpeedButtonPrevious", "Previous image (Page Up)"},
      {"SpeedButtonFixContrast", "Fixed contrast until the setting is changed by user"},
      {"SpeedButtonAutoACEQ", "Pre-defined value is set on image loading"},
      {"SpeedButtonEnableEQ", "Activate OBRA"},
      {"CheckBoxAddText", "Display time in the image"},
      {"SpeedButtonSetFontColor", "Set font color"}};
  for (const auto& [Name, Hint] : Hints) EXPECT_EQ(Find(Name)->toolTip(), Hint) << Name;
  EXPECT_EQ(Find<QToolButton>("SpeedButtonOpen")->text(), "&Open");
  EXPECT_EQ(Text("LabelGamma"), "Input  Gamma");
  EXPECT_EQ(Find<QCheckBox>("CheckBoxAutoSaveActivated")->text(), "Auto save");
  EXPECT_EQ(Find<QComboBox>("ComboBoxRoi")->currentText(), "Full  frame");
  EXPECT_EQ(Find<QLineEdit>("EditRoiLeft")->text(), "0");
  EXPECT_EQ(Find<QLineEdit>("EditRoiTop")->maxLength(), 4);
  auto* Size = Find<QSpinBox>("UpDownFontSize");
  EXPECT_EQ(Size->minimum(), 8);
  EXPECT_EQ(Size->maximum(), 100);
  EXPECT_EQ(Size->value(), 14);
  EXPECT_EQ(Find<QTimer>("Timer1")->interval(), 500);
  EXPECT_FALSE(Find<QTimer>("Timer1")->isActive());
}

TEST_F(Window, LevelBoxesAtStart) {
  struct Start {
    const char *Slider, *Panel;
    int Min, Max, Position;
    const char* PanelText;
  };
  for (const Start& S :
       {Start{"TrackBarBlack", "PanelBlack", 0, 65535, 0, "0"},
        Start{"TrackBarWhite", "PanelWhite", 0, 100, 100, "100"},
        Start{"TrackBarGamma", "PanelGamma", 10, 60, 20, "2.2"},
        Start{"TrackBarOutputBlack", "PanelOutputBlack", 0, 24000, 0, "0"},
        Start{"TrackBarOutputWhite", "PanelOutputWhite", 40000, 65535, 55535, "55535"}}) {
    auto* T = Find<QSlider>(S.Slider);
    EXPECT_EQ(T->minimum(), S.Min) << S.Slider;
    EXPECT_EQ(T->maximum(), S.Max) << S.Slider;
    EXPECT_EQ(T->value(), S.Position) << S.Slider;
    EXPECT_FALSE(T->isEnabled()) << S.Slider;
    // A disabled level box: silver panel with silver text.
    EXPECT_EQ(Text(S.Panel), S.PanelText);
    EXPECT_EQ(Colour(Find(S.Panel)), QColor(192, 192, 192)) << S.Panel;
    EXPECT_EQ(Colour(Find(S.Panel), QPalette::WindowText), QColor(192, 192, 192)) << S.Panel;
  }
}

TEST_F(Window, EditIniStaysAtTheBottomAndTheWindowKeepsItsMinimum) {
  for (const QSize& Size : {QSize(1280, 860), QSize(1100, 1000), QSize(800, 600)}) {
    Form->resize(Size);
    QCoreApplication::processEvents();
    EXPECT_GE(Form->width(), 1024);
    EXPECT_GE(Form->height(), 768);
    EXPECT_NEAR(Find("SpeedButtonEditIni")->geometry().bottom(), Find("PanelRight")->height() - 1,
                6)
        << Size.height();
  }
}

TEST_F(Window, CommandsWithoutAnImage) {
  Form->SpeedButton1Click(2);
  EXPECT_TRUE(Checked("SpeedButton4"));
  // The overlay check box works before any image and draws nothing.
  Click("CheckBoxAddText");
  ExpectEnabled({"UpDownFontSize", "SpeedButtonSetFontColor"}, true);

  // The configuration editor opens without an image, too.
  Click("SpeedButtonEditIni");
  EXPECT_EQ(Script->ShownWindows, std::vector<std::string>{"FormIniEdit"});
  Form->findChild<QDialog*>(QStringLiteral("FormIniEdit"))->reject();
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
  std::vector<std::string> Filters;
  for (const FileFilter& F : R.Filters) Filters.push_back(QtFilterText(F));
  EXPECT_EQ(Filters,
            (std::vector<std::string>{"FITS (*.fits *.fit *.fts *.fz *.fits.gz *.fit.gz *.fts.gz)",
                                      "TIFF (*.tif *.tiff)", "BIF (*.bif)", "PNG (*.png)"}));
  EXPECT_TRUE(Global.FirstImage);
  EXPECT_FALSE(Enabled("SpeedButtonSave"));
  EXPECT_TRUE(Find("StartLabel1")->isVisible());
}
