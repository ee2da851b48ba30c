#include "qtwindow/MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <map>
#include <memory>
#include <stdexcept>

#include "listings/ZoneAssignment.h"
#include "windowlogic/AccessibleTexts.h"
#include "windowlogic/HelpFile.h"
#include "windowlogic/MainWindowTexts.h"
#include "windowlogic/Twips.h"
#include "policy/SecuritySwitch.h"
#include "qtwindow/Controls.h"
#include "qtwindow/ProtocolListingDialog.h"
#include "qtwindow/VerifyListingDialog.h"
#include "qtwindow/Pictures.h"
#include "report/ReportPages.h"
#include "qtwindow/SiteListModel.h"
#include "qtwindow/ZoneLine.h"

namespace pw::ui {
namespace {

const StatusPanel kPanels[] = {StatusPanel::Secured, StatusPanel::SemiSecure, StatusPanel::Unsecure};

// Runs `work` and clears `flag` however it ends.
template <typename Work>
void Flagged(bool& flag, Work&& work) {
  flag = true;
  struct Reset {
    bool& f;
    ~Reset() { f = false; }
  } reset{flag};
  work();
}

}  // namespace

HelpService DesktopHelpService() {
  HelpService help;
  help.locate = [] {
    std::string dir = QCoreApplication::applicationDirPath().toStdString();
    bool viewer = true;
#if !defined(Q_OS_WIN)
    // The compiled help needs a viewer, which a Linux desktop seldom has.
    QProcess query;
    query.start("xdg-mime", {"query", "default", "application/vnd.ms-htmlhelp"});
    viewer = query.waitForFinished(3000) && query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
#endif
    return ChooseHelpFile(dir, viewer);
  };
  help.open = [](const std::string& path, const std::function<void()>& failedLater) {
#if defined(Q_OS_WIN)
    (void)failedLater;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
#else
    // xdg-open says whether a program took the file only by its exit status,
    // which comes once it is done; a viewer it runs in the foreground is not
    // waited for. The opener is left to itself, so that the viewer outlives
    // the window.
    auto* opener = new QProcess;
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({QString::fromStdString(path)});
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    auto done = [opener, started, failedLater](bool failed) {
      // A viewer that ran for a while has shown the help, whatever it ends with.
      if (failed && started->elapsed() < 10000) failedLater();
      opener->deleteLater();
    };
    QObject::connect(opener, &QProcess::finished, opener,
                     [done](int code, QProcess::ExitStatus status) { done(status != QProcess::NormalExit || code != 0); });
    QObject::connect(opener, &QProcess::errorOccurred, opener, [done](QProcess::ProcessError error) {
      if (error == QProcess::FailedToStart) done(true);
    });
    opener->start();
    return true;
#endif
  };
  return help;
}

MainWindow::MainWindow(RegistryStore& store, Prompter& prompter, QWidget* parent)
    : QWidget(parent),
      store_(store),
      registry_(store),
      prompter_(prompter),
      reporter_(prompter),
      follower_(store),
      layout_(DesignLayout()),
      addFlow_([this] { AddSite(); }),
      help_(DesktopHelpService()) {
  RegisterFontSubstitutes();
  InstallControlAccessibility();
  setObjectName("FormX");
  setWindowTitle(kMainWindowCaption);
  setWindowIcon(ImageListIcon(1));
  setFont(DesignFont("MS Sans Serif", 8.25, false));
  dpiX_ = logicalDpiX();
  dpiY_ = logicalDpiY();
  store_.SetErrorSink(reporter_.Sink());

  BuildControls();
  lblZone_ = new ZoneLine(this);
  SetTexts();
  Connect();
  ApplyAccessibleTexts(*this);
  SetTabOrder();
  ApplyPlaces();
  FitLegendTexts();
  // Smaller than designed, the buttons on the right and the legend would be cut off.
  QSize design(TwipsToPixels(kDesignClientWidth, dpiX_), TwipsToPixels(kDesignClientHeight, dpiY_));
  setMinimumSize(design);
  resize(design);

  auto* follow = new QTimer(this);
  connect(follow, &QTimer::timeout, this, &MainWindow::FollowStore);
  follow->start(StoreFollower::kIntervalMs);
}

void MainWindow::SetTabOrder() {
  // As the layout reads: the status picture and the switch, the buttons left to
  // right, the address row, the list, the legend's reload picture.
  QWidget* order[] = {panels_[int(StatusPanel::Unsecure)].picture,
                      panels_[int(StatusPanel::SemiSecure)].picture,
                      panels_[int(StatusPanel::Secured)].picture,
                      cmdSecure_,
                      trustButton_,
                      declassifyButton_,
                      restrictButton_,
                      addButton_,
                      printButton_,
                      deleteButton_,
                      helpButton_,
                      txtURL_,
                      addFromBoxButton_,
                      listView_,
                      reloadPicture_};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

MainWindow::~MainWindow() {
  // The dialogs go first: closing them may still reach this window.
  delete protocolDialog_.data();
  delete verifyDialog_.data();
  store_.SetErrorSink({});
}

void MainWindow::BuildControls() {
  std::map<std::string, QWidget*> byName;
  legendLabels_.assign(MainWindowLegendTexts().size(), nullptr);
  for (const DesignControl& design : MainWindowDesign()) {
    QWidget* parent = design.parent.empty() ? this : byName.at(design.parent);
    const std::string& name = design.name;
    QWidget* control = nullptr;
    if (name == "pSecured" || name == "pSemisecure" || name == "pUnsecure" || name == "Picture1") {
      control = new QWidget(parent);
    } else if (name == "ImageSecure" || name == "Image6" || name == "Image7") {
      StatusPanel panel = name == "Image7" ? StatusPanel::Secured
                          : name == "Image6" ? StatusPanel::SemiSecure
                                             : StatusPanel::Unsecure;
      control = new PictureControl(parent, [panel](QPainter& p, const QRectF& r) { PaintPanelPicture(p, panel, r); });
    } else if (name == "Image1") {
      control = new PictureControl(parent, [](QPainter& p, const QRectF& r) { PaintProductPicture(p, r); });
    } else if (name.rfind("Label", 0) == 0 || name == "lblWarning") {
      control = new ClickLabel(parent);
    } else if (name.rfind("Image", 0) == 0) {
      int picture = 0;
      for (const LegendText& legend : MainWindowLegendTexts())
        if (name == legend.image) picture = legend.picture;
      control = new PictureControl(parent, [picture](QPainter& p, const QRectF& r) {
        PaintImageListPicture(p, picture, r);
      });
    } else if (name.rfind("Line", 0) == 0) {
      control = new LineControl(parent);
    } else if (name == "cmdHelp") {
      control = new QPushButton(parent);
    } else if (name.rfind("cmd", 0) == 0) {
      control = new GraphicButton(parent);
    } else if (name == "txtURL") {
      txtURL_ = new QComboBox(parent);
      // Editable from the start, so that its line edit is made here, in the
      // box's place in the focus chain.
      txtURL_->setEditable(true);
      control = txtURL_;
    } else if (name == "LVw") {
      listView_ = new SiteListView(parent);
      control = listView_;
    } else if (name == "Frame1") {
      control = new QGroupBox(parent);
    } else if (name == "rT") {
      control = new QTextEdit(parent);
      control->hide();
    }
    control->setObjectName(QString::fromStdString(name));
    byName[name] = control;
    placed_.emplace_back(name, control);
  }
  // The typed controls, by their designed names; each name is in the design.
  auto button = [&](const char* name) { return static_cast<GraphicButton*>(byName.at(name)); };
  cmdSecure_ = button("cmdSecure");
  trustButton_ = button("cmdTrust");
  declassifyButton_ = button("cmdDeclassify");
  restrictButton_ = button("cmdRestrict");
  addButton_ = button("cmdAdd");
  printButton_ = button("cmdPrint");
  deleteButton_ = button("cmdDelete");
  addFromBoxButton_ = button("cmdAddd");
  helpButton_ = static_cast<QPushButton*>(byName.at("cmdHelp"));
  reloadPicture_ = static_cast<PictureControl*>(byName.at("Image3"));
  for (StatusPanel panel : kPanels) {
    const PanelDesign& design = DesignOf(panel);
    PanelControls& controls = panels_[static_cast<int>(panel)];
    controls.frame = byName.at(design.name);
    controls.picture = static_cast<PictureControl*>(byName.at(design.picture));
    controls.upper = static_cast<ClickLabel*>(byName.at(design.upperLabel));
    controls.lower = static_cast<ClickLabel*>(byName.at(design.lowerLabel));
  }
  for (std::size_t i = 0; i < legendLabels_.size(); ++i)
    legendLabels_[i] = static_cast<ClickLabel*>(byName.at(MainWindowLegendTexts()[i].label));
}

GraphicButton* MainWindow::ButtonNamed(const std::string& name) const {
  for (GraphicButton* button : {trustButton_, declassifyButton_, restrictButton_, addButton_, printButton_,
                                deleteButton_, addFromBoxButton_})
    if (button->objectName().toStdString() == name) return button;
  throw std::out_of_range("no button " + name);
}

void MainWindow::SetTexts() {
  QFont graphic = DesignFont("MS Sans Serif", 8.25, true);
  int iconSide = TwipsToPixels(450, dpiY_);
  for (const ButtonText& text : MainWindowButtonTexts()) {
    GraphicButton* button = ButtonNamed(text.name);
    button->setText(text.caption);
    if (text.toolTip) button->setToolTip(text.toolTip);
    button->setFont(graphic);
    button->setIconSize(QSize(iconSide, iconSide));
  }
  cmdSecure_->setFont(graphic);
  cmdSecure_->setIconSize(QSize(iconSide, iconSide));
  trustButton_->setIcon(ImageListIcon(2));
  declassifyButton_->setIcon(ImageListIcon(3));
  restrictButton_->setIcon(ImageListIcon(4));
  deleteButton_->setIcon(ImageListIcon(11));
  addButton_->setIcon(ButtonIcon(ButtonPicture::Add));
  printButton_->setIcon(ButtonIcon(ButtonPicture::Print));

  addFromBoxButton_->setFont(DesignFont("MS Sans Serif", 9.75, true));
  addFromBoxButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);

  helpButton_->setText(kHelpCaption);
  helpButton_->setToolTip(kHelpToolTip);

  txtURL_->setEditable(true);
  txtURL_->setInsertPolicy(QComboBox::NoInsert);
  txtURL_->setFont(DesignFont("MS Sans Serif", 9.75, false));
  txtURL_->setToolTip(kAddressToolTip);

  QColor panelText[] = {Qt::white, QColor(0x4a, 0x30, 0x00), Qt::white};
  for (StatusPanel panel : kPanels) {
    const PanelDesign& design = DesignOf(panel);
    const PanelControls& controls = panels_[static_cast<int>(panel)];
    QColor colour = panelText[static_cast<int>(panel)];
    for (auto [control, caption, bold] : {std::tuple{controls.upper, design.upperCaption, 8.25},
                                          std::tuple{controls.lower, design.lowerCaption, 9.75}}) {
      control->setText(caption);
      control->setToolTip(design.labelToolTip);
      control->setFont(DesignFont("MS Sans Serif", bold, true));
      QPalette palette = control->palette();
      palette.setColor(QPalette::WindowText, colour);
      control->setPalette(palette);
    }
    controls.picture->setToolTip(design.pictureToolTip);
  }

  for (std::size_t i = 0; i < legendLabels_.size(); ++i) {
    ClickLabel* label = legendLabels_[i];
    label->setText(MainWindowLegendTexts()[i].caption);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  reloadPicture_->setCursor(Qt::PointingHandCursor);


  model_ = new SiteListModel(sites_, this);
  listView_->setModel(model_);
  listView_->setRootIsDecorated(false);
  listView_->setItemsExpandable(false);
  listView_->setUniformRowHeights(true);
  listView_->setAllColumnsShowFocus(true);
  listView_->setSelectionMode(QAbstractItemView::SingleSelection);
  listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView_->setFont(DesignFont("Verdana", 12, false));
  int small = TwipsToPixels(240, dpiY_);
  listView_->setIconSize(QSize(small, small));
  QHeaderView* header = listView_->header();
  header->setStretchLastSection(false);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSectionsMovable(false);
  header->setFont(font());
  ShowSortIndicator();
}

void MainWindow::Connect() {
  connect(cmdSecure_, &GraphicButton::mouseReleased, this,
          [this](Qt::MouseButton, Qt::KeyboardModifiers modifiers) { SecureReleased(modifiers); });
  // Space and Return act as a release does, with the modifiers held.
  connect(cmdSecure_, &GraphicButton::keyClicked, this, &MainWindow::SecureReleased);
  for (StatusPanel panel : kPanels) {
    const PanelControls& controls = panels_[static_cast<int>(panel)];
    for (ClickLabel* label : {controls.upper, controls.lower})
      connect(label, &ClickLabel::clicked, this, [this, panel] { PanelClicked(panel); });
    PictureControl* picture = controls.picture;
    picture->SetKeyboardReachable(true);
    connect(picture, &PictureControl::clicked, this, [this, panel] { PanelClicked(panel); });
  }
  reloadPicture_->SetKeyboardReachable(true);
  connect(reloadPicture_, &PictureControl::clicked, this, [this] {
    if (rebuilding_) return;
    StoreFailureReporter::Action action(reporter_);
    RefreshAll();
  });
  for (GraphicButton* add : {addButton_, addFromBoxButton_})
    connect(add, &QToolButton::clicked, this, [this] {
      if (addFlow_ && !rebuilding_) addFlow_();
    });
  connect(printButton_, &QToolButton::clicked, this, [this] {
    if (printReport_ && !rebuilding_) printReport_();
  });
  connect(trustButton_, &QToolButton::clicked, this, [this] { AssignZone(Zone::Trusted); });
  connect(declassifyButton_, &QToolButton::clicked, this, [this] { AssignZone(Zone::Unclassified); });
  connect(restrictButton_, &QToolButton::clicked, this, [this] { AssignZone(Zone::Restricted); });
  connect(deleteButton_, &QToolButton::clicked, this, [this] { DeleteSelected(); });
  // The Delete key in the list is the Delete button.
  auto* deleteKey = new QShortcut(QKeySequence::Delete, listView_);
  deleteKey->setContext(Qt::WidgetShortcut);
  connect(deleteKey, &QShortcut::activated, deleteButton_, &QToolButton::click);
  // The headings take no focus: Ctrl+1, Ctrl+2 and Ctrl+3 in the list click them.
  for (int section = 0; section < 3; ++section) {
    auto* sortKey = new QShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + section)), listView_);
    sortKey->setContext(Qt::WidgetShortcut);
    connect(sortKey, &QShortcut::activated, this, [this, section] { HeaderClicked(section); });
  }

  // Help opens after the click has been handled, as a key sent to ourselves would.
  connect(helpButton_, &QPushButton::clicked, this,
          [this] { QMetaObject::invokeMethod(this, &MainWindow::OpenHelp, Qt::QueuedConnection); });
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setContext(Qt::WindowShortcut);
  connect(f1, &QShortcut::activated, this, &MainWindow::OpenHelp);

  txtURL_->installEventFilter(this);
  connect(txtURL_, &QComboBox::editTextChanged, this, [this] {
    StoreFailureReporter::Action typing(reporter_, StoreFailureReporter::Kind::Typing);
    ShowZone();
  });

  QHeaderView* header = listView_->header();
  connect(header, &QHeaderView::sectionClicked, this, &MainWindow::HeaderClicked);
  connect(header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
    if (placingColumns_) return;
    if (section == 0) layout_.columns.protocol = PixelsToTwips(size, dpiX_);
    if (section == 1) layout_.columns.subdomain = PixelsToTwips(size, dpiX_);
  });
  connect(listView_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (showingSelection_ || rebuilding_) return;
    QModelIndexList rows = listView_->selectionModel()->selectedRows();
    sites_.Select(rows.isEmpty() ? 0 : rows.front().row() + 1);
  });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The combo is its line edit's focus proxy, so keys reach it first; the key
  // goes on to the box afterwards.
  if (event->type() == QEvent::KeyPress && watched == txtURL_) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && addFlow_ && !rebuilding_) addFlow_();
  }
  return QWidget::eventFilter(watched, event);
}

StartupOutcome MainWindow::Load(OpenPagesSource pages, std::function<void()> firstStart, const std::string& commandLine) {
  StoreFailureReporter::Action action(reporter_);
  StartupServices services;
  services.registry = &registry_;
  services.prompter = &prompter_;
  services.pages = std::move(pages);
  services.firstStart = std::move(firstStart);
  services.commandLine = commandLine;
  return RunStartup(*this, services);
}

void MainWindow::OfferAddress(const std::string& address) {
  QString text = QString::fromStdString(address);
  txtURL_->addItem(text);
  txtURL_->setEditText(text);
}

std::string MainWindow::AddressBoxText() const { return txtURL_->currentText().toStdString(); }

void MainWindow::SetAddressBoxText(const std::string& text) { txtURL_->setEditText(QString::fromStdString(text)); }

namespace {

// Brings the dialog open in `slot` to the front and returns null, or makes a
// new one that leaves `slot` when it closes.
template <typename Dialog>
Dialog* NewUnlessOpen(QPointer<Dialog>& slot, MainWindow& main) {
  if (slot) {
    slot->Present();
    return nullptr;
  }
  auto* dialog = new Dialog(main);
  slot = dialog;
  QObject::connect(dialog, &QDialog::finished, &main, [&slot, dialog] {
    if (slot == dialog) slot.clear();
  });
  return dialog;
}

}  // namespace

void MainWindow::AddSite() {
  RunAddFlow(
      [this] {
        VerifyListingDialog* dialog = NewUnlessOpen(verifyDialog_, *this);
        if (!dialog) return true;
        // A refused address is closed again at once; it is never shown.
        if (!dialog->Load()) return false;
        dialog->Present();
        return true;
      },
      [this] {
        VerifyListingDialog* dialog = verifyDialog_;
        verifyDialog_.clear();
        if (dialog) dialog->close();
      });
}

VerifyListingDialog* MainWindow::OpenVerifyListingDialog() const { return verifyDialog_; }
ProtocolListingDialog* MainWindow::OpenProtocolListingDialog() const { return protocolDialog_; }

void MainWindow::ShowProtocolListingDialog(const VerifyListingDialog& from) {
  if (ProtocolListingDialog* dialog = NewUnlessOpen(protocolDialog_, *this)) {
    dialog->Load(from.Listing().fullSubDomain, from.Listing().domain, AddressBoxText());
    dialog->Present();
  }
}

void MainWindow::PlaceStatusPanels() {
  for (StatusPanel panel : {StatusPanel::Secured, StatusPanel::Unsecure, StatusPanel::SemiSecure}) {
    TwipRect& place = layout_.places[DesignOf(panel).name];
    place.left = 80;
    place.top = 30;
    panels_[static_cast<int>(panel)].frame->setGeometry(ToPixels(place));
  }
}

void MainWindow::ShowZoneSecurityState(ZoneSecurityState state, bool setPanelToolTip) {
  shownState_ = state;
  const StatePresentation& shown = PresentationFor(state);
  cmdSecure_->setToolTip(shown.secureToolTip);
  cmdSecure_->setAccessibleDescription(QString::fromUtf8(shown.secureToolTip) + kSwitchModifierNote);
  cmdSecure_->setIcon(ImageListIcon(shown.securePicture));
  cmdSecure_->setText(shown.secureCaption);
  for (StatusPanel panel : {StatusPanel::Secured, StatusPanel::Unsecure, StatusPanel::SemiSecure})
    panels_[static_cast<int>(panel)].frame->setVisible(shown.panel == panel);
  if (setPanelToolTip) panels_[static_cast<int>(shown.panel)].frame->setToolTip(shown.panelToolTip);
}

void MainWindow::SecureReleased(Qt::KeyboardModifiers modifiers) {
  if (rebuilding_) return;
  StoreFailureReporter::Action action(reporter_);
  RunSwitch(ModifierState(modifiers));
}

void MainWindow::PanelClicked(StatusPanel panel) {
  if (rebuilding_) return;
  StoreFailureReporter::Action action(reporter_);
  ExplainPanel(panel, prompter_, [this] { RunSwitch(0); });
}

void MainWindow::RunSwitch(std::uint16_t modifiers) {
  // The click was on the state shown; another program may have changed it.
  if (SwitchZoneSecurity(registry_, prompter_, *this, modifiers, shownState_) == SwitchOutcome::ShownStale)
    RefreshAll();
}

void MainWindow::RefreshAll() { RebuildSiteList(); }

void MainWindow::FollowStore() {
  // Not in the middle of an action: a rebuild, or a question being asked.
  if (rebuilding_ || QApplication::activeModalWidget() || !follower_.Behind()) return;
  StoreFailureReporter::Action action(reporter_);
  RefreshAll();
}

void MainWindow::Rebuild(const std::function<void(const EventPump&)>& work) {
  // A rebuild lets painting go on between values, never user input, so no
  // button can start a second rebuild or a write in the middle of one; one
  // started from code is refused.
  if (rebuilding_) return;
  model_->BeginRebuild();
  HoldingInput(work);
  model_->EndRebuild();
  ShowStateAfterRebuild();
  ShowSortIndicator();
  ShowSelection();
  ShowZone();
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
    // Pending events run at the first call and then a few dozen times a
    // second: enough to keep the window painted, while running them between
    // every two values of a long list would cost more than the list itself.
    constexpr qint64 kPumpIntervalMs = 25;
    QElapsedTimer sincePump;
    work([&sincePump] {
      if (sincePump.isValid() && sincePump.elapsed() < kPumpIntervalMs) return;
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      sincePump.start();
    });
  });
  return true;
}

const pw::ui::ReportPages* MainWindow::ComposeReport() {
  // The report stands for the hidden box rT without being shown in it: a
  // box would lay out every line of it for nothing.
  std::unique_ptr<pw::ui::ReportPages> report;
  if (!HoldingInput([&](const EventPump& pump) { report = std::make_unique<pw::ui::ReportPages>(sites_.Rows(), pump); }))
    return nullptr;
  report_ = std::move(report);
  return report_.get();
}

void MainWindow::RebuildSiteList() {
  Rebuild([this](const EventPump& pump) { sites_.Rebuild(store_, pump); });
}

void MainWindow::HeaderClicked(int section) {
  if (rebuilding_) return;
  sites_.ColumnClick(section + 1);
  model_->Reordered();
  ShowSortIndicator();
  ShowSelection();
}

void MainWindow::AssignZone(Zone zone) {
  StoreFailureReporter::Action action(reporter_);
  Rebuild([this, zone](const EventPump& pump) { AssignSelectedZone(sites_, registry_, zone, pump); });
}

void MainWindow::DeleteSelected() {
  StoreFailureReporter::Action action(reporter_);
  Rebuild([this](const EventPump& pump) { DeleteSelectedListing(sites_, registry_, pump); });
}

void MainWindow::ShowZone() {
  StoreFailureReporter::Action action(reporter_);
  lblZone_->Show(store_, txtURL_->currentText());
}

void MainWindow::ShowSelection() {
  Flagged(showingSelection_, [this] {
    int selected = sites_.SelectedPositionOrEnd();
    if (selected >= 1 && selected <= sites_.Count()) {
      QModelIndex index = model_->index(selected - 1, 0);
      listView_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      listView_->scrollTo(index);
    } else {
      listView_->selectionModel()->clearSelection();
    }
  });
}

void MainWindow::ShowSortIndicator() {
  listView_->header()->setSortIndicator(sites_.SortKey(),
                                   sites_.Order() == SortOrder::Ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QRect MainWindow::ToPixels(const TwipRect& rect) const { return PixelRect(rect, dpiX_, dpiY_); }

void MainWindow::ApplyPlaces() {
  for (const auto& [name, control] : placed_) control->setGeometry(ToPixels(layout_.places.at(name)));
  TwipRect zonePlace = ZoneLinePlace(layout_);
  lblZone_->setVisible(zonePlace.width > 0);
  if (zonePlace.width > 0) lblZone_->setGeometry(ToPixels(zonePlace));
  Flagged(placingColumns_, [this] {
    QHeaderView* header = listView_->header();
    header->resizeSection(0, TwipsToPixels(layout_.columns.protocol, dpiX_));
    header->resizeSection(1, TwipsToPixels(layout_.columns.subdomain, dpiX_));
    // Columns dragged wider than the list leave the third its least width.
    header->resizeSection(2, std::max(header->minimumSectionSize(), TwipsToPixels(layout_.columns.domains, dpiX_)));
  });
}

void MainWindow::FitLegendTexts() {
  // The design's legend texts are longer than their labels hold in the window
  // font; a label takes the largest size, down to 6.5 points, at which its text
  // fits rather than running under the next row.
  for (ClickLabel* label : legendLabels_) {
    QFont fitted = font();
    fitted.setPointSizeF(FittedLegendPoints(fitted.pointSizeF(), [&](double points) {
      QFont trial = fitted;
      trial.setPointSizeF(points);
      QRect needed = QFontMetrics(trial).boundingRect(QRect(0, 0, label->width(), 10000),
                                                       Qt::TextWordWrap | Qt::AlignLeft, label->text());
      return needed.height() <= label->height();
    }));
    label->setFont(fitted);
  }
}

int MainWindow::OuterWidthTwips() const { return PixelsToTwips(width(), dpiX_) + kFrameWidth; }
int MainWindow::OuterHeightTwips() const { return PixelsToTwips(height(), dpiY_) + kFrameHeight; }

QSize MainWindow::ClientSizeFor(int outerWidthTwips, int outerHeightTwips) const {
  return QSize(TwipsToPixels(outerWidthTwips - kFrameWidth, dpiX_), TwipsToPixels(outerHeightTwips - kFrameHeight, dpiY_));
}

void MainWindow::RunResizeRules() {
  if (ApplyResizeRules(layout_, OuterWidthTwips(), OuterHeightTwips(), isMinimized())) ApplyPlaces();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RunResizeRules();
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) RunResizeRules();
}

void MainWindow::OpenHelp() {
  std::string path = help_.locate ? help_.locate() : std::string();
  if (path.empty()) {
    prompter_.MsgBox(kHelpTitle, HelpMissingMessage(), MsgButtons::Ok, MsgIcon::Exclamation);
    return;
  }
  QPointer<MainWindow> self(this);
  auto failedLater = [self, path] {
    if (self) self->HelpNotShown(path);
  };
  if (!help_.open || !help_.open(path, failedLater)) HelpNotShown(path);
}

void MainWindow::HelpNotShown(const std::string& path) {
  prompter_.MsgBox(kHelpTitle, HelpNotShownMessage(path), MsgButtons::Ok, MsgIcon::Exclamation);
}

}  // namespace pw::ui
