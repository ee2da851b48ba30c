#include "registry/SqliteStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <vector>

#include "registry/Utf8.h"

namespace pw {
namespace {

LONG StatusFor(int code) {
  switch (code & 0xFF) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_BUSY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return ERROR_BADDB;
    case SQLITE_NOMEM: return ERROR_OUTOFMEMORY;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Reads the first 100 bytes and tells whether they are the header of an SQLite
// database carrying our application id. Reads only; never writes.
bool HasOurHeader(const std::string& path, std::string& why) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  unsigned char header[100];
  ssize_t got = 0;
  while (got < static_cast<ssize_t>(sizeof header)) {
    ssize_t n = ::read(fd, header + got, sizeof header - static_cast<std::size_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += n;
  }
  ::close(fd);
  if (got == 0) {
    why = "the file is empty";
    return false;
  }
  if (got < static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0) {
    why = "the file is not an SQLite database";
    return false;
  }
  std::int32_t id = static_cast<std::int32_t>(static_cast<std::uint32_t>(header[68]) << 24 |
                                              static_cast<std::uint32_t>(header[69]) << 16 |
                                              static_cast<std::uint32_t>(header[70]) << 8 | header[71]);
  if (id != SqliteStore::kApplicationId) {
    why = "the file is an SQLite database of another program";
    return false;
  }
  return true;
}

std::string Damaged(const std::string& reason) {
  return "the file is damaged (" + reason + ")";
}

// The connection's last error in words, saying so when it means a damaged file.
std::string Explain(sqlite3* db) {
  int code = sqlite3_errcode(db) & 0xFF;
  if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) return Damaged(sqlite3_errmsg(db));
  return sqlite3_errmsg(db);
}

// A row's share of a checksum over a table or an index: its rowid, the key it
// hangs under and its folded name, mixed so that any change shows.
std::uint64_t RowSum(std::int64_t rowid, std::int64_t owner, std::string_view fold) {
  auto mix = [](std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
  };
  std::uint64_t h = mix(static_cast<std::uint64_t>(rowid));
  h = mix(h ^ static_cast<std::uint64_t>(owner));
  return mix(h ^ std::hash<std::string_view>{}(fold));
}

// A blob column without copying it; valid until the statement moves on.
std::string_view BlobView(sqlite3_stmt* s, int column) {
  const void* data = sqlite3_column_blob(s, column);
  int size = sqlite3_column_bytes(s, column);
  return data ? std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string_view();
}

std::string Blob(sqlite3_stmt* s, int column) {
  const void* data = sqlite3_column_blob(s, column);
  int size = sqlite3_column_bytes(s, column);
  return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
}

struct SideFiles {
  bool log = false;
  bool index = false;
};

SideFiles SideFilesOf(const std::string& path) {
  struct stat info;
  return {::lstat((path + "-wal").c_str(), &info) == 0, ::lstat((path + "-shm").c_str(), &info) == 0};
}

// Removes the log and log index that were not there before, as long as the
// log is empty: nothing of anyone's is in it.
void RemoveSideFilesMade(const std::string& path, SideFiles before) {
  struct stat info;
  std::string log = path + "-wal";
  if (!before.log && ::lstat(log.c_str(), &info) == 0) {
    if (info.st_size != 0) return;
    ::unlink(log.c_str());
  }
  if (!before.index) ::unlink((path + "-shm").c_str());
}

// A lock on a file, held while the object lives (closing the file drops it).
struct HeldLock {
  HeldLock() = default;
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  ~HeldLock() {
    if (fd >= 0) ::close(fd);
  }
  int fd = -1;
};

// Whether the open file is still the one at `path`.
bool IsStillNamed(int fd, const std::string& path) {
  struct stat open, named;
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

// Removes the temporary stores that creators of a store at `path` left when
// they were killed, with their logs: those whose creator no longer holds the
// lock it keeps on them while it works. One being made now is left alone.
void RemoveStaleTemporaries(const std::string& path) {
  std::size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string stem = path.substr(slash == std::string::npos ? 0 : slash + 1) + ".new-";
  constexpr std::size_t kUnique = 6;  // mkstemp's XXXXXX
  std::set<std::string> made;         // their unique parts
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() < stem.size() + kUnique || name.compare(0, stem.size(), stem) != 0) continue;
      std::string side = name.substr(stem.size() + kUnique);
      if (side.empty() || side == "-wal" || side == "-shm" || side == "-journal")
        made.insert(name.substr(stem.size(), kUnique));
    }
    ::closedir(dir);
  }
  for (const std::string& unique : made) {
    std::string temp = folder + "/" + stem + unique;
    int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
      bool stale = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && IsStillNamed(fd, temp);
      if (stale) ::unlink(temp.c_str());
      ::close(fd);
      if (!stale) continue;
    } else if (errno != ENOENT) {
      continue;
    }
    // Its creator is gone (a creator keeps the file until its logs are gone).
    for (const char* side : {"-wal", "-shm", "-journal"}) ::unlink((temp + side).c_str());
  }
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

}  // namespace

// A prepared statement that resets itself after use.
class SqliteStore::Statement {
 public:
  Statement(sqlite3* db, const char* sql) { prepareStatus_ = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  bool Ok() const { return prepareStatus_ == SQLITE_OK && stmt_; }
  sqlite3_stmt* Get() { return stmt_; }
  void BindInt(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
  void BindBlob(int i, const std::string& v) {
    sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  // Runs a statement that returns no rows; the SQLite result code.
  int Run() {
    int rc = sqlite3_step(stmt_);
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int prepareStatus_;
};

SqliteStore::SqliteStore(std::string path) : path_(std::move(path)) {}

SqliteStore::~SqliteStore() {
  Disconnect();
}

void SqliteStore::FinalizeStatements() {
  for (auto* slot : {&dataVersion_, &keyValues_, &allValues_, &insertKey_, &insertValue_, &updateValue_,
                     &deleteValue_, &deleteValues_, &deleteKey_})
    slot->reset();
}

void SqliteStore::Disconnect() {
  FinalizeStatements();
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
  logFile_ = nullptr;
}

SqliteStore::OpenResult SqliteStore::Open(const std::string& path,
                                          const std::function<void(RegistryStore&)>& layOut) {
  OpenResult result;
  auto refuse = [&](const std::string& why) {
    result.error = "cannot use " + path + " as a store: " + why + "; it was left unchanged";
    return std::move(result);
  };
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      result.error = "cannot use the store " + path + ": " + std::strerror(errno);
      return result;
    }
    if (!CreateFile(path, layOut, result)) return result;
  } else if (!S_ISREG(info.st_mode)) {
    return refuse("it is not a regular file");
  }

  // Whether the file is ours is decided from its header, read without SQLite,
  // which could otherwise write to it (a journal of another program rolled back).
  std::string why;
  if (!HasOurHeader(path, why)) return refuse(why);
  // SQLite makes a log and its index beside a file it reads; those it made
  // for a file then refused go again.
  SideFiles before = SideFilesOf(path);
  std::unique_ptr<SqliteStore> store(new SqliteStore(path));
  std::string error;
  bool accepted = store->Inspect(error) && store->Connect(false, error) && store->Prepare(error);
  if (accepted && store->LoadMirror(true) != ERROR_SUCCESS) {
    error = store->lastReason_;
    accepted = false;
  }
  if (!accepted) {
    store.reset();
    RemoveSideFilesMade(path, before);
    return refuse(error);
  }
  store->KeepFileOnClose(false);
  result.store = std::move(store);
  return result;
}

bool SqliteStore::CreateFile(const std::string& path,
                             const std::function<void(RegistryStore&)>& layOut,
                             OpenResult& result) {
  std::string folder = FolderOf(path);
  struct stat folderInfo;
  if (::stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode)) {
    result.error = "cannot create the store " + path + ": the folder " + folder + " does not exist";
    return false;
  }
  RemoveStaleTemporaries(path);
  // The new store is made whole under a temporary name and linked into place,
  // so that no process ever sees a half-made store. The temporary file stays
  // locked while it is made: that tells the next creator it is not stale.
  std::string temp;
  HeldLock lock;
  for (int attempt = 0; attempt < 8 && lock.fd < 0; ++attempt) {
    temp = path + ".new-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
      result.error = "cannot create the store " + path + ": " + std::strerror(errno);
      return false;
    }
    ::fchmod(fd, 0600);  // whatever the umask; SQLite gives its side files the same mode
    temp.assign(name.data());
    // Another creator's sweep may have taken it for stale in the moment
    // before the lock: then it is gone, and another is made.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && IsStillNamed(fd, temp)) lock.fd = fd;
    else ::close(fd);
  }
  if (lock.fd < 0) {
    result.error = "cannot create the store " + path + ": its temporary file kept disappearing";
    return false;
  }
  auto fail = [&](const std::string& what, const std::string& why) {
    ::unlink(temp.c_str());
    ::unlink((temp + "-wal").c_str());
    ::unlink((temp + "-shm").c_str());
    result.error = what + path + ": " + why;
    return false;
  };

  std::string error;
  std::unique_ptr<SqliteStore> fresh(new SqliteStore(temp));
  if (!fresh->Connect(true, error) || !fresh->CreateSchema(error) || !fresh->Prepare(error) ||
      fresh->LoadMirror() != ERROR_SUCCESS)
    return fail("cannot create the store ", error.empty() ? fresh->lastReason_ : error);
  bool laidOut = true;
  fresh->SetErrorSink([&](const StoreFailure& failure) {
    laidOut = false;
    error = failure.reason;
  });
  if (layOut) {
    // One commit for the whole layout: nobody else can see the file yet.
    LONG status = fresh->BeginTransaction();
    if (status == ERROR_SUCCESS) {
      layOut(*fresh);
      status = fresh->CommitTransaction();
    }
    if (status != ERROR_SUCCESS && laidOut) {
      laidOut = false;
      error = StatusName(status);
    }
  }
  if (!laidOut) return fail("cannot lay out the new store ", error);
  // Everything into the file itself, synced, before it takes the store's name:
  // a log left beside the temporary name would not follow it.
  if (!fresh->Seal(error)) return fail("cannot create the store ", error);
  fresh.reset();
  std::string why;
  if (!HasOurHeader(temp, why)) return fail("cannot create the store ", why);

  // A log beside a store that was removed by hand would be played into the new
  // file by the first connection to open it, mixing the old store's pages into
  // the new one. It is left for the user to move away. (The log is looked for
  // first: a store another process has just made exists before its log does.)
  for (const char* suffix : {"-wal", "-journal"}) {
    struct stat sideInfo;
    std::string side = path + suffix;
    if (::lstat(side.c_str(), &sideInfo) == 0 && ::stat(path.c_str(), &sideInfo) != 0) {
      std::string why =
          side + ", the log of a store that was removed, is still there; move it away";
      return fail("cannot create the store ", why);
    }
  }
  if (::link(temp.c_str(), path.c_str()) == 0) {
    result.created = true;
  } else if (errno != EEXIST) {
    return fail("cannot create the store ", std::strerror(errno));
  }
  ::unlink(temp.c_str());  // when another process made it first, theirs is used
  SyncFolder(folder);
  return true;
}

bool SqliteStore::Seal(std::string& error) {
  sqlite3_stmt* checkpoint = nullptr;
  int rc = sqlite3_prepare_v2(db_, "PRAGMA wal_checkpoint(TRUNCATE)", -1, &checkpoint, nullptr);
  bool whole = rc == SQLITE_OK && sqlite3_step(checkpoint) == SQLITE_ROW &&
               sqlite3_column_int(checkpoint, 0) == 0;
  if (!whole) error = sqlite3_errmsg(db_);
  sqlite3_finalize(checkpoint);
  if (!whole) return false;
  FinalizeStatements();
  rc = sqlite3_close(db_);
  if (rc != SQLITE_OK) {
    error = sqlite3_errstr(rc);
    return false;
  }
  db_ = nullptr;
  logFile_ = nullptr;
  return true;
}

namespace {

// One number from a query, or false with the connection's error.
bool Number(sqlite3* db, const char* sql, std::int64_t& number, std::string& error) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(s);
  bool ok = rc == SQLITE_ROW;
  if (ok) number = sqlite3_column_int64(s, 0);
  else error = Explain(db);
  sqlite3_finalize(s);
  return ok;
}

}  // namespace

bool SqliteStore::Inspect(std::string& error) {
  // Read-only, so that looking at a file that is then refused changes nothing
  // of it: a read-write connection would fold a log lying beside it into it
  // when it closed.
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
                           nullptr);
  bool ok = rc == SQLITE_OK;
  if (!ok) {
    error = db ? Explain(db) : sqlite3_errstr(rc);
  } else {
    sqlite3_busy_timeout(db, busyTimeoutMs_);
    std::int64_t version = 0, tables = 0;
    ok = Number(db, "SELECT user_version FROM pragma_user_version", version, error) &&
         Number(db, "SELECT count(*) FROM sqlite_schema WHERE name IN ('keys','vals','keys_by_name','vals_by_name')",
                tables, error);
    if (ok && (version != kSchemaVersion || tables != 4)) {
      error = "its layout is not one this version knows";
      ok = false;
    }
  }
  sqlite3_close(db);
  return ok;
}

bool SqliteStore::Connect(bool create, std::string& error) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  int rc = sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    error = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    return false;
  }
  sqlite3_busy_timeout(db_, busyTimeoutMs_);
  if (sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = Explain(db_);
    return false;
  }
  if (create) return true;
  // Until the store is accepted, closing must not fold a log into the file.
  KeepFileOnClose(true);
  // Our files are made in WAL mode; one turned back to another mode (by hand)
  // is put right, as every write counts on WAL. A file that cannot be written
  // stays as it is and is still read.
  std::int64_t wal = 0;
  if (Number(db_, "SELECT journal_mode = 'wal' FROM pragma_journal_mode", wal, error) && !wal) {
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    std::string ignored;
    Number(db_, "SELECT journal_mode = 'wal' FROM pragma_journal_mode", wal, ignored);
  }
  // The file object the connection keeps for its life: its shared memory
  // holds the log header that tells whether anyone committed.
  logFile_ = nullptr;
  if (wal != 0) sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &logFile_);
  return true;
}

void SqliteStore::KeepFileOnClose(bool keep) {
  if (db_) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, keep ? 1 : 0, nullptr);
}

bool SqliteStore::CreateSchema(std::string& error) {
  std::string sql =
      "PRAGMA journal_mode=WAL;"
      "BEGIN;"
      "PRAGMA application_id=" + std::to_string(kApplicationId) + ";"
      "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";"
      // AUTOINCREMENT: a key id is never reused, so a handle on a deleted key
      // can never come to name a new one.
      "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
      " name BLOB NOT NULL, fold BLOB NOT NULL, class BLOB NOT NULL);"
      "CREATE UNIQUE INDEX keys_by_name ON keys(parent, fold);"
      // Values enumerate in rowid order, which is their creation order.
      "CREATE TABLE vals(key INTEGER NOT NULL, name BLOB NOT NULL, fold BLOB NOT NULL,"
      " type INTEGER NOT NULL, data BLOB NOT NULL);"
      "CREATE UNIQUE INDEX vals_by_name ON vals(key, fold);"
      "INSERT INTO keys(id, parent, name, fold, class) VALUES (1, -1, x'', x'', x''), (2, -2, x'', x'', x'');"
      "COMMIT;";
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    error = message ? message : "cannot lay out the store";
    sqlite3_free(message);
    return false;
  }
  return true;
}

bool SqliteStore::Prepare(std::string& error) {
  struct {
    std::unique_ptr<Statement>& slot;
    const char* sql;
  } statements[] = {
      {dataVersion_, "PRAGMA data_version"},
      // A key's values in rowid order, which is their creation order, each
      // with whether its row and its index entry agree.
      {keyValues_,
       "SELECT t.name, t.type, t.data, t.key IS i.key AND t.fold IS i.fold FROM vals AS i INDEXED BY vals_by_name"
       " LEFT JOIN vals AS t NOT INDEXED ON t.rowid = i.rowid WHERE i.key = ? ORDER BY i.rowid"},
      {allValues_, "SELECT key, name, type, data FROM vals ORDER BY rowid"},
      {insertKey_, "INSERT INTO keys(parent, name, fold, class) VALUES (?, ?, ?, ?)"},
      {insertValue_, "INSERT INTO vals(key, name, fold, type, data) VALUES (?, ?, ?, ?, ?)"},
      // An update keeps the row, and with it the value's place in the order.
      {updateValue_, "UPDATE vals SET type = ?, data = ? WHERE key = ? AND fold = ?"},
      {deleteValue_, "DELETE FROM vals WHERE key = ? AND fold = ?"},
      {deleteValues_, "DELETE FROM vals WHERE key = ?"},
      {deleteKey_, "DELETE FROM keys WHERE id = ?"},
  };
  for (auto& [slot, sql] : statements) {
    slot = std::make_unique<Statement>(db_, sql);
    if (!slot->Ok()) {
      error = Explain(db_);
      return false;
    }
  }
  return true;
}

void SqliteStore::SetBusyTimeout(int milliseconds) {
  busyTimeoutMs_ = milliseconds;
  sqlite3_busy_timeout(db_, milliseconds);
}

void SqliteStore::SetMaxPageCount(unsigned pages) {
  std::string sql = "PRAGMA max_page_count=" + std::to_string(pages);
  sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

LONG SqliteStore::Fail(const char* operation, int sqliteCode, const char* why) {
  LONG status = StatusFor(sqliteCode);
  std::string reason = why ? why : sqlite3_errmsg(db_);
  // The message may already belong to a later statement (a rollback).
  if (reason.empty() || reason == "not an error") reason = sqlite3_errstr(sqliteCode);
  if (status == ERROR_BADDB) {
    reason = Damaged(reason);
    KeepFileOnClose(true);  // the damaged file is left as it was found
  }
  lastReason_ = reason;
  // After a failure the file may hold less than the mirror (SQLite can undo a
  // whole transaction on its own): read it again before it is trusted.
  stale_ = true;
  ReportFailure({path_, operation, reason, status});
  return status;
}

LONG SqliteStore::ExpectOneRow(const char* operation) {
  // The mirror, revalidated under the write lock, says the row is there; a
  // statement that changes nothing means the file disagrees (damaged, or its
  // folded names differ from ours), and the write must not pass for done.
  if (sqlite3_changes(db_) == 1) return ERROR_SUCCESS;
  return Fail(operation, SQLITE_CORRUPT, "the store does not hold the entry it was read with");
}

LONG SqliteStore::Exec(const char* operation, const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? ERROR_SUCCESS : Fail(operation, rc);
}

LONG SqliteStore::LoadMirror(bool checkRows) {
  bool ownTxn = sqlite3_get_autocommit(db_) != 0;
  if (ownTxn) {
    LONG status = Exec("read", "BEGIN");
    if (status != ERROR_SUCCESS) return status;
  }
  int rc = SQLITE_OK;
  std::string damage;
  auto finish = [&](int code) -> LONG {
    std::string why = code == SQLITE_OK ? "" : sqlite3_errmsg(db_);
    if (ownTxn)
      sqlite3_exec(db_, code == SQLITE_OK && damage.empty() ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (!damage.empty()) {
      ClearTree();
      return Fail("read", SQLITE_CORRUPT, damage.c_str());
    }
    if (code != SQLITE_OK) return Fail("read", code, why.c_str());
    stale_ = false;
    ++loads_;
    return ERROR_SUCCESS;
  };
  valuesCompared_ = false;
  keysReadOneByOne_ = 0;
  // The version is read inside the same read transaction as the rows, so the
  // mirror and the version it is stamped with agree.
  if (sqlite3_step(dataVersion_->Get()) == SQLITE_ROW) seenVersion_ = sqlite3_column_int64(dataVersion_->Get(), 0);
  rc = sqlite3_reset(dataVersion_->Get());
  if (rc != SQLITE_OK) return finish(rc);

  ClearTree();
  sqlite3_stmt* keys = nullptr;
  rc = sqlite3_prepare_v2(db_, "SELECT id, parent, name, class, fold FROM keys ORDER BY id", -1, &keys, nullptr);
  if (rc != SQLITE_OK) return finish(rc);
  std::int64_t rows = 0;
  std::uint64_t sum = 0;
  while (damage.empty() && (rc = sqlite3_step(keys)) == SQLITE_ROW) {
    std::int64_t id = sqlite3_column_int64(keys, 0);
    std::int64_t parent = sqlite3_column_int64(keys, 1);
    ++rows;
    if (checkRows) sum += RowSum(id, parent, BlobView(keys, 4));
    // Keys are made after their parents: a parent not read yet is missing.
    if (id > kLocalMachineRootId && !AttachLoadedKey(id, parent, Blob(keys, 2), Blob(keys, 3)))
      damage = "a key has no parent, or its name is taken twice";
  }
  sqlite3_finalize(keys);
  if (rc != SQLITE_DONE && damage.empty()) return finish(rc);
  rc = checkRows && damage.empty() ? CheckRows(rows, sum, damage) : SQLITE_OK;
  // A key's values are read when they are first needed (LoadValues): a store
  // holding a great many values opens as fast as one holding few.
  return finish(rc);
}

int SqliteStore::CheckRows(std::int64_t keyRows, std::uint64_t keySum, std::string& damage) {
  // Each side summed in one sequential pass: the rows in their table, the
  // entries in their index. Equal counts and sums mean the same rows.
  bool orphan = false;
  auto sumOf = [&](const char* sql, std::int64_t& rows, std::uint64_t& sum, bool valuesNeedKeys) {
    sqlite3_stmt* s = nullptr;
    rows = 0;
    sum = 0;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &s, nullptr);
    if (rc == SQLITE_OK) {
      while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        ++rows;
        std::int64_t owner = sqlite3_column_int64(s, 1);
        sum += RowSum(sqlite3_column_int64(s, 0), owner, BlobView(s, 2));
        orphan = orphan || (valuesNeedKeys && !FindKeyById(owner));
      }
    }
    sqlite3_finalize(s);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
  };
  std::int64_t rows = 0;
  std::uint64_t sum = 0;
  int rc = sumOf("SELECT rowid, parent, fold FROM keys INDEXED BY keys_by_name", rows, sum, false);
  if (rc != SQLITE_OK) return rc;
  if (rows != keyRows || sum != keySum) {
    damage = "the keys and their index disagree";
    return SQLITE_OK;
  }

  // Counting walks every page of both trees, whatever their size.
  std::int64_t tableRows = 0, indexRows = 0;
  auto count = [&](const char* sql, std::int64_t& n) {
    sqlite3_stmt* s = nullptr;
    int code = sqlite3_prepare_v2(db_, sql, -1, &s, nullptr);
    if (code == SQLITE_OK && (code = sqlite3_step(s)) == SQLITE_ROW) n = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return code == SQLITE_ROW ? SQLITE_OK : code;
  };
  rc = count("SELECT count(*) FROM vals NOT INDEXED", tableRows);
  if (rc == SQLITE_OK) rc = count("SELECT count(*) FROM vals INDEXED BY vals_by_name", indexRows);
  if (rc != SQLITE_OK) return rc;
  if (tableRows != indexRows) {
    damage = "the values and their index disagree";
    return SQLITE_OK;
  }
  // Comparing every value costs time in proportion to the values. Up to this
  // many (a zone map of many thousand sites holds far fewer) it is done now;
  // beyond, each key's values are compared with their index entries when
  // they are first read (LoadValues), so that a huge store still opens at once.
  constexpr std::int64_t kValuesCheckedAtOpen = 100000;
  if (tableRows > kValuesCheckedAtOpen) return SQLITE_OK;
  std::uint64_t tableSum = 0, indexSum = 0;
  rc = sumOf("SELECT rowid, key, fold FROM vals NOT INDEXED", rows, tableSum, false);
  if (rc == SQLITE_OK) rc = sumOf("SELECT rowid, key, fold FROM vals INDEXED BY vals_by_name", rows, indexSum, true);
  if (rc != SQLITE_OK) return rc;
  if (tableSum != indexSum) damage = "the values and their index disagree";
  else if (orphan) damage = "a value belongs to no key";
  else valuesCompared_ = true;
  return SQLITE_OK;
}

LONG SqliteStore::LoadValues(Key& key) {
  // A long run of reads (a list rebuild) reads every key's values: past a few
  // dozen keys they are read in one pass over the table, instead of an index
  // search each. Only while every value's row is known to agree with its
  // index entry (compared at open, no reload since); otherwise each key's are
  // compared as they are read, below.
  constexpr int kKeysReadOneByOne = 64;
  if (valuesCompared_ && ++keysReadOneByOne_ > kKeysReadOneByOne) return LoadAllValues();
  sqlite3_stmt* s = keyValues_->Get();
  sqlite3_bind_int64(s, 1, key.id);
  key.values.Clear();
  int rc;
  bool agree = true;
  while (agree && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    agree = sqlite3_column_int(s, 3) != 0;
    AttachLoadedValue(key, Blob(s, 0), static_cast<DWORD>(sqlite3_column_int64(s, 1)), Blob(s, 2));
  }
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  if (!agree || rc != SQLITE_DONE) {
    key.values.Clear();
    return agree ? Fail("read", rc) : Fail("read", SQLITE_CORRUPT, "a value and its index entry disagree");
  }
  key.valuesLoaded = true;
  return ERROR_SUCCESS;
}

LONG SqliteStore::LoadAllValues() {
  std::vector<Key*> unread;
  ForEachKey([&](Key& key) {
    if (!key.valuesLoaded) {
      key.values.Clear();
      unread.push_back(&key);
    }
  });
  sqlite3_stmt* s = allValues_->Get();
  int rc;
  std::int64_t lastId = -1;
  Key* last = nullptr;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    std::int64_t id = sqlite3_column_int64(s, 0);
    if (id != lastId) {
      lastId = id;
      last = FindKeyById(id);
    }
    // Values in rowid order, which is each key's creation order; keys read
    // before keep what they hold.
    if (last && !last->valuesLoaded)
      AttachLoadedValue(*last, Blob(s, 1), static_cast<DWORD>(sqlite3_column_int64(s, 2)), Blob(s, 3));
  }
  sqlite3_reset(s);
  if (rc != SQLITE_DONE) {
    for (Key* key : unread) key->values.Clear();
    return Fail("read", rc);
  }
  for (Key* key : unread) key->valuesLoaded = true;
  return ERROR_SUCCESS;
}

bool SqliteStore::AcceptsName(std::string_view name) const { return IsValidUtf8(name); }

LONG SqliteStore::BeginReadSnapshot() {
  if (snapshotDepth_++ > 0) return ERROR_SUCCESS;
  // Inside a write transaction the mirror is already the one state there is.
  if (!sqlite3_get_autocommit(db_)) return ERROR_SUCCESS;
  LONG status = Exec("read", "BEGIN");
  if (status == ERROR_SUCCESS) {
    // The version check starts the read transaction that fixes the state.
    status = CheckMirror(true);
    if (status != ERROR_SUCCESS) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  if (status != ERROR_SUCCESS) {
    snapshotDepth_ = 0;
    return status;
  }
  snapshotTxn_ = true;
  return ERROR_SUCCESS;
}

void SqliteStore::EndReadSnapshot() {
  if (snapshotDepth_ == 0 || --snapshotDepth_ > 0) return;
  if (snapshotTxn_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  snapshotTxn_ = false;
}

std::uint64_t SqliteStore::ChangeStamp() {
  // Every commit, of any connection, rewrites the log's header: while it is the
  // one seen last, nothing was written. Where it cannot be read, the data
  // version tells another connection's commits; ours are counted.
  LogHeader header;
  if (ReadLogHeader(header)) {
    if (!stampHeaderSeen_ || header != stampHeader_) ++otherChanges_;
    stampHeader_ = header;
    stampHeaderSeen_ = true;
    return otherChanges_ + localChanges_;
  }
  stampHeaderSeen_ = false;
  sqlite3_stmt* s = dataVersion_->Get();
  if (sqlite3_step(s) == SQLITE_ROW) {
    std::int64_t version = sqlite3_column_int64(s, 0);
    if (version != stampVersion_) ++otherChanges_;
    stampVersion_ = version;
  }
  sqlite3_reset(s);
  return otherChanges_ + localChanges_;
}

bool SqliteStore::ReadLogHeader(LogHeader& header) const {
  sqlite3_file* file = logFile_;
  if (!file || !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap) return false;
  // Region 0, already mapped by the connection's reads; never made or grown here.
  constexpr int kRegionSize = 32768;
  volatile void* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, kRegionSize, 0, &region) != SQLITE_OK || !region) return false;
  // A committer writes the second copy, then the first; reading them the other
  // way round and finding them equal means neither was half-written.
  // The header is six 8-byte words at the start of the page-aligned region.
  const volatile std::uint64_t* copies = static_cast<const volatile std::uint64_t*>(region);
  LogHeader second;
  for (std::size_t i = 0; i < header.size(); ++i) header[i] = copies[i];
  std::atomic_thread_fence(std::memory_order_acquire);
  for (std::size_t i = 0; i < second.size(); ++i) second[i] = copies[header.size() + i];
  unsigned char bytes[sizeof header];
  std::memcpy(bytes, header.data(), sizeof bytes);
  constexpr std::size_t kIsInit = 12;
  return header == second && bytes[kIsInit] != 0;
}

LONG SqliteStore::Revalidate() { return CheckMirror(false); }

LONG SqliteStore::CheckMirror(bool askVersion) {
  if (snapshotTxn_ && !stale_) return ERROR_SUCCESS;
  // While this connection holds the write lock no other can commit: the
  // mirror checked when the lock was taken stays current (a transaction
  // SQLite ended itself, after a failure, is checked as usual).
  if (writeLocked_ && !stale_ && !askVersion && !sqlite3_get_autocommit(db_)) return ERROR_SUCCESS;
  // Read before the version is asked, so that a commit landing in between
  // makes the next check ask again rather than pass.
  LogHeader header;
  bool haveHeader = ReadLogHeader(header);
  if (!stale_) {
    // Every commit, of any connection, rewrites the header (its change
    // counter at least): as long as it is the one seen when the mirror was
    // last found current, nothing was committed since.
    if (!askVersion && haveHeader && headerSeen_ && header == seenHeader_) return ERROR_SUCCESS;
    sqlite3_stmt* s = dataVersion_->Get();
    int rc = sqlite3_step(s);
    std::int64_t version = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_reset(s);
    if (rc != SQLITE_ROW) return Fail("read", rc);
    if (version == seenVersion_) {
      headerSeen_ = haveHeader;
      seenHeader_ = header;
      return ERROR_SUCCESS;
    }
  }
  headerSeen_ = false;
  LONG status = LoadMirror();
  if (status == ERROR_SUCCESS) {
    headerSeen_ = haveHeader;
    seenHeader_ = header;
  }
  return status;
}

LONG SqliteStore::BeginPhysical(const char* operation, bool) {
  if (snapshotTxn_) {
    // A write ends the read snapshot; the reads after it check as usual.
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    snapshotTxn_ = false;
  }
  if (!checkedForWrites_) {
    LONG status = CheckBeforeFirstWrite(operation);
    if (status != ERROR_SUCCESS) return status;
  }
  // Once a write has waited the whole timeout in vain, the store is taken to
  // stay busy for as long again: writes meanwhile try once without waiting (an
  // action of 28 writes fails in seconds, not minutes). Later writes wait as
  // usual, so that one busy spell does not fail writes that would have waited
  // a moment for another process.
  auto now = std::chrono::steady_clock::now();
  bool hurry = gaveUpWaiting_ && now - gaveUpAt_ < std::chrono::milliseconds(busyTimeoutMs_);
  if (hurry) sqlite3_busy_timeout(db_, 0);
  // IMMEDIATE takes the write lock now, so the tree checked below is the tree
  // the write applies to.
  LONG status = Exec(operation, "BEGIN IMMEDIATE");
  if (hurry) sqlite3_busy_timeout(db_, busyTimeoutMs_);
  if (status == ERROR_BUSY && !hurry) {
    gaveUpWaiting_ = true;
    gaveUpAt_ = std::chrono::steady_clock::now();
  } else if (status == ERROR_SUCCESS) {
    gaveUpWaiting_ = false;
  }
  if (status != ERROR_SUCCESS) return status;
  status = Revalidate();
  if (status != ERROR_SUCCESS) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  writeLocked_ = status == ERROR_SUCCESS;
  return status;
}

LONG SqliteStore::CheckBeforeFirstWrite(const char* operation) {
  // Opening checks that the keys and the index hang together but reads each
  // value only when it is first needed, so a damaged value record could sit
  // unseen while the rest of the file is written to. Every page is checked
  // once, before this connection's first write, where only writers pay for it.
  if (!damage_.empty()) return Fail(operation, SQLITE_CORRUPT, damage_.c_str());
  sqlite3_stmt* check = nullptr;
  int rc = sqlite3_prepare_v2(db_, "PRAGMA quick_check(1)", -1, &check, nullptr);
  std::string verdict;
  if (rc == SQLITE_OK && (rc = sqlite3_step(check)) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(check, 0);
    verdict = text ? reinterpret_cast<const char*>(text) : "";
    rc = SQLITE_OK;
  }
  sqlite3_finalize(check);
  if (rc != SQLITE_OK) return Fail(operation, rc);
  if (verdict != "ok") {
    damage_ = verdict.empty() ? "a page does not hold what its tree says" : verdict;
    return Fail(operation, SQLITE_CORRUPT, damage_.c_str());
  }
  checkedForWrites_ = true;
  return ERROR_SUCCESS;
}

LONG SqliteStore::CommitPhysical(const char* operation) {
  writeLocked_ = false;
  int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return ERROR_SUCCESS;
  LONG status = Fail(operation, rc);
  RollbackPhysical();
  return status;
}

void SqliteStore::RollbackPhysical() {
  writeLocked_ = false;
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  stale_ = true;  // the mirror may hold what was undone
}

LONG SqliteStore::PersistKey(Key& key) {
  insertKey_->BindInt(1, key.parent->id);
  insertKey_->BindBlob(2, key.name);
  insertKey_->BindBlob(3, key.fold);
  insertKey_->BindBlob(4, key.cls);
  int rc = insertKey_->Run();
  if (rc != SQLITE_OK) return Fail("RegCreateKeyExA", rc);
  key.id = sqlite3_last_insert_rowid(db_);
  return ERROR_SUCCESS;
}

LONG SqliteStore::PersistValue(const Key& key, const Value& value, bool isNew) {
  int rc;
  if (isNew) {
    insertValue_->BindInt(1, key.id);
    insertValue_->BindBlob(2, value.name);
    insertValue_->BindBlob(3, value.fold);
    insertValue_->BindInt(4, value.type);
    insertValue_->BindBlob(5, value.data);
    rc = insertValue_->Run();
  } else {
    // An update keeps the row, and with it the value's place in the order.
    updateValue_->BindInt(1, value.type);
    updateValue_->BindBlob(2, value.data);
    updateValue_->BindInt(3, key.id);
    updateValue_->BindBlob(4, value.fold);
    rc = updateValue_->Run();
    if (rc == SQLITE_OK) return ExpectOneRow("RegSetValueExA");
  }
  return rc == SQLITE_OK ? ERROR_SUCCESS : Fail("RegSetValueExA", rc);
}

LONG SqliteStore::PersistValueDelete(const Key& key, const Value& value) {
  deleteValue_->BindInt(1, key.id);
  deleteValue_->BindBlob(2, value.fold);
  int rc = deleteValue_->Run();
  return rc == SQLITE_OK ? ExpectOneRow("RegDeleteValueA") : Fail("RegDeleteValueA", rc);
}

LONG SqliteStore::PersistKeyDelete(const Key& key) {
  deleteValues_->BindInt(1, key.id);
  int rc = deleteValues_->Run();
  if (rc == SQLITE_OK) {
    deleteKey_->BindInt(1, key.id);
    rc = deleteKey_->Run();
  }
  return rc == SQLITE_OK ? ExpectOneRow("RegDeleteKeyA") : Fail("RegDeleteKeyA", rc);
}

}  // namespace pw
