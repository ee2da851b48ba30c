#include "browser/DesktopBrowserPages.h"

#if defined(_WIN32)
#include "browser/ShellWindowPages.h"
#else
#include "browser/FirefoxProfiles.h"
#endif

namespace pw {

std::vector<std::string> DesktopOpenPages() {
#if defined(_WIN32)
  return ShellWindowAddresses();
#else
  return FirefoxOpenPages();
#endif
}

}  // namespace pw
