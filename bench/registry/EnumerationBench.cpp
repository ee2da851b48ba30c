// Index-based enumeration of a key with many subkeys, as the site list does it:
// RegEnumKeyExA from index 0 until 259 with a 255-byte buffer. The stores keep
// subkeys in enumeration order, so each index costs the same and a whole pass
// grows as n log n at worst (the sort after a change), never as n squared.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "registry/MemoryStore.h"
#include "registry/SqliteStore.h"

namespace pw {
namespace {

constexpr const char* kDomains =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains";

// A folder for the benchmark's stores, removed at exit.
const std::string& BenchFolder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "pwbench-XXXXXX").string();
    std::string made = ::mkdtemp(pattern.data()) ? pattern : std::string();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(BenchFolder(), ignored);
    });
    return made;
  }();
  return folder;
}

// Fills the zone map with `count` domain keys, named as sites are ("site123.example"),
// in one transaction.
void Fill(RegistryStore& store, int count) {
  HKEY domains = 0;
  store.RegCreateKeyExA(HKEY_CURRENT_USER, kDomains, 0, nullptr, 0, kAccess3F, nullptr, &domains,
                        nullptr);
  store.BeginTransaction();
  for (int i = 0; i < count; ++i) {
    HKEY h = 0;
    // Not created in name order, as a user adds sites.
    int n = static_cast<int>((static_cast<long long>(i) * 7919) % count);
    store.RegCreateKeyExA(domains, "site" + std::to_string(n) + ".example", 0, nullptr, 0,
                          kAccess3F, nullptr, &h, nullptr);
    store.RegCloseKey(h);
  }
  if (store.CommitTransaction() != ERROR_SUCCESS) std::fprintf(stderr, "cannot fill the store\n");
  store.RegCloseKey(domains);
}

// One store per kind and size, made once.
RegistryStore& StoreOf(bool sqlite, int count) {
  static std::map<std::pair<bool, int>, std::unique_ptr<RegistryStore>> stores;
  auto& slot = stores[{sqlite, count}];
  if (!slot) {
    if (sqlite) {
      std::string path = BenchFolder() + "/subkeys" + std::to_string(count) + ".db";
      SqliteStore::OpenResult result = SqliteStore::Open(path);
      if (!result.store) std::fprintf(stderr, "%s\n", result.error.c_str());
      slot = std::move(result.store);
    } else {
      slot = std::make_unique<MemoryStore>();
    }
    Fill(*slot, count);
  }
  return *slot;
}

// One pass over every subkey; returns how many were seen.
int EnumerateAll(RegistryStore& store) {
  HKEY key = 0;
  if (store.RegOpenKeyA(HKEY_CURRENT_USER, kDomains, &key) != ERROR_SUCCESS) return -1;
  char name[255];
  int seen = 0;
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    LONG status =
        store.RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ++seen;
  }
  store.RegCloseKey(key);
  return seen;
}

// Processor time of one pass, averaged over `passes`: unlike the wall clock,
// it does not count time the machine spent on other work.
double CpuSecondsPerPass(RegistryStore& store, int passes) {
  auto now = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  double start = now();
  for (int i = 0; i < passes; ++i) benchmark::DoNotOptimize(EnumerateAll(store));
  return (now() - start) / passes;
}

void Enumerate(benchmark::State& state, bool sqlite) {
  int count = static_cast<int>(state.range(0));
  RegistryStore& store = StoreOf(sqlite, count);
  if (EnumerateAll(store) != count) state.SkipWithError("the store does not hold every subkey");
  for (auto _ : state) benchmark::DoNotOptimize(EnumerateAll(store));
  state.SetComplexityN(count);
  state.SetItemsProcessed(state.iterations() * count);
  if (sqlite) {
    // The same pass on memory, for the ratio beside the figure.
    RegistryStore& memory = StoreOf(false, count);
    EnumerateAll(memory);
    state.counters["vs_memory"] = CpuSecondsPerPass(store, 5) / CpuSecondsPerPass(memory, 100);
  }
}

void BM_EnumerateSubkeys_Sqlite(benchmark::State& state) {
  Enumerate(state, true);
}
void BM_EnumerateSubkeys_Memory(benchmark::State& state) {
  Enumerate(state, false);
}

BENCHMARK(BM_EnumerateSubkeys_Sqlite)
    ->Arg(5000)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
BENCHMARK(BM_EnumerateSubkeys_Memory)
    ->Arg(5000)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

// The same pass inside a read snapshot, as the site list rebuild reads: the
// store is checked for other processes' writes once instead of at every index.
void BM_EnumerateSubkeysInReadSnapshot_Sqlite(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  RegistryStore& store = StoreOf(true, count);
  for (auto _ : state) {
    ReadSnapshot snapshot(store);
    benchmark::DoNotOptimize(EnumerateAll(store));
  }
  state.SetComplexityN(count);
}
BENCHMARK(BM_EnumerateSubkeysInReadSnapshot_Sqlite)
    ->Arg(5000)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

// The worst case: another process has just written, so the pass starts by
// reloading the whole mirror from the file.
void BM_EnumerateSubkeysAfterAnotherWriter_Sqlite(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  RegistryStore& store = StoreOf(true, count);
  std::string path = store.Describe();
  sqlite3* other = nullptr;
  sqlite3_open_v2(path.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr);
  int loadsBefore = static_cast<SqliteStore&>(store).MirrorLoads();
  for (auto _ : state) {
    state.PauseTiming();
    sqlite3_exec(other, "UPDATE keys SET class = randomblob(4) WHERE id = 3", nullptr, nullptr,
                 nullptr);
    state.ResumeTiming();
    benchmark::DoNotOptimize(EnumerateAll(store));
  }
  if (static_cast<SqliteStore&>(store).MirrorLoads() - loadsBefore !=
      static_cast<int>(state.iterations()))
    state.SkipWithError("the store did not reload after each write");
  sqlite3_close(other);
  state.SetComplexityN(count);
}
BENCHMARK(BM_EnumerateSubkeysAfterAnotherWriter_Sqlite)
    ->Arg(5000)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

// Opening a store: the header and layout checks, the check that its rows hang
// together, and the mirror's first load.
void BM_OpenStore_Sqlite(benchmark::State& state) {
  std::string path = StoreOf(true, static_cast<int>(state.range(0))).Describe();
  for (auto _ : state) {
    SqliteStore::OpenResult result = SqliteStore::Open(path);
    if (!result.store) state.SkipWithError(result.error.c_str());
    benchmark::DoNotOptimize(result.store);
  }
}
BENCHMARK(BM_OpenStore_Sqlite)->Arg(1000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same with a listing in every key, as a zone map holds them: opening
// also compares every value's row with its index entry.
void BM_OpenStoreOfListings_Sqlite(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  std::string path = BenchFolder() + "/listings" + std::to_string(count) + ".db";
  {
    SqliteStore::OpenResult made = SqliteStore::Open(path);
    if (!made.store) state.SkipWithError(made.error.c_str());
    Fill(*made.store, count);
    HKEY domains = 0;
    made.store->RegOpenKeyA(HKEY_CURRENT_USER, kDomains, &domains);
    made.store->BeginTransaction();
    BYTE trusted[4] = {2, 0, 0, 0};
    for (int i = 0; i < count; ++i) {
      HKEY key = 0;
      made.store->RegOpenKeyA(domains, "site" + std::to_string(i) + ".example", &key);
      made.store->RegSetValueExA(key, "*", 0, REG_DWORD, trusted, 4);
      made.store->RegCloseKey(key);
    }
    if (made.store->CommitTransaction() != ERROR_SUCCESS) state.SkipWithError("cannot fill the store");
    made.store->RegCloseKey(domains);
  }
  for (auto _ : state) {
    SqliteStore::OpenResult result = SqliteStore::Open(path);
    if (!result.store) state.SkipWithError(result.error.c_str());
    benchmark::DoNotOptimize(result.store);
  }
}
BENCHMARK(BM_OpenStoreOfListings_Sqlite)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pw
