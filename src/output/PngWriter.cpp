// Saving a picture as a PNG file without ever exposing a partial file.
#include "PngWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace obra {
namespace {

std::string Reason(int Error) { return std::strerror(Error); }

PngResult Failure(const std::string& What, const std::string& Path, int Error) {
  return PngResult{false, What + " \"" + Path + "\": " + Reason(Error)};
}

// A name beside Path that no other save uses: hidden, with the process id and
// a counter, so two saves into one directory never share a temporary file.
std::string TemporaryName(const std::string& Path, unsigned Attempt) {
  static std::atomic<unsigned> Counter{0};
  const std::filesystem::path P(Path);
  std::string Name(1, '.');
  Name += P.filename().string();
  for (const unsigned Part : {unsigned(getpid()), Counter++, Attempt}) {
    Name += '.';
    Name += std::to_string(Part);
  }
  Name += ".tmp";
  return (P.parent_path() / Name).string();
}

bool WriteAll(int Fd, const std::vector<uint8_t>& Bytes) {
  size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t N = write(Fd, Bytes.data() + Done, Bytes.size() - Done);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) {
      if (N == 0) errno = EIO;
      return false;
    }
    Done += size_t(N);
  }
  return true;
}

}  // namespace

PngResult WritePng(const Picture24& Picture, const std::string& Path) {
  std::vector<uint8_t> Bytes;
  PngResult Encoded = EncodePng(Picture, Bytes);
  if (!Encoded.Success) return Encoded;

  std::string Temporary;
  int Fd = -1;
  for (unsigned Attempt = 0; Attempt < 100 && Fd < 0; ++Attempt) {
    Temporary = TemporaryName(Path, Attempt);
    Fd = open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0 && errno != EEXIST) break;
  }
  if (Fd < 0) return Failure("Cannot create the file", Path, errno);

  // The data must be on disk before the rename makes it visible under Path.
  bool Written = WriteAll(Fd, Bytes) && fsync(Fd) == 0;
  int Error = errno;
  if (close(Fd) != 0 && Written) {
    Written = false;
    Error = errno;
  }
  if (!Written) {
    unlink(Temporary.c_str());
    return Failure("Cannot write the file", Path, Error);
  }
  if (rename(Temporary.c_str(), Path.c_str()) != 0) {
    Error = errno;
    unlink(Temporary.c_str());
    return Failure("Cannot save the file", Path, Error);
  }
  return PngResult{true, {}};
}

}  // namespace obra
