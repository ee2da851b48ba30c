// The site list and its prune on the platform's registry, shared with other
// programs that change it meanwhile, and with names outside ASCII.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "Platform.h"
#include "StoreKinds.h"
#include "ZoneMap.h"
#include "listings/SiteList.h"
#include "listings/ZoneAssignment.h"
#include "registry/ForwardingStore.h"
#include "registry/Win32Store.h"

namespace pw::test {
namespace {

// The registry as a fresh store, the keys it touches put back afterwards.
std::unique_ptr<RegistryStore> FreshRegistry() {
  for (const StoreKind& kind : AllStoreKinds())
    if (kind.name == "Win32") return kind.make();
  ADD_FAILURE() << "no store over the platform's registry";
  return nullptr;
}

// Another program changes the zone map: reg.exe with these arguments.
void RegElsewhere(const std::string& arguments) {
  ProgramResult run = RunProgram("reg.exe " + arguments);
  EXPECT_EQ(run.exitCode, 0) << arguments << "\n" << run.output;
}

std::string DomainKeyForReg(const std::string& relative) {
  return "\"HKCU\\" + ZoneMap::Path(relative) + "\"";
}

std::string Rows(const SiteList& list) {
  std::string rows;
  for (const SiteRow& row : list.Rows())
    rows +=
        row.text + "|" + row.subdomain + "|" + row.domain + "|" + std::to_string(row.icon) + "\n";
  return rows;
}

class ListingsOnRegistry : public testing::Test {
 protected:
  void SetUp() override {
    store_ = FreshRegistry();
    ASSERT_TRUE(store_);
    map_ = std::make_unique<ZoneMap>(*store_);
    map_->AddBase();
  }

  std::unique_ptr<RegistryStore> store_;
  std::unique_ptr<ZoneMap> map_;
  SiteList list_;
};

TEST_F(ListingsOnRegistry, EveryRowMapsBackToItsKeyWithNamesOutsideAscii) {
  const std::string latin =
      "b\xFC"
      "cher.example";                              // "bücher.example" in code page 1252
  const std::string utf8 = "caf\xC3\xA9.example";  // "café.example" as UTF-8 bytes
  const std::string sub =
      "m\xFC"
      "nchen";  // "münchen" in code page 1252
  map_->SetZone(latin, "*", 2);
  map_->SetZone(utf8 + "\\" + sub, "http", 4);
  list_.Rebuild(*store_);
  ASSERT_EQ(list_.Count(), 2) << Rows(list_);
  for (const SiteRow& row : list_.Rows()) {
    ListingAddress address = ListingAddressOf(row);
    HKEY key = 0;
    ASSERT_EQ(store_->RegOpenKeyA(HKEY_CURRENT_USER, address.keyPath, &key), ERROR_SUCCESS)
        << address.keyPath;
    DWORD type = 0;
    BYTE zone[4] = {};
    DWORD size = sizeof zone;
    EXPECT_EQ(store_->RegQueryValueExA(key, address.valueName, nullptr, &type, zone, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(zone[0], row.icon) << row.domain;
    store_->RegCloseKey(key);
  }
  if (AnsiCodePage() == 1252) {
    // What the names are in the registry: each byte one character of the code
    // page, so the UTF-8 text arrives as two characters for its "é".
    std::vector<std::wstring> names = SubkeyNamesW(
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
        L"Settings\\ZoneMap\\Domains");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::wstring>{L"b\u00FCcher.example", L"caf\u00C3\u00A9.example"}));
  }
  // Deleting through the rows finds the keys too: the list ends empty.
  Registry registry(*store_);
  while (list_.Count() > 0) {
    list_.Select(1);
    DeleteSelectedListing(list_, registry);
  }
  EXPECT_FALSE(map_->KeyExists(latin));
  EXPECT_FALSE(map_->KeyExists(utf8));
}

// Runs `act` once, just before the first value of the key at `path` is read.
class BeforeFirstValue : public ForwardingStore {
 public:
  BeforeFirstValue(RegistryStore& target, std::function<void()> act)
      : ForwardingStore(target), act_(std::move(act)) {}
  LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                     DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override {
    if (act_) std::exchange(act_, nullptr)();
    return ForwardingStore::RegEnumValueA(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved,
                                          lpType, lpData, lpcbData);
  }

 private:
  std::function<void()> act_;
};

TEST_F(ListingsOnRegistry, AKeyDeletedByAnotherProgramDuringARebuildEndsOnlyItsOwnEnumeration) {
  map_->SetZone("a.example", "http", 2);
  map_->SetZone("a.example", "https", 3);
  map_->SetZone("b.example", "*", 4);
  BeforeFirstValue deleting(*store_,
                            [] { RegElsewhere("delete " + DomainKeyForReg("a.example") + " /f"); });
  list_.Rebuild(deleting);
  // a.example's row stays as the domain pass made it; b.example is listed.
  EXPECT_EQ(Rows(list_), "||a.example|0\nDefault||b.example|4\n");
}

// Another program adds a subkey to a key the prune is about to delete.
class SubkeyBeforeDelete : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  LONG RegDeleteKeyA(HKEY hKey, RegName lpSubKey) override {
    if (!added_) {
      added_ = true;
      RegElsewhere("add " + DomainKeyForReg("bare.example\\late") + " /f");
    }
    status = ForwardingStore::RegDeleteKeyA(hKey, lpSubKey);
    return status;
  }
  LONG status = -1;

 private:
  bool added_ = false;
};

TEST_F(ListingsOnRegistry, APruneLeavesAKeyThatGainedASubkeyMeanwhile) {
  map_->SetZone("bare.example", "*", 2);
  map_->SetZone("kept.example", "*", 3);
  list_.Rebuild(*store_);
  SubkeyBeforeDelete racing(*store_);
  Registry registry(racing);
  ListingDeletion deletion = DeleteListing(list_, registry, {ZoneMap::Path("bare.example"), "*"});
  EXPECT_EQ(deletion.removal, ERROR_SUCCESS);
  EXPECT_EQ(deletion.prune, ERROR_SUCCESS);
  EXPECT_EQ(racing.status, ERROR_ACCESS_DENIED);  // the platform refuses a key with subkeys
  EXPECT_TRUE(map_->KeyExists("bare.example\\late"));
  EXPECT_EQ(Rows(list_), "|late|bare.example|0\nDefault||kept.example|3\n");
}

}  // namespace
}  // namespace pw::test
