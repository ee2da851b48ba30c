// Where a listing lives in the zone map, and how the writers make its key.
#pragma once

#include <string>
#include <string_view>

#include "registry/RegistryStore.h"

namespace pw {

// A domain or subdomain name a writer may use as one key name: not empty and
// free of "\" (which would make nested keys the list never prunes) and of
// control characters.
bool IsListingKeyName(std::string_view name);

// The key of a listing relative to the zone map's base, for messages:
// "example.com", or "example.com\\www" for a subdomain.
std::string ShortListingKey(const std::string& domain, const std::string& subdomain);

// Creates hive\path with every missing key along it, with the class
// "REG_DWORD" the writers give their keys, and closes it again at once.
// Returns the status of the creation.
LONG CreateListingKey(RegistryStore& store, const std::string& path);

}  // namespace pw
