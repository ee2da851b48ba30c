#include "registry/Enumeration.h"

#include <vector>

namespace pw {
namespace {

constexpr int kMaxRereads = 8;  // data that keeps growing under us ends the key

}  // namespace

LONG EnumSubkeyAt(RegistryStore& store, HKEY key, DWORD index, std::string& name) {
  char buffer[kMaxKeyNameLength + 1];
  DWORD length = kEnumBufferSize;
  LONG status = store.RegEnumKeyExA(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_MORE_DATA) {
    length = sizeof buffer;
    status = store.RegEnumKeyExA(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  }
  if (status == ERROR_SUCCESS) name.assign(buffer, length);
  return status;
}

LONG EnumValueAt(RegistryStore& store, HKEY key, DWORD index, EnumeratedValue& value) {
  char name[kEnumBufferSize];
  BYTE data[kEnumBufferSize];
  DWORD nameLength = kEnumBufferSize;
  DWORD dataLength = kEnumBufferSize;
  DWORD type = REG_NONE;
  LONG status = store.RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
  if (status == ERROR_SUCCESS) {
    value.name.assign(name, nameLength);
    value.type = type;
    value.data.assign(reinterpret_cast<const char*>(data), dataLength);
    return status;
  }
  if (status != ERROR_MORE_DATA) return status;
  // Too long for the small buffers: ask for the data size, then read it whole.
  std::vector<char> bigName(kMaxValueNameLength + 1);
  std::vector<BYTE> bigData;
  for (int attempt = 0; attempt < kMaxRereads; ++attempt) {
    nameLength = static_cast<DWORD>(bigName.size());
    dataLength = 0;
    status = store.RegEnumValueA(key, index, bigName.data(), &nameLength, nullptr, &type, nullptr,
                                 &dataLength);
    if (status != ERROR_SUCCESS) return status;
    bigData.resize(dataLength ? dataLength : 1);
    nameLength = static_cast<DWORD>(bigName.size());
    DWORD size = dataLength;
    status = store.RegEnumValueA(key, index, bigName.data(), &nameLength, nullptr, &type,
                                 bigData.data(), &size);
    if (status == ERROR_MORE_DATA) continue;  // it grew in between
    if (status != ERROR_SUCCESS) return status;
    value.name.assign(bigName.data(), nameLength);
    value.type = type;
    value.data.assign(reinterpret_cast<const char*>(bigData.data()), size);
    return status;
  }
  return status;
}

LONG ForEachSubkey(RegistryStore& store, HKEY key, const std::function<bool(const std::string&)>& visit) {
  std::string name;
  for (DWORD index = 0;; ++index) {
    LONG status = EnumSubkeyAt(store, key, index, name);
    if (status != ERROR_SUCCESS) return status;
    if (!visit(name)) return ERROR_SUCCESS;
  }
}

LONG ForEachValue(RegistryStore& store, HKEY key,
                  const std::function<bool(const EnumeratedValue&)>& visit) {
  EnumeratedValue value;
  for (DWORD index = 0;; ++index) {
    LONG status = EnumValueAt(store, key, index, value);
    if (status != ERROR_SUCCESS) return status;
    if (!visit(value)) return ERROR_SUCCESS;
  }
}

}  // namespace pw
