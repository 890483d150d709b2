// Truncated, corrupted and hostile files: every load must end with a clear
// refusal or a consistent image, never a crash or a read outside a buffer.
// Run under the sanitizer build to catch the second kind.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "IOGraphics.h"
#include "ImageFixtures.h"
#include "TIFformat.h"

using namespace obra;
using namespace obra::test;

namespace {

struct Outcome {
  bool Valid = false;
  size_t Messages = 0;
};

// Loads File as the window's open does and checks that a Valid result holds
// exactly the samples its record describes.
Outcome LoadChecked(const std::string& File) {
  ImageRecord R;
  std::vector<uint16_t> B;
  Messages M;
  LoadImageFile(File, R, B, 16, true, true, M.Sink());
  if (R.Valid) {
    EXPECT_EQ(R.ResultType, "WORD");
    EXPECT_EQ(B.size(), static_cast<size_t>(R.Width) * R.Height * R.Channels);
  }
  for (const auto& Text : M.List) EXPECT_FALSE(Text.empty());
  return {R.Valid, M.List.size()};
}

std::vector<uint8_t> ValidFits() {
  auto Cards = ImageCards(16, 3, 2);
  Cards.push_back(Card("TELESCOP", "'ZEL'"));
  return FitsFile(Cards, BigEndian<int16_t>({1, 2, 3, 4, 5, 6}), true, false);
}

std::vector<uint8_t> ValidTiff(const TempDir& D) {
  const std::vector<uint16_t> S = {1, 2, 3, 4, 5, 6};
  EXPECT_TRUE(WriteTiff16(S.data(), 3, 2, true, D.File("source.tif")));
  return ReadBytes(D.File("source.tif"));
}

// HEADER comes first: a cut before it would rightly take the pixels from the
// end of the file, so every cut must lose a later line instead.
std::vector<uint8_t> ValidBif() {
  const std::string H =
      "BIF\nHEADER 80\nBYTEORDER MAC\nWIDTH 3\nHEIGHT 2\nCHANNELS 1\nDATATYPE SMALLINT\nENDBIF\n";
  std::vector<uint8_t> B(H.begin(), H.end());
  B.resize(80, ' ');
  auto Px = BigEndian<int16_t>({1, 2, 3, 4, 5, 6});
  B.insert(B.end(), Px.begin(), Px.end());
  return B;
}

}  // namespace

TEST(MalformedFiles, CorpusIsRefused) {
  const std::filesystem::path Dir = std::filesystem::path(OBRA_SOURCE_DIR) / "tests" / "corpus";
  int Files = 0;
  for (const auto& E : std::filesystem::directory_iterator(Dir)) {
    SCOPED_TRACE(E.path().filename().string());
    ++Files;
    const Outcome O = LoadChecked(E.path().string());
    EXPECT_FALSE(O.Valid);
    EXPECT_GE(O.Messages, 1u);
  }
  EXPECT_GE(Files, 20);
}

TEST(MalformedFiles, EveryTruncationIsRefused) {
  TempDir D;
  const std::pair<const char*, std::vector<uint8_t>> Sources[] = {
      {"t.fits", ValidFits()}, {"t.tif", ValidTiff(D)}, {"t.bif", ValidBif()}};
  for (const auto& [Name, Full] : Sources) {
    SCOPED_TRACE(Name);
    WriteBytes(D.File(Name), Full);
    ASSERT_TRUE(LoadChecked(D.File(Name)).Valid);
    // Every cut inside the cards in use and the data, a sample of the others.
    for (size_t Size = 0; Size < Full.size();
         Size += (Size < 600 || Size + 100 > Full.size()) ? 1 : 37) {
      WriteBytes(D.File(Name), std::vector<uint8_t>(Full.begin(), Full.begin() + Size));
      const Outcome O = LoadChecked(D.File(Name));
      EXPECT_FALSE(O.Valid) << Size;
      EXPECT_GE(O.Messages, 1u) << Size;
    }
  }
}

TEST(MalformedFiles, CorruptedBytesNeverBreakTheLoader) {
  TempDir D;
  std::mt19937 Rng(12345);
  const std::pair<const char*, std::vector<uint8_t>> Sources[] = {
      {"c.fits", ValidFits()}, {"c.tif", ValidTiff(D)}, {"c.bif", ValidBif()}};
  for (const auto& [Name, Full] : Sources) {
    SCOPED_TRACE(Name);
    // Most of a FITS file is blank padding; corrupt mostly the cards in use.
    const size_t Hot = std::string(Name).ends_with(".fits") ? 7 * 80 : Full.size();
    for (int Round = 0; Round < 400; ++Round) {
      std::vector<uint8_t> Bytes = Full;
      const int Changes = 1 + static_cast<int>(Rng() % 4);
      for (int C = 0; C < Changes; ++C) {
        const size_t At = Rng() % (Rng() % 4 ? Hot : Bytes.size());
        Bytes[At] = static_cast<uint8_t>(Rng() % 3 ? Rng() : (Rng() % 2 ? '0' + Rng() % 10 : 0xFF));
      }
      WriteBytes(D.File(Name), Bytes);
      LoadChecked(D.File(Name));
    }
  }
}
