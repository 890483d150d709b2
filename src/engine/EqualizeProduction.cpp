// The production engine's preparation and column loop; the work on one column
// is done by the variant for the processor's instruction set
// (EqualizeColumns.inl).
//
// Why it is exact: the pixels of one column are taken Lanes rows at a time,
// with one histogram line of Lanes floats per bin row. For a fixed dx, the
// sample in row r is seen by every pixel of the group, each with its own
// weight (0 where r lies outside its neighbourhood), so one vector addition of
// a slice of the reversed kernel column does the work of Lanes scalar ones.
// Per pixel, the additions to one bin still come in dx-outer, dy-inner order,
// and adding +0.0 changes no bin (a bin never holds -0.0: it starts at +0.0,
// and a sum of single-precision numbers is -0.0 only when both are). The
// smallest and largest occurring value of each pixel are found separately
// over the whole clipped neighbourhood, zero weights included.
//
// Where the time goes: one vector read-modify-write of a bin per sample of a
// group's window, so stores bound the speed. Up to MaxGroups groups of a
// column share each weight load and hide each other's waits on a bin written
// a moment before; each has its own bins, so nothing changes in its sums.
#include <algorithm>
#include <cstddef>

#include "EngineDetail.h"

namespace obra::detail {
namespace {

ColumnFn ColumnProcedure(EngineIsa Isa) {
  switch (Isa) {
    case EngineIsa::Avx512:
      return avx512::EqualizeColumn;
    case EngineIsa::Avx2:
      return avx2::EqualizeColumn;
    case EngineIsa::Avx2Wide:
      return avx2wide::EqualizeColumn;
    case EngineIsa::Baseline:  // the engine by value's variants have no column procedure
    case EngineIsa::BaselineValues:
    case EngineIsa::Avx2Values:
    case EngineIsa::Avx512Values:
      break;
  }
  return baseline::EqualizeColumn;
}

// Copies column C of the input into its ring slot as bin rows.
void FillRingColumn(const EqualizeJob& Job, const ProductionScratch& S, uint16_t* Ring, int32_t C) {
  const int32_t Slots = 2 * Job.KerSize + 1;
  uint16_t* Dst = Ring + static_cast<size_t>(C % Slots) * S.RingStride;
  const uint16_t* Src = Job.Input + static_cast<size_t>(S.RowBase) * Job.Width + C;
  const int32_t Shift = S.Base - 1;
  for (int32_t I = 0; I < S.Rows; ++I, Src += Job.Width) {
    const int32_t V = *Src;
    Dst[I] = static_cast<uint16_t>(V == 0 ? 0 : V - Shift);
  }
}

}  // namespace

BandExtent ExtentOf(const EqualizeJob& Job, ColumnBand Band) {
  const int32_t R = Job.KerSize;
  BandExtent E;
  E.RowBase = std::max(0, Job.RoiTop - R);
  E.Rows = std::min(Job.Height, Job.RoiTop + Job.RoiHeight + R) - E.RowBase;
  const ValueRange V =
      NonZeroRange(Job, Band.First - R, Band.Last + R, E.RowBase, E.RowBase + E.Rows - 1);
  E.Span = V.Max > 0 ? V.Max - V.Min + 1 : 0;
  E.Base = V.Max > 0 ? V.Min : 1;
  return E;
}

void SetJobRows(const EqualizeJob& Job, int32_t Base, int32_t RowBase, int32_t Rows,
                std::vector<uint16_t>& RowMinM1, std::vector<uint16_t>& RowMax, EngineRows& J) {
  J.Output = Job.Output;
  J.Width = Job.Width;
  J.Top = Job.RoiTop;
  J.Bottom = Job.RoiTop + Job.RoiHeight - 1;
  J.R = Job.KerSize;
  J.N = Job.NoiseHalfLength;
  J.Noise = &Job.Noise->Entries[NoiseReach];
  J.Base = Base;
  J.RowBase = RowBase;
  J.Rows = Rows;
  J.RowMinM1 = RowMinM1.data();
  J.RowMax = RowMax.data();
}

size_t ProductionScratch::Bytes() const {
  return Values.Bytes() + (Bins.size() + Side.size() + Weights.size()) * sizeof(float) +
         (TFirst.size() + TLast.size()) * sizeof(int32_t) +
         (Ring.size() + RowMinM1.size() + RowMax.size() + ColLo.size() + ColHi.size()) *
             sizeof(uint16_t);
}

void PrepareProduction(const EqualizeJob& Job, ColumnBand Band, EngineIsa Isa,
                       ProductionScratch& S) {
  S = ProductionScratch{};
  S.Isa = Isa;
  S.Lanes = IsaLanes(Isa);
  if (IsValueIsa(Isa)) return PrepareValues(Job, Band, S.Lanes, S.Values);
  if (Band.Last < Band.First) return;
  const int32_t R = Job.KerSize, K = S.Lanes, KU = 2 * K;

  // Only the rows of the rectangle and their neighbourhoods are ever read.
  // Bin rows cover exactly the values this band can see, plus the row that
  // swallows the samples of value 0 without a test in the inner loop.
  const BandExtent E = ExtentOf(Job, Band);
  S.RowBase = E.RowBase;
  S.Rows = E.Rows;
  S.Base = E.Base;
  const int32_t Span = E.Span;
  S.RingStride = RoundUp(S.Rows, KU) + KU;
  // Several groups at a time while their bins stay within the budget and
  // the set within MaxSetRows rows; a band that sees the whole 16-bit range
  // gets one set of 4 MiB.
  S.BinsStride = (static_cast<size_t>(Span + 1) * K + 15) / 16 * 16;
  const size_t SetBytes = S.BinsStride * sizeof(float);
  S.Groups = static_cast<int32_t>(
      std::clamp<size_t>(GroupBinsBudget / SetBytes, 1, std::min(MaxGroups, MaxSetRows / K)));
  AllocateAligned(S.Bins, S.BinsStride * S.Groups, 0.0f);
  S.SideRows = std::min(Span + 1, MaxSideRows);
  AllocateAligned(S.Side, static_cast<size_t>(S.SideRows) * K, 0.0f);

  const int32_t Dim = 2 * R + 1;
  const int32_t WeightStride = RoundUp(2 * R + 2 * K - 1, K);
  const int32_t Centre = R + K - 1;
  S.Weights.assign(static_cast<size_t>(Dim) * WeightStride, 0.0f);
  S.TFirst.assign(Dim, 1);
  S.TLast.assign(Dim, 0);
  for (int32_t Dx = -R; Dx <= R; ++Dx) {
    float* W = S.Weights.data() + static_cast<size_t>(Dx + R) * WeightStride;
    int32_t First = R + 1, Last = -R - 1;
    for (int32_t Dy = -R; Dy <= R; ++Dy) {
      const float E = Job.Kernel->At(Dx, Dy);
      W[Centre - Dy] = E;
      if (E != 0.0f) {
        First = std::min(First, Dy);
        Last = std::max(Last, Dy);
      }
    }
    // A column of zero weights adds nothing anywhere and is skipped.
    if (First <= Last) {
      S.TFirst[Dx + R] = First;
      S.TLast[Dx + R] = Last + K - 1;
    }
  }

  AllocateAligned(S.Ring, static_cast<size_t>(Dim) * S.RingStride, uint16_t{0});
  const size_t Padded = static_cast<size_t>(S.RingStride) + 2 * R + 2 * KU;
  S.RowMinM1.assign(Padded, 0xFFFF);
  S.RowMax.assign(Padded, 0);
  S.ColLo.assign(S.RingStride, 0);
  S.ColHi.assign(S.RingStride, 0);
}

void RunProduction(const EqualizeJob& Job, ColumnBand Band, ProductionScratch& S,
                   std::atomic<int32_t>& Progress, const std::atomic<bool>* Stop, int32_t Done) {
  if (IsValueIsa(S.Isa)) return RunValues(Job, Band, S.Values, Progress, Stop, Done);
  if (Band.Last < Band.First) return;
  const int32_t R = Job.KerSize;
  ColumnJob C;
  SetJobRows(Job, S.Base, S.RowBase, S.Rows, S.RowMinM1, S.RowMax, C);
  C.Bins = AlignedData(S.Bins);
  C.BinsStride = S.BinsStride;
  C.Side = AlignedData(S.Side);
  C.SideRows = S.SideRows;
  C.Groups = S.Groups;
  C.Weights = S.Weights.data();
  C.WeightStride = static_cast<int32_t>(S.Weights.size() / (2 * R + 1));
  C.TFirst = S.TFirst.data();
  C.TLast = S.TLast.data();
  uint16_t* Ring = AlignedData(S.Ring);
  C.Ring = Ring;
  C.RingStride = S.RingStride;
  C.RingSlots = 2 * R + 1;
  C.ColLo = S.ColLo.data();
  C.ColHi = S.ColHi.data();
  const ColumnFn Column = ColumnProcedure(S.Isa);

  // The ring holds X - R .. X + R - 1 when the band continues the last one.
  const bool Continues = Band.First == S.NextColumn;
  if (!Continues)
    for (int32_t X = std::max(0, Band.First - R); X < std::min(Job.Width, Band.First + R); ++X)
      FillRingColumn(Job, S, Ring, X);
  for (int32_t X = Band.First; X <= Band.Last; ++X) {
    if (Stop && Stop->load(std::memory_order_relaxed)) return;
    if (X + R < Job.Width) FillRingColumn(Job, S, Ring, X + R);
    if (Job.RoiHeight > 0) Column(C, X);
    S.NextColumn = X + 1;
    Progress.store(Done + X - Band.First + 1, std::memory_order_release);
  }
}

}  // namespace obra::detail
