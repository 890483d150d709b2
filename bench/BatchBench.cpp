// Per-file overhead of a batch run without the engine: 20 cached 1024 x 1024
// files, each opened (with its activation data read from the cache),
// composed and saved as a full-frame PNG through the batch step.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "Display.h"
#include "Global.h"
#include "IniFile.h"

namespace fs = std::filesystem;

namespace obra {
namespace {

constexpr int32_t FileCount = 20, Side = 1024;

// A FITS card of 80 characters.
std::string Card(const std::string& Text) { return Text + std::string(80 - Text.size(), ' '); }

// The TRACE 171 frame when the shared data are present, else a synthetic
// 1024 x 1024 signed 16-bit image.
void WriteSource(const fs::path& File) {
  const fs::path Trace = fs::path(OBRA_SHARED_DATA) / "trace_171_1998-05-19T22-21-43.fits";
  std::error_code Ec;
  if (fs::copy_file(Trace, File, fs::copy_options::overwrite_existing, Ec)) {
    fs::permissions(File, fs::perms::owner_read | fs::perms::owner_write, Ec);
    return;
  }
  std::string Header =
      Card("SIMPLE  =                    T") + Card("BITPIX  =                   16") +
      Card("NAXIS   =                    2") + Card("NAXIS1  =                 1024") +
      Card("NAXIS2  =                 1024") + Card("BZERO   =                32768") +
      Card("WAVELNTH=                  171") + Card("DATE-OBS= '1998-05-19T22:21:43'") +
      Card("END");
  Header.resize(((Header.size() + 2879) / 2880) * 2880, ' ');
  std::string Data;
  for (int32_t Y = 0; Y < Side; ++Y)
    for (int32_t X = 0; X < Side; ++X) {
      const int32_t V = 100 + (X * 7 + Y * 13 + (X * Y) % 97) % 2500 - 32768;
      Data += static_cast<char>((V >> 8) & 0xFF);
      Data += static_cast<char>(V & 0xFF);
    }
  Data.resize(((Data.size() + 2879) / 2880) * 2880, '\0');
  std::FILE* F = std::fopen(File.c_str(), "wb");
  if (F == nullptr) return;
  std::fwrite(Header.data(), 1, Header.size(), F);
  std::fwrite(Data.data(), 1, Data.size(), F);
  std::fclose(F);
}

// 20 copies of the image with their activation computed once and cached.
bool PrepareDirectory(const fs::path& Dir) {
  WriteSource(Dir / "f00.fits");
  SharedState& S = Global;
  InitializeState(S);
  S.OpenDialogFileName = (Dir / "f00.fits").string();
  if (!OpenImage(S) || !StartActivation(S)) return false;
  while (!Timer1Timer(S)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (int32_t I = 1; I < FileCount; ++I) {
    char Name[16];
    std::snprintf(Name, sizeof Name, "f%02d", I);
    fs::copy_file(Dir / "f00.fits", Dir / (std::string(Name) + ".fits"));
    fs::copy_file(Dir / "Activation_Data" / "f00.act",
                  Dir / "Activation_Data" / (std::string(Name) + ".act"));
  }
  return true;
}

void BM_BatchCachedFiles(benchmark::State& State) {
  ProgramDir = std::string(OBRA_SOURCE_DIR) + "/dist";
  if (GetIniFile().Fatal || !EnsureTextRendering())
    return State.SkipWithError("no configuration or text drawing");
  const fs::path Dir = fs::temp_directory_path() / ("obra-batch-bench-" + std::to_string(getpid()));
  fs::create_directories(Dir);
  if (!PrepareDirectory(Dir)) return State.SkipWithError("cannot prepare the cached files");
  SharedState& S = Global;
  S.AskYesNoCancel = [](const std::string&) { return Answer::Yes; };
  int32_t Saved = 0;
  for (auto _ : State) {
    S.ImageDir = Dir.string();
    BatchFormShow(S);
    BatchSelectAll(S, true);
    BatchNamingClick(S, BatchPrefix);
    BatchRunClick(S);
    Saved = S.Batch.Saved;
  }
  fs::remove_all(Dir);
  if (Saved != FileCount) return State.SkipWithError("not every file was saved");
  State.counters["per_file"] = benchmark::Counter(
      FileCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BatchCachedFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace obra

BENCHMARK_MAIN();
