#include "IniFile.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <sstream>

#include "KeywordLine.h"

namespace obra {

Parameters Params;
std::filesystem::path ProgramDir;

#define OBRA_INT(key) \
  IniKey { #key, #key, &Parameters::key, nullptr }
#define OBRA_REAL(text, key) \
  IniKey { text, #key, nullptr, &Parameters::key }

const std::array<IniKey, 38> IniKeys = {
    OBRA_INT(KerSize),
    OBRA_INT(NRSigma),
    OBRA_REAL("GlobalB", GlobalB),
    OBRA_REAL("LocalB", LocalB),
    OBRA_REAL("GlobalW", GlobalW),
    OBRA_REAL("LocalW", LocalW),
    OBRA_INT(Gamma4500),
    OBRA_INT(Gamma1700),
    OBRA_INT(Gamma1600),
    OBRA_INT(Gamma304),
    OBRA_INT(Gamma335),
    OBRA_INT(Gamma211),
    OBRA_INT(Gamma193),
    OBRA_INT(Gamma171),
    OBRA_INT(Gamma131),
    OBRA_INT(Gamma94),
    OBRA_INT(Obra4500),
    OBRA_INT(Obra1700),
    OBRA_INT(Obra1600),
    OBRA_INT(Obra304),
    OBRA_INT(Obra335),
    OBRA_INT(Obra211),
    OBRA_INT(Obra193),
    OBRA_INT(Obra171),
    OBRA_INT(Obra131),
    OBRA_INT(Obra94),
    // The seven narrow components are matched with a trailing blank, so their
    // lines carry two blanks between key and value.
    OBRA_REAL("KerS_480", KerS_480),
    OBRA_REAL("KerS_320", KerS_320),
    OBRA_REAL("KerS_220", KerS_220),
    OBRA_REAL("KerS_160", KerS_160),
    OBRA_REAL("KerS_110", KerS_110),
    OBRA_REAL("KerS_80 ", KerS_80),
    OBRA_REAL("KerS_56 ", KerS_56),
    OBRA_REAL("KerS_40 ", KerS_40),
    OBRA_REAL("KerS_28 ", KerS_28),
    OBRA_REAL("KerS_20 ", KerS_20),
    OBRA_REAL("KerS_14 ", KerS_14),
    OBRA_REAL("KerS_10 ", KerS_10),
};

#undef OBRA_INT
#undef OBRA_REAL

IniStatus ReadIniStream(std::istream& Text, Parameters& P) {
  std::string Line;
  while (std::getline(Text, Line)) {
    for (const IniKey& K : IniKeys) {
      if (K.Int)
        ParseKeyInt(Line, K.Text, P.*K.Int);
      else
        ParseKeyFloat(Line, K.Text, P.*K.Real);
    }
  }
  if (Text.bad())
    return {true, "Fatal error: File OBRA.ini could not be read. Impossible to continue."};
  // 2 x NRSigma, formed without overflow for absurd values.
  P.NoiseHalfLength = static_cast<int32_t>(
      std::clamp<int64_t>(2 * static_cast<int64_t>(P.NRSigma), INT32_MIN, INT32_MAX));
  if (P.NoiseHalfLength > MaxNoiseHalfLength)
    return {true,
            "Incorect value of NRSigma in OBRA.ini file. NRSigma<150 Impossible to continue."};
  // NRSigma 0 would divide by zero in the noise kernel and a negative one
  // leaves it empty; KerSize beyond 64 reaches outside the kernel table.
  if (P.NRSigma < 1)
    return {true, "Incorect value of NRSigma in OBRA.ini file. NRSigma>=1 Impossible to continue."};
  if (P.KerSize < 0 || P.KerSize > MaxKerSize)
    return {true,
            "Incorect value of KerSize in OBRA.ini file. 0<=KerSize<=64 Impossible to continue."};
  return {};
}

IniStatus ReadIniFile(const std::filesystem::path& File, Parameters& P) {
  std::error_code Ec;
  if (!std::filesystem::is_regular_file(File, Ec))
    return {true, "Fatal error: File OBRA.ini not found. Impossible to continue."};
  std::ifstream In(File, std::ios::binary);
  if (!In) return {true, "Fatal error: File OBRA.ini could not be read. Impossible to continue."};
  return ReadIniStream(In, P);
}

IniStatus CheckIniText(std::string_view Text) {
  Parameters Copy = Params;
  std::istringstream In{std::string(Text)};
  return ReadIniStream(In, Copy);
}

IniStatus ReadProgramIniFile() {
  return ReadIniFile(FindFileNoCase(ProgramDir, "OBRA.ini"), Params);
}

std::filesystem::path FindFileNoCase(const std::filesystem::path& Dir, std::string_view Name) {
  std::error_code Ec;
  std::filesystem::path Exact = Dir / std::string(Name);
  if (std::filesystem::exists(Exact, Ec)) return Exact;
  const std::string Wanted = UpperCase(Name);
  for (std::filesystem::directory_iterator It(Dir, Ec), End; !Ec && It != End; It.increment(Ec))
    if (UpperCase(It->path().filename().string()) == Wanted) return It->path();
  return Exact;
}

}  // namespace obra
