// The outcome of a step that can fail, the one way the libraries report a
// failure: done, or failed with the status the store or the system gave (0
// when none applies) and a message for people naming what failed and why.
// Messages say what happened in the program's own terms; a front end adds how
// to go on in its own (the command line's syntax, a window's buttons).
#pragma once

#include <string>
#include <utility>

#include "registry/RegistryTypes.h"

namespace pw {

class [[nodiscard]] Result {
 public:
  // Done.
  Result() = default;
  static Result Failure(std::string message, LONG status = ERROR_SUCCESS) {
    Result result;
    result.failed_ = true;
    result.message_ = std::move(message);
    result.status_ = status;
    return result;
  }

  bool Ok() const { return !failed_; }
  LONG Status() const { return status_; }
  // Empty when done.
  const std::string& Message() const { return message_; }

 private:
  bool failed_ = false;
  LONG status_ = ERROR_SUCCESS;
  std::string message_;
};

// A status for messages: its number and what it means, "2 (not found)".
std::string StatusText(LONG status);

}  // namespace pw
