#include "listings/ListingKeys.h"

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
  HKEY key = 0;
  DWORD disposition = 0;
  LONG status = store.RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, "REG_DWORD", 0, kAccess3F, nullptr,
                                      &key, &disposition);
  if (status == ERROR_SUCCESS) store.RegCloseKey(key);
  return status;
}

}  // namespace pw
