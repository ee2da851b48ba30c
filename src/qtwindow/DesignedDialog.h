// What the add flow's two dialogs share: controls made from the design by
// their names and placed at their design rectangles through the logical DPI,
// a fixed size, the captions naming the listing (Label1 and Label2), the logo
// panel, and the pictures of ImageList11.
#pragma once

#include <QDialog>
#include <map>
#include <string>
#include <vector>

#include "windowlogic/MainWindowLayout.h"

namespace pw::ui {

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

  template <typename T>
  T* Control(const std::string& name) const {
    return static_cast<T*>(controls_.at(name));
  }

 protected:
  // Puts picture `index` of ImageList11 into the image control `name`; its
  // "picture" property tells which one it shows.
  void ShowPicture(const std::string& name, int index);
  // Tab goes through these controls in this order.
  void SetTabOrder(const std::vector<std::string>& names);
  // Sets the fixed caption of a label, widening the label where it is too
  // narrow for it.
  void SetCaption(const std::string& name, const char* caption);

 private:
  std::map<std::string, QWidget*> controls_;
};

}  // namespace pw::ui
