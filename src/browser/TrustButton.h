// The browser's "Trust" toolbar button: its registry entry under the local
// machine, the uninstall-log records of what was written, and the mark that
// keeps later starts of an installation from adding another one.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "registry/KnownKeys.h"
#include "registry/Registry.h"

namespace pw {

inline constexpr const char* kUninstallLogName = "st6unst.log";
// The mark, under kProgramKeyPath, that the first start registered the button.
inline constexpr const char* kButtonMarkName = "TrustButton";
// The free-name search gives up after this many GUIDs.
inline constexpr int kGuidDraws = 100;

// Where the button points and where its records go.
struct Installation {
  std::string folder;          // the window program's folder, no trailing separator but at a root
  char separator = '\\';       // between the folder and a file name in the values written
  std::string executableName;  // the window program as "Exec" names it (base name + ".exe" on Windows)
  std::string logPath;         // the uninstall log to append to
};

struct TrustButtonResult {
  bool registered = false;             // the key was made, every value stored and every line logged
  std::string guid;                    // the button key's name, once made (also when undone since)
  std::vector<StoreFailure> failures;  // writes the store refused, and what could not be undone
  std::string logError;                // why the uninstall log could not be written
};

// Makes a new button key under a GUID no key has yet, then opens the log,
// writes the six values and appends fourteen records. A registration that
// fails anywhere is undone: the key goes, and the records are taken back out
// of the log. `pump` runs between GUID draws so the window can paint.
TrustButtonResult RegisterTrustButton(Registry& registry, const Installation& place,
                                      const std::function<void()>& pump = {});

// True once a registration for this installation has succeeded.
bool TrustButtonRegistered(Registry& registry);

// Registers the button and sets the mark in one store transaction where the
// store has them. When the registration, the mark or the commit fails, the
// registration is undone, so that no failure leaves a button a later start
// would add to.
TrustButtonResult RegisterTrustButtonAndMark(Registry& registry, const Installation& place,
                                             const std::function<void()>& pump = {});

// The first start's step: registers and marks unless the mark is set, read
// inside the same transaction, so that two first starts at once register one
// button. Returns nothing to report when the step was skipped.
TrustButtonResult RunFirstStart(Registry& registry, const Installation& place,
                                const std::function<void()>& pump = {});

}  // namespace pw
