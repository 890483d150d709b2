// BMP (our own decoder) and JPEG (libjpeg-turbo) input. The header read
// decodes the whole picture into ImageRecord::DecodedBitmap; the pixel read
// copies it into the working buffer and releases it.
//
// The decoders refuse, before allocating anything, every picture whose
// Width x Height x channels does not fit the record's 32-bit DataSize, and
// never read outside the file or write outside the picture.
#pragma once

#include <string>
#include <vector>

#include "IOGraphics.h"

namespace obra {

void ReadBitmapHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                      const MessageSink& Sink);
// Fills Buffer (already sized to DataSize bytes); false when there is no picture.
bool ReadBitmapPixels(ImageRecord& R, std::vector<uint16_t>& Buffer);

// ---- Decoders behind ReadBitmapHeader --------------------------------------
enum class DecodeStatus { Ok, CannotOpen, Corrupt, Unsupported, TooLarge };

// Decodes an uncompressed 8, 24 or 32 bpp BMP into Picture (rows top first).
// Width, Height and BitsPerPixel are filled as soon as the header is read, also
// when the pixel format is then refused as Unsupported.
DecodeStatus DecodeBmpFile(const std::string& FileName, DecodedPicture& Picture);
// Decodes a grey (8 bpp) or colour (24 bpp, B,G,R) JPEG into Picture; CMYK and
// other colour spaces are Unsupported, truncated or damaged data Corrupt.
DecodeStatus DecodeJpegFile(const std::string& FileName, DecodedPicture& Picture);

}  // namespace obra
