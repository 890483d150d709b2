// Rendering of a 16-bit result into the 24-bit picture.
//
// At a reduction s the s rows of a block row are first summed column by column
// (a loop the compiler vectorizes), then each group of s column sums forms the
// block sum. Sums are exact 32-bit integers and the rounded mean is an integer
// division, so the picture equals BoxAverage pixel by pixel.
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "Display.h"
#include "ParallelRanges.h"

namespace obra {
namespace {

constexpr size_t MinSamplesPerThread = size_t(1) << 20;

// Sum / Count rounded half to even, for Count 1..100 and sums of at most
// Count x 65535 (below 2^23). Multiplying by ceil(2^32 / Count) errs by less
// than 2^-9 < 1 / Count, so the quotient is the exact floor.
class RoundedMean {
 public:
  constexpr explicit RoundedMean(uint32_t Count)
      : Count_(Count), Reciprocal_(((uint64_t(1) << 32) + Count - 1) / Count) {}

  constexpr uint32_t operator()(uint32_t Sum) const {
    uint32_t Q = uint32_t((uint64_t(Sum) * Reciprocal_) >> 32);
    const uint32_t Twice = 2 * (Sum - Q * Count_);
    if (Twice > Count_ || (Twice == Count_ && (Q & 1) != 0)) ++Q;
    return Q;
  }

 private:
  uint32_t Count_;
  uint64_t Reciprocal_;
};

void PutGrey(uint8_t* Pixel, uint8_t G) {
  Pixel[0] = G;
  Pixel[1] = G;
  Pixel[2] = G;
}

void RenderRowsFull(Picture24& P, const uint16_t* Source, const DisplayLutType& Lut, size_t Begin,
                    size_t End) {
  const size_t W = size_t(P.Width);
  for (size_t Y = Begin; Y < End; ++Y) {
    const uint16_t* In = Source + Y * W;
    uint8_t* Out = P.Pixels.data() + Y * W * 3;
    for (size_t X = 0; X < W; ++X) PutGrey(Out + 3 * X, Lut[In[X]]);
  }
}

// Scale is a template argument so that the block sums and the division by
// Scale x Scale compile to fixed, unrolled code.
template <uint32_t Scale>
void RenderRowsReduced(Picture24& P, const uint16_t* Source, size_t SourceWidth,
                       const DisplayLutType& Lut, size_t Begin, size_t End) {
  const size_t W = size_t(P.Width);
  const size_t Used = W * Scale;  // the last Width mod s columns are not shown
  const RoundedMean Mean(Scale * Scale);
  std::vector<uint32_t> Columns(Used);
  for (size_t Y = Begin; Y < End; ++Y) {
    const uint16_t* In = Source + Y * Scale * SourceWidth;
    for (size_t X = 0; X < Used; ++X) Columns[X] = In[X];
    for (size_t R = 1; R < Scale; ++R) {
      In += SourceWidth;
      for (size_t X = 0; X < Used; ++X) Columns[X] += In[X];
    }
    uint8_t* Out = P.Pixels.data() + Y * W * 3;
    for (size_t X = 0; X < W; ++X) {
      const uint32_t* Block = Columns.data() + X * Scale;
      uint32_t Sum = 0;
      for (size_t K = 0; K < Scale; ++K) Sum += Block[K];
      PutGrey(Out + 3 * X, Lut[Mean(Sum)]);
    }
  }
}

using RowRenderer = void (*)(Picture24&, const uint16_t*, size_t, const DisplayLutType&, size_t,
                             size_t);

template <uint32_t... Scales>
constexpr std::array<RowRenderer, sizeof...(Scales)> MakeRenderers(
    std::integer_sequence<uint32_t, Scales...>) {
  return {&RenderRowsReduced<Scales + 2>...};
}

// Reduced renderers for the scales 2..10.
constexpr auto ReducedRenderers = MakeRenderers(std::make_integer_sequence<uint32_t, 9>());
static_assert(ReducedRenderers.size() == MaxDisplayScale - 1);

}  // namespace

uint16_t BoxAverage(std::span<const uint16_t> Source, int32_t Width, int32_t X, int32_t Y,
                    int32_t Scale) {
  if (Scale < 1 || Scale > MaxDisplayScale || Width < 1 || X < 0 || Y < 0) return 0;
  const size_t S = size_t(Scale);
  const size_t Left = size_t(X) * S, Top = size_t(Y) * S;
  if (Left + S > size_t(Width)) return 0;
  if ((Top + S) * size_t(Width) > Source.size()) return 0;
  uint32_t Sum = 0;
  for (size_t R = 0; R < S; ++R)
    for (size_t C = 0; C < S; ++C) Sum += Source[(Top + R) * size_t(Width) + Left + C];
  return uint16_t(RoundedMean(uint32_t(S * S))(Sum));
}

bool RenderImage(Picture24& Picture, const ImageRecord& R, std::span<const uint16_t> Source,
                 int32_t Scale, const DisplayLutType& Lut, const TimeOverlay* Overlay,
                 const ColourTable* Colours) {
  if (!R.Valid || Scale < 1 || Scale > MaxDisplayScale || R.Width < 0 || R.Height < 0) return false;
  if (size_t(R.Width) * size_t(R.Height) > Source.size()) return false;
  Picture.Width = R.Width / Scale;
  Picture.Height = R.Height / Scale;
  Picture.Pixels.resize(size_t(Picture.Width) * size_t(Picture.Height) * 3);
  const size_t Rows = size_t(Picture.Height);
  const size_t SamplesPerRow = std::max<size_t>(size_t(R.Width) * size_t(Scale), 1);
  const size_t MinRows = std::max<size_t>(MinSamplesPerThread / SamplesPerRow, 1);
  ParallelRanges(Rows, MinRows, [&](size_t Begin, size_t End) {
    if (Scale == 1)
      RenderRowsFull(Picture, Source.data(), Lut, Begin, End);
    else
      ReducedRenderers[size_t(Scale - 2)](Picture, Source.data(), size_t(R.Width), Lut, Begin, End);
  });
  if (Colours != nullptr) ApplyColourTable(Picture, *Colours);
  if (Overlay != nullptr) DrawTimeText(Picture, *Overlay, Scale);
  return true;
}

}  // namespace obra
