// The main window TForm1: tool bar, side bar, status bar and image area.
//
// Common rules of this module:
//  - The window holds no image logic. Every handler calls the workflow
//    operation of Global.h on the process-wide state `Global`, then
//    SyncFromState() sets every widget from that state. Programmatic widget
//    changes are made under QSignalBlocker, so they never re-enter handlers.
//  - The engine never runs on the user-interface thread: "Activate" starts
//    the workers of Global.Workers and Timer1 polls them.
//  - Widgets carry the names of the controls they stand for as object names
//    (SpeedButtonOpen, TrackBarBlack, ...), so tests and tools can find them.
//  - Modal windows go through the Dialogs interface the window is given;
//    Global.ShowMessage is routed to its message box.
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>

#include "Dialogs.h"
#include "Global.h"

class QApplication;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QScrollArea;
class QShortcut;
class QSlider;
class QSpinBox;
class QTimer;
class QToolButton;
class QWidget;

namespace obra {

class THeaderWindow;
class TFormDir;
class TFormIniEdit;
class TImageView;
class TShapeRoi;
struct ViewMouse;

// Style, palette and font of the application, shared by the program and its tests.
void SetupApplicationLook(QApplication& App);

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  // Dialogs: the modal windows to use; the Qt ones when none is given.
  explicit TForm1(std::unique_ptr<Dialogs> Dialogs = nullptr, QWidget* Parent = nullptr);
  ~TForm1() override;

  // The modal windows the window shows (for the batch and editor dialogs).
  Dialogs& Modal() { return *Dialogs_; }

  // ---- handlers (public so that other windows and tests can run them) ----
  // Each runs its workflow operation on Global, then SyncFromState().
  // "&Open"; Sender false: no dialog, the file name already in the open dialog's slot.
  void SpeedButtonOpenClick(bool Sender = true);
  // "&Save"; Sender false: the file name and save mode stored by an earlier save.
  void SpeedButtonSaveClick(bool Sender = true);
  // "Activate": starts the workers and Timer1 (nothing while it is disabled).
  void SpeedButtonEnableEQClick(bool Sender = true);
  // One poll of the workers; finishes the activation when every column is done.
  void Timer1Timer();
  // "Stop" in the status bar, and Esc while an activation runs: ends it and
  // puts the window back as it was before "Activate".
  void SpeedButtonStopActivationClick();
  // A scale button "1:1" .. "1:10".
  void SpeedButton1Click(int32_t Scale);
  // The Auto/Fix and Def/Fix pairs of the tool bar.
  void SpeedButtonAutocontrastClick();
  void SpeedButtonFixContrastClick();
  void SpeedButtonAutoGammaClick();
  void SpeedButtonFixGammaClick();
  void SpeedButtonAutoACEQClick();
  void SpeedButtonFixACEQClick();
  // The six sliders: recompose on keyboard changes and when a drag ends.
  void TrackBarBlackChange();
  void TrackBarWhiteChange();
  void TrackBarGammaChange();
  void TrackBarOutputBlackChange();
  void TrackBarOutputWhiteChange();
  void TrackBarEqWeightChange();
  // Enter in a value panel: the typed value, applied as a slider move; a
  // value outside the slider's range (or no number) turns the panel red for
  // a moment.
  void LevelPanelTyped(LevelPanel Panel, const QString& Text);
  // "Auto save" ticked or not.
  void CheckBoxAutoSaveActivatedClick(bool Checked);
  // A ROI size chosen in ComboBoxRoi; "Set full frame" chooses entry 0.
  void ComboBoxRoiChange(int Index);
  void SpeedButtonSetFullframeClick();
  // A typed ROI corner (both fields): validates and colours them.
  void EditRoiLeftChange();
  // "Set ROI Left and Top": moves the ROI to the typed corner.
  void SpeedButtonSetTopLeftClick();
  // Double-click on the view at view position (X, Y): 1:1 and back to the
  // fitting scale, centred on the clicked sample.
  void Image1DblClick(int32_t X, int32_t Y);
  // The mouse wheel over the view: one scale step per notch at the pointer.
  void Image1MouseWheel(int32_t Steps, int32_t X, int32_t Y);
  // Double-click beside the picture: the kernel profile graph.
  void ScrollBox1DblClick();
  // The time overlay: check box, font colour and font size.
  void CheckBoxAddTextClick(bool Checked);
  void SpeedButtonSetFontColorClick();
  void UpDownFontSizeClick(int Position);
  // "Batch proc.": refused while the cache is read-only, else BatchRequested.
  void SpeedButtonBatchClick();
  // "Edit INI file": loads OBRA.ini into the configuration editor and shows it.
  void SpeedButtonEditIniClick();
  // "Export": the 16-bit result as an unsigned 16-bit FITS file, through the save dialog.
  void SpeedButtonExportClick();
  // "Header": shows the non-modal header window of the current image.
  void SpeedButtonHeaderClick();
  // A colour table chosen in ComboBoxColourTable ("Grey", "Channel", a named table).
  void ComboBoxColourTableChange(const QString& Name);
  // The header window, once "Header" has been pressed (null before).
  THeaderWindow* HeaderWindow() const { return FormHeader; }
  // "Show directory": the directory browser, modally.
  void SpeedButtonDirClick();
  // "<" and ">": the previous / next file of the directory list.
  void SpeedButtonPreviousClick();
  void SpeedButtonNextClick();
  // The browser's "Open": the selected file of the directory list.
  void OpenDirectoryEntry();
  // "&Add": a second image of the same channel added into the current one.
  void SpeedButtonAddClick();
  // Keys the window sees before its controls: Page Up acts as "<" and Page
  // Down as ">" while that button can be pressed. Returns true when it acted;
  // the key still goes on to the focused control.
  bool FormKeyDown(int Key);
  // Re-places the view after the image area changed its size.
  void FormResize();
  // Sets every widget from Global.
  void SyncFromState();

 signals:
  // "Batch proc." was accepted: the batch dialog is to be shown.
  void BatchRequested();

 protected:
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void BuildLayout();
  void BuildToolBar(QFrame* Panel);
  void BuildSideBar(QFrame* Panel);
  void BuildStatusBar(QFrame* Panel);
  void BuildImageArea();
  void ConnectHandlers();
  void ConnectView();
  // Creates the hidden directory browser and configuration editor, the key
  // preview, and connects the file commands of the tool bar.
  void BuildWindows();
  // Copies the image area's geometry and scroll position into Global.
  void StoreGeometry();
  void SyncToolBar();
  void SyncSideBar();
  void SyncStatusBar();
  void SyncView();
  // The window title and the header window follow the current image.
  void SyncImageName();
  void Image1MouseDown(const ViewMouse& M);
  void Image1MouseMove(const ViewMouse& M);
  void ShapeRoiMouseDown(const ViewMouse& M);
  void ShapeRoiMouseMove(const ViewMouse& M);
  void ShapeRoiMouseUp(const ViewMouse& M);
  // The pointer left the picture: the readout is emptied.
  void Image1MouseLeave();
  // SyncFromState, then the scroll bars to the Global.ScrollX / ScrollY that
  // a zoom at a point asked for.
  void SyncAndScroll();
  // Shows a value panel red until the next sync, about a second later.
  void FlashPanel(QLabel* Panel);
  // Runs a workflow operation on Global with the current view geometry, then syncs.
  void Apply(void (*Operation)(SharedState&));
  // A slider change as the workflow takes it: position and drag state.
  void SliderChange(QSlider* Slider, void (*Change)(SharedState&, int32_t, bool));

  std::unique_ptr<Dialogs> Dialogs_;
  int32_t AnchorX_ = 0, AnchorY_ = 0;  // scroll anchor, view coordinates

  // Regions.
  QFrame *PanelTop = nullptr, *PanelRight = nullptr, *PanelBottom = nullptr;
  QScrollArea* ScrollBox1 = nullptr;
  QWidget* ScrollContent = nullptr;
  TImageView* Image1 = nullptr;
  TShapeRoi* ShapeRoi = nullptr;
  std::array<QLabel*, 4> StartLabels{};

  // Tool bar.
  QToolButton *SpeedButtonOpen = nullptr, *SpeedButtonPrevious = nullptr, *SpeedButtonDir = nullptr,
              *SpeedButtonNext = nullptr, *SpeedButtonAdd = nullptr, *SpeedButtonSave = nullptr;
  std::array<QToolButton*, 11> ScaleButtons{};  // 1..10
  QToolButton *SpeedButtonAutocontrast = nullptr, *SpeedButtonFixContrast = nullptr,
              *SpeedButtonAutoGamma = nullptr, *SpeedButtonFixGamma = nullptr,
              *SpeedButtonAutoACEQ = nullptr, *SpeedButtonFixACEQ = nullptr;
  QButtonGroup* ScaleGroup = nullptr;
  QToolButton *SpeedButtonExport = nullptr, *SpeedButtonHeader = nullptr;
  QComboBox* ComboBoxColourTable = nullptr;
  THeaderWindow* FormHeader = nullptr;

  // Side bar.
  std::array<QLabel*, 6> LevelTitles{};  // the five level boxes, then "OBRA"
  QLabel *PanelBlack = nullptr, *PanelWhite = nullptr, *PanelGamma = nullptr,
         *PanelOutputBlack = nullptr, *PanelOutputWhite = nullptr, *PanelEqWeight = nullptr;
  QSlider *TrackBarBlack = nullptr, *TrackBarWhite = nullptr, *TrackBarGamma = nullptr,
          *TrackBarOutputBlack = nullptr, *TrackBarOutputWhite = nullptr,
          *TrackBarEqWeight = nullptr;
  QToolButton* SpeedButtonEnableEQ = nullptr;
  QCheckBox* CheckBoxAutoSaveActivated = nullptr;
  QLabel* PanelRoi = nullptr;
  QToolButton* SpeedButtonSetFullframe = nullptr;
  QComboBox* ComboBoxRoi = nullptr;
  QLineEdit *EditRoiLeft = nullptr, *EditRoiTop = nullptr;
  QToolButton *SpeedButtonSetTopLeft = nullptr, *SpeedButtonBatch = nullptr,
              *SpeedButtonEditIni = nullptr;

  // Status bar.
  QFrame* PanelTime = nullptr;
  QLabel* LabelTime = nullptr;  // the observation time PanelTime shows
  QCheckBox* CheckBoxAddText = nullptr;
  QSpinBox* UpDownFontSize = nullptr;
  QToolButton* SpeedButtonSetFontColor = nullptr;
  QLabel *PanelInfo = nullptr, *PanelCoordinates = nullptr, *PanelPixelVal = nullptr,
         *PanelProc = nullptr, *PanelSolar = nullptr;
  QLabel* PanelEta = nullptr;  // the time left, beside the progress text
  QToolButton* SpeedButtonStopActivation = nullptr;
  QShortcut* ShortcutStopActivation = nullptr;  // Esc while an activation runs

  QTimer* Timer1 = nullptr;

  // Secondary windows, created hidden with the main window.
  TFormDir* FormDir = nullptr;
  TFormIniEdit* FormIniEdit = nullptr;
};

}  // namespace obra
