// The Internet zone's security state, read from its URL-action policy values.
#pragma once

#include <cstdint>

#include "registry/Registry.h"

namespace pw {

// One byte; a higher value is less secure. Presentation treats any value other
// than 0 and 1 as Unsecured.
enum class ZoneSecurityState : std::uint8_t { Secured = 0, SemiSecured = 1, Unsecured = 2 };

// "secured", "semi-secured" or "unsecured" (anything above 1 is unsecured).
const char* ZoneSecurityStateName(ZoneSecurityState state);

// Reads the 18 monitored actions and the three further checks ("1A00", "1C00",
// "1E05"), each through GetRegValue, and classifies the zone. A value that is
// missing, of another type or not a decimal number, and a missing zone key,
// count as Unsecured: such a zone cannot be shown to be locked down.
ZoneSecurityState DetectZoneSecurity(Registry& registry);

}  // namespace pw
