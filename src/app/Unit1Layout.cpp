// The main window's regions, controls, captions, hints and colours.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>
#include <tuple>
#include <utility>

#include "Unit1.h"
#include "Unit1Support.h"
#include "ValuePanel.h"
#include "ViewWidgets.h"

namespace obra {

using unit1::SetColors;

namespace {

constexpr int ToolBarHeight = 40, SideBarWidth = 110, StatusBarHeight = 32;

// What a newcomer reads in the empty image area.
constexpr std::array<const char*, 4> StartTexts = {
    "1.  Open a solar image with \"Open\" (FITS, TIFF, BIF or PNG).",
    "2.  Press \"Activate\" on the right to equalize it; pick a ROI size first for a quick look.",
    "3.  Adjust levels, gamma and the OBRA weight with the sliders; 1:1 .. 1:10 zoom the view.",
    "4.  Save the processed view as PNG with \"Save\".",
};

// A button whose caption wraps onto two lines.
class TWrapButton : public QToolButton {
 public:
  using QToolButton::QToolButton;
  QSize sizeHint() const override {
    const QFontMetrics M(font());
    return {QToolButton::sizeHint().width(), 2 * M.height() + 8};
  }
  QSize minimumSizeHint() const override { return {40, sizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStyleOptionToolButton Option;
    initStyleOption(&Option);
    const QString Caption = Option.text;
    Option.text.clear();
    QStylePainter Painter(this);
    Painter.drawComplexControl(QStyle::CC_ToolButton, Option);
    // The colours of the window's button style sheet, which a bare text cannot read.
    Painter.setPen(!isEnabled() ? QColor(138, 128, 120) : isDown() ? Qt::white : Qt::black);
    Painter.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignCenter | Qt::TextWordWrap, Caption);
  }
};

QFrame* MakePanel(QWidget* Parent, const char* Name) {
  auto* P = new QFrame(Parent);
  P->setObjectName(QString::fromLatin1(Name));
  SetColors(P, PanelColor, ClBlack);
  return P;
}

QToolButton* MakeButton(QWidget* Parent, const char* Name, const QString& Caption,
                        const QString& Hint = {}, bool Checkable = false) {
  auto* B = new QToolButton(Parent);
  B->setObjectName(QString::fromLatin1(Name));
  B->setText(Caption);
  B->setToolTip(Hint);
  B->setCheckable(Checkable);
  B->setToolButtonStyle(Qt::ToolButtonTextOnly);
  B->setFocusPolicy(Qt::TabFocus);
  return B;
}

QLabel* MakeLabel(QWidget* Parent, const QString& Text, bool Bold = false) {
  auto* L = new QLabel(Text, Parent);
  if (Bold) {
    QFont F = L->font();
    F.setBold(true);
    L->setFont(F);
  }
  return L;
}

// The look of a value panel: sunken, centred text.
QLabel* StyleValuePanel(QLabel* P, const char* Name, const QString& Hint) {
  P->setObjectName(QString::fromLatin1(Name));
  P->setToolTip(Hint);
  P->setAlignment(Qt::AlignCenter);
  P->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  P->setFixedHeight(20);
  return P;
}

// A read-only value panel.
QLabel* MakeValuePanel(QWidget* Parent, const char* Name, const QString& Hint) {
  return StyleValuePanel(new QLabel(Parent), Name, Hint);
}

// A level box's value panel, which also takes a typed value.
QLabel* MakeLevelPanel(QWidget* Parent, const char* Name, const QString& Hint) {
  return StyleValuePanel(new TValuePanel(Parent), Name, Hint);
}

QSlider* MakeSlider(QWidget* Parent, const char* Name, const QString& Hint) {
  auto* S = new QSlider(Qt::Horizontal, Parent);
  S->setObjectName(QString::fromLatin1(Name));
  S->setToolTip(Hint);
  S->setFixedHeight(20);
  return S;
}

// A status bar panel in navy bold text.
QLabel* MakeStatusPanel(QWidget* Parent, const char* Name, int Width) {
  auto* P = MakeLabel(Parent, {}, true);
  P->setObjectName(QString::fromLatin1(Name));
  P->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  P->setContentsMargins(6, 0, 6, 0);
  if (Width > 0) P->setFixedWidth(Width);
  SetColors(P, PanelColor, ClNavy);
  return P;
}

QButtonGroup* RadioGroup(QObject* Owner, std::initializer_list<QAbstractButton*> Buttons) {
  auto* G = new QButtonGroup(Owner);
  G->setExclusive(true);
  for (QAbstractButton* B : Buttons) G->addButton(B);
  return G;
}

// Texts and names of one level box of the side bar.
struct LevelBoxText {
  const char* Title;
  const char* Bar;
  const char* BarHint;
  const char* Value;
  const char* ValueHint;
};

// The level boxes from top to bottom; the last one holds "Activate" too.
constexpr std::array<LevelBoxText, 6> LevelBoxTexts = {{
    {"Input Black", "TrackBarBlack", "Black color value", "PanelBlack", "Black color value"},
    {"Input White", "TrackBarWhite", "White color value", "PanelWhite", "White color value"},
    {"Input  Gamma", "TrackBarGamma", "Gamma value", "PanelGamma", "Gamma value"},
    {"Output Black", "TrackBarOutputBlack", "", "PanelOutputBlack", "Black color value"},
    {"Output  White", "TrackBarOutputWhite", "", "PanelOutputWhite", "White color value"},
    {"OBRA", "TrackBarEqWeight", "OBRA weight", "PanelEqWeight", "OBRA weight"},
}};

// The widgets of one level box.
struct LevelBox {
  QFrame* Frame;
  QVBoxLayout* Inner;
  QLabel* Title;
  TValuePanel* Value;
  QSlider* Bar;
};

// A raised frame holding the title, the value panel and the slider of T.
LevelBox MakeLevelBox(QWidget* Parent, const LevelBoxText& T) {
  LevelBox B{};
  B.Frame = new QFrame(Parent);
  B.Frame->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  B.Inner = new QVBoxLayout(B.Frame);
  B.Inner->setContentsMargins(3, 2, 3, 3);
  B.Inner->setSpacing(1);
  B.Title = MakeLabel(B.Frame, QString::fromLatin1(T.Title), true);
  B.Title->setObjectName(QStringLiteral("Label") + QString::fromLatin1(T.Value).mid(5));
  B.Title->setAlignment(Qt::AlignCenter);
  B.Value =
      static_cast<TValuePanel*>(MakeLevelPanel(B.Frame, T.Value, QString::fromLatin1(T.ValueHint)));
  B.Bar = MakeSlider(B.Frame, T.Bar, QString::fromLatin1(T.BarHint));
  B.Inner->addWidget(B.Title);
  B.Inner->addWidget(B.Value);
  B.Inner->addWidget(B.Bar);
  return B;
}

// "Activate" in bold and "Auto save" below it, at the end of Box.
std::pair<QToolButton*, QCheckBox*> MakeActivateControls(const LevelBox& Box) {
  QToolButton* Activate = MakeButton(Box.Frame, "SpeedButtonEnableEQ", QStringLiteral("Activate"),
                                     QStringLiteral("Activate OBRA"));
  Activate->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  QFont F = Activate->font();
  F.setBold(true);
  Activate->setFont(F);
  auto* AutoSave = new QCheckBox(QStringLiteral("Auto save"), Box.Frame);
  AutoSave->setObjectName(QStringLiteral("CheckBoxAutoSaveActivated"));
  AutoSave->setToolTip(QStringLiteral("Save activation data"));
  Box.Inner->addWidget(Activate);
  Box.Inner->addWidget(AutoSave);
  return {Activate, AutoSave};
}

// The ROI controls of the side bar, not yet placed.
struct RoiControls {
  QLabel* Caption;
  QToolButton* FullFrame;
  QComboBox* Size;
  QLineEdit* Left;
  QLineEdit* Top;
  QHBoxLayout* Fields;  // Left and Top side by side
  QToolButton* TopLeft;
};

// A four-digit coordinate field.
QLineEdit* MakeRoiEdit(QWidget* Parent, const char* Name, const QString& Hint) {
  auto* E = new QLineEdit(QStringLiteral("0"), Parent);
  E->setObjectName(QString::fromLatin1(Name));
  E->setToolTip(Hint);
  return E;
}

// The ROI caption, "Set full frame", the size list, the corner fields and
// "Set ROI Left and Top", made in this order.
RoiControls MakeRoiControls(QWidget* Parent) {
  RoiControls C{};
  C.Caption =
      MakeValuePanel(Parent, "PanelRoi", QStringLiteral("Use right mouse button to move the ROI"));
  QFont Bold = C.Caption->font();
  Bold.setBold(true);
  C.Caption->setFont(Bold);
  SetColors(C.Caption, PanelColor, ClBlack);
  C.FullFrame = MakeButton(Parent, "SpeedButtonSetFullframe", QStringLiteral("Set full frame"));
  C.Size = new QComboBox(Parent);
  C.Size->setObjectName(QStringLiteral("ComboBoxRoi"));
  C.Size->setToolTip(QStringLiteral("ROI size in pixels"));
  C.Size->addItem(QStringLiteral("Full  frame"));
  C.Left = MakeRoiEdit(Parent, "EditRoiLeft", QStringLiteral("ROI Left coordinate"));
  C.Top = MakeRoiEdit(Parent, "EditRoiTop", QStringLiteral("ROI Top coordinate"));
  C.Fields = new QHBoxLayout;
  C.Fields->setSpacing(2);
  for (QLineEdit* E : {C.Left, C.Top}) {
    E->setMaxLength(4);
    E->setAlignment(Qt::AlignCenter);
    C.Fields->addWidget(E);
  }
  // The longest caption of the side bar does not fit its 110 pixels on one line.
  C.TopLeft = new TWrapButton(Parent);
  C.TopLeft->setObjectName(QStringLiteral("SpeedButtonSetTopLeft"));
  C.TopLeft->setText(QStringLiteral("Set ROI Left and Top"));
  C.TopLeft->setFocusPolicy(Qt::TabFocus);
  return C;
}

// Places the ROI controls and the command buttons below the level boxes;
// "Edit INI file" stays at the bottom of the side bar at every height.
void PlaceSideBarBottom(QVBoxLayout* Col, const RoiControls& Roi, QToolButton* Batch,
                        QToolButton* Export, QToolButton* Header, QToolButton* EditIni) {
  Col->addWidget(Roi.Caption);
  Col->addWidget(Roi.FullFrame);
  Col->addWidget(Roi.Size);
  Col->addLayout(Roi.Fields);
  Col->addWidget(Roi.TopLeft);
  Col->addSpacing(6);
  Col->addWidget(Batch);
  Col->addSpacing(6);
  Col->addWidget(Export);
  Col->addWidget(Header);
  Col->addStretch(1);
  Col->addWidget(EditIni);
  for (QToolButton* B : {Roi.FullFrame, Roi.TopLeft, Batch, Export, Header, EditIni})
    B->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

}  // namespace

void SetupApplicationLook(QApplication& App) {
  App.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QFont F(QStringLiteral("Liberation Sans"));
  F.setStyleHint(QFont::SansSerif);
  F.setPixelSize(13);
  App.setFont(F);
  App.setApplicationName(QStringLiteral("OBRA"));
  // Qt appends the display name to every window title that does not already
  // end with it, so it is the main window's own caption.
  App.setApplicationDisplayName(QStringLiteral("OBRA 1.0"));
}

// Buttons of the panels: light when up, dark when down (a pressed radio
// button of a group stays dark), faded when disabled.
constexpr const char* ButtonStyle = R"(
QToolButton { background: rgb(240, 235, 230); color: black; border: 1px solid rgb(128, 114, 104);
              border-radius: 3px; padding: 2px 3px; }
QToolButton:hover { background: rgb(252, 249, 246); }
QToolButton:pressed, QToolButton:checked { background: rgb(92, 78, 70); color: white;
                                           border-color: rgb(56, 47, 42); }
QToolButton:disabled { background: rgb(200, 190, 182); color: rgb(138, 128, 120);
                       border-color: rgb(164, 152, 144); }
QToolButton:checked:disabled { background: rgb(150, 138, 130); color: rgb(222, 216, 210); }
)";

void TForm1::BuildLayout() {
  setWindowTitle(QStringLiteral("OBRA 1.0"));
  setStyleSheet(QString::fromLatin1(ButtonStyle));
  setMinimumSize(1024, 768);
  auto* Central = new QWidget(this);
  auto* Rows = new QVBoxLayout(Central);
  Rows->setContentsMargins(0, 0, 0, 0);
  Rows->setSpacing(0);

  PanelTop = MakePanel(Central, "PanelTop");
  PanelTop->setFixedHeight(ToolBarHeight);
  BuildToolBar(PanelTop);
  Rows->addWidget(PanelTop);

  auto* Middle = new QHBoxLayout;
  Middle->setSpacing(0);
  BuildImageArea();
  Middle->addWidget(ScrollBox1, 1);
  PanelRight = MakePanel(Central, "PanelRight");
  PanelRight->setFixedWidth(SideBarWidth);
  BuildSideBar(PanelRight);
  Middle->addWidget(PanelRight);
  Rows->addLayout(Middle, 1);

  PanelBottom = MakePanel(Central, "PanelBottom");
  PanelBottom->setFixedHeight(StatusBarHeight);
  BuildStatusBar(PanelBottom);
  Rows->addWidget(PanelBottom);
  setCentralWidget(Central);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  // Twice a second, so the progress, the time left and the end of a run show promptly.
  Timer1->setInterval(500);
  ShortcutStopActivation = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  ShortcutStopActivation->setObjectName(QStringLiteral("ShortcutStopActivation"));
  ShortcutStopActivation->setContext(Qt::WindowShortcut);
  ShortcutStopActivation->setEnabled(false);
}

void TForm1::BuildToolBar(QFrame* Panel) {
  auto* Row = new QHBoxLayout(Panel);
  Row->setContentsMargins(6, 4, 6, 4);
  Row->setSpacing(1);
  SpeedButtonOpen = MakeButton(Panel, "SpeedButtonOpen", QStringLiteral("&Open"));
  SpeedButtonPrevious = MakeButton(Panel, "SpeedButtonPrevious", QStringLiteral("<"),
                                   QStringLiteral("Previous image (Page Up)"));
  SpeedButtonDir = MakeButton(Panel, "SpeedButtonDir", {}, QStringLiteral("Show directory"));
  SpeedButtonDir->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  SpeedButtonDir->setToolButtonStyle(Qt::ToolButtonIconOnly);
  SpeedButtonNext = MakeButton(Panel, "SpeedButtonNext", QStringLiteral(">"),
                               QStringLiteral("Next image (Page Down)"));
  SpeedButtonAdd = MakeButton(Panel, "SpeedButtonAdd", QStringLiteral("&Add"));
  SpeedButtonSave = MakeButton(Panel, "SpeedButtonSave", QStringLiteral("&Save"));
  for (QToolButton* B : {SpeedButtonOpen, SpeedButtonPrevious, SpeedButtonDir, SpeedButtonNext,
                         SpeedButtonAdd, SpeedButtonSave}) {
    B->setMinimumWidth(B == SpeedButtonOpen || B == SpeedButtonAdd || B == SpeedButtonSave ? 42
                                                                                           : 24);
    Row->addWidget(B);
  }

  // The captions keep their whole text when the window is at its narrowest.
  auto Caption = [&](const char* Text) {
    Row->addSpacing(4);
    QLabel* L = MakeLabel(Panel, QString::fromLatin1(Text), true);
    L->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    Row->addWidget(L);
    Row->addSpacing(3);
  };
  Caption("Scale");
  ScaleGroup = new QButtonGroup(this);
  ScaleGroup->setExclusive(true);
  // The ten scales sit edge to edge, one strip of choices.
  auto* Scales = new QHBoxLayout;
  Scales->setSpacing(0);
  for (int32_t I = 1; I <= 10; ++I) {
    const QByteArray Name = "SpeedButton" + QByteArray::number(I);
    QToolButton* B = MakeButton(Panel, Name.constData(), QStringLiteral("1:%1").arg(I),
                                QStringLiteral("Display scale"), true);
    B->setMinimumWidth(28);
    ScaleButtons[I] = B;
    ScaleGroup->addButton(B, I);
    Scales->addWidget(B);
  }
  Row->addLayout(Scales);

  auto Pair = [&](const char* Title, QToolButton* A, QToolButton* B) {
    Caption(Title);
    A->setMinimumWidth(36);
    B->setMinimumWidth(30);
    Row->addWidget(A);
    Row->addWidget(B);
    RadioGroup(this, {A, B});
  };
  SpeedButtonAutocontrast = MakeButton(Panel, "SpeedButtonAutocontrast", QStringLiteral("Auto"),
                                       QStringLiteral("Automatic contrast setting"), true);
  SpeedButtonFixContrast =
      MakeButton(Panel, "SpeedButtonFixContrast", QStringLiteral("Fix"),
                 QStringLiteral("Fixed contrast until the setting is changed by user"), true);
  Pair("Contrast", SpeedButtonAutocontrast, SpeedButtonFixContrast);
  SpeedButtonAutoGamma =
      MakeButton(Panel, "SpeedButtonAutoGamma", QStringLiteral("Def"),
                 QStringLiteral("Pre-defined value is set on image loading"), true);
  SpeedButtonFixGamma = MakeButton(Panel, "SpeedButtonFixGamma", QStringLiteral("Fix"),
                                   QStringLiteral("Fixed gamma until it is changed by user"), true);
  Pair("Gamma", SpeedButtonAutoGamma, SpeedButtonFixGamma);
  SpeedButtonAutoACEQ =
      MakeButton(Panel, "SpeedButtonAutoACEQ", QStringLiteral("Def"),
                 QStringLiteral("Pre-defined value is set on image loading"), true);
  SpeedButtonFixACEQ =
      MakeButton(Panel, "SpeedButtonFixACEQ", QStringLiteral("Fix"),
                 QStringLiteral("Fixed OBRA weight until it is changed by user"), true);
  Pair("OBRA", SpeedButtonAutoACEQ, SpeedButtonFixACEQ);

  Row->addSpacing(4);
  ComboBoxColourTable = new QComboBox(Panel);
  ComboBoxColourTable->setObjectName(QStringLiteral("ComboBoxColourTable"));
  ComboBoxColourTable->setToolTip(
      QStringLiteral("Colour table of the view: grey, the table of the image's channel, or a named "
                     "table"));
  for (const std::string& Name : ColourTableChoices())
    ComboBoxColourTable->addItem(QString::fromStdString(Name));
  ComboBoxColourTable->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  Row->addWidget(ComboBoxColourTable);
  Row->addStretch(1);
}

void TForm1::BuildSideBar(QFrame* Panel) {
  auto* Col = new QVBoxLayout(Panel);
  Col->setContentsMargins(4, 4, 4, 4);
  Col->setSpacing(2);

  const std::array<std::pair<QLabel**, QSlider**>, 6> Targets = {{
      {&PanelBlack, &TrackBarBlack},
      {&PanelWhite, &TrackBarWhite},
      {&PanelGamma, &TrackBarGamma},
      {&PanelOutputBlack, &TrackBarOutputBlack},
      {&PanelOutputWhite, &TrackBarOutputWhite},
      {&PanelEqWeight, &TrackBarEqWeight},
  }};
  for (size_t I = 0; I < LevelBoxTexts.size(); ++I) {
    const LevelBox Box = MakeLevelBox(Panel, LevelBoxTexts[I]);
    LevelTitles[I] = Box.Title;
    *Targets[I].first = Box.Value;
    Box.Value->Typed = [this, I](const QString& Text) {
      LevelPanelTyped(static_cast<LevelPanel>(I), Text);
    };
    *Targets[I].second = Box.Bar;
    if (I == LevelBoxTexts.size() - 1)
      std::tie(SpeedButtonEnableEQ, CheckBoxAutoSaveActivated) = MakeActivateControls(Box);
    Col->addWidget(Box.Frame);
  }

  Col->addSpacing(6);
  const RoiControls Roi = MakeRoiControls(Panel);
  PanelRoi = Roi.Caption;
  SpeedButtonSetFullframe = Roi.FullFrame;
  ComboBoxRoi = Roi.Size;
  EditRoiLeft = Roi.Left;
  EditRoiTop = Roi.Top;
  SpeedButtonSetTopLeft = Roi.TopLeft;
  SpeedButtonBatch = MakeButton(Panel, "SpeedButtonBatch", QStringLiteral("Batch proc."));
  SpeedButtonEditIni = MakeButton(Panel, "SpeedButtonEditIni", QStringLiteral("Edit INI file"));
  SpeedButtonExport = MakeButton(Panel, "SpeedButtonExport", QStringLiteral("Export"),
                                 QStringLiteral("Export the 16-bit result as a FITS file"));
  SpeedButtonHeader = MakeButton(Panel, "SpeedButtonHeader", QStringLiteral("Header"),
                                 QStringLiteral("Show the header of the image"));
  PlaceSideBarBottom(Col, Roi, SpeedButtonBatch, SpeedButtonExport, SpeedButtonHeader,
                     SpeedButtonEditIni);
}

void TForm1::BuildStatusBar(QFrame* Panel) {
  auto* Row = new QHBoxLayout(Panel);
  Row->setContentsMargins(2, 2, 2, 2);
  Row->setSpacing(2);
  PanelTime = MakePanel(Panel, "PanelTime");
  PanelTime->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PanelTime->setFixedWidth(330);
  auto* TimeRow = new QHBoxLayout(PanelTime);
  TimeRow->setContentsMargins(4, 0, 2, 0);
  TimeRow->setSpacing(4);
  CheckBoxAddText = new QCheckBox(PanelTime);
  CheckBoxAddText->setObjectName(QStringLiteral("CheckBoxAddText"));
  CheckBoxAddText->setToolTip(QStringLiteral("Display time in the image"));
  LabelTime = MakeStatusPanel(PanelTime, "LabelTime", 0);
  LabelTime->setFrameStyle(QFrame::NoFrame);
  LabelTime->setToolTip(QStringLiteral("Display time in the image"));
  UpDownFontSize = new QSpinBox(PanelTime);
  UpDownFontSize->setObjectName(QStringLiteral("UpDownFontSize"));
  UpDownFontSize->setToolTip(QStringLiteral("Change font size"));
  UpDownFontSize->setRange(8, 100);
  UpDownFontSize->setValue(14);
  UpDownFontSize->setFixedWidth(52);
  SpeedButtonSetFontColor = MakeButton(PanelTime, "SpeedButtonSetFontColor", QStringLiteral("A"),
                                       QStringLiteral("Set font color"));
  TimeRow->addWidget(CheckBoxAddText);
  TimeRow->addWidget(LabelTime, 1);
  TimeRow->addWidget(UpDownFontSize);
  TimeRow->addWidget(SpeedButtonSetFontColor);
  Row->addWidget(PanelTime);

  PanelInfo = MakeStatusPanel(Panel, "PanelInfo", 90);
  PanelInfo->setAlignment(Qt::AlignCenter);
  PanelCoordinates = MakeStatusPanel(Panel, "PanelCoordinates", 120);
  PanelCoordinates->setAlignment(Qt::AlignCenter);
  PanelPixelVal = MakeStatusPanel(Panel, "PanelPixelVal", 190);
  PanelProc = MakeStatusPanel(Panel, "PanelProc", 0);
  PanelSolar = MakeStatusPanel(Panel, "PanelSolar", 250);
  PanelSolar->setAlignment(Qt::AlignCenter);
  PanelSolar->setToolTip(QStringLiteral(
      "Helioprojective position in arcseconds and distance from disc centre in solar radii"));
  PanelEta = MakeStatusPanel(Panel, "PanelEta", 110);
  PanelEta->setAlignment(Qt::AlignCenter);
  PanelEta->setToolTip(QStringLiteral("Estimated time left"));
  PanelEta->hide();
  SpeedButtonStopActivation = MakeButton(Panel, "SpeedButtonStopActivation", QStringLiteral("Stop"),
                                         QStringLiteral("Stop the activation (Esc)"));
  SpeedButtonStopActivation->hide();
  Row->addWidget(PanelInfo);
  Row->addWidget(PanelCoordinates);
  Row->addWidget(PanelSolar);
  Row->addWidget(PanelPixelVal);
  Row->addWidget(PanelProc, 1);
  Row->addWidget(PanelEta);
  Row->addWidget(SpeedButtonStopActivation);
}

void TForm1::BuildImageArea() {
  ScrollBox1 = new QScrollArea;
  ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
  ScrollBox1->setFrameStyle(QFrame::NoFrame);
  ScrollBox1->setWidgetResizable(false);
  ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // The window's style sheet owns the look of scroll areas, so their colour goes there too.
  ScrollBox1->setStyleSheet(
      QStringLiteral("QScrollArea#ScrollBox1 { background: rgb(%1, %2, %3); }")
          .arg(ImageAreaColor.R)
          .arg(ImageAreaColor.G)
          .arg(ImageAreaColor.B));
  ScrollContent = new QWidget;
  ScrollContent->setObjectName(QStringLiteral("ScrollContent"));
  ScrollContent->resize(0, 0);
  Image1 = new TImageView(ScrollContent);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->hide();
  ShapeRoi = new TShapeRoi(ScrollContent);
  ShapeRoi->setObjectName(QStringLiteral("ShapeRoi"));
  // No tooltip: the frame spans the region it outlines, and a hint box would
  // cover the picture whenever the mouse rests inside it (PanelRoi says it).
  ShapeRoi->hide();
  ScrollBox1->setWidget(ScrollContent);
  // The area's own colour shows around and behind the picture.
  ScrollContent->setAutoFillBackground(false);

  QFont F = font();
  F.setPixelSize(17);
  for (size_t I = 0; I < StartLabels.size(); ++I) {
    QLabel* L = MakeLabel(ScrollBox1->viewport(), QString::fromLatin1(StartTexts[I]));
    L->setObjectName(QStringLiteral("StartLabel%1").arg(I + 1));
    L->setFont(F);
    SetColors(L, ImageAreaColor, Rgb{236, 226, 214});
    L->move(48, 48 + static_cast<int>(I) * 40);
    L->adjustSize();
    StartLabels[I] = L;
  }
  ScrollBox1->viewport()->installEventFilter(this);
  ScrollContent->installEventFilter(this);
  ScrollBox1->installEventFilter(this);
}

}  // namespace obra
