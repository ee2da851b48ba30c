#include "policy/ZoneSecurity.h"

#include <algorithm>
#include <optional>

#include "registry/KnownKeys.h"

namespace pw {
namespace {

constexpr const char* kMonitoredActions[] = {"1001", "1004", "1200", "1201", "1206", "1400",
                                             "1402", "1405", "1406", "1605", "1609", "1800",
                                             "1802", "1804", "1805", "1806", "2001", "2004"};

struct Check {
  const char* name;
  std::int64_t lockedDown;
};
constexpr Check kFurtherChecks[] = {{"1A00", 0}, {"1C00", 0}, {"1E05", 65536}};

ZoneSecurityState Worse(ZoneSecurityState a, ZoneSecurityState b) {
  return static_cast<ZoneSecurityState>(std::max(static_cast<int>(a), static_cast<int>(b)));
}

}  // namespace

const char* ZoneSecurityStateName(ZoneSecurityState state) {
  switch (state) {
    case ZoneSecurityState::Secured: return "secured";
    case ZoneSecurityState::SemiSecured: return "semi-secured";
    default: return "unsecured";
  }
}

ZoneSecurityState DetectZoneSecurity(Registry& registry) {
  ZoneSecurityState state = ZoneSecurityState::Secured;
  // Every value is read on every call; the verdict is the worst of all.
  for (const char* name : kMonitoredActions) {
    std::optional<std::int64_t> policy = ParseDecimal(registry.GetRegValue(HKEY_CURRENT_USER, kZonePath, name));
    if (!policy || *policy == 0)
      state = Worse(state, ZoneSecurityState::Unsecured);
    else if (*policy == 1)
      state = Worse(state, ZoneSecurityState::SemiSecured);
  }
  for (const Check& check : kFurtherChecks) {
    std::optional<std::int64_t> reading =
        ParseDecimal(registry.GetRegValue(HKEY_CURRENT_USER, kZonePath, check.name));
    if (!reading || *reading != check.lockedDown) state = ZoneSecurityState::Unsecured;
  }
  return state;
}

}  // namespace pw
