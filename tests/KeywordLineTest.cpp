// Keyword lines (configuration, FITS and BIF headers) and the file-name helpers.
#include <gtest/gtest.h>

#include "IOGraphics.h"

using namespace obra;

TEST(KeywordLine, KeyMatchesCaseInsensitiveWithOneBlankAndNoComment) {
  const std::tuple<const char*, const char*, bool, int32_t> Cases[] = {
      {"WIDTH 512", "WIDTH", true, 512},
      {"width 256", "WIDTH", true, 256},
      {"Width    77   ", "width", true, 77},
      {"KerSize 33\r", "KerSize", true, 33},
      {"KerSize 20 // the radius", "KerSize", true, 20},
      // Near misses leave the target unchanged; a whole-line comment removes the key.
      {"WIDTH=512", "WIDTH", false, 9},
      {"WIDTHS 512", "WIDTH", false, 9},
      {"WIDTH\t512", "WIDTH", false, 9},
      {" WIDTH 512", "WIDTH", false, 9},
      {"WIDTH", "WIDTH", false, 9},
      {"NAXIS1  = 512", "NAXIS", false, 9},
      {"// KerSize 30", "KerSize", false, 9}};
  for (const auto& [Line, Key, Found, Want] : Cases) {
    int32_t V = 9;
    EXPECT_EQ(ParseKeyInt(Line, Key, V), Found) << Line;
    EXPECT_EQ(V, Want) << Line;
  }
  // Beyond 256 characters from the "//" the text stays on the line.
  int32_t K = 0;
  EXPECT_TRUE(ParseKeyInt("KerSize 5//" + std::string(254, 'x') + "7", "KerSize", K));
  EXPECT_EQ(K, 57);
}

// A fault in a number keeps the digits read so far as one whole number.
TEST(KeywordLine, NumberSyntaxAndFaults) {
  const std::pair<const char*, int32_t> Ints[] = {
      {"-42", -42},
      {"+7", 7},
      {"$1F", 31},
      {"-$10", -16},
      {"12a", 12},
      {"-12a", 12},  // the sign is dropped on a fault
      {"", 0},
      {"1.5", 1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"99999999999", 999999999}};  // the digit that overflows is the fault
  for (const auto& [Text, Want] : Ints) {
    int32_t V = 5;
    ParseKeyInt(std::string("K ") + Text, "K", V);
    EXPECT_EQ(V, Want) << Text;
  }
  const std::pair<const char*, double> Reals[] = {{"1.5", 1.5},      {"-2.5e-3", -2.5e-3},
                                                  {"1E+2", 100.0},   {".25", 0.25},
                                                  {"3.", 3.0},       {"1.5D0", 15.0},
                                                  {"-1.25x", 125.0}, {"", 0.0},
                                                  {"1,5", 1.0},  // never the locale's separator
                                                  {"2e", 2.0}};
  for (const auto& [Text, Want] : Reals) {
    double V = 5;
    ParseKeyDouble(std::string("R ") + Text, "R", V);
    EXPECT_EQ(V, Want) << Text;
  }
  float F = 0, G = 0;
  ParseKeyFloat("R 0.1", "R", F);
  ParseKeyFloat("R 1e999", "R", G);
  EXPECT_EQ(F, 0.1f);
  EXPECT_EQ(G, 1.0f);
  // A well-formed value below the type's range is a tiny number, not its digits.
  for (const char* Tiny :
       {"R 1e-50", "R -2.5e-60", "R 0.00000000000000000000000000000000000000000000000001"}) {
    F = 5;
    ParseKeyFloat(Tiny, "R", F);
    EXPECT_EQ(F, 0.0f) << Tiny;
  }
  double D = 5;
  ParseKeyDouble("R 1e-400", "R", D);
  EXPECT_EQ(D, 0.0);
  ParseKeyFloat("R 1e-40", "R", F);
  EXPECT_GT(F, 0.0f);
  EXPECT_LT(F, 1e-39f);
  // Text values are trimmed; shorter than two characters clears the target.
  for (auto [Line, Want] :
       {std::pair{"TELESCOP  SDO/AIA  ", "SDO/AIA"}, {"TELESCOP X", ""}, {"TELESCOP ", ""}}) {
    std::string T = "old";
    EXPECT_TRUE(ParseKeyText(Line, "TELESCOP", T));
    EXPECT_EQ(T, Want) << Line;
  }
}

TEST(KeywordLine, FileNameHelpers) {
  EXPECT_EQ(UpperExtension("/a/b/x.fits"), ".FITS");
  EXPECT_EQ(UpperExtension("/a.b/x"), "");
  EXPECT_EQ(UpperExtension("y.tar.Gz"), ".GZ");
  EXPECT_EQ(BaseName("/a/b/x.fits"), "x.fits");
  EXPECT_EQ(BaseName("x.fits"), "x.fits");
}
