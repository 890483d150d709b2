// The production engine's work on one column, written once for every
// instruction set: the file that includes it defines OBRA_LANES (pixels per
// group, the float vector width) and OBRA_ISA (the namespace of the variant).
// Everything here has internal linkage or lives in that namespace, and only
// compiler built-ins are called, so no code built with wider instructions
// can stand in for code of another variant.
//
// The single-precision sums per pixel equal the reference's (see
// EqualizeProduction.cpp): scatter in dx-outer, row-inner order, one vector
// addition per sample; the weight of each pixel's darkest value is cleared
// before the prefix sums when it has more than one value; the prefix runs
// over all bin rows of the group, which leaves a pixel's own sums unchanged
// outside its value range; the read-out is the reference's loop per pixel.
#include <cstddef>
#include <cstdint>

#include "EngineDetail.h"

namespace obra::detail::OBRA_ISA {
namespace {

constexpr int32_t K = OBRA_LANES;
constexpr int32_t KU = 2 * K;  // 16-bit lanes in a vector of the same width
typedef float VF __attribute__((vector_size(4 * K), may_alias));
typedef uint16_t VU __attribute__((vector_size(4 * K), may_alias));

inline VF LoadF(const float* P) {
  VF V;
  __builtin_memcpy(&V, P, sizeof V);
  return V;
}
inline VU LoadU(const uint16_t* P) {
  VU V;
  __builtin_memcpy(&V, P, sizeof V);
  return V;
}
inline void StoreU(uint16_t* P, VU V) { __builtin_memcpy(P, &V, sizeof V); }
inline VU MinU(VU A, VU B) { return A < B ? A : B; }
inline VU MaxU(VU A, VU B) { return A > B ? A : B; }
inline int32_t Min(int32_t A, int32_t B) { return A < B ? A : B; }
inline int32_t Max(int32_t A, int32_t B) { return A > B ? A : B; }

// Smallest and largest bin row of every pixel's neighbourhood in column X.
void NeighbourhoodRanges(const ColumnJob& J, int32_t X) {
  const int32_t C0 = Max(0, X - J.R), C1 = Min(J.Width - 1, X + J.R);
  const VU None = ~VU{}, One = VU{} + 1;
  for (int32_t I = 0; I < J.RingStride; I += KU) {
    VU Lo = None, Hi = VU{};
    int32_t Slot = C0 % J.RingSlots;
    for (int32_t C = C0; C <= C1; ++C) {
      const VU V =
          *reinterpret_cast<const VU*>(J.Ring + static_cast<size_t>(Slot) * J.RingStride + I);
      Lo = MinU(Lo, V - One);  // value-0 samples wrap to 0xFFFF and drop out
      Hi = MaxU(Hi, V);
      if (++Slot == J.RingSlots) Slot = 0;
    }
    StoreU(J.RowMinM1 + J.R + I, Lo);
    StoreU(J.RowMax + J.R + I, Hi);
  }
  for (int32_t I = J.Top - J.RowBase; I <= J.Bottom - J.RowBase; I += KU) {
    VU Lo = None, Hi = VU{};
    for (int32_t T = 0; T <= 2 * J.R; ++T) {
      Lo = MinU(Lo, LoadU(J.RowMinM1 + I + T));
      Hi = MaxU(Hi, LoadU(J.RowMax + I + T));
    }
    StoreU(J.ColLo + I, Lo + One);
    StoreU(J.ColHi + I, Hi);
  }
}

void EqualizeGroups(const ColumnJob& J, int32_t X) {
  const int32_t R = J.R, N = J.N;
  const int32_t Dx0 = -Min(X, R), Dx1 = Min(J.Width - 1 - X, R);
  const int32_t Centre = R + K - 1;
  const uint16_t* Own = J.Ring + static_cast<size_t>(X % J.RingSlots) * J.RingStride;
  float* const Bins = J.Bins;
  for (int32_t Y = J.Top; Y <= J.Bottom; Y += K) {
    const int32_t Valid = Min(K, J.Bottom - Y + 1);
    const int32_t Ry = Y - J.RowBase;
    int32_t Lo[K], Hi[K];
    int32_t L = 0x10000, H = 0;
    for (int32_t k = 0; k < Valid; ++k) {
      Lo[k] = J.ColLo[Ry + k];
      Hi[k] = J.ColHi[Ry + k];
      if (Hi[k] == 0) continue;
      L = Min(L, Lo[k]);
      H = Max(H, Hi[k]);
    }
    uint16_t* Out = J.Output + static_cast<size_t>(Y) * J.Width + X;
    if (H == 0) {
      for (int32_t k = 0; k < Valid; ++k) Out[static_cast<size_t>(k) * J.Width] = 0;
      continue;
    }

    for (int32_t B = L; B <= H; ++B)
      *reinterpret_cast<VF*>(Bins + static_cast<size_t>(B) * K) = VF{};

    // Only rows inside some valid pixel's neighbourhood, so every sample
    // lands in bin rows L..H (or the row of value 0).
    const int32_t TLo = Max(-R, -Ry), THi = Min(Valid - 1 + R, J.Rows - 1 - Ry);
    for (int32_t Dx = Dx0; Dx <= Dx1; ++Dx) {
      const int32_t T0 = Max(TLo, J.TFirst[Dx + R]), T1 = Min(THi, J.TLast[Dx + R]);
      const uint16_t* Col =
          J.Ring + static_cast<size_t>((X + Dx) % J.RingSlots) * J.RingStride + Ry;
      const float* W = J.Weights + static_cast<size_t>(Dx + R) * J.WeightStride + Centre;
      for (int32_t T = T0; T <= T1; ++T) {
        VF* P = reinterpret_cast<VF*>(Bins + static_cast<size_t>(Col[T]) * K);
        *P = *P + LoadF(W - T);
      }
    }

    for (int32_t k = 0; k < Valid; ++k)
      if (Hi[k] != 0 && Lo[k] < Hi[k]) Bins[static_cast<size_t>(Lo[k]) * K + k] = 0.0f;

    VF Acc = *reinterpret_cast<VF*>(Bins + static_cast<size_t>(L) * K);
    for (int32_t B = L + 1; B <= H; ++B) {
      VF* P = reinterpret_cast<VF*>(Bins + static_cast<size_t>(B) * K);
      Acc = *P + Acc;
      *P = Acc;
    }

    for (int32_t k = 0; k < Valid; ++k) {
      uint16_t O = 0;
      if (Hi[k] != 0) {
        const int32_t Lk = Lo[k], Hk = Hi[k];
        const float* Lane = Bins + k;
        const float T = Lane[static_cast<size_t>(Hk) * K];
        const float Scale = T <= MinTotal ? 0.0f : 65535.0f / T;
        // The centre as a bin row; a centre of value 0 sits at value 0.
        const int32_t Cv = Own[Ry + k];
        const int32_t Ci = Cv != 0 ? Cv : 1 - J.Base;
        float A = 0.0f;
        for (int32_t D = Max(-N, Lk + 1 - Ci); D <= N; ++D)
          A = A + J.Noise[D] * Lane[static_cast<size_t>(Min(Ci + D, Hk)) * K];
        O = OutputSample(Scale, A);
      }
      Out[static_cast<size_t>(k) * J.Width] = O;
    }
  }
}

}  // namespace

void EqualizeColumn(const ColumnJob& J, int32_t X) {
  NeighbourhoodRanges(J, X);
  EqualizeGroups(J, X);
}

}  // namespace obra::detail::OBRA_ISA
