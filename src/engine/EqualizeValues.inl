// The production engine by value, written once for every instruction set: the
// file that includes it defines OBRA_LANES (rows per group, the floats of a
// machine vector) and OBRA_ISA (the namespace of the variant).
// Everything here has internal linkage or lives in that namespace, and only
// compiler built-ins are called, so no code built with wider instructions
// can stand in for code of another variant.
//
// Why it is exact: a pixel's bin for value v is the sum, in single precision
// and in dx-outer, dy-inner order, of the weights of the samples of value v in
// its neighbourhood. The samples of a strip of Lanes rows (and R rows either
// side) are sorted by value, keeping their column-major order, so the samples
// of one value come in exactly that order. The sum of each value is then made
// in a register, one vector of Lanes pixels (the rows of one column) per
// column; ValueChains adjacent columns share each sample, each adding the
// weight its own offset gives (zero outside its neighbourhood, which changes
// no sum: a sum is never -0.0). No bin is ever written and read back.
// The prefix sums run over the present values in ascending order, leaving
// out each pixel's darkest value when it has more than one, as the
// reference does (absent values add zeros); the rows the read-out looks at
// are stored as they stand, every row of a narrow range, or one per present
// value of a wide, sparse one, found through the rank of the largest present
// value at or below a row.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "EngineDetail.h"

namespace obra::detail::OBRA_ISA {
namespace {

#define OBRA_NATIVE_LANES OBRA_LANES
#include "EngineVectors.inl"
constexpr int32_t K = KN;  // rows of a group, the floats of a machine vector
// Floats per table column, the same for every radius, so that the
// addresses of all chains differ by a constant.
constexpr int32_t WS = ValueTableStride(K);

// Copies image columns C0 .. C0 + Cn - 1 into the band's columns as bin
// rows, a few columns at a time so that each image row is read in one piece.
void FillColumns(const ValueJob& J, int32_t C0, int32_t Cn) {
  constexpr int32_t Step = 16;
  const int32_t Shift = J.Base - 1;
  for (int32_t C = 0; C < Cn; C += Step) {
    const int32_t Width = Min(Step, Cn - C);
    const uint16_t* Src = J.Input + static_cast<size_t>(J.RowBase) * J.Width + C0 + C;
    uint16_t* const Dst = J.Cols + static_cast<size_t>(C) * J.ColStride;
    for (int32_t I = 0; I < J.Rows; ++I, Src += J.Width)
      for (int32_t D = 0; D < Width; ++D) {
        const int32_t V = Src[D];
        Dst[static_cast<size_t>(D) * J.ColStride + I] =
            static_cast<uint16_t>(V == 0 ? 0 : V - Shift);
      }
  }
}

// Smallest and largest bin row of every pixel's neighbourhood in column X,
// into the band's range columns.
void Ranges(const ValueJob& J, int32_t X, int32_t C0, uint16_t* Lo, uint16_t* Hi) {
  const int32_t Ca = Max(0, X - J.R), Cb = Min(J.Width - 1, X + J.R);
  const uint16_t* Columns[2 * MaxKerSize + 1];
  for (int32_t C = Ca; C <= Cb; ++C)
    Columns[C - Ca] = J.Cols + static_cast<size_t>(C - C0) * J.ColStride;
  NeighbourhoodRanges(J, Columns, Cb - Ca + 1, J.Rows, J.RangeStride, Lo, Hi);
  // Rows past the rectangle have no pixel.
  for (int32_t Y = J.Bottom - J.Top + 1; Y < J.RangeStride; ++Y) Hi[Y] = 0;
}

// Adds Step to the count of every sample in rows I0..I1 of band columns
// 0..Cn - 1.
void CountRows(const ValueJob& J, int32_t Cn, int32_t I0, int32_t I1, int32_t Step) {
  for (int32_t C = 0; C < Cn; ++C) {
    const uint16_t* Col = J.Cols + static_cast<size_t>(C) * J.ColStride;
    for (int32_t I = I0; I <= I1; ++I) J.Count[Col[I]] += Step;
  }
}

// The samples of rows I0..I1 of band columns 0..Cn - 1, sorted by bin row in
// column-major order; each bin row's run ends with a sentinel above every
// entry. An entry is the sample's offset in the table: its column times WS
// plus the reversed row offset from the strip's first row Y0. J.Count holds
// the counts of the rows Prev0..Prev1 of the strip before (none when
// Prev1 < Prev0), and gets those of I0..I1. Every sample of these rows
// lies in bin rows VMin..VMax.
void SortStrip(const ValueJob& J, int32_t Cn, int32_t I0, int32_t I1, int32_t Y0, int32_t Prev0,
               int32_t Prev1, int32_t VMin, int32_t VMax) {
  int32_t* const Count = J.Count;
  int32_t* const Start = J.Start;
  if (Prev1 < Prev0 || Prev1 < I0 || I1 < Prev0) {
    for (int32_t V = 0; V <= J.Span; ++V) Count[V] = 0;
    CountRows(J, Cn, I0, I1, 1);
  } else {  // the strips overlap: only the rows that differ are counted
    if (Prev0 < I0) CountRows(J, Cn, Prev0, I0 - 1, -1);
    if (I0 < Prev0) CountRows(J, Cn, I0, Prev0 - 1, 1);
    if (Prev1 < I1) CountRows(J, Cn, Prev1 + 1, I1, 1);
    if (I1 < Prev1) CountRows(J, Cn, I1 + 1, Prev1, -1);
  }
  int32_t Pos = 0;
  for (int32_t V = VMin; V <= VMax; ++V) {
    Start[V] = Pos;
    Pos += Count[V] + (Count[V] > 0);
  }
  Start[0] = Pos;  // samples of value 0 go to a scratch slot
  const int32_t Centre = J.R + K - 1;
  for (int32_t C = 0; C < Cn; ++C) {
    const uint16_t* Col = J.Cols + static_cast<size_t>(C) * J.ColStride;
    const int32_t Off = C * WS + Centre - (J.RowBase - Y0);
    for (int32_t I = I0; I <= I1; ++I) {
      const int32_t V = Col[I];
      const int32_t P = Start[V];
      J.Entries[P] = static_cast<uint16_t>(Off - I);
      Start[V] = P + (V != 0);
    }
  }
  for (int32_t V = VMin; V <= VMax; ++V) {
    if (Count[V] == 0) continue;
    J.Entries[Start[V]] = EntryEnd;
    Start[V] -= Count[V];
  }
}

// Rows I0..I1 of band column C enter the window (their values are flagged)
// or leave it (the first entry of each of their values moves past them). A
// flagged value whose samples have all left is unflagged by ListValues.
template <bool Enter>
inline void MoveColumn(const ValueJob& J, int32_t C, int32_t I0, int32_t I1) {
  const uint16_t* Col = J.Cols + static_cast<size_t>(C) * J.ColStride;
  for (int32_t I = I0; I <= I1; ++I) {
    const int32_t V = Col[I];
    if constexpr (Enter)
      J.Flags[V] = 1;
    else
      J.Start[V] += V != 0;
  }
}

// The values with samples in the window (entries below Thr), ascending, into
// J.Values; returns their number. Only bin rows from VMin (a multiple of 8)
// to VMax are flagged.
int32_t ListValues(const ValueJob& J, int32_t Thr, int32_t VMin, int32_t VMax) {
  int32_t Count = 0;
  J.Flags[0] = 0;
  for (int32_t V0 = VMin; V0 <= VMax; V0 += 8) {
    uint64_t Word;
    __builtin_memcpy(&Word, J.Flags + V0, sizeof Word);
    for (; Word != 0; Word &= Word - 1) {  // each flag is the low bit of its byte
      const int32_t V = V0 + __builtin_ctzll(Word) / 8;
      if (J.Entries[J.Start[V]] < Thr)
        J.Values[Count++] = V;
      else
        J.Flags[V] = 0;
    }
  }
  return Count;
}

// What the read-out of one group needs of each lane: the centre as a bin
// row, the first offset D whose bin row lies above the darkest value, the
// first whose row reaches the brightest (from there on the term is the
// total), and whether the lane is a pixel with data.
struct Lanes {
  int32_t Ci[K], First[K], Switch[K];
  bool Active[K];
};

// Where the prefix sums of a pass stand: Dense, row u - PL holds the sums
// over the values up to u; otherwise row RankOf[u] does, one row per present
// value of PL..PH after a first row with the sums below PL.
template <bool Dense>
inline VI SumRows(const ValueJob& J, VI U, int32_t PL) {
  if constexpr (Dense) return U - PL;
  return GatherI(J.RankOf, U);
}

// The read-out terms of one group whose bin rows lie in PL..PH (the rows
// this pass holds), added to A; with Final also the terms of the total,
// which come after all others of their lane. Lane k adds Noise[D] x its sum
// at row Ci + D for First <= D < Switch, and Noise[D] x its total from Switch
// on; elsewhere it adds +0.0, which changes nothing (a read-out is never
// -0.0). So every lane makes the reference's additions in the reference's
// order, whatever pass its rows fall in.
template <bool Dense>
VN ReadOutPass(const ValueJob& J, const Lanes& L, VN A, VN Total, int32_t Chain, int32_t PL,
               int32_t PH, bool Final) {
  const int32_t N = J.N;
  int32_t DMin = N + 1, DSw = -N;
  float Tail[K];
  for (int32_t k = 0; k < K; ++k) {
    DMin = Min(DMin, L.First[k]);
    if (L.Active[k]) DSw = Max(DSw, L.Switch[k]);
    Tail[k] = L.Active[k] ? Total[k] : 0.0f;
  }
  DSw = Min(N + 1, Max(DSw, DMin));  // a lane's First may lie past N
  const VI CiV = LoadI(L.Ci), FirstV = LoadI(L.First), SwitchV = LoadI(L.Switch);
  const VI LoV = VI{} + PL, HiV = VI{} + PH;
  VI Lane;
  for (int32_t k = 0; k < K; ++k) Lane[k] = k + Chain * K;
  const VN Totals = Final ? Total : VN{};
  for (int32_t D = DMin; D < DSw; ++D) {
    const VI U = CiV + D;
    VI Uc = U < LoV ? LoV : U;
    Uc = Uc > HiV ? HiV : Uc;
    const VN Row = GatherF(J.Sums, SumRows<Dense>(J, Uc, PL) * (ValueChains * K) + Lane);
    const VI DV = VI{} + D;
    VN Term = (U >= LoV) & (U <= HiV) ? Row : VN{};
    Term = DV < SwitchV ? Term : Totals;
    Term = DV < FirstV ? VN{} : Term;
    A = A + J.Noise[D] * Term;
  }
  if (Final) {
    const VN TailV = LoadN(Tail);
    for (int32_t D = DSw; D <= N; ++D) A = A + J.Noise[D] * TailV;
  }
  return A;
}

// The sums of every present value for the ValueChains columns of a block, in
// ascending value order; Totals gets each group's totals, and the prefix
// sums of bin rows PL..PH are stored as SumRows<Dense> says.
template <bool Dense>
void SumValues(const ValueJob& J, int32_t Count, int32_t Boff, int32_t Thr, const VI* Mask,
               int32_t PL, int32_t PH, VN* Totals) {
  VN P[ValueChains] = {};  // kept apart from Totals, so that they stay in registers
  int32_t Fill = PL;       // bin rows PL .. Fill - 1 are placed
  int32_t Slot = -1;       // the last row stored
  auto Store = [&](int32_t Row) {
    float* const To = J.Sums + static_cast<size_t>(Row) * (ValueChains * K);
#pragma GCC unroll 8
    for (int32_t j = 0; j < ValueChains; ++j) StoreN(To + j * K, P[j]);
  };
  // Places bin rows Fill .. To - 1, which hold the sums as they stand.
  auto Place = [&](int32_t To) {
    if constexpr (Dense) {
      for (; Fill < To; ++Fill) Store(Fill - PL);
    } else {
      if (Slot < 0) Store(Slot = 0);
      for (; Fill < To; ++Fill) J.RankOf[Fill] = Slot;
    }
  };
  for (int32_t I = 0; I < Count; ++I) {
    const int32_t V = J.Values[I];
    if (V >= PL) Place(Min(V, PH + 1));  // the rows below V hold the sums before it
    VN A[ValueChains] = {};
    const uint16_t* E = J.Entries + J.Start[V];
    for (int32_t e = *E; e < Thr; e = *++E) {
      const float* Wt = J.Table + (Boff + e);
#pragma GCC unroll 8
      for (int32_t j = 0; j < ValueChains; ++j) A[j] = A[j] + LoadN(Wt - j * WS);
    }
    const VI VV = VI{} + V;
#pragma GCC unroll 8
    for (int32_t j = 0; j < ValueChains; ++j) P[j] = P[j] + (Mask[j] == VV ? VN{} : A[j]);
    if (V >= PL && V <= PH) {
      if constexpr (Dense) {
        Place(V + 1);
      } else {
        Store(++Slot);
        J.RankOf[V] = Slot;
        Fill = V + 1;
      }
    }
  }
  Place(PH + 1);
  for (int32_t j = 0; j < ValueChains; ++j) Totals[j] = P[j];
}

// The index of the first of the Count listed values at or above V.
int32_t ValueIndex(const ValueJob& J, int32_t Count, int32_t V) {
  int32_t Lo = 0, Hi = Count;
  while (Lo < Hi) {
    const int32_t Mid = (Lo + Hi) / 2;
    if (J.Values[Mid] < V)
      Lo = Mid + 1;
    else
      Hi = Mid;
  }
  return Lo;
}

// The last bin row of a pass from PL (at most SH) whose rows fit the sums:
// Dense, MaxRows rows; otherwise a first row and one per present value.
int32_t PassEnd(const ValueJob& J, int32_t Count, bool Dense, int32_t PL, int32_t SH) {
  if (Dense) return Min(SH, PL + J.MaxRows - 1);
  const int32_t Next = ValueIndex(J, Count, PL) + J.MaxRows - 1;  // the first that does not fit
  return Next < Count ? Min(SH, J.Values[Next] - 1) : SH;
}

// Rows a read-out range may have beyond its present values before a block
// stores one row per present value instead of every row.
constexpr int32_t DenseGapRows = 1024;

// One block of ValueChains columns X.. of the strip from row Y0 (band columns from
// First, window columns up to the one whose entries end below Thr): the sums
// of every present value, the prefix sums, the read-out and the output. The
// prefix rows the read-out looks at are stored in passes of at most
// J.MaxRows rows, each pass summing the values again.
void Block(const ValueJob& J, int32_t X, int32_t First, int32_t Last, int32_t C0, int32_t Y0,
           int32_t Thr, int32_t VMin, int32_t VMax) {
  const int32_t N = J.N;
  // Chain j's weight of entry e is Table[Boff + e - j * WS].
  const int32_t Boff = (J.R + ValueChains - 1 - (X - C0)) * WS;
  const uint16_t* const Own = J.Cols + static_cast<size_t>(X - C0) * J.ColStride + (Y0 - J.RowBase);
  Lanes L[ValueChains];
  VI Mask[ValueChains];
  int32_t SL = 0x7FFFFFFF, SH = -0x7FFFFFFF;  // the bin rows any read-out looks at
  bool Any = false;
  for (int32_t j = 0; j < ValueChains; ++j) {
    const bool In = X + j <= Last;
    const size_t At = static_cast<size_t>(In ? X + j - First : 0) * J.RangeStride + (Y0 - J.Top);
    for (int32_t k = 0; k < K; ++k) {
      const int32_t Lo = In ? J.Lo[At + k] : 0, Hi = In ? J.Hi[At + k] : 0;
      // The darkest value is left out of the sums when there is another.
      Mask[j][k] = Lo < Hi ? Lo : 0;
      const bool Active = Hi != 0 && Y0 + k <= J.Bottom;
      const int32_t C = Active ? Own[static_cast<size_t>(j) * J.ColStride + k] : 0;
      const int32_t Ci = C != 0 ? C : 1 - J.Base;  // a centre of value 0 sits at value 0
      L[j].Ci[k] = Ci;
      L[j].Active[k] = Active;
      L[j].First[k] = Active ? Max(-N, Lo + 1 - Ci) : N + 1;
      L[j].Switch[k] = Active ? Max(L[j].First[k], Min(N + 1, Hi - Ci)) : N + 1;
      Any |= Active;
      if (Active && L[j].First[k] < L[j].Switch[k]) {
        SL = Min(SL, Ci + L[j].First[k]);
        SH = Max(SH, Ci + L[j].Switch[k] - 1);
      }
    }
  }
  if (!Any) {
    for (int32_t j = 0; j < ValueChains && X + j <= Last; ++j)
      for (int32_t k = 0; k < K && Y0 + k <= J.Bottom; ++k)
        J.Output[static_cast<size_t>(Y0 + k) * J.Width + X + j] = 0;
    return;
  }
  if (SL > SH) SL = SH = 1;  // no sum is read, only totals

  const int32_t Count = ListValues(J, Thr, VMin, VMax);
  const int32_t Present = ValueIndex(J, Count, SH + 1) - ValueIndex(J, Count, SL);
  const bool Dense = SH - SL + 1 - Present <= DenseGapRows;
  VN P[ValueChains], A[ValueChains] = {};
  for (int32_t PL = SL;;) {
    const int32_t PH = PassEnd(J, Count, Dense, PL, SH);
    if (Dense) {
      SumValues<true>(J, Count, Boff, Thr, Mask, PL, PH, P);
      for (int32_t j = 0; j < ValueChains && X + j <= Last; ++j)
        A[j] = ReadOutPass<true>(J, L[j], A[j], P[j], j, PL, PH, PH == SH);
    } else {
      SumValues<false>(J, Count, Boff, Thr, Mask, PL, PH, P);
      for (int32_t j = 0; j < ValueChains && X + j <= Last; ++j)
        A[j] = ReadOutPass<false>(J, L[j], A[j], P[j], j, PL, PH, PH == SH);
    }
    if (PH == SH) break;
    PL = PH + 1;
  }
  for (int32_t j = 0; j < ValueChains && X + j <= Last; ++j) {
    for (int32_t k = 0; k < K && Y0 + k <= J.Bottom; ++k) {
      const float T = P[j][k];
      J.Output[static_cast<size_t>(Y0 + k) * J.Width + X + j] =
          !L[j].Active[k] ? 0 : OutputSample(T <= MinTotal ? 0.0f : 65535.0f / T, A[j][k]);
    }
  }
}

}  // namespace

bool EqualizeValueBand(const ValueJob& J, int32_t First, int32_t Last,
                       const std::atomic<bool>* Stop) {
  const int32_t R = J.R;
  const int32_t C0 = Max(0, First - R), C1 = Min(J.Width - 1, Last + R);
  const int32_t Cn = C1 - C0 + 1;
  FillColumns(J, C0, Cn);
  for (int32_t X = First; X <= Last; ++X) {
    const size_t At = static_cast<size_t>(X - First) * J.RangeStride;
    Ranges(J, X, C0, J.Lo + At, J.Hi + At);
  }
  int32_t Prev0 = 0, Prev1 = -1;          // the rows the counts are of
  int32_t FlagMin = 0, FlagMax = J.Span;  // the bin rows flags may be set in
  for (int32_t Y0 = J.Top; Y0 <= J.Bottom; Y0 += K) {
    if (Stop && Stop->load(std::memory_order_relaxed)) return false;
    const int32_t I0 = Max(0, Y0 - R) - J.RowBase;
    // Rows below the rectangle's neighbourhoods are never sampled.
    const int32_t I1 = Min(J.Rows - 1, Y0 + K - 1 + R - J.RowBase);
    // The strip's samples are those of its pixels' neighbourhoods, so their
    // ranges bound the bin rows the per-value tables are worked over.
    int32_t VMin = J.Span + 1, VMax = 0;
    for (int32_t X = First; X <= Last; ++X) {
      const size_t At = static_cast<size_t>(X - First) * J.RangeStride + (Y0 - J.Top);
      for (int32_t k = 0; k < K; ++k)
        if (J.Hi[At + k] != 0) VMin = Min(VMin, J.Lo[At + k]), VMax = Max(VMax, J.Hi[At + k]);
    }
    SortStrip(J, Cn, I0, I1, Y0, Prev0, Prev1, VMin, VMax);
    Prev0 = I0;
    Prev1 = I1;
    // Flags are left only inside the last strip's rows.
    for (int32_t V = FlagMin; V <= FlagMax; ++V) J.Flags[V] = 0;
    FlagMin = VMin / 8 * 8;
    FlagMax = VMax;
    int32_t Left = 0, Right = -1;  // band columns in the window
    for (int32_t X = First; X <= Last; X += ValueChains) {
      for (; Left < X - R - C0; ++Left) MoveColumn<false>(J, Left, I0, I1);
      for (const int32_t To = Min(Cn - 1, X + ValueChains - 1 + R - C0); Right < To;)
        MoveColumn<true>(J, ++Right, I0, I1);
      Block(J, X, First, Last, C0, Y0, (Right + 1) * WS, FlagMin, FlagMax);
    }
  }
  return true;
}

}  // namespace obra::detail::OBRA_ISA
