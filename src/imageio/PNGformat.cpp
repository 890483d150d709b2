// Placeholder until the PNG reader is merged: every PNG is refused.
#include "PNGformat.h"

namespace obra {

int get_png_info(const char*, int32_t*, int32_t*, int32_t*, int32_t*) { return 0; }
int load_png_gray8(const char*, void*, int32_t, int32_t) { return 0; }
int load_png_gray16(const char*, void*, int32_t, int32_t) { return 0; }
int load_png_rgb8(const char*, void*, int32_t, int32_t) { return 0; }
int load_png_rgb16(const char*, void*, int32_t, int32_t) { return 0; }

void ReadPngHeader(const std::string&, ImageRecord& R, bool, const MessageSink&) {
  R.Valid = false;
}

bool ReadPngPixels(ImageRecord& R, std::vector<uint16_t>&) {
  R.Valid = false;
  return false;
}

}  // namespace obra
