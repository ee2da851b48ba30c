#include "browser/ScriptPolicy.h"

#include <algorithm>
#include <functional>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <unordered_set>

#include "common/Ascii.h"
#include "registry/Enumeration.h"
#include "registry/KnownKeys.h"
#include "registry/NameFold.h"
#include "registry/RegData.h"
#include "registry/Registry.h"
#include "registry/Utf8.h"

namespace pw {
namespace {

// A host name the browsers' patterns take: dot-separated labels of letters,
// digits, "-" and "_", or other letters as valid UTF-8; no empty label.
bool IsHostName(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.back() == '.') return false;
  char previous = '.';
  for (std::size_t i = 0; i < name.size();) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) {
      char32_t decoded;
      std::size_t length = DecodeUtf8(name, i, decoded);
      if (length == 0) return false;
      i += length;
      previous = 'x';
      continue;
    }
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!plain && !(c == '.' && previous != '.')) return false;
    previous = static_cast<char>(c);
    ++i;
  }
  return true;
}

std::optional<int> ZoneNumber(const ZoneMapValue& value) {
  std::optional<std::uint32_t> number = DwordValue(value.type, value.data);
  if (!number) return std::nullopt;
  return static_cast<int>(*number);
}

// Keeps the first of equal patterns, in order.
// The patterns are viewed, not copied, until the result is made.
class PatternList {
 public:
  // `most`: how many patterns will be added at most.
  explicit PatternList(std::size_t most) {
    // Open addressing in a table at most half full: no allocation per
    // pattern, which a re-apply after every change of a long map would pay.
    std::size_t size = 16;
    while (size < most * 2) size *= 2;
    slots_.assign(size, kEmpty);
    patterns_.reserve(most);
  }
  void Add(std::string_view pattern) {
    std::uint32_t& slot = slots_[SlotOf(pattern)];
    if (slot != kEmpty) return;
    slot = static_cast<std::uint32_t>(patterns_.size());
    patterns_.push_back(pattern);
  }
  bool Contains(std::string_view pattern) const { return slots_[SlotOf(pattern)] != kEmpty; }
  const std::vector<std::string_view>& Patterns() const { return patterns_; }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  // The slot holding the pattern, or the empty one where it would go.
  std::size_t SlotOf(std::string_view pattern) const {
    std::size_t mask = slots_.size() - 1;
    std::size_t i = std::hash<std::string_view>{}(pattern) & mask;
    while (slots_[i] != kEmpty && patterns_[slots_[i]] != pattern) i = (i + 1) & mask;
    return i;
  }

  std::vector<std::uint32_t> slots_;
  std::vector<std::string_view> patterns_;
};

// A pattern as our translation makes it: "[*.]" or nothing, then a host
// name; with a scheme, "http://" or "https://" before and ":*" after.
bool IsPatternText(std::string_view pattern) {
  for (std::string_view scheme : {"http://", "https://"})
    if (pattern.substr(0, scheme.size()) == scheme) {
      if (pattern.size() < scheme.size() + 2 || pattern.substr(pattern.size() - 2) != ":*") return false;
      pattern = pattern.substr(scheme.size(), pattern.size() - scheme.size() - 2);
      break;
    }
  if (pattern.substr(0, 4) == "[*.]") pattern.remove_prefix(4);
  return IsHostName(pattern);
}

void AppendJsonText(std::string& json, const std::string& text) {
  bool plain = true;
  for (char c : text) plain = plain && c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20;
  if (plain) {
    json += '"';
    json += text;
    json += '"';
    return;
  }
  json += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AppendList(std::string& json, const char* name, const std::vector<std::string>& patterns, bool& first) {
  if (patterns.empty()) return;
  json += first ? "\n  \"" : ",\n  \"";
  first = false;
  json += name;
  json += "\": [";
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    json += i ? ",\n    " : "\n    ";
    AppendJsonText(json, patterns[i]);
  }
  json += "\n  ]";
}

}  // namespace

std::optional<std::string> ListingPattern(std::string_view domain, std::string_view subdomain,
                                          std::string_view protocol, bool restricted, PatternGap* gap) {
  PatternGap ignored;
  PatternGap& why = gap ? *gap : ignored;
  why = PatternGap::Unexpressible;
  std::string scheme = AsciiLower(protocol);
  if (scheme == "ftp") {
    why = PatternGap::Ftp;
    return std::nullopt;
  }
  if (scheme != "*" && scheme != "http" && scheme != "https") return std::nullopt;
  if (!IsHostName(domain)) return std::nullopt;
  std::string host;
  if (subdomain.empty()) {
    host = "[*.]" + AsciiLower(domain);
  } else if (subdomain == "*") {
    // Every subdomain but not the domain itself: no pattern says that. Blocking
    // the domain too is the safe side; allowing it would trust a host that was
    // not listed.
    if (!restricted) return std::nullopt;
    host = "[*.]" + AsciiLower(domain);
  } else if (subdomain.substr(0, 2) == "*." && IsHostName(subdomain.substr(2))) {
    host = "[*.]" + AsciiLower(subdomain.substr(2)) + "." + AsciiLower(domain);
  } else if (IsHostName(subdomain)) {
    host = AsciiLower(subdomain) + "." + AsciiLower(domain);
  } else {
    return std::nullopt;
  }
  why = PatternGap::None;
  return scheme == "*" ? host : scheme + "://" + host + ":*";
}

DomainPatterns TranslateDomain(const std::string& domain, const std::vector<ZoneMapValue>& values, PolicyGaps& gaps) {
  DomainPatterns result{domain, {}, {}};
  for (const ZoneMapValue& value : values) {
    // The unnamed value and "Default" are no listings, as in the site list.
    if (value.name.empty() || value.name == "Default") continue;
    std::optional<int> zone = ZoneNumber(value);
    if (!zone) {
      ++gaps.unreadable;
      continue;
    }
    if (*zone != 2 && *zone != 4) continue;  // Unclassified and other zones ask nothing of scripts
    PatternGap gap;
    std::optional<std::string> pattern = ListingPattern(domain, value.subdomain, value.name, *zone == 4, &gap);
    if (!pattern) {
      ++(gap == PatternGap::Ftp ? gaps.ftp : gaps.unexpressible);
      continue;
    }
    (*zone == 4 ? result.blocked : result.allowed).push_back(std::move(*pattern));
  }
  return result;
}

TranslatedPolicy AssemblePolicy(ZoneSecurityState state, const std::vector<DomainPatterns>& domains) {
  TranslatedPolicy result;
  std::size_t blockedCount = 0, allowedCount = 0;
  for (const DomainPatterns& domain : domains) {
    blockedCount += domain.blocked.size();
    allowedCount += domain.allowed.size();
  }
  PatternList blocked(blockedCount), allowed(allowedCount);
  for (const DomainPatterns& domain : domains) {
    for (const std::string& pattern : domain.blocked) blocked.Add(pattern);
    for (const std::string& pattern : domain.allowed) allowed.Add(pattern);
  }
  result.policy.blocked.assign(blocked.Patterns().begin(), blocked.Patterns().end());
  result.policy.allowed.reserve(allowed.Patterns().size());
  for (std::string_view pattern : allowed.Patterns()) {
    if (blocked.Contains(pattern))
      ++result.gaps.overruled;
    else
      result.policy.allowed.emplace_back(pattern);
  }
  if (state == ZoneSecurityState::Secured) result.policy.managedDefault = kBlockScripts;
  if (state == ZoneSecurityState::SemiSecured) result.policy.recommendedDefault = kBlockScripts;
  return result;
}

std::vector<DomainPatterns> TranslateDomains(const std::vector<ZoneMapValue>& values, PolicyGaps& gaps) {
  std::vector<DomainPatterns> domains;
  std::vector<ZoneMapValue> group;
  auto flush = [&] {
    if (group.empty()) return;
    DomainPatterns patterns = TranslateDomain(group.front().domain, group, gaps);
    if (!patterns.blocked.empty() || !patterns.allowed.empty()) domains.push_back(std::move(patterns));
    group.clear();
  };
  for (const ZoneMapValue& value : values) {
    if (!group.empty() && group.front().domain != value.domain) flush();
    group.push_back(value);
  }
  flush();
  return domains;
}

namespace {

// The policy of the translated domains with what their translation left out;
// the domains go to `domains` when it is given.
TranslatedPolicy Finish(ZoneSecurityState state, std::vector<DomainPatterns>& translated, const PolicyGaps& gaps,
                        std::vector<DomainPatterns>* domains) {
  TranslatedPolicy result = AssemblePolicy(state, translated);
  result.gaps.ftp = gaps.ftp;
  result.gaps.unexpressible = gaps.unexpressible;
  result.gaps.unreadable = gaps.unreadable;
  if (domains) *domains = std::move(translated);
  return result;
}

}  // namespace

TranslatedPolicy TranslateZoneMap(ZoneSecurityState state, const std::vector<ZoneMapValue>& values,
                                  std::vector<DomainPatterns>* domains) {
  PolicyGaps gaps;
  std::vector<DomainPatterns> translated = TranslateDomains(values, gaps);
  return Finish(state, translated, gaps, domains);
}

std::optional<std::string> FindDomainKey(RegistryStore& store, const std::string& name) {
  HKEY base = 0;
  if (name.empty() || name.find('\\') != std::string::npos ||
      store.RegOpenKeyExA(HKEY_CURRENT_USER, kDomainsPath, 0, KEY_READ, &base) != ERROR_SUCCESS)
    return std::nullopt;
  std::optional<std::string> found;
  std::string wanted = FoldName(name);
  DWORD low = 0, high = 0;
  std::string probe;
  while (EnumSubkeyAt(store, base, high, probe) == ERROR_SUCCESS) high = high ? high * 2 : 1;
  while (low < high) {  // the first index whose folded name is not below the one wanted
    DWORD middle = low + (high - low) / 2;
    if (EnumSubkeyAt(store, base, middle, probe) == ERROR_SUCCESS && FoldName(probe) < wanted)
      low = middle + 1;
    else
      high = middle;
  }
  if (EnumSubkeyAt(store, base, low, probe) == ERROR_SUCCESS && FoldName(probe) == wanted) found = probe;
  store.RegCloseKey(base);
  return found;
}

TranslatedPolicy ScriptPolicyOf(RegistryStore& store, std::vector<DomainPatterns>* domains) {
  ReadSnapshot snapshot(store);
  Registry registry(store);
  ZoneSecurityState state = DetectZoneSecurity(registry);
  PolicyGaps gaps;
  std::vector<DomainPatterns> translated;
  ForEachZoneMapDomain(store, [&](const std::string& domain, const std::vector<ZoneMapValue>& values) {
    DomainPatterns patterns = TranslateDomain(domain, values, gaps);
    if (!patterns.blocked.empty() || !patterns.allowed.empty()) translated.push_back(std::move(patterns));
  });
  return Finish(state, translated, gaps, domains);
}

bool ReplaceDomainPatterns(std::vector<DomainPatterns>& domains, DomainPatterns replacement) {
  std::string folded = FoldName(replacement.domain);
  auto place = std::lower_bound(domains.begin(), domains.end(), folded,
                                [](const DomainPatterns& domain, const std::string& name) {
                                  return FoldName(domain.domain) < name;
                                });
  bool present = place != domains.end() && FoldName(place->domain) == folded;
  bool wanted = !replacement.blocked.empty() || !replacement.allowed.empty();
  if (present && wanted) {
    if (*place == replacement) return false;
    *place = std::move(replacement);
  } else if (present) {
    domains.erase(place);
  } else if (wanted) {
    domains.insert(place, std::move(replacement));
  }
  return present || wanted;
}

namespace {
constexpr std::string_view kPatternsHeader = "portwarden domain patterns 1\n";
}  // namespace

std::string DomainPatternsText(const std::vector<DomainPatterns>& domains) {
  std::string text;
  WriteDomainPatternsText(domains, text);
  return text;
}

void WriteDomainPatternsText(const std::vector<DomainPatterns>& domains, std::string& text) {
  std::size_t size = kPatternsHeader.size();
  for (const DomainPatterns& domain : domains) {
    size += domain.domain.size() + 2;
    for (const std::string& pattern : domain.blocked) size += pattern.size() + 2;
    for (const std::string& pattern : domain.allowed) size += pattern.size() + 2;
  }
  text.reserve(size);
  text.assign(kPatternsHeader);
  for (const DomainPatterns& domain : domains) {
    // Names that hold a line break state no pattern, so never get here.
    auto line = [&](char mark, const std::string& item) {
      text += mark;
      text += item;
      text += '\n';
    };
    line('@', domain.domain);
    for (const std::string& pattern : domain.blocked) line('-', pattern);
    for (const std::string& pattern : domain.allowed) line('+', pattern);
  }
}

std::optional<std::vector<DomainPatterns>> ParseDomainPatterns(std::string_view text) {
  if (text.substr(0, kPatternsHeader.size()) != kPatternsHeader) return std::nullopt;
  std::vector<DomainPatterns> domains;
  domains.reserve(text.size() / 48);
  for (std::size_t start = kPatternsHeader.size(); start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) return std::nullopt;
    // A damaged or forged index holds no text that is not a host or a pattern.
    if (line[0] == '@' ? !IsHostName(line.substr(1)) : !IsPatternText(line.substr(1))) return std::nullopt;
    std::string rest(line.substr(1));
    if (line[0] == '@')
      domains.push_back({std::move(rest), {}, {}});
    else if ((line[0] == '-' || line[0] == '+') && !domains.empty())
      (line[0] == '-' ? domains.back().blocked : domains.back().allowed).push_back(std::move(rest));
    else
      return std::nullopt;
  }
  return domains;
}

std::string PolicyJson(const ScriptPolicy& policy, PolicyLevel level) {
  std::string json;
  WritePolicyJson(policy, level, json);
  return json;
}

void WritePolicyJson(const ScriptPolicy& policy, PolicyLevel level, std::string& json) {
  std::size_t size = 128;
  if (level == PolicyLevel::Managed)
    for (const auto* list : {&policy.blocked, &policy.allowed})
      for (const std::string& pattern : *list) size += pattern.size() + 8;
  json.reserve(size);
  json.assign("{");
  bool first = true;
  std::optional<int> fallback = level == PolicyLevel::Managed ? policy.managedDefault : policy.recommendedDefault;
  if (fallback) {
    json += std::string("\n  \"") + kDefaultScriptPolicy + "\": " + std::to_string(*fallback);
    first = false;
  }
  if (level == PolicyLevel::Managed) {
    AppendList(json, kBlockedScriptsPolicy, policy.blocked, first);
    AppendList(json, kAllowedScriptsPolicy, policy.allowed, first);
  }
  json += first ? "}\n" : "\n}\n";
}

}  // namespace pw
