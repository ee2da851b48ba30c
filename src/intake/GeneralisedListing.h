// The generalised listing the verification dialog's OK writes: one "*" value,
// the zone for all protocols.
#pragma once

#include <optional>
#include <string>

#include "listings/Zones.h"
#include "registry/Registry.h"

namespace pw {

// Creates the domain key, and for a subdomain other than "*" (or empty) its
// key named with its "*" ("*.b"), with the class "REG_DWORD", then writes the
// value "*" with the zone (Unclassified when none was chosen). Writes nothing
// and returns ERROR_INVALID_PARAMETER when a name is not a usable key name (an
// empty domain, a "\" in either); returns the creation's status when the key
// cannot be made; otherwise 0.
LONG WriteGeneralisedListing(Registry& registry, const std::string& domain, const std::string& subDomain,
                             std::optional<Zone> zone);

}  // namespace pw
