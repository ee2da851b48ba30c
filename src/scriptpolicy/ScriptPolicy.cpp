#include "scriptpolicy/ScriptPolicy.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "common/Ascii.h"
#include "listings/ZoneForUrl.h"
#include "listings/ZoneMapCopy.h"
#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"
#include "registry/RegData.h"
#include "registry/Registry.h"
#include "registry/Utf8.h"

namespace pw {
namespace {


// A name whose hosts the browsers load by name: a host name that does not end
// in a number (those are addresses by number, never looked up by name).
bool IsLoadableName(std::string_view name) {
  if (!IsHostName(name)) return false;
  std::string_view last = name.substr(name.rfind('.') + 1);
  auto hexDigit = [](char c) { return AsciiHexValue(c) >= 0; };
  bool number = std::all_of(last.begin(), last.end(), IsAsciiDigit) ||
                (last.size() > 1 && last[0] == '0' && AsciiLower(last[1]) == 'x' &&
                 std::all_of(last.begin() + 2, last.end(), hexDigit));
  return !number;
}

bool StartsWithStar(std::string_view name) { return name.size() > 2 && name[0] == '*' && name[1] == '.'; }

// The name a domain key stands for: "*.example.com" covers names below example.com.
std::string_view BaseOf(std::string_view lowerName) { return StartsWithStar(lowerName) ? lowerName.substr(2) : lowerName; }

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
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

constexpr std::array<const char*, 2> kSchemes = {"http", "https"};
using Intents = std::array<ScriptIntent, 2>;  // by scheme

ScriptIntent IntentOf(const ZoneAnswer& answer) {
  if (answer.verdict != ZoneVerdict::Listed) return ScriptIntent::Follow;
  return answer.zone == 2 ? ScriptIntent::Allow : answer.zone == 4 ? ScriptIntent::Block : ScriptIntent::Follow;
}

// Counts the values of a key that ask something of scripts but get no pattern.
void CountGaps(const ZoneMapKeyCopy& key, bool loadable, DomainPatterns& out) {
  auto count = [&](const std::vector<ZoneMapKeyCopy::Value>& values, bool stated) {
    for (const ZoneMapKeyCopy::Value& value : values) {
      // The unnamed value and "Default" are no listings, as in the site list.
      if (value.name.empty() || value.name == "Default") continue;
      std::optional<std::uint32_t> zone = DwordValue(value.type, value.data);
      if (!zone) {
        ++out.unreadable;
        continue;
      }
      if (*zone != 2 && *zone != 4) continue;
      std::string scheme = AsciiLower(value.name);
      if (scheme == "ftp")
        ++out.ftp;
      else if (!stated || (scheme != "*" && scheme != "http" && scheme != "https"))
        ++out.unexpressible;
    }
  };
  count(key.values, loadable);
  for (const ZoneMapKeyCopy::Subkey& sub : key.subkeys) {
    std::string name = AsciiLower(sub.name);
    count(sub.values, loadable && (name == "*" || IsHostName(StartsWithStar(name) ? name.substr(2) : name)));
  }
}

// The intent of hosts below a name, where the answers for hosts one label
// below, further below, and (for a "*.b" domain key's subkeys) hosts with an
// open label in between are all to be stated by one pattern. Where they
// differ, blocking: the overblocking holds in the states `gap` says.
struct Combined {
  ScriptIntent intent = ScriptIntent::Follow;
  std::optional<DomainPatterns::When> gap;
};

Combined Combine(ScriptIntent near, ScriptIntent deep, const std::vector<ScriptIntent>& others) {
  bool has[3] = {};
  has[static_cast<int>(near)] = has[static_cast<int>(deep)] = true;
  for (ScriptIntent other : others) has[static_cast<int>(other)] = true;
  if (has[0] + has[1] + has[2] == 1) return {near, std::nullopt};
  if (has[static_cast<int>(ScriptIntent::Block)])
    return {ScriptIntent::Block, has[static_cast<int>(ScriptIntent::Allow)] ? DomainPatterns::When::Always
                                                                             : DomainPatterns::When::Unsecured};
  // Trusted and following: the state's answer, which blocks the trusted part
  // only while the state blocks.
  return {ScriptIntent::Follow, DomainPatterns::When::Protected};
}

// Adds the pattern(s) for `host` ("[*.]x" or "x") where what is wanted differs
// from what the browsers would otherwise take: one for both schemes when they
// want the same, else one for each scheme that needs it.
void Emit(DomainPatterns& out, const std::string& host, const Intents& want, const Intents& otherwise) {
  bool need[2] = {want[0] != otherwise[0], want[1] != otherwise[1]};
  if (!need[0] && !need[1]) return;
  if (want[0] == want[1]) {
    out.patterns.push_back({host, want[0]});
    return;
  }
  for (std::size_t s = 0; s < 2; ++s)
    if (need[s]) out.patterns.push_back({std::string(kSchemes[s]) + "://" + host + ":*", want[s]});
}

struct Anchor {
  bool oneLabel = false;              // a "*.b" key makes hosts one label below it differ
  std::vector<std::string> openHosts;  // hosts a "*.b" domain key's subkey decides, with an open label
  Intents at{}, near{}, deep{};
  std::array<std::vector<ScriptIntent>, 2> open;
  Intents below{};  // what the browsers give hosts below it, once stated
};

// The patterns of one group: its keys in both hives, the only keys the zone
// query reads for any host of the group.
DomainPatterns TranslateGroup(const std::string& root, std::vector<std::string> names,
                              const std::vector<ZoneMapKeyCopy>& keys) {
  DomainPatterns out;
  out.domain = root;
  out.keys = std::move(names);
  std::vector<const ZoneMapKeyCopy*> copies;
  std::size_t longest = 0;
  bool bySchemes = false;  // some value names http or https: the schemes' answers may differ
  auto note = [&](const std::vector<ZoneMapKeyCopy::Value>& values) {
    for (const ZoneMapKeyCopy::Value& value : values) {
      std::string name = AsciiLower(value.name);
      bySchemes = bySchemes || name == "http" || name == "https";
    }
  };
  for (const ZoneMapKeyCopy& key : keys) {
    copies.push_back(&key);
    longest = std::max(longest, key.name.size());
    note(key.values);
    for (const ZoneMapKeyCopy::Subkey& sub : key.subkeys) {
      longest = std::max(longest, sub.name.size());
      note(sub.values);
    }
    CountGaps(key, true, out);
  }
  // A label that no key of the group names, so longer than any.
  std::string fresh(longest + 1, '~');

  // Few per group: a list, searched by name.
  std::vector<std::pair<std::string, Anchor>> anchors;
  auto anchorAt = [&](std::string name) -> Anchor& {
    for (auto& [known, anchor] : anchors)
      if (known == name) return anchor;
    return anchors.emplace_back(std::move(name), Anchor{}).second;
  };
  for (const ZoneMapKeyCopy& key : keys) {
    std::string name = AsciiLower(key.name);
    bool star = StartsWithStar(name);
    std::string base(BaseOf(name));
    anchorAt(base).oneLabel |= star;
    for (const ZoneMapKeyCopy::Subkey& sub : key.subkeys) {
      std::string subName = AsciiLower(sub.name);
      bool subStar = StartsWithStar(subName);
      std::string front = subStar ? subName.substr(2) : subName;
      if (subName == "*" || !IsHostName(front)) continue;  // "*" alone matches no host
      if (star)  // under "*.b" a subkey decides hosts with any label between it and b
        anchorAt(base).openHosts.push_back((subStar ? fresh + "." : std::string()) + front + "." + fresh + "." + base);
      else
        anchorAt(front + "." + base).oneLabel |= subStar;
    }
  }

  ZoneMapCopy source(copies);
  std::size_t schemes = bySchemes ? 2 : 1;
  auto intent = [&](std::size_t scheme, const std::string& host) {
    return IntentOf(ZoneForHost(source, kSchemes[scheme], host));
  };
  for (auto& [name, anchor] : anchors) {
    for (std::size_t s = 0; s < schemes; ++s) {
      anchor.at[s] = intent(s, name);
      anchor.deep[s] = intent(s, fresh + "." + fresh + "." + name);
      anchor.near[s] = anchor.oneLabel ? intent(s, fresh + "." + name) : anchor.deep[s];
      for (const std::string& host : anchor.openHosts) anchor.open[s].push_back(intent(s, host));
    }
    if (schemes == 1) {
      anchor.at[1] = anchor.at[0];
      anchor.deep[1] = anchor.deep[0];
      anchor.near[1] = anchor.near[0];
      anchor.open[1] = anchor.open[0];
    }
  }
  // Broader names first: a name's patterns depend on what its parent states.
  auto labels = [](const std::string& name) { return std::count(name.begin(), name.end(), '.'); };
  std::stable_sort(anchors.begin(), anchors.end(),
                   [&](const auto& a, const auto& b) { return labels(a.first) < labels(b.first); });
  for (std::size_t i = 0; i < anchors.size(); ++i) {
    const std::string* name = &anchors[i].first;
    Anchor* anchor = &anchors[i].second;
    // What the browsers give hosts here without patterns of its own: what the
    // nearest broader name states, or the state's answer.
    Intents otherwise{ScriptIntent::Follow, ScriptIntent::Follow};
    for (std::size_t j = i; j-- > 0;) {
      const std::string& broader = anchors[j].first;
      if (name->size() > broader.size() && EndsWith(*name, broader) &&
          (*name)[name->size() - broader.size() - 1] == '.') {
        otherwise = anchors[j].second.below;
        break;
      }
    }
    Intents& below = anchor->below;
    std::array<Combined, 2> combined;
    for (std::size_t s = 0; s < 2; ++s) {
      combined[s] = Combine(anchor->near[s], anchor->deep[s], anchor->open[s]);
      below[s] = combined[s].intent;
    }
    Emit(out, "[*.]" + *name, below, otherwise);
    Emit(out, *name, anchor->at, below);
    if (combined[0].gap && combined[0].gap == combined[1].gap) {
      out.overblocked.push_back({"[*.]" + *name, *combined[0].gap});
    } else {
      for (std::size_t s = 0; s < 2; ++s)
        if (combined[s].gap)
          out.overblocked.push_back({std::string(kSchemes[s]) + "://[*.]" + *name + ":*", *combined[s].gap});
    }
  }
  return out;
}

// Translates the domain keys of these names (lower case), grouped: each under
// the shortest of their names that ends it. Keys no host has get a group of
// their own without patterns, for their gaps. In the order of the groups' names.
std::vector<DomainPatterns> TranslateNames(RegistryStore& store, const std::set<std::string>& names) {
  // Each name with its keys in either hive, in the names' order.
  struct Found {
    const std::string* name;
    std::vector<ZoneMapKeyCopy> keys;
    std::string_view root;
  };
  std::vector<Found> found;
  found.reserve(names.size());
  for (const std::string& name : names) found.push_back({&name, {}, {}});
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    KeyHandle domains;
    if (domains.Open(store, hive, kDomainsPath, KEY_READ) != ERROR_SUCCESS) continue;
    for (Found& entry : found)
      if (std::optional<ZoneMapKeyCopy> key = CopyZoneMapKey(store, hive, domains.get(), *entry.name))
        entry.keys.push_back(std::move(*key));
  }
  std::unordered_set<std::string_view> bases;
  for (const Found& entry : found)
    if (!entry.keys.empty() && IsLoadableName(BaseOf(*entry.name))) bases.insert(BaseOf(*entry.name));
  std::vector<DomainPatterns> result;
  std::vector<Found*> grouped;
  for (Found& entry : found) {
    if (entry.keys.empty()) continue;
    std::string_view base = BaseOf(*entry.name);
    if (!IsLoadableName(base)) {
      DomainPatterns none;
      none.domain = *entry.name;
      none.keys = {*entry.name};
      for (const ZoneMapKeyCopy& key : entry.keys) CountGaps(key, false, none);
      result.push_back(std::move(none));
      continue;
    }
    entry.root = base;
    for (std::size_t dot = base.rfind('.'); dot != std::string_view::npos && dot > 0; dot = base.rfind('.', dot - 1))
      if (bases.count(base.substr(dot + 1))) {
        entry.root = base.substr(dot + 1);
        break;
      }
    grouped.push_back(&entry);
  }
  std::stable_sort(grouped.begin(), grouped.end(), [](const Found* a, const Found* b) { return a->root < b->root; });
  for (std::size_t i = 0; i < grouped.size();) {
    std::vector<std::string> members;
    std::vector<ZoneMapKeyCopy> keys;
    std::size_t j = i;
    for (; j < grouped.size() && grouped[j]->root == grouped[i]->root; ++j) {
      members.push_back(*grouped[j]->name);
      for (ZoneMapKeyCopy& key : grouped[j]->keys) keys.push_back(std::move(key));
    }
    result.push_back(TranslateGroup(std::string(grouped[i]->root), std::move(members), keys));
    i = j;
  }
  std::sort(result.begin(), result.end(),
            [](const DomainPatterns& a, const DomainPatterns& b) { return a.domain < b.domain; });
  return result;
}

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

}  // namespace

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
    bool plain = IsAsciiAlnum(static_cast<char>(c)) || c == '-' || c == '_';
    if (!plain && !(c == '.' && previous != '.')) return false;
    previous = static_cast<char>(c);
    ++i;
  }
  return true;
}

std::vector<DomainPatterns> TranslateDomains(RegistryStore& store) {
  ReadSnapshot snapshot(store);
  std::set<std::string> names;
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    for (const std::string& name : ZoneMapDomainNames(store, hive)) names.insert(AsciiLower(name));
  return TranslateNames(store, names);
}

bool UpdateDomainPatterns(RegistryStore& store, std::vector<DomainPatterns>& domains,
                          const std::vector<std::string>& changed, DomainsUpdate* update) {
  ReadSnapshot snapshot(store);
  std::set<std::string> names;
  std::vector<bool> drop(domains.size());
  auto dropGroup = [&](std::size_t i) {
    if (drop[i]) return;
    drop[i] = true;
    names.insert(domains[i].keys.begin(), domains[i].keys.end());
  };
  // Whether a group of host names is named so (then dropped).
  auto find = [&](std::string_view domain) {
    auto at = std::lower_bound(domains.begin(), domains.end(), domain,
                               [](const DomainPatterns& d, std::string_view name) { return d.domain < name; });
    if (at == domains.end() || at->domain != domain) return false;
    dropGroup(static_cast<std::size_t>(at - domains.begin()));
    return IsLoadableName(domain);
  };
  for (const std::string& written : changed) {
    if (written.empty()) continue;
    std::string name = AsciiLower(written);
    names.insert(name);
    std::string_view base = BaseOf(name);
    find(name);
    // The group it is in: the one named by it or by a name that ends it.
    bool grouped = find(base);
    for (std::size_t dot = base.find('.'); dot != std::string_view::npos; dot = base.find('.', dot + 1))
      grouped = find(base.substr(dot + 1)) || grouped;
    // The groups below it, which it may now gather under itself. Where it
    // was in a group already, none is: that group's name ends theirs, so
    // they would be in it.
    if (grouped) continue;
    std::string tail = "." + std::string(base);
    for (std::size_t i = 0; i < domains.size(); ++i)
      if (EndsWith(domains[i].domain, tail)) dropGroup(i);
  }
  std::vector<DomainPatterns> now = TranslateNames(store, names);
  // Usually the groups translated again are the groups dropped, in the same
  // places: they are replaced where they stand.
  std::vector<std::size_t> dropped;
  for (std::size_t i = 0; i < drop.size(); ++i)
    if (drop[i]) dropped.push_back(i);
  bool samePlaces = dropped.size() == now.size();
  for (std::size_t k = 0; samePlaces && k < now.size(); ++k) samePlaces = now[k].domain == domains[dropped[k]].domain;
  if (samePlaces) {
    bool changedAny = false;
    for (std::size_t k = 0; k < now.size(); ++k) {
      changedAny = changedAny || now[k] != domains[dropped[k]];
      domains[dropped[k]] = std::move(now[k]);
    }
    if (update) {
      update->fresh = drop;
      update->dropped = std::move(drop);
    }
    return changedAny;
  }
  std::vector<DomainPatterns> before;
  std::vector<DomainPatterns> kept;
  kept.reserve(domains.size() + now.size());
  for (std::size_t i = 0; i < domains.size(); ++i) (drop[i] ? before : kept).push_back(std::move(domains[i]));
  bool changedAny = before != now;
  std::vector<bool> fresh(kept.size(), false);
  for (DomainPatterns& group : now) {
    auto at = std::lower_bound(kept.begin(), kept.end(), group.domain,
                               [](const DomainPatterns& d, const std::string& name) { return d.domain < name; });
    fresh.insert(fresh.begin() + (at - kept.begin()), true);
    kept.insert(at, std::move(group));
  }
  domains = std::move(kept);
  if (update) {
    update->dropped = std::move(drop);
    update->fresh = std::move(fresh);
  }
  return changedAny;
}

TranslatedPolicy AssemblePolicy(ZoneSecurityState state, const std::vector<DomainPatterns>& domains) {
  TranslatedPolicy result;
  bool unsecured = state != ZoneSecurityState::Secured && state != ZoneSecurityState::SemiSecured;
  std::size_t count = 0;
  for (const DomainPatterns& domain : domains) count += domain.patterns.size();
  PatternList blocked(count), allowed(count);
  PolicyGaps& gaps = result.gaps;
  for (const DomainPatterns& domain : domains) {
    for (const DomainPatterns::Pattern& pattern : domain.patterns) {
      bool allow = pattern.intent == ScriptIntent::Allow || (pattern.intent == ScriptIntent::Follow && unsecured);
      (allow ? allowed : blocked).Add(pattern.text);
    }
    for (const DomainPatterns::Overblocked& over : domain.overblocked)
      if (over.when == DomainPatterns::When::Always || (over.when == DomainPatterns::When::Unsecured) == unsecured)
        gaps.overblocked.push_back(over.pattern);
    gaps.ftp += domain.ftp;
    gaps.unexpressible += domain.unexpressible;
    gaps.unreadable += domain.unreadable;
  }
  result.policy.blocked.assign(blocked.Patterns().begin(), blocked.Patterns().end());
  for (std::string_view pattern : allowed.Patterns())
    if (!blocked.Contains(pattern)) result.policy.allowed.emplace_back(pattern);
  if (state == ZoneSecurityState::Secured) result.policy.managedDefault = kBlockScripts;
  if (state == ZoneSecurityState::SemiSecured) result.policy.recommendedDefault = kBlockScripts;
  return result;
}

TranslatedPolicy ScriptPolicyOf(RegistryStore& store, std::vector<DomainPatterns>* domains) {
  ReadSnapshot snapshot(store);
  Registry registry(store);
  ZoneSecurityState state = DetectZoneSecurity(registry);
  std::vector<DomainPatterns> translated = TranslateDomains(store);
  TranslatedPolicy result = AssemblePolicy(state, translated);
  if (domains) *domains = std::move(translated);
  return result;
}

namespace {
constexpr std::string_view kPatternsHeader = "portwarden domain patterns 2\n";
constexpr char kIntentMarks[] = {'~', '+', '-'};  // Follow, Allow, Block
constexpr char kWhenMarks[] = {'A', 'P', 'U'};    // Always, Protected, Unsecured
}  // namespace

std::string DomainPatternsText(const std::vector<DomainPatterns>& domains) {
  std::string text;
  WriteDomainPatternsText(domains, text);
  return text;
}

namespace {

std::size_t TextSizeOf(const DomainPatterns& domain) {
  std::size_t size = domain.domain.size() + 2;
  for (const std::string& key : domain.keys) size += key.size() + 2;
  for (const DomainPatterns::Pattern& pattern : domain.patterns) size += pattern.text.size() + 2;
  return size;
}

// A group's lines. Names that hold a line break are no host names, and their
// groups have no patterns; such a name is left out, and with it a key the
// index forgets.
void AppendGroupText(const DomainPatterns& domain, std::string& text) {
  auto line = [&](std::string_view mark, std::string_view item) {
    if (item.find('\n') != std::string_view::npos) return;
    text += mark;
    text += item;
    text += '\n';
  };
  if (domain.domain.find('\n') != std::string::npos) return;
  line("@", domain.domain);
  if (domain.keys.size() != 1 || domain.keys.front() != domain.domain)
    for (const std::string& key : domain.keys) line("=", key);
  for (const DomainPatterns::Pattern& pattern : domain.patterns)
    line(std::string_view(&kIntentMarks[static_cast<int>(pattern.intent)], 1), pattern.text);
  for (const DomainPatterns::Overblocked& over : domain.overblocked)
    line(std::string("!") + kWhenMarks[static_cast<int>(over.when)], over.pattern);
  if (domain.ftp || domain.unexpressible || domain.unreadable)
    line("#", std::to_string(domain.ftp) + " " + std::to_string(domain.unexpressible) + " " +
                  std::to_string(domain.unreadable));
}

void WriteGroupsText(const std::vector<DomainPatterns>& domains, std::string& text, std::vector<std::size_t>* ends) {
  std::size_t size = kPatternsHeader.size();
  for (const DomainPatterns& domain : domains) size += TextSizeOf(domain);
  text.reserve(size);
  text.assign(kPatternsHeader);
  if (ends) ends->clear();
  for (const DomainPatterns& domain : domains) {
    AppendGroupText(domain, text);
    if (ends) ends->push_back(text.size());
  }
}

bool AllowsIn(ScriptIntent intent, bool unsecured) {
  return intent == ScriptIntent::Allow || (intent == ScriptIntent::Follow && unsecured);
}

bool Unsecured(ZoneSecurityState state) {
  return state != ZoneSecurityState::Secured && state != ZoneSecurityState::SemiSecured;
}

}  // namespace

void WriteDomainPatternsText(const std::vector<DomainPatterns>& domains, std::string& text) {
  WriteGroupsText(domains, text, nullptr);
}

void AssembleDomains(ZoneSecurityState state, const std::vector<DomainPatterns>& domains, AssembledDomains& out) {
  out.policy = AssemblePolicy(state, domains).policy;
  out.state = state;
  bool unsecured = Unsecured(state);
  out.counts.assign(domains.size(), {0, 0});
  std::size_t total = 0;
  for (std::size_t i = 0; i < domains.size(); ++i)
    for (const DomainPatterns::Pattern& pattern : domains[i].patterns) {
      ++(AllowsIn(pattern.intent, unsecured) ? out.counts[i].second : out.counts[i].first);
      ++total;
    }
  // Patterns held twice were assembled once: then the lists are no longer
  // the groups' patterns one after another.
  out.valid = out.policy.blocked.size() + out.policy.allowed.size() == total;
  WriteGroupsText(domains, out.text, &out.ends);
}

void ReassembleDomains(const std::vector<DomainPatterns>& domains, const DomainsUpdate& update,
                       AssembledDomains& assembled) {
  bool unsecured = Unsecured(assembled.state);
  ScriptPolicy& policy = assembled.policy;
  std::vector<std::string> blocked, allowed;
  blocked.reserve(policy.blocked.size() + 64);
  allowed.reserve(policy.allowed.size() + 64);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> counts;
  counts.reserve(domains.size());
  std::string text;
  text.reserve(assembled.text.size() + 4096);
  text.assign(kPatternsHeader);
  std::vector<std::size_t> ends;
  ends.reserve(domains.size());
  // The groups kept come in the same order as before: each takes its run of
  // the lists and of the text from where the one before it left off, past
  // the groups taken out.
  std::size_t old = 0, oldBlocked = 0, oldAllowed = 0;
  std::size_t oldText = kPatternsHeader.size();
  auto skipDropped = [&] {
    while (old < update.dropped.size() && update.dropped[old]) {
      oldBlocked += assembled.counts[old].first;
      oldAllowed += assembled.counts[old].second;
      oldText = assembled.ends[old];
      ++old;
    }
  };
  for (std::size_t i = 0; i < domains.size(); ++i) {
    if (update.fresh[i]) {
      std::pair<std::uint32_t, std::uint32_t> count{0, 0};
      for (const DomainPatterns::Pattern& pattern : domains[i].patterns) {
        bool allow = AllowsIn(pattern.intent, unsecured);
        (allow ? allowed : blocked).push_back(pattern.text);
        ++(allow ? count.second : count.first);
      }
      counts.push_back(count);
      AppendGroupText(domains[i], text);
      ends.push_back(text.size());
      continue;
    }
    skipDropped();
    const std::pair<std::uint32_t, std::uint32_t>& count = assembled.counts[old];
    for (std::uint32_t k = 0; k < count.first; ++k) blocked.push_back(std::move(policy.blocked[oldBlocked++]));
    for (std::uint32_t k = 0; k < count.second; ++k) allowed.push_back(std::move(policy.allowed[oldAllowed++]));
    counts.push_back(count);
    text.append(assembled.text, oldText, assembled.ends[old] - oldText);
    oldText = assembled.ends[old];
    ends.push_back(text.size());
    ++old;
  }
  policy.blocked = std::move(blocked);
  policy.allowed = std::move(allowed);
  assembled.counts = std::move(counts);
  assembled.text = std::move(text);
  assembled.ends = std::move(ends);
}

void RestateDomains(ZoneSecurityState state, const std::vector<DomainPatterns>& domains, AssembledDomains& assembled) {
  bool was = Unsecured(assembled.state), now = Unsecured(state);
  ScriptPolicy& policy = assembled.policy;
  if (was != now) {
    // Each group's patterns lie in the lists in its order, split by where
    // they went: they are moved to where they go now.
    std::vector<std::string> blocked, allowed;
    std::size_t total = policy.blocked.size() + policy.allowed.size();
    blocked.reserve(total);
    allowed.reserve(total);
    std::size_t oldBlocked = 0, oldAllowed = 0;
    for (std::size_t i = 0; i < domains.size(); ++i) {
      std::pair<std::uint32_t, std::uint32_t> count{0, 0};
      for (const DomainPatterns::Pattern& pattern : domains[i].patterns) {
        std::string& from = AllowsIn(pattern.intent, was) ? policy.allowed[oldAllowed++] : policy.blocked[oldBlocked++];
        bool allow = AllowsIn(pattern.intent, now);
        (allow ? allowed : blocked).push_back(std::move(from));
        ++(allow ? count.second : count.first);
      }
      assembled.counts[i] = count;
    }
    policy.blocked = std::move(blocked);
    policy.allowed = std::move(allowed);
  }
  policy.managedDefault.reset();
  policy.recommendedDefault.reset();
  if (state == ZoneSecurityState::Secured) policy.managedDefault = kBlockScripts;
  if (state == ZoneSecurityState::SemiSecured) policy.recommendedDefault = kBlockScripts;
  assembled.state = state;
}

void RefreshAssembledDomains(RegistryStore& store, bool knownButWritten, const std::vector<std::string>& written,
                             std::vector<DomainPatterns>& domains, AssembledDomains& assembled) {
  Registry registry(store);
  ZoneSecurityState state = DetectZoneSecurity(registry);
  if (knownButWritten) {
    DomainsUpdate update;
    UpdateDomainPatterns(store, domains, written, &update);
    if (!assembled.valid) {
      AssembleDomains(state, domains, assembled);
      return;
    }
    bool groupsChanged = std::find(update.dropped.begin(), update.dropped.end(), true) != update.dropped.end() ||
                         std::find(update.fresh.begin(), update.fresh.end(), true) != update.fresh.end();
    if (groupsChanged) ReassembleDomains(domains, update, assembled);
    if (assembled.state != state) RestateDomains(state, domains, assembled);
  } else {
    domains = TranslateDomains(store);
    AssembleDomains(state, domains, assembled);
  }
}

std::optional<std::vector<DomainPatterns>> ParseDomainPatterns(std::string_view text) {
  if (text.substr(0, kPatternsHeader.size()) != kPatternsHeader) return std::nullopt;
  std::vector<DomainPatterns> domains;
  domains.reserve(text.size() / 48);
  auto finish = [&] {
    if (!domains.empty() && domains.back().keys.empty()) domains.back().keys = {domains.back().domain};
  };
  for (std::size_t start = kPatternsHeader.size(); start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) return std::nullopt;
    char mark = line[0];
    std::string_view rest = line.substr(1);
    // A damaged or forged index holds no pattern that is not one.
    bool pattern = mark == '+' || mark == '-' || mark == '~';
    if ((pattern && !IsPatternText(rest)) || (mark == '!' && (rest.empty() || !IsPatternText(rest.substr(1)))))
      return std::nullopt;
    if (mark == '@') {
      finish();
      domains.push_back({});
      domains.back().domain = std::string(rest);
      continue;
    }
    if (domains.empty()) return std::nullopt;
    DomainPatterns& domain = domains.back();
    const char* intent = std::find(std::begin(kIntentMarks), std::end(kIntentMarks), mark);
    if (mark == '=') {
      domain.keys.emplace_back(rest);
    } else if (intent != std::end(kIntentMarks)) {
      domain.patterns.push_back({std::string(rest), static_cast<ScriptIntent>(intent - kIntentMarks)});
    } else if (mark == '!' && !rest.empty()) {
      const char* when = std::find(std::begin(kWhenMarks), std::end(kWhenMarks), rest[0]);
      if (when == std::end(kWhenMarks)) return std::nullopt;
      domain.overblocked.push_back({std::string(rest.substr(1)), static_cast<DomainPatterns::When>(when - kWhenMarks)});
    } else if (mark == '#') {
      std::string counts(rest);
      if (std::sscanf(counts.c_str(), "%d %d %d", &domain.ftp, &domain.unexpressible, &domain.unreadable) != 3)
        return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  finish();
  return domains;
}

}  // namespace pw
