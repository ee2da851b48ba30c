// The zone map and the zone state as the script policy of Chromium-family
// browsers: a default for scripts and two lists of content-settings patterns,
// sites whose scripts are blocked and sites whose scripts may run. The
// translation is pure; reading the store and writing the policy are elsewhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "listings/ZoneMapValues.h"
#include "policy/ZoneSecurity.h"
#include "registry/RegistryStore.h"

namespace pw {

// The browsers' policy names.
inline constexpr const char* kDefaultScriptPolicy = "DefaultJavaScriptSetting";
inline constexpr const char* kBlockedScriptsPolicy = "JavaScriptBlockedForUrls";
inline constexpr const char* kAllowedScriptsPolicy = "JavaScriptAllowedForUrls";
// DefaultJavaScriptSetting's value that blocks scripts.
inline constexpr int kBlockScripts = 2;

// What the browsers are told.
struct ScriptPolicy {
  // Enforced: the user cannot change it (the zone is secured).
  std::optional<int> managedDefault;
  // Recommended: set, but the user's own value of that policy comes first
  // (the zone is semi-secured).
  std::optional<int> recommendedDefault;
  std::vector<std::string> blocked;  // Restricted listings
  std::vector<std::string> allowed;  // Trusted listings
  bool operator==(const ScriptPolicy&) const = default;
};

// What the translation left out, so that a report can say so.
struct PolicyGaps {
  int ftp = 0;            // "ftp" values: these browsers no longer load ftp
  int unexpressible = 0;  // names no pattern states (other protocols, odd characters, a Trusted "*" key)
  int unreadable = 0;     // values that hold no zone number (another type or size)
  int overruled = 0;      // Trusted patterns also Restricted: blocking wins
};

struct TranslatedPolicy {
  ScriptPolicy policy;
  PolicyGaps gaps;
};

// Why a listing has no pattern.
enum class PatternGap { None, Ftp, Unexpressible };

// The pattern for a listing of the zone map: the domain key's name, the
// subdomain key's name (empty for the domain key itself), the value name and
// whether the listing is Restricted (a "*" subdomain key covers the subdomains
// but not the domain: Restricted widens it to the domain, Trusted has no
// pattern). Nothing when there is none, with the reason in `gap`.
std::optional<std::string> ListingPattern(std::string_view domain, std::string_view subdomain,
                                          std::string_view protocol, bool restricted, PatternGap* gap = nullptr);

// The patterns of one domain key and its subdomain keys, in their order.
struct DomainPatterns {
  std::string domain;
  std::vector<std::string> blocked;
  std::vector<std::string> allowed;
  bool operator==(const DomainPatterns&) const = default;
};

// Translates the values of one domain (all with that domain), adding what was
// left out to `gaps`.
DomainPatterns TranslateDomain(const std::string& domain, const std::vector<ZoneMapValue>& values, PolicyGaps& gaps);

// The policy of the domains' patterns, in the order given, each pattern once; a
// pattern both blocked and allowed is blocked.
TranslatedPolicy AssemblePolicy(ZoneSecurityState state, const std::vector<DomainPatterns>& domains);

// The whole policy for a zone state and the zone map's values, in the order
// given; the domains' patterns too when `domains` is given.
TranslatedPolicy TranslateZoneMap(ZoneSecurityState state, const std::vector<ZoneMapValue>& values,
                                  std::vector<DomainPatterns>* domains = nullptr);

// The name of the domain key that `name` names (letter case aside), as the
// store holds it; nothing when there is none. Subkeys come in the order of
// their folded names, so this is a binary search.
std::optional<std::string> FindDomainKey(RegistryStore& store, const std::string& name);

// The domains of the zone map with their patterns, in the store's order, and
// what was left out.
std::vector<DomainPatterns> TranslateDomains(const std::vector<ZoneMapValue>& values, PolicyGaps& gaps);

// The zone state and the zone map of the store, translated. The reads happen in
// one read snapshot.
TranslatedPolicy ScriptPolicyOf(RegistryStore& store, std::vector<DomainPatterns>* domains = nullptr);

// Puts `replacement` in place of the patterns of the domain of that name
// (letter case aside) in `domains`, which are in the order of their folded
// names, as the store orders domain keys; a replacement without patterns
// removes the domain. Returns whether anything changed.
bool ReplaceDomainPatterns(std::vector<DomainPatterns>& domains, DomainPatterns replacement);

// The domains' patterns as text, one line each ("@domain", "-blocked",
// "+allowed") after a header, and back; nothing when the text is not such.
std::string DomainPatternsText(const std::vector<DomainPatterns>& domains);
// The same into `text`, whose room is reused.
void WriteDomainPatternsText(const std::vector<DomainPatterns>& domains, std::string& text);
std::optional<std::vector<DomainPatterns>> ParseDomainPatterns(std::string_view text);

// Which of the browsers' two policy levels a file or key holds.
enum class PolicyLevel { Managed, Recommended };

// The JSON the browsers read for one level: an object holding the policies of
// that level that are set ("{}" when none are).
std::string PolicyJson(const ScriptPolicy& policy, PolicyLevel level);
// The same into `json`, whose room is reused.
void WritePolicyJson(const ScriptPolicy& policy, PolicyLevel level, std::string& json);

}  // namespace pw
