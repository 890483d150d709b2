// FITS output of 16-bit results.
//
// Common rules of this module:
//  - The file is a single primary HDU of unsigned 16-bit samples: BITPIX 16
//    with BZERO 32768 and BSCALE 1, so a reader gets back the stored values
//    exactly. Rows go bottom row first, as FITS stores them; the working
//    buffer's row 0 is the top of the picture.
//  - Header cards are 80 printable ASCII characters; the header and the
//    data are each padded to whole 2880-byte blocks (blanks and zeros).
//  - The file goes through WriteFileAtomic: a failed write is reported and
//    leaves an existing file as it was.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "AtomicWrite.h"

namespace obra {

// The keywords an exported image keeps from its source header: the
// observation, the instrument, the coordinate system and the solar radius
// and distance.
extern const std::vector<std::string_view> KeptSolarKeywords;

// The cards of Cards whose keyword is one of KeptSolarKeywords, in their order.
std::vector<std::string> KeptSolarCards(const std::vector<std::string>& Cards);

// An 80-character HISTORY card for each piece of Text (longer texts are
// split over several cards; characters outside printable ASCII become "?").
std::vector<std::string> HistoryCards(std::string_view Text);

// What WriteFits16 writes.
struct FitsImage16 {
  int32_t Width = 0, Height = 0;
  std::span<const uint16_t> Samples;  // Width x Height, row 0 at the top
  std::vector<std::string> Cards;     // extra 80-character cards (kept keywords, HISTORY)
};

// Writes Image as an unsigned 16-bit FITS file under exactly Path. Fails
// without touching Path when the size does not match the samples or a card
// is not an 80-character text card, and when the file cannot be written.
WriteOutcome WriteFits16(const std::string& Path, const FitsImage16& Image);

}  // namespace obra
