// Truncated, corrupted and hostile files: every load ends with a clear refusal
// or a consistent image, never a crash or a read outside a buffer (the
// sanitizer build catches the second kind).
#include <gtest/gtest.h>

#include <random>

#include "TIFformat.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

// Loads File as the window's open does; a Valid result must hold exactly the
// samples its record describes. Returns Valid and the number of messages.
std::pair<bool, size_t> LoadChecked(const std::string& File) {
  const FullLoad L = LoadWholeFile(File);
  if (L.R.Valid) {
    EXPECT_EQ(L.R.ResultType, "WORD");
    EXPECT_EQ(L.Buffer.size(), size_t(L.R.Width) * L.R.Height * L.R.Channels);
  }
  for (const auto& Text : L.Shown) EXPECT_FALSE(Text.empty());
  return {L.R.Valid, L.Shown.size()};
}

// A FITS, a TIFF and a BIF file of 3 x 2 samples. The BIF has HEADER first: a
// cut before it would rightly take the pixels from the end of the file.
std::vector<std::pair<std::string, std::vector<uint8_t>>> ValidFiles(const TempDir& D) {
  const std::vector<uint16_t> S = {1, 2, 3, 4, 5, 6};
  EXPECT_TRUE(WriteTiff16(S.data(), 3, 2, true, D.File("source.tif")));
  std::string Bif =
      "BIF\nHEADER 80\nBYTEORDER MAC\nWIDTH 3\nHEIGHT 2\nCHANNELS 1\nDATATYPE SMALLINT\nENDBIF\n";
  Bif.resize(80, ' ');
  std::vector<uint8_t> BifBytes(Bif.begin(), Bif.end());
  const std::vector<uint8_t> Px = BigEndian<int16_t>({1, 2, 3, 4, 5, 6});
  BifBytes.insert(BifBytes.end(), Px.begin(), Px.end());
  return {{"v.fits", FitsFile(ImageCards(16, 3, 2, {Card("TELESCOP", "'ZEL'")}), Px, true, false)},
          {"v.tif", ReadBytes(D.File("source.tif"))},
          {"v.bif", BifBytes}};
}

}  // namespace

TEST(MalformedFiles, CorpusIsRefused) {
  int Files = 0;
  for (const auto& E : std::filesystem::directory_iterator(OBRA_SOURCE_DIR "/tests/corpus")) {
    SCOPED_TRACE(E.path().filename().string());
    ++Files;
    const auto [Valid, Shown] = LoadChecked(E.path().string());
    EXPECT_FALSE(Valid);
    EXPECT_GE(Shown, 1u);
  }
  EXPECT_GE(Files, 20);
}

TEST(MalformedFiles, EveryTruncationIsRefused) {
  TempDir D;
  for (const auto& [Name, Full] : ValidFiles(D)) {
    SCOPED_TRACE(Name);
    WriteBytes(D.File(Name), Full);
    ASSERT_TRUE(LoadChecked(D.File(Name)).first);
    // Every cut inside the cards in use and the data, a sample of the others.
    for (size_t Size = 0; Size < Full.size();
         Size += (Size < 600 || Size + 100 > Full.size()) ? 1 : 37) {
      WriteBytes(D.File(Name), std::vector<uint8_t>(Full.begin(), Full.begin() + Size));
      const auto [Valid, Shown] = LoadChecked(D.File(Name));
      EXPECT_FALSE(Valid) << Size;
      EXPECT_GE(Shown, 1) << Size;
    }
  }
}

TEST(MalformedFiles, CorruptedBytesNeverBreakTheLoader) {
  TempDir D;
  std::mt19937 Rng(12345);
  for (const auto& [Name, Full] : ValidFiles(D)) {
    SCOPED_TRACE(Name);
    // Most of a FITS file is blank padding; corrupt mostly the cards in use.
    const size_t Hot = Name.ends_with(".fits") ? 7 * 80 : Full.size();
    for (int Round = 0; Round < 400; ++Round) {
      std::vector<uint8_t> Bytes = Full;
      for (int C = 0, Changes = 1 + int(Rng() % 4); C < Changes; ++C)
        Bytes[Rng() % (Rng() % 4 ? Hot : Bytes.size())] =
            uint8_t(Rng() % 3 ? Rng() : (Rng() % 2 ? '0' + Rng() % 10 : 0xFF));
      WriteBytes(D.File(Name), Bytes);
      LoadChecked(D.File(Name));
    }
  }
}
