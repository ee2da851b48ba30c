// An open key of a store, closed when its holder goes: every key the program
// opens is held by one, so that no return, failure or exception leaves a
// handle open. The hives are never closed (the store ignores that anyway), nor
// is a key another holder owns (RegOpenKeyA of an empty path gives the parent
// back).
#pragma once

#include "registry/RegistryStore.h"

namespace pw {

class KeyHandle {
 public:
  KeyHandle() = default;
  // Takes over `key`, a handle of `store` or 0.
  KeyHandle(RegistryStore& store, HKEY key) : store_(&store), key_(key) {}
  ~KeyHandle() { Close(); }
  KeyHandle(KeyHandle&& other) noexcept : store_(other.store_), owned_(other.owned_) { key_ = other.Release(); }
  KeyHandle& operator=(KeyHandle&& other) noexcept;
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;

  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != 0; }
  // Closes the key now; the holder is empty afterwards.
  void Close();
  // Gives the key up without closing it.
  HKEY Release();

  // RegOpenKeyExA, RegOpenKeyA and RegCreateKeyExA into this holder (closing
  // what it held); the store's status. The holder is empty on failure.
  LONG Open(RegistryStore& store, HKEY parent, RegName path, REGSAM access);
  LONG OpenA(RegistryStore& store, HKEY parent, RegName path);
  LONG Create(RegistryStore& store, HKEY parent, RegName path, REGSAM access, RegName keyClass = nullptr,
              DWORD* disposition = nullptr);

 private:
  RegistryStore* store_ = nullptr;
  bool owned_ = true;  // false for a parent RegOpenKeyA gave back
  HKEY key_ = 0;
};

// The key at parent\path opened with `access`, or an empty holder: for code
// that only needs to know whether it opened.
KeyHandle OpenedKey(RegistryStore& store, HKEY parent, RegName path, REGSAM access);

}  // namespace pw
