#include "enforcement/RegistryPlacement.h"

#include "enforcement/RegistryPolicy.h"
#include "registry/KnownKeys.h"
#include "registry/Registry.h"

namespace pw {

std::vector<PolicyTarget> RegistryTargetsOf(const EnforcementSettings& settings) {
  std::vector<PolicyTarget> targets;
  if (!settings.registry) return targets;
  for (const ChromiumBrowser& browser : ChromiumBrowsers()) {
    bool named = settings.browsers.empty();
    for (const std::string& name : settings.browsers) named = named || name == browser.name;
    if (named)
      targets.push_back({browser.name, browser.title, "", browser.policyKey,
                         std::string(kEnforcementPath) + "\\Written\\" + browser.name});
  }
  return targets;
}

Result RegistryPlacer::Place(const ScriptPolicy& policy, const std::vector<DomainPatterns>&, std::uint32_t,
                             EnforceOutcome& outcome) {
  for (const PolicyTarget& target : RegistryTargetsOf(settings_)) {
    if (!Registry(store_).RegKeyExists(HKEY_LOCAL_MACHINE, target.recordKey)) madeKeys_.push_back(target);
    RegistryPolicyResult result = ApplyRegistryPolicy(store_, target.policyKey, target.recordKey, &policy);
    if (!result.written.Ok()) return result.written;
    outcome.places.push_back(target.name + ": HKEY_LOCAL_MACHINE\\" + target.policyKey);
    if (result.keptDefault)
      outcome.notes.push_back("An administrator's DefaultJavaScriptSetting under HKEY_LOCAL_MACHINE\\" +
                              target.policyKey + " was left in place; it applies instead of ours.");
  }
  return {};
}

void RegistryPlacer::Undo() {
  for (const PolicyTarget& target : madeKeys_) ApplyRegistryPolicy(store_, target.policyKey, target.recordKey, nullptr);
}

void RegistryPlacer::RemoveStale(const std::optional<EnforcementSettings>& previous, std::vector<std::string>& notes) {
  if (!previous) return;
  std::vector<PolicyTarget> now = RegistryTargetsOf(settings_);
  for (const PolicyTarget& old : RegistryTargetsOf(*previous)) {
    bool kept = false;
    for (const PolicyTarget& target : now) kept = kept || old.policyKey == target.policyKey;
    if (kept) continue;
    Result stale = ApplyRegistryPolicy(store_, old.policyKey, old.recordKey, nullptr).written;
    if (!stale.Ok()) notes.push_back(stale.Message());
  }
}

}  // namespace pw
