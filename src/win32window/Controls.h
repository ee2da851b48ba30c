// What the native windows share: UTF-16 at the edges, twips to pixels at the
// window's DPI, the design's fonts, the picture control that shows our
// pictures, and tool tips.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <string_view>

#include "windowlogic/MainWindowLayout.h"

namespace pw::win32 {

std::wstring Wide(std::string_view text);
std::string Utf8(std::wstring_view text);
std::string WindowText(HWND window);

// The pictures linked into the program (pictures.rc).
inline constexpr int kImageListPictures = 11;
int ImageListResource(int index);  // 1 to kImageListPictures
inline constexpr int kAddPictureResource = 120;
inline constexpr int kPrintPictureResource = 121;
inline constexpr int kPanelBitmapResource = 130;  // + the panel: secured, semi-secure, unsecure
inline constexpr int kProductBitmapResource = 133;

int Px(int twips, int dpi);
RECT PxRect(const TwipRect& rect, int dpi);
// The design's face at `points`; "MS Sans Serif", a bitmap face that does not
// scale, is drawn in its outline successor.
HFONT MakeFont(const char* face, double points, bool bold, int dpi);

// The icon resource at `side` pixels, made once per size.
HICON PictureIcon(int resource, int side);

// Draws the bitmap resource stretched to `target`.
void DrawBitmapResource(HDC dc, int resource, const RECT& target);

// The messages of a control that takes clicks: a left-button release sends
// STN_CLICKED to the parent, Tab reaches it, the space bar presses it, and it
// repaints as it gains or loses the keyboard (its focus frame). True, with
// *result, when the message was one of them.
bool ClickableMessage(HWND window, UINT message, WPARAM wParam, LRESULT* result);

// Registers the window classes below once.
void RegisterControlClasses();

// "PwPicture": shows an icon resource fitted and centred, or a bitmap
// resource stretched to `bitmapTwips` from the control's top-left (clipped to
// the control). A click sends WM_COMMAND with STN_CLICKED to the parent.
inline constexpr const wchar_t* kPictureClass = L"PwPicture";
void SetPictureIcon(HWND picture, int resource);
void SetPictureBitmap(HWND picture, int resource, SIZE bitmapPixels);

// One tool tip window for the controls of a top-level window.
class ToolTips {
 public:
  void Attach(HWND owner);
  void Set(HWND control, const std::string& text);
  void SetRect(HWND control, UINT id, const RECT& rect, const std::string& text);

 private:
  HWND tips_ = nullptr;
  std::map<std::pair<HWND, UINT>, std::wstring> texts_;
};

// Creates a child control with the window font; `id` is its command id.
HWND MakeChild(HWND parent, const wchar_t* cls, const std::string& text, ::DWORD style, const RECT& rect, int id,
               HFONT font, ::DWORD exStyle = 0);

}  // namespace pw::win32
