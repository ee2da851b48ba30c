// Takes screenshots of the main window in each security state, at design size
// and enlarged, with a filled site list, and of the add flow's two dialogs:
// the verification dialog before and after a choice, the per-protocol editor
// as it opens and with its rows in each state. Run under xvfb-run:
//   portwarden-screens OUTPUT_FOLDER
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <iostream>

#include "ZoneMapFill.h"
#include "common/Prompter.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/SqliteStore.h"
#include "qtwindow/MainWindow.h"
#include "windowlogic/MainWindowLayout.h"
#include "qtwindow/ProtocolListingDialog.h"
#include "qtwindow/VerifyListingDialog.h"

namespace {

class NoPrompter : public pw::Prompter {
 public:
  pw::MsgAnswer MsgBox(const std::string&, const std::string&, pw::MsgButtons buttons,
                       pw::MsgIcon) override {
    return buttons == pw::MsgButtons::Ok ? pw::MsgAnswer::Ok : pw::MsgAnswer::No;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::cerr << "usage: portwarden-screens OUTPUT_FOLDER\n";
    return 2;
  }
  QDir out(argv[1]);
  out.mkpath(".");
  QTemporaryDir scratch;
  QString storePath = scratch.filePath("screens.db");
  auto opened = pw::SqliteStore::Open(storePath.toStdString(), pw::LayOutNewStore);
  if (!opened.store) {
    std::cerr << opened.error << "\n";
    return 1;
  }
  pw::test::FillSampleSites(*opened.store);
  pw::Registry registry(*opened.store);
  NoPrompter prompter;

  // Each with an address in the box, to show the zone it gets.
  struct State {
    const char* name;
    pw::ZoneProfile profile;
    const char* address;
  } states[] = {{"secured", pw::ZoneProfile::LockedDown, "http://mail.example.com/inbox"},
                {"semisecured", pw::ZoneProfile::Prompting, "https://online.firstnational-bank.com/login"},
                {"unsecured", pw::ZoneProfile::Default, "www.unlisted-site.org"}};
  for (const State& state : states) {
    pw::WriteZoneProfile(registry, state.profile);
    pw::ui::MainWindow window(*opened.store, prompter);
    window.Load(nullptr, {}, "");
    window.OfferAddress(state.address);
    window.show();
    for (auto [size, w, h] :
         {std::tuple{"design", 11895, 8565}, std::tuple{"large", 15600, 11000}}) {
      window.resize(window.ClientSizeFor(w, h));
      for (int i = 0; i < 5; ++i) app.processEvents();
      QString file = out.filePath(QString("formx-%1-%2.png").arg(state.name, size));
      window.grab().save(file);
      std::cout << file.toStdString() << "\n";
    }
  }

  // Started from the browser's button: the open pages offered in the address box.
  {
    auto pages = [] {
      return std::vector<std::string>{"https://www.example.com/news/today.html", "file:///home/ann/notes.html",
                                      "https://bank.example.org/login"};
    };
    pw::ui::MainWindow window(*opened.store, prompter);
    window.Load(pages, {}, "");
    window.show();
    window.resize(window.ClientSizeFor(11895, 8565));
    for (int i = 0; i < 5; ++i) app.processEvents();
    QString file = out.filePath("formx-offered-pages.png");
    window.grab().save(file);
    std::cout << file.toStdString() << "\n";
  }
  // Keyboard focus, as Tab leaves it on the controls that show it their own way.
  {
    pw::ui::MainWindow window(*opened.store, prompter);
    window.Load(nullptr, {}, "");
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) std::cerr << "the window did not become active\n";
    for (const char* name : {"ImageSecure", "cmdSecure", "cmdHelp", "LVw", "Image3"}) {
      // Tab, as a user moves the focus, up to the control.
      for (int i = 0; i < 20 && QApplication::focusWidget() != window.findChild<QWidget*>(name); ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, Qt::Key_Tab);
      for (int i = 0; i < 5; ++i) app.processEvents();
      QString file = out.filePath(QString("formx-focus-%1.png").arg(name));
      window.grab().save(file);
      std::cout << file.toStdString() << "\n";
    }
  }
  // The add flow's dialogs, on the main window of the last state.
  pw::ui::MainWindow window(*opened.store, prompter);
  window.Load(nullptr, {}, "");
  window.show();
  auto settle = [&] {
    for (int i = 0; i < 5; ++i) app.processEvents();
  };
  auto save = [&](QWidget* widget, const char* name) {
    settle();
    QString file = out.filePath(QString("%1.png").arg(name));
    widget->grab().save(file);
    std::cout << file.toStdString() << "\n";
  };
  window.SetAddressBoxText("https://mail.a.example.com/inbox");
  window.AddSite();
  pw::ui::VerifyListingDialog* formZ = window.OpenVerifyListingDialog();
  save(formZ, "formz-opened");
  formZ->findChild<QRadioButton*>("Option9")->setChecked(true);
  formZ->activateWindow();
  if (!QTest::qWaitForWindowActive(formZ)) std::cerr << "the dialog did not become active\n";
  QTest::keyClick(formZ, Qt::Key_Tab);
  QTest::keyClick(formZ, Qt::Key_Backtab);  // the chosen option, with the focus shown
  save(formZ, "formz-restricted");
  formZ->findChild<QPushButton*>("Command3")->click();
  pw::ui::ProtocolListingDialog* formY = window.OpenProtocolListingDialog();
  save(formY, "formy-opened");
  // Each state a row can be in: checked with a choice, clear (grey), checked
  // without a choice.
  formY->findChild<QCheckBox*>("Check3")->setChecked(true);
  formY->findChild<QRadioButton*>("Option3")->setChecked(true);
  save(formY, "formy-rows");
  formY->findChild<QCheckBox*>("Check1")->setChecked(false);
  formY->activateWindow();
  if (!QTest::qWaitForWindowActive(formY)) std::cerr << "the dialog did not become active\n";
  for (int i = 0; i < 20 && QApplication::focusWidget() != formY->findChild<QWidget*>("Check1"); ++i)
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : formY, Qt::Key_Tab);
  save(formY, "formy-cleared");
  return 0;
}
