// The three fixed policy profiles of the Internet zone: 28 URL-action values
// each, written in table order.
#pragma once

#include <string>

#include "policy/ZoneSecurity.h"
#include "registry/Registry.h"

namespace pw {

enum class ZoneProfile { Prompting, LockedDown, Default };

struct ProfileValue {
  std::string name;
  DWORD type;        // REG_DWORD, or REG_BINARY for "1C00"
  RegData data;      // a number, or for REG_BINARY the bytes as characters
};

// The 28 values of a profile in the order they are written.
std::vector<ProfileValue> ProfileValues(ZoneProfile profile);

// Writes all 28 values through SetRegValue, one call each, whatever they held,
// as one store transaction: where the store has transactions another reader
// sees the whole profile or none of it, and a failed write stops the profile
// and undoes it. On the platform's registry, which has none, a failed write
// does not stop the rest. The zone key is never created. Returns the first
// failure, else the commit's status.
LONG WriteZoneProfile(Registry& registry, ZoneProfile profile);

// The state a profile reads back as when every value landed.
ZoneSecurityState ExpectedState(ZoneProfile profile);

}  // namespace pw
