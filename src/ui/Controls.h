// Small controls the main window is built from.
#pragma once

#include <QLabel>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace pw::ui {

// The modifier-key state of an event as the switch takes it: 1 Shift, 2 Ctrl,
// 4 Alt, added together.
std::uint16_t ModifierState(Qt::KeyboardModifiers modifiers);

// A graphical button: picture above the caption. Besides clicked() it reports
// every mouse release, of any mouse button, with that event's modifiers; a
// release is what the security switch acts on.
class GraphicButton : public QToolButton {
  Q_OBJECT
 public:
  explicit GraphicButton(QWidget* parent);

 signals:
  void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// A label that reports a click: press and release of the left button on it.
class ClickLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ClickLabel(QWidget* parent);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

// An image control: paints its picture into its rectangle and reports clicks.
class PictureControl : public QWidget {
  Q_OBJECT
 public:
  using Painter = std::function<void(QPainter&, const QRectF&)>;
  PictureControl(QWidget* parent, Painter painter);
  void SetPainter(Painter painter);

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  Painter painter_;
  bool pressed_ = false;
};

// A horizontal rule across its width, at its top.
class LineControl : public QWidget {
  Q_OBJECT
 public:
  explicit LineControl(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pw::ui
