#include "windowlogic/MainWindowLayout.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace pw {
namespace {

constexpr int kDesignW = kDesignClientWidth + kFrameWidth;    // 11895
constexpr int kDesignH = kDesignClientHeight + kFrameHeight;  // 8565

const char* const kMoving[] = {"Frame1", "Image2", "Label1", "Line1", "Image3", "Label3", "Line2",
                               "Image4", "Label4", "Line3",  "Image5", "Label5", "LVw",   "txtURL",
                               "cmdAddd", "cmdHelp", "cmdDelete", "cmdPrint"};

TEST(MainWindowLayout, DesignSizeKeepsTheDesignPlacesAndGivesTheThirdColumnTheRest) {
  MainWindowLayout layout = DesignLayout();
  MainWindowLayout before = layout;
  ASSERT_TRUE(ApplyResizeRules(layout, kDesignW, kDesignH, false));
  EXPECT_EQ(layout.places["Frame1"].top, 6240);
  EXPECT_EQ(layout.places["LVw"], (TwipRect{60, 1200, 11655, 4815}));
  EXPECT_EQ(layout.places["txtURL"], (TwipRect{60, 840, 10635, 360}));  // the rule, not the design's 10575
  EXPECT_EQ(layout.places["cmdAddd"].left, 10680);
  EXPECT_EQ(layout.places["cmdHelp"].left, 10680);
  EXPECT_EQ(layout.places["cmdDelete"].left, 9705);
  EXPECT_EQ(layout.places["cmdPrint"].left, 8730);
  // The legend's design tops differ slightly from the rules' (Image2 at 6060 vs
  // H - 2445 = 6120); the rules win once the window is shown.
  EXPECT_EQ(layout.places["Image2"].top, 6120);
  EXPECT_EQ(layout.places["Image2"].left, 7235);
  EXPECT_EQ(layout.columns.protocol, 1550);
  EXPECT_EQ(layout.columns.subdomain, 2820);
  EXPECT_EQ(layout.columns.domains, 11655 - 2820 - 1550 - 333);
  for (const char* fixed : {"cmdSecure", "cmdTrust", "cmdDeclassify", "cmdRestrict", "cmdAdd", "rT",
                            "pSecured", "pUnsecure", "pSemisecure", "Picture1", "Image1"})
    EXPECT_EQ(layout.places[fixed], before.places[fixed]) << fixed;
}

TEST(MainWindowLayout, NothingMovesAtOrBelowTheThresholdsOrWhenMinimised) {
  MainWindowLayout grown = DesignLayout();
  ASSERT_TRUE(ApplyResizeRules(grown, 14000, 10000, false));
  for (auto [w, h, minimised] : {std::tuple{9910, 9000, false}, std::tuple{14000, 5000, false},
                                 std::tuple{9000, 4000, false}, std::tuple{15000, 11000, true}}) {
    MainWindowLayout layout = grown;
    EXPECT_FALSE(ApplyResizeRules(layout, w, h, minimised)) << w << "x" << h;
    EXPECT_EQ(layout.places, grown.places) << w << "x" << h;
    EXPECT_EQ(layout.columns, grown.columns);
  }
  MainWindowLayout layout = grown;
  EXPECT_TRUE(ApplyResizeRules(layout, 9911, 5001, false));
  EXPECT_EQ(layout.places["LVw"].width, 9911 - 240);
  EXPECT_EQ(layout.places["LVw"].height, 5001 - 3750);
  EXPECT_EQ(layout.places["Frame1"].top, 5001 - 2325);
}

TEST(MainWindowLayout, WideningMovesTheRightHandControlsAndStretchesTheList) {
  MainWindowLayout base = DesignLayout();
  ApplyResizeRules(base, kDesignW, kDesignH, false);
  MainWindowLayout wide = base;
  const int d = 1500;
  ApplyResizeRules(wide, kDesignW + d, kDesignH, false);
  for (const char* moved : {"cmdHelp", "cmdDelete", "cmdPrint", "cmdAddd", "Image2", "Label1", "Line1",
                            "Image3", "Label3", "Line2", "Image4", "Label4", "Line3", "Image5", "Label5"}) {
    EXPECT_EQ(wide.places[moved].left, base.places[moved].left + d) << moved;
    EXPECT_EQ(wide.places[moved].top, base.places[moved].top) << moved;
  }
  for (const char* stretched : {"LVw", "txtURL"}) {
    EXPECT_EQ(wide.places[stretched].width, base.places[stretched].width + d) << stretched;
    EXPECT_EQ(wide.places[stretched].left, base.places[stretched].left) << stretched;
  }
  EXPECT_EQ(wide.columns.domains, base.columns.domains + d);
  for (const char* fixed : {"cmdSecure", "cmdTrust", "cmdDeclassify", "cmdRestrict", "cmdAdd"})
    EXPECT_EQ(wide.places[fixed], base.places[fixed]) << fixed;
}

TEST(MainWindowLayout, LegendRowsFollowTheBottomEdgeWithTheirOwnSpacing) {
  MainWindowLayout layout = DesignLayout();
  ApplyResizeRules(layout, 13000, 9000, false);
  auto& p = layout.places;
  EXPECT_EQ(p["Image2"].top, 9000 - 2445);
  EXPECT_EQ(p["Line1"].top, p["Image2"].top + 420);
  EXPECT_EQ(p["Line2"].top, p["Image3"].top + 480);
  EXPECT_EQ(p["Line3"].top, p["Image4"].top + 480);
  EXPECT_EQ(p["Image3"].top, p["Image2"].top + 480);
  EXPECT_EQ(p["Image5"].top, p["Image4"].top + 480);
  for (auto [image, label] : {std::pair{"Image2", "Label1"}, std::pair{"Image3", "Label3"},
                              std::pair{"Image4", "Label4"}, std::pair{"Image5", "Label5"}})
    EXPECT_EQ(p[label].top, p[image].top) << label;
  EXPECT_EQ(p["Image2"].left, p["Image3"].left - 60);
  for (const char* line : {"Line1", "Line2", "Line3"}) {
    EXPECT_EQ(p[line].left, 13000 - 4600) << line;
    EXPECT_EQ(p[line].left + p[line].width, 13000 - 160) << line;
  }
  // Heights and widths that the rules do not name stay as designed.
  EXPECT_EQ(p["Label3"].height, 495);
  EXPECT_EQ(p["Frame1"].width, 4455);
}

TEST(MainWindowLayout, UserColumnWidthsAreKeptAndTheThirdTakesTheRest) {
  MainWindowLayout layout = DesignLayout();
  layout.columns.protocol = 3000;
  layout.columns.subdomain = 1000;
  ApplyResizeRules(layout, 12000, 9000, false);
  EXPECT_EQ(layout.columns.protocol, 3000);
  EXPECT_EQ(layout.columns.subdomain, 1000);
  EXPECT_EQ(layout.columns.domains, 12000 - 240 - 1000 - 3000 - 333);
}

TEST(MainWindowLayout, EveryChildNamesAContainerDeclaredBeforeIt) {
  std::set<std::string> seen;
  for (const DesignControl& control : MainWindowDesign()) {
    if (!control.parent.empty()) {
      EXPECT_TRUE(seen.count(control.parent)) << control.name;
    }
    EXPECT_TRUE(seen.insert(control.name).second) << "twice: " << control.name;
  }
  for (const char* moving : kMoving) EXPECT_TRUE(seen.count(moving)) << moving;
}

}  // namespace
}  // namespace pw
