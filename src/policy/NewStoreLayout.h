#pragma once

#include "registry/RegistryStore.h"

namespace pw {

// Lays out a new store as a fresh user profile has it: the Internet zone key
// with the default profile (so it reads unsecured), the empty zone map, and the
// browser's extensions key. The program's writers expect these keys to exist.
void LayOutNewStore(RegistryStore& store);

}  // namespace pw
