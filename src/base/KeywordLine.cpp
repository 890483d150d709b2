// Keyword lines: the shared syntax of OBRA.ini, FITS cards and BIF headers.
#include "KeywordLine.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace obra {

namespace {

constexpr size_t MaxCommentLength = 256;

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// Trims like the classic string trim: every character up to and including the
// blank counts as white space, so a carriage return left by a CRLF file goes too.
std::string_view Trim(std::string_view S) {
  size_t B = 0, E = S.size();
  while (B < E && static_cast<unsigned char>(S[B]) <= ' ') ++B;
  while (E > B && static_cast<unsigned char>(S[E - 1]) <= ' ') --E;
  return S.substr(B, E - B);
}

// Returns the trimmed value when Line carries Key, or false.
bool MatchKey(std::string_view Line, std::string_view Key, std::string& Value) {
  std::string L(Line);
  if (size_t C = L.find("//"); C != std::string::npos) L.erase(C, MaxCommentLength);
  if (L.size() < Key.size() + 1) return false;
  for (size_t I = 0; I < Key.size(); ++I) {
    char A = L[I], B = Key[I];
    if (A >= 'a' && A <= 'z') A = static_cast<char>(A - 'a' + 'A');
    if (B >= 'a' && B <= 'z') B = static_cast<char>(B - 'a' + 'A');
    if (A != B) return false;
  }
  if (L[Key.size()] != ' ') return false;
  Value = std::string(Trim(std::string_view(L).substr(Key.size())));
  return true;
}

// Integer syntax: optional sign, decimal digits, or "$" and hexadecimal digits.
// On a fault the digits read so far count, without their sign.
int32_t ConvertInt(std::string_view V) {
  size_t I = 0;
  bool Negative = false;
  if (I < V.size() && (V[I] == '+' || V[I] == '-')) Negative = V[I++] == '-';
  bool Hex = false;
  if (I < V.size() && V[I] == '$') {
    Hex = true;
    ++I;
  }
  const size_t FirstDigit = I;
  int64_t Acc = 0;
  const int64_t Limit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
  for (; I < V.size(); ++I) {
    int D;
    char C = V[I];
    if (IsDigit(C))
      D = C - '0';
    else if (Hex && C >= 'a' && C <= 'f')
      D = C - 'a' + 10;
    else if (Hex && C >= 'A' && C <= 'F')
      D = C - 'A' + 10;
    else
      break;
    int64_t Next = Acc * (Hex ? 16 : 10) + D;
    if (Next > Limit) break;  // overflow is a fault at this digit
    Acc = Next;
  }
  const bool Fault = I < V.size() || I == FirstDigit;
  if (Fault || (!Negative && Acc == Limit))
    return static_cast<int32_t>(Acc == Limit ? Limit / 10 : Acc);  // digits so far, no sign
  return static_cast<int32_t>(Negative ? -Acc : Acc);
}

// Real syntax: [sign] digits [. digits] [(E|e) [sign] digits], at least one
// mantissa digit. A fault keeps the mantissa digits read as one whole number.
template <typename T>
T ConvertReal(std::string_view V) {
  size_t I = 0;
  if (I < V.size() && (V[I] == '+' || V[I] == '-')) ++I;
  std::string Digits;
  bool Fault = false;
  while (I < V.size() && IsDigit(V[I])) Digits += V[I++];
  if (I < V.size() && V[I] == '.') {
    ++I;
    while (I < V.size() && IsDigit(V[I])) Digits += V[I++];
  }
  if (Digits.empty()) Fault = true;
  if (!Fault && I < V.size() && (V[I] == 'E' || V[I] == 'e')) {
    ++I;
    if (I < V.size() && (V[I] == '+' || V[I] == '-')) ++I;
    if (I >= V.size() || !IsDigit(V[I])) Fault = true;
    while (I < V.size() && IsDigit(V[I])) ++I;
  }
  if (I < V.size()) Fault = true;
  T Result{};
  if (!Fault) {
    // from_chars does not take a leading '+'.
    std::string_view Text = V[0] == '+' ? V.substr(1) : V;
    auto [Ptr, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Result);
    if (Ec == std::errc() && Ptr == Text.data() + Text.size()) return Result;
    // A value too small for T is a well-formed number all the same: it
    // becomes 0 (or the nearest subnormal), never the digits read as a
    // whole number. One too large for T stays a fault.
    long double Wide = 0;
    auto [WidePtr, WideEc] = std::from_chars(Text.data(), Text.data() + Text.size(), Wide);
    if (WideEc == std::errc() && WidePtr == Text.data() + Text.size() &&
        std::fabs(Wide) < static_cast<long double>(std::numeric_limits<T>::min()))
      return static_cast<T>(Wide);
  }
  if (Digits.empty()) return T(0);
  const double Whole = std::strtod(Digits.c_str(), nullptr);
  const double Max = static_cast<double>(std::numeric_limits<T>::max());
  return static_cast<T>(Whole > Max ? Max : Whole);
}

}  // namespace

bool ParseKeyInt(std::string_view Line, std::string_view Key, int32_t& Target) {
  std::string V;
  if (!MatchKey(Line, Key, V)) return false;
  Target = ConvertInt(V);
  return true;
}

bool ParseKeyDouble(std::string_view Line, std::string_view Key, double& Target) {
  std::string V;
  if (!MatchKey(Line, Key, V)) return false;
  Target = ConvertReal<double>(V);
  return true;
}

bool ParseKeyFloat(std::string_view Line, std::string_view Key, float& Target) {
  std::string V;
  if (!MatchKey(Line, Key, V)) return false;
  Target = ConvertReal<float>(V);
  return true;
}

bool ParseKeyText(std::string_view Line, std::string_view Key, std::string& Target) {
  std::string V;
  if (!MatchKey(Line, Key, V)) return false;
  if (V.size() < 2)
    Target.clear();
  else
    Target = V;
  return true;
}

std::string UpperCase(std::string_view S) {
  std::string U(S);
  for (char& C : U)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return U;
}

std::string UpperExtension(const std::string& FileName) {
  const std::string Name = BaseName(FileName);
  const size_t Dot = Name.rfind('.');
  if (Dot == std::string::npos) return {};
  return UpperCase(std::string_view(Name).substr(Dot));
}

std::string CompoundExtension(const std::string& FileName) {
  const std::string Ext = UpperExtension(FileName);
  if (Ext != ".GZ" && Ext != ".FZ") return Ext;
  const std::string Name = BaseName(FileName);
  const std::string Inner = UpperExtension(Name.substr(0, Name.size() - Ext.size()));
  if (Inner == ".FITS" || Inner == ".FIT" || Inner == ".FTS") return Inner + Ext;
  return Ext;
}

std::string ImageStem(const std::string& FileName) {
  const std::string Name = BaseName(FileName);
  return Name.substr(0, Name.size() - CompoundExtension(Name).size());
}

bool IsFitsExtension(const std::string& UpperExt) {
  static constexpr std::string_view Forms[] = {".FITS",    ".FIT",    ".FTS",    ".FZ",
                                               ".FITS.FZ", ".FIT.FZ", ".FTS.FZ", ".FITS.GZ",
                                               ".FIT.GZ",  ".FTS.GZ"};
  for (std::string_view F : Forms)
    if (UpperExt == F) return true;
  return false;
}

std::string BaseName(const std::string& FileName) {
  const size_t Sep = FileName.find_last_of('/');
  return Sep == std::string::npos ? FileName : FileName.substr(Sep + 1);
}

}  // namespace obra
