// What the add flow's two dialogs share: controls made from the design by
// their names and placed at their design rectangles through the logical DPI,
// a fixed size, the captions naming the listing (Label1 and Label2), the logo
// panel, and the pictures of ImageList11.
#pragma once

#include <QDialog>
#include <stdexcept>
#include <string>
#include <vector>

#include "windowlogic/MainWindowLayout.h"

class QLabel;
class QPushButton;

namespace pw::ui {

class PictureControl;

class DesignedDialog : public QDialog {
  Q_OBJECT
 public:
  // A modeless dialog of `owner` that deletes itself once closed. Controls are
  // made by their names' prefixes: Label and lbl labels, Line rules, Frame
  // frames, Picture panels, Image pictures (Image10 the logo), Option option
  // buttons, Check check boxes, Command buttons.
  DesignedDialog(QWidget* owner, const char* name, const char* caption,
                 const std::vector<DesignControl>& design, int clientWidth, int clientHeight);

  // Shows the dialog, or brings it to the front when it shows already.
  void Present();

 protected:
  // The control of designed name `name`, made by the constructor, as the
  // type its name's prefix made it; a name missing from the design, or a
  // wrong type, is a programming fault and throws.
  template <typename T>
  T* Designed(const char* name) const {
    T* control = findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) throw std::logic_error(std::string("no such designed control: ") + name);
    return control;
  }

  // Puts picture `index` of ImageList11 into `picture`; its "picture"
  // property tells which one it shows.
  static void ShowPicture(PictureControl* picture, int index);
  // Tab goes through these controls in this order.
  void SetTabOrder(const std::vector<QWidget*>& order);
  // Sets the fixed caption of a label, widening the label where it is too
  // narrow for it.
  static void SetCaption(QLabel* label, const char* caption);

  // The controls both dialogs have.
  QLabel* subDomainLabel_ = nullptr;  // lblSubDomain
  QLabel* domainLabel_ = nullptr;     // lblDomain
  QPushButton* okButton_ = nullptr;   // Command1
  QPushButton* cancelButton_ = nullptr;  // Command2
};

}  // namespace pw::ui
