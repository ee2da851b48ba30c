// The main window's controls at their design places, and the rules that move
// them when the window is resized. Everything here is in twips.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pw {

struct TwipRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TwipRect&) const = default;
};

// A control of the design: its name, the container it sits in (empty for the
// window itself) and its rectangle relative to that container. A line is a
// rectangle of height 0 from (left, top) to (left + width, top).
struct DesignControl {
  std::string name;
  std::string parent;
  TwipRect rect;
};

// Every control of MainWindow, containers before their children.
const std::vector<DesignControl>& MainWindowDesign();

// The window's design client area.
inline constexpr int kDesignClientWidth = 11760;
inline constexpr int kDesignClientHeight = 8055;
// The design's fixed frame: the outer size is the client size plus this, so the
// layout is the same with or without a window manager.
inline constexpr int kFrameWidth = 135;
inline constexpr int kFrameHeight = 510;
// Below or at these outer sizes, or when minimised, nothing moves.
inline constexpr int kMinLayoutWidth = 9910;
inline constexpr int kMinLayoutHeight = 5000;

// Widths of the list's three columns.
struct ListColumns {
  int protocol = 1550;
  int subdomain = 2820;
  int domains = 4700;
  bool operator==(const ListColumns&) const = default;
};

struct MainWindowLayout {
  std::map<std::string, TwipRect> places;  // every control of MainWindowDesign() by name
  ListColumns columns;
};

// The design places and column widths.
MainWindowLayout DesignLayout();

// The resize rules for the outer size W x H. Returns false, changing nothing,
// at or below the thresholds or when minimised; otherwise moves and stretches
// the controls that follow the right and bottom edges and gives the third
// column the rest of the list's width (the first two keep theirs).
bool ApplyResizeRules(MainWindowLayout& layout, int outerWidth, int outerHeight, bool minimised);

}  // namespace pw
