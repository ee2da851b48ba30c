// What the window program prints when there is no display to show a window on.
#pragma once

#include <ostream>

#include "listings/SiteList.h"
#include "policy/ZoneSecurity.h"

namespace pw {

// The security state and the site list as a table, rows in the list's order,
// with the zone each listing in `store` sets.
void PrintStateAndSites(std::ostream& out, ZoneSecurityState state, const SiteList& sites, RegistryStore& store);

}  // namespace pw
