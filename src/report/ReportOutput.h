// Laying the report out on pages and sending it on: into a PDF file, or to the
// default printer. Nothing is added to the pages: no page numbers, headers or
// footers.
#pragma once

#include <QPageLayout>
#include <string>

class QIODevice;
class QTextDocument;

namespace pw::ui {

class ReportPages;

inline constexpr const char* kReportDocumentName = "Portwarden Scripting Privilege Report";

// The pages of a PDF file: the locale's paper (Letter in the United States,
// else A4) with half-inch margins.
QPageLayout PdfPageLayout();

// Writes `report` as PDF on `layout` into the open `device`, fonts embedded.
// Returns an empty text, or why it could not.
std::string WriteReportPdf(const ReportPages& report, QIODevice& device, const QPageLayout& layout);
// The same into a file at `path`, on PdfPageLayout(): a new file that replaces
// whatever was there (a link is replaced, never written through); nothing
// changes there when it fails.
std::string SaveReportPdf(const ReportPages& report, const std::string& path);

// The report as an HTML page with its fonts and colours, and its columns on
// the same half-inch tab stops.
std::string ReportHtml(const QTextDocument& report);

enum class PrintStatus { Printed, NoPrinter, Refused };

struct PrintResult {
  PrintStatus status = PrintStatus::NoPrinter;
  std::string printer;  // the default printer's name, when there is one
  std::string reason;   // why it refused the job
};

// Prints the whole report, one copy, on the default printer on its own paper
// and margins, without a dialog.
PrintResult PrintOnDefaultPrinter(const ReportPages& report);

}  // namespace pw::ui
