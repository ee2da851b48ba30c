// restrict-hosts: a whole blocklist restricted at once, listed, and undone.
#include <algorithm>
#include <ostream>

#include "Cli.h"
#include "common/Ascii.h"
#include "intake/Blocklist.h"
#include "registry/Utf8.h"

namespace pw::cli {
namespace {

constexpr const char* kVerb = "portwarden-cli restrict-hosts";

// Names come from files and the store: shown with their controls escaped.
std::string Quoted(const std::string& name) { return "\"" + ShownText(name) + "\""; }

// The name as a shell takes it back: quoted unless it is plain.
std::string ShellWord(const std::string& name) {
  bool plain = std::all_of(name.begin(), name.end(), [](char c) {
    return IsAsciiAlnum(c) || c == '.' || c == '-' || c == '_';
  });
  std::string quoted = "'";
  for (char c : name) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return plain ? name : quoted + "'";
}

int ListApplied(Run& run) {
  if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
  std::vector<AppliedBlocklist> lists = AppliedBlocklists(run.Store());
  std::ostream& out = run.env.out;
  if (lists.empty()) {
    out << "no blocklist is applied in " << run.Store().Describe() << "\n";
    return kExitOk;
  }
  std::size_t width = 4;
  for (AppliedBlocklist& list : lists) {
    list.name = ShownText(list.name);
    list.applied = ShownText(list.applied);
    list.source = ShownText(list.source);
    width = std::max(width, list.name.size());
  }
  auto pad = [](std::string text, std::size_t size) { return text + std::string(size - std::min(size, text.size()), ' '); };
  out << pad("NAME", width) << "  CREATED  CHANGED  " << pad("APPLIED", 23) << "  SOURCE\n";
  for (const AppliedBlocklist& list : lists) {
    std::string created = std::to_string(list.created), changed = std::to_string(list.changed);
    out << pad(list.name, width) << "  " << std::string(7 - std::min<std::size_t>(7, created.size()), ' ') << created
        << "  " << std::string(7 - std::min<std::size_t>(7, changed.size()), ' ') << changed << "  "
        << pad(list.applied, 23) << "  " << list.source << "\n";
  }
  return kExitOk;
}

int Undo(Run& run, const std::string& name, bool dryRun) {
  if (!run.OpenStore(dryRun ? StoreAccess::Read : StoreAccess::Write)) return kExitFailure;
  BlocklistUndone undone = UndoBlocklist(run.Store(), name, dryRun);
  if (!undone.error.empty()) {
    run.env.err << kVerb << ": " << ShownText(undone.error) << "\n";
    return kExitFailure;
  }
  if (!undone.found) {
    run.env.err << kVerb << ": no blocklist named " << Quoted(name) << " is applied in " << run.Store().Describe()
                << " (restrict-hosts --list shows those that are)\n";
    return kExitFailure;
  }
  std::ostream& out = run.env.out;
  out << (dryRun ? "dry run: undoing blocklist " : "blocklist ") << Quoted(name) << (dryRun ? " would remove " : " undone: ")
      << Counted(undone.removed, "listing", "listings") << (dryRun ? "" : " removed") << ", "
      << (dryRun ? "put back " : "") << Counted(undone.restored, "changed listing", "changed listings")
      << (dryRun ? "" : " put back") << " to the zone " << (undone.restored == 1 ? "it" : "they") << " had\n";
  if (!undone.left.empty()) {
    out << Counted(undone.left.size(), "listing", "listings") << " left as they are:\n";
    for (const LeftListing& left : undone.left) out << "  " << ShownText(left.key) << ": " << ShownText(left.state) << "\n";
  }
  if (dryRun) out << "dry run: nothing was written to " << run.Store().Describe() << "\n";
  return kExitOk;
}

}  // namespace

int RunRestrictHosts(Run& run) {
  bool list = run.args.Flag("--list");
  std::optional<std::string> undo = run.args.Option("--undo");
  std::optional<std::string> name = run.args.Option("--name");
  bool dryRun = run.args.Flag("--dry-run");
  bool generalise = run.args.Flag("--generalise");
  std::vector<std::string> files = run.args.Rest();
  if (list) {
    if (undo || name || dryRun || generalise || !files.empty()) throw UsageError{"--list takes nothing else"};
    return ListApplied(run);
  }
  if (undo) {
    if (name || generalise || !files.empty())
      throw UsageError{"--undo takes the name of an applied list and no FILE"};
    return Undo(run, *undo, dryRun);
  }
  if (files.size() != 1) throw UsageError{"give one FILE (- for standard input), --undo NAME or --list"};
  const std::string& file = files[0];
  if (file == "-" && !name) throw UsageError{"a list read from standard input needs --name NAME"};
  std::string recordName = name.value_or(DefaultBlocklistName(file));
  if (!IsBlocklistName(recordName))
    throw UsageError{"the name " + Quoted(recordName) + " cannot name a record: give --name with 1 to 255 characters "
                     "and no \\"};

  std::string shown = ShownName(file, "standard input");
  std::string bytes;
  if (!ReadInput(run, file, bytes, kMaxBlocklistSize)) return kExitFailure;
  Blocklist hosts = ReadBlocklist(bytes, generalise);
  std::ostream& err = run.env.err;
  if (!hosts.error.empty()) {
    err << kVerb << ": " << shown << ": " << hosts.error << "; nothing was written\n";
    return kExitFailure;
  }
  {
    LineBatch refusals(err);  // a list may refuse millions of lines
    for (const RefusedHost& refused : hosts.refused)
      refusals.Add(std::string(kVerb) + ": " + shown + " line " + std::to_string(refused.line) + ": " +
                   Quoted(refused.host) + " refused: " + ShownText(refused.reason) + "\n");
  }
  std::ostream& out = run.env.out;
  out << shown << ": " << Counted(hosts.hosts, "host", "hosts") << " accepted ("
      << Counted(hosts.listings.size(), "listing", "listings") << "), "
      << hosts.refused.size() << " refused, " << hosts.systemNames << " loopback names passed over\n";
  if (hosts.listings.empty()) {
    err << kVerb << ": " << shown << " names no host to restrict; nothing was written\n";
    return hosts.refused.empty() ? kExitFailure : kExitRefused;
  }
  if (!run.OpenStore(dryRun ? StoreAccess::Read : StoreAccess::Write)) return kExitFailure;
  BlocklistApplied applied = ApplyBlocklist(run.Registry(), recordName, shown, hosts, dryRun);
  if (!applied.error.empty()) {
    err << kVerb << ": " << shown << ": " << ShownText(applied.error)
        << (applied.partlyWritten ? " (restrict-hosts --undo " + ShownText(recordName) + " removes them)" : "") << "\n";
    return kExitFailure;
  }
  out << (dryRun ? "dry run: blocklist " : "blocklist ") << Quoted(recordName) << (dryRun ? " would restrict " : " restricted ")
      << Counted(applied.created + applied.changed, "listing", "listings") << " (" << applied.created << " new, "
      << applied.changed << " changed from another zone); " << applied.alreadyRestricted
      << (applied.alreadyRestricted == 1 ? " was" : " were") << " already restricted";
  if (applied.recordedBefore)
    out << ", " << applied.recordedBefore << " recorded by this list before "
        << (applied.recordedBefore == 1 ? "was left as it stands" : "were left as they stand");
  out << "\n";
  if (dryRun) {
    for (const BlocklistApplied::Planned& planned : applied.planned) {
      const BlocklistListing& listing = hosts.listings[planned.index];
      out << "would restrict " << ShownText(listing.Key()) << " (line " << listing.line << ": " << ShownText(listing.host) << ")"
          << (planned.before.empty() ? "" : ", now " + planned.before) << "\n";
      if (listing.widened)
        out << "  widened from " << ShownText(listing.host) << " to "
            << ShownText(listing.subDomain == "*" ? "every site of " + listing.domain
                                                  : "every site one label below " + listing.subDomain.substr(2) +
                                                        "." + listing.domain)
            << "\n";
    }
    out << "dry run: nothing was written to " << run.Store().Describe() << "\n";
  } else {
    // A name that looks like an option is given with "=", which no option takes for itself.
    out << "undo with: portwarden-cli restrict-hosts --undo" << (recordName[0] == '-' ? "=" : " ")
        << ShellWord(recordName) << "\n";
  }
  return kExitOk;
}

}  // namespace pw::cli
