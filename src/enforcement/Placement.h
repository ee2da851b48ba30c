// One kind of place the policy goes (the Chromium family's policy folders,
// Firefox's managed storage), as `enforce on` puts it there: step by step, so
// that a step that fails takes back what the earlier ones did.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "enforcement/Enforcement.h"
#include "registry/Result.h"

namespace pw {

class Placer {
 public:
  virtual ~Placer() = default;
  // Before anything is written: what stops `on`. Sets the outcome's
  // `needsRoot` when the places are root's and its `remedy` when another
  // request gets past it, and adds notes worth telling.
  virtual Result Check(EnforceOutcome& outcome) = 0;
  // Opens what must stay held while the policy is read and placed.
  virtual Result Prepare() = 0;
  // Puts the policy in place; the places go to `outcome`.
  virtual Result Place(const ScriptPolicy& policy, const std::vector<DomainPatterns>& domains,
                       std::uint32_t generation, EnforceOutcome& outcome) = 0;
  // Takes back what Place did.
  virtual void Undo() = 0;
  // Once the new settings are recorded: what earlier settings placed and
  // these do not keep.
  virtual void RemoveStale(const std::optional<EnforcementSettings>& previous, std::vector<std::string>& notes) = 0;
};

}  // namespace pw
