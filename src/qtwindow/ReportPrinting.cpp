#include "qtwindow/ReportPrinting.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>

#include "qtwindow/MainWindow.h"
#include "report/ReportOutput.h"
#include "report/ReportFormat.h"
#include "report/ReportPages.h"

namespace pw::ui {
namespace {

constexpr const char* kTitle = "Print";
constexpr const char* kOffer = "\n\nDo you want to save the report as a PDF file instead?";

// Why the report did not reach a printer, as the user is told it.
std::string NotPrinted(const PrintResult& result) {
  if (result.status == PrintStatus::NoPrinter) return NoDefaultPrinterMessage();
  return PrinterRefusedMessage(result.printer, result.reason);
}

class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

}  // namespace

PdfPathDialog DesktopPdfPathDialog(QWidget* parent) {
  return [parent] {
    QString suggested = QDir::home().filePath(QString::fromLatin1(kReportDocumentName) + ".pdf");
    QString path = QFileDialog::getSaveFileName(parent, "Save the report as PDF", suggested, "PDF files (*.pdf)");
    if (!path.isEmpty() && !path.endsWith(".pdf", Qt::CaseInsensitive)) path += ".pdf";
    return path.toStdString();
  };
}

void InstallReportPrinting(MainWindow& window, Prompter& prompter, PdfPathDialog choosePdfPath) {
  window.SetPrintReport([&window, &prompter, choosePdfPath = std::move(choosePdfPath)] {
    const ReportPages* report = window.ComposeReport();
    if (!report) return;
    PrintResult result;
    {
      WaitCursor wait;
      result = PrintOnDefaultPrinter(*report);
    }
    if (result.status == PrintStatus::Printed) return;
    if (prompter.MsgBox(kTitle, NotPrinted(result) + kOffer, MsgButtons::YesNo, MsgIcon::Exclamation) != MsgAnswer::Yes)
      return;
    std::string path = choosePdfPath();
    if (path.empty()) return;
    std::string problem;
    {
      WaitCursor wait;
      problem = SaveReportPdf(*report, path);
    }
    if (!problem.empty())
      prompter.MsgBox(kTitle, "The report could not be saved as " + path + ": " + problem, MsgButtons::Ok,
                      MsgIcon::Critical);
  });
}

}  // namespace pw::ui
