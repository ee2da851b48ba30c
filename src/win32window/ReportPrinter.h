// Printing the report on the default printer through the hidden rich text
// box, with no dialog; when no printer takes it, the user may save it as a
// rich text file instead.
#pragma once

#include <string>

#include "common/Prompter.h"
#include "report/ReportFormat.h"
#include "win32window/Controls.h"

namespace pw::win32 {

// The report as it is printed: its text, the run each character is in, and
// the same as rich text.
struct ComposedReport {
  std::u16string text;
  ReportMarkup markup;
  std::string rtf;
};
ComposedReport ComposeReport(const std::vector<SiteRow>& rows, const EventPump& pump);

// Why printing failed; empty when the report was printed. The rich text box
// lays out the pages; where it cannot (a box that lays out no page), the
// report's looks are drawn line by line.
std::string PrintReport(HWND richEdit, const ComposedReport& report);

// Prints the report, and on failure says why and offers to save it as rich
// text (the file dialog owned by `owner`).
void PrintReportOrOfferRtf(HWND owner, HWND richEdit, const ComposedReport& report, Prompter& prompter);

}  // namespace pw::win32
