// What the zone buttons and the delete button do to the selected row of the
// site list: each writes the zone map directly and ends by rebuilding the list,
// the selection kept by position.
#pragma once

#include <optional>
#include <string>

#include "listings/SiteList.h"
#include "listings/Zones.h"
#include "registry/Registry.h"

namespace pw {

// A listing's place in the zone map under HKEY_CURRENT_USER.
struct ListingAddress {
  std::string keyPath;    // the domain key, or its subdomain key
  std::string valueName;  // "*", a protocol, or empty for the key's unnamed value
};

// The key and value a row stands for: "Default" is the value "*"; a row with
// an empty subdomain other than "Default" names the domain key with a trailing
// backslash.
ListingAddress ListingAddressOf(const SiteRow& row);

// The key path and value name of the first selected row; nothing when no row
// is selected.
std::optional<std::string> GetSelectedKeyPath(const SiteList& list);
std::optional<std::string> GetSelectedValueName(const SiteList& list);

// cmdTrust, cmdDeclassify, cmdRestrict: writes the zone into the selected
// row's value (never creating a key), then rebuilds. The row of a key that
// holds no value at all gets that key's "*" value, the listing for all
// protocols; any other row, one without text included, gets its own value as
// ListingAddressOf maps it (the Delete button's mapping). With no row selected
// only the rebuild happens.
void AssignSelectedZone(SiteList& list, Registry& registry, Zone zone, const EventPump& pump = {});

// cmdDelete: with an empty list nothing at all; with rows but none selected
// only the rebuild; otherwise DeleteListing on the selected row's listing.
void DeleteSelectedListing(SiteList& list, Registry& registry, const EventPump& pump = {});

// Writes the zone into an existing listing, then rebuilds the list. Returns
// the write's status (the open's when the key is gone).
LONG AssignListingZone(SiteList& list, Registry& registry, const ListingAddress& listing, Zone zone,
                       const EventPump& pump = {});

struct ListingDeletion {
  LONG removal = ERROR_SUCCESS;  // of the value; 0 also when it was gone already
  LONG prune = ERROR_SUCCESS;    // of PruneEmptyListingKeys; 0 when it did not run
};

// Removes the value, rebuilds the list, prunes the keys the rebuilt list shows
// without a listing, and rebuilds again. The prune does not run when the
// removal failed.
ListingDeletion DeleteListing(SiteList& list, Registry& registry, const ListingAddress& listing,
                              const EventPump& pump = {});

// Deletes HKEY_CURRENT_USER\path when it opens and has neither subkeys nor
// values at this moment.
void DeleteKeyIfEmpty(RegistryStore& store, const std::string& path);

// For every row with empty text, deletes its subdomain key and then its domain
// key when they have no subkeys and no values. The whole pass is one store
// transaction, so a value written meanwhile by another process is either seen
// (and keeps its key) or lands after the deletion and fails; it is never
// deleted with the key. Returns the transaction's status; when the store
// cannot begin it, nothing is deleted.
LONG PruneEmptyListingKeys(const SiteList& list, RegistryStore& store);

}  // namespace pw
