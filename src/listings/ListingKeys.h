// Where a listing lives in the zone map, and how the writers make its key.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "registry/Registry.h"

namespace pw {

// A domain or subdomain name a writer may use as one key name: not empty and
// free of "\" (which would make nested keys the list never prunes) and of
// control characters.
bool IsListingKeyName(std::string_view name);

// The subdomain key a generalised listing names: "*" (any name in front of
// the domain) is the domain key itself, given as an empty subdomain.
inline std::string SubdomainKeyOf(const std::string& subDomain) { return subDomain == "*" ? std::string() : subDomain; }

// The key of a listing relative to the zone map's base, for messages:
// "example.com", or "example.com\\www" for a subdomain.
std::string ShortListingKey(const std::string& domain, const std::string& subdomain);

// Creates hive\path with every missing key along it, with the class
// "REG_DWORD" the writers give their keys, and closes it again at once.
// Returns the status of the creation.
LONG CreateListingKey(RegistryStore& store, const std::string& path);

struct ListingValue {
  const char* name;  // "*" or a protocol
  int zone;
};

// Creates the key HKEY_CURRENT_USER\path (CreateListingKey) and writes each
// value's zone into it, in order, as one store transaction: another process
// never finds the key without its values, and a failure leaves nothing
// written where the store can undo. Returns the first failure, else the
// commit's status.
LONG WriteListingValues(Registry& registry, const std::string& path, const std::vector<ListingValue>& values);

}  // namespace pw
