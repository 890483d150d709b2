// Sample types of an image record.
//
// Common rules of this module:
//  - The record keeps the type as its text ("BYTE", "WORD", ...), the form
//    that is shown and written to JSON; code compares SampleType values only.
//  - Text and enum convert both ways through the one table in SampleType.cpp;
//    a text the table does not hold is SampleType::Unknown.
#pragma once

#include <string_view>

namespace obra {

// How one stored or converted sample is held.
enum class SampleType {
  Unknown,   // a text no reader produces (or no type at all)
  Byte,      // unsigned 8-bit
  Word,      // unsigned 16-bit
  SmallInt,  // signed 16-bit
  Integer,   // signed 32-bit
  Single,    // 32-bit float
  Comp,      // signed 64-bit
  Double,    // 64-bit float
};

// The record text of T; "" for SampleType::Unknown.
std::string_view SampleTypeText(SampleType T);

// The sample type a record text names (exact upper-case text), else Unknown.
SampleType ParseSampleType(std::string_view Text);

// Bytes of one sample of type T; 0 for SampleType::Unknown.
int SampleTypeBytes(SampleType T);

}  // namespace obra
