// Enforcement with a zone map of 20,000 (or 100,000) listings in an SQLite store: the whole
// translation and writing of the policy files (Chromium's, and Firefox's
// managed storage alone), the re-apply that follows one change (both), the locked-down profile's 28 writes, the registry form (first write
// and after one change), and what watching the writes costs the site list's
// rebuild, the longest run of reads.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "enforcement/Enforcement.h"
#include "enforcement/PolicyFiles.h"
#include "enforcement/RegistryPolicy.h"
#include "listings/SiteList.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"
#include "registry/Registry.h"
#include "registry/SqliteStore.h"

namespace pw {
namespace {

constexpr int kListings = 20000;
constexpr int kManyListings = 100000;

std::string Folder() {
  static std::string folder = [] {
    char name[] = "/tmp/pw-bench-XXXXXX";
    std::string made = mkdtemp(name);
    std::atexit([] { std::filesystem::remove_all(Folder()); });
    return made;
  }();
  return folder;
}

void SetZone(RegistryStore& store, const std::string& path, const char* name, BYTE zone) {
  HKEY key = 0;
  store.RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, "REG_DWORD", 0, kAccess3F, nullptr, &key, nullptr);
  BYTE data[4] = {zone, 0, 0, 0};
  store.RegSetValueExA(key, name, 0, REG_DWORD, data, 4);
  store.RegCloseKey(key);
}

// `count` listings: three in four Restricted domains, the rest Trusted
// subdomains by protocol.
void Fill(RegistryStore& store, int count = kListings) {
  store.BeginTransaction();
  for (int i = 0; i < count; ++i) {
    char domain[160];
    std::snprintf(domain, sizeof domain, "%s\\site%06d.example%d.com", kDomainsPath,
                  static_cast<int>((static_cast<long long>(i) * 7919) % count), i % 7);
    if (i % 4)
      SetZone(store, domain, "*", 4);
    else
      SetZone(store, std::string(domain) + "\\www", i % 8 ? "https" : "http", 2);
  }
  store.CommitTransaction();
}

// The store as the programs open it, enforcement on with links into a
// folder of the run for the browsers named (none: the Chromium family).
std::unique_ptr<RegistryStore> MakeEnforcedStore(const std::string& name, std::vector<std::string> browsers,
                                                 int count = kListings) {
  std::string path = Folder() + "/" + name + ".db";
  SqliteStore::OpenResult opened = SqliteStore::Open(path, LayOutNewStore);
  if (!opened.store) return nullptr;
  Fill(*opened.store, count);
  std::unique_ptr<RegistryStore> watched = WithBrowserEnforcement(std::move(opened.store));
  EnforceRequest request;
  request.policyRoot = Folder() + "/" + name + "-policies";
  request.browsers = std::move(browsers);
  request.storePath = path;
  if (!EnforceOn(*watched, request).error.empty()) return nullptr;
  return watched;
}

// Made once each.
RegistryStore& EnforcedStore(int count = kListings) {
  static std::map<int, std::unique_ptr<RegistryStore>> stores;
  std::unique_ptr<RegistryStore>& store = stores[count];
  if (!store) store = MakeEnforcedStore("zone-map-" + std::to_string(count), {}, count);
  return *store;
}
RegistryStore& FirefoxStore() {
  static std::unique_ptr<RegistryStore> store = MakeEnforcedStore("firefox", {kFirefoxName});
  return *store;
}

// One listing flipped between Restricted and Trusted; `store` decides whether
// the write is followed.
void FlipOne(RegistryStore& store, int round) {
  SetZone(store, std::string(kDomainsPath) + "\\flip.example.com", "*", round % 2 ? 2 : 4);
}

void BM_TranslateAndWriteAll(benchmark::State& state) {
  RegistryStore& store = state.range(0) ? FirefoxStore() : EnforcedStore(static_cast<int>(state.range(1)));
  auto& inner = static_cast<ForwardingStore&>(store).Target();
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    FlipOne(inner, ++round);  // unfollowed: the policy files now differ from the store
    state.ResumeTiming();
    if (ReapplyEnforcement(inner)) state.SkipWithError("the policy could not be written");
  }
}
// Firefox 1: Firefox alone (20,000 listings), its manifest written beside the store.
void Sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"firefox", "listings"});
  b->Args({0, kListings});
  b->Args({0, kManyListings});
  b->Args({1, kListings});
}
BENCHMARK(BM_TranslateAndWriteAll)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReapplyAfterOneChange(benchmark::State& state) {
  RegistryStore& store = state.range(0) ? FirefoxStore() : EnforcedStore(static_cast<int>(state.range(1)));
  int round = 0;
  for (auto _ : state) FlipOne(store, ++round);  // the store re-applies before the write returns
}
BENCHMARK(BM_ReapplyAfterOneChange)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// Firefox's policy for the 20,000 listings written: the switches, the
// manifest, and the file replaced; the zone state alternates, so that every
// round writes.
void BM_FirefoxManifest(benchmark::State& state) {
  MemoryStore source;
  Fill(source);
  ScriptPolicy policy = ScriptPolicyOf(source).policy;
  pw::Folder folder;
  if (!OpenFolder(Folder(), folder).Ok()) state.SkipWithError("no folder");
  std::string json, scratch;
  int round = 0;
  for (auto _ : state) {
    policy.managedDefault = ++round % 2 ? std::optional<int>(kBlockScripts) : std::nullopt;
    WriteManagedStorageJson(SwitchesOf(policy), json);
    if (!ReplaceFileIn(folder, "manifest.json", json, &scratch).Ok()) state.SkipWithError("not written");
  }
}
BENCHMARK(BM_FirefoxManifest)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LockedDownProfile(benchmark::State& state) {
  RegistryStore& store = EnforcedStore();
  Registry registry(store);
  int round = 0;
  for (auto _ : state) WriteZoneProfile(registry, ++round % 2 ? ZoneProfile::LockedDown : ZoneProfile::Default);
}
BENCHMARK(BM_LockedDownProfile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The registry form in a fresh SQLite store: every entry and its record written.
void BM_RegistryFormFirstWrite(benchmark::State& state) {
  MemoryStore source;
  Fill(source);
  ScriptPolicy policy = ScriptPolicyOf(source).policy;
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = Folder() + "/registry-form-" + std::to_string(++round) + ".db";
    SqliteStore::OpenResult opened = SqliteStore::Open(path, LayOutNewStore);
    state.ResumeTiming();
    ApplyRegistryPolicy(*opened.store, "Software\\Policies\\Chromium", "Software\\Portwarden\\Written", &policy);
    state.PauseTiming();
    opened.store.reset();
    std::filesystem::remove(path);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RegistryFormFirstWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// The registry form alone, as on Windows: enforcement on for every browser
// of the family in the registry, through the store as the programs open it.
// The first write, which writes every entry, comes before the timing.
void BM_RegistryFormAfterOneChange(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  static std::map<int, std::unique_ptr<RegistryStore>> stores;
  std::unique_ptr<RegistryStore>& store = stores[count];
  if (!store) {
    SqliteStore::OpenResult opened =
        SqliteStore::Open(Folder() + "/registry-form-" + std::to_string(count) + ".db", LayOutNewStore);
    Fill(*opened.store, count);
    Registry registry(*opened.store);
    HKEY key = registry.CreateRegKey(HKEY_LOCAL_MACHINE, kEnforcementPath);
    for (const char* name : {"Browsers", "PolicyRoot", "PolicyFolder"}) registry.WriteRegValue(key, name, REG_SZ, "");
    registry.WriteRegValue(key, "Copy", REG_DWORD, 0);
    registry.WriteRegValue(key, "Registry", REG_DWORD, 1);
    registry.WriteRegValue(key, "Generation", REG_DWORD, 0);
    opened.store->RegCloseKey(key);
    store = WithBrowserEnforcement(std::move(opened.store));
    FlipOne(*store, 0);
  }
  int round = 0;
  for (auto _ : state) FlipOne(*store, ++round);  // the store re-applies before the write returns
}
BENCHMARK(BM_RegistryFormAfterOneChange)->ArgName("listings")->Arg(kListings)->Arg(kManyListings)->Unit(benchmark::kMillisecond)->UseRealTime();

// The rebuild through the store as the programs open it, and straight.
void BM_SiteListRebuildWatched(benchmark::State& state) {
  RegistryStore& store = EnforcedStore();
  RegistryStore& inner = static_cast<ForwardingStore&>(store).Target();
  SiteList list;
  for (auto _ : state) list.Rebuild(state.range(0) ? store : inner);
}
BENCHMARK(BM_SiteListRebuildWatched)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace pw
