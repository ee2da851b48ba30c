// Enforcement in policy folders (Linux): in the folder of each browser, a
// link to the files beside the store or a copy of them, and root's record of
// what it placed there. Root makes and reads the files beside the store as the
// store's owner, through folders it has checked, and acts as root only in the
// browsers' folders. Elsewhere (Windows) there are no policy folders and these
// do nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "enforcement/Enforcement.h"
#include "enforcement/Placement.h"

namespace pw {

// The policy folders the settings name.
std::vector<PolicyTarget> FolderTargetsOf(const EnforcementSettings& settings);

// `enforce on` in the policy folders, step by step, so that nothing is left
// half-done.
class FolderPlacer : public Placer {
 public:
  // `settings` are completed by Check (the browsers installed, the folder the
  // links point to).
  FolderPlacer(EnforcementSettings& settings, const EnforceRequest& request);
  ~FolderPlacer();
  FolderPlacer(const FolderPlacer&) = delete;
  FolderPlacer& operator=(const FolderPlacer&) = delete;

  // Before anything is written: what stops `on` (the outcome's `needsRoot`
  // when the folders are root's), with notes worth telling.
  Result Check(EnforceOutcome& outcome) override;
  // Opens (makes) the folder beside the store and holds its lock until this
  // placer goes, so that no re-apply writes between the policy read and the
  // links placed.
  Result Prepare() override;
  // Writes the files beside the store (the index holding `generation`, and
  // Firefox's when it is named), then
  // in each folder root's record, and only then the links or copies.
  Result Place(const ScriptPolicy& policy, const std::vector<DomainPatterns>& domains, std::uint32_t generation,
               EnforceOutcome& outcome) override;
  // Takes back what Place did.
  void Undo() override;
  // Once the new settings are recorded: earlier placements of this store that
  // they do not keep (looked for by root's records in every browser's folder
  // and in the one `previous`, the store's earlier record, names), and files
  // beside the store no link points to any more.
  void RemoveStale(const std::optional<EnforcementSettings>& previous, std::vector<std::string>& notes) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// `enforce off`: takes out every placement of the store at `storePath` in the
// browsers' folders and in the folder `hint` names, by root's records there
// and by what the links point to, then the files beside the store. Whether
// anything was found; what failed goes to `outcome`.
bool RemoveFolderPlacements(const std::string& storePath, const std::optional<EnforcementSettings>& hint,
                            EnforceOutcome& outcome);

// `enforce status`: the state of each policy folder the settings name, and of
// placements of this store they do not name.
void FolderStates(const std::string& storePath, const std::optional<EnforcementSettings>& settings,
                  const ScriptPolicy& wanted, std::vector<TargetState>& states);

// Reads the file `name` beside the store at `storePath`, in `policyFolder`,
// as the store's owner.
Result ReadBesideStore(const std::string& storePath, const std::string& policyFolder, const std::string& name,
                       std::string& text);

// Every write, with links: the policy the store asks for (left in
// `memory.assembled`), read through the index beside the store when it is
// exactly one generation behind, and written there (the policy files first,
// the index last).
Result FollowLinkedFiles(RegistryStore& store, const EnforcementSettings& settings,
                         const std::vector<FollowUpStore::Changes>* changes, ReapplyMemory& memory);
// Every write: copies brought in step, links checked in place; the first
// failure, naming the browser and the path.
Result FollowFolders(RegistryStore& store, const EnforcementSettings& settings, const ScriptPolicy& policy,
                     ReapplyMemory& memory);

}  // namespace pw
