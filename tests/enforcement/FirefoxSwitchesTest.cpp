// Firefox's script policy: the zone map as the content blocker's hostname
// switches, the manifest that carries them, and our entry in an
// administrator's policies file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ZoneMap.h"
#include "enforcement/FirefoxSwitches.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/MemoryStore.h"
#include "registry/Registry.h"

namespace pw::test {
namespace {

// The script policy of a store holding the listings, in the state.
struct Listing {
  const char* domain;
  const char* subdomain;
  const char* protocol;
  int zone;
};

ScriptPolicy PolicyOf(ZoneSecurityState state, const std::vector<Listing>& listings) {
  MemoryStore store;
  LayOutNewStore(store);
  Registry registry(store);
  if (state == ZoneSecurityState::Secured) WriteZoneProfile(registry, ZoneProfile::LockedDown);
  if (state == ZoneSecurityState::SemiSecured) WriteZoneProfile(registry, ZoneProfile::Prompting);
  for (const Listing& listing : listings)
    ZoneMap(store).SetZone(std::string(listing.domain) + (*listing.subdomain ? "\\" : "") + listing.subdomain,
                           listing.protocol, static_cast<std::uint32_t>(listing.zone));
  return ScriptPolicyOf(store).policy;
}

TEST(FirefoxSwitches, EachListingBecomesItsSwitchOrIsCounted) {
  using State = ZoneSecurityState;
  struct Case {
    State state;
    std::vector<Listing> listings;
    const char* switches;
    SwitchGaps gaps;
  } cases[] = {
      {State::Secured, {}, "no-scripting: * true", {}},
      {State::SemiSecured, {}, "no-scripting: * true", {}},  // the blocker's panel can still relax a site
      {State::Unsecured, {}, "", {}},
      {State::Unsecured, {{"Bad.com", "", "*", 4}}, "no-scripting: bad.com true", {}},
      {State::Secured, {{"good.com", "", "*", 2}}, "no-scripting: * true\nno-scripting: good.com false", {}},
      {State::Unsecured, {{"a.com", "www", "*", 4}}, "no-scripting: www.a.com true", {}},
      // One label below mail.a.com: no pattern says so, blocked below it all.
      {State::Unsecured, {{"a.com", "*.mail", "*", 4}}, "no-scripting: mail.a.com true", {}},
      {State::Unsecured, {{"a.com", "*", "*", 4}}, "", {}},  // "*" alone matches no host
      {State::Unsecured, {{"a.com", "", "http", 4}}, "no-scripting: a.com true", {1, 0}},
      {State::Unsecured, {{"a.com", "www", "https", 2}}, "", {0, 1}},
      {State::Unsecured, {{"b\xc3\xbc" "cher.de", "", "*", 4}}, "", {0, 1}},
      // A Trusted domain with a per-protocol Restricted listing of it: blocked.
      {State::Unsecured, {{"a.com", "", "*", 2}, {"a.com", "", "https", 4}}, "no-scripting: a.com true", {1, 1}},
      // The narrower host wins in the blocker, as in the zone map.
      {State::Unsecured,
       {{"a.com", "", "*", 4}, {"a.com", "www", "*", 2}},
       "no-scripting: a.com true\nno-scripting: www.a.com false",
       {}},
  };
  for (const Case& c : cases) {
    HostnameSwitches switches = SwitchesOf(PolicyOf(c.state, c.listings));
    std::string where = c.listings.empty() ? "no listing" : c.listings.front().domain;
    EXPECT_EQ(SwitchesText(switches), c.switches) << where;
    EXPECT_EQ(switches.gaps, c.gaps) << where;
  }
}

// The blocker reads its settings as a JSON text inside the manifest's JSON:
// the switches must survive both encodings, and be read back from it.
TEST(FirefoxSwitches, TheManifestCarriesTheSwitchesAsTheBlockersSettingsText) {
  HostnameSwitches switches;
  switches.noScripting = {{"*", true}, {"a.com", true}, {"b.com", false}};
  std::string manifest = ManagedStorageJson(switches);
  nlohmann::json json = nlohmann::json::parse(manifest);
  EXPECT_EQ(json["name"], kBlockerId);
  EXPECT_EQ(json["type"], "storage");
  ASSERT_TRUE(json["data"]["adminSettings"].is_string());
  nlohmann::json settings = nlohmann::json::parse(json["data"]["adminSettings"].get<std::string>());
  EXPECT_EQ(settings["hostnameSwitchesString"], "no-scripting: * true\nno-scripting: a.com true\nno-scripting: b.com false");

  std::optional<HostnameSwitches> read = SwitchesInManifest(manifest);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->noScripting, switches.noScripting);
  EXPECT_TRUE(IsOurManifest(manifest));
  json["data"]["toOverwrite"] = nlohmann::json::object();  // an administrator's own manifest
  EXPECT_FALSE(IsOurManifest(json.dump(2) + "\n"));
}

TEST(FirefoxPoliciesFile, OurEntryJoinsAndLeavesKeepingEveryOtherEntry) {
  const std::string theirs = R"({
  "policies": {
    "DisableTelemetry": true,
    "ExtensionSettings": {"*": {"installation_mode": "blocked"}, "other@example": {"installation_mode": "allowed"}},
    "Homepage": {"URL": "http://intranet.example/", "Locked": true}
  },
  "comment": "kept too"
})";
  PoliciesEdit added = AddBlockerEntry(theirs, false);
  ASSERT_EQ(added.error, "");
  EXPECT_TRUE(added.changed);
  EXPECT_TRUE(HoldsBlockerEntry(added.text));
  nlohmann::ordered_json merged = nlohmann::ordered_json::parse(added.text);
  EXPECT_EQ(merged["policies"].begin().key(), "DisableTelemetry");  // their order stays
  EXPECT_EQ(merged["policies"]["ExtensionSettings"]["*"]["installation_mode"], "blocked");
  EXPECT_EQ(merged["policies"]["Homepage"]["Locked"], true);
  EXPECT_EQ(merged["comment"], "kept too");
  EXPECT_FALSE(AddBlockerEntry(added.text, false).changed);  // already there: not written again

  PoliciesEdit removed = RemoveBlockerEntry(added.text, std::nullopt);
  ASSERT_EQ(removed.error, "");
  EXPECT_EQ(nlohmann::ordered_json::parse(removed.text), nlohmann::ordered_json::parse(theirs));

  // An entry of theirs for the blocker is replaced only when asked, and comes back.
  std::string own = R"({"policies": {"ExtensionSettings": {"uBlock0@raymondhill.net": {"installation_mode": "blocked"}}}})";
  EXPECT_NE(AddBlockerEntry(own, false).error, "");
  PoliciesEdit forced = AddBlockerEntry(own, true);
  ASSERT_TRUE(forced.theirs);
  EXPECT_EQ(nlohmann::json::parse(RemoveBlockerEntry(forced.text, forced.theirs).text), nlohmann::json::parse(own));

  // No file yet: one holding only ours, which leaves nothing behind.
  PoliciesEdit fresh = AddBlockerEntry("", false);
  EXPECT_TRUE(HoldsBlockerEntry(fresh.text));
  EXPECT_TRUE(HoldsNoPolicies(RemoveBlockerEntry(fresh.text, std::nullopt).text));
  // A file Firefox cannot read is not touched.
  EXPECT_NE(AddBlockerEntry("{\"policies\": {", false).error, "");
  EXPECT_NE(AddBlockerEntry("{\"policies\": []}", false).error, "");
}

}  // namespace
}  // namespace pw::test
