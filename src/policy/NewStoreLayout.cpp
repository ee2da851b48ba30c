#include "policy/NewStoreLayout.h"

#include "policy/ZoneProfiles.h"
#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"

namespace pw {

void LayOutNewStore(RegistryStore& store) {
  Registry registry(store);
  for (auto [hive, path] : {std::pair{HKEY_CURRENT_USER, kZonePath}, std::pair{HKEY_CURRENT_USER, kDomainsPath},
                            std::pair{HKEY_LOCAL_MACHINE, kExtensionsPath}})
    KeyHandle(store, registry.CreateRegKey(hive, path));
  WriteZoneProfile(registry, ZoneProfile::Default);
}

}  // namespace pw
