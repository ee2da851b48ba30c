// Windows: the browsers read their policy from the registry only, so there
// are no policy folders; the policy goes into the registry.
#include "enforcement/PolicyFolders.h"

namespace pw {

std::vector<PolicyTarget> FolderTargetsOf(const EnforcementSettings&) { return {}; }

struct FolderPlacer::State {
  EnforcementSettings& settings;
  EnforceRequest request;
};

FolderPlacer::FolderPlacer(EnforcementSettings& settings, const EnforceRequest& request)
    : state_(std::make_unique<State>(State{settings, request})) {}

FolderPlacer::~FolderPlacer() = default;

Result FolderPlacer::Check(EnforceOutcome&) {
  if (!state_->request.policyRoot.empty() || state_->request.copy)
    return Result::Failure("policy folders are for Linux; on Windows the policy goes into the registry");
  state_->settings.registry = true;
  return {};
}

Result FolderPlacer::Prepare() { return {}; }

Result FolderPlacer::Place(const ScriptPolicy&, const std::vector<DomainPatterns>&, std::uint32_t, EnforceOutcome&) {
  return {};
}

void FolderPlacer::Undo() {}

void FolderPlacer::RemoveStale(const std::optional<EnforcementSettings>&, std::vector<std::string>&) {}

bool RemoveFolderPlacements(const std::string&, const std::optional<EnforcementSettings>&, EnforceOutcome&) {
  return false;
}

void FolderStates(const std::string&, const std::optional<EnforcementSettings>&, const ScriptPolicy&,
                  std::vector<TargetState>&) {}

Result FollowLinkedFiles(RegistryStore& store, const EnforcementSettings&, const std::vector<FollowUpStore::Changes>*,
                         ReapplyMemory& memory) {
  memory.assembled.policy = ScriptPolicyOf(store).policy;
  memory.assembled.valid = false;
  return {};
}

Result FollowFolders(RegistryStore&, const EnforcementSettings&, const ScriptPolicy&, ReapplyMemory&) { return {}; }

}  // namespace pw
