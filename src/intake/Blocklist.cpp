#include "intake/Blocklist.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "common/Ascii.h"
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

// An IPv4 address in any form the system's resolver takes: one to four parts,
// each decimal, octal (a leading 0) or hexadecimal (0x), the last filling the
// bytes the others leave ("10.1" is 10.0.0.1, "0x7f.1" 127.0.0.1).
std::optional<std::uint32_t> Ipv4Address(std::string_view text) {
  std::uint64_t parts[4] = {};
  std::size_t count = 0;
  for (std::size_t start = 0;;) {
    std::size_t dot = std::min(text.find('.', start), text.size());
    std::string_view part = text.substr(start, dot - start);
    if (part.empty() || count == 4) return std::nullopt;
    unsigned base = 10;
    if (part.size() > 1 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
      base = 16;
      part.remove_prefix(2);
      if (part.empty()) return std::nullopt;
    } else if (part.size() > 1 && part[0] == '0') {
      base = 8;
    }
    std::uint64_t value = 0;
    for (char c : part) {
      unsigned digit = IsAsciiDigit(c) ? static_cast<unsigned>(c - '0')
                       : base == 16 && IsAsciiLetter(c) && AsciiLower(c) <= 'f' ? static_cast<unsigned>(AsciiLower(c) - 'a' + 10)
                                                                                  : 99;
      if (digit >= base) return std::nullopt;
      value = value * base + digit;
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    parts[count++] = value;
    if (dot == text.size()) break;
    start = dot + 1;
  }
  std::uint32_t address = 0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (parts[i] > 0xFF) return std::nullopt;
    address |= static_cast<std::uint32_t>(parts[i]) << (24 - 8 * i);
  }
  if (parts[count - 1] >> (8 * (5 - count)) != 0) return std::nullopt;
  return address | static_cast<std::uint32_t>(parts[count - 1]);
}

bool Ipv4Sink(std::uint32_t address) { return address == 0 || address >> 24 == 127; }

// An IPv6 address (a "%zone" allowed, the last 32 bits possibly as a dotted
// IPv4 address) as its 16 bytes.
std::optional<std::array<std::uint8_t, 16>> Ipv6Address(std::string_view text) {
  text = text.substr(0, text.find('%'));
  if (text.find(':') == std::string_view::npos) return std::nullopt;
  std::vector<std::uint16_t> head, tail;
  std::vector<std::uint16_t>* groups = &head;
  bool gap = false;
  std::size_t i = 0;
  if (text.substr(0, 2) == "::") {
    gap = true;
    groups = &tail;
    i = 2;
  } else if (text[0] == ':') {
    return std::nullopt;
  }
  while (i < text.size()) {
    std::size_t end = std::min(text.find(':', i), text.size());
    std::string_view group = text.substr(i, end - i);
    if (group.find('.') != std::string_view::npos && end == text.size()) {
      std::optional<std::uint32_t> v4 = Ipv4Address(group);
      if (!v4 || std::count(group.begin(), group.end(), '.') != 3) return std::nullopt;
      groups->push_back(static_cast<std::uint16_t>(*v4 >> 16));
      groups->push_back(static_cast<std::uint16_t>(*v4 & 0xFFFF));
      i = end;
      break;
    }
    if (group.empty() || group.size() > 4) return std::nullopt;
    std::uint16_t value = 0;
    for (char c : group) {
      int digit = IsAsciiDigit(c) ? c - '0' : AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f' ? AsciiLower(c) - 'a' + 10 : -1;
      if (digit < 0) return std::nullopt;
      value = static_cast<std::uint16_t>(value * 16 + digit);
    }
    groups->push_back(value);
    if (end == text.size()) {
      i = end;
      break;
    }
    if (text.substr(end, 2) == "::") {
      if (gap) return std::nullopt;
      gap = true;
      groups = &tail;
      i = end + 2;
    } else {
      i = end + 1;
      if (i == text.size()) return std::nullopt;  // a ":" at the end
    }
  }
  std::size_t given = head.size() + tail.size();
  if (gap ? given > 7 : given != 8) return std::nullopt;
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t k = 0; k < head.size(); ++k) {
    bytes[2 * k] = static_cast<std::uint8_t>(head[k] >> 8);
    bytes[2 * k + 1] = static_cast<std::uint8_t>(head[k]);
  }
  for (std::size_t k = 0; k < tail.size(); ++k) {
    std::size_t at = 16 - 2 * (tail.size() - k);
    bytes[at] = static_cast<std::uint8_t>(tail[k] >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(tail[k]);
  }
  return bytes;
}

// Whether `text` is an address, and then whether it leads nowhere: 0.0.0.0,
// the loopback net, "::", "::1", or either of the first two mapped to IPv6.
std::optional<bool> AddressSink(std::string_view text) {
  if (std::optional<std::uint32_t> v4 = Ipv4Address(text)) return Ipv4Sink(*v4);
  std::optional<std::array<std::uint8_t, 16>> v6 = Ipv6Address(text);
  if (!v6) return std::nullopt;
  const std::array<std::uint8_t, 16>& b = *v6;
  bool zeroTo10 = std::all_of(b.begin(), b.begin() + 10, [](std::uint8_t x) { return x == 0; });
  bool zeroTo15 = zeroTo10 && std::all_of(b.begin() + 10, b.begin() + 15, [](std::uint8_t x) { return x == 0; });
  if (zeroTo15 && b[15] <= 1) return true;
  if (zeroTo10 && b[10] == 0xFF && b[11] == 0xFF)
    return Ipv4Sink(static_cast<std::uint32_t>(b[12]) << 24 | static_cast<std::uint32_t>(b[13]) << 16 |
                    static_cast<std::uint32_t>(b[14]) << 8 | b[15]);
  return false;
}

std::string RefusalReason(const SiteAddressParts& parts) {
  switch (parts.Verdict) {
    case AddressVerdict::TooShort: return "too short for a site (fewer than 6 characters)";
    case AddressVerdict::FraudAlert: return "a raw IP address (" + parts.IpText + "), not a site's name";
    default: return "not a well-formed host name";
  }
}

// A set of folded names kept in one text: a list of 100,000 hosts makes no
// allocation per name, nor frees one.
class FoldedNames {
 public:
  // Whether the name was not in the set yet.
  bool Insert(std::string_view name) {
    if ((places_.size() + 1) * 2 > slots_.size()) Grow();
    std::size_t at = SlotOf(name);
    if (slots_[at] != kEmpty) return false;
    slots_[at] = static_cast<std::uint32_t>(places_.size());
    places_.push_back({text_.size(), name.size()});
    text_ += name;
    return true;
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  struct Place {
    std::size_t start, size;
  };
  std::string_view At(std::uint32_t i) const { return std::string_view(text_).substr(places_[i].start, places_[i].size); }
  std::size_t SlotOf(std::string_view name) const {
    std::size_t mask = slots_.size() - 1;
    std::size_t i = std::hash<std::string_view>{}(name) & mask;
    while (slots_[i] != kEmpty && At(slots_[i]) != name) i = (i + 1) & mask;
    return i;
  }
  void Grow() {
    slots_.assign(std::max<std::size_t>(slots_.size() * 2, 1024), kEmpty);
    for (std::uint32_t i = 0; i < places_.size(); ++i) slots_[SlotOf(At(i))] = i;
  }
  std::string text_;
  std::vector<Place> places_;
  std::vector<std::uint32_t> slots_;
};

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
  HKEY base = 0;
  if (store.RegOpenKeyExA(HKEY_CURRENT_USER, kBlocklistsPath, 0, KEY_READ, &base) != ERROR_SUCCESS) return claims;
  std::vector<std::string> lists;
  ForEachSubkey(store, base, [&](const std::string& list) {
    if (!SameName(list, name)) lists.push_back(list);
    return true;
  });
  for (const std::string& list : lists) {
    HKEY record = 0;
    if (store.RegOpenKeyExA(base, list, 0, KEY_READ, &record) != ERROR_SUCCESS) continue;
    for (const char* part : {kCreated, kChanged})
      for (EnumeratedValue& entry : RecordEntries(store, record, part))
        claims.emplace(FoldName(entry.name), Claim{list, part, {entry.type, std::move(entry.data)}});
    store.RegCloseKey(record);
  }
  store.RegCloseKey(base);
  return claims;
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
  FoldedNames hosts;
  FoldedNames keys;
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
    if (std::optional<bool> address = words.size() > 1 ? AddressSink(words[0]) : std::nullopt) {
      first = 1;
      sink = *address;
    }
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
      // An address in any of its forms is no site, though the address
      // parser may take a short or hexadecimal form for a name.
      if (AddressSink(host)) {
        list.refused.push_back({number, std::string(host), "a raw IP address (" + std::string(host) + "), not a site's name"});
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
      if (hosts.Insert(FoldName(host))) ++list.hosts;
      BlocklistListing listing{std::move(parts.Domain), std::move(parts.SubDomain), std::string(host), number,
                               generalise && widened};
      if (keys.Insert(FoldName(listing.Key()))) list.listings.push_back(std::move(listing));
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
      if (Has(store, created, key) || Has(store, changed, key)) {
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
          status = SetValue(store, claim->second.part == kCreated ? created : changed, key, claim->second.entry.type,
                            claim->second.entry.data);
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
          status = old ? SetValue(store, changed, key, old->type, old->data)
                       : SetValue(store, created, key, REG_DWORD, std::string("\x04\0\0\0", 4));
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
