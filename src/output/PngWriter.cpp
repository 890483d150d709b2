// Saving a picture as a PNG file without ever exposing a partial file.
#include "PngWriter.h"

#include "AtomicWrite.h"

namespace obra {
PngResult WritePng(const Picture24& Picture, const std::string& Path) {
  std::vector<uint8_t> Bytes;
  PngResult Encoded = EncodePng(Picture, Bytes);
  if (!Encoded.Success) return Encoded;
  const WriteOutcome Written = WriteFileAtomic(Path, Bytes);
  return PngResult{Written.Success, Written.ErrorText};
}

}  // namespace obra
