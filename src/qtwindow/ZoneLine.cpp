#include "qtwindow/ZoneLine.h"

#include <QFontMetrics>

#include "windowlogic/MainWindowTexts.h"

namespace pw::ui {

ZoneLine::ZoneLine(QWidget* parent) : QLabel(parent) {
  setObjectName("lblZone");
  setTextFormat(Qt::RichText);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void ZoneLine::Show(RegistryStore& store, const QString& typed) {
  ZoneLineText shown = ZoneLineFor(store, typed.toStdString());
  lines_.clear();
  for (const std::string& line : shown.lines) lines_ << QString::fromStdString(line);
  setToolTip(QString::fromStdString(shown.toolTip));
  ShowLines();
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
