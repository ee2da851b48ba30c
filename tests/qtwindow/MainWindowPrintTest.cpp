// The print button and `portwarden-cli report --print` on a print server of
// the test's own, and what the window offers when nothing can be printed.
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <sstream>

#include "PrivateCups.h"
#include "Process.h"
#include "UiTestSupport.h"
#include "ZoneMapFill.h"
#include "qtwindow/ReportPrinting.h"
#include "report/ReportText.h"

using namespace pw;
using namespace pw::test;
using namespace std::chrono_literals;

namespace {

// The lines of a report, each as its words joined by single spaces, as they
// come out of the text of a page.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string joined, word;
    while (words >> word) joined += (joined.empty() ? "" : " ") + word;
    if (!joined.empty()) lines.push_back(joined);
  }
  return lines;
}

std::vector<std::string> ExpectedLines(const SiteList& list) { return Words(ReportText(list.Rows())); }

std::string PdfText(const std::string& path) {
  ProcessResult run = RunProcess("/usr/bin/pdftotext", {"-layout", path, "-"});
  return run.code == 0 ? run.out : "pdftotext failed: " + run.err;
}

}  // namespace

class MainWindowPrintTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<PrivateCups> cups_;
  std::unique_ptr<StoreRig> rig_;
  ScriptedPrompter prompter_;
  std::unique_ptr<ui::MainWindow> window_;
  TempDir saveDir_;
  std::string pdfPath_;
  int dialogs_ = 0;
  int gtestFailures_ = 0;

  void Open() {
    window_ = std::make_unique<ui::MainWindow>(rig_->Store(), prompter_);
    ui::InstallReportPrinting(*window_, prompter_, [this] {
      ++dialogs_;
      return pdfPath_;
    });
    window_->Load(nullptr, {}, "");
    window_->show();
  }
  void ClickPrint() { QTest::mouseClick(Find<QWidget>(*window_, "cmdPrint"), Qt::LeftButton); }

 private slots:
  void initTestCase() {
    cups_ = std::make_unique<PrivateCups>();
    QVERIFY2(cups_->Error().empty(), cups_->Error().c_str());
  }
  void cleanupTestCase() { cups_.reset(); }
  void init() {
    rig_ = std::make_unique<StoreRig>();
    rig_->SetZone(ZoneProfile::LockedDown);
    FillSampleSites(rig_->Store());
    prompter_.asked.clear();
    dialogs_ = 0;
    gtestFailures_ = GtestFailureCount();
  }
  void cleanup() {
    window_.reset();
    QCOMPARE(GtestFailureCount(), gtestFailures_);
  }

  void theWindowAndTheCommandLinePrintOnTheDefaultPrinter() {
    QVERIFY2(cups_->AddPdfQueue(), cups_->Logs().c_str());
    Open();
    // Sorted by protocol: the report follows the list as it stands.
    QHeaderView* header = Find<QTreeView>(*window_, "LVw")->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 10, 5));
    QCOMPARE(window_->Sites().SortKey(), 0);
    std::vector<std::string> windowLines = ExpectedLines(window_->Sites());
    ClickPrint();
    QVERIFY(prompter_.asked.empty());

    ProcessResult cli = RunProcess(PW_CLI_BINARY, {"--store", rig_->Path(), "report", "--print"});
    QCOMPARE(cli.code, 0);
    QCOMPARE(cli.out, std::string("sent to the printer PDF\n"));
    SiteList byDomain;
    byDomain.Rebuild(rig_->Store());
    QVERIFY(ExpectedLines(byDomain) != windowLines);

    std::vector<std::string> pdfs = cups_->WaitForPdfs(2, 60s);
    QVERIFY2(pdfs.size() == 2, cups_->Logs().c_str());
    QCOMPARE(Words(PdfText(pdfs[0])), windowLines);
    QCOMPARE(Words(PdfText(pdfs[1])), ExpectedLines(byDomain));
    QVERIFY2(cups_->RemovePdfQueue(), cups_->Logs().c_str());
  }

  void nothingElseStartsWhileTheReportIsComposed() {
    Open();
    const int rows = window_->Sites().Count();
    bool ran = false;
    const ui::ReportPages* nested = nullptr;
    QTimer::singleShot(0, window_.get(), [&] {
      // Runs from inside the finds: a second report or a rebuild is refused.
      ran = true;
      nested = window_->ComposeReport();
      AddListing(rig_->Store(), "late.example", "", "*", 2);
      window_->RebuildSiteList();
    });
    QVERIFY(window_->ComposeReport() != nullptr);
    QVERIFY(ran);
    QVERIFY(nested == nullptr);
    QCOMPARE(window_->Sites().Count(), rows);
  }

  void withoutAPrinterTheReportIsOfferedAsPdf() {
    Open();
    pdfPath_ = saveDir_.File("report.pdf");
    prompter_.Answer(MsgAnswer::Yes);
    ClickPrint();
    QCOMPARE(prompter_.asked.size(), std::size_t(1));
    const AskedBox& offer = prompter_.asked[0];
    QCOMPARE(offer.buttons, MsgButtons::YesNo);
    QVERIFY(offer.text.find("There is no default printer") == 0);
    QVERIFY(offer.text.find("save the report as a PDF file instead?") != std::string::npos);
    QCOMPARE(dialogs_, 1);
    QCOMPARE(Words(PdfText(pdfPath_)), ExpectedLines(window_->Sites()));

    // A printer that refuses the job: the server's reason, the same offer.
    QVERIFY2(cups_->AddPdfQueue() && cups_->Admin("/usr/sbin/cupsreject", {"PDF"}), cups_->Logs().c_str());
    prompter_.Answer(MsgAnswer::No);
    ClickPrint();
    QCOMPARE(prompter_.asked.size(), std::size_t(2));
    QVERIFY2(prompter_.asked[1].text.find("The printer \"PDF\" did not take") == 0, prompter_.asked[1].text.c_str());
    QCOMPARE(dialogs_, 1);  // No: no dialog
    QVERIFY2(cups_->RemovePdfQueue(), cups_->Logs().c_str());

    // A file that cannot be written is said so.
    pdfPath_ = saveDir_.File("missing-folder/report.pdf");
    prompter_.Answer(MsgAnswer::Yes);
    ClickPrint();
    QCOMPARE(prompter_.asked.size(), std::size_t(4));
    QVERIFY(prompter_.asked[3].text.find("could not be saved as " + pdfPath_) != std::string::npos);
  }
};

QTEST_MAIN(MainWindowPrintTest)
#include "MainWindowPrintTest.moc"
