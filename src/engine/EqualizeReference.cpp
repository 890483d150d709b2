// The reference engine: the equalization written as plainly as possible, one
// pixel at a time. It is the oracle the production engine is tested against,
// so every single-precision operation happens in the documented order:
//  - bins are cleared over the image's value range before each pixel;
//  - the neighbourhood is visited dx outer, dy inner, each weight added to its
//    bin in single precision (bin[v] = bin[v] + K(dx, dy));
//  - accumulation runs b = lo + 2 .. hi with bin[b] = bin[b] + bin[b - 1], so
//    the weight of the darkest value lo is left out;
//  - s = 65535 / T' (0 when T' <= 0.0001) and a = a + Noise[k] * c(u), each
//    product and sum rounded to single precision (no fused multiply-add);
//  - the output is s x a rounded half to even and clamped to 0..65535.
#include <algorithm>
#include <cstddef>

#include "EngineDetail.h"

namespace obra::detail {

void PrepareReference(const EqualizeJob& Job, ColumnBand Band, ReferenceScratch& S) {
  S.ClearLo = 0;
  S.ClearHi = -1;
  if (Band.Last < Band.First) return;
  S.Histogram.assign(65536, 0.0f);
  // The image statistics bound the clearing. Bounds that do not cover every
  // sample this band sees would leave bins of earlier pixels in the sums, so
  // they are widened to the samples actually present (and kept inside the
  // histogram); with correct statistics nothing changes.
  const int32_t R = Job.KerSize;
  const ValueRange V = NonZeroRange(Job, Band.First - R, Band.Last + R, Job.RoiTop - R,
                                    Job.RoiTop + Job.RoiHeight - 1 + R);
  S.ClearLo = std::clamp(Job.MinValue, 0, 65535);
  S.ClearHi = std::clamp(Job.MaxValue, 0, 65535);
  if (V.Max > 0) {
    S.ClearLo = std::min(S.ClearLo, V.Min);
    S.ClearHi = std::max(S.ClearHi, V.Max);
  }
}

void RunReference(const EqualizeJob& Job, ColumnBand Band, ReferenceScratch& S,
                  std::atomic<int32_t>& Progress, const std::atomic<bool>* Stop, int32_t Done) {
  const int32_t R = Job.KerSize, N = Job.NoiseHalfLength;
  const int32_t W = Job.Width, H = Job.Height;
  const KernelTableType& Kernel = *Job.Kernel;
  const NoiseKernelType& Noise = *Job.Noise;
  float* Bin = S.Histogram.data();
  for (int32_t X = Band.First; X <= Band.Last; ++X) {
    if (Stop && Stop->load(std::memory_order_relaxed)) return;
    for (int32_t Y = Job.RoiTop; Y < Job.RoiTop + Job.RoiHeight; ++Y) {
      // A column of this plain engine can take a fifth of a second at
      // KerSize 64, so a stop is also seen every 256 rows; the column is then
      // left unfinished and not counted.
      if ((Y & 255) == 0 && Stop && Stop->load(std::memory_order_relaxed)) return;
      for (int32_t B = S.ClearLo; B <= S.ClearHi; ++B) Bin[B] = 0.0f;
      int32_t Lo = 65535, Hi = 0;
      for (int32_t Dx = -std::min(X, R); Dx <= std::min(W - 1 - X, R); ++Dx) {
        for (int32_t Dy = -std::min(Y, R); Dy <= std::min(H - 1 - Y, R); ++Dy) {
          const int32_t V = Job.Input[static_cast<size_t>(Y + Dy) * W + (X + Dx)];
          if (V == 0) continue;
          Bin[V] = Bin[V] + Kernel.At(Dx, Dy);
          Lo = std::min(Lo, V);
          Hi = std::max(Hi, V);
        }
      }
      uint16_t O = 0;
      if (Hi >= Lo) {
        for (int32_t B = Lo + 2; B <= Hi; ++B) Bin[B] = Bin[B] + Bin[B - 1];
        const float T = Bin[Hi];
        const float Scale = T <= MinTotal ? 0.0f : 65535.0f / T;
        const int32_t Cv = Job.Input[static_cast<size_t>(Y) * W + X];
        float A = 0.0f;
        for (int32_t K = -N; K <= N; ++K) {
          const int32_t U = Cv + K;
          if (U > Lo) A = A + Noise[K] * (U < Hi ? Bin[U] : Bin[Hi]);
        }
        O = OutputSample(Scale, A);
      }
      Job.Output[static_cast<size_t>(Y) * W + X] = O;
    }
    Progress.store(Done + X - Band.First + 1, std::memory_order_release);
  }
}

}  // namespace obra::detail
