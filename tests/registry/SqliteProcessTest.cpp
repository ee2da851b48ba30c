// Several processes on one SQLite store: concurrent writers, a writer killed
// mid-write, readers that must see other processes' writes at once, and
// processes racing to create the store.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "SqliteTestKit.h"
#include "TempDir.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneSecurity.h"
#include "registry/Enumeration.h"
#include "registry/KnownKeys.h"
#include "registry/Registry.h"

namespace pw::test {
namespace {

constexpr const char* kShared = "Software\\SqliteProcessTest";

class SqliteProcessTest : public testing::Test {
 protected:
  // Makes the store with the shared key, and closes it again: a child must not
  // inherit an open connection.
  void MakeStore() {
    auto store = MustOpen(path_, LayOutNewStore);
    ASSERT_TRUE(store);
    store->RegCloseKey(MustCreateKey(*store, HKEY_CURRENT_USER, kShared));
  }

  TempDir dir_;
  std::string path_ = dir_.File("registry.db");
};

// Opens the store and the shared key in a child; an empty string when done.
std::string OpenShared(const std::string& path, std::unique_ptr<SqliteStore>& store, HKEY& key) {
  SqliteStore::OpenResult result = SqliteStore::Open(path);
  if (!result.store) return "cannot open: " + result.error;
  store = std::move(result.store);
  if (store->RegOpenKeyExA(HKEY_CURRENT_USER, kShared, 0, kAccess3F, &key) != ERROR_SUCCESS)
    return "cannot open the shared key";
  return "";
}

TEST_F(SqliteProcessTest, TwoProcessesWritingAtOnceLoseNoWrite) {
  MakeStore();
  constexpr int kValues = 500;
  constexpr int kIncrements = 50;  // read-modify-write transactions on one shared counter
  Pipe start;
  auto writer = [&](char tag) {
    return [&, tag]() -> std::string {
      start.CloseWrite();
      AwaitSignal(start.read);  // the parent closing its end starts both
      std::unique_ptr<SqliteStore> store;
      HKEY key = 0;
      std::string problem = OpenShared(path_, store, key);
      if (!problem.empty()) return problem;
      for (int i = 0; i < kValues; ++i) {
        LONG status =
            SetDword(*store, key, std::string(1, tag) + std::to_string(i), static_cast<DWORD>(i));
        if (status != ERROR_SUCCESS)
          return "write " + std::to_string(i) + " gave " + std::to_string(status);
        if (i % (kValues / kIncrements) == 0) {
          LONG txn = RunInTransaction(*store, [&] {
            long long count = GetDword(*store, key, "counter");
            SetDword(*store, key, "counter", static_cast<DWORD>(count < 0 ? 1 : count + 1));
          });
          if (txn != ERROR_SUCCESS) return "increment gave " + std::to_string(txn);
        }
      }
      return "";
    };
  };
  Child a(writer('A'));
  Child b(writer('B'));
  start.CloseRead();
  start.CloseWrite();  // both start together
  EXPECT_EQ(a.Finish(), "");
  EXPECT_EQ(b.Finish(), "");

  auto store = MustOpen(path_);
  ASSERT_TRUE(store);
  HKEY key = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kShared, 0, kAccess3F, &key), ERROR_SUCCESS);
  int present = 0;
  for (char tag : {'A', 'B'})
    for (int i = 0; i < kValues; ++i)
      present += GetDword(*store, key, std::string(1, tag) + std::to_string(i)) == i;
  EXPECT_EQ(present, 2 * kValues);
  EXPECT_EQ(GetDword(*store, key, "counter"), 2 * kIncrements);
  store->RegCloseKey(key);
}

TEST_F(SqliteProcessTest, AnOpenStoreSeesAnotherProcesssWritesAtItsNextOperation) {
  MakeStore();
  Pipe go, done;
  Child child([&]() -> std::string {
    go.CloseWrite();
    done.CloseRead();
    std::unique_ptr<SqliteStore> store;
    HKEY key = 0;
    for (int step = 0; AwaitSignal(go.read); ++step) {
      if (!store) {
        std::string problem = OpenShared(path_, store, key);
        if (!problem.empty()) return problem;
      }
      LONG status = ERROR_SUCCESS;
      if (step == 0) status = SetDword(*store, key, "fromChild", 5);
      if (step == 1) {
        HKEY sub = 0;
        status = store->RegCreateKeyExA(key, "childKey", 0, nullptr, 0, kAccess3F, nullptr, &sub,
                                        nullptr);
        store->RegCloseKey(sub);
      }
      if (step == 2) status = store->RegDeleteValueA(key, "fromChild");
      if (status != ERROR_SUCCESS)
        return "step " + std::to_string(step) + " gave " + std::to_string(status);
      SendSignal(done.write);
    }
    return "";
  });
  go.CloseRead();
  done.CloseWrite();
  auto step = [&] {
    SendSignal(go.write);
    return AwaitSignal(done.read);
  };

  // Opened after the fork, so the child holds nothing of this connection.
  auto store = MustOpen(path_);
  ASSERT_TRUE(store);
  HKEY key = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kShared, 0, kAccess3F, &key), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(*store, key, "fromChild"), -1);

  ASSERT_TRUE(step());
  EXPECT_EQ(GetDword(*store, key, "fromChild"), 5);
  ASSERT_TRUE(step());
  std::vector<std::string> names;
  EXPECT_EQ(ForEachSubkey(*store, key,
                          [&](const std::string& name) {
                            names.push_back(name);
                            return true;
                          }),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(names, std::vector<std::string>{"childKey"});
  ASSERT_TRUE(step());
  EXPECT_EQ(GetDword(*store, key, "fromChild"), -1);
  store->RegCloseKey(key);
  go.CloseWrite();
  EXPECT_EQ(child.Finish(), "");
}

TEST_F(SqliteProcessTest, AKeyAnotherProcessDeletesGivesKeyDeletedAndEndsTheEnumerationThroughIt) {
  MakeStore();
  {
    auto store = MustOpen(path_);
    ASSERT_TRUE(store);
    HKEY key = MustCreateKey(*store, HKEY_CURRENT_USER, std::string(kShared) + "\\doomed");
    for (const char* name : {"a", "b", "c"}) store->RegCloseKey(MustCreateKey(*store, key, name));
    ASSERT_EQ(SetDword(*store, key, "v", 1), ERROR_SUCCESS);
    store->RegCloseKey(key);
  }
  Pipe go, done;
  Child child([&]() -> std::string {
    go.CloseWrite();
    done.CloseRead();
    if (!AwaitSignal(go.read)) return "no go";
    std::unique_ptr<SqliteStore> store;
    HKEY key = 0;
    std::string problem = OpenShared(path_, store, key);
    if (!problem.empty()) return problem;
    HKEY doomed = 0;
    if (store->RegOpenKeyExA(key, "doomed", 0, kAccess3F, &doomed) != ERROR_SUCCESS)
      return "no doomed key";
    for (const char* name : {"a", "b", "c"})
      if (store->RegDeleteKeyA(doomed, name) != ERROR_SUCCESS)
        return std::string("cannot delete ") + name;
    if (store->RegDeleteKeyA(key, "doomed") != ERROR_SUCCESS) return "cannot delete the key";
    SendSignal(done.write);
    return "";
  });
  go.CloseRead();
  done.CloseWrite();

  auto store = MustOpen(path_);
  ASSERT_TRUE(store);
  HKEY doomed = 0;
  ASSERT_EQ(store->RegOpenKeyA(HKEY_CURRENT_USER, std::string(kShared) + "\\doomed", &doomed),
            ERROR_SUCCESS);
  // The other process deletes the key while this one is enumerating it.
  std::vector<std::string> seen;
  LONG ended = ForEachSubkey(*store, doomed, [&](const std::string& name) {
    seen.push_back(name);
    if (seen.size() == 1) {
      SendSignal(go.write);
      EXPECT_TRUE(AwaitSignal(done.read));
    }
    return seen.size() < 10;  // never reached when the enumeration ends as it should
  });
  EXPECT_EQ(ended, ERROR_KEY_DELETED);
  EXPECT_EQ(seen, std::vector<std::string>{"a"});
  EXPECT_EQ(ForEachValue(*store, doomed, [](const EnumeratedValue&) { return true; }),
            ERROR_KEY_DELETED);
  EXPECT_EQ(GetDword(*store, doomed, "v"), -1);
  EXPECT_EQ(SetDword(*store, doomed, "v", 2), ERROR_KEY_DELETED);
  EXPECT_EQ(store->RegCloseKey(doomed), ERROR_SUCCESS);
  EXPECT_EQ(child.Finish(), "");
}

TEST_F(SqliteProcessTest, AWriterKilledMidLoopLeavesASoundStoreWithEveryReturnedWrite) {
  MakeStore();
  int next = 0;  // each round goes on where the last one's writes ended
  for (int killAfter : {40, 170, 330}) {
    SCOPED_TRACE("killed after " + std::to_string(killAfter) + " writes were reported");
    Pipe reports;
    Child writer([&]() -> std::string {
      reports.CloseRead();
      std::unique_ptr<SqliteStore> store;
      HKEY key = 0;
      std::string problem = OpenShared(path_, store, key);
      if (!problem.empty()) return problem;
      std::string data(300, 'd');
      for (std::int32_t i = next;; ++i) {
        // Values, keys with a class, and text large enough to span pages.
        data[static_cast<std::size_t>(i) % data.size()] = static_cast<char>('a' + i % 26);
        LONG status = SetText(*store, key, "w" + std::to_string(i),
                              data.substr(0, static_cast<std::size_t>(i) % 300));
        if (status == ERROR_SUCCESS && i % 7 == 0) {
          HKEY sub = 0;
          status = store->RegCreateKeyExA(key, "k" + std::to_string(i), 0, "REG_DWORD", 0,
                                          kAccess3F, nullptr, &sub, nullptr);
          store->RegCloseKey(sub);
        }
        if (status != ERROR_SUCCESS)
          return "write " + std::to_string(i) + " gave " + std::to_string(status);
        if (::write(reports.write, &i, sizeof i) != sizeof i) return "cannot report";
      }
    });
    reports.CloseWrite();
    std::vector<std::int32_t> returned;
    std::int32_t i;
    while (::read(reports.read, &i, sizeof i) == sizeof i) {
      returned.push_back(i);
      if (static_cast<int>(returned.size()) == killAfter) ::kill(writer.Pid(), SIGKILL);
    }
    EXPECT_EQ(writer.Finish(), "the child ended by signal 9");
    ASSERT_GE(static_cast<int>(returned.size()), killAfter);

    {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
      sqlite3_stmt* check = nullptr;
      ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
      ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
      EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
      sqlite3_finalize(check);
      sqlite3_close(db);
    }
    auto store = MustOpen(path_);
    ASSERT_TRUE(store);
    HKEY key = 0;
    ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kShared, 0, kAccess3F, &key), ERROR_SUCCESS);
    int missing = 0;
    for (std::int32_t w : returned) {
      DWORD size = 0;
      if (store->RegQueryValueExA(key, "w" + std::to_string(w), nullptr, nullptr, nullptr, &size) !=
              ERROR_SUCCESS ||
          size != static_cast<DWORD>(w % 300))
        ++missing;
      HKEY sub = 0;
      if (w % 7 == 0) {
        if (store->RegOpenKeyExA(key, "k" + std::to_string(w), 0, kAccess3F, &sub) != ERROR_SUCCESS)
          ++missing;
        store->RegCloseKey(sub);
      }
    }
    EXPECT_EQ(missing, 0);
    store->RegCloseKey(key);
    next = returned.back() + 2;
  }
}

// Two processes open one path that does not exist yet, released together.
TEST_F(SqliteProcessTest, TwoProcessesCreatingOneStoreBothUseOneGoodStore) {
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string path = dir_.File("race" + std::to_string(round) + ".db");
    Pipe start;
    auto opener = [&](const std::string& mark) {
      return [&, mark]() -> std::string {
        start.CloseWrite();
        AwaitSignal(start.read);
        SqliteStore::OpenResult result = SqliteStore::Open(path, LayOutNewStore);
        if (!result.store) return "cannot open: " + result.error;
        // A write proves which store this process went on to use.
        Registry registry(*result.store);
        registry.SetRegValue(HKEY_CURRENT_USER, kDomainsPath, mark, 1, REG_DWORD);
        return result.created ? "created" : "opened";
      };
    };
    Child a(opener("a"));
    Child b(opener("b"));
    start.CloseRead();
    start.CloseWrite();
    std::multiset<std::string> outcomes{a.Finish(), b.Finish()};
    EXPECT_EQ(outcomes, (std::multiset<std::string>{"created", "opened"}));

    auto store = MustOpen(path);
    ASSERT_TRUE(store);
    Registry registry(*store);
    EXPECT_EQ(registry.GetRegValue(HKEY_CURRENT_USER, kDomainsPath, "a"), "1");
    EXPECT_EQ(registry.GetRegValue(HKEY_CURRENT_USER, kDomainsPath, "b"), "1");
    EXPECT_EQ(DetectZoneSecurity(registry), ZoneSecurityState::Unsecured);
    int zoneValues = 0;
    HKEY zone = registry.OpenRegKey(HKEY_CURRENT_USER, kZonePath);
    ForEachValue(*store, zone, [&](const EnumeratedValue&) { return ++zoneValues, true; });
    store->RegCloseKey(zone);
    EXPECT_EQ(zoneValues, 28) << "laid out once";
  }
  // No half-made files of the losers are left behind.
  std::string listing = FolderListing(dir_.Path());
  EXPECT_EQ(listing.find(".new"), std::string::npos) << listing;
}

TEST_F(SqliteProcessTest, AnotherProcessNeverSeesAHalfMadeStore) {
  constexpr int kLayoutValues = 60;
  Child maker([&]() -> std::string {
    SqliteStore::OpenResult result = SqliteStore::Open(path_, [](RegistryStore& store) {
      // A slow layout, so that a half-made store would be there to be seen.
      HKEY key = 0;
      store.RegCreateKeyExA(HKEY_CURRENT_USER, kShared, 0, nullptr, 0, kAccess3F, nullptr, &key,
                            nullptr);
      for (int i = 0; i < kLayoutValues; ++i) {
        SetDword(store, key, "v" + std::to_string(i), static_cast<DWORD>(i));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      store.RegCloseKey(key);
    });
    return result.store ? "" : result.error;
  });
  // Polls for the file; the first store found must be whole.
  struct stat info;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (::stat(path_.c_str(), &info) != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  auto store = MustOpen(path_);
  ASSERT_TRUE(store);
  HKEY key = 0;
  ASSERT_EQ(store->RegOpenKeyExA(HKEY_CURRENT_USER, kShared, 0, kAccess3F, &key), ERROR_SUCCESS);
  int present = 0;
  for (int i = 0; i < kLayoutValues; ++i)
    present += GetDword(*store, key, "v" + std::to_string(i)) == i;
  EXPECT_EQ(present, kLayoutValues);
  store->RegCloseKey(key);
  EXPECT_EQ(maker.Finish(), "");
}

// The names of the temporary stores in the folder.
std::set<std::string> Temporaries(const std::string& folder) {
  std::set<std::string> names;
  std::string listing = FolderListing(folder) + " ";
  for (std::size_t start = 0, end; (end = listing.find(' ', start)) != std::string::npos; start = end + 1)
    if (listing.compare(start, end - start, "registry.db") != 0) names.insert(listing.substr(start, end - start));
  return names;
}

TEST_F(SqliteProcessTest, WhatAKilledCreationLeftGoesAtTheNextButNotWhatOneAtWorkHolds) {
  // A creator that stops in the middle of the layout and waits there.
  auto stallingCreator = [&](int signalFd) {
    return [this, signalFd]() -> std::string {
      SqliteStore::Open(path_, [signalFd](RegistryStore& store) {
        HKEY key = 0;
        store.RegCreateKeyExA(HKEY_CURRENT_USER, kShared, 0, nullptr, 0, kAccess3F, nullptr, &key, nullptr);
        SendSignal(signalFd);
        while (true) ::pause();
      });
      return "the creation went on";
    };
  };
  Pipe killedStalled, workingStalled;
  Child killed(stallingCreator(killedStalled.write));
  ASSERT_TRUE(AwaitSignal(killedStalled.read));
  ::kill(killed.Pid(), SIGKILL);
  killed.Finish();
  std::set<std::string> left = Temporaries(dir_.Path());
  ASSERT_FALSE(left.empty());

  Child working(stallingCreator(workingStalled.write));
  ASSERT_TRUE(AwaitSignal(workingStalled.read));
  std::set<std::string> withWorking = Temporaries(dir_.Path());
  MakeStore();
  std::set<std::string> after = Temporaries(dir_.Path());
  for (const std::string& name : left) EXPECT_EQ(after.count(name), 0u) << name;
  EXPECT_FALSE(after.empty());
  for (const std::string& name : after) EXPECT_EQ(withWorking.count(name), 1u) << name;
  ::kill(working.Pid(), SIGKILL);
  working.Finish();
}

}  // namespace
}  // namespace pw::test
