// The lines above the address box that tell which zone the browser would give
// its address now, and which listing decides it. They sit in the free space
// between the Add and Print buttons and never cover a control of the design.
#pragma once

#include <QLabel>
#include <QStringList>

#include "registry/RegistryStore.h"
#include "windowlogic/MainWindowLayout.h"

namespace pw::ui {

class ZoneLine : public QLabel {
 public:
  explicit ZoneLine(QWidget* parent);

  // Shows the answer for the address box's text, read from the store now; the
  // tool tip holds it in full. Nothing for an empty box.
  void Show(RegistryStore& store, const QString& typed);
  QStringList Lines() const { return lines_; }


 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ShowLines();

  QStringList lines_;
};

}  // namespace pw::ui
