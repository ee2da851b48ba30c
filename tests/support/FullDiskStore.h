// A store whose medium refuses every value write, as a full disk would: each
// write is reported to the store's error sink and fails with status 112.
#pragma once

#include "registry/ForwardingStore.h"

namespace pw::test {

class FullDiskStore : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  LONG RegSetValueExA(HKEY, RegName, DWORD, DWORD, const BYTE*, DWORD) override {
    ReportFailure({Describe(), "RegSetValueExA", "database or disk is full", 112});
    return 112;
  }
};

}  // namespace pw::test
