#include <ostream>

#include "Cli.h"
#include "browser/DesktopBrowserPages.h"
#include "windowlogic/Startup.h"
#include "browser/Installation.h"
#include "browser/TrustButtonRemoval.h"

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

namespace {

int RemoveButtons(Run& run, const Installation& place) {
  TrustButtonRemoval removal = RemoveTrustButtons(run.Registry(), place.logPath);
  std::ostream& out = run.env.out;
  for (const std::string& guid : removal.removed)
    out << "removed: HKEY_LOCAL_MACHINE\\" << kExtensionsPath << "\\" << guid << "\n";
  for (const std::string& guid : removal.gone)
    out << "gone already: HKEY_LOCAL_MACHINE\\" << kExtensionsPath << "\\" << guid << "\n";
  for (const std::string& kept : removal.kept) run.env.err << "portwarden-cli register-button: left " << kept << "\n";
  if (!removal.error.empty()) {
    run.env.err << "portwarden-cli register-button: " << removal.error << "\n";
    return kExitFailure;
  }
  if (removal.removed.empty() && removal.gone.empty() && removal.kept.empty())
    out << "the uninstall log " << place.logPath << " records no button; nothing was removed\n";
  else
    out << "uninstall log: " << place.logPath << ", " << Counted(removal.linesRemoved, "line", "lines") << " removed\n";
  return kExitOk;
}

}  // namespace

int RunRegisterButton(Run& run) {
  bool another = run.args.Flag("--another");
  bool remove = run.args.Flag("--remove");
  run.args.Done();
  if (another && remove) throw UsageError{"--another and --remove do not go together"};
  if (!run.OpenStore()) return kExitFailure;
  Installation place = InstallationOf(WindowProgramPath(), run.StoreFolder());
  if (remove) return RemoveButtons(run, place);
  if (!another) {
    if (std::optional<std::string> guid = RegisteredTrustButton(run.Registry())) {
      run.env.out << "registered already: HKEY_LOCAL_MACHINE\\" << kExtensionsPath << "\\" << *guid
                  << "; nothing was added (--another adds one more)\n";
      return kExitOk;
    }
  }
  TrustButtonResult result = RegisterTrustButtonAndMark(run.Registry(), place);
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
    err << "portwarden-cli register-button: no button key could be made in " << run.Store().Describe() << "\n";
  // What a failed registration made is undone: a later run starts afresh.
  err << "portwarden-cli register-button: no button was registered\n";
  return kExitFailure;
}

int RunOpenPages(Run& run) {
  run.args.Done();
  for (const std::string& address : OfferedAddresses(DesktopOpenPages)) run.env.out << address << "\n";
  return kExitOk;
}

}  // namespace pw::cli
