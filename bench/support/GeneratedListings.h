// A zone map of `count` listings of both shapes, for measuring how costs grow
// from 20,000 listings to 100,000: four listings a domain ("*", "http",
// "https", "ftp"), held by the domain key itself for half the domains
// (generalised) and by its subdomain key "www" for the other half
// (per-protocol), the zones Trusted, Unclassified and Restricted in turn.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "ScratchFolder.h"
#include "registry/KnownKeys.h"
#include "registry/SqliteStore.h"

namespace pw::bench {

inline constexpr int kListingsSmall = 20000;
inline constexpr int kListingsLarge = 100000;

inline std::string ListingDomain(int listing) { return "site" + std::to_string(listing / 4) + ".example"; }
inline bool ListingHasSubdomain(int listing) { return (listing / 4) % 2 == 1; }

// Writes the listings in one transaction.
inline void FillListings(RegistryStore& store, int count) {
  static const char* const kValues[] = {"*", "http", "https", "ftp"};
  std::string base = std::string(kDomainsPath) + "\\";
  store.BeginTransaction();
  HKEY key = 0;
  for (int i = 0; i < count; ++i) {
    if (i % 4 == 0) {
      store.RegCloseKey(key);
      std::string path = base + ListingDomain(i) + (ListingHasSubdomain(i) ? "\\www" : "");
      store.RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, "REG_DWORD", 0, kAccess3F, nullptr, &key, nullptr);
    }
    BYTE zone[4] = {static_cast<BYTE>(2 + i % 3), 0, 0, 0};
    store.RegSetValueExA(key, kValues[i % 4], 0, REG_DWORD, zone, 4);
  }
  store.RegCloseKey(key);
  if (store.CommitTransaction() != ERROR_SUCCESS) std::abort();
}

// The path of an SQLite store holding `count` listings (laid out by `layOut`
// first, when given), made once per run in the scratch folder.
inline const std::string& ListingsStorePath(int count, void (*layOut)(RegistryStore&) = nullptr) {
  static std::map<std::pair<int, bool>, std::string> made;
  std::string& path = made[{count, layOut != nullptr}];
  if (path.empty()) {
    path = NewScratchPath(("listings" + std::to_string(count) + "-").c_str());
    SqliteStore::OpenResult opened = layOut ? SqliteStore::Open(path, layOut) : SqliteStore::Open(path);
    if (!opened.store) std::abort();
    FillListings(*opened.store, count);
  }
  return path;
}

}  // namespace pw::bench
