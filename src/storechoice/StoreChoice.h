// Choosing and opening the store a program works on: `--store PATH`, else the
// PORTWARDEN_STORE variable, else the default store of the platform.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"

namespace pw {

struct OpenedStore {
  std::unique_ptr<RegistryStore> store;  // null when it could not be opened
  std::string error;                     // why not, naming the file
  std::string note;                      // a line worth telling (a new store was created)
  std::string folder;                    // the store file's folder; empty for the platform's registry
};

// Takes "--store PATH" and "--store=PATH" out of `args`. Returns the path, or
// nothing when the option is absent; `error` is set when it lacks its value.
// Words after "--" are left alone.
std::optional<std::string> TakeStoreOption(std::vector<std::string>& args, std::string& error);

// $XDG_DATA_HOME/portwarden/registry.db, or ~/.local/share/portwarden/registry.db.
std::string DefaultStorePath();

// What a program means to do with the store it opens.
enum class StoreAccess { Write, Read };

// The store to use: the path given, else PORTWARDEN_STORE, else the default
// (whose folders are created, mode 0700). A new file is laid out as a fresh
// user profile. While the store's browser enforcement is on, every write to
// the zone map or the zone state through it brings the browsers' policy in
// step. On Windows the store is always the Windows registry, and a path given
// is refused with a message.
//
// Only a program that writes creates a store. To one that only reads, a store
// that does not exist is an error naming the path when the path was named
// (--store or PORTWARDEN_STORE), a mistyped one most likely; at the default
// path it is what a new store would be, a fresh profile in memory, and nothing
// is created.
OpenedStore OpenChosenStore(const std::optional<std::string>& path, StoreAccess access = StoreAccess::Write);

}  // namespace pw
