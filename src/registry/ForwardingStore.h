// A store that forwards every operation to another store, so that a test can
// override one operation to inject a fault (an open that fails, an enumeration
// that returns a failure status) and leave the rest real, and so that a store
// can add to another (FollowUpStore). A subclass may supply the target itself;
// it never throws for want of one, since the code above reports by status.
//
// Failures the target reports reach this store's error sink once one is set:
// a decorator never hides its target's failures from whoever watches it.
#pragma once

#include "registry/RegistryStore.h"

namespace pw {

class ForwardingStore : public RegistryStore {
 public:
  explicit ForwardingStore(RegistryStore& target) : target_(&target) {}
  ~ForwardingStore() override { StopRelaying(); }
  virtual RegistryStore& Target() const { return *target_; }

  // Also has the target's failures reported here (for a subclass supplying
  // its target itself: once it has one, through RelayFailuresOf).
  void SetErrorSink(StoreErrorSink sink) override {
    RegistryStore::SetErrorSink(std::move(sink));
    if (target_) RelayFailuresOf(*target_);
  }

  LONG RegOpenKeyExA(HKEY hKey, RegName lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult) override {
    return Target().RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult);
  }
  LONG RegOpenKeyA(HKEY hKey, RegName lpSubKey, HKEY* phkResult) override {
    return Target().RegOpenKeyA(hKey, lpSubKey, phkResult);
  }
  LONG RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD Reserved, RegName lpClass, DWORD dwOptions,
                       REGSAM samDesired, const void* lpSecurityAttributes, HKEY* phkResult,
                       DWORD* lpdwDisposition) override {
    return Target().RegCreateKeyExA(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired,
                                   lpSecurityAttributes, phkResult, lpdwDisposition);
  }
  LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                     char* lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) override {
    return Target().RegEnumKeyExA(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                                 lpftLastWriteTime);
  }
  LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                     DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override {
    return Target().RegEnumValueA(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                                 lpcbData);
  }
  LONG RegQueryValueExA(HKEY hKey, RegName lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                        DWORD* lpcbData) override {
    return Target().RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
  }
  LONG RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                      DWORD cbData) override {
    return Target().RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
  }
  LONG RegDeleteValueA(HKEY hKey, RegName lpValueName) override {
    return Target().RegDeleteValueA(hKey, lpValueName);
  }
  LONG RegDeleteKeyA(HKEY hKey, RegName lpSubKey) override { return Target().RegDeleteKeyA(hKey, lpSubKey); }
  LONG RegCloseKey(HKEY hKey) override { return Target().RegCloseKey(hKey); }
  LONG CoCreateGuid(GUID* pguid) override { return Target().CoCreateGuid(pguid); }
  int StringFromGUID2(const GUID& rguid, char16_t* lpsz, int cchMax) override {
    return Target().StringFromGUID2(rguid, lpsz, cchMax);
  }
  LONG BeginTransaction() override { return Target().BeginTransaction(); }
  LONG CommitTransaction() override { return Target().CommitTransaction(); }
  void RollbackTransaction() override { Target().RollbackTransaction(); }
  bool SupportsRollback() const override { return Target().SupportsRollback(); }
  LONG BeginReadSnapshot() override { return Target().BeginReadSnapshot(); }
  void EndReadSnapshot() override { Target().EndReadSnapshot(); }
  std::uint64_t ChangeStamp() override { return Target().ChangeStamp(); }
  std::string Describe() const override { return Target().Describe(); }
  std::string FilePath() const override { return Target().FilePath(); }

 protected:
  ForwardingStore() = default;  // for a subclass that overrides Target()

  // Reports the failures `target` reports through this store's sink.
  void RelayFailuresOf(RegistryStore& target) {
    target.SetErrorSink([this](const StoreFailure& failure) { ReportFailure(failure); });
    relaying_ = &target;
  }
  // Before a target the subclass owns goes.
  void StopRelaying() {
    if (relaying_) relaying_->SetErrorSink({});
    relaying_ = nullptr;
  }

 private:
  RegistryStore* target_ = nullptr;
  RegistryStore* relaying_ = nullptr;  // the store whose sink reports here
};

}  // namespace pw
