// The stores a parameterised suite runs against on this platform.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"

namespace pw::test {

struct StoreKind {
  std::string name;
  std::function<std::unique_ptr<RegistryStore>()> make;
  // The platform's registry as Wine implements it: cases where Wine is known
  // to differ from Windows are marked and not checked there.
  bool wine = false;
};

// Memory and SQLite on Linux; memory and the platform's registry on Windows.
std::vector<StoreKind> AllStoreKinds();

// Test names and messages show the store's name, not the object's bytes.
inline void PrintTo(const StoreKind& kind, std::ostream* os) { *os << kind.name; }

inline std::string StoreKindName(const testing::TestParamInfo<StoreKind>& info) { return info.param.name; }

}  // namespace pw::test
