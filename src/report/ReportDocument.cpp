#include "report/ReportDocument.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <vector>

#include "report/ReportFormat.h"
#include "report/ReportText.h"

namespace pw::ui {
namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The named families are those of another platform; their metric twins stand
// in for them where they are not installed, so the columns come out the same.
void RegisterReportFonts() {
  static bool done = false;
  if (done) return;
  done = true;
  QFont::insertSubstitutions("Arial", {"Liberation Sans", "Arimo"});
  QFont::insertSubstitutions("Courier New", {"Liberation Mono", "Cousine"});
}

// The resolution a document's own lengths are given in; the layout scales them
// to the device it lays the document out on.
qreal DocumentDpi() {
  if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi)) return 96;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) return qRound(screen->logicalDotsPerInchY());
  return 100;
}

QTextCharFormat FormatOf(const ReportStyle& style) {
  QTextCharFormat format;
  if (style.family) format.setFontFamilies({QString::fromStdString(*style.family)});
  if (style.points) format.setFontPointSize(*style.points);
  if (style.bold) format.setFontWeight(*style.bold ? QFont::Bold : QFont::Normal);
  if (style.colour) format.setForeground(QColor(style.colour->red, style.colour->green, style.colour->blue));
  return format;
}

}  // namespace

void ComposeReport(QTextDocument& document, const std::vector<SiteRow>& rows, const EventPump& pump) {
  RegisterReportFonts();
  document.setUndoRedoEnabled(false);
  QTextOption option = document.defaultTextOption();
  option.setTabStopDistance(DocumentDpi() / 2);
  document.setDefaultTextOption(option);
  document.setPlainText(Q(ReportText(rows)));

  // The steps find their runs in the document's text, in which every
  // character keeps its document position (a paragraph separator is a line feed).
  QString raw = document.toRawText();
  raw.chop(1);  // the final separator, which no plain text has
  raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  std::u16string text(reinterpret_cast<const char16_t*>(raw.utf16()), static_cast<std::size_t>(raw.size()));
  std::vector<ReportRun> runs = ReportRuns(text, pump);
  // One edit block for all runs: the cursor then skips placing itself on a
  // laid-out line after every move, and changes are announced once.
  QTextCursor cursor(&document);
  cursor.beginEditBlock();
  for (const ReportRun& run : runs) {
    cursor.setPosition(run.start);
    cursor.setPosition(run.end, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(FormatOf(run.style));
  }
  cursor.endEditBlock();
}

}  // namespace pw::ui
