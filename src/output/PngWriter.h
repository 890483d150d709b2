// PNG output of rendered pictures, and the cut-outs of the region saves.
//
// Common rules of this module:
//  - The file form is fixed: pictures of at most 256 colours are indexed
//    (palette of the occurring colours, most frequent first, equal counts in
//    ascending 0xRRGGBB order) at the bit depth whose compressed data is
//    shortest (the larger depth on a tie); others are 8-bit truecolour.
//    Chunks IHDR, sRGB (intent 0), PLTE when indexed, IDAT (at most 65,536
//    bytes each), IEND; zlib deflate level 9, window 2^15, memory level 9,
//    default strategy; every row uses filter type 0 (None).
//  - Faults come back as a PngResult with the text to show; nothing is thrown.
//  - A file is written under a temporary name in the target directory and
//    renamed only when complete, so a failed save never leaves a partial file
//    under the name asked for, and an existing file survives a failed save.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Display.h"

namespace obra {

struct PngResult {
  bool Success = false;
  std::string ErrorText;  // empty on success
};

// Encodes Picture as the bytes of a PNG file into Bytes. Fails on an empty
// picture, a pixel buffer that does not match the size, lack of memory or a
// compression fault.
PngResult EncodePng(const Picture24& Picture, std::vector<uint8_t>& Bytes);

// Writes Picture as a PNG file under exactly Path (no extension is added).
// Fails as EncodePng, or when the file cannot be created, written or renamed.
PngResult WritePng(const Picture24& Picture, const std::string& Path);

// The W x H pixels of Picture whose top-left pixel is (X, Y), clamped to the
// picture; an empty picture when nothing of it lies inside.
Picture24 CutPicture(const Picture24& Picture, int32_t X, int32_t Y, int32_t W, int32_t H);

}  // namespace obra
