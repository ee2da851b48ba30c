#include "browser/ScriptPolicy.h"

#include <unordered_set>

#include "registry/Enumeration.h"
#include "registry/KnownKeys.h"
#include "registry/Registry.h"
#include "registry/Utf8.h"

namespace pw {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = Lower(c);
  return lowered;
}

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
  if (value.type != REG_DWORD || value.data.size() != 4) return std::nullopt;
  std::uint32_t number = 0;
  for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.data[i]);
  return static_cast<int>(number);
}

// Keeps the first of equal patterns, in order.
class PatternList {
 public:
  void Add(std::string pattern) {
    if (seen_.insert(pattern).second) patterns_.push_back(std::move(pattern));
  }
  bool Contains(const std::string& pattern) const { return seen_.count(pattern) != 0; }
  std::vector<std::string>& Patterns() { return patterns_; }

 private:
  std::unordered_set<std::string> seen_;
  std::vector<std::string> patterns_;
};

void AppendList(std::string& json, const char* name, const std::vector<std::string>& patterns, bool& first) {
  if (patterns.empty()) return;
  json += first ? "\n  \"" : ",\n  \"";
  first = false;
  json += name;
  json += "\": [";
  // Patterns hold host-name characters only: nothing in them needs escaping.
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    json += i ? ",\n    \"" : "\n    \"";
    json += patterns[i];
    json += '"';
  }
  json += "\n  ]";
}

}  // namespace

std::optional<std::string> ListingPattern(std::string_view domain, std::string_view subdomain,
                                          std::string_view protocol, bool restricted, PatternGap* gap) {
  PatternGap ignored;
  PatternGap& why = gap ? *gap : ignored;
  why = PatternGap::Unexpressible;
  std::string scheme = LowerAscii(protocol);
  if (scheme == "ftp") {
    why = PatternGap::Ftp;
    return std::nullopt;
  }
  if (scheme != "*" && scheme != "http" && scheme != "https") return std::nullopt;
  if (!IsHostName(domain)) return std::nullopt;
  std::string host;
  if (subdomain.empty()) {
    host = "[*.]" + LowerAscii(domain);
  } else if (subdomain == "*") {
    // Every subdomain but not the domain itself: no pattern says that. Blocking
    // the domain too is the safe side; allowing it would trust a host that was
    // not listed.
    if (!restricted) return std::nullopt;
    host = "[*.]" + LowerAscii(domain);
  } else if (subdomain.substr(0, 2) == "*." && IsHostName(subdomain.substr(2))) {
    host = "[*.]" + LowerAscii(subdomain.substr(2)) + "." + LowerAscii(domain);
  } else if (IsHostName(subdomain)) {
    host = LowerAscii(subdomain) + "." + LowerAscii(domain);
  } else {
    return std::nullopt;
  }
  why = PatternGap::None;
  return scheme == "*" ? host : scheme + "://" + host + ":*";
}

TranslatedPolicy TranslateZoneMap(ZoneSecurityState state, const std::vector<ZoneMapValue>& values) {
  TranslatedPolicy result;
  PatternList blocked, allowed;
  for (const ZoneMapValue& value : values) {
    // The unnamed value and "Default" are no listings, as in the site list.
    if (value.name.empty() || value.name == "Default") continue;
    std::optional<int> zone = ZoneNumber(value);
    if (!zone) {
      ++result.gaps.unreadable;
      continue;
    }
    if (*zone != 2 && *zone != 4) continue;  // Unclassified and other zones ask nothing of scripts
    PatternGap gap;
    std::optional<std::string> pattern = ListingPattern(value.domain, value.subdomain, value.name, *zone == 4, &gap);
    if (!pattern) {
      ++(gap == PatternGap::Ftp ? result.gaps.ftp : result.gaps.unexpressible);
      continue;
    }
    (*zone == 4 ? blocked : allowed).Add(std::move(*pattern));
  }
  for (std::string& pattern : allowed.Patterns()) {
    if (blocked.Contains(pattern))
      ++result.gaps.overruled;
    else
      result.policy.allowed.push_back(std::move(pattern));
  }
  result.policy.blocked = std::move(blocked.Patterns());
  if (state == ZoneSecurityState::Secured) result.policy.managedDefault = kBlockScripts;
  if (state == ZoneSecurityState::SemiSecured) result.policy.recommendedDefault = kBlockScripts;
  return result;
}

std::vector<ZoneMapValue> ReadZoneMap(RegistryStore& store) {
  std::vector<ZoneMapValue> values;
  HKEY base = 0;
  if (store.RegOpenKeyExA(HKEY_CURRENT_USER, kDomainsPath, 0, KEY_READ, &base) != ERROR_SUCCESS) return values;
  auto readKey = [&](HKEY key, const std::string& domain, const std::string& subdomain) {
    ForEachValue(store, key, [&](const EnumeratedValue& value) {
      values.push_back({domain, subdomain, value.name, value.type, value.data});
      return true;
    });
  };
  ForEachSubkey(store, base, [&](const std::string& domain) {
    HKEY domainKey = 0;
    if (store.RegOpenKeyExA(base, domain, 0, KEY_READ, &domainKey) != ERROR_SUCCESS) return true;
    readKey(domainKey, domain, "");
    ForEachSubkey(store, domainKey, [&](const std::string& subdomain) {
      HKEY subKey = 0;
      if (store.RegOpenKeyExA(domainKey, subdomain, 0, KEY_READ, &subKey) != ERROR_SUCCESS) return true;
      readKey(subKey, domain, subdomain);
      store.RegCloseKey(subKey);
      return true;
    });
    store.RegCloseKey(domainKey);
    return true;
  });
  store.RegCloseKey(base);
  return values;
}

TranslatedPolicy ScriptPolicyOf(RegistryStore& store) {
  ReadSnapshot snapshot(store);
  Registry registry(store);
  ZoneSecurityState state = DetectZoneSecurity(registry);
  return TranslateZoneMap(state, ReadZoneMap(store));
}

std::string PolicyJson(const ScriptPolicy& policy, PolicyLevel level) {
  std::string json = "{";
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
  return json;
}

}  // namespace pw
