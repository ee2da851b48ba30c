#pragma once

#include <cstddef>
#include <string_view>

namespace pw {

// Decodes the UTF-8 sequence that starts at text[i] into `out`. Returns its
// length in bytes, or 0 when the bytes there are not valid UTF-8 (a stray
// continuation byte, a cut-short, overlong or surrogate sequence).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& out);

// True when the whole text is valid UTF-8.
bool IsValidUtf8(std::string_view text);

}  // namespace pw
