#include "enforcement/Enforcement.h"

#include <iterator>

#include "enforcement/FirefoxPlacement.h"
#include "enforcement/PolicyFolders.h"
#include "enforcement/RegistryPlacement.h"
#include "enforcement/RegistryPolicy.h"
#include "registry/FollowUpStore.h"
#include "registry/KeyHandle.h"
#include "registry/KeyTree.h"
#include "registry/KnownKeys.h"
#include "registry/RegData.h"
#include "registry/Registry.h"

namespace pw {
namespace {

// The store's count of writes to the zone map, kept while the policy goes
// through links (their index says which generation it reflects).
constexpr const char* kGenerationValue = "Generation";

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

bool LinksToFiles(const EnforcementSettings& settings) { return !settings.copy && !settings.policyFolder.empty(); }

// More domains written at once than this are read again with the whole map.
constexpr std::size_t kMaxDomainsReread = 256;

std::optional<std::uint32_t> GenerationIn(RegistryStore& store, HKEY key) {
  DWORD type = 0;
  char data[8];
  DWORD size = sizeof data;
  if (store.RegQueryValueExA(key, kGenerationValue, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return DwordValue(type, std::string_view(data, size));
}

LONG SetGeneration(RegistryStore& store, HKEY key, std::uint32_t generation) {
  BYTE data[4];
  for (int i = 0; i < 4; ++i) data[i] = static_cast<BYTE>(generation >> (8 * i));
  return store.RegSetValueExA(key, kGenerationValue, 0, REG_DWORD, data, sizeof data);
}

// Inside the transaction of a write to the zone map: the next generation,
// when the store keeps one.
std::optional<std::uint32_t> StampGeneration(RegistryStore& inner) {
  KeyHandle key;
  if (key.Open(inner, HKEY_LOCAL_MACHINE, kEnforcementPath, kAccess3F) != ERROR_SUCCESS) return std::nullopt;
  std::optional<std::uint32_t> generation = GenerationIn(inner, key.get());
  if (generation && SetGeneration(inner, key.get(), *generation + 1) == ERROR_SUCCESS) ++*generation;
  else generation.reset();
  return generation;
}

LONG WriteEnforcement(RegistryStore& store, const EnforcementSettings& settings) {
  Registry registry(store);
  LONG status = ERROR_SUCCESS;
  LONG commit = RunInTransaction(store, [&] {
    // Every value is written; the records of what was written below stay.
    KeyHandle key(store, registry.CreateRegKey(HKEY_LOCAL_MACHINE, kEnforcementPath));
    if (!key) {
      status = ERROR_ACCESS_DENIED;
      return;
    }
    for (LONG written : {registry.WriteRegValue(key.get(), "Browsers", REG_SZ, JoinNames(settings.browsers)),
                         registry.WriteRegValue(key.get(), "PolicyRoot", REG_SZ, settings.policyRoot),
                         registry.WriteRegValue(key.get(), "PolicyFolder", REG_SZ, settings.policyFolder),
                         registry.WriteRegValue(key.get(), "Copy", REG_DWORD, settings.copy ? 1 : 0),
                         registry.WriteRegValue(key.get(), "Registry", REG_DWORD, settings.registry ? 1 : 0)})
      if (status == ERROR_SUCCESS) status = written;
    // Links and registry entries start counting; a count already there goes on.
    if (status == ERROR_SUCCESS && (LinksToFiles(settings) || settings.registry) && !GenerationIn(store, key.get()))
      status = SetGeneration(store, key.get(), 0);
  });
  return status != ERROR_SUCCESS ? status : commit;
}

// The store's count of writes to the zone map, when it keeps one.
std::optional<std::uint32_t> StoredGeneration(RegistryStore& store) {
  KeyHandle key;
  if (key.Open(store, HKEY_LOCAL_MACHINE, kEnforcementPath, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
  return GenerationIn(store, key.get());
}

// The registry form without files beside the store: the groups this process
// translated last serve when they hold the generation before this write's
// (after a write to the zone state alone, the current one), as the index
// beside the store does for links; otherwise the whole map is read.
void FollowInMemory(RegistryStore& store, const std::vector<FollowUpStore::Changes>* changes, ReapplyMemory& memory) {
  std::optional<std::uint32_t> stamped = memory.stamped;
  memory.stamped.reset();
  ReadSnapshot snapshot(store);
  std::optional<std::uint32_t> now = StoredGeneration(store);
  std::vector<std::string> written;
  bool oneByOne = WrittenDomainKeys(changes, written);
  bool mapChanged = !oneByOne || !written.empty();
  std::optional<std::uint32_t> wanted;
  if (now && !mapChanged) wanted = now;
  else if (now && stamped && *stamped == *now) wanted = *now - 1;
  bool known = wanted && memory.domainsGeneration == wanted && oneByOne && written.size() <= kMaxDomainsReread;
  RefreshAssembledDomains(store, known, written, memory.domains, memory.assembled);
  memory.domainsGeneration = now;
}

// A write to either zone map (the watched keys' first and third), or writes
// not known one by one.
bool MapChanged(const std::vector<FollowUpStore::Changes>* changes) {
  if (!changes || changes->empty()) return true;
  for (std::size_t map : {std::size_t{0}, std::size_t{2}})
    if (map < changes->size() && ((*changes)[map].itself || !(*changes)[map].below.empty())) return true;
  return false;
}

}  // namespace

const std::vector<ChromiumBrowser>& ChromiumBrowsers() {
  static const std::vector<ChromiumBrowser> browsers = {
      {"chromium", "Chromium", "/etc/chromium/policies", "Software\\Policies\\Chromium",
       {"/usr/bin/chromium", "/usr/lib/chromium", "/etc/chromium"}},
      {"chrome", "Google Chrome", "/etc/opt/chrome/policies", kChromePolicyPath,
       {"/opt/google/chrome", "/etc/opt/chrome"}},
      {"edge", "Microsoft Edge", "/etc/opt/edge/policies", kEdgePolicyPath,
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

bool NamesFirefox(const EnforcementSettings& settings) {
  for (const std::string& name : settings.browsers)
    if (name == kFirefoxName) return true;
  return false;
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

std::uint32_t ReadGeneration(RegistryStore& store) {
  KeyHandle key;
  if (key.Open(store, HKEY_LOCAL_MACHINE, kEnforcementPath, KEY_READ) != ERROR_SUCCESS) return 0;
  return GenerationIn(store, key.get()).value_or(0);
}

bool WrittenDomainKeys(const std::vector<FollowUpStore::Changes>* changes, std::vector<std::string>& names) {
  if (!changes) return false;
  for (std::size_t map : {std::size_t{0}, std::size_t{2}}) {
    if (map >= changes->size()) continue;
    const FollowUpStore::Changes& written = (*changes)[map];
    if (written.itself) return false;
    names.insert(names.end(), written.below.begin(), written.below.end());
  }
  return true;
}

std::vector<PolicyTarget> TargetsOf(const EnforcementSettings& settings) {
  std::vector<PolicyTarget> targets = FolderTargetsOf(settings);
  for (PolicyTarget& target : RegistryTargetsOf(settings)) targets.push_back(std::move(target));
  return targets;
}

std::optional<StoreFailure> ReapplyEnforcement(RegistryStore& store,
                                               const std::vector<FollowUpStore::Changes>* changes,
                                               ReapplyMemory* memory) {
  ReapplyMemory once;
  if (!memory) memory = &once;
  std::optional<EnforcementSettings> settings = ReadEnforcement(store);
  if (!settings) {
    memory->stamped.reset();
    return std::nullopt;
  }
  Result followed;
  ScriptPolicy translated;
  bool linked = LinksToFiles(*settings) && (!FolderTargetsOf(*settings).empty() || NamesFirefox(*settings));
  bool inMemory = !linked && settings->registry;
  if (linked) {
    memory->domainsGeneration.reset();
    followed = FollowLinkedFiles(store, *settings, changes, *memory);
  } else if (inMemory) {
    memory->indexIdentity.clear();
    FollowInMemory(store, changes, *memory);
  } else {
    // The lists depend on the zone state too: a listing that follows the
    // state under a broader Trusted or Restricted one is stated as it says.
    translated = ScriptPolicyOf(store).policy;
  }
  const ScriptPolicy& policy = linked || inMemory ? memory->assembled.policy : translated;
  // Every place is brought in step; the first failure is told.
  for (Result placed :
       {FollowFolders(store, *settings, policy, *memory), FollowFirefox(store, *settings, policy, *memory)})
    if (followed.Ok()) followed = std::move(placed);
  for (const PolicyTarget& target : RegistryTargetsOf(*settings)) {
    Result written =
        ApplyRegistryPolicy(store, target.policyKey, target.recordKey, &policy, true, &memory->registryLists).written;
    if (followed.Ok()) followed = std::move(written);
  }
  if (followed.Ok()) return std::nullopt;
  return StoreFailure{store.Describe(), kBrowserPolicyOperation, followed.Message(), ERROR_SUCCESS};
}

std::unique_ptr<RegistryStore> WithBrowserEnforcement(std::unique_ptr<RegistryStore> store) {
  // In WrittenDomainKeys' order: the user's zone map, the zone key, the machine's zone map.
  std::vector<FollowUpStore::WatchedKey> watched = {
      {HKEY_CURRENT_USER, kDomainsPath}, {HKEY_CURRENT_USER, kZonePath}, {HKEY_LOCAL_MACHINE, kDomainsPath}};
  auto memory = std::make_shared<ReapplyMemory>();
  return std::make_unique<FollowUpStore>(
      std::move(store), std::move(watched),
      [memory](RegistryStore& inner, const std::vector<FollowUpStore::Changes>* changes) {
        return ReapplyEnforcement(inner, changes, memory.get());
      },
      [memory](RegistryStore& inner, const std::vector<FollowUpStore::Changes>& changes) {
        // Only the zone maps' changes count: the index holds nothing of the zone state.
        memory->stamped = MapChanged(&changes) ? StampGeneration(inner) : std::nullopt;
      });
}

EnforceOutcome EnforceOn(RegistryStore& store, const EnforceRequest& request) {
  EnforceOutcome outcome;
  EnforcementSettings settings;
  settings.browsers = request.browsers;
  for (const std::string& name : settings.browsers)
    if (!FindChromiumBrowser(name) && name != kFirefoxName) {
      outcome.error = "no browser is called '" + name + "' (known: chromium, chrome, edge, brave, firefox)";
      return outcome;
    }
  settings.copy = request.copy;
  settings.registry = request.registry;
  // The policy folders first: they complete the settings the others place by.
  FolderPlacer folders(settings, request);
  FirefoxPlacer firefox(settings, request);
  RegistryPlacer registry(store, settings);
  Placer* placers[] = {&folders, &firefox, &registry};
  for (Placer* placer : placers) {
    Result checked = placer->Check(outcome);
    if (!checked.Ok()) {
      outcome.error = checked.Message();
      return outcome;
    }
  }

  std::optional<EnforcementSettings> previous = ReadEnforcement(store);
  bool recorded = false;
  auto undo = [&](const Result& failed) {
    for (auto placer = std::rbegin(placers); placer != std::rend(placers); ++placer) (*placer)->Undo();
    if (recorded) {
      if (previous) WriteEnforcement(store, *previous);
      else DeleteKeyTree(store, HKEY_LOCAL_MACHINE, kEnforcementPath);
    }
    outcome.error = failed.Message();
    outcome.places.clear();
    outcome.notes.clear();
    return outcome;
  };
  for (Placer* placer : placers)
    if (Result prepared = placer->Prepare(); !prepared.Ok()) return undo(prepared);
  // The record before the policy is read: a write from now on counts a
  // generation, and a run killed midway leaves a record status and off see.
  LONG status = WriteEnforcement(store, settings);
  if (status != ERROR_SUCCESS)
    return undo(Result::Failure(store.Describe() + " cannot record enforcement (" + StatusName(status) + ")", status));
  recorded = true;

  std::vector<DomainPatterns> domains;
  TranslatedPolicy translated;
  std::uint32_t generation = 0;
  {
    ReadSnapshot snapshot(store);
    generation = ReadGeneration(store);
    translated = ScriptPolicyOf(store, &domains);
  }
  outcome.gaps = translated.gaps;
  if (NamesFirefox(settings)) outcome.firefoxGaps = SwitchesOf(translated.policy).gaps;
  for (Placer* placer : placers)
    if (Result placed = placer->Place(translated.policy, domains, generation, outcome); !placed.Ok())
      return undo(placed);

  // What earlier settings placed and these do not, goes: in folders by root's
  // own records, in the registry by the store's.
  for (Placer* placer : placers) placer->RemoveStale(previous, outcome.notes);
  return outcome;
}

EnforceOutcome EnforceOff(RegistryStore& store, const std::string& storePath) {
  EnforceOutcome outcome;
  std::optional<EnforcementSettings> settings = ReadEnforcement(store);
  bool found = RemoveFirefoxPlacements(storePath, settings, outcome);
  if (!outcome.error.empty()) return outcome;
  found = RemoveFolderPlacements(storePath, settings, outcome) || found;
  if (!outcome.error.empty()) return outcome;
  if (!settings) {
    if (!found) outcome.notes.push_back("Enforcement was not on for this store.");
    return outcome;
  }
  for (const PolicyTarget& target : RegistryTargetsOf(*settings)) {
    Result removed = ApplyRegistryPolicy(store, target.policyKey, target.recordKey, nullptr).written;
    if (!removed.Ok()) {
      outcome.error = removed.Message();
      return outcome;
    }
    outcome.places.push_back(target.name + ": HKEY_LOCAL_MACHINE\\" + target.policyKey);
  }
  LONG status = DeleteKeyTree(store, HKEY_LOCAL_MACHINE, kEnforcementPath);
  if (status != ERROR_SUCCESS)
    outcome.error = store.Describe() + " cannot forget enforcement (" + StatusName(status) + ")";
  return outcome;
}

EnforcementStatus EnforcementStatusOf(RegistryStore& store, const std::string& storePath) {
  EnforcementStatus status;
  status.settings = ReadEnforcement(store);
  status.wanted = ScriptPolicyOf(store);
  FolderStates(storePath, status.settings, status.wanted.policy, status.targets);
  FirefoxStates(storePath, status.settings, status.wanted.policy, status.targets);
  if (!status.settings) return status;
  if (NamesFirefox(*status.settings)) status.firefoxGaps = SwitchesOf(status.wanted.policy).gaps;
  for (const PolicyTarget& target : RegistryTargetsOf(*status.settings)) {
    TargetState state;
    state.target = target;
    state.present = Registry(store).RegKeyExists(HKEY_LOCAL_MACHINE, target.recordKey);
    state.held = RegistryPolicyHeld(store, target.policyKey, target.recordKey);
    state.inStep = state.present && state.held == status.wanted.policy;
    if (!state.present) {
      state.note = "missing";
      state.remedy = Remedy::PlaceAgain;
    } else if (!state.inStep) {
      state.note = "behind the store";
    }
    status.targets.push_back(std::move(state));
  }
  return status;
}

}  // namespace pw
