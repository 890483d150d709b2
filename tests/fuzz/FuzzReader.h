// The body shared by the reader fuzz targets: the input becomes a file with
// one of the target's extensions (chosen by the first byte) and goes through
// the full load, as a user's open would take it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "IOGraphics.h"

namespace obra::fuzz {

// A private directory for the file under test, removed when the process ends.
struct Scratch {
  std::string Dir = (std::filesystem::temp_directory_path() / "obra-fuzz-XXXXXX").string();
  Scratch() {
    if (!mkdtemp(Dir.data())) std::abort();
  }
  ~Scratch() {
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
  }
};

inline const std::string& ScratchDir() {
  static const Scratch S;
  return S.Dir;
}

// Writes Bytes as the file under test, with extension Ext; returns its path.
inline std::string WriteInput(const std::string& Ext, const uint8_t* Bytes, size_t Size) {
  const std::string Path = ScratchDir() + "/input" + Ext;
  // The fuzzer's own scratch file, not a file of the program: a plain write.
  std::FILE* F = std::fopen(Path.c_str(), "wb");
  if (!F) std::abort();
  if (Size > 0 && std::fwrite(Bytes, 1, Size, F) != Size) std::abort();
  std::fclose(F);
  return Path;
}

// The full load of Path, then what the window computes on the image.
inline void Load(const std::string& Path) {
  const MessageSink Quiet = [](const std::string&) {};
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  LoadImageFile(Path, R, Buffer, 16, true, true, Quiet);
  if (R.Valid && R.Channels == 1 && !Buffer.empty()) {
    ComputeDiscStatistics(R, Buffer.data());
    ComputeRoiStatistics(0, 0, R.Width / 2 + 1, R.Height / 2 + 1, R, Buffer.data());
  }
  // Activation files are read as stored, without conversion.
  ImageRecord Raw;
  std::vector<uint16_t> RawBuffer;
  LoadImageFile(Path, Raw, RawBuffer, 0, true, true, Quiet);
}

inline void LoadAs(const std::vector<std::string>& Extensions, const uint8_t* Data, size_t Size) {
  if (Size == 0 || Extensions.empty()) return;
  const std::string& Ext = Extensions[Data[0] % Extensions.size()];
  Load(WriteInput(Ext, Data + 1, Size - 1));
}

}  // namespace obra::fuzz

#define OBRA_FUZZ_READER(...)                                               \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) { \
    static const std::vector<std::string> Extensions{__VA_ARGS__};          \
    obra::fuzz::LoadAs(Extensions, Data, Size);                             \
    return 0;                                                               \
  }
