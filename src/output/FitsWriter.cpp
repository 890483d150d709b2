// Unsigned 16-bit FITS files.
#include "FitsWriter.h"

#include <algorithm>
#include <cstdio>

#include "FitsHeader.h"

namespace obra {
namespace {

constexpr size_t CardBytes = 80;
constexpr size_t BlockBytes = 2880;

// A value card: keyword in columns 1-8, "= ", the value right-aligned to
// column 30 as fixed-format FITS writes numbers and logicals.
std::string ValueCard(std::string_view Key, std::string_view Value) {
  char Text[CardBytes + 1];
  std::snprintf(Text, sizeof Text, "%-8.8s= %20.20s", std::string(Key).c_str(),
                std::string(Value).c_str());
  std::string Card(Text);
  Card.resize(CardBytes, ' ');
  return Card;
}

bool IsTextCard(const std::string& Card) {
  return Card.size() == CardBytes &&
         std::all_of(Card.begin(), Card.end(), [](char C) { return C >= 0x20 && C <= 0x7e; });
}

size_t PaddedToBlock(size_t Bytes) { return (Bytes + BlockBytes - 1) / BlockBytes * BlockBytes; }

std::string HeaderBlocks(const FitsImage16& Image) {
  std::string H;
  H += ValueCard("SIMPLE", "T");
  H += ValueCard("BITPIX", "16");
  H += ValueCard("NAXIS", "2");
  H += ValueCard("NAXIS1", std::to_string(Image.Width));
  H += ValueCard("NAXIS2", std::to_string(Image.Height));
  for (const std::string& C : Image.Cards) H += C;
  H += ValueCard("BZERO", "32768");
  H += ValueCard("BSCALE", "1");
  std::string End = "END";
  End.resize(CardBytes, ' ');
  H += End;
  H.resize(PaddedToBlock(H.size()), ' ');
  return H;
}

}  // namespace

const std::vector<std::string_view> KeptSolarKeywords = {
    "DATE-OBS", "DATE_OBS", "T_OBS",    "TELESCOP", "INSTRUME", "DETECTOR", "WAVELNTH", "WAVEUNIT",
    "OBSRVTRY", "EXPTIME",  "CTYPE1",   "CTYPE2",   "CUNIT1",   "CUNIT2",   "CRPIX1",   "CRPIX2",
    "CRVAL1",   "CRVAL2",   "CDELT1",   "CDELT2",   "CROTA2",   "PC1_1",    "PC1_2",    "PC2_1",
    "PC2_2",    "CD1_1",    "CD1_2",    "CD2_1",    "CD2_2",    "LONPOLE",  "LATPOLE",  "RSUN_OBS",
    "R_SUN",    "RSUN_REF", "DSUN_OBS", "HGLN_OBS", "HGLT_OBS", "CRLN_OBS", "CRLT_OBS"};

std::vector<std::string> KeptSolarCards(const std::vector<std::string>& Cards) {
  std::vector<std::string> Kept;
  for (const std::string& C : Cards) {
    const std::string Key = CardKeyword(C);
    if (IsTextCard(C) && std::find(KeptSolarKeywords.begin(), KeptSolarKeywords.end(), Key) !=
                             KeptSolarKeywords.end())
      Kept.push_back(C);
  }
  return Kept;
}

std::vector<std::string> HistoryCards(std::string_view Text) {
  constexpr size_t Room = CardBytes - 8;
  std::vector<std::string> Cards;
  do {
    std::string Card = "HISTORY " + std::string(Text.substr(0, Room));
    for (char& C : Card)
      if (C < 0x20 || C > 0x7e) C = '?';
    Card.resize(CardBytes, ' ');
    Cards.push_back(std::move(Card));
    Text.remove_prefix(std::min(Room, Text.size()));
  } while (!Text.empty());
  return Cards;
}

WriteOutcome WriteFits16(const std::string& Path, const FitsImage16& Image) {
  const size_t W = size_t(std::max(Image.Width, 0)), H = size_t(std::max(Image.Height, 0));
  if (W == 0 || H == 0 || Image.Samples.size() < W * H)
    return {false, "No image to export to " + Path + "."};
  if (!std::all_of(Image.Cards.begin(), Image.Cards.end(), IsTextCard))
    return {false, "A header card for " + Path + " is not a FITS text card."};
  const std::string Header = HeaderBlocks(Image);
  return WriteFileAtomic(Path, [&](std::FILE* F) {
    if (std::fwrite(Header.data(), 1, Header.size(), F) != Header.size()) return false;
    std::vector<uint8_t> Row(W * 2);
    for (size_t Y = H; Y-- > 0;) {
      const uint16_t* In = Image.Samples.data() + Y * W;
      for (size_t X = 0; X < W; ++X) {
        // Stored value = sample - BZERO as a big-endian two's-complement word.
        const uint16_t Stored = uint16_t(In[X] ^ 0x8000u);
        Row[2 * X] = uint8_t(Stored >> 8);
        Row[2 * X + 1] = uint8_t(Stored);
      }
      if (std::fwrite(Row.data(), 1, Row.size(), F) != Row.size()) return false;
    }
    const std::vector<uint8_t> Pad(PaddedToBlock(W * H * 2) - W * H * 2, 0);
    return std::fwrite(Pad.data(), 1, Pad.size(), F) == Pad.size();
  });
}

}  // namespace obra
