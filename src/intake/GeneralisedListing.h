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
// value "*" with the zone (Unclassified when none was chosen), all in one store
// transaction. Writes nothing and returns ERROR_INVALID_PARAMETER when a name
// is not a usable key name (an empty domain, a "\" in either); otherwise the
// status of the first write that failed, or of the commit (0: written).
LONG WriteGeneralisedListing(Registry& registry, const std::string& domain, const std::string& subDomain,
                             std::optional<Zone> zone);

}  // namespace pw
