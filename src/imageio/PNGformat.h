// PNG input through our own small layer over libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IOGraphics.h"

namespace obra {

// The PNG layer. get_png_info returns 1 on success; the loaders fill the first
// Width x Height x channels samples of Buffer (rows top first, R,G,B
// interleaved for rgb, 16-bit samples native little-endian) and return 1 on
// success. Buffer must already hold at least that many bytes. Palette images
// are expanded to their colours, grey+alpha and RGBA drop the alpha.
int get_png_info(const char* FileName, int32_t* Width, int32_t* Height, int32_t* BitDepth,
                 int32_t* Channels);
int load_png_gray8(const char* FileName, void* Buffer, int32_t Width, int32_t Height);
int load_png_gray16(const char* FileName, void* Buffer, int32_t Width, int32_t Height);
int load_png_rgb8(const char* FileName, void* Buffer, int32_t Width, int32_t Height);
int load_png_rgb16(const char* FileName, void* Buffer, int32_t Width, int32_t Height);

void ReadPngHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                   const MessageSink& Sink);
// Fills Buffer (already sized to DataSize bytes) with the pixels; false on a fault.
bool ReadPngPixels(ImageRecord& R, std::vector<uint16_t>& Buffer);

}  // namespace obra
