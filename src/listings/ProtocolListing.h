// The per-protocol listing: the exact subdomain of an address classified
// separately for HTTPS, FTP and HTTP, as the per-protocol editor writes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "listings/Zones.h"
#include "registry/Registry.h"

namespace pw {

struct ProtocolChoice {
  bool checked = false;
  std::optional<Zone> zone;  // no choice is written as Unclassified
};

// The editor's three rows, in the order they are written.
struct ProtocolChoices {
  ProtocolChoice https;
  ProtocolChoice ftp;
  ProtocolChoice http;
  bool AnyChecked() const { return https.checked || ftp.checked || http.checked; }
};

// The rows checked when the editor opens, from the address's scheme (letter
// case ignored): "ftp://" checks FTP, "http://" HTTP, "https://" HTTPS, any
// other text none. No zone is chosen.
ProtocolChoices ProtocolsForAddress(std::string_view address);

// The editor's OK: creates the key of `subdomain` under `domain` (the domain
// key itself for an empty subdomain) with the class "REG_DWORD", then writes
// "https", "ftp" and "http", in that order, for each checked row, all in one
// store transaction. Writes nothing and returns ERROR_INVALID_PARAMETER when
// no row is checked or a name is not a usable key name (an empty domain, a "\"
// in either); otherwise the status of the first write that failed, or of the
// commit (0: written).
LONG WriteProtocolListings(Registry& registry, const std::string& domain, const std::string& subdomain,
                           const ProtocolChoices& choices);

}  // namespace pw
