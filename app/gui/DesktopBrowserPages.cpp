#include "DesktopBrowserPages.h"

namespace pw {

std::vector<std::string> DesktopBrowserPages::OpenPageAddresses() { return {}; }

}  // namespace pw
