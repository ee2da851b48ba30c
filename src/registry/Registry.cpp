#include "registry/Registry.h"

#include <vector>

#include "registry/KeyHandle.h"

namespace pw {

LONG Registry::WriteRegValue(HKEY key, const std::string& name, DWORD type, const RegData& data) {
  if (type == REG_SZ || type == REG_BINARY) {
    std::string text = data.AsText();
    return store_.RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                                 static_cast<DWORD>(text.size()));
  }
  if (type == REG_DWORD) {
    std::optional<std::uint32_t> number = data.AsDword();
    if (!number) return ERROR_INVALID_PARAMETER;
    BYTE bytes[4] = {static_cast<BYTE>(*number), static_cast<BYTE>(*number >> 8),
                     static_cast<BYTE>(*number >> 16), static_cast<BYTE>(*number >> 24)};
    return store_.RegSetValueExA(key, name, 0, REG_DWORD, bytes, 4);
  }
  return ERROR_SUCCESS;
}

void Registry::SetRegValue(HKEY hive, const std::string& path, const std::string& name,
                           const RegData& data, DWORD type) {
  SetRegValueChecked(hive, path, name, data, type);
}

LONG Registry::SetRegValueChecked(HKEY hive, const std::string& path, const std::string& name, const RegData& data,
                                  DWORD type) {
  KeyHandle key;
  LONG opened = key.Open(store_, hive, path, kAccess3F);
  LONG written = WriteRegValue(key.get(), name, type, data);
  return opened != ERROR_SUCCESS ? opened : written;
}

HKEY Registry::CreateRegKey(HKEY hive, const std::string& path) {
  HKEY key = 0;
  DWORD disposition = 0;
  if (store_.RegCreateKeyExA(hive, path, 0, nullptr, 0, kAccess3F, nullptr, &key, &disposition) !=
      ERROR_SUCCESS)
    return 0;
  return key;
}

HKEY Registry::OpenRegKey(HKEY hive, const std::string& path) {
  HKEY key = 0;
  if (store_.RegOpenKeyExA(hive, path, 0, kAccess3F, &key) != ERROR_SUCCESS) return 0;
  return key;
}

bool Registry::RegKeyExists(HKEY hive, const std::string& path) {
  return static_cast<bool>(OpenedKey(store_, hive, path, kAccess3F));
}

LONG Registry::WriteRegEntry(HKEY key, const RegData& name, const RegData& type, const RegData& data) {
  std::string text = data.AsText();
  if (text.empty()) return ERROR_SUCCESS;
  std::optional<std::uint32_t> typeCode = type.AsDword();
  if (!typeCode) return ERROR_SUCCESS;
  return store_.RegSetValueExA(key, name.AsText(), 0, *typeCode,
                               reinterpret_cast<const BYTE*>(text.data()),
                               static_cast<DWORD>(text.size()));
}

std::string Registry::NewGuidString() {
  GUID guid;
  if (store_.CoCreateGuid(&guid) != ERROR_SUCCESS) return {};
  char16_t buffer[260];
  int written = store_.StringFromGUID2(guid, buffer, 260);
  if (written <= 0) return {};
  std::string text;
  for (int i = 0; i < written - 1; ++i) text += static_cast<char>(buffer[i]);
  return text;
}

std::string Registry::ReadRegValue(HKEY key, const std::string& name) {
  DWORD type = 0;
  DWORD size = 0;
  if (store_.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
  switch (type) {
    case REG_SZ: {
      std::string buffer(size, '\0');
      if (store_.RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                  &size) != ERROR_SUCCESS)
        return {};
      buffer.resize(std::min<std::size_t>(size, buffer.size()));
      std::size_t nul = buffer.find('\0');
      return nul == std::string::npos ? buffer : buffer.substr(0, nul);
    }
    case REG_DWORD: {
      std::vector<BYTE> buffer(size);
      if (store_.RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS)
        return {};
      std::uint32_t number = 0;
      for (std::size_t i = 0; i < 4 && i < size; ++i) number |= static_cast<std::uint32_t>(buffer[i]) << (8 * i);
      return std::to_string(number);
    }
    case REG_BINARY: {
      std::vector<BYTE> buffer(size);
      if (store_.RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS)
        return {};
      std::uint16_t bits = 0;
      if (size > 0) bits = buffer[0];
      if (size > 1) bits = static_cast<std::uint16_t>(bits | buffer[1] << 8);
      return std::to_string(static_cast<std::int16_t>(bits));
    }
    default:
      return {};
  }
}

std::string Registry::GetRegValue(HKEY hive, const std::string& path, const std::string& name) {
  KeyHandle key;
  key.OpenA(store_, hive, path);
  return ReadRegValue(key.get(), name);
}

}  // namespace pw
