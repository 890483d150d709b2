// FITS header cards: keyword and value, readable lines, solar coordinates.
#include "FitsHeader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "IOGraphics.h"

namespace obra {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double DegToRad = Pi / 180.0;
constexpr double ArcsecPerDeg = 3600.0;
constexpr double ArcsecPerRad = 180.0 / Pi * 3600.0;
// The nominal solar radius (IAU 2015 Resolution B3), in metres.
constexpr double NominalSolarRadius = 695'700'000.0;

std::string_view TrimBlanks(std::string_view S) {
  while (!S.empty() && S.front() == ' ') S.remove_prefix(1);
  while (!S.empty() && S.back() == ' ') S.remove_suffix(1);
  return S;
}

// A quoted string value starting at S[0] == '\''; '' stands for one quote.
std::string QuotedValue(std::string_view S) {
  std::string Out;
  for (size_t I = 1; I < S.size(); ++I) {
    if (S[I] != '\'') {
      Out += S[I];
    } else if (I + 1 < S.size() && S[I + 1] == '\'') {
      Out += '\'';
      ++I;
    } else {
      break;
    }
  }
  while (!Out.empty() && Out.back() == ' ') Out.pop_back();
  return Out;
}

// A FITS number (integer or real, E or D exponent) that fills the whole text.
std::optional<double> ParseNumber(std::string_view Text) {
  if (Text.empty() || Text.size() > 70) return std::nullopt;
  std::string S(Text);
  for (char& C : S)
    if (C == 'D' || C == 'd') C = 'E';
  char* End = nullptr;
  const double V = std::strtod(S.c_str(), &End);
  if (End != S.c_str() + S.size() || !std::isfinite(V)) return std::nullopt;
  return V;
}

// Arcseconds per unit of a CUNIT value; 0 for a unit that is no angle.
double ArcsecPerUnit(const std::string& Unit) {
  const std::string U = UpperCase(Unit);
  if (U == "ARCSEC") return 1.0;
  if (U == "ARCMIN") return 60.0;
  if (U == "DEG") return ArcsecPerDeg;
  if (U == "RAD") return ArcsecPerRad;
  if (U == "MAS") return 1e-3;
  return 0.0;
}

enum class AxisKind { None, Tan, Linear };

// The projection both CTYPE cards agree on, or None.
AxisKind AxisKindOf(const std::vector<std::string>& Cards) {
  const auto T1 = HeaderText(Cards, "CTYPE1"), T2 = HeaderText(Cards, "CTYPE2");
  if (!T1 && !T2) return AxisKind::Linear;
  const std::string A = UpperCase(T1.value_or("")), B = UpperCase(T2.value_or(""));
  if (A == "HPLN-TAN" && B == "HPLT-TAN") return AxisKind::Tan;
  if ((A == "SOLAR-X" || A == "SOLAR_X") && (B == "SOLAR-Y" || B == "SOLAR_Y"))
    return AxisKind::Linear;
  return AxisKind::None;
}

// The linear part: CDELT x PC (PC wins over CD, CD over CROTA2), in units of
// the axes. False when the header gives no scale.
bool ReadMatrix(const std::vector<std::string>& Cards, double M[2][2], double& CDelt1) {
  const auto D1 = HeaderNumber(Cards, "CDELT1"), D2 = HeaderNumber(Cards, "CDELT2");
  const char* const Pc[2][2] = {{"PC1_1", "PC1_2"}, {"PC2_1", "PC2_2"}};
  const char* const Cd[2][2] = {{"CD1_1", "CD1_2"}, {"CD2_1", "CD2_2"}};
  bool HasPc = false, HasCd = false;
  for (int I = 0; I < 2; ++I)
    for (int J = 0; J < 2; ++J) {
      HasPc = HasPc || HeaderNumber(Cards, Pc[I][J]).has_value();
      HasCd = HasCd || HeaderNumber(Cards, Cd[I][J]).has_value();
    }
  CDelt1 = D1.value_or(0.0);
  if (HasCd && !HasPc) {
    for (int I = 0; I < 2; ++I)
      for (int J = 0; J < 2; ++J) M[I][J] = HeaderNumber(Cards, Cd[I][J]).value_or(0.0);
    if (CDelt1 == 0.0) CDelt1 = std::hypot(M[0][0], M[1][0]);
    return M[0][0] * M[1][1] - M[0][1] * M[1][0] != 0.0;
  }
  if (!D1 || !D2 || *D1 == 0.0 || *D2 == 0.0) return false;
  const double D[2] = {*D1, *D2};
  if (HasPc) {
    for (int I = 0; I < 2; ++I)
      for (int J = 0; J < 2; ++J)
        M[I][J] = D[I] * HeaderNumber(Cards, Pc[I][J]).value_or(I == J ? 1.0 : 0.0);
    return true;
  }
  const double Rho = HeaderNumber(Cards, "CROTA2").value_or(0.0) * DegToRad;
  M[0][0] = D[0] * std::cos(Rho);
  M[0][1] = -D[1] * std::sin(Rho);
  M[1][0] = D[0] * std::sin(Rho);
  M[1][1] = D[1] * std::cos(Rho);
  return true;
}

// The apparent solar radius in arcsec from the first source the header has.
std::optional<double> ReadRadius(const std::vector<std::string>& Cards, double CDelt1Arcsec) {
  if (const auto R = HeaderNumber(Cards, "RSUN_OBS"); R && *R > 0) return *R;
  if (const auto R = HeaderNumber(Cards, "R_SUN"); R && *R > 0 && CDelt1Arcsec != 0)
    return *R * std::fabs(CDelt1Arcsec);
  const auto Dist = HeaderNumber(Cards, "DSUN_OBS");
  const double Ref = HeaderNumber(Cards, "RSUN_REF").value_or(NominalSolarRadius);
  if (Dist && *Dist > Ref && Ref > 0) return std::atan(Ref / *Dist) * ArcsecPerRad;
  return std::nullopt;
}

// Angular distance of (Tx, Ty) from disc centre in arcsec; the spherical
// form for the projection, the plane form for linear axes.
double CentreDistance(const SolarWcs& W, double Tx, double Ty) {
  if (!W.Gnomonic) return std::hypot(Tx, Ty);
  const double X = Tx / ArcsecPerRad, Y = Ty / ArcsecPerRad;
  const double A = std::cos(Y) * std::sin(X), B = std::sin(Y), C = std::cos(Y) * std::cos(X);
  return std::atan2(std::hypot(A, B), C) * ArcsecPerRad;
}

}  // namespace

std::string CardKeyword(std::string_view Card) {
  return std::string(TrimBlanks(Card.substr(0, std::min<size_t>(Card.size(), 8))));
}

std::optional<std::string> CardValue(std::string_view Card) {
  if (Card.size() < 10 || Card[8] != '=' || Card[9] != ' ') return std::nullopt;
  const std::string_view Rest = TrimBlanks(Card.substr(10));
  if (Rest.empty()) return std::nullopt;
  if (Rest.front() == '\'') return QuotedValue(Rest);
  const size_t Slash = Rest.find('/');
  const std::string_view V = TrimBlanks(Rest.substr(0, Slash));
  if (V.empty()) return std::nullopt;
  return std::string(V);
}

std::optional<std::string> HeaderText(const std::vector<std::string>& Cards,
                                      std::string_view Keyword) {
  for (auto It = Cards.rbegin(); It != Cards.rend(); ++It)
    if (CardKeyword(*It) == Keyword) return CardValue(*It);
  return std::nullopt;
}

std::optional<double> HeaderNumber(const std::vector<std::string>& Cards,
                                   std::string_view Keyword) {
  const auto T = HeaderText(Cards, Keyword);
  return T ? ParseNumber(*T) : std::nullopt;
}

std::vector<std::string> HeaderLines(const std::vector<std::string>& Cards) {
  std::vector<std::string> Lines;
  Lines.reserve(Cards.size());
  for (const std::string& C : Cards) {
    std::string_view L(C);
    while (!L.empty() && L.back() == ' ') L.remove_suffix(1);
    if (L.empty() || L == "END") continue;
    Lines.emplace_back(L);
  }
  return Lines;
}

std::optional<SolarWcs> ReadSolarWcs(const std::vector<std::string>& Cards) {
  const AxisKind Kind = AxisKindOf(Cards);
  if (Kind == AxisKind::None) return std::nullopt;
  SolarWcs W;
  W.Gnomonic = Kind == AxisKind::Tan;
  // Celestial axes default to degrees, the old linear solar axes to arcsec.
  const std::string DefaultUnit = W.Gnomonic ? "deg" : "arcsec";
  const double U1 = ArcsecPerUnit(HeaderText(Cards, "CUNIT1").value_or(DefaultUnit));
  const double U2 = ArcsecPerUnit(HeaderText(Cards, "CUNIT2").value_or(DefaultUnit));
  if (U1 == 0.0 || U2 == 0.0) return std::nullopt;
  double M[2][2], CDelt1 = 0.0;
  if (!ReadMatrix(Cards, M, CDelt1)) return std::nullopt;
  const double Units[2] = {U1, U2};
  for (int I = 0; I < 2; ++I)
    for (int J = 0; J < 2; ++J) W.Matrix[I][J] = M[I][J] * Units[I];
  W.CrPix1 = HeaderNumber(Cards, "CRPIX1").value_or(0.0);
  W.CrPix2 = HeaderNumber(Cards, "CRPIX2").value_or(0.0);
  W.CrVal1 = HeaderNumber(Cards, "CRVAL1").value_or(0.0) * U1;
  W.CrVal2 = HeaderNumber(Cards, "CRVAL2").value_or(0.0) * U2;
  W.RSunArcsec = ReadRadius(Cards, CDelt1 * U1);
  return W;
}

SkyPosition PixelToSky(const SolarWcs& W, double FitsX, double FitsY) {
  const double Dx = FitsX - W.CrPix1, Dy = FitsY - W.CrPix2;
  const double X = W.Matrix[0][0] * Dx + W.Matrix[0][1] * Dy;
  const double Y = W.Matrix[1][0] * Dx + W.Matrix[1][1] * Dy;
  SkyPosition P;
  if (!W.Gnomonic) {
    P.Tx = W.CrVal1 + X;
    P.Ty = W.CrVal2 + Y;
  } else {
    // Native spherical coordinates of the zenithal projection (theta0 = 90).
    const double Phi = std::atan2(X, -Y);
    const double Theta = std::atan2(ArcsecPerRad, std::hypot(X, Y));
    // Rotation to helioprojective coordinates, native pole at LONPOLE 180.
    const double A0 = W.CrVal1 / ArcsecPerRad, D0 = W.CrVal2 / ArcsecPerRad;
    const double Dphi = Phi - Pi;
    const double Lon = A0 + std::atan2(-std::cos(Theta) * std::sin(Dphi),
                                       std::sin(Theta) * std::cos(D0) -
                                           std::cos(Theta) * std::sin(D0) * std::cos(Dphi));
    const double Lat = std::asin(
        std::clamp(std::sin(Theta) * std::sin(D0) + std::cos(Theta) * std::cos(D0) * std::cos(Dphi),
                   -1.0, 1.0));
    P.Tx = std::remainder(Lon, 2 * Pi) * ArcsecPerRad;
    P.Ty = Lat * ArcsecPerRad;
  }
  if (W.RSunArcsec) P.R = CentreDistance(W, P.Tx, P.Ty) / *W.RSunArcsec;
  return P;
}

SkyPosition ReadoutToSky(const SolarWcs& W, int32_t Height, double X, double Y) {
  return PixelToSky(W, X + 1.0, static_cast<double>(Height) - Y);
}

}  // namespace obra
