// The machine policy built from the store, the site names of its list, and a
// policy's site list taken back into the zone map.
#include <gtest/gtest.h>

#include "RegFileTestUtil.h"
#include "ZoneMap.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "regfile/GroupPolicy.h"
#include "registry/ForwardingStore.h"

namespace pw::test {
namespace {

bool operator==(const ZoneListing& a, const ZoneListing& b) {
  return a.domain == b.domain && a.subdomain == b.subdomain && a.protocol == b.protocol && a.zone == b.zone;
}

TEST(GroupPolicySiteNames, EachListingHasOneNameThatGivesItBack) {
  const std::vector<std::pair<ZoneListing, std::string>> forms = {
      {{"example.com", "", "*", 2}, "*://*.example.com"},
      {{"example.org", "www", "https", 3}, "https://www.example.org"},
      {{"example.net", "*.b", "http", 4}, "http://*.b.example.net"},
      {{"bücher.example", "", "ftp", 2}, "ftp://*.bücher.example"},
  };
  for (const auto& [listing, site] : forms) {
    EXPECT_EQ(SiteNameOf(listing).value_or("<none>"), site);
    std::optional<ZoneListing> back = ListingOfSite(site, listing.zone);
    EXPECT_TRUE(back && *back == listing) << site;
  }
  // The list's other spellings of a site.
  EXPECT_TRUE(*ListingOfSite("example.com", 2) == (ZoneListing{"example.com", "", "*", 2}));
  EXPECT_TRUE(*ListingOfSite("www.example.com", 4) == (ZoneListing{"example.com", "www", "*", 4}));
  EXPECT_TRUE(*ListingOfSite("HTTP://a.b.example.com", 3) == (ZoneListing{"example.com", "a.b", "http", 3}));
}

TEST(GroupPolicySiteNames, WhatTheOtherSideCannotHoldIsRefusedWithItsReason) {
  const std::vector<std::pair<ZoneListing, std::string>> listings = {
      {{"example.com", "", "h/t", 2}, "not a scheme"},
      {{"a*b.com", "", "*", 2}, "\"*\""},
      {{"example.com", "x.*", "*", 2}, "\"*\""},
      {{"example.com", "a..b", "*", 2}, "empty label"},
      {{"ex ample.com", "", "*", 2}, "' '"},
      {{"example.com", "", "*", 1}, "zone 1"},
  };
  for (const auto& [listing, reason] : listings) {
    std::string why;
    EXPECT_FALSE(SiteNameOf(listing, &why)) << DescribeListing(listing);
    EXPECT_NE(why.find(reason), std::string::npos) << why;
  }
  const std::vector<std::pair<std::string, std::string>> sites = {
      {"10.0.0.1", "IP address"},        {"127.0.0.1-10", "IP address"}, {"http://example.com:8080", "port"},
      {"example.com/mail", "path"},      {"a.*.example.com", "\"*\""},   {"ht!p://example.com", "not a scheme"},
      {"*://", "no host"},                {"-x.com", "\"-\""},            {"x-.com", "\"-\""},
  };
  for (const auto& [site, reason] : sites) {
    std::string why;
    EXPECT_FALSE(ListingOfSite(site, 2, &why)) << site;
    EXPECT_NE(why.find(reason), std::string::npos) << site << ": " << why;
  }
}

class GroupPolicyExport : public testing::Test {
 protected:
  GroupPolicyExport() { LayOutNewStore(store_); }
  std::vector<const PolicyEntry*> EntriesOf(const PolicyExport& exported, const char* key) {
    std::vector<const PolicyEntry*> found;
    for (const PolicyEntry& entry : exported.file.entries)
      if (entry.key == key) found.push_back(&entry);
    return found;
  }
  MemoryStore store_;
  ZoneMap map_{store_};
  Registry registry_{store_};
};

TEST_F(GroupPolicyExport, TheSiteListReplacesTheOldOneAndNamesWhatItLeavesOut) {
  map_.SetZone("example.com", "*", 2);
  map_.SetZone("example.com\\*", "*", 4);      // the same site name, another zone
  map_.SetZone("example.com\\mail", "https", 4);
  map_.SetZone("example.com\\mail", "Default", 2);  // not a listing
  map_.SetZone("a*b.example", "*", 3);
  map_.SetBytes("example.org", "http", REG_SZ, std::string("2\0", 2));
  PolicyExport exported = ExportPolicy(store_);
  ASSERT_TRUE(exported.ok) << exported.error;
  std::vector<const PolicyEntry*> list = EntriesOf(exported, kPolicySiteListPath);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], &exported.file.entries[0]);
  EXPECT_EQ(list[0]->name, "**delvals.");
  EXPECT_EQ(list[1]->name, "*://*.example.com");
  EXPECT_EQ(list[2]->name, "https://mail.example.com");
  std::string zone;
  ASSERT_TRUE(PolicyTextOf(*list[2], zone));
  EXPECT_EQ(zone, "4");
  EXPECT_EQ(PolicyListText(exported), "*://*.example.com\t2\r\nhttps://mail.example.com\t4\r\n");
  ASSERT_EQ(exported.leftOut.size(), 3u);
  std::string named;
  for (const LeftOut& left : exported.leftOut) named += left.what + ": " + left.why + "\n";
  EXPECT_NE(named.find("example.com, subdomain *, protocol *: its site name *://*.example.com is taken"),
            std::string::npos) << named;
  EXPECT_NE(named.find("a*b.example, protocol *"), std::string::npos) << named;
  EXPECT_NE(named.find("example.org, protocol http: its data is not a zone number"), std::string::npos) << named;
}

TEST_F(GroupPolicyExport, TheZoneProfileGoesWithItWhenTheZoneIsProtected) {
  for (ZoneProfile profile : {ZoneProfile::LockedDown, ZoneProfile::Prompting, ZoneProfile::Default}) {
    WriteZoneProfile(registry_, profile);
    PolicyExport exported = ExportPolicy(store_);
    std::vector<const PolicyEntry*> zone = EntriesOf(exported, kPolicyZonePath);
    if (profile == ZoneProfile::Default) {
      EXPECT_TRUE(zone.empty());
      continue;
    }
    std::vector<ProfileValue> values = ProfileValues(profile);
    ASSERT_EQ(zone.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(zone[i]->name, values[i].name);
      EXPECT_EQ(zone[i]->type, values[i].type);
      EXPECT_EQ(zone[i]->data, values[i].type == REG_DWORD ? Dword(*values[i].data.AsDword()) : values[i].data.AsText());
    }
  }
}

TEST_F(GroupPolicyExport, ChromeAndEdgeGetTheScriptListsAndADefaultThatReplaceTheOldOnes) {
  map_.SetZone("bad.example", "*", 4);
  map_.SetZone("bank.example\\www", "https", 2);
  map_.SetZone("worse.example", "*", 4);
  for (ZoneProfile profile : {ZoneProfile::LockedDown, ZoneProfile::Default}) {
    WriteZoneProfile(registry_, profile);
    PolicyExport exported = ExportPolicy(store_);
    ASSERT_TRUE(exported.ok) << exported.error;
    for (std::string vendor : {kChromePolicyPath, kEdgePolicyPath}) {
      std::vector<const PolicyEntry*> blocked = EntriesOf(exported, (vendor + "\\JavaScriptBlockedForUrls").c_str());
      ASSERT_EQ(blocked.size(), 3u) << vendor;
      std::string text;
      EXPECT_EQ(blocked[0]->name, "**delvals.");
      EXPECT_EQ(blocked[2]->name, "2");  // numbered from 1 without gaps
      ASSERT_TRUE(PolicyTextOf(*blocked[2], text));
      EXPECT_EQ(text, "[*.]worse.example");
      std::vector<const PolicyEntry*> allowed = EntriesOf(exported, (vendor + "\\JavaScriptAllowedForUrls").c_str());
      ASSERT_EQ(allowed.size(), 2u);
      ASSERT_TRUE(PolicyTextOf(*allowed[1], text));
      EXPECT_EQ(text, "https://www.bank.example:*");
      std::vector<const PolicyEntry*> managed = EntriesOf(exported, vendor.c_str());
      ASSERT_EQ(managed.size(), 1u);
      if (profile == ZoneProfile::LockedDown) {
        EXPECT_EQ(managed[0]->name, "DefaultJavaScriptSetting");
        EXPECT_EQ(managed[0]->data, Dword(2));
      } else {
        EXPECT_EQ(managed[0]->name, "**del.DefaultJavaScriptSetting");  // the user's own default again
      }
      EXPECT_EQ(EntriesOf(exported, (vendor + "\\Recommended").c_str())[0]->name, "**del.DefaultJavaScriptSetting");
    }
  }
}

TEST_F(GroupPolicyExport, AStoreFailureEndsItNamingTheStore) {
  map_.SetZone("example.com\\mail", "*", 2);
  struct BusyEnumeration : ForwardingStore {
    using ForwardingStore::ForwardingStore;
    LONG RegEnumValueA(HKEY, DWORD, char*, DWORD*, DWORD*, DWORD*, BYTE*, DWORD*) override { return ERROR_BUSY; }
  } busy(store_);
  PolicyExport exported = ExportPolicy(busy);
  EXPECT_FALSE(exported.ok);
  EXPECT_NE(exported.error.find("the domain example.com"), std::string::npos) << exported.error;
  EXPECT_NE(exported.error.find("170"), std::string::npos) << exported.error;
}

TEST(GroupPolicyImport, EntriesThatAreNotSitesOfTheListAreSkippedByName) {
  std::string two, nine;
  PolicyText("2", two);
  PolicyText("9", nine);
  PolicyFile policy;
  policy.entries = {
      {kPolicySiteListPath, "**delvals.", REG_SZ, two, 0},
      {"Software\\Policies\\Other", "a", REG_DWORD, Dword(1), 0},
      {kPolicySiteListPath, "example.com", REG_SZ, two, 0},
      {"software\\policies\\other", "b", REG_DWORD, Dword(1), 0},
      {kPolicySiteListPath, "*.example.com", REG_DWORD, Dword(4), 0},
      {kPolicySiteListPath, "**del.x.example.com", REG_SZ, two, 0},
      {kPolicySiteListPath, "y.example.com", REG_SZ, nine, 0},
      {kPolicySiteListPath, "https://www.example.com", REG_DWORD, Dword(3), 0},
  };
  PolicyImportPlan plan = PlanPolicyImport(policy);
  EXPECT_EQ(plan.listings, 2u);
  ASSERT_EQ(plan.file.keys.size(), 2u);
  EXPECT_EQ(plan.file.keys[1].path, std::string(kDomainsPath) + "\\example.com\\www");
  EXPECT_EQ(plan.file.keys[1].values[0].line, 8);
  std::string named;
  for (const LeftOut& skipped : plan.skipped) named += skipped.what + ": " + skipped.why + "\n";
  EXPECT_EQ(named,
            "Software\\Policies\\Other: not the site list (2 entries)\n"
            "entry 5, \"*.example.com\": entry 3 already gives its listing (example.com, protocol *)\n"
            "entry 6, \"**del.x.example.com\": an instruction of the policy format, not a site; the import only adds "
            "listings\n"
            "entry 7, \"y.example.com\": zone 9 is not Trusted (2), Unclassified (3) or Restricted (4)\n");
}

TEST(GroupPolicyImport, ADwordOfFewerThanFourBytesIsNoZone) {
  PolicyFile policy;
  policy.entries = {{kPolicySiteListPath, "example.com", REG_DWORD, std::string("\x02\x00", 2), 0}};
  PolicyImportPlan plan = PlanPolicyImport(policy);
  EXPECT_EQ(plan.listings, 0u);
  ASSERT_EQ(plan.skipped.size(), 1u);
  EXPECT_EQ(plan.skipped[0].why, "its data is not a zone number");
}

TEST(GroupPolicyImport, BothProtocolsOfOneSiteAreTaken) {
  PolicyFile policy;
  policy.entries = {{kPolicySiteListPath, "http://www.example.com", REG_DWORD, Dword(2), 0},
                    {kPolicySiteListPath, "https://www.example.com", REG_DWORD, Dword(4), 0}};
  PolicyImportPlan plan = PlanPolicyImport(policy);
  EXPECT_EQ(plan.listings, 2u);
  EXPECT_TRUE(plan.skipped.empty());
}

TEST_F(GroupPolicyExport, ASiteGivenTwiceAtTheSameZoneIsNoLeftOut) {
  map_.SetZone("example.com", "*", 2);
  map_.SetZone("example.com\\*", "*", 2);  // the same site name, *://*.example.com
  PolicyExport exported = ExportPolicy(store_);
  ASSERT_TRUE(exported.ok) << exported.error;
  EXPECT_TRUE(exported.leftOut.empty());
  EXPECT_EQ(exported.sites.size(), 1u);
}

}  // namespace
}  // namespace pw::test
