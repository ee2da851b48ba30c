#include "qtwindow/Controls.h"

#include <QAccessible>
#include <QApplication>
#include <QPointer>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "policy/SecuritySwitch.h"
#include "windowlogic/AccessibleTexts.h"
#include "windowlogic/Twips.h"

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
  connect(this, &QAbstractButton::clicked, this, [this] {
    Qt::KeyboardModifiers modifiers = keyModifiers_;
    keyModifiers_ = {};
    if (!inMouseRelease_) emit keyClicked(modifiers);
  });
}

void GraphicButton::mouseReleaseEvent(QMouseEvent* event) {
  inMouseRelease_ = true;
  QToolButton::mouseReleaseEvent(event);
  inMouseRelease_ = false;
  emit mouseReleased(event->button(), event->modifiers());
}

void GraphicButton::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
    keyModifiers_ = event->modifiers() & ~Qt::KeypadModifier;
    click();
    return;
  }
  QToolButton::keyPressEvent(event);
}

void GraphicButton::keyReleaseEvent(QKeyEvent* event) {
  // Space clicks on its release; the modifiers are those held then, as a
  // mouse release takes them.
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) keyModifiers_ = event->modifiers();
  QToolButton::keyReleaseEvent(event);
}

void GraphicButton::paintEvent(QPaintEvent* event) {
  QToolButton::paintEvent(event);
  if (hasFocus()) PaintFocusFrame(*this, rect());
}

void PaintFocusFrame(QWidget& widget, const QRect& area) {
  QPainter p(&widget);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(widget.palette().color(QPalette::Active, QPalette::Highlight), 2));
  p.drawRoundedRect(QRectF(area).adjusted(2, 2, -2, -2), 3, 3);
  // A light line inside it keeps the frame seen on dark and coloured pictures.
  p.setPen(QPen(QColor(255, 255, 255, 200), 1));
  p.drawRoundedRect(QRectF(area).adjusted(3.5, 3.5, -3.5, -3.5), 2, 2);
}

void SiteListView::paintEvent(QPaintEvent* event) {
  QTreeView::paintEvent(event);
  if (hasFocus()) PaintFocusFrame(*viewport(), viewport()->rect());
}

// The frame is drawn over the rows: the whole viewport is painted anew.
void SiteListView::focusInEvent(QFocusEvent* event) {
  QTreeView::focusInEvent(event);
  viewport()->update();
}

void SiteListView::focusOutEvent(QFocusEvent* event) {
  QTreeView::focusOutEvent(event);
  viewport()->update();
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

void PictureControl::SetKeyboardReachable(bool reachable) {
  setFocusPolicy(reachable ? Qt::StrongFocus : Qt::NoFocus);
}

void PictureControl::paintEvent(QPaintEvent*) {
  if (painter_) {
    QPainter p(this);
    painter_(p, QRectF(rect()));
  }
  // A status picture reaches past its panel's edges: the frame goes around
  // the part that shows.
  if (hasFocus()) PaintFocusFrame(*this, rect() & QRect(mapFromParent(QPoint(0, 0)), parentWidget()->size()));
}

void PictureControl::keyPressEvent(QKeyEvent* event) {
  int key = event->key();
  if (KeyboardReachable() && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
      !event->isAutoRepeat()) {
    emit clicked();
    return;
  }
  QWidget::keyPressEvent(event);
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

namespace {

// A picture as assistive tools see it: a graphic, which a press activates when
// it takes clicks.
class PictureAccessible : public QAccessibleWidget {
 public:
  explicit PictureAccessible(PictureControl* picture) : QAccessibleWidget(picture, QAccessible::Graphic) {}
  QStringList actionNames() const override {
    QStringList names = QAccessibleWidget::actionNames();
    if (Picture()->KeyboardReachable()) names.prepend(pressAction());
    return names;
  }
  void doAction(const QString& action) override {
    if (action == pressAction() && Picture()->KeyboardReachable()) {
      emit Picture()->clicked();
      return;
    }
    QAccessibleWidget::doAction(action);
  }

 private:
  PictureControl* Picture() const { return static_cast<PictureControl*>(widget()); }
};

QAccessibleInterface* ControlAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String("pw::ui::PictureControl")) return new PictureAccessible(static_cast<PictureControl*>(object));
  // The main window is a plain widget; to assistive tools it is a window.
  if (className == QLatin1String("pw::ui::MainWindow"))
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
  if (className == QLatin1String("pw::ui::LineControl"))
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Separator);
  return nullptr;
}

}  // namespace

void ApplyAccessibleTexts(QWidget& window) {
  std::string windowName = window.objectName().toStdString();
  for (QWidget* control : window.findChildren<QWidget*>()) {
    if (control->objectName().isEmpty()) continue;
    AccessibleText text = AccessibleTextOf(windowName, control->objectName().toStdString());
    if (*text.name) control->setAccessibleName(QString::fromUtf8(text.name));
    if (*text.description) control->setAccessibleDescription(QString::fromUtf8(text.description));
  }
}

void InstallControlAccessibility() {
  static bool done = false;
  if (done) return;
  done = true;
  QAccessible::installFactory(ControlAccessible);
}

void LineControl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(QRect(0, 0, width(), 1), palette().color(QPalette::Mid));
}

}  // namespace pw::ui
