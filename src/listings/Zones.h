// Zone numbers as the zone map stores them, and their names.
#pragma once

#include <optional>

namespace pw {

enum class Zone { Trusted = 2, Unclassified = 3, Restricted = 4 };

// The number written for a choice; no choice is Unclassified.
inline int ZoneNumber(std::optional<Zone> choice) {
  return static_cast<int>(choice.value_or(Zone::Unclassified));
}

// "Trusted", "Unclassified" or "Restricted" for 2, 3 and 4; null otherwise.
inline const char* ZoneName(int number) {
  switch (number) {
    case 2: return "Trusted";
    case 3: return "Unclassified";
    case 4: return "Restricted";
    default: return nullptr;
  }
}

}  // namespace pw
