// The production engine by value: preparation and the band loop; the work on
// a band is done by the variant for the processor's instruction set
// (EqualizeValues.inl, compiled once per variant by EqualizeValues*.cpp).
#include <algorithm>
#include <cstddef>

#include "EngineDetail.h"

namespace obra::detail {
namespace {

ValueBandFn BandProcedure(int32_t Lanes) {
  switch (Lanes) {
    case 16:
      return avx512v::EqualizeValueBand;
    case 8:
      return avx2v::EqualizeValueBand;
    default:
      return baselinev::EqualizeValueBand;
  }
}

}  // namespace

size_t ValueScratch::Bytes() const {
  return (Table.size() + Sums.size()) * sizeof(float) +
         (Cols.size() + RowMinM1.size() + RowMax.size() + Lo.size() + Hi.size()) *
             sizeof(uint16_t) +
         Entries.size() * sizeof(uint16_t) +
         (Start.size() + Count.size() + RankOf.size() + Values.size()) * sizeof(int32_t) +
         Flags.size();
}

void PrepareValues(const EqualizeJob& Job, ColumnBand Band, int32_t Lanes, ValueScratch& S) {
  S = ValueScratch{};
  S.Lanes = Lanes;
  if (Band.Last < Band.First) return;
  const int32_t R = Job.KerSize, K = Lanes, KU = 2 * K;
  const BandExtent E = ExtentOf(Job, Band);
  S.RowBase = E.RowBase;
  S.Rows = E.Rows;
  S.Base = E.Base;
  S.Span = E.Span;
  S.ColStride = RoundUp(S.Rows, KU);
  S.RangeStride = RoundUp(Job.RoiHeight, KU);
  const int32_t StripRows = std::min(S.Rows, 2 * R + K);
  const size_t RowBytes = sizeof(float) * ValueChains * K;
  S.MaxRows =
      static_cast<int32_t>(std::clamp<size_t>(ValueSumBytes / RowBytes, 2, std::max(S.Span, 2)));

  // What does not grow with the band, then what each of its columns adds
  // (its samples, their ranges, the entries of a strip); a tall image gets a
  // narrower band, at least ValueChains x 2 columns.
  const size_t Fixed = static_cast<size_t>(S.MaxRows) * RowBytes +
                       (static_cast<size_t>(S.Span) + 1) * (4 * sizeof(int32_t) + 1) +
                       static_cast<size_t>(2 * R) * (S.ColStride * 2 + StripRows * 2) +
                       static_cast<size_t>(S.ColStride + S.RangeStride) * 4;
  const size_t PerColumn = static_cast<size_t>(S.ColStride) * 2 + S.RangeStride * 4 + StripRows * 2;
  const size_t Room = ValueScratchBudget > Fixed ? (ValueScratchBudget - Fixed) / PerColumn : 0;
  const int32_t Fits = static_cast<int32_t>(std::min<size_t>(Room, ValueBandColumns));
  const int32_t MaxBand = std::max(2 * ValueChains, Fits / ValueChains * ValueChains);
  S.MaxBand = std::max(1, std::min(MaxBand, Band.Last - Band.First + 1));

  const int32_t WS = ValueTableStride(K);
  const int32_t Columns = 2 * R + 2 * ValueChains - 1;
  const int32_t Centre = R + K - 1;
  AllocateAligned(S.Table, static_cast<size_t>(Columns) * WS, 0.0f);
  float* const Table = AlignedData(S.Table);
  for (int32_t Dx = -R; Dx <= R; ++Dx) {
    float* W = Table + static_cast<size_t>(Dx + R + ValueChains - 1) * WS;
    for (int32_t Dy = -R; Dy <= R; ++Dy) W[Centre - Dy] = Job.Kernel->At(Dx, Dy);
  }

  const int32_t BandColumns = S.MaxBand + 2 * R;
  S.Cols.assign(static_cast<size_t>(BandColumns) * S.ColStride, 0);
  const size_t Padded = static_cast<size_t>(S.ColStride) + S.RangeStride + 4 * R + 4 * KU;
  S.RowMinM1.assign(Padded, 0xFFFF);
  S.RowMax.assign(Padded, 0);
  S.Lo.assign(static_cast<size_t>(S.MaxBand) * S.RangeStride, 0);
  S.Hi.assign(S.Lo.size(), 0);
  const size_t Samples = static_cast<size_t>(std::min(BandColumns, Job.Width)) * StripRows;
  S.Entries.assign(Samples + S.Span + 2, 0);
  S.Start.assign(static_cast<size_t>(S.Span) + 1, 0);
  S.Count.assign(S.Start.size(), 0);
  S.RankOf.assign(S.Start.size(), 0);
  S.Values.assign(S.Start.size(), 0);
  S.Flags.assign(S.Start.size() + 8, 0);  // read 8 at a time
  S.Sums.assign(static_cast<size_t>(S.MaxRows) * ValueChains * K, 0.0f);
}

void RunValues(const EqualizeJob& Job, ColumnBand Band, ValueScratch& S,
               std::atomic<int32_t>& Progress, const std::atomic<bool>* Stop, int32_t Done) {
  if (Band.Last < Band.First) return;
  ValueJob C;
  SetJobRows(Job, S.Base, S.RowBase, S.Rows, S.RowMinM1, S.RowMax, C);
  C.Input = Job.Input;
  C.Height = Job.Height;
  C.Span = S.Span;
  C.Table = AlignedData(S.Table);
  C.Cols = S.Cols.data();
  C.ColStride = S.ColStride;
  C.Lo = S.Lo.data();
  C.Hi = S.Hi.data();
  C.RangeStride = S.RangeStride;
  C.Entries = S.Entries.data();
  C.Start = S.Start.data();
  C.Count = S.Count.data();
  C.Flags = S.Flags.data();
  C.Values = S.Values.data();
  C.RankOf = S.RankOf.data();
  C.Sums = S.Sums.data();
  C.MaxRows = S.MaxRows;
  const ValueBandFn Run = BandProcedure(S.Lanes);
  for (int32_t First = Band.First; First <= Band.Last; First += S.MaxBand) {
    const int32_t Last = std::min(Band.Last, First + S.MaxBand - 1);
    if (Stop && Stop->load(std::memory_order_relaxed)) return;
    if (Job.RoiHeight > 0 && !Run(C, First, Last, Stop)) return;
    Progress.store(Done + Last - Band.First + 1, std::memory_order_release);
  }
}

}  // namespace obra::detail
