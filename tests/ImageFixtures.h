// Image files built in code for the reader tests: FITS cards and files, and
// the byte-order helpers their pixel data needs.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"

namespace obra::test {

// One 80-character card: the text as given, padded with blanks.
inline std::string RawCard(std::string_view Text) {
  std::string C(Text.substr(0, 80));
  C.resize(80, ' ');
  return C;
}

// A value card in fixed format: keyword in columns 1-8, "= " in 9-10, then
// the value and an optional comment.
inline std::string Card(std::string_view Key, std::string_view Value,
                        std::string_view Comment = {}) {
  std::string C(Key);
  C.resize(8, ' ');
  C += "= ";
  C += Value;
  if (!Comment.empty()) C += std::string(" / ") + std::string(Comment);
  return RawCard(C);
}

// The mandatory cards of a 2-D primary header.
inline std::vector<std::string> ImageCards(int Bitpix, int Width, int Height) {
  return {Card("SIMPLE", "T"), Card("BITPIX", std::to_string(Bitpix)), Card("NAXIS", "2"),
          Card("NAXIS1", std::to_string(Width)), Card("NAXIS2", std::to_string(Height))};
}

// Header (cards, END unless told otherwise, blanks to a 2880-byte block) then
// the data bytes padded with zeros to a block, as FITS writers do.
inline std::vector<uint8_t> FitsFile(const std::vector<std::string>& Cards,
                                     const std::vector<uint8_t>& Data, bool End = true,
                                     bool PadData = true) {
  std::string H;
  for (const auto& C : Cards) H += C;
  if (End) H += RawCard("END");
  H.resize((H.size() + 2879) / 2880 * 2880, ' ');
  std::vector<uint8_t> F(H.begin(), H.end());
  F.insert(F.end(), Data.begin(), Data.end());
  if (PadData) F.resize(H.size() + (Data.size() + 2879) / 2880 * 2880, 0);
  return F;
}

template <typename T>
std::vector<uint8_t> BigEndian(const std::vector<T>& Values) {
  std::vector<uint8_t> B;
  for (T V : Values) {
    uint8_t Raw[sizeof(T)];
    std::memcpy(Raw, &V, sizeof(T));
    if constexpr (std::endian::native == std::endian::little)
      for (size_t I = sizeof(T); I-- > 0;) B.push_back(Raw[I]);
    else
      B.insert(B.end(), Raw, Raw + sizeof(T));
  }
  return B;
}

template <typename T>
std::vector<uint8_t> LittleEndian(const std::vector<T>& Values) {
  std::vector<uint8_t> B = BigEndian(Values);
  for (size_t I = 0; I < B.size(); I += sizeof(T))
    for (size_t A = I, Z = I + sizeof(T) - 1; A < Z; ++A, --Z) std::swap(B[A], B[Z]);
  return B;
}

// The Python with astropy and numpy, or empty when it is not usable.
inline std::string AstropyPython() {
  static const std::string Python = [] {
    const std::string P = "/usr/bin/python3";
    const std::string Probe = P + " -c 'import astropy.io.fits, numpy' >/dev/null 2>&1";
    return std::system(Probe.c_str()) == 0 ? P : std::string();
  }();
  return Python;
}

// Runs tests/tools/fits_oracle.py with Args; true when it succeeded.
inline bool RunOracle(const std::string& Args) {
  const std::string Cmd =
      AstropyPython() + " " + OBRA_SOURCE_DIR "/tests/tools/fits_oracle.py " + Args + " >/dev/null";
  return std::system(Cmd.c_str()) == 0;
}

// Native 16-bit samples from a raw little-endian dump.
inline std::vector<uint16_t> Samples16(const std::vector<uint8_t>& LittleEndianBytes) {
  std::vector<uint16_t> S(LittleEndianBytes.size() / 2);
  for (size_t I = 0; I < S.size(); ++I)
    S[I] = static_cast<uint16_t>(LittleEndianBytes[2 * I] | LittleEndianBytes[2 * I + 1] << 8);
  return S;
}

}  // namespace obra::test
