// The command line on stores of 20,000 and 100,000 listings, each run in a
// fresh process: opening the store with its checks (status), listing every
// row as TSV and JSON, and 20,000 zone queries in one call. The figure is the
// process's processor time (user and system), which other work on a loaded
// machine does not inflate; its peak memory goes beside it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "../support/GeneratedListings.h"
#include "../support/PeakRss.h"
#include "policy/NewStoreLayout.h"

namespace pw {
namespace {

void RunCli(benchmark::State& state, const std::vector<std::string>& verb, const std::string& input = {}) {
  int count = static_cast<int>(state.range(0));
  std::vector<std::string> args = {"--store", bench::ListingsStorePath(count, LayOutNewStore)};
  args.insert(args.end(), verb.begin(), verb.end());
  long peak = 0;
  for (auto _ : state) {
    bench::ChildCost cost = bench::CostOf(PW_CLI_BINARY, args, input);
    if (cost.peakKilobytes < 0) state.SkipWithError("the command line failed");
    state.SetIterationTime(cost.cpuSeconds);
    peak = std::max(peak, cost.peakKilobytes);
  }
  state.counters["listings"] = count;
  state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024;
}

void BM_CliStatus(benchmark::State& state) { RunCli(state, {"status"}); }
void BM_CliListTsv(benchmark::State& state) { RunCli(state, {"list", "--format", "tsv"}); }
void BM_CliListJson(benchmark::State& state) { RunCli(state, {"list", "--format", "json"}); }

// 20,000 addresses on standard input: a third listed by a subdomain key, a
// third by a domain key, a third not listed.
void BM_CliZoneQueries(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  std::string input = bench::NewScratchPath("addresses");
  {
    std::ofstream out(input);
    for (int i = 0; i < 20000; ++i) {
      int listing = (i * 7919) % count;
      if (i % 3 == 0) out << "https://www." << bench::ListingDomain(listing | 4) << "/index.html\n";
      else if (i % 3 == 1) out << "http://" << bench::ListingDomain(listing & ~4) << ":8080/x?y\n";
      else out << "http://www.unlisted" << i << ".example.net/\n";
    }
  }
  RunCli(state, {"zone", "-"}, input);
}

#define PW_CLI_BENCH(name)                                                                  \
  BENCHMARK(name)                                                                           \
      ->ArgName("listings")                                                                 \
      ->Arg(bench::kListingsSmall)                                                          \
      ->Arg(bench::kListingsLarge)                                                          \
      ->Unit(benchmark::kMillisecond)                                                       \
      ->UseManualTime()                                                                     \
      ->Iterations(5)
PW_CLI_BENCH(BM_CliStatus);
PW_CLI_BENCH(BM_CliListTsv);
PW_CLI_BENCH(BM_CliListJson);
PW_CLI_BENCH(BM_CliZoneQueries);

}  // namespace
}  // namespace pw

int main(int argc, char** argv) { return pw::bench::PeakRssBenchmarkMain(argc, argv); }
