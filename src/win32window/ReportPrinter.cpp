#include "win32window/ReportPrinter.h"

#include <commdlg.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <richedit.h>
#include <winspool.h>

#include <algorithm>
#include <map>
#include <tuple>
#include <filesystem>
#include <fstream>

#include "report/ReportText.h"

namespace pw::win32 {
namespace {

constexpr const char* kTitle = "Print";
constexpr const wchar_t* kDocumentName = L"Portwarden Scripting Privilege Report";

struct Source {
  const std::string& text;
  std::size_t at = 0;
};

::DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, ::LONG wanted, ::LONG* given) {
  auto* source = reinterpret_cast<Source*>(cookie);
  std::size_t count = std::min(static_cast<std::size_t>(wanted), source->text.size() - source->at);
  std::copy_n(source->text.data() + source->at, count, buffer);
  source->at += count;
  *given = static_cast<::LONG>(count);
  return 0;
}

std::string LastError() {
  wchar_t* text = nullptr;
  ::DWORD code = GetLastError();
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string message = text ? Utf8(text) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

// Asks where to save the report; empty when the user declines.
std::string ChooseRtfPath(HWND owner) {
  wchar_t path[MAX_PATH] = L"Portwarden Scripting Privilege Report.rtf";
  OPENFILENAMEW choose{};
  choose.lStructSize = sizeof choose;
  choose.hwndOwner = owner;
  choose.lpstrFilter = L"Rich text files (*.rtf)\0*.rtf\0";
  choose.lpstrFile = path;
  choose.nMaxFile = MAX_PATH;
  choose.lpstrDefExt = L"rtf";
  choose.lpstrTitle = L"Save the report as rich text";
  // In the user's documents unless the user goes elsewhere.
  PWSTR documents = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents))) folder = documents;
  CoTaskMemFree(documents);
  if (!folder.empty()) choose.lpstrInitialDir = folder.c_str();
  choose.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  return GetSaveFileNameW(&choose) ? Utf8(path) : std::string();
}

// Draws the report's characters in their looks, a line at a time, inside
// `area` (device units), the tab stops half an inch apart; a new page when a
// line would not fit. False when the printer refused a page.
bool DrawReportPages(HDC dc, const RECT& area, const ComposedReport& report) {
  const int dpiX = GetDeviceCaps(dc, LOGPIXELSX);
  const int dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  std::map<std::tuple<std::string, int, bool>, HFONT> fonts;
  auto fontOf = [&](const ReportLook& look) {
    HFONT& font = fonts[{std::string(look.family), look.points, look.bold}];
    if (!font) {
      LOGFONTW info{};
      info.lfHeight = -MulDiv(look.points, dpiY, 72);
      info.lfWeight = look.bold ? FW_BOLD : FW_NORMAL;
      info.lfCharSet = DEFAULT_CHARSET;
      std::wstring face = Wide(look.family);
      wcsncpy(info.lfFaceName, face.c_str(), LF_FACESIZE - 1);
      font = CreateFontIndirectW(&info);
    }
    return font;
  };
  const std::u16string& text = report.text;
  const int tab = dpiX / 2;
  int y = area.top;
  bool ok = StartPage(dc) > 0;
  SetBkMode(dc, TRANSPARENT);
  for (std::size_t lineStart = 0; ok && lineStart < text.size();) {
    std::size_t lineEnd = text.find(u'\n', lineStart);
    if (lineEnd == std::u16string::npos) lineEnd = text.size();
    int height = 0;
    for (std::size_t i = lineStart; i <= lineEnd && i < text.size(); ++i) {
      SelectObject(dc, fontOf(LookOf(report.markup.kinds[i])));
      TEXTMETRICW metrics;
      GetTextMetricsW(dc, &metrics);
      height = std::max(height, static_cast<int>(metrics.tmHeight));
    }
    if (y + height > area.bottom && y > area.top) {
      ok = EndPage(dc) > 0 && StartPage(dc) > 0;
      SetBkMode(dc, TRANSPARENT);
      y = area.top;
    }
    int x = area.left;
    for (std::size_t i = lineStart; i < lineEnd;) {
      if (text[i] == u'\t') {
        x = area.left + ((x - area.left) / tab + 1) * tab;
        ++i;
        continue;
      }
      std::size_t end = i;
      while (end < lineEnd && text[end] != u'\t' && report.markup.kinds[end] == report.markup.kinds[i]) ++end;
      const ReportLook look = LookOf(report.markup.kinds[i]);
      SelectObject(dc, fontOf(look));
      SetTextColor(dc, RGB(look.colour.red, look.colour.green, look.colour.blue));
      auto run = reinterpret_cast<const wchar_t*>(text.data() + i);
      int count = static_cast<int>(end - i);
      TextOutW(dc, x, y, run, count);
      SIZE size{};
      GetTextExtentPoint32W(dc, run, count, &size);
      x += size.cx;
      i = end;
    }
    y += height;
    lineStart = lineEnd + 1;
  }
  if (ok) ok = EndPage(dc) > 0;
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  for (auto& [key, font] : fonts) DeleteObject(font);
  return ok;
}

}  // namespace

ComposedReport ComposeReport(const std::vector<SiteRow>& rows, const EventPump& pump) {
  ComposedReport report;
  report.text = Utf16(ReportText(rows));
  report.markup = MarkReport(report.text, pump);
  report.rtf = ReportRtf(report.text, report.markup);
  return report;
}

std::string PrintReport(HWND richEdit, const ComposedReport& report) {
  const std::string& rtf = report.rtf;
  Source source{rtf};
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, ReadRtf};
  SendMessageW(richEdit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));

  ::DWORD size = 0;
  GetDefaultPrinterW(nullptr, &size);
  std::wstring printer(size, L'\0');
  if (size == 0 || !GetDefaultPrinterW(printer.data(), &size)) return NoDefaultPrinterMessage();
  printer.resize(wcslen(printer.c_str()));
  HDC dc = CreateDCW(L"WINSPOOL", printer.c_str(), nullptr, nullptr);
  if (!dc) return PrinterRefusedMessage(Utf8(printer), LastError());
  DOCINFOW document{};
  document.cbSize = sizeof document;
  document.lpszDocName = kDocumentName;
  std::string problem;
  if (StartDocW(dc, &document) <= 0) {
    problem = PrinterRefusedMessage(Utf8(printer), LastError());
    DeleteDC(dc);
    return problem;
  }
  // The page less an inch all round, in twips.
  auto twips = [dc](int pixels, int axis) { return MulDiv(pixels, 1440, GetDeviceCaps(dc, axis)); };
  FORMATRANGE range{};
  range.hdc = range.hdcTarget = dc;
  range.rcPage = RECT{0, 0, twips(GetDeviceCaps(dc, PHYSICALWIDTH), LOGPIXELSX),
                      twips(GetDeviceCaps(dc, PHYSICALHEIGHT), LOGPIXELSY)};
  RECT printable{twips(GetDeviceCaps(dc, PHYSICALOFFSETX), LOGPIXELSX),
                 twips(GetDeviceCaps(dc, PHYSICALOFFSETY), LOGPIXELSY), 0, 0};
  range.rc = RECT{1440 - printable.left, 1440 - printable.top, range.rcPage.right - 1440 - printable.left,
                  range.rcPage.bottom - 1440 - printable.top};
  GETTEXTLENGTHEX length{GTL_NUMCHARS, 1200};
  ::LONG end = static_cast<::LONG>(SendMessageW(richEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
  ::LONG start = 0;
  RECT area = range.rc;
  // Measured first: a box that lays out no page (as some do not at all)
  // leaves the drawing to the report's own looks.
  range.chrg = CHARRANGE{0, -1};
  bool laysOut = end > 0 && SendMessageW(richEdit, EM_FORMATRANGE, FALSE, reinterpret_cast<LPARAM>(&range)) > 0;
  SendMessageW(richEdit, EM_FORMATRANGE, FALSE, 0);
  if (!laysOut) {
    RECT device{MulDiv(area.left, GetDeviceCaps(dc, LOGPIXELSX), 1440), MulDiv(area.top, GetDeviceCaps(dc, LOGPIXELSY), 1440),
                MulDiv(area.right, GetDeviceCaps(dc, LOGPIXELSX), 1440),
                MulDiv(area.bottom, GetDeviceCaps(dc, LOGPIXELSY), 1440)};
    if (!DrawReportPages(dc, device, report)) problem = PrinterRefusedMessage(Utf8(printer), LastError());
  }
  while (laysOut && start < end) {
    if (StartPage(dc) <= 0) {
      problem = PrinterRefusedMessage(Utf8(printer), LastError());
      break;
    }
    range.rc = area;
    range.chrg = CHARRANGE{start, -1};
    ::LONG next = static_cast<::LONG>(SendMessageW(richEdit, EM_FORMATRANGE, TRUE, reinterpret_cast<LPARAM>(&range)));
    if (EndPage(dc) <= 0) {
      problem = PrinterRefusedMessage(Utf8(printer), LastError());
      break;
    }
    if (next <= start) break;  // nothing more fits: the rest would never print
    start = next;
  }
  SendMessageW(richEdit, EM_FORMATRANGE, FALSE, 0);
  if (problem.empty()) {
    if (EndDoc(dc) <= 0) problem = PrinterRefusedMessage(Utf8(printer), LastError());
  } else {
    AbortDoc(dc);
  }
  DeleteDC(dc);
  return problem;
}

void PrintReportOrOfferRtf(HWND owner, HWND richEdit, const ComposedReport& report, Prompter& prompter) {
  const std::string& rtf = report.rtf;
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  std::string problem = PrintReport(richEdit, report);
  SetCursor(previous);
  if (problem.empty()) return;
  if (prompter.MsgBox(kTitle, problem + "\n\nDo you want to save the report as a rich text file instead?",
                      MsgButtons::YesNo, MsgIcon::Exclamation) != MsgAnswer::Yes)
    return;
  std::string path = ChooseRtfPath(owner);
  if (path.empty()) return;
  std::ofstream file(std::filesystem::path(Wide(path)), std::ios::binary);
  file << rtf;
  file.close();
  if (!file)
    prompter.MsgBox(kTitle, "The report could not be saved as " + path + ": the file could not be written.",
                    MsgButtons::Ok, MsgIcon::Critical);
}

}  // namespace pw::win32
