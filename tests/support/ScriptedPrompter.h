// A Prompter that answers from a script and records what it was asked.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "common/Prompter.h"

namespace pw::test {

struct AskedBox {
  std::string title;
  std::string text;
  MsgButtons buttons;
  MsgIcon icon;
};

class ScriptedPrompter : public Prompter {
 public:
  // Answers to give, in order. A question with no answer left fails the test
  // and is answered No.
  void Answer(MsgAnswer answer) { answers_.push_back(answer); }

  MsgAnswer MsgBox(const std::string& title, const std::string& text, MsgButtons buttons,
                   MsgIcon icon) override {
    asked.push_back({title, text, buttons, icon});
    if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    if (answers_.empty()) {
      ADD_FAILURE() << "unexpected question: " << title;
      return MsgAnswer::No;
    }
    MsgAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  std::vector<AskedBox> asked;

 private:
  std::deque<MsgAnswer> answers_;
};

}  // namespace pw::test
