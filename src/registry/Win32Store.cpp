// windows.h comes first, and its registry macros are taken out again before our
// headers: registry/RegistryTypes.h declares the same names as constants of
// namespace pw. Their values are captured before the macros go and checked
// against ours below, so a wrong constant of ours fails the build.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <objbase.h>

#define PW_CAPTURE(name) constexpr long long platform_##name = name;
// clang-format off
#define PW_NAMES(X)                                                                       \
  X(REG_NONE) X(REG_SZ) X(REG_EXPAND_SZ) X(REG_BINARY) X(REG_DWORD)                       \
  X(REG_DWORD_BIG_ENDIAN) X(REG_LINK) X(REG_MULTI_SZ) X(REG_QWORD)                        \
  X(KEY_QUERY_VALUE) X(KEY_SET_VALUE) X(KEY_CREATE_SUB_KEY) X(KEY_ENUMERATE_SUB_KEYS)     \
  X(KEY_NOTIFY) X(KEY_CREATE_LINK) X(KEY_READ) X(KEY_WRITE) X(KEY_ALL_ACCESS)             \
  X(MAXIMUM_ALLOWED) X(REG_CREATED_NEW_KEY) X(REG_OPENED_EXISTING_KEY)                    \
  X(ERROR_SUCCESS) X(ERROR_FILE_NOT_FOUND) X(ERROR_ACCESS_DENIED) X(ERROR_INVALID_HANDLE) \
  X(ERROR_OUTOFMEMORY) X(ERROR_INVALID_PARAMETER) X(ERROR_DISK_FULL) X(ERROR_BAD_PATHNAME) \
  X(ERROR_BUSY) X(ERROR_MORE_DATA) X(ERROR_NO_MORE_ITEMS) X(ERROR_NOACCESS) X(ERROR_BADDB) \
  X(ERROR_REGISTRY_IO_FAILED) X(ERROR_KEY_DELETED)
// clang-format on
PW_NAMES(PW_CAPTURE)

#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE
#undef REG_NONE
#undef REG_SZ
#undef REG_EXPAND_SZ
#undef REG_BINARY
#undef REG_DWORD
#undef REG_DWORD_BIG_ENDIAN
#undef REG_LINK
#undef REG_MULTI_SZ
#undef REG_QWORD
#undef KEY_QUERY_VALUE
#undef KEY_SET_VALUE
#undef KEY_CREATE_SUB_KEY
#undef KEY_ENUMERATE_SUB_KEYS
#undef KEY_NOTIFY
#undef KEY_CREATE_LINK
#undef KEY_READ
#undef KEY_WRITE
#undef KEY_ALL_ACCESS
#undef MAXIMUM_ALLOWED
#undef REG_CREATED_NEW_KEY
#undef REG_OPENED_EXISTING_KEY
#undef ERROR_SUCCESS
#undef ERROR_FILE_NOT_FOUND
#undef ERROR_ACCESS_DENIED
#undef ERROR_INVALID_HANDLE
#undef ERROR_OUTOFMEMORY
#undef ERROR_INVALID_PARAMETER
#undef ERROR_DISK_FULL
#undef ERROR_BAD_PATHNAME
#undef ERROR_BUSY
#undef ERROR_MORE_DATA
#undef ERROR_NO_MORE_ITEMS
#undef ERROR_NOACCESS
#undef ERROR_BADDB
#undef ERROR_REGISTRY_IO_FAILED
#undef ERROR_KEY_DELETED

#include "registry/KnownKeys.h"
#include "registry/Win32Store.h"

#include <algorithm>
#include <cstdint>

#define PW_CHECK(name) \
  static_assert(platform_##name == pw::name, #name " differs from the platform's");
PW_NAMES(PW_CHECK)
static_assert(sizeof(pw::GUID) == sizeof(::GUID));

namespace pw {
namespace {

// The platform widens its 32-bit handle values by sign extension (that is how
// the hives 0x80000001 and 0x80000002 become its HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE), and narrows them by truncation.
::HKEY ToPlatform(HKEY key) {
  return reinterpret_cast<::HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(key)));
}

bool FromPlatform(::HKEY key, HKEY* out) {
  auto wide = reinterpret_cast<std::uintptr_t>(key);
  auto narrow = static_cast<HKEY>(wide);
  if (reinterpret_cast<std::uintptr_t>(ToPlatform(narrow)) != wide) return false;
  *out = narrow;
  return true;
}

// A name as the platform takes it: NUL-terminated, or null.
class CName {
 public:
  explicit CName(const RegName& name) : null_(name.IsNull()), text_(name.View()) {}
  char* Get() { return null_ ? nullptr : text_.data(); }

 private:
  bool null_;
  std::string text_;
};

// Hands a handle the platform opened to the caller, or closes it when our
// 32-bit handle cannot carry it (the platform promises it always can).
LONG TakeHandle(LONG status, ::HKEY opened, HKEY* phkResult) {
  if (status != ERROR_SUCCESS) {
    HKEY left = 0;
    if (FromPlatform(opened, &left)) *phkResult = left;
    return status;
  }
  if (!FromPlatform(opened, phkResult)) {
    ::RegCloseKey(opened);
    *phkResult = 0;
    return ERROR_INVALID_HANDLE;
  }
  return status;
}

// Failures of the registry itself rather than of the arguments.
bool IsMediumFailure(LONG status) {
  switch (status) {
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_DISK_FULL:
    case ERROR_BADDB:
    case ERROR_CANTREAD:
    case ERROR_CANTWRITE:
    case ERROR_REGISTRY_CORRUPT:
    case ERROR_REGISTRY_IO_FAILED:
    case ERROR_NO_SYSTEM_RESOURCES:
    case ERROR_NOT_ENOUGH_QUOTA:
      return true;
    default:
      return false;
  }
}

std::string SystemMessage(LONG status) {
  char text[512];
  DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<::DWORD>(status), 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "status " + std::to_string(status);
  return message;
}

}  // namespace

LONG Win32Store::Reported(const char* operation, LONG status) const {
  if (IsMediumFailure(status))
    ReportFailure({Describe(), operation, SystemMessage(status), status});
  return status;
}

LONG Win32Store::RegOpenKeyExA(HKEY hKey, RegName lpSubKey, DWORD ulOptions, REGSAM samDesired,
                               HKEY* phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  if (lpSubKey.HasNul()) {
    *phkResult = 0;
    return ERROR_INVALID_PARAMETER;
  }
  CName subKey(lpSubKey);
  ::HKEY opened = ToPlatform(*phkResult);
  LONG status = ::RegOpenKeyExA(ToPlatform(hKey), subKey.Get(), ulOptions, samDesired, &opened);
  return TakeHandle(status, opened, phkResult);
}

LONG Win32Store::RegOpenKeyA(HKEY hKey, RegName lpSubKey, HKEY* phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  if (lpSubKey.HasNul()) {
    *phkResult = 0;
    return ERROR_INVALID_PARAMETER;
  }
  CName subKey(lpSubKey);
  ::HKEY opened = ToPlatform(*phkResult);
  LONG status = ::RegOpenKeyA(ToPlatform(hKey), subKey.Get(), &opened);
  return TakeHandle(status, opened, phkResult);
}

LONG Win32Store::RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD Reserved, RegName lpClass,
                                 DWORD dwOptions, REGSAM samDesired,
                                 const void* lpSecurityAttributes, HKEY* phkResult,
                                 DWORD* lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  if (lpSubKey.HasNul() || lpClass.HasNul()) {
    *phkResult = 0;
    return ERROR_INVALID_PARAMETER;
  }
  CName subKey(lpSubKey), cls(lpClass);
  ::HKEY opened = ToPlatform(*phkResult);
  ::DWORD disposition = lpdwDisposition ? *lpdwDisposition : 0;
  auto* security = const_cast<LPSECURITY_ATTRIBUTES>(
      static_cast<const SECURITY_ATTRIBUTES*>(lpSecurityAttributes));
  LONG status =
      ::RegCreateKeyExA(ToPlatform(hKey), subKey.Get(), Reserved, cls.Get(), dwOptions, samDesired,
                        security, &opened, lpdwDisposition ? &disposition : nullptr);
  if (lpdwDisposition) *lpdwDisposition = disposition;
  return Reported("RegCreateKeyExA", TakeHandle(status, opened, phkResult));
}

LONG Win32Store::RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName,
                               DWORD* lpReserved, char* lpClass, DWORD* lpcchClass,
                               FILETIME* lpftLastWriteTime) {
  if (!lpName || !lpcchName || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  ::DWORD nameLength = *lpcchName;
  ::DWORD classLength = lpcchClass ? *lpcchClass : 0;
  ::DWORD reserved = lpReserved ? *lpReserved : 0;
  ::FILETIME written{};
  LONG status = ::RegEnumKeyExA(
      ToPlatform(hKey), dwIndex, lpName, &nameLength, lpReserved ? &reserved : nullptr, lpClass,
      lpcchClass ? &classLength : nullptr, lpftLastWriteTime ? &written : nullptr);
  *lpcchName = nameLength;
  if (lpcchClass) *lpcchClass = classLength;
  if (lpftLastWriteTime)
    *lpftLastWriteTime = FILETIME{written.dwLowDateTime, written.dwHighDateTime};
  return status;
}

LONG Win32Store::RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                               DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  ::DWORD nameLength = *lpcchValueName;
  ::DWORD reserved = lpReserved ? *lpReserved : 0;
  ::DWORD type = lpType ? *lpType : 0;
  ::DWORD size = lpcbData ? *lpcbData : 0;
  LONG status = ::RegEnumValueA(ToPlatform(hKey), dwIndex, lpValueName, &nameLength,
                                lpReserved ? &reserved : nullptr, lpType ? &type : nullptr, lpData,
                                lpcbData ? &size : nullptr);
  *lpcchValueName = nameLength;
  if (lpType) *lpType = type;
  if (lpcbData) *lpcbData = size;
  return status;
}

LONG Win32Store::RegQueryValueExA(HKEY hKey, RegName lpValueName, DWORD* lpReserved, DWORD* lpType,
                                  BYTE* lpData, DWORD* lpcbData) {
  if (lpReserved || (lpData && !lpcbData) || lpValueName.HasNul()) return ERROR_INVALID_PARAMETER;
  CName name(lpValueName);
  ::DWORD type = lpType ? *lpType : 0;
  ::DWORD size = lpcbData ? *lpcbData : 0;
  LONG status = ::RegQueryValueExA(ToPlatform(hKey), name.Get(), nullptr, lpType ? &type : nullptr,
                                   lpData, lpcbData ? &size : nullptr);
  if (lpType) *lpType = type;
  if (lpcbData) *lpcbData = size;
  return status;
}

LONG Win32Store::RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD Reserved, DWORD dwType,
                                const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData > 0) return ERROR_NOACCESS;
  if (lpValueName.HasNul()) return ERROR_INVALID_PARAMETER;
  CName name(lpValueName);
  LONG status = ::RegSetValueExA(ToPlatform(hKey), name.Get(), Reserved, dwType, lpData, cbData);
  return Reported("RegSetValueExA", status);
}

LONG Win32Store::RegDeleteValueA(HKEY hKey, RegName lpValueName) {
  if (lpValueName.HasNul()) return ERROR_INVALID_PARAMETER;
  CName name(lpValueName);
  return Reported("RegDeleteValueA", ::RegDeleteValueA(ToPlatform(hKey), name.Get()));
}

LONG Win32Store::RegDeleteKeyA(HKEY hKey, RegName lpSubKey) {
  if (lpSubKey.IsNull() || lpSubKey.HasNul()) return ERROR_INVALID_PARAMETER;
  CName subKey(lpSubKey);
  return Reported("RegDeleteKeyA", ::RegDeleteKeyA(ToPlatform(hKey), subKey.Get()));
}

LONG Win32Store::RegCloseKey(HKEY hKey) {
  return ::RegCloseKey(ToPlatform(hKey));
}

LONG Win32Store::CoCreateGuid(GUID* pguid) {
  if (!pguid) return ERROR_INVALID_PARAMETER;
  ::GUID g;
  HRESULT result = ::CoCreateGuid(&g);
  if (FAILED(result)) return static_cast<LONG>(result);
  pguid->Data1 = g.Data1;
  pguid->Data2 = g.Data2;
  pguid->Data3 = g.Data3;
  std::copy(std::begin(g.Data4), std::end(g.Data4), pguid->Data4);
  return ERROR_SUCCESS;
}

int Win32Store::StringFromGUID2(const GUID& rguid, char16_t* lpsz, int cchMax) {
  if (!lpsz || cchMax <= 0) return 0;
  ::GUID g;
  g.Data1 = rguid.Data1;
  g.Data2 = rguid.Data2;
  g.Data3 = rguid.Data3;
  std::copy(std::begin(rguid.Data4), std::end(rguid.Data4), g.Data4);
  wchar_t text[64];
  int written = ::StringFromGUID2(g, text, std::min(cchMax, 64));
  for (int i = 0; i < written; ++i) lpsz[i] = static_cast<char16_t>(text[i]);
  return written;
}

std::string WineVersion() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  if (!ntdll) return {};
  FARPROC entry = ::GetProcAddress(ntdll, "wine_get_version");
  if (!entry) return {};
  // Through void(*)(void), the type a function pointer may be cast from freely.
  auto getVersion = reinterpret_cast<const char* (*)()>(reinterpret_cast<void (*)()>(entry));
  const char* version = getVersion();
  return version && *version ? version : "unknown";
}

Win32Store::~Win32Store() {
  for (Watch& watch : watches_) {
    if (watch.key) ::RegCloseKey(static_cast<::HKEY>(watch.key));
    if (watch.event) ::CloseHandle(watch.event);
  }
}

std::uint64_t Win32Store::ChangeStamp() {
  const HKEY hives[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
  for (int i = 0; i < 2; ++i) {
    Watch& watch = watches_[i];
    if (watch.event && ::WaitForSingleObject(watch.event, 0) != WAIT_OBJECT_0) continue;
    ++changes_;  // signalled, or nothing known before the first watch
    if (!watch.key) {
      ::HKEY key = nullptr;
      if (::RegOpenKeyExA(ToPlatform(hives[i]), kInternetSettingsPath, 0, KEY_NOTIFY, &key) != ERROR_SUCCESS) continue;
      watch.key = key;
      watch.event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    // A notification fires once: armed again for the next change. A key
    // deleted meanwhile cannot be: it is opened anew at the next call.
    if (!watch.event || ::RegNotifyChangeKeyValue(static_cast<::HKEY>(watch.key), TRUE,
                                                  REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                                  watch.event, TRUE) != ERROR_SUCCESS) {
      ::RegCloseKey(static_cast<::HKEY>(watch.key));
      if (watch.event) ::CloseHandle(watch.event);
      watch = {};
    }
  }
  return changes_;
}

unsigned AnsiCodePage() {
  return ::GetACP();
}

}  // namespace pw
