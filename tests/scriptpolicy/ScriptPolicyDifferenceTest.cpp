// The script policy against the zone query: on random zone maps in both hives,
// in each zone state, the browser's decision under the policy (by the model of
// its pattern precedence, which browser.real_chromium holds to the real
// browser) must be what ZoneForUrl and the state imply, for every address
// tried. The only exceptions are places the translation reports as blocked
// beyond the zone map, and there the browser must block.
#include <gtest/gtest.h>

#include <cstdio>

#include "scriptpolicy/ScriptPolicy.h"
#include "listings/ZoneAnswerText.h"
#include "listings/ZoneForUrl.h"
#include "model/ChromiumPolicyModel.h"
#include "model/RandomZoneMap.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/KeyTree.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"
#include "registry/Registry.h"

namespace pw::test {
namespace {

constexpr unsigned kSeed = 2024;
constexpr int kMaps = 400;
constexpr int kAddressesPerMap = 40;

const ZoneProfile kProfiles[] = {ZoneProfile::LockedDown, ZoneProfile::Prompting, ZoneProfile::Default};

TEST(ScriptPolicyDifference, TheBrowserDecidesAsTheZoneQueryAndTheStateImply) {
  ZoneMapGenerator g(kSeed, {"com", "uk", "io", "test"});
  int checks = 0, agreeing = 0, notStateable = 0, failures = 0;
  for (int m = 0; m < kMaps; ++m) {
    RandomZoneMap map = g.Map();
    std::vector<std::pair<std::string, std::string>> addresses;
    for (int a = 0; a < kAddressesPerMap; ++a) addresses.push_back(g.Address(map));
    MemoryStore store;
    LayOutNewStore(store);
    WriteZoneMap(store, map);
    Registry registry(store);
    for (ZoneProfile profile : kProfiles) {
      WriteZoneProfile(registry, profile);
      ZoneSecurityState state = DetectZoneSecurity(registry);
      TranslatedPolicy translated = ScriptPolicyOf(store);
      for (const auto& [scheme, host] : addresses) {
        ++checks;
        bool browser = ChromiumRunsScripts(translated.policy, scheme, host);
        bool zoneMap = ZoneMapRunsScripts(store, state, scheme, host);
        if (browser == zoneMap) {
          ++agreeing;
          continue;
        }
        // Not stateable: blocked where the map runs scripts, and reported.
        if (!browser && AnyPatternMatches(translated.gaps.overblocked, scheme, host)) {
          ++notStateable;
          continue;
        }
        if (++failures <= 5)
          ADD_FAILURE() << scheme << "://" << host << " in state " << ZoneSecurityStateName(state)
                        << ": the browser " << (browser ? "runs" : "blocks") << " scripts, the zone map says it "
                        << (zoneMap ? "runs" : "blocks") << " them (" << ZoneAnswerReason(ZoneForUrl(store, scheme + "://" + host + "/"))
                        << ")\nmap " << m << ":\n"
                        << DescribeZoneMap(map) << "blocked:" << [&] {
                             std::string list;
                             for (const std::string& p : translated.policy.blocked) list += " " + p;
                             list += "\nallowed:";
                             for (const std::string& p : translated.policy.allowed) list += " " + p;
                             return list;
                           }();
      }
    }
  }
  std::printf("script policy difference: %d maps x %d addresses x 3 states = %d checks; %d agree, %d not "
              "stateable (blocked and reported), %d differ\n",
              kMaps, kAddressesPerMap, checks, agreeing, notStateable, failures);
  EXPECT_EQ(failures, 0);
}

// After writes to a few domain keys only their groups are translated again:
// the result must be the whole translation's, also where a write joins groups
// (a new key above others) or splits them (a key between them deleted), and
// after a change of the zone state.
TEST(ScriptPolicyDifference, TranslatingAgainWhatWritesTouchedGivesTheWholeTranslation) {
  ZoneMapGenerator g(kSeed + 1, {"com", "uk", "test"});
  for (int m = 0; m < kMaps; ++m) {
    RandomZoneMap first = g.Map();
    RandomZoneMap second = g.Map();
    MemoryStore store;
    WriteZoneMap(store, first);
    std::vector<DomainPatterns> domains = TranslateDomains(store);
    AssembledDomains assembled[3];
    for (int state = 0; state < 3; ++state)
      AssembleDomains(static_cast<ZoneSecurityState>(state), domains, assembled[state]);
    std::vector<std::string> written;
    RandomZoneMap added;
    for (const RandomZoneMap* source : {&first, &second})
      for (const auto& [hive, paths] : source->keys)
        for (const auto& [path, values] : paths) {
          std::string domain = path.substr(0, path.find('\\'));
          if (source == &first && g.Chance(15)) {
            DeleteKeyTree(store, hive, std::string(kDomainsPath) + "\\" + domain);
            written.push_back(domain);
          } else if (source == &second && g.Chance(25)) {
            added.keys[hive][path] = values;
            written.push_back(domain);
          }
        }
    WriteZoneMap(store, added, false);
    DomainsUpdate update;
    UpdateDomainPatterns(store, domains, written, &update);
    ASSERT_EQ(domains, TranslateDomains(store)) << "map " << m << ":\n"
                                                << DescribeZoneMap(first) << "then:\n"
                                                << DescribeZoneMap(added);
    // The policy and the text carried over from before give the whole assembly's.
    for (int state = 0; state < 3; ++state) {
      ASSERT_TRUE(assembled[state].valid);
      ReassembleDomains(domains, update, assembled[state]);
      AssembledDomains whole;
      AssembleDomains(static_cast<ZoneSecurityState>(state), domains, whole);
      ASSERT_EQ(assembled[state].policy, whole.policy) << "map " << m << ", state " << state;
      ASSERT_EQ(assembled[state].text, whole.text) << "map " << m << ", state " << state;
    }
    // And brought to another zone state, the same as assembled in that state.
    for (int state = 0; state < 3; ++state) {
      auto other = static_cast<ZoneSecurityState>((state + 1) % 3);
      RestateDomains(other, domains, assembled[state]);
      AssembledDomains whole;
      AssembleDomains(other, domains, whole);
      ASSERT_EQ(assembled[state].policy, whole.policy) << "map " << m << ", state " << state;
      ASSERT_EQ(assembled[state].counts, whole.counts) << "map " << m << ", state " << state;
    }
  }
}

}  // namespace
}  // namespace pw::test
