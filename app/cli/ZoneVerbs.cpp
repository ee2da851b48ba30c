// status, secure, prompt, default: the zone policy from the command line.
#include <ostream>

#include "Cli.h"
#include "policy/SecuritySwitch.h"
#include "policy/ZoneProfiles.h"
#include "registry/KnownKeys.h"

namespace pw::cli {
namespace {

const char* ProfileName(ZoneProfile profile) {
  switch (profile) {
    case ZoneProfile::Prompting: return "prompting";
    case ZoneProfile::LockedDown: return "locked-down";
    default: return "default";
  }
}

// Writes the profile, prints the state read back, and fails when a write
// failed or the state is not the profile's.
int WriteAndReport(Run& run, ZoneProfile profile) {
  if (!run.OpenStore()) return kExitFailure;
  LONG status = WriteZoneProfile(run.Registry(), profile);
  ZoneSecurityState state = DetectZoneSecurity(run.Registry());
  run.env.out << ZoneSecurityStateName(state) << "\n";
  if (status == ERROR_SUCCESS && state == ExpectedState(profile)) return kExitOk;
  if (status != ERROR_SUCCESS)
    run.env.err << "portwarden-cli: cannot write the " << ProfileName(profile) << " profile into the store "
                << run.Store().Describe() << ": " << status << " (" << StatusName(status) << ")"
                << (run.Store().SupportsRollback() ? "; the zone was left as it was" : "");
  else
    run.env.err << "portwarden-cli: after writing the " << ProfileName(profile) << " profile the zone reads "
                << ZoneSecurityStateName(state) << ", not " << ZoneSecurityStateName(ExpectedState(profile));
  if (!run.Registry().RegKeyExists(HKEY_CURRENT_USER, kZonePath))
    run.env.err << ": the Internet zone key HKEY_CURRENT_USER\\" << kZonePath << " is missing from the store "
                << run.Store().Describe();
  run.env.err << "\n";
  return kExitFailure;
}

}  // namespace

int RunStatus(Run& run) {
  run.args.Done();
  if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
  run.env.out << ZoneSecurityStateName(DetectZoneSecurity(run.Registry())) << "\n";
  return kExitOk;
}

int RunSecure(Run& run) {
  run.args.Done();
  return WriteAndReport(run, ZoneProfile::LockedDown);
}

int RunPrompt(Run& run) {
  run.args.Done();
  return WriteAndReport(run, ZoneProfile::Prompting);
}

int RunDefault(Run& run) {
  bool yes = run.args.Flag("--yes");
  run.args.Done();
  if (!yes) {
    TerminalPrompter prompter(run.env);
    if (prompter.MsgBox(kConfirmDisableTitle, kConfirmDisableText, MsgButtons::YesNo, MsgIcon::None) !=
        MsgAnswer::Yes) {
      run.env.err << "portwarden-cli: not confirmed; nothing was written (--yes answers Yes)\n";
      return kExitFailure;
    }
  }
  return WriteAndReport(run, ZoneProfile::Default);
}

}  // namespace pw::cli
