// Taking the browser's "Trust" buttons away again: every button the uninstall
// log records, its key and its lines in the log, as an uninstall would.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registry/Registry.h"

namespace pw {

// The GUID of the button the first-start mark names, when its key is there.
std::optional<std::string> RegisteredTrustButton(Registry& registry);

struct TrustButtonRemoval {
  std::vector<std::string> removed;  // GUIDs whose keys were deleted
  std::vector<std::string> gone;     // recorded GUIDs whose keys were gone already
  std::vector<std::string> kept;     // recorded keys left alone, each with why
  std::size_t linesRemoved = 0;      // lines taken out of the log
  std::string error;                 // what failed; see RemoveTrustButtons
};

// Deletes, in one store transaction, every button key that the log at
// `logPath` records under HKEY_LOCAL_MACHINE's toolbar extensions, with the
// first-start mark when it names one of them, and then rewrites the log
// without those buttons' lines (other lines stay byte for byte). A key that
// holds values other than a Trust button's, or has subkeys, is left with its
// lines. When the log cannot be read or the store refuses, nothing changes;
// when only the rewrite fails, the keys are gone and `error` says the log
// still names them.
TrustButtonRemoval RemoveTrustButtons(Registry& registry, const std::string& logPath);

}  // namespace pw
