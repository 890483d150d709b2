// Internals of the equalization engine, shared by its source files and tests.
//
// Common rules of these internals:
//  - A worker is prepared on the thread that starts it (all allocation happens
//    there, so a shortage is reported before anything runs) and then run.
//  - The production engine processes the pixels of one column in groups of
//    Lanes rows; its instruction-set variants differ only in Lanes and give
//    the same output as the reference on every input.
//  - Functions compiled for one instruction set use nothing with external
//    linkage from headers, so the linker can never pick a copy built for a
//    wider instruction set than the processor runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "AdaptiveEQ.h"

namespace obra::detail {

// Most groups of one column the production engine processes at a time, and
// the bin memory per worker up to which it uses that many.
inline constexpr int32_t MaxGroups = 8;
// Most rows of a column one set of groups covers: 8 groups of 8 lanes, 4 of
// 16. Wider sets spread their bins over more cache than they gain in overlap.
inline constexpr int32_t MaxSetRows = 64;
inline constexpr size_t GroupBinsBudget = size_t{4} << 20;
// Most bin rows of prefix sums kept for one group's read-out.
inline constexpr int32_t MaxSideRows = 4096;

// The instruction sets the production engine is built for.
// Avx2Wide holds 16 pixels per bin row in two 256-bit halves: one index
// load and address for two vector read-modify-writes. The *Values variants
// are the engine by value (EqualizeValues.inl), the others the column
// engine (EqualizeColumns.inl).
enum class EngineIsa { Baseline, Avx2, Avx2Wide, Avx512, BaselineValues, Avx2Values, Avx512Values };

// True when this processor (and its operating system) runs Isa.
bool IsaSupported(EngineIsa Isa);
// The widest variant of the engine by value this processor runs.
EngineIsa BestIsa();
// Pixels of one column the variant for Isa processes together.
int32_t IsaLanes(EngineIsa Isa);
// True for the variants of the engine by value.
bool IsValueIsa(EngineIsa Isa);
// Every variant, the column engine's first, each engine's narrowest first,
// and their names: "baseline", "avx2", "avx2-16", "avx512", "baseline-values",
// "avx2-values", "avx512-values".
inline constexpr std::array<EngineIsa, 7> AllIsas = {
    EngineIsa::Baseline,       EngineIsa::Avx2,       EngineIsa::Avx2Wide,    EngineIsa::Avx512,
    EngineIsa::BaselineValues, EngineIsa::Avx2Values, EngineIsa::Avx512Values};
// A figure per variant, indexed by the enum's value.
using VariantTimes = std::array<double, AllIsas.size()>;
const char* IsaName(EngineIsa Isa);
// The variant called Name, if any.
std::optional<EngineIsa> ParseIsa(std::string_view Name);

// The variant production runs use: the one forced by ForceIsa; else the one
// the environment variable OBRA_ISA names, when this processor runs it; else
// the one that ran fastest on a strip of the first job with image data,
// measured once per process (BestIsa until then). Thread-safe.
EngineIsa ChosenIsa(const EqualizeJob& Job);
// Forces Isa (which must be supported) for every later run of this process;
// nullopt returns to the automatic choice.
void ForceIsa(std::optional<EngineIsa> Isa);
// Nanoseconds per pixel of each supported variant (index: the enum's value,
// 0 when not supported or not measurable) on a strip from the middle of
// Job's image: the best of its runs (one for a variant far behind the
// fastest, three for the others).
VariantTimes TimeVariants(const EqualizeJob& Job);

// Scratch vectors of the production engines whose data must start on a
// 64-byte boundary: AllocateAligned makes Count elements (and a little to
// spare) of Fill, AlignedData gives the aligned start. Internal linkage: see
// the rules above.
inline constexpr size_t ScratchAlign = 64;
template <class T>
static inline void AllocateAligned(std::vector<T>& V, size_t Count, T Fill) {
  V.assign(Count + ScratchAlign / sizeof(T), Fill);
}
template <class T>
static inline T* AlignedData(std::vector<T>& V) {
  const auto P = reinterpret_cast<uintptr_t>(V.data());
  return V.data() + (ScratchAlign - P % ScratchAlign) % ScratchAlign / sizeof(T);
}
// V rounded up to a whole number of Step.
static inline int32_t RoundUp(int32_t V, int32_t Step) { return (V + Step - 1) / Step * Step; }

// Smallest and largest non-zero sample of a block; Max is 0 when it has none.
struct ValueRange {
  int32_t Min = 65535, Max = 0;
};
// Scans columns ColFirst..ColLast and rows RowFirst..RowLast, both clipped to the image.
ValueRange NonZeroRange(const EqualizeJob& Job, int32_t ColFirst, int32_t ColLast, int32_t RowFirst,
                        int32_t RowLast);

// The output sample for scale S and read-out A: S x A in single precision,
// rounded half to even; NaN and values below 0.5 give 0, 65535 and above give
// 65535. The comparisons come before the conversion, so no float-to-integer
// conversion is ever out of range. Internal linkage: see the rules above.
static inline uint16_t OutputSample(float S, float A) {
  const float R = __builtin_nearbyintf(S * A);
  if (!(R > 0.0f)) return 0;
  if (R >= 65535.0f) return 65535;
  return static_cast<uint16_t>(R);
}

// The weight total below which a neighbourhood counts as empty. 0.0001f is the
// largest single-precision number not above 0.0001, so the single-precision
// test T <= MinTotal equals the test against the exact decimal.
inline constexpr float MinTotal = 0.0001f;

// ---- Reference engine ---------------------------------------------------------
struct ReferenceScratch {
  std::vector<float> Histogram;  // 65,536 bins, indexed by sample value
  int32_t ClearLo = 0, ClearHi = -1;
};
void PrepareReference(const EqualizeJob& Job, ColumnBand Band, ReferenceScratch& S);
// Both engines store Done plus the columns of Band finished so far in Progress.
void RunReference(const EqualizeJob& Job, ColumnBand Band, ReferenceScratch& S,
                  std::atomic<int32_t>& Progress, const std::atomic<bool>* Stop, int32_t Done = 0);

// ---- Production engine ----------------------------------------------------------
// What the procedures of both production engines know of the job alike.
// Samples are held as bin rows: row 0 collects the samples of value 0 and is
// never read, row v - Base + 1 holds value v. The engine's copy of the
// image keeps rows RowBase .. RowBase + Rows - 1.
struct EngineRows {
  uint16_t* Output = nullptr;
  int32_t Width = 0;
  int32_t Top = 0, Bottom = -1;  // rows of the rectangle
  int32_t R = 0, N = 0;
  const float* Noise = nullptr;  // NoiseKernel entry 0
  int32_t Base = 1;              // sample value of bin row 1
  int32_t RowBase = 0, Rows = 0;
  // Per row (offset by R): the smallest bin row minus 1 (wrapping, so
  // 0xFFFF means none) and the largest bin row over the neighbourhood
  // columns of the pixel column at hand.
  uint16_t* RowMinM1 = nullptr;
  uint16_t* RowMax = nullptr;
};
// What a production engine's band reads: the rows of the rectangle and
// their neighbourhoods (RowBase, Rows of them), and as bin rows the values
// it can see, Base being bin row 1 and Span the last (0: no data).
struct BandExtent {
  int32_t RowBase = 0, Rows = 0, Base = 1, Span = 0;
};
BandExtent ExtentOf(const EqualizeJob& Job, ColumnBand Band);
// Fills Rows from Job and from the engine's bin base, rows and row ranges
// (RowMinM1 and RowMax hold Rows + 2R entries at least).
void SetJobRows(const EqualizeJob& Job, int32_t Base, int32_t RowBase, int32_t Rows,
                std::vector<uint16_t>& RowMinM1, std::vector<uint16_t>& RowMax, EngineRows& J);

// What the column procedure of one instruction set reads and writes; all
// pointers point into a ProductionScratch or the job's buffers.
struct ColumnJob : EngineRows {
  // Groups sets of bin rows of Lanes floats, BinsStride floats apart and
  // 64-byte aligned: the groups of a column are processed up to Groups at a
  // time, group g of a set with set g.
  float* Bins = nullptr;
  size_t BinsStride = 0;
  int32_t Groups = 1;
  // SideRows bin rows for the prefix sums the read-out of one group needs.
  float* Side = nullptr;
  int32_t SideRows = 0;
  // Per dx (index dx + R): kernel column dx reversed and zero-padded, so that
  // Weights[(dx + R) * WeightStride + R + Lanes - 1 - t + k] is the weight of
  // the sample in row y + t for the pixel in row y + k of a group.
  const float* Weights = nullptr;
  int32_t WeightStride = 0;
  const int32_t* TFirst = nullptr;  // per dx: first and last t with a non-zero
  const int32_t* TLast = nullptr;   // weight for some lane (TFirst > TLast: none)
  // Bin rows of the columns X - R .. X + R, one slot of RingStride rows per
  // column (slot = column mod RingSlots); ring row i is image row RowBase + i.
  const uint16_t* Ring = nullptr;
  int32_t RingStride = 0, RingSlots = 1;
  // Per ring row: the smallest (0: none) and largest bin row of the pixel's
  // neighbourhood.
  uint16_t* ColLo = nullptr;
  uint16_t* ColHi = nullptr;
};

// Equalizes the rectangle's rows of column X. The ring must hold the columns
// X - R .. X + R that lie inside the image.
using ColumnFn = void (*)(const ColumnJob& J, int32_t X);
namespace baseline {
void EqualizeColumn(const ColumnJob& J, int32_t X);
}
namespace avx2 {
void EqualizeColumn(const ColumnJob& J, int32_t X);
}
namespace avx2wide {
void EqualizeColumn(const ColumnJob& J, int32_t X);
}
namespace avx512 {
void EqualizeColumn(const ColumnJob& J, int32_t X);
}

// ---- Production engine by value ------------------------------------------------
// Columns processed together by the engine by value (see EqualizeValues.inl):
// each sample of a window is read once for that many adjacent pixel columns.
inline constexpr int32_t ValueChains = 8;
// Widest band the engine by value is dealt or runs in one piece.
inline constexpr int32_t ValueBandColumns = 128;
// An entry of the engine by value's sorted samples is a table offset of 16
// bits; this one ends each value's run.
inline constexpr uint16_t EntryEnd = 0xFFFF;

// What the band procedure of the engine by value reads and writes; all
// pointers point into a ValueScratch or the job's buffers.
struct ValueJob : EngineRows {
  const uint16_t* Input = nullptr;
  int32_t Height = 0;
  int32_t Span = 0;  // bin rows 1..Span
  // Per dx + R + ValueChains - 1: the kernel column dx reversed and
  // zero-padded, ValueTableStride(Lanes) floats; columns past the radius
  // are zero.
  const float* Table = nullptr;
  // The band's image columns (and R either side) as bin rows, column-major,
  // ColStride rows apart; row i is image row RowBase + i, rows past Rows are 0.
  uint16_t* Cols = nullptr;
  int32_t ColStride = 0;
  // Per band column, RangeStride rows from Top: the smallest and largest bin
  // row of each pixel's neighbourhood (Hi 0: no data).
  uint16_t* Lo = nullptr;
  uint16_t* Hi = nullptr;
  int32_t RangeStride = 0;
  // The strip's samples sorted by bin row (each row's run ended by a
  // sentinel), the first sample of each row still in the window, the
  // samples of each row in the strip, a flag per row that has entered the
  // window, and the rows with samples in a block's window, ascending.
  uint16_t* Entries = nullptr;
  int32_t* Start = nullptr;
  int32_t* Count = nullptr;
  uint8_t* Flags = nullptr;
  int32_t* Values = nullptr;
  // Per bin row, the row of Sums that holds its prefix sums, when a block
  // stores one row per present value.
  int32_t* RankOf = nullptr;
  // Up to MaxRows consecutive bin rows of prefix sums of the ValueChains
  // groups of a block, ValueChains x Lanes floats per row.
  float* Sums = nullptr;
  int32_t MaxRows = 1;
};

// Equalizes columns First..Last of the rectangle, all its rows; false when
// *Stop was seen (the band is then incomplete).
using ValueBandFn = bool (*)(const ValueJob& J, int32_t First, int32_t Last,
                             const std::atomic<bool>* Stop);
namespace baselinev {
bool EqualizeValueBand(const ValueJob& J, int32_t First, int32_t Last,
                       const std::atomic<bool>* Stop);
}
namespace avx2v {
bool EqualizeValueBand(const ValueJob& J, int32_t First, int32_t Last,
                       const std::atomic<bool>* Stop);
}
namespace avx512v {
bool EqualizeValueBand(const ValueJob& J, int32_t First, int32_t Last,
                       const std::atomic<bool>* Stop);
}

// Floats per table column of the engine by value with Lanes rows per group.
constexpr int32_t ValueTableStride(int32_t Lanes) {
  return (2 * MaxKerSize + 2 * Lanes - 1 + Lanes - 1) / Lanes * Lanes;
}
static_assert((ValueBandColumns + 2 * MaxKerSize) * ValueTableStride(16) < EntryEnd,
              "every table offset of a band fits an entry");

struct ValueScratch {
  int32_t Lanes = 8;
  int32_t Base = 1, Span = 0;
  int32_t RowBase = 0, Rows = 0, ColStride = 0, RangeStride = 0;
  int32_t MaxBand = 0, MaxRows = 1;
  std::vector<float> Table, Sums;
  std::vector<uint16_t> Cols, RowMinM1, RowMax, Lo, Hi;
  std::vector<uint16_t> Entries;
  std::vector<int32_t> Start, Count, RankOf, Values;
  std::vector<uint8_t> Flags;
  size_t Bytes() const;
};
// Bytes of prefix-sum rows a worker of the engine by value holds; a block
// whose read-outs look at more rows stores them in several passes.
inline constexpr size_t ValueSumBytes = size_t{1} << 20;
// Bytes a worker of the engine by value aims to hold at most: the band it
// runs in one piece narrows for tall images.
inline constexpr size_t ValueScratchBudget = size_t{7} << 20;
// Sizes S for Band, run in pieces of up to ValueBandColumns columns (fewer
// for tall images).
void PrepareValues(const EqualizeJob& Job, ColumnBand Band, int32_t Lanes, ValueScratch& S);
// Runs Band in pieces of up to S.MaxBand columns with the variant for S.Lanes;
// Progress gets Done plus the columns finished after each piece.
void RunValues(const EqualizeJob& Job, ColumnBand Band, ValueScratch& S,
               std::atomic<int32_t>& Progress, const std::atomic<bool>* Stop, int32_t Done = 0);

struct ProductionScratch {
  EngineIsa Isa = EngineIsa::Baseline;
  int32_t Lanes = 4;
  int32_t Base = 1;
  int32_t Groups = 1, SideRows = 0;
  size_t BinsStride = 0;
  int32_t RowBase = 0, Rows = 0, RingStride = 0;
  int32_t NextColumn = -1;  // the column after the last one run
  std::vector<float> Bins, Side, Weights;
  std::vector<int32_t> TFirst, TLast;
  std::vector<uint16_t> Ring, RowMinM1, RowMax, ColLo, ColHi;
  ValueScratch Values;  // the engine by value's, for its variants
  // Bytes held, for the memory figures of the benchmarks.
  size_t Bytes() const;
};
void PrepareProduction(const EqualizeJob& Job, ColumnBand Band, EngineIsa Isa,
                       ProductionScratch& S);
// A band starting at the column after the last one run continues the ring
// instead of refilling it.
void RunProduction(const EqualizeJob& Job, ColumnBand Band, ProductionScratch& S,
                   std::atomic<int32_t>& Progress, const std::atomic<bool>* Stop, int32_t Done = 0);

// ---- Workers ----------------------------------------------------------------------
// Hands the columns of a rectangle out in bands of up to Step columns, left
// to right, to whichever worker asks next, so that a worker whose columns are
// cheap (off the disc) takes more of them. Which worker computes a column
// changes none of its samples. Next is thread-safe; Reset is not.
class ColumnDealer {
 public:
  // Bands of up to Step columns, shrinking towards the end to what is left
  // divided by Shrink, but never below MinStep (taken as Step when larger).
  void Reset(int32_t First, int32_t Width, int32_t Step, int32_t MinStep = 4, int32_t Shrink = 16);
  // The next band; Last < First when every column has been handed out.
  ColumnBand Next();
  // How many bands there are at least.
  int32_t Bands() const {
    return (End_ - Next_.load(std::memory_order_relaxed) + Step_ - 1) / Step_;
  }

 private:
  std::atomic<int32_t> Next_{0};
  int32_t End_ = 0, Step_ = 1, MinStep_ = 1, Shrink_ = 16;
};
// Band width for Count workers over Width columns: small enough that the
// last band leaves the other workers idle only briefly, large enough that
// refilling a production worker's ring (2 x R columns) costs little.
int32_t DealStep(int32_t Width, int32_t Count);
// Resets Dealer for Count workers of variant Isa over the rectangle of Job.
// The engine by value sorts the samples of a band and R columns either
// side, so its bands are wider and shrink less.
void DealColumns(ColumnDealer& Dealer, const EqualizeJob& Job, int32_t Count, EngineIsa Isa);

struct WorkerScratch {
  EngineKind Kind = EngineKind::Production;
  ColumnBand Band;  // the fixed band, or the whole rectangle when dealt
  ColumnDealer* Dealer = nullptr;
  int32_t Done = 0;        // columns finished by this worker
  bool BandTaken = false;  // the fixed band has been run
  ReferenceScratch Reference;
  ProductionScratch Production;
};
// Sizes S for worker Index of Count (Job must be valid); throws std::bad_alloc.
// With a Dealer, the worker takes its columns from it and its scratch covers
// the whole rectangle (a worker with an Index past the dealer's band count
// would never get one and stays empty); without, it runs the fixed band
// BandOf(Index, Count).
void PrepareWorker(const EqualizeJob& Job, int32_t Index, int32_t Count, EngineKind Kind,
                   EngineIsa Isa, WorkerScratch& S, ColumnDealer* Dealer = nullptr);
// Runs one band of a prepared worker: the next dealt band, or the fixed band
// on the first call. Progress gets S.Done after each column. False when no
// band was left or *Stop was set.
bool RunNextBand(const EqualizeJob& Job, WorkerScratch& S, std::atomic<int32_t>& Progress,
                 const std::atomic<bool>* Stop);
// Runs a prepared worker until its columns are done or *Stop.
void RunWorker(const EqualizeJob& Job, WorkerScratch& S, std::atomic<int32_t>& Progress,
               const std::atomic<bool>* Stop);
// EqualizeBand with the production variant for Isa (which must be supported).
void EqualizeBandIsa(const EqualizeJob& Job, int32_t Index, int32_t Count,
                     std::atomic<int32_t>& Progress, EngineKind Kind, EngineIsa Isa,
                     const std::atomic<bool>* Stop = nullptr);

}  // namespace obra::detail
