// obra-cli: headless commands over the same core the window uses.
// Each command lives in its own file and registers itself here.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace obra {
struct ImageRecord;
}

namespace obra::cli {

using CommandFn = int (*)(const std::vector<std::string>& Args);

struct Command {
  std::string_view Name;
  std::string_view Usage;
  CommandFn Run;
};

// Registers a command at start-up; returns true so it can initialise a static.
bool RegisterCommand(const Command& C);
const std::vector<Command>& Commands();

// Directory of the running executable (where OBRA.ini lies).
std::string ExecutableDir();

// The core's messages, one per line on stderr.
void PrintMessage(const std::string& Text);
// Reads File's header for command Name, its messages on stderr; when the
// file is refused, says "obra-cli NAME: cannot read FILE" and returns false.
bool ReadHeaderOrSay(std::string_view Name, const std::string& File, ImageRecord& R);

// ---- interruption ----------------------------------------------------------------
// A long command (process, equalize, batch) calls InstallStopSignals() first;
// SIGINT and SIGTERM then only note the signal, and the command polls
// StopSignal() between steps: it stops its workers, writes no further file,
// removes a file it was writing when the signal came, and returns
// StopExitStatus(). Commands that never poll do not install the handlers.
void InstallStopSignals();
// The stop signal received (SIGINT or SIGTERM), 0 while none.
int StopSignal();
// The exit status of an interrupted command: 128 + the signal (130, 143).
int StopExitStatus();
// Sleeps for Duration, waking early (within 10 ms) on a stop signal; false
// when a stop signal has arrived.
bool SleepUnlessStopped(std::chrono::milliseconds Duration);

// Minimal JSON output: one object, keys in insertion order.
class JsonObject {
 public:
  void Add(std::string_view Key, std::string_view Text);
  void Add(std::string_view Key, const char* Text) { Add(Key, std::string_view(Text)); }
  void Add(std::string_view Key, int64_t Value);
  void Add(std::string_view Key, int32_t Value) { Add(Key, static_cast<int64_t>(Value)); }
  void Add(std::string_view Key, bool Value);
  // Shortest text that reads back to the same double.
  void Add(std::string_view Key, double Value);
  // Single-precision value with 9 significant digits.
  void AddFloat(std::string_view Key, float Value);
  void AddFloats(std::string_view Key, const std::vector<float>& Values);
  void AddRaw(std::string_view Key, std::string_view Json);
  std::string Text() const;

 private:
  std::vector<std::pair<std::string, std::string>> Members_;
};

std::string JsonString(std::string_view S);
std::string JsonFloat(float V);

}  // namespace obra::cli
