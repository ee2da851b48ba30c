// The pages open in the desktop's browser, which start-up offers: the shell's
// windows on Windows, the running Firefox's tabs elsewhere.
#pragma once

#include <string>
#include <vector>

namespace pw {

// The addresses in the windows' order; they may fail in any way (throw).
std::vector<std::string> DesktopOpenPages();

}  // namespace pw
