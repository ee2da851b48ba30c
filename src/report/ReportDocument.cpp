#include "report/ReportDocument.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstdint>
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

// Formats over the document's runs.
class Formatter {
 public:
  // One edit block for all steps: the cursor then skips placing itself on a
  // laid-out line after every move, and changes are announced once.
  explicit Formatter(QTextDocument& document) : cursor_(&document) { cursor_.beginEditBlock(); }
  ~Formatter() { cursor_.endEditBlock(); }
  Formatter(const Formatter&) = delete;
  Formatter& operator=(const Formatter&) = delete;

  void Apply(int start, int end, const QTextCharFormat& format) {
    if (end <= start) return;
    cursor_.setPosition(start);
    cursor_.setPosition(end, QTextCursor::KeepAnchor);
    cursor_.mergeCharFormat(format);
  }
  // The same where `format` is what the merge would give: the document then
  // keeps one format for every run instead of merging it run by run.
  void Set(int start, int end, const QTextCharFormat& format) {
    if (end <= start) return;
    cursor_.setPosition(start);
    cursor_.setPosition(end, QTextCursor::KeepAnchor);
    cursor_.setCharFormat(format);
  }

 private:
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
  const QString text = Q(ReportText(rows));
  const int size = static_cast<int>(text.size());

  // The seven steps are worked out on the text first (the same for every
  // window), each character getting the kind of run it ends up in. The lines
  // then go in already in their font and colour, and each run is set once, in
  // order, in its final format: the document neither merges a format over
  // every line nor splits a run again for each step.
  const ReportMarkup markup =
      MarkReport(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()), pump);
  const std::vector<std::uint8_t>& kinds = markup.kinds;
  const int title = markup.title;
  const int heading = markup.heading;
  const int headingEnd = markup.headingEnd;
  enum Kind : std::uint8_t { kLines = kReportLines, kBlack = kReportBlack, kTag = kReportTag };

  // Step 3: everything after the heading's line in the lines' font and
  // colour, the runs of steps 4 to 7 merged over it.
  QTextCharFormat formats[kReportKinds];
  formats[kLines] = FontFormat("Courier New", 10, false);
  formats[kLines].setForeground(kReportSiteColour);
  formats[kBlack] = formats[kLines];
  formats[kBlack].merge(ColourFormat(kReportProtocolColour, false));
  for (std::size_t i = 0; i < std::size(kReportTags); ++i) {
    formats[kTag + i] = formats[kLines];
    formats[kTag + i].merge(ColourFormat(kReportTagColours[i], true));
  }
  document.clear();
  {
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    cursor.insertText(text.left(headingEnd));
    cursor.insertText(QString::fromRawData(text.constData() + headingEnd, size - headingEnd), formats[kLines]);
    // The empty block after the last line keeps the default, as the
    // document's own end does.
    cursor.setBlockCharFormat(QTextCharFormat());
    cursor.endEditBlock();
  }

  Formatter format(document);
  for (int at = headingEnd; at < size;) {
    int end = at + 1;
    while (end < size && kinds[end] == kinds[at]) ++end;
    if (kinds[at] != kLines) format.Set(at, end, formats[kinds[at]]);  // only lines' kinds follow the heading
    at = end;
  }
  // Steps 1 and 2: title and heading.
  format.Apply(title, title + static_cast<int>(kReportTitle.size()), FontFormat("Arial", 14, true));
  format.Apply(heading, headingEnd, FontFormat("Arial", 10, true));
}

}  // namespace pw::ui
