// The store on Windows: every operation is the advapi32 "A" function of the
// same name (and ole32's for GUIDs), so the program works on the real registry,
// shared with the browser. Only built for Windows.
//
// Handles are the platform's own, carried in our 32-bit HKEY: the platform's
// handles are 32-bit values sign-extended to pointer size (the predefined hives
// 0x80000001 and 0x80000002 among them), so the conversion is exact both ways.
// A name holding a NUL is refused with ERROR_INVALID_PARAMETER before the
// platform sees it (it would name a shorter key), and so is a null data pointer
// with a non-zero size (ERROR_NOACCESS), which the platform may not survive.
// Everything else is the platform's behaviour, differences from the interface's
// description included (subkey order, for one, is the platform's).
#pragma once

#include <string>

#include "registry/RegistryStore.h"

namespace pw {

class Win32Store : public RegistryStore {
 public:
  Win32Store() = default;
  ~Win32Store() override;

  LONG RegOpenKeyExA(HKEY hKey, RegName lpSubKey, DWORD ulOptions, REGSAM samDesired,
                     HKEY* phkResult) override;
  LONG RegOpenKeyA(HKEY hKey, RegName lpSubKey, HKEY* phkResult) override;
  LONG RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD Reserved, RegName lpClass,
                       DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                       HKEY* phkResult, DWORD* lpdwDisposition) override;
  LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                     char* lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) override;
  LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                     DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override;
  LONG RegQueryValueExA(HKEY hKey, RegName lpValueName, DWORD* lpReserved, DWORD* lpType,
                        BYTE* lpData, DWORD* lpcbData) override;
  LONG RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD Reserved, DWORD dwType,
                      const BYTE* lpData, DWORD cbData) override;
  LONG RegDeleteValueA(HKEY hKey, RegName lpValueName) override;
  LONG RegDeleteKeyA(HKEY hKey, RegName lpSubKey) override;
  LONG RegCloseKey(HKEY hKey) override;
  LONG CoCreateGuid(GUID* pguid) override;
  int StringFromGUID2(const GUID& rguid, char16_t* lpsz, int cchMax) override;

  std::string Describe() const override { return "Windows registry"; }

  // Told by the platform (RegNotifyChangeKeyValue): the Internet Settings keys
  // of both hives, which hold all the program shows, watched from the first
  // call on. A key that cannot be watched counts as changed at every call.
  std::uint64_t ChangeStamp() override;

 private:
  struct Watch {
    void* key = nullptr;    // the platform's HKEY
    void* event = nullptr;  // signalled at a change below the key
  };
  Watch watches_[2];
  std::uint64_t changes_ = 0;

  // Reports a write that failed for a reason of the registry's own (its file,
  // memory, quota), not for a wrong argument.
  LONG Reported(const char* operation, LONG status) const;
};

// The version of Wine this program runs on, or empty text on Windows itself.
// Wine's ntdll exports wine_get_version; Windows' does not.
std::string WineVersion();
inline bool RunningOnWine() {
  return !WineVersion().empty();
}

// The system's ANSI code page, through which every 8-bit name and string
// crosses into the registry (1252 on a Western European system).
unsigned AnsiCodePage();

}  // namespace pw
