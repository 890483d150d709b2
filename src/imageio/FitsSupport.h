// Pieces of the FITS reader shared by its three sources: the file on disk,
// a gzip file inflated into memory, and the HDUs that CFITSIO reads
// (tile-compressed images, images behind an empty primary HDU). Not part of
// the public interface of the module.
//
// Common rules: every source turns its 80-byte cards into keyword lines the
// same way and offers them to the same keyword table, so one header gives one
// record whatever the file's form. Sizes are checked with PixelByteCount
// before anything is inflated, decompressed or allocated.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "IOGraphics.h"
#include "ReaderSupport.h"

namespace obra::detail {

inline constexpr size_t FitsCardBytes = 80;
inline constexpr int64_t FitsBlockBytes = 2880;

// Values of one header read that do not go into the record as they are.
struct FitsAxes {
  int32_t Naxis = 0;
  int32_t Naxis3 = 0;
  int32_t Bitpix = 0;
  int32_t WaveLen = 0;   // WAVE_LEN, used when WAVELNTH gives no channel
  std::string DateObs;   // DATE-OBS as written (a "/" in it is kept)
  std::string DateObs_;  // DATE_OBS as written
  std::string TimeObs;   // TIME-OBS, or TIME_OBS when there is no TIME-OBS
  bool Simple = false;   // the first card is SIMPLE =, the file is FITS at all
};

// Sets the header defaults of a FITS read.
void SetFitsDefaults(ImageRecord& R);

// Offers one raw 80-byte card to the keyword table (after turning it into a
// keyword line) and to the keywords of the time and channel fallbacks.
void ParseFitsCard(std::string_view RawCard, FitsAxes& A, ImageRecord& R);

// After the last card: the time and channel fallbacks, then the fixed
// telescope rules; sets Valid, FileName and HasBZero.
void CompleteFitsKeywords(const std::string& FileName, const FitsAxes& A, ImageRecord& R);

// Channels, sample type and sizes from the axes; Fault receives each fault
// text suffix (" is not a correct image file!" ...). Returns false when the
// sizes do not fit the record (Fault has then had " is too large.").
template <typename FaultFn>
bool SizeFitsImage(const FitsAxes& A, int64_t Cards, ImageRecord& R, FaultFn Fault);

// True when the primary HDU holds no image the reader can take, but an
// extension may: NAXIS 0, or a cube of one plane, in a file that begins as
// FITS does (anything else is refused as it always was, never handed on).
inline bool LooksForExtension(const FitsAxes& A) {
  return A.Simple && (A.Naxis == 0 || (A.Naxis == 3 && A.Naxis3 == 1));
}

// A header of more cards than this is not a header a person reads; the
// readers go on parsing but stop storing cards, so a hostile file cannot make
// the record grow without bound.
inline constexpr size_t MaxStoredCards = 100000;

// Keeps Card in R.HeaderCards as the file stores it, END left out. Store turns
// false for good at the first card with bytes other than printable ASCII (the
// cards have run into data) or past MaxStoredCards.
inline void StoreFitsCard(std::string_view Card, ImageRecord& R, bool& Store) {
  for (const char C : Card) Store = Store && C >= 0x20 && C <= 0x7e;
  Store = Store && R.HeaderCards.size() < MaxStoredCards;
  if (Store && !Card.starts_with("END")) R.HeaderCards.emplace_back(Card);
}

// Notes whether the first card of a primary header is SIMPLE =.
inline void NoteFirstCard(std::string_view Card, int64_t Cards, FitsAxes& A) {
  if (Cards == 0) A.Simple = Card.starts_with("SIMPLE  =");
}

// A gzip file inflated into memory on demand. The compressed bytes are read
// once; Fill inflates only as far as asked, so a header can be checked before
// the data behind it is inflated.
class GzipStream {
 public:
  explicit GzipStream(const std::string& FileName);
  ~GzipStream();
  GzipStream(const GzipStream&) = delete;
  GzipStream& operator=(const GzipStream&) = delete;
  bool IsOpen() const { return Open_; }
  // Inflates until Bytes() holds Size bytes or the stream has no more;
  // returns whether Size bytes are there.
  bool Fill(size_t Size);
  // Inflates past the bytes in use (at most Budget more) to reach the end of
  // the stream and its check sum; true when the stream ended intact within
  // the budget, or still runs on sound beyond it.
  bool Verify(size_t Budget);
  // The inflated bytes so far; taken by Take.
  const std::vector<uint8_t>& Bytes() const { return Out_; }
  std::vector<uint8_t> Take() { return std::move(Out_); }
  // zlib's text for a corrupt stream, empty when the stream was only short.
  const std::string& Error() const { return Error_; }

 private:
  bool Inflate(uint8_t* To, size_t Size, size_t& Made);
  struct State;
  std::unique_ptr<State> Z_;
  std::vector<uint8_t> In_;
  std::vector<uint8_t> Out_;
  std::string Error_;
  bool Open_ = false;
  bool Ended_ = false;
};

// Reads the header of the image HDU CFITSIO chooses (the first 2-D image, or
// 3-D with NAXIS3 3 or 1) of the file on disk, or of File when it is given,
// into R. Sets ImageHdu; refuses with the reader's messages.
void ReadFitsExtensionHeader(const std::string& FileName,
                             std::shared_ptr<const std::vector<uint8_t>> File, ImageRecord& R,
                             bool ShowMessages, const MessageSink& Sink);

// Reads the samples of R.ImageHdu as big-endian bytes into Target (DataSize
// bytes), the form a plain file stores them in. False with Error on a fault.
bool ReadFitsExtensionPixels(const ImageRecord& R, uint8_t* Target, std::string& Error);

// Reads a gzip-compressed FITS file: its primary HDU exactly as the plain
// file's, or the image of an extension.
void ReadGzipFitsHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                        const MessageSink& Sink);

// ---- template body -----------------------------------------------------------

SampleType FitsDataTypeOf(int32_t Bitpix);

template <typename FaultFn>
bool SizeFitsImage(const FitsAxes& A, int64_t Cards, ImageRecord& R, FaultFn Fault) {
  const bool Mono = A.Naxis == 2;
  const bool Colour = A.Naxis == 3 && A.Naxis3 == 3;
  if (Mono) R.Channels = 1;
  if (Colour) R.Channels = 3;
  if ((!Mono && !Colour) || R.Width <= 0 || R.Height <= 0) Fault(" is not a correct image file!");
  R.IsColorCube = A.Naxis3 == 3;

  // Only BITPIX values the standard defines: any other value with a valid
  // byte width (12, -8, -16 ...) would leave the sample type of an earlier
  // image in the record and make the pixel read overrun its buffer.
  const SampleType Type = FitsDataTypeOf(A.Bitpix);
  R.BytesPerPixel = (A.Bitpix < 0 ? -A.Bitpix : A.Bitpix) / 8;
  if (Type != SampleType::Unknown) R.SetDataSample(Type);
  if (Type == SampleType::Unknown) Fault(" has unsupported pixel format!");

  const int64_t Data = PixelByteCount(
      R.Width, R.Height,
      int64_t{R.Channels > 0 ? R.Channels : 1} * (R.BytesPerPixel > 0 ? R.BytesPerPixel : 1));
  const int64_t Blocks = Cards / (FitsBlockBytes / FitsCardBytes);
  const bool Partial = Cards % (FitsBlockBytes / FitsCardBytes) != 0;
  const int64_t Header = FitsBlockBytes * (Blocks + (Partial ? 1 : 0));
  R.SwapBytes = true;
  R.FlipRows = true;
  if (Data < 0 || Header > INT32_MAX) {
    R.DataSize = 0;
    R.HeaderSize = 0;
    Fault(" is too large.");
    return false;
  }
  R.DataSize = static_cast<int32_t>(Data);
  R.HeaderSize = static_cast<int32_t>(Header);
  return true;
}

}  // namespace obra::detail
