// Restricting every host of a blocklist at once, and undoing it exactly.
//
// A blocklist is a hosts file as the public lists publish it ("0.0.0.0 host"
// lines, comments, loopback entries) or one host per line. Each host goes
// through the address parser; what it accepts becomes a Restricted listing of
// that host alone (or, on request, of its generalised form, as the add flow
// lists it), written by the add flow's writer. The whole list lands
// in one store transaction together with a record of what it added, under
// HKEY_CURRENT_USER\Software\Portwarden\Blocklists\NAME:
//   "Source", "Applied"  REG_SZ: the file as named, and when (UTC)
//   Created\KEY          REG_DWORD 4: a listing the list made
//   Changed\KEY          the value the listing held before, type and data as they were
// where KEY is the listing's key below the zone map's base ("example.com",
// "example.com\*.b"); the listing is always that key's "*" value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "registry/Registry.h"

namespace pw {

inline constexpr const char* kBlocklistsPath = "Software\\Portwarden\\Blocklists";

struct RefusedHost {
  int line = 0;  // 1-based
  std::string host;
  std::string reason;  // "not a well-formed host name", ...
};

// A listing a blocklist asks for, with the first host that asked for it.
struct BlocklistListing {
  std::string domain;     // "example.com"
  // The host's own subdomain key ("ads" for ads.example.com), or "*" for the
  // domain key when the host is the domain; generalised, "*" or "*.b".
  std::string subDomain;
  std::string host;
  int line = 0;
  // Generalised wider than the host: it covers the sites beside it too.
  bool widened = false;
  // The key below the zone map's base: "example.com" or "example.com\*.b".
  std::string Key() const;
};

struct Blocklist {
  std::vector<BlocklistListing> listings;  // distinct (as the store compares names), in file order
  std::vector<RefusedHost> refused;        // in file order
  std::size_t hosts = 0;                   // host names accepted, each counted once
  std::size_t systemNames = 0;             // "localhost" and the other loopback names, passed over
  std::string error;                       // not a text of host names at all; then nothing else is set
};

// Reads a hosts file or a list of one host per line: LF or CR LF, a UTF-8
// byte-order mark, "#" comments, several hosts after one address. A line that
// sends its hosts to another address than 0.0.0.0, 127.x.x.x, :: or ::1 is a
// redirection, not a block: its hosts are refused. So is a host that is a
// public suffix. Each host is listed alone, unless `generalise` asks for the
// add flow's generalised listing.
Blocklist ReadBlocklist(std::string_view text, bool generalise = false);

// A name a record can be kept under: one key name of at most 255 bytes.
bool IsBlocklistName(std::string_view name);
// The record name a file gets by default: its name without the folders.
std::string DefaultBlocklistName(std::string_view file);

struct BlocklistApplied {
  LONG status = ERROR_SUCCESS;  // the store's status when it failed
  std::string error;            // empty when the list landed (or, dry, would land)
  // The error left listings written and recorded: undoing the list removes them.
  bool partlyWritten = false;
  std::size_t created = 0;      // listings made
  std::size_t changed = 0;      // listings moved to Restricted from another zone
  std::size_t alreadyRestricted = 0;
  std::size_t recordedBefore = 0;  // already in this list's record: left as they stand
  // The listings made or changed (or, dry, to be): their index in the list and
  // what they held before ("Trusted (2)"; empty for a new one).
  struct Planned {
    std::size_t index = 0;
    std::string before;
  };
  std::vector<Planned> planned;
};

// Writes the list's listings and their record in one transaction; listings
// already Restricted, and those this list recorded before (whatever the user
// has made of them since), are left alone. A listing another applied list
// restricted goes into this list's record too, with that list's entry. With `dryRun` only counts, writing
// nothing. When the store fails, nothing is written; a store that cannot roll
// back keeps the listings written so far, each with its record entry.
BlocklistApplied ApplyBlocklist(Registry& registry, const std::string& name, const std::string& source,
                                const Blocklist& list, bool dryRun);

// A listing the undo left as it is: as the user left it, or for another list.
struct LeftListing {
  std::string key;
  std::string state;  // "deleted since", "now Trusted (2)", "kept: the blocklist "x" restricts it too"
};

struct BlocklistUndone {
  bool found = false;  // a record of that name exists
  LONG status = ERROR_SUCCESS;
  std::string error;
  std::size_t removed = 0;   // created listings deleted
  std::size_t restored = 0;  // changed listings put back to what they held
  std::vector<LeftListing> left;
};

// Removes what the list created and puts back what it changed, where the
// listing is still Restricted and no other applied list's record holds it
// (those are kept, and named in `left`); prunes the keys that leaves empty;
// deletes the record. One transaction. With `dryRun` only says what it would do.
BlocklistUndone UndoBlocklist(RegistryStore& store, const std::string& name, bool dryRun);

struct AppliedBlocklist {
  std::string name;
  std::string source;
  std::string applied;
  std::size_t created = 0;
  std::size_t changed = 0;
};

// The records, in the store's order of names.
std::vector<AppliedBlocklist> AppliedBlocklists(RegistryStore& store);

}  // namespace pw
