#include "browser/Enforcement.h"

#if !defined(_WIN32)
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "browser/PolicyFiles.h"
#endif

#include <functional>

#include "browser/RegistryPolicy.h"
#include "registry/FollowUpStore.h"
#include "registry/KeyTree.h"
#include "registry/KnownKeys.h"
#include "registry/Registry.h"

namespace pw {
namespace {

constexpr const char* kLevels[] = {"managed", "recommended"};
constexpr PolicyLevel kLevelOf[] = {PolicyLevel::Managed, PolicyLevel::Recommended};

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ",") + name;
  return joined;
}

std::vector<std::string> SplitNames(const std::string& text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) names.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

LONG WriteEnforcement(RegistryStore& store, const EnforcementSettings& settings) {
  Registry registry(store);
  LONG status = ERROR_SUCCESS;
  LONG commit = RunInTransaction(store, [&] {
    // Every value is written; the records of what was written below stay.
    HKEY key = registry.CreateRegKey(HKEY_LOCAL_MACHINE, kEnforcementPath);
    if (!key) {
      status = ERROR_ACCESS_DENIED;
      return;
    }
    for (LONG written : {registry.WriteRegValue(key, "Browsers", REG_SZ, JoinNames(settings.browsers)),
                         registry.WriteRegValue(key, "PolicyRoot", REG_SZ, settings.policyRoot),
                         registry.WriteRegValue(key, "PolicyFolder", REG_SZ, settings.policyFolder),
                         registry.WriteRegValue(key, "Copy", REG_DWORD, settings.copy ? 1 : 0),
                         registry.WriteRegValue(key, "Registry", REG_DWORD, settings.registry ? 1 : 0)})
      if (status == ERROR_SUCCESS) status = written;
    store.RegCloseKey(key);
  });
  return status != ERROR_SUCCESS ? status : commit;
}

[[maybe_unused]] std::string PlaceFile(const PolicyTarget& target, int level) {
  return target.folder + "/" + kLevels[level] + "/" + kPolicyFileName;
}

[[maybe_unused]] std::string LinkedFile(const EnforcementSettings& settings, int level) {
  return settings.policyFolder + "/" + kLevels[level] + ".json";
}

bool LinksToFiles(const EnforcementSettings& settings) { return !settings.copy && !settings.policyFolder.empty(); }

// Beside the linked files: each domain's patterns, in the store's order.
[[maybe_unused]] std::string IndexFile(const EnforcementSettings& settings) { return settings.policyFolder + "/domains"; }

// The watched keys, in WithBrowserEnforcement's order.
enum Watched : std::size_t { kUserMap, kZoneKey, kMachineMap };

// The domain keys written in either zone map; false when the writes are not
// known one by one (a zone map written whole, or no record of the writes).
[[maybe_unused]] bool WrittenDomains(const std::vector<FollowUpStore::Changes>* changes, std::vector<std::string>& names) {
  if (!changes) return false;
  for (std::size_t map : {kUserMap, kMachineMap}) {
    if (map >= changes->size()) continue;
    const FollowUpStore::Changes& written = (*changes)[map];
    if (written.itself) return false;
    names.insert(names.end(), written.below.begin(), written.below.end());
  }
  return true;
}

// More domains written at once than this are read again with the whole map.
[[maybe_unused]] constexpr std::size_t kMaxDomainsReread = 256;

// The policy the store asks for. With links, the domain index is used for the
// domains the changes did not touch, and written back; a failure to write it
// goes to `error`.
ScriptPolicy CurrentPolicy(RegistryStore& store, const EnforcementSettings& settings,
                           const std::vector<FollowUpStore::Changes>* changes, ReapplyMemory& memory,
                           std::string& error) {
  // The lists depend on the zone state too: a listing that follows the state
  // under a broader Trusted or Restricted one is stated as the state says.
  if (!LinksToFiles(settings)) return ScriptPolicyOf(store).policy;
#if defined(_WIN32)
  (void)changes;
  (void)memory;
  (void)error;
  return ScriptPolicyOf(store).policy;  // links are made on Linux only
#else
  std::string index = IndexFile(settings);
  std::vector<std::string> written;
  bool known = false;
  if (WrittenDomains(changes, written) && written.size() <= kMaxDomainsReread) {
    std::string identity = FileIdentity(index);
    known = !identity.empty() && identity == memory.indexIdentity;
    if (!known && ReadWholeFileInto(index, memory.text[2]))
      if (std::optional<std::vector<DomainPatterns>> read = ParseDomainPatterns(memory.text[2])) {
        memory.domains = std::move(*read);
        known = true;
      }
  }
  memory.indexIdentity.clear();
  ScriptPolicy policy;
  bool changed = true;
  if (known) {
    ReadSnapshot snapshot(store);
    changed = UpdateDomainPatterns(store, memory.domains, written);
    Registry registry(store);
    policy = AssemblePolicy(DetectZoneSecurity(registry), memory.domains).policy;
  } else {
    policy = ScriptPolicyOf(store, &memory.domains).policy;
  }
  if (changed) {
    WriteDomainPatternsText(memory.domains, memory.text[2]);
    error = ReplaceFileAtomically(index, memory.text[2]);
    // An index behind the store would mislead later re-applies: better none.
    if (!error.empty()) RemoveFile(index);
  }
  if (error.empty()) memory.indexIdentity = FileIdentity(index);
  return policy;
#endif
}

#if !defined(_WIN32)
struct Owner {
  long user = -1;
  long group = -1;
};

// Root writes the linked files for the store's owner, who rewrites them later.
Owner OwnerFor(const std::string& storePath) {
  struct stat info;
  if (::geteuid() != 0 || ::stat(storePath.c_str(), &info) != 0) return {};
  return {static_cast<long>(info.st_uid), static_cast<long>(info.st_gid)};
}

std::string UserName(long uid) {
  if (const passwd* entry = ::getpwuid(static_cast<uid_t>(uid < 0 ? ::geteuid() : uid))) return entry->pw_name;
  return "uid " + std::to_string(uid);
}
#endif

// Writes the policy to every target; the first failure, or empty text.
std::string ApplyPolicy(RegistryStore& store, const EnforcementSettings& settings, const ScriptPolicy& policy,
                        ReapplyMemory& memory) {
  std::string first;
  auto note = [&](const std::string& error) {
    if (first.empty()) first = error;
  };
  std::string* json = memory.text;
  WritePolicyJson(policy, PolicyLevel::Managed, json[0]);
  WritePolicyJson(policy, PolicyLevel::Recommended, json[1]);
  [[maybe_unused]] std::string& scratch = memory.text[2];
  std::vector<PolicyTarget> targets = TargetsOf(settings);
#if !defined(_WIN32)
  bool anyFolder = false;
  for (const PolicyTarget& target : targets) anyFolder = anyFolder || !target.folder.empty();
  if (anyFolder && LinksToFiles(settings))
    for (int level = 0; level < 2; ++level)
      note(ReplaceFileAtomically(LinkedFile(settings, level), json[level], -1, -1, &scratch));
#endif
  for (const PolicyTarget& target : targets) {
#if !defined(_WIN32)
    if (!target.folder.empty() && settings.copy)
      for (int level = 0; level < 2; ++level)
        note(ReplaceFileAtomically(PlaceFile(target, level), json[level], -1, -1, &scratch));
#endif
    if (!target.policyKey.empty()) {
      note(ApplyRegistryPolicy(store, target.policyKey, target.recordKey, &policy).error);
    }
  }
  return first;
}

// Takes our policy out of the targets; what could not be, as notes.
void RemovePolicy(RegistryStore& store, [[maybe_unused]] const EnforcementSettings& settings,
                  const std::vector<PolicyTarget>& targets,
                  std::vector<std::string>& notes) {
  for (const PolicyTarget& target : targets) {
#if !defined(_WIN32)
    for (int level = 0; level < 2 && !target.folder.empty(); ++level) {
      std::string path = PlaceFile(target, level);
      std::optional<std::string> link = LinkTarget(path);
      bool ours = settings.copy ? !link && ReadWholeFile(path) : link && *link == LinkedFile(settings, level);
      if (!ours) continue;
      std::string error = RemoveFile(path);
      if (!error.empty()) notes.push_back(error);
    }
#endif
    if (!target.policyKey.empty()) {
      std::string error = ApplyRegistryPolicy(store, target.policyKey, target.recordKey, nullptr).error;
      if (!error.empty()) notes.push_back(error);
    }
  }
}

void RemoveLinkedFiles(const EnforcementSettings& settings, std::vector<std::string>& notes) {
#if !defined(_WIN32)
  if (settings.policyFolder.empty()) return;
  for (const std::string& file : {LinkedFile(settings, 0), LinkedFile(settings, 1), IndexFile(settings)}) {
    std::string error = RemoveFile(file);
    if (!error.empty()) notes.push_back(error);
  }
  ::rmdir(settings.policyFolder.c_str());
#else
  (void)settings;
  (void)notes;
#endif
}

bool SameTarget(const PolicyTarget& a, const PolicyTarget& b) {
  return a.folder == b.folder && a.policyKey == b.policyKey;
}

// The command that brings copies in step, for messages.
std::string RootCommand(RegistryStore& store) {
#if defined(_WIN32)
  (void)store;
  return "run `portwarden-cli enforce on` as an administrator";
#else
  return "run `sudo portwarden-cli --store " + store.Describe() + " enforce on --copy`";
#endif
}

}  // namespace

const std::vector<ChromiumBrowser>& ChromiumBrowsers() {
  static const std::vector<ChromiumBrowser> browsers = {
      {"chromium", "Chromium", "/etc/chromium/policies", "Software\\Policies\\Chromium",
       {"/usr/bin/chromium", "/usr/lib/chromium", "/etc/chromium"}},
      {"chrome", "Google Chrome", "/etc/opt/chrome/policies", "Software\\Policies\\Google\\Chrome",
       {"/opt/google/chrome", "/etc/opt/chrome"}},
      {"edge", "Microsoft Edge", "/etc/opt/edge/policies", "Software\\Policies\\Microsoft\\Edge",
       {"/opt/microsoft/msedge", "/etc/opt/edge"}},
      {"brave", "Brave", "/etc/brave/policies", "Software\\Policies\\BraveSoftware\\Brave",
       {"/opt/brave.com/brave", "/etc/brave"}},
  };
  return browsers;
}

const ChromiumBrowser* FindChromiumBrowser(const std::string& name) {
  for (const ChromiumBrowser& browser : ChromiumBrowsers())
    if (name == browser.name) return &browser;
  return nullptr;
}

std::string PolicyFolderFor(const std::string& storePath) { return storePath + ".policy"; }

std::optional<EnforcementSettings> ReadEnforcement(RegistryStore& store) {
  Registry registry(store);
  if (!registry.RegKeyExists(HKEY_LOCAL_MACHINE, kEnforcementPath)) return std::nullopt;
  EnforcementSettings settings;
  settings.browsers = SplitNames(registry.GetRegValue(HKEY_LOCAL_MACHINE, kEnforcementPath, "Browsers"));
  settings.policyRoot = registry.GetRegValue(HKEY_LOCAL_MACHINE, kEnforcementPath, "PolicyRoot");
  settings.policyFolder = registry.GetRegValue(HKEY_LOCAL_MACHINE, kEnforcementPath, "PolicyFolder");
  settings.copy = registry.GetRegValue(HKEY_LOCAL_MACHINE, kEnforcementPath, "Copy") == "1";
  settings.registry = registry.GetRegValue(HKEY_LOCAL_MACHINE, kEnforcementPath, "Registry") == "1";
  return settings;
}

std::vector<PolicyTarget> TargetsOf(const EnforcementSettings& settings) {
  std::vector<PolicyTarget> targets;
#if !defined(_WIN32)
  if (!settings.policyRoot.empty()) targets.push_back({"folder", settings.policyRoot, "", ""});
  else
    for (const std::string& name : settings.browsers)
      if (const ChromiumBrowser* browser = FindChromiumBrowser(name))
        targets.push_back({name, browser->folder, "", ""});
#endif
  if (settings.registry)
    for (const ChromiumBrowser& browser : ChromiumBrowsers()) {
      bool named = settings.browsers.empty();
      for (const std::string& name : settings.browsers) named = named || name == browser.name;
      if (named)
        targets.push_back({browser.name, "", browser.policyKey,
                           std::string(kEnforcementPath) + "\\Written\\" + browser.name});
    }
  return targets;
}

std::optional<StoreFailure> ReapplyEnforcement(RegistryStore& store,
                                               const std::vector<FollowUpStore::Changes>* changes,
                                               ReapplyMemory* memory) {
  ReapplyMemory once;
  if (!memory) memory = &once;
  std::optional<EnforcementSettings> settings = ReadEnforcement(store);
  if (!settings) return std::nullopt;
#if !defined(_WIN32)
  std::optional<FolderLock> turn;
  if (LinksToFiles(*settings)) turn.emplace(settings->policyFolder);
#endif
  std::string error;
  ScriptPolicy policy = CurrentPolicy(store, *settings, changes, *memory, error);
  std::string applied = ApplyPolicy(store, *settings, policy, *memory);
  if (error.empty()) error = applied;
  if (error.empty()) return std::nullopt;
  if (settings->copy)
    error += "; the policy files are copies only root may rewrite: " + RootCommand(store) + " to bring them in step";
  return StoreFailure{store.Describe(), kBrowserPolicyOperation, error, ERROR_SUCCESS};
}

std::unique_ptr<RegistryStore> WithBrowserEnforcement(std::unique_ptr<RegistryStore> store) {
  std::vector<FollowUpStore::WatchedKey> watched = {
      {HKEY_CURRENT_USER, kDomainsPath}, {HKEY_CURRENT_USER, kZonePath}, {HKEY_LOCAL_MACHINE, kDomainsPath}};
  auto memory = std::make_shared<ReapplyMemory>();
  return std::make_unique<FollowUpStore>(
      std::move(store), std::move(watched),
      [memory](RegistryStore& inner, const std::vector<FollowUpStore::Changes>* changes) {
        return ReapplyEnforcement(inner, changes, memory.get());
      });
}

EnforceOutcome EnforceOn(RegistryStore& store, const EnforceRequest& request) {
  EnforceOutcome outcome;
  EnforcementSettings settings;
  settings.browsers = request.browsers;
  for (const std::string& name : settings.browsers)
    if (!FindChromiumBrowser(name)) {
      outcome.error = "no browser is called '" + name + "' (known: chromium, chrome, edge, brave)";
      return outcome;
    }
  settings.copy = request.copy;
#if defined(_WIN32)
  if (!request.policyRoot.empty() || request.copy) {
    outcome.error = "policy folders are for Linux; on Windows the policy goes into the registry";
    return outcome;
  }
  settings.registry = true;
#else
  settings.registry = request.registry;
  settings.policyRoot = request.policyRoot;
  if (!settings.policyRoot.empty() && settings.policyRoot.front() != '/') {
    outcome.error = "--policy-root needs an absolute folder, not " + settings.policyRoot;
    return outcome;
  }
  if (settings.policyRoot.empty() && settings.browsers.empty()) {
    for (const ChromiumBrowser& browser : ChromiumBrowsers())
      for (const char* sign : browser.installedAt)
        if (::access(sign, F_OK) == 0) {
          settings.browsers.push_back(browser.name);
          break;
        }
    if (settings.browsers.empty() && !settings.registry) {
      outcome.error =
          "no Chromium-family browser is installed here (chromium, chrome, edge, brave); name them with "
          "--browsers or give a policy folder with --policy-root";
      return outcome;
    }
  }
  std::vector<PolicyTarget> folders;
  for (const PolicyTarget& target : TargetsOf(settings))
    if (!target.folder.empty()) folders.push_back(target);
  if (!settings.copy && !folders.empty()) {
    if (request.storePath.empty() || request.storePath.front() != '/') {
      outcome.error = "links need a store file to put the policy beside; use --copy with this store";
      return outcome;
    }
    settings.policyFolder = PolicyFolderFor(request.storePath);
  }

  // Everything that will be written must be writable before anything is.
  std::vector<std::string> folderChecks;
  for (const PolicyTarget& target : folders)
    for (const char* level : kLevels) folderChecks.push_back(target.folder + "/" + level);
  if (!settings.policyFolder.empty()) folderChecks.push_back(settings.policyFolder);
  for (const std::string& folder : folderChecks) {
    std::string error = CheckWritable(folder);
    if (!error.empty()) {
      outcome.error = error;
      outcome.needsRoot = ::geteuid() != 0;
      return outcome;
    }
  }
#endif

  std::optional<EnforcementSettings> previous = ReadEnforcement(store);
  std::vector<DomainPatterns> domains;
  TranslatedPolicy translated = ScriptPolicyOf(store, &domains);
  outcome.gaps = translated.gaps;
  // What this run made where nothing of ours was, taken back when a later step fails.
  std::vector<std::string> madeFiles;
  std::vector<PolicyTarget> madeKeys;
  auto undo = [&](const std::string& error) {
#if !defined(_WIN32)
    for (const std::string& path : madeFiles) RemoveFile(path);
    if (!settings.policyFolder.empty()) ::rmdir(settings.policyFolder.c_str());
#endif
    for (const PolicyTarget& target : madeKeys) ApplyRegistryPolicy(store, target.policyKey, target.recordKey, nullptr);
    outcome.error = error;
    outcome.places.clear();
    return outcome;
  };

#if !defined(_WIN32)
  auto place = [&](const std::string& path, const std::function<std::string()>& write) {
    struct stat info;
    bool fresh = ::lstat(path.c_str(), &info) != 0;
    std::string error = write();
    if (error.empty() && fresh) madeFiles.push_back(path);
    return error;
  };
  std::string json[] = {PolicyJson(translated.policy, PolicyLevel::Managed),
                        PolicyJson(translated.policy, PolicyLevel::Recommended)};
  if (!settings.policyFolder.empty()) {
    Owner owner = OwnerFor(request.storePath);
    std::string error = MakeFolders(settings.policyFolder, owner.user, owner.group);
    for (int level = 0; level < 2 && error.empty(); ++level)
      error = place(LinkedFile(settings, level), [&] {
        return ReplaceFileAtomically(LinkedFile(settings, level), json[level], owner.user, owner.group);
      });
    if (error.empty())
      error = place(IndexFile(settings), [&] {
        return ReplaceFileAtomically(IndexFile(settings), DomainPatternsText(domains), owner.user, owner.group);
      });
    if (!error.empty()) return undo(error);
    outcome.notes.push_back("The user " + UserName(owner.user) +
                            ", who owns the store, now controls the script policy of these browsers for every "
                            "user of this machine: what is listed in this store applies to all of them.");
    std::string closed = ClosedFolderAbove(LinkedFile(settings, 0));
    if (!closed.empty())
      outcome.notes.push_back("Other users cannot pass through " + closed +
                              ", so their browsers cannot read the policy and apply none of it.");
  }
  for (const PolicyTarget& target : folders) {
    for (int level = 0; level < 2; ++level) {
      std::string path = PlaceFile(target, level);
      std::string error = MakeFolders(target.folder + "/" + kLevels[level]);
      if (error.empty())
        error = place(path, [&] {
          return settings.copy ? ReplaceFileAtomically(path, json[level]) : PlaceLink(path, LinkedFile(settings, level));
        });
      if (!error.empty()) return undo(error);
      outcome.places.push_back(target.name + ": " + path +
                               (settings.copy ? "" : " -> " + LinkedFile(settings, level)));
    }
  }
#endif
  for (const PolicyTarget& target : TargetsOf(settings)) {
    if (target.policyKey.empty()) continue;
    if (!Registry(store).RegKeyExists(HKEY_LOCAL_MACHINE, target.recordKey)) madeKeys.push_back(target);
    RegistryPolicyResult result = ApplyRegistryPolicy(store, target.policyKey, target.recordKey, &translated.policy);
    if (!result.error.empty()) return undo(result.error);
    outcome.places.push_back(target.name + ": HKEY_LOCAL_MACHINE\\" + target.policyKey);
    if (result.keptDefault)
      outcome.notes.push_back("An administrator's DefaultJavaScriptSetting under HKEY_LOCAL_MACHINE\\" +
                              target.policyKey + " was left in place; it applies instead of ours.");
  }
  LONG status = WriteEnforcement(store, settings);
  if (status != ERROR_SUCCESS)
    return undo(store.Describe() + " cannot record enforcement (" + StatusName(status) + ")");

  // What the earlier settings placed and these do not, goes.
  if (previous) {
    std::vector<PolicyTarget> stale;
    std::vector<PolicyTarget> now = TargetsOf(settings);
    for (const PolicyTarget& old : TargetsOf(*previous)) {
      bool kept = false;
      for (const PolicyTarget& target : now) kept = kept || SameTarget(old, target);
      if (!kept) stale.push_back(old);
    }
    RemovePolicy(store, *previous, stale, outcome.notes);
    if (previous->policyFolder != settings.policyFolder) RemoveLinkedFiles(*previous, outcome.notes);
  }
  return outcome;
}

EnforceOutcome EnforceOff(RegistryStore& store) {
  EnforceOutcome outcome;
  std::optional<EnforcementSettings> settings = ReadEnforcement(store);
  if (!settings) {
    outcome.notes.push_back("Enforcement was not on for this store.");
    return outcome;
  }
  std::vector<PolicyTarget> targets = TargetsOf(*settings);
#if !defined(_WIN32)
  for (const PolicyTarget& target : targets)
    for (int level = 0; level < 2 && !target.folder.empty(); ++level) {
      struct stat info;
      if (::lstat(PlaceFile(target, level).c_str(), &info) != 0) continue;
      std::string error = CheckWritable(target.folder + "/" + kLevels[level]);
      if (!error.empty()) {
        outcome.error = error;
        outcome.needsRoot = ::geteuid() != 0;
        return outcome;
      }
    }
#endif
  RemovePolicy(store, *settings, targets, outcome.notes);
  if (!outcome.notes.empty()) {
    outcome.error = outcome.notes.front();
    return outcome;
  }
  RemoveLinkedFiles(*settings, outcome.notes);
  LONG status = DeleteKeyTree(store, HKEY_LOCAL_MACHINE, kEnforcementPath);
  if (status != ERROR_SUCCESS)
    outcome.error = store.Describe() + " cannot forget enforcement (" + StatusName(status) + ")";
  for (const PolicyTarget& target : targets)
    outcome.places.push_back(target.name + ": " +
                             (target.folder.empty() ? "HKEY_LOCAL_MACHINE\\" + target.policyKey : target.folder));
  return outcome;
}

EnforcementStatus EnforcementStatusOf(RegistryStore& store) {
  EnforcementStatus status;
  status.settings = ReadEnforcement(store);
  status.wanted = ScriptPolicyOf(store);
  if (!status.settings) return status;
  for (const PolicyTarget& target : TargetsOf(*status.settings)) {
    TargetState state;
    state.target = target;
    if (!target.policyKey.empty()) {
      Registry registry(store);
      state.present = registry.RegKeyExists(HKEY_LOCAL_MACHINE, target.recordKey);
      state.held = RegistryPolicyHeld(store, target.policyKey, target.recordKey);
    }
#if !defined(_WIN32)
    if (!target.folder.empty()) {
      state.present = true;
      for (int level = 0; level < 2; ++level) {
        std::string path = PlaceFile(target, level);
        std::optional<std::string> link = LinkTarget(path);
        if (!status.settings->copy && link != LinkedFile(*status.settings, level)) {
          state.present = false;
          state.note = path + (link ? " points elsewhere" : " is not our link");
          continue;
        }
        std::optional<std::string> text = ReadWholeFile(path);
        std::optional<ScriptPolicy> held = text ? ParsePolicyFile(*text, kLevelOf[level]) : std::nullopt;
        if (!held) {
          state.present = false;
          state.note = path + (text ? " is not a policy file" : " cannot be read");
          continue;
        }
        if (level == 0) state.held = *held;
        else state.held.recommendedDefault = held->recommendedDefault;
      }
    }
#endif
    state.inStep = state.present && state.held == status.wanted.policy;
    if (state.present && !state.inStep) {
      state.note = "behind the store";
      if (status.settings->copy) state.note += ": " + RootCommand(store);
    }
    status.targets.push_back(std::move(state));
  }
  return status;
}

}  // namespace pw
