// Percentile statistics of the non-zero samples: one 65,536-entry count table
// and two passes over it, whatever the image size.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "IOGraphics.h"

namespace obra {

namespace {

using Histogram = std::vector<uint32_t>;
constexpr int Levels = 65536;
constexpr std::array<double, 7> Fractions = {0.2, 0.1, 0.01, 0.001, 0.0001, 0.00001, 0.000001};

bool Countable(const ImageRecord& R) {
  const SampleType T = R.ResultSample();
  return T == SampleType::Byte || T == SampleType::Word;
}

// Sample count of the whole buffer. Every channel of a colour buffer is
// counted, and N below is taken from the same count, so the fractions stay
// fractions of what was counted.
size_t SampleCount(const ImageRecord& R) {
  if (R.Width <= 0 || R.Height <= 0 || R.Channels <= 0) return 0;
  return static_cast<size_t>(R.Width) * static_cast<size_t>(R.Height) *
         static_cast<size_t>(R.Channels);
}

void ClearAll(ImageRecord& R) {
  for (int32_t* F : {&R.MinValue, &R.Low20, &R.Low10, &R.Low1, &R.LowP1, &R.LowP01, &R.LowP001,
                     &R.LowP0001, &R.MaxValue, &R.High20, &R.High10, &R.High1, &R.HighP1,
                     &R.HighP01, &R.HighP001, &R.HighP0001})
    *F = 0;
}

// The sixteen levels from a histogram of Total counted samples.
void LevelsFromHistogram(ImageRecord& R, const Histogram& C, uint64_t Total) {
  const std::array<int32_t*, 7> Low = {&R.Low20,  &R.Low10,   &R.Low1,    &R.LowP1,
                                       &R.LowP01, &R.LowP001, &R.LowP0001};
  const std::array<int32_t*, 7> High = {&R.High20,  &R.High10,   &R.High1,    &R.HighP1,
                                        &R.HighP01, &R.HighP001, &R.HighP0001};
  const uint64_t N = Total - C[0];
  std::array<uint64_t, 7> T;
  for (size_t F = 0; F < Fractions.size(); ++F)
    T[F] = static_cast<uint64_t>(std::nearbyint(Fractions[F] * static_cast<double>(N)));
  R.MinValue = 0;
  R.MaxValue = 65535;
  for (size_t F = 0; F < 7; ++F) {
    *Low[F] = 0;
    *High[F] = 65535;
  }
  if (N == 0) return;
  uint64_t S = 0;
  for (int32_t I = 1; I < Levels; ++I) {
    S += C[I];
    if (S == 0) R.MinValue = I + 1;
    for (size_t F = 0; F < 7; ++F)
      if (S < T[F]) *Low[F] = I;
  }
  S = 0;
  for (int32_t L = Levels - 1; L >= 1; --L) {
    S += C[L];
    if (S == 0) R.MaxValue = L - 1;
    for (size_t F = 0; F < 7; ++F)
      if (S < T[F]) *High[F] = L;
  }
}

// Counts 16-bit samples into a histogram. Four interleaved tables keep runs
// of equal values (the empty sky around the disc) from serialising on one
// counter; Finish folds them into one.
class SampleCounter {
 public:
  SampleCounter() : Tables_(4 * static_cast<size_t>(Levels), 0) {}
  void Add(const uint16_t* Samples, size_t Count) {
    uint32_t* C0 = Tables_.data();
    uint32_t* C1 = C0 + Levels;
    uint32_t* C2 = C1 + Levels;
    uint32_t* C3 = C2 + Levels;
    size_t I = 0;
    for (; I + 4 <= Count; I += 4) {
      ++C0[Samples[I]];
      ++C1[Samples[I + 1]];
      ++C2[Samples[I + 2]];
      ++C3[Samples[I + 3]];
    }
    for (; I < Count; ++I) ++C0[Samples[I]];
  }
  void AddNoData(uint32_t Count) { Tables_[0] += Count; }
  Histogram Finish() const {
    Histogram C(Levels, 0);
    for (size_t T = 0; T < 4; ++T)
      for (int32_t V = 0; V < Levels; ++V) C[V] += Tables_[T * Levels + V];
    return C;
  }

 private:
  std::vector<uint32_t> Tables_;
};

}  // namespace

void ComputeStatistics(ImageRecord& R, const uint16_t* Samples) {
  if (!Countable(R)) return ClearAll(R);
  const size_t Total = Samples ? SampleCount(R) : 0;
  Histogram C(Levels, 0);
  if (R.ResultSample() == SampleType::Byte) {
    const uint8_t* B = reinterpret_cast<const uint8_t*>(Samples);
    for (size_t I = 0; I < Total; ++I) ++C[B[I]];
  } else {
    SampleCounter Counter;
    Counter.Add(Samples, Total);
    C = Counter.Finish();
  }
  LevelsFromHistogram(R, C, Total);
}

void ComputeRoiStatistics(int32_t Left, int32_t Top, int32_t Width, int32_t Height, ImageRecord& R,
                          const uint16_t* Samples) {
  if (!Countable(R)) return ClearAll(R);
  // The rectangle is clipped to the image so that a region reaching past an
  // edge never reads outside the buffer. Counting does not depend on the
  // order, so rows are walked in memory order.
  const int64_t X0 = std::max<int64_t>(Left, 0), Y0 = std::max<int64_t>(Top, 0);
  const int64_t X1 = std::min<int64_t>(int64_t{Left} + Width, R.Width);
  const int64_t Y1 = std::min<int64_t>(int64_t{Top} + Height, R.Height);
  Histogram C(Levels, 0);
  uint64_t Total = 0;
  if (Samples && X1 > X0 && Y1 > Y0) {
    const uint8_t* B = reinterpret_cast<const uint8_t*>(Samples);
    SampleCounter Counter;
    const bool ByteSamples = R.ResultSample() == SampleType::Byte;
    for (int64_t Y = Y0; Y < Y1; ++Y) {
      const size_t Row = static_cast<size_t>(Y * R.Width);
      if (ByteSamples)
        for (int64_t X = X0; X < X1; ++X) ++C[B[Row + static_cast<size_t>(X)]];
      else
        Counter.Add(Samples + Row + X0, static_cast<size_t>(X1 - X0));
    }
    if (!ByteSamples) C = Counter.Finish();
    Total = static_cast<uint64_t>((X1 - X0) * (Y1 - Y0));
  }
  if (Total == C[0]) return ComputeStatistics(R, Samples);
  LevelsFromHistogram(R, C, Total);
}

void ComputeDiscStatistics(ImageRecord& R, const uint16_t* Samples) {
  if (!Countable(R)) return ClearAll(R);
  if (R.ResultSample() == SampleType::Byte) return ComputeStatistics(R, Samples);
  const size_t Total = Samples ? SampleCount(R) : 0;
  const double Limit = 1.15 * R.RSun;
  SampleCounter Counter;
  const size_t W = static_cast<size_t>(R.Width > 0 ? R.Width : 1);
  // A sample lies outside when the distance of its column and row from the
  // centre exceeds the limit. Within one row that test only grows with the
  // distance from the centre column, so the samples inside form one run of
  // columns, found with the same test at its two ends.
  auto Outside = [&](size_t X, size_t Y) {
    const double Dx = static_cast<double>(X) - R.CrPix1;
    const double Dy = static_cast<double>(Y) - R.CrPix2;
    return std::sqrt(Dx * Dx + Dy * Dy) > Limit;
  };
  size_t Done = 0;
  for (size_t Y = 0; Done < Total; ++Y) {
    const size_t Row = std::min(W, Total - Done);  // the last row of a colour buffer may be short
    const double Nearest = std::clamp(std::nearbyint(R.CrPix1), 0.0, static_cast<double>(Row - 1));
    size_t First = Row, Last = Row;  // the inside run [First, Last), empty at first
    const size_t Mid = std::isnan(Nearest) ? 0 : static_cast<size_t>(Nearest);
    if (!Outside(Mid, Y)) {
      size_t Lo = 0, Hi = Mid;  // first inside column in [Lo, Hi]
      while (Lo < Hi) {
        const size_t M = Lo + (Hi - Lo) / 2;
        if (Outside(M, Y))
          Lo = M + 1;
        else
          Hi = M;
      }
      First = Lo;
      Lo = Mid;
      Hi = Row - 1;  // last inside column in [Lo, Hi]
      while (Lo < Hi) {
        const size_t M = Lo + (Hi - Lo + 1) / 2;
        if (Outside(M, Y))
          Hi = M - 1;
        else
          Lo = M;
      }
      Last = Lo + 1;
    }
    Counter.AddNoData(static_cast<uint32_t>(Row - (Last - First)));
    Counter.Add(Samples + Done + First, Last - First);
    Done += Row;
  }
  LevelsFromHistogram(R, Counter.Finish(), Total);
}

}  // namespace obra
