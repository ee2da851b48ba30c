// The scripting privilege report as a formatted document, without any widget,
// for the report's HTML page: the report's text, then its fonts and colours
// set in seven steps, each finding its runs as the report's design describes
// them. Paper and PDF take the report's pages (ReportPages) instead.
#pragma once

#include <vector>

#include "listings/SiteList.h"
#include "report/ReportFormat.h"

class QTextDocument;

namespace pw::ui {

class ReportPages;

// Replaces the content of `document` with the report of `rows`, in their
// order: the title in Arial 14 bold, the heading in Arial 10 bold, the lines in
// Courier New 10, blue but black from six characters before each "//" through
// the first dot after it on that line, and the tags in bold green, orange and
// red. Columns are the default tab stops, half an inch apart. `pump` runs
// between the matches of the finds, as the list's rebuild runs it.
void ComposeReport(QTextDocument& document, const std::vector<SiteRow>& rows, const EventPump& pump = {});
// The same from a composed report.
void ComposeReport(QTextDocument& document, const ReportPages& report);

}  // namespace pw::ui
