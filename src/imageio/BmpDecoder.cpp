// Our own BMP decoder: uncompressed 8, 24 and 32 bits per pixel behind a
// BITMAPINFOHEADER or one of its longer successors. Everything else (1, 4 and
// 16 bits, RLE, embedded JPEG or PNG, OS/2 headers) is refused as an
// unsupported pixel format; the header is checked against the file size before
// the picture is allocated.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "BMP_JPEGformat.h"
#include "ReaderSupport.h"

namespace obra {
namespace {

constexpr uint32_t BiRgb = 0;
constexpr uint32_t BiBitfields = 3;
constexpr size_t FileHeaderSize = 14;
constexpr size_t LargestInfoHeader = 124;
constexpr size_t MaskBytes = 12;

uint16_t Le16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | P[1] << 8); }
uint32_t Le32(const uint8_t* P) {
  return uint32_t{P[0]} | uint32_t{P[1]} << 8 | uint32_t{P[2]} << 16 | uint32_t{P[3]} << 24;
}

bool IsInfoHeaderSize(uint32_t Size) {
  return Size == 40 || Size == 52 || Size == 56 || Size == 108 || Size == 124;
}

}  // namespace

DecodeStatus DecodeBmpFile(const std::string& FileName, DecodedPicture& Picture) {
  Picture = DecodedPicture{};
  detail::BinaryFile File(FileName);
  if (!File.IsOpen()) return DecodeStatus::CannotOpen;
  const auto FileSize = static_cast<uint64_t>(File.Size());

  uint8_t Head[FileHeaderSize + LargestInfoHeader + MaskBytes] = {};
  const size_t Got = static_cast<size_t>(std::min<uint64_t>(sizeof Head, FileSize));
  if (!File.Read(Head, Got)) return DecodeStatus::Corrupt;
  if (Got < FileHeaderSize + 4 || Head[0] != 'B' || Head[1] != 'M') return DecodeStatus::Corrupt;
  const uint32_t PixelOffset = Le32(Head + 10);
  const uint32_t InfoSize = Le32(Head + FileHeaderSize);
  if (InfoSize == 12 || InfoSize == 64) return DecodeStatus::Unsupported;
  if (!IsInfoHeaderSize(InfoSize) || Got < FileHeaderSize + InfoSize) return DecodeStatus::Corrupt;

  const uint8_t* Info = Head + FileHeaderSize;
  const auto Width = static_cast<int32_t>(Le32(Info + 4));
  const auto StoredHeight = static_cast<int32_t>(Le32(Info + 8));
  const uint16_t Bits = Le16(Info + 14);
  const uint32_t Compression = Le32(Info + 16);
  // A negative height marks rows stored top first; its most negative value has no magnitude.
  if (Width <= 0 || StoredHeight == 0 || StoredHeight == std::numeric_limits<int32_t>::min())
    return DecodeStatus::Corrupt;
  const bool TopDown = StoredHeight < 0;
  const int32_t Height = TopDown ? -StoredHeight : StoredHeight;
  Picture.Width = Width;
  Picture.Height = Height;
  Picture.BitsPerPixel = Bits;

  size_t InfoEnd = FileHeaderSize + InfoSize;
  if (Compression == BiBitfields && Bits == 32) {
    // A 40-byte header is followed by the three masks; longer ones hold them.
    const uint8_t* Masks = Info + 40;
    if (InfoSize == 40) {
      if (Got < InfoEnd + MaskBytes) return DecodeStatus::Corrupt;
      InfoEnd += MaskBytes;
    }
    if (Le32(Masks) != 0x00FF0000u || Le32(Masks + 4) != 0x0000FF00u ||
        Le32(Masks + 8) != 0x000000FFu)
      return DecodeStatus::Unsupported;
  } else if (Compression != BiRgb || (Bits != 8 && Bits != 24 && Bits != 32)) {
    return DecodeStatus::Unsupported;
  }

  if (detail::PixelByteCount(Width, Height, Bits == 8 ? 1 : 3) < 0) return DecodeStatus::TooLarge;
  const uint64_t Stride = (uint64_t{static_cast<uint32_t>(Width)} * Bits + 31) / 32 * 4;
  const uint64_t RowBytes = uint64_t{static_cast<uint32_t>(Width)} * (Bits / 8);
  // The last row may lack its padding; everything else must be in the file.
  if (PixelOffset < InfoEnd || PixelOffset + Stride * (Height - 1) + RowBytes > FileSize)
    return DecodeStatus::Corrupt;

  Picture.RowBytes = RowBytes;
  Picture.Rows.resize(RowBytes * Height);
  for (int32_t I = 0; I < Height; ++I) {
    const int32_t Y = TopDown ? I : Height - 1 - I;
    if (!File.ReadAt(static_cast<int64_t>(PixelOffset + Stride * I),
                     Picture.Rows.data() + RowBytes * Y, RowBytes)) {
      Picture.Rows = {};  // the file shrank under us
      return DecodeStatus::Corrupt;
    }
  }
  return DecodeStatus::Ok;
}

}  // namespace obra
