// A store that forwards every operation to another store, so that a test can
// override one operation to inject a fault (an open that fails, an enumeration
// that returns a failure status) and leave the rest real.
#pragma once

#include "registry/RegistryStore.h"

namespace pw {

class ForwardingStore : public RegistryStore {
 public:
  explicit ForwardingStore(RegistryStore& target) : target_(target) {}
  RegistryStore& Target() const { return target_; }

  LONG RegOpenKeyExA(HKEY hKey, RegName lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult) override {
    return target_.RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult);
  }
  LONG RegOpenKeyA(HKEY hKey, RegName lpSubKey, HKEY* phkResult) override {
    return target_.RegOpenKeyA(hKey, lpSubKey, phkResult);
  }
  LONG RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD Reserved, RegName lpClass, DWORD dwOptions,
                       REGSAM samDesired, const void* lpSecurityAttributes, HKEY* phkResult,
                       DWORD* lpdwDisposition) override {
    return target_.RegCreateKeyExA(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired,
                                   lpSecurityAttributes, phkResult, lpdwDisposition);
  }
  LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                     char* lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) override {
    return target_.RegEnumKeyExA(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                                 lpftLastWriteTime);
  }
  LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                     DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override {
    return target_.RegEnumValueA(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                                 lpcbData);
  }
  LONG RegQueryValueExA(HKEY hKey, RegName lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                        DWORD* lpcbData) override {
    return target_.RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
  }
  LONG RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                      DWORD cbData) override {
    return target_.RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
  }
  LONG RegDeleteValueA(HKEY hKey, RegName lpValueName) override {
    return target_.RegDeleteValueA(hKey, lpValueName);
  }
  LONG RegDeleteKeyA(HKEY hKey, RegName lpSubKey) override { return target_.RegDeleteKeyA(hKey, lpSubKey); }
  LONG RegCloseKey(HKEY hKey) override { return target_.RegCloseKey(hKey); }
  LONG CoCreateGuid(GUID* pguid) override { return target_.CoCreateGuid(pguid); }
  int StringFromGUID2(const GUID& rguid, char16_t* lpsz, int cchMax) override {
    return target_.StringFromGUID2(rguid, lpsz, cchMax);
  }
  LONG BeginTransaction() override { return target_.BeginTransaction(); }
  LONG CommitTransaction() override { return target_.CommitTransaction(); }
  void RollbackTransaction() override { target_.RollbackTransaction(); }
  bool SupportsRollback() const override { return target_.SupportsRollback(); }
  LONG BeginReadSnapshot() override { return target_.BeginReadSnapshot(); }
  void EndReadSnapshot() override { target_.EndReadSnapshot(); }
  std::string Describe() const override { return target_.Describe(); }

 private:
  RegistryStore& target_;
};

}  // namespace pw
