// The windows' questions and messages as message boxes, owned by the window
// that asks.
#pragma once

#include "common/Prompter.h"
#include "win32window/Controls.h"

namespace pw::win32 {

class MessageBoxPrompter : public Prompter {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  MsgAnswer MsgBox(const std::string& title, const std::string& text, MsgButtons buttons, MsgIcon icon) override;
  // True while a box is open: the window then leaves the store alone.
  bool Asking() const { return asking_ > 0; }

 private:
  HWND owner_ = nullptr;
  int asking_ = 0;
};

}  // namespace pw::win32
