// Random zone maps in both hives, of every shape the zone query tells apart,
// and addresses that fall near their keys: for the differential test of the
// script policy and for the sample the real browser checks.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"

namespace pw::test {

struct RandomZoneMap {
  struct Value {
    std::string name;
    DWORD type = REG_DWORD;
    std::string data;
  };
  // Per hive: key path below Domains ("example.com", "example.com\\*.b") and its values.
  std::map<HKEY, std::map<std::string, std::vector<Value>>> keys;
};

class ZoneMapGenerator {
 public:
  // Names end in one of `tlds`.
  ZoneMapGenerator(unsigned seed, std::vector<std::string> tlds);

  RandomZoneMap Map();
  // An address's scheme ("http" or "https") and host (lower case).
  std::pair<std::string, std::string> Address(const RandomZoneMap& map);

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
  }

 private:
  std::string DomainKey();
  std::string Subkey();
  RandomZoneMap::Value RandomValue(const std::string& name);

  std::mt19937 random_;
  std::vector<std::string> tlds_;
  std::vector<std::string> names_ = {"ab", "q", "exa", "shop", "bank", "mailbox", "co", "com"};
  std::vector<std::string> fronts_ = {"www", "a", "mail", "x", "b", "test"};
};

// Writes the map into the store's zone maps, replacing what they held unless
// `replace` is false.
void WriteZoneMap(RegistryStore& store, const RandomZoneMap& map, bool replace = true);

// The map as lines of text, for a failure's message.
std::string DescribeZoneMap(const RandomZoneMap& map);

}  // namespace pw::test
