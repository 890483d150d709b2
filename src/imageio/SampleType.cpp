// Sample types: the one table between the record texts and the enum.
#include "SampleType.h"

#include <array>

namespace obra {

namespace {

// Every known type with its record text and sample size in bytes.
struct SampleTypeRow {
  SampleType Type;
  std::string_view Text;
  int Bytes;
};

constexpr std::array<SampleTypeRow, 7> SampleTypeRows = {{
    {SampleType::Byte, "BYTE", 1},
    {SampleType::Word, "WORD", 2},
    {SampleType::SmallInt, "SMALLINT", 2},
    {SampleType::Integer, "INTEGER", 4},
    {SampleType::Single, "SINGLE", 4},
    {SampleType::Comp, "COMP", 8},
    {SampleType::Double, "DOUBLE", 8},
}};

// The row of T, or nullptr for Unknown.
const SampleTypeRow* RowOf(SampleType T) {
  for (const SampleTypeRow& Row : SampleTypeRows)
    if (Row.Type == T) return &Row;
  return nullptr;
}

}  // namespace

std::string_view SampleTypeText(SampleType T) {
  const SampleTypeRow* Row = RowOf(T);
  return Row ? Row->Text : std::string_view();
}

SampleType ParseSampleType(std::string_view Text) {
  for (const SampleTypeRow& Row : SampleTypeRows)
    if (Row.Text == Text) return Row.Type;
  return SampleType::Unknown;
}

int SampleTypeBytes(SampleType T) {
  const SampleTypeRow* Row = RowOf(T);
  return Row ? Row->Bytes : 0;
}

}  // namespace obra
