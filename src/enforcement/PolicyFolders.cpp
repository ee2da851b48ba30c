#include "enforcement/PolicyFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "enforcement/FirefoxPlacement.h"
#include "enforcement/PolicyFiles.h"
#include "registry/RegData.h"
#include "registry/Registry.h"

namespace pw {
namespace {

constexpr const char* kLevels[] = {"managed", "recommended"};
// Root's record in a policy folder (beside managed/ and recommended/, which
// are all the browsers read): what it placed there and for which store.
constexpr const char* kRecordName = "portwarden-placement";
constexpr std::string_view kRecordHeader = "portwarden placement 1\n";
// Beside the store: the domains' patterns with the generation they reflect,
// and the lock the writers of the folder take turns with.
constexpr const char* kIndexName = "domains";
constexpr const char* kLockName = "lock";
constexpr std::string_view kGenerationLine = "portwarden policy generation ";
// The longest a writer waits for another: a program that holds the lock
// longer is stuck, and the window must not freeze behind it.
constexpr int kLockSeconds = 5;
// More domains written at once than this are read again with the whole map.
constexpr std::size_t kMaxDomainsReread = 256;

std::string LinkedName(int level) { return std::string(kLevels[level]) + ".json"; }
std::string KeptName(int level) { return std::string("portwarden-kept-") + kLevels[level] + ".json"; }
std::string LevelPath(const PolicyTarget& target, int level) { return target.folder + "/" + kLevels[level]; }
std::string PlacePath(const PolicyTarget& target, int level) {
  return LevelPath(target, level) + "/" + kPolicyFileName;
}
bool LinksToFiles(const EnforcementSettings& settings) { return !settings.copy && !settings.policyFolder.empty(); }
// The files beside the store: the policy folders' and Firefox's.
bool HasFilesBeside(const EnforcementSettings& settings) {
  return !FolderTargetsOf(settings).empty() || NamesFirefox(settings);
}
const std::vector<std::string>& NamesBeside() {
  static const std::vector<std::string> names = {"managed.json", "recommended.json", kFirefoxLinkedName};
  return names;
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// The store file without links on the way: what records name and what links
// are compared with.
// Root acts as the store's owner beside the store; anyone else as themselves.
struct StoreOwner {
  long user = -1;
  long group = -1;
};
StoreOwner OwnerOf(const std::string& storePath) {
  struct stat info;
  if (::geteuid() != 0 || storePath.empty() || ::stat(storePath.c_str(), &info) != 0) return {};
  return {static_cast<long>(info.st_uid), static_cast<long>(info.st_gid)};
}

std::string UserName(long uid) {
  uid_t user = uid < 0 ? ::geteuid() : static_cast<uid_t>(uid);
  if (const passwd* entry = ::getpwuid(user)) return entry->pw_name;
  return "uid " + std::to_string(user);
}

// The folder the links point to, in the store's folder, both checked.
Result OpenLinkedFolder(const std::string& path, const StoreOwner& owner, bool create, Folder& parent,
                        Folder& linked, bool* made = nullptr) {
  std::size_t slash = path.find_last_of('/');
  if (path.empty() || path.front() != '/' || slash + 1 == path.size())
    return Result::Failure("the folder beside the store is not an absolute path: " + path);
  Result opened = OpenStoreFolder(slash == 0 ? "/" : path.substr(0, slash), parent, owner.user);
  std::vector<std::string> madeNow;
  if (opened.Ok()) opened = OpenFolderIn(parent, path.substr(slash + 1), linked, owner.user, create, &madeNow);
  if (made) *made = !madeNow.empty();
  return opened;
}

struct FolderRecord : PlacementRecord {
  bool kept[2] = {false, false};  // an administrator's file kept aside
};

std::string RecordText(const FolderRecord& record) {
  std::string kept;
  for (int level = 0; level < 2; ++level)
    if (record.kept[level]) kept += std::string("kept ") + kLevels[level] + "\n";
  return PlacementRecordText(kRecordHeader, record, kept);
}

std::optional<FolderRecord> ParseRecord(std::string_view text) {
  FolderRecord record;
  bool read = ParsePlacementRecord(kRecordHeader, text, record, [&](std::string_view line) {
    if (line != "kept managed" && line != "kept recommended") return false;
    record.kept[line == "kept managed" ? 0 : 1] = true;
    return true;
  });
  if (!read) return std::nullopt;
  return record;
}

// The record in a policy folder already checked (only root, or this user,
// can have put it there); nothing when there is none.
std::optional<FolderRecord> ReadRecord(const Folder& root) {
  std::string text;
  if (!ReadFileIn(root, kRecordName, text, 1 << 16).Ok()) return std::nullopt;
  return ParseRecord(text);
}

enum class Found { Nothing, OurLink, OurCopy, Other };

// What is at our name in a level folder: a link of ours points into one of
// `linkedFolders`; a copy of ours is a file holding only our policies where
// root's record says copies of this store are.
Found WhatIsAt(const Folder& level, int index, const std::vector<std::string>& linkedFolders, bool ourCopies,
               std::string* what = nullptr) {
  if (!ExistsIn(level, kPolicyFileName)) return Found::Nothing;
  if (std::optional<std::string> target = LinkTargetIn(level, kPolicyFileName)) {
    for (const std::string& folder : linkedFolders)
      if (*target == folder + "/" + LinkedName(index)) return Found::OurLink;
    if (what) *what = "a link to " + *target;
    return Found::Other;
  }
  std::string text;
  if (ourCopies && ReadFileIn(level, kPolicyFileName, text, std::size_t{16} << 20).Ok() &&
      HoldsOnlyOurPolicies(text))
    return Found::OurCopy;
  if (what) *what = "a file we did not place";
  return Found::Other;
}

// Every browser's folder and the one the store's record names: where a
// placement of a store may be, whatever the record says.
std::vector<PolicyTarget> Candidates(const std::optional<EnforcementSettings>& hint) {
  std::vector<PolicyTarget> candidates;
  for (const ChromiumBrowser& browser : ChromiumBrowsers())
    candidates.push_back({browser.name, browser.title, browser.folder, "", ""});
  if (hint && !hint->policyRoot.empty() && hint->policyRoot.front() == '/')
    candidates.push_back({"folder", "the policy folder", hint->policyRoot, "", ""});
  return candidates;
}

// What one policy folder holds of a store.
struct Placement {
  PolicyTarget target;
  Folder root;
  Folder level[2];
  std::optional<FolderRecord> record;  // root's record, when it names this store
  Found found[2] = {Found::Nothing, Found::Nothing};
  bool kept[2] = {false, false};          // a file kept aside there to put back
};

bool FindPlacement(const PolicyTarget& target, const std::string& storePath, Placement& placement) {
  placement.target = target;
  // A folder that is missing, or that others than root could have changed, holds nothing of ours.
  if (!Exists(target.folder) || !OpenFolder(target.folder, placement.root).Ok()) return false;
  std::optional<FolderRecord> record = ReadRecord(placement.root);
  if (record && record->store == storePath) placement.record = std::move(record);
  std::vector<std::string> linked = {PolicyFolderFor(storePath)};
  if (placement.record && !placement.record->linkedFolder.empty()) linked.push_back(placement.record->linkedFolder);
  bool any = placement.record.has_value();
  for (int level = 0; level < 2; ++level) {
    if (!ExistsIn(placement.root, kLevels[level]) ||
        !OpenFolderIn(placement.root, kLevels[level], placement.level[level]).Ok())
      continue;
    placement.found[level] = WhatIsAt(placement.level[level], level, linked,
                                      placement.record && placement.record->linkedFolder.empty());
    placement.kept[level] = placement.record && placement.record->kept[level] &&
                            ExistsIn(placement.root, KeptName(level));
    any = any || placement.found[level] == Found::OurLink || placement.found[level] == Found::OurCopy;
  }
  return any;
}

// Whether what TakeOut would remove may be removed.
Result CheckRemovable(const Placement& placement) {
  for (int level = 0; level < 2; ++level)
    if (placement.level[level].IsOpen() && ::access(LevelPath(placement.target, level).c_str(), W_OK | X_OK) != 0)
      return Result::Failure("cannot write in " + LevelPath(placement.target, level) + ": " + std::strerror(errno));
  if (placement.record && ::access(placement.target.folder.c_str(), W_OK | X_OK) != 0)
    return Result::Failure("cannot write in " + placement.target.folder + ": " + std::strerror(errno));
  return {};
}

// Removes our links or copies, puts back what was kept aside, sweeps what an
// interrupted run left, and removes the record and the folders `on` made
// while they are empty.
void TakeOut(Placement& placement, std::vector<std::string>& problems) {
  auto note = [&](const Result& result) {
    if (!result.Ok()) problems.push_back(result.Message());
  };
  for (int level = 0; level < 2; ++level) {
    const Folder& folder = placement.level[level];
    if (!folder.IsOpen()) continue;
    if (placement.found[level] == Found::OurLink || placement.found[level] == Found::OurCopy)
      note(RemoveIn(folder, kPolicyFileName));
    if (placement.kept[level] && !ExistsIn(folder, kPolicyFileName))
      note(MoveBetween(placement.root, KeptName(level), folder, kPolicyFileName));
    SweepIn(folder, ".portwarden-link.");
    SweepIn(folder, std::string(".") + kPolicyFileName + ".");
  }
  if (!placement.record) return;
  note(RemoveIn(placement.root, kRecordName));
  for (auto made = placement.record->made.rbegin(); made != placement.record->made.rend(); ++made)
    ::rmdir(made->c_str());  // only while empty: an administrator's files keep it
}

// Removes the files beside the store and their folder, as the store's owner.
bool RemoveLinkedFiles(const std::string& path, const StoreOwner& owner, std::vector<std::string>& problems) {
  ActingAs acting(owner.user, owner.group);
  if (!acting.Taken().Ok()) {
    problems.push_back(acting.Taken().Message());
    return false;
  }
  Folder parent, linked;
  if (!Exists(path) || !OpenLinkedFolder(path, owner, false, parent, linked).Ok()) return false;
  FileLock lock;
  std::string error = lock.Take(linked, kLockName, kLockSeconds).Message();
  if (!error.empty()) {
    problems.push_back(error);
    return true;
  }
  std::vector<std::string> names = NamesBeside();
  names.push_back(kIndexName);
  for (const std::string& name : names) {
    error = RemoveIn(linked, name).Message();
    if (!error.empty()) problems.push_back(error);
    SweepIn(linked, "." + name + ".");
  }
  (void)RemoveIn(linked, kLockName);
  std::string name = path.substr(path.find_last_of('/') + 1);
  linked = Folder();
  RemoveEmptyFolderIn(parent, name);
  return true;
}

const std::string& IndexText(std::uint32_t generation, const std::vector<DomainPatterns>& domains,
                             std::string& text) {
  WriteDomainPatternsText(domains, text);
  text.insert(0, std::string(kGenerationLine) + std::to_string(generation) + "\n");
  return text;
}

bool ParseIndex(std::string_view text, std::uint32_t& generation, std::vector<DomainPatterns>& domains) {
  if (text.substr(0, kGenerationLine.size()) != kGenerationLine) return false;
  std::size_t end = text.find('\n');
  if (end == std::string_view::npos) return false;
  std::optional<std::int64_t> number = ParseDecimal(text.substr(kGenerationLine.size(), end - kGenerationLine.size()));
  if (!number || *number < 0 || *number > 0xFFFFFFFFll) return false;
  std::optional<std::vector<DomainPatterns>> read = ParseDomainPatterns(text.substr(end + 1));
  if (!read) return false;
  generation = static_cast<std::uint32_t>(*number);
  domains = std::move(*read);
  return true;
}

}  // namespace

std::vector<PolicyTarget> FolderTargetsOf(const EnforcementSettings& settings) {
  std::vector<PolicyTarget> targets;
  if (!settings.policyRoot.empty()) {
    // The Chromium family's files, unless only Firefox is named.
    bool chromium = settings.browsers.empty();
    for (const std::string& name : settings.browsers) chromium = chromium || FindChromiumBrowser(name);
    if (chromium) targets.push_back({"folder", "the policy folder", settings.policyRoot, "", ""});
    return targets;
  }
  for (const std::string& name : settings.browsers)
    if (const ChromiumBrowser* browser = FindChromiumBrowser(name))
      targets.push_back({name, browser->title, browser->folder, "", ""});
  return targets;
}

struct FolderPlacer::State {
  State(EnforcementSettings& settings, const EnforceRequest& request) : settings(settings), request(request) {}

  struct PlacedFolder {
    PolicyTarget target;
    std::vector<std::string> made;           // folders this run made
    std::optional<std::string> recordBefore;  // the record as it was, to put back
    bool recordWritten = false;
    bool keep[2] = {false, false};   // an administrator's file to keep aside
    bool moved[2] = {false, false};
    bool placed[2] = {false, false};  // ours placed where nothing of ours was
  };

  EnforcementSettings& settings;
  EnforceRequest request;
  StoreOwner owner;
  std::vector<PlacedFolder> folders;
  std::vector<std::string> earlierLinked;  // where earlier links of this store pointed
  Folder parent, linked;
  FileLock lock;
  bool linkedMade = false;
};

FolderPlacer::FolderPlacer(EnforcementSettings& settings, const EnforceRequest& request)
    : state_(std::make_unique<State>(settings, request)) {}

FolderPlacer::~FolderPlacer() = default;

Result FolderPlacer::Check(EnforceOutcome& outcome) {
  State& s = *state_;
  EnforcementSettings& settings = s.settings;
  const EnforceRequest& request = s.request;
  settings.policyRoot = request.policyRoot;
  if (!settings.policyRoot.empty() && settings.policyRoot.front() != '/')
    return Result::Failure("a policy root must be an absolute folder, not " + settings.policyRoot);
  if (settings.policyRoot.empty() && settings.browsers.empty()) {
    for (const ChromiumBrowser& browser : ChromiumBrowsers())
      for (const char* sign : browser.installedAt)
        if (::access(sign, F_OK) == 0) {
          settings.browsers.push_back(browser.name);
          break;
        }
    if (FirefoxInstalled()) settings.browsers.push_back(kFirefoxName);
    if (settings.browsers.empty() && !settings.registry) {
      outcome.remedy = Remedy::NameTargets;
      return Result::Failure("no browser enforcement reaches is installed here (chromium, chrome, edge, brave, firefox)");
    }
  } else if (settings.policyRoot.empty()) {
    for (const std::string& name : settings.browsers) {
      const ChromiumBrowser* browser = FindChromiumBrowser(name);
      if (!browser) continue;  // Firefox: its placement tells
      bool installed = false;
      for (const char* sign : browser->installedAt) installed = installed || ::access(sign, F_OK) == 0;
      if (!installed && !Exists(browser->folder))
        outcome.notes.push_back(std::string(browser->title) + " is not installed here; its policy folder " +
                                browser->folder +
                                " is made for it, and removed when enforcement is turned off while nothing else is in it.");
    }
  }
  std::vector<PolicyTarget> targets = FolderTargetsOf(settings);
  if (!HasFilesBeside(settings)) return {};
  if (request.storePath.find('\n') != std::string::npos)
    return Result::Failure("a store path holding a line break cannot be recorded");
  if (!settings.copy) {
    if (request.storePath.empty() || request.storePath.front() != '/') {
      outcome.remedy = Remedy::Copy;
      return Result::Failure("links need a store file to put the policy beside");
    }
    settings.policyFolder = PolicyFolderFor(request.storePath);
  }
  s.owner = OwnerOf(request.storePath);

  for (const PolicyTarget& target : targets) {
    for (int level = 0; level < 2; ++level) {
      Result writable = CheckWritable(LevelPath(target, level));
      if (!writable.Ok()) {
        outcome.needsRoot = ::geteuid() != 0;
        return writable;
      }
    }
    State::PlacedFolder placed;
    placed.target = target;
    if (Exists(target.folder)) {
      Folder root;
      Result opened = OpenFolder(target.folder, root);
      if (!opened.Ok()) return opened;
      std::optional<FolderRecord> record = ReadRecord(root);
      bool ours = record && record->store == request.storePath;
      std::vector<std::string> linked = {PolicyFolderFor(request.storePath)};
      if (ours && !record->linkedFolder.empty()) {
        linked.push_back(record->linkedFolder);
        s.earlierLinked.push_back(record->linkedFolder);
      }
      for (int level = 0; level < 2; ++level) {
        if (!ExistsIn(root, kLevels[level])) continue;
        Folder folder;
        opened = OpenFolderIn(root, kLevels[level], folder);
        if (!opened.Ok()) return opened;
        std::string what;
        if (WhatIsAt(folder, level, linked, ours && record->linkedFolder.empty(), &what) != Found::Other) continue;
        std::string path = PlacePath(target, level);
        if (!request.force) {
          outcome.remedy = Remedy::Force;
          outcome.keptAs = root.PathOf(KeptName(level));
          return Result::Failure(path + " is not ours (" + what + "); enforcement leaves it alone");
        }
        if (ExistsIn(root, KeptName(level)))
          return Result::Failure(root.PathOf(KeptName(level)) + " already holds a file kept aside; move it away first");
        placed.keep[level] = true;
      }
    }
    s.folders.push_back(std::move(placed));
  }
  return {};
}

Result FolderPlacer::Prepare() {
  State& s = *state_;
  if (!LinksToFiles(s.settings) || !HasFilesBeside(s.settings)) return {};
  ActingAs acting(s.owner.user, s.owner.group);
  if (!acting.Taken().Ok()) return acting.Taken();
  Result opened = OpenLinkedFolder(s.settings.policyFolder, s.owner, true, s.parent, s.linked, &s.linkedMade);
  if (opened.Ok()) opened = s.lock.Take(s.linked, kLockName, kLockSeconds);
  if (!opened.Ok()) return opened;
  // What writers killed midway left; none is writing now.
  std::vector<std::string> names = NamesBeside();
  names.push_back(kIndexName);
  for (const std::string& name : names) SweepIn(s.linked, "." + name + ".");
  return {};
}

Result FolderPlacer::Place(const ScriptPolicy& policy, const std::vector<DomainPatterns>& domains,
                           std::uint32_t generation, EnforceOutcome& outcome) {
  State& s = *state_;
  const EnforcementSettings& settings = s.settings;
  if (!HasFilesBeside(settings)) return {};
  std::string json[] = {PolicyJson(policy, PolicyLevel::Managed), PolicyJson(policy, PolicyLevel::Recommended)};
  if (LinksToFiles(settings)) {
    ActingAs acting(s.owner.user, s.owner.group);
    if (!acting.Taken().Ok()) return acting.Taken();
    std::string index;
    Result written;
    if (!s.folders.empty()) written = ReplaceFileIn(s.linked, LinkedName(0), json[0]);
    if (written.Ok() && !s.folders.empty()) written = ReplaceFileIn(s.linked, LinkedName(1), json[1]);
    if (written.Ok() && NamesFirefox(settings))
      written = ReplaceFileIn(s.linked, kFirefoxLinkedName, ManagedStorageJson(SwitchesOf(policy)));
    if (written.Ok()) written = ReplaceFileIn(s.linked, kIndexName, IndexText(generation, domains, index));
    if (!written.Ok()) return written;
    outcome.notes.push_back("The user " + UserName(s.owner.user) +
                            ", who owns the store, now controls the script policy of these browsers for every "
                            "user of this machine: what is listed in this store applies to all of them.");
    std::string closed = ClosedFolderAbove(s.linked.PathOf(LinkedName(0)));
    if (!closed.empty())
      outcome.notes.push_back("Other users cannot pass through " + closed +
                              ", so their browsers cannot read the policy and apply none of it.");
  }
  for (State::PlacedFolder& placed : s.folders) {
    Folder root, level[2];
    Result done = OpenFolder(placed.target.folder, root, -1, true, &placed.made);
    for (int i = 0; i < 2 && done.Ok(); ++i) done = OpenFolderIn(root, kLevels[i], level[i], -1, true, &placed.made);
    if (!done.Ok()) return done;
    // The record first: `off` finds what follows even when this run is killed.
    FolderRecord record;
    std::string before;
    if (ReadFileIn(root, kRecordName, before, 1 << 16).Ok()) placed.recordBefore = before;
    std::optional<FolderRecord> earlier = placed.recordBefore ? ParseRecord(before) : std::nullopt;
    if (earlier && earlier->store == s.request.storePath) record = *earlier;
    record.store = s.request.storePath;
    record.linkedFolder = settings.copy ? "" : settings.policyFolder;
    record.made.insert(record.made.end(), placed.made.begin(), placed.made.end());
    for (int i = 0; i < 2; ++i) record.kept[i] = record.kept[i] || placed.keep[i];
    done = ReplaceFileIn(root, kRecordName, RecordText(record));
    if (!done.Ok()) return done;
    placed.recordWritten = true;
    for (int i = 0; i < 2; ++i) {
      SweepIn(level[i], ".portwarden-link.");
      SweepIn(level[i], std::string(".") + kPolicyFileName + ".");
      bool fresh = !ExistsIn(level[i], kPolicyFileName);
      if (placed.keep[i]) {
        done = MoveBetween(level[i], kPolicyFileName, root, KeptName(i));
        if (!done.Ok()) return done;
        placed.moved[i] = true;
        fresh = true;
      }
      std::string linkedFile = settings.policyFolder + "/" + LinkedName(i);
      done = settings.copy ? ReplaceFileIn(level[i], kPolicyFileName, json[i])
                           : PlaceLinkIn(level[i], kPolicyFileName, linkedFile);
      if (!done.Ok()) return done;
      placed.placed[i] = fresh;
      outcome.places.push_back(placed.target.name + ": " + PlacePath(placed.target, i) +
                               (settings.copy ? "" : " -> " + linkedFile));
      if (placed.moved[i])
        outcome.notes.push_back("What was at " + PlacePath(placed.target, i) + " is kept as " +
                                root.PathOf(KeptName(i)) + "; turning enforcement off puts it back.");
    }
  }
  return {};
}

void FolderPlacer::Undo() {
  State& s = *state_;
  for (auto placed = s.folders.rbegin(); placed != s.folders.rend(); ++placed) {
    Folder root;
    if (OpenFolder(placed->target.folder, root).Ok()) {
      for (int i = 0; i < 2; ++i) {
        Folder level;
        if (!OpenFolderIn(root, kLevels[i], level).Ok()) continue;
        if (placed->placed[i]) (void)RemoveIn(level, kPolicyFileName);
        if (placed->moved[i]) (void)MoveBetween(root, KeptName(i), level, kPolicyFileName);
      }
      if (placed->recordWritten) {
        if (placed->recordBefore) (void)ReplaceFileIn(root, kRecordName, *placed->recordBefore);
        else (void)RemoveIn(root, kRecordName);
      }
    }
    for (auto made = placed->made.rbegin(); made != placed->made.rend(); ++made) ::rmdir(made->c_str());
  }
  if (s.linkedMade && s.linked.IsOpen()) {
    ActingAs acting(s.owner.user, s.owner.group);
    std::vector<std::string> names = NamesBeside();
    names.insert(names.end(), {kIndexName, kLockName});
    for (const std::string& name : names) (void)RemoveIn(s.linked, name);
    s.linked = Folder();
    RemoveEmptyFolderIn(s.parent, s.settings.policyFolder.substr(s.settings.policyFolder.find_last_of('/') + 1));
  }
}

void FolderPlacer::RemoveStale(const std::optional<EnforcementSettings>& previous, std::vector<std::string>& notes) {
  State& s = *state_;
  const std::string& storePath = s.request.storePath;
  if (storePath.empty() || storePath.front() != '/') return;
  std::vector<PolicyTarget> now = FolderTargetsOf(s.settings);
  for (const PolicyTarget& candidate : Candidates(previous)) {
    bool kept = false;
    for (const PolicyTarget& target : now) kept = kept || target.folder == candidate.folder;
    Placement placement;
    if (kept || !FindPlacement(candidate, storePath, placement)) continue;
    if (placement.record && !placement.record->linkedFolder.empty())
      s.earlierLinked.push_back(placement.record->linkedFolder);
    TakeOut(placement, notes);
  }
  std::string current = LinksToFiles(s.settings) && HasFilesBeside(s.settings) ? s.settings.policyFolder : "";
  if (current.empty()) s.earlierLinked.push_back(PolicyFolderFor(storePath));
  std::sort(s.earlierLinked.begin(), s.earlierLinked.end());
  s.earlierLinked.erase(std::unique(s.earlierLinked.begin(), s.earlierLinked.end()), s.earlierLinked.end());
  for (const std::string& folder : s.earlierLinked)
    if (folder != current) RemoveLinkedFiles(folder, s.owner, notes);
}

bool RemoveFolderPlacements(const std::string& storePath, const std::optional<EnforcementSettings>& hint,
                            EnforceOutcome& outcome) {
  if (storePath.empty() || storePath.front() != '/') return false;
  std::vector<Placement> found;
  for (const PolicyTarget& candidate : Candidates(hint)) {
    Placement placement;
    if (FindPlacement(candidate, storePath, placement)) found.push_back(std::move(placement));
  }
  // Nothing is removed unless all of it can be.
  for (const Placement& placement : found) {
    Result removable = CheckRemovable(placement);
    if (!removable.Ok()) {
      outcome.error = removable.Message();
      outcome.needsRoot = ::geteuid() != 0;
      return true;
    }
  }
  std::vector<std::string> linked = {PolicyFolderFor(storePath)};
  std::vector<std::string> problems;
  for (Placement& placement : found) {
    if (placement.record && !placement.record->linkedFolder.empty() &&
        std::find(linked.begin(), linked.end(), placement.record->linkedFolder) == linked.end())
      linked.push_back(placement.record->linkedFolder);
    TakeOut(placement, problems);
    outcome.places.push_back(placement.target.name + ": " + placement.target.folder);
  }
  bool any = !found.empty();
  StoreOwner owner = OwnerOf(storePath);
  for (const std::string& folder : linked) any = RemoveLinkedFiles(folder, owner, problems) || any;
  if (!problems.empty()) outcome.error = problems.front();
  return any;
}

void FolderStates(const std::string& storePath, const std::optional<EnforcementSettings>& settings,
                  const ScriptPolicy& wanted, std::vector<TargetState>& states) {
  std::vector<PolicyTarget> targets;
  if (settings) targets = FolderTargetsOf(*settings);
  // The files the links point to, read once, as the store's owner.
  std::string text[2], unread[2];
  if (settings && LinksToFiles(*settings) && !targets.empty()) {
    StoreOwner owner = OwnerOf(storePath);
    ActingAs acting(owner.user, owner.group);
    Folder parent, linked;
    Result opened = acting.Taken();
    if (opened.Ok()) opened = OpenLinkedFolder(settings->policyFolder, owner, false, parent, linked);
    for (int level = 0; level < 2; ++level)
      unread[level] = opened.Ok() ? ReadFileIn(linked, LinkedName(level), text[level]).Message() : opened.Message();
  }
  for (const PolicyTarget& target : targets) {
    TargetState state;
    state.target = target;
    state.present = true;
    for (int level = 0; level < 2; ++level) {
      std::string path = PlacePath(target, level);
      auto missing = [&](const std::string& why) {
        if (!state.present) return;
        state.present = false;
        state.note = why;
        state.remedy = Remedy::PlaceAgain;
      };
      std::string read, readError;
      if (!settings->copy) {
        std::optional<std::string> link = LinkTarget(path);
        if (link != settings->policyFolder + "/" + LinkedName(level)) {
          missing(!Exists(path) ? "missing: " + path
                                : path + " is not our link (" + (link ? "a link to " + *link : "a file") + ")");
          continue;
        }
        read = text[level];
        readError = unread[level];
      } else {
        Folder root, folder;
        bool nothing = false;
        readError = OpenFolder(target.folder, root).Message();
        if (readError.empty()) readError = OpenFolderIn(root, kLevels[level], folder).Message();
        if (readError.empty())
          readError = ReadFileIn(folder, kPolicyFileName, read, kMaxPolicyFileBytes, &nothing).Message();
        if (nothing || !Exists(path)) {
          missing("missing: " + path);
          continue;
        }
      }
      std::optional<ScriptPolicy> held =
          readError.empty() ? ParsePolicyFile(read, level == 0 ? PolicyLevel::Managed : PolicyLevel::Recommended)
                            : std::nullopt;
      if (!held) {
        if (state.present) state.note = readError.empty() ? path + " is not a policy file" : readError;
        state.present = false;
        continue;
      }
      if (level == 0) state.held = *held;
      else state.held.recommendedDefault = held->recommendedDefault;
    }
    state.inStep = state.present && state.held == wanted;
    if (state.present && !state.inStep) {
      state.note = "behind the store";
      if (settings->copy) state.remedy = Remedy::PlaceAgain;
    }
    states.push_back(std::move(state));
  }
  // Placements of this store the settings do not name: its record lost, or an `on` killed midway.
  if (storePath.empty()) return;
  for (const PolicyTarget& candidate : Candidates(settings)) {
    bool named = false;
    for (const PolicyTarget& target : targets) named = named || target.folder == candidate.folder;
    Placement placement;
    if (named || !FindPlacement(candidate, storePath, placement)) continue;
    TargetState state;
    state.target = candidate;
    state.leftOver = true;
    for (int level = 0; level < 2 && state.note.empty(); ++level)
      if (placement.found[level] != Found::Nothing && placement.found[level] != Found::Other)
        state.note = "still placed for this store: " + PlacePath(candidate, level);
    if (state.note.empty()) state.note = "root's record for this store is still in " + candidate.folder;
    state.remedy = Remedy::TakeOut;
    states.push_back(std::move(state));
  }
}

Result FollowLinkedFiles(RegistryStore& store, const EnforcementSettings& settings,
                         const std::vector<FollowUpStore::Changes>* changes, ReapplyMemory& memory) {
  std::optional<std::uint32_t> stamped = memory.stamped;
  memory.stamped.reset();
  StoreOwner owner = OwnerOf(store.FilePath());
  ActingAs acting(owner.user, owner.group);
  Result done = acting.Taken();
  Folder parent, linked;
  FileLock lock;
  if (done.Ok()) done = OpenLinkedFolder(settings.policyFolder, owner, false, parent, linked);
  if (done.Ok()) done = lock.Take(linked, kLockName, kLockSeconds);

  // The index serves only when it holds the generation before this write's
  // (after a write to the zone state alone, the current one): a re-apply
  // killed midway, or a write that none followed, leaves it behind.
  ReadSnapshot snapshot(store);
  std::uint32_t now = ReadGeneration(store);
  std::vector<std::string> written;
  bool oneByOne = WrittenDomainKeys(changes, written);
  bool mapChanged = !oneByOne || !written.empty();
  std::optional<std::uint32_t> wanted;
  if (!mapChanged) wanted = now;
  else if (stamped && *stamped == now) wanted = now - 1;
  bool known = false;
  if (done.Ok() && wanted && oneByOne && written.size() <= kMaxDomainsReread) {
    std::string identity = FileIdentityIn(linked, kIndexName);
    known = !identity.empty() && identity == memory.indexIdentity && memory.indexGeneration == *wanted;
    std::uint32_t generation = 0;
    std::vector<DomainPatterns> read;
    if (!known && ReadFileIn(linked, kIndexName, memory.indexText).Ok() &&
        ParseIndex(memory.indexText, generation, read) && generation == *wanted) {
      memory.domains = std::move(read);
      memory.assembled.valid = false;
      known = true;
    }
  }
  memory.indexIdentity.clear();
  RefreshAssembledDomains(store, known, written, memory.domains, memory.assembled);
  const AssembledDomains& assembled = memory.assembled;
  const ScriptPolicy& policy = assembled.policy;
  if (!done.Ok()) return done;

  // The policy first, the index last: an index is never ahead of the files.
  if (!FolderTargetsOf(settings).empty()) {
    WritePolicyJson(policy, PolicyLevel::Managed, memory.policyJson[0]);
    WritePolicyJson(policy, PolicyLevel::Recommended, memory.policyJson[1]);
    for (int level = 0; level < 2 && done.Ok(); ++level)
      done = ReplaceFileIn(linked, LinkedName(level), memory.policyJson[level], &memory.readBack);
  }
  if (done.Ok() && NamesFirefox(settings)) {
    WriteManagedStorageJson(SwitchesOf(policy), memory.firefox);
    done = ReplaceFileIn(linked, kFirefoxLinkedName, memory.firefox, &memory.readBack);
  }
  if (done.Ok() && (!known || mapChanged)) {
    std::string& index = memory.indexText;
    index.reserve(assembled.text.size() + 64);
    index.assign(kGenerationLine);
    index += std::to_string(now);
    index += '\n';
    index += assembled.text;
    done = ReplaceFileIn(linked, kIndexName, index, &memory.readBack, true);
  }
  if (!done.Ok()) {
    (void)RemoveIn(linked, kIndexName);  // a later re-apply then reads the whole map
    return done;
  }
  memory.indexIdentity = FileIdentityIn(linked, kIndexName);
  memory.indexGeneration = now;
  return {};
}

Result ReadBesideStore(const std::string& storePath, const std::string& policyFolder, const std::string& name,
                       std::string& text) {
  StoreOwner owner = OwnerOf(storePath);
  ActingAs acting(owner.user, owner.group);
  Folder parent, linked;
  Result read = acting.Taken();
  if (read.Ok()) read = OpenLinkedFolder(policyFolder, owner, false, parent, linked);
  if (read.Ok()) read = ReadFileIn(linked, name, text);
  return read;
}

Result FollowFolders(RegistryStore& store, const EnforcementSettings& settings, const ScriptPolicy& policy,
                     ReapplyMemory& memory) {
  std::vector<PolicyTarget> targets = FolderTargetsOf(settings);
  if (targets.empty()) return {};
  std::string storePath = StoreNamed(store);
  if (settings.copy) {
    WritePolicyJson(policy, PolicyLevel::Managed, memory.policyJson[0]);
    WritePolicyJson(policy, PolicyLevel::Recommended, memory.policyJson[1]);
  }
  for (const PolicyTarget& target : targets)
    for (int level = 0; level < 2; ++level) {
      std::string path = PlacePath(target, level);
      auto gone = [&](const std::string& what) { return Result::Failure(target.title + ": " + what); };
      if (!settings.copy) {
        std::optional<std::string> link = LinkTarget(path);
        if (link == settings.policyFolder + "/" + LinkedName(level)) continue;
        if (!Exists(path)) return gone("the policy link " + path + " is missing");
        return gone(path + " is not our link any more (" + (link ? "a link to " + *link : "a file") + ")");
      }
      // Root rewrites a copy only where its record says the copy is this
      // store's: a store file's record may name any folder.
      Folder root, folder;
      bool there = OpenFolder(target.folder, root).Ok() && OpenFolderIn(root, kLevels[level], folder).Ok() &&
                   ExistsIn(folder, kPolicyFileName);
      if (there && ::geteuid() == 0 && Exists(storePath)) {
        std::optional<FolderRecord> record = ReadRecord(root);
        there = record && record->store == storePath && record->linkedFolder.empty();
      }
      if (!there) return gone("the policy copy " + path + " is missing");
      Result written = ReplaceFileIn(folder, kPolicyFileName, memory.policyJson[level], &memory.readBack);
      if (!written.Ok())
        return Result::Failure(written.Message() + "; the policy files are copies only root may rewrite");
    }
  return {};
}

}  // namespace pw
