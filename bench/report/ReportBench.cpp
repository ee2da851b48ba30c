// The scripting privilege report over 20,000 and 100,000 rows: composed with
// all seven formatting steps, and written as PDF. And a report of 200 rows
// whose names repeat "//." thousands of times, which each step must cross in
// one pass; and the HTML page's document of 20,000 rows.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QTextDocument>

#include "report/ReportDocument.h"
#include "report/ReportOutput.h"
#include "report/ReportPages.h"

namespace {

constexpr int kRows = 20000;

// Rows of every kind: all four protocols, subdomains or none, the three zones
// and an untagged one.
std::vector<pw::SiteRow> Rows(int count = kRows) {
  static const char* const kTexts[] = {"Default", "http", "https", "ftp"};
  std::vector<pw::SiteRow> rows;
  for (int i = 0; i < count; ++i)
    rows.push_back({kTexts[i % 4], i % 3 ? "www" : "", "site" + std::to_string(i / 4) + ".example", 1 + i % 4, 0});
  return rows;
}

void BM_ComposeReport(benchmark::State& state) {
  std::vector<pw::SiteRow> rows = Rows(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    pw::ui::ReportPages report(rows);
    benchmark::DoNotOptimize(report.Text().size());
  }
  state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_ComposeReport)->ArgName("rows")->Arg(kRows)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// `report --html` still goes through a document.
void BM_ComposeReportDocument(benchmark::State& state) {
  std::vector<pw::SiteRow> rows = Rows();
  for (auto _ : state) {
    QTextDocument report;
    pw::ui::ComposeReport(report, rows);
    benchmark::DoNotOptimize(report.characterCount());
  }
}
BENCHMARK(BM_ComposeReportDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// 200 value names of "//." 5,400 times (16,200 characters each).
std::vector<pw::SiteRow> SlashDotRows() {
  std::string slashDots;
  for (int i = 0; i < 5400; ++i) slashDots += "//.";
  std::vector<pw::SiteRow> rows;
  for (int i = 0; i < 200; ++i) rows.push_back({slashDots + std::to_string(i), "", "example.com", 2, 0});
  return rows;
}

void BM_ComposeReportSlashDots(benchmark::State& state) {
  std::vector<pw::SiteRow> rows = SlashDotRows();
  for (auto _ : state) {
    pw::ui::ReportPages report(rows);
    benchmark::DoNotOptimize(report.Text().size());
  }
}
BENCHMARK(BM_ComposeReportSlashDots)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The composed report's pages written as PDF.
void BM_ReportPdf(benchmark::State& state) {
  const pw::ui::ReportPages report(Rows(static_cast<int>(state.range(0))));
  double bytes = 0;
  for (auto _ : state) {
    QTemporaryFile file;
    if (!file.open()) state.SkipWithError("no temporary file");
    std::string problem = pw::ui::WriteReportPdf(report, file, pw::ui::PdfPageLayout());
    if (!problem.empty()) state.SkipWithError(problem.c_str());
    bytes = static_cast<double>(file.size());
  }
  state.counters["pdf_MB"] = bytes / 1e6;
}
BENCHMARK(BM_ReportPdf)->ArgName("rows")->Arg(kRows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReportPdf)->ArgName("rows")->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
