// The toolbar button's registration, its uninstall records and the first-start
// mark, on every store of the platform.
#include <gtest/gtest.h>

#include "StoreKinds.h"
#include "TempDir.h"
#include "browser/TrustButton.h"
#include "browser/TrustButtonRemoval.h"
#include "registry/Enumeration.h"
#include "registry/ForwardingStore.h"

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
  // A value name whose write fails with status 5.
  std::string refuse;
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

TEST_P(TrustButton, AValueTheStoreRefusesIsReportedAndStillRecorded) {
  store_.refuse = "Icon";
  TrustButtonResult result = RunFirstStart(registry_, place_);
  EXPECT_FALSE(result.registered);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_NE(result.failures[0].reason.find("\"Icon\""), std::string::npos) << result.failures[0].reason;
  EXPECT_EQ(ReadFileBytes(place_.logPath), Records(result.guid));
  EXPECT_EQ(Value(result.guid, "HotIcon"), "C:\\Program Files\\Portwarden\\TrustHot.ico");
  EXPECT_FALSE(TrustButtonRegistered(registry_));
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

}  // namespace
}  // namespace pw::test
