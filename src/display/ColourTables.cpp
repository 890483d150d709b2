// Colour tables of the solar EUV instruments, built from their published
// definitions when the program starts.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "Display.h"
#include "FitsHeader.h"

namespace obra {
namespace {

using Ramp = std::array<uint8_t, 256>;

// IDL colour table 3 ("Red Temperature"), the start of the SDO/AIA tables:
// red rises by 255/176 per entry and saturates from entry 176 on; green is 0
// up to entry 120 and then climbs in 15 blocks of 9 entries, block k running
// 17(k-1)+1, +3, ... +17; blue is 0 up to entry 190 and then climbs in 5
// blocks of 13 entries, block k running 51(k-1)+3, +7, ... +51.
Ramp IdlRed() {
  Ramp R{};
  for (int I = 0; I < 256; ++I) R[I] = uint8_t(std::min(255, I * 255 / 176));
  return R;
}
Ramp IdlBlocks(int FirstEntry, int Blocks, int PerBlock, int BlockRise, int Step, int Start) {
  Ramp R{};
  int Entry = FirstEntry;
  for (int K = 0; K < Blocks; ++K)
    for (int J = 0; J < PerBlock; ++J) R[Entry++] = uint8_t(BlockRise * K + Start + Step * J);
  return R;
}
Ramp IdlGreen() { return IdlBlocks(121, 15, 9, 17, 2, 1); }
Ramp IdlBlue() { return IdlBlocks(191, 5, 13, 51, 4, 3); }

// The curves of aia_lct.pro (SolarSoft, K. Schrijver 2010-04-12), computed in
// single precision and truncated to bytes as IDL's byte() does:
//   c0 = i, c1 = sqrt(i) * sqrt(255), c2 = i^2 / 255,
//   c3 = (c1 + c2 / 2) * 255 / (max(c1) + max(c2) / 2).
struct AiaCurves {
  Ramp C0{}, C1{}, C2{}, C3{};
  AiaCurves() {
    for (int I = 0; I < 256; ++I) {
      const float F = float(I);
      C0[I] = uint8_t(I);
      C1[I] = uint8_t(std::sqrt(F) * std::sqrt(255.0f));
      C2[I] = uint8_t(F * F / 255.0f);
    }
    const float Max1 = *std::max_element(C1.begin(), C1.end());
    const float Max2 = *std::max_element(C2.begin(), C2.end());
    for (int I = 0; I < 256; ++I)
      C3[I] = uint8_t((float(C1[I]) + float(C2[I]) / 2.0f) * 255.0f / (Max1 + Max2 / 2.0f));
  }
};

ColourTable FromRamps(const Ramp& R, const Ramp& G, const Ramp& B) {
  ColourTable T{};
  for (int I = 0; I < 256; ++I) T[I] = {R[I], G[I], B[I]};
  return T;
}

// A component through control points (entry, value), linear in between,
// rounded half to even.
struct Knot {
  int Entry;
  int Value;
};
Ramp FromKnots(std::initializer_list<Knot> Knots) {
  Ramp R{};
  const Knot* K = Knots.begin();
  for (int I = 0; I < 256; ++I) {
    while (K + 1 < Knots.end() && (K + 1)->Entry < I) ++K;
    const Knot& A = *K;
    const Knot& B = K + 1 < Knots.end() ? *(K + 1) : *K;
    const double T = B.Entry > A.Entry ? double(I - A.Entry) / (B.Entry - A.Entry) : 0.0;
    R[I] = uint8_t(std::clamp(std::nearbyint(A.Value + T * (B.Value - A.Value)), 0.0, 255.0));
  }
  return R;
}

std::vector<NamedColourTable> BuildTables() {
  static const AiaCurves C;
  static const Ramp R0 = IdlRed(), G0 = IdlGreen(), B0 = IdlBlue();
  Ramp HalfB0{};
  for (int I = 0; I < 256; ++I) HalfB0[I] = uint8_t(B0[I] / 2);
  // Channel -> (red, green, blue) as aia_lct.pro assigns them.
  struct AiaEntry {
    int Channel;
    const Ramp *R, *G, *B;
  };
  const AiaEntry Aia[] = {{94, &C.C2, &C.C3, &C.C0},   {131, &G0, &R0, &R0},
                          {171, &R0, &C.C0, &B0},      {193, &C.C1, &C.C0, &C.C2},
                          {211, &C.C1, &C.C0, &C.C3},  {304, &R0, &G0, &B0},
                          {335, &C.C2, &C.C0, &C.C1},  {1600, &C.C3, &C.C3, &C.C2},
                          {1700, &C.C1, &C.C0, &C.C0}, {4500, &C.C0, &C.C0, &HalfB0}};
  static std::vector<ColourTable> Store;
  Store.reserve(16);
  std::vector<NamedColourTable> Named;
  auto Add = [&](std::string Name, int Channel, ColourTable T) {
    Store.push_back(T);
    Named.push_back({std::move(Name), Channel, nullptr});
  };
  for (const AiaEntry& E : Aia)
    Add("AIA " + std::to_string(E.Channel), E.Channel, FromRamps(*E.R, *E.G, *E.B));
  // SOHO/EIT: the EIT tables of the SolarSoft EIT software ("EIT Dark Bot
  // Blue", "... Green", "... Yellow", "... Red", as sunpy ships them in
  // eit_dark_blue.csv etc.), given by the entries where each component's
  // slope changes.
  Add("EIT 171", 171,
      FromRamps(FromKnots({{0, 0}, {197, 0}, {255, 255}}),
                FromKnots({{0, 0}, {127, 0}, {197, 154}, {255, 255}}),
                FromKnots({{0, 0}, {51, 0}, {127, 128}, {192, 255}, {255, 255}})));
  Add("EIT 195", 195,
      FromRamps(FromKnots({{0, 0}, {127, 0}, {255, 255}}),
                FromKnots({{0, 0}, {51, 0}, {127, 97}, {255, 255}}),
                FromKnots({{0, 0}, {187, 0}, {255, 255}})));
  Add("EIT 284", 284,
      FromRamps(FromKnots({{0, 0}, {203, 255}, {255, 255}}),
                FromKnots({{0, 0}, {203, 205}, {253, 255}, {255, 255}}),
                FromKnots({{0, 0}, {203, 0}, {253, 255}, {255, 255}})));
  Add("EIT 304", 304,
      FromRamps(FromKnots({{0, 0}, {51, 0}, {127, 97}, {255, 255}}),
                FromKnots({{0, 0}, {148, 0}, {255, 255}}),
                FromKnots({{0, 0}, {196, 0}, {255, 255}})));
  // PROBA2/SWAP 174: sunpy's SWAP map shows it with the AIA 171 table, the
  // neighbouring Fe IX/X channel.
  const ColourTable Aia171 = Store[2];
  Add("SWAP 174", 174, Aia171);
  for (size_t I = 0; I < Named.size(); ++I) Named[I].Table = &Store[I];
  return Named;
}

std::string Normalised(std::string_view Name) {
  std::string N;
  for (char Ch : Name)
    if (Ch != ' ') N += char(Ch >= 'a' && Ch <= 'z' ? Ch - 32 : Ch);
  return N;
}

bool Contains(const std::string& Text, std::string_view Part) {
  return Text.find(Part) != std::string::npos;
}

}  // namespace

const std::vector<NamedColourTable>& ColourTables() {
  static const std::vector<NamedColourTable> Tables = BuildTables();
  return Tables;
}

const NamedColourTable* FindColourTable(std::string_view Name) {
  const std::string N = Normalised(Name);
  if (N.empty()) return nullptr;
  const bool Digits = N.find_first_not_of("0123456789") == std::string::npos;
  for (const NamedColourTable& T : ColourTables()) {
    const std::string Own = Normalised(T.Name);
    // A bare number takes the first table of that channel: AIA before EIT.
    if (Own == N || (Digits && std::to_string(T.Channel) == N)) return &T;
  }
  return nullptr;
}

const NamedColourTable* ChannelColourTable(const ImageRecord& R) {
  // The stored cards keep what the record's keyword-line reading cuts at a
  // "/" ('SDO/AIA' reads as SDO there).
  const std::string Telescope =
      Normalised(HeaderText(R.HeaderCards, "TELESCOP").value_or(R.Telescope));
  const std::string Instrument =
      Normalised(HeaderText(R.HeaderCards, "INSTRUME").value_or(R.Instrument));
  const std::string Channel = std::to_string(R.Wavelength);
  const char* Family = nullptr;
  if (Contains(Telescope, "AIA") || Contains(Instrument, "AIA") || Telescope == "SDO")
    Family = "AIA";
  else if (Contains(Instrument, "EIT") || Contains(Telescope, "SOHO"))
    Family = "EIT";
  else if (Contains(Instrument, "SWAP") || Contains(Telescope, "PROBA2"))
    Family = "SWAP";
  if (Family == nullptr) return nullptr;
  return FindColourTable(std::string(Family) + Channel);
}

void ApplyColourTable(Picture24& Picture, const ColourTable& Table) {
  const size_t N = size_t(Picture.Width) * size_t(Picture.Height);
  uint8_t* P = Picture.Pixels.data();
  for (size_t I = 0; I < N && 3 * I + 2 < Picture.Pixels.size(); ++I, P += 3) {
    const TableColour& C = Table[P[0]];
    P[0] = C.Blue;
    P[1] = C.Green;
    P[2] = C.Red;
  }
}

}  // namespace obra
