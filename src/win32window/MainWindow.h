// The main window in native Win32: the security switch and its status panels,
// the site list (a report-view ListView over the site list, with the list's
// pictures in an ImageList), its buttons, the address box with the zone line,
// the legend, help and print. The logic it shows is the window logic the Qt
// window uses too.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "listings/SiteList.h"
#include "registry/Registry.h"
#include "windowlogic/AddFlow.h"
#include "windowlogic/MainWindowLayout.h"
#include "windowlogic/Startup.h"
#include "windowlogic/StatusPresentation.h"
#include "windowlogic/StoreFailureReporter.h"
#include "windowlogic/StoreFollower.h"
#include "win32window/Controls.h"
#include "win32window/MessageBoxPrompter.h"

namespace pw::win32 {

class VerifyDialog;
class ProtocolDialog;

inline constexpr const wchar_t* kMainWindowClass = L"PortwardenMain";

class MainWindow : public StartupWindow, public AddFlowWindow {
 public:
  MainWindow(RegistryStore& store, MessageBoxPrompter& prompter);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Makes the window and its controls, hidden.
  bool Create();
  HWND Handle() const { return window_; }

  StartupOutcome Load(OpenPagesSource pages, std::function<void()> firstStart, const std::string& commandLine);
  // Centres the window on its monitor and shows it.
  void Show(int showCommand);
  // Lets the open window under `message` take its keys (Tab, Enter, Escape).
  bool TranslateDialogKeys(MSG& message);

  bool HoldingInput(const std::function<void(const EventPump&)>& work);

  // StartupWindow
  void ShowZoneSecurityState(ZoneSecurityState state, bool setPanelToolTip) override;
  void OfferAddress(const std::string& address) override;
  void PlaceStatusPanels() override;
  void RebuildSiteList() override;
  // AddFlowWindow
  std::string AddressBoxText() const override;
  void SetAddressBoxText(const std::string& text) override;

  void RefreshAll();
  void FollowStore();
  void AddSite();
  void ShowProtocolDialog(const VerificationListing& listing);
  void PrintReport();
  void OpenHelp();

  Registry& Reg() { return registry_; }
  Prompter& Prompts() { return prompter_; }
  StoreFailureReporter& Reporter() { return reporter_; }
  void ReportStoreFailure(const StoreFailure& failure) { reporter_.Report(failure); }
  SiteList& Sites() { return sites_; }
  int Dpi() const { return dpi_; }
  HFONT WindowFont() const { return font_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK AddressEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK ZoneLineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  void BuildControls();
  void MakeFonts();
  void MakePictureList();
  void ApplyPlaces();
  void PlaceColumns();
  void FitLegendTexts();
  void RunResizeRules();
  void Command(int id, int code);
  LRESULT Notify(NMHDR* header);
  void DrawButton(const DRAWITEMSTRUCT& item);
  void PaintPanel(HWND panel, HDC dc);
  void PaintZoneLine(HWND line, HDC dc);
  void Rebuild(const std::function<void(const EventPump&)>& work);
  // After each rebuild of the list: the security state read anew, and the
  // list's stamp marked as seen by the follower.
  void ShowStateAfterRebuild();
  void ShowList();
  void ShowSortIndicator();
  void ShowSelection();
  void ShowZone();
  void RunSwitch(std::uint16_t modifiers);
  void AssignZone(Zone zone);
  void DeleteSelected();
  void PanelClicked(StatusPanel panel);
  HWND Control(const std::string& name) const;
  int IdOf(const std::string& name) const;

  RegistryStore& store_;
  Registry registry_;
  MessageBoxPrompter& prompter_;
  StoreFailureReporter reporter_;
  StoreFollower follower_;
  ZoneSecurityState shownState_ = ZoneSecurityState::Unsecured;
  SiteList sites_;
  MainWindowLayout layout_;
  int dpi_ = 96;

  HWND window_ = nullptr;
  HWND list_ = nullptr;
  HWND address_ = nullptr;
  HWND zoneLine_ = nullptr;
  HWND report_ = nullptr;  // rT
  HWND lastFocus_ = nullptr;
  HIMAGELIST pictures_ = nullptr;
  HFONT font_ = nullptr, bold_ = nullptr, boldLarge_ = nullptr, addressFont_ = nullptr, listFont_ = nullptr;
  std::map<std::string, HFONT> legendFonts_;
  std::map<std::string, HWND> controls_;
  std::map<std::string, int> ids_;
  std::map<HWND, StatusPanel> panels_;
  ToolTips tips_;
  std::vector<std::string> zoneLines_;

  bool rebuilding_ = false;
  bool placingColumns_ = false;
  bool showingSelection_ = false;
  std::unique_ptr<VerifyDialog> verify_;
  std::unique_ptr<ProtocolDialog> protocols_;
};

}  // namespace pw::win32
