#include "registry/SqliteStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace pw {
namespace {

constexpr int kBusyTimeoutMs = 5000;  // then a busy store counts as failed

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
  dataVersion_.reset();
  insertKey_.reset();
  insertValue_.reset();
  updateValue_.reset();
  deleteValue_.reset();
  deleteValues_.reset();
  deleteKey_.reset();
  if (db_) sqlite3_close(db_);
}

SqliteStore::OpenResult SqliteStore::Open(const std::string& path,
                                          const std::function<void(RegistryStore&)>& layOut) {
  OpenResult result;
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      result.error = "cannot use the store " + path + ": " + std::strerror(errno);
      return result;
    }
    std::string folder = FolderOf(path);
    struct stat folderInfo;
    if (::stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode)) {
      result.error = "cannot create the store " + path + ": the folder " + folder + " does not exist";
      return result;
    }
    // Build the new store under a temporary name and link it into place, so
    // that no process ever sees a half-made store.
    std::string temp = path + ".new-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
      result.error = "cannot create the store " + path + ": " + std::strerror(errno);
      return result;
    }
    ::fchmod(fd, 0600);
    ::close(fd);
    temp.assign(name.data());
    std::string error;
    {
      std::unique_ptr<SqliteStore> fresh(new SqliteStore(temp));
      if (!fresh->Connect(true, error) || !fresh->CreateSchema(error)) {
        fresh.reset();
        ::unlink(temp.c_str());
        result.error = "cannot create the store " + path + ": " + error;
        return result;
      }
      bool laidOut = true;
      fresh->SetErrorSink([&](const StoreFailure& failure) {
        laidOut = false;
        error = failure.reason;
      });
      if (layOut) layOut(*fresh);
      if (!laidOut) {
        fresh.reset();
        ::unlink(temp.c_str());
        result.error = "cannot lay out the new store " + path + ": " + error;
        return result;
      }
    }  // closing checkpoints the log into the file and removes it
    if (::link(temp.c_str(), path.c_str()) == 0) {
      result.created = true;
    } else if (errno != EEXIST) {
      result.error = "cannot create the store " + path + ": " + std::strerror(errno);
      ::unlink(temp.c_str());
      return result;
    }
    ::unlink(temp.c_str());  // another process made it first: use theirs
    SyncFolder(folder);
  } else if (!S_ISREG(info.st_mode)) {
    result.error = "cannot use " + path + " as a store: it is not a regular file";
    return result;
  }

  std::string why;
  if (!HasOurHeader(path, why)) {
    result.error = "cannot use " + path + " as a store: " + why + "; it was left unchanged";
    return result;
  }
  std::unique_ptr<SqliteStore> store(new SqliteStore(path));
  std::string error;
  if (!store->Connect(false, error)) {
    result.error = "cannot open the store " + path + ": " + error;
    return result;
  }
  if (store->LoadMirror() != ERROR_SUCCESS) {
    result.error = "cannot read the store " + path + ": " + sqlite3_errmsg(store->db_);
    return result;
  }
  result.store = std::move(store);
  return result;
}

bool SqliteStore::Connect(bool create, std::string& error) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  int rc = sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    error = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    return false;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // Our own files are in WAL mode from their creation; setting it again on an
  // existing store writes nothing.
  const char* setup = create ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                             : "PRAGMA synchronous=NORMAL;";
  char* message = nullptr;
  if (sqlite3_exec(db_, setup, nullptr, nullptr, &message) != SQLITE_OK) {
    error = message ? message : "cannot configure the store";
    sqlite3_free(message);
    return false;
  }
  if (!create) {
    // Our schema, checked before anything is written.
    sqlite3_stmt* check = nullptr;
    rc = sqlite3_prepare_v2(db_, "SELECT (SELECT user_version FROM pragma_user_version), "
                                 "(SELECT count(*) FROM sqlite_schema WHERE name IN ('keys','vals'))",
                            -1, &check, nullptr);
    bool ok = rc == SQLITE_OK && sqlite3_step(check) == SQLITE_ROW &&
              sqlite3_column_int(check, 0) == kSchemaVersion && sqlite3_column_int(check, 1) == 2;
    if (rc == SQLITE_OK && !ok) error = sqlite3_errcode(db_) == SQLITE_OK || sqlite3_errcode(db_) == SQLITE_ROW
                                            ? "its layout is not one this version knows"
                                            : sqlite3_errmsg(db_);
    else if (rc != SQLITE_OK) error = sqlite3_errmsg(db_);
    sqlite3_finalize(check);
    if (!ok) return false;
  }
  dataVersion_ = std::make_unique<Statement>(db_, "PRAGMA data_version");
  return true;
}

bool SqliteStore::CreateSchema(std::string& error) {
  std::string sql =
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
  return LoadMirror() == ERROR_SUCCESS;
}

LONG SqliteStore::Fail(const char* operation, int sqliteCode) {
  LONG status = StatusFor(sqliteCode);
  std::string reason = sqlite3_errmsg(db_);
  if (reason.empty() || reason == "not an error") reason = sqlite3_errstr(sqliteCode);
  ReportFailure({path_, operation, reason, status});
  return status;
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
    if (ownTxn) sqlite3_exec(db_, code == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
      stale_ = true;
      return Fail("read", code);
    }
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
  // IMMEDIATE takes the write lock now, so the tree checked below is the tree
  // the write applies to.
  LONG status = Exec(operation, "BEGIN IMMEDIATE");
  // Once a write has waited the whole timeout in vain, the store stays busy:
  // later writes try once without waiting (an action of 28 writes fails in
  // seconds, not minutes) until one gets the lock again.
  if (status == ERROR_BUSY && !gaveUpWaiting_) {
    gaveUpWaiting_ = true;
    sqlite3_busy_timeout(db_, 0);
  } else if (status == ERROR_SUCCESS && gaveUpWaiting_) {
    gaveUpWaiting_ = false;
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
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
  if (!insertKey_) insertKey_ = std::make_unique<Statement>(db_, "INSERT INTO keys(parent, name, fold, class) VALUES (?, ?, ?, ?)");
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
    if (!insertValue_) insertValue_ = std::make_unique<Statement>(db_, "INSERT INTO vals(key, name, fold, type, data) VALUES (?, ?, ?, ?, ?)");
    insertValue_->BindInt(1, key.id);
    insertValue_->BindBlob(2, value.name);
    insertValue_->BindBlob(3, value.fold);
    insertValue_->BindInt(4, value.type);
    insertValue_->BindBlob(5, value.data);
    rc = insertValue_->Run();
  } else {
    // An update keeps the row, and with it the value's place in the order.
    if (!updateValue_) updateValue_ = std::make_unique<Statement>(db_, "UPDATE vals SET type = ?, data = ? WHERE key = ? AND fold = ?");
    updateValue_->BindInt(1, value.type);
    updateValue_->BindBlob(2, value.data);
    updateValue_->BindInt(3, key.id);
    updateValue_->BindBlob(4, value.fold);
    rc = updateValue_->Run();
  }
  return rc == SQLITE_OK ? ERROR_SUCCESS : Fail("RegSetValueExA", rc);
}

LONG SqliteStore::PersistValueDelete(const Key& key, const Value& value) {
  if (!deleteValue_) deleteValue_ = std::make_unique<Statement>(db_, "DELETE FROM vals WHERE key = ? AND fold = ?");
  deleteValue_->BindInt(1, key.id);
  deleteValue_->BindBlob(2, value.fold);
  int rc = deleteValue_->Run();
  return rc == SQLITE_OK ? ERROR_SUCCESS : Fail("RegDeleteValueA", rc);
}

LONG SqliteStore::PersistKeyDelete(const Key& key) {
  if (!deleteValues_) deleteValues_ = std::make_unique<Statement>(db_, "DELETE FROM vals WHERE key = ?");
  if (!deleteKey_) deleteKey_ = std::make_unique<Statement>(db_, "DELETE FROM keys WHERE id = ?");
  deleteValues_->BindInt(1, key.id);
  int rc = deleteValues_->Run();
  if (rc == SQLITE_OK) {
    deleteKey_->BindInt(1, key.id);
    rc = deleteKey_->Run();
  }
  return rc == SQLITE_OK ? ERROR_SUCCESS : Fail("RegDeleteKeyA", rc);
}

}  // namespace pw
