// The store semantics every store must show, run against each store of the
// platform. Each case states what the platform's registry does.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "StoreKinds.h"
#include "registry/KeyTree.h"
#include "registry/KnownKeys.h"
#include "registry/RegistryStore.h"

namespace pw::test {
namespace {

constexpr const char* kScratch = "Software\\PortwardenConformance";

class StoreConformance : public testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override {
    store_ = GetParam().make();
    ASSERT_TRUE(store_);
    DeleteKeyTree(S(), HKEY_CURRENT_USER, kScratch);
    ASSERT_EQ(Create(HKEY_CURRENT_USER, kScratch, &root_), ERROR_SUCCESS);
  }
  void TearDown() override {
    if (!store_) return;
    store_->RegCloseKey(root_);
    DeleteKeyTree(S(), HKEY_CURRENT_USER, kScratch);
  }

  RegistryStore& S() { return *store_; }

  LONG Create(HKEY parent, RegName path, HKEY* out, DWORD* disposition = nullptr, RegName cls = nullptr) {
    return S().RegCreateKeyExA(parent, path, 0, cls, 0, kAccess3F, nullptr, out, disposition);
  }
  HKEY MustCreate(const std::string& path) {
    HKEY h = 0;
    EXPECT_EQ(Create(root_, path, &h), ERROR_SUCCESS) << path;
    return h;
  }
  void MakeKey(const std::string& path) { S().RegCloseKey(MustCreate(path)); }
  LONG Open(HKEY parent, RegName path, HKEY* out, REGSAM access = kAccess3F) {
    return S().RegOpenKeyExA(parent, path, 0, access, out);
  }
  bool Exists(const std::string& path) {
    HKEY h = 0;
    LONG st = Open(root_, path, &h);
    if (st == ERROR_SUCCESS) S().RegCloseKey(h);
    return st == ERROR_SUCCESS;
  }
  LONG SetBytes(HKEY key, RegName name, DWORD type, const std::string& bytes) {
    return S().RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size()));
  }
  LONG SetDword(HKEY key, RegName name, DWORD number) {
    BYTE b[4] = {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)};
    return S().RegSetValueExA(key, name, 0, REG_DWORD, b, 4);
  }
  // Type and data of a value, or the status when it cannot be read.
  LONG Query(HKEY key, RegName name, DWORD* type, std::string* data) {
    DWORD size = 0;
    LONG st = S().RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (st != ERROR_SUCCESS) return st;
    std::string buffer(size, '\0');
    st = S().RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    buffer.resize(size);
    if (data) *data = buffer;
    return st;
  }
  std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD length = sizeof name;
      LONG st = S().RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (st != ERROR_SUCCESS) {
        EXPECT_EQ(st, ERROR_NO_MORE_ITEMS);
        break;
      }
      names.emplace_back(name, length);
    }
    return names;
  }
  std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD length = sizeof name;
      LONG st = S().RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (st != ERROR_SUCCESS) {
        EXPECT_EQ(st, ERROR_NO_MORE_ITEMS);
        break;
      }
      names.emplace_back(name, length);
    }
    return names;
  }
  bool SkipOnWine(const char* difference) { return test::SkipOnWine(GetParam(), difference); }

  std::unique_ptr<RegistryStore> store_;
  HKEY root_ = 0;
};

// A window follows the store by its stamp: the same while nothing is written,
// another once the zone settings are.
TEST_P(StoreConformance, TheChangeStampMovesAtAWriteAndOnlyThen) {
  std::string path = std::string(kInternetSettingsPath) + "\\PortwardenConformance";
  HKEY key = 0;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, path, &key), ERROR_SUCCESS);
  std::uint64_t before = S().ChangeStamp();
  EXPECT_EQ(S().ChangeStamp(), before);
  EXPECT_EQ(SetDword(key, "v", 2), ERROR_SUCCESS);
  std::uint64_t after = S().ChangeStamp();
  EXPECT_NE(after, before);
  EXPECT_EQ(S().ChangeStamp(), after);
  S().RegCloseKey(key);
  DeleteKeyTree(S(), HKEY_CURRENT_USER, path);
}

TEST_P(StoreConformance, HivesAreAlwaysOpenAndNeverClosed) {
  EXPECT_EQ(S().RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(S().RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  HKEY h = 0;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, kScratch, &h), ERROR_SUCCESS);  // the hive still works
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, ClosingNoKeyOrAnUnknownOrClosedHandleFails) {
  EXPECT_EQ(S().RegCloseKey(0), ERROR_INVALID_HANDLE);
  HKEY h = MustCreate("a");
  EXPECT_EQ(S().RegCloseKey(h), ERROR_SUCCESS);
  EXPECT_EQ(S().RegCloseKey(h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(h, "v", 1), ERROR_INVALID_HANDLE);
  HKEY out = 0x1234;
  EXPECT_EQ(Open(0, "x", &out), ERROR_INVALID_HANDLE);
}

TEST_P(StoreConformance, CreateMakesEveryMissingKeyAndReportsTheDisposition) {
  HKEY h = 0;
  DWORD disposition = 0;
  ASSERT_EQ(Create(root_, "a\\b\\c", &h, &disposition), ERROR_SUCCESS);
  EXPECT_NE(h, 0u);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  S().RegCloseKey(h);
  EXPECT_TRUE(Exists("a"));
  EXPECT_TRUE(Exists("a\\b"));
  ASSERT_EQ(Create(root_, "a\\b\\c", &h, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, NamesCompareWithoutLetterCaseAndKeepTheirFirstSpelling) {
  MakeKey("Mixed\\Case");
  EXPECT_TRUE(Exists("MIXED\\case"));
  HKEY h = 0;
  DWORD disposition = 0;
  ASSERT_EQ(Create(root_, "mixed\\CASE", &h, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(SetDword(h, "Value", 1), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(h, "VALUE", 2), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(h), std::vector<std::string>{"Value"});
  std::string data;
  EXPECT_EQ(Query(h, "value", nullptr, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("\x02\0\0\0", 4));
  S().RegCloseKey(h);
  EXPECT_EQ(SubkeyNames(root_), std::vector<std::string>{"Mixed"});
}

TEST_P(StoreConformance, BackslashesSeparateLikeOneAndALeadingOneIsRefused) {
  MakeKey("a\\b");
  EXPECT_TRUE(Exists("a\\"));
  EXPECT_TRUE(Exists("a\\b\\"));
  EXPECT_TRUE(Exists("a\\\\b"));
  HKEY h = 0x77;
  EXPECT_EQ(Open(root_, "\\a", &h), ERROR_BAD_PATHNAME);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(Create(root_, "\\z", &h), ERROR_BAD_PATHNAME);
  EXPECT_FALSE(Exists("z"));
}

TEST_P(StoreConformance, CreatingANullOrEmptyPathOpensTheKeyItself) {
  for (RegName path : {RegName(nullptr), RegName("")}) {
    HKEY h = 0;
    DWORD disposition = 0;
    ASSERT_EQ(Create(root_, path, &h, &disposition), ERROR_SUCCESS);
    EXPECT_NE(h, root_);  // a new handle on the same key
    EXPECT_EQ(SetDword(h, "through", 1), ERROR_SUCCESS);
    EXPECT_EQ(Query(root_, "through", nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(S().RegCloseKey(h), ERROR_SUCCESS);
    EXPECT_TRUE(SubkeyNames(root_).empty());
  }
}

TEST_P(StoreConformance, CreatingAnEmptyPathReportsTheKeyOpened) {
  if (SkipOnWine("Windows reports the key as opened (2); Wine as created (1)")) return;
  for (RegName path : {RegName(nullptr), RegName("")}) {
    HKEY h = 0;
    DWORD disposition = 0;
    ASSERT_EQ(Create(root_, path, &h, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    S().RegCloseKey(h);
  }
}

TEST_P(StoreConformance, OpeningAMissingKeyFailsWithNoHandleAndCreatesNothing) {
  HKEY h = 0x77;
  EXPECT_EQ(Open(root_, "missing\\deeper", &h), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(S().RegOpenKeyA(root_, "missing", &h), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(SubkeyNames(root_).empty());
}

TEST_P(StoreConformance, AnEmptyPathOpensTheKeyItself) {
  HKEY same = 0;
  EXPECT_EQ(S().RegOpenKeyA(root_, "", &same), ERROR_SUCCESS);
  EXPECT_EQ(same, root_);  // no new handle
  EXPECT_EQ(S().RegOpenKeyA(root_, nullptr, &same), ERROR_SUCCESS);
  EXPECT_EQ(same, root_);
  HKEY fresh = 0;
  EXPECT_EQ(Open(root_, "", &fresh), ERROR_SUCCESS);
  EXPECT_NE(fresh, root_);  // a new handle on the same key
  EXPECT_EQ(SetDword(fresh, "v", 7), ERROR_SUCCESS);
  EXPECT_EQ(Query(root_, "v", nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(S().RegCloseKey(fresh), ERROR_SUCCESS);
}

TEST_P(StoreConformance, SubkeysEnumerateByUpperCasedNameSoUnderscoreFollowsLetters) {
  if (SkipOnWine("Windows orders subkeys by their upper-cased names, \"_\" after the letters; "
                 "Wine by their lower-cased names, \"_\" first"))
    return;
  for (const char* name : {"b", "_u", "A", "c2", "C1", "Zed", "a1"}) MakeKey(name);
  EXPECT_EQ(SubkeyNames(root_), (std::vector<std::string>{"A", "a1", "b", "C1", "c2", "Zed", "_u"}));
}

TEST_P(StoreConformance, IndexedEnumerationIsStableAndEndsWithNoMoreItems) {
  HKEY empty = MustCreate("empty");
  char name[256];
  DWORD length = sizeof name;
  EXPECT_EQ(S().RegEnumKeyExA(empty, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  length = sizeof name;
  EXPECT_EQ(S().RegEnumValueA(empty, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  S().RegCloseKey(empty);
  for (const char* n : {"k1", "k2", "k3"}) MakeKey(n);
  for (DWORD i = 0; i < 3; ++i) {
    length = sizeof name;
    ASSERT_EQ(S().RegEnumKeyExA(root_, i, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    std::string first(name, length);
    length = sizeof name;
    ASSERT_EQ(S().RegEnumKeyExA(root_, i, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::string(name, length), first);
  }
  length = sizeof name;
  EXPECT_EQ(S().RegEnumKeyExA(root_, 4, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_P(StoreConformance, ValuesEnumerateInCreationOrderAndAReplacedValueKeepsItsPlace) {
  if (SkipOnWine(kWineSortsValues)) return;
  HKEY h = MustCreate("vals");
  for (const char* n : {"zeta", "alpha", "Mid", ""}) EXPECT_EQ(SetDword(h, n, 1), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(h), (std::vector<std::string>{"zeta", "alpha", "Mid", ""}));
  EXPECT_EQ(SetDword(h, "ALPHA", 9), ERROR_SUCCESS);  // replaced in place
  EXPECT_EQ(ValueNames(h), (std::vector<std::string>{"zeta", "alpha", "Mid", ""}));
  EXPECT_EQ(S().RegDeleteValueA(h, "zeta"), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(h, "zeta", 1), ERROR_SUCCESS);  // made anew: last
  EXPECT_EQ(ValueNames(h), (std::vector<std::string>{"alpha", "Mid", "", "zeta"}));
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, ValuesKeepCreationOrderThroughManyDeletes) {
  if (SkipOnWine(kWineSortsValues)) return;
  HKEY h = MustCreate("many");
  std::vector<std::string> kept;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(SetDword(h, "v" + std::to_string(i), 1), ERROR_SUCCESS);
  for (int i = 0; i < 100; ++i) {
    if (i % 3 == 0 && i > 0) kept.push_back("v" + std::to_string(i));
    else ASSERT_EQ(S().RegDeleteValueA(h, "v" + std::to_string(i)), ERROR_SUCCESS);
  }
  EXPECT_EQ(ValueNames(h), kept);
  ASSERT_EQ(SetDword(h, "late", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(h, "V3", 9), ERROR_SUCCESS);
  ASSERT_EQ(S().RegDeleteValueA(h, "v6"), ERROR_SUCCESS);
  kept.erase(kept.begin() + 1);
  kept.push_back("late");
  EXPECT_EQ(ValueNames(h), kept);
  std::string data;
  DWORD type = 0;
  ASSERT_EQ(Query(h, "v3", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("\x09\0\0\0", 4));
  EXPECT_EQ(Query(h, "v4", &type, &data), ERROR_FILE_NOT_FOUND);
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, ValuesKeepCreationOrderAfterAPackToAnEvenCount) {
  if (SkipOnWine(kWineSortsValues)) return;
  HKEY h = MustCreate("packed");
  for (int i = 0; i < 41; ++i) ASSERT_EQ(SetDword(h, "v" + std::to_string(i), 1), ERROR_SUCCESS);
  // The 21st delete leaves 20 values in 41 places, packed into 20; one more follows.
  for (int i = 0; i < 22; ++i) ASSERT_EQ(S().RegDeleteValueA(h, "v" + std::to_string(i)), ERROR_SUCCESS);
  std::vector<std::string> kept;
  for (int i = 22; i < 41; ++i) kept.push_back("v" + std::to_string(i));
  EXPECT_EQ(ValueNames(h), kept);
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, ANameThatDoesNotFitWithItsNulGivesMoreDataAndCopiesNothing) {
  MakeKey("abcd");
  char name[8];
  std::memset(name, 'X', sizeof name);
  DWORD length = 4;  // four characters need five bytes
  EXPECT_EQ(S().RegEnumKeyExA(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(length, 4u);
  length = 5;
  EXPECT_EQ(S().RegEnumKeyExA(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(std::string(name, 5), std::string("abcd\0", 5));

  HKEY h = MustCreate("abcd");
  EXPECT_EQ(SetDword(h, "wxyz", 1), ERROR_SUCCESS);
  length = 4;
  EXPECT_EQ(S().RegEnumValueA(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, AKeyNameOf255FitsOnlyABufferOf256) {
  std::string longest(255, 'k');
  MakeKey(longest);
  char name[256];
  DWORD length = 255;
  EXPECT_EQ(S().RegEnumKeyExA(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  length = 256;
  EXPECT_EQ(S().RegEnumKeyExA(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, length), longest);
}

TEST_P(StoreConformance, DataBuffersReportTheSizeNeeded) {
  HKEY h = MustCreate("data");
  std::string bytes(300, 'd');
  ASSERT_EQ(SetBytes(h, "big", REG_BINARY, bytes), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(S().RegQueryValueExA(h, "big", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 300u);
  EXPECT_EQ(type, REG_BINARY);
  std::vector<BYTE> buffer(255);
  size = 255;
  EXPECT_EQ(S().RegQueryValueExA(h, "big", nullptr, &type, buffer.data(), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 300u);
  char name[256];
  DWORD length = 255;
  size = 255;
  EXPECT_EQ(S().RegEnumValueA(h, 0, name, &length, nullptr, &type, buffer.data(), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 300u);
  buffer.resize(300);
  length = 255;
  size = 300;
  EXPECT_EQ(S().RegEnumValueA(h, 0, name, &length, nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), size), bytes);
  EXPECT_EQ(std::string(name, length), "big");
  // A data buffer without its size is refused.
  EXPECT_EQ(S().RegQueryValueExA(h, "big", nullptr, &type, buffer.data(), nullptr), ERROR_INVALID_PARAMETER);
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, ValuesKeepTheirTypeAndBytes) {
  HKEY h = MustCreate("types");
  const std::string withNul("5\0tail", 6);
  ASSERT_EQ(SetBytes(h, "bin", REG_BINARY, std::string("\x00\xff\x01", 3)), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(h, "short dword", REG_DWORD, std::string("\x01\x02", 2)), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(h, "multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(h, "qword", REG_QWORD, std::string(8, '\x7f')), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(h, "empty", REG_BINARY, ""), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(h, "nul", REG_BINARY, withNul), ERROR_SUCCESS);
  struct Expect {
    const char* name;
    DWORD type;
    std::string data;
  };
  for (const Expect& e : {Expect{"bin", REG_BINARY, std::string("\x00\xff\x01", 3)},
                          Expect{"short dword", REG_DWORD, std::string("\x01\x02", 2)},
                          Expect{"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
                          Expect{"qword", REG_QWORD, std::string(8, '\x7f')},
                          Expect{"empty", REG_BINARY, ""}, Expect{"nul", REG_BINARY, withNul}}) {
    DWORD type = 0;
    std::string data;
    ASSERT_EQ(Query(h, e.name, &type, &data), ERROR_SUCCESS) << e.name;
    EXPECT_EQ(type, e.type) << e.name;
    EXPECT_EQ(data, e.data) << e.name;
  }
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, AStringWrittenWithoutTerminatorReadsBackAsWritten) {
  if (SkipOnWine(kWineAppendsTerminator)) return;
  HKEY h = MustCreate("sz");
  ASSERT_EQ(SetBytes(h, "s", REG_SZ, "abc"), ERROR_SUCCESS);
  DWORD type = 0;
  std::string data;
  ASSERT_EQ(Query(h, "s", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(data, "abc");
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, NullDataWithASizeIsRefusedAndWritesNothing) {
  HKEY h = MustCreate("nulldata");
  EXPECT_EQ(S().RegSetValueExA(h, "v", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  EXPECT_EQ(Query(h, "v", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(S().RegSetValueExA(h, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  std::string data = "x";
  EXPECT_EQ(Query(h, "empty", nullptr, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, "");
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, TheUnnamedValueIsReachedByAnEmptyOrNullName) {
  HKEY h = MustCreate("unnamed");
  ASSERT_EQ(SetDword(h, nullptr, 5), ERROR_SUCCESS);
  std::string data;
  EXPECT_EQ(Query(h, "", nullptr, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("\x05\0\0\0", 4));
  EXPECT_EQ(ValueNames(h), std::vector<std::string>{""});
  EXPECT_EQ(S().RegDeleteValueA(h, ""), ERROR_SUCCESS);
  EXPECT_EQ(Query(h, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, MissingValuesAreNotFound) {
  HKEY h = MustCreate("none");
  EXPECT_EQ(Query(h, "nothing", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(S().RegDeleteValueA(h, "nothing"), ERROR_FILE_NOT_FOUND);
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, DeletingAKeyWithSubkeysFailsAndLeavesIt) {
  MakeKey("parent\\child");
  EXPECT_EQ(S().RegDeleteKeyA(root_, "parent"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Exists("parent\\child"));
  EXPECT_EQ(S().RegDeleteKeyA(root_, "parent\\child"), ERROR_SUCCESS);
  EXPECT_EQ(S().RegDeleteKeyA(root_, "PARENT\\"), ERROR_SUCCESS);
  EXPECT_FALSE(Exists("parent"));
  EXPECT_EQ(S().RegDeleteKeyA(root_, "parent"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(S().RegDeleteKeyA(root_, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(S().RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
}

TEST_P(StoreConformance, DeletingAKeyTakesItsValuesAndAKeyMadeAgainIsEmpty) {
  HKEY h = MustCreate("gone");
  ASSERT_EQ(SetDword(h, "v", 1), ERROR_SUCCESS);
  S().RegCloseKey(h);
  ASSERT_EQ(S().RegDeleteKeyA(root_, "gone"), ERROR_SUCCESS);
  h = MustCreate("gone");
  EXPECT_TRUE(ValueNames(h).empty());
  S().RegCloseKey(h);
}

// A reader may skip a key whose write time it saw before: every change to its
// values or subkeys must give a later one, and nothing else may move it.
TEST_P(StoreConformance, AKeysLastWriteTimeMovesAtEveryChangeToItAndOnlyThen) {
  HKEY watched = MustCreate("watched");
  HKEY other = MustCreate("other");
  auto time = [&] {
    FILETIME written{};
    char name[256];
    DWORD length = sizeof name;
    EXPECT_EQ(S().RegEnumKeyExA(root_, 1, name, &length, nullptr, nullptr, nullptr, &written), ERROR_SUCCESS);
    EXPECT_EQ(std::string(name, length), "watched");
    return (std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
  };
  std::uint64_t last = time();
  EXPECT_NE(last, 0u);
  // The platform's clock ticks coarser than its writes: a later or equal time.
  bool platform = GetParam().name == "Win32";
  auto expectLater = [&](const char* change) {
    std::uint64_t now = time();
    if (platform)
      EXPECT_GE(now, last) << change;
    else
      EXPECT_GT(now, last) << change;
    last = now;
  };
  ASSERT_EQ(SetDword(watched, "v", 1), ERROR_SUCCESS);
  expectLater("a value set");
  ASSERT_EQ(SetDword(watched, "v", 1), ERROR_SUCCESS);
  expectLater("the same value set again");
  MakeKey("watched\\sub");
  expectLater("a subkey made");
  HKEY sub = 0;
  ASSERT_EQ(Open(watched, "sub", &sub), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(sub, "deeper", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(other, "elsewhere", 1), ERROR_SUCCESS);
  ASSERT_EQ(Query(watched, "v", nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(watched).size(), 1u);
  EXPECT_EQ(time(), last) << "reads, and writes to other keys or below";
  S().RegCloseKey(sub);
  ASSERT_EQ(S().RegDeleteKeyA(watched, "sub"), ERROR_SUCCESS);
  expectLater("a subkey deleted");
  ASSERT_EQ(S().RegDeleteValueA(watched, "v"), ERROR_SUCCESS);
  expectLater("a value deleted");
  S().RegCloseKey(watched);
  S().RegCloseKey(other);
}

TEST_P(StoreConformance, AHandleOnADeletedKeyFailsWithKeyDeleted) {
  HKEY h = MustCreate("doomed");
  ASSERT_EQ(SetDword(h, "v", 1), ERROR_SUCCESS);
  ASSERT_EQ(S().RegDeleteKeyA(root_, "doomed"), ERROR_SUCCESS);
  char name[256];
  DWORD length = sizeof name;
  EXPECT_EQ(S().RegEnumKeyExA(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  length = sizeof name;
  EXPECT_EQ(S().RegEnumValueA(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(h, "v", 2), ERROR_KEY_DELETED);
  EXPECT_EQ(Query(h, "v", nullptr, nullptr), ERROR_KEY_DELETED);
  // A key of the same name made later is another key: the old handle stays dead.
  MakeKey("doomed");
  EXPECT_EQ(SetDword(h, "v", 3), ERROR_KEY_DELETED);
  EXPECT_EQ(S().RegCloseKey(h), ERROR_SUCCESS);
}

TEST_P(StoreConformance, NamesThePlatformRefusesChangeNothing) {
  if (SkipOnWine("Windows refuses a key name component of 256 characters (87); Wine accepts it"))
    return;
  HKEY h = 0;
  EXPECT_EQ(Create(root_, std::string(256, 'k'), &h), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Create(root_, "ok\\" + std::string(256, 'k'), &h), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(SubkeyNames(root_).empty());
}

TEST_P(StoreConformance, AKeyMoreThan512LevelsBelowItsHiveIsRefusedWhole) {
  if (SkipOnWine("Windows refuses a key more than 512 levels deep; Wine creates it")) return;
  // The scratch key lies 2 levels below the hive.
  std::string path = "a";
  for (int level = 4; level <= 512; ++level) path += "\\a";
  HKEY h = 0;
  EXPECT_EQ(Create(root_, path + "\\a", &h), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(SubkeyNames(root_).empty());
  h = MustCreate(path);
  HKEY below = 0;
  EXPECT_EQ(Create(h, "b", &below), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(SubkeyNames(h).empty());
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, EmbeddedNulsAndOverlongValueNamesAreRefused) {
  HKEY h = 0;
  EXPECT_EQ(Create(root_, std::string("a\0b", 3), &h), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Open(root_, std::string("a\0b", 3), &h), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(SubkeyNames(root_).empty());
  h = MustCreate("v");
  EXPECT_EQ(SetDword(h, std::string("x\0y", 3), 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetDword(h, std::string(16384, 'n'), 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetDword(h, std::string(16383, 'n'), 1), ERROR_SUCCESS);
  EXPECT_EQ(S().RegDeleteValueA(h, std::string(16383, 'n')), ERROR_SUCCESS);
  EXPECT_TRUE(ValueNames(h).empty());
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, AHandleCarriesOnlyTheRightsAskedFor) {
  HKEY h = MustCreate("rights");
  ASSERT_EQ(SetDword(h, "v", 1), ERROR_SUCCESS);
  S().RegCloseKey(h);
  ASSERT_EQ(Open(root_, "rights", &h, KEY_QUERY_VALUE), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(h, "v", 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(S().RegDeleteValueA(h, "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Query(h, "v", nullptr, nullptr), ERROR_SUCCESS);
  S().RegCloseKey(h);
  ASSERT_EQ(Open(root_, "rights", &h, 0), ERROR_SUCCESS);
  EXPECT_EQ(Query(h, "v", nullptr, nullptr), ERROR_ACCESS_DENIED);
  S().RegCloseKey(h);
  ASSERT_EQ(S().RegOpenKeyA(root_, "rights", &h), ERROR_SUCCESS);  // default access: everything needed
  EXPECT_EQ(Query(h, "v", nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(S().RegDeleteValueA(h, "v"), ERROR_SUCCESS);
  S().RegCloseKey(h);
}

TEST_P(StoreConformance, TheClassGivenAtCreationIsKept) {
  HKEY h = 0;
  ASSERT_EQ(Create(root_, "classy", &h, nullptr, "REG_DWORD"), ERROR_SUCCESS);
  S().RegCloseKey(h);
  char name[256], cls[256];
  DWORD length = sizeof name, classLength = sizeof cls;
  ASSERT_EQ(S().RegEnumKeyExA(root_, 0, name, &length, nullptr, cls, &classLength, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(cls, classLength), "REG_DWORD");
}

TEST_P(StoreConformance, CreatingAnExistingKeyKeepsItsClass) {
  if (SkipOnWine("Windows ignores the class given when the key exists already; Wine gives the key that class"))
    return;
  MakeKey("plain");
  HKEY h = 0;
  DWORD disposition = 0;
  ASSERT_EQ(Create(root_, "plain", &h, &disposition, "REG_DWORD"), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  S().RegCloseKey(h);
  char name[256], cls[256];
  DWORD length = sizeof name, classLength = sizeof cls;
  ASSERT_EQ(S().RegEnumKeyExA(root_, 0, name, &length, nullptr, cls, &classLength, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(cls, classLength), "");
}

TEST_P(StoreConformance, GuidsAreFreshVersion4InBraceForm) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    GUID g;
    ASSERT_EQ(S().CoCreateGuid(&g), ERROR_SUCCESS);
    EXPECT_EQ(g.Data3 >> 12, 4) << "version";
    EXPECT_EQ(g.Data4[0] >> 6, 2) << "variant";
    char16_t text[260];
    ASSERT_EQ(S().StringFromGUID2(g, text, 260), 39);
    std::string narrow;
    for (int k = 0; k < 38; ++k) narrow += static_cast<char>(text[k]);
    EXPECT_EQ(text[38], u'\0');
    EXPECT_EQ(narrow.front(), '{');
    EXPECT_EQ(narrow.back(), '}');
    for (int dash : {9, 14, 19, 24}) EXPECT_EQ(narrow[static_cast<std::size_t>(dash)], '-');
    EXPECT_EQ(narrow.find_first_not_of("{}-0123456789ABCDEF"), std::string::npos) << narrow;
    seen.insert(narrow);
    EXPECT_EQ(S().StringFromGUID2(g, text, 38), 0);
  }
  EXPECT_EQ(seen.size(), 50u);
}

TEST_P(StoreConformance, ATransactionLandsWholeOrNotAtAll) {
  if (!S().SupportsRollback()) {
    // The platform's registry: transactions nest and succeed, and every write
    // lands at once.
    ASSERT_EQ(S().BeginTransaction(), ERROR_SUCCESS);
    ASSERT_EQ(S().BeginTransaction(), ERROR_SUCCESS);
    MakeKey("txn");
    EXPECT_TRUE(Exists("txn"));
    EXPECT_EQ(S().CommitTransaction(), ERROR_SUCCESS);
    EXPECT_EQ(S().CommitTransaction(), ERROR_SUCCESS);
    EXPECT_TRUE(Exists("txn"));
    return;
  }
  ASSERT_EQ(S().BeginTransaction(), ERROR_SUCCESS);
  HKEY h = MustCreate("txn");
  ASSERT_EQ(SetDword(h, "v", 1), ERROR_SUCCESS);
  S().RegCloseKey(h);
  S().RollbackTransaction();
  EXPECT_FALSE(Exists("txn"));

  ASSERT_EQ(S().BeginTransaction(), ERROR_SUCCESS);
  ASSERT_EQ(S().BeginTransaction(), ERROR_SUCCESS);  // nested: only the outer one commits
  h = MustCreate("txn");
  ASSERT_EQ(SetDword(h, "v", 1), ERROR_SUCCESS);
  S().RegCloseKey(h);
  EXPECT_EQ(S().CommitTransaction(), ERROR_SUCCESS);
  EXPECT_EQ(S().CommitTransaction(), ERROR_SUCCESS);
  EXPECT_TRUE(Exists("txn"));
}

INSTANTIATE_TEST_SUITE_P(AllStores, StoreConformance, testing::ValuesIn(AllStoreKinds()), StoreKindName);

}  // namespace
}  // namespace pw::test
