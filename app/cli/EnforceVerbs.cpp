#include <cstdlib>
#include <ostream>

#include "Cli.h"
#include "enforcement/Enforcement.h"

namespace pw::cli {
namespace {

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) names.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// The store file as root's records name it: absolute, without links on the way.
std::string Absolute(const std::string& path) {
#if defined(_WIN32)
  return path;
#else
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string absolute = resolved;
  std::free(resolved);
  return absolute;
#endif
}

std::string DefaultText(const ScriptPolicy& policy) {
  if (policy.managedDefault == kBlockScripts) return "scripts blocked except on Trusted sites (enforced)";
  if (policy.recommendedDefault == kBlockScripts)
    return "scripts blocked except on Trusted sites (recommended)";
  return "the browser's own setting";
}

void PrintList(std::ostream& out, const char* title, const std::vector<std::string>& patterns) {
  out << "  " << title << " (" << patterns.size() << ")" << (patterns.empty() ? "" : ":") << "\n";
  for (const std::string& pattern : patterns) out << "    " << pattern << "\n";
}

void PrintGaps(std::ostream& out, const PolicyGaps& gaps) {
  auto line = [&](int count, const char* what) {
    if (count) out << "left out: " << count << " " << what << "\n";
  };
  line(gaps.ftp, "ftp listing(s): these browsers load no ftp pages");
  line(gaps.unexpressible, "listing(s) no site pattern can state (see the help on enforcement)");
  line(gaps.unreadable, "value(s) holding no zone number");
  if (gaps.overblocked.empty()) return;
  // Hosts one label below a name and hosts further below are in different
  // zones there, which no pattern tells apart: blocked, the safe side.
  out << "blocked beyond the zone map: " << gaps.overblocked.size()
      << " place(s) where a \"*.\" listing covers one label only, which no site pattern can say:\n";
  for (const std::string& pattern : gaps.overblocked) out << "  " << pattern << "\n";
}

// Firefox's switches name no protocol.
void PrintSwitchGaps(std::ostream& out, const std::optional<SwitchGaps>& gaps) {
  if (!gaps) return;
  if (gaps->widened)
    out << "Firefox: " << gaps->widened << " Restricted listing(s) for one protocol block scripts on the whole host\n";
  if (gaps->leftOut)
    out << "Firefox: left out " << gaps->leftOut
        << " listing(s) no switch states (Trusted for one protocol, or a host name not in ASCII)\n";
}

// The command line that runs `words` as root on the store `store`.
std::string AsRootCommand(const std::string& store, const std::string& words) {
  return "sudo portwarden-cli --store " + (store.empty() ? std::string("STORE") : store) + " " + words;
}

// The command that puts the policy back in place, run as root (an
// administrator on Windows).
std::string RepairCommand(const std::string& store, const EnforcementSettings& settings) {
#if defined(_WIN32)
  (void)store;
  (void)settings;
  return "portwarden-cli enforce on (as an administrator)";
#else
  std::string command = AsRootCommand(store, "enforce on");
  if (!settings.policyRoot.empty()) command += " --policy-root " + settings.policyRoot;
  if (!settings.browsers.empty()) {
    command += " --browsers ";
    for (std::size_t i = 0; i < settings.browsers.size(); ++i) command += (i ? "," : "") + settings.browsers[i];
  }
  if (settings.copy) command += " --copy";
  if (settings.registry) command += " --registry";
  return command;
#endif
}

// What gets `enforce on` past its refusal, in this program's options.
std::string RemedyText(const EnforceOutcome& outcome) {
  switch (outcome.remedy) {
    case Remedy::Copy:
      return "; use --copy with this store";
    case Remedy::Force:
      return outcome.keptAs.empty()
                 ? ". With --force, ours takes its place and `enforce off` puts theirs back"
                 : ". With --force, ours takes its place and it is kept as " + outcome.keptAs +
                       ", put back by `enforce off`";
    case Remedy::NameTargets:
      return "; name them with --browsers or give a policy folder with --policy-root";
    default:
      return "";
  }
}

int Failed(Run& run, const char* action, const EnforceOutcome& outcome, const std::string& again) {
  run.env.err << "portwarden-cli enforce " << action << ": " << outcome.error << RemedyText(outcome) << "\n";
  if (outcome.needsRoot)
    run.env.err << "The browsers' policy folders belong to root. Run as root:\n  "
                << AsRootCommand(Absolute(run.Store().FilePath()), std::string("enforce ") + action + again) << "\n";
  return kExitFailure;
}

// The store's file, for the verbs that place or find the policy beside it.
std::string StorePath(Run& run) { return run.StoreFolder().empty() ? "" : Absolute(run.Store().FilePath()); }

int On(Run& run, EnforceRequest request, const std::string& again) {
  if (!run.OpenStore()) return kExitFailure;
  request.storePath = StorePath(run);
  EnforceOutcome outcome = EnforceOn(run.Store(), request);
  if (!outcome.error.empty()) return Failed(run, "on", outcome, again);
  std::ostream& out = run.env.out;
  out << "enforcement is on for this store; the browsers read the policy at:\n";
  for (const std::string& place : outcome.places) out << "  " << place << "\n";
  for (const std::string& note : outcome.notes) out << note << "\n";
  PrintGaps(run.env.err, outcome.gaps);
  PrintSwitchGaps(run.env.err, outcome.firefoxGaps);
  return kExitOk;
}

int Off(Run& run) {
  if (!run.OpenStore()) return kExitFailure;
  EnforceOutcome outcome = EnforceOff(run.Store(), StorePath(run));
  if (!outcome.error.empty()) return Failed(run, "off", outcome, "");
  run.env.out << "enforcement is off for this store";
  run.env.out << (outcome.places.empty() ? "" : "; our policy is gone from:") << "\n";
  for (const std::string& place : outcome.places) run.env.out << "  " << place << "\n";
  for (const std::string& note : outcome.notes) run.env.out << note << "\n";
  return kExitOk;
}

int Status(Run& run) {
  if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
  EnforcementStatus status = EnforcementStatusOf(run.Store(), StorePath(run));
  // A note with what puts it right, in this program's commands.
  auto note = [&](const TargetState& state) {
    std::string store = StorePath(run);
    if (state.remedy == Remedy::TakeOut)
      return state.note + "; run `" + AsRootCommand(store, "enforce off") + "` to take it out";
    if (state.remedy != Remedy::PlaceAgain || !status.settings) return state.note;
    std::string repair = RepairCommand(store, *status.settings);
    return state.present ? state.note + ": run `" + repair + "` to bring it in step"
                         : state.note + "; run `" + repair + "` to put it back";
  };
  std::ostream& out = run.env.out;
  if (!status.settings) {
    out << "enforcement: off\n";
    if (status.targets.empty()) return kExitOk;
    // Its record lost, or an `on` killed midway: the browsers may still read it.
    out << "but the policy of this store is still in place:\n";
    for (const TargetState& state : status.targets)
      out << state.target.name << " " << state.target.folder << ": " << note(state) << "\n";
    return kExitFailure;
  }
  const EnforcementSettings& settings = *status.settings;
  out << "enforcement: on";
  if (settings.copy) out << " (copies in the policy folders)";
  else if (!settings.policyFolder.empty()) out << " (links to " << settings.policyFolder << ")";
  out << "\nthe store asks for: " << DefaultText(status.wanted.policy) << "; "
      << status.wanted.policy.blocked.size() << " blocked, " << status.wanted.policy.allowed.size() << " allowed\n";
  bool allInStep = true;
  for (const TargetState& state : status.targets) {
    const PolicyTarget& target = state.target;
    out << target.name << " "
        << (target.folder.empty() ? "HKEY_LOCAL_MACHINE\\" + target.policyKey : target.folder) << ": "
        << (state.inStep     ? "in step"
            : state.leftOver ? "LEFT IN PLACE"
            : state.present  ? "BEHIND THE STORE"
                             : "MISSING")
        << "\n";
    if (!state.note.empty() && !state.inStep) out << "  " << note(state) << "\n";
    allInStep = allInStep && state.inStep;
    if (!state.present) continue;
    out << "  default: " << DefaultText(state.held) << "\n";
    PrintList(out, "blocked", state.held.blocked);
    PrintList(out, "allowed", state.held.allowed);
  }
  PrintGaps(run.env.err, status.wanted.gaps);
  PrintSwitchGaps(run.env.err, status.firefoxGaps);
  return allInStep ? kExitOk : kExitFailure;
}

int Show(Run& run) {
  if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
  TranslatedPolicy translated = ScriptPolicyOf(run.Store());
  std::string managed = PolicyJson(translated.policy, PolicyLevel::Managed);
  std::string recommended = PolicyJson(translated.policy, PolicyLevel::Recommended);
  HostnameSwitches switches = SwitchesOf(translated.policy);
  std::string firefox = ManagedStorageJson(switches);
  managed.pop_back();
  recommended.pop_back();
  firefox.pop_back();
  run.env.out << "{\"managed\": " << managed << ",\n\"recommended\": " << recommended
              << ",\n\"firefox\": " << firefox << "}\n";
  PrintGaps(run.env.err, translated.gaps);
  PrintSwitchGaps(run.env.err, switches.gaps);
  return kExitOk;
}

}  // namespace

std::string AfterWriteHint(Run& run, const StoreFailure& failure) {
  if (failure.operation != kBrowserPolicyOperation) return "";
  std::optional<EnforcementSettings> settings = ReadEnforcement(run.Store());
  return settings ? "; run `" + RepairCommand(StorePath(run), *settings) + "` to bring it in step" : "";
}

int RunEnforce(Run& run) {
  EnforceRequest request;
  std::string again;  // the options, for the command to run as root
  if (std::optional<std::string> browsers = run.args.Option("--browsers")) {
    request.browsers = SplitList(*browsers);
    again += " --browsers " + *browsers;
  }
  if (std::optional<std::string> root = run.args.Option("--policy-root")) {
    request.policyRoot = Absolute(*root);
    again += " --policy-root " + request.policyRoot;
  }
  request.copy = run.args.Flag("--copy");
  request.registry = run.args.Flag("--registry");
  request.force = run.args.Flag("--force");
  if (request.copy) again += " --copy";
  if (request.registry) again += " --registry";
  if (request.force) again += " --force";
  std::vector<std::string> words = run.args.Rest();
  if (words.size() != 1) throw UsageError{"say on, off, status or show"};
  const std::string& action = words.front();
  if (action != "on" && !again.empty()) throw UsageError{"only `enforce on` takes options"};
  if (action == "on") return On(run, request, again);
  if (action == "off") return Off(run);
  if (action == "status") return Status(run);
  if (action == "show") return Show(run);
  throw UsageError{"say on, off, status or show, not '" + action + "'"};
}

}  // namespace pw::cli
