// Kernel tables, images and jobs for the engine tests. Outputs are pre-filled
// with Sentinel so that a sample written outside the rectangle shows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <vector>

#include "AdaptiveEQ.h"
#include "EngineDetail.h"

namespace obra::test {

inline constexpr uint16_t Sentinel = 0xBEEF;

struct Tables {
  KernelTableType Kernel;
  NoiseKernelType Noise;
};
inline Tables Built(const Parameters& P) {
  Tables T;
  BuildKernels(P, T.Kernel, T.Noise);
  return T;
}

// The distributed kernel shape with the given noise sigma.
inline Tables ShippedLike(int32_t NRSigma) {
  Parameters P;
  P.KerS_220 = P.KerS_28 = P.KerS_20 = 0.5f;
  P.KerS_160 = P.KerS_110 = P.KerS_80 = P.KerS_56 = P.KerS_40 = 1.0f;
  P.NRSigma = NRSigma;
  return Built(P);
}

// Parameters with only the kernel component Key, of weight W.
inline Parameters Only(float Parameters::*Key, float W, int NRSigma = 1) {
  Parameters P;
  P.*Key = W;
  P.NRSigma = NRSigma;
  return P;
}

// A kernel with exact zeros, negative weights and all-zero columns and rows,
// or confined to a small disc, so that its outer columns hold only a few
// weights (fewer than a vector's lanes).
inline Tables RandomTables(std::mt19937& Rng, int32_t NRSigma) {
  Tables T = Built(Only(&Parameters::KerS_10, 0.0f, NRSigma));
  std::uniform_real_distribution<float> U(-1.0f, 2.0f);
  const int Mode = static_cast<int>(Rng() % 4);
  const int Disc = 1 + static_cast<int>(Rng() % 12);
  for (int Dy = -64; Dy <= 64; ++Dy)
    for (int Dx = -64; Dx <= 64; ++Dx) {
      float V = U(Rng);
      if ((Mode == 1 && Rng() % 4 == 0) || (Mode == 2 && (Dx % 3 == 0 || Dy % 5 == 0)) ||
          (Mode == 3 && Dx * Dx + Dy * Dy > Disc * Disc))
        V = 0;
      T.Kernel.At(Dx, Dy) = V;
    }
  return T;
}

// Where the first sample of Got differs from Want (Want.size() when none).
inline size_t FirstMismatch(const std::vector<uint16_t>& Want, const std::vector<uint16_t>& Got) {
  return std::mismatch(Want.begin(), Want.end(), Got.begin()).first - Want.begin();
}

struct Image {
  int32_t Width = 0, Height = 0;
  std::vector<uint16_t> Samples;
  uint16_t& At(int32_t X, int32_t Y) { return Samples[size_t(Y) * Width + X]; }
};

inline Image Blank(int32_t W, int32_t H) { return {W, H, std::vector<uint16_t>(size_t(W) * H, 0)}; }

// The whole of In at radius R and noise reach N into Out (pre-filled with
// Sentinel), with the exact non-zero value range.
inline EqualizeJob JobFor(const Image& In, std::vector<uint16_t>& Out, const Tables& T, int32_t R,
                          int32_t N) {
  Out.assign(In.Samples.size(), Sentinel);
  int32_t Min = 65535, Max = 0;
  for (uint16_t V : In.Samples)
    if (V != 0) Min = std::min<int32_t>(Min, V), Max = std::max<int32_t>(Max, V);
  return {In.Samples.data(), Out.data(), In.Width, In.Height, Min,       Max,     0, 0,
          In.Width,          In.Height,  R,        N,         &T.Kernel, &T.Noise};
}

inline EqualizeJob WithRoi(EqualizeJob Job, const int32_t (&Rc)[4]) {
  Job.RoiLeft = Rc[0], Job.RoiTop = Rc[1], Job.RoiWidth = Rc[2], Job.RoiHeight = Rc[3];
  return Job;
}

// Runs the Count workers of Job one after the other, checking that each
// reports its whole band; returns the progress sum.
inline int32_t RunAll(const EqualizeJob& Job, EngineKind Kind, int32_t Count = 1,
                      detail::EngineIsa Isa = detail::BestIsa()) {
  int32_t Sum = 0;
  for (int32_t I = 0; I < Count; ++I) {
    std::atomic<int32_t> P{0};
    detail::EqualizeBandIsa(Job, I, Count, P, Kind, Isa);
    const ColumnBand B = BandOf(Job, I, Count);
    EXPECT_EQ(P.load(), std::max(0, B.Last - B.First + 1));
    Sum += P.load();
  }
  return Sum;
}

// Runs Count workers of Job on one dealer of Step-column bands, one band each
// in turn (so that consecutive bands go to different workers and a worker's
// bands both continue and skip); returns the progress sum.
inline int32_t RunDealt(const EqualizeJob& Job, EngineKind Kind, int32_t Count, int32_t Step,
                        detail::EngineIsa Isa) {
  detail::ColumnDealer Dealer;
  Dealer.Reset(Job.RoiLeft, Job.RoiWidth, Step);
  std::vector<detail::WorkerScratch> S(Count);
  std::vector<std::atomic<int32_t>> P(Count);
  for (int32_t I = 0; I < Count; ++I)
    detail::PrepareWorker(Job, I, Count, Kind, Isa, S[I], &Dealer);
  for (bool Any = true; Any;) {
    Any = false;
    for (int32_t I = 0; I < Count; ++I) Any |= detail::RunNextBand(Job, S[I], P[I], nullptr);
  }
  int32_t Sum = 0;
  for (int32_t I = 0; I < Count; ++I) Sum += P[I].load();
  return Sum;
}

// Job run into a copy of Prefill (taken once every argument is evaluated, so
// RunInto(JobFor(In, Out, ...), Out, ...) sees the filled Out).
inline std::vector<uint16_t> RunInto(EqualizeJob Job, const std::vector<uint16_t>& Prefill,
                                     EngineKind Kind, int32_t Count = 1) {
  std::vector<uint16_t> Out = Prefill;
  Job.Output = Out.data();
  RunAll(Job, Kind, Count);
  return Out;
}

// Values from 3 wide to the whole 16-bit range, sparse or dense, or with a
// block of no data as off a solar disc; Wide false keeps spans below 2000 so
// the reference's per-pixel bin clearing stays cheap.
inline Image RandomImage(std::mt19937& Rng, int32_t W, int32_t H, bool Wide = true) {
  Image In = Blank(W, H);
  int Kind = static_cast<int>(Rng() % 5);
  if (!Wide && Kind == 2) Kind = 1;
  const uint32_t Lo = Kind == 0 ? 1 : 1 + Rng() % 60000;
  const uint32_t Span = Kind == 1 ? 3 : Kind == 2 ? 65536 - Lo : 1 + Rng() % 2000;
  const uint32_t ZeroPercent = Kind == 3 ? 90 : Rng() % 40;
  for (uint16_t& V : In.Samples)
    V = Rng() % 100 < ZeroPercent ? 0 : static_cast<uint16_t>(Lo + Rng() % Span);
  if (Kind == 4)
    for (int32_t Y = 0; Y < H / 2; ++Y)
      for (int32_t X = 0; X < W / 3; ++X) In.At(X, Y) = 0;
  return In;
}

}  // namespace obra::test
