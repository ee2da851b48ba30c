// The site list view and its buttons on a real store.
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include "UiTestSupport.h"
#include "ZoneMapFill.h"
#include "registry/FollowUpStore.h"
#include "registry/KnownKeys.h"

using namespace pw;
using namespace pw::test;

class MainWindowListTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<StoreRig> rig_;
  ScriptedPrompter prompter_;
  std::unique_ptr<ui::MainWindow> window_;
  int gtestFailures_ = 0;

  void Open() {
    window_ = std::make_unique<ui::MainWindow>(rig_->Store(), prompter_);
    window_->Load(nullptr, {}, "");
    window_->show();
  }
  QTreeView* List() { return Find<QTreeView>(*window_, "LVw"); }
  QString Cell(int row, int column) { return List()->model()->index(row, column).data().toString(); }
  // The domains as the view shows them, top to bottom.
  QStringList Domains() {
    QStringList domains;
    for (int row = 0; row < List()->model()->rowCount(); ++row) domains << Cell(row, 2);
    return domains;
  }
  int ViewSelection() {
    QModelIndexList rows = List()->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.front().row() + 1;
  }
  void ClickHeader(int section) {
    QHeaderView* header = List()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
  }
  void Click(const char* name) { QTest::mouseClick(Find<QWidget>(*window_, name), Qt::LeftButton); }
  // Selects the row showing these texts through the view, as a user would.
  void SelectRow(const QString& text, const QString& subdomain, const QString& domain) {
    for (int row = 0; row < List()->model()->rowCount(); ++row) {
      if (Cell(row, 0) == text && Cell(row, 1) == subdomain && Cell(row, 2) == domain) {
        QRect cell = List()->visualRect(List()->model()->index(row, 2));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(window_->Sites().SelectedPositionOrEnd(), row + 1);
        return;
      }
    }
    QFAIL(qPrintable("no row " + text + "," + subdomain + "," + domain));
  }
  std::string Value(const std::string& key, const std::string& name) {
    return rig_->Reg().GetRegValue(HKEY_CURRENT_USER, std::string(kDomainsPath) + "\\" + key, name);
  }

 private slots:
  void init() {
    rig_ = std::make_unique<StoreRig>();
    rig_->SetZone(ZoneProfile::LockedDown);
    gtestFailures_ = GtestFailureCount();
  }
  void cleanup() {
    window_.reset();
    QVERIFY(prompter_.asked.empty());  // nothing here shows a message
    QCOMPARE(GtestFailureCount(), gtestFailures_);
  }

  void theViewShowsTheModelsRowsColumnsAndPictures() {
    FillSampleSites(rig_->Store());
    AddListing(rig_->Store(), "odd-zone.example", "", "*", 12);
    Open();
    QCOMPARE(List()->model()->columnCount(), 3);
    QCOMPARE(List()->model()->headerData(0, Qt::Horizontal).toString(), QString("Protocol"));
    QCOMPARE(List()->model()->headerData(1, Qt::Horizontal).toString(), QString("Subdomain"));
    QCOMPARE(List()->model()->headerData(2, Qt::Horizontal).toString(), QString("Trusted Website Domains"));
    const SiteList& sites = window_->Sites();
    QCOMPARE(List()->model()->rowCount(), sites.Count());
    for (int p = 1; p <= sites.Count(); ++p) {
      QCOMPARE(Cell(p - 1, 0).toStdString(), sites.Row(p).text);
      QCOMPARE(Cell(p - 1, 1).toStdString(), sites.Row(p).subdomain);
      QCOMPARE(Cell(p - 1, 2).toStdString(), sites.Row(p).domain);
      bool pictured = sites.Row(p).icon >= 1 && sites.Row(p).icon <= 11;
      QCOMPARE(!List()->model()->index(p - 1, 0).data(Qt::DecorationRole).value<QIcon>().isNull(), pictured);
    }
    QCOMPARE(ViewSelection(), 1);  // the first row, at start-up
  }

  void headerClicksFollowTheSortRule() {
    AddListing(rig_->Store(), "a.example", "www", "https", 2);
    AddListing(rig_->Store(), "b.example", "", "ftp", 3);
    AddListing(rig_->Store(), "c.example", "mail", "http", 4);
    AddListing(rig_->Store(), "d.example", "shop", "*", 2);
    Open();
    QHeaderView* header = List()->header();
    QCOMPARE(Domains(), (QStringList{"a.example", "b.example", "c.example", "d.example"}));
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    ClickHeader(0);  // Protocol, ascending
    QCOMPARE(Domains(), (QStringList{"d.example", "b.example", "c.example", "a.example"}));
    QCOMPARE(header->sortIndicatorSection(), 0);
    ClickHeader(0);  // again: descending
    QCOMPARE(Domains(), (QStringList{"a.example", "c.example", "b.example", "d.example"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    ClickHeader(1);  // Subdomain, the order kept: descending
    QCOMPARE(Domains(), (QStringList{"a.example", "d.example", "c.example", "b.example"}));
    Click("Image3");  // a rebuild: domain, still descending
    QCOMPARE(Domains(), (QStringList{"d.example", "c.example", "b.example", "a.example"}));
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
  }

  void aRebuildKeepsTheSelectionByPosition() {
    AddListing(rig_->Store(), "b.example", "", "*", 2);
    AddListing(rig_->Store(), "d.example", "", "*", 3);
    Open();
    SelectRow("Default", "", "d.example");  // position 2
    AddListing(rig_->Store(), "a.example", "", "*", 4);
    Click("Image3");
    QCOMPARE(window_->Sites().SelectedPositionOrEnd(), 2);
    QCOMPARE(ViewSelection(), 2);
    QCOMPARE(Cell(1, 2), QString("b.example"));  // the position, not the listing
    // With nothing selected, a rebuild that grows the list selects old count + 1.
    List()->clearSelection();
    QCOMPARE(window_->Sites().SelectedPositionOrEnd(), 4);
    AddListing(rig_->Store(), "c.example", "", "*", 4);
    Click("Image3");
    QCOMPARE(window_->Sites().SelectedPositionOrEnd(), 4);
    QCOMPARE(ViewSelection(), 4);
  }

  void rowsAreNeverEditedInPlace() {
    AddListing(rig_->Store(), "example.com", "", "*", 2);
    Open();
    QModelIndex first = List()->model()->index(0, 0);
    QRect cell = List()->visualRect(first);
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClick(List(), Qt::Key_F2);
    QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
    List()->edit(first);
    QCOMPARE(List()->findChildren<QLineEdit*>().size(), 0);
    QCOMPARE(Cell(0, 0), QString("Default"));
  }

  void zoneButtonsWriteTheSelectedListing() {
    AddListing(rig_->Store(), "example.com", "", "*", 3);
    AddListing(rig_->Store(), "example.org", "mail", "http", 2);
    AddListing(rig_->Store(), "example.org", "mail", "https", 2);
    AddListing(rig_->Store(), "example.net", "", "http", 4);
    Open();
    SelectRow("Default", "", "example.com");
    Click("cmdTrust");
    QCOMPARE(Value("example.com", "*"), std::string("2"));
    SelectRow("http", "mail", "example.org");
    Click("cmdRestrict");
    QCOMPARE(Value("example.org\\mail", "http"), std::string("4"));
    QCOMPARE(Value("example.org\\mail", "https"), std::string("2"));
    SelectRow("http", "", "example.net");
    int position = window_->Sites().SelectedPositionOrEnd();
    Click("cmdDeclassify");
    QCOMPARE(Value("example.net", "http"), std::string("3"));
    QCOMPARE(window_->Sites().SelectedPositionOrEnd(), position);
    QCOMPARE(window_->Sites().Row(position).icon, 3);
    QCOMPARE(List()->model()->index(position - 1, 0).data(Qt::DecorationRole).isNull(), false);
  }

  void whatMustFollowAButtonsWriteIsShownWhenItFails() {
    AddListing(rig_->Store(), "example.com", "", "*", 3);
    FollowUpStore watched(std::make_unique<ForwardingStore>(rig_->Store()), {{HKEY_CURRENT_USER, kDomainsPath}},
                          [](RegistryStore&, const std::vector<FollowUpStore::Changes>*) {
                            return std::optional<StoreFailure>({"s.db", "the browsers' policy", "no room", 0});
                          });
    ui::MainWindow window(watched, prompter_);
    window.Load(nullptr, {}, "");
    window.show();
    QTest::mouseClick(Find<QWidget>(window, "cmdRestrict"), Qt::LeftButton);
    QCOMPARE(Value("example.com", "*"), std::string("4"));
    QCOMPARE(prompter_.asked.size(), size_t(1));
    QCOMPARE(QString::fromStdString(prompter_.asked[0].text),
             QString("The change is saved in the store s.db, but the browsers' policy is not in step with it: no room."));
    prompter_.asked.clear();
  }

  void deleteRemovesTheListingAndEmptyKeys() {
    AddListing(rig_->Store(), "example.com", "", "*", 2);
    AddListing(rig_->Store(), "example.com", "mail", "http", 4);
    AddListing(rig_->Store(), "example.net", "", "https", 4);
    AddListing(rig_->Store(), "example.org", "", "http", 3);
    AddListing(rig_->Store(), "example.org", "", "https", 3);
    Open();
    SelectRow("http", "mail", "example.com");
    Click("cmdDelete");
    QVERIFY(!rig_->Reg().RegKeyExists(HKEY_CURRENT_USER, std::string(kDomainsPath) + "\\example.com\\mail"));
    QCOMPARE(Value("example.com", "*"), std::string("2"));
    SelectRow("https", "", "example.net");
    Click("cmdDelete");
    QVERIFY(!rig_->Reg().RegKeyExists(HKEY_CURRENT_USER, std::string(kDomainsPath) + "\\example.net"));
    QVERIFY(!Domains().contains("example.net"));
    SelectRow("http", "", "example.org");
    int position = window_->Sites().SelectedPositionOrEnd();
    Click("cmdDelete");
    QCOMPARE(Value("example.org", "https"), std::string("3"));
    QCOMPARE(Value("example.org", "http"), std::string());
    QCOMPARE(ViewSelection(), position);  // the row that moved up is selected
  }

  void nothingStartsARebuildOrAWriteInTheMiddleOfOne() {
    // Enough values in one key that the rebuild lets pending events run.
    for (int i = 0; i < 40; ++i) AddListing(rig_->Store(), "example.com", "", "p" + std::to_string(i), 3);
    Open();
    SelectRow("p0", "", "example.com");
    int nested = -1;
    QTimer::singleShot(0, window_.get(), [&] {
      // Runs from inside the rebuild: the list shows no rows meanwhile.
      nested = List()->model()->rowCount();
      window_->RebuildSiteList();
      Find<QToolButton>(*window_, "cmdTrust")->click();
      Find<QToolButton>(*window_, "cmdDelete")->click();
    });
    window_->RebuildSiteList();
    QCOMPARE(nested, 0);
    QCOMPARE(window_->Sites().Count(), 40);
    QCOMPARE(List()->model()->rowCount(), 40);
    QCOMPARE(Value("example.com", "p0"), std::string("3"));
  }

  void anEmptyListDeletesNothingAndTheZoneButtonsOnlyRebuild() {
    Open();
    QCOMPARE(window_->Sites().Count(), 0);
    AddListing(rig_->Store(), "example.com", "", "*", 4);  // shown only after a rebuild
    Click("cmdDelete");
    QCOMPARE(window_->Sites().Count(), 0);  // Delete did not rebuild
    Click("cmdTrust");
    QCOMPARE(window_->Sites().Count(), 1);  // Trust rebuilt and wrote nothing
    QCOMPARE(Value("example.com", "*"), std::string("4"));
  }
};

QTEST_MAIN(MainWindowListTest)
#include "MainWindowListTest.moc"
