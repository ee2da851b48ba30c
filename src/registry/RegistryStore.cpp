#include "registry/RegistryStore.h"

#include <cstdio>

#include "registry/Result.h"
#include "registry/SystemRandom.h"

namespace pw {

const char* StatusName(LONG status) {
  switch (status) {
    case ERROR_SUCCESS: return "success";
    case ERROR_FILE_NOT_FOUND: return "not found";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_INVALID_HANDLE: return "invalid handle";
    case ERROR_OUTOFMEMORY: return "out of memory";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_DISK_FULL: return "disk full";
    case ERROR_BAD_PATHNAME: return "bad path name";
    case ERROR_BUSY: return "store busy";
    case ERROR_MORE_DATA: return "more data";
    case ERROR_NO_MORE_ITEMS: return "no more items";
    case ERROR_NOACCESS: return "invalid buffer";
    case ERROR_BADDB: return "damaged store";
    case ERROR_REGISTRY_IO_FAILED: return "store input/output failed";
    case ERROR_KEY_DELETED: return "key deleted";
    default: return "failure";
  }
}

std::string StatusText(LONG status) { return std::to_string(status) + " (" + StatusName(status) + ")"; }

LONG RegistryStore::CoCreateGuid(GUID* pguid) {
  if (!pguid) return ERROR_INVALID_PARAMETER;
  std::uint8_t bytes[16];
  if (!FillSystemRandom(bytes, sizeof bytes)) return ERROR_OUTOFMEMORY;
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  pguid->Data1 = static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
                 static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
  pguid->Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  pguid->Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) pguid->Data4[i] = bytes[8 + i];
  return ERROR_SUCCESS;
}

int RegistryStore::StringFromGUID2(const GUID& g, char16_t* lpsz, int cchMax) {
  constexpr int kLength = 39;  // 38 characters and the NUL
  if (!lpsz || cchMax < kLength) return 0;
  char text[kLength + 1];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  for (int i = 0; i < kLength; ++i) lpsz[i] = static_cast<char16_t>(text[i]);
  return kLength;
}

LONG WriteInTransaction(RegistryStore& store, const std::function<LONG()>& work) {
  LONG status = store.BeginTransaction();
  if (status != ERROR_SUCCESS) return status;
  try {
    status = work();
  } catch (...) {
    store.RollbackTransaction();
    throw;
  }
  if (status != ERROR_SUCCESS) {
    store.RollbackTransaction();
    return status;
  }
  return store.CommitTransaction();
}

LONG RunInTransaction(RegistryStore& store, const std::function<void()>& work) {
  LONG status = store.BeginTransaction();
  if (status != ERROR_SUCCESS) return status;
  try {
    work();
  } catch (...) {
    store.RollbackTransaction();
    throw;
  }
  return store.CommitTransaction();
}

}  // namespace pw
