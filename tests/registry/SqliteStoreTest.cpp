// The SQLite store's own behaviour beyond the shared store semantics: which
// files it accepts, how a new store comes to be, what a failing medium does,
// transactions, and when its in-memory mirror reloads.
#include <grp.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <filesystem>
#include <thread>
#include <vector>

#include "SqliteTestKit.h"
#include "TempDir.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneSecurity.h"
#include "registry/KeyTree.h"
#include "registry/KnownKeys.h"
#include "registry/Registry.h"

namespace pw::test {
namespace {

constexpr const char* kScratch = "Software\\SqliteStoreTest";

// A raw connection to the file, beside the store's own: another program or
// another instance of ours.
class RawConnection {
 public:
  explicit RawConnection(const std::string& path) {
    EXPECT_EQ(
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
        SQLITE_OK);
  }
  ~RawConnection() { sqlite3_close(db_); }
  // Closing leaves what was written in the log beside the file, as a process
  // that ended before folding it in does.
  void KeepLogOnClose() { sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr); }
  int Exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  }
  long long Number(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    long long n = -1;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
      n = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return n;
  }

 private:
  sqlite3* db_ = nullptr;
};

// Records what reaches a store's error sink.
struct SinkLog {
  void Attach(RegistryStore& store) {
    store.SetErrorSink([this](const StoreFailure& failure) { failures.push_back(failure); });
  }
  std::vector<StoreFailure> failures;
};

class SqliteStoreTest : public testing::Test {
 protected:
  // A laid-out store with a scratch key holding a value and a subkey.
  std::unique_ptr<SqliteStore> MakeStore() {
    auto store = MustOpen(path_, LayOutNewStore);
    if (!store) return store;
    HKEY h = MustCreateKey(*store, HKEY_CURRENT_USER, kScratch);
    EXPECT_EQ(SetDword(*store, h, "kept", 7), ERROR_SUCCESS);
    store->RegCloseKey(MustCreateKey(*store, h, "leaf"));
    store->RegCloseKey(h);
    return store;
  }

  // Opens the store with `log` on its sink, and its scratch key as `scratch`.
  std::unique_ptr<SqliteStore> OpenScratch(SinkLog& log, HKEY& scratch) {
    auto store = MustOpen(path_);
    if (!store) return store;
    log.Attach(*store);
    EXPECT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &scratch), ERROR_SUCCESS);
    return store;
  }

  TempDir dir_;
  std::string path_ = dir_.File("registry.db");
};

// --- A new store -----------------------------------------------------------

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

TEST_F(SqliteStoreTest, ANewStoreIsPrivateEvenUnderAPermissiveUmaskAndLaidOutAsAFreshProfile) {
  struct UmaskZero {
    mode_t old = ::umask(0);
    ~UmaskZero() { ::umask(old); }
  } umaskZero;
  SqliteStore::OpenResult result = SqliteStore::Open(path_, LayOutNewStore);
  ASSERT_TRUE(result.store) << result.error;
  EXPECT_TRUE(result.created);
  EXPECT_EQ(ModeOf(path_), 0600u);
  HKEY h = MustCreateKey(*result.store, HKEY_CURRENT_USER, kScratch);
  ASSERT_EQ(SetDword(*result.store, h, "v", 1), ERROR_SUCCESS);
  result.store->RegCloseKey(h);
  // The log and index files beside it while it is open are private too.
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
    EXPECT_EQ(ModeOf(entry.path().string()), 0600u) << entry.path();

  Registry registry(*result.store);
  EXPECT_EQ(DetectZoneSecurity(registry), ZoneSecurityState::Unsecured);
  EXPECT_TRUE(registry.RegKeyExists(HKEY_CURRENT_USER, kDomainsPath));
  EXPECT_TRUE(registry.RegKeyExists(HKEY_LOCAL_MACHINE, kExtensionsPath));
  std::string dump = DumpTree(*result.store);
  result.store.reset();
  EXPECT_EQ(FolderListing(dir_.Path()), "registry.db")
      << "nothing left beside the store once closed";

  SqliteStore::OpenResult again = SqliteStore::Open(path_, LayOutNewStore);
  ASSERT_TRUE(again.store) << again.error;
  EXPECT_FALSE(again.created);
  EXPECT_EQ(DumpTree(*again.store), dump) << "an existing store is not laid out again";
}

TEST_F(SqliteStoreTest, ALayoutThatFailsLeavesNoStoreBehind) {
  SqliteStore::OpenResult result = SqliteStore::Open(path_, [](RegistryStore& store) {
    LayOutNewStore(store);
    // The medium fills up halfway through the layout.
    static_cast<SqliteStore&>(store).SetMaxPageCount(1);
    HKEY h = 0;
    store.RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\More", 0, nullptr, 0, kAccess3F, nullptr,
                          &h, nullptr);
    std::string big(100000, 'x');
    store.RegSetValueExA(HKEY_CURRENT_USER, "big", 0, REG_BINARY,
                         reinterpret_cast<const BYTE*>(big.data()), static_cast<DWORD>(big.size()));
  });
  EXPECT_FALSE(result.store);
  EXPECT_NE(result.error.find(path_), std::string::npos) << result.error;
  EXPECT_EQ(FolderListing(dir_.Path()), "");
}

TEST_F(SqliteStoreTest, AStoreInAFolderThatDoesNotExistIsNotCreated) {
  std::string path = dir_.File("missing/registry.db");
  SqliteStore::OpenResult result = SqliteStore::Open(path, LayOutNewStore);
  EXPECT_FALSE(result.store);
  EXPECT_NE(result.error.find(path), std::string::npos) << result.error;
  EXPECT_EQ(FolderListing(dir_.Path()), "");
}

TEST_F(SqliteStoreTest, ALogLeftByARemovedStoreIsNotTakenIntoANewOne) {
  std::string log;
  {
    auto store = MakeStore();
    ASSERT_TRUE(store);
    HKEY h = MustCreateKey(*store, HKEY_CURRENT_USER, kScratch);
    for (DWORD i = 0; i < 200; ++i)
      ASSERT_EQ(SetText(*store, h, "old" + std::to_string(i), std::string(100 + i, 'o')),
                ERROR_SUCCESS);
    store->RegCloseKey(h);
    log = ReadFileBytes(path_ + "-wal");  // as a crash would leave it
    ASSERT_GT(log.size(), 1000u);
  }
  // The store was removed by hand, its log not.
  std::filesystem::remove(path_);
  WriteFileBytes(path_ + "-wal", log);

  SqliteStore::OpenResult result = SqliteStore::Open(path_, LayOutNewStore);
  EXPECT_FALSE(result.store);
  EXPECT_NE(result.error.find(path_ + "-wal"), std::string::npos) << result.error;
  EXPECT_TRUE(ReadFileBytes(path_ + "-wal") == log);
  EXPECT_EQ(FolderListing(dir_.Path()), "registry.db-wal");
}

TEST_F(SqliteStoreTest, AStoreTurnedOutOfWalModeIsPutBack) {
  MakeStore();
  ASSERT_EQ(RawConnection(path_).Exec("PRAGMA journal_mode=DELETE"), SQLITE_OK);
  auto store = MustOpen(path_);
  ASSERT_TRUE(store);
  std::string header = ReadFileBytes(path_).substr(18, 2);
  EXPECT_EQ(header, std::string("\2\2", 2)) << "the file's header says WAL";
}

// --- Files that are not a store of ours ------------------------------------

struct RefusedFile {
  const char* name;
  // Makes the thing at `path` (a store of ours can be made with MakeOurs).
  void (*make)(const std::string& path);
  const char* says;  // the reason the error gives
  const char* sql = nullptr;  // run on the file after it was made
};

void MakeOurs(const std::string& path) {
  auto store = MustOpen(path, LayOutNewStore);
  ASSERT_TRUE(store);
  // Enough keys for the file to span many pages.
  HKEY h = MustCreateKey(*store, HKEY_CURRENT_USER, kScratch);
  ASSERT_EQ(store->BeginTransaction(), ERROR_SUCCESS);
  for (int i = 0; i < 400; ++i)
    store->RegCloseKey(MustCreateKey(*store, h, "key" + std::to_string(i)));
  ASSERT_EQ(store->CommitTransaction(), ERROR_SUCCESS);
  store->RegCloseKey(h);
}

// Overwrites [from, to) of the file with a pattern SQLite cannot take for a page.
void Scribble(const std::string& path, std::size_t from, std::size_t to) {
  std::string bytes = ReadFileBytes(path);
  ASSERT_LT(from, bytes.size());
  to = std::min(to, bytes.size());
  for (std::size_t i = from; i < to; ++i) bytes[i] = static_cast<char>(0xA5 ^ (i & 0xFF));
  WriteFileBytes(path, bytes);
}

std::size_t PageSize(const std::string& path) {
  std::string bytes = ReadFileBytes(path);
  std::size_t size =
      static_cast<unsigned char>(bytes[16]) << 8 | static_cast<unsigned char>(bytes[17]);
  return size == 1 ? 65536 : size;
}

// Changes the folded name of the row named `name` in `table` without its index
// entry, by making the index seem to hold `other` in place of the folded name
// while the row changes.
void MisindexOneRow(const std::string& path, const std::string& table, const std::string& first,
                    const std::string& name) {
  MakeOurs(path);
  {
    auto store = MustOpen(path);
    HKEY h = MustCreateKey(*store, HKEY_CURRENT_USER, kScratch);
    ASSERT_EQ(SetDword(*store, h, "key7", 1), ERROR_SUCCESS);
    store->RegCloseKey(h);
  }
  std::string index = table + "_by_name";
  auto define = [&](const std::string& columns) {
    RawConnection(path).Exec("PRAGMA writable_schema=ON; UPDATE sqlite_schema SET sql = 'CREATE UNIQUE INDEX " +
                             index + " ON " + table + "(" + columns + ")' WHERE name = '" + index + "'");
  };
  define(first + ", name");
  RawConnection(path).Exec("UPDATE " + table + " SET fold = CAST('ELSEWHERE' AS BLOB) WHERE name = CAST('" + name +
                           "' AS BLOB)");
  define(first + ", fold");
  ASSERT_EQ(RawConnection(path).Number("SELECT count(*) FROM " + table + " NOT INDEXED WHERE fold = CAST('ELSEWHERE' AS BLOB)"),
            1);
}

const RefusedFile kRefusedFiles[] = {
    {"EmptyFile", [](const std::string& path) { WriteFileBytes(path, ""); }, "empty"},
    {"TextFile", [](const std::string& path) { WriteFileBytes(path, "[Settings]\nzone=3\n"); },
     "not an SQLite database"},
    {"ShortFileStartingLikeSqlite",
     [](const std::string& path) { WriteFileBytes(path, "SQLite format 3"); },
     "not an SQLite database"},
    {"AnotherProgramsDatabase",
     [](const std::string& path) {
       // Even with tables named like ours, another program's database is not ours.
       RawConnection raw(path);
       raw.Exec(
           "PRAGMA journal_mode=WAL; CREATE TABLE keys(id INTEGER PRIMARY KEY, parent, name, fold, "
           "class);"
           "CREATE TABLE vals(key, name, fold, type, data); INSERT INTO keys VALUES (5, 1, 'a', "
           "'A', '');");
     },
     "another program"},
    {"OursWithDamagedPages",
     [](const std::string& path) {
       MakeOurs(path);
       std::size_t page = PageSize(path);
       Scribble(path, page, std::string::npos);
     },
     "damaged"},
    {"OursWithADamagedSchemaPage",
     [](const std::string& path) {
       MakeOurs(path);
       Scribble(path, 100, PageSize(path));
     },
     "damaged"},
    {"OursWithADamagedIndex",
     [](const std::string& path) {
       // Only the writes read the index: the damage must be found before them.
       MakeOurs(path);
       long long root = RawConnection(path).Number(
           "SELECT rootpage FROM sqlite_schema WHERE name = 'keys_by_name'");
       ASSERT_GT(root, 1);
       std::size_t page = PageSize(path);
       Scribble(path, (static_cast<std::size_t>(root) - 1) * page + 8,
                static_cast<std::size_t>(root) * page);
     },
     "damaged"},
    {"OursCutShort",
     [](const std::string& path) {
       MakeOurs(path);
       std::string bytes = ReadFileBytes(path);
       WriteFileBytes(path, bytes.substr(0, bytes.size() / 3));
     },
     "damaged"},
    {"OursWithAnotherLayoutVersion", MakeOurs, "layout", "PRAGMA user_version=99"},
    {"OursWithAnotherLayoutVersionInAnUnfoldedLog",
     [](const std::string& path) {
       MakeOurs(path);
       RawConnection raw(path);
       raw.KeepLogOnClose();
       raw.Exec("PRAGMA user_version=99");
     },
     "layout"},
    {"OursWithAKeyWithoutParent", MakeOurs, "damaged",
     "UPDATE keys SET parent = 99999 WHERE name = CAST('key7' AS BLOB)"},
    {"OursWithAValueOfNoKey", MakeOurs, "damaged", "INSERT INTO vals VALUES (99999, x'76', x'56', 4, x'01000000')"},
    {"OursWithAKeyIndexEntryDisagreeingWithItsRow",
     [](const std::string& path) { MisindexOneRow(path, "keys", "parent", "key7"); }, "damaged"},
    {"OursWithAValueIndexEntryDisagreeingWithItsRow",
     [](const std::string& path) { MisindexOneRow(path, "vals", "key", "key7"); }, "damaged"},
    {"Directory", [](const std::string& path) { std::filesystem::create_directory(path); },
     "not a regular file"},
};

class RefusedFileTest : public testing::TestWithParam<RefusedFile> {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("registry.db");
};

TEST_P(RefusedFileTest, GetsAClearErrorNamingTheFileAndStaysByteForByteUnchanged) {
  GetParam().make(path_);
  if (GetParam().sql) RawConnection(path_).Exec(GetParam().sql);
  std::string before = ReadFileBytes(path_);
  std::string listing = FolderListing(dir_.Path());

  SqliteStore::OpenResult result = SqliteStore::Open(path_, LayOutNewStore);
  EXPECT_FALSE(result.store);
  EXPECT_FALSE(result.created);
  EXPECT_NE(result.error.find(path_), std::string::npos) << result.error;
  EXPECT_EQ(result.error.find("not an error"), std::string::npos) << result.error;
  EXPECT_NE(result.error.find(GetParam().says), std::string::npos) << result.error;
  result.store.reset();

  EXPECT_TRUE(ReadFileBytes(path_) == before) << "the file was changed";
  EXPECT_EQ(FolderListing(dir_.Path()), listing) << "nothing was added beside it";
  if (std::filesystem::is_directory(path_)) {
    EXPECT_EQ(FolderListing(path_), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Files, RefusedFileTest, testing::ValuesIn(kRefusedFiles),
                         [](const testing::TestParamInfo<RefusedFile>& info) {
                           return info.param.name;
                         });

// --- Writes that fail ------------------------------------------------------

TEST_F(SqliteStoreTest, ABusyStoreThatStaysBusyFailsEveryWriteReportsItAndStillReads) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  HKEY h = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &h), ERROR_SUCCESS);
  std::string before = DumpTree(*store);
  SinkLog log;
  log.Attach(*store);
  store->SetBusyTimeout(20);

  {
    RawConnection other(path_);
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);  // another writer holds the store
    EXPECT_EQ(SetDword(*store, h, "kept", 8), ERROR_BUSY);
    EXPECT_EQ(SetDword(*store, h, "new", 8), ERROR_BUSY);
    HKEY created = 1;
    EXPECT_EQ(
        store->RegCreateKeyExA(h, "fresh", 0, nullptr, 0, kAccess3F, nullptr, &created, nullptr),
        ERROR_BUSY);
    EXPECT_EQ(created, 0u);
    EXPECT_EQ(store->RegDeleteValueA(h, "kept"), ERROR_BUSY);
    EXPECT_EQ(store->RegDeleteKeyA(h, "leaf"), ERROR_BUSY);
    EXPECT_EQ(store->BeginTransaction(), ERROR_BUSY);
    // Readers are not held up by a writer.
    EXPECT_EQ(GetDword(*store, h, "kept"), 7);
    EXPECT_EQ(DumpTree(*store), before);
    other.Exec("ROLLBACK");
  }

  ASSERT_EQ(log.failures.size(), 6u);
  const char* operations[] = {"RegSetValueExA",  "RegSetValueExA", "RegCreateKeyExA",
                              "RegDeleteValueA", "RegDeleteKeyA",  "transaction"};
  for (std::size_t i = 0; i < log.failures.size(); ++i) {
    EXPECT_EQ(log.failures[i].store, path_);
    EXPECT_EQ(log.failures[i].operation, operations[i]);
    EXPECT_EQ(log.failures[i].status, ERROR_BUSY);
    EXPECT_FALSE(log.failures[i].reason.empty());
  }
  EXPECT_EQ(DumpTree(*store), before);
  EXPECT_EQ(DumpFile(path_), before);
  // Once the other writer is gone, writing works again.
  EXPECT_EQ(SetDword(*store, h, "kept", 9), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(*store, h, "kept"), 9);
  store->RegCloseKey(h);
}

TEST_F(SqliteStoreTest, AfterABusySpellWritesWaitForAnotherWriterAgain) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  HKEY h = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &h), ERROR_SUCCESS);
  store->SetBusyTimeout(300);
  {
    RawConnection other(path_);
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    EXPECT_EQ(SetDword(*store, h, "during", 1), ERROR_BUSY);
    other.Exec("ROLLBACK");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  // Long after the spell, another writer holds the store for a moment only.
  RawConnection other(path_);
  ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    other.Exec("ROLLBACK");
  });
  EXPECT_EQ(SetDword(*store, h, "after", 2), ERROR_SUCCESS);
  release.join();
  EXPECT_EQ(GetDword(*store, h, "after"), 2);
  store->RegCloseKey(h);
}

TEST_F(SqliteStoreTest, AFullDiskFailsTheWriteReportsItAndLeavesMirrorAndFileAgreeing) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  HKEY h = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &h), ERROR_SUCCESS);
  std::string before = DumpTree(*store);
  SinkLog log;
  log.Attach(*store);
  store->SetMaxPageCount(static_cast<unsigned>(RawConnection(path_).Number("PRAGMA page_count")));

  std::string big(200000, 'x');
  EXPECT_EQ(SetText(*store, h, "kept", big), ERROR_DISK_FULL) << "a replaced value";
  EXPECT_EQ(SetText(*store, h, "big", big), ERROR_DISK_FULL) << "a new value";
  HKEY deep = 1;
  std::string longName(250, 'n');
  std::string path;
  for (int i = 0; i < 40; ++i) path += (path.empty() ? "" : "\\") + longName + std::to_string(i);
  EXPECT_EQ(store->RegCreateKeyExA(h, path, 0, nullptr, 0, kAccess3F, nullptr, &deep, nullptr),
            ERROR_DISK_FULL)
      << "a key path that fills the disk halfway";
  EXPECT_EQ(deep, 0u);

  ASSERT_EQ(log.failures.size(), 3u);
  for (const StoreFailure& failure : log.failures) {
    EXPECT_EQ(failure.store, path_);
    EXPECT_EQ(failure.status, ERROR_DISK_FULL);
    EXPECT_FALSE(failure.reason.empty());
  }
  EXPECT_EQ(GetDword(*store, h, "kept"), 7);
  EXPECT_EQ(DumpTree(*store), before);
  EXPECT_EQ(DumpFile(path_), before);
  store->RegCloseKey(h);
}

// Drops root's power to write any file, so that a read-only file is read-only
// for this process too. False when that cannot be done.
bool ActAsAnOrdinaryUser(const std::string& folder, const std::string& file) {
  if (::geteuid() != 0) return true;
  constexpr uid_t kNobody = 65534;
  if (::chown(folder.c_str(), kNobody, kNobody) != 0 ||
      ::chown(file.c_str(), kNobody, kNobody) != 0)
    return false;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

TEST_F(SqliteStoreTest, AReadOnlyFileReadsButFailsEveryWriteAndReportsIt) {
  std::string before;
  {
    auto store = MakeStore();
    ASSERT_TRUE(store);
    before = DumpTree(*store);
  }
  std::string folder = dir_.Path().string();
  std::string path = path_;
  // In a process of its own, which may give up root's rights for good.
  Child child([&]() -> std::string {
    if (!ActAsAnOrdinaryUser(folder, path)) return "skip";
    if (::chmod(path.c_str(), 0400) != 0) return "cannot make the file read-only";
    SqliteStore::OpenResult result = SqliteStore::Open(path);
    if (!result.store) return "the read-only store did not open: " + result.error;
    SqliteStore& store = *result.store;
    std::string problems;
    if (DumpTree(store) != before) problems += "reads differ; ";
    SinkLog log;
    log.Attach(store);
    HKEY h = 0;
    if (store.RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &h) != ERROR_SUCCESS)
      return "cannot open the scratch key";
    LONG set = SetDword(store, h, "kept", 8);
    LONG create = store.RegCreateKeyExA(h, "fresh", 0, nullptr, 0, kAccess3F, nullptr, &h, nullptr);
    if (set != ERROR_ACCESS_DENIED) problems += "set gave " + std::to_string(set) + "; ";
    if (create != ERROR_ACCESS_DENIED) problems += "create gave " + std::to_string(create) + "; ";
    if (log.failures.size() != 2)
      problems += std::to_string(log.failures.size()) + " failures reported; ";
    for (const StoreFailure& failure : log.failures)
      if (failure.store != path || failure.status != ERROR_ACCESS_DENIED || failure.reason.empty())
        problems += "a report lacks the store, status or reason; ";
    if (DumpTree(store) != before) problems += "the mirror changed; ";
    return problems;
  });
  std::string report = child.Finish();
  if (report == "skip") GTEST_SKIP() << "cannot act as an ordinary user here";
  EXPECT_EQ(report, "");
  EXPECT_EQ(DumpFile(path_), before);
}

// --- Transactions ----------------------------------------------------------

TEST_F(SqliteStoreTest, ARolledBackTransactionLeavesMirrorAndFileAsTheyWereAndIsNeverSeenByOthers) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  std::string before = DumpTree(*store);
  auto other = MustOpen(path_);
  ASSERT_TRUE(other);

  ASSERT_EQ(store->BeginTransaction(), ERROR_SUCCESS);
  HKEY h = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &h), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(*store, h, "kept", 8), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(*store, h, "added", 1), ERROR_SUCCESS);
  EXPECT_EQ(store->RegDeleteKeyA(h, "leaf"), ERROR_SUCCESS);
  store->RegCloseKey(MustCreateKey(*store, h, "made\\deeper"));
  EXPECT_EQ(GetDword(*store, h, "kept"), 8) << "the transaction sees its own writes";
  EXPECT_EQ(DumpTree(*other), before) << "another connection sees none of it";
  store->RollbackTransaction();

  EXPECT_EQ(GetDword(*store, h, "kept"), 7);
  EXPECT_EQ(DumpTree(*store), before);
  EXPECT_EQ(DumpTree(*other), before);
  EXPECT_EQ(DumpFile(path_), before);
  store->RegCloseKey(h);
}

TEST_F(SqliteStoreTest, ATransactionWithAFailedWriteLandsNothingAndReportsIt) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  std::string before = DumpTree(*store);
  SinkLog log;
  log.Attach(*store);
  HKEY h = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &h), ERROR_SUCCESS);

  ASSERT_EQ(store->BeginTransaction(), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(*store, h, "kept", 8), ERROR_SUCCESS);
  store->RegCloseKey(MustCreateKey(*store, h, "made"));
  store->SetMaxPageCount(static_cast<unsigned>(RawConnection(path_).Number("PRAGMA page_count")));
  EXPECT_EQ(SetText(*store, h, "big", std::string(200000, 'x')), ERROR_DISK_FULL);
  EXPECT_NE(SetDword(*store, h, "after", 1), ERROR_SUCCESS)
      << "nothing more joins a failed transaction";
  EXPECT_EQ(store->CommitTransaction(), ERROR_DISK_FULL);

  EXPECT_FALSE(log.failures.empty());
  EXPECT_EQ(DumpTree(*store), before);
  EXPECT_EQ(DumpFile(path_), before);
  store->RegCloseKey(h);
}

TEST_F(SqliteStoreTest, ACommittedTransactionReachesOtherConnectionsWhole) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  auto other = MustOpen(path_);
  ASSERT_TRUE(other);
  HKEY h = 0, seen = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &h), ERROR_SUCCESS);
  ASSERT_EQ(other->RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &seen), ERROR_SUCCESS);

  ASSERT_EQ(store->BeginTransaction(), ERROR_SUCCESS);
  for (DWORD i = 0; i < 20; ++i)
    ASSERT_EQ(SetDword(*store, h, "v" + std::to_string(i), i), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(*other, seen, "v0"), -1);
  ASSERT_EQ(store->CommitTransaction(), ERROR_SUCCESS);
  for (DWORD i = 0; i < 20; ++i) EXPECT_EQ(GetDword(*other, seen, "v" + std::to_string(i)), i);
  store->RegCloseKey(h);
  other->RegCloseKey(seen);
}

// --- The mirror ------------------------------------------------------------

TEST_F(SqliteStoreTest, TheMirrorReloadsOnlyAfterAnotherConnectionCommitted) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  auto other = MustOpen(path_);
  ASSERT_TRUE(other);
  HKEY h = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, kAccess3F, &h), ERROR_SUCCESS);
  int loads = store->MirrorLoads();

  // Its own reads and writes never make it reload.
  for (DWORD i = 0; i < 50; ++i) {
    ASSERT_EQ(SetDword(*store, h, "own" + std::to_string(i % 5), i), ERROR_SUCCESS);
    ASSERT_EQ(GetDword(*store, h, "own" + std::to_string(i % 5)), i);
  }
  store->RegCloseKey(MustCreateKey(*store, h, "ownKey"));
  ASSERT_EQ(store->RegDeleteKeyA(h, "ownKey"), ERROR_SUCCESS);
  DumpTree(*store);
  EXPECT_EQ(store->MirrorLoads(), loads);

  // Another connection's commit is seen at the very next operation, once.
  HKEY theirs = MustCreateKey(*other, HKEY_CURRENT_USER, kScratch);
  ASSERT_EQ(SetDword(*other, theirs, "theirs", 42), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(*store, h, "theirs"), 42);
  EXPECT_EQ(store->MirrorLoads(), loads + 1);
  for (int i = 0; i < 20; ++i) GetDword(*store, h, "theirs");
  EXPECT_EQ(store->MirrorLoads(), loads + 1);

  // A write of ours after theirs builds on theirs.
  ASSERT_EQ(other->RegDeleteValueA(theirs, "kept"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(*store, h, "after", 1), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(*store, h, "kept"), -1);
  EXPECT_EQ(DumpTree(*store), DumpTree(*other));
  other->RegCloseKey(theirs);
  store->RegCloseKey(h);
}

TEST_F(SqliteStoreTest, AWriteThatFindsNoRowToChangeFailsInsteadOfVanishing) {
  {
    auto store = MakeStore();
    ASSERT_TRUE(store);
  }
  // The file's folded form of the name differs from ours, as after a change
  // of the system's case tables: the mirror finds the value, the file's index
  // does not.
  RawConnection(path_).Exec(
      "UPDATE vals SET fold = CAST('OTHER' AS BLOB) WHERE name = CAST('kept' AS BLOB)");
  SinkLog log;
  HKEY h = 0;
  auto store = OpenScratch(log, h);
  ASSERT_TRUE(store && h);
  EXPECT_EQ(SetDword(*store, h, "kept", 8), ERROR_BADDB);
  EXPECT_EQ(store->RegDeleteValueA(h, "kept"), ERROR_BADDB);
  ASSERT_EQ(log.failures.size(), 2u);
  EXPECT_EQ(log.failures[0].status, ERROR_BADDB);
  EXPECT_EQ(GetDword(*store, h, "kept"), 7);
  EXPECT_EQ(DumpTree(*store), DumpFile(path_));
  store->RegCloseKey(h);
}

TEST_F(SqliteStoreTest, KeysWhoseStoredFoldsSortOtherwiseThanOursLoadWholeInOurOrder) {
  std::string before;
  {
    auto store = MakeStore();
    ASSERT_TRUE(store);
    HKEY h = MustCreateKey(*store, HKEY_CURRENT_USER, kScratch);
    for (const char* name : {"a1", "B2", "a3\\inner", "c4", "a5"})
      store->RegCloseKey(MustCreateKey(*store, h, name));
    store->RegCloseKey(h);
    before = DumpTree(*store);
  }
  auto store = MustOpen(path_);
  ASSERT_TRUE(store);
  DumpTree(*store);
  // As after a change of the system's case tables: the file keeps the keys
  // of a parent in the reverse of our order, read at a reload and at open.
  ASSERT_EQ(RawConnection(path_).Exec(
                "UPDATE keys SET fold = CAST(printf('%08d', 1000000 - id) AS BLOB) WHERE id > 2"),
            SQLITE_OK);
  EXPECT_EQ(DumpTree(*store), before);
  EXPECT_EQ(DumpFile(path_), before);
}

TEST_F(SqliteStoreTest, DeletedKeysLeaveNoValueRowsBehind) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  HKEY h = MustCreateKey(*store, HKEY_CURRENT_USER, std::string(kScratch) + "\\leaf\\deeper");
  ASSERT_EQ(SetDword(*store, h, "below", 1), ERROR_SUCCESS);
  store->RegCloseKey(h);
  h = MustCreateKey(*store, HKEY_CURRENT_USER, "Software\\Single");
  ASSERT_EQ(SetDword(*store, h, "one", 1), ERROR_SUCCESS);
  store->RegCloseKey(h);
  ASSERT_EQ(store->RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Single"), ERROR_SUCCESS);
  ASSERT_EQ(DeleteKeyTree(*store, HKEY_CURRENT_USER, kScratch), ERROR_SUCCESS);
  store.reset();
  RawConnection raw(path_);
  EXPECT_EQ(raw.Number("SELECT count(*) FROM vals WHERE key NOT IN (SELECT id FROM keys)"), 0);
  EXPECT_EQ(raw.Number("SELECT count(*) FROM vals WHERE name IN (x'6b657074', x'62656c6f77', x'6f6e65')"), 0);
}

TEST_F(SqliteStoreTest, WorkThatThrowsInATransactionLeavesTheStoreAndTheNextWriteLands) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  std::string before = DumpFile(path_);
  HKEY h = MustCreateKey(*store, HKEY_CURRENT_USER, kScratch);
  EXPECT_THROW(RunInTransaction(*store,
                                [&] {
                                  SetDword(*store, h, "halfway", 1);
                                  throw std::runtime_error("stop");
                                }),
               std::runtime_error);
  EXPECT_EQ(DumpTree(*store), before);
  EXPECT_EQ(DumpFile(path_), before);
  ASSERT_EQ(SetDword(*store, h, "after", 2), ERROR_SUCCESS);
  auto other = MustOpen(path_);
  HKEY seen = MustCreateKey(*other, HKEY_CURRENT_USER, kScratch);
  EXPECT_EQ(GetDword(*other, seen, "after"), 2);
  EXPECT_EQ(GetDword(*other, seen, "halfway"), -1);
  other->RegCloseKey(seen);
  store->RegCloseKey(h);
}

TEST_F(SqliteStoreTest, NamesThatAreNotUtf8TextAreRefusedAndWriteNothing) {
  auto store = MakeStore();
  ASSERT_TRUE(store);
  HKEY h = MustCreateKey(*store, HKEY_CURRENT_USER, kScratch);
  std::string before = DumpTree(*store);
  HKEY made = 0x77;
  EXPECT_EQ(store->RegCreateKeyExA(h, "ok\\\xFF.b", 0, nullptr, 0, kAccess3F, nullptr, &made, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(made, 0u);
  EXPECT_EQ(SetDword(*store, h, "a\xC3(b", 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DumpTree(*store), before);
  EXPECT_EQ(SetDword(*store, h, "B\xC3\xBC" "cher", 1), ERROR_SUCCESS);
  store->RegCloseKey(h);
}

TEST_F(SqliteStoreTest, InAHugeStoreAValueDisagreeingWithItsIndexEntryFailsAtItsFirstRead) {
  // Too many values to compare them all at open: the key's are compared when
  // they are first read, before anything is written to them.
  MisindexOneRow(path_, "vals", "key", "key7");
  RawConnection(path_).Exec(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)"
      " INSERT INTO vals SELECT 1, CAST('p' || i AS BLOB), CAST('P' || i AS BLOB), 4, x'00000000' FROM n");
  std::string before = ReadFileBytes(path_);
  {
    SinkLog log;
    HKEY h = 0;
    auto store = OpenScratch(log, h);
    ASSERT_TRUE(store && h);
    EXPECT_EQ(GetDword(*store, h, "key7"), -1);
    EXPECT_EQ(SetDword(*store, h, "key8", 1), ERROR_BADDB);
    ASSERT_FALSE(log.failures.empty());
    EXPECT_NE(log.failures[0].reason.find("damaged"), std::string::npos) << log.failures[0].reason;
    store->RegCloseKey(h);
  }
  EXPECT_TRUE(ReadFileBytes(path_) == before) << "the file was changed";
}

TEST_F(SqliteStoreTest, AMalformedValueRecordNotYetReadStopsEveryWrite) {
  {
    auto store = MustOpen(path_);
    ASSERT_TRUE(store);
    HKEY h = MustCreateKey(*store, HKEY_CURRENT_USER, kScratch);
    ASSERT_EQ(SetDword(*store, h, "kept", 7), ERROR_SUCCESS);
    store->RegCloseKey(h);
  }
  // The record of the one value (a DWORD) comes to claim five data bytes
  // instead of four; opening reads other columns only, so the store opens.
  long long root = RawConnection(path_).Number("SELECT rootpage FROM sqlite_schema WHERE name = 'vals'");
  ASSERT_GT(root, 1);
  std::string bytes = ReadFileBytes(path_);
  std::size_t page = (static_cast<std::size_t>(root) - 1) * PageSize(path_);
  ASSERT_EQ(bytes[page], '\x0D') << "the value is on a leaf page";
  std::size_t cell = page + (static_cast<unsigned char>(bytes[page + 8]) << 8 | static_cast<unsigned char>(bytes[page + 9]));
  // Payload size, rowid, header size, then the serial types of key, name, fold, type, data.
  std::size_t dataType = cell + 3 + 4;
  ASSERT_EQ(bytes[dataType], 20) << "a blob of four bytes";
  bytes[dataType] = 22;
  WriteFileBytes(path_, bytes);

  SinkLog log;
  HKEY h = 0;
  auto store = OpenScratch(log, h);
  ASSERT_TRUE(store && h);
  HKEY fresh = 0;
  EXPECT_EQ(store->RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fresh", 0, nullptr, 0, kAccess3F, nullptr, &fresh,
                                   nullptr),
            ERROR_BADDB);
  EXPECT_EQ(SetDword(*store, h, "other", 1), ERROR_BADDB);
  ASSERT_FALSE(log.failures.empty());
  EXPECT_NE(log.failures[0].reason.find("damaged"), std::string::npos) << log.failures[0].reason;
  store->RegCloseKey(h);
  store.reset();
  EXPECT_TRUE(ReadFileBytes(path_) == bytes) << "the file was changed";
}

}  // namespace
}  // namespace pw::test
