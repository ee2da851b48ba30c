// A machine policy of 20,000 listings: written from an SQLite store to disk as
// the export verb does, and read and imported into a new store.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "regfile/FileBytes.h"
#include "regfile/GroupPolicy.h"
#include "regfile/RegFileImport.h"
#include "registry/KnownKeys.h"
#include "registry/SqliteStore.h"

namespace {

constexpr int kListings = 20000;

struct Folder {
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pwpolicy-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    path = ::mkdtemp(name.data());
  }
  ~Folder() { std::filesystem::remove_all(path); }
  std::string File(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

std::unique_ptr<pw::SqliteStore> NewStore(const std::string& path) {
  pw::SqliteStore::OpenResult opened = pw::SqliteStore::Open(path, pw::LayOutNewStore);
  if (!opened.store) std::abort();
  return std::move(opened.store);
}

void Set(pw::RegistryStore& store, const std::string& path, const std::string& name, std::uint32_t zone) {
  pw::HKEY key = 0;
  if (store.RegCreateKeyExA(pw::HKEY_CURRENT_USER, path, 0, nullptr, 0, pw::kAccess3F, nullptr, &key, nullptr) != 0)
    std::abort();
  store.RegSetValueExA(key, name, 0, pw::REG_DWORD, reinterpret_cast<const pw::BYTE*>(&zone), 4);
  store.RegCloseKey(key);
}

// Half the listings a domain's own "*" value, half one protocol of a subdomain
// key; the zone locked down.
void Fill(pw::RegistryStore& store) {
  std::string base = std::string(pw::kDomainsPath) + "\\";
  if (store.BeginTransaction() != 0) std::abort();
  for (int i = 0; i < kListings / 2; ++i) {
    std::string domain = base + "site" + std::to_string(i) + ".example";
    Set(store, domain, "*", 2 + i % 3);
    Set(store, domain + "\\www", i % 2 ? "https" : "http", 4);
  }
  if (store.CommitTransaction() != 0) std::abort();
  pw::Registry registry(store);
  pw::WriteZoneProfile(registry, pw::ZoneProfile::LockedDown);
}

// Builds the policy from the store and writes it to disk, as the export verb does.
std::string Export(pw::RegistryStore& store, const std::string& file) {
  pw::PolicyExport exported = pw::ExportPolicy(store);
  std::string bytes;
  if (!exported.ok || exported.sites.size() != kListings || !pw::WritePolicyFile(exported.file, bytes).Ok() ||
      !pw::SaveFileReplacing(file, bytes).Ok())
    std::abort();
  return bytes;
}

void BM_ExportPolicyOf20000Listings(benchmark::State& state) {
  Folder folder;
  auto store = NewStore(folder.File("store.db"));
  Fill(*store);
  std::size_t size = 0;
  for (auto _ : state) size = Export(*store, folder.File("Registry.pol")).size();
  state.counters["listings"] = kListings;
  state.counters["file_MB"] = static_cast<double>(size) / (1 << 20);
}
BENCHMARK(BM_ExportPolicyOf20000Listings)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Read, check, plan and apply into a new store: everything import --policy does.
void BM_ImportPolicyOf20000Listings(benchmark::State& state) {
  Folder folder;
  std::string bytes;
  {
    auto source = NewStore(folder.File("source.db"));
    Fill(*source);
    bytes = Export(*source, folder.File("Registry.pol"));
  }
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto store = NewStore(folder.File("import" + std::to_string(++round) + ".db"));
    state.ResumeTiming();
    pw::PolicyFile policy;
    pw::PolicyFileError error;
    if (!pw::ReadPolicyFile(bytes, "Registry.pol", policy, error)) std::abort();
    pw::PolicyImportPlan plan = pw::PlanPolicyImport(policy);
    pw::ImportResult result = pw::ApplyImport(*store, plan.file, pw::PlanImport(plan.file, false));
    if (!result.error.empty() || result.valuesSet != kListings) std::abort();
  }
  state.counters["listings"] = kListings;
}
BENCHMARK(BM_ImportPolicyOf20000Listings)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
