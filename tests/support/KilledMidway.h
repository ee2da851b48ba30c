// Running a store's work in a child process that is killed with SIGKILL in the
// middle of it, to see what a crash leaves in an SQLite store.
#pragma once

#if defined(PW_HAVE_SQLITE) && !defined(_WIN32)
#include <functional>
#include <string>

#include "registry/RegistryStore.h"

namespace pw::test {

// Opens the SQLite store at `path` in a child process and runs `work` on it
// through a store that, at the `killAt`-th value written, stalls until the
// parent kills the child with SIGKILL (0: never; the child exits with what
// `work` returns). Returns the child's wait status. The parent must hold no
// connection to the store: one must not cross a fork.
int RunInChildKilledAt(const std::string& path, int killAt, const std::function<int(RegistryStore&)>& work);

}  // namespace pw::test
#endif
