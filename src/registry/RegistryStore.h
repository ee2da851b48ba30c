// The registry store: everything the program reads or changes goes through this
// interface. Its operations are the platform's registry functions ("A" entry
// points) with their arguments, buffer rules, statuses and handle rules, so the
// same logic runs on the real registry (Win32Store), an SQLite file
// (SqliteStore) and memory (MemoryStore). One conformance suite checks all.
//
// Common rules:
// - Handles: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are always valid and are
//   never closed. Other handles come from an open or create and stay valid until
//   RegCloseKey. 0 is no key. An unknown or closed handle gives
//   ERROR_INVALID_HANDLE (6). A handle whose key was deleted (by anyone) gives
//   ERROR_KEY_DELETED (1018) on every operation but RegCloseKey.
// - Paths are relative to the key passed, components separated by "\". Runs of
//   backslashes separate like one, and trailing ones are ignored ("a\" names
//   "a"); a path that starts with "\" gives ERROR_BAD_PATHNAME (161).
// - Key and value names compare without regard to letter case. Subkeys
//   enumerate in ascending order of their upper-cased names (so "_" sorts after
//   the letters); values in the order they were first created.
// - Names are 8-bit text counted in bytes (UTF-8 on Linux). A key name
//   component over 255 bytes, a value name over 16383 bytes, or a name holding a
//   NUL gives ERROR_INVALID_PARAMETER (87) and changes nothing; so does
//   creating a key more than 512 levels below its hive. (A store that already
//   holds deeper keys still opens, reads and deletes them.)
// - Access: a handle carries the rights asked for at open (RegOpenKeyA and the
//   hives carry all). Reading values needs KEY_QUERY_VALUE, enumerating subkeys
//   KEY_ENUMERATE_SUB_KEYS, writing or deleting values KEY_SET_VALUE; otherwise
//   ERROR_ACCESS_DENIED (5). Opening or creating below a handle needs no right
//   on it.
// - A store that fails to write (read-only, full, busy) returns a failure
//   status and also reports it to the error sink.
// - A store is used from one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "registry/RegName.h"
#include "registry/RegistryTypes.h"

namespace pw {

// A failure of the store's own medium (not a status the platform gives for a
// wrong argument): which store, what was being done and why it failed.
struct StoreFailure {
  std::string store;      // the store's description, for example its file path
  std::string operation;  // "RegSetValueExA", "import", ...
  std::string reason;     // the medium's own words ("attempt to write a readonly database")
  LONG status = 0;        // the status returned to the caller
  // The write landed; what must follow it (named by `operation`) did not.
  bool afterWrite = false;
};

// The words for a failure of what follows a write (afterWrite), with the
// reason as the caller shows it: "the change is saved in the store S, but O is
// not in step with it: R".
std::string AfterWriteFailureText(const StoreFailure& failure, const std::string& reason);

using StoreErrorSink = std::function<void(const StoreFailure&)>;

class RegistryStore {
 public:
  RegistryStore() = default;
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;
  virtual ~RegistryStore() = default;

  // Opens key\subKey with the rights in samDesired. An empty or null subKey
  // opens a new handle to key itself. On success *phkResult is the new handle;
  // on failure it is 0 (except for an invalid key, where it is left alone).
  // REQUIRES: ulOptions == 0. Status 2 when a component does not exist.
  virtual LONG RegOpenKeyExA(HKEY hKey, RegName lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             HKEY* phkResult) = 0;

  // Opens key\subKey with all rights. An empty or null subKey returns hKey
  // itself in *phkResult (no new handle), as the platform does.
  virtual LONG RegOpenKeyA(HKEY hKey, RegName lpSubKey, HKEY* phkResult) = 0;

  // Opens key\subKey, creating every missing component; lpClass (may be null)
  // is stored on the keys created. *lpdwDisposition (may be null) gets
  // REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. A null subKey is taken as
  // empty.
  virtual LONG RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD Reserved, RegName lpClass,
                               DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                               HKEY* phkResult, DWORD* lpdwDisposition) = 0;

  // The subkey at dwIndex in enumeration order. *lpcchName is the buffer size in
  // bytes, NUL included; on success the name and a NUL are copied and
  // *lpcchName becomes the name's length without the NUL. A name that does not
  // fit with its NUL gives ERROR_MORE_DATA (234), copies nothing and leaves
  // *lpcchName alone. Past the last subkey: ERROR_NO_MORE_ITEMS (259). The class
  // is returned the same way when lpClass is not null. The last write time
  // (may be null) is when the subkey's values or its own list of subkeys last
  // changed, as a FILETIME. On the Linux stores every write gives a later time
  // than any before it in that store, and keys read again after another
  // connection's write all take the time of that read.
  virtual LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName,
                             DWORD* lpReserved, char* lpClass, DWORD* lpcchClass,
                             FILETIME* lpftLastWriteTime) = 0;

  // The value at dwIndex in creation order. Name as in RegEnumKeyExA. lpType
  // (may be null) gets the type. With lpcbData not null: when lpData is null,
  // *lpcbData gets the data size; otherwise data that does not fit gives
  // ERROR_MORE_DATA with *lpcbData set to the size needed, and data that fits is
  // copied with *lpcbData set to its size. Past the last value: 259.
  virtual LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                             DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) = 0;

  // The value named lpValueName (null or empty: the unnamed value). Type and
  // data as in RegEnumValueA; lpData without lpcbData gives 87. Status 2 when the
  // value does not exist. Data comes back byte for byte as it was set.
  virtual LONG RegQueryValueExA(HKEY hKey, RegName lpValueName, DWORD* lpReserved, DWORD* lpType,
                                BYTE* lpData, DWORD* lpcbData) = 0;

  // Creates or replaces the value; a replaced value keeps its place in the
  // creation order. The store keeps exactly cbData bytes and the type; it adds
  // no terminator and checks no size against the type.
  virtual LONG RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) = 0;

  // Status 2 when the value does not exist.
  virtual LONG RegDeleteValueA(HKEY hKey, RegName lpValueName) = 0;

  // Deletes key\subKey with its values. A key that still has subkeys gives
  // ERROR_ACCESS_DENIED (5) and stays; a hive cannot be deleted (5); a null
  // subKey gives 87. Handles open on the deleted key give 1018 from then on.
  virtual LONG RegDeleteKeyA(HKEY hKey, RegName lpSubKey) = 0;

  // Releases a handle. Hives: 0 and nothing happens. 0 or unknown: 6.
  virtual LONG RegCloseKey(HKEY hKey) = 0;

  // A fresh version-4 GUID from the system's random source; 0 on success.
  virtual LONG CoCreateGuid(GUID* pguid);

  // Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and a NUL into lpsz (UTF-16
  // code units); returns the count written, NUL included (39), or 0 when cchMax
  // is too small.
  virtual int StringFromGUID2(const GUID& rguid, char16_t* lpsz, int cchMax);

  // Transactions group writes so that they land whole or not at all (an import,
  // a prune's test-and-delete). They nest: only the outermost commit writes.
  // Stores without transactions (the platform's registry) return 0 and apply
  // each write at once. Rollback is possible only where the store supports it;
  // SupportsRollback() tells.
  virtual LONG BeginTransaction() { return ERROR_SUCCESS; }
  virtual LONG CommitTransaction() { return ERROR_SUCCESS; }
  virtual void RollbackTransaction() {}
  virtual bool SupportsRollback() const { return false; }

  // A read snapshot: the reads between Begin and End see one state of the
  // store, checked for other processes' writes once, at the start, instead of
  // at every operation, so that a long run of reads (rebuilding a list) is
  // both consistent and fast. They nest. A write in between ends the snapshot
  // (later reads see the latest state again, one check each), so it is never
  // lost or refused for it. Stores whose every read is already current (memory,
  // the platform's registry) do nothing.
  virtual LONG BeginReadSnapshot() { return ERROR_SUCCESS; }
  virtual void EndReadSnapshot() {}

  // A number that differs from the one before whenever the store may have
  // been written since (at least its Internet Settings keys, which hold all
  // a window shows): through this object, another connection to the same
  // store, or another process. The same number means nothing was written, so
  // a window may keep what it shows. Cheap enough to ask several times a
  // second while nothing happens; it reads nothing else and brings no read up
  // to date (reads do that themselves). A failure to tell counts as no change
  // and is not reported: the next read reports it. This default, for a store
  // that cannot tell, gives a new number every time.
  virtual std::uint64_t ChangeStamp() { return ++unknownChanges_; }

  // What the store is, for messages: a file path, "memory", "Windows registry".
  virtual std::string Describe() const = 0;
  // The file the store lives in, for a store that is one file; empty otherwise.
  virtual std::string FilePath() const { return ""; }

  // Where failures of the store's medium are reported besides the status. A
  // store over another (a decorator) has the other's failures reported here too.
  virtual void SetErrorSink(StoreErrorSink sink) { sink_ = std::move(sink); }

 protected:
  void ReportFailure(const StoreFailure& failure) const {
    if (sink_) sink_(failure);
  }

 private:
  StoreErrorSink sink_;
  std::uint64_t unknownChanges_ = 0;
};

// Runs a function inside a store transaction and commits it; rolls back when
// the function throws. Returns the commit's status.
LONG RunInTransaction(RegistryStore& store, const std::function<void()>& work);

// The same for work that returns a status: work that fails is rolled back
// (where the store can roll back) and its status returned; otherwise the
// commit's status.
LONG WriteInTransaction(RegistryStore& store, const std::function<LONG()>& work);

// Holds a read snapshot for the lifetime of the object.
class ReadSnapshot {
 public:
  explicit ReadSnapshot(RegistryStore& store) : store_(store) { status_ = store_.BeginReadSnapshot(); }
  ~ReadSnapshot() {
    if (status_ == ERROR_SUCCESS) store_.EndReadSnapshot();
  }
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;
  // Not 0 when the snapshot could not begin; every read then checks as usual.
  LONG Status() const { return status_; }

 private:
  RegistryStore& store_;
  LONG status_;
};

}  // namespace pw
