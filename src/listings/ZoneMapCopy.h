// Domain keys of the zone maps copied out of a store, with their values and
// subkeys, and read by the zone lookup as the store itself would be. The
// script policy asks the lookup many questions about few keys; asking a copy
// is many times faster than asking the store.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "listings/ZoneForUrl.h"
#include "registry/RegistryStore.h"

namespace pw {

struct ZoneMapKeyCopy {
  struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
  };
  struct Subkey {
    std::string name;
    std::vector<Value> values;
  };
  HKEY hive = HKEY_CURRENT_USER;
  std::string name;  // as the store names it
  std::vector<Value> values;
  std::vector<Subkey> subkeys;  // keys below these are never read
};

// The names of a hive's domain keys, in the store's order; nothing when the
// hive has no zone map. Reads only names.
std::vector<std::string> ZoneMapDomainNames(RegistryStore& store, HKEY hive);

// The domain key `name` below `domains`, the hive's Domains key (letter case
// aside), with its values and subkeys; nothing when it is not there.
std::optional<ZoneMapKeyCopy> CopyZoneMapKey(RegistryStore& store, HKEY hive, HKEY domains, const std::string& name);

// The keys given, as a source for ZoneForHost: every other domain key counts
// as missing.
class ZoneMapCopy : public ZoneMapSource {
 public:
  explicit ZoneMapCopy(const std::vector<const ZoneMapKeyCopy*>& keys);

  std::uint32_t Domains(HKEY hive) override;
  std::uint32_t Child(std::uint32_t parent, const std::string& name) override;
  bool DwordValue(std::uint32_t key, const std::string& name, std::uint32_t& number, bool& damaged) override;
  void Release(std::uint32_t) override {}

 private:
  // Few keys, looked up by name many times: a list, compared in place.
  struct Node {
    std::vector<std::pair<const std::string*, std::uint32_t>> children;
    const std::vector<ZoneMapKeyCopy::Value>* values = nullptr;
  };
  std::vector<Node> nodes_;  // 0 unused; 1 and 2 the hives' Domains keys
};

}  // namespace pw
