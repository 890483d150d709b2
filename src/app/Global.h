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
#include <string>
#include <string_view>
#include <vector>

#include "Activation.h"
#include "Display.h"
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

// Save modes, numbered as the entries of the save dialog's file-type list.
enum SaveMode : int32_t {
  SaveFullFrame = 1,
  SaveFullFrameScaled = 2,
  SaveRoi = 3,
  SaveRoiScaled = 4,
};

struct SharedState {
  SharedState();

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
  // Called at the end of FinishActivation (the batch run hooks in here).
  std::function<void()> OnActivationFinished;
  // Called at the end of StopActivation (a batch run ends there).
  std::function<void()> OnActivationStopped;
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

  // Shows a fault to the user (message box in the window, stderr in the CLI).
  MessageSink ShowMessage;
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

// ---- composition and levels ---------------------------------------------------------
void MakeGammaImage(SharedState& S, const std::vector<uint16_t>& Source,
                    std::vector<uint16_t>& Destination);
void MakeResultImage(SharedState& S);
void AutoInputParam(SharedState& S, bool Black, bool White);
void AutoOutputParam(SharedState& S, bool Black, bool White);
void SetGamma(SharedState& S);
void SetEQWeight(SharedState& S);
// The configured default gamma / OBRA weight of a channel.
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

// ---- small helpers --------------------------------------------------------------------------
// Value with a fixed number of decimals and "." as the decimal point.
std::string FormatFixed(double Value, int Decimals);
// x.fits -> x_proc, x -> x_proc; everything from the last "." is replaced.
std::string ReplaceExtension(const std::string& Name, const std::string& NewExt);

}  // namespace obra
