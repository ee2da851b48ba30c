// Zone numbers as the zone map stores them, and their names.
#pragma once

#include <optional>

namespace pw {

enum class Zone { Trusted = 2, Unclassified = 3, Restricted = 4 };

// The number written for a choice; no choice is Unclassified.
inline int ZoneNumber(std::optional<Zone> choice) {
  return static_cast<int>(choice.value_or(Zone::Unclassified));
}

// The names of the zone numbers: "Local machine" 0, "Local intranet" 1,
// "Trusted" 2, "Unclassified" 3 (the Internet zone as a listing sets it),
// "Restricted" 4; null for any other number.
constexpr const char* ZoneNumberName(long long number) {
  switch (number) {
    case 0: return "Local machine";
    case 1: return "Local intranet";
    case 2: return "Trusted";
    case 3: return "Unclassified";
    case 4: return "Restricted";
    default: return nullptr;
  }
}

// The name of a zone a listing chooses: 2 to 4; null otherwise.
constexpr const char* ZoneName(int number) { return number >= 2 ? ZoneNumberName(number) : nullptr; }

}  // namespace pw
