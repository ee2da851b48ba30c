// Exporting the store as a registry file: which keys, in which order, with
// values as the store keeps them, and the byte-identical round trip through a
// new store.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "RegFileTestUtil.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "regfile/RegFileExport.h"
#include "regfile/RegFileImport.h"
#include "regfile/RegFileReader.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"
#include "registry/Registry.h"

namespace pw::test {
namespace {

const std::string kIs = kInternetSettingsPath;
const std::string kDomains = kDomainsPath;

HKEY Create(RegistryStore& store, HKEY hive, const std::string& path) {
  HKEY key = 0;
  EXPECT_EQ(store.RegCreateKeyExA(hive, path, 0, nullptr, 0, kAccess3F, nullptr, &key, nullptr), ERROR_SUCCESS);
  return key;
}

void Set(RegistryStore& store, HKEY hive, const std::string& path, const std::string& name, DWORD type,
         const std::string& data) {
  HKEY key = Create(store, hive, path);
  EXPECT_EQ(store.RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
  store.RegCloseKey(key);
}

// The export read back, to look at keys and values rather than bytes.
RegFile Exported(RegistryStore& store, const std::vector<KeyName>& roots) {
  ExportResult result = ExportRegFile(store, roots, RegFileFormat::Version5);
  EXPECT_TRUE(result.ok) << result.error;
  RegFile file;
  RegFileError error;
  EXPECT_TRUE(ReadRegFile(result.bytes, "export.reg", file, error)) << error.Message();
  return file;
}

std::vector<std::string> KeyPaths(const RegFile& file) {
  std::vector<std::string> paths;
  for (const RegFileKey& key : file.keys) paths.push_back(FullKeyName(key.hive, key.path));
  return paths;
}

// A store as the program leaves it after some use, with every kind of value.
void FillLikeUse(RegistryStore& store) {
  LayOutNewStore(store);
  Registry registry(store);
  WriteZoneProfile(registry, ZoneProfile::LockedDown);
  for (const std::string domain : {"example.com", "b.example", "_under.org", "\xC3\xA9t\xC3\xA9.fr", "Zeta.net"}) {
    HKEY key = Create(store, HKEY_CURRENT_USER, kDomains + "\\" + domain);
    registry.WriteRegValue(key, "*", REG_DWORD, 4);
    store.RegCloseKey(key);
  }
  HKEY sub = Create(store, HKEY_CURRENT_USER, kDomains + "\\example.com\\mail");
  registry.WriteRegValue(sub, "https", REG_DWORD, 2);
  registry.WriteRegValue(sub, "http", REG_DWORD, 2);
  store.RegCloseKey(sub);
  // Our own writers store text without a NUL.
  HKEY extension = Create(store, HKEY_LOCAL_MACHINE, std::string(kExtensionsPath) + "\\{11111111-2222-3333-4444-555555555555}");
  registry.WriteRegEntry(extension, "ButtonText", REG_SZ, "Trust");
  registry.WriteRegEntry(extension, "Exec", REG_SZ, "C:\\Program Files\\Portwarden\\Portwarden.exe");
  store.RegCloseKey(extension);
  Set(store, HKEY_CURRENT_USER, kIs, "User Agent", REG_SZ, std::string("Mozilla/4.0 \"x\"") + '\0');
  Set(store, HKEY_CURRENT_USER, kIs, "ProxyOverride", REG_EXPAND_SZ, std::string("%HOME%;*.local") + '\0');
  Set(store, HKEY_CURRENT_USER, kIs, "Multi", REG_MULTI_SZ, std::string("a\0\xC3\xA9\0\0", 6));
  Set(store, HKEY_CURRENT_USER, kIs, "Q", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
  Set(store, HKEY_CURRENT_USER, kIs, "Short", REG_DWORD, "\x07");
  Set(store, HKEY_CURRENT_USER, kIs, "Blob", REG_BINARY, std::string(200, '\x11'));
  Set(store, HKEY_CURRENT_USER, kIs, "", REG_NONE, "");
  Set(store, HKEY_LOCAL_MACHINE, kIs + "\\Zones\\3", "1200", REG_DWORD, Dword(3));
  // Outside the exported keys.
  Set(store, HKEY_CURRENT_USER, "Software\\Other", "x", REG_DWORD, Dword(1));
}

class Export : public testing::TestWithParam<Kind> {
 protected:
  void SetUp() override { store_ = GetParam().make(dir_); }
  RegistryStore& S() { return *store_; }
  TempDir dir_;
  std::unique_ptr<RegistryStore> store_;
};

TEST_P(Export, KeysInEnumerationOrderValuesInCreationOrder) {
  std::string root = "Software\\Order";
  Set(S(), HKEY_CURRENT_USER, root + "\\b", "z", REG_DWORD, Dword(1));
  Set(S(), HKEY_CURRENT_USER, root + "\\b", "a", REG_DWORD, Dword(2));
  Set(S(), HKEY_CURRENT_USER, root + "\\b", "z", REG_DWORD, Dword(3));  // replaced in place
  Set(S(), HKEY_CURRENT_USER, root + "\\_u", "v", REG_DWORD, Dword(1));
  Set(S(), HKEY_CURRENT_USER, root + "\\A\\deep", "v", REG_DWORD, Dword(1));
  Set(S(), HKEY_CURRENT_USER, root + "\\c", "v", REG_DWORD, Dword(1));
  RegFile file = Exported(S(), {{HKEY_CURRENT_USER, root}});
  std::vector<std::string> want = {"HKEY_CURRENT_USER\\Software\\Order", "HKEY_CURRENT_USER\\Software\\Order\\A",
                                   "HKEY_CURRENT_USER\\Software\\Order\\A\\deep", "HKEY_CURRENT_USER\\Software\\Order\\b",
                                   "HKEY_CURRENT_USER\\Software\\Order\\c", "HKEY_CURRENT_USER\\Software\\Order\\_u"};
  EXPECT_EQ(KeyPaths(file), want);
  ASSERT_EQ(file.keys[3].values.size(), 2u);
  EXPECT_EQ(file.keys[3].values[0].name, "z");
  EXPECT_EQ(file.keys[3].values[0].data, Dword(3));
  EXPECT_EQ(file.keys[3].values[1].name, "a");
}

TEST_P(Export, ByDefaultInternetSettingsOfBothHivesAndTheExtensions) {
  FillLikeUse(S());
  ExportResult result = ExportRegFile(S(), DefaultExportKeys(), RegFileFormat::Version5);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(result.missing.empty());
  RegFile file = Exported(S(), DefaultExportKeys());
  std::vector<std::string> paths = KeyPaths(file);
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.front(), "HKEY_CURRENT_USER\\" + kIs);
  EXPECT_NE(std::find(paths.begin(), paths.end(), "HKEY_LOCAL_MACHINE\\" + kIs + "\\Zones\\3"), paths.end());
  EXPECT_NE(std::find(paths.begin(), paths.end(),
                      "HKEY_LOCAL_MACHINE\\" + std::string(kExtensionsPath) + "\\{11111111-2222-3333-4444-555555555555}"),
            paths.end());
  for (const std::string& path : paths) EXPECT_EQ(path.find("Other"), std::string::npos) << path;
  EXPECT_EQ(result.keys, file.keys.size());
}

TEST_P(Export, MissingRootsAreListedAndSkipped) {
  Set(S(), HKEY_CURRENT_USER, kIs, "x", REG_DWORD, Dword(1));
  ExportResult result = ExportRegFile(S(), DefaultExportKeys(), RegFileFormat::Version5);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.missing.size(), 2u);
  EXPECT_EQ(result.keys, 1u);
}

TEST_P(Export, KeyNamesAreSpelledAsTheStoreSpellsThem) {
  Set(S(), HKEY_CURRENT_USER, "Software\\MixedCase\\Sub", "x", REG_DWORD, Dword(1));
  RegFile file = Exported(S(), {{HKEY_CURRENT_USER, "SOFTWARE\\mixedcase"}});
  std::vector<std::string> want = {"HKEY_CURRENT_USER\\Software\\MixedCase", "HKEY_CURRENT_USER\\Software\\MixedCase\\Sub"};
  EXPECT_EQ(KeyPaths(file), want);
}

TEST_P(Export, AStringWithoutItsNulLosesNoCharacter) {
  HKEY key = Create(S(), HKEY_CURRENT_USER, kIs);
  Registry(S()).WriteRegValue(key, "s", REG_SZ, "abc");
  S().RegCloseKey(key);
  RegFile file = Exported(S(), {{HKEY_CURRENT_USER, kIs}});
  ASSERT_EQ(file.keys.size(), 1u);
  EXPECT_EQ(file.keys[0].values[0].data, std::string("abc") + '\0');
}

TEST_P(Export, ThenImportIntoANewStoreThenExportGivesTheSameBytes) {
  FillLikeUse(S());
  for (RegFileFormat format : {RegFileFormat::Version5, RegFileFormat::Regedit4}) {
    ExportResult first = ExportRegFile(S(), DefaultExportKeys(), format);
    ASSERT_TRUE(first.ok) << first.error;
    TempDir other;
    std::unique_ptr<RegistryStore> fresh = GetParam().make(other);
    RegFile file;
    RegFileError error;
    ASSERT_TRUE(ReadRegFile(first.bytes, "first.reg", file, error)) << error.Message();
    ImportPlan plan = PlanImport(file, false);
    EXPECT_TRUE(plan.skipped.empty());
    ImportResult imported = ApplyImport(*fresh, file, plan);
    ASSERT_EQ(imported.error, "");
    ExportResult second = ExportRegFile(*fresh, DefaultExportKeys(), format);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(second.bytes, first.bytes);
    EXPECT_GT(first.bytes.size(), 2000u);
  }
}

TEST_P(Export, ABackupWithTheZoneMapDeletedFirstRestoresItExactly) {
  FillLikeUse(S());
  ExportResult backup = ExportRegFile(S(), DefaultExportKeys(), RegFileFormat::Regedit4);
  ASSERT_TRUE(backup.ok) << backup.error;
  Set(S(), HKEY_CURRENT_USER, kDomains + "\\added-later.com", "*", REG_DWORD, Dword(2));
  Set(S(), HKEY_CURRENT_USER, kDomains + "\\example.com", "*", REG_DWORD, Dword(2));
  std::string restore = backup.bytes;
  restore.insert(restore.find("\r\n") + 2, "[-HKEY_CURRENT_USER\\" + kDomains + "]\r\n");
  RegFile file;
  RegFileError error;
  ASSERT_TRUE(ReadRegFile(restore, "restore.reg", file, error)) << error.Message();
  ImportPlan plan = PlanImport(file, false);
  EXPECT_TRUE(plan.warnings.empty());
  ASSERT_EQ(ApplyImport(S(), file, plan).error, "");
  EXPECT_EQ(ExportRegFile(S(), DefaultExportKeys(), RegFileFormat::Regedit4).bytes, backup.bytes);
}

// A store whose value enumeration fails on one key.
class BrokenEnumStore : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved, DWORD* type,
                     BYTE* data, DWORD* dataLength) override {
    if (index == 1) return ERROR_REGISTRY_IO_FAILED;
    return ForwardingStore::RegEnumValueA(key, index, name, nameLength, reserved, type, data, dataLength);
  }
};

TEST_P(Export, AStoreFailureEndsTheExportNamingTheKey) {
  Set(S(), HKEY_CURRENT_USER, kIs + "\\Zones\\3", "1200", REG_DWORD, Dword(3));
  Set(S(), HKEY_CURRENT_USER, kIs + "\\Zones\\3", "1400", REG_DWORD, Dword(3));
  BrokenEnumStore broken(S());
  ExportResult result = ExportRegFile(broken, DefaultExportKeys(), RegFileFormat::Version5);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.bytes.empty());
  EXPECT_NE(result.error.find("Zones\\3"), std::string::npos) << result.error;
  EXPECT_NE(result.error.find("1016"), std::string::npos) << result.error;
}

#if defined(PW_HAVE_SQLITE)
// Another process writes to the store file while the export runs.
class InterferingStore : public ForwardingStore {
 public:
  InterferingStore(RegistryStore& target, std::function<void()> write)
      : ForwardingStore(target), write_(std::move(write)) {}
  LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* length, DWORD* reserved, char* cls,
                     DWORD* classLength, FILETIME* time) override {
    if (write_) std::exchange(write_, nullptr)();
    return ForwardingStore::RegEnumKeyExA(key, index, name, length, reserved, cls, classLength, time);
  }

 private:
  std::function<void()> write_;
};

TEST_P(Export, ANameNoFileCanCarryFailsTheExportOrWhenAskedIsLeftOutAlone) {
  FillLikeUse(S());
  Set(S(), HKEY_CURRENT_USER, kDomains + "\\line\rbreak.com\\www", "*", REG_DWORD, Dword(2));
  Set(S(), HKEY_CURRENT_USER, kIs, "two\nlines", REG_DWORD, Dword(2));
  ExportResult failed = ExportRegFile(S(), DefaultExportKeys(), RegFileFormat::Version5);
  EXPECT_FALSE(failed.ok);
  EXPECT_NE(failed.error.find("line break"), std::string::npos) << failed.error;

  ExportResult result = ExportRegFile(S(), DefaultExportKeys(), RegFileFormat::Version5, true);
  ASSERT_TRUE(result.ok) << result.error;
  ASSERT_EQ(result.skipped.size(), 2u);
  EXPECT_NE(result.skipped[0].find("two\nlines"), std::string::npos) << result.skipped[0];
  EXPECT_NE(result.skipped[1].find("line\rbreak.com"), std::string::npos) << result.skipped[1];
  RegFile file;
  RegFileError error;
  ASSERT_TRUE(ReadRegFile(result.bytes, "backup.reg", file, error)) << error.Message();
  MemoryStore restored;
  ASSERT_EQ(ApplyImport(restored, file, PlanImport(file, false)).error, "");
  EXPECT_EQ(ValueOf(restored, HKEY_CURRENT_USER, kDomains + "\\Zeta.net", "*"), Dword(4));
  EXPECT_EQ(ValueOf(restored, HKEY_CURRENT_USER, kDomains + "\\example.com\\mail", "http"), Dword(2));
  EXPECT_EQ(ValueOf(restored, HKEY_CURRENT_USER, kIs, "Blob"), std::string(200, '\x11'));
}

TEST(RegFileExportSnapshot, AWriteByAnotherProcessDuringTheExportIsNotHalfSeen) {
  TempDir dir;
  SqliteStore::OpenResult mine = SqliteStore::Open(dir.File("store.db"));
  SqliteStore::OpenResult theirs = SqliteStore::Open(dir.File("store.db"));
  ASSERT_TRUE(mine.store && theirs.store);
  Set(*mine.store, HKEY_CURRENT_USER, kIs, "first", REG_DWORD, Dword(1));
  Set(*mine.store, HKEY_CURRENT_USER, kDomains + "\\m.com", "*", REG_DWORD, Dword(4));
  ExportResult before = ExportRegFile(*mine.store, DefaultExportKeys(), RegFileFormat::Version5);
  ASSERT_TRUE(before.ok) << before.error;
  // Once the values of Internet Settings are read: a value there changes and a
  // domain is added, which the rest of the export would otherwise see.
  InterferingStore interfering(*mine.store, [&] {
    Set(*theirs.store, HKEY_CURRENT_USER, kIs, "first", REG_DWORD, Dword(2));
    Set(*theirs.store, HKEY_CURRENT_USER, kDomains + "\\a.com", "*", REG_DWORD, Dword(2));
  });
  ExportResult during = ExportRegFile(interfering, DefaultExportKeys(), RegFileFormat::Version5);
  ASSERT_TRUE(during.ok) << during.error;
  EXPECT_EQ(during.bytes, before.bytes);
  ExportResult after = ExportRegFile(*mine.store, DefaultExportKeys(), RegFileFormat::Version5);
  EXPECT_NE(after.bytes.find(std::string("a\0.\0c\0o\0m\0", 10)), std::string::npos);
}
#endif

INSTANTIATE_TEST_SUITE_P(RegFileExport, Export, testing::ValuesIn(Kinds()),
                         [](const testing::TestParamInfo<Kind>& info) { return info.param.name; });

}  // namespace
}  // namespace pw::test
