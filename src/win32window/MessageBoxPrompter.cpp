#include "win32window/MessageBoxPrompter.h"

namespace pw::win32 {

MsgAnswer MessageBoxPrompter::MsgBox(const std::string& title, const std::string& text, MsgButtons buttons,
                                     MsgIcon icon) {
  UINT style = buttons == MsgButtons::YesNo ? MB_YESNO : MB_OK;
  switch (icon) {
    case MsgIcon::Critical: style |= MB_ICONERROR; break;
    case MsgIcon::Exclamation: style |= MB_ICONEXCLAMATION; break;
    case MsgIcon::Information: style |= MB_ICONINFORMATION; break;
    case MsgIcon::None: break;
  }
  // A box of a hidden window (start-up asks before the window shows) has no owner.
  HWND owner = owner_ && IsWindowVisible(owner_) ? GetLastActivePopup(owner_) : nullptr;
  ++asking_;
  int answer = MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), style | (owner ? 0 : MB_SETFOREGROUND));
  --asking_;
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  return answer == IDYES ? MsgAnswer::Yes : MsgAnswer::No;
}

}  // namespace pw::win32
