#include "ui/Controls.h"

#include <QMouseEvent>
#include <QPainter>

#include "policy/SecuritySwitch.h"

namespace pw::ui {

std::uint16_t ModifierState(Qt::KeyboardModifiers modifiers) {
  std::uint16_t state = 0;
  if (modifiers & Qt::ShiftModifier) state |= kShiftMask;
  if (modifiers & Qt::ControlModifier) state |= kCtrlMask;
  if (modifiers & Qt::AltModifier) state |= kAltMask;
  return state;
}

GraphicButton::GraphicButton(QWidget* parent) : QToolButton(parent) {
  setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  setFocusPolicy(Qt::StrongFocus);
  setAutoRaise(false);
}

void GraphicButton::mouseReleaseEvent(QMouseEvent* event) {
  QToolButton::mouseReleaseEvent(event);
  emit mouseReleased(event->button(), event->modifiers());
}

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) {}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click) emit clicked();
}

PictureControl::PictureControl(QWidget* parent, Painter painter) : QWidget(parent), painter_(std::move(painter)) {}

void PictureControl::SetPainter(Painter painter) {
  painter_ = std::move(painter);
  update();
}

void PictureControl::paintEvent(QPaintEvent*) {
  if (!painter_) return;
  QPainter p(this);
  painter_(p, QRectF(rect()));
}

void PictureControl::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

void PictureControl::mouseReleaseEvent(QMouseEvent* event) {
  bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click) emit clicked();
}

LineControl::LineControl(QWidget* parent) : QWidget(parent) {}

void LineControl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(QRect(0, 0, width(), 1), palette().color(QPalette::Mid));
}

}  // namespace pw::ui
