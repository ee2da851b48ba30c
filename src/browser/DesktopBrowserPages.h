// The pages open in the desktop's browser, offered at start-up: the shell's
// windows on Windows, the running Firefox's tabs elsewhere.
#pragma once

#include "ui/Startup.h"

namespace pw {

class DesktopBrowserPages : public BrowserPageSource {
 public:
  std::vector<std::string> OpenPageAddresses() override;
};

}  // namespace pw
