// A small window program built like the window program will be (wWinMain,
// the window manifest), so that the Wine tests can check what the manifest
// and the toolchain give it and drive it with real X input:
//   window-probe.exe             a window whose title tells its DPI, its DPI
//                                awareness (and the manifest's) and the common
//                                controls' version; "Press" counts presses in
//                                the registry
//   window-probe.exe print TEXT  TEXT on one page of the default printer
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>

namespace {

constexpr wchar_t kClassName[] = L"PortwardenWindowProbe";
constexpr wchar_t kPressKey[] = L"Software\\Portwarden tests\\window probe";
constexpr int kPressId = 100;
// Design sizes in pixels at 96 DPI.
constexpr int kClientWidth = 320, kClientHeight = 160;
constexpr RECT kPressRect = {24, 24, 24 + 120, 24 + 36};

int Scale(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

// The major version of the common controls in use. Windows tells it through
// DllGetVersion; Wine has one DLL for both versions, which says 5 either way,
// and loads it from the side-by-side store when version 6 is asked for.
int ControlsVersion() {
  HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  if (!comctl) return 0;
  auto getVersion =
      reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")));
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  if (getVersion && SUCCEEDED(getVersion(&info)) && info.dwMajorVersion >= 6) return static_cast<int>(info.dwMajorVersion);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(comctl, path, MAX_PATH);
  CharLowerW(path);
  std::wstring file = path;
  bool sideBySide6 = file.find(L"\\winsxs\\") != std::wstring::npos &&
                     file.find(L"common-controls_6595b64144ccf1df_6.") != std::wstring::npos;
  return sideBySide6 ? 6 : static_cast<int>(info.dwMajorVersion);
}

const wchar_t* AwarenessName(HWND window) {
  switch (GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(window))) {
    case DPI_AWARENESS_UNAWARE: return L"unaware";
    case DPI_AWARENESS_SYSTEM_AWARE: return L"system";
    case DPI_AWARENESS_PER_MONITOR_AWARE: return L"per-monitor";
    default: return L"invalid";
  }
}

// The DPI awareness the program's manifest asks for, as Windows reads it
// (Wine makes every program per-monitor aware, with a manifest or without).
std::wstring ManifestDpiAwareness() {
  using QuerySettings = BOOL(WINAPI*)(DWORD, HANDLE, PCWSTR, PCWSTR, PWSTR, SIZE_T, SIZE_T*);
  auto query = reinterpret_cast<QuerySettings>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryActCtxSettingsW")));
  wchar_t setting[128] = {};
  SIZE_T written = 0;
  if (!query || !query(0, nullptr, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness",
                       setting, sizeof setting / sizeof *setting, &written))
    return L"none";
  return setting;
}

struct Probe {
  HWND press = nullptr;
  HFONT font = nullptr;
  DWORD presses = 0;
};

void Layout(HWND window, Probe& probe) {
  UINT dpi = GetDpiForWindow(window);
  if (probe.font) DeleteObject(probe.font);
  probe.font = CreateFontW(-MulDiv(9, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                           DEFAULT_PITCH, L"Tahoma");
  SendMessageW(probe.press, WM_SETFONT, reinterpret_cast<WPARAM>(probe.font), TRUE);
  MoveWindow(probe.press, Scale(kPressRect.left, dpi), Scale(kPressRect.top, dpi),
             Scale(kPressRect.right - kPressRect.left, dpi), Scale(kPressRect.bottom - kPressRect.top, dpi), TRUE);
  std::wstring title = L"Portwarden probe: " + std::to_wstring(dpi) + L" dpi, " + AwarenessName(window) + L" (" +
                       ManifestDpiAwareness() + L"), controls " + std::to_wstring(ControlsVersion());
  if (probe.presses) title += L", pressed " + std::to_wstring(probe.presses);
  SetWindowTextW(window, title.c_str());
}

void RecordPress(Probe& probe) {
  ++probe.presses;
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kPressKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    RegSetValueExW(key, L"Presses", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&probe.presses),
                   sizeof probe.presses);
    RegCloseKey(key);
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* probe = reinterpret_cast<Probe*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_CREATE: {
      probe = static_cast<Probe*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(probe));
      probe->press = CreateWindowExW(0, WC_BUTTONW, L"Press", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                     0, 0, 0, 0, window, reinterpret_cast<HMENU>(kPressId), nullptr, nullptr);
      Layout(window, *probe);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kPressId && HIWORD(wParam) == BN_CLICKED) {
        RecordPress(*probe);
        Layout(window, *probe);
      }
      return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      Layout(window, *probe);
      return 0;
    }
    case WM_DESTROY:
      if (probe->font) DeleteObject(probe->font);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

int ShowWindowProbe(HINSTANCE instance, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);

  // The outer size for the design's client size at the DPI the window will have.
  const DWORD style = WS_OVERLAPPEDWINDOW, exStyle = 0;
  UINT dpi = GetDpiForSystem();
  RECT outer = {0, 0, Scale(kClientWidth, dpi), Scale(kClientHeight, dpi)};
  AdjustWindowRectExForDpi(&outer, style, FALSE, exStyle, dpi);
  Probe probe;
  HWND window = CreateWindowExW(exStyle, kClassName, L"Portwarden probe", style, 40, 40, outer.right - outer.left,
                                outer.bottom - outer.top, nullptr, nullptr, instance, &probe);
  if (!window) return 1;
  ShowWindow(window, show);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

int PrintPage(const wchar_t* text) {
  DWORD length = 0;
  GetDefaultPrinterW(nullptr, &length);
  std::wstring printer(length, L'\0');
  if (length == 0 || !GetDefaultPrinterW(printer.data(), &length)) {
    std::fputs("window-probe: there is no default printer\n", stderr);
    return 1;
  }
  HDC dc = CreateDCW(L"WINSPOOL", printer.c_str(), nullptr, nullptr);
  if (!dc) {
    std::fputs("window-probe: the default printer cannot be opened\n", stderr);
    return 1;
  }
  DOCINFOW document{};
  document.cbSize = sizeof document;
  document.lpszDocName = L"Portwarden probe";
  bool printed = false;
  if (StartDocW(dc, &document) > 0) {
    if (StartPage(dc) > 0) {
      const int inch = GetDeviceCaps(dc, LOGPIXELSY);
      HFONT font = CreateFontW(-MulDiv(12, inch, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial");
      HGDIOBJ old = SelectObject(dc, font);
      TextOutW(dc, inch, inch, text, static_cast<int>(wcslen(text)));
      SelectObject(dc, old);
      DeleteObject(font);
      printed = EndPage(dc) > 0;
    }
    printed = EndDoc(dc) > 0 && printed;
  }
  DeleteDC(dc);
  if (!printed) std::fputs("window-probe: the printer refused the page\n", stderr);
  return printed ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  if (__argc >= 3 && std::wstring(__wargv[1]) == L"print") return PrintPage(__wargv[2]);
  return ShowWindowProbe(instance, show);
}
