#include <ostream>

#include "Cli.h"
#include "browser/DesktopBrowserPages.h"
#include "browser/Installation.h"

namespace pw::cli {
namespace {

// The button starts the window program, which lies beside this one under the
// same name without "-cli".
std::string WindowProgramPath() {
  std::string path = RunningExecutablePath();
  std::size_t slash = path.find_last_of("\\/");
  std::size_t suffix = path.rfind("-cli");
  if (suffix != std::string::npos && (slash == std::string::npos || suffix > slash)) path.erase(suffix, 4);
  return path;
}

}  // namespace

int RunRegisterButton(Run& run) {
  run.args.Done();
  Installation place = InstallationOf(WindowProgramPath(), run.storeFolder());
  TrustButtonResult result = RegisterTrustButtonAndMark(run.registry, place);
  std::ostream& err = run.env.err;
  if (result.registered) {
    run.env.out << "button: HKEY_LOCAL_MACHINE\\" << kExtensionsPath << "\\" << result.guid << "\n"
                << "uninstall log: " << place.logPath << "\n";
    return kExitOk;
  }
  for (const StoreFailure& failure : result.failures)
    err << "portwarden-cli register-button: " << failure.reason << "\n";
  if (!result.logError.empty()) err << "portwarden-cli register-button: " << result.logError << "\n";
  if (result.guid.empty() && result.failures.empty() && result.logError.empty())
    err << "portwarden-cli register-button: no button key could be made in " << run.store.Describe() << "\n";
  // What a failed registration made is undone: a later run starts afresh.
  err << "portwarden-cli register-button: no button was registered\n";
  return kExitFailure;
}

int RunOpenPages(Run& run) {
  run.args.Done();
  DesktopBrowserPages pages;
  for (const std::string& address : OfferedAddresses(&pages)) run.env.out << address << "\n";
  return kExitOk;
}

}  // namespace pw::cli
