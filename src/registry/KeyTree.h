#pragma once

#include <string>

#include "registry/RegistryStore.h"

namespace pw {

// Deletes parent\path (parent a hive or an open key) with every key and value
// below it. 0 when it is gone (also when it was never there); otherwise the
// store's failure.
LONG DeleteKeyTree(RegistryStore& store, HKEY parent, const std::string& path);

}  // namespace pw
