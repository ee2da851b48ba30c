// The toolbar button's registration, its uninstall records and the first-start
// mark, on every store of the platform.
#include <gtest/gtest.h>

#include "StoreKinds.h"
#include "TempDir.h"
#include "browser/TrustButton.h"
#include "browser/TrustButtonRemoval.h"
#include "registry/Enumeration.h"
#include "registry/ForwardingStore.h"
#include "registry/MemoryStore.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <thread>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(PW_HAVE_SQLITE)
#include "registry/SqliteStore.h"
#endif

namespace pw::test {
namespace {

// Fourteen records, as the uninstaller reads them; G stands for the GUID.
constexpr std::string_view kRecords = R"(ACTION: RegKey: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions", "G"
ACTION: RegValue: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G", ""
ACTION: RegKey: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G", "Exec"
ACTION: RegValue: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G\Exec", "Portwarden2005.exe"
ACTION: RegKey: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G", "Icon"
ACTION: RegValue: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G\Icon", "VadadAr.ico"
ACTION: RegKey: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G", "HotIcon"
ACTION: RegValue: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G\HotIcon", "TrustHot.ico"
ACTION: RegKey: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G", "ButtonText"
ACTION: RegValue: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G\ButtonText", "Trust"
ACTION: RegKey: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G", "CLSID"
ACTION: RegValue: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G\CLSID", "{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}"
ACTION: RegKey: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G", "Default Visible"
ACTION: RegValue: "HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions\G\Default Visible", "Yes"
)";

std::string Records(const std::string& guid) {
  std::string text;
  for (char c : kRecords) text += c == 'G' ? guid : c == '\n' ? "\r\n" : std::string(1, c);
  return text;
}

// Draws the GUIDs a test names (nothing: a failed draw), then fresh ones, or
// failures when `thenFail`.
class ScriptedGuids : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  std::vector<std::optional<GUID>> script;
  bool thenFail = false;
  int draws = 0;
  LONG CoCreateGuid(GUID* guid) override {
    std::size_t at = static_cast<std::size_t>(draws++);
    if (at >= script.size()) return thenFail ? -1 : ForwardingStore::CoCreateGuid(guid);
    if (!script[at]) return -1;
    *guid = *script[at];
    return ERROR_SUCCESS;
  }
  // A value name whose write fails with status 5, and a commit that fails
  // (and so rolls back) when named.
  std::string refuse, failCommit;
  LONG CommitTransaction() override {
    if (failCommit.empty()) return ForwardingStore::CommitTransaction();
    ForwardingStore::RollbackTransaction();
    return ERROR_DISK_FULL;
  }
  LONG RegSetValueExA(HKEY key, RegName name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) override {
    if (!refuse.empty() && name.View() == refuse) return ERROR_ACCESS_DENIED;
    return ForwardingStore::RegSetValueExA(key, name, reserved, type, data, size);
  }
};

class TrustButton : public testing::TestWithParam<StoreKind> {
 protected:
  std::unique_ptr<RegistryStore> target_ = GetParam().make();
  ScriptedGuids store_{*target_};
  Registry registry_{store_};
  TempDir dir_;
  Installation place_{"C:\\Program Files\\Portwarden", '\\', "Portwarden2005.exe", dir_.File("st6unst.log")};

  std::vector<std::string> Names(const std::string& path, bool values) {
    std::vector<std::string> names;
    HKEY key = registry_.OpenRegKey(HKEY_LOCAL_MACHINE, path);
    auto add = [&](const std::string& name) { return names.push_back(name), true; };
    if (values) ForEachValue(store_, key, [&](const EnumeratedValue& value) { return add(value.name); });
    else ForEachSubkey(store_, key, add);
    if (key) store_.RegCloseKey(key);
    return names;
  }
  std::string Value(const std::string& guid, const std::string& name) {
    return registry_.GetRegValue(HKEY_LOCAL_MACHINE, std::string(kExtensionsPath) + "\\" + guid, name);
  }
};

TEST_P(TrustButton, MakesOneKeyWithSixValuesAndAppendsFourteenRecordsPerCall) {
  WriteFileBytes(place_.logPath, "earlier setup records\r\n");
  TrustButtonResult first = RegisterTrustButton(registry_, place_);
  TrustButtonResult second = RegisterTrustButton(registry_, place_);
  ASSERT_TRUE(first.registered && second.registered);
  EXPECT_NE(first.guid, second.guid);
  EXPECT_EQ(first.guid.size(), 38u);
  EXPECT_EQ(ReadFileBytes(place_.logPath), "earlier setup records\r\n" + Records(first.guid) + Records(second.guid));
  EXPECT_EQ(Names(kExtensionsPath, false).size(), 2u);
  if (!GetParam().wine) {  // Wine lists values by name
    EXPECT_EQ(Names(std::string(kExtensionsPath) + "\\" + first.guid, true),
              (std::vector<std::string>{"Exec", "Icon", "HotIcon", "ButtonText", "CLSID", "Default Visible"}));
  }
  EXPECT_EQ(Value(first.guid, "Exec"), "C:\\Program Files\\Portwarden\\Portwarden2005.exe");
  EXPECT_EQ(Value(first.guid, "HotIcon"), "C:\\Program Files\\Portwarden\\TrustHot.ico");
  EXPECT_EQ(Value(first.guid, "Default Visible"), "Yes");
}

TEST_P(TrustButton, DrawsAgainForTakenOrEmptyGuidsAndGivesUpAfterTheBound) {
  GUID taken{0x12345678, 0x1234, 0x4234, {0x82, 1, 2, 3, 4, 5, 6, 7}};
  std::string takenText = "{12345678-1234-4234-8201-020304050607}";
  store_.RegCloseKey(registry_.CreateRegKey(HKEY_LOCAL_MACHINE, std::string(kExtensionsPath) + "\\" + takenText));
  store_.script = {taken, std::nullopt, taken};
  TrustButtonResult drawn = RegisterTrustButton(registry_, place_);
  EXPECT_TRUE(drawn.registered);
  EXPECT_EQ(store_.draws, 4);
  EXPECT_NE(drawn.guid, takenText);

  store_.draws = 0;
  store_.thenFail = true;
  std::string log = ReadFileBytes(place_.logPath);
  EXPECT_FALSE(RegisterTrustButton(registry_, place_).registered);
  EXPECT_EQ(store_.draws, kGuidDraws);
  EXPECT_EQ(ReadFileBytes(place_.logPath), log);
  EXPECT_EQ(Names(kExtensionsPath, false).size(), 2u);
}

TEST_P(TrustButton, AnUnwritableLogRegistersNothingAndTheNextStartTriesAgain) {
  Installation unwritable = place_;
  unwritable.logPath = dir_.File("no-such-folder/st6unst.log");
  TrustButtonResult refused = RunFirstStart(registry_, unwritable);
  EXPECT_FALSE(refused.registered);
  EXPECT_NE(refused.logError, "");
  EXPECT_TRUE(Names(kExtensionsPath, false).empty());
  EXPECT_FALSE(TrustButtonRegistered(registry_));

  EXPECT_TRUE(RunFirstStart(registry_, place_).registered);
  EXPECT_TRUE(TrustButtonRegistered(registry_));
  RunFirstStart(registry_, place_);  // a later start
  EXPECT_EQ(Names(kExtensionsPath, false).size(), 1u);
}

TEST_P(TrustButton, AFailedRegistrationIsUndoneSoThatStartsRegisterOneButtonInAll) {
  // A value, the mark or the commit fails at the first start; the next start
  // registers once, the one after it not at all.
  for (const char* failing : {"Icon", kButtonMarkName, "commit"}) {
    SCOPED_TRACE(failing);
    WriteFileBytes(place_.logPath, "earlier setup records\r\n");
    (std::string(failing) == "commit" ? store_.failCommit : store_.refuse) = failing;
    TrustButtonResult failed = RunFirstStart(registry_, place_);
    EXPECT_FALSE(failed.registered);
    EXPECT_EQ(ReadFileBytes(place_.logPath), "earlier setup records\r\n");
    EXPECT_TRUE(Names(kExtensionsPath, false).empty());
    store_.refuse.clear();
    store_.failCommit.clear();
    TrustButtonResult done = RunFirstStart(registry_, place_);
    ASSERT_TRUE(done.registered);
    RunFirstStart(registry_, place_);
    EXPECT_EQ(ReadFileBytes(place_.logPath), "earlier setup records\r\n" + Records(done.guid));
    EXPECT_EQ(Names(kExtensionsPath, false), std::vector<std::string>{done.guid});
    // Set up the next round as a fresh installation.
    store_.RegDeleteKeyA(HKEY_LOCAL_MACHINE, std::string(kExtensionsPath) + "\\" + done.guid);
    HKEY program = registry_.OpenRegKey(HKEY_LOCAL_MACHINE, kProgramKeyPath);
    store_.RegDeleteValueA(program, kButtonMarkName);
    store_.RegCloseKey(program);
  }
  // A key that cannot be made leaves no log behind, not even an empty one.
  std::remove(place_.logPath.c_str());
  store_.draws = 0;
  store_.thenFail = true;
  EXPECT_FALSE(RunFirstStart(registry_, place_).registered);
  EXPECT_EQ(ReadFileBytes(place_.logPath), "<missing>");
}

TEST_P(TrustButton, ALogThatCannotBeWrittenLeavesNoKeyAndNoValues) {
#if defined(_WIN32)
  GTEST_SKIP() << "a full device is made with a file size limit, which Windows does not have";
#else
  // The device fills up after the first record (the store's own file stays
  // smaller than the log).
  const std::string earlier = std::string(1 << 20, '#') + "\r\n";
  WriteFileBytes(place_.logPath, earlier);
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit full = old;
  full.rlim_cur = earlier.size() + 120;
  std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
  TrustButtonResult result = RegisterTrustButton(registry_, place_);  // no transaction to undo it
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(result.registered);
  EXPECT_NE(result.logError.find("cannot write"), std::string::npos) << result.logError;
  EXPECT_TRUE(Names(kExtensionsPath, false).empty());
  EXPECT_TRUE(ReadFileBytes(place_.logPath) == earlier);
#endif
}

// As an uninstall would: the buttons the log records go, with their lines and
// the mark; what else the log holds stays, and so does a key that is not a
// button's.
TEST_P(TrustButton, RemovalTakesTheRecordedButtonsAndTheirLinesAndNothingElse) {
  WriteFileBytes(place_.logPath, "earlier setup records\r\n");
  TrustButtonResult first = RegisterTrustButtonAndMark(registry_, place_);
  TrustButtonResult second = RegisterTrustButton(registry_, place_);
  TrustButtonResult foreign = RegisterTrustButton(registry_, place_);
  ASSERT_TRUE(first.registered && second.registered && foreign.registered);
  std::string foreignKey = std::string(kExtensionsPath) + "\\" + foreign.guid;
  registry_.SetRegValue(HKEY_LOCAL_MACHINE, foreignKey, "MenuText", std::string("Another tool"), REG_SZ);
  ASSERT_EQ(RegisteredTrustButton(registry_), first.guid);

  TrustButtonRemoval removal = RemoveTrustButtons(registry_, place_.logPath);
  EXPECT_EQ(removal.error, "");
  EXPECT_EQ(removal.removed, (std::vector<std::string>{first.guid, second.guid}));
  EXPECT_EQ(removal.kept.size(), 1u);
  EXPECT_EQ(removal.linesRemoved, 28u);
  EXPECT_EQ(ReadFileBytes(place_.logPath), "earlier setup records\r\n" + Records(foreign.guid));
  EXPECT_EQ(Names(kExtensionsPath, false), std::vector<std::string>{foreign.guid});
  EXPECT_EQ(RegisteredTrustButton(registry_), std::nullopt);
  EXPECT_FALSE(TrustButtonRegistered(registry_));
}

INSTANTIATE_TEST_SUITE_P(Stores, TrustButton, testing::ValuesIn(AllStoreKinds()), StoreKindName);

#if !defined(_WIN32)
TEST(TrustButtonLog, IsNeverOpenedThroughALinkNorAsAPipe) {
  TempDir dir;
  MemoryStore store;
  Registry registry(store);
  Installation place{"/opt/portwarden", '/', "portwarden", dir.File("st6unst.log")};
  // A link to a file its owner would not have us write to.
  WriteFileBytes(dir.File("target"), "root's own\n");
  ASSERT_EQ(symlink(dir.File("target").c_str(), place.logPath.c_str()), 0);
  TrustButtonResult linked = RunFirstStart(registry, place);
  EXPECT_FALSE(linked.registered);
  EXPECT_NE(linked.logError.find("symbolic link"), std::string::npos) << linked.logError;
  EXPECT_EQ(ReadFileBytes(dir.File("target")), "root's own\n");
  // A pipe nobody reads: refused at once instead of waiting for a reader.
  std::remove(place.logPath.c_str());
  ASSERT_EQ(mkfifo(place.logPath.c_str(), 0600), 0);
  EXPECT_FALSE(RunFirstStart(registry, place).registered);
  EXPECT_FALSE(TrustButtonRegistered(registry));
}

#if defined(PW_HAVE_SQLITE)
TEST(TrustButtonLog, TwoFirstStartsAtOnceRegisterOneButton) {
  TempDir dir;
  Installation place{"/opt/portwarden", '/', "portwarden", dir.File("st6unst.log")};
  auto open = [&] {
    SqliteStore::OpenResult opened = SqliteStore::Open(dir.File("s.db"));
    EXPECT_TRUE(opened.store) << opened.error;
    return std::move(opened.store);
  };
  std::unique_ptr<RegistryStore> first = open(), second = open();
  Registry firstRegistry(*first), secondRegistry(*second);
  std::thread other;
  TrustButtonResult secondResult;
  // The second start begins while the first is registering.
  auto pump = [&] {
    if (other.joinable()) return;
    other = std::thread([&] { secondResult = RunFirstStart(secondRegistry, place); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  };
  EXPECT_TRUE(RunFirstStart(firstRegistry, place, pump).registered);
  other.join();
  EXPECT_EQ(secondResult.guid, "");
  std::string log = ReadFileBytes(place.logPath);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 14);
}
#endif
#endif

}  // namespace
}  // namespace pw::test
