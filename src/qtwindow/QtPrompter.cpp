#include "qtwindow/QtPrompter.h"

#include <QApplication>
#include <QMessageBox>

namespace pw::ui {

MsgAnswer QtPrompter::MsgBox(const std::string& title, const std::string& text, MsgButtons buttons, MsgIcon icon) {
  QWidget* parent = QApplication::activeWindow();
  if (!parent && fallbackParent_ && fallbackParent_->isVisible()) parent = fallbackParent_;
  QMessageBox box(parent);
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(text));
  box.setTextFormat(Qt::PlainText);
  switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
  }
  if (buttons == MsgButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return MsgAnswer::Ok;
}

}  // namespace pw::ui
