#include "qtwindow/ZoneLine.h"

#include <QFontMetrics>

#include "listings/ZoneForUrl.h"

namespace pw::ui {

ZoneLine::ZoneLine(QWidget* parent) : QLabel(parent) {
  setObjectName("lblZone");
  setTextFormat(Qt::RichText);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void ZoneLine::Show(RegistryStore& store, const QString& typed) {
  std::string address = AddressAsTyped(typed.toStdString());
  lines_.clear();
  if (address.empty()) {
    setToolTip({});
  } else {
    ZoneAnswer answer = ZoneForUrl(store, address);
    for (const std::string& line : ZoneAnswerLines(answer)) lines_ << QString::fromStdString(line);
    std::string name = ZoneAnswerName(answer);
    setToolTip(QString::fromStdString(address + ": " + (name.empty() ? "" : name + ", ") +
                                      ZoneAnswerReason(answer)));
  }
  ShowLines();
}

TwipRect ZoneLine::Place(const MainWindowLayout& layout) {
  const TwipRect& add = layout.places.at("cmdAdd");
  const TwipRect& print = layout.places.at("cmdPrint");
  const TwipRect& box = layout.places.at("txtURL");
  TwipRect place{add.left + add.width + 60, 60, 0, box.top - 80};
  place.width = print.left - 60 - place.left;
  return place.width >= 600 ? place : TwipRect{};
}

void ZoneLine::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  ShowLines();
}

void ZoneLine::ShowLines() {
  // Long names are shortened in the middle to the width there is.
  QFont bold = font();
  bold.setBold(true);
  QStringList shown;
  for (int i = 0; i < lines_.size(); ++i) {
    QString line =
        QFontMetrics(i == 0 ? bold : font()).elidedText(lines_[i], Qt::ElideMiddle, width());
    shown << (i == 0 ? "<b>" + line.toHtmlEscaped() + "</b>" : line.toHtmlEscaped());
  }
  setText(shown.join("<br>"));
  // Read out whole, without the markup or the shortening.
  setAccessibleDescription(lines_.join(". "));
}

}  // namespace pw::ui
