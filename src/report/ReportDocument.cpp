#include "report/ReportDocument.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <vector>

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

// Finds over the document's text and formats over its runs. The text does not
// change while it is formatted, so the finds read one copy of it, in which
// every character keeps its document position (a line feed becomes the
// document's paragraph separator).
class Formatter {
 public:
  // One edit block for all steps: the cursor then skips placing itself on a
  // laid-out line after every move, and changes are announced once.
  explicit Formatter(QTextDocument& document) : text_(document.toRawText()), cursor_(&document) {
    cursor_.beginEditBlock();
    for (int i = 0; i < static_cast<int>(text_.size()); ++i)
      if (text_[i] == QChar::ParagraphSeparator) lineEnds_.push_back(i);
  }
  ~Formatter() { cursor_.endEditBlock(); }

  int Length() const { return static_cast<int>(text_.size()) - 1; }  // without the final separator

  // The position of `needle` at `from` or after, or -1.
  int Find(const QString& needle, int from) const { return static_cast<int>(text_.indexOf(needle, from)); }

  // Where the line holding `position` begins and where its line feed stands;
  // looked up, not searched, so that a long line with many finds costs no
  // more than a short one.
  std::pair<int, int> Line(int position) const {
    auto end = std::lower_bound(lineEnds_.begin(), lineEnds_.end(), position);
    int before = end == lineEnds_.begin() ? -1 : *(end - 1);
    return {before + 1, end == lineEnds_.end() ? -1 : *end};
  }

  QChar At(int position) const { return text_[position]; }

  void Apply(int start, int end, const QTextCharFormat& format) {
    if (end <= start) return;
    cursor_.setPosition(start);
    cursor_.setPosition(end, QTextCursor::KeepAnchor);
    cursor_.mergeCharFormat(format);
  }

 private:
  const QString text_;
  std::vector<int> lineEnds_;  // the positions of the paragraph separators
  QTextCursor cursor_;
};

QTextCharFormat FontFormat(const char* family, int points, bool bold) {
  QTextCharFormat format;
  format.setFontFamilies({QString::fromLatin1(family)});
  format.setFontPointSize(points);
  format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
  return format;
}

QTextCharFormat ColourFormat(const QColor& colour, bool bold) {
  QTextCharFormat format;
  format.setForeground(colour);
  if (bold) format.setFontWeight(QFont::Bold);
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

  Formatter format(document);
  const int length = format.Length();
  const int title = format.Find(Q(kReportTitle), 0);
  const int heading = format.Find(Q(kReportHeading), title + static_cast<int>(kReportTitle.size()) + 1);
  const int headingEnd = format.Line(heading).second;

  // Steps 1 to 3: title, heading, and everything after the heading.
  format.Apply(title, title + static_cast<int>(kReportTitle.size()), FontFormat("Arial", 14, true));
  format.Apply(heading, headingEnd, FontFormat("Arial", 10, true));
  QTextCharFormat lines = FontFormat("Courier New", 10, false);
  lines.setForeground(kReportSiteColour);
  format.Apply(headingEnd, length, lines);

  // Step 4: black from six characters before each "//" through the first dot
  // at or after that point. The run stays on the line of its "//", and the
  // next find starts past both the run and the "//", so the loop always moves
  // forward, also where a line has no dot after its "//".
  const QTextCharFormat black = ColourFormat(kReportProtocolColour, false);
  for (int from = 0;;) {
    const int slashes = format.Find(QStringLiteral("//"), from);
    if (slashes < 0) break;
    if (pump) pump();
    auto [lineStart, lineEnd] = format.Line(slashes);
    const int start = std::max(slashes - 6, lineStart);
    int end = start;
    while (end < lineEnd && format.At(end) != QLatin1Char('.')) ++end;
    if (end < lineEnd) ++end;  // through the dot
    format.Apply(start, end, black);
    from = std::max(end, slashes + 2);
  }

  // Steps 5 to 7: each tag bold in its colour, one tag after the other.
  for (std::size_t i = 0; i < std::size(kReportTags); ++i) {
    const QTextCharFormat tag = ColourFormat(kReportTagColours[i], true);
    const QString needle = Q(kReportTags[i]);
    for (int from = 0;;) {
      const int match = format.Find(needle, from);
      if (match < 0) break;
      if (pump) pump();
      from = match + static_cast<int>(needle.size());
      format.Apply(match, from, tag);
    }
  }
}

}  // namespace pw::ui
