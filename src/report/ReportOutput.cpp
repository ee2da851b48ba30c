#include "report/ReportOutput.h"

#if defined(PW_HAVE_CUPS)
#include <cups/cups.h>
#endif

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextList>
#include <QTextDocument>
#include <memory>
#include <type_traits>
#include <utility>

#include "regfile/FileBytes.h"

namespace pw::ui {
namespace {

// A copy of a document of plain blocks (as the report is): its blocks and
// runs in their formats, and the settings a clone takes. A clone copies the
// document twice, once into a fragment and once out of it: a sixth of the
// time a report of 20,000 lines takes to become a PDF. Documents holding
// anything else (frames, tables, images) are cloned.
std::unique_ptr<QTextDocument> CopyOf(const QTextDocument& report) {
  if (!report.rootFrame()->childFrames().isEmpty() || report.isEmpty())
    return std::unique_ptr<QTextDocument>(report.clone());
  auto copy = std::make_unique<QTextDocument>();
  copy->setUndoRedoEnabled(false);
  {
    // Checked while copied, in one pass over the runs.
    QTextCursor cursor(copy.get());
    cursor.beginEditBlock();
    for (QTextBlock block = report.begin(); block.isValid(); block = block.next()) {
      const QTextBlockFormat blockFormat = block.blockFormat();
      if (block.textList() || blockFormat.objectIndex() != -1) return std::unique_ptr<QTextDocument>(report.clone());
      if (block == report.begin()) {
        cursor.setBlockFormat(blockFormat);
        cursor.setBlockCharFormat(block.charFormat());
      } else {
        cursor.insertBlock(blockFormat, block.charFormat());
      }
      for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat format = fragment.charFormat();
        const QString text = fragment.text();
        if (format.isImageFormat() || format.objectIndex() != -1 || text.contains(QChar::ObjectReplacementCharacter))
          return std::unique_ptr<QTextDocument>(report.clone());
        cursor.insertText(text, format);
      }
    }
    cursor.endEditBlock();
  }
  copy->rootFrame()->setFrameFormat(report.rootFrame()->frameFormat());
  copy->setMetaInformation(QTextDocument::DocumentTitle, report.metaInformation(QTextDocument::DocumentTitle));
  copy->setMetaInformation(QTextDocument::DocumentUrl, report.metaInformation(QTextDocument::DocumentUrl));
  copy->setPageSize(report.pageSize());
  copy->setIndentWidth(report.indentWidth());
  copy->setDefaultTextOption(report.defaultTextOption());
  copy->setDefaultFont(report.defaultFont());
  copy->setDefaultStyleSheet(report.defaultStyleSheet());
  copy->setUndoRedoEnabled(report.isUndoRedoEnabled());
  return copy;
}

// Lays `pages` out on the device's pages. A document laid out for its pages
// is printed as it is; one that is not gets page numbers and margins of its
// own.
void LayOutOn(QTextDocument& pages, QPagedPaintDevice& device) {
  // Margin and page size go in before the layout is made: set on a document
  // with a layout, the margin changes the root frame's format, which lays the
  // whole document out at once, and a new layout lays out a large part of
  // the document for the page size it finds. The page size set again once
  // the device is in place starts the one layout the pages get.
  const QSizeF pageSize = device.pageLayout().paintRectPixels(device.logicalDpiX()).size();
  pages.setDocumentMargin(0);
  pages.setPageSize(pageSize);
  pages.documentLayout()->setPaintDevice(&device);
  pages.setPageSize(pageSize);
  // Lines keep their shaped glyphs from the layout to the drawing, which
  // otherwise shapes every line again. That holds about 2 KB a line until the
  // pages are made, as the whole document is laid out before the first page
  // is drawn; past the first 32,768 lines (some 64 MB) lines are shaped again.
  constexpr int kCachedLines = 32768;
  int lines = 0;
  for (QTextBlock block = pages.begin(); block.isValid() && lines < kCachedLines; block = block.next(), ++lines)
    block.layout()->setCacheEnabled(true);
}

// Prints `pages` on the device, then leaves them without it: the device
// goes before the document does.
void PrintOn(QTextDocument& pages, QPagedPaintDevice& device) {
  LayOutOn(pages, device);
  pages.print(&device);
  pages.documentLayout()->setPaintDevice(nullptr);
}

std::string WritePdf(QTextDocument& pages, QIODevice& device, const QPageLayout& layout) {
  {
    QPdfWriter writer(&device);
    writer.setTitle(QString::fromLatin1(kReportDocumentName));
    writer.setCreator(QStringLiteral("Portwarden"));
    writer.setPageLayout(layout);
    PrintOn(pages, writer);
  }
  auto* file = qobject_cast<QFileDevice*>(&device);
  if (!file) return "";
  if (file->error() == QFileDevice::NoError) file->flush();
  return file->error() == QFileDevice::NoError ? "" : file->errorString().toStdString();
}

}  // namespace

QPageLayout PdfPageLayout() {
  QPageSize paper(QLocale::system().territory() == QLocale::UnitedStates ? QPageSize::Letter : QPageSize::A4);
  return QPageLayout(paper, QPageLayout::Portrait, QMarginsF(36, 36, 36, 36), QPageLayout::Point);
}

std::string WriteReportPdf(const QTextDocument& report, QIODevice& device, const QPageLayout& layout) {
  return WritePdf(*CopyOf(report), device, layout);
}

std::string WriteReportPdf(QTextDocument&& report, QIODevice& device, const QPageLayout& layout) {
  return WritePdf(report, device, layout);
}

namespace {

// `Report` is a const document, copied for its pages, or one the caller
// hands over, laid out and drawn as it is.
template <typename Report>
std::string SavePdf(Report&& report, const std::string& path) {
  // Made in memory, then written as the exports are: into a new file that
  // replaces the old one, so a link at the path is replaced, never followed.
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  WriteReportPdf(std::forward<Report>(report), buffer, PdfPageLayout());
  buffer.close();
  Result saved = SaveFileReplacing(path, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (saved.Ok()) return "";
  // The message names the file; the caller names it too.
  const std::string prefix = "cannot write " + path + ": ";
  return saved.Message().rfind(prefix, 0) == 0 ? saved.Message().substr(prefix.size()) : saved.Message();
}

}  // namespace

std::string SaveReportPdf(const QTextDocument& report, const std::string& path) { return SavePdf(report, path); }

std::string SaveReportPdf(QTextDocument&& report, const std::string& path) {
  return SavePdf(std::move(report), path);
}

std::string ReportHtml(const QTextDocument& report) {
  // The page Qt writes keeps the runs' formats but not the tab stops.
  QString html = report.toHtml();
  html.replace(QLatin1String("</head>"), QLatin1String("<style type=\"text/css\">p { tab-size: 0.5in; }</style></head>"));
  return html.toStdString();
}

namespace {

#if defined(PW_HAVE_CUPS)
template <typename Report>
PrintResult PrintReport(Report&& report) {
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
  result.reason = WriteReportPdf(std::forward<Report>(report), file, printer.pageLayout());
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
template <typename Report>
PrintResult PrintReport(Report&& report) {
  // The platform's spooler, through Qt's printer.
  PrintResult result;
  QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) return result;
  result.printer = info.printerName().toStdString();
  QPrinter printer(info, QPrinter::HighResolution);
  printer.setDocName(QString::fromLatin1(kReportDocumentName));
  if constexpr (std::is_const_v<std::remove_reference_t<Report>>)
    PrintOn(*CopyOf(report), printer);
  else
    PrintOn(report, printer);
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

PrintResult PrintOnDefaultPrinter(const QTextDocument& report) { return PrintReport(report); }

PrintResult PrintOnDefaultPrinter(QTextDocument&& report) { return PrintReport(std::move(report)); }

}  // namespace pw::ui
