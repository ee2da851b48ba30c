// The status area and the security switch of the main window.
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "UiTestSupport.h"
#include "ZoneMap.h"
#include "ZoneMapFill.h"
#include "qtwindow/Controls.h"

using namespace pw;
using namespace pw::test;

class MainWindowStatusTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<StoreRig> rig_;
  std::unique_ptr<ScriptedPrompter> prompter_;
  std::unique_ptr<ui::MainWindow> window_;
  int gtestFailures_ = 0;

  ui::MainWindow& Open(ZoneProfile profile) {
    rig_->SetZone(profile);
    window_ = std::make_unique<ui::MainWindow>(rig_->Store(), *prompter_);
    window_->Load(nullptr, {}, "");
    window_->show();
    return *window_;
  }
  QToolButton* Secure() { return Find<QToolButton>(*window_, "cmdSecure"); }
  // Which of the three panels are shown, as "S", "M", "U" letters.
  QString Shown() {
    QString shown;
    if (!Find<QWidget>(*window_, "pSecured")->isHidden()) shown += "S";
    if (!Find<QWidget>(*window_, "pSemisecure")->isHidden()) shown += "M";
    if (!Find<QWidget>(*window_, "pUnsecure")->isHidden()) shown += "U";
    return shown;
  }
  void Release(Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    QTest::mousePress(Secure(), button, modifiers);
    QTest::mouseRelease(Secure(), button, modifiers);
  }

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

  void fixedDpi() {
    Open(ZoneProfile::LockedDown);
    QVERIFY2(HasTestDpi(*window_), "the tests expect 96 DPI (QT_FONT_DPI=96)");
  }

  void eachStateHasItsPresentation_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("panels");
    QTest::newRow("secured") << 0 << "De-Secure" << "S";
    QTest::newRow("semi-secured") << 1 << "Secure" << "M";
    QTest::newRow("unsecured") << 2 << "Secure" << "U";
    QTest::newRow("state 5") << 5 << "Secure" << "U";
  }
  void eachStateHasItsPresentation() {
    QFETCH(int, state);
    QFETCH(QString, caption);
    QFETCH(QString, panels);
    Open(ZoneProfile::LockedDown);
    window_->ShowZoneSecurityState(static_cast<ZoneSecurityState>(state), false);
    QCOMPARE(Secure()->text(), caption);
    QCOMPARE(Shown(), panels);
    QCOMPARE(Secure()->toolTip().startsWith(state == 0 ? "Click this button to allow" : "Click this button to disable"),
             true);
    for (const char* panel : {"pSecured", "pSemisecure", "pUnsecure"})
      QVERIFY2(Find<QWidget>(*window_, panel)->toolTip().isEmpty(), panel);
  }

  void startUpSetsNoPanelToolTipButTheChildrenInvite() {
    Open(ZoneProfile::LockedDown);
    QCOMPARE(Shown(), QString("S"));
    QVERIFY(Find<QWidget>(*window_, "pSecured")->toolTip().isEmpty());
    QCOMPARE(Find<QWidget>(*window_, "Label7")->toolTip(),
             QString("All scripts and plugins will be ignored by Internet Explorer unless the site of origin is on "
                     "your trusted sites list. Click for more information."));
    QVERIFY(Find<QWidget>(*window_, "ImageSecure")->toolTip().endsWith("Click  fore more information."));
    QVERIFY(Find<QWidget>(*window_, "Label9")->toolTip().endsWith("Click  for more information."));
    // All three panels share one place.
    QCOMPARE(Find<QWidget>(*window_, "pSemisecure")->geometry(), Find<QWidget>(*window_, "pSecured")->geometry());
    QCOMPARE(Find<QWidget>(*window_, "pUnsecure")->pos(), QPoint(5, 2));  // 80, 30 twips
  }

  void releaseInsecureStatesSecureWithoutAsking() {
    for (ZoneProfile from : {ZoneProfile::Default, ZoneProfile::Prompting}) {
      prompter_->Answer(MsgAnswer::No);  // the start-up question of the unsecured state
      Open(from);
      prompter_->asked.clear();
      Release(Qt::LeftButton, Qt::NoModifier);
      QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
      QVERIFY(prompter_->asked.empty());
      QCOMPARE(Secure()->text(), QString("De-Secure"));
      QCOMPARE(Shown(), QString("S"));
      QVERIFY(Find<QWidget>(*window_, "pSecured")->toolTip().startsWith("All scripts and plugins"));
      QVERIFY(Find<QWidget>(*window_, "pSecured")->toolTip().contains("WARNING! Many browsers"));
    }
  }

  void releaseWhenSecuredAsksAndNoKeepsEverything() {
    Open(ZoneProfile::LockedDown);
    prompter_->Answer(MsgAnswer::No);
    Release(Qt::LeftButton, Qt::NoModifier);
    QCOMPARE(prompter_->asked.size(), size_t(1));
    QCOMPARE(QString::fromStdString(prompter_->asked[0].title), QString("Confirm Disable Security"));
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
    QCOMPARE(Shown(), QString("S"));
    prompter_->Answer(MsgAnswer::Yes);
    Release(Qt::LeftButton, Qt::NoModifier);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Unsecured);
    QCOMPARE(Shown(), QString("U"));
    QCOMPARE(Secure()->text(), QString("Secure"));
  }

  void ctrlAltReleaseWritesThePromptingProfile() {
    // Modifier state 6: Ctrl and Alt without Shift.
    Open(ZoneProfile::LockedDown);
    Release(Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::SemiSecured);
    QVERIFY(prompter_->asked.empty());
    QCOMPARE(Shown(), QString("M"));
    QVERIFY(Find<QWidget>(*window_, "pSemisecure")->toolTip().startsWith("You will be notified"));
  }

  void ctrlAltShiftReleaseTakesTheOrdinaryPath() {
    // Modifier state 7: from secured that is the confirmation, not the prompting profile.
    Open(ZoneProfile::LockedDown);
    prompter_->Answer(MsgAnswer::No);
    Release(Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    QCOMPARE(prompter_->asked.size(), size_t(1));
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
    prompter_->Answer(MsgAnswer::No);
    prompter_->Answer(MsgAnswer::No);
    Release(Qt::LeftButton, Qt::ControlModifier);
    Release(Qt::LeftButton, Qt::AltModifier);
    QCOMPARE(prompter_->asked.size(), size_t(3));
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
  }

  void rightButtonReleaseSwitchesToo() {
    prompter_->Answer(MsgAnswer::No);
    Open(ZoneProfile::Default);
    Release(Qt::RightButton, Qt::NoModifier);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
    Release(Qt::MiddleButton, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::SemiSecured);
  }

  void theSwitchDoesNotRebuildTheListButImage3Does() {
    AddListing(rig_->Store(), "example.com", "", "*", 2);
    Open(ZoneProfile::LockedDown);
    QCOMPARE(window_->Sites().Count(), 1);
    AddListing(rig_->Store(), "example.org", "", "*", 4);
    Release(Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(window_->Sites().Count(), 1);
    QTest::mouseClick(Find<QWidget>(*window_, "Image3"), Qt::LeftButton);
    QCOMPARE(window_->Sites().Count(), 2);
    QCOMPARE(Shown(), QString("M"));
    QVERIFY(prompter_->asked.empty());
  }

  void secureLabelExplainsOnly() {
    Open(ZoneProfile::LockedDown);
    QTest::mouseClick(Find<QWidget>(*window_, "Label7"), Qt::LeftButton);
    QCOMPARE(prompter_->asked.size(), size_t(1));
    QCOMPARE(QString::fromStdString(prompter_->asked[0].title), QString("The Portwarden is Raised."));
    QCOMPARE(prompter_->asked[0].buttons, MsgButtons::Ok);
    QCOMPARE(prompter_->asked[0].icon, MsgIcon::None);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
  }

  void warningAnsweredNoChangesNothing() {
    prompter_->Answer(MsgAnswer::No);
    Open(ZoneProfile::Default);
    prompter_->Answer(MsgAnswer::No);
    QTest::mouseClick(Find<QWidget>(*window_, "lblWarning"), Qt::LeftButton);
    QCOMPARE(prompter_->asked.size(), size_t(2));
    QCOMPARE(QString::fromStdString(prompter_->asked[1].text),
             QString("Your security could be compromised at any time by hostile scripts or plugins. Do you wish "
                     "to remedy this situation?"));
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Unsecured);
    QCOMPARE(Shown(), QString("U"));
    QVERIFY(Find<QWidget>(*window_, "pUnsecure")->toolTip().isEmpty());
  }

  void semiSecuredPictureAnsweredYesSecures() {
    Open(ZoneProfile::Prompting);
    prompter_->Answer(MsgAnswer::Yes);
    QTest::mouseClick(Find<QWidget>(*window_, "Image6"), Qt::LeftButton);
    QCOMPARE(prompter_->asked.size(), size_t(1));
    QVERIFY(prompter_->asked[0].text.find("CAUTION! Should you be typing") != std::string::npos);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
    QCOMPARE(Shown(), QString("S"));
  }

  // The switch acts on the state shown: changed meanwhile, it only shows it.
  void yesOnAStalePanelShowsTheStoreAndDoesNothingElse() {
    prompter_->Answer(MsgAnswer::No);
    Open(ZoneProfile::Default);
    rig_->SetZone(ZoneProfile::LockedDown);  // changed outside the program
    prompter_->Answer(MsgAnswer::Yes);       // "Raise the Portwarden?"
    QTest::mouseClick(Find<QWidget>(*window_, "Label9"), Qt::LeftButton);
    QCOMPARE(prompter_->asked.size(), size_t(2));
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
    QCOMPARE(Shown(), QString("S"));
  }

  // Another program on the same store (the command line's secure, a listing):
  // the window shows both within a second, without a click.
  void anotherProgramsChangeShowsWithinASecond() {
    prompter_->Answer(MsgAnswer::No);
    Open(ZoneProfile::Default);
    QCOMPARE(Find<QTreeView>(*window_, "LVw")->model()->rowCount(), 0);
    SqliteStore::OpenResult other = SqliteStore::Open(rig_->Path());
    QVERIFY(other.store);
    Registry registry(*other.store);
    WriteZoneProfile(registry, ZoneProfile::LockedDown);
    ZoneMap(*other.store).SetZone("example.com", "*", 2);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(), QString("S"), 1000);
    QCOMPARE(Secure()->text(), QString("De-Secure"));
    QCOMPARE(Find<QTreeView>(*window_, "LVw")->model()->rowCount(), 1);
    QCOMPARE(prompter_->asked.size(), size_t(1));
  }
};

QTEST_MAIN(MainWindowStatusTest)
#include "MainWindowStatusTest.moc"
