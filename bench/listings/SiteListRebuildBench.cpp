// The rebuild of the site list (enumeration and sort) for a large zone
// map: 20,000 domains each listed with "*", 5,000 of them also with two
// subdomains holding "http" and "https" (40,000 rows in all).
#include <benchmark/benchmark.h>

#include "../support/GeneratedListings.h"
#include "LargeZoneMap.h"
#include "listings/SiteList.h"
#include "registry/MemoryStore.h"

namespace pw {
namespace {

constexpr int kExpectedRows = bench::kDomains + bench::kDomainsWithSubdomains * 4;

void RunRebuild(benchmark::State& state, RegistryStore& store, int expectedRows = kExpectedRows) {
  SiteList list;
  for (auto _ : state) {
    list.Rebuild(store);
    benchmark::DoNotOptimize(list.Count());
  }
  if (list.Count() != expectedRows) state.SkipWithError("the rebuilt list has the wrong number of rows");
  state.counters["rows"] = list.Count();
}

void BM_SiteListRebuildMemory(benchmark::State& state) {
  static MemoryStore* store = [] {
    auto* made = new MemoryStore;
    bench::FillLargeZoneMap(*made);
    return made;
  }();
  RunRebuild(state, *store);
}
BENCHMARK(BM_SiteListRebuildMemory)->Unit(benchmark::kMillisecond);

void BM_SiteListRebuildSqlite(benchmark::State& state) {
  SqliteStore* store = bench::LargeSqliteZoneMap();
  if (!store) {
    state.SkipWithError("cannot create the store");
    return;
  }
  RunRebuild(state, *store);
}
BENCHMARK(BM_SiteListRebuildSqlite)->Unit(benchmark::kMillisecond);

// The same map with a blocklist of 35,000 hosts restricted on top of it.
void BM_SiteListRebuildSqliteWithBlocklist(benchmark::State& state) {
  SqliteStore* store = bench::LargeSqliteZoneMap(bench::kBlocklistHosts);
  if (!store) {
    state.SkipWithError("cannot create the store");
    return;
  }
  RunRebuild(state, *store, kExpectedRows + bench::kBlocklistHosts);
}
BENCHMARK(BM_SiteListRebuildSqliteWithBlocklist)->Unit(benchmark::kMillisecond);

// 20,000 and 100,000 listings of both shapes, one row each.
void BM_SiteListRebuildListings(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  SqliteStore::OpenResult opened = SqliteStore::Open(bench::ListingsStorePath(count));
  if (!opened.store) {
    state.SkipWithError("cannot open the store");
    return;
  }
  RunRebuild(state, *opened.store, count);
}
BENCHMARK(BM_SiteListRebuildListings)->ArgName("listings")->Arg(bench::kListingsSmall)->Arg(bench::kListingsLarge)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pw
