#include "registry/MemoryStore.h"

namespace pw {

MemoryStore::~MemoryStore() = default;

LONG MemoryStore::BeginPhysical(const char*, bool explicitTxn) {
  // A single operation cannot fail halfway in memory; only a transaction needs
  // a copy to go back to.
  if (explicitTxn) before_ = TakeSnapshot();
  return ERROR_SUCCESS;
}

LONG MemoryStore::CommitPhysical(const char*) {
  before_.reset();
  return ERROR_SUCCESS;
}

void MemoryStore::RollbackPhysical() {
  if (before_) RestoreSnapshot(*before_);
  before_.reset();
}

LONG MemoryStore::PersistKey(Key& key) {
  key.id = ++nextId_;
  return ERROR_SUCCESS;
}

}  // namespace pw
