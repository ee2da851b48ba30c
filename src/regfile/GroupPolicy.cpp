#include "regfile/GroupPolicy.h"

#include <map>

#include "common/Ascii.h"
#include "scriptpolicy/ScriptPolicy.h"
#include "listings/ZoneMapValues.h"
#include "policy/ZoneProfiles.h"
#include "policy/ZoneSecurity.h"
#include "regfile/TextCodec.h"
#include "registry/KnownKeys.h"
#include "registry/NameFold.h"
#include "registry/RegData.h"

namespace pw {
namespace {

// The longest host name a site can have.
constexpr std::size_t kMaxHost = 253;

// RFC 3986: a letter, then letters, digits, "+", "-" and ".".
bool IsScheme(std::string_view text) {
  if (text.empty() || !IsAsciiLetter(text[0])) return false;
  for (char c : text)
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') return false;
  return true;
}

// Of ASCII, a host holds letters, digits, "-" and "_"; every other character
// of UTF-8 text is a letter of some script. "*" is checked by the callers.
bool IsHostCharacter(char c) {
  return static_cast<unsigned char>(c) >= 0x80 || IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '_' || c == '*';
}

std::vector<std::string_view> Labels(std::string_view host) {
  std::vector<std::string_view> labels;
  std::size_t start = 0;
  while (true) {
    std::size_t dot = host.find('.', start);
    labels.push_back(host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) return labels;
    start = dot + 1;
  }
}

// Checks the labels of a domain or subdomain; `wildcardFirst` lets the first
// label be "*" alone.
bool CheckLabels(std::string_view name, const char* role, bool wildcardFirst, std::string& why) {
  std::vector<std::string_view> labels = Labels(name);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    std::string_view label = labels[i];
    if (label.empty()) {
      why = std::string("the ") + role + " has an empty label";
      return false;
    }
    for (char c : label) {
      if (!IsHostCharacter(c)) {
        why = std::string("the ") + role + " holds '" + c + "', which a host name cannot hold";
        return false;
      }
    }
    if (label.find('*') != std::string_view::npos && !(wildcardFirst && i == 0 && label == "*")) {
      why = std::string("the ") + role + " holds a \"*\" that is not a whole first label of a subdomain";
      return false;
    }
    if (label.front() == '-' || label.back() == '-') {
      why = std::string("the ") + role + " has a label that starts or ends with \"-\", which no host name has";
      return false;
    }
  }
  return true;
}

bool CheckZone(std::uint32_t zone, std::string& why) {
  if (zone >= 2 && zone <= 4) return true;
  why = "zone " + std::to_string(zone) + " is not Trusted (2), Unclassified (3) or Restricted (4)";
  return false;
}


std::string StatusText(LONG status) { return std::to_string(status) + " (" + StatusName(status) + ")"; }

std::string ToUtf8(const std::string& storeText) {
  std::string utf8;
  return ConvertText(TextEncoding::Store, TextEncoding::Utf8, storeText, utf8) ? utf8 : std::string();
}

// "the domain D", "the subdomain S of D", for messages.
std::string Where(const std::string& domain, const std::string* subdomain) {
  return subdomain ? "the subdomain " + ToUtf8(*subdomain) + " of " + ToUtf8(domain) : "the domain " + ToUtf8(domain);
}

// Every protocol value of the zone map as a listing in UTF-8; values that are
// not go to out.leftOut. False, with out.error, when the store failed.
bool ReadListings(RegistryStore& store, PolicyExport& out, std::vector<ZoneListing>& listings) {
  ZoneMapReadFailure failure =
      ForEachZoneMapDomain(store, [&](const std::string&, const std::vector<ZoneMapValue>& values) {
        for (const ZoneMapValue& value : values) {
          if (value.name.empty() || value.name == "Default") continue;  // not protocol values
          const std::string* subdomain = value.subdomain.empty() ? nullptr : &value.subdomain;
          ZoneListing listing;
          bool text = ConvertText(TextEncoding::Store, TextEncoding::Utf8, value.domain, listing.domain) &&
                      (!subdomain ||
                       ConvertText(TextEncoding::Store, TextEncoding::Utf8, *subdomain, listing.subdomain)) &&
                      ConvertText(TextEncoding::Store, TextEncoding::Utf8, value.name, listing.protocol);
          if (!text) {
            out.leftOut.push_back(
                {Where(value.domain, subdomain) + ", value " + ToUtf8(value.name), "its names are not valid text"});
          } else if (std::optional<std::uint32_t> zone = DwordValue(value.type, value.data)) {
            listing.zone = *zone;
            listings.push_back(std::move(listing));
          } else {
            out.leftOut.push_back({DescribeListing(listing), "its data is not a zone number (type " +
                                                                 std::to_string(value.type) + ", " +
                                                                 std::to_string(value.data.size()) + " bytes)"});
          }
        }
      });
  if (failure.status == ERROR_SUCCESS) return true;
  std::string where = failure.domain ? Where(*failure.domain, failure.subdomain ? &*failure.subdomain : nullptr)
                                     : std::string("the zone map");
  out.error = std::string("cannot ") + failure.action + " " + where + " in the store " + store.Describe() + ": " +
              StatusText(failure.status);
  return false;
}

void AddEntry(PolicyExport& out, const std::string& key, std::string name, DWORD type, std::string data) {
  out.file.entries.push_back({key, std::move(name), type, std::move(data), 0});
}

// The site-to-zone assignment list.
bool AddSiteList(RegistryStore& store, PolicyExport& out) {
  std::vector<ZoneListing> listings;
  if (!ReadListings(store, out, listings)) return false;
  std::string space;
  PolicyText(" ", space);
  AddEntry(out, kPolicySiteListPath, kDeleteAllValues, REG_SZ, space);
  std::map<std::string, const ZoneListing*> given;  // folded site name -> the listing that gave it
  for (const ZoneListing& listing : listings) {
    std::string why;
    std::optional<std::string> site = SiteNameOf(listing, &why);
    if (!site) {
      out.leftOut.push_back({DescribeListing(listing), why});
      continue;
    }
    auto [it, added] = given.emplace(FoldName(*site), &listing);
    if (!added) {
      // The same site with the same zone says nothing new.
      if (it->second->zone != listing.zone)
        out.leftOut.push_back({DescribeListing(listing), "its site name " + *site + " is taken by " +
                                                             DescribeListing(*it->second) + " (zone " +
                                                             std::to_string(it->second->zone) + ")"});
      continue;
    }
    std::string data;
    PolicyText(std::to_string(listing.zone), data);
    AddEntry(out, kPolicySiteListPath, *site, REG_SZ, std::move(data));
    out.sites.emplace_back(*site, listing.zone);
  }
  out.notes.push_back("site list: " + std::to_string(out.sites.size()) + (out.sites.size() == 1 ? " site" : " sites"));
  return true;
}

// The Internet zone's profile, when the zone is protected.
bool AddZoneProfile(RegistryStore& store, PolicyExport& out) {
  Registry registry(store);
  ZoneSecurityState state = DetectZoneSecurity(registry);
  if (state == ZoneSecurityState::Unsecured) {
    out.notes.push_back("Internet zone: unsecured, so no profile is part of the policy");
    return true;
  }
  ZoneProfile profile = state == ZoneSecurityState::Secured ? ZoneProfile::LockedDown : ZoneProfile::Prompting;
  std::vector<ProfileValue> values = ProfileValues(profile);
  for (const ProfileValue& value : values) {
    std::string data = value.type == REG_DWORD ? PolicyDword(value.data.AsDword().value_or(0)) : value.data.AsText();
    AddEntry(out, kPolicyZonePath, value.name, value.type, std::move(data));
  }
  out.notes.push_back(std::string("Internet zone: ") + ZoneSecurityStateName(state) + ", so the " +
                      (state == ZoneSecurityState::Secured ? "locked-down" : "prompting") + " profile's " +
                      std::to_string(values.size()) + " values");
  return true;
}

// The script lists and default that enforcement gives this machine's
// browsers, for Chrome and Edge on every machine: each list and default
// replaces whatever an earlier policy set there.
bool AddBrowserScriptPolicy(RegistryStore& store, PolicyExport& out) {
  TranslatedPolicy translated = ScriptPolicyOf(store);
  const ScriptPolicy& policy = translated.policy;
  std::string space;
  PolicyText(" ", space);
  // Patterns are store text; one that is not valid text is left out once.
  std::vector<std::string> blocked, allowed;
  for (auto [from, to] : {std::pair{&policy.blocked, &blocked}, std::pair{&policy.allowed, &allowed}}) {
    for (const std::string& pattern : *from) {
      std::string utf8 = ToUtf8(pattern);
      if (utf8.empty()) out.leftOut.push_back({"the script pattern of a listing", "its name is not valid text"});
      else to->push_back(std::move(utf8));
    }
  }
  for (const char* vendor : {kChromePolicyPath, kEdgePolicyPath}) {
    auto setDefault = [&](const std::string& key, std::optional<int> value) {
      if (value) AddEntry(out, key, kDefaultScriptPolicy, REG_DWORD, PolicyDword(static_cast<std::uint32_t>(*value)));
      else AddEntry(out, key, std::string(kDeleteValuePrefix) + kDefaultScriptPolicy, REG_SZ, space);
    };
    setDefault(vendor, policy.managedDefault);
    setDefault(std::string(vendor) + "\\Recommended", policy.recommendedDefault);
    for (auto [name, patterns] : {std::pair{kBlockedScriptsPolicy, &blocked}, std::pair{kAllowedScriptsPolicy, &allowed}}) {
      std::string key = std::string(vendor) + "\\" + name;
      AddEntry(out, key, kDeleteAllValues, REG_SZ, space);
      // The browsers read a list from "1" up to the first number missing.
      int number = 0;
      for (const std::string& pattern : *patterns) {
        std::string data;
        PolicyText(pattern, data);
        AddEntry(out, key, std::to_string(++number), REG_SZ, std::move(data));
      }
    }
  }
  out.notes.push_back("Chrome and Edge: " + std::to_string(blocked.size()) + " blocked and " +
                      std::to_string(allowed.size()) + " allowed script patterns, default " +
                      (policy.managedDefault ? "blocked" : policy.recommendedDefault ? "blocked as recommended" : "the user's"));
  if (translated.gaps.ftp + translated.gaps.unexpressible > 0)
    out.notes.push_back("Chrome and Edge: " + std::to_string(translated.gaps.ftp + translated.gaps.unexpressible) +
                        " listings have no script pattern (ftp values, or names no pattern states)");
  return true;
}

// The policy sets of an export, in file order.
constexpr bool (*kPolicySets[])(RegistryStore&, PolicyExport&) = {AddSiteList, AddZoneProfile,
                                                                  AddBrowserScriptPolicy};

}  // namespace

std::string DescribeListing(const ZoneListing& listing) {
  return listing.domain + (listing.subdomain.empty() ? "" : ", subdomain " + listing.subdomain) + ", protocol " +
         listing.protocol;
}

std::optional<std::string> SiteNameOf(const ZoneListing& listing, std::string* why) {
  std::string reason;
  if (!CheckZone(listing.zone, reason)) {
  } else if (listing.protocol != "*" && !IsScheme(listing.protocol)) {
    reason = "the protocol \"" + listing.protocol + "\" is not a scheme";
  } else if (CheckLabels(listing.domain, "domain", false, reason) &&
             (listing.subdomain.empty() || CheckLabels(listing.subdomain, "subdomain", true, reason))) {
    std::string host = listing.subdomain.empty() ? "*." + listing.domain : listing.subdomain + "." + listing.domain;
    if (host.size() <= kMaxHost + 2) return listing.protocol + "://" + host;
    reason = "the host is longer than a host name can be";
  }
  if (why) *why = reason;
  return std::nullopt;
}

std::optional<ZoneListing> ListingOfSite(const std::string& site, std::uint32_t zone, std::string* why) {
  std::string reason;
  auto fail = [&](std::string what) -> std::optional<ZoneListing> {
    if (why) *why = std::move(what);
    return std::nullopt;
  };
  if (!CheckZone(zone, reason)) return fail(reason);
  ZoneListing listing;
  listing.zone = zone;
  listing.protocol = "*";
  std::string_view host = site;
  if (std::size_t colon = host.find("://"); colon != std::string_view::npos) {
    std::string_view scheme = host.substr(0, colon);
    if (scheme != "*" && !IsScheme(scheme)) return fail("\"" + std::string(scheme) + "\" is not a scheme");
    listing.protocol = AsciiLower(scheme);
    host.remove_prefix(colon + 3);
  }
  if (host.find('/') != std::string_view::npos) return fail("it has a path, which the zone map cannot hold");
  if (host.find(':') != std::string_view::npos || host.find('[') != std::string_view::npos)
    return fail("it has a port or an IPv6 address, which the zone map cannot hold");
  if (host.empty()) return fail("it has no host");
  if (host.size() > kMaxHost + 2) return fail("the host is longer than a host name can be");
  bool wildcard = host.substr(0, 2) == "*.";
  if (wildcard) host.remove_prefix(2);
  if (!CheckLabels(host, "host", false, reason)) return fail(reason);
  std::vector<std::string_view> labels = Labels(host);
  std::string_view last = labels.back();
  if (last.find_first_not_of("0123456789-") == std::string_view::npos)
    return fail("it is an IP address or range; the zone map here holds domains");
  std::size_t split = labels.size() <= 2 ? 0 : labels.size() - 2;
  std::size_t domainStart = split == 0 ? 0 : static_cast<std::size_t>(labels[split].data() - host.data());
  listing.domain = std::string(host.substr(domainStart));
  if (split > 0) listing.subdomain = (wildcard ? "*." : "") + std::string(host.substr(0, domainStart - 1));
  return listing;
}

PolicyExport ExportPolicy(RegistryStore& store) {
  PolicyExport out;
  // One state of the store for the whole policy, even while another process writes.
  ReadSnapshot snapshot(store);
  for (auto addSet : kPolicySets)
    if (!addSet(store, out)) return out;
  out.ok = true;
  return out;
}

std::string PolicyListText(const PolicyExport& exported) {
  std::string text;
  for (const auto& [site, zone] : exported.sites) text += site + "\t" + std::to_string(zone) + "\r\n";
  return text;
}

namespace {

// An entry of the policies an export writes beside the site list: the zone's
// profile values, the browsers' default and their numbered script lists.
bool IsBesideSiteList(const PolicyEntry& entry) {
  if (SameName(entry.key, kPolicyZonePath)) {
    for (const ProfileValue& value : ProfileValues(ZoneProfile::LockedDown))
      if (SameName(entry.name, value.name)) return true;
    return false;
  }
  for (const char* vendor : {kChromePolicyPath, kEdgePolicyPath}) {
    std::string base = vendor;
    if (SameName(entry.key, base) || SameName(entry.key, base + "\\Recommended"))
      return SameName(entry.name, kDefaultScriptPolicy) ||
             SameName(entry.name, std::string(kDeleteValuePrefix) + kDefaultScriptPolicy);
    for (const char* list : {kBlockedScriptsPolicy, kAllowedScriptsPolicy})
      if (SameName(entry.key, base + "\\" + list))
        return SameName(entry.name, kDeleteAllValues) ||
               (!entry.name.empty() && entry.name.find_first_not_of("0123456789") == std::string::npos);
  }
  return false;
}

}  // namespace

PolicyImportPlan PlanPolicyImport(const PolicyFile& policy) {
  PolicyImportPlan plan;
  plan.file.format = RegFileFormat::Version5;
  std::map<std::string, std::pair<std::size_t, std::size_t>> otherKeys;  // folded key -> skipped index, count
  std::map<std::string, std::size_t> keyIndex;                            // folded path -> index into file.keys
  std::map<std::string, std::size_t> listingEntry;  // folded path and protocol -> entry number
  for (std::size_t i = 0; i < policy.entries.size(); ++i) {
    const PolicyEntry& entry = policy.entries[i];
    int number = static_cast<int>(i + 1);
    std::string entryName = "entry " + std::to_string(number) + ", \"" + entry.name + "\"";
    auto skip = [&](std::string why) { plan.skipped.push_back({entryName, std::move(why)}); };
    if (IsBesideSiteList(entry)) {
      ++plan.besideSiteList;
      continue;
    }
    if (!SameName(entry.key, kPolicySiteListPath)) {
      auto [it, added] = otherKeys.emplace(FoldName(entry.key), std::make_pair(plan.skipped.size(), 1));
      if (added) plan.skipped.push_back({entry.key, ""});
      else ++it->second.second;
      plan.skipped[it->second.first].why = "not the site list (" + std::to_string(it->second.second) +
                                           (it->second.second == 1 ? " entry)" : " entries)");
      continue;
    }
    if (SameName(entry.name, kDeleteAllValues)) continue;
    if (entry.name.rfind("**", 0) == 0) {
      skip("an instruction of the policy format, not a site; the import only adds listings");
      continue;
    }
    std::optional<std::int64_t> zone;
    std::string text;
    if (PolicyTextOf(entry, text)) zone = ParseDecimal(text);
    else if (std::optional<std::uint32_t> number = DwordValue(entry.type, entry.data)) zone = *number;
    if (!zone || *zone < 0 || *zone > 0xFFFFFFFF) {
      skip("its data is not a zone number");
      continue;
    }
    std::string why;
    std::optional<ZoneListing> listing = ListingOfSite(entry.name, static_cast<std::uint32_t>(*zone), &why);
    if (!listing) {
      skip(why);
      continue;
    }
    std::string domain, subdomain, protocol;
    if (!ConvertText(TextEncoding::Utf8, TextEncoding::Store, listing->domain, domain) ||
        !ConvertText(TextEncoding::Utf8, TextEncoding::Store, listing->subdomain, subdomain) ||
        !ConvertText(TextEncoding::Utf8, TextEncoding::Store, listing->protocol, protocol)) {
      skip("its name cannot be written in the store's 8-bit text");
      continue;
    }
    std::string path = std::string(kDomainsPath) + "\\" + domain + (subdomain.empty() ? "" : "\\" + subdomain);
    std::string folded = FoldName(path);
    auto [seen, fresh] = listingEntry.emplace(folded + "\n" + FoldName(protocol), number);
    if (!fresh) {
      skip("entry " + std::to_string(seen->second) + " already gives its listing (" + DescribeListing(*listing) + ")");
      continue;
    }
    auto [slot, newKey] = keyIndex.emplace(folded, plan.file.keys.size());
    if (newKey) {
      RegFileKey key;
      key.hive = HKEY_CURRENT_USER;
      key.path = path;
      key.line = number;
      plan.file.keys.push_back(std::move(key));
    }
    RegFileValue value;
    value.name = protocol;
    value.type = REG_DWORD;
    value.data = PolicyDword(static_cast<std::uint32_t>(*zone));
    value.line = number;
    plan.file.keys[slot->second].values.push_back(std::move(value));
    ++plan.listings;
  }
  return plan;
}

}  // namespace pw
