// A store transaction around work that reports its failure the one way.
#pragma once

#include <functional>
#include <string>

#include "registry/RegistryStore.h"
#include "registry/Result.h"

namespace pw {

// Runs `work` in one transaction of `store`: commits when it succeeds, rolls
// back when it fails or throws. A failure to begin says "cannot start a
// transaction in the store S: STATUS", one to commit "the store S could not
// commit the WHAT: STATUS"; a failure of the work comes back as it gave it.
Result RunInTransaction(RegistryStore& store, const std::string& what, const std::function<Result()>& work);

}  // namespace pw
