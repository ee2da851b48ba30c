// A blocklist of 35,000 or 100,000 hosts restricted and undone on a new SQLite
// store: time, and the peak memory of the command line doing each in a fresh
// process.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "../support/GeneratedBlocklist.h"
#include "../support/PeakRss.h"
#include "../support/ScratchFolder.h"
#include "intake/Blocklist.h"
#include "registry/SqliteStore.h"

namespace pw {
namespace {

using bench::NewScratchPath;
using bench::RemoveStoreFiles;

constexpr int kManyHosts = 100000;

const std::string& ListText(int hosts) {
  static std::map<int, std::string> texts;
  std::string& text = texts[hosts];
  if (text.empty()) text = bench::GeneratedBlocklist(hosts);
  return text;
}

std::unique_ptr<SqliteStore> NewStore(const std::string& path) {
  SqliteStore::OpenResult opened = SqliteStore::Open(path);
  if (!opened.store) std::abort();
  return std::move(opened.store);
}

// Everything the verb does after reading the file.
void Apply(RegistryStore& store, int hosts) {
  Registry registry(store);
  BlocklistApplied applied =
      ApplyBlocklist(registry, "generated", "generated.txt", ReadBlocklist(ListText(hosts)), false);
  if (!applied.error.empty() || applied.created != static_cast<std::size_t>(hosts)) std::abort();
}

void BM_ApplyBlocklist(benchmark::State& state) {
  int hosts = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = NewScratchPath("apply.db");
    auto store = NewStore(path);
    state.ResumeTiming();
    Apply(*store, hosts);
    state.PauseTiming();
    store.reset();
    RemoveStoreFiles(path);
    state.ResumeTiming();
  }
  state.counters["hosts"] = hosts;
}
BENCHMARK(BM_ApplyBlocklist)->ArgName("hosts")->Arg(bench::kBlocklistHosts)->Arg(kManyHosts)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_UndoBlocklist(benchmark::State& state) {
  int hosts = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = NewScratchPath("undo.db");
    auto store = NewStore(path);
    Apply(*store, hosts);
    state.ResumeTiming();
    BlocklistUndone undone = UndoBlocklist(*store, "generated", false);
    if (!undone.error.empty() || undone.removed != static_cast<std::size_t>(hosts)) std::abort();
    state.PauseTiming();
    store.reset();
    RemoveStoreFiles(path);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_UndoBlocklist)->ArgName("hosts")->Arg(bench::kBlocklistHosts)->Arg(kManyHosts)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The command line's peak memory applying the list to a new store (undo 0)
// and undoing it (undo 1).
void BM_BlocklistPeakMemory(benchmark::State& state) {
  int hosts = static_cast<int>(state.range(1));
  std::string file = bench::ScratchFolder() + "/generated.txt";
  std::ofstream(file, std::ios::binary) << ListText(hosts);
  long peak = 0;
  for (auto _ : state) {
    std::string path = NewScratchPath("peak.db");
    long kb = bench::PeakKilobytesOf(PW_CLI_BINARY, {"--store", path, "restrict-hosts", file});
    if (state.range(0) == 1 && kb >= 0)
      kb = bench::PeakKilobytesOf(PW_CLI_BINARY, {"--store", path, "restrict-hosts", "--undo", "generated.txt"});
    if (kb < 0) state.SkipWithError("the command line failed");
    peak = std::max(peak, kb);
    state.PauseTiming();
    RemoveStoreFiles(path);
    state.ResumeTiming();
  }
  state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024;
}
BENCHMARK(BM_BlocklistPeakMemory)->ArgNames({"undo", "hosts"})->ArgsProduct({{0, 1}, {bench::kBlocklistHosts, kManyHosts}})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
}  // namespace pw

int main(int argc, char** argv) { return pw::bench::PeakRssBenchmarkMain(argc, argv); }
