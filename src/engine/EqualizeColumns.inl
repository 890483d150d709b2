// The production engine's work on one column, written once for every
// instruction set: the file that includes it defines OBRA_LANES (pixels per
// group, the floats of a bin row), OBRA_ISA (the namespace of the variant)
// and, when a bin row spans several machine vectors, OBRA_NATIVE_LANES (the
// floats of one).
// Everything here has internal linkage or lives in that namespace, and only
// compiler built-ins are called, so no code built with wider instructions
// can stand in for code of another variant.
//
// The single-precision sums per pixel equal the reference's (see
// EqualizeProduction.cpp): scatter in dx-outer, row-inner order, one vector
// addition per sample (leaving out the machine vectors of a row whose lanes
// all have zero weight there, as the reference never adds those); the weight
// of each pixel's darkest value is cleared before the prefix sums when it has
// more than one value; the prefix runs over all bin rows of the group, which
// leaves a pixel's own sums unchanged outside its value range; the read-out
// makes each pixel's additions of the reference's loop in its order.
#include <cstddef>
#include <cstdint>

#include "EngineDetail.h"

namespace obra::detail::OBRA_ISA {
namespace {

#ifndef OBRA_NATIVE_LANES
#define OBRA_NATIVE_LANES OBRA_LANES
#endif

// K floats make a bin row, KN floats a machine vector. A variant may hold
// more lanes in a row than a machine vector has (two 256-bit halves); every
// loop that carries a vector from one step to the next works a machine
// vector at a time, so that the compiler keeps it in a register.
constexpr int32_t K = OBRA_LANES;
#include "EngineVectors.inl"
constexpr int32_t Parts = K / KN;
typedef float VF __attribute__((vector_size(4 * K), may_alias));

// Smallest and largest bin row of every pixel's neighbourhood in column X.
void NeighbourhoodRanges(const ColumnJob& J, int32_t X) {
  const int32_t C0 = Max(0, X - J.R), C1 = Min(J.Width - 1, X + J.R);
  const uint16_t* Columns[2 * MaxKerSize + 1];
  for (int32_t C = C0, Slot = C0 % J.RingSlots; C <= C1;
       ++C, Slot = Slot + 1 == J.RingSlots ? 0 : Slot + 1)
    Columns[C - C0] = J.Ring + static_cast<size_t>(Slot) * J.RingStride;
  const int32_t Top = J.Top - J.RowBase;
  NeighbourhoodRanges(J, Columns, C1 - C0 + 1, J.RingStride, J.Bottom - J.Top + 1, J.ColLo + Top,
                      J.ColHi + Top);
}

// One group: Lanes pixels of column X from row Y down, and its bins.
struct Group {
  int32_t Y = 0, Valid = 0, Ry = 0;
  int32_t L = 0, H = 0;      // bin rows the group uses
  int32_t TLo = 0, THi = 0;  // rows (from Y) inside the ring and some valid pixel's neighbourhood
  int32_t Lo[K], Hi[K];
  float* Bins = nullptr;
};

// Machine vector P of bin row B.
inline VN* Part(float* Bins, int32_t B, int32_t P) {
  return reinterpret_cast<VN*>(Bins + static_cast<size_t>(B) * K + P * KN);
}
inline VF* Row(float* Bins, int32_t B) {
  return reinterpret_cast<VF*>(Bins + static_cast<size_t>(B) * K);
}

// Reads the pixels' value ranges. A group without any non-zero sample gets
// its zeros at once; returns whether it has data. The group's bin rows are
// zero: every group leaves the rows it used zero again.
bool StartGroup(const ColumnJob& J, int32_t X, int32_t Y, Group& G) {
  G.Y = Y;
  G.Valid = Min(K, J.Bottom - Y + 1);
  G.Ry = Y - J.RowBase;
  G.L = 0x10000;
  G.H = 0;
  for (int32_t k = 0; k < G.Valid; ++k) {
    G.Lo[k] = J.ColLo[G.Ry + k];
    G.Hi[k] = J.ColHi[G.Ry + k];
    if (G.Hi[k] == 0) continue;
    G.L = Min(G.L, G.Lo[k]);
    G.H = Max(G.H, G.Hi[k]);
  }
  // Rows outside every valid pixel's neighbourhood would only add zeros.
  G.TLo = Max(-J.R, -G.Ry);
  G.THi = Min(G.Valid - 1 + J.R, J.Rows - 1 - G.Ry);
  if (G.H == 0) {
    uint16_t* Out = J.Output + static_cast<size_t>(Y) * J.Width + X;
    for (int32_t k = 0; k < G.Valid; ++k) Out[static_cast<size_t>(k) * J.Width] = 0;
    return false;
  }
  return true;
}

// Rows From..To of NG groups at once, machine vectors P0..P1 - 1 of each
// bin row: the others have zero weights in these rows.
template <int NG, int P0, int P1>
inline void SharedRows(float* const* Bins, const uint16_t* Col, const float* W, int32_t From,
                       int32_t To) {
  for (int32_t T = From; T <= To; ++T) {
    VN Wt[Parts];
#pragma GCC unroll 4
    for (int32_t P = P0; P < P1; ++P) Wt[P] = LoadN(W - T + P * KN);
#pragma GCC unroll 8
    for (int g = 0; g < NG; ++g) {
      float* const Bin = Bins[g] + static_cast<size_t>(Col[T + g * K]) * K;
#pragma GCC unroll 4
      for (int32_t P = P0; P < P1; ++P) {
        VN* Q = reinterpret_cast<VN*>(Bin + P * KN);
        *Q = *Q + Wt[P];
      }
    }
  }
}

// Rows T0..T1 of one group alone, whole bin rows.
inline void AddWeights(const uint16_t* Col, float* Bins, const float* W, int32_t T0, int32_t T1) {
  SharedRows<1, 0, Parts>(&Bins, Col, W, T0, T1);
}

// The scatter of NG consecutive groups of one column at once: each weight
// vector is loaded once for all of them, and the additions of one group go on
// while another waits for a bin it has just written. Per group, each dx still
// visits its rows in ascending order: rows that not all groups have come
// before or after the shared ones.
template <int NG>
void Scatter(const ColumnJob& J, int32_t X, const Group* Gs) {
  const int32_t R = J.R;
  const int32_t Dx0 = -Min(X, R), Dx1 = Min(J.Width - 1 - X, R);
  const int32_t Centre = R + K - 1;
  float* Bins[NG];
  for (int g = 0; g < NG; ++g) Bins[g] = Gs[g].Bins;
  for (int32_t Dx = Dx0; Dx <= Dx1; ++Dx) {
    // Group g reads its rows at Col + g * K.
    const uint16_t* Col =
        J.Ring + static_cast<size_t>((X + Dx) % J.RingSlots) * J.RingStride + Gs[0].Ry;
    const float* W = J.Weights + static_cast<size_t>(Dx + R) * J.WeightStride + Centre;
    int32_t T0[NG], T1[NG];
    int32_t C0 = -0x10000, C1 = 0x10000;
    for (int g = 0; g < NG; ++g) {
      T0[g] = Max(Gs[g].TLo, J.TFirst[Dx + R]);
      T1[g] = Min(Gs[g].THi, J.TLast[Dx + R]);
      C0 = Max(C0, T0[g]);
      C1 = Min(C1, T1[g]);
    }
    if (C0 > C1) {  // no row shared by all: each group alone
      for (int g = 0; g < NG; ++g) AddWeights(Col + g * K, Bins[g], W, T0[g], T1[g]);
      continue;
    }
    for (int g = 0; g < NG; ++g) AddWeights(Col + g * K, Bins[g], W, T0[g], C0 - 1);
    if constexpr (Parts == 2) {
      // Lane k sees rows TFirst + k .. TLast - (K - 1) + k: the first
      // KN rows have weights only for the first half of the lanes, the last
      // KN only for the second half.
      const int32_t LoLast = J.TLast[Dx + R] - KN, HiFirst = J.TFirst[Dx + R] + KN;
      SharedRows<NG, 0, 1>(Bins, Col, W, C0, Min(C1, Min(LoLast, HiFirst - 1)));
      SharedRows<NG, 0, 2>(Bins, Col, W, Max(C0, HiFirst), Min(C1, LoLast));
      SharedRows<NG, 1, 2>(Bins, Col, W, Max(C0, Max(LoLast + 1, HiFirst)), C1);
    } else {
      SharedRows<NG, 0, Parts>(Bins, Col, W, C0, C1);
    }
    for (int g = 0; g < NG; ++g) AddWeights(Col + g * K, Bins[g], W, C1 + 1, T1[g]);
  }
}

void ScatterSet(const ColumnJob& J, int32_t X, const Group* Gs, int32_t Count) {
  switch (Count) {
    case 1:
      return Scatter<1>(J, X, Gs);
    case 2:
      return Scatter<2>(J, X, Gs);
    case 3:
      return Scatter<3>(J, X, Gs);
    case 4:
      return Scatter<4>(J, X, Gs);
    case 5:
      return Scatter<5>(J, X, Gs);
    case 6:
      return Scatter<6>(J, X, Gs);
    case 7:
      return Scatter<7>(J, X, Gs);
    default:
      return Scatter<8>(J, X, Gs);
  }
}

// Lane k of Row: its sum of bin row Ci[k] + D, the row kept inside
// RowLo..RowHi (Sums holds those rows, K floats each).
inline void GatherRows(const float* Sums, const int32_t* Ci, int32_t D, int32_t RowLo,
                       int32_t RowHi, VN* Row) {
  const VI Lo = VI{} + RowLo, Hi = VI{} + RowHi;
  VI Lane;
  for (int32_t k = 0; k < KN; ++k) Lane[k] = k;
#pragma GCC unroll 4
  for (int32_t P = 0; P < Parts; ++P) {
    VI Ri = LoadI(Ci + P * KN) + D;
    Ri = Ri < Lo ? Lo : Ri;
    Ri = Ri > Hi ? Hi : Ri;
    Row[P] = GatherF(Sums, Ri * K + Lane + P * KN);
  }
}

// The running sums of the prefix pass, per machine vector of a row.
struct RunningSums {
  VN V[Parts];
};

// Rows From..To of the prefix pass: each bin row is added to the running
// sums, then holds the sums (KeepSums) or zero again; with ToSide the sums of
// row B also go to Side row B - SideFirst. The sums go in and out by value,
// so that they stay in registers.
template <bool ToSide, bool KeepSums>
inline RunningSums PrefixRows(float* Bins, int32_t From, int32_t To, RunningSums Acc,
                              float* Side = nullptr, int32_t SideFirst = 0) {
  for (int32_t B = From; B <= To; ++B)
#pragma GCC unroll 4
    for (int32_t P = 0; P < Parts; ++P) {
      VN* Q = Part(Bins, B, P);
      Acc.V[P] = *Q + Acc.V[P];
      *Q = KeepSums ? Acc.V[P] : VN{};
      if constexpr (ToSide) *Part(Side, B - SideFirst, P) = Acc.V[P];
    }
  return Acc;
}

// The sums and totals the read-out of one group looks at: lane k's sum of
// bin row b is Sums[b * K + k] for RowLo <= b <= RowHi.
struct GroupSums {
  const float* Sums = nullptr;
  int32_t RowLo = 0, RowHi = -1;
  bool InBins = false;  // the sums stayed in the bins, which are yet to be cleared
  float Total[K];       // each lane's total
};

#if OBRA_LANES < 8
// The read-out as the reference makes it, one scalar chain per pixel (with
// 4 lanes this costs less than gathering the lanes' rows).
void ReadOutChains(const ColumnJob& J, const Group& G, const int32_t* Ci, const GroupSums& S,
                   float* Read) {
  const int32_t N = J.N;
  for (int32_t k = 0; k < G.Valid; ++k) {
    if (G.Hi[k] == 0) continue;
    const float* Sums = S.Sums + k;
    float A = 0.0f;
    int32_t D = Max(-N, G.Lo[k] + 1 - Ci[k]);
    for (; D <= N && Ci[k] + D < G.Hi[k]; ++D)
      A = A + J.Noise[D] * Sums[static_cast<ptrdiff_t>(Ci[k] + D) * K];
    for (; D <= N; ++D) A = A + J.Noise[D] * S.Total[k];
    Read[k] = A;
  }
}

#else
// The read-out, all lanes at once. Lane k adds Noise[D] x its sum of row
// Ci + D from D = First on, and Noise[D] x its total from Switch on (the rows
// from its brightest value up hold the total). Before First it adds +0.0 to
// a read-out that is still +0.0, which changes nothing: every lane makes the
// reference's additions in the reference's order. The row read is kept
// inside the sums' rows for every lane, whatever it adds.
void ReadOutLanes(const ColumnJob& J, const Group& G, const int32_t* Ci, const GroupSums& S,
                  float* Read) {
  const int32_t N = J.N;
  int32_t First[K], Switch[K];
  // From DSw on every lane adds its total (0 for a lane without a pixel).
  float Tail[K];
  int32_t DMin = N + 1, DSw = -N;
  for (int32_t k = 0; k < K; ++k) {
    const bool Active = k < G.Valid && G.Hi[k] != 0;
    First[k] = Active ? Max(-N, G.Lo[k] + 1 - Ci[k]) : N + 1;
    Switch[k] = Active ? Max(First[k], Min(N + 1, G.Hi[k] - Ci[k])) : N + 1;
    Tail[k] = Active ? S.Total[k] : 0.0f;
    DMin = Min(DMin, First[k]);
    if (Active) DSw = Max(DSw, Switch[k]);
  }
  DSw = Min(N + 1, Max(DSw, DMin));  // a lane's First may lie past N
  VN A[Parts] = {};
  for (int32_t D = DMin; D < DSw; ++D) {
    VN Row[Parts];
    GatherRows(S.Sums, Ci, D, S.RowLo, S.RowHi, Row);
    const VI DV = VI{} + D;
#pragma GCC unroll 4
    for (int32_t P = 0; P < Parts; ++P) {
      VN Term = DV < LoadI(Switch + P * KN) ? Row[P] : LoadN(S.Total + P * KN);
      Term = DV < LoadI(First + P * KN) ? VN{} : Term;
      A[P] = A[P] + J.Noise[D] * Term;
    }
  }
  for (int32_t D = DSw; D <= N; ++D)
#pragma GCC unroll 4
    for (int32_t P = 0; P < Parts; ++P) A[P] = A[P] + J.Noise[D] * LoadN(Tail + P * KN);
  __builtin_memcpy(Read, A, sizeof A);
}
#endif

// The prefix pass of one group (see FinishGroup): the rows the read-out
// looks at are WL..WH. Out of line, so that the running sums stay in
// registers whatever the read-out does with the totals.
__attribute__((noinline)) GroupSums PrefixPass(const ColumnJob& J, const Group& G, int32_t WL,
                                               int32_t WH) {
  float* const Bins = G.Bins;
  const int32_t L = G.L, H = G.H;
  RunningSums Acc = {};
  GroupSums S;
  if (WH - WL + 1 <= J.SideRows) {
    Acc = PrefixRows<false, false>(Bins, L, WL - 1, Acc);
    Acc = PrefixRows<true, false>(Bins, WL, WH, Acc, J.Side, WL);
    Acc = PrefixRows<false, false>(Bins, Max(L, WH + 1), H, Acc);
    S.Sums = J.Side - static_cast<ptrdiff_t>(WL) * K;
    S.RowLo = WL;
    S.RowHi = WH;
  } else {
    Acc = PrefixRows<false, true>(Bins, L, H, Acc);
    S.Sums = Bins;
    S.InBins = true;
    S.RowLo = L;
    S.RowHi = H;
  }
  __builtin_memcpy(S.Total, Acc.V, sizeof Acc.V);
  return S;
}

// Prefix sums, total, scale and read-out of one scattered group, leaving its
// bin rows zero. The prefix pass clears each row as it goes and keeps the
// sums only for the rows the read-out looks at (the centres +- N), in Side;
// a pixel's total is the last sum, since the rows above its brightest value
// add only zeros to it. When those rows do not fit in Side, the sums stay in
// the bins and the rows are cleared afterwards. The sums start from +0.0,
// which leaves the first row's bits as they are (a bin is never -0.0).
void FinishGroup(const ColumnJob& J, int32_t X, const Group& G) {
  const int32_t N = J.N, L = G.L, H = G.H;
  float* const Bins = G.Bins;
  const uint16_t* Own = J.Ring + static_cast<size_t>(X % J.RingSlots) * J.RingStride + G.Ry;
  int32_t Ci[K] = {};
  int32_t CMin = 0x7FFFFFFF, CMax = -0x7FFFFFFF;
  for (int32_t k = 0; k < G.Valid; ++k) {
    if (G.Hi[k] == 0) continue;
    if (G.Lo[k] < G.Hi[k]) Bins[static_cast<size_t>(G.Lo[k]) * K + k] = 0.0f;
    // The centre as a bin row; a centre of value 0 sits at value 0.
    Ci[k] = Own[k] != 0 ? Own[k] : 1 - J.Base;
    CMin = Min(CMin, Ci[k]);
    CMax = Max(CMax, Ci[k]);
  }
  int32_t WL = Max(L, CMin - N), WH = Min(H, CMax + N);
  if (WL > WH) WL = H + 1, WH = H;  // no sum is read: an empty window past the end

  const GroupSums S = PrefixPass(J, G, WL, WH);
  float Read[K] = {};
#if OBRA_LANES < 8
  ReadOutChains(J, G, Ci, S, Read);
#else
  ReadOutLanes(J, G, Ci, S, Read);
#endif
  uint16_t* Out = J.Output + static_cast<size_t>(G.Y) * J.Width + X;
  for (int32_t k = 0; k < G.Valid; ++k) {
    const float T = S.Total[k];
    Out[static_cast<size_t>(k) * J.Width] =
        G.Hi[k] == 0 ? 0 : OutputSample(T <= MinTotal ? 0.0f : 65535.0f / T, Read[k]);
  }
  if (S.InBins)
    for (int32_t B = L; B <= H; ++B) *Row(Bins, B) = VF{};
}

// Groups go down the column in sets of up to J.Groups consecutive groups
// with data; a group without data ends the set before it.
void EqualizeGroups(const ColumnJob& J, int32_t X) {
  Group Set[MaxGroups];
  int32_t Count = 0;
  for (int32_t Y = J.Top; Y <= J.Bottom; Y += K) {
    Group& G = Set[Count];
    G.Bins = J.Bins + static_cast<size_t>(Count) * J.BinsStride;
    const bool HasData = StartGroup(J, X, Y, G);
    Count += HasData;
    if (Count > 0 && (!HasData || Count == J.Groups || Y + K > J.Bottom)) {
      ScatterSet(J, X, Set, Count);
      for (int32_t I = 0; I < Count; ++I) FinishGroup(J, X, Set[I]);
      Count = 0;
    }
  }
}

}  // namespace

void EqualizeColumn(const ColumnJob& J, int32_t X) {
  NeighbourhoodRanges(J, X);
  EqualizeGroups(J, X);
}

}  // namespace obra::detail::OBRA_ISA
