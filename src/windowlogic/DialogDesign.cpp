#include "windowlogic/DialogDesign.h"

#include <string>

namespace pw {
namespace {

// A picture and its option in a frame, for Trusted, Unclassified, Restricted.
constexpr std::array<TwipRect, 3> kPicturePlaces = {
    TwipRect{1080, 180, 360, 345}, TwipRect{2520, 180, 360, 345}, TwipRect{4320, 180, 360, 345}};
constexpr std::array<TwipRect, 3> kOptionPlaces = {
    TwipRect{1440, 300, 855, 195}, TwipRect{2880, 300, 1215, 255}, TwipRect{4680, 300, 1095, 195}};

void AddChoices(std::vector<DesignControl>& design, const std::string& frame,
                const std::array<const char*, 3>& pictures,
                const std::array<const char*, 3>& options) {
  for (std::size_t i = 0; i < 3; ++i) {
    design.push_back({pictures[i], frame, kPicturePlaces[i]});
    design.push_back({options[i], frame, kOptionPlaces[i]});
  }
}

// The logo panel both dialogs show.
void AddLogoPanel(std::vector<DesignControl>& design, TwipRect place) {
  design.push_back({"Frame4", "", place});
  design.push_back({"Picture1", "Frame4", {120, 240, 4215, 1335}});
  design.push_back({"Image10", "Picture1", {0, 0, 4155, 1575}});
}

}  // namespace

const std::vector<DesignControl>& VerifyListingDesign() {
  static const std::vector<DesignControl> design = [] {
    std::vector<DesignControl> d = {
        {"Label1", "", {120, 120, 1635, 255}}, {"lblSubDomain", "", {1860, 120, 4275, 255}},
        {"Label2", "", {120, 480, 1095, 255}}, {"lblDomain", "", {1320, 480, 4815, 255}},
        {"Line1", "", {60, 900, 6060, 0}},     {"Frame3", "", {60, 1020, 6075, 615}},
    };
    AddChoices(d, "Frame3", kVerifyListingPictures, kVerifyListingOptions);
    d.push_back({"Command2", "", {4560, 1680, 1575, 495}});
    d.push_back({"Command3", "", {4560, 2280, 1575, 495}});
    d.push_back({"Command1", "", {4560, 2880, 1575, 495}});
    AddLogoPanel(d, {60, 1680, 4455, 1695});
    return d;
  }();
  return design;
}

const std::array<ProtocolRowDesign, 3>& ProtocolListingRows() {
  static const std::array<ProtocolRowDesign, 3> rows = {{
      {"Frame1",
       "Check1",
       "HTTPS",
       {"Option1", "Option2", "Option3"},
       {"Image2", "Image3", "Image4"}},
      {"Frame2",
       "Check2",
       "FTP",
       {"Option4", "Option5", "Option6"},
       {"Image1", "Image5", "Image6"}},
      {"Frame3",
       "Check3",
       "HTTP",
       {"Option7", "Option8", "Option9"},
       {"Image7", "Image8", "Image9"}},
  }};
  return rows;
}

const std::vector<DesignControl>& ProtocolListingDesign() {
  static const std::vector<DesignControl> design = [] {
    std::vector<DesignControl> d = {
        {"Label1", "", {120, 120, 1635, 255}}, {"lblSubDomain", "", {1860, 120, 4155, 255}},
        {"Label2", "", {120, 480, 1095, 255}}, {"lblDomain", "", {1320, 480, 4695, 255}},
        {"Line1", "", {60, 840, 5940, 0}},     {"Label4", "", {60, 900, 1635, 255}},
    };
    const TwipRect frames[] = {{60, 1260, 5955, 615}, {60, 1980, 5955, 615}, {60, 2760, 5955, 615}};
    const TwipRect checks[] = {{300, 1260, 855, 255}, {240, 1980, 615, 255}, {240, 2760, 735, 255}};
    for (std::size_t row = 0; row < 3; ++row) {
      const ProtocolRowDesign& names = ProtocolListingRows()[row];
      d.push_back({names.frame, "", frames[row]});
      AddChoices(d, names.frame, names.pictures, names.options);
      d.push_back({names.check, "", checks[row]});
    }
    d.push_back({"Command2", "", {4740, 3600, 1215, 615}});
    d.push_back({"Command1", "", {4740, 4440, 1215, 615}});
    AddLogoPanel(d, {60, 3420, 4455, 1695});
    return d;
  }();
  return design;
}

}  // namespace pw
