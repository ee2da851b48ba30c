// Where the running program is installed, read at run time: the button's
// values name the window program in that folder.
#pragma once

#include <string>

#include "browser/TrustButton.h"

namespace pw {

// The full path of the running executable, as the platform reports it; empty
// when it cannot tell.
std::string RunningExecutablePath();

// The installation of the window program at `programPath`. On Windows the
// executable is named by its base name + ".exe" and the log lies beside it;
// elsewhere the program's folder is not the user's to write, so the log goes in
// `logFolder` (the store's folder).
Installation InstallationOf(const std::string& programPath, const std::string& logFolder);

}  // namespace pw
