#include "win32window/MainWindow.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <chrono>

#include "browser/Installation.h"
#include "listings/ZoneAssignment.h"
#include "policy/SecuritySwitch.h"
#include "windowlogic/AccessibleTexts.h"
#include "windowlogic/MainWindowTexts.h"
#include "windowlogic/HelpFile.h"
#include "windowlogic/Twips.h"
#include "win32window/Dialogs.h"
#include "win32window/ReportPrinter.h"

namespace pw::win32 {
namespace {

constexpr int kFirstId = 1000;
constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT kOpenHelp = WM_APP + 1;
constexpr UINT kShowZone = WM_APP + 2;
constexpr const wchar_t* kPanelClass = L"PwPanel";
constexpr const wchar_t* kZoneLineClass = L"PwZoneLine";

const StatusPanel kPanels[] = {StatusPanel::Secured, StatusPanel::SemiSecure, StatusPanel::Unsecure};

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsPanel(const std::string& name) { return name == "pSecured" || name == "pSemisecure" || name == "pUnsecure"; }

// The picture each graphic button shows; cmdSecure's follows the state.
int ButtonPictureOf(const std::string& name) {
  if (name == "cmdTrust") return ImageListResource(2);
  if (name == "cmdDeclassify") return ImageListResource(3);
  if (name == "cmdRestrict") return ImageListResource(4);
  if (name == "cmdDelete") return ImageListResource(11);
  if (name == "cmdAdd") return kAddPictureResource;
  if (name == "cmdPrint") return kPrintPictureResource;
  return 0;
}

COLORREF PanelTextColour(StatusPanel panel) {
  return panel == StatusPanel::SemiSecure ? RGB(0x4a, 0x30, 0x00) : RGB(0xff, 0xff, 0xff);
}

int PanelBitmap(StatusPanel panel) {
  switch (panel) {
    case StatusPanel::Secured: return kPanelBitmapResource;
    case StatusPanel::SemiSecure: return kPanelBitmapResource + 1;
    case StatusPanel::Unsecure: break;
  }
  return kPanelBitmapResource + 2;
}

const DesignControl& DesignOfControl(const std::string& name) {
  for (const DesignControl& control : MainWindowDesign())
    if (control.name == name) return control;
  return MainWindowDesign().front();
}

template <typename Work>
void Flagged(bool& flag, Work&& work) {
  flag = true;
  struct Reset {
    bool& f;
    ~Reset() { f = false; }
  } reset{flag};
  work();
}

void RegisterMainClasses(WNDPROC main, WNDPROC panel, WNDPROC zoneLine) {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterControlClasses();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window{};
  window.cbSize = sizeof window;
  window.lpfnWndProc = main;
  window.hInstance = instance;
  window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  window.lpszClassName = kMainWindowClass;
  RegisterClassExW(&window);
  WNDCLASSEXW panels{};
  panels.cbSize = sizeof panels;
  panels.lpfnWndProc = panel;
  panels.hInstance = instance;
  panels.hCursor = LoadCursorW(nullptr, IDC_HAND);
  panels.lpszClassName = kPanelClass;
  RegisterClassExW(&panels);
  WNDCLASSEXW line{};
  line.cbSize = sizeof line;
  line.lpfnWndProc = zoneLine;
  line.hInstance = instance;
  line.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  line.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  line.lpszClassName = kZoneLineClass;
  RegisterClassExW(&line);
}

}  // namespace

MainWindow::MainWindow(RegistryStore& store, MessageBoxPrompter& prompter)
    : store_(store),
      registry_(store),
      prompter_(prompter),
      reporter_(prompter),
      follower_(store),
      layout_(DesignLayout()) {
  store_.SetErrorSink(reporter_.Sink());
}

MainWindow::~MainWindow() {
  protocols_.reset();
  verify_.reset();
  if (window_) DestroyWindow(window_);
  store_.SetErrorSink({});
  for (HFONT font : {font_, bold_, boldLarge_, addressFont_, listFont_})
    if (font) DeleteObject(font);
  for (auto& [name, font] : legendFonts_) DeleteObject(font);
  if (pictures_) ImageList_Destroy(pictures_);
}

bool MainWindow::Create() {
  RegisterMainClasses(Proc, PanelProc, ZoneLineProc);
  window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, Wide(kMainWindowCaption).c_str(),
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr,
                            nullptr, GetModuleHandleW(nullptr), this);
  if (!window_) return false;
  dpi_ = static_cast<int>(GetDpiForWindow(window_));
  if (dpi_ <= 0) dpi_ = 96;
  prompter_.SetOwner(window_);
  tips_.Attach(window_);
  MakeFonts();
  BuildControls();
  RECT outer{0, 0, Px(kDesignClientWidth, dpi_), Px(kDesignClientHeight, dpi_)};
  AdjustWindowRectExForDpi(&outer, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT, static_cast<UINT>(dpi_));
  SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyPlaces();
  FitLegendTexts();
  SetTimer(window_, kFollowTimer, StoreFollower::kIntervalMs, nullptr);
  return true;
}

void MainWindow::MakeFonts() {
  for (HFONT font : {font_, bold_, boldLarge_, addressFont_, listFont_})
    if (font) DeleteObject(font);
  font_ = MakeFont("MS Sans Serif", 8.25, false, dpi_);
  bold_ = MakeFont("MS Sans Serif", 8.25, true, dpi_);
  boldLarge_ = MakeFont("MS Sans Serif", 9.75, true, dpi_);
  addressFont_ = MakeFont("MS Sans Serif", 9.75, false, dpi_);
  listFont_ = MakeFont("Verdana", 12, false, dpi_);
}

HWND MainWindow::Control(const std::string& name) const {
  auto found = controls_.find(name);
  return found == controls_.end() ? nullptr : found->second;
}

int MainWindow::IdOf(const std::string& name) const {
  auto found = ids_.find(name);
  return found == ids_.end() ? 0 : found->second;
}

void MainWindow::BuildControls() {
  int id = kFirstId;
  RECT none{0, 0, 0, 0};
  for (const DesignControl& design : MainWindowDesign()) {
    const std::string& name = design.name;
    ids_[name] = ++id;
    if (IsPanel(design.parent) || name == "Image1") continue;  // painted by their panel or picture box
    HWND control = nullptr;
    if (IsPanel(name)) {
      control = CreateWindowExW(0, kPanelClass, nullptr, WS_CHILD | WS_TABSTOP, 0, 0, 0, 0, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), this);
      StatusPanel panel = name == "pSecured" ? StatusPanel::Secured
                          : name == "pSemisecure" ? StatusPanel::SemiSecure
                                                  : StatusPanel::Unsecure;
      panels_[control] = panel;
    } else if (name == "cmdHelp") {
      control = MakeChild(window_, L"BUTTON", kHelpCaption, WS_TABSTOP | BS_PUSHBUTTON, none, id, font_);
      tips_.Set(control, kHelpToolTip);
    } else if (StartsWith(name, "cmd")) {
      control = MakeChild(window_, L"BUTTON", "", WS_TABSTOP | BS_OWNERDRAW, none, id, nullptr);
    } else if (name == "txtURL") {
      control = MakeChild(window_, WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, none,
                          id, addressFont_);
      address_ = control;
      COMBOBOXINFO info{};
      info.cbSize = sizeof info;
      if (GetComboBoxInfo(control, &info) && info.hwndItem) {
        SetWindowSubclass(info.hwndItem, AddressEditProc, 1, reinterpret_cast<DWORD_PTR>(this));
        tips_.Set(info.hwndItem, kAddressToolTip);
      }
      tips_.Set(control, kAddressToolTip);
    } else if (name == "LVw") {
      control = MakeChild(window_, WC_LISTVIEWW, "",
                          WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA, none, id,
                          listFont_, WS_EX_CLIENTEDGE);
      list_ = control;
    } else if (name == "Frame1") {
      control = MakeChild(window_, L"BUTTON", "", BS_GROUPBOX, none, id, font_);
    } else if (name == "Picture1") {
      control = MakeChild(window_, kPictureClass, "", 0, none, id, nullptr);
    } else if (name == "rT") {
      LoadLibraryW(L"msftedit.dll");
      control = CreateWindowExW(0, MSFTEDIT_CLASS, nullptr, WS_CHILD | ES_MULTILINE, 0, 0, 0, 0, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
      report_ = control;
    } else if (StartsWith(name, "Image")) {
      control = MakeChild(window_, kPictureClass, "", name == "Image3" ? SS_NOTIFY | WS_TABSTOP : 0, none, id, nullptr);
    } else if (StartsWith(name, "Label")) {
      control = MakeChild(window_, L"STATIC", "", SS_LEFT | SS_NOPREFIX, none, id, font_);
    } else if (StartsWith(name, "Line")) {
      control = MakeChild(window_, L"STATIC", "", SS_ETCHEDHORZ, none, id, nullptr);
    }
    controls_[name] = control;
  }

  for (const ButtonText& text : MainWindowButtonTexts()) {
    SetWindowTextW(Control(text.name), Wide(text.caption).c_str());
    if (text.toolTip) tips_.Set(Control(text.name), text.toolTip);
  }
  for (const LegendText& legend : MainWindowLegendTexts()) {
    SetWindowTextW(Control(legend.label), Wide(legend.caption).c_str());
    SetPictureIcon(Control(legend.image), ImageListResource(legend.picture));
  }
  for (StatusPanel panel : kPanels) {
    const PanelDesign& design = DesignOf(panel);
    HWND window = Control(design.name);
    UINT tool = 1;
    for (const char* label : {design.upperLabel, design.lowerLabel})
      tips_.SetRect(window, tool++, PxRect(DesignOfControl(label).rect, dpi_), design.labelToolTip);
    RECT all{0, 0, 10000, 10000};
    tips_.SetRect(window, tool, all, design.pictureToolTip);
  }

  zoneLine_ = CreateWindowExW(0, kZoneLineClass, nullptr, WS_CHILD, 0, 0, 0, 0, window_, nullptr,
                              GetModuleHandleW(nullptr), this);

  // Controls that show no caption of their own are named for screen readers by their window text.
  for (const auto& [name, control] : controls_) {
    if (!control || !(IsPanel(name) || StartsWith(name, "Image") || name == "Picture1" || name == "LVw")) continue;
    const char* spoken = AccessibleTextOf("FormX", name == "Picture1" ? "Image1" : name).name;
    if (*spoken) SetWindowTextW(control, Wide(spoken).c_str());
  }
  SetWindowTextW(zoneLine_, Wide(AccessibleTextOf("FormX", "lblZone").name).c_str());

  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
  MakePictureList();
  for (int column = 0; column < 3; ++column) {
    std::wstring heading = Wide(kListHeadings[column]);
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    info.pszText = heading.data();
    info.cx = 100;
    info.iSubItem = column;
    ListView_InsertColumn(list_, column, &info);
  }
  SendMessageW(ListView_GetHeader(list_), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  SetPictureBitmap(Control("Picture1"), kProductBitmapResource,
                   SIZE{Px(DesignOfControl("Image1").rect.width, dpi_), Px(DesignOfControl("Image1").rect.height, dpi_)});
  SetPictureIcon(Control("cmdSecure"), 0);
  ShowSortIndicator();
}

void MainWindow::MakePictureList() {
  // The list's pictures at 240 twips through the DPI.
  int side = Px(240, dpi_);
  HIMAGELIST pictures = ImageList_Create(side, side, ILC_COLOR32 | ILC_MASK, kImageListPictures, 0);
  for (int index = 1; index <= kImageListPictures; ++index)
    ImageList_AddIcon(pictures, PictureIcon(ImageListResource(index), side));
  ListView_SetImageList(list_, pictures, LVSIL_SMALL);
  if (pictures_) ImageList_Destroy(pictures_);
  pictures_ = pictures;
}

void MainWindow::ApplyPlaces() {
  for (const DesignControl& design : MainWindowDesign()) {
    HWND control = Control(design.name);
    if (!control || IsPanel(design.parent)) continue;
    TwipRect place = layout_.places.at(design.name);
    if (!design.parent.empty()) {  // Picture1 in Frame1
      const TwipRect& frame = layout_.places.at(design.parent);
      place.left += frame.left;
      place.top += frame.top;
    }
    RECT rect = PxRect(place, dpi_);
    if (StartsWith(design.name, "Line")) rect.bottom = rect.top + 2;
    if (design.name == "txtURL") rect.bottom = rect.top + Px(3000, dpi_);  // with its list open
    SetWindowPos(control, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  TwipRect zone = ZoneLinePlace(layout_);
  ShowWindow(zoneLine_, zone.width > 0 ? SW_SHOWNA : SW_HIDE);
  if (zone.width > 0) {
    RECT rect = PxRect(zone, dpi_);
    SetWindowPos(zoneLine_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  PlaceColumns();
}

void MainWindow::PlaceColumns() {
  Flagged(placingColumns_, [this] {
    ListView_SetColumnWidth(list_, 0, Px(layout_.columns.protocol, dpi_));
    ListView_SetColumnWidth(list_, 1, Px(layout_.columns.subdomain, dpi_));
    // Columns dragged wider than the list leave the third its least width.
    ListView_SetColumnWidth(list_, 2, std::max(Px(600, dpi_), Px(layout_.columns.domains, dpi_)));
  });
}

void MainWindow::FitLegendTexts() {
  HDC dc = GetDC(window_);
  for (const LegendText& legend : MainWindowLegendTexts()) {
    HWND label = Control(legend.label);
    RECT place;
    GetClientRect(label, &place);
    std::wstring text = Wide(legend.caption);
    double points = FittedLegendPoints(8.25, [&](double trial) {
      HFONT font = MakeFont("MS Sans Serif", trial, false, dpi_);
      HGDIOBJ old = SelectObject(dc, font);
      RECT needed{0, 0, place.right, 0};
      DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
      SelectObject(dc, old);
      DeleteObject(font);
      return needed.bottom <= place.bottom;
    });
    HFONT& fitted = legendFonts_[legend.label];
    if (fitted) DeleteObject(fitted);
    fitted = MakeFont("MS Sans Serif", points, false, dpi_);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(fitted), TRUE);
  }
  ReleaseDC(window_, dc);
}

void MainWindow::RunResizeRules() {
  if (!placingColumns_) {
    // The user's widths of the first two columns are kept.
    layout_.columns.protocol = PixelsToTwips(ListView_GetColumnWidth(list_, 0), dpi_);
    layout_.columns.subdomain = PixelsToTwips(ListView_GetColumnWidth(list_, 1), dpi_);
  }
  RECT client;
  GetClientRect(window_, &client);
  int width = PixelsToTwips(client.right, dpi_) + kFrameWidth;
  int height = PixelsToTwips(client.bottom, dpi_) + kFrameHeight;
  if (ApplyResizeRules(layout_, width, height, IsIconic(window_))) ApplyPlaces();
}

StartupOutcome MainWindow::Load(OpenPagesSource pages, std::function<void()> firstStart,
                                const std::string& commandLine) {
  StoreFailureReporter::Action action(reporter_);
  StartupServices services;
  services.registry = &registry_;
  services.prompter = &prompter_;
  services.pages = std::move(pages);
  services.firstStart = std::move(firstStart);
  services.commandLine = commandLine;
  return RunStartup(*this, services);
}

void MainWindow::Show(int showCommand) {
  RECT outer;
  GetWindowRect(window_, &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  int width = outer.right - outer.left;
  int height = outer.bottom - outer.top;
  SetWindowPos(window_, nullptr, work.left + std::max(0L, (work.right - work.left - width) / 2),
               work.top + std::max(0L, (work.bottom - work.top - height) / 2), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  // The address box holds the page offered last: Enter lists it at once.
  SetFocus(address_);
}

bool MainWindow::TranslateDialogKeys(MSG& message) {
  HWND top = GetAncestor(message.hwnd, GA_ROOT);
  if (!top) return false;
  if (top == window_ && message.message == WM_KEYDOWN && message.wParam == VK_F1) {
    OpenHelp();
    return true;
  }
  if (top == window_ && message.message == WM_KEYDOWN && message.hwnd == list_ &&
      (GetKeyState(VK_CONTROL) & 0x8000) && message.wParam >= '1' && message.wParam <= '3') {
    // The headings take no focus: Ctrl+1, Ctrl+2 and Ctrl+3 in the list click them.
    NMLISTVIEW click{};
    click.hdr = {list_, static_cast<UINT_PTR>(IdOf("LVw")), LVN_COLUMNCLICK};
    click.iSubItem = static_cast<int>(message.wParam - '1');
    SendMessageW(window_, WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
    return true;
  }
  return IsDialogMessageW(top, &message);
}

void MainWindow::ShowStateAfterRebuild() {
  // Read after the list's stamp, so that with the list the window has read the
  // store whole since then: its own writes before are not news to the follower.
  ShowZoneSecurityState(DetectZoneSecurity(registry_), false);
  follower_.Seen(sites_.ReadStamp());
}

bool MainWindow::HoldingInput(const std::function<void(const EventPump&)>& work) {
  if (rebuilding_) return false;
  Flagged(rebuilding_, [&] {
    // Painting goes on a few dozen times a second; user input waits.
    using Clock = std::chrono::steady_clock;
    Clock::time_point last = Clock::now() - std::chrono::seconds(1);
    work([&last] {
      if (Clock::now() - last < std::chrono::milliseconds(25)) return;
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) DispatchMessageW(&message);
      last = Clock::now();
    });
  });
  return true;
}

void MainWindow::ShowZoneSecurityState(ZoneSecurityState state, bool setPanelToolTip) {
  shownState_ = state;
  const StatePresentation& shown = PresentationFor(state);
  HWND secure = Control("cmdSecure");
  SetWindowTextW(secure, Wide(shown.secureCaption).c_str());
  tips_.Set(secure, shown.secureToolTip);
  SetWindowLongPtrW(secure, GWLP_USERDATA, shown.securePicture);
  InvalidateRect(secure, nullptr, FALSE);
  for (StatusPanel panel : kPanels)
    ShowWindow(Control(DesignOf(panel).name), shown.panel == panel ? SW_SHOWNA : SW_HIDE);
  if (setPanelToolTip) tips_.SetRect(Control(DesignOf(shown.panel).name), 3, RECT{0, 0, 10000, 10000}, shown.panelToolTip);
}

void MainWindow::OfferAddress(const std::string& address) {
  std::wstring text = Wide(address);
  SendMessageW(address_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  SetWindowTextW(address_, text.c_str());
}

void MainWindow::PlaceStatusPanels() {
  for (const char* name : {"pSecured", "pUnsecure", "pSemisecure"}) {
    TwipRect& place = layout_.places[name];
    place.left = 80;
    place.top = 30;
    RECT rect = PxRect(place, dpi_);
    SetWindowPos(Control(name), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

std::string MainWindow::AddressBoxText() const { return WindowText(address_); }

void MainWindow::SetAddressBoxText(const std::string& text) { SetWindowTextW(address_, Wide(text).c_str()); }

void MainWindow::RebuildSiteList() {
  Rebuild([this](const EventPump& pump) { sites_.Rebuild(store_, pump); });
}

void MainWindow::RefreshAll() { RebuildSiteList(); }

void MainWindow::FollowStore() {
  // Not in the middle of an action: a rebuild, or a question being asked.
  if (rebuilding_ || prompter_.Asking() || !follower_.Behind()) return;
  StoreFailureReporter::Action action(reporter_);
  RefreshAll();
}

void MainWindow::Rebuild(const std::function<void(const EventPump&)>& work) {
  if (rebuilding_) return;
  // The list shows no rows while the rows change under it.
  ListView_SetItemCountEx(list_, 0, 0);
  HoldingInput(work);
  ShowStateAfterRebuild();
  ShowList();
  ShowSortIndicator();
  ShowSelection();
  ShowZone();
}

void MainWindow::ShowList() {
  ListView_SetItemCountEx(list_, sites_.Count(), LVSICF_NOSCROLL);
  InvalidateRect(list_, nullptr, FALSE);
}

void MainWindow::ShowSortIndicator() {
  HWND header = ListView_GetHeader(list_);
  for (int column = 0; column < 3; ++column) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, column, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (column == sites_.SortKey()) item.fmt |= sites_.Order() == SortOrder::Ascending ? HDF_SORTUP : HDF_SORTDOWN;
    Header_SetItem(header, column, &item);
  }
}

void MainWindow::ShowSelection() {
  Flagged(showingSelection_, [this] {
    int selected = sites_.SelectedPositionOrEnd();
    if (selected >= 1 && selected <= sites_.Count()) {
      ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
      ListView_SetItemState(list_, selected - 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      ListView_EnsureVisible(list_, selected - 1, FALSE);
    } else {
      ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
    }
  });
}

void MainWindow::ShowZone() {
  StoreFailureReporter::Action action(reporter_);
  ZoneLineText shown = ZoneLineFor(store_, AddressBoxText());
  zoneLines_ = shown.lines;
  tips_.Set(zoneLine_, shown.toolTip);
  InvalidateRect(zoneLine_, nullptr, TRUE);
}

void MainWindow::RunSwitch(std::uint16_t modifiers) {
  // The click was on the state shown; another program may have changed it.
  if (SwitchZoneSecurity(registry_, prompter_, *this, modifiers, shownState_) == SwitchOutcome::ShownStale)
    RefreshAll();
}

void MainWindow::AssignZone(Zone zone) {
  StoreFailureReporter::Action action(reporter_);
  Rebuild([this, zone](const EventPump& pump) { AssignSelectedZone(sites_, registry_, zone, pump); });
}

void MainWindow::DeleteSelected() {
  StoreFailureReporter::Action action(reporter_);
  Rebuild([this](const EventPump& pump) { DeleteSelectedListing(sites_, registry_, pump); });
}

void MainWindow::PanelClicked(StatusPanel panel) {
  if (rebuilding_) return;
  StoreFailureReporter::Action action(reporter_);
  ExplainPanel(panel, prompter_, [this] { RunSwitch(0); });
}

void MainWindow::AddSite() {
  if (rebuilding_) return;
  RunAddFlow(
      [this] {
        if (verify_ && verify_->IsOpen()) {
          verify_->Present();
          return true;
        }
        verify_ = std::make_unique<VerifyDialog>(*this);
        // A refused address is closed again at once; it is never shown.
        if (!verify_->Load()) return false;
        verify_->Present();
        return true;
      },
      [this] {
        if (verify_) verify_->Close();
      });
}

void MainWindow::ShowProtocolDialog(const VerificationListing& listing) {
  if (protocols_ && protocols_->IsOpen()) {
    protocols_->Present();
    return;
  }
  protocols_ = std::make_unique<ProtocolDialog>(*this);
  protocols_->Load(listing.fullSubDomain, listing.domain, AddressBoxText());
  protocols_->Present();
}

void MainWindow::PrintReport() {
  if (rebuilding_) return;
  ComposedReport report;
  HoldingInput([&](const EventPump& pump) { report = ComposeReport(sites_.Rows(), pump); });
  PrintReportOrOfferRtf(window_, report_, report, prompter_);
}

void MainWindow::OpenHelp() {
  wchar_t program[MAX_PATH];
  ::DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::string dir = Utf8(std::wstring_view(program, length));
  dir = dir.substr(0, dir.find_last_of("\\/"));
  std::string path = ChooseHelpFile(dir, true);
  if (path.empty()) {
    prompter_.MsgBox(kHelpTitle, HelpMissingMessage(), MsgButtons::Ok, MsgIcon::Exclamation);
    return;
  }
  auto opened = reinterpret_cast<INT_PTR>(
      ShellExecuteW(window_, L"open", Wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (opened <= 32) prompter_.MsgBox(kHelpTitle, HelpNotShownMessage(path), MsgButtons::Ok, MsgIcon::Exclamation);
}

void MainWindow::Command(int id, int code) {
  std::string name;
  for (const auto& [control, controlId] : ids_)
    if (controlId == id) name = control;
  if (name.empty()) return;
  if (name == "txtURL") {
    if (code == CBN_EDITCHANGE) {
      StoreFailureReporter::Action typing(reporter_, StoreFailureReporter::Kind::Typing);
      ShowZone();
    } else if (code == CBN_SELCHANGE) {
      PostMessageW(window_, kShowZone, 0, 0);  // the box's text follows the choice after this
    }
    return;
  }
  if (IsPanel(name)) {
    PanelClicked(panels_.at(Control(name)));
    return;
  }
  if (name == "Image3" && code == STN_CLICKED) {
    if (rebuilding_) return;
    StoreFailureReporter::Action action(reporter_);
    RefreshAll();
    return;
  }
  if (code != BN_CLICKED || rebuilding_) return;
  if (name == "cmdSecure") {
    std::uint16_t modifiers = 0;
    if (GetKeyState(VK_SHIFT) & 0x8000) modifiers |= kShiftMask;
    if (GetKeyState(VK_CONTROL) & 0x8000) modifiers |= kCtrlMask;
    if (GetKeyState(VK_MENU) & 0x8000) modifiers |= kAltMask;
    StoreFailureReporter::Action action(reporter_);
    RunSwitch(modifiers);
  } else if (name == "cmdTrust") {
    AssignZone(Zone::Trusted);
  } else if (name == "cmdDeclassify") {
    AssignZone(Zone::Unclassified);
  } else if (name == "cmdRestrict") {
    AssignZone(Zone::Restricted);
  } else if (name == "cmdAdd" || name == "cmdAddd") {
    AddSite();
  } else if (name == "cmdPrint") {
    PrintReport();
  } else if (name == "cmdDelete") {
    DeleteSelected();
  } else if (name == "cmdHelp") {
    PostMessageW(window_, kOpenHelp, 0, 0);  // after the click has been handled
  }
}

LRESULT MainWindow::Notify(NMHDR* header) {
  if (header->hwndFrom != list_) return 0;
  switch (header->code) {
    case LVN_GETDISPINFOW: {
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
      bool known = !rebuilding_ && item.iItem >= 0 && item.iItem < sites_.Count();
      if ((item.mask & LVIF_TEXT) && item.cchTextMax > 0) {
        item.pszText[0] = L'\0';
        if (known) {
          const SiteRow& row = sites_.Row(item.iItem + 1);
          const std::string& text = item.iSubItem == 0 ? row.text : item.iSubItem == 1 ? row.subdomain : row.domain;
          std::wstring wide = Wide(text);
          std::size_t length = std::min(wide.size(), static_cast<std::size_t>(item.cchTextMax - 1));
          std::copy_n(wide.begin(), length, item.pszText);
          item.pszText[length] = L'\0';
        }
      }
      if (item.mask & LVIF_IMAGE) {
        int icon = known ? sites_.Row(item.iItem + 1).icon : 0;
        item.iImage = icon >= 1 && icon <= kImageListPictures ? icon - 1 : -1;
      }
      return 0;
    }
    case LVN_ITEMCHANGED: {
      auto* change = reinterpret_cast<NMLISTVIEW*>(header);
      if (showingSelection_ || rebuilding_ || !(change->uChanged & LVIF_STATE)) return 0;
      int selected = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
      sites_.Select(selected >= 0 ? selected + 1 : 0);
      return 0;
    }
    case LVN_COLUMNCLICK: {
      if (rebuilding_) return 0;
      sites_.ColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem + 1);
      ShowList();
      ShowSortIndicator();
      ShowSelection();
      return 0;
    }
    case LVN_KEYDOWN:
      // The Delete key in the list is the Delete button.
      if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_DELETE && !rebuilding_) DeleteSelected();
      return 0;
  }
  return 0;
}

void MainWindow::DrawButton(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  bool pushed = item.itemState & ODS_SELECTED;
  // In the theme's look where there is one, as the other buttons are drawn.
  if (HTHEME theme = OpenThemeData(item.hwndItem, L"BUTTON")) {
    int state = item.itemState & ODS_DISABLED ? PBS_DISABLED : pushed ? PBS_PRESSED : PBS_NORMAL;
    DrawThemeParentBackground(item.hwndItem, dc, &rect);
    DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &rect, nullptr);
    CloseThemeData(theme);
  } else {
    DrawFrameControl(dc, &rect, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  }
  std::string name;
  for (const auto& [control, window] : controls_)
    if (window == item.hwndItem) name = control;
  int shift = pushed ? 1 : 0;
  int picture = name == "cmdSecure" ? ImageListResource(static_cast<int>(GetWindowLongPtrW(item.hwndItem, GWLP_USERDATA)))
                                    : ButtonPictureOf(name);
  RECT text = rect;
  if (picture) {
    int side = Px(450, dpi_);
    int top = Px(75, dpi_);
    DrawIconEx(dc, (rect.right - side) / 2 + shift, top + shift, PictureIcon(picture, side), side, side, 0, nullptr,
               DI_NORMAL);
    text.top = top + side;
  }
  OffsetRect(&text, shift, shift);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(item.itemState & ODS_DISABLED ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  HGDIOBJ old = SelectObject(dc, name == "cmdAddd" ? boldLarge_ : bold_);
  std::wstring caption = Wide(WindowText(item.hwndItem));
  DrawTextW(dc, caption.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = rect;
    InflateRect(&focus, -Px(60, dpi_), -Px(60, dpi_));
    DrawFocusRect(dc, &focus);
  }
}

void MainWindow::PaintPanel(HWND window, HDC dc) {
  StatusPanel panel = panels_.at(window);
  const PanelDesign& design = DesignOf(panel);
  DrawBitmapResource(dc, PanelBitmap(panel), PxRect(DesignOfControl(design.picture).rect, dpi_));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, PanelTextColour(panel));
  for (auto [label, caption, font] : {std::tuple{design.upperLabel, design.upperCaption, bold_},
                                      std::tuple{design.lowerLabel, design.lowerCaption, boldLarge_}}) {
    RECT place = PxRect(DesignOfControl(label).rect, dpi_);
    place.right += Px(600, dpi_);  // the stand-in face is a little wider than the design's
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, Wide(caption).c_str(), -1, &place, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
  }
  if (GetFocus() == window) {
    RECT focus;
    GetClientRect(window, &focus);
    InflateRect(&focus, -2, -2);
    DrawFocusRect(dc, &focus);
  }
}

void MainWindow::PaintZoneLine(HWND line, HDC dc) {
  RECT client;
  GetClientRect(line, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  int top = 0;
  for (std::size_t i = 0; i < zoneLines_.size(); ++i) {
    HGDIOBJ old = SelectObject(dc, i == 0 ? bold_ : font_);
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    RECT place{0, top, client.right, top + metrics.tmHeight};
    // Long names are shortened to the width there is.
    DrawTextW(dc, Wide(zoneLines_[i]).c_str(), -1, &place, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    top += metrics.tmHeight;
    SelectObject(dc, old);
  }
}

LRESULT CALLBACK MainWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return Notify(reinterpret_cast<NMHDR*>(lParam));
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SIZE:
      if (list_) RunResizeRules();
      return 0;
    case WM_GETMINMAXINFO: {
      // Smaller than designed, the buttons on the right and the legend would be cut off.
      RECT outer{0, 0, Px(kDesignClientWidth, dpi_), Px(kDesignClientHeight, dpi_)};
      AdjustWindowRectExForDpi(&outer, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT, static_cast<UINT>(dpi_));
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = POINT{outer.right - outer.left, outer.bottom - outer.top};
      return 0;
    }
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      MakeFonts();
      for (const auto& [name, control] : controls_)
        if (control && (StartsWith(name, "Label") || name == "cmdHelp" || name == "Frame1"))
          SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
      SendMessageW(address_, WM_SETFONT, reinterpret_cast<WPARAM>(addressFont_), FALSE);
      SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), FALSE);
      SendMessageW(ListView_GetHeader(list_), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
      MakePictureList();
      const RECT* suggested = reinterpret_cast<RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyPlaces();
      FitLegendTexts();
      InvalidateRect(window_, nullptr, TRUE);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kFollowTimer) FollowStore();
      return 0;
    case WM_ACTIVATE:
      // The control that had the keyboard gets it back when the window does.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window_, focus)) lastFocus_ = focus;
      } else if (lastFocus_ && IsWindow(lastFocus_) && IsChild(window_, lastFocus_)) {
        SetFocus(lastFocus_);
      }
      return 0;
    case kOpenHelp:
      OpenHelp();
      return 0;
    case kShowZone:
      ShowZone();
      return 0;
    case WM_CLOSE:
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      KillTimer(window_, kFollowTimer);
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      window_ = nullptr;
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (LRESULT result; ClickableMessage(window, message, wParam, &result)) return result;
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (self) self->PaintPanel(window, dc);
      EndPaint(window, &paint);
      return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::ZoneLineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (self) self->PaintZoneLine(window, dc);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::AddressEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR data) {
  auto* self = reinterpret_cast<MainWindow*>(data);
  switch (message) {
    case WM_GETDLGCODE:
      if (lParam && reinterpret_cast<MSG*>(lParam)->message == WM_KEYDOWN && wParam == VK_RETURN)
        return DLGC_WANTALLKEYS | DefSubclassProc(window, message, wParam, lParam);
      break;
    case WM_KEYDOWN:
      // Enter in the address box starts the add flow.
      if (wParam == VK_RETURN) {
        if (!self->rebuilding_) self->AddSite();
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == L'\r') return 0;
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, AddressEditProc, 1);
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace pw::win32
