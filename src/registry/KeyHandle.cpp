#include "registry/KeyHandle.h"

namespace pw {

KeyHandle& KeyHandle::operator=(KeyHandle&& other) noexcept {
  if (this != &other) {
    Close();
    store_ = other.store_;
    owned_ = other.owned_;
    key_ = other.Release();
  }
  return *this;
}

void KeyHandle::Close() {
  if (key_ && owned_ && store_) store_->RegCloseKey(key_);
  key_ = 0;
  owned_ = true;
}

HKEY KeyHandle::Release() {
  HKEY key = key_;
  key_ = 0;
  owned_ = true;
  return key;
}

LONG KeyHandle::Open(RegistryStore& store, HKEY parent, RegName path, REGSAM access) {
  Close();
  store_ = &store;
  HKEY key = 0;
  LONG status = store.RegOpenKeyExA(parent, path, 0, access, &key);
  if (status == ERROR_SUCCESS) key_ = key;
  return status;
}

LONG KeyHandle::OpenA(RegistryStore& store, HKEY parent, RegName path) {
  Close();
  store_ = &store;
  HKEY key = 0;
  LONG status = store.RegOpenKeyA(parent, path, &key);
  if (status != ERROR_SUCCESS) return status;
  key_ = key;
  owned_ = key != parent;
  return status;
}

LONG KeyHandle::Create(RegistryStore& store, HKEY parent, RegName path, REGSAM access, RegName keyClass,
                       DWORD* disposition) {
  Close();
  store_ = &store;
  HKEY key = 0;
  LONG status = store.RegCreateKeyExA(parent, path, 0, keyClass, 0, access, nullptr, &key, disposition);
  if (status == ERROR_SUCCESS) key_ = key;
  return status;
}

KeyHandle OpenedKey(RegistryStore& store, HKEY parent, RegName path, REGSAM access) {
  KeyHandle key;
  key.Open(store, parent, path, access);
  return key;
}

}  // namespace pw
