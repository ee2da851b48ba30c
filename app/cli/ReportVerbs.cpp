// report: the scripting privilege report of the site list, in the order the
// main window's list has after a rebuild (by domain), as text, HTML or PDF, or
// on the default printer.
#include <cstdio>
#include <ostream>

#include "Cli.h"
#include "listings/SiteList.h"
#include "report/ReportText.h"

#if defined(PW_HAVE_REPORT_DOCUMENT)
#include <QGuiApplication>
#include <QDir>
#include <QTemporaryFile>
#include <QTextDocument>
#include <memory>
#include <utility>

#include "report/ReportDocument.h"
#include "report/ReportOutput.h"
#include "report/ReportPages.h"
#endif

namespace pw::cli {

#if defined(PW_HAVE_REPORT_DOCUMENT)
const char* const kReportUsage = "[--text | --html | --pdf FILE | --print]";
#else
const char* const kReportUsage = "[--text]";
#endif

namespace {

constexpr const char* kProgram = "portwarden-cli report";

#if defined(PW_HAVE_REPORT_DOCUMENT)
// Qt's documents need an application object; this one has no display and
// keeps Qt's own chatter off the terminal.
class DocumentSession {
 public:
  DocumentSession() {
    if (QCoreApplication::instance()) return;
    previous_ = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
      if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "%s\n", qPrintable(message));
    });
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  ~DocumentSession() {
    if (!app_) return;
    app_.reset();
    qInstallMessageHandler(previous_);
  }

 private:
  int argc_ = 3;
  char* argv_[4] = {const_cast<char*>("portwarden-cli"), const_cast<char*>("-platform"),
                    const_cast<char*>("offscreen"), nullptr};
  QtMessageHandler previous_ = nullptr;
  std::unique_ptr<QGuiApplication> app_;
};

int Print(Run& run, const ui::ReportPages& report) {
  ui::PrintResult result = ui::PrintOnDefaultPrinter(report);
  switch (result.status) {
    case ui::PrintStatus::Printed:
      run.env.out << "sent to the printer " << result.printer << "\n";
      return kExitOk;
    case ui::PrintStatus::NoPrinter:
      run.env.err << kProgram << ": there is no default printer to print on\n";
      return kExitFailure;
    case ui::PrintStatus::Refused:
      run.env.err << kProgram << ": the printer " << result.printer << " did not take the report: " << result.reason
                  << "\n";
      return kExitFailure;
  }
  return kExitFailure;
}

// The PDF is made whole in a file of its own first: a failure then writes
// nothing to standard output.
int PdfToStandardOutput(Run& run, const ui::ReportPages& report) {
  QTemporaryFile file(QDir::tempPath() + "/portwarden-report-XXXXXX.pdf");
  std::string problem = file.open() ? ui::WriteReportPdf(report, file, ui::PdfPageLayout()) : file.errorString().toStdString();
  if (problem.empty() && (!file.seek(0) || file.error() != QFileDevice::NoError)) problem = file.errorString().toStdString();
  if (!problem.empty()) {
    run.env.err << kProgram << ": cannot make the PDF: " << problem << "\n";
    return kExitFailure;
  }
  QByteArray bytes = file.readAll();
  return WriteOutput(run, "-", std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))) ? kExitOk
                                                                                                       : kExitFailure;
}
#endif

}  // namespace

int RunReport(Run& run) {
  bool text = run.args.Flag("--text");
#if defined(PW_HAVE_REPORT_DOCUMENT)
  std::optional<std::string> pdf = run.args.Option("--pdf");
  bool html = run.args.Flag("--html");
  bool print = run.args.Flag("--print");
  run.args.Done();
  if (text + html + print + pdf.has_value() > 1) throw UsageError{"choose one of --text, --html, --pdf and --print"};
  if (pdf && pdf->empty()) throw UsageError{"--pdf needs a file name"};
#else
  (void)text;
  run.args.Done();
#endif

  if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
  SiteList sites;
  sites.Rebuild(run.Store());
#if defined(PW_HAVE_REPORT_DOCUMENT)
  if (html || pdf || print) {
    DocumentSession session;
    const ui::ReportPages report(sites.Rows());
    if (html) {
      QTextDocument document;
      ui::ComposeReport(document, report);
      run.env.out << ui::ReportHtml(document);
      return kExitOk;
    }
    if (print) return Print(run, report);
    if (*pdf == "-") return PdfToStandardOutput(run, report);
    std::string problem = ui::SaveReportPdf(report, *pdf);
    if (!problem.empty()) {
      run.env.err << kProgram << ": cannot write " << *pdf << ": " << problem << "\n";
      return kExitFailure;
    }
    return kExitOk;
  }
#endif
  run.env.out << ReportText(sites.Rows());
  return kExitOk;
}

}  // namespace pw::cli
