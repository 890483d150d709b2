// BMP (our own decoder) and JPEG (libjpeg-turbo) input. The header read
// decodes the whole picture into ImageRecord::DecodedBitmap; the pixel read
// copies it into the working buffer and releases it.
#pragma once

#include <string>
#include <vector>

#include "IOGraphics.h"

namespace obra {

void ReadBitmapHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                      const MessageSink& Sink);
// Fills Buffer (already sized to DataSize bytes); false when there is no picture.
bool ReadBitmapPixels(ImageRecord& R, std::vector<uint16_t>& Buffer);

}  // namespace obra
