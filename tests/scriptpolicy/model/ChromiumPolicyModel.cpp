#include "ChromiumPolicyModel.h"

#include <optional>
#include <string>

#include "listings/ZoneForUrl.h"

namespace pw::test {
namespace {

struct Pattern {
  std::string scheme;  // empty: any
  bool wildcard = false;
  std::string host;
};

// The forms the translation writes: "[*.]host", "host", "scheme://[*.]host:*", "scheme://host:*".
std::optional<Pattern> Parse(std::string_view text) {
  Pattern pattern;
  if (std::size_t colon = text.find("://"); colon != std::string_view::npos) {
    pattern.scheme = std::string(text.substr(0, colon));
    text.remove_prefix(colon + 3);
    if (text.size() < 2 || text.substr(text.size() - 2) != ":*") return std::nullopt;
    text.remove_suffix(2);
  }
  if (text.substr(0, 4) == "[*.]") {
    pattern.wildcard = true;
    text.remove_prefix(4);
  }
  if (text.empty()) return std::nullopt;
  pattern.host = std::string(text);
  return pattern;
}

bool Matches(const Pattern& pattern, std::string_view scheme, std::string_view host) {
  if (!pattern.scheme.empty() && pattern.scheme != scheme) return false;
  if (host == pattern.host) return true;
  return pattern.wildcard && host.size() > pattern.host.size() &&
         host.substr(host.size() - pattern.host.size()) == pattern.host &&
         host[host.size() - pattern.host.size() - 1] == '.';
}

// Higher ranks decide first: host before scheme.
long Rank(const Pattern& pattern) {
  long host = pattern.wildcard ? static_cast<long>(pattern.host.size()) : 100000;
  return host * 2 + (pattern.scheme.empty() ? 0 : 1);
}

}  // namespace

bool ChromiumRunsScripts(const ScriptPolicy& policy, std::string_view scheme, std::string_view host) {
  long best = -1;
  bool runs = true;
  for (bool blocked : {false, true}) {
    for (const std::string& text : blocked ? policy.blocked : policy.allowed) {
      std::optional<Pattern> pattern = Parse(text);
      if (!pattern || !Matches(*pattern, scheme, host)) continue;
      long rank = Rank(*pattern);
      if (rank > best || (rank == best && blocked)) {
        best = rank;
        runs = !blocked;
      }
    }
  }
  if (best >= 0) return runs;
  if (policy.managedDefault) return *policy.managedDefault != kBlockScripts;
  if (policy.recommendedDefault) return *policy.recommendedDefault != kBlockScripts;
  return true;
}

bool ZoneMapRunsScripts(RegistryStore& store, ZoneSecurityState state, std::string_view scheme,
                        std::string_view host) {
  ZoneAnswer answer = ZoneForUrl(store, std::string(scheme) + "://" + std::string(host) + "/");
  if (answer.verdict == ZoneVerdict::Listed && answer.zone == 2) return true;
  if (answer.verdict == ZoneVerdict::Listed && answer.zone == 4) return false;
  return state == ZoneSecurityState::Unsecured;
}

bool AnyPatternMatches(const std::vector<std::string>& patterns, std::string_view scheme, std::string_view host) {
  for (const std::string& text : patterns)
    if (std::optional<Pattern> pattern = Parse(text); pattern && Matches(*pattern, scheme, host)) return true;
  return false;
}

}  // namespace pw::test
