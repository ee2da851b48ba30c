#include "intake/Blocklist.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <unordered_map>

#include "common/Ascii.h"
#include "intake/GeneralisedListing.h"
#include "listings/ListingKeys.h"
#include "listings/ZoneAssignment.h"
#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"
#include "registry/NameFold.h"
#include "registry/RegData.h"
#include "registry/Result.h"
#include "registry/StoreTransaction.h"

namespace pw {
namespace {

constexpr const char* kCreated = "Created";
constexpr const char* kChanged = "Changed";

// A dry run reads one state of the store and writes nothing; a write runs in
// one transaction.
Result RunReadingOrWriting(RegistryStore& store, bool dryRun, const std::string& what,
                           const std::function<Result()>& work) {
  if (!dryRun) return RunInTransaction(store, what, work);
  ReadSnapshot snapshot(store);
  (void)work();
  return {};
}

// Orders names as the store's index does, near enough for locality: letters
// folded (ASCII only), the bytes unsigned.
int CompareFolded(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(AsciiUpper(a[i]));
    unsigned char y = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// A listing's key for ordering writes: its domain key, then its subdomain key
// below it (the domain key's own listing first).
struct KeyOrder {
  explicit KeyOrder(const BlocklistListing& listing)
      : domain(listing.domain), sub(listing.subDomain == "*" ? std::string_view() : listing.subDomain) {}
  // A key as the record names it: "example.com" or "example.com\*.b".
  explicit KeyOrder(std::string_view key) : domain(key.substr(0, key.find('\\'))) {
    if (domain.size() < key.size()) sub = key.substr(domain.size() + 1);
  }
  bool operator<(const KeyOrder& other) const {
    int byDomain = CompareFolded(domain, other.domain);
    return byDomain != 0 ? byDomain < 0 : CompareFolded(sub, other.sub) < 0;
  }
  std::string_view domain, sub;
};

struct StoredValue {
  DWORD type = REG_NONE;
  std::string data;
};

bool IsRestricted(const StoredValue& value) { return DwordValue(value.type, value.data) == 4u; }

// "Trusted (2)", "zone 7", "a value of type 1".
std::string Describe(const StoredValue& value) {
  if (std::optional<std::uint32_t> number = DwordValue(value.type, value.data)) {
    std::uint32_t zone = *number;
    const char* name = zone <= 4 ? ZoneName(static_cast<int>(zone)) : nullptr;
    return name ? std::string(name) + " (" + std::to_string(zone) + ")" : "zone " + std::to_string(zone);
  }
  return "a value of type " + std::to_string(value.type);
}

std::optional<StoredValue> QueryValue(RegistryStore& store, HKEY key, const std::string& name) {
  StoredValue value;
  DWORD size = 0;
  if (store.RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  value.data.resize(size);
  if (store.RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.data.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  value.data.resize(size);
  return value;
}

std::string ListingPath(const std::string& key) { return std::string(kDomainsPath) + "\\" + key; }

// The "*" value of a listing's key, when both are there.
std::optional<StoredValue> ReadListingValue(RegistryStore& store, const std::string& key) {
  KeyHandle handle;
  if (handle.Open(store, HKEY_CURRENT_USER, ListingPath(key), KEY_READ) != ERROR_SUCCESS) return std::nullopt;
  return QueryValue(store, handle.get(), "*");
}

LONG SetValue(RegistryStore& store, HKEY key, const std::string& name, DWORD type, const std::string& data) {
  return store.RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
}

bool Has(RegistryStore& store, HKEY key, const std::string& name) {
  return key && store.RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::string NowUtc() {
  std::time_t now = std::time(nullptr);
  char text[32] = "";
  if (const std::tm* utc = std::gmtime(&now)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", utc);
  return text;
}

std::string RecordPath(const std::string& name) { return std::string(kBlocklistsPath) + "\\" + name; }

// The values of the record's subkey, in the order they were recorded.
std::vector<EnumeratedValue> RecordEntries(RegistryStore& store, HKEY record, const char* part) {
  std::vector<EnumeratedValue> entries;
  KeyHandle key;
  if (key.Open(store, record, part, KEY_READ) != ERROR_SUCCESS) return entries;
  ForEachValue(store, key.get(), [&](const EnumeratedValue& value) {
    entries.push_back(value);
    return true;
  });
  return entries;
}

// A listing another applied list's record holds, with the entry it holds.
struct Claim {
  std::string list;
  const char* part = kCreated;
  StoredValue entry;
};

// What the records of the applied lists other than `name` hold, by folded
// listing key; the first list in the store's order for a key several name.
std::unordered_map<std::string, Claim> OtherListsClaims(RegistryStore& store, const std::string& name) {
  std::unordered_map<std::string, Claim> claims;
  KeyHandle base;
  if (base.Open(store, HKEY_CURRENT_USER, kBlocklistsPath, KEY_READ) != ERROR_SUCCESS) return claims;
  std::vector<std::string> lists;
  ForEachSubkey(store, base.get(), [&](const std::string& list) {
    if (!SameName(list, name)) lists.push_back(list);
    return true;
  });
  for (const std::string& list : lists) {
    KeyHandle record;
    if (record.Open(store, base.get(), list, KEY_READ) != ERROR_SUCCESS) continue;
    for (const char* part : {kCreated, kChanged})
      for (EnumeratedValue& entry : RecordEntries(store, record.get(), part))
        claims.emplace(FoldName(entry.name), Claim{list, part, {entry.type, std::move(entry.data)}});
  }
  return claims;
}

}  // namespace

std::string BlocklistListing::Key() const { return ShortListingKey(domain, SubdomainKeyOf(subDomain)); }

bool IsBlocklistName(std::string_view name) { return name.size() <= kMaxKeyNameLength && IsListingKeyName(name); }

std::string DefaultBlocklistName(std::string_view file) {
  std::size_t slash = file.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? file : file.substr(slash + 1));
}

BlocklistApplied ApplyBlocklist(Registry& registry, const std::string& name, const std::string& source,
                                const Blocklist& list, bool dryRun) {
  RegistryStore& store = registry.Store();
  BlocklistApplied result;
  result.planned.reserve(list.listings.size());  // at most one each; grown by doubling, a third more room
  const BlocklistListing* failedAt = nullptr;
  auto work = [&]() -> Result {
    std::string failure;
    // The record first, so that on a store without rollback every listing
    // written has its entry.
    KeyHandle created, changed;
    std::string path = RecordPath(name);
    auto openPart = [&](const char* part, KeyHandle& key) {
      std::string partPath = path + "\\" + part;
      LONG status = dryRun ? key.Open(store, HKEY_CURRENT_USER, partPath, KEY_READ)
                           : key.Create(store, HKEY_CURRENT_USER, partPath, kAccess3F);
      return dryRun || status == ERROR_SUCCESS ? ERROR_SUCCESS : status;
    };
    LONG status = openPart(kCreated, created);
    if (status == ERROR_SUCCESS) status = openPart(kChanged, changed);
    if (status == ERROR_SUCCESS && !dryRun) {
      KeyHandle record;
      status = record.Open(store, HKEY_CURRENT_USER, path, kAccess3F);
      if (status == ERROR_SUCCESS) {
        status = SetValue(store, record.get(), "Source", REG_SZ, source);
        if (status == ERROR_SUCCESS) status = SetValue(store, record.get(), "Applied", REG_SZ, NowUtc());
      }
    }
    if (status != ERROR_SUCCESS) {
      result.status = status;
      failure = "cannot write the record HKEY_CURRENT_USER\\" + path + ": " + StatusText(status);
    }
    std::unordered_map<std::string, Claim> claims = OtherListsClaims(store, name);
    // A store that rolls back gets the listings after their record entries,
    // in the order of their keys: a failure leaves nothing either way, and
    // inserts in key order keep the store's indexes from being rewritten page
    // by page at random (a quarter of a large list's time). Elsewhere each
    // listing is written with its entry, so that one written has its entry.
    bool later = !dryRun && store.SupportsRollback();
    std::vector<const BlocklistListing*> pending;
    auto fail = [&](const BlocklistListing& listing, LONG failed) {
      failedAt = &listing;
      result.status = failed;
      failure = "cannot restrict " + listing.Key() + " (line " + std::to_string(listing.line) + ", " + listing.host +
                "): " + StatusText(failed);
    };
    auto restrict = [&](const BlocklistListing& listing) {
      status = WriteGeneralisedListing(registry, listing.domain, listing.subDomain, Zone::Restricted);
      if (status != ERROR_SUCCESS) fail(listing, status);
    };
    for (const BlocklistListing& listing : list.listings) {
      if (status != ERROR_SUCCESS) break;
      std::string key = listing.Key();
      if (Has(store, created.get(), key) || Has(store, changed.get(), key)) {
        ++result.recordedBefore;
        continue;
      }
      std::optional<StoredValue> old = ReadListingValue(store, key);
      if (old && IsRestricted(*old)) {
        // Restricted by another list: this one records it too, as that list
        // did, so that undoing either list keeps it for the other and the
        // last undo puts back what was there before both.
        auto claim = claims.find(FoldName(key));
        if (claim != claims.end() && !dryRun) {
          status = SetValue(store, (claim->second.part == kCreated ? created : changed).get(), key,
                            claim->second.entry.type, claim->second.entry.data);
          if (status != ERROR_SUCCESS) {
            failedAt = &listing;
            result.status = status;
            failure = "cannot record " + key + " (line " + std::to_string(listing.line) + ", " + listing.host +
                      "): " + StatusText(status);
            break;
          }
        }
        ++result.alreadyRestricted;
        continue;
      }
      if (!dryRun) {
        if (!later) restrict(listing);
        if (status == ERROR_SUCCESS)
          status = old ? SetValue(store, changed.get(), key, old->type, old->data)
                       : SetValue(store, created.get(), key, REG_DWORD, std::string("\x04\0\0\0", 4));
        if (status != ERROR_SUCCESS) {
          if (failure.empty()) fail(listing, status);
          break;
        }
        if (later) pending.push_back(&listing);
      }
      ++(old ? result.changed : result.created);
      result.planned.push_back({static_cast<std::size_t>(&listing - list.listings.data()), old ? Describe(*old) : ""});
    }
    std::sort(pending.begin(), pending.end(), [](const BlocklistListing* a, const BlocklistListing* b) {
      return KeyOrder(*a) < KeyOrder(*b);
    });
    for (const BlocklistListing* listing : pending) {
      if (status != ERROR_SUCCESS) break;
      restrict(*listing);
    }
    return failure.empty() ? Result() : Result::Failure(failure, result.status);
  };
  Result done = RunReadingOrWriting(store, dryRun, "blocklist", work);
  if (done.Ok()) return result;
  result.status = done.Status();
  const std::string& failure = done.Message();
  if (store.SupportsRollback() || !failedAt) {
    result.error = failure + "; nothing was written";
    result.created = result.changed = result.alreadyRestricted = result.recordedBefore = 0;
    result.planned.clear();
  } else {
    result.error = failure + "; the listings before it were written and recorded, since this store cannot undo "
                             "them";
    result.partlyWritten = true;
  }
  return result;
}

BlocklistUndone UndoBlocklist(RegistryStore& store, const std::string& name, bool dryRun) {
  BlocklistUndone result;
  std::string path = RecordPath(name);
  bool begun = false;
  auto work = [&]() -> Result {
    begun = true;
    std::vector<EnumeratedValue> created, changed;
    {
      KeyHandle record;
      if (record.Open(store, HKEY_CURRENT_USER, path, KEY_READ) != ERROR_SUCCESS) return {};
      result.found = true;
      created = RecordEntries(store, record.get(), kCreated);
      changed = RecordEntries(store, record.get(), kChanged);
    }
    std::unordered_map<std::string, Claim> claims = OtherListsClaims(store, name);

    // Each entry is undone only where the listing still holds what the list
    // wrote; otherwise the user has had the last word.
    auto undo = [&](const EnumeratedValue& entry, const StoredValue* before) {
      std::size_t slash = entry.name.find('\\');
      std::string domain = entry.name.substr(0, slash);
      std::string subdomain = slash == std::string::npos ? "" : entry.name.substr(slash + 1);
      if (!IsListingKeyName(domain) || (slash != std::string::npos && !IsListingKeyName(subdomain))) {
        result.left.push_back({entry.name, "not a zone-map key; left alone"});
        return LONG{ERROR_SUCCESS};
      }
      std::optional<StoredValue> now = ReadListingValue(store, entry.name);
      if (!now || !IsRestricted(*now)) {
        result.left.push_back({entry.name, now ? "now " + Describe(*now) : "deleted since"});
        return LONG{ERROR_SUCCESS};
      }
      if (auto claim = claims.find(FoldName(entry.name)); claim != claims.end()) {
        result.left.push_back({entry.name, "kept: the blocklist \"" + claim->second.list + "\" restricts it too"});
        return LONG{ERROR_SUCCESS};
      }
      ++(before ? result.restored : result.removed);
      if (dryRun) return LONG{ERROR_SUCCESS};
      LONG status;
      {
        KeyHandle key;
        status = key.Open(store, HKEY_CURRENT_USER, ListingPath(entry.name), kAccess3F);
        if (status != ERROR_SUCCESS) return status;
        status = before ? SetValue(store, key.get(), "*", before->type, before->data)
                        : store.RegDeleteValueA(key.get(), "*");
      }
      if (status != ERROR_SUCCESS || before) return status;
      // The subdomain key before its domain key, as the Delete button prunes.
      if (slash != std::string::npos) DeleteKeyIfEmpty(store, ListingPath(entry.name));
      DeleteKeyIfEmpty(store, ListingPath(domain));
      return LONG{ERROR_SUCCESS};
    };
    // Where the store rolls back, the listings go in the order of their keys,
    // as apply wrote them (deletes in the tables' order); each one's outcome
    // is its own, and what is left is told in the record's order.
    struct Entry {
      const EnumeratedValue* value;
      bool changed;
      std::size_t place;  // in the record's order
    };
    std::vector<Entry> entries;
    entries.reserve(created.size() + changed.size());
    bool sorted = !dryRun && store.SupportsRollback();
    for (const auto* part : {&created, &changed})
      for (const EnumeratedValue& entry : *part)
        entries.push_back({&entry, part == &changed, entries.size()});
    std::vector<std::size_t> leftAt;  // each left listing's place in `entries`
    if (sorted)
      std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return KeyOrder(a.value->name) < KeyOrder(b.value->name);
      });
    LONG status = ERROR_SUCCESS;
    for (const Entry& entry : entries) {
      std::size_t leftBefore = result.left.size();
      if (entry.changed) {
        StoredValue before{entry.value->type, entry.value->data};
        status = undo(*entry.value, &before);
      } else {
        status = undo(*entry.value, nullptr);
      }
      if (result.left.size() > leftBefore) leftAt.push_back(entry.place);
      if (status != ERROR_SUCCESS) break;
    }
    if (sorted) {
      std::vector<std::size_t> order(result.left.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return leftAt[a] < leftAt[b]; });
      std::vector<LeftListing> inOrder;
      inOrder.reserve(order.size());
      for (std::size_t i : order) inOrder.push_back(std::move(result.left[i]));
      result.left = std::move(inOrder);
    }
    if (status != ERROR_SUCCESS) {
      result.status = status;
      return Result::Failure("cannot put back a listing of the list: " + StatusText(status), status);
    }
    if (dryRun) return {};
    for (const char* part : {kCreated, kChanged}) {
      status = store.RegDeleteKeyA(HKEY_CURRENT_USER, path + "\\" + part);
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) break;
      status = ERROR_SUCCESS;
    }
    if (status == ERROR_SUCCESS) status = store.RegDeleteKeyA(HKEY_CURRENT_USER, path);
    if (status != ERROR_SUCCESS) {
      result.status = status;
      return Result::Failure("cannot delete the record HKEY_CURRENT_USER\\" + path + ": " + StatusText(status),
                             status);
    }
    DeleteKeyIfEmpty(store, kBlocklistsPath);
    DeleteKeyIfEmpty(store, "Software\\Portwarden");
    return {};
  };
  Result done = RunReadingOrWriting(store, dryRun, "undo", work);
  if (done.Ok()) return result;
  result.status = done.Status();
  // A transaction that could not begin undid nothing, whatever the store.
  bool nothingUndone = store.SupportsRollback() || !begun;
  result.error = done.Message() + (nothingUndone ? "; nothing was undone"
                                                 : "; what was undone before it stays undone, since this store "
                                                   "cannot roll back; the record is kept");
  result.removed = result.restored = 0;
  result.left.clear();
  return result;
}

std::vector<AppliedBlocklist> AppliedBlocklists(RegistryStore& store) {
  std::vector<AppliedBlocklist> lists;
  ReadSnapshot snapshot(store);
  KeyHandle base;
  if (base.Open(store, HKEY_CURRENT_USER, kBlocklistsPath, KEY_READ) != ERROR_SUCCESS) return lists;
  std::vector<std::string> names;
  ForEachSubkey(store, base.get(), [&](const std::string& name) {
    names.push_back(name);
    return true;
  });
  for (const std::string& name : names) {
    AppliedBlocklist list;
    list.name = name;
    KeyHandle record;
    if (record.Open(store, base.get(), name, KEY_READ) != ERROR_SUCCESS) continue;
    for (auto [value, text] : {std::pair{"Source", &list.source}, std::pair{"Applied", &list.applied}}) {
      std::optional<StoredValue> read = QueryValue(store, record.get(), value);
      if (read && read->type == REG_SZ) *text = read->data.substr(0, read->data.find('\0'));
    }
    for (const auto& part : {std::pair{kCreated, &list.created}, std::pair{kChanged, &list.changed}}) {
      KeyHandle key;
      if (key.Open(store, record.get(), part.first, KEY_READ) != ERROR_SUCCESS) continue;
      std::size_t* count = part.second;
      ForEachValue(store, key.get(), [count](const EnumeratedValue&) {
        ++*count;
        return true;
      });
    }
    lists.push_back(std::move(list));
  }
  return lists;
}

}  // namespace pw
