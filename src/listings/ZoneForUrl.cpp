#include "listings/ZoneForUrl.h"

#include <algorithm>
#include <array>
#include <vector>

#include "common/Ascii.h"
#include "listings/Zones.h"
#include "registry/KnownKeys.h"
#include "registry/RegData.h"

namespace pw {
namespace {

bool IsSlash(char c) {
  return c == '/' || c == '\\';
}

// The scheme and host of an address, as the engine reads them.
struct Address {
  std::string scheme;
  std::string host;
  bool byNumber = false;
  std::string numericHost;  // byNumber: as four numbers
  std::string problem;      // not empty when there is no answer
};

// A host that is an address by number: four decimal numbers below 256, or the
// short forms of one to three (a single number below 2^32). Returns it as four
// numbers, the short forms filled up with zeros at the end as Wine does.
std::optional<std::string> NumericHost(std::string_view host) {
  if (!std::all_of(host.begin(), host.end(), [](char c) { return IsAsciiDigit(c) || c == '.'; })) return std::nullopt;
  std::vector<std::uint64_t> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t end = host.find('.', start);
    std::string_view part = host.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty() || part.size() > 10 || !std::all_of(part.begin(), part.end(), IsAsciiDigit))
      return std::nullopt;
    parts.push_back(std::stoull(std::string(part)));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (parts.size() > 4) return std::nullopt;
  if (parts.size() == 1) {
    if (parts[0] > 0xFFFFFFFFull) return std::nullopt;
    std::uint64_t n = parts[0];
    parts = {n >> 24, (n >> 16) & 0xFF, (n >> 8) & 0xFF, n & 0xFF};
  }
  if (std::any_of(parts.begin(), parts.end(), [](std::uint64_t p) { return p > 255; }))
    return std::nullopt;
  parts.resize(4, 0);
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

Address ReadAddress(std::string_view url) {
  Address address;
  // Tabs and line ends vanish anywhere; spaces and controls only at the ends.
  std::string text;
  for (char c : url)
    if (c != '\t' && c != '\r' && c != '\n') text += c;
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  std::size_t i = 0;
  while (i < text.size() && blank(text[i])) ++i;

  std::size_t schemeStart = i;
  if (i < text.size() && IsAsciiLetter(text[i]))
    while (i < text.size() && (IsAsciiLetter(text[i]) || IsAsciiDigit(text[i]) || text[i] == '+' ||
                               text[i] == '-' || text[i] == '.'))
      ++i;
  if (i == schemeStart || i >= text.size() || text[i] != ':') {
    address.problem = "not an address: it has no scheme such as \"http:\"";
    return address;
  }
  for (std::size_t k = schemeStart; k < i; ++k) address.scheme += AsciiLower(text[k]);
  if (address.scheme != "http" && address.scheme != "https" && address.scheme != "ftp") {
    address.problem = "not answered: Portwarden answers for http, https and ftp addresses only";
    return address;
  }
  ++i;
  if (i + 1 >= text.size() || !IsSlash(text[i]) || !IsSlash(text[i + 1])) {
    address.problem = "not an address: \"//\" and a host must follow \"" + address.scheme + ":\"";
    return address;
  }
  i += 2;
  std::size_t end = i;
  while (end < text.size() && !IsSlash(text[end]) && text[end] != '?' && text[end] != '#') ++end;
  std::string_view authority = std::string_view(text).substr(i, end - i);
  // The engine ends the user name and password at the first "@".
  if (std::size_t at = authority.find('@'); at != std::string_view::npos)
    authority.remove_prefix(at + 1);

  std::string_view host = authority;
  std::string_view port;
  if (!host.empty() && host.front() == '[') {
    std::size_t close = host.find(']');
    if (close == std::string_view::npos) {
      address.problem = "not an address: the host's \"[\" is not closed";
      return address;
    }
    address.host = std::string(host.substr(0, close + 1));
    address.byNumber = true;
    return address;
  }
  if (std::size_t colon = host.find(':'); colon != std::string_view::npos) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
  }
  if (port.size() > 5 || !std::all_of(port.begin(), port.end(), IsAsciiDigit) ||
      (!port.empty() && std::stoi(std::string(port)) > 65535)) {
    address.problem =
        "not an address: the port \"" + std::string(port) + "\" is not a number from 0 to 65535";
    return address;
  }
  for (std::size_t k = 0; k < host.size(); ++k) {
    char c = host[k];
    if (c == '%') {
      int high = k + 2 < host.size() ? AsciiHexValue(host[k + 1]) : -1;
      int low = high >= 0 ? AsciiHexValue(host[k + 2]) : -1;
      if (low < 0) {
        address.problem =
            "not an address: a \"%\" in the host is not followed by two hexadecimal digits";
        return address;
      }
      c = static_cast<char>(high * 16 + low);
      k += 2;
    }
    address.host += AsciiLower(c);
  }
  if (address.host.empty()) {
    address.problem = "not an address: it has no host";
    return address;
  }
  if (std::optional<std::string> number = NumericHost(address.host)) {
    address.byNumber = true;
    address.numericHost = *number;
  }
  return address;
}

// Three-letter labels that the engine takes for part of a public suffix
// ("com.uk", "net.au").
bool IsRegistryLabel(std::string_view label) {
  static constexpr std::array<std::string_view, 7> kLabels = {"com", "edu", "gov", "int",
                                                              "mil", "net", "org"};
  std::string lower;
  for (char c : label) lower += AsciiLower(c);
  return std::find(kLabels.begin(), kLabels.end(), lower) != kLabels.end();
}

// True when a domain key is a domain of its own, whose subdomains it covers
// ("example.com", "example.co.uk"), not a host in one ("www.example.com") nor
// a public suffix ("com", "co.uk", "com.au").
bool CoversSubdomains(std::string_view key, const WineFaults& faults) {
  std::size_t n = key.size();
  if (n < 4) return false;
  std::size_t last = key.rfind('.');
  if (last == std::string_view::npos) return false;
  std::size_t second = last == 0 ? std::string_view::npos : key.rfind('.', last - 1);
  if (second == std::string_view::npos) {  // two labels
    if (last == 0) return true;
    if (last == 3) return !IsRegistryLabel(key.substr(0, 3));
    if (last < 3) return key.front() != '*' && !faults.shortFirstLabelCoversNothing;
    return true;
  }
  // Three labels or more: a key covers when it is the domain, that is its
  // last two labels when the last one is long or the second-last one is,
  // else its last three.
  bool noThirdDot = second == 0 || key.rfind('.', second - 1) == std::string_view::npos;
  std::size_t lastLength = n - last - 1;
  std::size_t secondLength = last - second - 1;
  if (lastLength >= 3 || secondLength >= 4) return false;
  if (secondLength == 3) return IsRegistryLabel(key.substr(second + 1, 3)) && noThirdDot;
  return noThirdDot;
}

bool IsKeyName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxKeyNameLength &&
         name.find('\\') == std::string_view::npos;
}

std::string UpperName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = AsciiUpper(c);
  return upper;
}

// The deciding value of a key: the scheme's, else "*"; REG_DWORD only.
struct Decision {
  std::string valueName;
  std::uint32_t zone = 0;
  bool damaged = false;
};

std::optional<Decision> Decide(ZoneMapSource& source, std::uint32_t key, const std::string& scheme) {
  for (const std::string& name : {scheme, std::string("*")}) {
    Decision decision{name};
    if (source.DwordValue(key, name, decision.zone, decision.damaged)) return decision;
  }
  return std::nullopt;
}

class OpenKey {
 public:
  // `name` is one key name.
  OpenKey(ZoneMapSource& source, std::uint32_t parent, const std::string& name) : source_(source) {
    if (parent && IsKeyName(name)) key_ = source.Child(parent, name);
  }
  // The hive's Domains key.
  OpenKey(ZoneMapSource& source, HKEY hive) : source_(source), key_(source.Domains(hive)) {}
  ~OpenKey() {
    if (key_) source_.Release(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  std::uint32_t get() const { return key_; }
  explicit operator bool() const { return key_ != 0; }

 private:
  ZoneMapSource& source_;
  std::uint32_t key_ = 0;
};

// The zone maps of a store, read as the engine reads them.
class StoreSource : public ZoneMapSource {
 public:
  explicit StoreSource(RegistryStore& store) : store_(store) {}
  std::uint32_t Domains(HKEY hive) override { return Open(hive, kDomainsPath); }
  std::uint32_t Child(std::uint32_t parent, const std::string& name) override { return Open(parent, name); }
  bool DwordValue(std::uint32_t key, const std::string& name, std::uint32_t& number, bool& damaged) override {
    DWORD type = 0;
    BYTE data[4];
    DWORD size = sizeof data;
    if (store_.RegQueryValueExA(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS || type != REG_DWORD)
      return false;
    number = DwordAsEngineReads(std::string_view(reinterpret_cast<const char*>(data), size));
    damaged = size < 4;
    return true;
  }
  void Release(std::uint32_t key) override { store_.RegCloseKey(key); }

 private:
  std::uint32_t Open(HKEY parent, const std::string& path) {
    HKEY key = 0;
    return store_.RegOpenKeyExA(parent, path, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS ? key : 0;
  }
  RegistryStore& store_;
};

// A domain key the host may match: the host itself or a "*." key covering it
// (these decide by their own values), or a suffix of the host (or a "*." key
// standing for one) with the labels in front of it. Kept as places in the
// host: the lookup asks many of them and builds each name once, in place.
struct Candidate {
  std::size_t start = 0;  // the key's name is the host from here on...
  bool star = false;      // ...after a "*"
  bool own = false;
  std::size_t front = 0;  // suffixes only: how long the labels in front are
};

// The position of the first "." after which one label of at least `least`
// characters stands in front; npos when `text` is not such a label and more.
std::size_t OneLabelSplit(std::string_view text, std::size_t least) {
  std::size_t dot = text.find('.');
  return dot != std::string_view::npos && dot >= least ? dot : std::string_view::npos;
}

void SortByListingOrder(std::vector<std::string>& names) {
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return UpperName(a) < UpperName(b);
  });
}

class Lookup {
 public:
  Lookup(ZoneMapSource& source, const Address& address, const WineFaults& faults, ZoneAnswer& answer)
      : source_(source), address_(address), faults_(faults), answer_(answer) {}

  // True when a listing of the hive decides.
  bool InHive(HKEY hive) {
    OpenKey domains(source_, hive);
    if (!domains) return false;
    if (candidates_.empty()) candidates_ = Candidates();
    for (const Candidate& candidate : candidates_) {
      NameOf(candidate, name_);
      OpenKey key(source_, domains.get(), name_);
      if (!key) continue;
      if (candidate.own) {
        if (Decides(key.get(), hive, nullptr)) return true;
        continue;
      }
      std::string_view front = std::string_view(Host()).substr(0, candidate.front);
      if (MatchingSubkey(key.get(), front, sub_)) {
        OpenKey subKey(source_, key.get(), sub_);
        if (Decides(subKey.get(), hive, &sub_)) return true;
        continue;
      }
      if (Covers(candidate) && Decides(key.get(), hive, nullptr)) return true;
    }
    return false;
  }

 private:
  const std::string& Host() const { return address_.host; }
  std::size_t LeastLabel() const { return faults_.wildcardNeedsTwoLetters ? 2 : 1; }

  void NameOf(const Candidate& candidate, std::string& name) const {
    name.assign(candidate.star ? "*" : "");
    name.append(Host(), candidate.start);
  }

  // The domain keys the host could match, the most specific first: the host,
  // a "*." key standing for it, then each suffix of the host followed by the
  // "*." key that stands for that suffix with its first label left open.
  // Names longer than a key name can be are never tried, nor built: a host of
  // any length costs time in proportion to its length.
  std::vector<Candidate> Candidates() const {
    std::vector<Candidate> candidates;
    const std::string& host = Host();
    auto fits = [](std::size_t length) { return length <= kMaxKeyNameLength; };
    if (fits(host.size())) candidates.push_back({0, false, true, 0});
    if (std::size_t dot = OneLabelSplit(host, LeastLabel()); dot != std::string::npos && fits(host.size() - dot + 1))
      candidates.push_back({dot, true, true, 0});
    for (std::size_t dot = host.find('.'); dot != std::string::npos; dot = host.find('.', dot + 1)) {
      if (dot + 1 >= host.size()) continue;
      if (fits(host.size() - dot - 1)) candidates.push_back({dot + 1, false, false, dot});
      if (std::size_t next = host.find('.', dot + 1); next != std::string::npos && fits(host.size() - next + 1))
        candidates.push_back({next, true, false, dot});
    }
    if (faults_.listingOrder)
      std::stable_sort(candidates.begin(), candidates.end(), [this](const Candidate& a, const Candidate& b) {
        std::string nameA, nameB;
        NameOf(a, nameA);
        NameOf(b, nameB);
        return UpperName(nameA) < UpperName(nameB);
      });
    return candidates;
  }

  // The subdomain key for the labels in front, into `name`: their exact name,
  // else a "*." key covering the first of them.
  bool MatchingSubkey(std::uint32_t domain, std::string_view front, std::string& name) const {
    std::vector<std::string> names;
    if (IsKeyName(front)) names.emplace_back(front);
    if (std::size_t dot = OneLabelSplit(front, LeastLabel());
        dot != std::string::npos && front.size() - dot + 1 <= kMaxKeyNameLength)
      names.push_back("*" + std::string(front.substr(dot)));
    if (faults_.listingOrder) SortByListingOrder(names);
    for (std::string& candidate : names)
      if (OpenKey(source_, domain, candidate)) {
        name = std::move(candidate);
        return true;
      }
    return false;
  }

  bool Covers(const Candidate& candidate) const {
    if (candidate.front == 0 || !CoversSubdomains(name_, faults_)) return false;
    std::size_t length = candidate.front;
    return !(faults_.prefixLengthAsCharacter && length < 256 &&
             Host().find(static_cast<char>(length)) != std::string::npos);
  }

  // True when the key's value decides; otherwise notes the key as passed over.
  // The key is the candidate's (name_), or its subkey `sub`.
  bool Decides(std::uint32_t key, HKEY hive, const std::string* sub) {
    std::optional<Decision> decision = Decide(source_, key, address_.scheme);
    if (!decision) {
      if (!answer_.passedOver) answer_.passedOver = ZoneMapKey{hive, name_, sub ? *sub : "", ""};
      return false;
    }
    answer_.verdict = ZoneVerdict::Listed;
    answer_.listing = ZoneMapKey{hive, name_, sub ? *sub : "", decision->valueName};
    answer_.zone = decision->zone;
    answer_.damaged = decision->damaged;
    return true;
  }

  ZoneMapSource& source_;
  const Address& address_;
  const WineFaults& faults_;
  ZoneAnswer& answer_;
  std::vector<Candidate> candidates_;  // the same in both hives
  std::string name_;                   // the candidate's name, made in place
  std::string sub_;                    // the subkey that matched
};

// The answer for an address that was read without a problem.
void Answer(ZoneMapSource& source, Address& address, const WineFaults& faults, ZoneAnswer& answer) {
  if (address.byNumber && !faults.numbersInDomainKeys) {
    answer.verdict = ZoneVerdict::ByNumber;
    return;
  }
  if (address.byNumber && !address.numericHost.empty()) address.host = address.numericHost;
  answer.verdict = ZoneVerdict::NotListed;
  Lookup lookup(source, address, faults, answer);
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    if (lookup.InHive(hive)) break;
}

}  // namespace

ZoneAnswer ZoneForUrl(RegistryStore& store, std::string_view url, const WineFaults& faults) {
  ZoneAnswer answer;
  Address address = ReadAddress(url);
  answer.scheme = address.scheme;
  answer.host = address.host;
  if (!address.problem.empty()) {
    answer.reason = address.problem;
    return answer;
  }
  ReadSnapshot snapshot(store);
  StoreSource source(store);
  Answer(source, address, faults, answer);
  return answer;
}

ZoneAnswer ZoneForHost(ZoneMapSource& source, std::string_view scheme, std::string_view host,
                       const WineFaults& faults) {
  ZoneAnswer answer;
  Address address;
  address.scheme = answer.scheme = std::string(scheme);
  address.host = answer.host = std::string(host);
  if (std::optional<std::string> number = NumericHost(address.host)) {
    address.byNumber = true;
    address.numericHost = *number;
  }
  Answer(source, address, faults, answer);
  return answer;
}

std::string AddressAsTyped(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  if (text.empty()) return {};
  // "mailto:" and "http:" have a scheme; "www.example.com:8080" and
  // "localhost:8080" have a host and a port.
  std::size_t i = 0;
  while (i < text.size() &&
         (IsAsciiLetter(text[i]) || (i > 0 && (IsAsciiDigit(text[i]) || text[i] == '+' || text[i] == '-'))))
    ++i;
  bool scheme =
      i > 0 && i < text.size() && text[i] == ':' && !(i + 1 < text.size() && IsAsciiDigit(text[i + 1]));
  return scheme ? std::string(text) : "http://" + std::string(text);
}

std::string ZoneAnswerName(const ZoneAnswer& answer) {
  if (answer.verdict == ZoneVerdict::NotAnswered) return "";
  if (answer.zone == 3 && answer.verdict != ZoneVerdict::Listed) return "Internet";
  const char* name = ZoneNumberName(answer.zone);
  return name ? name : "zone " + std::to_string(answer.zone);
}

std::string ZoneMapKeyPath(const ZoneMapKey& key) {
  std::string path =
      key.hive == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\";
  path += kDomainsPath;
  path += "\\" + key.domain;
  if (!key.subdomain.empty()) path += "\\" + key.subdomain;
  return path;
}

std::string ZoneAnswerReason(const ZoneAnswer& answer) {
  std::string reason;
  switch (answer.verdict) {
    case ZoneVerdict::NotAnswered:
      return answer.reason;
    case ZoneVerdict::ByNumber:
      return "an address by number: the site listings are not consulted; the ZoneMap\\Ranges key "
             "decides, which "
             "Portwarden does not manage";
    case ZoneVerdict::Listed:
      reason = "listed by " + ZoneMapKeyPath(answer.listing) + ", value \"" +
               answer.listing.valueName + "\"";
      if (answer.damaged)
        reason += " (damaged: fewer than four bytes, the rest of the number is made up)";
      break;
    case ZoneVerdict::NotListed:
      reason = "not listed";
      break;
  }
  if (answer.passedOver)
    reason += "; " + ZoneMapKeyPath(*answer.passedOver) + " matches the host but holds neither \"" +
              answer.scheme + "\" nor \"*\"";
  return reason;
}

std::vector<std::string> ZoneAnswerLines(const ZoneAnswer& answer) {
  auto key = [](const ZoneMapKey& where) {
    return where.domain + (where.subdomain.empty() ? "" : "\\" + where.subdomain);
  };
  std::vector<std::string> lines;
  if (answer.verdict == ZoneVerdict::NotAnswered) {
    lines = {"Zone: none", answer.reason.substr(0, answer.reason.find(':'))};
    return lines;
  }
  lines.push_back("Zone: " + std::to_string(answer.zone) + " " + ZoneAnswerName(answer));
  switch (answer.verdict) {
    case ZoneVerdict::Listed:
      lines.push_back("by " + key(answer.listing));
      lines.push_back("value \"" + answer.listing.valueName + "\"" +
                      (answer.listing.hive == HKEY_LOCAL_MACHINE ? ", machine's map" : ""));
      break;
    case ZoneVerdict::ByNumber:
      lines.push_back("address by number");
      break;
    default:
      lines.push_back("not listed");
  }
  if (answer.passedOver && lines.size() < 3)
    lines.push_back("(" + key(*answer.passedOver) + " has no \"" + answer.scheme + "\")");
  return lines;
}

}  // namespace pw
