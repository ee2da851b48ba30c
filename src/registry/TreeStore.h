// The platform's registry semantics over an in-memory tree, written once for the
// Linux stores. MemoryStore keeps only the tree; SqliteStore keeps it as a mirror
// of its file and persists every change through the hooks below before the tree
// is changed.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/RegistryStore.h"
#include "registry/ValueList.h"

namespace pw {

class TreeStore : public RegistryStore {
 public:
  LONG RegOpenKeyExA(HKEY hKey, RegName lpSubKey, DWORD ulOptions, REGSAM samDesired,
                     HKEY* phkResult) override;
  LONG RegOpenKeyA(HKEY hKey, RegName lpSubKey, HKEY* phkResult) override;
  LONG RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD Reserved, RegName lpClass,
                       DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                       HKEY* phkResult, DWORD* lpdwDisposition) override;
  LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                     char* lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) override;
  LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                     DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override;
  LONG RegQueryValueExA(HKEY hKey, RegName lpValueName, DWORD* lpReserved, DWORD* lpType,
                        BYTE* lpData, DWORD* lpcbData) override;
  LONG RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD Reserved, DWORD dwType,
                      const BYTE* lpData, DWORD cbData) override;
  LONG RegDeleteValueA(HKEY hKey, RegName lpValueName) override;
  LONG RegDeleteKeyA(HKEY hKey, RegName lpSubKey) override;
  LONG RegCloseKey(HKEY hKey) override;

  LONG BeginTransaction() override;
  LONG CommitTransaction() override;
  void RollbackTransaction() override;
  bool SupportsRollback() const override { return true; }
  // Counts the writes through this object (and what undid them).
  std::uint64_t ChangeStamp() override { return localChanges_; }

  // Number of handles open now (hives not counted); tests use it to find leaks.
  std::size_t OpenHandleCount() const { return handles_.size(); }

 protected:
  // Writes through this object that changed the tree, and rollbacks.
  std::uint64_t localChanges_ = 0;

  static constexpr std::int64_t kCurrentUserRootId = 1;
  static constexpr std::int64_t kLocalMachineRootId = 2;

  using Value = StoredValue;

  struct Key;
  // A key's subkeys in enumeration order, so that enumerating by index costs
  // O(1) per call; their names side by side in one text, so that a pass over
  // them reads memory in sequence instead of visiting every subkey.
  struct SubkeyOrder {
    struct Child {
      Key* key;
      std::uint32_t nameAt;  // in `names`
      std::uint32_t nameSize;
    };
    std::vector<Child> children;
    std::string names;
  };

  // A key's name, folded name and class in one allocation; the fold is not
  // kept again where it equals the name (most names). A mirror holds one key
  // for every key of the file, so each byte here counts that many times.
  class KeyNames {
   public:
    KeyNames() = default;
    KeyNames(std::string_view name, std::string_view fold, std::string_view cls);
    KeyNames(const KeyNames& other) : KeyNames(other.Name(), other.Fold(), other.Class()) {}
    KeyNames(KeyNames&&) = default;
    KeyNames& operator=(KeyNames&&) = default;
    KeyNames& operator=(const KeyNames& other) { return *this = KeyNames(other); }
    std::string_view Name() const { return {text_.get(), nameSize_}; }
    std::string_view Fold() const {
      return foldSize_ == kSameAsName ? Name() : std::string_view(text_.get() + nameSize_, foldSize_);
    }
    std::string_view Class() const {
      return {text_.get() + nameSize_ + (foldSize_ == kSameAsName ? 0 : foldSize_), classSize_};
    }

   private:
    static constexpr std::uint32_t kSameAsName = 0xFFFFFFFFu;
    std::unique_ptr<char[]> text_;
    std::uint32_t nameSize_ = 0;
    std::uint32_t foldSize_ = kSameAsName;
    std::uint32_t classSize_ = 0;
  };

  struct Key {
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    // Takes the subtree apart without recursion, however deep it is.
    ~Key();

    std::string_view Name() const { return names.Name(); }
    std::string_view Fold() const { return names.Fold(); }
    std::string_view Class() const { return names.Class(); }

    std::int64_t id = 0;
    // Last write time (FILETIME units): a change to the key's values or to
    // its list of subkeys, or its creation or reload.
    std::uint64_t written = 0;
    Key* parent = nullptr;
    KeyNames names;  // set before the key enters its parent's map
    // By folded name; the name viewed is the child's own fold, which never
    // changes while the child is in the map.
    std::map<std::string_view, std::unique_ptr<Key>> children;
    ValueList values;
    // Subkeys in enumeration order (none for a key without subkeys, which
    // most keys are), rebuilt after a change of `children`.
    std::unique_ptr<SubkeyOrder> order;
    DWORD depth = 0;  // levels below the hive
    // False while a store that reads values only when they are first needed
    // (LoadValues) has not read this key's.
    bool valuesLoaded = true;
    bool orderStale = true;
    // False while a load has read the key but not put it in its parent's
    // map (ReadLoadedKey).
    bool placed = true;
  };

  TreeStore();
  ~TreeStore() override;

  // --- Hooks for a store that keeps the tree elsewhere too. ---
  // Called before every operation that reads the tree: bring it up to date.
  virtual LONG Revalidate() { return ERROR_SUCCESS; }
  // Reads the values of a key attached without them (valuesLoaded false) into
  // key.values, through AttachLoadedValue.
  virtual LONG LoadValues(Key& key) {
    key.valuesLoaded = true;
    return ERROR_SUCCESS;
  }
  // Whether a name may be given to a new key or value (87 otherwise).
  virtual bool AcceptsName(std::string_view) const { return true; }
  // Start, commit or undo one physical unit of writes. `explicitTxn` is true
  // for BeginTransaction; otherwise the unit is a single operation.
  virtual LONG BeginPhysical(const char* operation, bool explicitTxn) = 0;
  virtual LONG CommitPhysical(const char* operation) = 0;
  virtual void RollbackPhysical() = 0;
  // Persist a change before the tree takes it. PersistKey sets key.id.
  virtual LONG PersistKey(Key& key) = 0;
  virtual LONG PersistValue(const Key& key, const Value& value, bool isNew) = 0;
  virtual LONG PersistValueDelete(const Key& key, const Value& value) = 0;
  virtual LONG PersistKeyDelete(const Key& key) = 0;

  // --- Tree access for subclasses. ---
  // Drops every key but the two hive roots. The keys attached after it, and
  // the roots, take one write time: a reload may hold anyone's changes.
  void ClearTree();
  // A reload in two steps, so that each parent's subkeys can enter its map in
  // the map's own order, each at the end, rather than each searched for.
  // ReadLoadedKey makes a key read from elsewhere (keys in the order of their
  // ids), its values to be read by LoadValues; its parent must have been read
  // before it. False when it was not.
  bool ReadLoadedKey(std::int64_t id, std::int64_t parentId, std::string_view name,
                     std::string_view cls);
  // Puts a key read but not yet placed under its parent; best called in the
  // order of (parent, folded name), though any order gives the same tree.
  // Nothing happens when there is no such key, it is placed already, or its
  // parent is not placed yet (PlaceRemainingKeys does it). False when the
  // parent already has a subkey of its name.
  bool PlaceLoadedKey(std::int64_t id);
  // Places every key still unplaced, in the order of their ids; false when a
  // name is taken twice. Afterwards no key is left unplaced.
  bool PlaceRemainingKeys();
  // Forgets the keys read but not placed (a reload that stopped half way).
  void DropUnplacedKeys();
  void AttachLoadedValue(Key& key, std::string name, DWORD type, std::string data);
  Key* FindKeyById(std::int64_t id) const;
  // Visits every key, hives included, in no particular order.
  template <typename Visit>
  void ForEachKey(Visit visit) const {
    for (const auto& [id, key] : byId_) visit(*key);
  }
  Key* RootOf(HKEY hive) const;
  // A deep copy of the whole tree and its restoration (rollback in memory).
  struct Snapshot;
  std::unique_ptr<Snapshot> TakeSnapshot() const;
  void RestoreSnapshot(const Snapshot& snapshot);

 private:
  struct OpenHandle {
    std::int64_t keyId;
    REGSAM access;
  };

  LONG ResolveHandle(HKEY hKey, Key** key, REGSAM* access) const;
  // The up-to-date key behind a handle that carries the rights `needed`.
  LONG CurrentKey(HKEY hKey, REGSAM needed, Key** key);
  // Reads the key's values when they have not been read.
  LONG EnsureValues(Key& key);
  LONG OpenPath(HKEY hKey, RegName path, REGSAM access, bool sameHandleForEmpty, HKEY* phkResult);
  HKEY NewHandle(std::int64_t keyId, REGSAM access);
  LONG BeginWrite(const char* operation);
  // Ends a write unit with the operation's own outcome (a refused operation
  // wrote nothing and leaves an open transaction intact).
  LONG EndWrite(const char* operation, LONG status);
  // Ends it after the medium failed: the unit, or the open transaction at its
  // commit, is undone.
  LONG FailWrite(LONG status);
  void IndexKey(Key* key);
  void UnindexSubtree(Key* key);
  static const SubkeyOrder& Ordered(Key& key);
  static std::unique_ptr<Key> CloneKey(const Key& key, Key* parent);
  // The current time as a FILETIME, later than every one given before, so
  // that two writes never share a stamp.
  std::uint64_t NextWriteTime();

  // False when the name is taken; nothing happens while the parent is unplaced.
  bool Place(Key* key);

  // The keys read by ReadLoadedKey, in the order of ids; those not placed yet
  // are owned here. The id beside each spares a visit to the key.
  struct UnplacedKey {
    std::int64_t id;
    Key* key;
  };
  std::vector<UnplacedKey> unplaced_;
  std::string foldBuffer_;  // ReadLoadedKey's, kept for its room
  std::unique_ptr<Key> currentUser_;
  std::unique_ptr<Key> localMachine_;
  std::unordered_map<std::int64_t, Key*> byId_;
  std::unordered_map<HKEY, OpenHandle> handles_;
  HKEY nextHandle_ = 0x100;
  std::uint64_t lastWriteTime_ = 0;
  std::uint64_t loadTime_ = 0;  // given to keys attached since ClearTree
  int txnDepth_ = 0;
  LONG txnStatus_ = ERROR_SUCCESS;  // first failure inside the open transaction
};

struct TreeStore::Snapshot {
  std::unique_ptr<Key> currentUser;
  std::unique_ptr<Key> localMachine;
};

}  // namespace pw
