#include "windowlogic/StatusPresentation.h"

#include <gtest/gtest.h>

#include "ScriptedPrompter.h"

namespace pw {
namespace {

using test::ScriptedPrompter;

TEST(StatusPresentation, EachStateHasItsPanelCaptionAndPicture) {
  EXPECT_EQ(PresentationFor(ZoneSecurityState::Secured).panel, StatusPanel::Secured);
  EXPECT_STREQ(PresentationFor(ZoneSecurityState::Secured).secureCaption, "De-Secure");
  EXPECT_EQ(PresentationFor(ZoneSecurityState::Secured).securePicture, 9);
  EXPECT_EQ(PresentationFor(ZoneSecurityState::SemiSecured).panel, StatusPanel::SemiSecure);
  EXPECT_STREQ(PresentationFor(ZoneSecurityState::SemiSecured).secureCaption, "Secure");
  EXPECT_EQ(PresentationFor(ZoneSecurityState::SemiSecured).securePicture, 10);
  EXPECT_EQ(PresentationFor(ZoneSecurityState::Unsecured).panel, StatusPanel::Unsecure);
}

TEST(StatusPresentation, AnyOtherStateValueIsShownAsUnsecured) {
  for (int value : {2, 3, 5, 255})
    EXPECT_EQ(&PresentationFor(static_cast<ZoneSecurityState>(value)), &PresentationFor(ZoneSecurityState::Unsecured))
        << value;
}

TEST(StatusPresentation, TheUnsecuredPictureKeepsItsOwnToolTip) {
  const PanelDesign& design = DesignOf(StatusPanel::Unsecure);
  EXPECT_NE(std::string(design.labelToolTip), design.pictureToolTip);
  EXPECT_TRUE(std::string(design.pictureToolTip).ends_with("Click  fore more information."));
  EXPECT_TRUE(std::string(design.labelToolTip).ends_with("Click  for more information."));
}

TEST(ExplainPanel, TheSecuredPanelOnlyExplains) {
  ScriptedPrompter prompter;
  int switches = 0;
  ExplainPanel(StatusPanel::Secured, prompter, [&] { ++switches; });
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0].title, "The Portwarden is Raised.");
  EXPECT_EQ(prompter.asked[0].buttons, MsgButtons::Ok);
  EXPECT_EQ(prompter.asked[0].icon, MsgIcon::None);
  EXPECT_EQ(switches, 0);
}

TEST(ExplainPanel, TheInsecurePanelsRunTheSwitchOnYesOnly) {
  for (StatusPanel panel : {StatusPanel::SemiSecure, StatusPanel::Unsecure}) {
    ScriptedPrompter prompter;
    prompter.Answer(MsgAnswer::No);
    prompter.Answer(MsgAnswer::Yes);
    int switches = 0;
    ExplainPanel(panel, prompter, [&] { ++switches; });
    EXPECT_EQ(switches, 0);
    ExplainPanel(panel, prompter, [&] { ++switches; });
    EXPECT_EQ(switches, 1);
    ASSERT_EQ(prompter.asked.size(), 2u);
    EXPECT_EQ(prompter.asked[0].title, "Raise the Portwarden?");
    EXPECT_EQ(prompter.asked[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(prompter.asked[0].text.ends_with("Do you wish to remedy this situation?"));
  }
}

}  // namespace
}  // namespace pw
