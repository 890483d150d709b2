// Image record, load pipeline, FITS and BIF readers, statistics.
//
// Common rules of this module:
//  - Every reader fills an ImageRecord and reports success through its Valid
//    flag. Fault texts go to the MessageSink the caller passes, and only when
//    ShowMessages is true (a few texts are "always shown" and ignore it).
//    Nothing here throws to the caller, pops a window or ends the process.
//  - Working buffers are std::vector<uint16_t> owned by the caller; after a
//    load with ConvertToBits 16 they hold Width x Height x Channels native
//    16-bit samples, row 0 at the top. Sample value 0 means "no data".
//  - A file shorter than its header promises, or sizes that overflow, are
//    refused with a message and Valid false before anything is allocated.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "KeywordLine.h"
#include "SampleType.h"

namespace obra {

// Receives the text of a fault that is to be shown to the user.
using MessageSink = std::function<void(const std::string&)>;

// A decoded BMP or JPEG picture, kept from the header read to the pixel read.
struct DecodedPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitsPerPixel = 0;   // 8, 24 or 32 (others are refused)
  std::vector<uint8_t> Rows;  // top row first; 8 bpp: index, 24 bpp: B,G,R, 32 bpp: B,G,R,X
  size_t RowBytes = 0;        // bytes per row in Rows
};

// The description of one image. Field names and order follow the image record
// the whole program shares; texts are owned strings.
struct ImageRecord {
  std::string FileName;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Channels = 0;
  std::string ResultType;
  bool Valid = false;
  std::string ErrorText;
  // Percentile statistics, see ComputeStatistics.
  int32_t MinValue = 0, Low20 = 0, Low10 = 0, Low1 = 0, LowP1 = 0, LowP01 = 0, LowP001 = 0,
          LowP0001 = 0;
  int32_t MaxValue = 0, High20 = 0, High10 = 0, High1 = 0, HighP1 = 0, HighP01 = 0, HighP001 = 0,
          HighP0001 = 0;
  int32_t ValueOffset = 0;
  int32_t DataSize = 0;
  int32_t HeaderSize = 0;
  bool IsColorCube = false;
  int32_t BytesPerPixel = 0;
  std::string DataType;
  bool SwapBytes = false;
  bool FlipRows = false;
  bool HasBZero = false;
  double BZero = 0.0;
  double BScale = 0.0;
  double DataMin = 0.0;
  double DataMax = 0.0;
  double CrPix1 = 0.0;
  double CrPix2 = 0.0;
  double CRota2 = 0.0;
  double CDelt1 = 0.0;
  double CDelt2 = 0.0;
  int32_t Wavelength = 0;
  std::string DateObs;
  std::string Telescope;
  std::string Instrument;
  double RSun = 0.0;
  std::shared_ptr<DecodedPicture> DecodedBitmap;  // BMP/JPEG only
  // The header cards of the image as stored in the file (FITS: the image
  // HDU's 80-character cards in file order, END and what follows it left
  // out); empty for formats without such a header. Every header read clears
  // it first, so a record never shows the cards of an earlier image.
  std::vector<std::string> HeaderCards;
  // FITS pixels that are not DataSize bytes at HeaderSize of FileName on disk:
  // a gzip file inflated into memory (HeaderSize and DataSize then count in
  // it), and, when ImageHdu is not 0, the 1-based HDU whose image is read
  // through CFITSIO (from InflatedFile when it is set, else from FileName).
  std::shared_ptr<const std::vector<uint8_t>> InflatedFile;
  int32_t ImageHdu = 0;

  // The sample type DataType names (as stored in the file).
  SampleType DataSample() const { return ParseSampleType(DataType); }
  // The sample type ResultType names (as held in the working buffer).
  SampleType ResultSample() const { return ParseSampleType(ResultType); }
  // Sets DataType to the text of T.
  void SetDataSample(SampleType T) { DataType = SampleTypeText(T); }
  // Sets ResultType to the text of T.
  void SetResultSample(SampleType T) { ResultType = SampleTypeText(T); }
};

// The extensions the full load accepts; the test is a substring search.
inline constexpr std::string_view SupportedExtensions =
    "*.BIF;*.FIT;*.FTS;*.FITS;*.TIF;*.TIFF;*.PNG;*.BMP;*.JPG;*.JPEG;*.ACT";

// ---- Load pipeline ---------------------------------------------------------
// Header-only read through the reader for the file's extension. Does nothing
// when the file does not exist; clears HasBZero and ValueOffset first.
void ReadImageHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                     const MessageSink& Sink);

// Full load: header, pixels into Buffer, then whole-image statistics.
// ConvertToBits 16 widens 8-bit data and converts signed and 4-byte samples to
// the 16-bit working form; 0 leaves "WORD" data as stored (activation files).
void LoadImageFile(const std::string& FileName, ImageRecord& R, std::vector<uint16_t>& Buffer,
                   int ConvertToBits, bool Allocate, bool ShowMessages, const MessageSink& Sink);

// Reads the pixels the record describes and converts them; called by
// LoadImageFile after a reader has set Valid. Clears Valid on any fault.
void LoadAndTransformImage(ImageRecord& R, std::vector<uint16_t>& Buffer, int ConvertToBits,
                           bool Allocate, const MessageSink& Sink);

// ---- Readers (fill the record only) ----------------------------------------
void ReadFitsHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                    const MessageSink& Sink);
void ReadBifHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                   const MessageSink& Sink);

// ---- Statistics ------------------------------------------------------------
// Sixteen percentile levels of the non-zero samples into R (only those fields
// are written). Sample types other than "BYTE" and "WORD" give all zeros.
void ComputeStatistics(ImageRecord& R, const uint16_t* Samples);
// The same over a rectangle; a rectangle without data falls back to the whole image.
void ComputeRoiStatistics(int32_t Left, int32_t Top, int32_t Width, int32_t Height, ImageRecord& R,
                          const uint16_t* Samples);
// The same over the solar disc (1.15 x RSun around CrPix1, CrPix2).
void ComputeDiscStatistics(ImageRecord& R, const uint16_t* Samples);

}  // namespace obra
