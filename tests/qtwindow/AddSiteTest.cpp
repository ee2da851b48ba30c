// Adding a site from the main window: the verification dialog and the
// per-protocol editor, wired to the address box, the store and the site list.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>

#include "FullDiskStore.h"
#include "Process.h"
#include "UiTestSupport.h"
#include "ZoneMap.h"
#include "ZoneMapFill.h"
#include "regfile/RegFileExport.h"
#include "qtwindow/ProtocolListingDialog.h"
#include "qtwindow/VerifyListingDialog.h"

using namespace pw;
using namespace pw::test;

class AddSiteTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<StoreRig> rig_;
  ScriptedPrompter prompter_;
  std::unique_ptr<ui::MainWindow> window_;
  int gtestFailures_ = 0;

  void Open(RegistryStore* store = nullptr) {
    window_ = std::make_unique<ui::MainWindow>(store ? *store : rig_->Store(), prompter_);
    window_->Load(nullptr, {}, "");
    window_->show();
  }
  QComboBox* Url() { return Find<QComboBox>(*window_, "txtURL"); }
  void Add(const QString& address, const char* button = "cmdAdd") {
    Url()->setEditText(address);
    QTest::mouseClick(Find<QWidget>(*window_, button), Qt::LeftButton);
  }
  ui::VerifyListingDialog* Z() { return window_->OpenVerifyListingDialog(); }
  ui::ProtocolListingDialog* Y() { return window_->OpenProtocolListingDialog(); }
  template <typename T = QWidget>
  T* In(QWidget* dialog, const char* name) {
    T* control = Find<T>(*dialog, name);
    if (!control) qFatal("no control %s", name);
    return control;
  }
  void Click(QWidget* dialog, const char* name) {
    QTest::mouseClick(In(dialog, name), Qt::LeftButton);
  }
  bool Checked(QWidget* dialog, const char* name) {
    return In<QAbstractButton>(dialog, name)->isChecked();
  }
  int Picture(QWidget* dialog, const char* name) {
    return In(dialog, name)->property("picture").toInt();
  }
  // The site list's rows as "text,subdomain,domain,icon".
  QStringList Rows() {
    QStringList rows;
    for (const SiteRow& row : window_->Sites().Rows())
      rows << QString::fromStdString(row.text + "," + row.subdomain + "," + row.domain + "," +
                                     std::to_string(row.icon));
    return rows;
  }
  std::optional<std::uint32_t> Zone(const std::string& key, const std::string& name) {
    return ZoneMap(rig_->Store()).Zone(key, name);
  }

 private slots:
  void init() {
    rig_ = std::make_unique<StoreRig>();
    rig_->SetZone(ZoneProfile::LockedDown);
    prompter_.asked.clear();
    gtestFailures_ = GtestFailureCount();
  }
  void cleanup() {
    window_.reset();
    QCOMPARE(GtestFailureCount(), gtestFailures_);
  }

  void refusedAddressesOpenNoDialogAndLeaveTheTagEmpty() {
    Open();
    Add("http://192.0.2.1/", "cmdAddd");
    QCOMPARE(Url()->currentText(), QString("http://192.0.2.1/"));
    Url()->setEditText("www.example.com:8080");
    QTest::keyClick(Url(), Qt::Key_Return);
    QCOMPARE(Url()->currentText(), QString("www.example.com:8080"));
    QCOMPARE(prompter_.asked.size(), size_t(2));
    QVERIFY(!Z());
    QCOMPARE(window_->Tag(), std::string());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window_->findChildren<ui::VerifyListingDialog*>().isEmpty());
  }

  void theVerificationDialogShowsTheListingAndOkWritesIt() {
    Open();
    QVERIFY(HasTestDpi(*window_));
    Add("http://www.example.com/index.html");
    ui::VerifyListingDialog* dialog = Z();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QString("Verify Generalised Domain Listing"));
    QCOMPARE(Url()->currentText(), QString("http://www.example.com"));
    QCOMPARE(In<QLabel>(dialog, "lblSubDomain")->text(), QString("*"));
    QCOMPARE(In<QLabel>(dialog, "lblDomain")->text(), QString("example.com"));
    QCOMPARE(In(dialog, "Frame3")->geometry(), QRect(4, 68, 405, 41));
    QCOMPARE(In(dialog, "Image8")->geometry(), QRect(168, 12, 24, 23));
    QCOMPARE(In(dialog, "Command1")->geometry(), QRect(304, 192, 105, 33));
    for (auto [picture, option, shown] :
         {std::tuple{"Image7", "Option7", 2}, {"Image8", "Option8", 3}, {"Image9", "Option9", 4}}) {
      QCOMPARE(Picture(dialog, picture), shown);
      Click(dialog, picture);  // a picture chooses nothing here
      QVERIFY(!Checked(dialog, option));
    }
    Click(dialog, "Option7");
    Click(dialog, "Command1");
    QCOMPARE(Zone("example.com", "*"), std::optional<std::uint32_t>(2));
    QCOMPARE(Rows(), QStringList{"Default,,example.com,2"});
    QVERIFY(!Z() && !dialog->isVisible());
    Add("https://a.b.example.com");
    Click(Z(), "Option9");
    Click(Z(), "Command1");
    QCOMPARE(Zone("example.com\\*.b", "*"), std::optional<std::uint32_t>(4));
    QVERIFY(prompter_.asked.empty());
  }

  void cancelTheCloseBoxAndASecondAddKeepTheStoreAndTheList() {
    Open();
    for (bool closeBox : {false, true}) {
      Add("http://www.example.com/");
      ui::VerifyListingDialog* dialog = Z();
      Click(dialog, "Option7");
      AddListing(rig_->Store(), "meanwhile.example", "", "*", 4);
      Add("http://mail.example.org/x", "cmdAddd");  // only brings the open dialog back
      QCOMPARE(Z(), dialog);
      QCOMPARE(In<QLabel>(dialog, "lblDomain")->text(), QString("example.com"));
      QCOMPARE(Url()->currentText(), QString("http://mail.example.org/x"));
      if (closeBox)
        dialog->close();
      else
        Click(dialog, "Command2");
      QVERIFY(!Z());
      QVERIFY(!ZoneMap(rig_->Store()).KeyExists("example.com"));
      QCOMPARE(Rows(), QStringList{});
    }
  }

  void advancedHandsTheExactSubdomainToTheEditor() {
    Open();
    Add("http://www.example.com");
    Click(Z(), "Command3");
    QVERIFY(!Z());
    ui::ProtocolListingDialog* editor = Y();
    QVERIFY(editor && editor->isVisible() && !editor->isModal());
    QCOMPARE(editor->windowTitle(), QString("Verify subdomain and access type listing"));
    QCOMPARE(In<QLabel>(editor, "lblSubDomain")->text(), QString("www"));
    QCOMPARE(In<QLabel>(editor, "lblDomain")->text(), QString("example.com"));
    QCOMPARE(In(editor, "Check2")->geometry(), QRect(16, 132, 41, 17));
    for (auto [check, on, picture] : {std::tuple{"Check1", false, "Image2"},
                                      {"Check2", false, "Image1"},
                                      {"Check3", true, "Image7"}}) {
      QCOMPARE(Checked(editor, check), on);
      QCOMPARE(Picture(editor, picture), on ? 2 : 5);
    }
    Click(editor, "Image9");
    QVERIFY(Checked(editor, "Option9"));
    Click(editor, "Check3");  // cleared: grey, disabled, no choice
    QVERIFY(!Checked(editor, "Option9") && !In(editor, "Option9")->isEnabled());
    QCOMPARE(Picture(editor, "Image9"), 7);
    Click(editor, "Image8");
    QVERIFY(!Checked(editor, "Option8"));
    Click(editor, "Command1");  // nothing checked: stays open
    QCOMPARE(Y(), editor);

    Add("http://mail.example.org/");
    Click(Z(), "Command3");
    QCOMPARE(Y(), editor);  // brought back with its listing
    QCOMPARE(In<QLabel>(editor, "lblSubDomain")->text(), QString("www"));
    Click(editor, "Check3");
    QCOMPARE(Picture(editor, "Image9"), 4);
    QVERIFY(!Checked(editor, "Option9"));
    Click(editor, "Check1");
    Click(editor, "Image2");
    Click(editor, "Command1");
    QVERIFY(!Y());
    QCOMPARE(ZoneMap(rig_->Store()).ValueNames("example.com\\www"),
             (std::vector<std::string>{"https", "http"}));
    QVERIFY(Rows().contains("https,www,example.com,2"));
    QVERIFY(Rows().contains("http,www,example.com,3"));
    QVERIFY(prompter_.asked.empty());
  }

  void theEditorWritesTheFullSubdomainAndEveryCloseRebuilds() {
    Open();
    Add("ftp://a.b.example.com/");
    Click(Z(), "Command3");
    Click(Y(), "Command1");
    QCOMPARE(Zone("example.com\\a.b", "ftp"), std::optional<std::uint32_t>(3));
    for (bool closeBox : {false, true}) {
      Add("http://www.example.org");
      Click(Z(), "Command3");
      AddListing(rig_->Store(), closeBox ? "closed.example" : "cancelled.example", "", "*", 4);
      if (closeBox)
        Y()->close();
      else
        Click(Y(), "Command2");
      QVERIFY(!Y());
      QCOMPARE(Rows().size(), closeBox ? 3 : 2);
    }
    QVERIFY(!ZoneMap(rig_->Store()).KeyExists("example.org"));
  }

  void aFailedWriteIsReportedOnceAndTheDialogsStillCloseAndRebuild() {
    FullDiskStore failing(rig_->Store());
    Open(&failing);
    AddListing(rig_->Store(), "meanwhile.example", "", "*", 4);
    Add("http://www.example.com/");
    Click(Z(), "Command1");
    QVERIFY(!Z());
    QCOMPARE(prompter_.asked.size(), size_t(1));
    QCOMPARE(QString::fromStdString(prompter_.asked[0].title), QString(kStoreFailureTitle));
    QVERIFY(Rows().contains("Default,,meanwhile.example,4"));
    Add("http://www.example.com/");
    Click(Z(), "Command3");
    Click(Y(), "Command1");
    QVERIFY(!Y());
    QCOMPARE(prompter_.asked.size(), size_t(2));
    window_.reset();  // before the store it works on
  }

  void theCommandLineAndTheWindowWriteTheSameStore() {
    StoreRig cli;
    cli.SetZone(ZoneProfile::LockedDown);
    for (std::vector<std::string> args :
         {std::vector<std::string>{"https://a.b.example.com/x", "--zone", "trusted"},
          {"www.example.org"},
          {"http://www.example.net/", "--protocols", "https,http", "--zone", "restricted"}}) {
      args.insert(args.begin(), {"--store", cli.Path(), "add"});
      ProcessResult run = RunProcess(PW_CLI_BINARY, args, "", {{"PORTWARDEN_STORE", ""}});
      QVERIFY2(run.code == 0, run.err.c_str());
    }
    Open();
    Add("https://a.b.example.com/x");
    Click(Z(), "Option7");
    Click(Z(), "Command1");
    Add("www.example.org");
    Click(Z(), "Command1");
    Add("http://www.example.net/");
    Click(Z(), "Command3");
    for (const char* name : {"Check1", "Option3", "Option9", "Command1"}) Click(Y(), name);

    ExportResult fromCli = ExportRegFile(cli.Store(), DefaultExportKeys(), RegFileFormat::Regedit4);
    ExportResult fromWindow =
        ExportRegFile(rig_->Store(), DefaultExportKeys(), RegFileFormat::Regedit4);
    QVERIFY(fromCli.ok && fromWindow.ok);
    QVERIFY(fromWindow.bytes.find("example.net\\www]") != std::string::npos);
    QCOMPARE(QString::fromStdString(fromWindow.bytes), QString::fromStdString(fromCli.bytes));
  }
};

QTEST_MAIN(AddSiteTest)
#include "AddSiteTest.moc"
