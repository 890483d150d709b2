// FITS primary header: 80-byte cards read as keyword lines; files whose
// primary HDU holds no image go on to their extensions.
#include <algorithm>
#include <array>
#include <cstring>

#include "FitsHeader.h"
#include "FitsSupport.h"
#include "IOGraphics.h"
#include "ReaderSupport.h"
#include "ZEL_param.h"

namespace obra {

namespace detail {

namespace {

// Characters 81 to 92 of the card buffer stay blank, so a value running to
// column 80 is still followed by blanks.
constexpr size_t CardBufferBytes = 92;

// Turns a card into a keyword line: the value indicator in column 9 becomes a
// blank, and from column 11 on a comment ("/" to the end) and the quotes of
// string values are blanked.
void CardToKeywordLine(std::array<char, CardBufferBytes>& Card) {
  Card[8] = ' ';
  bool InComment = false;
  for (size_t I = 10; I < FitsCardBytes; ++I) {
    if (Card[I] == '/') InComment = true;
    if (InComment || Card[I] == '\'') Card[I] = ' ';
  }
}

// Offers one keyword line to every keyword, in the order of the header table.
void ParseLine(std::string_view Line, FitsAxes& A, ImageRecord& R) {
  // A key can only match a line that starts with its first letter; skipping
  // the others keeps a long run of binary "cards" (a file without END) cheap.
  const char First = Line[0] >= 'a' && Line[0] <= 'z' ? static_cast<char>(Line[0] - 32) : Line[0];
  if (std::strchr("NBDCRWTI", First) == nullptr || First == '\0') return;
  ParseKeyInt(Line, "NAXIS", A.Naxis);
  ParseKeyInt(Line, "NAXIS1", R.Width);
  ParseKeyInt(Line, "NAXIS2", R.Height);
  ParseKeyInt(Line, "NAXIS3", A.Naxis3);
  ParseKeyInt(Line, "BITPIX", A.Bitpix);
  ParseKeyDouble(Line, "BZERO", R.BZero);
  ParseKeyDouble(Line, "BSCALE", R.BScale);
  ParseKeyDouble(Line, "DATAMIN", R.DataMin);
  ParseKeyDouble(Line, "DATAMAX", R.DataMax);
  ParseKeyDouble(Line, "CRPIX1", R.CrPix1);
  ParseKeyDouble(Line, "CRPIX2", R.CrPix2);
  ParseKeyDouble(Line, "CROTA2", R.CRota2);
  ParseKeyDouble(Line, "CDELT1", R.CDelt1);
  ParseKeyDouble(Line, "CDELT2", R.CDelt2);
  ParseKeyDouble(Line, "R_SUN", R.RSun);
  ParseKeyInt(Line, "WAVELNTH", R.Wavelength);
  ParseKeyText(Line, "DATE-OBS", R.DateObs);
  ParseKeyText(Line, "TELESCOP", R.Telescope);
  ParseKeyText(Line, "INSTRUME", R.Instrument);
  ParseKeyInt(Line, "WAVE_LEN", A.WaveLen);
}

// The date and time keywords of the fallbacks, kept as written.
void ParseTimeCard(std::string_view Card, FitsAxes& A) {
  if (Card.size() < FitsCardBytes || Card[8] != '=') return;
  const std::string Key = UpperCase(Card.substr(0, 8));
  if (Key == "DATE-OBS")
    A.DateObs = CardValue(Card).value_or("");
  else if (Key == "DATE_OBS")
    A.DateObs_ = CardValue(Card).value_or("");
  else if (Key == "TIME-OBS" || (Key == "TIME_OBS" && A.TimeObs.empty()))
    A.TimeObs = CardValue(Card).value_or("");
}

}  // namespace

SampleType FitsDataTypeOf(int32_t Bitpix) {
  switch (Bitpix) {
    case 8:
      return SampleType::Byte;
    case 16:
      return SampleType::SmallInt;
    case 32:
      return SampleType::Integer;
    case -32:
      return SampleType::Single;
    case 64:
      return SampleType::Comp;
    case -64:
      return SampleType::Double;
    default:
      return SampleType::Unknown;
  }
}

void SetFitsDefaults(ImageRecord& R) {
  R.HeaderCards.clear();
  R.BZero = 0.0;
  R.BScale = 1.0;
  R.DataMax = -1.0;
  R.DataMin = 1.0;
  R.CrPix1 = -1.0;
  R.CrPix2 = -1.0;
  R.CRota2 = 0.0;
  R.RSun = -1.0;
  R.Wavelength = 0;
  R.DateObs.clear();
  R.Telescope.clear();
  R.Instrument.clear();
  // A header without NAXIS1 or NAXIS2 must not inherit the size of the image
  // read before into this record; 0 is then refused.
  R.Width = 0;
  R.Height = 0;
}

void ParseFitsCard(std::string_view RawCard, FitsAxes& A, ImageRecord& R) {
  std::array<char, CardBufferBytes> Card;
  Card.fill(' ');
  std::memcpy(Card.data(), RawCard.data(), std::min(RawCard.size(), FitsCardBytes));
  ParseTimeCard(std::string_view(Card.data(), FitsCardBytes), A);
  CardToKeywordLine(Card);
  ParseLine(std::string_view(Card.data(), Card.size()), A, R);
}

void CompleteFitsKeywords(const std::string& FileName, const FitsAxes& A, ImageRecord& R) {
  // Missions that write the channel and the time under other keywords.
  if (R.Wavelength == 0 && A.WaveLen > 0) R.Wavelength = A.WaveLen;
  if (R.DateObs.find('T') == std::string::npos) {
    const std::string Fallback = FallbackObsTime(A.DateObs, A.DateObs_, A.TimeObs);
    if (!Fallback.empty()) R.DateObs = Fallback;
  }
  R.Valid = true;
  R.FileName = FileName;
  R.HasBZero = true;
  // The two telescopes whose files need a fixed offset whatever BZERO says.
  if (R.Telescope.find("ZEL") != std::string::npos) {
    R.BScale = 1.0;
    R.BZero = 100.0;
    R.ValueOffset = 100;
  }
  if (R.Telescope.find("PROBA2") != std::string::npos) {
    R.BScale = 1.0;
    R.BZero = 32768.0;
    R.ValueOffset = 0;
  }
}

}  // namespace detail

void ReadFitsHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                    const MessageSink& Sink) {
  if (CompoundExtension(FileName).ends_with(".GZ"))
    return detail::ReadGzipFitsHeader(FileName, R, ShowMessages, Sink);
  const std::string Name = BaseName(FileName);
  auto Fault = [&](const std::string& Text) {
    detail::Refuse(R, "FITS file " + Name + Text, ShowMessages, Sink);
  };

  detail::BinaryFile File(FileName);
  if (!File.IsOpen()) return Fault(" cannot be opened.");
  detail::SetFitsDefaults(R);
  bool StoreCards = true;

  detail::FitsAxes Axes;
  int64_t Cards = 0;
  std::array<char, detail::FitsCardBytes> Card;
  do {
    if (!File.Read(Card.data(), Card.size())) return Fault(" is truncated.");
    const std::string_view Text(Card.data(), Card.size());
    detail::StoreFitsCard(Text, R, StoreCards);
    detail::NoteFirstCard(Text, Cards, Axes);
    detail::ParseFitsCard(Text, Axes, R);
    ++Cards;
  } while (File.Remaining() > 0 && std::memcmp(Card.data(), "END", 3) != 0);

  if (detail::LooksForExtension(Axes))
    return detail::ReadFitsExtensionHeader(FileName, nullptr, R, ShowMessages, Sink);
  detail::CompleteFitsKeywords(FileName, Axes, R);
  if (!detail::SizeFitsImage(Axes, Cards, R, Fault)) return;
  if (File.Size() - R.HeaderSize - R.DataSize < 0) Fault(" has incorrect file size!");
}

}  // namespace obra
