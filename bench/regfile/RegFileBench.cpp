// Importing and exporting a zone map of 20,000 restricted domains (one key and
// one "*" value each) with a new SQLite store: time, and the peak memory of the
// command line doing the same in a fresh process.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../support/PeakRss.h"
#include "../support/ScratchFolder.h"
#include "policy/NewStoreLayout.h"
#include "regfile/FileBytes.h"
#include "regfile/RegFileExport.h"
#include "regfile/RegFileImport.h"
#include "regfile/RegFileReader.h"
#include "registry/KnownKeys.h"
#include "registry/SqliteStore.h"

namespace {

constexpr int kDomains = 20000;

// The file a Windows machine's editor would save for such a zone map: UTF-16LE
// with a byte-order mark.
const std::string& SitesFile() {
  static std::string bytes = [] {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    std::string base = std::string("[HKEY_CURRENT_USER\\") + pw::kDomainsPath + "\\";
    for (int i = 0; i < kDomains; ++i)
      text += base + "ads" + std::to_string(i) + ".tracker-example.com]\r\n\"*\"=dword:00000004\r\n\r\n";
    std::string wide = "\xFF\xFE";
    for (char c : text) {
      wide += c;
      wide += '\0';
    }
    return wide;
  }();
  return bytes;
}

std::unique_ptr<pw::SqliteStore> NewStore(const std::string& path) {
  pw::SqliteStore::OpenResult opened = pw::SqliteStore::Open(path, pw::LayOutNewStore);
  if (!opened.store) std::abort();
  return std::move(opened.store);
}

// Read, check, plan and apply: everything the import verb does after reading
// the file.
void Import(pw::RegistryStore& store, const std::string& bytes) {
  pw::RegFile file;
  pw::RegFileError error;
  if (!pw::ReadRegFile(bytes, "sites.reg", file, error)) std::abort();
  pw::ImportResult result = pw::ApplyImport(store, file, pw::PlanImport(file, false));
  if (!result.error.empty() || result.valuesSet != kDomains) std::abort();
}

void BM_ImportRestrictedDomains(benchmark::State& state) {
  const std::string& bytes = SitesFile();
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = pw::bench::NewScratchPath("import.db");
    auto store = NewStore(path);
    state.ResumeTiming();
    Import(*store, bytes);
    state.PauseTiming();
    store.reset();
    pw::bench::RemoveStoreFiles(path);
    state.ResumeTiming();
  }
  state.counters["domains"] = kDomains;
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / (1 << 20);
}
BENCHMARK(BM_ImportRestrictedDomains)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Collects the default keys and writes the file to disk, as the export verb does.
void BM_ExportRestrictedDomains(benchmark::State& state) {
  std::string path = pw::bench::NewScratchPath("export.db");
  auto store = NewStore(path);
  Import(*store, SitesFile());
  std::string out = pw::bench::NewScratchPath("export.reg");
  std::size_t size = 0;
  for (auto _ : state) {
    pw::ExportResult result = pw::ExportRegFile(*store, pw::DefaultExportKeys(), pw::RegFileFormat::Version5);
    if (!result.ok || result.values < kDomains || !pw::SaveFileReplacing(out, result.bytes).Ok()) std::abort();
    size = result.bytes.size();
  }
  state.counters["file_MB"] = static_cast<double>(size) / (1 << 20);
}
BENCHMARK(BM_ExportRestrictedDomains)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Puts `count` DWORD values named v0, v1, ... into the key Internet
// Settings\Big of the store at `path`, in one statement behind the store's
// back: the benchmarks below time what is done with them, not their making.
void FillValues(const std::string& path, int count) {
  {
    auto store = NewStore(path);
    pw::HKEY key = 0;
    if (store->RegCreateKeyExA(pw::HKEY_CURRENT_USER, std::string(pw::kInternetSettingsPath) + "\\Big", 0, nullptr, 0,
                               pw::kAccess3F, nullptr, &key, nullptr) != pw::ERROR_SUCCESS)
      std::abort();
    store->RegCloseKey(key);
  }
  sqlite3* db = nullptr;
  std::string sql =
      "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(count - 1) +
      ") INSERT INTO vals SELECT (SELECT id FROM keys WHERE fold = CAST('BIG' AS BLOB)), CAST('v' || i AS BLOB),"
      " CAST('V' || i AS BLOB), 4, x'01000000' FROM n";
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK || sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    std::abort();
  sqlite3_close(db);
}

// An import deleting every value of a key that holds `count` of them. Each
// delete costs O(log n), so the whole import grows as n log n.
void BM_ImportDeletingValues(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" +
                     std::string(pw::kInternetSettingsPath) + "\\Big]\r\n";
  for (int i = 0; i < count; ++i) text += "\"v" + std::to_string(i) + "\"=-\r\n";
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = pw::bench::NewScratchPath("delete.db");
    FillValues(path, count);
    auto store = NewStore(path);
    state.ResumeTiming();
    pw::RegFile file;
    pw::RegFileError error;
    if (!pw::ReadRegFile(text, "delete.reg", file, error)) std::abort();
    pw::ImportResult result = pw::ApplyImport(*store, file, pw::PlanImport(file, false));
    if (!result.error.empty() || result.valuesDeleted != static_cast<std::size_t>(count)) std::abort();
    state.PauseTiming();
    store.reset();
    pw::bench::RemoveStoreFiles(path);
    state.ResumeTiming();
  }
  state.counters["values"] = count;
}
BENCHMARK(BM_ImportDeletingValues)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The command line's "status" on a store holding a million values, in a fresh
// process: the time from its start to the first byte it writes.
void BM_StatusOnAStoreOfAMillionValues(benchmark::State& state) {
  std::string path = pw::bench::NewScratchPath("million.db");
  FillValues(path, 1000000);
  for (auto _ : state) {
    int fds[2];
    if (::pipe(fds) != 0) std::abort();
    auto start = std::chrono::steady_clock::now();
    pid_t child = ::fork();
    if (child == 0) {
      ::dup2(fds[1], STDOUT_FILENO);
      ::close(fds[0]);
      ::close(fds[1]);
      ::execl(PW_CLI_BINARY, PW_CLI_BINARY, "--store", path.c_str(), "status", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    char byte = 0;
    bool wrote = ::read(fds[0], &byte, 1) == 1;
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!wrote || !WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("status failed");
  }
}
BENCHMARK(BM_StatusOnAStoreOfAMillionValues)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

long PeakKilobytesOfCli(const std::vector<std::string>& args) { return pw::bench::PeakKilobytesOf(PW_CLI_BINARY, args); }

void BM_ImportPeakMemory(benchmark::State& state) {
  std::string file = pw::bench::NewScratchPath("sites.reg");
  if (!pw::SaveFileReplacing(file, SitesFile()).Ok()) std::abort();
  long peak = 0;
  for (auto _ : state) {
    std::string path = pw::bench::NewScratchPath("peak-import.db");
    long kb = PeakKilobytesOfCli({"--store", path, "import", file});
    if (kb < 0) state.SkipWithError("the import failed");
    peak = std::max(peak, kb);
    state.PauseTiming();
    pw::bench::RemoveStoreFiles(path);
    state.ResumeTiming();
  }
  state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024;
}
BENCHMARK(BM_ImportPeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ExportPeakMemory(benchmark::State& state) {
  std::string path = pw::bench::NewScratchPath("peak-export.db");
  NewStore(path).reset();
  std::string file = pw::bench::NewScratchPath("sites.reg");
  if (!pw::SaveFileReplacing(file, SitesFile()).Ok()) std::abort();
  if (PeakKilobytesOfCli({"--store", path, "import", file}) < 0) std::abort();
  std::string out = pw::bench::NewScratchPath("out.reg");
  long peak = 0;
  for (auto _ : state) {
    long kb = PeakKilobytesOfCli({"--store", path, "export", out});
    if (kb < 0) state.SkipWithError("the export failed");
    peak = std::max(peak, kb);
  }
  state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024;
}
BENCHMARK(BM_ExportPeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) { return pw::bench::PeakRssBenchmarkMain(argc, argv); }
