// Enforcement in Firefox (Linux): the content blocker's managed-storage
// manifest in a folder only root may write, a link to a file beside the store
// or a copy, with root's record of what it placed beside it; and our entry in
// the policies file Firefox reads, which lets the blocker into private windows
// and keeps every entry an administrator wrote. Elsewhere (Windows) Firefox is
// not enforced and these do nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "enforcement/Enforcement.h"
#include "enforcement/Placement.h"

namespace pw {

// The name of Firefox's file beside the store.
inline constexpr const char* kFirefoxLinkedName = "firefox-managed-storage.json";

// Where Firefox reads what we place: the manifest's folder and the policies
// file (the one Firefox reads now, or the one `on` makes). Empty when the
// settings do not name Firefox.
struct FirefoxPlaces {
  std::string manifestFolder;
  std::string policiesFile;
};
FirefoxPlaces FirefoxPlacesOf(const EnforcementSettings& settings);

// Whether Firefox, and its content blocker, are installed here.
bool FirefoxInstalled();
bool BlockerInstalled();

class FirefoxPlacer : public Placer {
 public:
  // `settings` are those FolderPlacer completed (the folder the link points to).
  FirefoxPlacer(EnforcementSettings& settings, const EnforceRequest& request);
  ~FirefoxPlacer() override;
  FirefoxPlacer(const FirefoxPlacer&) = delete;
  FirefoxPlacer& operator=(const FirefoxPlacer&) = delete;

  Result Check(EnforceOutcome& outcome) override;
  Result Prepare() override;
  // Root's record first, then the manifest, then our entry in the policies file.
  Result Place(const ScriptPolicy& policy, const std::vector<DomainPatterns>& domains, std::uint32_t generation,
               EnforceOutcome& outcome) override;
  void Undo() override;
  void RemoveStale(const std::optional<EnforcementSettings>& previous, std::vector<std::string>& notes) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// `enforce off`: takes out the placements of the store at `storePath` found
// by root's records and by where the manifest links point (Firefox's own
// folder and the one `hint` names), and our entry from the policies file each
// record names, putting back what a forced `on` kept aside. Whether anything was found.
bool RemoveFirefoxPlacements(const std::string& storePath, const std::optional<EnforcementSettings>& hint,
                             EnforceOutcome& outcome);

// `enforce status`: Firefox's state when the settings name it, and placements
// of this store they do not name.
void FirefoxStates(const std::string& storePath, const std::optional<EnforcementSettings>& settings,
                   const ScriptPolicy& wanted, std::vector<TargetState>& states);

// Every write: a copy rewritten, a link checked in place; what failed, naming
// the path.
Result FollowFirefox(RegistryStore& store, const EnforcementSettings& settings, const ScriptPolicy& policy,
                     ReapplyMemory& memory);

}  // namespace pw
