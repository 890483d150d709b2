// JPEG decoding through libjpeg-turbo into a DecodedPicture: grey files to
// 8 bits per pixel, YCbCr and RGB files to 24 bits (B, G, R like a BMP).
//
// libjpeg's default fault handler ends the process and its messages go to
// stderr; ours jump back to the setjmp of the function that called the
// library. Those functions keep only plain locals, and what must be released
// lives in a JpegSession owned by their caller, so a jump skips no destructor.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <limits>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo is needed: colour rows are decoded straight into B, G, R order"
#endif

#include "BMP_JPEGformat.h"
#include "ReaderSupport.h"

namespace obra {
namespace {

// libjpeg's own working memory (whole-image coefficient buffers of progressive
// files) stays under the ceiling of a decoded picture.
constexpr long MaxJpegMemory = long{std::numeric_limits<int32_t>::max()};
// A progressive file may repeat scans without end; real ones have a dozen.
constexpr int MaxScans = 1000;

struct JpegErrors {
  jpeg_error_mgr Pub;  // first, so that libjpeg's pointer to it is ours too
  std::jmp_buf Jump;
  bool Unsupported = false;
};

[[noreturn]] void Bail(j_common_ptr C) {
  std::longjmp(reinterpret_cast<JpegErrors*>(C->err)->Jump, 1);
}

void OnJpegError(j_common_ptr C) {
  if (C->err->msg_code == JERR_BAD_PRECISION)
    reinterpret_cast<JpegErrors*>(C->err)->Unsupported = true;
  Bail(C);
}

// These warnings mean libjpeg filled lost or damaged data with grey to carry
// on; such a picture is not the file's, so the decode ends there.
bool LosesData(int Code) {
  return Code == JWRN_JPEG_EOF || Code == JWRN_HIT_MARKER || Code == JWRN_HUFF_BAD_CODE ||
         Code == JWRN_ARITH_BAD_CODE || Code == JWRN_MUST_RESYNC || Code == JWRN_NOT_SEQUENTIAL ||
         Code == JWRN_BOGUS_PROGRESSION;
}

void OnJpegMessage(j_common_ptr C, int Level) {
  if (Level < 0 && LosesData(C->err->msg_code)) Bail(C);
}

void OnJpegOutput(j_common_ptr) {}

void OnJpegProgress(j_common_ptr C) {
  if (reinterpret_cast<j_decompress_ptr>(C)->input_scan_number > MaxScans) Bail(C);
}

struct JpegSession {
  jpeg_decompress_struct Info{};
  JpegErrors Errors{};
  jpeg_progress_mgr Progress{};
  std::FILE* File = nullptr;

  JpegSession() = default;
  JpegSession(const JpegSession&) = delete;
  JpegSession& operator=(const JpegSession&) = delete;
  // Safe also when creation failed: a zeroed struct has no memory manager.
  ~JpegSession() {
    jpeg_destroy_decompress(&Info);
    if (File) std::fclose(File);
  }
};

// Creates the decompressor and reads the markers up to the first scan.
bool ReadJpegHeader(JpegSession& S) {
  S.Info.err = jpeg_std_error(&S.Errors.Pub);
  S.Errors.Pub.error_exit = OnJpegError;
  S.Errors.Pub.emit_message = OnJpegMessage;
  S.Errors.Pub.output_message = OnJpegOutput;
  if (setjmp(S.Errors.Jump)) return false;
  jpeg_create_decompress(&S.Info);
  S.Info.mem->max_memory_to_use = MaxJpegMemory;
  S.Progress.progress_monitor = OnJpegProgress;
  S.Info.progress = &S.Progress;
  jpeg_stdio_src(&S.Info, S.File);
  jpeg_read_header(&S.Info, TRUE);
  return true;
}

// Decodes every row into Picture, whose size and depth are already set, and
// reads on to the end of the image. Rows grow as they are decoded, so a forged
// header over a short file never costs the memory it promises.
bool ReadJpegRows(JpegSession& S, DecodedPicture& Picture) {
  if (setjmp(S.Errors.Jump)) return false;
  const int Components = Picture.BitsPerPixel / 8;
  S.Info.out_color_space = Components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_start_decompress(&S.Info);
  if (S.Info.output_width != static_cast<JDIMENSION>(Picture.Width) ||
      S.Info.output_height != static_cast<JDIMENSION>(Picture.Height) ||
      S.Info.output_components != Components)
    return false;
  const size_t RowBytes = size_t{S.Info.output_width} * Components;
  Picture.RowBytes = RowBytes;
  Picture.Rows.reserve(RowBytes * S.Info.output_height);
  while (S.Info.output_scanline < S.Info.output_height) {
    const size_t Y = S.Info.output_scanline;
    Picture.Rows.resize(RowBytes * (Y + 1));
    JSAMPROW Row = Picture.Rows.data() + RowBytes * Y;
    if (jpeg_read_scanlines(&S.Info, &Row, 1) != 1) return false;
  }
  jpeg_finish_decompress(&S.Info);
  return true;
}

}  // namespace

DecodeStatus DecodeJpegFile(const std::string& FileName, DecodedPicture& Picture) {
  Picture = DecodedPicture{};
  JpegSession S;
  S.File = std::fopen(FileName.c_str(), "rb");
  if (!S.File) return DecodeStatus::CannotOpen;
  if (!ReadJpegHeader(S))
    return S.Errors.Unsupported ? DecodeStatus::Unsupported : DecodeStatus::Corrupt;

  Picture.Width = static_cast<int32_t>(S.Info.image_width);
  Picture.Height = static_cast<int32_t>(S.Info.image_height);
  const J_COLOR_SPACE Space = S.Info.jpeg_color_space;
  if (Space == JCS_GRAYSCALE && S.Info.num_components == 1)
    Picture.BitsPerPixel = 8;
  else if ((Space == JCS_YCbCr || Space == JCS_RGB) && S.Info.num_components == 3)
    Picture.BitsPerPixel = 24;
  else
    return DecodeStatus::Unsupported;
  if (detail::PixelByteCount(Picture.Width, Picture.Height, Picture.BitsPerPixel / 8) < 0)
    return DecodeStatus::TooLarge;

  if (!ReadJpegRows(S, Picture)) {
    Picture.Rows = {};
    return DecodeStatus::Corrupt;
  }
  return DecodeStatus::Ok;
}

}  // namespace obra
