// Every value of the zone map's listings as the store holds it: the values of
// each domain key and of its subdomain keys (keys below those are no listings),
// read by the one walk that the script policy and the policy export share.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"

namespace pw {

// One value of a domain key or of a subdomain key, as the store holds it.
struct ZoneMapValue {
  std::string domain;
  std::string subdomain;  // empty for the domain key's own values
  std::string name;       // "*", "http", "https", "ftp", ...
  DWORD type = REG_NONE;
  std::string data;
};

// Where the walk could not read, in the store's text: `action` is "open",
// "read the keys of" or "read the values of"; no domain is the zone map's
// base key itself.
struct ZoneMapReadFailure {
  LONG status = ERROR_SUCCESS;
  const char* action = "";
  std::optional<std::string> domain;
  std::optional<std::string> subdomain;
};

// Calls `visit` for each domain key of HKEY_CURRENT_USER's zone map, in the
// store's order, with the values of it and of its subdomain keys; the vector is
// reused from one domain to the next. What cannot be read is passed over, and
// the walk goes on; the first such failure is returned (status 0 when there was
// none). A missing zone map, and a key deleted while the walk runs, are no
// failures.
ZoneMapReadFailure ForEachZoneMapDomain(
    RegistryStore& store, const std::function<void(const std::string&, const std::vector<ZoneMapValue>&)>& visit);

// The values of one domain key and its subdomain keys, the key named as the
// store names it; nothing when the key does not exist.
std::vector<ZoneMapValue> ReadZoneMapDomain(RegistryStore& store, const std::string& domain);

}  // namespace pw
