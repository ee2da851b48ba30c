// The zone map and the zone state as the script policy of Chromium-family
// browsers: a default for scripts and two lists of content-settings patterns,
// sites whose scripts are blocked and sites whose scripts may run.
//
// The policy makes the browsers decide every address as the zone query
// (ZoneForUrl) and the zone state imply: a site in the Trusted zone runs
// scripts, one in the Restricted zone does not, and any other (Unclassified,
// another zone, not listed) follows the state: blocked when it is secured or
// semi-secured, run when it is unsecured. The browsers take the most specific
// pattern that matches a host, so a pattern is written wherever the answer
// differs from what the broader patterns give, a narrower listing's included.
//
// How: the zone query's answer changes only at the names the map names (the
// "anchors": domain keys, and a subdomain key with its domain), and below an
// anchor it depends only on whether a host is one label below it or more. So
// the query is asked at each anchor, one label below it and two labels below
// it, with labels no key names. Where the answers one and two labels below
// differ (a "*.b" key covers one label), no pattern can state both: the policy
// then blocks there, and says so (PolicyGaps::overblocked).
//
// The domain keys fall into groups whose names lie under one another and under
// no other group's; a group's patterns depend only on its own keys, so after a
// write only the groups it touched are translated again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "policy/ZoneSecurity.h"
#include "registry/RegistryStore.h"

namespace pw {

// The browsers' policy names.
inline constexpr const char* kDefaultScriptPolicy = "DefaultJavaScriptSetting";
inline constexpr const char* kBlockedScriptsPolicy = "JavaScriptBlockedForUrls";
inline constexpr const char* kAllowedScriptsPolicy = "JavaScriptAllowedForUrls";
// DefaultJavaScriptSetting's value that blocks scripts.
inline constexpr int kBlockScripts = 2;
// The keys of Chrome's and Edge's policies, below HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER, where enforcement and a Group Policy put them.
inline constexpr const char* kChromePolicyPath = "Software\\Policies\\Google\\Chrome";
inline constexpr const char* kEdgePolicyPath = "Software\\Policies\\Microsoft\\Edge";

// A host name the browsers' patterns take: dot-separated labels of letters,
// digits, "-" and "_", or other letters as valid UTF-8; no empty label.
bool IsHostName(std::string_view name);

// What the browsers are told.
struct ScriptPolicy {
  // Enforced: the user cannot change it (the zone is secured).
  std::optional<int> managedDefault;
  // Recommended: set, but the user's own value of that policy comes first
  // (the zone is semi-secured).
  std::optional<int> recommendedDefault;
  std::vector<std::string> blocked;
  std::vector<std::string> allowed;
  bool operator==(const ScriptPolicy&) const = default;
};

// What the translation could not state, so that a report can say so.
struct PolicyGaps {
  int ftp = 0;            // Trusted or Restricted "ftp" values: these browsers no longer load ftp
  int unexpressible = 0;  // Trusted or Restricted values no pattern states (other protocols, names no host has)
  int unreadable = 0;     // values that hold no zone number (another type or size)
  // Patterns of the policy that block where the zone map asks for more: hosts
  // one label below a name and hosts further below get different answers.
  std::vector<std::string> overblocked;
};

struct TranslatedPolicy {
  ScriptPolicy policy;
  PolicyGaps gaps;
};

// What a pattern asks of scripts; Follow takes the zone state's answer.
enum class ScriptIntent : std::uint8_t { Follow, Allow, Block };

// A group of domain keys, translated; the same in every zone state.
struct DomainPatterns {
  struct Pattern {
    std::string text;  // "[*.]example.com", "www.example.com", "https://[*.]example.com:*"
    ScriptIntent intent = ScriptIntent::Follow;
    bool operator==(const Pattern&) const = default;
  };
  // Where the pattern blocks more than the map asks: always, only while the
  // zone is secured or semi-secured (hosts the map trusts), or only while it
  // is unsecured (hosts that follow the state).
  enum class When : std::uint8_t { Always, Protected, Unsecured };
  struct Overblocked {
    std::string pattern;
    When when = When::Always;
    bool operator==(const Overblocked&) const = default;
  };

  std::string domain;             // the group's shortest name, lower case
  std::vector<std::string> keys;  // its domain keys' names in either hive, lower case
  std::vector<Pattern> patterns;
  std::vector<Overblocked> overblocked;
  int ftp = 0, unexpressible = 0, unreadable = 0;
  bool operator==(const DomainPatterns&) const = default;
};

// Every group of the store's zone maps (both hives), in the order of their
// names. Reads in one read snapshot.
std::vector<DomainPatterns> TranslateDomains(RegistryStore& store);

// Which groups an update took out (by their place before) and which it put
// in (by their place after); the others kept their order.
struct DomainsUpdate {
  std::vector<bool> dropped;
  std::vector<bool> fresh;
};

// Translates again the groups that the domain keys named `changed` (either
// hive, letter case aside) belong to or join, in `domains` as
// TranslateDomains gives them. Returns whether anything changed.
bool UpdateDomainPatterns(RegistryStore& store, std::vector<DomainPatterns>& domains,
                          const std::vector<std::string>& changed, DomainsUpdate* update = nullptr);

// The policy of the groups for a zone state, each pattern once.
TranslatedPolicy AssemblePolicy(ZoneSecurityState state, const std::vector<DomainPatterns>& domains);

// The policy and the groups' text kept from one re-apply to the next, so that
// after an update of a few groups only theirs are assembled and written: the
// others' patterns and lines are moved over as they stand. A group's patterns
// lie under its own name and under no other group's, so no pattern is in two
// groups; where the groups held one twice all the same (a damaged index), the
// policy is assembled whole every time.
struct AssembledDomains {
  bool valid = false;
  ZoneSecurityState state = ZoneSecurityState::Unsecured;
  ScriptPolicy policy;
  // Each group's patterns in the blocked and the allowed list.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> counts;
  std::string text;  // as WriteDomainPatternsText writes it
  std::vector<std::size_t> ends;  // where each group's lines end in it
};
// Assembles the policy and writes the text of all the groups.
void AssembleDomains(ZoneSecurityState state, const std::vector<DomainPatterns>& domains, AssembledDomains& out);
// Brings `assembled`, made for the groups before `update`, in step with
// `domains` after it, in the same zone state.
void ReassembleDomains(const std::vector<DomainPatterns>& domains, const DomainsUpdate& update,
                       AssembledDomains& assembled);
// Brings valid `assembled`, made for `domains`, to another zone state: the
// patterns that follow the state change lists, and the text, which no state
// changes, stays as it is.
void RestateDomains(ZoneSecurityState state, const std::vector<DomainPatterns>& domains, AssembledDomains& assembled);
// Brings `domains` and `assembled` in step with the store after a write: when
// the kept groups are known to be current but for the `written` domain keys,
// only those groups are translated again (and only theirs reassembled while
// the zone state holds); otherwise the map is translated whole.
void RefreshAssembledDomains(RegistryStore& store, bool knownButWritten, const std::vector<std::string>& written,
                             std::vector<DomainPatterns>& domains, AssembledDomains& assembled);

// The zone state and the zone maps of the store, translated; the groups too
// when `domains` is given. The reads happen in one read snapshot.
TranslatedPolicy ScriptPolicyOf(RegistryStore& store, std::vector<DomainPatterns>* domains = nullptr);

// The groups as text, one line each after a header, and back; nothing when the
// text is not such.
std::string DomainPatternsText(const std::vector<DomainPatterns>& domains);
// The same into `text`, whose room is reused.
void WriteDomainPatternsText(const std::vector<DomainPatterns>& domains, std::string& text);
std::optional<std::vector<DomainPatterns>> ParseDomainPatterns(std::string_view text);

// Which of the browsers' two policy levels a file or key holds.
enum class PolicyLevel { Managed, Recommended };

}  // namespace pw
