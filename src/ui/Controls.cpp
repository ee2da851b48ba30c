#include "ui/Controls.h"

#include <QMouseEvent>
#include <QPainter>

#include "policy/SecuritySwitch.h"
#include "ui/Twips.h"

namespace pw::ui {

void RegisterFontSubstitutes() {
  static bool done = false;
  if (done) return;
  done = true;
  // Liberation Sans has Arial's metrics, DejaVu Sans is Verdana's kin.
  QFont::insertSubstitutions("MS Sans Serif", {"Microsoft Sans Serif", "Liberation Sans", "Arial", "DejaVu Sans"});
  QFont::insertSubstitutions("Verdana", {"DejaVu Sans", "Bitstream Vera Sans", "Liberation Sans"});
}

QFont DesignFont(const char* family, double points, bool bold) {
  QFont font(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

QRect PixelRect(const TwipRect& rect, int dpiX, int dpiY) {
  int left = TwipsToPixels(rect.left, dpiX);
  int top = TwipsToPixels(rect.top, dpiY);
  int right = TwipsToPixels(rect.left + rect.width, dpiX);
  int bottom = TwipsToPixels(rect.top + rect.height, dpiY);
  return QRect(left, top, right - left, std::max(1, bottom - top));
}

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

DesignFrame::DesignFrame(QWidget* parent) : QGroupBox(parent) {}

void DesignFrame::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QRectF edge = QRectF(rect()).adjusted(0.5, fontMetrics().height() / 2 + 0.5, -0.5, -0.5);
  p.setPen(palette().color(QPalette::Mid));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(edge, 3, 3);
  if (title().isEmpty()) return;
  QRect text(8, 0, fontMetrics().horizontalAdvance(title()) + 6, fontMetrics().height());
  p.fillRect(text, palette().window());
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  p.drawText(text, Qt::AlignCenter, title());
}

LineControl::LineControl(QWidget* parent) : QWidget(parent) {}

void LineControl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(QRect(0, 0, width(), 1), palette().color(QPalette::Mid));
}

}  // namespace pw::ui
