// Enforcement: the zone map and the zone state kept as the script policy of the
// Chromium-family browsers on the machine. It is switched on per store and
// recorded there; while it is on, every write to the zone map or the zone key,
// by either program, brings the policy in step before the action returns.
//
// Linux: the browsers read JSON files from folders only root may write. Turning
// enforcement on (as root) puts into each folder a symbolic link
// "portwarden.json" to a file beside the store, owned by the store's owner, who
// then rewrites that file atomically; or, with `copy`, real files that only
// root can rewrite. Windows: registry values under the browsers' policy keys
// of HKEY_LOCAL_MACHINE, written through the store.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browser/ScriptPolicy.h"
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

struct EnforcementSettings {
  std::vector<std::string> browsers;  // names from ChromiumBrowsers()
  std::string policyRoot;             // Linux: a folder used instead of the browsers' own
  bool copy = false;                  // Linux: real files in the folders instead of links
  std::string policyFolder;           // Linux, links: the folder of the files they point to
  bool registry = false;              // the policy also as registry values in the store
};

// The record, or nothing when enforcement is off.
std::optional<EnforcementSettings> ReadEnforcement(RegistryStore& store);

// One place the policy goes: a folder holding managed/ and recommended/, or a
// policy key (with the key recording what we wrote there).
struct PolicyTarget {
  std::string name;
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
  std::string indexIdentity;
  std::vector<DomainPatterns> domains;
  std::string text[3];
};

// Brings every target in step with the store; what failed, or nothing. Does
// nothing when enforcement is off. With links, the files beside them keep the
// domains' patterns too, so that after writes to a few domains (`changes`, as
// the watching store reports them) only those are read again; otherwise, or
// when that index is missing, the whole zone map is.
std::optional<StoreFailure> ReapplyEnforcement(RegistryStore& store,
                                               const std::vector<FollowUpStore::Changes>* changes = nullptr,
                                               ReapplyMemory* memory = nullptr);

// The store, watched: a write to the zone map or the zone key re-applies.
std::unique_ptr<RegistryStore> WithBrowserEnforcement(std::unique_ptr<RegistryStore> store);

struct EnforceRequest {
  std::vector<std::string> browsers;  // empty: those installed (Linux), all (Windows)
  std::string policyRoot;
  bool copy = false;
  bool registry = false;
  std::string storePath;  // the store file, absolute (Linux, links)
};

struct EnforceOutcome {
  std::string error;      // empty when done
  bool needsRoot = false;  // the error is a folder only root may write
  std::vector<std::string> places;  // where the policy now is
  std::vector<std::string> notes;   // worth telling
  PolicyGaps gaps;
};

// Turns enforcement on (or changes its settings) and applies the policy.
// Nothing is left half-done: when a place cannot be written, what was placed
// is taken back and the store's record is not changed.
EnforceOutcome EnforceOn(RegistryStore& store, const EnforceRequest& request);
// Removes our links, files and registry entries, and the record.
EnforceOutcome EnforceOff(RegistryStore& store);

struct TargetState {
  PolicyTarget target;
  bool present = false;  // our policy is there
  bool inStep = false;   // and says what the store says
  ScriptPolicy held;
  std::string note;      // what is wrong, when something is
};
struct EnforcementStatus {
  std::optional<EnforcementSettings> settings;
  TranslatedPolicy wanted;
  std::vector<TargetState> targets;
};
EnforcementStatus EnforcementStatusOf(RegistryStore& store);

// The folder beside a store file that links point to.
std::string PolicyFolderFor(const std::string& storePath);

}  // namespace pw
