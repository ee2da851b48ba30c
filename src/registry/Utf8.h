#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pw {

// Decodes the UTF-8 sequence that starts at text[i] into `out`. Returns its
// length in bytes, or 0 when the bytes there are not valid UTF-8 (a stray
// continuation byte, a cut-short, overlong or surrogate sequence).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& out);

// True when the whole text is valid UTF-8.
bool IsValidUtf8(std::string_view text);

// Text from outside (a file, a store, standard input) as a message may quote
// it on a terminal or in a dialog: the characters that would act instead of
// show are written as escapes, so that the text can neither move the cursor,
// clear the screen, start a line of its own nor turn the text around it:
// controls as \n, \r, \t or \xNN (also a lone byte 0x80 to 0x9F, which some
// terminals take for a control), and the C1 controls, writing-direction marks
// and line separators of UTF-8 as \uNNNN. Everything else passes unchanged.
std::string ShownText(std::string_view text);

}  // namespace pw
