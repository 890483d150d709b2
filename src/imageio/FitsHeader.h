// FITS header cards as stored in ImageRecord::HeaderCards: keyword and value
// of a card, the cards a person reads, and the solar coordinate system.
//
// Common rules of this module:
//  - A card is 80 characters: keyword in columns 1-8, "= " in 9-10 for a
//    value card, then the value and an optional "/ comment". Values are read
//    as the FITS standard writes them (quoted strings with '' for a quote,
//    numbers with an E or D exponent), not by the keyword-line rules.
//  - A keyword that occurs on several cards takes the value of the last one,
//    as the header reader does.
//  - Nothing here reports messages: a value that is absent or does not
//    convert comes back as an empty optional.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace obra {

// The keyword of a card: columns 1-8 with trailing blanks removed.
std::string CardKeyword(std::string_view Card);
// The value text of a value card (string values without quotes and trailing
// blanks, other values trimmed, comment removed); empty optional when the
// card carries no value.
std::optional<std::string> CardValue(std::string_view Card);
// The value of the last card with Keyword, as text.
std::optional<std::string> HeaderText(const std::vector<std::string>& Cards,
                                      std::string_view Keyword);
// The value of the last card with Keyword, as a finite number.
std::optional<double> HeaderNumber(const std::vector<std::string>& Cards, std::string_view Keyword);

// The cards as a person reads them: trailing blanks removed, blank cards and
// END left out, one text per card.
std::vector<std::string> HeaderLines(const std::vector<std::string>& Cards);

// ---- Solar coordinates -------------------------------------------------------
// The helioprojective coordinate system of an image, from CRPIX, CDELT,
// CRVAL, CROTA2 or a PC or CD matrix, CUNIT and CTYPE:
//  - HPLN-TAN / HPLT-TAN: the gnomonic (TAN) projection, worked out here
//    with the zenithal deprojection and the spherical rotation of the FITS
//    world coordinate papers (native pole at LONPOLE 180);
//  - Solar-X / Solar-Y, or no CTYPE at all: linear, in arcseconds unless
//    CUNIT says otherwise.
// A header without CDELT (or a CD matrix), with an unknown axis type or unit,
// or with values that are not finite has no usable coordinates.
struct SolarWcs {
  bool Gnomonic = false;          // TAN projection; otherwise linear
  double CrPix1 = 0, CrPix2 = 0;  // reference pixel, FITS pixel numbers
  double CrVal1 = 0, CrVal2 = 0;  // reference position, arcsec
  // Pixel offset from the reference pixel to intermediate coordinates in
  // arcsec: (x, y) = Matrix x (dx, dy).
  double Matrix[2][2] = {{1, 0}, {0, 1}};
  // The apparent solar radius in arcsec: RSUN_OBS, else R_SUN x |CDELT1|,
  // else atan(RSUN_REF / DSUN_OBS) with RSUN_REF 695,700 km by default.
  std::optional<double> RSunArcsec;
};

std::optional<SolarWcs> ReadSolarWcs(const std::vector<std::string>& Cards);

// A position on the sky: helioprojective longitude and latitude in arcsec and
// the angular distance from disc centre in solar radii (empty without a radius).
struct SkyPosition {
  double Tx = 0, Ty = 0;
  std::optional<double> R;
};

// The position of FITS pixel (FitsX, FitsY), counted from 1 at the bottom left.
SkyPosition PixelToSky(const SolarWcs& Wcs, double FitsX, double FitsY);
// The position of the sample the readout calls (X, Y): column X, row Y from
// the top of a picture Height rows high, i.e. FITS pixel (X + 1, Height - Y).
SkyPosition ReadoutToSky(const SolarWcs& Wcs, int32_t Height, double X, double Y);

}  // namespace obra
