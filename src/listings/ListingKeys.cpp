#include "listings/ListingKeys.h"

#include "registry/KeyHandle.h"

namespace pw {

bool IsListingKeyName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

std::string ShortListingKey(const std::string& domain, const std::string& subdomain) {
  return subdomain.empty() ? domain : domain + "\\" + subdomain;
}

LONG WriteListingValues(Registry& registry, const std::string& path, const std::vector<ListingValue>& values) {
  return WriteInTransaction(registry.Store(), [&] {
    LONG status = CreateListingKey(registry.Store(), path);
    for (const ListingValue& value : values) {
      if (status != ERROR_SUCCESS) break;
      status = registry.SetRegValueChecked(HKEY_CURRENT_USER, path, value.name, value.zone, REG_DWORD);
    }
    return status;
  });
}

LONG CreateListingKey(RegistryStore& store, const std::string& path) {
  KeyHandle key;
  DWORD disposition = 0;
  return key.Create(store, HKEY_CURRENT_USER, path, kAccess3F, "REG_DWORD", &disposition);
}

}  // namespace pw
