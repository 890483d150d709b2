// Channel labels and the two texts made from DATE-OBS.
#include "ZEL_param.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

namespace obra {

namespace {

constexpr std::array<std::pair<int32_t, std::string_view>, 10> Labels = {{
    {94, "9.4 nm"},
    {131, "13.1 nm"},
    {171, "17.1 nm"},
    {193, "19.3 nm"},
    {211, "21.1 nm"},
    {304, "30.4 nm"},
    {335, "33.5 nm"},
    {1600, "160 nm"},
    {1700, "170 nm"},
    {4500, "450 nm"},
}};

std::string_view Trim(std::string_view S) {
  while (!S.empty() && static_cast<unsigned char>(S.front()) <= ' ') S.remove_prefix(1);
  while (!S.empty() && static_cast<unsigned char>(S.back()) <= ' ') S.remove_suffix(1);
  return S;
}

// Count characters from 0-based Start, or fewer where the text ends or has
// not begun: a short or odd DATE-OBS gives a short text, never a read
// outside it.
std::string_view Part(std::string_view S, std::ptrdiff_t Start, std::ptrdiff_t Count) {
  std::ptrdiff_t End = Start + Count;
  Start = std::max<std::ptrdiff_t>(Start, 0);
  End = std::min<std::ptrdiff_t>(End, static_cast<std::ptrdiff_t>(S.size()));
  return End > Start ? S.substr(static_cast<size_t>(Start), static_cast<size_t>(End - Start))
                     : std::string_view();
}

}  // namespace

std::string WavelengthLabel(int32_t Channel) {
  for (const auto& [Number, Label] : Labels)
    if (Number == Channel) return std::string(Label);
  return {};
}

std::string FormatObsTime(const std::string& DateObs) {
  const std::string_view S = Trim(DateObs);
  const size_t T = S.find('T');
  const size_t D = S.find('-');
  // Not a date and time of the usual form: the text is shown as it is.
  if (T == std::string_view::npos || D == std::string_view::npos) return std::string(S);
  const auto P = static_cast<std::ptrdiff_t>(T), M = static_cast<std::ptrdiff_t>(D);
  std::string Out;
  Out += Part(S, P - 2, 2);
  Out += ". ";
  Out += Part(S, M + 1, 2);
  Out += ". ";
  Out += Part(S, 0, 4);
  Out += "    ";
  Out += Part(S, P + 1, 8);
  return Out;
}

std::string ObsTimeForFileName(const std::string& DateObs) {
  std::string Out = DateObs;
  for (char& C : Out)
    if (!(C >= '0' && C <= '9') && C != 'T') C = '_';
  return Out;
}

}  // namespace obra
