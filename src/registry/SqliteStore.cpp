#include "registry/SqliteStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

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
  for (auto* slot : {&dataVersion_, &insertKey_, &insertValue_, &updateValue_, &deleteValue_,
                     &deleteValues_, &deleteKey_})
    slot->reset();
}

void SqliteStore::Disconnect() {
  FinalizeStatements();
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
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
  std::unique_ptr<SqliteStore> store(new SqliteStore(path));
  std::string error;
  if (!store->Connect(false, error) || !store->Prepare(error)) return refuse(error);
  if (store->LoadMirror() != ERROR_SUCCESS) return refuse(store->lastReason_);
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
  // The new store is made whole under a temporary name and linked into place,
  // so that no process ever sees a half-made store.
  std::string temp = path + ".new-XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) {
    result.error = "cannot create the store " + path + ": " + std::strerror(errno);
    return false;
  }
  ::fchmod(fd, 0600);  // whatever the umask; SQLite gives its side files the same mode
  ::close(fd);
  temp.assign(name.data());
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
    if (fresh->BeginTransaction() == ERROR_SUCCESS) {
      layOut(*fresh);
      fresh->CommitTransaction();
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
  return true;
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

  // Our layout, checked before anything is written.
  sqlite3_stmt* check = nullptr;
  rc = sqlite3_prepare_v2(db_,
                          "SELECT (SELECT user_version FROM pragma_user_version), "
                          "(SELECT count(*) FROM sqlite_schema WHERE name IN ('keys','vals')), "
                          "(SELECT journal_mode FROM pragma_journal_mode)",
                          -1, &check, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(check);
  bool known = rc == SQLITE_ROW && sqlite3_column_int(check, 0) == kSchemaVersion &&
               sqlite3_column_int(check, 1) == 2;
  bool wal = rc == SQLITE_ROW &&
             std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(check, 2)), "wal") == 0;
  if (rc != SQLITE_ROW)
    error = Explain(db_);
  else if (!known)
    error = "its layout is not one this version knows";
  sqlite3_finalize(check);
  if (!known) return false;
  // The mirror reads every key and value, but not the indexes the writes rely
  // on: damage anywhere is found now, before anything is written.
  rc = sqlite3_prepare_v2(db_, "PRAGMA quick_check(1)", -1, &check, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(check);
  std::string verdict =
      rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(check, 0)) : "";
  if (rc != SQLITE_ROW)
    error = Explain(db_);
  else if (verdict != "ok")
    error = Damaged(verdict);
  sqlite3_finalize(check);
  if (verdict != "ok") return false;
  // Our files are made in WAL mode; one turned back to another mode (by hand)
  // is put right, as every write counts on WAL. A file that cannot be written
  // stays as it is and is still read.
  if (!wal) sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  return true;
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
  if (status == ERROR_BADDB) reason = Damaged(reason);
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

LONG SqliteStore::LoadMirror() {
  bool ownTxn = sqlite3_get_autocommit(db_) != 0;
  if (ownTxn) {
    LONG status = Exec("read", "BEGIN");
    if (status != ERROR_SUCCESS) return status;
  }
  int rc = SQLITE_OK;
  auto finish = [&](int code) -> LONG {
    std::string why = code == SQLITE_OK ? "" : sqlite3_errmsg(db_);
    if (ownTxn)
      sqlite3_exec(db_, code == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) return Fail("read", code, why.c_str());
    stale_ = false;
    ++loads_;
    return ERROR_SUCCESS;
  };
  // The version is read inside the same read transaction as the rows, so the
  // mirror and the version it is stamped with agree.
  if (sqlite3_step(dataVersion_->Get()) == SQLITE_ROW) seenVersion_ = sqlite3_column_int64(dataVersion_->Get(), 0);
  rc = sqlite3_reset(dataVersion_->Get());
  if (rc != SQLITE_OK) return finish(rc);

  ClearTree();
  sqlite3_stmt* keys = nullptr;
  rc = sqlite3_prepare_v2(db_, "SELECT id, parent, name, class FROM keys WHERE id > 2 ORDER BY id", -1, &keys, nullptr);
  if (rc != SQLITE_OK) return finish(rc);
  auto blob = [](sqlite3_stmt* s, int column) {
    const void* data = sqlite3_column_blob(s, column);
    int size = sqlite3_column_bytes(s, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
  };
  while ((rc = sqlite3_step(keys)) == SQLITE_ROW)
    AttachLoadedKey(sqlite3_column_int64(keys, 0), sqlite3_column_int64(keys, 1), blob(keys, 2), blob(keys, 3));
  sqlite3_finalize(keys);
  if (rc != SQLITE_DONE) return finish(rc);

  sqlite3_stmt* vals = nullptr;
  rc = sqlite3_prepare_v2(db_, "SELECT key, name, type, data FROM vals ORDER BY rowid", -1, &vals, nullptr);
  if (rc != SQLITE_OK) return finish(rc);
  while ((rc = sqlite3_step(vals)) == SQLITE_ROW) {
    Key* key = FindKeyById(sqlite3_column_int64(vals, 0));
    if (key)
      AttachLoadedValue(*key, blob(vals, 1), static_cast<DWORD>(sqlite3_column_int64(vals, 2)), blob(vals, 3));
  }
  sqlite3_finalize(vals);
  return finish(rc == SQLITE_DONE ? SQLITE_OK : rc);
}

LONG SqliteStore::BeginReadSnapshot() {
  if (snapshotDepth_++ > 0) return ERROR_SUCCESS;
  // Inside a write transaction the mirror is already the one state there is.
  if (!sqlite3_get_autocommit(db_)) return ERROR_SUCCESS;
  LONG status = Exec("read", "BEGIN");
  if (status == ERROR_SUCCESS) {
    // The version check starts the read transaction that fixes the state.
    status = Revalidate();
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

LONG SqliteStore::Revalidate() {
  if (snapshotTxn_ && !stale_) return ERROR_SUCCESS;
  if (!stale_) {
    sqlite3_stmt* s = dataVersion_->Get();
    int rc = sqlite3_step(s);
    std::int64_t version = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_reset(s);
    if (rc != SQLITE_ROW) return Fail("read", rc);
    if (version == seenVersion_) return ERROR_SUCCESS;
  }
  return LoadMirror();
}

LONG SqliteStore::BeginPhysical(const char* operation, bool) {
  if (snapshotTxn_) {
    // A write ends the read snapshot; the reads after it check as usual.
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    snapshotTxn_ = false;
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
  return status;
}

LONG SqliteStore::CommitPhysical(const char* operation) {
  int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return ERROR_SUCCESS;
  LONG status = Fail(operation, rc);
  RollbackPhysical();
  return status;
}

void SqliteStore::RollbackPhysical() {
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
