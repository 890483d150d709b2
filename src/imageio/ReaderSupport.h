// File access and size arithmetic shared by the raw-format readers and the
// pixel read. Not part of the public interface of the module.
//
// Every file a user opens may be truncated, hostile or huge: reads are exact
// (a short read is a fault, never a partial success) and byte counts are
// computed in 64 bits and refused when they would not fit the record's 32-bit
// fields.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "IOGraphics.h"

namespace obra::detail {

// True for an existing regular file (directories, pipes and devices are not
// image files and could block a read).
bool IsRegularFile(const std::string& FileName);

// Passes Text to Sink when there is one.
void Show(const MessageSink& Sink, const std::string& Text);

// A reader's fault: clears Valid and shows Text when ShowMessages is set.
void Refuse(ImageRecord& R, const std::string& Text, bool ShowMessages, const MessageSink& Sink);

// Bytes of Width x Height pixels of PixelBytes bytes each, or -1 when the count
// (or any factor) does not fit a 32-bit signed field. A factor <= 0 gives 0.
int64_t PixelByteCount(int64_t Width, int64_t Height, int64_t PixelBytes);

// A file opened for reading bytes, closed with the object.
class BinaryFile {
 public:
  explicit BinaryFile(const std::string& FileName);
  bool IsOpen() const { return File_ != nullptr; }
  // Size in bytes noted at open, 0 when the file is not open.
  int64_t Size() const { return Size_; }
  // Reads exactly Bytes bytes at the current position; false on a short read.
  bool Read(void* Target, size_t Bytes);
  // Reads exactly Bytes bytes at Offset; false when they are not all there.
  bool ReadAt(int64_t Offset, void* Target, size_t Bytes);
  // Bytes between the current position and the end.
  int64_t Remaining() const;

 private:
  struct Closer {
    void operator()(std::FILE* F) const { std::fclose(F); }
  };
  std::unique_ptr<std::FILE, Closer> File_;
  int64_t Size_ = 0;
};

// Byte order helpers for numbers stored in files.
inline uint16_t Get16(const uint8_t* P, bool BigEndian) {
  return BigEndian ? static_cast<uint16_t>(P[0] << 8 | P[1])
                   : static_cast<uint16_t>(P[1] << 8 | P[0]);
}
inline uint32_t Get32(const uint8_t* P, bool BigEndian) {
  return BigEndian ? uint32_t{P[0]} << 24 | uint32_t{P[1]} << 16 | uint32_t{P[2]} << 8 | P[3]
                   : uint32_t{P[3]} << 24 | uint32_t{P[2]} << 16 | uint32_t{P[1]} << 8 | P[0];
}

}  // namespace obra::detail
