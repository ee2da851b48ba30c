// Modal questions and messages. The windows show them as message boxes, the
// command line on the terminal; tests answer them from a script. Logic never
// shows a dialog of its own.
#pragma once

#include <string>

namespace pw {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Critical, Exclamation, Information };
enum class MsgAnswer { Ok = 1, Yes = 6, No = 7 };

class Prompter {
 public:
  virtual ~Prompter() = default;
  // Shows the message and waits for the answer. With MsgButtons::Ok the answer
  // is MsgAnswer::Ok.
  virtual MsgAnswer MsgBox(const std::string& title, const std::string& text, MsgButtons buttons,
                           MsgIcon icon) = 0;
};

}  // namespace pw
