#include "win32window/Dialogs.h"

#include <commctrl.h>

#include <algorithm>

#include "windowlogic/AccessibleTexts.h"
#include "windowlogic/DialogDesign.h"
#include "win32window/MainWindow.h"

namespace pw::win32 {
namespace {

constexpr const wchar_t* kDialogClass = L"PortwardenDialog";
constexpr int kFirstId = 100;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

void RegisterDialogClass(WNDPROC proc) {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterControlClasses();
  WNDCLASSEXW dialog{};
  dialog.cbSize = sizeof dialog;
  dialog.lpfnWndProc = proc;
  dialog.hInstance = GetModuleHandleW(nullptr);
  dialog.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  dialog.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  dialog.lpszClassName = kDialogClass;
  RegisterClassExW(&dialog);
}

}  // namespace

DesignedWindow::DesignedWindow(MainWindow& main, const char* designName, const char* caption,
                               const std::vector<DesignControl>& design, int clientWidth, int clientHeight)
    : main_(main) {
  RegisterDialogClass(Proc);
  int dpi = main.Dpi();
  constexpr ::DWORD style = WS_CAPTION | WS_SYSMENU | WS_POPUP;
  constexpr ::DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT outer{0, 0, Px(clientWidth, dpi), Px(clientHeight, dpi)};
  AdjustWindowRectExForDpi(&outer, style, FALSE, exStyle, static_cast<UINT>(dpi));
  window_ = CreateWindowExW(exStyle, kDialogClass, Wide(caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                            outer.right - outer.left, outer.bottom - outer.top, main.Handle(), nullptr,
                            GetModuleHandleW(nullptr), this);
  font_ = MakeFont("MS Sans Serif", 8.25, false, dpi);
  bold_ = MakeFont("MS Sans Serif", 8.25, true, dpi);
  tips_.Attach(window_);
  std::map<std::string, TwipRect> absolute;
  int id = kFirstId;
  std::string previous;
  for (const DesignControl& control : design) {
    TwipRect place = control.rect;
    if (!control.parent.empty()) {
      place.left += absolute.at(control.parent).left;
      place.top += absolute.at(control.parent).top;
    }
    absolute[control.name] = place;
    const std::string& name = control.name;
    ++id;
    names_[id] = name;
    if (name == "Image10") continue;  // drawn by Picture1
    RECT rect = PxRect(place, dpi);
    HWND made = nullptr;
    if (StartsWith(name, "Label") || StartsWith(name, "lbl")) {
      made = MakeChild(window_, L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_LEFTNOWORDWRAP, rect, id,
                       StartsWith(name, "lbl") ? bold_ : font_);
    } else if (StartsWith(name, "Line")) {
      rect.bottom = rect.top + 2;
      made = MakeChild(window_, L"STATIC", "", SS_ETCHEDHORZ, rect, id, nullptr);
    } else if (StartsWith(name, "Frame")) {
      // Beneath the check box that sits on its edge, and drawn only where nothing above it is.
      made = MakeChild(window_, L"BUTTON", "", BS_GROUPBOX | WS_GROUP | WS_CLIPSIBLINGS, rect, id, font_);
    } else if (name == "Picture1") {
      made = MakeChild(window_, kPictureClass, "", 0, rect, id, nullptr);
      SetPictureBitmap(made, kProductBitmapResource, SIZE{Px(4155, dpi), Px(1575, dpi)});
    } else if (StartsWith(name, "Image")) {
      // Named for screen readers by its window text, which a picture does not show.
      made = MakeChild(window_, kPictureClass, AccessibleTextOf(designName, name).name, 0, rect, id, nullptr);
    } else if (StartsWith(name, "Option")) {
      // Each frame's options are a group of their own.
      bool first = !StartsWith(previous, "Option") && !StartsWith(previous, "Image");
      made = MakeChild(window_, L"BUTTON", "", BS_AUTORADIOBUTTON | WS_TABSTOP | (first ? WS_GROUP : 0), rect, id,
                       font_);
    } else if (StartsWith(name, "Check")) {
      made = MakeChild(window_, L"BUTTON", "", BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, rect, id, font_);
    } else {
      made = MakeChild(window_, L"BUTTON", "",
                       WS_TABSTOP | WS_GROUP | (name == "Command1" ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), rect, id,
                       font_);
    }
    if (!StartsWith(name, "Image")) previous = name;
    else if (StartsWith(previous, "Frame") || StartsWith(previous, "Check")) previous = "Frame";
    controls_[name] = made;
  }
  SetText("Label1", kSubDomainCaption);
  SetText("Label2", kDomainCaption);
  FitCaption("Label1", "lblSubDomain");
  FitCaption("Label2", "lblDomain");
  SetText("Command1", "OK");
  SetText("Command2", "Cancel");
}

DesignedWindow::~DesignedWindow() {
  if (window_) {
    HWND window = window_;
    window_ = nullptr;
    DestroyWindow(window);
  }
  if (font_) DeleteObject(font_);
  if (bold_) DeleteObject(bold_);
}

void DesignedWindow::FitCaption(const std::string& label, const std::string& value) {
  // The stand-in face can be wider than the design's: the value then moves
  // right, so that the caption is never covered.
  HWND caption = Control(label);
  HWND shown = Control(value);
  HDC dc = GetDC(caption);
  HGDIOBJ old = SelectObject(dc, font_);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(caption)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(caption, text.data(), static_cast<int>(text.size()))));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(caption, dc);
  RECT captionRect, shownRect;
  GetWindowRect(caption, &captionRect);
  GetWindowRect(shown, &shownRect);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&captionRect), 2);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&shownRect), 2);
  int needed = captionRect.left + size.cx + Px(60, main_.Dpi());
  if (needed <= shownRect.left) return;
  SetWindowPos(caption, nullptr, 0, 0, needed - captionRect.left, captionRect.bottom - captionRect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(shown, nullptr, needed, shownRect.top, std::max(0L, shownRect.right - needed),
               shownRect.bottom - shownRect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND DesignedWindow::Control(const std::string& name) const {
  auto found = controls_.find(name);
  return found == controls_.end() ? nullptr : found->second;
}

void DesignedWindow::SetText(const std::string& name, const std::string& text) {
  SetWindowTextW(Control(name), Wide(text).c_str());
}

void DesignedWindow::SetTabOrder(const std::vector<std::string>& names) {
  // Tab follows the order of the windows; frames go beneath what they hold.
  for (const std::string& name : names)
    SetWindowPos(Control(name), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  for (const auto& [name, control] : controls_)
    if (StartsWith(name, "Frame"))
      SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void DesignedWindow::Present() {
  if (!window_) return;
  if (!IsWindowVisible(window_)) {
    RECT owner, own;
    GetWindowRect(main_.Handle(), &owner);
    GetWindowRect(window_, &own);
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    SetWindowPos(window_, nullptr, owner.left + (owner.right - owner.left - width) / 2,
                 owner.top + (owner.bottom - owner.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window_, SW_SHOW);
    // The keyboard goes to the default button, so that Enter and Escape work at once.
    SetForegroundWindow(window_);
    SetFocus(Control("Command1"));
    return;
  }
  SetForegroundWindow(window_);
  BringWindowToTop(window_);
}

void DesignedWindow::Close() {
  if (!window_) return;
  HWND window = window_;
  window_ = nullptr;
  DestroyWindow(window);
  Closed();
}

LRESULT CALLBACK DesignedWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  auto* self = reinterpret_cast<DesignedWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->window_ != window) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      if (id == IDOK) {
        self->Ok();
      } else if (id == IDCANCEL) {
        self->Close();
      } else if (auto found = self->names_.find(id); found != self->names_.end()) {
        self->Command(found->second, HIWORD(wParam));
      }
      return 0;
    }
    case WM_CLOSE:
      self->Close();
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

VerifyDialog::VerifyDialog(MainWindow& main)
    : DesignedWindow(main, "FormZ", kVerifyListingCaption, VerifyListingDesign(), kVerifyListingClientWidth, kVerifyListingClientHeight) {
  SetText("Frame3", kChoicesFrameTitle);
  SetText("Command3", kAdvancedCaption);
  tips_.Set(Control("Command3"), kAdvancedToolTip);
  tips_.Set(Control("lblSubDomain"), kSubDomainToolTip);
  for (std::size_t i = 0; i < kVerifyListingOptions.size(); ++i) {
    SetText(kVerifyListingOptions[i], kChoiceCaptions[i]);
    // Only an accepted address enables the choices.
    EnableWindow(Control(kVerifyListingOptions[i]), FALSE);
  }
  SetTabOrder({"Option7", "Option8", "Option9", "Command2", "Command3", "Command1"});
}

bool VerifyDialog::Load() {
  std::optional<VerificationListing> listing = LoadVerification(main_, main_.Prompts());
  if (!listing) return false;
  listing_ = std::move(*listing);
  for (std::size_t i = 0; i < kVerifyListingOptions.size(); ++i) {
    SetPictureIcon(Control(kVerifyListingPictures[i]), ImageListResource(2 + static_cast<int>(i)));
    EnableWindow(Control(kVerifyListingOptions[i]), TRUE);
  }
  SetText("lblSubDomain", listing_.subDomain);
  SetText("lblDomain", listing_.domain);
  return true;
}

std::optional<Zone> VerifyDialog::Choice() const {
  for (std::size_t i = 0; i < kVerifyListingOptions.size(); ++i)
    if (SendMessageW(Control(kVerifyListingOptions[i]), BM_GETCHECK, 0, 0) == BST_CHECKED) return kChoiceZones[i];
  return std::nullopt;
}

void VerifyDialog::Command(const std::string& name, int code) {
  if (code != BN_CLICKED) return;
  if (name == "Command1") {
    Ok();
  } else if (name == "Command2") {
    Close();
  } else if (name == "Command3") {
    // The editor copies this dialog's listing while it is still open.
    main_.ShowProtocolDialog(listing_);
    Close();
  }
}

void VerifyDialog::Ok() {
  StoreFailureReporter::Action action(main_.Reporter());
  WriteVerifiedListing(main_.Reg(), main_.Reporter(), listing_, Choice());
  main_.RebuildSiteList();
  Close();
}

ProtocolDialog::ProtocolDialog(MainWindow& main)
    : DesignedWindow(main, "FormY", kProtocolListingCaption, ProtocolListingDesign(), kProtocolListingClientWidth, kProtocolListingClientHeight) {
  SetText("Label4", kProtocolsCaption);
  std::vector<std::string> order;
  for (const ProtocolRowDesign& row : ProtocolListingRows()) {
    SetText(row.check, row.caption);
    for (std::size_t i = 0; i < kChoiceCaptions.size(); ++i) SetText(row.options[i], kChoiceCaptions[i]);
    order.push_back(row.check);
    order.insert(order.end(), row.options.begin(), row.options.end());
  }
  order.insert(order.end(), {"Command2", "Command1"});
  SetTabOrder(order);
}

void ProtocolDialog::Load(const std::string& fullSubDomain, const std::string& domain, const std::string& address) {
  subDomain_ = fullSubDomain;
  domain_ = domain;
  SetText("lblSubDomain", subDomain_);
  SetText("lblDomain", domain_);
  rows_ = ProtocolsForAddress(address);
  for (int row = 0; row < kProtocolRows; ++row)
    SendMessageW(Control(ProtocolListingRows()[row].check), BM_SETCHECK, RowOf(rows_, row).checked ? BST_CHECKED : BST_UNCHECKED,
                 0);
  for (int row = 0; row < kProtocolRows; ++row) UpdateRowControls(row);
}

void ProtocolDialog::UpdateRowControls(int row) {
  const ProtocolRowDesign& design = ProtocolListingRows()[row];
  RowLook look = UpdateRow(RowOf(rows_, row));
  for (std::size_t i = 0; i < kChoiceZones.size(); ++i) {
    SetPictureIcon(Control(design.pictures[i]), ImageListResource(look.firstPicture + static_cast<int>(i)));
    EnableWindow(Control(design.options[i]), look.enabled);
    EnableWindow(Control(design.pictures[i]), look.enabled);
    if (!look.enabled) SendMessageW(Control(design.options[i]), BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

void ProtocolDialog::Command(const std::string& name, int code) {
  if (name == "Command1" && code == BN_CLICKED) {
    Ok();
    return;
  }
  if (name == "Command2" && code == BN_CLICKED) {
    Close();
    return;
  }
  for (int row = 0; row < kProtocolRows; ++row) {
    const ProtocolRowDesign& design = ProtocolListingRows()[row];
    if (name == design.check && code == BN_CLICKED) {
      RowOf(rows_, row).checked = SendMessageW(Control(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
      UpdateRowControls(row);
      return;
    }
    for (std::size_t i = 0; i < kChoiceZones.size(); ++i) {
      if (name == design.options[i] && code == BN_CLICKED) {
        RowOf(rows_, row).zone = kChoiceZones[i];
      } else if (name == design.pictures[i] && code == STN_CLICKED) {
        if (ClickRowPicture(RowOf(rows_, row), kChoiceZones[i])) {
          for (std::size_t j = 0; j < kChoiceZones.size(); ++j)
            SendMessageW(Control(design.options[j]), BM_SETCHECK, i == j ? BST_CHECKED : BST_UNCHECKED, 0);
        }
      }
    }
  }
}

void ProtocolDialog::Ok() {
  StoreFailureReporter::Action action(main_.Reporter());
  if (WriteEditedProtocols(main_.Reg(), main_.Reporter(), domain_, subDomain_, rows_)) Close();
}

void ProtocolDialog::Closed() {
  // OK, Cancel, Escape and the close box all end here.
  StoreFailureReporter::Action action(main_.Reporter());
  main_.RebuildSiteList();
}

}  // namespace pw::win32
