#include "windowlogic/AddFlow.h"

#include <gtest/gtest.h>

#include "FullDiskStore.h"
#include "ScriptedPrompter.h"
#include "intake/SiteAddress.h"
#include "policy/NewStoreLayout.h"
#include "registry/MemoryStore.h"

namespace pw {
namespace {

// The main window's address box and tag; notes the box's text at each message.
class FakeWindow : public AddFlowWindow, public test::ScriptedPrompter {
 public:
  std::string AddressBoxText() const override { return box; }
  void SetAddressBoxText(const std::string& text) override { box = text; }
  std::string& Tag() override { return tag; }
  MsgAnswer MsgBox(const std::string& title, const std::string& text, MsgButtons buttons,
                   MsgIcon icon) override {
    boxWhenAsked.push_back(box);
    return ScriptedPrompter::MsgBox(title, text, buttons, icon);
  }
  std::string box, tag;
  std::vector<std::string> boxWhenAsked;
  int closed = 0;
  std::optional<VerificationListing> Add(const std::string& address) {
    box = address;
    std::optional<VerificationListing> listing;
    RunAddFlow(
        *this, [&] { listing = LoadVerification(*this, *this); }, [&] { ++closed; });
    return listing;
  }
};

TEST(AddFlow, ARefusalShowsItsMessageAfterSettingTheBoxAndClosesTheDialogThroughTheTag) {
  struct Case {
    std::string address, boxAfter;
    const char* title;  // null: no message
    MsgIcon icon;
  } cases[] = {
      {"a.com", "a.com", nullptr, MsgIcon::None},
      {"http://192.0.2.1/", "http://192.0.2.1/", kFraudAlertTitle, MsgIcon::Critical},
      {"www.example.com:8080/x", "www.example.com:8080", kCorruptedUrlTitle, MsgIcon::Exclamation},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    FakeWindow main;
    EXPECT_EQ(main.Add(c.address), std::nullopt);
    EXPECT_EQ(main.closed, 1);
    EXPECT_EQ(main.tag, "");
    EXPECT_EQ(main.box, c.boxAfter);
    ASSERT_EQ(main.asked.size(), c.title ? 1u : 0u);
    if (!c.title) continue;
    EXPECT_EQ(main.asked[0].title, c.title);
    EXPECT_EQ(main.asked[0].icon, c.icon);
    EXPECT_EQ(main.boxWhenAsked[0], c.boxAfter);
    if (c.icon == MsgIcon::Critical) {
      EXPECT_EQ(main.asked[0].text, FraudAlertText("192.0.2.1", "http://192.0.2.1/"));
    }
  }
}

TEST(AddFlow, AnAcceptedAddressIsCutInTheBoxAndItsDialogStaysOpen) {
  FakeWindow main;
  std::optional<VerificationListing> listing = main.Add("https://a.b.example.com/x");
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->subDomain, "*.b");
  EXPECT_EQ(listing->domain, "example.com");
  EXPECT_EQ(listing->fullSubDomain, "a.b");
  EXPECT_EQ(main.box, "https://a.b.example.com");
  EXPECT_EQ(main.closed, 0);
  EXPECT_TRUE(main.asked.empty());
}

TEST(AddFlow, WriteFailuresAreReportedOncePerActionAndNoRowCheckedIsNoFailure) {
  MemoryStore memory;
  LayOutNewStore(memory);
  test::ScriptedPrompter prompter;
  StoreFailureReporter reporter(prompter);
  test::FullDiskStore full(memory);
  full.SetErrorSink(reporter.Sink());
  Registry failing(full), registry(memory);
  {
    StoreFailureReporter::Action action(reporter);
    WriteVerifiedListing(failing, reporter, {"*", "example.com", "www"}, Zone::Trusted);
    EXPECT_TRUE(WriteEditedProtocols(failing, reporter, "example.com", "www",
                                     ProtocolsForAddress("http://")));
  }
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_NE(prompter.asked[0].text.find("database or disk is full"), std::string::npos);
  {
    StoreFailureReporter::Action action(reporter);
    EXPECT_FALSE(WriteEditedProtocols(registry, reporter, "example.com", "www", {}));
  }
  EXPECT_EQ(prompter.asked.size(), 1u);
  // A key the store will not make is a status only, not a failure of the medium.
  std::string tooLong(300, 'a');
  {
    StoreFailureReporter::Action action(reporter);
    WriteVerifiedListing(registry, reporter, {"*", tooLong, ""}, Zone::Trusted);
  }
  ASSERT_EQ(prompter.asked.size(), 2u);
  EXPECT_NE(prompter.asked[1].text.find("the key " + tooLong + " of the zone map"),
            std::string::npos);
}

TEST(AddFlow, TheRowUpdateGreysAndClearsAClearRowAndOnlyACheckedRowTakesPictureClicks) {
  ProtocolChoice row{true, Zone::Restricted};
  RowLook look = UpdateRow(row);
  EXPECT_EQ(look.firstPicture, 2);
  EXPECT_TRUE(look.enabled);
  EXPECT_EQ(row.zone, Zone::Restricted);
  row.checked = false;
  look = UpdateRow(row);
  EXPECT_EQ(look.firstPicture, 5);
  EXPECT_FALSE(look.enabled);
  EXPECT_EQ(row.zone, std::nullopt);
  EXPECT_FALSE(ClickRowPicture(row, Zone::Trusted));
  EXPECT_EQ(row.zone, std::nullopt);
  row.checked = true;
  EXPECT_TRUE(ClickRowPicture(row, Zone::Trusted));
  EXPECT_EQ(row.zone, Zone::Trusted);
}

}  // namespace
}  // namespace pw
