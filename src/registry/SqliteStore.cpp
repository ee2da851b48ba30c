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

#include "registry/SqliteFailures.h"
#include "registry/Utf8.h"

namespace pw {
namespace {

using sqlitestore::Damaged;
using sqlitestore::Explain;

constexpr const char* kBadKey = "a key has no parent, or its name is taken twice";

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

}  // namespace

// A prepared statement that resets itself after use.
class SqliteStore::Statement {
 public:
  Statement(sqlite3* db, const char* sql) { prepareStatus_ = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  bool Ok() const { return prepareStatus_ == SQLITE_OK && stmt_; }
  sqlite3_stmt* Get() { return stmt_; }
  void BindInt(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
  // An empty blob, never NULL, also for a view without data.
  void BindBlob(int i, std::string_view v) {
    sqlite3_bind_blob(stmt_, i, v.data() ? v.data() : "", static_cast<int>(v.size()), SQLITE_TRANSIENT);
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
    if (code != SQLITE_OK) {
      DropUnplacedKeys();
      return Fail("read", code, why.c_str());
    }
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
    if (id > kLocalMachineRootId &&
        !ReadLoadedKey(id, parent, BlobView(keys, 2), BlobView(keys, 3)))
      damage = kBadKey;
  }
  sqlite3_finalize(keys);
  if (rc != SQLITE_DONE && damage.empty()) return finish(rc);
  if (damage.empty()) rc = PlaceKeys(checkRows, rows, sum, damage);
  rc = checkRows && damage.empty() && rc == SQLITE_OK ? CheckRows(damage) : rc;
  // A key's values are read when they are first needed (LoadValues): a store
  // holding a great many values opens as fast as one holding few.
  return finish(rc);
}

int SqliteStore::PlaceKeys(bool checkRows, std::int64_t keyRows, std::uint64_t keySum,
                           std::string& damage) {
  // The index holds the keys by parent and folded name, which is the order of
  // a parent's map when the folded names stored are ours: read in it, each
  // key goes in at the end of its parent's map. Its entries are summed on the
  // way, to be compared with the rows.
  sqlite3_stmt* s = nullptr;
  std::int64_t rows = 0;
  std::uint64_t sum = 0;
  bool placed = true;
  int rc = sqlite3_prepare_v2(db_, "SELECT rowid, parent, fold FROM keys INDEXED BY keys_by_name",
                              -1, &s, nullptr);
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      std::int64_t id = sqlite3_column_int64(s, 0);
      ++rows;
      if (checkRows) sum += RowSum(id, sqlite3_column_int64(s, 1), BlobView(s, 2));
      if (id > kLocalMachineRootId) placed = PlaceLoadedKey(id) && placed;
    }
  }
  sqlite3_finalize(s);
  if (rc != SQLITE_DONE) return rc;
  // Keys the index lacks, or that came before their parent in it.
  if (!PlaceRemainingKeys() || !placed)
    damage = kBadKey;
  else if (checkRows && (rows != keyRows || sum != keySum))
    damage = "the keys and their index disagree";
  return SQLITE_OK;
}

int SqliteStore::CheckRows(std::string& damage) {
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
  // Counting walks every page of both trees, whatever their size.
  std::int64_t tableRows = 0, indexRows = 0;
  auto count = [&](const char* sql, std::int64_t& n) {
    sqlite3_stmt* s = nullptr;
    int code = sqlite3_prepare_v2(db_, sql, -1, &s, nullptr);
    if (code == SQLITE_OK && (code = sqlite3_step(s)) == SQLITE_ROW) n = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return code == SQLITE_ROW ? SQLITE_OK : code;
  };
  int rc = count("SELECT count(*) FROM vals NOT INDEXED", tableRows);
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
  std::int64_t rows = 0;
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
  insertKey_->BindBlob(2, key.Name());
  insertKey_->BindBlob(3, key.Fold());
  insertKey_->BindBlob(4, key.Class());
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
