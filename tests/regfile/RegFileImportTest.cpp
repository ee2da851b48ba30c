// Importing registry files: what is written and what is skipped, deletions,
// the warning for the zone key, and an import that lands whole or not at all,
// also when the store fails or the process is killed midway.
#include <gtest/gtest.h>

#include <memory>
#include <new>

#include "KilledMidway.h"
#include "RegFileTestUtil.h"
#include "TempDir.h"
#include "regfile/RegFileImport.h"
#include "regfile/RegFileReader.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"

#if defined(PW_HAVE_SQLITE)
#include <sqlite3.h>

#include "regfile/RegFileExport.h"
#include "registry/SqliteStore.h"
#endif
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pw::test {
namespace {

const std::string kIs = kInternetSettingsPath;
const std::string kDomains = kDomainsPath;
const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

RegFile Parse(const std::string& text) {
  RegFile file;
  RegFileError error;
  EXPECT_TRUE(ReadRegFile(text, "import.reg", file, error)) << error.Message();
  return file;
}

std::string Key(HKEY hive, const std::string& path) { return "[" + FullKeyName(hive, path) + "]\r\n"; }

void MakeKey(RegistryStore& store, HKEY hive, const std::string& path) {
  HKEY key = 0;
  ASSERT_EQ(store.RegCreateKeyExA(hive, path, 0, nullptr, 0, kAccess3F, nullptr, &key, nullptr), ERROR_SUCCESS);
  store.RegCloseKey(key);
}

void SetDword(RegistryStore& store, HKEY hive, const std::string& path, const std::string& name, DWORD number) {
  HKEY key = 0;
  ASSERT_EQ(store.RegCreateKeyExA(hive, path, 0, nullptr, 0, kAccess3F, nullptr, &key, nullptr), ERROR_SUCCESS);
  std::string data = Dword(number);
  ASSERT_EQ(store.RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(data.data()), 4),
            ERROR_SUCCESS);
  store.RegCloseKey(key);
}

class Import : public testing::TestWithParam<Kind> {
 protected:
  void SetUp() override { store_ = GetParam().make(dir_); }
  RegistryStore& S() { return *store_; }
  ImportResult Run(const RegFile& file, const ImportPlan& plan) { return ApplyImport(S(), file, plan); }
  ImportResult Run(const std::string& text, bool all = false) {
    RegFile file = Parse(text);
    return ApplyImport(S(), file, PlanImport(file, all));
  }

  TempDir dir_;
  std::unique_ptr<RegistryStore> store_;
};

TEST_P(Import, WritesManagedKeysAndSkipsEveryOtherKeyByName) {
  std::string text = kHeader + Key(HKEY_CURRENT_USER, kDomains + "\\example.com") + "\"*\"=dword:00000004\r\n" +
                     Key(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run") +
                     "\"evil\"=\"c:\\\\evil.exe\"\r\n" + Key(HKEY_LOCAL_MACHINE, kIs + "\\Zones\\3") +
                     "\"1200\"=dword:00000003\r\n" + Key(HKEY_LOCAL_MACHINE, std::string(kExtensionsPath) + "\\{X}") +
                     "\"ButtonText\"=\"Trust\"\r\n" + Key(HKEY_CURRENT_USER, std::string(kExtensionsPath) + "\\{Y}") +
                     "[-HKEY_CURRENT_USER\\Software\\Policies]\r\n" +
                     Key(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  RegFile file = Parse(text);
  ImportPlan plan = PlanImport(file, false);
  ASSERT_EQ(plan.skipped.size(), 3u) << "each skipped key is named once";
  EXPECT_EQ(plan.skipped[0].name, "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(plan.skipped[0].line, 5);
  EXPECT_EQ(plan.skipped[1].name, "HKEY_CURRENT_USER\\" + std::string(kExtensionsPath) + "\\{Y}");
  EXPECT_TRUE(plan.skipped[2].remove);
  EXPECT_NE(SkipMessage(plan.skipped[2]).find("the deletion of HKEY_CURRENT_USER\\Software\\Policies (line 12)"),
            std::string::npos)
      << SkipMessage(plan.skipped[2]);

  ImportResult result = Run(file, plan);
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.keysWritten, 3u);
  EXPECT_EQ(result.valuesSet, 3u);
  EXPECT_EQ(ValueOf(S(), HKEY_CURRENT_USER, kDomains + "\\example.com", "*"), Dword(4));
  EXPECT_EQ(ValueOf(S(), HKEY_LOCAL_MACHINE, kIs + "\\Zones\\3", "1200"), Dword(3));
  EXPECT_EQ(ValueOf(S(), HKEY_LOCAL_MACHINE, std::string(kExtensionsPath) + "\\{X}", "ButtonText"),
            std::string("Trust") + '\0');
  EXPECT_FALSE(KeyExists(S(), HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
  EXPECT_FALSE(KeyExists(S(), HKEY_CURRENT_USER, kExtensionsPath));
}

TEST_P(Import, AllImportsEveryKey) {
  MakeKey(S(), HKEY_CURRENT_USER, "Software\\Policies\\Old");
  ImportResult result = Run(kHeader + "[-HKEY_CURRENT_USER\\Software\\Policies]\r\n" +
                                Key(HKEY_CURRENT_USER, "Software\\Other") + "\"a\"=dword:00000001\r\n",
                            true);
  ASSERT_EQ(result.error, "");
  EXPECT_FALSE(KeyExists(S(), HKEY_CURRENT_USER, "Software\\Policies"));
  EXPECT_EQ(ValueOf(S(), HKEY_CURRENT_USER, "Software\\Other", "a"), Dword(1));
  EXPECT_EQ(result.keysDeleted, 1u);
}

TEST_P(Import, ManagedScopeComparesNamesWithoutRegardToCase) {
  EXPECT_TRUE(IsManagedKey(HKEY_CURRENT_USER, "SOFTWARE\\microsoft\\Windows\\CurrentVersion\\INTERNET SETTINGS\\x"));
  EXPECT_TRUE(IsManagedKey(HKEY_LOCAL_MACHINE, kIs));
  EXPECT_FALSE(IsManagedKey(HKEY_CURRENT_USER, kIs + " Extra"));
  EXPECT_FALSE(IsManagedKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion"));
  EXPECT_FALSE(IsManagedKey(HKEY_CURRENT_USER, ""));
}

TEST_P(Import, DeletesKeysWithEverythingBelowAndValues) {
  SetDword(S(), HKEY_CURRENT_USER, kDomains + "\\old.com\\www\\deep", "http", 2);
  SetDword(S(), HKEY_CURRENT_USER, kDomains + "\\old.com", "*", 4);
  SetDword(S(), HKEY_CURRENT_USER, kDomains + "\\kept.com", "*", 2);
  SetDword(S(), HKEY_CURRENT_USER, kDomains + "\\kept.com", "ftp", 2);
  ImportResult result = Run(kHeader + "[-HKEY_CURRENT_USER\\" + kDomains + "\\OLD.com]\r\n" +
                            "[-HKEY_CURRENT_USER\\" + kDomains + "\\never-there.com]\r\n" +
                            Key(HKEY_CURRENT_USER, kDomains + "\\kept.com") + "\"ftp\"=-\r\n\"missing\"=-\r\n");
  ASSERT_EQ(result.error, "");
  EXPECT_FALSE(KeyExists(S(), HKEY_CURRENT_USER, kDomains + "\\old.com"));
  EXPECT_EQ(ValueOf(S(), HKEY_CURRENT_USER, kDomains + "\\kept.com", "ftp"), "<missing>");
  EXPECT_EQ(ValueOf(S(), HKEY_CURRENT_USER, kDomains + "\\kept.com", "*"), Dword(2));
  EXPECT_EQ(result.keysDeleted, 1u);
  EXPECT_EQ(result.valuesDeleted, 1u);
}

TEST_P(Import, ReplacedValuesKeepTheirPlaceAndTypes) {
  SetDword(S(), HKEY_CURRENT_USER, kIs + "\\Zones\\3", "1200", 0);
  SetDword(S(), HKEY_CURRENT_USER, kIs + "\\Zones\\3", "1400", 0);
  ASSERT_EQ(Run(kHeader + Key(HKEY_CURRENT_USER, kIs + "\\Zones\\3") +
                "\"1400\"=dword:00000003\r\n\"1200\"=hex:03,00,00,00\r\n").error,
            "");
  DWORD type = 0;
  EXPECT_EQ(ValueOf(S(), HKEY_CURRENT_USER, kIs + "\\Zones\\3", "1200", &type), Dword(3));
  EXPECT_EQ(type, REG_BINARY);
  std::string dump = DumpStore(S());
  EXPECT_LT(dump.find("1200 type"), dump.find("1400 type"));
}

TEST_P(Import, WarnsWhenTheZoneKeyOrAKeyAboveItIsDeleted) {
  auto warnings = [](const std::string& text, bool all = false) {
    RegFile file = Parse(text);
    return PlanImport(file, all).warnings;
  };
  std::vector<std::string> zone = warnings(kHeader + "[-HKEY_CURRENT_USER\\" + kIs + "\\Zones\\3]\r\n");
  ASSERT_EQ(zone.size(), 1u);
  EXPECT_NE(zone[0].find("line 3 deletes the Internet zone key"), std::string::npos) << zone[0];
  std::vector<std::string> above = warnings(kHeader + "[-HKCU\\" + kIs + "\\ZONES]\r\n");
  ASSERT_EQ(above.size(), 1u);
  EXPECT_NE(above[0].find("and with it the Internet zone key HKEY_CURRENT_USER\\" + kIs + "\\Zones\\3"),
            std::string::npos)
      << above[0];
  EXPECT_EQ(warnings(kHeader + "[-HKEY_CURRENT_USER\\Software]\r\n", true).size(), 1u);
  // Skipped deletions, other zones, the other hive and a key made again warn not.
  EXPECT_TRUE(warnings(kHeader + "[-HKEY_CURRENT_USER\\Software]\r\n").empty());
  EXPECT_TRUE(warnings(kHeader + "[-HKEY_CURRENT_USER\\" + kIs + "\\Zones\\2]\r\n").empty());
  EXPECT_TRUE(warnings(kHeader + "[-HKEY_LOCAL_MACHINE\\" + kIs + "\\Zones\\3]\r\n").empty());
  EXPECT_TRUE(warnings(kHeader + "[-HKEY_CURRENT_USER\\" + kIs + "\\Zones]\r\n" +
                       Key(HKEY_CURRENT_USER, kIs + "\\Zones\\3") + "\"1200\"=dword:00000003\r\n")
                  .empty());
  EXPECT_EQ(warnings(kHeader + Key(HKEY_CURRENT_USER, kIs + "\\Zones\\3") + "[-HKEY_CURRENT_USER\\" + kIs + "]\r\n")
                .size(),
            1u);
}

// A store whose RegSetValueExA fails from the n-th call on.
class FailingStore : public ForwardingStore {
 public:
  FailingStore(RegistryStore& target, int failAt) : ForwardingStore(target), left_(failAt) {}
  LONG RegSetValueExA(HKEY key, RegName name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) override {
    if (--left_ <= 0) return ERROR_DISK_FULL;
    return ForwardingStore::RegSetValueExA(key, name, reserved, type, data, size);
  }

 private:
  int left_;
};

std::string ManyDomains(int count, int firstValue = 4) {
  std::string text = kHeader;
  for (int i = 0; i < count; ++i)
    text += Key(HKEY_CURRENT_USER, kDomains + "\\site" + std::to_string(i) + ".example") + "\"*\"=dword:0000000" +
            std::to_string(firstValue) + "\r\n";
  return text;
}

TEST_P(Import, AStoreFailureMidwayLeavesTheStoreAsItWas) {
  SetDword(S(), HKEY_CURRENT_USER, kDomains + "\\site3.example", "*", 2);
  SetDword(S(), HKEY_CURRENT_USER, kIs + "\\Zones\\3", "1200", 3);
  std::string before = DumpStore(S());
  FailingStore failing(S(), 50);
  RegFile file = Parse(ManyDomains(100));
  ImportResult result = ApplyImport(failing, file, PlanImport(file, false));
  EXPECT_EQ(result.status, ERROR_DISK_FULL);
  EXPECT_NE(result.error.find("site49.example"), std::string::npos) << result.error;
  EXPECT_NE(result.error.find("line 102"), std::string::npos) << result.error;
  EXPECT_NE(result.error.find("nothing was imported"), std::string::npos) << result.error;
  EXPECT_EQ(result.valuesSet, 0u);
  EXPECT_EQ(DumpStore(S()), before);
  // The store works on after the rollback.
  ASSERT_EQ(Run(ManyDomains(3)).error, "");
  EXPECT_EQ(ValueOf(S(), HKEY_CURRENT_USER, kDomains + "\\site2.example", "*"), Dword(4));
}

// A store like the platform's registry: no transactions, nothing to undo.
class NoRollbackStore : public FailingStore {
 public:
  using FailingStore::FailingStore;
  LONG BeginTransaction() override { return ERROR_SUCCESS; }
  LONG CommitTransaction() override { return ERROR_SUCCESS; }
  void RollbackTransaction() override {}
  bool SupportsRollback() const override { return false; }
};

TEST_P(Import, AStoreThatCannotUndoSaysWhatWasWritten) {
  NoRollbackStore failing(S(), 3);
  RegFile file = Parse(ManyDomains(5));
  ImportResult result = ApplyImport(failing, file, PlanImport(file, false));
  EXPECT_NE(result.error.find("the keys before line 7 were written"), std::string::npos) << result.error;
  EXPECT_EQ(result.valuesSet, 2u);
  EXPECT_EQ(ValueOf(S(), HKEY_CURRENT_USER, kDomains + "\\site1.example", "*"), Dword(4));
}

TEST_P(Import, DescribePlanShowsWhatWouldBeWritten) {
  RegFile file = Parse(kHeader + Key(HKEY_CURRENT_USER, kDomains + "\\a.com") + "\"*\"=dword:00000002\r\n\"x\"=-\r\n" +
                       "[-HKEY_CURRENT_USER\\" + kDomains + "\\b.com]\r\n");
  std::vector<std::string> lines;
  Result described = DescribePlan(file, PlanImport(file, false), lines);
  ASSERT_TRUE(described.Ok()) << described.Message();
  std::vector<std::string> want = {"write HKEY_CURRENT_USER\\" + kDomains + "\\a.com", "  \"*\"=dword:00000002",
                                   "  \"x\"=-", "delete HKEY_CURRENT_USER\\" + kDomains + "\\b.com and everything below it"};
  EXPECT_EQ(lines, want);
}

INSTANTIATE_TEST_SUITE_P(RegFileImport, Import, testing::ValuesIn(Kinds()),
                         [](const testing::TestParamInfo<Kind>& info) { return info.param.name; });

#if defined(PW_HAVE_SQLITE) && !defined(_WIN32)

// Runs an import of `text` into the store at `path` in a child process that
// is killed with SIGKILL at the n-th value written (or, with 0, left to end).
// Returns how the child ended.
int ImportInChild(const std::string& path, const std::string& text, int killAt) {
  return RunInChildKilledAt(path, killAt, [&](RegistryStore& store) {
    RegFile file;
    RegFileError error;
    if (!ReadRegFile(text, "big.reg", file, error)) return 2;
    return ApplyImport(store, file, PlanImport(file, false)).error.empty() ? 0 : 1;
  });
}

TEST(RegFileImportKilled, AnImportKilledMidwayLeavesTheStoreAsItWas) {
  TempDir dir;
  std::string path = dir.File("store.db");
  std::string before;
  {
    SqliteStore::OpenResult opened = SqliteStore::Open(path);
    ASSERT_TRUE(opened.store) << opened.error;
    SetDword(*opened.store, HKEY_CURRENT_USER, kDomains + "\\site10.example", "*", 2);
    SetDword(*opened.store, HKEY_CURRENT_USER, kIs + "\\Zones\\3", "1200", 3);
    before = DumpStore(*opened.store);
  }  // closed before the fork: a connection must not cross it
  std::string big = ManyDomains(5000);

  int status = ImportInChild(path, big, 2500);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
  {
    SqliteStore::OpenResult opened = SqliteStore::Open(path);
    ASSERT_TRUE(opened.store) << opened.error;
    EXPECT_EQ(DumpStore(*opened.store), before);
  }

  // The same import left to finish lands whole.
  status = ImportInChild(path, big, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  SqliteStore::OpenResult opened = SqliteStore::Open(path);
  ASSERT_TRUE(opened.store) << opened.error;
  EXPECT_EQ(ValueOf(*opened.store, HKEY_CURRENT_USER, kDomains + "\\site10.example", "*"), Dword(4));
  EXPECT_EQ(ValueOf(*opened.store, HKEY_CURRENT_USER, kDomains + "\\site4999.example", "*"), Dword(4));
}

TEST(RegFileImportThrown, AnImportThatThrowsLeavesTheStoreAndTheNextWriteReachesOthers) {
  TempDir dir;
  std::string path = dir.File("store.db");
  SqliteStore::OpenResult opened = SqliteStore::Open(path);
  ASSERT_TRUE(opened.store) << opened.error;
  SetDword(*opened.store, HKEY_CURRENT_USER, kDomains + "\\site3.example", "*", 2);
  std::string before = DumpStore(*opened.store);
  struct ThrowingStore : ForwardingStore {
    using ForwardingStore::ForwardingStore;
    LONG RegSetValueExA(HKEY k, RegName n, DWORD r, DWORD t, const BYTE* d, DWORD c) override {
      if (++writes == 20) throw std::bad_alloc();
      return ForwardingStore::RegSetValueExA(k, n, r, t, d, c);
    }
    int writes = 0;
  } throwing(*opened.store);
  RegFile file = Parse(ManyDomains(40));
  EXPECT_THROW(ApplyImport(throwing, file, PlanImport(file, false)), std::bad_alloc);
  EXPECT_EQ(DumpStore(*opened.store), before);
  SetDword(*opened.store, HKEY_CURRENT_USER, kDomains + "\\after.example", "*", 4);
  SqliteStore::OpenResult other = SqliteStore::Open(path);
  ASSERT_TRUE(other.store) << other.error;
  EXPECT_EQ(ValueOf(*other.store, HKEY_CURRENT_USER, kDomains + "\\after.example", "*"), Dword(4));
  EXPECT_EQ(ValueOf(*other.store, HKEY_CURRENT_USER, kDomains + "\\site10.example", "*"), "<missing>");
}

TEST(RegFileImportDeepKeys, AStoreAlreadyHoldingAChainOfKeysTooDeepStillOpensExportsAndIsRepaired) {
  TempDir dir;
  std::string path = dir.File("store.db");
  {
    SqliteStore::OpenResult opened = SqliteStore::Open(path);
    ASSERT_TRUE(opened.store) << opened.error;
    MakeKey(*opened.store, HKEY_CURRENT_USER, kIs);
  }
  // Written behind the store's back, as an older version let an import write it.
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw,
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000),"
                         " top(id, under) AS (SELECT max(id), (SELECT id FROM keys WHERE fold = CAST('INTERNET SETTINGS' AS BLOB))"
                         " FROM keys)"
                         " INSERT INTO keys(id, parent, name, fold, class)"
                         " SELECT top.id + i, CASE i WHEN 1 THEN under ELSE top.id + i - 1 END, CAST('d' AS BLOB), CAST('D' AS BLOB), x''"
                         " FROM n, top",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(raw);

  SqliteStore::OpenResult opened = SqliteStore::Open(path);
  ASSERT_TRUE(opened.store) << opened.error;
  ExportResult exported = ExportRegFile(*opened.store, DefaultExportKeys(), RegFileFormat::Version5);
  EXPECT_FALSE(exported.ok);
  EXPECT_NE(exported.error.find("more than 512 levels"), std::string::npos) << exported.error.substr(0, 200);
  exported = ExportRegFile(*opened.store, DefaultExportKeys(), RegFileFormat::Version5, true);
  EXPECT_TRUE(exported.ok);
  EXPECT_EQ(exported.skipped.size(), 1u);

  RegFile repair = Parse(kHeader + "[-" + FullKeyName(HKEY_CURRENT_USER, kIs + "\\d") + "]\r\n");
  ImportResult result = ApplyImport(*opened.store, repair, PlanImport(repair, false));
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.keysDeleted, 1u);
  opened.store.reset();
  opened = SqliteStore::Open(path);
  ASSERT_TRUE(opened.store) << opened.error;
  EXPECT_TRUE(ExportRegFile(*opened.store, DefaultExportKeys(), RegFileFormat::Version5).ok);
}

#endif

}  // namespace
}  // namespace pw::test
