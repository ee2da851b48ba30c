// The main window's start-up, the window program's command line, help, the
// buttons later work fills, and store failures.
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <sys/stat.h>

#include "UiTestSupport.h"
#include "ZoneMapFill.h"
#include "FullDiskStore.h"

using namespace pw;
using namespace pw::test;

namespace {

// Notes whether the main window was visible when each question was asked.
class WatchingPrompter : public ScriptedPrompter {
 public:
  MsgAnswer MsgBox(const std::string& title, const std::string& text, MsgButtons buttons, MsgIcon icon) override {
    windowShown.push_back(window && window->isVisible());
    return ScriptedPrompter::MsgBox(title, text, buttons, icon);
  }
  QWidget* window = nullptr;
  std::vector<bool> windowShown;
};

class Pages {
 public:
  std::vector<std::string> operator()() const {
    return {"http://www.example.com/index.html", "file:///C:/Documents/", "https://bank.example.org/login"};
  }
};

struct Run {
  int exitCode;
  QString out, err;
};

// Runs the window program where there is no display.
Run RunProgram(const QStringList& args) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  // As at a log-in or under su, without a runtime folder named.
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PORTWARDEN_STORE", "XDG_RUNTIME_DIR"})
    env.remove(name);
  process.setProcessEnvironment(env);
  process.start(PW_GUI_BINARY, args);
  if (!process.waitForFinished(60000)) return {-1, {}, "did not finish"};
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

class MainWindowStartupTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<StoreRig> rig_;
  std::unique_ptr<WatchingPrompter> prompter_;
  std::unique_ptr<ui::MainWindow> window_;
  int gtestFailures_ = 0;

  ui::MainWindow& Make() {
    window_ = std::make_unique<ui::MainWindow>(rig_->Store(), *prompter_);
    prompter_->window = window_.get();
    return *window_;
  }
  QString Shown(QWidget* window = nullptr) {
    QWidget& w = window ? *window : *window_;
    QString shown;
    if (!Find<QWidget>(w, "pSecured")->isHidden()) shown += "S";
    if (!Find<QWidget>(w, "pSemisecure")->isHidden()) shown += "M";
    if (!Find<QWidget>(w, "pUnsecure")->isHidden()) shown += "U";
    return shown;
  }

 private slots:
  void init() {
    rig_ = std::make_unique<StoreRig>();
    prompter_ = std::make_unique<WatchingPrompter>();
    AddListing(rig_->Store(), "example.com", "", "*", 2);
    AddListing(rig_->Store(), "example.org", "mail", "http", 4);
    gtestFailures_ = GtestFailureCount();
  }
  void cleanup() {
    window_.reset();
    QCOMPARE(GtestFailureCount(), gtestFailures_);
  }

  void startUpRunsInOrder() {
    rig_->SetZone(ZoneProfile::LockedDown);
    Pages pages;
    ui::MainWindow& window = Make();
    auto* url = Find<QComboBox>(window, "txtURL");
    QString atFirstStart;
    auto firstStart = [&] {
      // After the addresses, before the state is shown and the list filled.
      atFirstStart = QString("%1 entries, caption '%2', %3 rows")
                         .arg(url->count())
                         .arg(Find<QToolButton>(window, "cmdSecure")->text())
                         .arg(window.Sites().Count());
    };
    QCOMPARE(window.Load(pages, firstStart, ""), StartupOutcome::ShowWindow);
    QCOMPARE(atFirstStart, QString("2 entries, caption '', 0 rows"));
    QCOMPARE(url->itemText(0), QString("http://www.example.com/index.html"));
    QCOMPARE(url->itemText(1), QString("https://bank.example.org/login"));
    QCOMPARE(url->currentText(), QString("https://bank.example.org/login"));
    QCOMPARE(window.Sites().Count(), 2);
    QCOMPARE(window.Sites().SelectedPositionOrEnd(), 1);
    QCOMPARE(Shown(), QString("S"));
  }

  void startupModeEndsTheRunWhenProtected_data() {
    QTest::addColumn<int>("profile");
    QTest::newRow("secured") << int(ZoneProfile::LockedDown);
    QTest::newRow("semi-secured") << int(ZoneProfile::Prompting);
  }
  void startupModeEndsTheRunWhenProtected() {
    QFETCH(int, profile);
    rig_->SetZone(static_cast<ZoneProfile>(profile));
    QCOMPARE(Make().Load(nullptr, {}, "Startup"), StartupOutcome::EndRun);
    QCOMPARE(window_->Sites().Count(), 0);  // the list was never read
    QVERIFY(prompter_->asked.empty());
    QVERIFY(!window_->isVisible());
    QCOMPARE(Make().Load(nullptr, {}, "startup"), StartupOutcome::ShowWindow);
    QCOMPARE(window_->Sites().Count(), 2);
  }

  void startupModeOffersToSecureAnUnsecuredZoneBeforeTheWindowShows() {
    rig_->SetZone(ZoneProfile::Default);
    prompter_->Answer(MsgAnswer::Yes);
    QCOMPARE(Make().Load(nullptr, {}, "Startup"), StartupOutcome::ShowWindow);
    QCOMPARE(prompter_->asked.size(), size_t(1));
    QCOMPARE(QString::fromStdString(prompter_->asked[0].title), QString("Raise the Portwarden?"));
    QCOMPARE(prompter_->windowShown, std::vector<bool>{false});
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
    QCOMPARE(Shown(), QString("S"));
    QCOMPARE(Find<QToolButton>(*window_, "cmdSecure")->text(), QString("De-Secure"));
    // The switch sets the panel tool tip, as it always does.
    QVERIFY(Find<QWidget>(*window_, "pSecured")->toolTip().contains("WARNING! Many browsers"));
    QCOMPARE(window_->Sites().Count(), 2);
  }

  void decliningLeavesTheZoneUnsecured() {
    rig_->SetZone(ZoneProfile::Default);
    prompter_->Answer(MsgAnswer::No);
    QCOMPARE(Make().Load(nullptr, {}, ""), StartupOutcome::ShowWindow);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Unsecured);
    QCOMPARE(Shown(), QString("U"));
    QVERIFY(Find<QWidget>(*window_, "pUnsecure")->toolTip().isEmpty());
  }

  void helpOpensWhatItFindsAndChangesNothing() {
    rig_->SetZone(ZoneProfile::LockedDown);
    Make().Load(nullptr, {}, "");
    window_->show();
    QStringList opened;
    window_->SetHelpService({[] { return std::string("/opt/portwarden/help/index.html"); },
                             [&](const std::string& path, const std::function<void()>&) {
                               opened << QString::fromStdString(path);
                               return true;
                             }});
    QTest::mouseClick(Find<QPushButton>(*window_, "cmdHelp"), Qt::LeftButton);
    QVERIFY(opened.isEmpty());  // sent on, not handled inside the click
    QTRY_COMPARE(opened, QStringList{"/opt/portwarden/help/index.html"});
    QTest::keyClick(Find<QWidget>(*window_, "LVw"), Qt::Key_F1);
    QCOMPARE(opened.size(), 2);
    QCOMPARE(rig_->Zone(), ZoneSecurityState::Secured);
    QVERIFY(prompter_->asked.empty());

    window_->SetHelpService({[] { return std::string(); }, [](const std::string&, const std::function<void()>&) { return true; }});
    window_->OpenHelp();
    QCOMPARE(prompter_->asked.size(), size_t(1));
    QVERIFY(prompter_->asked[0].text.find("Portwarden-HELP.chm") != std::string::npos);

#if !defined(Q_OS_WIN)
    // The desktop's opener runs and finds no program that shows the page: the
    // user is told so, and where the help is.
    TempDir bin;
    WriteFileBytes(bin.File("xdg-open"), "#!/bin/sh\nexit 3\n");
    ::chmod(bin.File("xdg-open").c_str(), 0755);
    QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.File("")) + ":" + path);
    window_->SetHelpService({[] { return std::string("/opt/portwarden/help/index.html"); }, ui::DesktopHelpService().open});
    window_->OpenHelp();
    QTRY_COMPARE(prompter_->asked.size(), size_t(2));
    qputenv("PATH", path);
    QVERIFY2(prompter_->asked[1].text.find("The help pages are in the folder /opt/portwarden/help;") != std::string::npos,
             prompter_->asked[1].text.c_str());
#endif
  }

  void addAndPrintAreWiredToWhatLaterWorkSets() {
    rig_->SetZone(ZoneProfile::LockedDown);
    Make().Load(nullptr, {}, "");
    window_->show();
    for (const char* name : {"cmdAdd", "cmdAddd", "cmdPrint"}) QTest::mouseClick(Find<QWidget>(*window_, name), Qt::LeftButton);
    QVERIFY(prompter_->asked.empty());
    int adds = 0, prints = 0;
    window_->SetAddFlow([&] { ++adds; });
    window_->SetPrintReport([&] { ++prints; });
    QTest::mouseClick(Find<QWidget>(*window_, "cmdAdd"), Qt::LeftButton);
    QTest::mouseClick(Find<QWidget>(*window_, "cmdAddd"), Qt::LeftButton);
    auto* url = Find<QComboBox>(*window_, "txtURL");
    url->setFocus();
    QTest::keyClicks(url, "www.example.net");
    QTest::keyClick(url, Qt::Key_Return);
    QCOMPARE(adds, 3);
    QCOMPARE(url->count(), 0);  // Enter adds no entry to the box
    QCOMPARE(url->currentText(), QString("www.example.net"));
    QTest::mouseClick(Find<QWidget>(*window_, "cmdPrint"), Qt::LeftButton);
    QCOMPARE(prints, 1);
  }

  void aFailingStoreIsReportedOncePerAction() {
    rig_->SetZone(ZoneProfile::LockedDown);
    FullDiskStore failing(rig_->Store());
    ui::MainWindow window(failing, *prompter_);
    window.Load(nullptr, {}, "");
    window.show();
    auto* secure = Find<QToolButton>(window, "cmdSecure");
    for (int action = 1; action <= 2; ++action) {
      QTest::mousePress(secure, Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier);
      QTest::mouseRelease(secure, Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier);
      QCOMPARE(prompter_->asked.size(), size_t(action));
    }
    QCOMPARE(QString::fromStdString(prompter_->asked[0].title), QString(kStoreFailureTitle));
    QVERIFY(prompter_->asked[0].text.find(rig_->Path()) != std::string::npos);
    QVERIFY(prompter_->asked[0].text.find("database or disk is full") != std::string::npos);
    QCOMPARE(Shown(&window), QString("S"));  // the state read back, unchanged
  }

  void theProgramPrintsWithoutADisplay() {
    rig_->SetZone(ZoneProfile::LockedDown);
    QString store = QString::fromStdString(rig_->Path());
    Run run = RunProgram({"--store", store, "-style", "fusion", "startup"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.contains("no display found"), qPrintable(run.err));
    QVERIFY(run.out.contains("Internet zone: secured"));
    QVERIFY(run.out.contains("example.com"));
    QVERIFY(run.out.contains("Restricted"));
    // Qt's own options and ours are taken out: what remains is "Startup".
    run = RunProgram({"-style", "fusion", "--store", store, "Startup"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QString());
    // Unsecured, the question start-up exists to ask cannot be skipped quietly.
    rig_->SetZone(ZoneProfile::Default);
    run = RunProgram({"--store", store, "Startup"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("unsecured and could not be offered for securing"), qPrintable(run.err));
    QVERIFY2(run.err.count('\n') == 1, qPrintable(run.err));  // that line alone, no notes of the toolkit
  }

  // At log-in the display may come up after the program starts.
  void startupWaitsForTheDisplayToAskItsQuestion() {
    int number = 90 + static_cast<int>(QCoreApplication::applicationPid() % 100);
    while (QFile::exists(QString("/tmp/.X%1-lock").arg(number))) ++number;
    QString display = QString(":%1").arg(number);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PORTWARDEN_STORE"}) env.remove(name);
    env.insert("DISPLAY", display);
    program.setProcessEnvironment(env);
    program.start(PW_GUI_BINARY, {"--store", QString::fromStdString(rig_->Path()), "Startup"});
    QTest::qWait(1200);
    QProcess server;
    server.start("Xvfb", {display, "-nolisten", "tcp"});
    QVERIFY2(server.waitForStarted(), "Xvfb (package xvfb) cannot be started");
    bool asked = false;
    for (int i = 0; i < 100 && !asked && program.state() == QProcess::Running; ++i) {
      QTest::qWait(100);
      QProcess windows;
      windows.start("xwininfo", {"-display", display, "-root", "-tree"});
      windows.waitForFinished();
      asked = windows.readAllStandardOutput().contains(kRaiseQuestionTitle);
    }
    QString err = QString::fromUtf8(program.readAllStandardError());
    program.kill();
    program.waitForFinished();
    server.terminate();
    server.waitForFinished();
    QVERIFY2(asked, qPrintable(err));
  }

  void aStoreThatCannotBeOpenedIsNamedAndLeftAlone() {
    QString path = QString::fromStdString(rig_->Path()) + ".txt";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a store\n");
    file.close();
    Run run = RunProgram({"--store", path});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(path), qPrintable(run.err));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("not a store\n"));
  }
};

QTEST_MAIN(MainWindowStartupTest)
#include "MainWindowStartupTest.moc"
