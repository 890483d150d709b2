// Helpers shared by the test binaries: temporary directories and file bytes,
// the real solar images, image files built in code (FITS cards, byte orders),
// the two ways a file is loaded, the astropy oracle, obra-cli runs, bounded
// waits and the small engine the workflow tests run on. Every wait in a test
// goes through WaitUntil (or QTest::qWaitFor in the window tests), so a test
// that hangs fails with a message instead of running until it is killed.
#pragma once

#include <sys/resource.h>

#include <bit>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "IOGraphics.h"

namespace obra {
struct SharedState;
}

namespace obra::test {

// A fresh directory under the system temporary directory, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return Path_; }
  std::string File(const std::string& Name) const { return (Path_ / Name).string(); }

 private:
  std::filesystem::path Path_;
};

void WriteBytes(const std::string& File, const std::vector<uint8_t>& Bytes);
std::vector<uint8_t> ReadBytes(const std::string& File);
void WriteText(const std::string& File, const std::string& Text);
std::string ReadText(const std::string& File);

// Runs Write with the file-size limit at Bytes and SIGXFSZ ignored, so that a
// write fails part way; returns what Write returned.
template <typename F>
auto WithFileSizeLimit(rlim_t Bytes, F Write) {
  rlimit Old{};
  getrlimit(RLIMIT_FSIZE, &Old);
  rlimit Small = Old;
  Small.rlim_cur = Bytes;
  const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &Small);
  const auto Result = Write();
  setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, OldHandler);
  return Result;
}

// Path of a file in the shared data directory, or empty when it is absent.
std::string SharedData(const std::string& Name);

// Collects the messages a reader shows.
struct Messages {
  std::vector<std::string> List;
  auto Sink() {
    return [this](const std::string& M) { List.push_back(M); };
  }
};

// V as Bytes bytes in the given order, appended to B or stored at At.
void Append(std::vector<uint8_t>& B, uint32_t V, int Bytes, bool Big);
void Store(std::vector<uint8_t>& B, size_t At, uint32_t V, int Bytes, bool Big);
uint32_t Fetch(const uint8_t* P, int Bytes, bool Big);

template <typename T>
std::vector<uint8_t> BigEndian(const std::vector<T>& Values) {
  std::vector<uint8_t> B;
  for (T V : Values) {
    uint8_t Raw[sizeof(T)];
    std::memcpy(Raw, &V, sizeof(T));
    if constexpr (std::endian::native == std::endian::little)
      for (size_t I = sizeof(T); I-- > 0;) B.push_back(Raw[I]);
    else
      B.insert(B.end(), Raw, Raw + sizeof(T));
  }
  return B;
}

template <typename T>
std::vector<uint8_t> LittleEndian(const std::vector<T>& Values) {
  std::vector<uint8_t> B = BigEndian(Values);
  for (size_t I = 0; I < B.size(); I += sizeof(T))
    for (size_t A = I, Z = I + sizeof(T) - 1; A < Z; ++A, --Z) std::swap(B[A], B[Z]);
  return B;
}

// Native 16-bit samples from a raw little-endian dump.
std::vector<uint16_t> Samples16(const std::vector<uint8_t>& LittleEndianBytes);

// One 80-character FITS card: the text as given, padded with blanks.
std::string RawCard(std::string_view Text);
// A value card: keyword in columns 1-8, "= " in 9-10, the value, an optional comment.
std::string Card(std::string_view Key, std::string_view Value, std::string_view Comment = {});
// The mandatory cards of a 2-D primary header, then More.
std::vector<std::string> ImageCards(int Bitpix, int Width, int Height,
                                    const std::vector<std::string>& More = {});
// Header (cards, END unless told otherwise, blanks to a 2880-byte block) then
// the data, padded with zeros to a block as FITS writers do.
std::vector<uint8_t> FitsFile(const std::vector<std::string>& Cards,
                              const std::vector<uint8_t>& Data, bool End = true,
                              bool PadData = true);

// A signed 16-bit FITS image of Width x Height: BZERO 32768 and the More cards,
// then the samples Value(X, Y) - Subtract with Y = 0 the top row, stored bottom
// row first as FITS images are.
void WriteFitsSamples(const std::string& File, int Width, int Height,
                      const std::function<int(int X, int Y)>& Value, int Subtract = 32768,
                      const std::vector<std::string>& More = {});

// The Python with astropy and numpy, or empty when it is not usable.
std::string AstropyPython();
// Runs tests/tools/fits_oracle.py with Args; true when it succeeded.
bool RunOracle(const std::string& Args);

// The window's full load: LoadImageFile with ConvertToBits 16, allocate and messages on.
struct FullLoad {
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  std::vector<std::string> Shown;
};
FullLoad LoadWholeFile(const std::string& File);
FullLoad WriteAndLoad(const std::string& File, const std::vector<uint8_t>& Bytes);

// A PNG, BMP or JPEG read as the load pipeline does it: the header read, then,
// when that succeeded, the pixel read into a buffer of DataSize bytes.
struct DecodedLoad {
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  std::vector<std::string> Shown;
  bool HadPicture = false;  // a decoded picture was held between the two reads
  bool Pixels = false;
  std::vector<uint8_t> Bytes() const;  // the first DataSize bytes of the buffer
  std::vector<uint16_t> Samples() const;
};
using HeaderReader = void (*)(const std::string&, ImageRecord&, bool, const MessageSink&);
using PixelReader = bool (*)(ImageRecord&, std::vector<uint16_t>&);
DecodedLoad LoadDecoded(HeaderReader Header, PixelReader Pixels, const std::string& File,
                        bool ShowMessages);
// A good read of an 8-bit picture: no fault, the file's path, the decoded layout.
void ExpectGoodDecodedRecord(const DecodedLoad& L, const std::string& File, int32_t Width,
                             int32_t Height, int32_t Channels);

// The width and height in the header of the PNG file File.
void ExpectPngSize(const std::string& File, uint32_t Width, uint32_t Height);

// The longest any wait in a test may take before the test fails.
inline constexpr std::chrono::seconds WaitLimit{120};

// Calls Done every Step until it returns true (true) or Limit has passed
// (false). Done may act, as the window's timer handler does.
template <typename F>
bool WaitUntil(F Done, std::chrono::milliseconds Limit = WaitLimit,
               std::chrono::milliseconds Step = std::chrono::milliseconds(5)) {
  const auto End = std::chrono::steady_clock::now() + Limit;
  for (;;) {
    if (Done()) return true;
    if (std::chrono::steady_clock::now() >= End) return false;
    std::this_thread::sleep_for(Step);
  }
}

// The configuration lines of a small engine (KerSize 3, NRSigma 2, plain
// weights, gamma 3.0 and weight 10 for Channel), so activations take milliseconds.
std::string SmallEngineIni(int Channel);
// Reads Ini into the global parameters, builds the kernels and initialises S
// with two workers and its messages collected in Msg; false when Ini is refused.
bool PrepareWorkflow(const std::string& Ini, SharedState& S, Messages& Msg);
// Polls a started activation as the window's timer does until it completes;
// false when it has not within Limit.
bool AwaitActivation(SharedState& S, std::chrono::milliseconds Limit = WaitLimit);

// obra-cli beside the test binaries, run with Args; its exit status and output.
// The run, like an oracle's, is stopped after 600 s (status 124).
struct CliRun {
  int Status = -1;
  std::string Out, Err;
};
std::string CliPath();
CliRun RunCli(const std::string& Args, const TempDir& Scratch);

}  // namespace obra::test
