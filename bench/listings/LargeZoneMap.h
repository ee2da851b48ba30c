// A large zone map for the listings benchmarks: 20,000 domains each listed with
// "*", 5,000 of them also with two subdomains ("www" and "mail") holding
// "http" and "https" (40,000 rows in the site list).
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "../support/GeneratedBlocklist.h"
#include "intake/Blocklist.h"
#include "registry/KnownKeys.h"
#include "registry/SqliteStore.h"

namespace pw::bench {

inline constexpr int kDomains = 20000;
inline constexpr int kDomainsWithSubdomains = 5000;

// Domain names that do not come out of the store in the order they went in.
inline std::string DomainName(int i) {
  char name[40];
  std::snprintf(name, sizeof name, "site%05d.example%d.com", (i * 7919) % kDomains, i % 7);
  return name;
}

// True for the domains that have the two subdomains.
inline bool HasSubdomains(int i) {
  return i % (kDomains / kDomainsWithSubdomains) == 0;
}

inline void FillLargeZoneMap(RegistryStore& store) {
  auto create = [&store](const std::string& path) {
    HKEY key = 0;
    store.RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, "REG_DWORD", 0, kAccess3F, nullptr, &key,
                          nullptr);
    return key;
  };
  auto setZone = [&store](HKEY key, const char* name, BYTE zone) {
    BYTE data[4] = {zone, 0, 0, 0};
    store.RegSetValueExA(key, name, 0, REG_DWORD, data, 4);
  };
  store.BeginTransaction();
  std::string base = std::string(kDomainsPath) + "\\";
  for (int i = 0; i < kDomains; ++i) {
    std::string domain = base + DomainName(i);
    HKEY key = create(domain);
    setZone(key, "*", static_cast<BYTE>(2 + i % 3));
    store.RegCloseKey(key);
    if (!HasSubdomains(i)) continue;
    for (const char* sub : {"www", "mail"}) {
      HKEY subKey = create(domain + "\\" + sub);
      setZone(subKey, "http", 4);
      setZone(subKey, "https", 2);
      store.RegCloseKey(subKey);
    }
  }
  store.CommitTransaction();
}

// The large map in an SQLite store in a scratch folder, made once per run and
// removed at exit; with `blocklistHosts`, a generated blocklist of that many
// hosts is restricted on top of it (one more listing each). Null when it
// cannot be made.
inline SqliteStore* LargeSqliteZoneMap(int blocklistHosts = 0) {
  // Never destroyed, so that the removal at exit, which runs after the stores
  // below are closed, still has it.
  static const std::string& folder = *[] {
    char name[] = "/tmp/pw-bench-XXXXXX";
    auto* made = new std::string(mkdtemp(name));
    std::atexit([] { std::filesystem::remove_all(folder); });
    return made;
  }();
  static std::map<int, std::unique_ptr<SqliteStore>> stores;
  std::unique_ptr<SqliteStore>& store = stores[blocklistHosts];
  if (!store) {
    SqliteStore::OpenResult opened =
        SqliteStore::Open(folder + "/zone-map-" + std::to_string(blocklistHosts) + ".db");
    if (!opened.store) return nullptr;
    FillLargeZoneMap(*opened.store);
    if (blocklistHosts > 0) {
      Registry registry(*opened.store);
      if (!ApplyBlocklist(registry, "generated", "generated.txt", ReadBlocklist(GeneratedBlocklist(blocklistHosts)),
                          false)
               .error.empty())
        return nullptr;
    }
    store = std::move(opened.store);
  }
  return store.get();
}

}  // namespace pw::bench
