// ZoneForUrl on the large zone map in SQLite: one address a time, a third of
// them decided by a subdomain key, a third by the domain key named as the host,
// a third not listed (both hives searched to the end).
#include <benchmark/benchmark.h>

#include <vector>

#include "../support/GeneratedListings.h"
#include "LargeZoneMap.h"
#include "listings/ZoneForUrl.h"
#include "registry/MemoryStore.h"

namespace pw {
namespace {

void BM_ZoneForUrlSqlite(benchmark::State& state) {
  SqliteStore* store = bench::LargeSqliteZoneMap();
  HKEY machine = 0;
  if (!store || store->RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDomainsPath, 0, nullptr, 0, kAccess3F,
                                       nullptr, &machine, nullptr) != ERROR_SUCCESS) {
    state.SkipWithError("cannot create the store");
    return;
  }
  store->RegCloseKey(machine);
  std::vector<std::string> addresses;
  for (int i = 0; i < 3000; i += 3) {
    int withSubdomains = i / 3 * (bench::kDomains / bench::kDomainsWithSubdomains);
    addresses.push_back("https://www." + bench::DomainName(withSubdomains) + "/index.html");
    addresses.push_back("http://" + bench::DomainName(i + 1) + ":8080/x?y");
    addresses.push_back("http://www.unlisted" + std::to_string(i) + ".example.net/");
  }
  std::size_t next = 0;
  benchmark::IterationCount listed = 0;
  for (auto _ : state) {
    ZoneAnswer answer = ZoneForUrl(*store, addresses[next]);
    listed += answer.verdict == ZoneVerdict::Listed;
    next = (next + 1) % addresses.size();
  }
  if (state.iterations() >= static_cast<benchmark::IterationCount>(addresses.size()) &&
      listed * 3 < state.iterations() * 2 - 3)
    state.SkipWithError("fewer addresses were listed than the map lists");
}
BENCHMARK(BM_ZoneForUrlSqlite)->Unit(benchmark::kMicrosecond);

// The same mix on maps of 20,000 and 100,000 listings of both shapes: the
// cost of an address should not grow with the map.
void BM_ZoneForUrlListings(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  SqliteStore::OpenResult opened = SqliteStore::Open(bench::ListingsStorePath(count));
  if (!opened.store) {
    state.SkipWithError("cannot open the store");
    return;
  }
  std::vector<std::string> addresses;
  for (int i = 0; i < 3000; ++i) {
    int listing = (i * 7919) % count;
    if (i % 3 == 0) addresses.push_back("https://www." + bench::ListingDomain(listing | 4) + "/index.html");
    else if (i % 3 == 1) addresses.push_back("http://" + bench::ListingDomain(listing & ~4) + ":8080/x?y");
    else addresses.push_back("http://www.unlisted" + std::to_string(i) + ".example.net/");
  }
  std::size_t next = 0;
  benchmark::IterationCount listed = 0;
  for (auto _ : state) {
    listed += ZoneForUrl(*opened.store, addresses[next]).verdict == ZoneVerdict::Listed;
    next = (next + 1) % addresses.size();
  }
  if (state.iterations() >= static_cast<benchmark::IterationCount>(addresses.size()) &&
      listed * 3 < state.iterations() * 2 - 3)
    state.SkipWithError("fewer addresses were listed than the map lists");
}
BENCHMARK(BM_ZoneForUrlListings)->ArgName("listings")->Arg(bench::kListingsSmall)->Arg(bench::kListingsLarge)->Unit(benchmark::kMicrosecond);

// An 80 KB host (40,000 labels) in front of a listed domain, as the window's
// zone line gets it at every keystroke when such a text is pasted.
void BM_ZoneForUrlLongHost(benchmark::State& state) {
  MemoryStore store;
  HKEY key = 0;
  DWORD restricted = 4;
  if (store.RegCreateKeyExA(HKEY_CURRENT_USER, std::string(kDomainsPath) + "\\example.com", 0, nullptr, 0, kAccess3F,
                            nullptr, &key, nullptr) != ERROR_SUCCESS ||
      store.RegSetValueExA(key, "*", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&restricted), 4) != ERROR_SUCCESS) {
    state.SkipWithError("cannot write the listing");
    return;
  }
  store.RegCloseKey(key);
  std::string url = "http://";
  for (int i = 0; i < 40000; ++i) url += "a.";
  url += "example.com/";
  for (auto _ : state) {
    ZoneAnswer answer = ZoneForUrl(store, url);
    if (answer.verdict != ZoneVerdict::Listed) state.SkipWithError("the listing did not decide");
  }
}
BENCHMARK(BM_ZoneForUrlLongHost)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pw
