// The three profiles: what they write and how they read back.
#include <gtest/gtest.h>

#include <map>

#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/Enumeration.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"

#if defined(PW_HAVE_SQLITE)
#include "TempDir.h"
#include "registry/SqliteStore.h"
#endif

namespace pw::test {
namespace {

// name -> (type, bytes) of every value in the zone key, and their order.
std::vector<std::pair<std::string, std::pair<DWORD, std::string>>> ZoneValues(RegistryStore& store) {
  std::vector<std::pair<std::string, std::pair<DWORD, std::string>>> values;
  HKEY h = 0;
  store.RegOpenKeyA(HKEY_CURRENT_USER, kZonePath, &h);
  ForEachValue(store, h, [&](const EnumeratedValue& v) {
    values.push_back({v.name, {v.type, v.data}});
    return true;
  });
  store.RegCloseKey(h);
  return values;
}

std::string Le(std::uint32_t n) {
  return std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
}

TEST(ZoneProfiles, EachProfileReadsBackAsItsState) {
  MemoryStore store;
  LayOutNewStore(store);
  Registry registry(store);
  for (ZoneProfile p : {ZoneProfile::Prompting, ZoneProfile::LockedDown, ZoneProfile::Default}) {
    WriteZoneProfile(registry, p);
    EXPECT_EQ(DetectZoneSecurity(registry), ExpectedState(p));
  }
}

TEST(ZoneProfiles, TheDefaultProfileWritesTheTableInOrder) {
  MemoryStore store;
  LayOutNewStore(store);  // lays the default profile out
  auto values = ZoneValues(store);
  ASSERT_EQ(values.size(), 28u);
  const char* order[] = {"1001", "1004", "1200", "1201", "1206", "1400", "1402", "1405", "1406", "1407",
                         "1604", "1605", "1606", "1607", "1608", "1609", "1800", "1802", "1803", "1804",
                         "1805", "1806", "2001", "2004", "1A00", "1C00", "1E05", "CurrentLevel"};
  for (std::size_t i = 0; i < 28; ++i) EXPECT_EQ(values[i].first, order[i]);
  std::map<std::string, std::pair<DWORD, std::string>> byName(values.begin(), values.end());
  EXPECT_EQ(byName["1A00"], std::make_pair(REG_DWORD, Le(31072)));
  EXPECT_EQ(byName["1C00"], std::make_pair(REG_BINARY, std::string("\0\0\x01\0", 4)));
  EXPECT_EQ(byName["1E05"], std::make_pair(REG_DWORD, Le(65536)));
  EXPECT_EQ(byName["CurrentLevel"], std::make_pair(REG_DWORD, Le(9)));
  EXPECT_EQ(byName["1200"], std::make_pair(REG_DWORD, Le(0)));
  EXPECT_EQ(byName["1004"], std::make_pair(REG_DWORD, Le(3)));
}

// The table of the three profiles, row by row: name, then the prompting,
// locked-down and default data. "1C00" is REG_BINARY, written as bytes below.
struct TableRow {
  const char* name;
  std::uint32_t prompting, lockedDown, defaults;
};
constexpr TableRow kTable[] = {
    {"1001", 1, 3, 1}, {"1004", 1, 3, 3}, {"1200", 1, 3, 0}, {"1201", 1, 3, 3}, {"1206", 1, 3, 1},
    {"1400", 1, 3, 0}, {"1402", 1, 3, 0}, {"1405", 1, 3, 0}, {"1406", 1, 3, 3}, {"1407", 1, 3, 0},
    {"1604", 1, 1, 0}, {"1605", 1, 3, 0}, {"1606", 0, 0, 0}, {"1607", 0, 0, 0}, {"1608", 0, 0, 0},
    {"1609", 1, 3, 1}, {"1800", 1, 3, 1}, {"1802", 1, 3, 0}, {"1803", 0, 0, 0}, {"1804", 1, 3, 1},
    {"1805", 1, 3, 1}, {"1806", 1, 3, 1}, {"2001", 1, 3, 0}, {"2004", 1, 3, 0}, {"1A00", 0, 0, 31072},
    {"1C00", 0, 0, 0x00010000}, {"1E05", 65536, 65536, 65536}, {"CurrentLevel", 9, 9, 9},
};

TEST(ZoneProfiles, EveryProfileWritesEveryRowOfTheTableInOrder) {
  for (ZoneProfile profile : {ZoneProfile::Prompting, ZoneProfile::LockedDown, ZoneProfile::Default}) {
    MemoryStore store;
    LayOutNewStore(store);
    HKEY zone = 0;
    ASSERT_EQ(store.RegOpenKeyA(HKEY_CURRENT_USER, kZonePath, &zone), ERROR_SUCCESS);
    for (const TableRow& row : kTable) store.RegDeleteValueA(zone, row.name);  // written afresh, in order
    store.RegCloseKey(zone);
    Registry registry(store);
    ASSERT_EQ(WriteZoneProfile(registry, profile), ERROR_SUCCESS);
    auto values = ZoneValues(store);
    ASSERT_EQ(values.size(), std::size(kTable));
    for (std::size_t i = 0; i < std::size(kTable); ++i) {
      const TableRow& row = kTable[i];
      std::uint32_t data = profile == ZoneProfile::Prompting    ? row.prompting
                           : profile == ZoneProfile::LockedDown ? row.lockedDown
                                                                : row.defaults;
      bool binary = std::string_view(row.name) == "1C00";
      EXPECT_EQ(values[i].first, row.name);
      EXPECT_EQ(values[i].second, std::make_pair(binary ? REG_BINARY : REG_DWORD, Le(data))) << row.name;
    }
  }
}

TEST(ZoneProfiles, TheLockedDownAndPromptingProfilesDifferWhereTheTableSays) {
  MemoryStore store;
  LayOutNewStore(store);
  Registry registry(store);
  WriteZoneProfile(registry, ZoneProfile::LockedDown);
  std::map<std::string, std::pair<DWORD, std::string>> locked;
  for (auto& [name, value] : ZoneValues(store)) locked[name] = value;
  EXPECT_EQ(locked["1604"].second, Le(1));  // prompts even when locked down
  for (const char* zero : {"1606", "1607", "1608", "1803", "1A00"}) EXPECT_EQ(locked[zero].second, Le(0)) << zero;
  EXPECT_EQ(locked["1C00"], std::make_pair(REG_BINARY, std::string(4, '\0')));
  EXPECT_EQ(locked["1001"].second, Le(3));

  WriteZoneProfile(registry, ZoneProfile::Prompting);
  std::map<std::string, std::pair<DWORD, std::string>> prompting;
  for (auto& [name, value] : ZoneValues(store)) prompting[name] = value;
  EXPECT_EQ(prompting["1001"].second, Le(1));
  EXPECT_EQ(prompting["1E05"].second, Le(65536));
  EXPECT_EQ(prompting["1C00"].second, std::string(4, '\0'));
}

TEST(ZoneProfiles, WritingWithoutTheZoneKeyCreatesNothing) {
  MemoryStore store;
  Registry registry(store);
  WriteZoneProfile(registry, ZoneProfile::LockedDown);
  EXPECT_FALSE(registry.RegKeyExists(HKEY_CURRENT_USER, kZonePath));
  EXPECT_FALSE(registry.RegKeyExists(HKEY_CURRENT_USER, "Software"));
}

// A failed write undoes the profile where the store can undo; on the
// platform's registry, which cannot, it does not stop the rest.
TEST(ZoneProfiles, AFailedWriteUndoesTheProfileOrWhereNothingCanBeUndoneLeavesTheRestWritten) {
  for (bool canUndo : {true, false}) {
    MemoryStore memory;
    LayOutNewStore(memory);
    struct Refusing1200 : ForwardingStore {
      Refusing1200(RegistryStore& target, bool undo) : ForwardingStore(target), undo_(undo) {}
      LONG RegSetValueExA(HKEY k, RegName n, DWORD r, DWORD t, const BYTE* d, DWORD c) override {
        if (n.View() == "1200") return ERROR_ACCESS_DENIED;
        return ForwardingStore::RegSetValueExA(k, n, r, t, d, c);
      }
      // Without undo, as on the platform's registry: every write lands at once.
      bool SupportsRollback() const override { return undo_; }
      LONG BeginTransaction() override { return undo_ ? ForwardingStore::BeginTransaction() : ERROR_SUCCESS; }
      LONG CommitTransaction() override { return undo_ ? ForwardingStore::CommitTransaction() : ERROR_SUCCESS; }
      void RollbackTransaction() override {
        if (undo_) ForwardingStore::RollbackTransaction();
      }
      bool undo_;
    } refusing(memory, canUndo);
    Registry registry(refusing);
    EXPECT_EQ(WriteZoneProfile(registry, ZoneProfile::LockedDown), ERROR_ACCESS_DENIED);
    std::map<std::string, std::pair<DWORD, std::string>> values;
    for (auto& [name, value] : ZoneValues(memory)) values[name] = value;
    EXPECT_EQ(values["1200"].second, Le(0)) << canUndo;  // still the default
    EXPECT_EQ(values["2004"].second, Le(canUndo ? 0 : 3)) << canUndo;
    EXPECT_EQ(values["1001"].second, Le(canUndo ? 1 : 3)) << canUndo;
  }
}

#if defined(PW_HAVE_SQLITE)
TEST(ZoneProfiles, AnotherProcessNeverReadsHalfAProfile) {
  TempDir dir;
  std::string path = dir.File("store.db");
  SqliteStore::OpenResult opened = SqliteStore::Open(path, LayOutNewStore);
  ASSERT_TRUE(opened.store) << opened.error;
  auto before = ZoneValues(*opened.store);
  struct ReadHalfway : ForwardingStore {
    ReadHalfway(RegistryStore& target, std::string file) : ForwardingStore(target), file_(std::move(file)) {}
    LONG RegSetValueExA(HKEY k, RegName n, DWORD r, DWORD t, const BYTE* d, DWORD c) override {
      if (++writes == 14) seen = ZoneValues(*SqliteStore::Open(file_).store);
      return ForwardingStore::RegSetValueExA(k, n, r, t, d, c);
    }
    std::string file_;
    int writes = 0;
    std::vector<std::pair<std::string, std::pair<DWORD, std::string>>> seen;
  } reading(*opened.store, path);
  Registry registry(reading);
  EXPECT_EQ(WriteZoneProfile(registry, ZoneProfile::LockedDown), ERROR_SUCCESS);
  EXPECT_EQ(reading.seen, before);
  EXPECT_EQ(DetectZoneSecurity(registry), ZoneSecurityState::Secured);
}
#endif

TEST(NewStoreLayout, AFreshStoreHasTheKeysTheWritersExpectAndReadsUnsecured) {
  MemoryStore store;
  LayOutNewStore(store);
  Registry registry(store);
  EXPECT_TRUE(registry.RegKeyExists(HKEY_CURRENT_USER, kDomainsPath));
  EXPECT_TRUE(registry.RegKeyExists(HKEY_LOCAL_MACHINE, kExtensionsPath));
  EXPECT_EQ(DetectZoneSecurity(registry), ZoneSecurityState::Unsecured);
}

}  // namespace
}  // namespace pw::test
