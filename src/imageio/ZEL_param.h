// Channel labels and observation-time texts.
#pragma once

#include <cstdint>
#include <string>

namespace obra {

// "19.3 nm" for channel 193 and so on; empty for an unknown channel.
std::string WavelengthLabel(int32_t Channel);
// "DD. MM. YYYY    hh:mm:ss" from a DATE-OBS text; empty for an empty text, and a
// text without "T" or "-" comes back trimmed as it is.
std::string FormatObsTime(const std::string& DateObs);
// A date written dd-MMM-yy (or dd-MMM-yyyy) or yyyy/mm/dd as yyyy-mm-dd;
// any other text comes back as it is. Two-digit years from 50 on are 19yy.
std::string NormaliseObsDate(const std::string& Date);
// The observation time of a header whose DATE-OBS has no time part, from the
// values as written of DATE-OBS, DATE_OBS and TIME-OBS (or TIME_OBS): the
// first of the two dates that has a time, else the first non-empty date
// joined with the time as date "T" time; the date part normalised. Empty when
// both dates are empty.
std::string FallbackObsTime(const std::string& DateObs, const std::string& DateObs_,
                            const std::string& TimeObs);
// DATE-OBS with every character but digits and "T" replaced by "_".
std::string ObsTimeForFileName(const std::string& DateObs);

}  // namespace obra
