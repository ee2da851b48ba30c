#include "intake/GeneralisedListing.h"

#include "listings/ListingKeys.h"
#include "registry/KnownKeys.h"

namespace pw {

LONG WriteGeneralisedListing(Registry& registry, const std::string& domain, const std::string& subDomain,
                             std::optional<Zone> zone) {
  bool onDomainKey = subDomain.empty() || subDomain == "*";
  if (!IsListingKeyName(domain) || (!onDomainKey && !IsListingKeyName(subDomain))) return ERROR_INVALID_PARAMETER;
  std::string key = std::string(kDomainsPathUpper) + domain;
  if (!onDomainKey) key += "\\" + subDomain;
  return WriteListingValues(registry, key, {{"*", ZoneNumber(zone)}});
}

}  // namespace pw
