// Cut-outs of a picture for the region saves.
#include <algorithm>
#include <cstring>

#include "PngWriter.h"

namespace obra {

Picture24 CutPicture(const Picture24& Picture, int32_t X, int32_t Y, int32_t W, int32_t H) {
  Picture24 Cut;
  if (Picture.Width <= 0 || Picture.Height <= 0 ||
      Picture.Pixels.size() != size_t(Picture.Width) * size_t(Picture.Height) * 3)
    return Cut;
  // In 64 bits, so that no corner or size can overflow while clamping.
  const int64_t Left = std::clamp<int64_t>(X, 0, Picture.Width);
  const int64_t Top = std::clamp<int64_t>(Y, 0, Picture.Height);
  const int64_t Right = std::clamp<int64_t>(int64_t(X) + std::max(W, 0), Left, Picture.Width);
  const int64_t Bottom = std::clamp<int64_t>(int64_t(Y) + std::max(H, 0), Top, Picture.Height);
  if (Right == Left || Bottom == Top) return Cut;
  Cut.Width = int32_t(Right - Left);
  Cut.Height = int32_t(Bottom - Top);
  Cut.Pixels.resize(size_t(Cut.Width) * size_t(Cut.Height) * 3);
  const size_t RowBytes = size_t(Cut.Width) * 3;
  for (int32_t Row = 0; Row < Cut.Height; ++Row) {
    const uint8_t* From =
        Picture.Pixels.data() + ((size_t(Top) + Row) * size_t(Picture.Width) + size_t(Left)) * 3;
    std::memcpy(Cut.Pixels.data() + size_t(Row) * RowBytes, From, RowBytes);
  }
  return Cut;
}

}  // namespace obra
