// The security switch: direction from what the store holds, the confirmation,
// and the presentation of the state read back.
#include <gtest/gtest.h>

#include "ScriptedPrompter.h"
#include "policy/NewStoreLayout.h"
#include "policy/SecuritySwitch.h"
#include "policy/ZoneProfiles.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"

namespace pw::test {
namespace {

struct RecordingPresenter : ZoneStatePresenter {
  void ShowZoneSecurityState(ZoneSecurityState state, bool setPanelToolTip) override {
    shown.push_back({state, setPanelToolTip});
  }
  std::vector<std::pair<ZoneSecurityState, bool>> shown;
};

// Counts writes, so a test can tell "nothing written" from "the same written".
struct CountingStore : ForwardingStore {
  using ForwardingStore::ForwardingStore;
  LONG RegSetValueExA(HKEY k, RegName n, DWORD r, DWORD t, const BYTE* d, DWORD c) override {
    ++writes;
    return ForwardingStore::RegSetValueExA(k, n, r, t, d, c);
  }
  int writes = 0;
};

class Switch : public testing::Test {
 protected:
  void SetUp() override { LayOutNewStore(memory_); }
  void Start(ZoneProfile profile) {
    Registry direct(memory_);
    WriteZoneProfile(direct, profile);
  }
  void Release(std::uint16_t modifiers) { SwitchZoneSecurity(registry_, prompter_, presenter_, modifiers); }
  ZoneSecurityState State() { return DetectZoneSecurity(registry_); }

  MemoryStore memory_;
  CountingStore store_{memory_};
  Registry registry_{store_};
  ScriptedPrompter prompter_;
  RecordingPresenter presenter_;
};

TEST_F(Switch, AnInsecureZoneIsSecuredWithoutAQuestion) {
  for (ZoneProfile from : {ZoneProfile::Default, ZoneProfile::Prompting}) {
    Start(from);
    store_.writes = 0;
    Release(0);
    EXPECT_EQ(store_.writes, 28);
    EXPECT_EQ(State(), ZoneSecurityState::Secured);
  }
  EXPECT_TRUE(prompter_.asked.empty());
  ASSERT_EQ(presenter_.shown.size(), 2u);
  EXPECT_EQ(presenter_.shown.back(), std::make_pair(ZoneSecurityState::Secured, true));
}

TEST_F(Switch, ASecuredZoneAsksAndNoWritesNothing) {
  Start(ZoneProfile::LockedDown);
  prompter_.Answer(MsgAnswer::No);
  Release(0);
  ASSERT_EQ(prompter_.asked.size(), 1u);
  EXPECT_EQ(prompter_.asked[0].title, "Confirm Disable Security");
  EXPECT_EQ(prompter_.asked[0].text,
            "The default Normal Windows Internet Security settings are not recommended. Are you sure you "
            "wish to proceed?");
  EXPECT_EQ(prompter_.asked[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(prompter_.asked[0].icon, MsgIcon::None);
  EXPECT_EQ(store_.writes, 0);
  EXPECT_EQ(presenter_.shown, (std::vector<std::pair<ZoneSecurityState, bool>>{{ZoneSecurityState::Secured, true}}));
}

TEST_F(Switch, YesRestoresTheDefaults) {
  Start(ZoneProfile::LockedDown);
  prompter_.Answer(MsgAnswer::Yes);
  Release(0);
  EXPECT_EQ(State(), ZoneSecurityState::Unsecured);
  EXPECT_EQ(presenter_.shown.back(), std::make_pair(ZoneSecurityState::Unsecured, true));
}

TEST_F(Switch, CtrlAndAltWithoutShiftWriteThePromptingProfileFromAnyState) {
  for (ZoneProfile from : {ZoneProfile::Default, ZoneProfile::LockedDown, ZoneProfile::Prompting}) {
    Start(from);
    Release(kCtrlMask | kAltMask);
    EXPECT_EQ(State(), ZoneSecurityState::SemiSecured);
  }
  EXPECT_TRUE(prompter_.asked.empty());
}

TEST_F(Switch, OtherModifiersTakeTheOrdinaryPath) {
  for (std::uint16_t modifiers : {kCtrlMask, kAltMask, std::uint16_t(kCtrlMask | kAltMask | kShiftMask), kShiftMask}) {
    Start(ZoneProfile::Default);
    Release(modifiers);
    EXPECT_EQ(State(), ZoneSecurityState::Secured) << modifiers;
  }
}

// The direction follows the store at the moment of the release, not what the
// window last showed.
TEST_F(Switch, TheSecondReadingDecidesWhetherToAsk) {
  Start(ZoneProfile::LockedDown);
  // Another program loosens the zone between the switch's two readings.
  struct LoosenAfterFirstReading : ForwardingStore {
    using ForwardingStore::ForwardingStore;
    LONG RegQueryValueExA(HKEY k, RegName n, DWORD* r, DWORD* t, BYTE* d, DWORD* c) override {
      if (n.View() == "1E05" && d && ++readings == 1) {
        Registry(Target()).SetRegValue(HKEY_CURRENT_USER, kZonePath, "1200", 0, REG_DWORD);
      }
      return ForwardingStore::RegQueryValueExA(k, n, r, t, d, c);
    }
    int readings = 0;
  } loosening(memory_);
  Registry registry(loosening);
  SwitchZoneSecurity(registry, prompter_, presenter_, 0);
  EXPECT_TRUE(prompter_.asked.empty());  // no confirmation: it was no longer secured
  EXPECT_EQ(presenter_.shown.back().first, ZoneSecurityState::Unsecured);
}

TEST_F(Switch, WithoutTheZoneKeyNothingIsWrittenAndTheStateShownIsUnsecured) {
  HKEY parent = 0;
  memory_.RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones", &parent);
  memory_.RegDeleteKeyA(parent, "3");
  memory_.RegCloseKey(parent);
  Release(0);
  EXPECT_FALSE(registry_.RegKeyExists(HKEY_CURRENT_USER, kZonePath));
  EXPECT_EQ(presenter_.shown.back(), std::make_pair(ZoneSecurityState::Unsecured, true));
}

}  // namespace
}  // namespace pw::test
