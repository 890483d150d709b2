// Sample types: record texts, sizes and the record's enum view of its texts.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "IOGraphics.h"

using namespace obra;

namespace {

constexpr std::array<SampleType, 7> Known = {
    SampleType::Byte,   SampleType::Word, SampleType::SmallInt, SampleType::Integer,
    SampleType::Single, SampleType::Comp, SampleType::Double};

}  // namespace

TEST(SampleType, TextsAreTheRecordTexts) {
  EXPECT_EQ(SampleTypeText(SampleType::Byte), "BYTE");
  EXPECT_EQ(SampleTypeText(SampleType::Word), "WORD");
  EXPECT_EQ(SampleTypeText(SampleType::SmallInt), "SMALLINT");
  EXPECT_EQ(SampleTypeText(SampleType::Integer), "INTEGER");
  EXPECT_EQ(SampleTypeText(SampleType::Single), "SINGLE");
  EXPECT_EQ(SampleTypeText(SampleType::Comp), "COMP");
  EXPECT_EQ(SampleTypeText(SampleType::Double), "DOUBLE");
  EXPECT_EQ(SampleTypeText(SampleType::Unknown), "");
}

TEST(SampleType, EveryTextParsesBackToItsType) {
  for (SampleType T : Known) EXPECT_EQ(ParseSampleType(SampleTypeText(T)), T) << SampleTypeText(T);
}

TEST(SampleType, OtherTextsAreUnknown) {
  EXPECT_EQ(ParseSampleType(""), SampleType::Unknown);
  EXPECT_EQ(ParseSampleType("word"), SampleType::Unknown);
  EXPECT_EQ(ParseSampleType("WORD "), SampleType::Unknown);
  EXPECT_EQ(ParseSampleType("LONGWORD"), SampleType::Unknown);
}

TEST(SampleType, SampleSizes) {
  EXPECT_EQ(SampleTypeBytes(SampleType::Byte), 1);
  EXPECT_EQ(SampleTypeBytes(SampleType::Word), 2);
  EXPECT_EQ(SampleTypeBytes(SampleType::SmallInt), 2);
  EXPECT_EQ(SampleTypeBytes(SampleType::Integer), 4);
  EXPECT_EQ(SampleTypeBytes(SampleType::Single), 4);
  EXPECT_EQ(SampleTypeBytes(SampleType::Comp), 8);
  EXPECT_EQ(SampleTypeBytes(SampleType::Double), 8);
  EXPECT_EQ(SampleTypeBytes(SampleType::Unknown), 0);
}

TEST(SampleType, RecordSettersWriteTheTexts) {
  ImageRecord R;
  R.SetDataSample(SampleType::SmallInt);
  R.SetResultSample(SampleType::Word);
  EXPECT_EQ(R.DataType, "SMALLINT");
  EXPECT_EQ(R.ResultType, "WORD");
}

TEST(SampleType, RecordReadsItsTextsAsTypes) {
  ImageRecord R;
  R.DataType = "DOUBLE";
  R.ResultType = "BYTE";
  EXPECT_EQ(R.DataSample(), SampleType::Double);
  EXPECT_EQ(R.ResultSample(), SampleType::Byte);
}

TEST(SampleType, ClearedTextIsUnknown) {
  ImageRecord R;
  R.SetDataSample(SampleType::Word);
  R.SetDataSample(SampleType::Unknown);
  EXPECT_EQ(R.DataType, "");
  EXPECT_EQ(R.DataSample(), SampleType::Unknown);
}
