// The engine by value's own paths, each against the reference: prefix sums
// stored a few rows at a time (every row of a narrow value range, or one row
// per present value of a wide, sparse one), bands run in pieces, the dealing
// of its wide bands, and the scratch of a full frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "EngineFixtures.h"

using namespace obra;
using namespace obra::test;
using detail::EngineIsa;

namespace {

constexpr std::array ValueIsas = {EngineIsa::BaselineValues, EngineIsa::Avx2Values,
                                  EngineIsa::Avx512Values};

struct ByValueRun {
  std::vector<uint16_t> Output;
  int32_t Progress = 0;
};

// Job run by one worker of variant Isa over its whole rectangle, its passes
// holding at most MaxRows rows of prefix sums and its pieces at most
// MaxBand columns (0: as prepared).
ByValueRun RunByValue(const EqualizeJob& Job, const std::vector<uint16_t>& Prefill, EngineIsa Isa,
                      int32_t MaxRows, int32_t MaxBand = 0) {
  ByValueRun Got{Prefill, 0};
  EqualizeJob J = Job;
  J.Output = Got.Output.data();
  const ColumnBand Band{J.RoiLeft, J.RoiLeft + J.RoiWidth - 1};
  detail::ProductionScratch S;
  detail::PrepareProduction(J, Band, Isa, S);
  if (MaxRows > 0) S.Values.MaxRows = std::min(S.Values.MaxRows, MaxRows);
  if (MaxBand > 0) S.Values.MaxBand = std::min(S.Values.MaxBand, MaxBand);
  std::atomic<int32_t> P{0};
  detail::RunProduction(J, Band, S, P, nullptr);
  Got.Progress = P.load();
  return Got;
}

// Samples Lo .. Lo + Span - 1, a share of them 0 (no data).
Image ValuesIn(std::mt19937& Rng, int32_t W, int32_t H, uint32_t Lo, uint32_t Span,
               uint32_t ZeroPercent) {
  Image In = Blank(W, H);
  for (uint16_t& V : In.Samples)
    V = Rng() % 100 < ZeroPercent ? 0 : static_cast<uint16_t>(Lo + Rng() % Span);
  return In;
}

}  // namespace

TEST(EqualizeByValue, PrefixSumsStoredAFewRowsAtATimeMatchTheReference) {
  std::mt19937 Rng(2026);
  for (int Case = 0; Case < 9; ++Case) {
    SCOPED_TRACE(Case);
    // A narrow range (every bin row stored), the whole 16-bit range (one row
    // per present value) and a medium one with gaps of no data.
    const int Kind = Case % 3;
    const Image In = Kind == 0   ? ValuesIn(Rng, 31, 37, 500, 40, 0)
                     : Kind == 1 ? ValuesIn(Rng, 29, 41, 1, 65535, 10)
                                 : ValuesIn(Rng, 35, 26, 2000, 1500, 30);
    const int32_t R = std::array{2, 17, 64}[Case / 3];
    const int32_t NRSigma = 1 + static_cast<int32_t>(Rng() % 60);
    const Tables T = Case % 2 ? ShippedLike(NRSigma) : RandomTables(Rng, NRSigma);
    std::vector<uint16_t> Out;
    EqualizeJob J = JobFor(In, Out, T, R, 2 * NRSigma);
    if (Case % 4 == 3) J = WithRoi(J, {3, 5, J.Width - 7, J.Height - 9});
    const std::vector<uint16_t> Want = RunInto(J, Out, EngineKind::Reference);
    for (EngineIsa Isa : ValueIsas) {
      if (!detail::IsaSupported(Isa)) continue;
      // Each pass sums every value again, so the wide ranges (hundreds of
      // present values) get fewer passes; 2 rows hold one present value.
      for (int32_t MaxRows : Kind == 0 ? std::array{2, 7, 0} : std::array{2 + 3 * Kind, 41, 0}) {
        const ByValueRun Got = RunByValue(J, Out, Isa, MaxRows);
        ASSERT_EQ(FirstMismatch(Want, Got.Output), Want.size())
            << detail::IsaName(Isa) << " with " << MaxRows << " rows";
      }
    }
  }
}

TEST(EqualizeByValue, BandsRunInPiecesCountEachColumnOnce) {
  std::mt19937 Rng(8);
  const Image In = ValuesIn(Rng, 90, 40, 100, 900, 5);
  const Tables T = ShippedLike(12);
  std::vector<uint16_t> Out;
  const EqualizeJob J = WithRoi(JobFor(In, Out, T, 9, 24), {5, 3, 77, 30});
  const std::vector<uint16_t> Want = RunInto(J, Out, EngineKind::Reference);
  for (EngineIsa Isa : ValueIsas) {
    if (!detail::IsaSupported(Isa)) continue;
    // Pieces of 16 columns, the last one of 13, and pieces of one column.
    for (int32_t MaxBand : {16, 1}) {
      const ByValueRun Got = RunByValue(J, Out, Isa, 0, MaxBand);
      EXPECT_EQ(Got.Progress, 77) << detail::IsaName(Isa) << " " << MaxBand;
      EXPECT_EQ(FirstMismatch(Want, Got.Output), Want.size())
          << detail::IsaName(Isa) << " " << MaxBand;
    }
  }
}

TEST(EqualizeByValue, BandsAreDealtWideAndShrinkOnlyToHalf) {
  EqualizeJob J;
  J.RoiLeft = 7;
  // 1,000 columns for 2 workers: bands of 128 (a whole number of column
  // blocks), at the end no narrower than 64 but for the remainder.
  J.RoiWidth = 1000;
  detail::ColumnDealer D;
  detail::DealColumns(D, J, 2, EngineIsa::Avx2Values);
  std::vector<int32_t> Widths;
  int32_t Next = J.RoiLeft;
  for (ColumnBand B = D.Next(); B.Last >= B.First; B = D.Next()) {
    EXPECT_EQ(B.First, Next);
    Next = B.Last + 1;
    Widths.push_back(B.Last - B.First + 1);
  }
  EXPECT_EQ(Next, J.RoiLeft + J.RoiWidth);
  EXPECT_EQ(Widths.front(), 128);
  EXPECT_EQ(*std::min_element(Widths.begin(), Widths.end() - 1), 64);
  EXPECT_LE(Widths.back(), 64);
  // Many workers on a narrow rectangle still get bands of 16 columns.
  J.RoiWidth = 300;
  detail::DealColumns(D, J, 64, EngineIsa::Avx2Values);
  EXPECT_EQ(D.Next().Last - J.RoiLeft + 1, 16);
  // The column engine keeps its narrow bands.
  J.RoiWidth = 1024;
  detail::DealColumns(D, J, 2, EngineIsa::Avx2);
  EXPECT_EQ(D.Next().Last - J.RoiLeft + 1, detail::DealStep(1024, 2));
}

TEST(EqualizeByValue, AFullFrameWorkerStaysWithin8MiB) {
  // A 4096 x 4096 frame whose values span the whole 16-bit range, prepared
  // as an activation prepares a worker of dealt bands.
  Image In = Blank(4096, 4096);
  In.At(100, 200) = 1;
  In.At(3000, 4000) = 65535;
  const Tables T = ShippedLike(50);
  std::vector<uint16_t> Out;
  const EqualizeJob J = JobFor(In, Out, T, 64, 100);
  for (EngineIsa Isa : ValueIsas) {
    detail::ProductionScratch S;
    detail::PrepareProduction(J, {0, 4095}, Isa, S);
    EXPECT_LE(S.Bytes(), size_t{8} << 20) << detail::IsaName(Isa);
  }
}
