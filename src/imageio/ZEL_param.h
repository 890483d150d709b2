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
// DATE-OBS with every character but digits and "T" replaced by "_".
std::string ObsTimeForFileName(const std::string& DateObs);

}  // namespace obra
