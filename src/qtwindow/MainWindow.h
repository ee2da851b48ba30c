// The main window: the security switch and its status panels, the site list and
// its buttons, the address box, the legend and help.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "listings/SiteList.h"
#include "listings/Zones.h"
#include "windowlogic/AddFlow.h"
#include "windowlogic/MainWindowLayout.h"
#include "windowlogic/MainWindowTexts.h"
#include "windowlogic/Startup.h"
#include "windowlogic/StatusPresentation.h"
#include "windowlogic/StoreFailureReporter.h"
#include "windowlogic/StoreFollower.h"
#include "registry/Registry.h"

class QComboBox;
class QTreeView;
class QToolButton;
class QPushButton;

namespace pw::ui {

class ProtocolListingDialog;
class ReportPages;
class VerifyListingDialog;
class ClickLabel;
class GraphicButton;
class PictureControl;
class SiteListView;
class SiteListModel;
class ZoneLine;

// Finding and opening the help. `locate` gives the file to open (empty when
// there is none); `open` hands it to the desktop and says whether a program
// could be started for it, and runs `failedLater` when that program gives up
// on it afterwards (from the event loop).
struct HelpService {
  std::function<std::string()> locate;
  std::function<bool(const std::string&, const std::function<void()>& failedLater)> open;
};
// The program's own help: the compiled help beside the program when the
// desktop can show it, else the HTML pages shipped with it.
HelpService DesktopHelpService();

class MainWindow : public QWidget, public StartupWindow, public AddFlowWindow {
  Q_OBJECT
 public:
  // The window works on `store` and asks its questions through `prompter`;
  // both outlive it. Store failures during an action are shown once per action.
  MainWindow(RegistryStore& store, Prompter& prompter, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The start-up sequence; the caller shows the window unless the run ends.
  StartupOutcome Load(OpenPagesSource pages, std::function<void()> firstStart, const std::string& commandLine);

  // Runs `work` with a pump that paints but holds user input back, so that no
  // button starts another action in the middle of it; false, without running
  // it, while another runs.
  bool HoldingInput(const std::function<void(const EventPump&)>& work);

  // Rebuilds the site list from the zone map, keeping the selection by position.
  void RebuildSiteList() override;
  // Shows the whole store anew: the security state, the site list, the zone
  // line. The window does so by itself when another program changed the store.
  void RefreshAll();
  // What the window's timer runs: RefreshAll when the store changed and no
  // action is under way.
  void FollowStore();
  void ShowZoneSecurityState(ZoneSecurityState state, bool setPanelToolTip) override;
  void OfferAddress(const std::string& address) override;
  void PlaceStatusPanels() override;

  // The add flow, which the add buttons and Enter in the address box start
  // unless another is set: shows the verification dialog VerifyListingDialog, or brings the
  // open one to the front.
  void AddSite();
  // Shows the per-protocol editor ProtocolListingDialog, loaded from `from` when it is not open
  // yet, else only brought to the front.
  void ShowProtocolListingDialog(const VerifyListingDialog& from);
  // The dialogs while they are open; null otherwise.
  VerifyListingDialog* OpenVerifyListingDialog() const;
  ProtocolListingDialog* OpenProtocolListingDialog() const;

  std::string AddressBoxText() const override;
  void SetAddressBoxText(const std::string& text) override;
  Prompter& Prompts() { return prompter_; }
  StoreFailureReporter& Reporter() { return reporter_; }

  // What the add buttons, Enter in the address box and the print button start;
  // the print button nothing until set.
  void SetAddFlow(std::function<void()> addFlow) { addFlow_ = std::move(addFlow); }
  void SetPrintReport(std::function<void()> printReport) { printReport_ = std::move(printReport); }
  void SetHelpService(HelpService help) { help_ = std::move(help); }

  // A write refused with a status the store does not report itself; shown
  // with the failures of the action under way.
  void ReportStoreFailure(const StoreFailure& failure) { reporter_.Sink()(failure); }
  // cmdPrint's report (rT's): the report of the site list as it stands,
  // kept until the next one. Painting goes on meanwhile, user input waits.
  // Null while another action is under way.
  const ReportPages* ComposeReport();

  SiteList& Sites() { return sites_; }
  const MainWindowLayout& Layout() const { return layout_; }
  Registry& Reg() { return registry_; }
  // The outer size in twips that the resize rules take.
  int OuterWidthTwips() const;
  int OuterHeightTwips() const;
  // The client size in pixels for a given outer size in twips.
  QSize ClientSizeFor(int outerWidthTwips, int outerHeightTwips) const;

  void OpenHelp();
  // Says that no program could show the help at `path`, and where the help is.
  void HelpNotShown(const std::string& path);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void SetTexts();
  void Connect();
  // The button of the design's name `name` (cmdTrust ... cmdAddd).
  GraphicButton* ButtonNamed(const std::string& name) const;
  QRect ToPixels(const TwipRect& rect) const;
  void ApplyPlaces();
  void FitLegendTexts();
  void RunResizeRules();
  void ShowSelection();
  void ShowSortIndicator();
  void SetTabOrder();
  void SecureReleased(Qt::KeyboardModifiers modifiers);
  void PanelClicked(StatusPanel panel);
  void HeaderClicked(int section);
  void Rebuild(const std::function<void(const EventPump&)>& work);
  // After each rebuild of the list: the security state read anew, and the
  // list's stamp marked as seen by the follower.
  void ShowStateAfterRebuild();
  void AssignZone(Zone zone);
  void DeleteSelected();
  // The zone the address box's text would get, shown above the box.
  void ShowZone();
  // The switch, acting on the state shown.
  void RunSwitch(std::uint16_t modifiers);

  RegistryStore& store_;
  Registry registry_;
  Prompter& prompter_;
  StoreFailureReporter reporter_;
  StoreFollower follower_;
  ZoneSecurityState shownState_ = ZoneSecurityState::Unsecured;
  SiteList sites_;
  MainWindowLayout layout_;
  int dpiX_ = 96;
  int dpiY_ = 96;

  // The controls, each under its designed name as object name, which the
  // layout tables place them by.
  std::vector<std::pair<std::string, QWidget*>> placed_;
  struct PanelControls {
    QWidget* frame = nullptr;
    PictureControl* picture = nullptr;
    ClickLabel* upper = nullptr;
    ClickLabel* lower = nullptr;
  };
  PanelControls panels_[3];  // by StatusPanel
  GraphicButton* cmdSecure_ = nullptr;
  GraphicButton* trustButton_ = nullptr;
  GraphicButton* declassifyButton_ = nullptr;
  GraphicButton* restrictButton_ = nullptr;
  GraphicButton* addButton_ = nullptr;
  GraphicButton* printButton_ = nullptr;
  GraphicButton* deleteButton_ = nullptr;
  GraphicButton* addFromBoxButton_ = nullptr;  // cmdAddd, beside the address box
  QPushButton* helpButton_ = nullptr;
  QComboBox* txtURL_ = nullptr;
  SiteListView* listView_ = nullptr;
  PictureControl* reloadPicture_ = nullptr;  // Image3: the legend's Unclassified picture, a reload
  std::vector<ClickLabel*> legendLabels_;    // as MainWindowLegendTexts()
  SiteListModel* model_ = nullptr;
  ZoneLine* lblZone_ = nullptr;

  bool rebuilding_ = false;       // a rebuild or the report is under way; its pump holds user input back
  bool placingColumns_ = false;   // the rules are setting column widths
  bool showingSelection_ = false; // the view is being told the list's selection

  QPointer<VerifyListingDialog> verifyDialog_;
  QPointer<ProtocolListingDialog> protocolDialog_;

  std::function<void()> addFlow_;
  std::function<void()> printReport_;
  std::unique_ptr<ReportPages> report_;
  HelpService help_;
};

}  // namespace pw::ui
