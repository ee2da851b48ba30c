// Start-up, list rebuild and the print button's report of the main window over
// 20,000 and 100,000 listings in an SQLite store (and over 20,000 with 35,000
// more from a blocklist), and the peak memory of the window program's process.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "../support/GeneratedBlocklist.h"
#include "../support/PeakRss.h"
#include "ZoneMapFill.h"
#include "intake/Blocklist.h"
#include "common/Prompter.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/SqliteStore.h"
#include "ZoneMap.h"
#include "qtwindow/MainWindow.h"
#include "windowlogic/StoreFollower.h"

namespace {

constexpr int kListings = 20000;
constexpr int kManyListings = 100000;
constexpr const char* kShowWindowMode = "--show-window-of";

class NoPrompter : public pw::Prompter {
 public:
  pw::MsgAnswer MsgBox(const std::string&, const std::string&, pw::MsgButtons buttons, pw::MsgIcon) override {
    return buttons == pw::MsgButtons::Ok ? pw::MsgAnswer::Ok : pw::MsgAnswer::No;
  }
};

// The store file of `listings` listings, made once for all benchmarks and
// removed at exit; with `blocklistHosts`, a generated blocklist of that many
// hosts is restricted on top of the listings (one more listing each).
struct StoreFile {
  std::filesystem::path dir;
  std::string path;
  StoreFile(int listings, int blocklistHosts) {
    dir = std::filesystem::temp_directory_path() / ("pw-ui-bench-" + std::to_string(::getpid()) + "-" +
                                                    std::to_string(listings) + "-" + std::to_string(blocklistHosts));
    std::filesystem::create_directories(dir);
    path = (dir / "registry.db").string();
    auto opened = pw::SqliteStore::Open(path, pw::LayOutNewStore);
    pw::Registry registry(*opened.store);
    pw::WriteZoneProfile(registry, pw::ZoneProfile::LockedDown);
    pw::test::FillGeneratedSites(*opened.store, listings);
    if (blocklistHosts > 0 &&
        !pw::ApplyBlocklist(registry, "generated", "generated.txt",
                            pw::ReadBlocklist(pw::bench::GeneratedBlocklist(blocklistHosts)), false)
             .error.empty())
      std::abort();
  }
  ~StoreFile() { std::filesystem::remove_all(dir); }
};

StoreFile& Store(int listings = kListings, int blocklistHosts = 0) {
  static std::map<std::pair<int, int>, std::unique_ptr<StoreFile>> files;
  std::unique_ptr<StoreFile>& file = files[{listings, blocklistHosts}];
  if (!file) file = std::make_unique<StoreFile>(listings, blocklistHosts);
  return *file;
}

// The benchmarks' sizes: listings, and blocklist hosts on top.
void Sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"listings", "blocklist"});
  b->Args({kListings, 0});
  b->Args({kManyListings, 0});
  b->Args({kListings, pw::bench::kBlocklistHosts});
}

// Kilobytes of a line of /proc/self/status ("VmRSS", "VmHWM").
double StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(line.find(':') + 1));
  return 0;
}

// From opening the store to the window shown and painted with its list.
void BM_StartupToWindowShown(benchmark::State& state) {
  const std::string& path = Store(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))).path;
  NoPrompter prompter;
  int rows = 0;
  for (auto _ : state) {
    auto opened = pw::SqliteStore::Open(path);
    auto window = std::make_unique<pw::ui::MainWindow>(*opened.store, prompter);
    window->Load(nullptr, {}, "");
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) state.SkipWithError("window not exposed");
    QCoreApplication::processEvents();
    rows = window->Sites().Count();
    state.PauseTiming();
    window.reset();
    opened.store.reset();
    state.ResumeTiming();
  }
  state.counters["rows"] = rows;
}
BENCHMARK(BM_StartupToWindowShown)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Runs `action` once per iteration on a shown window over the large list.
template <typename Action>
void OnShownWindow(benchmark::State& state, Action action, int listings = kListings, int blocklistHosts = 0) {
  auto opened = pw::SqliteStore::Open(Store(listings, blocklistHosts).path);
  NoPrompter prompter;
  pw::ui::MainWindow window(*opened.store, prompter);
  window.Load(nullptr, {}, "");
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) state.SkipWithError("window not exposed");
  for (auto _ : state) {
    action(window);
    QCoreApplication::processEvents();
  }
  state.counters["rows"] = window.Sites().Count();
}

// One rebuild of the shown list: enumeration, sort, view filled and painted.
void BM_RebuildSiteList(benchmark::State& state) {
  OnShownWindow(state, [](pw::ui::MainWindow& window) { window.RebuildSiteList(); }, static_cast<int>(state.range(0)),
                static_cast<int>(state.range(1)));
  state.counters["rss_MB"] = StatusKb("VmRSS") / 1024;
}
BENCHMARK(BM_RebuildSiteList)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// A process of its own opens the store, shows the window, rebuilds the list
// once more and ends: its peak memory is the window's alone, and its
// processor time that of a start-up and one rebuild.
void BM_WindowProcess(benchmark::State& state) {
  const std::string& path = Store(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))).path;
  long peak = 0;
  for (auto _ : state) {
    pw::bench::ChildCost cost = pw::bench::CostOf("/proc/self/exe", {kShowWindowMode, path});
    if (cost.peakKilobytes < 0) state.SkipWithError("the window could not be shown");
    state.SetIterationTime(cost.cpuSeconds);
    peak = std::max(peak, cost.peakKilobytes);
  }
  state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024;
}
BENCHMARK(BM_WindowProcess)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The print button's report over the shown list, composed with the
// window's pump between the finds.
void BM_WindowComposeReport(benchmark::State& state) {
  OnShownWindow(state, [&state](pw::ui::MainWindow& window) {
    if (!window.ComposeReport()) state.SkipWithError("refused");
  });
}
BENCHMARK(BM_WindowComposeReport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// What following the store costs a window while nothing happens: one change
// check per interval. The share of a core is the check's time at the
// window's rate of StoreFollower::kIntervalMs.
void BM_FollowIdle(benchmark::State& state) {
  auto opened = pw::SqliteStore::Open(Store().path);
  pw::StoreFollower follower(*opened.store);
  follower.Seen(opened.store->ChangeStamp());
  for (auto _ : state)
    if (follower.Behind()) state.SkipWithError("the store changed while idle");
  state.counters["checks_per_s"] = 1000.0 / pw::StoreFollower::kIntervalMs;
}
BENCHMARK(BM_FollowIdle)->Unit(benchmark::kMicrosecond);

// Another program changes one listing of the large list; the shown window
// notices at its next check and shows the store anew: the status, the list
// and the zone line.
void BM_FollowOneChange(benchmark::State& state) {
  auto other = pw::SqliteStore::Open(Store().path);
  int round = 0;
  OnShownWindow(state, [&](pw::ui::MainWindow& window) {
    state.PauseTiming();
    pw::test::ZoneMap(*other.store).SetZone("followed.example", "*", ++round % 2 ? 2 : 4);
    state.ResumeTiming();
    window.FollowStore();
  });
}
BENCHMARK(BM_FollowOneChange)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

// The window alone in this process, over the store at `path`; 0 when it was shown.
int ShowWindowOnce(int argc, char** argv, const char* path) {
  QApplication app(argc, argv);
  auto opened = pw::SqliteStore::Open(path);
  if (!opened.store) return 1;
  NoPrompter prompter;
  pw::ui::MainWindow window(*opened.store, prompter);
  window.Load(nullptr, {}, "");
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  QCoreApplication::processEvents();
  window.RebuildSiteList();
  QCoreApplication::processEvents();
  return window.Sites().Count() > 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc > 2 && std::string(argv[1]) == pw::bench::kPeakMode) return pw::bench::ReportPeakRss(argv + 2);
  if (argc > 2 && std::string(argv[1]) == kShowWindowMode) return ShowWindowOnce(argc, argv, argv[2]);
  QApplication app(argc, argv);
  Store();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
