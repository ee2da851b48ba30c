// The zone lookup itself, for one set of the engine's rules: ZoneForUrl and
// ZoneForHost run it with Windows' own (ZoneRules). The rules name the points
// where another engine's lookup is known to part from Windows', so that a test
// can hold that engine to a model of it. Only the lookup's own files and such
// a test include this.
#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Ascii.h"
#include "listings/ZoneAddress.h"
#include "listings/ZoneForUrl.h"
#include "registry/KnownKeys.h"
#include "registry/RegData.h"

namespace pw::zonelookup {

// Windows' rules: each point as Windows has it.
struct ZoneRules {
  // Keys are tried in the order the registry lists them, not the most
  // specific first.
  static constexpr bool listingOrder = false;
  // A "*.b" key needs two or more characters in the label in front of ".b".
  static constexpr bool wildcardNeedsTwoLetters = false;
  // A two-label domain key whose first label is shorter than three characters
  // does not cover its subdomains.
  static constexpr bool shortFirstLabelCoversNothing = false;
  // A domain key does not cover a host whose part in front of it is as many
  // characters long as the code of a character in the host.
  static constexpr bool prefixLengthAsCharacter = false;
  // Addresses by number are looked up in the domain keys like names.
  static constexpr bool numbersInDomainKeys = false;
};

// Three-letter labels that the engine takes for part of a public suffix
// ("com.uk", "net.au").
inline bool IsRegistryLabel(std::string_view label) {
  static constexpr std::array<std::string_view, 7> kLabels = {"com", "edu", "gov", "int",
                                                              "mil", "net", "org"};
  std::string lower;
  for (char c : label) lower += AsciiLower(c);
  return std::find(kLabels.begin(), kLabels.end(), lower) != kLabels.end();
}

// True when a domain key is a domain of its own, whose subdomains it covers
// ("example.com", "example.co.uk"), not a host in one ("www.example.com") nor
// a public suffix ("com", "co.uk", "com.au").
template <typename Rules>
bool CoversSubdomains(std::string_view key, const Rules& rules) {
  std::size_t n = key.size();
  if (n < 4) return false;
  std::size_t last = key.rfind('.');
  if (last == std::string_view::npos) return false;
  std::size_t second = last == 0 ? std::string_view::npos : key.rfind('.', last - 1);
  if (second == std::string_view::npos) {  // two labels
    if (last == 0) return true;
    if (last == 3) return !IsRegistryLabel(key.substr(0, 3));
    if (last < 3) return key.front() != '*' && !rules.shortFirstLabelCoversNothing;
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

inline bool IsKeyName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxKeyNameLength &&
         name.find('\\') == std::string_view::npos;
}

inline std::string UpperName(std::string_view name) {
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

inline std::optional<Decision> Decide(ZoneMapSource& source, std::uint32_t key, const std::string& scheme) {
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
inline std::size_t OneLabelSplit(std::string_view text, std::size_t least) {
  std::size_t dot = text.find('.');
  return dot != std::string_view::npos && dot >= least ? dot : std::string_view::npos;
}

inline void SortByListingOrder(std::vector<std::string>& names) {
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return UpperName(a) < UpperName(b);
  });
}

template <typename Rules>
class Lookup {
 public:
  Lookup(ZoneMapSource& source, const ZoneAddress& address, const Rules& rules, ZoneAnswer& answer)
      : source_(source), address_(address), rules_(rules), answer_(answer) {}

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
  std::size_t LeastLabel() const { return rules_.wildcardNeedsTwoLetters ? 2 : 1; }

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
    if (rules_.listingOrder)
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
    if (rules_.listingOrder) SortByListingOrder(names);
    for (std::string& candidate : names)
      if (OpenKey(source_, domain, candidate)) {
        name = std::move(candidate);
        return true;
      }
    return false;
  }

  bool Covers(const Candidate& candidate) const {
    if (candidate.front == 0 || !CoversSubdomains(name_, rules_)) return false;
    std::size_t length = candidate.front;
    return !(rules_.prefixLengthAsCharacter && length < 256 &&
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
  const ZoneAddress& address_;
  const Rules& rules_;
  ZoneAnswer& answer_;
  std::vector<Candidate> candidates_;  // the same in both hives
  std::string name_;                   // the candidate's name, made in place
  std::string sub_;                    // the subkey that matched
};

// The answer for an address that was read without a problem.
template <typename Rules>
void Answer(ZoneMapSource& source, ZoneAddress& address, const Rules& rules, ZoneAnswer& answer) {
  if (address.byNumber && !rules.numbersInDomainKeys) {
    answer.verdict = ZoneVerdict::ByNumber;
    return;
  }
  if (address.byNumber && !address.numericHost.empty()) address.host = address.numericHost;
  answer.verdict = ZoneVerdict::NotListed;
  Lookup<Rules> lookup(source, address, rules, answer);
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    if (lookup.InHive(hive)) break;
}

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


}  // namespace pw::zonelookup
