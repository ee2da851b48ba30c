// `enforce on` in the registry: the Chromium family's policy keys under
// HKEY_LOCAL_MACHINE of the store, one per browser the settings name, each with
// the store's record of what was written there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "enforcement/Enforcement.h"
#include "enforcement/Placement.h"

namespace pw {

// The policy keys the settings name, none unless they ask for the registry.
std::vector<PolicyTarget> RegistryTargetsOf(const EnforcementSettings& settings);

class RegistryPlacer : public Placer {
 public:
  // `settings` as the other placers complete them.
  RegistryPlacer(RegistryStore& store, const EnforcementSettings& settings) : store_(store), settings_(settings) {}

  Result Check(EnforceOutcome&) override { return {}; }
  Result Prepare() override { return {}; }
  // Writes the policy into each key; an administrator's own default there is
  // kept, and said so.
  Result Place(const ScriptPolicy& policy, const std::vector<DomainPatterns>& domains, std::uint32_t generation,
               EnforceOutcome& outcome) override;
  // Takes the policy out of the keys Place made.
  void Undo() override;
  // Takes the policy out of the keys `previous` named and these settings do not.
  void RemoveStale(const std::optional<EnforcementSettings>& previous, std::vector<std::string>& notes) override;

 private:
  RegistryStore& store_;
  const EnforcementSettings& settings_;
  std::vector<PolicyTarget> madeKeys_;
};

}  // namespace pw
