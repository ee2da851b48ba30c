#include "listings/ZoneAssignment.h"

#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"

namespace pw {
namespace {

const SiteRow* SelectedRow(const SiteList& list) {
  int position = list.SelectedPositionOrEnd();
  return position <= list.Count() ? &list.Row(position) : nullptr;
}

// Index 0 of the key's values, read with the enumeration's own buffers: "no
// more items" means none; anything else, a name too long for them included,
// counts as content.
LONG FirstValueStatus(RegistryStore& store, HKEY key) {
  char name[255];
  BYTE data[255];
  DWORD nameLength = sizeof name;
  DWORD dataLength = sizeof data;
  return store.RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, data, &dataLength);
}

// True when the key opens and holds no value at all.
bool KeyHoldsNoValues(RegistryStore& store, const std::string& path) {
  KeyHandle key;
  if (key.OpenA(store, HKEY_CURRENT_USER, path) != ERROR_SUCCESS) return false;
  return FirstValueStatus(store, key.get()) == ERROR_NO_MORE_ITEMS;
}

}  // namespace

// Deletes the key when it opens and has neither subkeys nor values at this
// moment.
void DeleteKeyIfEmpty(RegistryStore& store, const std::string& path) {
  KeyHandle key;
  if (key.OpenA(store, HKEY_CURRENT_USER, path) != ERROR_SUCCESS) return;
  char name[255];
  DWORD nameLength = sizeof name;
  LONG subkeys = store.RegEnumKeyExA(key.get(), 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
  LONG values = FirstValueStatus(store, key.get());
  key.Close();
  if (subkeys == ERROR_NO_MORE_ITEMS && values == ERROR_NO_MORE_ITEMS) store.RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

ListingAddress ListingAddressOf(const SiteRow& row) {
  std::string domainKey = std::string(kDomainsPath) + "\\" + row.domain;
  ListingAddress address;
  address.keyPath = row.subdomain.empty() && row.text == "Default" ? domainKey : domainKey + "\\" + row.subdomain;
  address.valueName = row.text == "Default" ? "*" : row.text;
  return address;
}

std::optional<std::string> GetSelectedKeyPath(const SiteList& list) {
  const SiteRow* row = SelectedRow(list);
  if (!row) return std::nullopt;
  return ListingAddressOf(*row).keyPath;
}

std::optional<std::string> GetSelectedValueName(const SiteList& list) {
  const SiteRow* row = SelectedRow(list);
  if (!row) return std::nullopt;
  return ListingAddressOf(*row).valueName;
}

LONG AssignListingZone(SiteList& list, Registry& registry, const ListingAddress& listing, Zone zone,
                       const EventPump& pump) {
  LONG status = registry.SetRegValueChecked(HKEY_CURRENT_USER, listing.keyPath, listing.valueName,
                                            static_cast<int>(zone), REG_DWORD);
  list.Rebuild(registry.Store(), pump);
  return status;
}

void AssignSelectedZone(SiteList& list, Registry& registry, Zone zone, const EventPump& pump) {
  const SiteRow* row = SelectedRow(list);
  if (!row) {
    list.Rebuild(registry.Store(), pump);
    return;
  }
  ListingAddress listing = ListingAddressOf(*row);
  // The row of a key that holds no value at all is the bare key: its listing
  // is "*", for all protocols, not the unnamed value the browser never reads.
  // Every other row without text stands for a real value of its key and keeps
  // the row's own mapping, so that it never changes another row's value.
  // (assign, not operator=: GCC 12 warns falsely on a short literal here.)
  if (row->text.empty() && KeyHoldsNoValues(registry.Store(), listing.keyPath)) listing.valueName.assign(1, '*');
  AssignListingZone(list, registry, listing, zone, pump);
}

void DeleteSelectedListing(SiteList& list, Registry& registry, const EventPump& pump) {
  if (list.Count() == 0) return;
  const SiteRow* row = SelectedRow(list);
  if (!row) {
    list.Rebuild(registry.Store(), pump);
    return;
  }
  DeleteListing(list, registry, ListingAddressOf(*row), pump);
}

ListingDeletion DeleteListing(SiteList& list, Registry& registry, const ListingAddress& listing,
                              const EventPump& pump) {
  RegistryStore& store = registry.Store();
  ListingDeletion result;
  if (KeyHandle key; key.OpenA(store, HKEY_CURRENT_USER, listing.keyPath) == ERROR_SUCCESS) {
    result.removal = store.RegDeleteValueA(key.get(), listing.valueName);
    if (result.removal == ERROR_FILE_NOT_FOUND) result.removal = ERROR_SUCCESS;  // gone meanwhile
  }
  list.Rebuild(store, pump);
  if (result.removal != ERROR_SUCCESS) return result;
  result.prune = PruneEmptyListingKeys(list, store);
  list.Rebuild(store, pump);
  return result;
}

LONG PruneEmptyListingKeys(const SiteList& list, RegistryStore& store) {
  bool anyCandidate = false;
  for (const SiteRow& row : list.Rows()) anyCandidate = anyCandidate || row.text.empty();
  if (!anyCandidate) return ERROR_SUCCESS;
  return RunInTransaction(store, [&] {
    std::string base = std::string(kDomainsPath) + "\\";
    for (const SiteRow& row : list.Rows()) {
      if (!row.text.empty()) continue;
      // The subdomain key first, so that a domain key whose last subdomain it
      // was can go in the same pass.
      if (!row.subdomain.empty()) DeleteKeyIfEmpty(store, base + row.domain + "\\" + row.subdomain);
      DeleteKeyIfEmpty(store, base + row.domain);
    }
  });
}

}  // namespace pw
