#pragma once

#include <cstring>
#include <string>
#include <string_view>

namespace pw {

// A name or path argument of a store operation: either null (the platform's
// NULL pointer) or 8-bit text. Unlike a bare `const char*` it keeps the length
// of a std::string, so a name with an embedded NUL reaches the store whole and
// is refused there instead of silently naming a shorter key.
class RegName {
 public:
  RegName() = default;
  RegName(std::nullptr_t) {}
  RegName(const char* text) : text_(text ? std::string_view(text) : std::string_view()), null_(!text) {}
  RegName(const std::string& text) : text_(text), null_(false) {}
  RegName(std::string_view text) : text_(text), null_(false) {}

  bool IsNull() const { return null_; }
  bool IsEmpty() const { return text_.empty(); }  // also true when null
  std::string_view View() const { return text_; }
  bool HasNul() const { return text_.find('\0') != std::string_view::npos; }

 private:
  std::string_view text_;
  bool null_ = true;
};

}  // namespace pw
