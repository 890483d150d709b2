// Temporary file, fsync, rename: see AtomicWrite.h for the guarantees.
#include "AtomicWrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace obra {
namespace {

std::mutex HookMutex;
WriteFaultHook FaultHook;

// errno value injected for Step, or 0.
int InjectedFault(std::string_view Step, const std::string& Path) {
  std::lock_guard<std::mutex> Lock(HookMutex);
  return FaultHook ? FaultHook(Step, Path) : 0;
}

WriteOutcome Failure(const std::string& What, const std::string& Path, int Error) {
  return WriteOutcome{false, What + " \"" + Path + "\": " + std::strerror(Error ? Error : EIO)};
}

// A name beside Path that no other write uses: hidden, with the process id and
// a counter, so two writes into one directory never share a temporary file.
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

}  // namespace

void SetWriteFaultHook(WriteFaultHook Hook) {
  std::lock_guard<std::mutex> Lock(HookMutex);
  FaultHook = std::move(Hook);
}

WriteOutcome WriteFileAtomic(const std::string& Path, const FileContentWriter& Write) {
  if (const int E = InjectedFault("create", Path))
    return Failure("Cannot create the file", Path, E);
  std::string Temporary;
  int Fd = -1;
  for (unsigned Attempt = 0; Attempt < 100 && Fd < 0; ++Attempt) {
    Temporary = TemporaryName(Path, Attempt);
    Fd = open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0 && errno != EEXIST) break;
  }
  if (Fd < 0) return Failure("Cannot create the file", Path, errno);
  std::FILE* File = fdopen(Fd, "wb");
  if (!File) {
    const int Error = errno;
    close(Fd);
    unlink(Temporary.c_str());
    return Failure("Cannot create the file", Path, Error);
  }

  errno = 0;
  bool Written = Write(File) && std::fflush(File) == 0;
  int Error = errno;
  if (Written) {
    if (const int E = InjectedFault("write", Path)) {
      Written = false;
      Error = E;
    }
  }
  // The data must be on disk before the rename makes them visible under Path.
  if (Written) {
    const int E = InjectedFault("fsync", Path);
    if (E || fsync(Fd) != 0) {
      Written = false;
      Error = E ? E : errno;
    }
  }
  if (std::fclose(File) != 0 && Written) {
    Written = false;
    Error = errno;
  }
  if (!Written) {
    unlink(Temporary.c_str());
    return Failure("Cannot write the file", Path, Error);
  }
  const int E = InjectedFault("rename", Path);
  if (E || rename(Temporary.c_str(), Path.c_str()) != 0) {
    Error = E ? E : errno;
    unlink(Temporary.c_str());
    return Failure("Cannot save the file", Path, Error);
  }
  return WriteOutcome{true, {}};
}

WriteOutcome WriteFileAtomic(const std::string& Path, std::span<const uint8_t> Bytes) {
  return WriteFileAtomic(Path, [Bytes](std::FILE* File) {
    return Bytes.empty() || std::fwrite(Bytes.data(), 1, Bytes.size(), File) == Bytes.size();
  });
}

WriteOutcome WriteTextFileAtomic(const std::string& Path, std::string_view Text) {
  return WriteFileAtomic(
      Path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(Text.data()), Text.size()));
}

}  // namespace obra
