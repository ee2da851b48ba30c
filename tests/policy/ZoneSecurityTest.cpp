// Classifying the Internet zone from its policy values.
#include <gtest/gtest.h>

#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "policy/ZoneSecurity.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"

namespace pw::test {
namespace {

const char* const kMonitored[] = {"1001", "1004", "1200", "1201", "1206", "1400", "1402", "1405", "1406",
                                  "1605", "1609", "1800", "1802", "1804", "1805", "1806", "2001", "2004"};

class Detection : public testing::Test {
 protected:
  void SetUp() override {
    LayOutNewStore(store_);
    WriteZoneProfile(registry_, ZoneProfile::LockedDown);
  }
  void Dword(const std::string& name, std::uint32_t number) {
    registry_.SetRegValue(HKEY_CURRENT_USER, kZonePath, name, static_cast<long long>(number), REG_DWORD);
  }
  void Raw(const std::string& name, DWORD type, const std::string& bytes) {
    HKEY h = registry_.OpenRegKey(HKEY_CURRENT_USER, kZonePath);
    store_.RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
    store_.RegCloseKey(h);
  }
  ZoneSecurityState Detect() { return DetectZoneSecurity(registry_); }

  MemoryStore store_;
  Registry registry_{store_};
};

TEST_F(Detection, TheLockedDownReadingIsSecured) {
  EXPECT_EQ(Detect(), ZoneSecurityState::Secured);
}

TEST_F(Detection, APromptingActionMakesItSemiSecuredWhereverItStands) {
  for (const char* name : kMonitored) {
    WriteZoneProfile(registry_, ZoneProfile::LockedDown);
    Dword(name, 1);
    EXPECT_EQ(Detect(), ZoneSecurityState::SemiSecured) << name;
  }
}

TEST_F(Detection, AnAllowedActionMakesItUnsecuredWhateverPromptsBeforeOrAfter) {
  Dword("1001", 1);
  Dword("2004", 0);
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);
  WriteZoneProfile(registry_, ZoneProfile::LockedDown);
  Dword("1001", 0);
  Dword("2004", 1);
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);
}

TEST_F(Detection, OtherPolicyNumbersLeaveTheStateAlone) {
  Dword("1200", 2);
  Dword("1201", 65536);
  EXPECT_EQ(Detect(), ZoneSecurityState::Secured);
}

TEST_F(Detection, TheFurtherChecksMustHoldTheirLockedDownReadings) {
  Dword("1A00", 31072);
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);
  Dword("1A00", 0);
  Dword("1E05", 131072);
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);
  Raw("1E05", REG_SZ, "65536");
  EXPECT_EQ(Detect(), ZoneSecurityState::Secured);
  Raw("1C00", REG_BINARY, std::string("\0\0\x01\0", 4));  // only the first two bytes count
  EXPECT_EQ(Detect(), ZoneSecurityState::Secured);
  Raw("1C00", REG_BINARY, std::string("\0\x01\0\0", 4));
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);
}

TEST_F(Detection, StringsCountAsTheNumbersTheySpell) {
  Raw("1200", REG_SZ, "1");
  EXPECT_EQ(Detect(), ZoneSecurityState::SemiSecured);
  Raw("1200", REG_SZ, std::string("3\0junk", 6));
  EXPECT_EQ(Detect(), ZoneSecurityState::Secured);
  Raw("1200", REG_SZ, "0");
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);
}

TEST_F(Detection, ValuesNotReadAreIgnored) {
  for (const char* name : {"1606", "1607", "1608", "1803", "1407", "1604", "CurrentLevel"}) Dword(name, 0);
  EXPECT_EQ(Detect(), ZoneSecurityState::Secured);
}

// What cannot be shown to be locked down is not secured.
TEST_F(Detection, MissingUnreadableOrNonNumericValuesCountAsUnsecured) {
  HKEY zone = registry_.OpenRegKey(HKEY_CURRENT_USER, kZonePath);
  store_.RegDeleteValueA(zone, "1406");
  store_.RegCloseKey(zone);
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);

  WriteZoneProfile(registry_, ZoneProfile::LockedDown);
  Raw("1805", REG_SZ, "three");
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);

  WriteZoneProfile(registry_, ZoneProfile::LockedDown);
  Raw("1E05", REG_QWORD, std::string("\0\0\x01\0\0\0\0\0", 8));
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);

  WriteZoneProfile(registry_, ZoneProfile::LockedDown);
  Raw("1A00", REG_SZ, "");
  EXPECT_EQ(Detect(), ZoneSecurityState::Unsecured);
}

TEST(DetectionWithoutZone, AMissingZoneKeyIsUnsecured) {
  MemoryStore store;
  Registry registry(store);
  EXPECT_EQ(DetectZoneSecurity(registry), ZoneSecurityState::Unsecured);
}

TEST(StateNames, AnyStateAboveSemiSecuredIsNamedUnsecured) {
  EXPECT_STREQ(ZoneSecurityStateName(ZoneSecurityState::Secured), "secured");
  EXPECT_STREQ(ZoneSecurityStateName(ZoneSecurityState::SemiSecured), "semi-secured");
  EXPECT_STREQ(ZoneSecurityStateName(static_cast<ZoneSecurityState>(5)), "unsecured");
}

}  // namespace
}  // namespace pw::test
