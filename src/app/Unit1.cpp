// The main window: creation, wiring and the handlers of its controls.
#include "Unit1.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "IniFile.h"
#include "Unit1Support.h"
#include "ViewWidgets.h"

namespace fs = std::filesystem;

namespace obra {

namespace {

// The save dialog offers the region entries only while a ROI is selected.
std::vector<FileFilter> SaveFilters(bool Roi) {
  std::vector<FileFilter> F = {{"PNG - Full frame, full resolution", {"*.png"}},
                               {"PNG - Full frame, scaled", {"*.png"}}};
  if (Roi) {
    F.push_back({"PNG - ROI, full resolution", {"*.png"}});
    F.push_back({"PNG - ROI, scalled", {"*.png"}});
  }
  return F;
}

}  // namespace

TForm1::TForm1(std::unique_ptr<Dialogs> D, QWidget* Parent)
    : QMainWindow(Parent), Dialogs_(std::move(D)) {
  if (!Dialogs_) Dialogs_ = std::make_unique<QtDialogs>(this);
  setObjectName(QStringLiteral("Form1"));
  BuildLayout();
  ConnectHandlers();
  ConnectView();
  BuildWindows();
  Global.ShowMessage = [this](const std::string& Text) { Dialogs_->Message(Text); };
  Global.AskYesNoCancel = [this](const std::string& Text) { return Dialogs_->YesNoCancel(Text); };
  SyncFromState();
}

TForm1::~TForm1() {
  // The workers read the state's buffers: stop them before anything goes.
  Timer1->stop();
  Global.Workers.reset();
  Global.ShowMessage = nullptr;
  Global.AskYesNoCancel = nullptr;
  Global.Batch.OnChange = nullptr;
}

void TForm1::ConnectHandlers() {
  connect(SpeedButtonOpen, &QToolButton::clicked, this, [this] { SpeedButtonOpenClick(true); });
  connect(SpeedButtonSave, &QToolButton::clicked, this, [this] { SpeedButtonSaveClick(true); });
  connect(SpeedButtonExport, &QToolButton::clicked, this, &TForm1::SpeedButtonExportClick);
  connect(SpeedButtonHeader, &QToolButton::clicked, this, &TForm1::SpeedButtonHeaderClick);
  connect(ComboBoxColourTable, &QComboBox::currentTextChanged, this,
          &TForm1::ComboBoxColourTableChange);
  connect(ScaleGroup, &QButtonGroup::idClicked, this, [this](int Id) { SpeedButton1Click(Id); });
  connect(SpeedButtonAutocontrast, &QToolButton::clicked, this,
          &TForm1::SpeedButtonAutocontrastClick);
  connect(SpeedButtonFixContrast, &QToolButton::clicked, this,
          &TForm1::SpeedButtonFixContrastClick);
  connect(SpeedButtonAutoGamma, &QToolButton::clicked, this, &TForm1::SpeedButtonAutoGammaClick);
  connect(SpeedButtonFixGamma, &QToolButton::clicked, this, &TForm1::SpeedButtonFixGammaClick);
  connect(SpeedButtonAutoACEQ, &QToolButton::clicked, this, &TForm1::SpeedButtonAutoACEQClick);
  connect(SpeedButtonFixACEQ, &QToolButton::clicked, this, &TForm1::SpeedButtonFixACEQClick);

  // A slider recomposes on keyboard changes and when a drag ends.
  const std::array<std::pair<QSlider*, void (TForm1::*)()>, 6> Sliders = {{
      {TrackBarBlack, &TForm1::TrackBarBlackChange},
      {TrackBarWhite, &TForm1::TrackBarWhiteChange},
      {TrackBarGamma, &TForm1::TrackBarGammaChange},
      {TrackBarOutputBlack, &TForm1::TrackBarOutputBlackChange},
      {TrackBarOutputWhite, &TForm1::TrackBarOutputWhiteChange},
      {TrackBarEqWeight, &TForm1::TrackBarEqWeightChange},
  }};
  for (const auto& [Slider, Handler] : Sliders) {
    connect(Slider, &QSlider::valueChanged, this, Handler);
    connect(Slider, &QSlider::sliderReleased, this, Handler);
  }

  connect(SpeedButtonEnableEQ, &QToolButton::clicked, this,
          [this] { SpeedButtonEnableEQClick(true); });
  connect(CheckBoxAutoSaveActivated, &QCheckBox::toggled, this,
          &TForm1::CheckBoxAutoSaveActivatedClick);
  connect(ComboBoxRoi, &QComboBox::currentIndexChanged, this, &TForm1::ComboBoxRoiChange);
  connect(SpeedButtonSetFullframe, &QToolButton::clicked, this,
          &TForm1::SpeedButtonSetFullframeClick);
  connect(EditRoiLeft, &QLineEdit::textChanged, this, &TForm1::EditRoiLeftChange);
  connect(EditRoiTop, &QLineEdit::textChanged, this, &TForm1::EditRoiLeftChange);
  connect(SpeedButtonSetTopLeft, &QToolButton::clicked, this, &TForm1::SpeedButtonSetTopLeftClick);
  connect(SpeedButtonBatch, &QToolButton::clicked, this, &TForm1::SpeedButtonBatchClick);
  connect(SpeedButtonEditIni, &QToolButton::clicked, this, &TForm1::SpeedButtonEditIniClick);

  connect(CheckBoxAddText, &QCheckBox::toggled, this, &TForm1::CheckBoxAddTextClick);
  connect(UpDownFontSize, &QSpinBox::valueChanged, this, &TForm1::UpDownFontSizeClick);
  connect(SpeedButtonSetFontColor, &QToolButton::clicked, this,
          &TForm1::SpeedButtonSetFontColorClick);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
  connect(SpeedButtonStopActivation, &QToolButton::clicked, this,
          &TForm1::SpeedButtonStopActivationClick);
  connect(ShortcutStopActivation, &QShortcut::activated, this,
          &TForm1::SpeedButtonStopActivationClick);
}

// ---- file commands --------------------------------------------------------------------

void TForm1::SpeedButtonOpenClick(bool Sender) {
  if (Sender) {
    FileRequest R;
    R.Title = "Open image";
    R.Filters = unit1::OpenFilters();
    const fs::path Last(Global.OpenDialogFileName);
    R.InitialDir = Last.has_parent_path() ? Last.parent_path().string() : std::string();
    R.FileName = Global.OpenDialogFileName;
    const std::optional<FileAnswer> A = Dialogs_->OpenFile(R);
    if (!A) return;
    Global.OpenDialogFileName = A->Path;
  }
  StoreGeometry();
  OpenImage(Global);
  SyncFromState();
}

void TForm1::SpeedButtonSaveClick(bool Sender) {
  SaveDialogState& D = Global.SaveDialog1;
  if (Sender) {
    FileRequest R;
    R.Title = "Save image as ...";
    R.Filters = SaveFilters(Global.RoiActive);
    R.SelectedFilter = Global.RoiActive ? SaveRoi : SaveFullFrame;
    R.InitialDir = D.InitialDir;
    R.FileName = D.FileName;
    R.DefaultSuffix = "png";
    R.ConfirmOverwrite = true;
    const std::optional<FileAnswer> A = Dialogs_->SaveFile(R);
    if (!A) return;
    D.FilterIndex = A->FilterIndex;
    D.FileName = A->Path;
  }
  fs::path Path(D.FileName);
  if (Path.is_relative() && !D.InitialDir.empty()) Path = fs::path(D.InitialDir) / Path;
  SaveImage(Global, D.FilterIndex, Path.string());
  SyncFromState();
}

// ---- levels and mode buttons ------------------------------------------------------------

void TForm1::SliderChange(QSlider* Slider, void (*Change)(SharedState&, int32_t, bool)) {
  Change(Global, Slider->value(), Slider->isSliderDown());
  SyncFromState();
}

void TForm1::TrackBarBlackChange() { SliderChange(TrackBarBlack, &obra::TrackBarBlackChange); }
void TForm1::TrackBarWhiteChange() { SliderChange(TrackBarWhite, &obra::TrackBarWhiteChange); }
void TForm1::TrackBarGammaChange() { SliderChange(TrackBarGamma, &obra::TrackBarGammaChange); }
void TForm1::TrackBarOutputBlackChange() {
  SliderChange(TrackBarOutputBlack, &obra::TrackBarOutputBlackChange);
}
void TForm1::TrackBarOutputWhiteChange() {
  SliderChange(TrackBarOutputWhite, &obra::TrackBarOutputWhiteChange);
}
void TForm1::TrackBarEqWeightChange() {
  SliderChange(TrackBarEqWeight, &obra::TrackBarEqWeightChange);
}

void TForm1::LevelPanelTyped(LevelPanel Panel, const QString& Text) {
  const TypedLevel R = TypeLevel(Global, Panel, Text.toStdString());
  SyncFromState();
  const std::array<QLabel*, 6> Panels = {PanelBlack,       PanelWhite,       PanelGamma,
                                         PanelOutputBlack, PanelOutputWhite, PanelEqWeight};
  if (R != TypedLevel::Applied) FlashPanel(Panels[static_cast<size_t>(Panel)]);
}

void TForm1::FlashPanel(QLabel* Panel) {
  unit1::SetColors(Panel, InvalidFieldColor, ClBlack);
  // The next sync gives the panel its own colours back.
  QTimer::singleShot(800, this, [this] { SyncSideBar(); });
}

void TForm1::Apply(void (*Operation)(SharedState&)) {
  StoreGeometry();
  Operation(Global);
  SyncFromState();
}

void TForm1::SpeedButtonAutocontrastClick() { Apply(&obra::SpeedButtonAutocontrastClick); }
void TForm1::SpeedButtonFixContrastClick() { Apply(&obra::SpeedButtonFixContrastClick); }
void TForm1::SpeedButtonAutoGammaClick() { Apply(&obra::SpeedButtonAutoGammaClick); }
void TForm1::SpeedButtonFixGammaClick() { Apply(&obra::SpeedButtonFixGammaClick); }
void TForm1::SpeedButtonAutoACEQClick() { Apply(&obra::SpeedButtonAutoACEQClick); }
void TForm1::SpeedButtonFixACEQClick() { Apply(&obra::SpeedButtonFixACEQClick); }

// ---- activation ---------------------------------------------------------------------------

void TForm1::SpeedButtonEnableEQClick(bool) {
  if (!Global.SpeedButtonEnableEQ.Enabled) return;
  StartActivation(Global);
  SyncFromState();
}

void TForm1::Timer1Timer() {
  obra::Timer1Timer(Global);
  SyncFromState();
}

void TForm1::SpeedButtonStopActivationClick() {
  if (!obra::StopActivation(Global)) return;
  SyncFromState();
}

void TForm1::CheckBoxAutoSaveActivatedClick(bool Checked) {
  Global.CheckBoxAutoSaveActivated.Down = Checked;
  SyncFromState();
}

// ---- region of interest ---------------------------------------------------------------------

void TForm1::ComboBoxRoiChange(int Index) {
  StoreGeometry();
  obra::ComboBoxRoiChange(Global, Index);
  SyncFromState();
}

void TForm1::SpeedButtonSetFullframeClick() { Apply(&obra::SpeedButtonSetFullframeClick); }

void TForm1::EditRoiLeftChange() {
  Global.EditRoiLeft.Text = EditRoiLeft->text().toStdString();
  Global.EditRoiTop.Text = EditRoiTop->text().toStdString();
  obra::EditRoiLeftChange(Global);
  SyncFromState();
}

void TForm1::SpeedButtonSetTopLeftClick() { Apply(&obra::SpeedButtonSetTopLeftClick); }

// ---- time overlay ------------------------------------------------------------------------------

void TForm1::CheckBoxAddTextClick(bool Checked) {
  obra::CheckBoxAddTextClick(Global, Checked);
  SyncFromState();
}

void TForm1::SpeedButtonSetFontColorClick() {
  if (const std::optional<Rgb> C = Dialogs_->Color(Global.OverlayColor))
    SetOverlayColor(Global, *C);
  RenderView(Global);
  SyncFromState();
}

void TForm1::UpDownFontSizeClick(int Position) {
  obra::UpDownFontSizeClick(Global, Position, true);
  SyncFromState();
}

// ---- side bar commands
// ---------------------------------------------------------------------------

void TForm1::SpeedButtonBatchClick() {
  if (Global.CacheUnwritable) {
    Dialogs_->Message("Impossible to process, the disk is read only.");
    return;
  }
  emit BatchRequested();
}

void TForm1::closeEvent(QCloseEvent* Event) {
  // An activation in progress is stopped: its workers must not outlive the
  // buffers and tables they read.
  Timer1->stop();
  StopActivation(Global);
  Event->accept();
}

}  // namespace obra
