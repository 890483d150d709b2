// Channel labels and the observation time as shown and in file names.
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

TEST(ZelParam, ObservationTimeTexts) {
  // Without "T" or "-" the text is shown as it is (trimmed); parts beyond
  // either end of the text are left out, never read.
  const std::pair<const char*, const char*> Shown[] = {
      {"2010-05-13T12:34:56.78", "13. 05. 2010    12:34:56"},
      {"2010-05-13T12:34:56Z", "13. 05. 2010    12:34:56"},
      {"2010-05-13T12:34:56", "13. 05. 2010    12:34:56"},
      {"", ""},
      {"2010-05-13", "2010-05-13"},
      {"  20100513T123456 ", "20100513T123456"},
      {"   ", ""},
      {"2010-05-13T12:34", "13. 05. 2010    12:34"},
      {"T-", ". . T-    -"},
      {"1-T", "1-. T. 1-T    "}};
  for (const auto& [Text, Want] : Shown) EXPECT_EQ(FormatObsTime(Text), Want) << Text;
  const std::pair<const char*, const char*> Named[] = {
      {"2010-05-13T12:34:56.78", "2010_05_13T12_34_56_78"},
      {"2010-05-13t12:34", "2010_05_13_12_34"},
      {"", ""},
      {"a b", "___"}};
  for (const auto& [Text, Want] : Named) EXPECT_EQ(ObsTimeForFileName(Text), Want) << Text;
}
