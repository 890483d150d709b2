#include <gtest/gtest.h>

#include "IOGraphics.h"

using namespace obra;

TEST(KeywordLine, KeyMatchesCaseInsensitiveWithOneBlank) {
  int32_t W = -1;
  EXPECT_TRUE(ParseKeyInt("WIDTH 512", "WIDTH", W));
  EXPECT_EQ(W, 512);
  EXPECT_TRUE(ParseKeyInt("width 256", "WIDTH", W));
  EXPECT_EQ(W, 256);
  EXPECT_TRUE(ParseKeyInt("Width    77   ", "width", W));
  EXPECT_EQ(W, 77);
}

TEST(KeywordLine, NearMissesLeaveTargetUnchanged) {
  int32_t W = 9;
  EXPECT_FALSE(ParseKeyInt("WIDTH=512", "WIDTH", W));
  EXPECT_FALSE(ParseKeyInt("WIDTHS 512", "WIDTH", W));
  EXPECT_FALSE(ParseKeyInt("WIDTH\t512", "WIDTH", W));
  EXPECT_FALSE(ParseKeyInt(" WIDTH 512", "WIDTH", W));
  EXPECT_FALSE(ParseKeyInt("WIDTH", "WIDTH", W));
  EXPECT_FALSE(ParseKeyInt("NAXIS1  = 512", "NAXIS", W));
  EXPECT_EQ(W, 9);
}

TEST(KeywordLine, CommentsAreRemovedUpTo256Characters) {
  int32_t K = 0;
  EXPECT_TRUE(ParseKeyInt("KerSize 20 // the radius", "KerSize", K));
  EXPECT_EQ(K, 20);
  // A whole-line comment removes the key too.
  EXPECT_FALSE(ParseKeyInt("// KerSize 30", "KerSize", K));
  // Beyond 256 characters from the "//" the text stays on the line.
  std::string Long = "KerSize 5//" + std::string(254, 'x') + "7";
  EXPECT_TRUE(ParseKeyInt(Long, "KerSize", K));
  EXPECT_EQ(K, 57);
}

TEST(KeywordLine, IntegerSyntaxAndFaults) {
  int32_t V = 0;
  ParseKeyInt("K -42", "K", V);
  EXPECT_EQ(V, -42);
  ParseKeyInt("K +7", "K", V);
  EXPECT_EQ(V, 7);
  ParseKeyInt("K $1F", "K", V);
  EXPECT_EQ(V, 31);
  ParseKeyInt("K -$10", "K", V);
  EXPECT_EQ(V, -16);
  ParseKeyInt("K 12a", "K", V);
  EXPECT_EQ(V, 12);
  ParseKeyInt("K -12a", "K", V);
  EXPECT_EQ(V, 12);  // the sign is dropped on a fault
  ParseKeyInt("K ", "K", V);
  EXPECT_EQ(V, 0);
  ParseKeyInt("K 1.5", "K", V);
  EXPECT_EQ(V, 1);
  ParseKeyInt("K 2147483647", "K", V);
  EXPECT_EQ(V, 2147483647);
  ParseKeyInt("K -2147483648", "K", V);
  EXPECT_EQ(V, INT32_MIN);
  ParseKeyInt("K 99999999999", "K", V);
  EXPECT_EQ(V, 999999999);  // the digit that overflows is the fault
}

TEST(KeywordLine, RealSyntaxAndFaults) {
  double D = 0;
  ParseKeyDouble("R 1.5", "R", D);
  EXPECT_EQ(D, 1.5);
  ParseKeyDouble("R -2.5e-3", "R", D);
  EXPECT_EQ(D, -2.5e-3);
  ParseKeyDouble("R 1E+2", "R", D);
  EXPECT_EQ(D, 100.0);
  ParseKeyDouble("R .25", "R", D);
  EXPECT_EQ(D, 0.25);
  ParseKeyDouble("R 3.", "R", D);
  EXPECT_EQ(D, 3.0);
  ParseKeyDouble("R 1.5D0", "R", D);
  EXPECT_EQ(D, 15.0);
  ParseKeyDouble("R -1.25x", "R", D);
  EXPECT_EQ(D, 125.0);
  ParseKeyDouble("R ", "R", D);
  EXPECT_EQ(D, 0.0);
  ParseKeyDouble("R 1,5", "R", D);  // never the locale's separator
  EXPECT_EQ(D, 1.0);
  ParseKeyDouble("R 2e", "R", D);
  EXPECT_EQ(D, 2.0);
  float F = 0;
  ParseKeyFloat("R 0.1", "R", F);
  EXPECT_EQ(F, 0.1f);
  ParseKeyFloat("R 1e999", "R", F);
  EXPECT_EQ(F, 1.0f);
}

TEST(KeywordLine, TextTargets) {
  std::string T = "old";
  EXPECT_TRUE(ParseKeyText("TELESCOP  SDO/AIA  ", "TELESCOP", T));
  EXPECT_EQ(T, "SDO/AIA");
  ParseKeyText("TELESCOP X", "TELESCOP", T);
  EXPECT_EQ(T, "");
  T = "old";
  ParseKeyText("TELESCOP ", "TELESCOP", T);
  EXPECT_EQ(T, "");
}

TEST(KeywordLine, CarriageReturnOfCrlfFilesIsTrimmed) {
  int32_t V = 0;
  ParseKeyInt("KerSize 33\r", "KerSize", V);
  EXPECT_EQ(V, 33);
}

TEST(KeywordLine, FileNameHelpers) {
  EXPECT_EQ(UpperExtension("/a/b/x.fits"), ".FITS");
  EXPECT_EQ(UpperExtension("/a.b/x"), "");
  EXPECT_EQ(UpperExtension("y.tar.Gz"), ".GZ");
  EXPECT_EQ(BaseName("/a/b/x.fits"), "x.fits");
  EXPECT_EQ(BaseName("x.fits"), "x.fits");
}
