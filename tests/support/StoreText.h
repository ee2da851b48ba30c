// The store's 8-bit text for characters outside ASCII, for tests that name
// them: UTF-8 on Linux, the system code page on Windows (1252 where the tests
// run under Wine). Tests write the characters as UTF-8 literals.
#pragma once

#include <string>
#include <string_view>

namespace pw::test {

// The store's bytes for the UTF-8 text; on Windows through the platform's own
// conversion, not the code under test. Empty when the store cannot hold it.
std::string StoreText(std::string_view utf8);

// Whether the store's text can hold every character of the UTF-8 text (the
// system code page holds only some).
bool StoreCanHold(std::string_view utf8);

}  // namespace pw::test
