// ZoneForUrl against the browser's own zone logic (urlmon, in this process):
// random zone maps in both hives, written to the registry through the Windows
// store, and random addresses over them. Every difference must be one of
// Wine's known faults: the lookup with that fault switched on gives Wine's
// zone. With all of them on, the lookup must agree with Wine everywhere. The
// variants run on a copy of the map in memory (the registry is slow to ask
// many times), which must answer as the registry does.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Platform.h"
#include "RegistryCopy.h"
#include "listings/ZoneAnswerText.h"
#include "listings/ZoneForUrl.h"
#include "listings/ZoneLookup.h"
#include "registry/KeyTree.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"
#include "registry/Win32Store.h"

namespace pw::test {
namespace {

constexpr unsigned kSeed = 613;
constexpr int kMaps = 210;
constexpr int kAddressesPerMap = 48;

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
  }

  // Domain keys of every shape the engine tells apart: two labels with long and
  // short first labels, public-suffix-like ones, hosts, single labels, "*." ones
  // and numbers.
  std::string DomainKey() {
    static const std::vector<std::string> tlds = {"com", "org",  "net", "uk",
                                                  "de",  "info", "io",  "co"};
    static const std::vector<std::string> names = {
        "ab", "xy", "q", "abc", "com", "net", "co", "example", "exa", "shop", "bank", "mailbox"};
    int shape = Below(100);
    if (shape < 55) return Pick(names) + "." + Pick(tlds);
    if (shape < 70)
      return Pick(names) + "." + Pick(std::vector<std::string>{"co", "com", "ab", "net"}) + "." +
             Pick(std::vector<std::string>{"uk", "de", "io"});
    if (shape < 84) return Pick(fronts_) + "." + Pick(names) + "." + Pick(tlds);
    if (shape < 90) return Pick(tlds);
    if (shape < 96) return "*." + Pick(names) + "." + Pick(tlds);
    return Pick(std::vector<std::string>{"10.0.0.1", "0.0.1", "0.1", "10.0.0"});
  }

  // Subdomain keys: names, "*.b" forms, several labels, a nested key and "*".
  std::string Subkey() {
    int shape = Below(100);
    if (shape < 40) return Pick(fronts_);
    if (shape < 70) return "*." + Pick(fronts_);
    if (shape < 85) return Pick(fronts_) + "." + Pick(fronts_);
    if (shape < 93) return Pick(fronts_) + "\\" + Pick(fronts_);
    return "*";
  }

  std::string Label() {
    if (Chance(3)) return std::string(static_cast<std::size_t>(44 + Below(4)), "kz"[Below(2)]);
    return Pick(fronts_);
  }

  std::string Scheme() {
    std::string scheme = Pick(std::vector<std::string>{"http", "https", "ftp"});
    if (Chance(15)) scheme[0] = static_cast<char>(scheme[0] - 'a' + 'A');
    if (Chance(5))
      for (char& c : scheme) c = static_cast<char>(c - 'a' + 'A');
    return scheme;
  }

 private:
  std::mt19937 random_;
  std::vector<std::string> fronts_ = {"www", "a", "ab", "mail", "x", "b", "test", "mx"};
};

struct ZoneMapSpec {
  // Per hive: key path (below Domains) -> values (name -> zone; a zone above
  // 0xFF is written as text, which the engine passes over).
  std::map<HKEY, std::map<std::string, std::map<std::string, std::uint32_t>>> keys;
};

ZoneMapSpec RandomMap(Generator& g) {
  ZoneMapSpec map;
  std::vector<std::string> domains;
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    int count = hive == HKEY_CURRENT_USER ? 3 + g.Below(6) : g.Below(5);
    for (int i = 0; i < count; ++i) {
      std::string domain = !domains.empty() && g.Chance(30) ? g.Pick(domains) : g.DomainKey();
      domains.push_back(domain);
      std::vector<std::string> paths = {domain};
      for (int s = g.Below(4); s > 0; --s) paths.push_back(domain + "\\" + g.Subkey());
      for (const std::string& path : paths) {
        auto& values = map.keys[hive][path];
        for (const char* name : {"*", "http", "https", "ftp"}) {
          if (!g.Chance(35)) continue;
          std::uint32_t zone =
              static_cast<std::uint32_t>(g.Chance(10) ? g.Below(6) : 2 + g.Below(3));
          values[name] = g.Chance(4) ? 0x100 + zone : zone;
        }
      }
    }
  }
  return map;
}

std::string RandomAddress(Generator& g, const ZoneMapSpec& map) {
  std::vector<std::string> keys;
  for (const auto& [hive, paths] : map.keys)
    for (const auto& [path, values] : paths) keys.push_back(path);
  std::string host;
  if (g.Chance(4)) {
    host = "10.0.0." + std::to_string(g.Below(3));
  } else {
    std::string key = keys.empty() || g.Chance(10) ? g.DomainKey() : g.Pick(keys);
    std::string domain = key.substr(0, key.find('\\'));
    std::string front;
    if (key.find('\\') != std::string::npos && g.Chance(70)) {
      std::string sub = key.substr(key.find('\\') + 1);
      if (std::size_t nested = sub.find('\\'); nested != std::string::npos)
        sub = sub.substr(nested + 1) + "." + sub.substr(0, nested);
      front = sub == "*" ? g.Label() : sub.rfind("*.", 0) == 0 ? g.Label() + sub.substr(1) : sub;
    } else {
      for (int n = g.Below(3); n > 0; --n) front += (front.empty() ? "" : ".") + g.Label();
    }
    if (domain.rfind("*.", 0) == 0) domain = g.Label() + domain.substr(1);
    host = front.empty() ? domain : front + (g.Chance(5) ? "" : ".") + domain;
    for (char& c : host)
      if (c >= 'a' && c <= 'z' && g.Chance(15)) c = static_cast<char>(c - 'a' + 'A');
    if (g.Chance(5)) host += ".";
    if (g.Chance(2)) host = "." + host;
  }
  std::string address = g.Scheme() + "://";
  if (g.Chance(5)) address += "user:secret@";
  address += host;
  if (g.Chance(20)) address += g.Pick(std::vector<std::string>{":80", ":8080", ":21", ":443"});
  address += g.Pick(std::vector<std::string>{"", "/", "/index.html", "/a/b?q=1#top", "?x=1"});
  return address;
}

bool WriteMap(RegistryStore& store, const ZoneMapSpec& map) {
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    if (DeleteKeyTree(store, hive, kDomainsPath) != ERROR_SUCCESS) return false;
    HKEY base = 0;
    if (store.RegCreateKeyExA(hive, kDomainsPath, 0, nullptr, 0, kAccess3F, nullptr, &base,
                              nullptr) != ERROR_SUCCESS)
      return false;
    store.RegCloseKey(base);
  }
  for (const auto& [hive, paths] : map.keys) {
    for (const auto& [path, values] : paths) {
      HKEY key = 0;
      if (store.RegCreateKeyExA(hive, std::string(kDomainsPath) + "\\" + path, 0, nullptr, 0,
                                kAccess3F, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
      for (const auto& [name, zone] : values) {
        if (zone > 0xFF) {
          std::string text = std::to_string(zone & 0xFF);
          store.RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1));
        } else {
          BYTE data[4] = {static_cast<BYTE>(zone), 0, 0, 0};
          store.RegSetValueExA(key, name, 0, REG_DWORD, data, 4);
        }
      }
      store.RegCloseKey(key);
    }
  }
  return true;
}

std::string Describe(const ZoneMapSpec& map) {
  std::string text;
  for (const auto& [hive, paths] : map.keys)
    for (const auto& [path, values] : paths) {
      text += (hive == HKEY_CURRENT_USER ? "  HKCU " : "  HKLM ") + path + ":";
      for (const auto& [name, zone] : values) text += " " + name + "=" + std::to_string(zone);
      text += "\n";
    }
  return text;
}

long long ZoneOf(const ZoneAnswer& answer) {
  return answer.verdict == ZoneVerdict::NotAnswered ? -1 : static_cast<long long>(answer.zone);
}

// Where the zone logic of Wine (which the Windows build's tests run under) is
// known to part from Windows; all off: Windows. The lookup runs with them as
// its rules, so that a known Wine fault tells apart from a fault of ours.
struct WineFaults {
  bool listingOrder = false;
  bool wildcardNeedsTwoLetters = false;
  bool shortFirstLabelCoversNothing = false;
  bool prefixLengthAsCharacter = false;
  bool numbersInDomainKeys = false;
};

// ZoneForUrl's answer with Wine's faults switched on as given.
ZoneAnswer WineZoneForUrl(RegistryStore& store, const std::string& url, const WineFaults& faults) {
  ZoneAnswer answer;
  ZoneAddress address = ReadZoneAddress(url);
  if (!address.problem.empty()) return answer;
  answer.scheme = address.scheme;
  answer.host = address.host;
  ReadSnapshot snapshot(store);
  zonelookup::StoreSource source(store);
  zonelookup::Answer(source, address, faults, answer);
  return answer;
}

struct Fault {
  const char* name;
  bool WineFaults::*flag;
};

const Fault kFaults[] = {
    {"a \"*.b\" key needs two letters in front", &WineFaults::wildcardNeedsTwoLetters},
    {"a two-label key with a short first label covers nothing",
     &WineFaults::shortFirstLabelCoversNothing},
    {"the part in front as long as a character's code", &WineFaults::prefixLengthAsCharacter},
    {"addresses by number looked up in the domain keys", &WineFaults::numbersInDomainKeys},
    {"keys tried in the registry's listing order", &WineFaults::listingOrder},
};

TEST(ZoneDifference, ZoneForUrlGivesWhatTheBrowserEngineGives) {
  Win32Store store;
  std::vector<std::pair<HKEY, KeyCopy>> copies;
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    copies.emplace_back(hive, CopyKey(store, hive, kDomainsPath));

  WineFaults wine;
  for (const Fault& fault : kFaults) wine.*fault.flag = true;
  ZoneEngine engine;
  Generator g(kSeed);
  int maps = 0, addresses = 0, agreeing = 0, wineModelAgreeing = 0, unexplained = 0;
  std::map<std::string, int> explained;
  for (int m = 0; m < kMaps; ++m) {
    ZoneMapSpec map = RandomMap(g);
    ASSERT_TRUE(WriteMap(store, map)) << "map " << m;
    MemoryStore copy;
    ASSERT_TRUE(WriteMap(copy, map));
    ASSERT_TRUE(engine.Renew());
    ++maps;
    for (int a = 0; a < kAddressesPerMap; ++a) {
      std::string address = RandomAddress(g, map);
      std::string failure;
      long long theirs = engine.Map(address, failure);
      ZoneAnswer ours = ZoneForUrl(store, address);
      EXPECT_EQ(ZoneOf(ZoneForUrl(copy, address)), ZoneOf(ours)) << address;
      ++addresses;
      if (ZoneOf(WineZoneForUrl(copy, address, wine)) == theirs) ++wineModelAgreeing;
      if (ZoneOf(ours) == theirs) {
        ++agreeing;
        continue;
      }
      const char* cause = nullptr;
      for (const Fault& fault : kFaults) {
        WineFaults one;
        one.*fault.flag = true;
        if (!cause && ZoneOf(WineZoneForUrl(copy, address, one)) == theirs) cause = fault.name;
      }
      if (!cause && ZoneOf(WineZoneForUrl(copy, address, wine)) == theirs)
        cause = "several of them at once";
      if (cause) {
        ++explained[cause];
        continue;
      }
      if (++unexplained <= 10)
        ADD_FAILURE() << address << ": the engine gives " << theirs << " " << failure
                      << ", ZoneForUrl " << ZoneOf(ours) << " (" << ZoneAnswerReason(ours)
                      << ")\nmap " << m << ":\n"
                      << Describe(map);
    }
  }
  for (const auto& [hive, copy] : copies) EXPECT_TRUE(RestoreKey(store, hive, kDomainsPath, copy));

  std::printf(
      "zone difference: %d maps, %d addresses; ZoneForUrl agrees on %d (%.2f%%); with Wine's "
      "faults "
      "switched on on %d\n",
      maps, addresses, agreeing, 100.0 * agreeing / addresses, wineModelAgreeing);
  for (const auto& [cause, count] : explained)
    std::printf("  Wine fault, %s: %d\n", cause.c_str(), count);
  EXPECT_EQ(unexplained, 0);
  EXPECT_EQ(wineModelAgreeing, addresses);
  EXPECT_GE(maps, 200);
  EXPECT_GE(addresses, 10000);
}

}  // namespace
}  // namespace pw::test
