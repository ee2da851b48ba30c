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
// The platform's registry is made to look like a fresh store for each test:
// the keys the program uses (Internet Settings under the current user, the
// browser's extensions under the local machine) are set aside, and they come
// back, and every key the test made at the top elsewhere goes, when the store
// is destroyed.
std::vector<StoreKind> AllStoreKinds();

// Test names and messages show the store's name, not the object's bytes.
inline void PrintTo(const StoreKind& kind, std::ostream* os) { *os << kind.name; }

// Marks a case where Wine's registry is known to differ from Windows' as not
// checked on Wine; `difference` says what Windows does and what Wine does.
// The case returns when this is true (a skip inside a helper ends only the
// helper): if (SkipOnWine(GetParam(), "...")) return;
inline bool SkipOnWine(const StoreKind& kind, const std::string& difference) {
  if (!kind.wine) return false;
  [&] { GTEST_SKIP() << "not checked on Wine: " << difference; }();
  return true;
}

// Differences of Wine's registry met by more than one suite.
inline constexpr const char* kWineSortsValues =
    "Windows enumerates a key's values in creation order (which value is index 0); "
    "Wine sorts them by name";
inline constexpr const char* kWineAppendsTerminator =
    "Windows reads REG_SZ data stored without a terminator back as written; "
    "Wine's \"A\" query appends one";
inline constexpr const char* kWineLimitsPaths =
    "Wine's \"A\" functions refuse a key path of more than 260 characters (234); the store's "
    "description limits only each name, to 255 characters (87) (not confirmed on Windows)";

inline std::string StoreKindName(const testing::TestParamInfo<StoreKind>& info) { return info.param.name; }

}  // namespace pw::test
