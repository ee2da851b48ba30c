// The message boxes of the window program.
#pragma once

#include "common/Prompter.h"

class QWidget;

namespace pw::ui {

class QtPrompter : public Prompter {
 public:
  // Boxes are centred on the active window, or on `fallbackParent` when the
  // program has none yet (the question before the main window first shows).
  explicit QtPrompter(QWidget* fallbackParent = nullptr) : fallbackParent_(fallbackParent) {}
  void SetFallbackParent(QWidget* parent) { fallbackParent_ = parent; }

  MsgAnswer MsgBox(const std::string& title, const std::string& text, MsgButtons buttons, MsgIcon icon) override;

 private:
  QWidget* fallbackParent_;
};

}  // namespace pw::ui
