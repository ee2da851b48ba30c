#include "listings/ProtocolListing.h"

#include "listings/ListingKeys.h"
#include "registry/KnownKeys.h"
#include "registry/NameFold.h"

namespace pw {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

}  // namespace

ProtocolChoices ProtocolsForAddress(std::string_view address) {
  ProtocolChoices choices;
  if (StartsWithNoCase(address, "ftp://")) choices.ftp.checked = true;
  else if (StartsWithNoCase(address, "http://")) choices.http.checked = true;
  else if (StartsWithNoCase(address, "https://")) choices.https.checked = true;
  return choices;
}

LONG WriteProtocolListings(Registry& registry, const std::string& domain, const std::string& subdomain,
                           const ProtocolChoices& choices) {
  if (!choices.AnyChecked() || !IsListingKeyName(domain) || (!subdomain.empty() && !IsListingKeyName(subdomain)))
    return ERROR_INVALID_PARAMETER;
  std::string key = std::string(kDomainsPathUpper) + domain + "\\" + subdomain;
  std::vector<ListingValue> values;
  for (auto [choice, name] : {std::pair{&choices.https, "https"}, std::pair{&choices.ftp, "ftp"},
                              std::pair{&choices.http, "http"}}) {
    if (choice->checked) values.push_back({name, ZoneNumber(choice->zone)});
  }
  return WriteListingValues(registry, key, values);
}

}  // namespace pw
