// Refresher's rebuild of the site list (enumeration and sort) for a large zone
// map: 20,000 domains each listed with "*", 5,000 of them also with two
// subdomains holding "http" and "https" (40,000 rows in all).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "listings/SiteList.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"
#include "registry/SqliteStore.h"

namespace pw {
namespace {

constexpr int kDomains = 20000;
constexpr int kDomainsWithSubdomains = 5000;
constexpr int kExpectedRows = kDomains + kDomainsWithSubdomains * 4;

void SetZone(RegistryStore& store, HKEY key, const char* name, BYTE zone) {
  BYTE data[4] = {zone, 0, 0, 0};
  store.RegSetValueExA(key, name, 0, REG_DWORD, data, 4);
}

HKEY Create(RegistryStore& store, const std::string& path) {
  HKEY key = 0;
  store.RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, "REG_DWORD", 0, kAccess3F, nullptr, &key, nullptr);
  return key;
}

// Domain names that do not come out of the store in the order they went in.
std::string DomainName(int i) {
  char name[40];
  std::snprintf(name, sizeof name, "site%05d.example%d.com", (i * 7919) % kDomains, i % 7);
  return name;
}

void Fill(RegistryStore& store) {
  store.BeginTransaction();
  std::string base = std::string(kDomainsPath) + "\\";
  for (int i = 0; i < kDomains; ++i) {
    std::string domain = base + DomainName(i);
    HKEY key = Create(store, domain);
    SetZone(store, key, "*", static_cast<BYTE>(2 + i % 3));
    store.RegCloseKey(key);
    if (i % (kDomains / kDomainsWithSubdomains) != 0) continue;
    for (const char* sub : {"www", "mail"}) {
      HKEY subKey = Create(store, domain + "\\" + sub);
      SetZone(store, subKey, "http", 4);
      SetZone(store, subKey, "https", 2);
      store.RegCloseKey(subKey);
    }
  }
  store.CommitTransaction();
}

void RunRefresher(benchmark::State& state, RegistryStore& store) {
  SiteList list;
  for (auto _ : state) {
    list.Refresher(store);
    benchmark::DoNotOptimize(list.Count());
  }
  if (list.Count() != kExpectedRows) state.SkipWithError("the rebuilt list has the wrong number of rows");
  state.counters["rows"] = list.Count();
}

void BM_RefresherMemory(benchmark::State& state) {
  static MemoryStore* store = [] {
    auto* made = new MemoryStore;
    Fill(*made);
    return made;
  }();
  RunRefresher(state, *store);
}
BENCHMARK(BM_RefresherMemory)->Unit(benchmark::kMillisecond);

void BM_RefresherSqlite(benchmark::State& state) {
  static std::string folder = [] {
    char name[] = "/tmp/pw-bench-XXXXXX";
    return std::string(mkdtemp(name));
  }();
  static SqliteStore* store = [] {
    SqliteStore::OpenResult opened = SqliteStore::Open(folder + "/zone-map.db");
    if (!opened.store) return static_cast<SqliteStore*>(nullptr);
    Fill(*opened.store);
    return opened.store.release();
  }();
  if (!store) {
    state.SkipWithError("cannot create the store");
    return;
  }
  RunRefresher(state, *store);
  static bool cleanup = [] {
    std::atexit([] {
      delete store;
      std::filesystem::remove_all(folder);
    });
    return true;
  }();
  (void)cleanup;
}
BENCHMARK(BM_RefresherSqlite)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pw
