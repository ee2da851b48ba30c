// The main window and its dialogs from the keyboard alone.
#include <QComboBox>
#include <QRegularExpression>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "UiTestSupport.h"
#include "ZoneMap.h"
#include "ZoneMapFill.h"
#include "qtwindow/ProtocolListingDialog.h"
#include "qtwindow/VerifyListingDialog.h"

using namespace pw;
using namespace pw::test;

class KeyboardTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<StoreRig> rig_;
  std::unique_ptr<ScriptedPrompter> prompter_;
  std::unique_ptr<ui::MainWindow> window_;
  int gtestFailures_ = 0;

  void Open(ZoneProfile profile) {
    rig_->SetZone(profile);
    window_ = std::make_unique<ui::MainWindow>(rig_->Store(), *prompter_);
    window_->Load(nullptr, {}, "");
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }
  QWidget* Control(const char* name) { return Find<QWidget>(*window_, name); }
  QString Focused() { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); }

 private slots:
  void init() {
    rig_ = std::make_unique<StoreRig>();
    prompter_ = std::make_unique<ScriptedPrompter>();
    gtestFailures_ = GtestFailureCount();
  }
  void cleanup() {
    window_.reset();
    QCOMPARE(GtestFailureCount(), gtestFailures_);
  }

  // Space and Return act as the mouse's release does, Ctrl and Alt included.
  void theSwitchTakesSpaceAndReturn() {
    Open(ZoneProfile::Prompting);
    QWidget* secure = Control("cmdSecure");
    secure->setFocus();
    QTest::keyClick(secure, Qt::Key_Space);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
    QTest::keyClick(secure, Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::SemiSecured);
    QCOMPARE(Find<QToolButton>(*window_, "cmdSecure")->text(), QString("Secure"));
    QVERIFY(prompter_->asked.empty());
  }

  void tabFollowsTheLayout() {
    prompter_->Answer(MsgAnswer::No);  // not secured now
    Open(ZoneProfile::Default);
    Control("cmdSecure")->setFocus();
    QStringList order{"cmdSecure"};
    for (int i = 0; i < 13; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      order << Focused();
    }
    // The address box's line edit has no name of its own; its box has.
    order.replaceInStrings(QRegularExpression("^$"), "txtURL");
    // The unsecured panel's picture, the one shown, comes before the switch.
    QCOMPARE(order, (QStringList{"cmdSecure", "cmdTrust", "cmdDeclassify", "cmdRestrict", "cmdAdd", "cmdPrint",
                                 "cmdDelete", "cmdHelp", "txtURL", "cmdAddd", "LVw", "Image3", "ImageSecure",
                                 "cmdSecure"}));
  }

  void deleteInTheListIsTheDeleteButton() {
    AddListing(rig_->Store(), "example.com", "", "*", 2);
    AddListing(rig_->Store(), "example.org", "", "*", 4);
    Open(ZoneProfile::LockedDown);
    auto* list = Find<QTreeView>(*window_, "LVw");
    list->setFocus();
    QCOMPARE(window_->Sites().SelectedPositionOrEnd(), 1);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(window_->Sites().Count(), 1);
    QCOMPARE(QString::fromStdString(window_->Sites().Row(1).domain), QString("example.org"));
    ZoneMap map(rig_->Store());
    QVERIFY(!map.KeyExists("example.com"));
  }

  void ctrlDigitsSortAsTheHeadingsDo() {
    AddListing(rig_->Store(), "example.com", "", "*", 2);
    AddListing(rig_->Store(), "example.org", "www", "http", 4);
    Open(ZoneProfile::LockedDown);
    auto* list = Find<QTreeView>(*window_, "LVw");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(window_->Sites().SortKey(), 0);
    QCOMPARE(QString::fromStdString(window_->Sites().Row(1).text), QString("Default"));
    QTest::keyClick(list, Qt::Key_1, Qt::ControlModifier);  // again: the other way
    QCOMPARE(QString::fromStdString(window_->Sites().Row(1).text), QString("http"));
  }

  // Escape is Cancel: the dialog closes and nothing is written.
  void escapeClosesTheDialogsAsCancel() {
    Open(ZoneProfile::LockedDown);
    Find<QComboBox>(*window_, "txtURL")->setEditText("http://www.example.com/");
    window_->AddSite();
    ui::VerifyListingDialog* z = window_->OpenVerifyListingDialog();
    QVERIFY(z);
    Find<QRadioButton>(*z, "Option7")->setChecked(true);
    QTest::keyClick(z, Qt::Key_Escape);
    QTRY_VERIFY(!window_->OpenVerifyListingDialog());
    QCOMPARE(window_->Sites().Count(), 0);

    window_->AddSite();
    QTest::mouseClick(Find<QWidget>(*window_->OpenVerifyListingDialog(), "Command3"), Qt::LeftButton);  // Advanced
    ui::ProtocolListingDialog* y = window_->OpenProtocolListingDialog();
    QVERIFY(y);
    QTest::keyClick(y, Qt::Key_Escape);
    QTRY_VERIFY(!window_->OpenProtocolListingDialog());
    QCOMPARE(window_->Sites().Count(), 0);
    QVERIFY(!ZoneMap(rig_->Store()).KeyExists("example.com"));
  }
};

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
