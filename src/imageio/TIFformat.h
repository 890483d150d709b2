// Uncompressed TIFF input and the 16-bit TIFF writer of activation files.
//
// The reader understands one uncompressed image whose pixels lie in one
// contiguous block from the first strip offset; LoadAndTransformImage then
// reads DataSize bytes at HeaderSize. Faults follow the rules of IOGraphics.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "IOGraphics.h"

namespace obra {

// Reads the first IFD of a TIFF (".TIF", ".TIFF") or activation file (".ACT").
void ReadTiffHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                    const MessageSink& Sink);

// Writes Width x Height 16-bit samples as one TIFF image: one channel when
// Grey, else three interleaved channels (R, G, B), atomically (AtomicWrite.h).
// Returns false, with the reason in *ErrorText when given, when the file
// cannot be written completely; an existing file then stays as it was.
bool WriteTiff16(const uint16_t* Buffer, int32_t Width, int32_t Height, bool Grey,
                 const std::string& FileName, std::string* ErrorText = nullptr);

// Header and IFD at the current end of File (offsets inside the IFD relative
// to that position). BitsPerSample <= 8 means 8, above 8 means 16.
bool WriteTiffHeaderGray(std::FILE* File, int32_t Width, int32_t Height, int BitsPerSample,
                         bool LastImage);
bool WriteTiffHeaderRgb(std::FILE* File, int32_t Width, int32_t Height, int BitsPerSample,
                        bool LastImage);

}  // namespace obra
