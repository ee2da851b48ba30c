// Windows: Firefox's script policy is not enforced here; naming it is refused.
#include "enforcement/FirefoxPlacement.h"

namespace pw {

FirefoxPlaces FirefoxPlacesOf(const EnforcementSettings&) { return {}; }
bool FirefoxInstalled() { return false; }
bool BlockerInstalled() { return false; }

struct FirefoxPlacer::State {
  EnforcementSettings& settings;
};

FirefoxPlacer::FirefoxPlacer(EnforcementSettings& settings, const EnforceRequest&)
    : state_(std::make_unique<State>(State{settings})) {}

FirefoxPlacer::~FirefoxPlacer() = default;

Result FirefoxPlacer::Check(EnforceOutcome&) {
  if (NamesFirefox(state_->settings)) return Result::Failure("Firefox's script policy is enforced on Linux only");
  return {};
}

Result FirefoxPlacer::Prepare() { return {}; }

Result FirefoxPlacer::Place(const ScriptPolicy&, const std::vector<DomainPatterns>&, std::uint32_t, EnforceOutcome&) {
  return {};
}

void FirefoxPlacer::Undo() {}

void FirefoxPlacer::RemoveStale(const std::optional<EnforcementSettings>&, std::vector<std::string>&) {}

bool RemoveFirefoxPlacements(const std::string&, const std::optional<EnforcementSettings>&, EnforceOutcome&) {
  return false;
}

void FirefoxStates(const std::string&, const std::optional<EnforcementSettings>&, const ScriptPolicy&,
                   std::vector<TargetState>&) {}

Result FollowFirefox(RegistryStore&, const EnforcementSettings&, const ScriptPolicy&, ReapplyMemory&) { return {}; }

}  // namespace pw
