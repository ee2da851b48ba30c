#pragma once

#include <string>
#include <string_view>

namespace pw {

// The form in which the store compares and orders names: upper-cased, as the
// platform compares them. ASCII letters map to A-Z; other letters of UTF-8 text
// take their Unicode upper case; bytes that are not valid UTF-8 stay as they are.
// Comparing two folded names bytewise gives the platform's order for every
// character of the Basic Multilingual Plane.
std::string FoldName(std::string_view name);
// The same into `out`, whose room is reused (a loop over many names).
void FoldNameInto(std::string_view name, std::string& out);

// True when both names fold to the same text.
bool SameName(std::string_view a, std::string_view b);

}  // namespace pw
