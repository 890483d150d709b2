// FITS primary header: 80-byte cards read as keyword lines.
#include <array>
#include <cstring>
#include <limits>

#include "IOGraphics.h"
#include "ReaderSupport.h"

namespace obra {

namespace {

constexpr size_t CardBytes = 80;
// Characters 81 to 92 of the card buffer stay blank, so a value running to
// column 80 is still followed by blanks.
constexpr size_t CardBufferBytes = 92;
constexpr int64_t CardsPerBlock = 36;
constexpr int64_t BlockBytes = 2880;
// A header of more cards than this is not a header a person reads; the
// reader goes on parsing but stops storing cards, so a hostile file cannot
// make the record grow without bound.
constexpr size_t MaxStoredCards = 100000;

// True when every byte of the card is printable ASCII, as FITS requires of
// header cards.
bool IsTextCard(const char* Card) {
  for (size_t I = 0; I < CardBytes; ++I)
    if (Card[I] < 0x20 || Card[I] > 0x7e) return false;
  return true;
}

// Working values of one header read that do not go into the record.
struct FitsAxes {
  int32_t Naxis = 0;
  int32_t Naxis3 = 0;
  int32_t Bitpix = 0;
};

// Turns a card into a keyword line: the value indicator in column 9 becomes a
// blank, and from column 11 on a comment ("/" to the end) and the quotes of
// string values are blanked.
void CardToKeywordLine(std::array<char, CardBufferBytes>& Card) {
  Card[8] = ' ';
  bool InComment = false;
  for (size_t I = 10; I < CardBytes; ++I) {
    if (Card[I] == '/') InComment = true;
    if (InComment || Card[I] == '\'') Card[I] = ' ';
  }
}

// Offers one keyword line to every keyword, in the order of the header table.
void ParseCard(std::string_view Line, FitsAxes& A, ImageRecord& R) {
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
}

void SetDefaults(ImageRecord& R) {
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
  // read before into this record; 0 is then refused below.
  R.Width = 0;
  R.Height = 0;
}

// The two telescopes whose files need a fixed offset whatever BZERO says.
void ApplyTelescopeRules(ImageRecord& R) {
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

// The sample type text of a supported BITPIX, or nullptr.
const char* DataTypeOf(int32_t Bitpix) {
  switch (Bitpix) {
    case 8:
      return "BYTE";
    case 16:
      return "SMALLINT";
    case 32:
      return "INTEGER";
    case -32:
      return "SINGLE";
    case 64:
      return "COMP";
    case -64:
      return "DOUBLE";
    default:
      return nullptr;
  }
}

}  // namespace

void ReadFitsHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                    const MessageSink& Sink) {
  const std::string Name = BaseName(FileName);
  auto Fault = [&](const std::string& Text) {
    detail::Refuse(R, "FITS file " + Name + Text, ShowMessages, Sink);
  };

  R.HeaderCards.clear();
  detail::BinaryFile File(FileName);
  if (!File.IsOpen()) return Fault(" cannot be opened.");
  SetDefaults(R);
  bool StoreCards = true;

  FitsAxes Axes;
  int64_t Cards = 0;
  std::array<char, CardBufferBytes> Card;
  do {
    Card.fill(' ');
    if (!File.Read(Card.data(), CardBytes)) return Fault(" is truncated.");
    // Binary bytes mean the cards have run into data: nothing after them is stored.
    StoreCards = StoreCards && R.HeaderCards.size() < MaxStoredCards && IsTextCard(Card.data());
    if (StoreCards && std::memcmp(Card.data(), "END", 3) != 0)
      R.HeaderCards.emplace_back(Card.data(), CardBytes);
    CardToKeywordLine(Card);
    ParseCard(std::string_view(Card.data(), Card.size()), Axes, R);
    ++Cards;
  } while (File.Remaining() > 0 && std::memcmp(Card.data(), "END", 3) != 0);

  R.Valid = true;
  R.FileName = FileName;
  R.HasBZero = true;
  ApplyTelescopeRules(R);

  const bool Mono = Axes.Naxis == 2;
  const bool Colour = Axes.Naxis == 3 && Axes.Naxis3 == 3;
  if (Mono) R.Channels = 1;
  if (Colour) R.Channels = 3;
  if ((!Mono && !Colour) || R.Width <= 0 || R.Height <= 0) Fault(" is not a correct image file!");
  R.IsColorCube = Axes.Naxis3 == 3;

  // Only BITPIX values the standard defines: any other value with a valid
  // byte width (12, -8, -16 ...) would leave the sample type of an earlier
  // image in the record and make the pixel read overrun its buffer.
  const char* Type = DataTypeOf(Axes.Bitpix);
  R.BytesPerPixel = (Axes.Bitpix < 0 ? -Axes.Bitpix : Axes.Bitpix) / 8;
  if (Type) R.DataType = Type;
  if (!Type || (R.BytesPerPixel != 1 && R.BytesPerPixel != 2 && R.BytesPerPixel != 4))
    Fault(" has unsupported pixel format!");

  const int64_t Data = detail::PixelByteCount(
      R.Width, R.Height,
      int64_t{R.Channels > 0 ? R.Channels : 1} * (R.BytesPerPixel > 0 ? R.BytesPerPixel : 1));
  const int64_t Header = BlockBytes * (Cards / CardsPerBlock + (Cards % CardsPerBlock ? 1 : 0));
  R.SwapBytes = true;
  R.FlipRows = true;
  if (Data < 0 || Header > std::numeric_limits<int32_t>::max()) {
    R.DataSize = 0;
    R.HeaderSize = 0;
    return Fault(" is too large.");
  }
  R.DataSize = static_cast<int32_t>(Data);
  R.HeaderSize = static_cast<int32_t>(Header);
  if (File.Size() - Header - Data < 0) Fault(" has incorrect file size!");
}

}  // namespace obra
