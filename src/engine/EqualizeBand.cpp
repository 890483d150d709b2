// The band split, the dealt split, job checks and the worker entries shared
// by both engines.
#include <algorithm>
#include <cstddef>

#include "AdaptiveEQ.h"
#include "EngineDetail.h"

namespace obra {

bool ValidJob(const EqualizeJob& Job) {
  // Row and column counts stay far enough from the 32-bit limit that the
  // padded scratch sizes of the production engine cannot overflow.
  if (Job.Width < 0 || Job.Height < 0 || Job.Width > MaxSide || Job.Height > MaxSide) return false;
  if (Job.RoiLeft < 0 || Job.RoiTop < 0 || Job.RoiWidth < 0 || Job.RoiHeight < 0) return false;
  if (int64_t{Job.RoiLeft} + Job.RoiWidth > Job.Width) return false;
  if (int64_t{Job.RoiTop} + Job.RoiHeight > Job.Height) return false;
  if (Job.KerSize < 0 || Job.KerSize > MaxKerSize) return false;
  if (Job.NoiseHalfLength < 0 || Job.NoiseHalfLength > MaxNoiseHalfLength) return false;
  if (!Job.Kernel || !Job.Noise) return false;
  if (Job.RoiWidth == 0 || Job.RoiHeight == 0) return true;
  if (!Job.Input || !Job.Output) return false;
  // Workers would read samples other workers have already replaced.
  const size_t Count = static_cast<size_t>(Job.Width) * static_cast<size_t>(Job.Height);
  const auto In = reinterpret_cast<uintptr_t>(Job.Input);
  const auto Out = reinterpret_cast<uintptr_t>(Job.Output);
  const uintptr_t Bytes = Count * sizeof(uint16_t);
  return In + Bytes <= Out || Out + Bytes <= In;
}

ColumnBand BandOf(const EqualizeJob& Job, int32_t Index, int32_t Count) {
  if (Count < 1 || Index < 0 || Index >= Count) return {};
  const int32_t Bw = Job.RoiWidth / Count;
  ColumnBand B;
  B.First = Job.RoiLeft + Bw * Index;
  B.Last = Index == Count - 1 ? Job.RoiLeft + Job.RoiWidth - 1 : Job.RoiLeft + Bw * (Index + 1) - 1;
  return B;
}

namespace detail {

ValueRange NonZeroRange(const EqualizeJob& Job, int32_t ColFirst, int32_t ColLast, int32_t RowFirst,
                        int32_t RowLast) {
  ValueRange V;
  ColFirst = std::max(ColFirst, 0);
  ColLast = std::min(ColLast, Job.Width - 1);
  RowFirst = std::max(RowFirst, 0);
  RowLast = std::min(RowLast, Job.Height - 1);
  for (int32_t Y = RowFirst; Y <= RowLast; ++Y) {
    const uint16_t* Row = Job.Input + static_cast<size_t>(Y) * Job.Width;
    for (int32_t X = ColFirst; X <= ColLast; ++X) {
      const int32_t S = Row[X];
      if (S == 0) continue;
      V.Min = std::min(V.Min, S);
      V.Max = std::max(V.Max, S);
    }
  }
  return V;
}

void ColumnDealer::Reset(int32_t First, int32_t Width, int32_t Step, int32_t MinStep,
                         int32_t Shrink) {
  Next_.store(First, std::memory_order_relaxed);
  End_ = First + std::max(Width, 0);
  Step_ = std::max(Step, 1);
  MinStep_ = std::clamp(MinStep, 1, Step_);
  Shrink_ = std::max(Shrink, 1);
}

ColumnBand ColumnDealer::Next() {
  // Bands shrink towards the end (a share of what is left, at least MinStep
  // columns), so that the workers finish close together.
  int32_t First = Next_.load(std::memory_order_relaxed), Size = 0;
  do {
    if (First >= End_) return {};
    Size = std::clamp((End_ - First) / Shrink_, MinStep_, Step_);
  } while (!Next_.compare_exchange_weak(First, First + Size, std::memory_order_relaxed));
  return {First, std::min(End_, First + Size) - 1};
}

int32_t DealStep(int32_t Width, int32_t Count) {
  return std::clamp(Width / (16 * std::max(Count, 1)), 4, 32);
}

void DealColumns(ColumnDealer& Dealer, const EqualizeJob& Job, int32_t Count, EngineIsa Isa) {
  Count = std::max(Count, 1);
  if (!IsValueIsa(Isa))
    return Dealer.Reset(Job.RoiLeft, Job.RoiWidth, DealStep(Job.RoiWidth, Count));
  // Wide bands, a whole number of column blocks, two per worker at least;
  // towards the end they shrink to half that, not further: a narrow band
  // costs more in sorting than it saves in waiting.
  const int32_t Step =
      std::clamp(Job.RoiWidth / (2 * Count) / ValueChains * ValueChains, 16, ValueBandColumns);
  Dealer.Reset(Job.RoiLeft, Job.RoiWidth, Step, std::max(16, Step / 2), 2 * Count);
}

void PrepareWorker(const EqualizeJob& Job, int32_t Index, int32_t Count, EngineKind Kind,
                   EngineIsa Isa, WorkerScratch& S, ColumnDealer* Dealer) {
  S.Kind = Kind;
  if (Dealer && Index >= Dealer->Bands()) {
    S.Dealer = nullptr;
    S.Done = 0;
    S.BandTaken = true;
    S.Band = {};
    return;
  }
  S.Dealer = Dealer;
  S.Done = 0;
  S.BandTaken = false;
  S.Band =
      Dealer ? ColumnBand{Job.RoiLeft, Job.RoiLeft + Job.RoiWidth - 1} : BandOf(Job, Index, Count);
  if (Kind == EngineKind::Reference)
    PrepareReference(Job, S.Band, S.Reference);
  else
    PrepareProduction(Job, S.Band, Isa, S.Production);
}

bool RunNextBand(const EqualizeJob& Job, WorkerScratch& S, std::atomic<int32_t>& Progress,
                 const std::atomic<bool>* Stop) {
  if (Stop && Stop->load(std::memory_order_relaxed)) return false;
  ColumnBand Band;
  if (S.Dealer) {
    Band = S.Dealer->Next();
  } else if (!S.BandTaken) {
    Band = S.Band;
    S.BandTaken = true;
  }
  if (Band.Last < Band.First) return false;
  if (S.Kind == EngineKind::Reference)
    RunReference(Job, Band, S.Reference, Progress, Stop, S.Done);
  else
    RunProduction(Job, Band, S.Production, Progress, Stop, S.Done);
  // Only this worker stores its progress.
  const int32_t Now = Progress.load(std::memory_order_relaxed);
  const bool Finished = Now - S.Done == Band.Last - Band.First + 1;
  S.Done = Now;
  return Finished && S.Dealer;
}

void RunWorker(const EqualizeJob& Job, WorkerScratch& S, std::atomic<int32_t>& Progress,
               const std::atomic<bool>* Stop) {
  while (RunNextBand(Job, S, Progress, Stop)) {
  }
}

void EqualizeBandIsa(const EqualizeJob& Job, int32_t Index, int32_t Count,
                     std::atomic<int32_t>& Progress, EngineKind Kind, EngineIsa Isa,
                     const std::atomic<bool>* Stop) {
  if (!ValidJob(Job) || Count < 1 || Index < 0 || Index >= Count) return;
  WorkerScratch S;
  PrepareWorker(Job, Index, Count, Kind, Isa, S);
  RunWorker(Job, S, Progress, Stop);
}

}  // namespace detail

void EqualizeBand(const EqualizeJob& Job, int32_t Index, int32_t Count,
                  std::atomic<int32_t>& Progress, EngineKind Kind, const std::atomic<bool>* Stop) {
  detail::EqualizeBandIsa(Job, Index, Count, Progress, Kind, detail::ChosenIsa(Job), Stop);
}

}  // namespace obra
