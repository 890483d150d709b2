// Configuration: the process-wide parameters read from OBRA.ini.
//
// The file is a list of keyword lines (see IOGraphics.h) in any order; there
// are no built-in defaults, so a key missing from the file keeps the value it
// had (zero before the first read). Nothing here ends the process: a fatal
// fault comes back as an IniStatus for the caller to show before it stops.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <string_view>

namespace obra {

struct Parameters {
  int32_t KerSize = 0;
  int32_t NRSigma = 0;
  float GlobalB = 0, LocalB = 0, GlobalW = 0, LocalW = 0;
  int32_t Gamma4500 = 0, Gamma1700 = 0, Gamma1600 = 0, Gamma304 = 0, Gamma335 = 0, Gamma211 = 0,
          Gamma193 = 0, Gamma171 = 0, Gamma131 = 0, Gamma94 = 0;
  int32_t Obra4500 = 0, Obra1700 = 0, Obra1600 = 0, Obra304 = 0, Obra335 = 0, Obra211 = 0,
          Obra193 = 0, Obra171 = 0, Obra131 = 0, Obra94 = 0;
  float KerS_480 = 0, KerS_320 = 0, KerS_220 = 0, KerS_160 = 0, KerS_110 = 0, KerS_80 = 0,
        KerS_56 = 0, KerS_40 = 0, KerS_28 = 0, KerS_20 = 0, KerS_14 = 0, KerS_10 = 0;
  // Derived at each read: 2 x NRSigma, the reach of NoiseKernel in grey levels.
  int32_t NoiseHalfLength = 0;
};

// One configuration key: its text as matched (some end in a blank, so their
// lines need two blanks before the value) and the parameter it sets.
struct IniKey {
  std::string_view Text;  // as matched against the line
  std::string_view Name;  // the parameter's name
  int32_t Parameters::*Int = nullptr;
  float Parameters::*Real = nullptr;
};
// The 38 keys in the order they are offered each line.
extern const std::array<IniKey, 38> IniKeys;

// Largest neighbourhood radius the 129 x 129 kernel table allows, and the
// largest noise half-length the 601-entry noise kernel allows.
inline constexpr int32_t MaxKerSize = 64;
inline constexpr int32_t MaxNoiseHalfLength = 300;

struct IniStatus {
  bool Fatal = false;
  std::string Message;  // the text to show before ending the program
};

// Process-wide parameters, written only by GetIniFile.
extern Parameters Params;
// Directory that holds the program file, and with it OBRA.ini and Default.ini.
extern std::filesystem::path ProgramDir;

// Offers every line of Text to every key, then derives NoiseHalfLength and
// applies the range checks. P keeps the values of keys that do not occur.
IniStatus ReadIniStream(std::istream& Text, Parameters& P);
// Reads the named file into P (fatal when it is missing or unreadable).
IniStatus ReadIniFile(const std::filesystem::path& File, Parameters& P);
// Applies the checks of GetIniFile to Text without touching Params (keys
// missing from Text count with their present values, as in a re-read).
// Text that would end the program is refused before it is ever written.
IniStatus CheckIniText(std::string_view Text);
// Reads ProgramDir/OBRA.ini into Params. On a fatal status Params may be
// partly updated; the caller shows the message and ends the program. The
// kernels are the caller's to build from what was read (GetIniFile does both).
IniStatus ReadProgramIniFile();

// The file Name inside Dir, matched without regard to letter case (so
// "Obra.ini" and "OBRA.ini" name one file). Returns Dir/Name when none exists.
std::filesystem::path FindFileNoCase(const std::filesystem::path& Dir, std::string_view Name);

}  // namespace obra
