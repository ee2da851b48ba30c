#include "windowlogic/Startup.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "ScriptedPrompter.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/MemoryStore.h"

namespace pw {
namespace {

using test::ScriptedPrompter;

// Records what start-up asked of the window, in order.
class RecordingWindow : public StartupWindow {
 public:
  void OfferAddress(const std::string& address) override { calls.push_back("offer " + address); }
  void PlaceStatusPanels() override { calls.push_back("place"); }
  void ShowZoneSecurityState(ZoneSecurityState state, bool tip) override {
    calls.push_back(std::string("show ") + ZoneSecurityStateName(state) + (tip ? " +tip" : ""));
  }
  void RebuildSiteList() override { calls.push_back("refresh"); }
  std::vector<std::string> calls;
};

class ListedPages {
 public:
  explicit ListedPages(std::vector<std::string> pages, bool fail = false) : pages_(std::move(pages)), fail_(fail) {}
  std::vector<std::string> operator()() const {
    if (fail_) throw std::runtime_error("no shell");
    return pages_;
  }

 private:
  std::vector<std::string> pages_;
  bool fail_;
};

class StartupTest : public testing::Test {
 protected:
  StartupTest() { LayOutNewStore(store_); }

  void SetZone(ZoneProfile profile) { WriteZoneProfile(registry_, profile); }

  StartupOutcome Run(const std::string& commandLine, OpenPagesSource pages = {}) {
    StartupServices services;
    services.registry = &registry_;
    services.prompter = &prompter_;
    services.pages = std::move(pages);
    services.firstStart = [this] { window_.calls.push_back("first start"); };
    services.commandLine = commandLine;
    return RunStartup(window_, services);
  }

  MemoryStore store_;
  Registry registry_{store_};
  ScriptedPrompter prompter_;
  RecordingWindow window_;
};

TEST_F(StartupTest, RunsItsStepsInOrderAndSkipsAddressesHoldingTripleSlashes) {
  SetZone(ZoneProfile::LockedDown);
  ListedPages pages({"http://www.example.com/a.html", "file:///home/user/", "https://bank.example.org/"});
  EXPECT_EQ(Run("", pages), StartupOutcome::ShowWindow);
  EXPECT_EQ(window_.calls, (std::vector<std::string>{"offer http://www.example.com/a.html",
                                                     "offer https://bank.example.org/", "first start",
                                                     "place", "show secured", "refresh"}));
  EXPECT_TRUE(prompter_.asked.empty());
}

TEST(OfferedAddresses, AreOnlyHttpHttpsAndFtpTrimmedAndUndisguised) {
  ListedPages pages({"ABOUT:config", " about:blank", "javascript:alert(1)", "data:text/html,<b>x</b>",
                     "http://a.example/\u202Egnp.exe", "http://b.example/\u2028http://c.example/",
                     "http://d.example/\xC2\x9B" "2J", " \tHTTPS://ok.example/a \n", "ftp://f.example/"});
  EXPECT_EQ(OfferedAddresses(pages), (std::vector<std::string>{"HTTPS://ok.example/a", "ftp://f.example/"}));
}

TEST_F(StartupTest, AFailingPageSourceOffersNothingAndStartUpGoesOn) {
  SetZone(ZoneProfile::LockedDown);
  ListedPages pages({"http://a.example/"}, true);
  EXPECT_EQ(Run("", pages), StartupOutcome::ShowWindow);
  EXPECT_EQ(window_.calls.front(), "first start");
}

TEST_F(StartupTest, StartupModeEndsTheRunWhenTheZoneIsProtected) {
  for (ZoneProfile profile : {ZoneProfile::LockedDown, ZoneProfile::Prompting}) {
    window_.calls.clear();
    SetZone(profile);
    EXPECT_EQ(Run("Startup"), StartupOutcome::EndRun);
    EXPECT_EQ(window_.calls.back(), std::string("show ") + ZoneSecurityStateName(ExpectedState(profile)));
    EXPECT_TRUE(prompter_.asked.empty());
  }
}

TEST_F(StartupTest, OnlyTheExactStartupTextIsTheStartupMode) {
  SetZone(ZoneProfile::LockedDown);
  for (const char* line : {"startup", "Startup now", " Startup", "STARTUP"}) {
    window_.calls.clear();
    EXPECT_EQ(Run(line), StartupOutcome::ShowWindow) << line;
    EXPECT_EQ(window_.calls.back(), "refresh") << line;
  }
}

TEST_F(StartupTest, AnUnsecuredZoneIsOfferedTheSwitchBeforeTheListIsFilled) {
  SetZone(ZoneProfile::Default);
  prompter_.Answer(MsgAnswer::Yes);
  EXPECT_EQ(Run("Startup"), StartupOutcome::ShowWindow);
  ASSERT_EQ(prompter_.asked.size(), 1u);
  EXPECT_EQ(prompter_.asked[0].title, "Raise the Portwarden?");
  EXPECT_EQ(prompter_.asked[0].text,
            "Your security could be compromised at any time by hostile scripts or plugins. Do you wish "
            "to remedy this situation?");
  EXPECT_EQ(prompter_.asked[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(prompter_.asked[0].icon, MsgIcon::None);
  EXPECT_EQ(window_.calls,
            (std::vector<std::string>{"first start", "place", "show unsecured", "show secured +tip", "refresh"}));
  EXPECT_EQ(DetectZoneSecurity(registry_), ZoneSecurityState::Secured);
}

TEST_F(StartupTest, DecliningTheOfferWritesNothing) {
  SetZone(ZoneProfile::Default);
  prompter_.Answer(MsgAnswer::No);
  EXPECT_EQ(Run(""), StartupOutcome::ShowWindow);
  EXPECT_EQ(window_.calls, (std::vector<std::string>{"first start", "place", "show unsecured", "refresh"}));
  EXPECT_EQ(DetectZoneSecurity(registry_), ZoneSecurityState::Unsecured);
}

TEST(CommandLineText, JoinsWhatRemainsWithSingleSpaces) {
  EXPECT_EQ(CommandLineText({}), "");
  EXPECT_EQ(CommandLineText({"Startup"}), "Startup");
  EXPECT_EQ(CommandLineText({"Startup", "x"}), "Startup x");
  EXPECT_EQ(CommandLineText({"", "Startup"}), " Startup");
}

}  // namespace
}  // namespace pw
