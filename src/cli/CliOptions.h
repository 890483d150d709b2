// The obra-cli options that stand for controls of the main window, shared by
// the commands that run the window's workflow (process, batch).
//
// Common rules of this module:
//  - Each command parses its own arguments and hands every argument it does
//    not know to ParseControlOption first.
//  - ApplyControlOptions presses the controls on the image just opened, in the
//    order a user would; it is run once per opened image.
//  - Messages go to stderr prefixed with "obra-cli COMMAND: "; usage faults
//    give exit status 2.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Global.h"

namespace obra::cli {

struct ControlOptions {
  bool FixContrast = false, Time = false, NoAutoSave = false;
  std::optional<int32_t> RoiSize, RoiLeft, RoiTop, FixGamma, FixWeight, Threads;
  std::optional<int32_t> InputBlack, InputWhite, OutputBlack, OutputWhite;
  int32_t Scale = 1;
  std::string ColourTable;  // --colour-table: grey, channel or a table's name
  EngineKind Engine = EngineKind::Production;
};

// The usage text of the control options.
extern const char* const ControlOptionsUsage;

enum class OptionMatch { NotMine, Taken, Fault };

// Takes the control option at Args[I] with its value (I then points at the
// value). NotMine for an argument it does not know; Fault with Error set.
OptionMatch ParseControlOption(const std::vector<std::string>& Args, size_t& I, ControlOptions& O,
                               std::string& Error);
// Checks the combinations of control options; false with Error set.
bool CheckControlOptions(const ControlOptions& O, std::string& Error);
// Whole decimal number, nothing else; false when T is not one.
bool ParseInt(const std::string& T, int32_t& V);

// Reads OBRA.ini beside the program, prepares text drawing and the shared
// state (messages to stderr, counted in Messages), threads and engine.
// Returns 0, or the exit status of the fault it printed.
int PrepareSession(const char* Command, const ControlOptions& O, int& Messages);

// Puts the shared state into its start-up state with the threads and engine
// of O (messages, question and batch state stay).
void StartState(SharedState& S, const ControlOptions& O);

// Presses the controls for the image just opened. Returns 0, or 2 when a
// region does not fit this image (the reason is printed).
int ApplyControlOptions(SharedState& S, const ControlOptions& O, const char* Command);

// The activation progress as the status bar shows it, with the estimated time
// left ("ETA m:ss"): a bar on a terminal, one line otherwise.
void ShowProgress(int32_t Done, int32_t Total, double SecondsLeft);

}  // namespace obra::cli
