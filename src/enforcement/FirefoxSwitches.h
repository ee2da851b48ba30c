// The zone map and the zone state as Firefox's script policy. Firefox has no
// per-site script policy of its own; the content blocker Debian installs
// system-wide has "no-scripting" hostname switches, which an administrator
// hands it as managed storage. A switch covers a host and every host below
// it, the more specific switch winning, as the zone map's keys do; it names no
// protocol. Everything here is pure: text in, text out.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scriptpolicy/ScriptPolicy.h"

namespace pw {

// The blocker's extension ID, the name of its managed storage.
inline constexpr const char* kBlockerId = "uBlock0@raymondhill.net";
// The Debian package that installs it.
inline constexpr const char* kBlockerPackage = "webext-ublock-origin-firefox";

// What the switches state differently from the browsers' patterns.
struct SwitchGaps {
  int widened = 0;  // per-protocol Restricted listings that block the whole host
  int leftOut = 0;  // listings no switch states: Trusted for one protocol, a host not in ASCII
  bool operator==(const SwitchGaps&) const = default;
};

struct HostnameSwitches {
  // "no-scripting" switches in order: a host ("*": every host) and whether
  // scripts are blocked there.
  std::vector<std::pair<std::string, bool>> noScripting;
  SwitchGaps gaps;
};

// The switches of the browsers' script policy: a default that blocks (secured,
// or semi-secured: the user may still relax a site from the blocker's panel)
// is "* true"; each blocked pattern its host true, each allowed one false. A
// host both blocked and allowed is blocked.
HostnameSwitches SwitchesOf(const ScriptPolicy& policy);

// One switch a line, as the blocker's backup keeps them ("no-scripting: HOST true").
std::string SwitchesText(const HostnameSwitches& switches);

// The managed-storage manifest Firefox hands the blocker: its settings in its
// backup format, as a JSON string, holding only the switches.
std::string ManagedStorageJson(const HostnameSwitches& switches);
// The same into `json`, whose room is reused.
void WriteManagedStorageJson(const HostnameSwitches& switches, std::string& json);
// The switches a manifest holds ("no-scripting" lines only); nothing when the
// text is no manifest of the blocker's.
std::optional<HostnameSwitches> SwitchesInManifest(const std::string& text);
// Whether the text is a manifest as we write them, holding nothing else.
bool IsOurManifest(const std::string& text);

// The switches as the browsers' policy shape, for showing what a manifest
// holds: "* true" the enforced default, hosts blocked and allowed.
ScriptPolicy PolicyShapeOf(const HostnameSwitches& switches);

// Our entry in Firefox's policies file: the blocker allowed in private windows.
// The entry of our ID as text, and whether a policies file holds it.
std::string BlockerEntryJson();

struct PoliciesEdit {
  std::string error;                 // the text is no policies file: left alone
  std::string text;                  // the file as it should be now
  bool changed = false;              // it differs from the file as it was
  std::optional<std::string> theirs;  // the entry of our ID that was there (JSON), when it was not ours
};
// Our entry merged into a policies file's text (empty: no file yet), every
// other entry kept in its order. An entry of our ID that is not ours is
// replaced only with `replace`, and given back in `theirs`.
PoliciesEdit AddBlockerEntry(const std::string& text, bool replace);
// Our entry taken out again (and `putBack`, an entry kept aside, restored),
// with ExtensionSettings when it holds nothing else; nothing else changes.
PoliciesEdit RemoveBlockerEntry(const std::string& text, const std::optional<std::string>& putBack);
// Whether the text holds our entry.
bool HoldsBlockerEntry(const std::string& text);
// Whether the text holds no policy at all ("{"policies": {}}"), as we leave a
// file we made once our entry is out.
bool HoldsNoPolicies(const std::string& text);

}  // namespace pw
