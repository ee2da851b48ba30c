// The scripting privilege report ready for paper: its text, the kind of run
// each character ends up in after the seven formatting steps, and the runs'
// fonts and colours. Composing it makes no Qt objects per line; its pages are
// laid out and drawn one at a time when it goes to a PDF file or a printer,
// so a report of any length holds no more than a page's lines at once.
#pragma once

#include <QFont>
#include <QString>
#include <QTextCharFormat>
#include <QTextOption>
#include <array>
#include <vector>

#include "listings/SiteList.h"
#include "report/ReportFormat.h"

class QPagedPaintDevice;

namespace pw::ui {

class ReportPages {
 public:
  // An empty report: no text, no pages.
  ReportPages() = default;
  // The report of `rows`, in their order. `pump` runs between the matches of
  // the formatting steps' finds, as the list's rebuild runs it.
  explicit ReportPages(const std::vector<SiteRow>& rows, const EventPump& pump = {});

  const QString& Text() const { return text_; }
  const ReportMarkup& Markup() const { return markup_; }
  // The format of each kind of run (ReportKind), as a document merges it:
  // the lines' font and colour under the black runs and the tags.
  const QTextCharFormat& Format(int kind) const { return formats_[static_cast<std::size_t>(kind)]; }
  // The text's default font, the tab stops half an inch apart and the wrap
  // of a document.
  const QFont& DefaultFont() const { return font_; }
  const QTextOption& Option() const { return option_; }

  // Lays the report out on the device's pages, within its page layout's
  // margins, and draws it page by page: the pages a document of the same
  // text and formats, laid out for that device, prints. A line that does not
  // fit wraps; one that does not fit on a page starts the next. Returns false
  // when the device could not be painted on.
  bool PrintOn(QPagedPaintDevice& device) const;

 private:
  QString text_;
  ReportMarkup markup_;
  std::array<QTextCharFormat, kReportKinds> formats_;
  QFont font_;
  QTextOption option_;
};

}  // namespace pw::ui
