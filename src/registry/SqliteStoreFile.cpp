// The store's file: made whole under a temporary name and linked into place,
// checked to be ours before anything is written to it, sealed, and the
// temporaries of killed creators swept away.
#include "registry/SqliteStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "registry/SqliteFailures.h"

namespace pw {
namespace {

using sqlitestore::Damaged;
using sqlitestore::Explain;

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

}  // namespace pw
