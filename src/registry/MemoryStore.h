// The registry in process memory, for tests and for trying things out. It starts
// with the two hives and nothing in them.
#pragma once

#include <memory>

#include "registry/TreeStore.h"

namespace pw {

class MemoryStore : public TreeStore {
 public:
  MemoryStore() = default;
  ~MemoryStore() override;
  std::string Describe() const override { return "memory"; }

 protected:
  LONG BeginPhysical(const char* operation, bool explicitTxn) override;
  LONG CommitPhysical(const char* operation) override;
  void RollbackPhysical() override;
  LONG PersistKey(Key& key) override;
  LONG PersistValue(const Key&, const Value&, bool) override { return ERROR_SUCCESS; }
  LONG PersistValueDelete(const Key&, const Value&) override { return ERROR_SUCCESS; }
  LONG PersistKeyDelete(const Key&) override { return ERROR_SUCCESS; }

 private:
  std::int64_t nextId_ = kLocalMachineRootId;  // ids are never reused
  std::unique_ptr<Snapshot> before_;          // the tree before an open transaction
};

}  // namespace pw
