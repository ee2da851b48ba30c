#include "report/ReportPages.h"

#include <QColor>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <QtMath>
#include <memory>
#include <vector>

#include "report/ReportText.h"

namespace pw::ui {
namespace {

// The named families are those of another platform; their metric twins stand
// in for them where they are not installed, so the columns come out the same.
void RegisterReportFonts() {
  static bool done = false;
  if (done) return;
  done = true;
  QFont::insertSubstitutions("Arial", {"Liberation Sans", "Arimo"});
  QFont::insertSubstitutions("Courier New", {"Liberation Mono", "Cousine"});
}

// The resolution the report's own lengths are given in (the screen's); the
// layout scales them to the device it lays the report out on.
int ScreenDpi(Qt::Orientation orientation) {
  if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi)) return 96;
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    return qRound(orientation == Qt::Horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY());
  return 100;
}

// The format of a kind of run, from its look; the title and heading keep
// the document's colour, as their steps leave it unchanged.
QTextCharFormat FormatOf(int kind) {
  const ReportLook look = LookOf(kind);
  QTextCharFormat format;
  format.setFontFamilies({QString::fromLatin1(look.family)});
  format.setFontPointSize(look.points);
  format.setFontWeight(look.bold ? QFont::Bold : QFont::Normal);
  if (kind >= kReportLines) format.setForeground(QColor(look.colour.red, look.colour.green, look.colour.blue));
  return format;
}

// Where the text ends a paragraph, as a document's cursor breaks it into
// blocks; a CR LF ends one.
bool EndsBlock(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1; }

// Lengths on the layout's fixed grid of 1/64 pixel, rounded the way the
// document's layout rounds them, so lines land on the same pixels.
using Fixed = int;
Fixed FromReal(qreal r) { return static_cast<int>(r * 64); }
qreal ToReal(Fixed f) { return f / 64.0; }

// The direction of a paragraph: that of its first strongly directed
// character, left to right when there is none.
Qt::LayoutDirection DirectionOf(QStringView paragraph) {
  for (qsizetype i = 0; i < paragraph.size(); ++i) {
    char32_t code = paragraph[i].unicode();
    if (QChar::isHighSurrogate(code) && i + 1 < paragraph.size() && paragraph[i + 1].isLowSurrogate()) {
      code = QChar::surrogateToUcs4(paragraph[i].unicode(), paragraph[i + 1].unicode());
      ++i;
    }
    switch (QChar::direction(code)) {
      case QChar::DirL: return Qt::LeftToRight;
      case QChar::DirR:
      case QChar::DirAL: return Qt::RightToLeft;
      default: break;
    }
  }
  return Qt::LeftToRight;
}

// One paragraph laid out on the pages; its layout's lines carry their places.
struct Placed {
  std::unique_ptr<QTextLayout> layout;
  qreal top = 0, bottom = 0;  // its lines' extent on the whole length of paper
};

}  // namespace

ReportPages::ReportPages(const std::vector<SiteRow>& rows, const EventPump& pump) {
  RegisterReportFonts();
  const std::string utf8 = ReportText(rows);
  text_ = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  markup_ = MarkReport(std::u16string_view(reinterpret_cast<const char16_t*>(text_.utf16()), text_.size()), pump);

  for (int kind = kReportTitle_; kind < kReportKinds; ++kind) formats_[static_cast<std::size_t>(kind)] = FormatOf(kind);
  // A document's defaults: its wrap, the application's font.
  option_.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  option_.setTabStopDistance(ScreenDpi(Qt::Vertical) / 2.0);
  font_ = QFont();
}

bool ReportPages::PrintOn(QPagedPaintDevice& device) const {
  QPainter painter(&device);
  if (!painter.isActive()) return false;

  // The page's printable area in device pixels; the report's lengths and
  // fonts are scaled to the device's resolution.
  const QSizeF pageSize = device.pageLayout().paintRectPixels(device.logicalDpiX()).size();
  // The scale a document's printing sets: to the device from the screen's
  // resolution, then to the page from the report's scaled page; together
  // about one.
  const qreal dpiScaleX = qreal(device.logicalDpiX()) / ScreenDpi(Qt::Horizontal);
  const qreal dpiScaleY = qreal(device.logicalDpiY()) / ScreenDpi(Qt::Vertical);
  painter.scale(dpiScaleX, dpiScaleY);
  painter.scale(device.width() / (pageSize.width() * dpiScaleX), device.height() / (pageSize.height() * dpiScaleY));

  const Fixed pageHeight = FromReal(pageSize.height());
  const Fixed width = FromReal(pageSize.width());
  Fixed y = 0;
  Fixed pageBottom = pageHeight;

  int page = 0;              // the page being drawn, from 0
  std::vector<Placed> open;  // paragraphs that may still reach onto it
  auto finishPage = [&]() {
    const QRectF view(0, page * pageSize.height(), pageSize.width(), pageSize.height());
    painter.save();
    painter.translate(0, -page * pageSize.height());
    painter.setClipRect(view);
    painter.setPen(Qt::black);
    std::vector<Placed> next;
    for (Placed& placed : open) {
      if (!(placed.bottom < view.top() || placed.top > view.bottom()))
        placed.layout->draw(&painter, QPointF(), {}, view);
      if (placed.bottom >= view.bottom()) next.push_back(std::move(placed));
    }
    painter.restore();
    open = std::move(next);
    ++page;
  };

  QList<QTextLayout::FormatRange> ranges;
  const qsizetype size = text_.size();
  for (qsizetype start = 0; start <= size;) {
    qsizetype end = start;
    while (end < size && !EndsBlock(text_[end].unicode())) ++end;
    const QStringView paragraph(text_.constData() + start, end - start);

    // Pages that no paragraph from here on can reach are done.
    while (ToReal(y) > page * pageSize.height() + pageSize.height()) {
      finishPage();
      if (!device.newPage()) return false;
    }

    auto layout = std::make_unique<QTextLayout>(paragraph.toString(), font_, &device);
    layout->setCacheEnabled(true);
    ranges.clear();
    for (qsizetype at = start; at < end;) {
      qsizetype runEnd = at + 1;
      const std::uint8_t kind = markup_.kinds[static_cast<std::size_t>(at)];
      while (runEnd < end && markup_.kinds[static_cast<std::size_t>(runEnd)] == kind) ++runEnd;
      if (kind != kReportPlain)
        ranges.append({static_cast<int>(at - start), static_cast<int>(runEnd - at), formats_[kind]});
      at = runEnd;
    }
    layout->setFormats(ranges);

    const Qt::LayoutDirection direction = DirectionOf(paragraph);
    QTextOption option = option_;
    option.setTextDirection(direction);
    option.setAlignment((direction == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute);
    layout->setTextOption(option);
    layout->setPosition(QPointF(0, ToReal(y)));

    const Fixed top = y;
    Fixed bottom = 0;
    layout->beginLayout();
    for (;;) {
      QTextLine line = layout->createLine();
      if (!line.isValid()) break;
      line.setLeadingIncluded(true);
      line.setLineWidth(ToReal(width));
      if (FromReal(line.naturalTextWidth()) > width) {
        // A word longer than the line: broken anywhere on this line, and the
        // paragraph's later lines wrap at words only, as in a document.
        option.setWrapMode(QTextOption::WrapAnywhere);
        layout->setTextOption(option);
        line.setLineWidth(qMax<qreal>(line.naturalTextWidth(), ToReal(width)));
        option.setWrapMode(QTextOption::WordWrap);
        layout->setTextOption(option);
      }
      const Fixed lineHeight = FromReal(qCeil(line.ascent() + line.descent() + line.leading()));
      const Fixed lineBottom = FromReal(line.height());
      const Fixed breakHeight = FromReal(line.height());
      while (y + breakHeight > pageBottom && pageHeight >= breakHeight) {
        pageBottom += pageHeight;
        y = qMax(y, pageBottom - pageHeight);
      }
      line.setPosition(QPointF(0, ToReal(y - top)));
      bottom = y + lineBottom;
      y += lineHeight;
    }
    y = qMax(y, bottom);
    layout->endLayout();

    const QRectF bounds = layout->boundingRect().translated(layout->position());
    open.push_back({std::move(layout), bounds.top(), bounds.bottom()});
    start = end + (end + 1 < size && text_[end] == u'\r' && text_[end + 1] == u'\n' ? 2 : 1);
  }

  const int pages = qCeil(ToReal(y) / pageSize.height());
  while (page < pages) {
    finishPage();
    if (page < pages && !device.newPage()) return false;
  }
  return true;
}

}  // namespace pw::ui
