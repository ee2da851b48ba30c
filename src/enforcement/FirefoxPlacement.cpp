#include "enforcement/FirefoxPlacement.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "enforcement/FirefoxSwitches.h"
#include "enforcement/PolicyFiles.h"
#include "enforcement/PolicyFolders.h"

namespace pw {
namespace {

// Where Debian's Firefox looks for managed storage, and for its policies file:
// the folder in /etc when that file exists, otherwise the one it ships with.
constexpr const char* kManifestFolder = "/usr/lib/mozilla/managed-storage";
constexpr const char* kSystemPolicies = "/etc/firefox/policies/policies.json";
constexpr const char* kDistributionFolder = "/usr/lib/firefox-esr/distribution";
constexpr const char* kBlockerFolder =
    "/usr/share/mozilla/extensions/{ec8030f7-c20a-464f-9b0e-13a3a9e97384}/uBlock0@raymondhill.net";
// Beside the manifest, where Firefox reads nothing but the blocker's own file:
// root's record, and what a forced `on` kept aside.
constexpr const char* kRecordName = "portwarden-placement";
constexpr std::string_view kRecordHeader = "portwarden firefox placement 1\n";
constexpr const char* kKeptManifest = "portwarden-kept-manifest.json";
constexpr const char* kKeptEntry = "portwarden-kept-extension-entry.json";
// A policies file or manifest larger than this is nobody's real one.
constexpr std::size_t kMaxSmallFile = std::size_t{16} << 20;

std::string ManifestName() { return std::string(kBlockerId) + ".json"; }

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

struct Record : PlacementRecord {
  std::string policies;          // the policies file our entry went into
  bool createdPolicies = false;  // that file was made for our entry
  bool keptManifest = false;     // an administrator's manifest kept aside
  bool keptEntry = false;        // an administrator's entry for the blocker kept aside
};

std::string RecordText(const Record& record) {
  std::string more;
  if (!record.policies.empty()) more += "policies " + record.policies + "\n";
  if (record.createdPolicies) more += "created policies\n";
  if (record.keptManifest) more += "kept manifest\n";
  if (record.keptEntry) more += "kept entry\n";
  return PlacementRecordText(kRecordHeader, record, more);
}

std::optional<Record> ParseRecord(std::string_view text) {
  Record record;
  bool read = ParsePlacementRecord(kRecordHeader, text, record, [&](std::string_view line) {
    constexpr std::string_view kPolicies = "policies /";
    if (line.substr(0, kPolicies.size()) == kPolicies && line.size() > kPolicies.size())
      record.policies = "/" + std::string(line.substr(kPolicies.size()));
    else if (line == "created policies") record.createdPolicies = true;
    else if (line == "kept manifest") record.keptManifest = true;
    else if (line == "kept entry") record.keptEntry = true;
    else return false;
    return true;
  });
  if (!read) return std::nullopt;
  return record;
}

// The record in a manifest folder already checked (only root, or this user,
// can have put it there).
std::optional<Record> ReadRecord(const Folder& folder) {
  std::string text;
  if (!ReadFileIn(folder, kRecordName, text, 1 << 16).Ok()) return std::nullopt;
  return ParseRecord(text);
}

enum class Found { Nothing, OurLink, OurCopy, Other };

// What is at the manifest's name: a link of ours points to Firefox's file in
// one of `linkedFolders`; a copy of ours is a manifest as we write them where
// root's record says copies of this store are.
Found WhatIsAt(const Folder& folder, const std::vector<std::string>& linkedFolders, bool ourCopies,
               std::string* what = nullptr) {
  if (!ExistsIn(folder, ManifestName())) return Found::Nothing;
  if (std::optional<std::string> target = LinkTargetIn(folder, ManifestName())) {
    for (const std::string& linked : linkedFolders)
      if (*target == linked + "/" + kFirefoxLinkedName) return Found::OurLink;
    if (what) *what = "a link to " + *target;
    return Found::Other;
  }
  std::string text;
  if (ourCopies && ReadFileIn(folder, ManifestName(), text, kMaxSmallFile).Ok() && IsOurManifest(text))
    return Found::OurCopy;
  if (what) *what = "a file we did not place";
  return Found::Other;
}

// Firefox's own manifest folder and the one under the folder the store's
// record names: where a placement of a store may be, whatever the record says.
std::vector<std::string> Candidates(const std::optional<EnforcementSettings>& hint) {
  std::vector<std::string> candidates = {kManifestFolder};
  if (hint && !hint->policyRoot.empty() && hint->policyRoot.front() == '/')
    candidates.push_back(hint->policyRoot + "/managed-storage");
  return candidates;
}

struct Placement {
  std::string folder;
  Folder root;
  std::optional<Record> record;  // root's record, when it names this store
  Found found = Found::Nothing;
};

bool FindPlacement(const std::string& folder, const std::string& storePath, Placement& placement) {
  placement.folder = folder;
  if (!Exists(folder) || !OpenFolder(folder, placement.root).Ok()) return false;
  std::optional<Record> record = ReadRecord(placement.root);
  if (record && record->store == storePath) placement.record = std::move(record);
  std::vector<std::string> linked = {PolicyFolderFor(storePath)};
  if (placement.record && !placement.record->linkedFolder.empty()) linked.push_back(placement.record->linkedFolder);
  placement.found = WhatIsAt(placement.root, linked, placement.record && placement.record->linkedFolder.empty());
  return placement.record || placement.found == Found::OurLink || placement.found == Found::OurCopy;
}

Result CheckRemovable(const Placement& placement) {
  if (::access(placement.folder.c_str(), W_OK | X_OK) != 0)
    return Result::Failure("cannot write in " + placement.folder + ": " + std::strerror(errno));
  if (placement.record && !placement.record->policies.empty() && Exists(placement.record->policies) &&
      ::access(FolderOf(placement.record->policies).c_str(), W_OK | X_OK) != 0)
    return Result::Failure("cannot write in " + FolderOf(placement.record->policies) + ": " + std::strerror(errno));
  return {};
}

// Our entry out of the policies file the record names (an entry kept aside put
// back), and the file removed when `on` made it and nothing else is in it.
void TakeEntryOut(const Placement& placement, std::vector<std::string>& problems) {
  const Record& record = *placement.record;
  if (record.policies.empty() || !Exists(record.policies)) return;
  Folder folder;
  std::string text, error = OpenFolder(FolderOf(record.policies), folder).Message();
  if (error.empty()) error = ReadFileIn(folder, NameOf(record.policies), text, kMaxSmallFile).Message();
  std::optional<std::string> theirs;
  std::string kept;
  if (record.keptEntry && ReadFileIn(placement.root, kKeptEntry, kept, 1 << 20).Ok()) theirs = kept;
  PoliciesEdit edit;
  if (error.empty()) {
    edit = RemoveBlockerEntry(text, theirs);
    if (!edit.error.empty()) error = record.policies + " " + edit.error;
  }
  if (error.empty() && record.createdPolicies && HoldsNoPolicies(edit.text))
    error = RemoveIn(folder, NameOf(record.policies)).Message();
  else if (error.empty() && edit.changed)
    error = ReplaceFileIn(folder, NameOf(record.policies), edit.text).Message();
  if (!error.empty()) {
    problems.push_back(error);
    return;
  }
  (void)RemoveIn(placement.root, kKeptEntry);  // only a leftover when it stays
}

// Removes our manifest, puts back what was kept aside, takes our entry out,
// and removes the record and the folders `on` made while they are empty.
void TakeOut(Placement& placement, std::vector<std::string>& problems) {
  auto note = [&](const Result& result) {
    if (!result.Ok()) problems.push_back(result.Message());
  };
  if (placement.found == Found::OurLink || placement.found == Found::OurCopy)
    note(RemoveIn(placement.root, ManifestName()));
  if (placement.record && placement.record->keptManifest && ExistsIn(placement.root, kKeptManifest) &&
      !ExistsIn(placement.root, ManifestName()))
    note(MoveBetween(placement.root, kKeptManifest, placement.root, ManifestName()));
  SweepIn(placement.root, ".portwarden-link.");
  SweepIn(placement.root, "." + ManifestName() + ".");
  if (!placement.record) return;
  std::size_t before = problems.size();
  TakeEntryOut(placement, problems);
  if (problems.size() != before) return;  // the record stays, so that `off` can try again
  note(RemoveIn(placement.root, kRecordName));
  for (auto made = placement.record->made.rbegin(); made != placement.record->made.rend(); ++made)
    ::rmdir(made->c_str());  // only while empty
}

}  // namespace

FirefoxPlaces FirefoxPlacesOf(const EnforcementSettings& settings) {
  if (!NamesFirefox(settings)) return {};
  if (!settings.policyRoot.empty())
    return {settings.policyRoot + "/managed-storage", settings.policyRoot + "/policies/policies.json"};
  std::string distribution = std::string(kDistributionFolder) + "/policies.json";
  if (!Exists(kSystemPolicies) && Exists(distribution))
    return {kManifestFolder, CanonicalPath(kDistributionFolder) + "/policies.json"};
  return {kManifestFolder, kSystemPolicies};
}

bool FirefoxInstalled() {
  for (const char* sign : {"/usr/lib/firefox-esr/firefox-esr", "/usr/bin/firefox-esr", "/usr/lib/firefox/firefox"})
    if (::access(sign, F_OK) == 0) return true;
  return false;
}

bool BlockerInstalled() { return ::access((std::string(kBlockerFolder) + "/manifest.json").c_str(), F_OK) == 0; }

struct FirefoxPlacer::State {
  State(EnforcementSettings& settings, const EnforceRequest& request) : settings(settings), request(request) {}
  EnforcementSettings& settings;
  EnforceRequest request;
  FirefoxPlaces places;
  bool keepManifest = false;
  bool replaceEntry = false;
  // What Place did, for Undo.
  Folder root, policies;
  std::vector<std::string> made;
  std::optional<std::string> recordBefore;
  bool recordWritten = false;
  bool moved = false, placed = false;
  std::optional<std::string> policiesBefore;  // the file as it was; nothing: there was none
  bool policiesWritten = false, keptEntryWritten = false;
};

FirefoxPlacer::FirefoxPlacer(EnforcementSettings& settings, const EnforceRequest& request)
    : state_(std::make_unique<State>(settings, request)) {}

FirefoxPlacer::~FirefoxPlacer() = default;

Result FirefoxPlacer::Check(EnforceOutcome& outcome) {
  State& s = *state_;
  if (!NamesFirefox(s.settings)) return {};
  s.places = FirefoxPlacesOf(s.settings);
  if (!BlockerInstalled())
    outcome.notes.push_back(std::string("Firefox applies none of this until its content blocker is installed: "
                                        "install Debian's package ") +
                            kBlockerPackage + " (sudo apt install " + kBlockerPackage + ").");
  if (!s.settings.copy && s.settings.policyFolder.empty()) {
    outcome.remedy = Remedy::Copy;
    return Result::Failure("links need a store file to put the policy beside");
  }
  for (const std::string& folder : {s.places.manifestFolder, FolderOf(s.places.policiesFile)}) {
    Result writable = CheckWritable(folder);
    if (!writable.Ok()) {
      outcome.needsRoot = ::geteuid() != 0;
      return writable;
    }
  }
  const std::string& storePath = s.request.storePath;
  std::string manifest = s.places.manifestFolder + "/" + ManifestName();
  if (Exists(s.places.manifestFolder)) {
    Folder root;
    Result opened = OpenFolder(s.places.manifestFolder, root);
    if (!opened.Ok()) return opened;
    std::optional<Record> record = ReadRecord(root);
    bool ours = record && record->store == storePath;
    std::vector<std::string> linked = {PolicyFolderFor(storePath)};
    if (ours && !record->linkedFolder.empty()) linked.push_back(record->linkedFolder);
    std::string what;
    if (WhatIsAt(root, linked, ours && record->linkedFolder.empty(), &what) == Found::Other) {
      if (!s.request.force) {
        outcome.remedy = Remedy::Force;
        outcome.keptAs = root.PathOf(kKeptManifest);
        return Result::Failure(manifest + " is not ours (" + what + "); enforcement leaves it alone");
      }
      if (ExistsIn(root, kKeptManifest))
        return Result::Failure(root.PathOf(kKeptManifest) + " already holds a file kept aside; move it away first");
      s.keepManifest = true;
    }
  }
  if (Exists(s.places.policiesFile)) {
    Folder folder;
    std::string text;
    Result read = OpenFolder(FolderOf(s.places.policiesFile), folder);
    if (read.Ok()) read = ReadFileIn(folder, NameOf(s.places.policiesFile), text, kMaxSmallFile);
    if (!read.Ok()) return read;
    PoliciesEdit edit = AddBlockerEntry(text, s.request.force);
    if (!edit.error.empty()) {
      std::string why = s.places.policiesFile + " " + edit.error;
      if (edit.error.find("administrator's own entry") != std::string::npos) {
        why += "; enforcement leaves it alone";
        outcome.remedy = Remedy::Force;
      }
      return Result::Failure(why);
    }
    s.replaceEntry = edit.theirs.has_value();
  }
  return {};
}

Result FirefoxPlacer::Prepare() { return {}; }

Result FirefoxPlacer::Place(const ScriptPolicy& policy, const std::vector<DomainPatterns>&, std::uint32_t,
                            EnforceOutcome& outcome) {
  State& s = *state_;
  if (!NamesFirefox(s.settings)) return {};
  const EnforcementSettings& settings = s.settings;
  const std::string& policiesFile = s.places.policiesFile;
  bool policiesExisted = Exists(policiesFile);
  Result done = OpenFolder(s.places.manifestFolder, s.root, -1, true, &s.made);
  if (done.Ok()) done = OpenFolder(FolderOf(policiesFile), s.policies, -1, true, &s.made);
  if (!done.Ok()) return done;

  // The record first: `off` finds what follows even when this run is killed.
  Record record;
  std::string before;
  if (ReadFileIn(s.root, kRecordName, before, 1 << 16).Ok()) s.recordBefore = before;
  std::optional<Record> earlier = s.recordBefore ? ParseRecord(before) : std::nullopt;
  if (earlier && earlier->store == s.request.storePath) record = *earlier;
  if (record.policies != policiesFile) {
    record.createdPolicies = false;
    record.keptEntry = false;
  }
  record.store = s.request.storePath;
  record.linkedFolder = settings.copy ? "" : settings.policyFolder;
  record.policies = policiesFile;
  record.made.insert(record.made.end(), s.made.begin(), s.made.end());
  record.createdPolicies = record.createdPolicies || !policiesExisted;
  record.keptManifest = record.keptManifest || s.keepManifest;
  record.keptEntry = record.keptEntry || s.replaceEntry;
  done = ReplaceFileIn(s.root, kRecordName, RecordText(record));
  if (!done.Ok()) return done;
  s.recordWritten = true;

  SweepIn(s.root, ".portwarden-link.");
  SweepIn(s.root, "." + ManifestName() + ".");
  bool fresh = !ExistsIn(s.root, ManifestName());
  if (s.keepManifest) {
    done = MoveBetween(s.root, ManifestName(), s.root, kKeptManifest);
    if (!done.Ok()) return done;
    s.moved = true;
    fresh = true;
    outcome.notes.push_back("What was at " + s.root.PathOf(ManifestName()) + " is kept as " +
                            s.root.PathOf(kKeptManifest) + "; turning enforcement off puts it back.");
  }
  std::string linkedFile = settings.policyFolder + "/" + kFirefoxLinkedName;
  done = settings.copy ? ReplaceFileIn(s.root, ManifestName(), ManagedStorageJson(SwitchesOf(policy)))
                       : PlaceLinkIn(s.root, ManifestName(), linkedFile);
  if (!done.Ok()) return done;
  s.placed = fresh;
  outcome.places.push_back(std::string(kFirefoxName) + ": " + s.root.PathOf(ManifestName()) +
                           (settings.copy ? "" : " -> " + linkedFile));

  std::string text;
  bool missing = false;
  done = ReadFileIn(s.policies, NameOf(policiesFile), text, kMaxSmallFile, &missing);
  if (!done.Ok() && !missing) return done;
  PoliciesEdit edit = AddBlockerEntry(missing ? "" : text, s.request.force);
  if (!edit.error.empty()) return Result::Failure(policiesFile + " " + edit.error);
  if (edit.theirs) {
    done = ReplaceFileIn(s.root, kKeptEntry, *edit.theirs);
    if (!done.Ok()) return done;
    s.keptEntryWritten = true;
    outcome.notes.push_back("The entry for " + std::string(kBlockerId) + " in " + policiesFile + " is kept as " +
                            s.root.PathOf(kKeptEntry) + "; turning enforcement off puts it back.");
  }
  if (edit.changed) {
    if (!missing) s.policiesBefore = text;
    s.policiesWritten = true;
    done = ReplaceFileIn(s.policies, NameOf(policiesFile), edit.text);
    if (!done.Ok()) return done;
  }
  outcome.places.push_back(std::string(kFirefoxName) + ": " + policiesFile +
                           " (the content blocker also in private windows)");
  outcome.notes.push_back(
      "Firefox's content blocker keeps the settings it read: a profile that already ran takes a change at its "
      "second start after it, and the blocker starts blocking some seconds after Firefox starts.");
  return {};
}

void FirefoxPlacer::Undo() {
  State& s = *state_;
  if (s.policiesWritten && s.policies.IsOpen()) {
    std::string name = NameOf(s.places.policiesFile);
    if (s.policiesBefore) (void)ReplaceFileIn(s.policies, name, *s.policiesBefore);
    else (void)RemoveIn(s.policies, name);
  }
  if (s.root.IsOpen()) {
    if (s.keptEntryWritten) (void)RemoveIn(s.root, kKeptEntry);
    if (s.placed) (void)RemoveIn(s.root, ManifestName());
    if (s.moved) (void)MoveBetween(s.root, kKeptManifest, s.root, ManifestName());
    if (s.recordWritten) {
      if (s.recordBefore) (void)ReplaceFileIn(s.root, kRecordName, *s.recordBefore);
      else (void)RemoveIn(s.root, kRecordName);
    }
  }
  s.root = Folder();
  s.policies = Folder();
  for (auto made = s.made.rbegin(); made != s.made.rend(); ++made) ::rmdir(made->c_str());
}

void FirefoxPlacer::RemoveStale(const std::optional<EnforcementSettings>& previous, std::vector<std::string>& notes) {
  State& s = *state_;
  const std::string& storePath = s.request.storePath;
  if (storePath.empty() || storePath.front() != '/') return;
  for (const std::string& candidate : Candidates(previous)) {
    Placement placement;
    if (candidate == s.places.manifestFolder || !FindPlacement(candidate, storePath, placement)) continue;
    TakeOut(placement, notes);
  }
}

bool RemoveFirefoxPlacements(const std::string& storePath, const std::optional<EnforcementSettings>& hint,
                             EnforceOutcome& outcome) {
  if (storePath.empty() || storePath.front() != '/') return false;
  std::vector<Placement> found;
  for (const std::string& candidate : Candidates(hint)) {
    Placement placement;
    if (FindPlacement(candidate, storePath, placement)) found.push_back(std::move(placement));
  }
  for (const Placement& placement : found) {
    Result removable = CheckRemovable(placement);
    if (!removable.Ok()) {
      outcome.error = removable.Message();
      outcome.needsRoot = ::geteuid() != 0;
      return true;
    }
  }
  std::vector<std::string> problems;
  for (Placement& placement : found) {
    TakeOut(placement, problems);
    outcome.places.push_back(std::string(kFirefoxName) + ": " + placement.folder);
  }
  if (!problems.empty()) outcome.error = problems.front();
  return !found.empty();
}

void FirefoxStates(const std::string& storePath, const std::optional<EnforcementSettings>& settings,
                   const ScriptPolicy& wanted, std::vector<TargetState>& states) {
  FirefoxPlaces places = settings ? FirefoxPlacesOf(*settings) : FirefoxPlaces{};
  if (!places.manifestFolder.empty()) {
    TargetState state;
    state.target = {kFirefoxName, "Firefox", places.manifestFolder, "", ""};
    std::string path = places.manifestFolder + "/" + ManifestName();
    auto missing = [&](const std::string& why) {
      state.note = why;
      state.remedy = Remedy::PlaceAgain;
    };
    std::string text, error;
    if (!settings->copy) {
      std::optional<std::string> link = LinkTarget(path);
      if (link != settings->policyFolder + "/" + kFirefoxLinkedName) {
        missing(!Exists(path) ? "missing: " + path
                              : path + " is not our link (" + (link ? "a link to " + *link : "a file") + ")");
      } else {
        error = ReadBesideStore(storePath, settings->policyFolder, kFirefoxLinkedName, text).Message();
      }
    } else if (!Exists(path)) {
      missing("missing: " + path);
    } else {
      Folder root;
      error = OpenFolder(places.manifestFolder, root).Message();
      if (error.empty()) error = ReadFileIn(root, ManifestName(), text, kMaxSmallFile).Message();
    }
    if (state.note.empty()) {
      std::optional<HostnameSwitches> held = error.empty() ? SwitchesInManifest(text) : std::nullopt;
      if (!held) {
        state.note = error.empty() ? path + " is not a managed-storage manifest of the content blocker" : error;
      } else {
        state.present = true;
        state.held = PolicyShapeOf(*held);
        state.inStep = held->noScripting == SwitchesOf(wanted).noScripting;
        if (!state.inStep) {
          state.note = "behind the store";
          if (settings->copy) state.remedy = Remedy::PlaceAgain;
        }
      }
    }
    // The entry that lets the blocker into private windows.
    Folder folder;
    std::string policies;
    bool entry = Exists(places.policiesFile) && OpenFolder(FolderOf(places.policiesFile), folder).Ok() &&
                 ReadFileIn(folder, NameOf(places.policiesFile), policies, kMaxSmallFile).Ok() &&
                 HoldsBlockerEntry(policies);
    if (state.present && !entry) {
      state.present = state.inStep = false;
      missing("our entry is missing from " + places.policiesFile + " (private windows run every script)");
    }
    if (state.present && !BlockerInstalled()) {
      state.present = state.inStep = false;
      state.note = std::string("Firefox's content blocker is not installed, so Firefox applies none of this: "
                               "install Debian's package ") +
                   kBlockerPackage;
    }
    states.push_back(std::move(state));
  }
  if (storePath.empty()) return;
  for (const std::string& candidate : Candidates(settings)) {
    Placement placement;
    if (candidate == places.manifestFolder || !FindPlacement(candidate, storePath, placement)) continue;
    TargetState state;
    state.target = {kFirefoxName, "Firefox", candidate, "", ""};
    state.leftOver = true;
    state.note = placement.found == Found::OurLink || placement.found == Found::OurCopy
                     ? "still placed for this store: " + candidate + "/" + ManifestName()
                     : "root's record for this store is still in " + candidate;
    state.remedy = Remedy::TakeOut;
    states.push_back(std::move(state));
  }
}

Result FollowFirefox(RegistryStore& store, const EnforcementSettings& settings, const ScriptPolicy& policy,
                     ReapplyMemory& memory) {
  FirefoxPlaces places = FirefoxPlacesOf(settings);
  if (places.manifestFolder.empty()) return {};
  std::string storePath = StoreNamed(store);
  std::string path = places.manifestFolder + "/" + ManifestName();
  auto gone = [&](const std::string& what) { return Result::Failure("Firefox: " + what); };
  if (!settings.copy) {
    std::optional<std::string> link = LinkTarget(path);
    if (link == settings.policyFolder + "/" + kFirefoxLinkedName) return {};
    if (!Exists(path)) return gone("the policy link " + path + " is missing");
    return gone(path + " is not our link any more (" + (link ? "a link to " + *link : "a file") + ")");
  }
  // Root rewrites a copy only where its record says the copy is this store's.
  Folder root;
  bool there = OpenFolder(places.manifestFolder, root).Ok() && ExistsIn(root, ManifestName());
  if (there && ::geteuid() == 0 && Exists(storePath)) {
    std::optional<Record> record = ReadRecord(root);
    there = record && record->store == storePath && record->linkedFolder.empty();
  }
  if (!there) return gone("the policy copy " + path + " is missing");
  WriteManagedStorageJson(SwitchesOf(policy), memory.firefox);
  Result written = ReplaceFileIn(root, ManifestName(), memory.firefox, &memory.readBack);
  if (!written.Ok()) return Result::Failure(written.Message() + "; the policy files are copies only root may rewrite");
  return {};
}

}  // namespace pw
