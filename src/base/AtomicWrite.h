// The one way this program writes a file.
//
// Common rules of this module:
//  - The data go to a fresh temporary file in the target's own directory
//    (hidden, named after the target, the process and a counter, created with
//    O_EXCL), are flushed and fsync'ed, and only then renamed over the target.
//    A reader, or another process writing the same name, sees either the old
//    complete file or the new complete file, never a partial one.
//  - Every failure (create, write, flush, fsync, close, rename) comes back as
//    a WriteOutcome with a text naming the path and the system's reason; the
//    temporary file is removed and an existing target is left as it was.
//  - Thread-safe: concurrent writes, also of one target, never share a
//    temporary file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace obra {

struct WriteOutcome {
  bool Success = false;
  std::string ErrorText;  // empty on success
  explicit operator bool() const { return Success; }
};

// Streams the file's content into File; returns false on a fault (errno, when
// set, becomes the reason).
using FileContentWriter = std::function<bool(std::FILE* File)>;

// Writes the content produced by Write under exactly Path, atomically.
WriteOutcome WriteFileAtomic(const std::string& Path, const FileContentWriter& Write);

// Writes Bytes under exactly Path, atomically.
WriteOutcome WriteFileAtomic(const std::string& Path, std::span<const uint8_t> Bytes);

// Writes Text (bytes as they stand, no line-end translation) under Path, atomically.
WriteOutcome WriteTextFileAtomic(const std::string& Path, std::string_view Text);

// Test hook for fault injection: when set, it is called before each step
// ("create", "write", "fsync", "rename") and a non-zero return fails that step
// with that errno value. Never set in the program itself.
using WriteFaultHook = std::function<int(std::string_view Step, const std::string& Path)>;
void SetWriteFaultHook(WriteFaultHook Hook);

}  // namespace obra
