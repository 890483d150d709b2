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

bool Digits(std::string_view S) {
  return !S.empty() && std::all_of(S.begin(), S.end(), [](char C) { return C >= '0' && C <= '9'; });
}

// 1..12 for an English month abbreviation in any letter case, else 0.
int MonthNumber(std::string_view S) {
  static constexpr std::array<std::string_view, 12> Months = {
      "JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (S.size() != 3) return 0;
  std::string U(S);
  for (char& C : U)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  for (size_t I = 0; I < Months.size(); ++I)
    if (Months[I] == U) return static_cast<int>(I) + 1;
  return 0;
}

std::string TwoDigits(int V) {
  return std::string{static_cast<char>('0' + V / 10 % 10), static_cast<char>('0' + V % 10)};
}

}  // namespace

std::string NormaliseObsDate(const std::string& Date) {
  const std::string_view S = Trim(Date);
  // yyyy/mm/dd
  if (S.size() == 10 && S[4] == '/' && S[7] == '/' && Digits(S.substr(0, 4)) &&
      Digits(S.substr(5, 2)) && Digits(S.substr(8, 2)))
    return std::string(S.substr(0, 4)) + "-" + std::string(S.substr(5, 2)) + "-" +
           std::string(S.substr(8, 2));
  // dd-MMM-yy and dd-MMM-yyyy (the day may have one digit)
  const size_t A = S.find('-');
  const size_t B = A == std::string_view::npos ? A : S.find('-', A + 1);
  if (B == std::string_view::npos) return std::string(S);
  const std::string_view Day = S.substr(0, A), Mon = S.substr(A + 1, B - A - 1),
                         Year = S.substr(B + 1);
  const int M = MonthNumber(Mon);
  if (M == 0 || !Digits(Day) || Day.size() > 2 || !Digits(Year) ||
      (Year.size() != 2 && Year.size() != 4))
    return std::string(S);
  std::string Y(Year);
  if (Y.size() == 2) Y = (Y >= "50" ? "19" : "20") + Y;
  const int D = Day.size() == 1 ? Day[0] - '0' : (Day[0] - '0') * 10 + (Day[1] - '0');
  return Y + "-" + TwoDigits(M) + "-" + TwoDigits(D);
}

std::string FallbackObsTime(const std::string& DateObs, const std::string& DateObs_,
                            const std::string& TimeObs) {
  const std::string_view Dates[] = {Trim(DateObs), Trim(DateObs_)};
  for (std::string_view D : Dates) {
    const size_t T = D.find('T');
    if (T != std::string_view::npos)
      return NormaliseObsDate(std::string(D.substr(0, T))) + std::string(D.substr(T));
  }
  const std::string_view Date = !Dates[0].empty() ? Dates[0] : Dates[1];
  if (Date.empty()) return {};
  const std::string_view Time = Trim(TimeObs);
  std::string Out = NormaliseObsDate(std::string(Date));
  if (!Time.empty()) (Out += 'T') += Time;
  return Out;
}

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
