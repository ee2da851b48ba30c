#include "windowlogic/MainWindowLayout.h"

#include <tuple>

namespace pw {

const std::vector<DesignControl>& MainWindowDesign() {
  // Pictures come before the labels of their panel so the labels lie above them.
  static const std::vector<DesignControl> design = {
      {"pUnsecure", "", {80, 30, 1755, 795}},
      {"ImageSecure", "pUnsecure", {-60, -60, 1815, 855}},
      {"lblWarning", "pUnsecure", {60, 120, 975, 255}},
      {"Label9", "pUnsecure", {360, 420, 1275, 255}},
      {"pSemisecure", "", {80, 825, 1755, 795}},
      {"Image6", "pSemisecure", {-60, -60, 1815, 855}},
      {"Label2", "pSemisecure", {60, 120, 975, 255}},
      {"Label6", "pSemisecure", {240, 420, 1455, 255}},
      {"pSecured", "", {80, 1620, 1755, 795}},
      {"Image7", "pSecured", {-60, -60, 1815, 855}},
      {"Label7", "pSecured", {60, 180, 1575, 255}},
      {"Label8", "pSecured", {660, 420, 975, 255}},
      {"cmdSecure", "", {1870, 0, 1035, 855}},
      {"cmdTrust", "", {2880, 0, 975, 855}},
      {"cmdDeclassify", "", {3840, 0, 975, 855}},
      {"cmdRestrict", "", {4800, 0, 975, 855}},
      {"cmdAdd", "", {5770, 0, 975, 855}},
      {"cmdPrint", "", {8730, 0, 975, 855}},
      {"cmdDelete", "", {9705, 0, 975, 855}},
      {"cmdHelp", "", {10680, 0, 1035, 855}},
      {"txtURL", "", {60, 840, 10575, 360}},
      {"cmdAddd", "", {10680, 880, 1035, 335}},
      {"LVw", "", {60, 1200, 11655, 4815}},
      {"Frame1", "", {60, 6240, 4455, 1695}},
      {"Picture1", "Frame1", {120, 240, 4215, 1335}},
      {"Image1", "Picture1", {0, 0, 4155, 1575}},
      {"rT", "", {4800, 6120, 615, 555}},
      {"Image2", "", {7200, 6060, 465, 450}},
      {"Label1", "", {7740, 6060, 3975, 435}},
      {"Line1", "", {7260, 6480, 4440, 0}},
      {"Image3", "", {7260, 6540, 360, 345}},
      {"Label3", "", {7740, 6540, 3975, 495}},
      {"Line2", "", {7260, 6960, 4440, 0}},
      {"Image4", "", {7260, 7020, 420, 450}},
      {"Label4", "", {7740, 7020, 3975, 495}},
      {"Line3", "", {7260, 7440, 4440, 0}},
      {"Image5", "", {7260, 7500, 420, 405}},
      {"Label5", "", {7740, 7500, 3975, 495}},
  };
  return design;
}

MainWindowLayout DesignLayout() {
  MainWindowLayout layout;
  for (const DesignControl& control : MainWindowDesign()) layout.places[control.name] = control.rect;
  return layout;
}

namespace {

// A line keeps its length in width; the rules give both of its ends.
void PlaceLine(TwipRect& line, int x1, int x2, int y) {
  line.left = x1;
  line.width = x2 - x1;
  line.top = y;
}

}  // namespace

bool ApplyResizeRules(MainWindowLayout& layout, int W, int H, bool minimised) {
  if (!(W > kMinLayoutWidth && H > kMinLayoutHeight && !minimised)) return false;
  auto& p = layout.places;

  p["Frame1"].top = H - 2325;
  p["Image2"].top = H - 2445;
  p["Label1"].top = p["Image2"].top;
  p["Line1"].top = p["Image2"].top + 420;
  p["Image3"].top = p["Image2"].top + 480;
  p["Label3"].top = p["Image3"].top;
  p["Line2"].top = p["Image3"].top + 480;
  p["Image4"].top = p["Image3"].top + 480;
  p["Label4"].top = p["Image4"].top;
  p["Line3"].top = p["Image4"].top + 480;
  p["Image5"].top = p["Image4"].top + 480;
  p["Label5"].top = p["Image5"].top;

  p["LVw"].width = W - 240;
  p["LVw"].height = H - 3750;

  p["txtURL"].width = W - 1260;
  p["cmdAddd"].left = W - 1215;

  p["cmdHelp"].left = p["cmdAddd"].left;
  p["cmdDelete"].left = p["cmdHelp"].left - 975;
  p["cmdPrint"].left = p["cmdDelete"].left - 975;

  p["Image2"].left = W - 4660;
  p["Label1"].left = W - 4120;
  PlaceLine(p["Line1"], W - 4600, W - 160, p["Line1"].top);
  for (auto [image, label, line] : {std::tuple{"Image3", "Label3", "Line2"},
                                    std::tuple{"Image4", "Label4", "Line3"},
                                    std::tuple{"Image5", "Label5", ""}}) {
    p[image].left = W - 4600;
    p[label].left = W - 4120;
    if (*line) PlaceLine(p[line], W - 4600, W - 160, p[line].top);
  }

  layout.columns.domains =
      p["LVw"].width - layout.columns.subdomain - layout.columns.protocol - 333;
  return true;
}

}  // namespace pw
