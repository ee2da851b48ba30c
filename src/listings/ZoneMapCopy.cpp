#include "listings/ZoneMapCopy.h"

#include "common/Ascii.h"
#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"
#include "registry/NameFold.h"

namespace pw {
namespace {

std::vector<ZoneMapKeyCopy::Value> Values(RegistryStore& store, HKEY key) {
  std::vector<ZoneMapKeyCopy::Value> values;
  ForEachValue(store, key, [&](const EnumeratedValue& value) {
    values.push_back({value.name, value.type, value.data});
    return true;
  });
  return values;
}

std::uint32_t Hive(HKEY hive) { return hive == HKEY_LOCAL_MACHINE ? 2 : 1; }

bool IsAscii(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// As the store compares names: ASCII text in place, other text folded.
bool Same(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return !(IsAscii(a) && IsAscii(b)) && SameName(a, b);
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 || y >= 0x80) return SameName(a, b);
    if (AsciiLower(static_cast<char>(x)) != AsciiLower(static_cast<char>(y))) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> ZoneMapDomainNames(RegistryStore& store, HKEY hive) {
  std::vector<std::string> names;
  KeyHandle base;
  if (base.Open(store, hive, kDomainsPath, KEY_READ) != ERROR_SUCCESS) return names;
  ForEachSubkey(store, base.get(), [&](const std::string& name) {
    names.push_back(name);
    return true;
  });
  return names;
}

std::optional<ZoneMapKeyCopy> CopyZoneMapKey(RegistryStore& store, HKEY hive, HKEY domains, const std::string& name) {
  KeyHandle key;
  if (!domains || name.empty() || name.find('\\') != std::string::npos ||
      key.Open(store, domains, name, KEY_READ) != ERROR_SUCCESS)
    return std::nullopt;
  ZoneMapKeyCopy copy;
  copy.hive = hive;
  copy.name = name;
  copy.values = Values(store, key.get());
  std::vector<std::string> subkeys;
  ForEachSubkey(store, key.get(), [&](const std::string& sub) {
    subkeys.push_back(sub);
    return true;
  });
  for (const std::string& sub : subkeys) {
    KeyHandle subKey;
    if (subKey.Open(store, key.get(), sub, KEY_READ) != ERROR_SUCCESS) continue;
    copy.subkeys.push_back({sub, Values(store, subKey.get())});
  }
  return copy;
}

ZoneMapCopy::ZoneMapCopy(const std::vector<const ZoneMapKeyCopy*>& keys) : nodes_(3) {
  for (const ZoneMapKeyCopy* key : keys) {
    auto node = static_cast<std::uint32_t>(nodes_.size());
    nodes_.push_back({{}, &key->values});
    nodes_[Hive(key->hive)].children.emplace_back(&key->name, node);
    for (const ZoneMapKeyCopy::Subkey& sub : key->subkeys) {
      auto subNode = static_cast<std::uint32_t>(nodes_.size());
      nodes_.push_back({{}, &sub.values});
      nodes_[node].children.emplace_back(&sub.name, subNode);
    }
  }
}

std::uint32_t ZoneMapCopy::Domains(HKEY hive) { return Hive(hive); }

std::uint32_t ZoneMapCopy::Child(std::uint32_t parent, const std::string& name) {
  for (const auto& [child, node] : nodes_[parent].children)
    if (Same(*child, name)) return node;
  return 0;
}

bool ZoneMapCopy::DwordValue(std::uint32_t key, const std::string& name, std::uint32_t& number, bool& damaged) {
  const std::vector<ZoneMapKeyCopy::Value>* values = nodes_[key].values;
  if (!values) return false;
  for (const ZoneMapKeyCopy::Value& value : *values) {
    if (!Same(value.name, name)) continue;
    // As a four-byte read of the store gives it: longer data does not fit.
    if (value.type != REG_DWORD || value.data.size() > 4) return false;
    BYTE data[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    for (std::size_t i = 0; i < value.data.size(); ++i) data[i] = static_cast<BYTE>(value.data[i]);
    number = static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) | static_cast<std::uint32_t>(data[3]) << 24;
    damaged = value.data.size() < 4;
    return true;
  }
  return false;
}

}  // namespace pw
