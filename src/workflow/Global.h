// Shared state and the workflow operations of the main window, without widgets.
//
// Common rules of this module:
//  - SharedState holds everything the window shows or decides from: the
//    current image, its buffers and derived names, the level values, the
//    region of interest, the view, and the state of every control that the
//    workflow reads or sets (positions, ranges, captions, colours, enabled
//    and down states). The window calls an operation, then mirrors the state
//    into its widgets; obra-cli drives the same operations.
//  - Operations run on the user-interface thread only. While an activation
//    runs, nothing but the status bar may change the state (the window keeps
//    its other controls disabled, as PanelTopEnabled etc. say).
//  - Faults are shown through SharedState::ShowMessage; nothing here pops a
//    window or ends the process.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Activation.h"
#include "Display.h"
#include "FitsHeader.h"
#include "IOGraphics.h"

namespace obra {

struct Rgb {
  uint8_t R = 0, G = 0, B = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb ClWhite{255, 255, 255};
inline constexpr Rgb ClBlack{0, 0, 0};
inline constexpr Rgb ClSilver{192, 192, 192};
inline constexpr Rgb ClGray{128, 128, 128};
inline constexpr Rgb ClNavy{0, 0, 128};
inline constexpr Rgb ClLime{0, 255, 0};
inline constexpr Rgb ClRed{255, 0, 0};
inline constexpr Rgb ClYellow{255, 255, 0};
inline constexpr Rgb PanelColor{175, 160, 149};  // tool bar, side bar, status bar
inline constexpr Rgb ImageAreaColor{81, 69, 64};
inline constexpr Rgb ProgressColor{96, 255, 144};     // PanelProc while activating
inline constexpr Rgb NotActiveColor{255, 48, 48};     // OBRA weight panel without activation
inline constexpr Rgb InvalidFieldColor{255, 64, 64};  // a typed ROI coordinate that does not fit

// The program's name and version, as the window title and exported files show it.
inline constexpr const char* ProgramTitle = "OBRA 1.0";

// A text panel or label.
struct PanelState {
  std::string Caption;
  Rgb Color = ClWhite;
  Rgb FontColor = ClBlack;
  bool Enabled = true;
};

// A track bar: the position always lies inside Min..Max.
struct TrackBarState {
  int32_t Min = 0, Max = 10, Position = 0;
  bool Enabled = true;
  // Sets the range (never empty: Max below Min is raised to Min) and keeps
  // the position inside it.
  void SetRange(int32_t NewMin, int32_t NewMax);
  void SetPosition(int32_t P);
};

// A button; Down matters only for the grouped (radio) buttons.
struct ButtonState {
  bool Enabled = true;
  bool Down = false;
};

// An edit field.
struct EditState {
  std::string Text;
  bool Enabled = false;
  Rgb Color = ClSilver;
};

// One offered size of the region of interest.
struct RoiItem {
  int32_t Width = 0, Height = 0;
  std::string Caption;
};

// The save dialog's remembered state.
struct SaveDialogState {
  int32_t FilterIndex = 1;  // the save mode, 1..4
  std::string FileName;
  std::string InitialDir;
};

// The answer to a question with the buttons Yes, No and Cancel.
enum class Answer { Yes, No, Cancel };
// Asks a Yes/No/Cancel question (message box in the window, a fixed answer in
// the CLI); closing the question counts as Cancel.
using QuestionSink = std::function<Answer(const std::string& Text)>;

// Save modes, numbered as the entries of the save dialog's file-type list.
enum SaveMode : int32_t {
  SaveFullFrame = 1,
  SaveFullFrameScaled = 2,
  SaveRoi = 3,
  SaveRoiScaled = 4,
};

// The five process buttons of the batch dialog; the four picture modes carry
// the save mode they select.
enum BatchProcess : int32_t {
  BatchActivateOnly = 0,
  BatchFull = SaveFullFrame,
  BatchFullScaled = SaveFullFrameScaled,
  BatchRoi = SaveRoi,
  BatchRoiScaled = SaveRoiScaled,
};

// The four output-name buttons of the batch dialog.
enum BatchNaming : int32_t { BatchPrefix = 0, BatchSuffix = 1, BatchNumber = 2, BatchTime = 3 };

// Who runs the batch step: "Stop" ends the run, "Run batch" starts it, and no
// sender means the current file is ready.
enum class BatchSender { Stop, Run, None };

// The batch dialog's controls and its run state.
struct BatchState {
  // ---- the dialog ---------------------------------------------------------
  bool Visible = false;
  std::string Caption;  // window title
  std::string Dir;      // the directory listed (ImageDir when shown)
  EditState EditMask{"*", true, ClWhite};
  int32_t ExtIndex = 0;  // entry of BatchExtensions
  bool ComboBoxExtEnabled = true;
  std::vector<std::string> Files;  // the list, sorted ignoring letter case
  std::vector<uint8_t> Selected;   // one flag per entry of Files
  int32_t ItemIndex = -1;          // the list's current item
  bool FileListBox1Enabled = true;
  ButtonState SpeedButtonSelectAll, SpeedButtonUnselect;
  std::array<ButtonState, 5> ProcessButtons{};  // indexed by BatchProcess
  std::array<ButtonState, 4> NamingButtons{};   // indexed by BatchNaming
  ButtonState SpeedButtonRun{false}, SpeedButtonStop{false};
  PanelState PanelInfo;
  bool RoiAtShow = false;  // RoiActive when the dialog was shown: the ROI buttons apply

  // ---- the run ----------------------------------------------------------------
  bool Running = false;
  int32_t ListPosition = 0, ProcessedCount = 0, Total = 0;
  int32_t Saved = 0, Skipped = 0, Failed = 0;
  // Set when a save could not be written: no further step is taken, and
  // "Stop" ends the run.
  bool Halted = false;
  // The output path of the file being processed.
  std::string OutputFile;
  // The output that existed when the run was stopped by Cancel at the question.
  std::string StoppedAt;
  // Only the list entries at selection positions p with (p - 1) mod
  // ShardCount = ShardIndex - 1 are processed; 1 of 1 in the window.
  int32_t ShardIndex = 1, ShardCount = 1;
  // Number of each entry for the "Number" naming: its position among the
  // entries selected when the run started.
  std::vector<int32_t> Numbers;
  // Called before each open of the run and after each successful one (the
  // CLI starts every file from the start-up state and presses its controls
  // there); false from OnImageOpened counts the file as failed.
  std::function<void()> OnBeforeOpen;
  std::function<bool()> OnImageOpened;
  // Called whenever the dialog's state changed during a run (progress, close).
  std::function<void()> OnChange;
  // Asked before each file is saved or opened; true ends the run there (the
  // command line's stop signals).
  std::function<bool()> StopRequested;
};

// The configuration and the lookup and kernel tables a state's operations
// read and fill, passed down from here to the engine and the display. A state
// works on the process's tables (the ones GetIniFile, BuildKernels,
// FillGammaLut and FillDisplayLut without a table argument fill) until it is
// given tables of its own with UseOwnTables.
struct WorkflowTables {
  Parameters* Params;
  KernelTableType* KernelTable;
  NoiseKernelType* NoiseKernel;
  GammaLutType* GammaLut;
  DisplayLutType* DisplayLut;
};
// The process's tables.
WorkflowTables ProcessTables();
// Tables a state owns.
struct OwnedTables {
  Parameters Params;
  KernelTableType KernelTable;
  NoiseKernelType NoiseKernel;
  GammaLutType GammaLut{};
  DisplayLutType DisplayLut{};
};

struct SharedState {
  SharedState();

  // ---- configuration and tables ---------------------------------------------
  WorkflowTables Tables = ProcessTables();
  std::shared_ptr<OwnedTables> Own;  // behind Tables once UseOwnTables was called
  // From now on this state reads and fills tables of its own: the
  // configuration P and the kernels built from it (P.NRSigma must be 1..150).
  void UseOwnTables(const Parameters& P);
  const Parameters& Config() const { return *Tables.Params; }

  // ---- the current image --------------------------------------------------
  std::string ImageFileName, ImageName, ImageDir, ImageExt, ActDir, ActFileName;
  ImageRecord Image;  // width and height 0, not valid, before the first image
  std::vector<uint16_t> InputImage, GammaImage, ActivationImage, ResultImage, AddImage;

  // ---- view -------------------------------------------------------------
  int32_t DisplayScale = 4;
  int32_t FitScale = 1;
  // The image area (ScrollBox1): outer size incl. scroll bars, client size,
  // the scroll position, and where Image1 lies in the scrolled content.
  int32_t AreaWidth = 900, AreaHeight = 660;
  int32_t ClientWidth = 900, ClientHeight = 660;
  int32_t ScrollX = 0, ScrollY = 0;
  int32_t Image1Left = 0, Image1Top = 0;
  bool Image1Visible = false;
  bool Image1Enabled = false;
  Picture24 Image1, ImageSave, ImageRoi;
  uint64_t Image1Version = 0;  // bumped by every render into Image1
  bool StartLabelsVisible = true;

  // ---- region of interest -----------------------------------------------
  bool RoiActive = false;
  int32_t RoiLeft = 0, RoiTop = 0, RoiWidth = 0, RoiHeight = 0;
  std::vector<RoiItem> RoiItems;
  int32_t RoiIndex = 0;  // the entry ComboBoxRoi shows
  bool ComboBoxRoiEnabled = false;
  bool ShapeRoiVisible = false;
  int32_t ShapeRoiLeft = 0, ShapeRoiTop = 0, ShapeRoiWidth = 0, ShapeRoiHeight = 0;
  Rgb ShapeRoiColor = ClLime;
  bool RoiDragging = false;
  int32_t RoiDragX = 0, RoiDragY = 0;
  EditState EditRoiLeft{"0"}, EditRoiTop{"0"};
  ButtonState SpeedButtonSetTopLeft{false};
  ButtonState SpeedButtonSetFullframe{false};
  PanelState PanelRoi;

  // ---- flags ---------------------------------------------------------------
  bool Loading = false;
  bool FirstImage = true;
  bool ActivationReady = false;
  bool CacheUnwritable = false;
  // Set when the last finished activation could not be stored in its activation file.
  bool ActivationStoreFailed = false;
  // Set while InputImage holds a sum ("&Add"); cleared by every open. The
  // activation file name still belongs to the first image, so a sum never
  // reaches the activation cache.
  bool ImageIsSum = false;
  int32_t ThreadCount = 1;
  EngineKind Engine = EngineKind::Production;

  // ---- levels ---------------------------------------------------------------
  uint16_t InputBlack = 0, InputWhite = 100, OutputBlack = 0, OutputWhite = 55535;
  int32_t GammaSetting = 20, ObraWeight = 20;
  TrackBarState TrackBarBlack, TrackBarWhite, TrackBarGamma, TrackBarOutputBlack,
      TrackBarOutputWhite, TrackBarEqWeight;
  PanelState PanelBlack, PanelWhite, PanelGamma, PanelOutputBlack, PanelOutputWhite, PanelEqWeight;
  // Title labels of the level boxes ("Input Black" ... "Output  White", "OBRA").
  bool LevelTitlesEnabled = false;
  bool LabelObraEnabled = false;

  // ---- tool bar -------------------------------------------------------------
  ButtonState SpeedButtonPrevious{false}, SpeedButtonDir{false}, SpeedButtonNext{false},
      SpeedButtonAdd{false}, SpeedButtonSave{false};
  std::array<ButtonState, 11> ScaleButtons{};  // 1..10; index 0 unused
  ButtonState SpeedButtonAutocontrast{false, true}, SpeedButtonFixContrast{false, false};
  ButtonState SpeedButtonAutoGamma{false, true}, SpeedButtonFixGamma{false, false};
  ButtonState SpeedButtonAutoACEQ{false, true}, SpeedButtonFixACEQ{false, false};
  bool PanelTopEnabled = true, PanelRightEnabled = true;

  // ---- OBRA box and batch -----------------------------------------------------
  ButtonState SpeedButtonEnableEQ{false};              // "Activate"
  ButtonState CheckBoxAutoSaveActivated{false, true};  // Down = ticked
  ButtonState SpeedButtonBatch{false};

  // ---- status bar -------------------------------------------------------------
  PanelState PanelTime, PanelInfo, PanelCoordinates, PanelPixelVal, PanelProc;
  // Helioprojective position of the sample under the pointer; empty without coordinates.
  PanelState PanelSolar;
  bool CheckBoxAddText = false;  // the time overlay is drawn
  int32_t UpDownFontSize = 14;   // 8..100
  bool FontControlsEnabled = false;
  Rgb OverlayColor = ClYellow;
  TimeFontTableType TimeFontTable{};

  // ---- activation -------------------------------------------------------------
  std::unique_ptr<Activation> Workers;
  bool Timer1Enabled = false;
  // The rectangle ActivationImage holds OBRA output for: the processing
  // rectangle of the last activation, or the whole frame for cached data.
  // Outside it the result is the gamma image.
  int32_t ActivatedLeft = 0, ActivatedTop = 0, ActivatedWidth = 0, ActivatedHeight = 0;
  // What StartActivation changed, kept until the run ends so a stop can undo it.
  struct {
    std::vector<uint16_t> ActivationImage;
    bool EnableEQEnabled = false;
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  } BeforeActivation;
  // The estimated time left, beside the progress text; empty while idle.
  PanelState PanelEta;
  // "Stop" in the status bar: shown and enabled only while an activation runs.
  ButtonState SpeedButtonStopActivation{false};

  // ---- the directory list (images of the same extension beside the current one)
  std::string DirPath;
  std::vector<std::string> DirFiles;  // names, sorted ignoring letter case
  int32_t DirIndex = -1;              // the selected entry, -1 for none

  // ---- dialogs' remembered state --------------------------------------------
  std::string OpenDialogFileName;
  SaveDialogState SaveDialog1;

  // ---- the batch dialog ---------------------------------------------------------
  BatchState Batch;
  // ---- what a solar physicist reads off the image ---------------------------------
  std::optional<SolarWcs> SkyWcs;        // the current image's coordinates, if usable
  std::string ColourTableName = "Grey";  // "Grey", "Channel" or a named table
  ButtonState SpeedButtonHeader{false}, SpeedButtonExport{false};

  // Shows a fault to the user (message box in the window, stderr in the CLI).
  MessageSink ShowMessage;
  // Asks the user a Yes/No/Cancel question (the batch run's overwrite question).
  QuestionSink AskYesNoCancel;
};

// The process-wide shared state of the program.
extern SharedState Global;

// ---- start-up ------------------------------------------------------------------
// Puts the controls into their no-image state (the steps of the window's
// creation after the configuration read); ThreadCount is the processor count.
void InitializeState(SharedState& S);
// Enables or disables the five level boxes together.
void EnableContrastCtrl(SharedState& S, bool Enabled);

// ---- opening ---------------------------------------------------------------------
// The five lines of Activation_Data/ReadMe.txt.
extern const std::array<const char*, 5> ReadMeLines;
// Points the directory list at Dir with the mask "*" + Ext (letter case
// ignored) and selects the entry equal to Name; returns the selection.
int32_t PointDirectoryList(SharedState& S, const std::string& Dir, const std::string& Ext,
                           const std::string& Name);
// Opens OpenDialogFileName as the open handler without a sender does. Returns
// false when the file was refused; the previous image then stays as it was.
bool OpenImage(SharedState& S);

// ---- navigation (the directory list, "<" and ">") -------------------------------
// Enables "<" while the selection lies after the first entry and ">" while it
// lies before the last one (with no selection, ">" leads to the first entry).
void UpdateNavigationButtons(SharedState& S);
// The browser's "Open": opens the selected entry of the list. False when
// nothing is selected or the file was refused; the buttons follow the
// selection after every attempt, so they never step past either end.
bool OpenDirectoryEntry(SharedState& S);
// "<" (Step -1) and ">" (Step +1): moves the selection and opens that entry.
// Does nothing while the button of that direction is disabled.
bool StepDirectory(SharedState& S, int32_t Step);

// ---- summation ("&Add") ---------------------------------------------------------------
// Adds the image in File to the current image, sample by sample, the value
// offset taken once and the sum clipped to 0..65535. Refuses, with its
// message and nothing changed, an image of another size, data format,
// wavelength or instrument, and a file the loader refuses.
bool AddImageFile(SharedState& S, const std::string& File);
// Whether "Auto save" may be ticked for the current activation: a writable
// cache, the whole frame, no cached data in use and no summed image.
bool AutoSaveAllowed(const SharedState& S);

// ---- new settings ("Apply and Save" of the configuration editor) ----------------------
// After the configuration was re-read: deletes ActFileName when DeleteFile is
// set (a missing file is skipped), clears ActivationReady, switches the OBRA
// controls off and recomposes and renders the open image without activation
// data. Without an image "Activate" stays disabled and nothing is drawn.
void DiscardActivation(SharedState& S, bool DeleteFile);

// ---- composition and levels ---------------------------------------------------------
void MakeGammaImage(SharedState& S, const std::vector<uint16_t>& Source,
                    std::vector<uint16_t>& Destination);
void MakeResultImage(SharedState& S);
void AutoInputParam(SharedState& S, bool Black, bool White);
void AutoOutputParam(SharedState& S, bool Black, bool White);
void SetGamma(SharedState& S);
void SetEQWeight(SharedState& S);
// The configured default gamma / OBRA weight of a channel.
int32_t DefaultGamma(const Parameters& P, int32_t Wavelength);
int32_t DefaultObraWeight(const Parameters& P, int32_t Wavelength);
// The same from the process's configuration.
int32_t DefaultGamma(int32_t Wavelength);
int32_t DefaultObraWeight(int32_t Wavelength);
// Draws ResultImage into Image1 at DisplayScale (with the overlay when ticked).
void RenderView(SharedState& S);

// Slider reactions: Position is the slider's new position; Dragging is true
// while the left button holds the slider (then only the panel follows).
void TrackBarBlackChange(SharedState& S, int32_t Position, bool Dragging = false);
void TrackBarWhiteChange(SharedState& S, int32_t Position, bool Dragging = false);
void TrackBarGammaChange(SharedState& S, int32_t Position, bool Dragging = false);
void TrackBarEqWeightChange(SharedState& S, int32_t Position, bool Dragging = false);
void TrackBarOutputBlackChange(SharedState& S, int32_t Position, bool Dragging = false);
void TrackBarOutputWhiteChange(SharedState& S, int32_t Position, bool Dragging = false);
// The six value panels, in the order of the side bar.
enum class LevelPanel : int32_t { Black, White, Gamma, OutputBlack, OutputWhite, EqWeight };
// What became of a value typed into a level panel.
enum class TypedLevel : int32_t {
  Applied,  // the slider moved there and its reaction ran
  Clamped,  // outside the slider's range: moved to the nearer end instead
  Refused,  // not a number, or the slider is disabled: nothing changed
};
// A value typed into a value panel, as the panel shows it: input levels with
// the value offset subtracted, gamma with one decimal (2.2), the OBRA weight
// with two (0.15, or "Off"), output levels as they are; "," counts as ".".
// Enter applies it as if the slider had been moved there (keyboard change).
TypedLevel TypeLevel(SharedState& S, LevelPanel Panel, std::string_view Text);
// The three Auto/Fix and Def/Fix pairs.
void SpeedButtonAutocontrastClick(SharedState& S);
void SpeedButtonFixContrastClick(SharedState& S);
void SpeedButtonAutoGammaClick(SharedState& S);
void SpeedButtonFixGammaClick(SharedState& S);
void SpeedButtonAutoACEQClick(SharedState& S);
void SpeedButtonFixACEQClick(SharedState& S);

// ---- activation ----------------------------------------------------------------------
// Switches the OBRA controls between "activation data in use" and not.
void EnableEQ(SharedState& S, bool Activated);
// "Activate": prepares ActivationImage and starts the workers. False (with a
// message, controls restored) when the workers cannot be started.
bool StartActivation(SharedState& S);
// One tick of the progress timer: shows the progress and, when every column
// is done, finishes the activation. Returns true when it finished.
bool Timer1Timer(SharedState& S);
void FinishActivation(SharedState& S);
// Ends a running activation (Esc, "Stop", an interrupted obra-cli): stops and
// joins the workers, writes nothing, and puts ActivationImage, the processing
// rectangle, the OBRA controls and the panels back as they were before
// StartActivation; the result and the view are untouched. False when no
// activation runs.
bool StopActivation(SharedState& S);
// True between StartActivation and FinishActivation or StopActivation.
bool ActivationRunning(const SharedState& S);
// round-half-even(Done x 100 / Total) as the progress panel shows it.
std::string ProgressText(int32_t Done, int32_t Total);
// "ETA m:ss" (or "ETA h:mm:ss") for Seconds left, rounded up; "ETA --:--"
// while Seconds is negative (no column done yet).
std::string EtaText(double Seconds);

// ---- region of interest ------------------------------------------------------------
void MakeRoiItems(SharedState& S);
void SetImgRoi(SharedState& S, int32_t Index);
void DisplayRoi(SharedState& S);
void ComboBoxRoiChange(SharedState& S, int32_t Index);
void SpeedButtonSetFullframeClick(SharedState& S);
// Right-button dragging of the frame; X, Y in frame coordinates.
void ShapeRoiMouseDown(SharedState& S, bool RightButton, int32_t X, int32_t Y);
void ShapeRoiMouseMove(SharedState& S, bool RightButton, int32_t X, int32_t Y);
void ShapeRoiMouseUp(SharedState& S);
// The typed coordinates: validates both fields and colours them.
void EditRoiLeftChange(SharedState& S);
void SpeedButtonSetTopLeftClick(SharedState& S);

// ---- view ------------------------------------------------------------------------------
void SetScrollBox(SharedState& S);
// A scale button (1..10).
void SpeedButton1Click(SharedState& S, int32_t Scale);
// The texts the status bar shows for the sample under view position (X, Y).
void ReadPixel(SharedState& S, int32_t X, int32_t Y);
// Empties the pixel readout (an open, the pointer leaving the picture).
void ClearReadout(SharedState& S);
// Changes the reduction to Scale (1..10) so that the sample shown at view
// position (X, Y) comes to lie at (Px, Py) of the image area's client, as far
// as the scroll range allows; the wanted scroll position is left in
// ScrollX / ScrollY (never negative; the window's scroll bars cap it).
void ZoomAt(SharedState& S, int32_t Scale, int32_t X, int32_t Y, int32_t Px, int32_t Py);
// The mouse wheel over the view at view position (X, Y): each notch away
// from the user is one step towards 1:1, each towards the user one step
// towards 1:10; the sample under the pointer stays under it.
void WheelScale(SharedState& S, int32_t Steps, int32_t X, int32_t Y);
// Double-click on the view at view position (X, Y): 1:1 when another scale
// is shown, else the fitting scale, centred on the clicked sample.
void Image1DblClick(SharedState& S, int32_t X, int32_t Y);

// ---- time overlay -----------------------------------------------------------------------
void CheckBoxAddTextClick(SharedState& S, bool Checked);
// Rebuilds TimeFontTable; with Render true also renders and shows the size.
void UpDownFontSizeClick(SharedState& S, int32_t Position, bool Render);
void SetOverlayColor(SharedState& S, Rgb Color);

// ---- saving ---------------------------------------------------------------------------------
// Writes the rendered picture of the given mode to Path; false with the
// error shown when the file cannot be written.
bool SaveImage(SharedState& S, int32_t Mode, const std::string& Path);

// ---- batch processing ---------------------------------------------------------------
// The extension list of the batch dialog, first entry ".FITS".
extern const std::vector<std::string> BatchExtensions;
// True when Name matches Mask, where "*" stands for any run of characters and
// letter case is ignored.
bool MatchesMask(const std::string& Name, const std::string& Mask);
// The regular files of Dir whose names match Mask, sorted by name ignoring
// letter case (an unreadable directory gives an empty list).
std::vector<std::string> ListMatchingFiles(const std::string& Dir, const std::string& Mask);
// The output file name of a batch naming rule for the image file Name.
// Number is the entry's number; Wavelength and DateObs come from its record.
std::string BatchOutputName(BatchNaming Naming, const std::string& Name, int32_t Number,
                            int32_t Wavelength, const std::string& DateObs);
// Showing the dialog: title, list, colours and the process buttons for RoiActive.
void BatchFormShow(SharedState& S);
// Mask or extension changed: fills the list again, nothing selected.
void BatchEditMaskChange(SharedState& S);
// "Run batch" follows the selection; the info panel shows the selected count.
void BatchSelectionChange(SharedState& S);
// "Select all" (true) or "Unselect all" (false).
void BatchSelectAll(SharedState& S, bool Select);
// A process button: the output-name buttons are disabled for "Activate only".
void BatchProcessClick(SharedState& S, BatchProcess Mode);
void BatchNamingClick(SharedState& S, BatchNaming Naming);
// The process mode and naming rule currently selected.
BatchProcess SelectedBatchProcess(const SharedState& S);
BatchNaming SelectedBatchNaming(const SharedState& S);
// Locks (or unlocks) the list, mask, extension, selection and mode buttons
// for a run; unlocked, the process buttons follow RoiAtShow.
void LockBatchControls(SharedState& S, bool Locked);
// "Run batch": resets the counts, locks the controls and takes the first step.
// False when nothing is selected or a run is going.
bool BatchRunClick(SharedState& S);
// The batch step. A run of files whose activation is cached is handled in
// one loop; a file that needs the engine ends the step, and FinishActivation
// calls it again with no sender.
void BatchStep(SharedState& S, BatchSender Sender);
// Whether the dialog may close; while a run is going it shows the refusal
// message and returns false.
bool BatchCloseQuery(SharedState& S);
// ---- colour tables, coordinates and 16-bit export ----------------------------------------
// The entries of the colour-table control: "Grey", "Channel", then every named table.
std::vector<std::string> ColourTableChoices();
// Chooses the display's colour table and renders; false (nothing changed)
// for a name that is no entry of ColourTableChoices and no channel number.
bool ComboBoxColourTableChange(SharedState& S, const std::string& Name);
// The table the view is drawn through; null for grey.
const ColourTable* ActiveColourTable(const SharedState& S);
// The readout text of the helioprojective position of image sample (X, Y).
std::string SkyText(const SharedState& S, int32_t X, int32_t Y);
// The HISTORY texts of an export: program, kernel settings, levels, gamma, weight.
std::vector<std::string> ExportHistory(const SharedState& S);
// "Export": writes ResultImage as an unsigned 16-bit FITS file with the
// image's solar keywords; false with the fault shown when it cannot be written.
bool ExportFits(SharedState& S, const std::string& Path);

// ---- small helpers --------------------------------------------------------------------------
// Value with a fixed number of decimals and "." as the decimal point.
std::string FormatFixed(double Value, int Decimals);
// x.fits -> x_proc, x -> x_proc; everything from the last "." is replaced.
std::string ReplaceExtension(const std::string& Name, const std::string& NewExt);

}  // namespace obra
