// PNG input: the five loader calls over libpng, and the header and pixel
// readers of the load pipeline built on them.
//
// libpng reports a fault by calling our error handler, which jumps back to the
// setjmp of the function that made the call. Those functions keep only plain
// locals; everything that must be released lives in a PngSession owned by
// their caller, so a jump skips no destructor.
#include "PNGformat.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "DecodedSupport.h"
#include "ReaderSupport.h"

namespace obra {
namespace {

// A deflate stream expands at most 1032-fold (a 258-byte match costs two bits
// at least), so a file too small for its pixels is truncated or forged. This
// keeps a tiny hostile file from making the pipeline allocate gigabytes.
constexpr double MaxDeflateRatio = 1032.0;

[[noreturn]] void OnPngError(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

struct PngSession {
  std::FILE* File = nullptr;
  png_structp Png = nullptr;
  png_infop Info = nullptr;

  PngSession() = default;
  PngSession(const PngSession&) = delete;
  PngSession& operator=(const PngSession&) = delete;
  ~PngSession() {
    if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
    if (File) std::fclose(File);
  }

  bool Open(const char* FileName) {
    // A pipe or device named like a picture would block the read.
    if (!detail::IsRegularFile(FileName)) return false;
    File = std::fopen(FileName, "rb");
    if (!File) return false;
    Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!Png) return false;
    Info = png_create_info_struct(Png);
    return Info != nullptr;
  }
};

struct PngShape {
  png_uint_32 Width = 0;
  png_uint_32 Height = 0;
  int BitDepth = 0;
  int ColorType = 0;
  int FileChannels = 0;  // samples per pixel as stored (palette: 1)
};

// Reads the chunks before the first IDAT. False on any libpng fault.
bool ReadPngInfo(PngSession& S, PngShape& Shape) {
  if (setjmp(png_jmpbuf(S.Png))) return false;
  png_init_io(S.Png, S.File);
  png_read_info(S.Png, S.Info);
  Shape.Width = png_get_image_width(S.Png, S.Info);
  Shape.Height = png_get_image_height(S.Png, S.Info);
  Shape.BitDepth = png_get_bit_depth(S.Png, S.Info);
  Shape.ColorType = png_get_color_type(S.Png, S.Info);
  Shape.FileChannels = png_get_channels(S.Png, S.Info);
  return true;
}

bool IsColour(const PngShape& Shape) { return (Shape.ColorType & PNG_COLOR_MASK_COLOR) != 0; }

// Sets libpng up to deliver WantChannels samples of WantDepth bits, decodes
// every pass into Rows (Height rows of exactly the delivered size) and checks
// the rest of the file up to IEND. False on any fault.
bool ReadPngRows(PngSession& S, const PngShape& Shape, int WantChannels, int WantDepth,
                 png_bytep Rows) {
  if (setjmp(png_jmpbuf(S.Png))) return false;
  if (Shape.ColorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(S.Png);
  if (Shape.ColorType == PNG_COLOR_TYPE_GRAY && Shape.BitDepth < 8)
    png_set_expand_gray_1_2_4_to_8(S.Png);
  png_set_strip_alpha(S.Png);
  if (WantDepth == 8 && Shape.BitDepth == 16) png_set_scale_16(S.Png);
  if (WantDepth == 16 && Shape.BitDepth < 16) png_set_expand_16(S.Png);
  if (WantDepth == 16 && std::endian::native == std::endian::little) png_set_swap(S.Png);
  if (WantChannels == 3 && !IsColour(Shape)) png_set_gray_to_rgb(S.Png);
  const int Passes = png_set_interlace_handling(S.Png);
  png_read_update_info(S.Png, S.Info);

  const size_t RowBytes = size_t{Shape.Width} * WantChannels * (WantDepth / 8);
  if (png_get_channels(S.Png, S.Info) != WantChannels ||
      png_get_bit_depth(S.Png, S.Info) != WantDepth || png_get_rowbytes(S.Png, S.Info) != RowBytes)
    return false;
  for (int Pass = 0; Pass < Passes; ++Pass)
    for (png_uint_32 Y = 0; Y < Shape.Height; ++Y)
      png_read_row(S.Png, Rows + size_t{Y} * RowBytes, nullptr);
  png_read_end(S.Png, nullptr);
  return true;
}

// The channel count and depth the loaders deliver for a file of this shape.
int DeliveredChannels(const PngShape& Shape) { return IsColour(Shape) ? 3 : 1; }
int DeliveredDepth(const PngShape& Shape) { return Shape.BitDepth == 16 ? 16 : 8; }

bool FileCanHoldPixels(const char* FileName, const PngShape& Shape) {
  std::error_code Ec;
  const auto FileSize = std::filesystem::file_size(FileName, Ec);
  if (Ec) return false;
  const double PixelBytes =
      static_cast<double>(Shape.Width) * Shape.Height * Shape.FileChannels * Shape.BitDepth / 8.0;
  return PixelBytes <= static_cast<double>(FileSize) * MaxDeflateRatio;
}

int LoadPng(const char* FileName, void* Buffer, int32_t Width, int32_t Height, int WantChannels,
            int WantDepth) {
  if (!FileName || !Buffer || Width <= 0 || Height <= 0) return 0;
  PngSession S;
  PngShape Shape;
  if (!S.Open(FileName) || !ReadPngInfo(S, Shape)) return 0;
  // The buffer was sized for the header read; a file that changed since must
  // not write past it.
  if (Shape.Width != static_cast<png_uint_32>(Width) ||
      Shape.Height != static_cast<png_uint_32>(Height))
    return 0;
  // A colour image is never folded into one grey channel behind the caller's back.
  if (WantChannels == 1 && IsColour(Shape)) return 0;
  return ReadPngRows(S, Shape, WantChannels, WantDepth, static_cast<png_bytep>(Buffer)) ? 1 : 0;
}

}  // namespace

int get_png_info(const char* FileName, int32_t* Width, int32_t* Height, int32_t* BitDepth,
                 int32_t* Channels) {
  int32_t W = 0, H = 0, Depth = 0, Ch = 0;
  int Result = 0;
  if (FileName) {
    PngSession S;
    PngShape Shape;
    if (S.Open(FileName) && ReadPngInfo(S, Shape) && FileCanHoldPixels(FileName, Shape) &&
        Shape.Width <= static_cast<png_uint_32>(std::numeric_limits<int32_t>::max()) &&
        Shape.Height <= static_cast<png_uint_32>(std::numeric_limits<int32_t>::max())) {
      W = static_cast<int32_t>(Shape.Width);
      H = static_cast<int32_t>(Shape.Height);
      Depth = DeliveredDepth(Shape);
      Ch = DeliveredChannels(Shape);
      Result = 1;
    }
  }
  if (Width) *Width = W;
  if (Height) *Height = H;
  if (BitDepth) *BitDepth = Depth;
  if (Channels) *Channels = Ch;
  return Result;
}

int load_png_gray8(const char* FileName, void* Buffer, int32_t Width, int32_t Height) {
  return LoadPng(FileName, Buffer, Width, Height, 1, 8);
}
int load_png_gray16(const char* FileName, void* Buffer, int32_t Width, int32_t Height) {
  return LoadPng(FileName, Buffer, Width, Height, 1, 16);
}
int load_png_rgb8(const char* FileName, void* Buffer, int32_t Width, int32_t Height) {
  return LoadPng(FileName, Buffer, Width, Height, 3, 8);
}
int load_png_rgb16(const char* FileName, void* Buffer, int32_t Width, int32_t Height) {
  return LoadPng(FileName, Buffer, Width, Height, 3, 16);
}

void ReadPngHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                   const MessageSink& Sink) {
  R.Valid = true;
  R.ErrorText.clear();
  const std::string Name = BaseName(FileName);
  int32_t Width = 0, Height = 0, BitDepth = 0, Channels = 0;
  if (get_png_info(FileName.c_str(), &Width, &Height, &BitDepth, &Channels) != 1)
    detail::RefuseDecoded(R, Name + " is not a correct PNG file.", ShowMessages, Sink);

  R.FileName = FileName;
  R.Width = Width;
  R.Height = Height;
  R.Channels = Channels == 1 ? 1 : 3;
  // Only 8 and 16 bits come back from a good file; a refused one leaves no
  // sample type of an earlier image behind.
  if (BitDepth == 16) {
    R.SetDataSample(SampleType::Word);
    R.BytesPerPixel = 2 * R.Channels;
  } else if (BitDepth == 8) {
    R.SetDataSample(SampleType::Byte);
    R.BytesPerPixel = R.Channels;
  } else {
    R.SetDataSample(SampleType::Unknown);
    R.BytesPerPixel = 0;
  }
  const int64_t Bytes = detail::PixelByteCount(R.Width, R.Height, R.BytesPerPixel);
  if (Bytes < 0) detail::RefuseDecoded(R, "File " + Name + " is too large.", ShowMessages, Sink);
  R.DataSize = static_cast<int32_t>(std::max<int64_t>(Bytes, 0));
  detail::SetDecodedLayout(R);
  R.DecodedBitmap.reset();
}

bool ReadPngPixels(ImageRecord& R, std::vector<uint16_t>& Buffer) {
  using Loader = int (*)(const char*, void*, int32_t, int32_t);
  Loader Load = nullptr;
  if (R.Channels == 1 && R.BytesPerPixel == 1) Load = load_png_gray8;
  if (R.Channels == 1 && R.BytesPerPixel == 2) Load = load_png_gray16;
  if (R.Channels == 3 && R.BytesPerPixel == 3) Load = load_png_rgb8;
  if (R.Channels == 3 && R.BytesPerPixel == 6) Load = load_png_rgb16;
  const int64_t Bytes = int64_t{R.Width} * R.Height * R.BytesPerPixel;
  if (!Load || R.Width <= 0 || R.Height <= 0 ||
      Bytes > static_cast<int64_t>(Buffer.size() * sizeof(uint16_t))) {
    R.Valid = false;
    return false;
  }
  if (Load(R.FileName.c_str(), Buffer.data(), R.Width, R.Height) != 1) {
    R.Valid = false;
    R.ErrorText = BaseName(R.FileName) + " is not a correct PNG file.";
    return false;
  }
  return true;
}

}  // namespace obra
