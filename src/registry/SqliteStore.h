// The registry in one SQLite file, the default store on Linux.
//
// Every write is its own committed transaction (WAL, synchronous=NORMAL): a
// write that returned survives a crash of the process, and a power cut may lose
// the last writes but never corrupts the file. Several processes share one file
// and no write is lost. The whole tree is mirrored in memory for speed; the
// mirror is checked at every operation and reloaded when another process has
// committed, so every read sees the latest state. The check is a look at the
// log index's header in shared memory, which every commit rewrites; only when
// that changed is PRAGMA data_version asked (a read transaction's locks). The
// mirror holds every key; a key's values are read when they are first needed.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "registry/TreeStore.h"

struct sqlite3;
struct sqlite3_file;
struct sqlite3_stmt;

namespace pw {

class SqliteStore : public TreeStore {
 public:
  // "PwRg": marks a file as a store of ours.
  static constexpr std::int32_t kApplicationId = 0x50775267;
  static constexpr int kSchemaVersion = 1;

  struct OpenResult {
    std::unique_ptr<SqliteStore> store;  // null on failure
    std::string error;                   // what went wrong, naming the file
    bool created = false;                // a new file was made (and laid out)
  };

  // Opens the store at `path`. A path that does not exist is created when its
  // folder exists (mode 0600), laid out by `layOut`, and appears whole or not
  // at all. An existing file is used only when its header says it is a store of
  // ours; that is checked by reading it before anything is written, and any
  // other file (an empty one too) is refused and left untouched.
  static OpenResult Open(const std::string& path,
                         const std::function<void(RegistryStore&)>& layOut = {});

  ~SqliteStore() override;

  std::string Describe() const override { return path_; }
  std::string FilePath() const override { return path_; }



  // A read transaction: the mirror is checked once at its start and then
  // trusted until its end, since no other process's commit can show inside it.
  LONG BeginReadSnapshot() override;
  void EndReadSnapshot() override;

  // Our writes, counted, and another connection's, seen as a new data version
  // of the file: one prepared statement, no reading of the tree.
  std::uint64_t ChangeStamp() override;

  // How often the mirror was loaded from the file; tests use it to see that a
  // store does not reload without need.
  int MirrorLoads() const { return loads_; }

  // How long an operation waits for another connection's write to end before
  // it fails with ERROR_BUSY; 5 s unless changed. Tests shorten it.
  void SetBusyTimeout(int milliseconds);
  // Caps the file at `pages` pages of the database, so that writes needing more
  // fail as on a full disk. Tests use it.
  void SetMaxPageCount(unsigned pages);

 protected:
  LONG Revalidate() override;
  LONG LoadValues(Key& key) override;
  // Names are UTF-8 text: one that is not could never be written to a
  // registry file, so creating a key or setting a value with it gives 87.
  bool AcceptsName(std::string_view name) const override;
  // Reads the values of every key not read yet, in one pass.
  LONG LoadAllValues();
  LONG BeginPhysical(const char* operation, bool explicitTxn) override;
  LONG CommitPhysical(const char* operation) override;
  void RollbackPhysical() override;
  LONG PersistKey(Key& key) override;
  LONG PersistValue(const Key& key, const Value& value, bool isNew) override;
  LONG PersistValueDelete(const Key& key, const Value& value) override;
  LONG PersistKeyDelete(const Key& key) override;

 private:
  class Statement;

  explicit SqliteStore(std::string path);
  // Makes a new store at `path` and lays it out; false with result.error set
  // when it could not. Another process making it at the same time is no failure.
  static bool CreateFile(const std::string& path, const std::function<void(RegistryStore&)>& layOut,
                         OpenResult& result);
  // Checks, through a read-only connection, that the file holds our layout.
  bool Inspect(std::string& error);
  bool Connect(bool create, std::string& error);
  // While set, closing the connection leaves the file and its log as they are.
  void KeepFileOnClose(bool keep);
  bool CreateSchema(std::string& error);
  bool Prepare(std::string& error);
  // Moves everything into the file itself and closes the connection, checking
  // that both happened.
  bool Seal(std::string& error);
  void FinalizeStatements();
  void Disconnect();
  // Reads every key into the mirror (their values when first needed). With
  // `checkRows`, also checks that the rows hang together (PlaceKeys, CheckRows).
  LONG LoadMirror(bool checkRows = false);
  // Places the keys read under their parents, in the order of the keys'
  // index; with `checkRows`, also checks that the index entries are those of
  // the rows, whose count and sum of RowSum are `keyRows` and `keySum`.
  // Returns the SQLite result of reading; `damage` says what is wrong.
  int PlaceKeys(bool checkRows, std::int64_t keyRows, std::uint64_t keySum, std::string& damage);
  // Whether the values hang together: their index entries are those of their
  // rows, and every value belongs to a key. Returns the SQLite result of
  // reading; `damage` says what is wrong when they do not.
  int CheckRows(std::string& damage);
  // Reports a failure of the medium to the sink and returns its status; `why`
  // replaces SQLite's own message when given.
  LONG Fail(const char* operation, int sqliteCode, const char* why = nullptr);
  LONG ExpectOneRow(const char* operation);
  // The log index's header (its two copies agreeing) from the shared memory
  // the connection maps; false when there is none to read (not in WAL mode)
  // or a writer is rewriting it now.
  using LogHeader = std::array<std::uint64_t, 6>;
  bool ReadLogHeader(LogHeader& header) const;
  // Brings the mirror up to date; `askVersion` asks SQLite even when the log
  // header says nothing changed, which also starts a read transaction.
  LONG CheckMirror(bool askVersion);
  // Checks every page of the file once, before the first write.
  LONG CheckBeforeFirstWrite(const char* operation);
  LONG Exec(const char* operation, const char* sql);

  std::string path_;
  sqlite3* db_ = nullptr;
  std::unique_ptr<Statement> dataVersion_, keyValues_, allValues_, insertKey_, insertValue_, updateValue_, deleteValue_,
      deleteValues_, deleteKey_;
  std::int64_t seenVersion_ = -1;
  sqlite3_file* logFile_ = nullptr;  // the file in WAL mode, whose log header can be read
  bool headerSeen_ = false;    // seenHeader_ was read when the mirror was last found current
  LogHeader seenHeader_{};
  bool stale_ = true;
  int busyTimeoutMs_ = 5000;  // then a busy store counts as failed
  bool gaveUpWaiting_ = false;
  std::chrono::steady_clock::time_point gaveUpAt_;
  int loads_ = 0;
  std::int64_t stampVersion_ = -1;  // the data version ChangeStamp saw last
  bool stampHeaderSeen_ = false;    // stampHeader_ is the log header ChangeStamp saw last
  LogHeader stampHeader_{};
  std::uint64_t otherChanges_ = 0;  // how often either changed
  int snapshotDepth_ = 0;
  bool snapshotTxn_ = false;  // a read transaction of ours is open
  bool writeLocked_ = false;  // between BEGIN IMMEDIATE (the mirror checked) and its end
  std::string lastReason_;    // the last failure's reason, for messages at open
  bool valuesCompared_ = false;  // every value's row was compared with its index entry at the last load
  int keysReadOneByOne_ = 0;      // keys whose values were read alone since then
  bool checkedForWrites_ = false;  // the file's pages were found sound before a write
  std::string damage_;             // what that check found wrong, refusing every write
};

}  // namespace pw
