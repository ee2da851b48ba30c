// The zone map as the browsers' script policy: the translation, the policy
// files and links (Linux, also Firefox's), the registry form, and the re-apply
// that follows every write through the store the programs open.
#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "ZoneMap.h"
#include "enforcement/Enforcement.h"
#include "enforcement/RegistryPolicy.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/ForwardingStore.h"
#include "registry/KeyTree.h"
#include "registry/MemoryStore.h"
#include "registry/Registry.h"
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

#include "enforcement/PolicyFiles.h"
#endif

namespace pw::test {
namespace {


TEST(ScriptPolicy, TheFilesHoldEachLevelsPoliciesAndTheIndexReadsBack) {
  ScriptPolicy policy{std::nullopt, kBlockScripts, {"[*.]bad.test"}, {"www.good.test"}};
  EXPECT_EQ(PolicyJson(policy, PolicyLevel::Managed),
            "{\n  \"JavaScriptBlockedForUrls\": [\n    \"[*.]bad.test\"\n  ],\n"
            "  \"JavaScriptAllowedForUrls\": [\n    \"www.good.test\"\n  ]\n}\n");
  EXPECT_EQ(PolicyJson(policy, PolicyLevel::Recommended), "{\n  \"DefaultJavaScriptSetting\": 2\n}\n");
  EXPECT_EQ(PolicyJson(ScriptPolicy{}, PolicyLevel::Managed), "{}\n");
#if !defined(_WIN32)
  EXPECT_EQ(ParsePolicyFile(PolicyJson(policy, PolicyLevel::Managed), PolicyLevel::Managed),
            (ScriptPolicy{std::nullopt, std::nullopt, policy.blocked, policy.allowed}));
  EXPECT_FALSE(ParsePolicyFile("[1]", PolicyLevel::Managed));
#endif
  DomainPatterns a{"a.com", {"a.com"}, {{"[*.]a.com", ScriptIntent::Block}}, {}, 0, 0, 0};
  DomainPatterns c{"c.com",
                   {"*.c.com", "c.com"},
                   {{"x.c.com", ScriptIntent::Follow}, {"https://c.com:*", ScriptIntent::Allow}},
                   {{"[*.]c.com", DomainPatterns::When::Protected}},
                   1, 2, 3};
  std::vector<DomainPatterns> domains = {a, c};
  EXPECT_EQ(ParseDomainPatterns(DomainPatternsText(domains)), domains);
  EXPECT_FALSE(ParseDomainPatterns("portwarden domain patterns 2\n-x\n"));
  EXPECT_FALSE(ParseDomainPatterns("portwarden domain patterns 1\n@a.com\n-[*.]a.com\n"));
}

// A fresh store, as the programs open it: every write watched.
class EnforcedStore : public testing::Test {
 protected:
  EnforcedStore() {
    auto memory = std::make_unique<MemoryStore>();
    LayOutNewStore(*memory);
    inner_ = memory.get();
    store_ = WithBrowserEnforcement(std::move(memory));
    store_->SetErrorSink([this](const StoreFailure& failure) { failures_.push_back(failure); });
  }

  void List(const std::string& path, const char* name, std::uint32_t zone) { ZoneMap(*store_).SetZone(path, name, zone); }

  RegistryStore* inner_;
  std::unique_ptr<RegistryStore> store_;
  std::vector<StoreFailure> failures_;
};

#if !defined(_WIN32)
class EnforcedFolders : public EnforcedStore {
 protected:
  std::string Root() const { return dir_.File("policies"); }
  std::string Managed() const { return ReadFileBytes(Root() + "/managed/portwarden.json"); }
  std::string Recommended() const { return ReadFileBytes(Root() + "/recommended/portwarden.json"); }
  EnforceRequest Request(bool copy = false) const {
    EnforceRequest request;
    request.policyRoot = Root();
    request.copy = copy;
    request.storePath = dir_.File("store.db");
    return request;
  }
  EnforceOutcome On(bool copy = false) { return EnforceOn(*store_, Request(copy)); }
  EnforceOutcome Off() { return EnforceOff(*store_, dir_.File("store.db")); }
  EnforcementStatus Status() { return EnforcementStatusOf(*store_, dir_.File("store.db")); }
  // What a full translation of the store says now.
  std::string Expected(PolicyLevel level) const { return PolicyJson(ScriptPolicyOf(*inner_).policy, level); }

  TempDir dir_;
};

TEST_F(EnforcedFolders, EveryKindOfWriteIsFollowedInTheLinkedFiles) {
  List("bad.test", "*", 4);
  WriteFileBytes(dir_.File("admin.json"), "{}");
  ASSERT_EQ(::mkdir(Root().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((Root() + "/managed").c_str(), 0755), 0);
  WriteFileBytes(Root() + "/managed/admin.json", "{\"HomepageLocation\": \"x\"}");
  EnforceOutcome on = On();
  ASSERT_EQ(on.error, "");
  EXPECT_EQ(LinkTarget(Root() + "/managed/portwarden.json"), dir_.File("store.db.policy/managed.json"));
  EXPECT_EQ(Managed(), "{\n  \"JavaScriptBlockedForUrls\": [\n    \"[*.]bad.test\"\n  ]\n}\n");

  List("good.test\\www", "http", 2);  // a per-protocol listing
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
  EXPECT_NE(Managed().find("http://www.good.test:*"), std::string::npos);
  Registry registry(*store_);
  WriteZoneProfile(registry, ZoneProfile::LockedDown);  // the zone state
  EXPECT_NE(Managed().find("\"DefaultJavaScriptSetting\": 2"), std::string::npos);
  WriteZoneProfile(registry, ZoneProfile::Prompting);
  EXPECT_EQ(Recommended(), "{\n  \"DefaultJavaScriptSetting\": 2\n}\n");
  EXPECT_EQ(DeleteKeyTree(*store_, HKEY_CURRENT_USER, ZoneMap::Path("bad.test")), ERROR_SUCCESS);
  EXPECT_EQ(Managed().find("bad.test"), std::string::npos);
  // Many domains at once (an import): read again whole, the same result.
  RunInTransaction(*store_, [&] {
    for (int i = 0; i < 300; ++i) List("d" + std::to_string(i) + ".test", "*", 4);
  });
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
  List("d7.test", "*", 2);
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
  EXPECT_TRUE(failures_.empty());

  EnforcementStatus status = Status();
  ASSERT_EQ(status.targets.size(), 1u);
  EXPECT_TRUE(status.targets[0].inStep);
  ZoneMap(*inner_).SetZone("late.test", "*", 4);  // a write that went round the watching store
  EXPECT_FALSE(Status().targets[0].inStep);

  EnforceOutcome off = Off();
  EXPECT_EQ(off.error, "");
  EXPECT_EQ(Managed(), "<missing>");
  EXPECT_EQ(ReadFileBytes(dir_.File("store.db.policy/managed.json")), "<missing>");
  EXPECT_EQ(ReadFileBytes(Root() + "/managed/admin.json"), "{\"HomepageLocation\": \"x\"}");
  EXPECT_FALSE(ReadEnforcement(*store_));
  List("after.test", "*", 4);  // off: nothing follows
  EXPECT_EQ(Managed(), "<missing>");
  EXPECT_EQ(On().error, "");  // and on again
  EXPECT_NE(Managed().find("after.test"), std::string::npos);
}

TEST_F(EnforcedFolders, AnotherProcessesIndexIsReadAndAMissingOneMeansTheWholeMap) {
  List("a.test", "*", 4);
  ASSERT_EQ(On().error, "");
  // Another program opened on the same store rewrites the index in between.
  std::unique_ptr<RegistryStore> other = WithBrowserEnforcement(std::make_unique<ForwardingStore>(*inner_));
  ZoneMap(*other).SetZone("b.test", "*", 4);
  List("c.test", "*", 4);
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
  EXPECT_NE(Managed().find("b.test"), std::string::npos);
  ASSERT_TRUE(std::filesystem::remove(dir_.File("store.db.policy/domains")));
  ZoneMap(*inner_).SetZone("d.test", "*", 4);
  List("e.test", "*", 4);
  EXPECT_NE(Managed().find("d.test"), std::string::npos);
}

TEST_F(EnforcedFolders, CopiesAreRealFilesAndAFolderThatCannotBeWrittenChangesNothing) {
  List("bad.test", "*", 4);
  ASSERT_EQ(On(true).error, "");
  EXPECT_FALSE(LinkTarget(Root() + "/managed/portwarden.json"));
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
  List("worse.test", "*", 4);
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
  ASSERT_EQ(Off().error, "");

  WriteFileBytes(Root() + "-file", "x");
  EnforceRequest request;
  request.policyRoot = Root() + "-file";
  request.storePath = dir_.File("store.db");
  EXPECT_NE(EnforceOn(*store_, request).error, "");
  EXPECT_FALSE(ReadEnforcement(*store_));
  EXPECT_EQ(ReadFileBytes(dir_.File("store.db.policy/managed.json")), "<missing>");
}

// What a blocklist, a .reg import or a policy import does: one transaction
// over several domains, each of which reaches the policy.
TEST_F(EnforcedFolders, OneTransactionOverSeveralDomainsBringsEveryOne) {
  ASSERT_EQ(On().error, "");
  int listed = 0;
  for (int count : {2, 3, 256}) {
    RunInTransaction(*store_, [&] {
      for (int i = 0; i < count; ++i) List("t" + std::to_string(listed + i) + ".test", "*", 4);
    });
    listed += count;
    std::string managed = Managed();
    int missing = 0;
    for (int i = 0; i < listed; ++i)
      missing += managed.find("[*.]t" + std::to_string(i) + ".test\"") == std::string::npos;
    EXPECT_EQ(missing, 0) << "after " << listed << " domains";
  }
}

// A re-apply that never ran (the program was killed after the store took the
// change) is made good by the next one, not left behind for good.
TEST_F(EnforcedFolders, APolicyBehindTheStoreIsRebuiltWhole) {
  ASSERT_EQ(On().error, "");
  std::string before = ReadFileBytes(dir_.File("store.db.policy/domains"));
  List("lost.test", "*", 4);
  WriteFileBytes(dir_.File("store.db.policy/domains"), before);
  List("next.test", "*", 4);
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
}

TEST_F(EnforcedFolders, AHugeSparseFileIsNotRead) {
  ASSERT_EQ(On().error, "");
  ASSERT_EQ(::truncate(dir_.File("store.db.policy/managed.json").c_str(), off_t{1} << 40), 0);
  EnforcementStatus status = Status();
  ASSERT_EQ(status.targets.size(), 1u);
  EXPECT_NE(status.targets[0].note.find("larger than"), std::string::npos) << status.targets[0].note;
  EXPECT_EQ(On().error, "");
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
}

TEST_F(EnforcedFolders, AnAdministratorsOwnFileIsReplacedOnlyByForceAndPutBack) {
  std::string theirs = "{\"HomepageLocation\": \"x\"}";
  ASSERT_EQ(::mkdir(Root().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((Root() + "/managed").c_str(), 0755), 0);
  WriteFileBytes(Root() + "/managed/portwarden.json", theirs);
  EnforceOutcome refused = On();
  EXPECT_NE(refused.error.find(Root() + "/managed/portwarden.json"), std::string::npos) << refused.error;
  EXPECT_EQ(Managed(), theirs);
  EXPECT_FALSE(ReadEnforcement(*store_));
  EnforceRequest forced = Request();
  forced.force = true;
  ASSERT_EQ(EnforceOn(*store_, forced).error, "");
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
  ASSERT_EQ(Off().error, "");
  EXPECT_EQ(Managed(), theirs);
}

// Patterns come from the index only as host text, and go into the JSON escaped.
TEST_F(EnforcedFolders, ADamagedIndexPutsNoForeignPolicyIntoTheFiles) {
  List("a.test", "*", 4);
  ASSERT_EQ(On().error, "");
  std::string index = dir_.File("store.db.policy/domains");
  WriteFileBytes(index, ReadFileBytes(index) + "@evil.test\n-x\", \"*\"], \"JavaScriptAllowedForUrls\": [\"*\n");
  List("b.test", "*", 4);
  EXPECT_EQ(Managed(), Expected(PolicyLevel::Managed));
}

TEST_F(EnforcedFolders, ARemovedLinkIsNoticedAtTheNextWrite) {
  ASSERT_EQ(On().error, "");
  ASSERT_EQ(::unlink((Root() + "/managed/portwarden.json").c_str()), 0);
  List("bad.test", "*", 4);
  ASSERT_EQ(failures_.size(), 1u);
  EXPECT_NE(failures_[0].reason.find(Root() + "/managed/portwarden.json"), std::string::npos) << failures_[0].reason;
  EXPECT_EQ(ZoneMap(*inner_).Zone("bad.test", "*"), 4u);
}

TEST_F(EnforcedFolders, OffRemovesTheFoldersOnMade) {
  ASSERT_EQ(On().error, "");
  ASSERT_EQ(Off().error, "");
  EXPECT_FALSE(std::filesystem::exists(Root()));
}

// Firefox through the files of a policy folder: the manifest follows every
// write through the same link, our entry joins an administrator's policies
// file, and off takes out only what is ours.
TEST_F(EnforcedFolders, FirefoxFollowsEveryWriteAndOffLeavesTheAdministratorsPolicies) {
  const std::string theirs = "{\"policies\": {\"DisableTelemetry\": true}}";
  ASSERT_EQ(::mkdir(Root().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((Root() + "/policies").c_str(), 0755), 0);
  WriteFileBytes(Root() + "/policies/policies.json", theirs);
  List("bad.test", "*", 4);
  EnforceRequest request = Request();
  request.browsers = {kFirefoxName};
  EnforceOutcome on = EnforceOn(*store_, request);
  ASSERT_EQ(on.error, "");
  std::string manifest = Root() + "/managed-storage/" + kBlockerId + ".json";
  EXPECT_EQ(LinkTarget(manifest), dir_.File("store.db.policy/firefox-managed-storage.json"));
  EXPECT_FALSE(std::filesystem::exists(Root() + "/managed"));  // Firefox alone: no Chromium files
  auto switches = [&] {
    std::optional<HostnameSwitches> held = SwitchesInManifest(ReadFileBytes(manifest));
    return held ? SwitchesText(*held) : "<none>";
  };
  EXPECT_EQ(switches(), "no-scripting: bad.test true");

  List("good.test", "*", 2);
  Registry registry(*store_);
  WriteZoneProfile(registry, ZoneProfile::LockedDown);
  EXPECT_EQ(switches(), "no-scripting: * true\nno-scripting: bad.test true\nno-scripting: good.test false");
  EXPECT_TRUE(failures_.empty());
  EnforcementStatus status = Status();
  ASSERT_EQ(status.targets.size(), 1u);
  EXPECT_TRUE(status.targets[0].inStep) << status.targets[0].note;

  ASSERT_EQ(Off().error, "");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(manifest)));
  EXPECT_EQ(ReadFileBytes(Root() + "/policies/policies.json").find(kBlockerId), std::string::npos);
  EXPECT_NE(ReadFileBytes(Root() + "/policies/policies.json").find("DisableTelemetry"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Root() + "/managed-storage"));
}

TEST_F(EnforcedFolders, AFailedReapplyIsReportedAfterTheWriteItFollows) {
  ASSERT_EQ(On().error, "");
  std::filesystem::remove_all(dir_.File("store.db.policy"));
  WriteFileBytes(dir_.File("store.db.policy"), "not a folder");
  List("bad.test", "*", 4);
  ASSERT_EQ(failures_.size(), 1u);
  EXPECT_TRUE(failures_[0].afterWrite);
  EXPECT_NE(failures_[0].reason.find("store.db.policy"), std::string::npos) << failures_[0].reason;
  EXPECT_EQ(ZoneMap(*inner_).Zone("bad.test", "*"), 4u);
}
#endif

// The registry form: our entries numbered on from an administrator's, whose
// entries and default stay whatever we do.
TEST_F(EnforcedStore, TheRegistryFormKeepsAnAdministratorsEntries) {
  const std::string key = "Software\\Policies\\Chromium";
  const std::string record = std::string(kEnforcementPath) + "\\Written\\chromium";
  Registry registry(*store_);
  auto setSz = [&](const std::string& path, const char* name, const std::string& text) {
    HKEY handle = registry.CreateRegKey(HKEY_LOCAL_MACHINE, path);
    store_->RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1));
    store_->RegCloseKey(handle);
  };
  setSz(key + "\\JavaScriptBlockedForUrls", "2", "admin.example");
  List("bad.test", "*", 4);
  List("worse.test", "*", 4);
  EnforceRequest request;
  request.registry = true;
  request.browsers = {"chromium"};
#if !defined(_WIN32)
  TempDir dir;  // the Linux browsers' copies go here
  request.policyRoot = dir.File("policies");
  request.copy = true;
#endif
  ASSERT_EQ(EnforceOn(*store_, request).error, "");
  auto entry = [&](const char* name) { return registry.GetRegValue(HKEY_LOCAL_MACHINE, key + "\\JavaScriptBlockedForUrls", name); };
  EXPECT_EQ(entry("1"), "[*.]bad.test");
  EXPECT_EQ(entry("2"), "admin.example");
  EXPECT_EQ(entry("3"), "[*.]worse.test");

  // A change renumbers without gaps; an administrator's default stays.
  registry.SetRegValue(HKEY_LOCAL_MACHINE, key, kDefaultScriptPolicy, 1, REG_DWORD);
  WriteZoneProfile(registry, ZoneProfile::LockedDown);
  EXPECT_EQ(DeleteKeyTree(*store_, HKEY_CURRENT_USER, ZoneMap::Path("bad.test")), ERROR_SUCCESS);
  EXPECT_EQ(entry("1"), "[*.]worse.test");
  EXPECT_EQ(entry("3"), "");
  EXPECT_EQ(registry.GetRegValue(HKEY_LOCAL_MACHINE, key, kDefaultScriptPolicy), "1");
  EXPECT_TRUE(failures_.empty());

  // An administrator's change to our entry, through another handle, makes it
  // theirs: the next re-apply notices it though it writes no other entry.
  Registry(*inner_).SetRegValue(HKEY_LOCAL_MACHINE, key + "\\JavaScriptBlockedForUrls", "1", "mine.example", REG_SZ);
  List("bad.test", "*", 4);
  EXPECT_EQ(entry("1"), "mine.example");
  EXPECT_EQ(entry("3"), "[*.]bad.test");
  EXPECT_EQ(entry("4"), "[*.]worse.test");

  ASSERT_EQ(EnforceOff(*store_).error, "");
  EXPECT_EQ(entry("1"), "mine.example");
  EXPECT_EQ(entry("2"), "admin.example");
  EXPECT_EQ(entry("3"), "");
  EXPECT_EQ(registry.GetRegValue(HKEY_LOCAL_MACHINE, key, kDefaultScriptPolicy), "1");
  EXPECT_FALSE(registry.RegKeyExists(HKEY_LOCAL_MACHINE, record));
}

}  // namespace
}  // namespace pw::test
