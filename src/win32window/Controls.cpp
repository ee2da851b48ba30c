#include "win32window/Controls.h"

#include <commctrl.h>

#include <algorithm>

#include "windowlogic/Twips.h"

namespace pw::win32 {

std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  return narrow;
}

std::string WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

int ImageListResource(int index) { return 100 + index; }

int Px(int twips, int dpi) { return TwipsToPixels(twips, dpi); }

RECT PxRect(const TwipRect& rect, int dpi) {
  int left = Px(rect.left, dpi);
  int top = Px(rect.top, dpi);
  // Both edges are rounded, so that neighbours meet as designed.
  return RECT{left, top, Px(rect.left + rect.width, dpi), Px(rect.top + rect.height, dpi)};
}

HFONT MakeFont(const char* face, double points, bool bold, int dpi) {
  std::wstring name = Wide(face);
  if (name == L"MS Sans Serif") name = L"Tahoma";
  LOGFONTW font{};
  font.lfHeight = -static_cast<::LONG>(points * dpi / 72.0 + 0.5);
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy(font.lfFaceName, name.c_str(), LF_FACESIZE - 1);
  return CreateFontIndirectW(&font);
}

HICON PictureIcon(int resource, int side) {
  static std::map<std::pair<int, int>, HICON> made;
  auto& icon = made[{resource, side}];
  if (!icon)
    icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), IMAGE_ICON, side, side,
                                         LR_DEFAULTCOLOR));
  return icon;
}

void DrawBitmapResource(HDC dc, int resource, const RECT& target) {
  static std::map<int, HBITMAP> bitmaps;
  HBITMAP& bitmap = bitmaps[resource];
  if (!bitmap)
    bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  BITMAP info{};
  if (!bitmap || !GetObjectW(bitmap, sizeof info, &info)) return;
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, bitmap);
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, source, 0, 0,
             info.bmWidth, info.bmHeight, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
}

namespace {

struct PictureState {
  int icon = 0;
  int bitmap = 0;
  SIZE bitmapPixels{};
};

PictureState* StateOf(HWND window) { return reinterpret_cast<PictureState*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

void PaintPicture(HWND window, HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  PictureState* state = StateOf(window);
  if (!state) return;
  if (state->bitmap) {
    DrawBitmapResource(dc, state->bitmap, RECT{0, 0, state->bitmapPixels.cx, state->bitmapPixels.cy});
    return;
  }
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (!state->icon) return;
  int side = std::min(client.right, client.bottom);
  if (side <= 0) return;
  DrawIconEx(dc, (client.right - side) / 2, (client.bottom - side) / 2, PictureIcon(state->icon, side), side, side, 0,
             nullptr, DI_NORMAL);
  if (GetFocus() == window) DrawFocusRect(dc, &client);
}

LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (LRESULT result; ClickableMessage(window, message, wParam, &result)) return result;
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new PictureState));
      break;
    case WM_NCDESTROY:
      delete StateOf(window);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PaintPicture(window, dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_SETCURSOR:
      if (GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool ClickableMessage(HWND window, UINT message, WPARAM wParam, LRESULT* result) {
  switch (message) {
    case WM_LBUTTONUP:
      if (IsWindowEnabled(window))
        SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), STN_CLICKED),
                     reinterpret_cast<LPARAM>(window));
      break;
    case WM_GETDLGCODE:
      *result = DLGC_WANTCHARS;
      return true;
    case WM_CHAR:
      if (wParam == L' ') SendMessageW(window, WM_LBUTTONUP, 0, 0);
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(window, nullptr, FALSE);  // the focus frame comes or goes
      break;
    default:
      return false;
  }
  *result = 0;
  return true;
}

void RegisterControlClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSEXW picture{};
  picture.cbSize = sizeof picture;
  picture.lpfnWndProc = PictureProc;
  picture.hInstance = GetModuleHandleW(nullptr);
  picture.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  picture.lpszClassName = kPictureClass;
  RegisterClassExW(&picture);
}

void SetPictureIcon(HWND picture, int resource) {
  if (PictureState* state = StateOf(picture); state && state->icon != resource) {
    state->icon = resource;
    InvalidateRect(picture, nullptr, FALSE);
  }
}

void SetPictureBitmap(HWND picture, int resource, SIZE bitmapPixels) {
  if (PictureState* state = StateOf(picture)) {
    state->bitmap = resource;
    state->bitmapPixels = bitmapPixels;
    InvalidateRect(picture, nullptr, FALSE);
  }
}

void ToolTips::Attach(HWND owner) {
  tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, 420);
  SendMessageW(tips_, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
}

namespace {

TTTOOLINFOW ToolOf(HWND tips, HWND control, UINT id, std::wstring& text) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = id ? control : GetParent(control);
  tool.uId = id ? id : reinterpret_cast<UINT_PTR>(control);
  tool.uFlags = TTF_SUBCLASS | (id ? 0 : TTF_IDISHWND);
  tool.lpszText = text.data();
  (void)tips;
  return tool;
}

}  // namespace

void ToolTips::Set(HWND control, const std::string& text) {
  if (!tips_ || !control) return;
  auto key = std::make_pair(control, 0u);
  bool known = texts_.count(key) > 0;
  std::wstring& stored = texts_[key];
  stored = Wide(text);
  TTTOOLINFOW tool = ToolOf(tips_, control, 0, stored);
  SendMessageW(tips_, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void ToolTips::SetRect(HWND control, UINT id, const RECT& rect, const std::string& text) {
  if (!tips_ || !control) return;
  auto key = std::make_pair(control, id);
  bool known = texts_.count(key) > 0;
  std::wstring& stored = texts_[key];
  stored = Wide(text);
  TTTOOLINFOW tool = ToolOf(tips_, control, id, stored);
  tool.rect = rect;
  SendMessageW(tips_, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (known) SendMessageW(tips_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

HWND MakeChild(HWND parent, const wchar_t* cls, const std::string& text, ::DWORD style, const RECT& rect, int id,
               HFONT font, ::DWORD exStyle) {
  HWND child = CreateWindowExW(exStyle, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

}  // namespace pw::win32
