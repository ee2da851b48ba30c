// The registry layer over a store: the write path, key helpers, GUID text and
// the value reader.
#include <gtest/gtest.h>

#include <set>

#include "StoreKinds.h"
#include "FullDiskStore.h"
#include "registry/ForwardingStore.h"
#include "registry/KeyHandle.h"
#include "registry/MemoryStore.h"
#include "registry/Registry.h"

namespace pw::test {
namespace {

constexpr const char* kKey = "Software\\LayerTest";

class RegistryLayer : public testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override {
    store_ = GetParam().make();
    registry_ = std::make_unique<Registry>(*store_);
    store_->RegCloseKey(registry_->CreateRegKey(HKEY_CURRENT_USER, kKey));
  }
  void TearDown() override { store_->RegDeleteKeyA(HKEY_CURRENT_USER, kKey); }

  // The stored type and bytes, or nothing when the value is absent.
  std::optional<std::pair<DWORD, std::string>> Stored(const std::string& name, const std::string& path = kKey) {
    HKEY h = 0;
    if (store_->RegOpenKeyA(HKEY_CURRENT_USER, path, &h) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<std::pair<DWORD, std::string>> result;
    if (store_->RegQueryValueExA(h, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::string data(size, '\0');
      store_->RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
      result = std::make_pair(type, data.substr(0, size));
    }
    store_->RegCloseKey(h);
    return result;
  }
  void Put(const std::string& name, DWORD type, const std::string& bytes) {
    HKEY h = registry_->OpenRegKey(HKEY_CURRENT_USER, kKey);
    ASSERT_EQ(store_->RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    store_->RegCloseKey(h);
  }
  std::string Read(const std::string& name) { return registry_->GetRegValue(HKEY_CURRENT_USER, kKey, name); }

  std::unique_ptr<RegistryStore> store_;
  std::unique_ptr<Registry> registry_;
};

TEST_P(RegistryLayer, WriteRegValueStoresTextWithoutTerminatorAndDwordsAsFourBytes) {
  if (SkipOnWine(GetParam(), kWineAppendsTerminator)) return;
  HKEY h = registry_->OpenRegKey(HKEY_CURRENT_USER, kKey);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(registry_->WriteRegValue(h, "sz", REG_SZ, "abc"), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegValue(h, "empty", REG_SZ, ""), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegValue(h, "bin", REG_BINARY, std::string("\0\0\x01\0", 4)), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegValue(h, "dw", REG_DWORD, 65536), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegValue(h, "neg", REG_DWORD, -1), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegValue(h, "text number", REG_DWORD, "31072"), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegValue(h, "number text", REG_SZ, 42), ERROR_SUCCESS);
  store_->RegCloseKey(h);
  EXPECT_EQ(Stored("sz"), std::make_pair(REG_SZ, std::string("abc")));
  EXPECT_EQ(Stored("empty"), std::make_pair(REG_SZ, std::string()));
  EXPECT_EQ(Stored("bin"), std::make_pair(REG_BINARY, std::string("\0\0\x01\0", 4)));
  EXPECT_EQ(Stored("dw"), std::make_pair(REG_DWORD, std::string("\0\0\x01\0", 4)));
  EXPECT_EQ(Stored("neg"), std::make_pair(REG_DWORD, std::string("\xff\xff\xff\xff", 4)));
  EXPECT_EQ(Stored("text number"), std::make_pair(REG_DWORD, std::string("\x60\x79\0\0", 4)));
  EXPECT_EQ(Stored("number text"), std::make_pair(REG_SZ, std::string("42")));
}

TEST_P(RegistryLayer, WriteRegValueWritesNothingForOtherTypesOrForADwordThatIsNotANumber) {
  HKEY h = registry_->OpenRegKey(HKEY_CURRENT_USER, kKey);
  EXPECT_EQ(registry_->WriteRegValue(h, "expand", REG_EXPAND_SZ, "x"), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegValue(h, "multi", REG_MULTI_SZ, "x"), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegValue(h, "word", REG_DWORD, "three"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(registry_->WriteRegValue(h, "huge", REG_DWORD, "4294967296"), ERROR_INVALID_PARAMETER);
  store_->RegCloseKey(h);
  for (const char* name : {"expand", "multi", "word", "huge"}) EXPECT_FALSE(Stored(name)) << name;
}

TEST_P(RegistryLayer, SetRegValueWritesOnlyIntoAnExistingKeyNamedInAnySpelling) {
  registry_->SetRegValue(HKEY_CURRENT_USER, std::string(kKey) + "\\", "trailing", 2, REG_DWORD);
  registry_->SetRegValue(HKEY_CURRENT_USER, "SOFTWARE\\LAYERTEST", "capitals", 4, REG_DWORD);
  EXPECT_EQ(Stored("trailing"), std::make_pair(REG_DWORD, std::string("\x02\0\0\0", 4)));
  EXPECT_EQ(Stored("capitals"), std::make_pair(REG_DWORD, std::string("\x04\0\0\0", 4)));

  registry_->SetRegValue(HKEY_CURRENT_USER, std::string(kKey) + "\\missing", "v", 3, REG_DWORD);
  EXPECT_FALSE(registry_->RegKeyExists(HKEY_CURRENT_USER, std::string(kKey) + "\\missing"));
}

TEST_P(RegistryLayer, KeyHelpersCreateOpenAndTestWithoutLeavingKeysBehind) {
  std::string deep = std::string(kKey) + "\\a\\b";
  EXPECT_FALSE(registry_->RegKeyExists(HKEY_CURRENT_USER, deep));
  EXPECT_EQ(registry_->OpenRegKey(HKEY_CURRENT_USER, deep), 0u);
  EXPECT_FALSE(registry_->RegKeyExists(HKEY_CURRENT_USER, std::string(kKey) + "\\a"));
  HKEY created = registry_->CreateRegKey(HKEY_CURRENT_USER, deep);
  ASSERT_NE(created, 0u);
  store_->RegCloseKey(created);
  EXPECT_TRUE(registry_->RegKeyExists(HKEY_CURRENT_USER, deep));
  // The empty path names the hive itself, which always exists.
  EXPECT_TRUE(registry_->RegKeyExists(HKEY_LOCAL_MACHINE, ""));
  EXPECT_EQ(registry_->CreateRegKey(HKEY_CURRENT_USER, "\\bad"), 0u);
  store_->RegDeleteKeyA(HKEY_CURRENT_USER, deep);
  store_->RegDeleteKeyA(HKEY_CURRENT_USER, std::string(kKey) + "\\a");
}

TEST_P(RegistryLayer, WriteRegEntryWritesTextAndNothingForEmptyData) {
  if (SkipOnWine(GetParam(), kWineAppendsTerminator)) return;
  HKEY h = registry_->OpenRegKey(HKEY_CURRENT_USER, kKey);
  EXPECT_EQ(registry_->WriteRegEntry(h, "Exec", 1, "C:\\app\\x.exe"), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegEntry(h, "none", 1, ""), ERROR_SUCCESS);
  EXPECT_EQ(registry_->WriteRegEntry(h, "typed as text", "1", 12), ERROR_SUCCESS);
  EXPECT_NE(registry_->WriteRegEntry(0, "nokey", 1, "x"), ERROR_SUCCESS);
  store_->RegCloseKey(h);
  EXPECT_EQ(Stored("Exec"), std::make_pair(REG_SZ, std::string("C:\\app\\x.exe")));
  EXPECT_FALSE(Stored("none"));
  EXPECT_EQ(Stored("typed as text"), std::make_pair(REG_SZ, std::string("12")));
}

TEST_P(RegistryLayer, NewGuidStringGivesFreshBraceFormGuids) {
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    std::string guid = registry_->NewGuidString();
    ASSERT_EQ(guid.size(), 38u) << guid;
    EXPECT_EQ(guid.front(), '{');
    EXPECT_EQ(guid.back(), '}');
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 20u);
}

TEST_P(RegistryLayer, ReadRegValueReadsDwordsUnsignedFromTheirFirstFourBytes) {
  Put("32768", REG_DWORD, std::string("\x00\x80\x00\x00", 4));
  Put("max", REG_DWORD, std::string("\xff\xff\xff\xff", 4));
  Put("short", REG_DWORD, std::string("\x05\x01", 2));
  Put("long", REG_DWORD, std::string("\x03\0\0\0\x09\x09", 6));
  Put("none", REG_DWORD, "");
  EXPECT_EQ(Read("32768"), "32768");
  EXPECT_EQ(Read("max"), "4294967295");
  EXPECT_EQ(Read("short"), "261");
  EXPECT_EQ(Read("long"), "3");
  EXPECT_EQ(Read("none"), "0");
}

TEST_P(RegistryLayer, ReadRegValueReadsBinarySignedFromItsFirstTwoBytes) {
  Put("default 1C00", REG_BINARY, std::string("\0\0\x01\0", 4));
  Put("256", REG_BINARY, std::string("\0\x01\0\0", 4));
  Put("minus one", REG_BINARY, std::string("\xff\xff", 2));
  Put("one byte", REG_BINARY, std::string("\x07", 1));
  Put("empty", REG_BINARY, "");
  EXPECT_EQ(Read("default 1C00"), "0");
  EXPECT_EQ(Read("256"), "256");
  EXPECT_EQ(Read("minus one"), "-1");
  EXPECT_EQ(Read("one byte"), "7");
  EXPECT_EQ(Read("empty"), "0");
}

TEST_P(RegistryLayer, ReadRegValueReadsStringsUpToTheirFirstNul) {
  Put("terminated", REG_SZ, std::string("5\0more", 6));
  Put("unterminated", REG_SZ, "65536");
  Put("empty", REG_SZ, "");
  EXPECT_EQ(Read("terminated"), "5");
  EXPECT_EQ(Read("unterminated"), "65536");
  EXPECT_EQ(Read("empty"), "");
}

TEST_P(RegistryLayer, ReadRegValueGivesEmptyTextForWhatItCannotRead) {
  Put("qword", REG_QWORD, std::string(8, '\x01'));
  Put("expand", REG_EXPAND_SZ, "x");
  EXPECT_EQ(Read("qword"), "");
  EXPECT_EQ(Read("expand"), "");
  EXPECT_EQ(Read("absent"), "");
  EXPECT_EQ(registry_->ReadRegValue(0, "anything"), "");
  EXPECT_EQ(registry_->GetRegValue(HKEY_CURRENT_USER, "Software\\NoSuchKey", "x"), "");
}

INSTANTIATE_TEST_SUITE_P(AllStores, RegistryLayer, testing::ValuesIn(AllStoreKinds()), StoreKindName);

// GetRegValue closes its key in every case, also when the read fails.
TEST(RegistryLayerHandles, GetRegValueLeavesNoHandleOpen) {
  MemoryStore store;
  Registry registry(store);
  store.RegCloseKey(registry.CreateRegKey(HKEY_CURRENT_USER, kKey));
  registry.GetRegValue(HKEY_CURRENT_USER, kKey, "absent");
  registry.GetRegValue(HKEY_CURRENT_USER, "Software\\Missing", "absent");
  registry.SetRegValue(HKEY_CURRENT_USER, kKey, "v", 1, REG_DWORD);
  registry.SetRegValue(HKEY_CURRENT_USER, "Software\\Missing", "v", 1, REG_DWORD);
  registry.RegKeyExists(HKEY_CURRENT_USER, kKey);
  EXPECT_EQ(store.OpenHandleCount(), 0u);
}

// A platform that cannot make a GUID gives empty text, not a broken one.
TEST(RegistryLayerGuid, NewGuidStringIsEmptyWhenThePlatformFails) {
  MemoryStore memory;
  struct NoGuid : ForwardingStore {
    using ForwardingStore::ForwardingStore;
    LONG CoCreateGuid(GUID*) override { return ERROR_OUTOFMEMORY; }
  } noGuid(memory);
  EXPECT_EQ(Registry(noGuid).NewGuidString(), "");
  struct NoText : ForwardingStore {
    using ForwardingStore::ForwardingStore;
    int StringFromGUID2(const GUID&, char16_t*, int) override { return 0; }
  } noText(memory);
  EXPECT_EQ(Registry(noText).NewGuidString(), "");
}

// A held key is closed once, when its holder goes, and never a key the holder
// was given back by RegOpenKeyA of an empty path (the parent's own handle).
TEST(RegistryLayerHandles, AKeyHandleClosesWhatItOpenedAndNothingElse) {
  MemoryStore store;
  Registry registry(store);
  KeyHandle parent(store, registry.CreateRegKey(HKEY_CURRENT_USER, kKey));
  {
    KeyHandle same;
    ASSERT_EQ(same.OpenA(store, parent.get(), ""), ERROR_SUCCESS);
    EXPECT_EQ(same.get(), parent.get());
    KeyHandle moved;
    ASSERT_EQ(moved.Open(store, HKEY_CURRENT_USER, kKey, KEY_READ), ERROR_SUCCESS);
    KeyHandle holder = std::move(moved);
    EXPECT_EQ(store.OpenHandleCount(), 2u);
  }
  EXPECT_EQ(store.OpenHandleCount(), 1u);
  EXPECT_EQ(store.RegQueryValueExA(parent.get(), "absent", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

// Whoever watches a store over another hears of the other's failures too.
TEST(RegistryLayerHandles, AStoreOverAnotherReportsTheOthersFailures) {
  MemoryStore memory;
  FullDiskStore full(memory);
  ForwardingStore over(static_cast<RegistryStore&>(full));
  std::vector<StoreFailure> heard;
  over.SetErrorSink([&](const StoreFailure& failure) { heard.push_back(failure); });
  Registry(over).SetRegValue(HKEY_CURRENT_USER, "Software", "v", 1, REG_DWORD);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].status, 112);
}

}  // namespace
}  // namespace pw::test
