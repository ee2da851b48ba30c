// Small controls the main window is built from.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QToolButton>
#include <QTreeView>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "windowlogic/MainWindowLayout.h"

namespace pw::ui {

// The design names fonts of another platform; this makes the nearest installed
// ones stand in for them. Once per program, before the first window.
void RegisterFontSubstitutes();
// A font of the design: family, size in points, weight.
QFont DesignFont(const char* family, double points, bool bold);
// A design rectangle in pixels at the given logical DPI; edges are rounded, not
// sizes, so that neighbouring controls meet as they do in the design.
QRect PixelRect(const TwipRect& rect, int dpiX, int dpiY);

// The modifier-key state of an event as the switch takes it: 1 Shift, 2 Ctrl,
// 4 Alt, added together.
std::uint16_t ModifierState(Qt::KeyboardModifiers modifiers);

// A graphical button: picture above the caption. Besides clicked() it reports
// every mouse release, of any mouse button, with that event's modifiers; a
// release is what the security switch acts on. A click that comes from the
// keyboard (Space, Return or Enter, with the modifiers held then) or from an
// assistive tool's press is reported as keyClicked, so that the switch takes
// it as a release. Focus shows as a frame.
class GraphicButton : public QToolButton {
  Q_OBJECT
 public:
  explicit GraphicButton(QWidget* parent);

 signals:
  void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
  void keyClicked(Qt::KeyboardModifiers modifiers);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool inMouseRelease_ = false;
  Qt::KeyboardModifiers keyModifiers_;
};

// Draws the keyboard focus as a frame in the highlight colour just inside
// `area` of the widget, for controls whose style shows focus faintly or not
// at all (tool buttons, pictures, the list).
void PaintFocusFrame(QWidget& widget, const QRect& area);

// Gives every named control of `window` its accessible name and description
// from the shared texts (AccessibleTextOf), under the window's object name.
void ApplyAccessibleTexts(QWidget& window);

// Accessible roles and actions for the controls below (pictures as graphics
// that a press activates when they take clicks, rules as separators). Once
// per program, before the first window.
void InstallControlAccessibility();

// The site list's view: a tree view that shows its focus as a frame.
class SiteListView : public QTreeView {
  Q_OBJECT
 public:
  explicit SiteListView(QWidget* parent) : QTreeView(parent) {}

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
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
// One that acts when clicked can be made reachable from the keyboard: it then
// takes focus, shows it as a frame, and Space or Return clicks it.
class PictureControl : public QWidget {
  Q_OBJECT
 public:
  using Painter = std::function<void(QPainter&, const QRectF&)>;
  PictureControl(QWidget* parent, Painter painter);
  void SetPainter(Painter painter);
  void SetKeyboardReachable(bool reachable);
  bool KeyboardReachable() const { return focusPolicy() != Qt::NoFocus; }

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Painter painter_;
  bool pressed_ = false;
};

// A frame whose edge runs through the middle of its title, or of a check box
// laid on its top edge, as the dialogs' design draws frames.
class DesignFrame : public QGroupBox {
  Q_OBJECT
 public:
  explicit DesignFrame(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
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
