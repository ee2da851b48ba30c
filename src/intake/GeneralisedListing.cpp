#include "intake/GeneralisedListing.h"

#include "listings/ListingKeys.h"
#include "registry/KnownKeys.h"

namespace pw {

LONG WriteGeneralisedListing(Registry& registry, const std::string& domain, const std::string& subDomain,
                             std::optional<Zone> zone) {
  std::string subKey = SubdomainKeyOf(subDomain);
  if (!IsListingKeyName(domain) || (!subKey.empty() && !IsListingKeyName(subKey))) return ERROR_INVALID_PARAMETER;
  std::string key = std::string(kDomainsPathUpper) + domain;
  if (!subKey.empty()) key += "\\" + subKey;
  return WriteListingValues(registry, key, {{"*", ZoneNumber(zone)}});
}

}  // namespace pw
