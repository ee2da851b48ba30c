// Reading the zone's security state and writing a whole profile on the store
// the programs use: an SQLite file laid out as a fresh profile.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "policy/ZoneSecurity.h"
#include "registry/KnownKeys.h"
#include "registry/SqliteStore.h"

namespace pw {
namespace {

// A laid-out store in a folder of its own, removed afterwards.
class BenchStore {
 public:
  BenchStore() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pwbench-XXXXXX").string();
    if (::mkdtemp(pattern.data())) folder_ = pattern;
    SqliteStore::OpenResult result = SqliteStore::Open(folder_ + "/registry.db", LayOutNewStore);
    if (!result.store) std::fprintf(stderr, "%s\n", result.error.c_str());
    store_ = std::move(result.store);
  }
  ~BenchStore() {
    store_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  SqliteStore* Store() { return store_.get(); }

 private:
  std::string folder_;
  std::unique_ptr<SqliteStore> store_;
};

void BM_DetectZoneSecurity_Sqlite(benchmark::State& state) {
  BenchStore bench;
  if (!bench.Store()) return state.SkipWithError("no store");
  Registry registry(*bench.Store());
  WriteZoneProfile(registry, ZoneProfile::LockedDown);  // every check is read
  if (DetectZoneSecurity(registry) != ZoneSecurityState::Secured)
    state.SkipWithError("not secured");
  for (auto _ : state) benchmark::DoNotOptimize(DetectZoneSecurity(registry));
}
BENCHMARK(BM_DetectZoneSecurity_Sqlite)->Unit(benchmark::kMicrosecond);

// Right after another process wrote to the store: the mirror is reloaded first.
// The store holds a zone map of `range(0)` sites besides the zone.
void BM_DetectZoneSecurityAfterAnotherWriter_Sqlite(benchmark::State& state) {
  BenchStore bench;
  if (!bench.Store()) return state.SkipWithError("no store");
  SqliteStore& store = *bench.Store();
  Registry registry(store);
  HKEY domains = registry.CreateRegKey(HKEY_CURRENT_USER, kDomainsPath);
  store.BeginTransaction();
  for (int i = 0; i < state.range(0); ++i) {
    HKEY site = 0;
    store.RegCreateKeyExA(domains, "site" + std::to_string(i) + ".example", 0, "REG_DWORD", 0,
                          kAccess3F, nullptr, &site, nullptr);
    registry.WriteRegValue(site, "*", REG_DWORD, 2);
    store.RegCloseKey(site);
  }
  store.CommitTransaction();
  store.RegCloseKey(domains);
  sqlite3* other = nullptr;
  sqlite3_open_v2(store.Describe().c_str(), &other, SQLITE_OPEN_READWRITE, nullptr);
  for (auto _ : state) {
    state.PauseTiming();
    sqlite3_exec(other, "UPDATE keys SET class = randomblob(4) WHERE id = 3", nullptr, nullptr,
                 nullptr);
    state.ResumeTiming();
    benchmark::DoNotOptimize(DetectZoneSecurity(registry));
  }
  sqlite3_close(other);
}
BENCHMARK(BM_DetectZoneSecurityAfterAnotherWriter_Sqlite)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);

// Writing one profile: 28 SetRegValue calls, each its own committed transaction.
void BM_WriteProfile_Sqlite(benchmark::State& state) {
  BenchStore bench;
  if (!bench.Store()) return state.SkipWithError("no store");
  Registry registry(*bench.Store());
  int failures = 0;
  bench.Store()->SetErrorSink([&](const StoreFailure&) { ++failures; });
  bool locked = false;
  for (auto _ : state) {
    locked = !locked;  // every pass changes all the values
    WriteZoneProfile(registry, locked ? ZoneProfile::LockedDown : ZoneProfile::Default);
  }
  if (failures) state.SkipWithError("a write failed");
  if (DetectZoneSecurity(registry) !=
      (locked ? ZoneSecurityState::Secured : ZoneSecurityState::Unsecured))
    state.SkipWithError("the profile did not land");
  state.SetItemsProcessed(state.iterations() * 28);
}
BENCHMARK(BM_WriteProfile_Sqlite)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pw
