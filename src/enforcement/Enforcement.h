// Enforcement: the zone map and the zone state kept as the script policy of the
// Chromium-family browsers on the machine, and of Firefox through the content
// blocker Debian installs for it (Linux). It is switched on per store and
// recorded there; while it is on, every write to the zone map or the zone key,
// by either program, brings the policy in step before the action returns, and
// checks that the browsers still find it.
//
// Linux: the browsers read JSON files from folders only root may write. Turning
// enforcement on (as root) puts into each folder a symbolic link
// "portwarden.json" to a file beside the store, made as the store's owner, who
// then rewrites that file atomically; or, with `copy`, real files that only
// root can rewrite. What root placed is recorded beside the links, where only
// root can write, so that `off` takes it back whatever the store says.
// Firefox reads the blocker's managed storage from a manifest in a folder only
// root may write: a link to a file beside the store in the same way, or a copy.
// Windows: registry values under the browsers' policy keys of
// HKEY_LOCAL_MACHINE, written through the store.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "enforcement/FirefoxSwitches.h"
#include "enforcement/PolicyJson.h"
#include "enforcement/RegistryPolicy.h"
#include "scriptpolicy/ScriptPolicy.h"
#include "registry/FollowUpStore.h"

namespace pw {

// The store's record of enforcement, under HKEY_LOCAL_MACHINE.
inline constexpr const char* kEnforcementPath = "Software\\Portwarden\\Enforcement";
// The name of our file in each policy folder.
inline constexpr const char* kPolicyFileName = "portwarden.json";
// What a failure to bring the policy in step is reported as.
inline constexpr const char* kBrowserPolicyOperation = "the browsers' policy";

struct ChromiumBrowser {
  const char* name;       // as --browsers takes it
  const char* title;      // for people
  const char* folder;     // Linux: holds managed/ and recommended/
  const char* policyKey;  // Windows: under HKEY_LOCAL_MACHINE
  std::vector<const char*> installedAt;  // Linux: one of these exists when it is installed
};
const std::vector<ChromiumBrowser>& ChromiumBrowsers();
const ChromiumBrowser* FindChromiumBrowser(const std::string& name);
// Firefox, as --browsers takes it.
inline constexpr const char* kFirefoxName = "firefox";

struct EnforcementSettings {
  // What the store says; root trusts none of it for where to write or delete.
  std::vector<std::string> browsers;  // names from ChromiumBrowsers(), and kFirefoxName
  std::string policyRoot;             // Linux: a folder used instead of the browsers' own
  bool copy = false;                  // Linux: real files in the folders instead of links
  std::string policyFolder;           // Linux, links: the folder of the files they point to
  bool registry = false;              // the policy also as registry values in the store
};

// Whether the settings name Firefox.
bool NamesFirefox(const EnforcementSettings& settings);

// The record, or nothing when enforcement is off.
std::optional<EnforcementSettings> ReadEnforcement(RegistryStore& store);

// The store's count of writes to the zone map (0 when it keeps none).
std::uint32_t ReadGeneration(RegistryStore& store);

// The domain keys written in either hive's zone map, as the watching store
// reports the writes; false when they are not known one by one (a zone map
// written whole, or no record of the writes).
bool WrittenDomainKeys(const std::vector<FollowUpStore::Changes>* changes, std::vector<std::string>& names);

// One place the policy goes: a folder holding managed/ and recommended/, or a
// policy key (with the key recording what we wrote there).
struct PolicyTarget {
  std::string name;
  std::string title;  // for messages: "Chromium", "the policy folder"
  std::string folder;
  std::string policyKey;
  std::string recordKey;
};
std::vector<PolicyTarget> TargetsOf(const EnforcementSettings& settings);

// What a process keeps from one re-apply for the next: the domain index as it
// last wrote it, with the file's identity (a write by another process shows
// another), and the room of its texts. A long run (the window) then neither
// reads nor parses the index again after one change.
struct ReapplyMemory {
  // The store's count of writes to the zone map, as the last such write made
  // it (inside its transaction): after it, the index may be used only when
  // it holds the count before.
  std::optional<std::uint32_t> stamped;
  std::uint32_t indexGeneration = 0;
  std::string indexIdentity;
  std::vector<DomainPatterns> domains;
  AssembledDomains assembled;  // the policy of `domains`, and their text
  // Without links (the registry form alone): the generation `domains` hold.
  std::optional<std::uint32_t> domainsGeneration;
  // Room reused from one re-apply to the next: the managed and the
  // recommended policy documents (by PolicyLevel), the index's text, and what
  // a file is read into to see whether it already holds its content.
  std::string policyJson[2];
  std::string indexText;
  std::string readBack;
  std::string firefox;  // Firefox's manifest
  RegistrySyncMemory registryLists;  // the registry form's lists as last written
};

// Brings every target in step with the store and checks that the browsers
// find it (a link or copy missing or replaced is a failure, which placing the
// policy again puts right); what failed, or nothing. Does nothing when enforcement is
// off. With links, the files beside them keep the domains' patterns too, so
// that after writes to a few domains (`changes`, as the watching store reports
// them) only those are read again; otherwise, or when that index is missing or
// behind the store, the whole zone map is.
std::optional<StoreFailure> ReapplyEnforcement(RegistryStore& store,
                                               const std::vector<FollowUpStore::Changes>* changes = nullptr,
                                               ReapplyMemory* memory = nullptr);

// The store, watched: a write to the zone map or the zone key re-applies; one
// to the zone map also counts one more generation, in its own transaction.
std::unique_ptr<RegistryStore> WithBrowserEnforcement(std::unique_ptr<RegistryStore> store);

// What gets past a refusal or puts a fault right, for each program to say in
// its own terms (the command line names its options and commands).
enum class Remedy {
  None,
  Copy,         // copies in the policy folders instead of links
  Force,        // ours in the place of a file that is not ours, which is kept aside
  NameTargets,  // naming the browsers, or a policy folder
  PlaceAgain,   // placing the policy again by the store's settings, as root
  TakeOut,      // turning enforcement off for the store, as root
};

struct EnforceRequest {
  std::vector<std::string> browsers;  // empty: those installed (Linux), all (Windows)
  std::string policyRoot;
  bool copy = false;
  bool registry = false;
  bool force = false;     // replace a file that is not ours, keeping it aside
  std::string storePath;  // the store file, absolute and without links (Linux)
};

struct EnforceOutcome {
  std::string error;      // empty when done
  bool needsRoot = false;  // the error is a folder only root may write
  Remedy remedy = Remedy::None;  // what gets past the error
  std::string keptAs;            // Remedy::Force: where their file would be kept, when it has a name
  std::vector<std::string> places;  // where the policy now is
  std::vector<std::string> notes;   // worth telling
  PolicyGaps gaps;
  std::optional<SwitchGaps> firefoxGaps;  // when Firefox is named
};

// Turns enforcement on (or changes its settings) and applies the policy.
// Nothing is left half-done: when a place cannot be written, what was placed
// is taken back and the store's record is not changed.
EnforceOutcome EnforceOn(RegistryStore& store, const EnforceRequest& request);
// Removes our links, files and registry entries, and the record; puts back
// what `force` kept aside, and removes the folders `on` made once they are
// empty. Linux: our links are found in the browsers' folders by root's record
// there and by what they point to (the store at `storePath`), whatever the
// store's record says.
EnforceOutcome EnforceOff(RegistryStore& store, const std::string& storePath = "");

struct TargetState {
  PolicyTarget target;
  bool present = false;   // our policy is there
  bool inStep = false;    // and says what the store says
  bool leftOver = false;  // ours for this store, where its settings do not say
  ScriptPolicy held;
  std::string note;  // what is wrong, when something is
  Remedy remedy = Remedy::None;  // what puts it right
};
struct EnforcementStatus {
  std::optional<EnforcementSettings> settings;
  TranslatedPolicy wanted;
  std::optional<SwitchGaps> firefoxGaps;  // when the settings name Firefox
  // With no settings: what is still placed for this store (its record lost,
  // or an `on` killed midway).
  std::vector<TargetState> targets;
};
EnforcementStatus EnforcementStatusOf(RegistryStore& store, const std::string& storePath = "");

// The folder beside a store file that links point to.
std::string PolicyFolderFor(const std::string& storePath);

}  // namespace pw
