// File access and size arithmetic shared by the readers.
#include "ReaderSupport.h"

#include <filesystem>
#include <limits>

namespace obra::detail {

bool IsRegularFile(const std::string& FileName) {
  std::error_code Ec;
  return !FileName.empty() && std::filesystem::is_regular_file(FileName, Ec);
}

void Show(const MessageSink& Sink, const std::string& Text) {
  if (Sink) Sink(Text);
}

void Refuse(ImageRecord& R, const std::string& Text, bool ShowMessages, const MessageSink& Sink) {
  R.Valid = false;
  if (ShowMessages) Show(Sink, Text);
}

int64_t PixelByteCount(int64_t Width, int64_t Height, int64_t PixelBytes) {
  constexpr int64_t Limit = std::numeric_limits<int32_t>::max();
  if (Width <= 0 || Height <= 0 || PixelBytes <= 0) return 0;
  if (Width > Limit || Height > Limit || PixelBytes > Limit) return -1;
  // Each factor is now below 2^31, so two of them cannot overflow 64 bits.
  int64_t Bytes = Width * Height;
  if (Bytes > Limit) return -1;
  Bytes *= PixelBytes;
  return Bytes > Limit ? -1 : Bytes;
}

BinaryFile::BinaryFile(const std::string& FileName) {
  if (!IsRegularFile(FileName)) return;
  File_.reset(std::fopen(FileName.c_str(), "rb"));
  if (!File_) return;
  const bool AtEnd = fseeko(File_.get(), 0, SEEK_END) == 0;
  const off_t End = AtEnd ? ftello(File_.get()) : -1;
  if (End < 0 || fseeko(File_.get(), 0, SEEK_SET) != 0) {
    File_.reset();
    return;
  }
  Size_ = End;
}

bool BinaryFile::Read(void* Target, size_t Bytes) {
  return File_ && std::fread(Target, 1, Bytes, File_.get()) == Bytes;
}

bool BinaryFile::ReadAt(int64_t Offset, void* Target, size_t Bytes) {
  if (!File_ || Offset < 0 || Offset > Size_ || static_cast<int64_t>(Bytes) > Size_ - Offset)
    return false;
  return fseeko(File_.get(), Offset, SEEK_SET) == 0 && Read(Target, Bytes);
}

int64_t BinaryFile::Remaining() const {
  if (!File_) return 0;
  const off_t Pos = ftello(File_.get());
  return Pos < 0 ? 0 : Size_ - Pos;
}

}  // namespace obra::detail
