// Key paths the program reads and writes, spelled as the program spells them.
#pragma once

namespace pw {

// The Internet zone's URL-action policy, under HKEY_CURRENT_USER.
inline constexpr const char* kZonePath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
// The zone map's base key, under HKEY_CURRENT_USER, in the two spellings used:
// the list rebuild and the writers use capitals and a trailing backslash, the
// selected-row operations the mixed-case form without it. Both name one key.
inline constexpr const char* kDomainsPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains";
inline constexpr const char* kDomainsPathUpper =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\";
// Internet Settings, the root of what the program manages under either hive.
inline constexpr const char* kInternetSettingsPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// The browser's toolbar extensions, under HKEY_LOCAL_MACHINE.
inline constexpr const char* kExtensionsPath = "Software\\Microsoft\\Internet Explorer\\Extensions";
// The program's own key, under HKEY_LOCAL_MACHINE: what one installation has done once.
inline constexpr const char* kProgramKeyPath = "Software\\Portwarden";

}  // namespace pw
