#include "RandomZoneMap.h"

#include "registry/KeyTree.h"
#include "registry/KnownKeys.h"

namespace pw::test {

ZoneMapGenerator::ZoneMapGenerator(unsigned seed, std::vector<std::string> tlds)
    : random_(seed), tlds_(std::move(tlds)) {}

// Domain keys: domains of two labels, public-suffix-like ones of three, hosts,
// top-level names alone, and "*." ones.
std::string ZoneMapGenerator::DomainKey() {
  int shape = Below(100);
  if (shape < 50) return Pick(names_) + "." + Pick(tlds_);
  if (shape < 62) return Pick(names_) + "." + Pick(std::vector<std::string>{"co", "com"}) + "." + Pick(tlds_);
  if (shape < 85) return Pick(fronts_) + "." + Pick(names_) + "." + Pick(tlds_);
  if (shape < 92) return Pick(tlds_);
  return "*." + Pick(names_) + "." + Pick(tlds_);
}

// Subdomain keys: names, "*.b" forms, several labels, and "*" alone.
std::string ZoneMapGenerator::Subkey() {
  int shape = Below(100);
  if (shape < 40) return Pick(fronts_);
  if (shape < 70) return "*." + Pick(fronts_);
  if (shape < 90) return Pick(fronts_) + "." + Pick(fronts_);
  return "*";
}

// Mostly zones 2 to 4; now and then another number, a value too short, or
// one of another type.
RandomZoneMap::Value ZoneMapGenerator::RandomValue(const std::string& name) {
  std::uint32_t zone = static_cast<std::uint32_t>(Chance(12) ? Pick(std::vector<int>{0, 1, 5, 7, 260}) : 2 + Below(3));
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>(zone >> (8 * i));
  if (Chance(3)) return {name, REG_DWORD, data.substr(0, 1)};
  if (Chance(3)) return {name, REG_SZ, std::to_string(zone)};
  return {name, REG_DWORD, data};
}

RandomZoneMap ZoneMapGenerator::Map() {
  RandomZoneMap map;
  std::vector<std::string> domains;
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    int count = hive == HKEY_CURRENT_USER ? 2 + Below(6) : Below(4);
    for (int i = 0; i < count; ++i) {
      std::string domain = !domains.empty() && Chance(30) ? Pick(domains) : DomainKey();
      domains.push_back(domain);
      std::vector<std::string> paths = {domain};
      for (int s = Below(4); s > 0; --s) paths.push_back(domain + "\\" + Subkey());
      for (const std::string& path : paths) {
        auto& values = map.keys[hive][path];
        for (const char* name : {"*", "http", "https", "ftp"})
          if (Chance(35)) values.push_back(RandomValue(name));
      }
    }
  }
  return map;
}

std::pair<std::string, std::string> ZoneMapGenerator::Address(const RandomZoneMap& map) {
  std::vector<std::string> keys;
  for (const auto& [hive, paths] : map.keys)
    for (const auto& [path, values] : paths) keys.push_back(path);
  std::string key = keys.empty() || Chance(10) ? DomainKey() : Pick(keys);
  std::string domain = key.substr(0, key.find('\\'));
  std::string front;
  if (key.find('\\') != std::string::npos && Chance(70)) {
    std::string sub = key.substr(key.find('\\') + 1);
    front = sub == "*" ? Pick(fronts_) : sub.rfind("*.", 0) == 0 ? Pick(fronts_) + sub.substr(1) : sub;
  }
  // Further labels in front, now and then.
  for (int n = Chance(40) ? Below(3) : 0; n > 0; --n) front = Pick(fronts_) + (front.empty() ? "" : "." + front);
  if (domain.rfind("*.", 0) == 0) domain = Pick(fronts_) + domain.substr(1);
  std::string host = front.empty() ? domain : front + "." + domain;
  return {Chance(50) ? "http" : "https", host};
}

void WriteZoneMap(RegistryStore& store, const RandomZoneMap& map, bool replace) {
  if (replace)
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) DeleteKeyTree(store, hive, kDomainsPath);
  for (const auto& [hive, paths] : map.keys)
    for (const auto& [path, values] : paths) {
      HKEY key = 0;
      store.RegCreateKeyExA(hive, std::string(kDomainsPath) + "\\" + path, 0, nullptr, 0, kAccess3F, nullptr, &key,
                            nullptr);
      for (const RandomZoneMap::Value& value : values)
        store.RegSetValueExA(key, value.name, 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                             static_cast<DWORD>(value.data.size()));
      store.RegCloseKey(key);
    }
}

std::string DescribeZoneMap(const RandomZoneMap& map) {
  std::string text;
  for (const auto& [hive, paths] : map.keys)
    for (const auto& [path, values] : paths) {
      text += (hive == HKEY_CURRENT_USER ? "  HKCU " : "  HKLM ") + path + ":";
      for (const RandomZoneMap::Value& value : values) {
        text += " " + value.name + "=";
        if (value.type == REG_DWORD && value.data.size() == 4)
          text += std::to_string(static_cast<unsigned char>(value.data[0]) |
                                 static_cast<unsigned char>(value.data[1]) << 8);
        else
          text += "(type " + std::to_string(value.type) + ", " + std::to_string(value.data.size()) + " bytes)";
      }
      text += "\n";
    }
  return text;
}

}  // namespace pw::test
