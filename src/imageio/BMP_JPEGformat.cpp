// Placeholder until the bitmap reader is merged: every BMP and JPEG is refused.
#include "BMP_JPEGformat.h"

namespace obra {

void ReadBitmapHeader(const std::string&, ImageRecord& R, bool, const MessageSink&) {
  R.Valid = false;
}

bool ReadBitmapPixels(ImageRecord& R, std::vector<uint16_t>&) {
  R.Valid = false;
  return false;
}

}  // namespace obra
