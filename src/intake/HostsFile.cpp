// Reading a blocklist: a hosts file's lines, or a plain list of host names,
// as the listings that restrict them and what was refused and why.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <unordered_set>

#include "common/Ascii.h"
#include "intake/Blocklist.h"
#include "intake/PublicSuffix.h"
#include "intake/SiteAddress.h"
#include "registry/NameFold.h"

namespace pw {
namespace {

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

}  // namespace

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
  // Held while the list is applied, beside the store's growing mirror: no
  // room to spare from the doubling.
  list.listings.shrink_to_fit();
  return list;
}

}  // namespace pw
