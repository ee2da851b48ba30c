#include "policy/ZoneProfiles.h"

#include "registry/KnownKeys.h"

namespace pw {
namespace {

struct Row {
  const char* name;
  std::uint32_t prompting;
  std::uint32_t lockedDown;
  std::uint32_t defaults;
};

// "1C00" is REG_BINARY and is handled apart; every other row is a REG_DWORD.
constexpr Row kRows[] = {
    {"1001", 1, 3, 1},         {"1004", 1, 3, 3},         {"1200", 1, 3, 0},
    {"1201", 1, 3, 3},         {"1206", 1, 3, 1},         {"1400", 1, 3, 0},
    {"1402", 1, 3, 0},         {"1405", 1, 3, 0},         {"1406", 1, 3, 3},
    {"1407", 1, 3, 0},         {"1604", 1, 1, 0},         {"1605", 1, 3, 0},
    {"1606", 0, 0, 0},         {"1607", 0, 0, 0},         {"1608", 0, 0, 0},
    {"1609", 1, 3, 1},         {"1800", 1, 3, 1},         {"1802", 1, 3, 0},
    {"1803", 0, 0, 0},         {"1804", 1, 3, 1},         {"1805", 1, 3, 1},
    {"1806", 1, 3, 1},         {"2001", 1, 3, 0},         {"2004", 1, 3, 0},
    {"1A00", 0, 0, 31072},     {"1C00", 0, 0, 0},         {"1E05", 65536, 65536, 65536},
    {"CurrentLevel", 9, 9, 9},
};

}  // namespace

std::vector<ProfileValue> ProfileValues(ZoneProfile profile) {
  std::vector<ProfileValue> values;
  values.reserve(std::size(kRows));
  for (const Row& row : kRows) {
    if (std::string_view(row.name) == "1C00") {
      // Four bytes in storage order, handed over as four characters.
      std::string bytes(4, '\0');
      if (profile == ZoneProfile::Default) bytes[2] = '\x01';
      values.push_back({row.name, REG_BINARY, RegData(bytes)});
      continue;
    }
    std::uint32_t number = profile == ZoneProfile::Prompting    ? row.prompting
                           : profile == ZoneProfile::LockedDown ? row.lockedDown
                                                                : row.defaults;
    values.push_back({row.name, REG_DWORD, RegData(static_cast<long long>(number))});
  }
  return values;
}

LONG WriteZoneProfile(Registry& registry, ZoneProfile profile) {
  RegistryStore& store = registry.Store();
  return WriteInTransaction(store, [&] {
    LONG first = ERROR_SUCCESS;
    for (const ProfileValue& value : ProfileValues(profile)) {
      LONG status = registry.SetRegValueChecked(HKEY_CURRENT_USER, kZonePath, value.name, value.data, value.type);
      if (first == ERROR_SUCCESS) first = status;
      if (first != ERROR_SUCCESS && store.SupportsRollback()) break;
    }
    return first;
  });
}

ZoneSecurityState ExpectedState(ZoneProfile profile) {
  switch (profile) {
    case ZoneProfile::Prompting: return ZoneSecurityState::SemiSecured;
    case ZoneProfile::LockedDown: return ZoneSecurityState::Secured;
    default: return ZoneSecurityState::Unsecured;
  }
}

}  // namespace pw
