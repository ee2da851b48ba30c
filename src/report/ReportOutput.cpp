#include "report/ReportOutput.h"

#if defined(PW_HAVE_CUPS)
#include <cups/cups.h>
#endif

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <QTextDocument>
#include <memory>

#include "regfile/FileBytes.h"
#include "report/ReportPages.h"

namespace pw::ui {
namespace {

std::string WritePdf(const ReportPages& report, QIODevice& device, const QPageLayout& layout) {
  bool drawn = false;
  {
    QPdfWriter writer(&device);
    writer.setTitle(QString::fromLatin1(kReportDocumentName));
    writer.setCreator(QStringLiteral("Portwarden"));
    writer.setPageLayout(layout);
    drawn = report.PrintOn(writer);
  }
  if (auto* file = qobject_cast<QFileDevice*>(&device)) {
    if (file->error() == QFileDevice::NoError) file->flush();
    if (file->error() != QFileDevice::NoError) return file->errorString().toStdString();
  }
  return drawn ? "" : "the pages could not be drawn";
}

}  // namespace

QPageLayout PdfPageLayout() {
  QPageSize paper(QLocale::system().territory() == QLocale::UnitedStates ? QPageSize::Letter : QPageSize::A4);
  return QPageLayout(paper, QPageLayout::Portrait, QMarginsF(36, 36, 36, 36), QPageLayout::Point);
}

std::string WriteReportPdf(const ReportPages& report, QIODevice& device, const QPageLayout& layout) {
  return WritePdf(report, device, layout);
}

std::string SaveReportPdf(const ReportPages& report, const std::string& path) {
  // Made in memory, then written as the exports are: into a new file that
  // replaces the old one, so a link at the path is replaced, never followed.
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const std::string problem = WriteReportPdf(report, buffer, PdfPageLayout());
  buffer.close();
  // A PDF that could not be made whole never replaces what the path holds.
  if (!problem.empty()) return problem;
  Result saved = SaveFileReplacing(path, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (saved.Ok()) return "";
  // The message names the file; the caller names it too.
  const std::string prefix = "cannot write " + path + ": ";
  return saved.Message().rfind(prefix, 0) == 0 ? saved.Message().substr(prefix.size()) : saved.Message();
}

std::string ReportHtml(const QTextDocument& report) {
  // The page Qt writes keeps the runs' formats but not the tab stops.
  QString html = report.toHtml();
  html.replace(QLatin1String("</head>"), QLatin1String("<style type=\"text/css\">p { tab-size: 0.5in; }</style></head>"));
  return html.toStdString();
}

namespace {

#if defined(PW_HAVE_CUPS)
PrintResult PrintReport(const ReportPages& report) {
  // The job goes to the print server directly, so that a printer refusing it
  // is seen (Qt's own printer drops the server's answer); the pages are those
  // Qt makes for that printer.
  PrintResult result;
  std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)> dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr),
                                                             [](cups_dest_t* d) { cupsFreeDests(1, d); });
  if (!dest) return result;
  result.printer = dest->name;
  result.status = PrintStatus::Refused;
  QPrinter printer(QPrinterInfo::printerInfo(QString::fromLocal8Bit(dest->name)), QPrinter::HighResolution);
  QTemporaryFile file(QDir::tempPath() + "/portwarden-report-XXXXXX.pdf");
  if (!file.open()) {
    result.reason = "no temporary file for the job: " + file.errorString().toStdString();
    return result;
  }
  result.reason = WriteReportPdf(report, file, printer.pageLayout());
  if (!result.reason.empty()) {
    result.reason = "the job could not be written: " + result.reason;
    return result;
  }
  file.close();
  int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, dest->name, QFile::encodeName(file.fileName()).constData(),
                           kReportDocumentName, dest->num_options, dest->options);
  if (job == 0) {
    result.reason = cupsLastErrorString();
    return result;
  }
  result.status = PrintStatus::Printed;
  return result;
}
#else
PrintResult PrintReport(const ReportPages& report) {
  // The platform's spooler, through Qt's printer.
  PrintResult result;
  QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) return result;
  result.printer = info.printerName().toStdString();
  QPrinter printer(info, QPrinter::HighResolution);
  printer.setDocName(QString::fromLatin1(kReportDocumentName));
  report.PrintOn(printer);
  if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted) {
    result.status = PrintStatus::Refused;
    result.reason = "the printer reported an error";
    return result;
  }
  result.status = PrintStatus::Printed;
  return result;
}
#endif

}  // namespace

PrintResult PrintOnDefaultPrinter(const ReportPages& report) { return PrintReport(report); }

}  // namespace pw::ui
