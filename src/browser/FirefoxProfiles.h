// Finding the Firefox profile in use: the profiles listed under the user's
// Firefox folders, of which the running browser holds a lock on one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pw {

// The folders that may hold Firefox's profiles.ini, given the home folder and
// XDG_CONFIG_HOME (empty: ~/.config): the classic one, the newer one under the
// configuration folder, and those of the snap and flatpak packages.
std::vector<std::string> FirefoxRoots(const std::string& home, const std::string& xdgConfigHome);

// The profile folders a root lists, most likely in use first: each
// installation's default (installs.ini and the [Install…] sections of
// profiles.ini), then the profile marked Default=1, then the others.
std::vector<std::string> ListedProfiles(const std::string& root);

// True while a running browser holds its lock on the profile.
bool ProfileLocked(const std::string& profileFolder);

// The first locked profile of the roots, in the order above; nothing when no
// Firefox runs.
std::optional<std::string> ProfileInUse(const std::vector<std::string>& roots);

// The pages open in the running Firefox of this user; empty when there is none.
std::vector<std::string> FirefoxOpenPages();

}  // namespace pw
