// Display: transfer curves, the two lookup tables, and rendering of a 16-bit
// result into the 24-bit picture with the optional observation-time overlay.
//
// Common rules of this module:
//  - Every grey-level mapping goes through a 65,536-entry table indexed by a
//    16-bit sample; curves are evaluated only while a table is filled.
//  - Curves take t = (value - black) / (white - black) from signed 32-bit
//    differences, rounded to single precision; results are rounded half to
//    even. Tables hold exactly what the curve functions return.
//  - GammaLut and DisplayLut exist once per process (main thread only); every
//    function also has a form that takes its table explicitly.
//  - Nothing here reports errors through messages: functions that can refuse
//    their input return false and leave their output untouched.
//  - Text drawing needs a QGuiApplication (EnsureTextRendering); it is the
//    only part that touches Qt, and only the calling thread draws.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "IOGraphics.h"

namespace obra {

// ---- Transfer curves and tables ----------------------------------------------

inline constexpr int32_t LutSize = 65536;
inline constexpr int32_t SrgbSelector = -1;    // curve selector of the sRGB curve
inline constexpr int32_t LinearSelector = 10;  // curve selector of the linear ramp

using GammaLutType = std::array<uint16_t, LutSize>;
using DisplayLutType = std::array<uint8_t, LutSize>;

// Gamma-corrected value of every input sample (input levels and gamma).
extern GammaLutType GammaLut;
// Screen grey level of every result sample (output levels).
extern DisplayLutType DisplayLut;

// The sRGB curve between Black and White, 0..255.
uint8_t SrgbCurve8(uint16_t Black, uint16_t White, uint16_t Value);
// The linear ramp between Black and White, 0..255.
uint8_t LinearCurve8(uint16_t Black, uint16_t White, uint16_t Value);
// The power curve t^(1/Gamma) between Black and White, 0..255.
uint8_t GammaCurve8(uint16_t Black, uint16_t White, uint16_t Value, float Gamma);
// The sRGB curve between Black and White, 0..65535.
uint16_t SrgbCurve16(uint16_t Black, uint16_t White, uint16_t Value);
// The linear ramp between Black and White, 0..65535.
uint16_t LinearCurve16(uint16_t Black, uint16_t White, uint16_t Value);
// The power curve t^(1/Gamma) between Black and White, 0..65535.
uint16_t GammaCurve16(uint16_t Black, uint16_t White, uint16_t Value, float Gamma);

// The gamma of a power-curve selector: Selector x 0.1 in single precision.
float SelectorGamma(int32_t Selector);

// Fills Lut by selector (-1 sRGB, 10 linear, else power); an empty or inverted
// range (Black >= White) falls back to the full range 0..65535.
void FillDisplayLut(DisplayLutType& Lut, uint16_t Black, uint16_t White, int32_t Selector);
// The same into the process-wide DisplayLut.
void FillDisplayLut(uint16_t Black, uint16_t White, int32_t Selector);
// Fills Lut by selector with the 16-bit curves; an empty or inverted range
// (Black >= White) sets every entry to 0.
void FillGammaLut(GammaLutType& Lut, uint16_t Black, uint16_t White, int32_t Selector);
// The same into the process-wide GammaLut.
void FillGammaLut(uint16_t Black, uint16_t White, int32_t Selector);

// ---- Pictures and rendering ----------------------------------------------------

// A 24-bit picture: three bytes per pixel in blue, green, red order, rows top
// to bottom without padding, so Pixels holds Width x Height x 3 bytes.
struct Picture24 {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Pixels;
};

inline constexpr int32_t MaxDisplayScale = 10;

// Font of the time overlay at one display scale.
struct TimeFontEntry {
  int32_t FontSize = 0;      // points at 96 dpi
  int32_t TextHeight = 0;    // pixels of the text "1" in the overlay font at FontSize
  int32_t BottomMargin = 0;  // (3 x TextHeight) div 2
};

// Indexed by display scale 1..10; entry 0 is not used.
using TimeFontTableType = std::array<TimeFontEntry, MaxDisplayScale + 1>;

// What RenderImage needs to burn the observation time into the picture.
struct TimeOverlay {
  std::string Text;  // the observation time as the status bar shows it
  uint8_t Red = 255, Green = 255, Blue = 0;
  int32_t RoiLeft = 0, RoiTop = 0, RoiHeight = 0;  // image pixels; the frame without a ROI
  TimeFontTableType FontTable{};
};

// Rounded (half to even) mean of the Scale x Scale block whose top-left sample
// is (X x Scale, Y x Scale) of a row-major buffer Width samples wide; 0 when the
// block does not lie inside Source.
uint16_t BoxAverage(std::span<const uint16_t> Source, int32_t Width, int32_t X, int32_t Y,
                    int32_t Scale);

// ---- Colour tables ----------------------------------------------------------------
// A colour table maps the 8-bit grey level the display table gives to a
// colour; the grey rendering is the table whose three components equal the
// index. Every table here is non-decreasing in each component, so brightness
// never falls along it.

struct TableColour {
  uint8_t Red = 0, Green = 0, Blue = 0;
  friend bool operator==(const TableColour&, const TableColour&) = default;
};
using ColourTable = std::array<TableColour, 256>;

// One named table the user can choose.
struct NamedColourTable {
  std::string Name;  // "AIA 171", "EIT 195", "SWAP 174" ...
  int32_t Channel = 0;
  const ColourTable* Table = nullptr;
};

// Every named table, AIA channels first, then EIT, then SWAP.
const std::vector<NamedColourTable>& ColourTables();
// The table of a name: "AIA 171", "aia171", "EIT 304" or a bare channel
// number ("171" is AIA 171; "195" and "284" are EIT, "174" is SWAP). Null for
// an unknown name and for "Grey".
const NamedColourTable* FindColourTable(std::string_view Name);
// The conventional table of the instrument and channel an image record
// names; null (grey) for an instrument or channel without one.
const NamedColourTable* ChannelColourTable(const ImageRecord& R);
// Recolours a grey picture in place: each pixel's grey level (its blue byte)
// becomes the table's colour.
void ApplyColourTable(Picture24& Picture, const ColourTable& Table);

// Draws Source (R.Width x R.Height samples) through Lut into Picture reduced by
// Scale (1..10), sized (Width div Scale) x (Height div Scale), recolours it
// through Colours when given, then draws the time text when Overlay is given.
// Returns false and leaves Picture untouched when R is not valid, Scale is
// outside 1..10 or Source is smaller than R says.
bool RenderImage(Picture24& Picture, const ImageRecord& R, std::span<const uint16_t> Source,
                 int32_t Scale, const DisplayLutType& Lut, const TimeOverlay* Overlay,
                 const ColourTable* Colours = nullptr);

// ---- Time overlay (QtGui) --------------------------------------------------------

// Makes text drawing possible: creates a QGuiApplication (platform "offscreen"
// unless QT_QPA_PLATFORM is set) when none exists. Returns false when a
// non-GUI Qt application already exists, so no text can be drawn.
bool EnsureTextRendering();

// Rebuilds Table for the font size control at FontPosition: font size
// FontPosition div s for every scale s. Returns false (heights 0) without text rendering.
bool FillTimeFontTable(TimeFontTableType& Table, int32_t FontPosition);

// Draws Overlay.Text with its top-left corner at (RoiLeft div Scale + text
// height, (RoiTop + RoiHeight) div Scale - bottom margin) in the overlay font
// of Scale's table entry, on a transparent background. Returns false when
// nothing could be drawn (no text rendering, Scale outside 1..10, empty picture).
bool DrawTimeText(Picture24& Picture, const TimeOverlay& Overlay, int32_t Scale);

}  // namespace obra
