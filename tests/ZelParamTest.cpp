#include <gtest/gtest.h>

#include "ZEL_param.h"

using namespace obra;

TEST(ZelParam, WavelengthLabels) {
  const std::pair<int, const char*> Known[] = {
      {94, "9.4 nm"},   {131, "13.1 nm"}, {171, "17.1 nm"}, {193, "19.3 nm"}, {211, "21.1 nm"},
      {304, "30.4 nm"}, {335, "33.5 nm"}, {1600, "160 nm"}, {1700, "170 nm"}, {4500, "450 nm"}};
  for (const auto& [Channel, Label] : Known) EXPECT_EQ(WavelengthLabel(Channel), Label);
  for (int Unknown : {0, -1, 170, 195, 5000}) EXPECT_EQ(WavelengthLabel(Unknown), "");
}

TEST(ZelParam, FormatObsTime) {
  EXPECT_EQ(FormatObsTime("2010-05-13T12:34:56.78"), "13. 05. 2010    12:34:56");
  EXPECT_EQ(FormatObsTime("2010-05-13T12:34:56Z"), "13. 05. 2010    12:34:56");
  EXPECT_EQ(FormatObsTime("2010-05-13T12:34:56"), "13. 05. 2010    12:34:56");
  EXPECT_EQ(FormatObsTime(""), "");
}

TEST(ZelParam, FormatObsTimeOfOddTexts) {
  // Without "T" or "-" the text is shown as it is (trimmed).
  EXPECT_EQ(FormatObsTime("2010-05-13"), "2010-05-13");
  EXPECT_EQ(FormatObsTime("  20100513T123456 "), "20100513T123456");
  EXPECT_EQ(FormatObsTime("   "), "");
  // Parts beyond either end of the text are left out, never read.
  EXPECT_EQ(FormatObsTime("2010-05-13T12:34"), "13. 05. 2010    12:34");
  EXPECT_EQ(FormatObsTime("T-"), ". . T-    -");
  EXPECT_EQ(FormatObsTime("1-T"), "1-. T. 1-T    ");
}

TEST(ZelParam, ObsTimeForFileName) {
  EXPECT_EQ(ObsTimeForFileName("2010-05-13T12:34:56.78"), "2010_05_13T12_34_56_78");
  EXPECT_EQ(ObsTimeForFileName("2010-05-13t12:34"), "2010_05_13_12_34");
  EXPECT_EQ(ObsTimeForFileName(""), "");
  EXPECT_EQ(ObsTimeForFileName("a b"), "___");
}
