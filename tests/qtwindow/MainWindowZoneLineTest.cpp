// The zone line above the address box: what it shows follows the typing and
// each rebuild, and it never covers a control of the design.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "UiTestSupport.h"
#include "ZoneMap.h"
#include "registry/ForwardingStore.h"
#include "qtwindow/ZoneLine.h"

using namespace pw;
using namespace pw::test;

class MainWindowZoneLineTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<StoreRig> rig_;
  ScriptedPrompter prompter_;
  std::unique_ptr<ui::MainWindow> window_;
  int gtestFailures_ = 0;

  ui::ZoneLine* Line() { return Find<ui::ZoneLine>(*window_, "lblZone"); }
  QString Shown() { return Line()->Lines().join(" | "); }

 private slots:
  void init() {
    gtestFailures_ = GtestFailureCount();
    rig_ = std::make_unique<StoreRig>();
    rig_->SetZone(ZoneProfile::LockedDown);
    window_ = std::make_unique<ui::MainWindow>(rig_->Store(), prompter_);
    window_->Load(nullptr, {}, "");
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() {
    window_.reset();
    QCOMPARE(GtestFailureCount(), gtestFailures_);
  }

  void followsTypingAndRebuilds() {
    ZoneMap(rig_->Store()).SetZone("example.com", "*", 2);
    QLineEdit* edit = Find<QComboBox>(*window_, "txtURL")->lineEdit();
    QTest::keyClicks(edit, "www.example.co");
    QCOMPARE(Shown(), QString("Zone: 3 Internet | not listed"));
    QTest::keyClicks(edit, "m");
    QCOMPARE(Shown(), QString("Zone: 2 Trusted | by example.com | value \"*\""));
    QVERIFY(Line()->toolTip().contains("HKEY_CURRENT_USER\\Software"));

    // Another program restricts the site; the next rebuild shows it.
    ZoneMap(rig_->Store()).SetZone("example.com", "http", 4);
    window_->RebuildSiteList();
    QCOMPARE(Shown(), QString("Zone: 4 Restricted | by example.com | value \"http\""));
    edit->clear();
    QCOMPARE(Shown(), QString());
  }

  void aStoreThatCannotBeReadGivesOneMessageForAllTheTyping() {
    // Every key read fails, as on a damaged store file.
    class UnreadableStore : public ForwardingStore {
     public:
      using ForwardingStore::ForwardingStore;
      LONG RegOpenKeyExA(HKEY, RegName, DWORD, REGSAM, HKEY*) override {
        ReportFailure({Describe(), "read", "disk I/O error", 1117});
        return 1117;
      }
    } unreadable(rig_->Store());
    ui::MainWindow window(unreadable, prompter_);
    QTest::keyClicks(Find<QComboBox>(window, "txtURL")->lineEdit(), "www.example.com");
    QCOMPARE(prompter_.asked.size(), size_t(1));
    QVERIFY(prompter_.asked[0].text.find("disk I/O error") != std::string::npos);
  }

  void coversNoControl() {
    for (QSize outer : {QSize(11895, 8565), QSize(15600, 11000)}) {
      window_->resize(window_->ClientSizeFor(outer.width(), outer.height()));
      QVERIFY(Line()->isVisible());
      QVERIFY(Line()->width() > 100);
      for (QWidget* control :
           window_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (control != Line() && control->isVisible())
          QVERIFY2(!control->geometry().intersects(Line()->geometry()),
                   qPrintable(control->objectName()));
    }
  }
};

QTEST_MAIN(MainWindowZoneLineTest)
#include "MainWindowZoneLineTest.moc"
