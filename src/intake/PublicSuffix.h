// Public suffixes: names under which unrelated parties register their sites
// ("com", "co.uk", "appspot.com"). A listing that covers every name under one
// covers all of those sites.
#pragma once

#include <string_view>

namespace pw {

// True when `name` (letters in any case) is a public suffix. Linux asks the
// system's Public Suffix List (libpsl); the Windows build, which has no such
// list, knows the country suffixes of the common second-level labels
// ("co.uk", "com.au", "ne.jp").
bool IsPublicSuffix(std::string_view name);

}  // namespace pw
