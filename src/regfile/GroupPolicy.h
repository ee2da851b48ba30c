// The protection of this machine as a Group Policy for every machine of a
// domain, and such a policy's site list back into the zone map.
//
// The export is built from policy sets, each adding the entries of one policy
// from the store: the site-to-zone assignment list, the Internet zone's
// profile, then Chrome's and Edge's script lists and default, as enforcement
// gives them to this machine's browsers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "regfile/PolicyFile.h"
#include "regfile/RegFile.h"
#include "registry/RegistryStore.h"
#include "scriptpolicy/ScriptPolicy.h"

namespace pw {

// Policy keys, machine side: the site-to-zone assignment list and the Internet
// zone's URL actions.
inline constexpr const char* kPolicySiteListPath =
    "Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMapKey";
inline constexpr const char* kPolicyZonePath =
    "Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";

// One protocol value of the zone map, in UTF-8.
struct ZoneListing {
  std::string domain;
  std::string subdomain;  // empty for the domain key's own values
  std::string protocol;   // "*" for all protocols
  std::uint32_t zone = 0;
};

// "example.com, subdomain www, protocol http" (the subdomain part left out
// when empty), for messages.
std::string DescribeListing(const ZoneListing& listing);

// The site name of the list for a listing: the scheme ("*" for every
// protocol), "://", and the host: "*." and the domain for the domain key's own
// values, the subdomain and the domain otherwise ("*://*.example.com",
// "https://www.example.org", "http://*.b.example.com"). Nothing, with `why`,
// when the listing cannot be written as a site name: the protocol is not a
// scheme, a name holds a character a host cannot have or an empty label, a
// "*" stands anywhere but as the subdomain's whole first label, or the zone is
// not 2, 3 or 4.
std::optional<std::string> SiteNameOf(const ZoneListing& listing, std::string* why = nullptr);

// The listing a site name of the list stands for, with the reverse rules: a
// name without a scheme, or with "*", covers every protocol; a host of at most
// two labels after an optional "*." is the domain key; a longer one is its last
// two labels as the domain and the rest (with its "*." when given) as the
// subdomain. Nothing, with `why`, for what the zone map cannot hold: an IP
// address or range, a port, a path, a wildcard anywhere else.
std::optional<ZoneListing> ListingOfSite(const std::string& site, std::uint32_t zone, std::string* why = nullptr);

struct LeftOut {
  std::string what;  // the listing or entry, in UTF-8
  std::string why;
};

struct PolicyExport {
  bool ok = false;
  std::string error;  // when not ok: what failed in the store
  PolicyFile file;
  std::vector<std::pair<std::string, std::uint32_t>> sites;  // the site list: name and zone, in file order
  std::vector<LeftOut> leftOut;   // listings the list cannot express
  std::vector<std::string> notes;  // what a set added or why it added nothing
};

// Reads the zone map and the Internet zone's state in one read snapshot of the
// store and builds the machine policy: the site list, preceded by "**delvals."
// so that it replaces any list before it, and, when the zone is secured or
// prompting, that profile's 28 values.
PolicyExport ExportPolicy(RegistryStore& store);

// The site list as the policy editor's list dialog takes it: "site<TAB>zone"
// and CR LF per listing, in UTF-8.
std::string PolicyListText(const PolicyExport& exported);

struct PolicyImportPlan {
  RegFile file;                   // the listings as zone-map keys of HKEY_CURRENT_USER, in store text
  std::size_t listings = 0;
  std::vector<LeftOut> skipped;  // entries that are not taken, each named
  // Entries of the policies our own export writes beside the site list (the
  // zone's profile, Chrome's and Edge's script policy): not taken, only counted.
  std::size_t besideSiteList = 0;
};

// Turns the site list of a policy into zone-map listings of the current user.
// The list's own "**delvals." is taken as part of it; every other entry, and
// every site the zone map cannot hold, is skipped and named: entries of other
// keys once per key. A site whose listing an earlier site of the file already
// gave is skipped too. RegFileValue::line holds the entry's number.
PolicyImportPlan PlanPolicyImport(const PolicyFile& policy);

}  // namespace pw
