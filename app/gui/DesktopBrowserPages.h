// The pages open in the desktop's browser windows, offered at start-up.
#pragma once

#include "ui/Startup.h"

namespace pw {

// No browser on Linux tells its open pages yet: the list is empty, and the
// "///" filter of start-up applies to whatever a source later returns.
class DesktopBrowserPages : public BrowserPageSource {
 public:
  std::vector<std::string> OpenPageAddresses() override;
};

}  // namespace pw
