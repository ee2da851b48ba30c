#include "report/ReportDocument.h"

#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "report/ReportFormat.h"
#include "report/ReportPages.h"
#include "report/ReportText.h"

namespace pw::ui {
namespace {

// Formats over the document's runs.
class Formatter {
 public:
  // One edit block for all steps: the cursor then skips placing itself on a
  // laid-out line after every move, and changes are announced once.
  explicit Formatter(QTextDocument& document) : cursor_(&document) { cursor_.beginEditBlock(); }
  ~Formatter() { cursor_.endEditBlock(); }
  Formatter(const Formatter&) = delete;
  Formatter& operator=(const Formatter&) = delete;

  void Set(int start, int end, const QTextCharFormat& format) {
    if (end <= start) return;
    cursor_.setPosition(start);
    cursor_.setPosition(end, QTextCursor::KeepAnchor);
    cursor_.setCharFormat(format);
  }
  // The same merged over what is there.
  void Apply(int start, int end, const QTextCharFormat& format) {
    if (end <= start) return;
    cursor_.setPosition(start);
    cursor_.setPosition(end, QTextCursor::KeepAnchor);
    cursor_.mergeCharFormat(format);
  }

 private:
  QTextCursor cursor_;
};

}  // namespace

void ComposeReport(QTextDocument& document, const std::vector<SiteRow>& rows, const EventPump& pump) {
  ComposeReport(document, ReportPages(rows, pump));
}

void ComposeReport(QTextDocument& document, const ReportPages& report) {
  document.setUndoRedoEnabled(false);
  QTextOption option = document.defaultTextOption();
  option.setTabStopDistance(report.Option().tabStopDistance());
  document.setDefaultTextOption(option);
  const QString& text = report.Text();
  const int size = static_cast<int>(text.size());

  // The seven steps are worked out on the text (the same for every window),
  // each character getting the kind of run it ends up in. The lines go in
  // already in their font and colour, and each run is set once, in order, in
  // its final format: the document neither merges a format over every line
  // nor splits a run again for each step.
  const ReportMarkup& markup = report.Markup();
  const std::vector<std::uint8_t>& kinds = markup.kinds;
  const int headingEnd = markup.headingEnd;
  document.clear();
  {
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    cursor.insertText(text.left(headingEnd));
    cursor.insertText(QString::fromRawData(text.constData() + headingEnd, size - headingEnd),
                      report.Format(kReportLines));
    // The empty block after the last line keeps the default, as the
    // document's own end does.
    cursor.setBlockCharFormat(QTextCharFormat());
    cursor.endEditBlock();
  }

  Formatter format(document);
  for (int at = headingEnd; at < size;) {
    int end = at + 1;
    while (end < size && kinds[end] == kinds[at]) ++end;
    if (kinds[at] != kReportLines) format.Set(at, end, report.Format(kinds[at]));  // only lines' kinds follow the heading
    at = end;
  }
  // Steps 1 and 2: title and heading.
  format.Apply(markup.title, markup.title + static_cast<int>(kReportTitle.size()), report.Format(kReportTitle_));
  format.Apply(markup.heading, headingEnd, report.Format(kReportHeading_));
}

}  // namespace pw::ui
