#include "intake/Blocklist.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "intake/GeneralisedListing.h"
#include "intake/PublicSuffix.h"
#include "intake/SiteAddress.h"
#include "listings/ListingKeys.h"
#include "listings/ZoneAssignment.h"
#include "registry/Enumeration.h"
#include "registry/KnownKeys.h"
#include "registry/NameFold.h"
#include "registry/RegData.h"

namespace pw {
namespace {

constexpr const char* kCreated = "Created";
constexpr const char* kChanged = "Changed";

// Names every hosts file carries for the machine itself; they are no sites.
bool IsSystemName(std::string_view host) {
  static const std::unordered_set<std::string> names = {
      "LOCALHOST",      "LOCALHOST.LOCALDOMAIN", "LOCAL",         "BROADCASTHOST",  "LOCALHOST4",
      "LOCALHOST6",     "LOCALHOST4.LOCALDOMAIN4", "LOCALHOST6.LOCALDOMAIN6", "IP6-LOCALHOST", "IP6-LOOPBACK",
      "IP6-LOCALNET",   "IP6-MCASTPREFIX",       "IP6-ALLNODES",  "IP6-ALLROUTERS", "IP6-ALLHOSTS",
      "0.0.0.0"};
  return names.count(FoldName(host)) > 0;
}

// A dotted IPv4 address of four numbers below 256; `sink` tells whether it
// leads nowhere (0.0.0.0 or the loopback net).
bool IsIpv4(std::string_view text, bool& sink) {
  unsigned octets[4] = {};
  int count = 0;
  std::size_t digits = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (++digits > 3 || count > 3) return false;
      octets[count] = octets[count] * 10 + static_cast<unsigned>(c - '0');
      if (octets[count] > 255) return false;
    } else if (c == '.' && digits > 0 && count < 3) {
      ++count;
      digits = 0;
    } else {
      return false;
    }
  }
  if (count != 3 || digits == 0) return false;
  sink = octets[0] == 127 || (octets[0] == 0 && octets[1] == 0 && octets[2] == 0 && octets[3] == 0);
  return true;
}

// An IPv6 address (groups of hex digits and colons, a "%zone" allowed); `sink`
// for "::" and "::1" in any spelling.
bool IsIpv6(std::string_view text, bool& sink) {
  text = text.substr(0, text.find('%'));
  if (text.find(':') == std::string_view::npos) return false;
  std::vector<unsigned> groups;
  unsigned group = 0;
  std::size_t digits = 0;
  for (char c : text) {
    int hex = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (c == ':') {
      groups.push_back(group);
      group = 0;
      digits = 0;
    } else if (hex >= 0 && ++digits <= 4) {
      group = group * 16 + static_cast<unsigned>(hex);
    } else {
      return false;
    }
  }
  groups.push_back(group);
  if (groups.size() > 9) return false;
  sink = groups.back() <= 1;
  for (std::size_t i = 0; i + 1 < groups.size(); ++i) sink = sink && groups[i] == 0;
  return true;
}

std::string RefusalReason(const SiteAddressParts& parts) {
  switch (parts.Verdict) {
    case AddressVerdict::TooShort: return "too short for a site (fewer than 6 characters)";
    case AddressVerdict::FraudAlert: return "a raw IP address (" + parts.IpText + "), not a site's name";
    default: return "not a well-formed host name";
  }
}

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
  HKEY handle = 0;
  if (store.RegOpenKeyExA(HKEY_CURRENT_USER, ListingPath(key), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return std::nullopt;
  std::optional<StoredValue> value = QueryValue(store, handle, "*");
  store.RegCloseKey(handle);
  return value;
}

LONG SetValue(RegistryStore& store, HKEY key, const std::string& name, DWORD type, const std::string& data) {
  return store.RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
}

bool Has(RegistryStore& store, HKEY key, const std::string& name) {
  return key && store.RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::string StatusText(LONG status) { return std::to_string(status) + " (" + StatusName(status) + ")"; }

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
  HKEY key = 0;
  if (store.RegOpenKeyExA(record, part, 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
  ForEachValue(store, key, [&](const EnumeratedValue& value) {
    entries.push_back(value);
    return true;
  });
  store.RegCloseKey(key);
  return entries;
}

// A dry run reads one state of the store; a write runs in one transaction.
// False, with the error, when the transaction cannot begin.
bool BeginWork(RegistryStore& store, bool dryRun, std::optional<ReadSnapshot>& snapshot, LONG& status,
               std::string& error, const char* nothingDone) {
  if (dryRun) {
    snapshot.emplace(store);
    return true;
  }
  status = store.BeginTransaction();
  if (status == ERROR_SUCCESS) return true;
  error = "cannot start a transaction in the store " + store.Describe() + ": " + StatusText(status) + "; " + nothingDone;
  return false;
}

// Commits when nothing failed, otherwise rolls back. Returns the failure, the
// commit's own included; empty when the work landed.
std::string EndWork(RegistryStore& store, std::string failure, const char* what, LONG& status) {
  if (!failure.empty()) {
    store.RollbackTransaction();
    return failure;
  }
  status = store.CommitTransaction();
  if (status == ERROR_SUCCESS) return "";
  return "the store " + store.Describe() + " could not commit the " + what + ": " + StatusText(status);
}

// Undoes a transaction that was begun, also when the work throws.
template <typename Work>
auto Guarded(RegistryStore& store, Work work) {
  try {
    return work();
  } catch (...) {
    store.RollbackTransaction();
    throw;
  }
}

}  // namespace

std::string BlocklistListing::Key() const { return ShortListingKey(domain, subDomain == "*" ? "" : subDomain); }

Blocklist ReadBlocklist(std::string_view text, bool generalise) {
  Blocklist list;
  if (text.find('\0') != std::string_view::npos) {
    list.error = "it holds NUL bytes, so it is no text of host names (a UTF-16 file must be saved as UTF-8 first)";
    return list;
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::unordered_set<std::string> hosts;
  std::unordered_set<std::string> keys;
  constexpr std::string_view kSpace = " \t\r\f\v";
  int number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words;
    for (std::size_t at = line.find_first_not_of(kSpace); at != std::string_view::npos;
         at = line.find_first_not_of(kSpace, at)) {
      std::size_t stop = std::min(line.find_first_of(kSpace, at), line.size());
      words.push_back(line.substr(at, stop - at));
      at = stop;
    }
    // Several words: the first is the address the hosts are sent to. One
    // word: a host alone.
    std::size_t first = 0;
    bool sink = true;
    if (words.size() > 1 && (IsIpv4(words[0], sink) || IsIpv6(words[0], sink))) first = 1;
    for (std::size_t i = first; i < words.size(); ++i) {
      std::string_view host = words[i];
      if (IsSystemName(host)) {
        ++list.systemNames;
        continue;
      }
      if (!sink) {
        list.refused.push_back({number, std::string(host),
                                "sent to " + std::string(words[0]) +
                                    ", not blocked (a blocking line sends its hosts to 0.0.0.0, 127.0.0.1, :: or ::1)"});
        continue;
      }
      SiteAddressParts parts = ParseSiteAddress(host);
      if (parts.Verdict != AddressVerdict::Accepted) {
        bool suffix = parts.Verdict == AddressVerdict::CorruptedUrl && IsPublicSuffix(host);
        list.refused.push_back({number, std::string(host),
                                suffix ? "a public suffix: restricting it would restrict every site under it"
                                       : RefusalReason(parts)});
        continue;
      }
      // The host itself: the subdomain key of its own name under its domain
      // (the domain key when it is the domain). Generalised on request, as
      // the add flow lists it, which covers its neighbours too.
      bool widened = !parts.FullSubDomain.empty();
      if (!generalise) parts.SubDomain = widened ? parts.FullSubDomain : "*";
      if (hosts.insert(FoldName(host)).second) ++list.hosts;
      BlocklistListing listing{std::move(parts.Domain), std::move(parts.SubDomain), std::string(host), number,
                               generalise && widened};
      if (keys.insert(FoldName(listing.Key())).second) list.listings.push_back(std::move(listing));
    }
  }
  return list;
}

bool IsBlocklistName(std::string_view name) { return name.size() <= kMaxKeyNameLength && IsListingKeyName(name); }

std::string DefaultBlocklistName(std::string_view file) {
  std::size_t slash = file.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? file : file.substr(slash + 1));
}

BlocklistApplied ApplyBlocklist(Registry& registry, const std::string& name, const std::string& source,
                                const Blocklist& list, bool dryRun) {
  RegistryStore& store = registry.Store();
  BlocklistApplied result;
  std::optional<ReadSnapshot> snapshot;
  if (!BeginWork(store, dryRun, snapshot, result.status, result.error, "nothing was written")) return result;
  const BlocklistListing* failedAt = nullptr;
  std::string failure;
  Guarded(store, [&] {
    // The record first, so that on a store without rollback every listing
    // written has its entry.
    HKEY created = 0, changed = 0;
    std::string path = RecordPath(name);
    auto openPart = [&](const char* part, HKEY& key) {
      std::string partPath = path + "\\" + part;
      LONG status = dryRun ? store.RegOpenKeyExA(HKEY_CURRENT_USER, partPath, 0, KEY_READ, &key)
                           : store.RegCreateKeyExA(HKEY_CURRENT_USER, partPath, 0, nullptr, 0, kAccess3F, nullptr,
                                                   &key, nullptr);
      if (status != ERROR_SUCCESS) key = 0;
      return dryRun || status == ERROR_SUCCESS ? ERROR_SUCCESS : status;
    };
    LONG status = openPart(kCreated, created);
    if (status == ERROR_SUCCESS) status = openPart(kChanged, changed);
    if (status == ERROR_SUCCESS && !dryRun) {
      HKEY record = 0;
      status = store.RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, kAccess3F, &record);
      if (status == ERROR_SUCCESS) {
        status = SetValue(store, record, "Source", REG_SZ, source);
        if (status == ERROR_SUCCESS) status = SetValue(store, record, "Applied", REG_SZ, NowUtc());
        store.RegCloseKey(record);
      }
    }
    if (status != ERROR_SUCCESS) {
      result.status = status;
      failure = "cannot write the record HKEY_CURRENT_USER\\" + path + ": " + StatusText(status);
    }
    for (const BlocklistListing& listing : list.listings) {
      if (status != ERROR_SUCCESS) break;
      std::string key = listing.Key();
      if (Has(store, created, key) || Has(store, changed, key)) {
        ++result.recordedBefore;
        continue;
      }
      std::optional<StoredValue> old = ReadListingValue(store, key);
      if (old && IsRestricted(*old)) {
        ++result.alreadyRestricted;
        continue;
      }
      if (!dryRun) {
        status = WriteGeneralisedListing(registry, listing.domain, listing.subDomain, Zone::Restricted);
        if (status == ERROR_SUCCESS)
          status = old ? SetValue(store, changed, key, old->type, old->data)
                       : SetValue(store, created, key, REG_DWORD, std::string("\x04\0\0\0", 4));
        if (status != ERROR_SUCCESS) {
          failedAt = &listing;
          result.status = status;
          failure = "cannot restrict " + key + " (line " + std::to_string(listing.line) + ", " + listing.host +
                    "): " + StatusText(status);
          break;
        }
      }
      ++(old ? result.changed : result.created);
      result.planned.push_back({static_cast<std::size_t>(&listing - list.listings.data()), old ? Describe(*old) : ""});
    }
    if (created) store.RegCloseKey(created);
    if (changed) store.RegCloseKey(changed);
  });
  if (dryRun) return result;
  failure = EndWork(store, std::move(failure), "blocklist", result.status);
  if (failure.empty()) return result;
  if (store.SupportsRollback() || !failedAt) {
    result.error = failure + "; nothing was written";
    result.created = result.changed = result.alreadyRestricted = result.recordedBefore = 0;
    result.planned.clear();
  } else {
    result.error = failure + "; the listings before it were written and recorded, since this store cannot undo "
                             "them (restrict-hosts --undo " + name + " removes them)";
  }
  return result;
}

BlocklistUndone UndoBlocklist(RegistryStore& store, const std::string& name, bool dryRun) {
  BlocklistUndone result;
  std::optional<ReadSnapshot> snapshot;
  if (!BeginWork(store, dryRun, snapshot, result.status, result.error, "nothing was undone")) return result;
  std::string failure;
  std::string path = RecordPath(name);
  Guarded(store, [&] {
    HKEY record = 0;
    if (store.RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &record) != ERROR_SUCCESS) return;
    result.found = true;
    std::vector<EnumeratedValue> created = RecordEntries(store, record, kCreated);
    std::vector<EnumeratedValue> changed = RecordEntries(store, record, kChanged);
    store.RegCloseKey(record);

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
      ++(before ? result.restored : result.removed);
      if (dryRun) return LONG{ERROR_SUCCESS};
      HKEY key = 0;
      LONG status = store.RegOpenKeyExA(HKEY_CURRENT_USER, ListingPath(entry.name), 0, kAccess3F, &key);
      if (status != ERROR_SUCCESS) return status;
      status = before ? SetValue(store, key, "*", before->type, before->data) : store.RegDeleteValueA(key, "*");
      store.RegCloseKey(key);
      if (status != ERROR_SUCCESS || before) return status;
      // The subdomain key before its domain key, as the Delete button prunes.
      if (slash != std::string::npos) DeleteKeyIfEmpty(store, ListingPath(entry.name));
      DeleteKeyIfEmpty(store, ListingPath(domain));
      return LONG{ERROR_SUCCESS};
    };
    LONG status = ERROR_SUCCESS;
    for (const EnumeratedValue& entry : created) {
      if ((status = undo(entry, nullptr)) != ERROR_SUCCESS) break;
    }
    for (std::size_t i = 0; i < changed.size() && status == ERROR_SUCCESS; ++i) {
      StoredValue before{changed[i].type, changed[i].data};
      status = undo(changed[i], &before);
    }
    if (status != ERROR_SUCCESS) {
      result.status = status;
      failure = "cannot put back a listing of the list: " + StatusText(status);
      return;
    }
    if (dryRun) return;
    for (const char* part : {kCreated, kChanged}) {
      status = store.RegDeleteKeyA(HKEY_CURRENT_USER, path + "\\" + part);
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) break;
      status = ERROR_SUCCESS;
    }
    if (status == ERROR_SUCCESS) status = store.RegDeleteKeyA(HKEY_CURRENT_USER, path);
    if (status != ERROR_SUCCESS) {
      result.status = status;
      failure = "cannot delete the record HKEY_CURRENT_USER\\" + path + ": " + StatusText(status);
      return;
    }
    DeleteKeyIfEmpty(store, kBlocklistsPath);
    DeleteKeyIfEmpty(store, "Software\\Portwarden");
  });
  if (dryRun) return result;
  failure = EndWork(store, std::move(failure), "undo", result.status);
  if (failure.empty()) return result;
  result.error = failure + (store.SupportsRollback() ? "; nothing was undone"
                                                     : "; what was undone before it stays undone, since this store "
                                                       "cannot roll back; the record is kept");
  result.removed = result.restored = 0;
  result.left.clear();
  return result;
}

std::vector<AppliedBlocklist> AppliedBlocklists(RegistryStore& store) {
  std::vector<AppliedBlocklist> lists;
  ReadSnapshot snapshot(store);
  HKEY base = 0;
  if (store.RegOpenKeyExA(HKEY_CURRENT_USER, kBlocklistsPath, 0, KEY_READ, &base) != ERROR_SUCCESS) return lists;
  std::vector<std::string> names;
  ForEachSubkey(store, base, [&](const std::string& name) {
    names.push_back(name);
    return true;
  });
  for (const std::string& name : names) {
    AppliedBlocklist list;
    list.name = name;
    HKEY record = 0;
    if (store.RegOpenKeyExA(base, name, 0, KEY_READ, &record) != ERROR_SUCCESS) continue;
    for (auto [value, text] : {std::pair{"Source", &list.source}, std::pair{"Applied", &list.applied}}) {
      std::optional<StoredValue> read = QueryValue(store, record, value);
      if (read && read->type == REG_SZ) *text = read->data.substr(0, read->data.find('\0'));
    }
    for (const auto& part : {std::pair{kCreated, &list.created}, std::pair{kChanged, &list.changed}}) {
      HKEY key = 0;
      if (store.RegOpenKeyExA(record, part.first, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
      std::size_t* count = part.second;
      ForEachValue(store, key, [count](const EnumeratedValue&) {
        ++*count;
        return true;
      });
      store.RegCloseKey(key);
    }
    store.RegCloseKey(record);
    lists.push_back(std::move(list));
  }
  store.RegCloseKey(base);
  return lists;
}

}  // namespace pw
