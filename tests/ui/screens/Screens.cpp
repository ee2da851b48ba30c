// Takes screenshots of the main window in each security state, at design size
// and enlarged, with a filled site list. Run under xvfb-run:
//   portwarden-screens OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <iostream>

#include "ZoneMapFill.h"
#include "common/Prompter.h"
#include "ui/FormXLayout.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/SqliteStore.h"
#include "ui/FormX.h"

namespace {

class NoPrompter : public pw::Prompter {
 public:
  pw::MsgAnswer MsgBox(const std::string&, const std::string&, pw::MsgButtons buttons, pw::MsgIcon) override {
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
    pw::ui::FormX window(*opened.store, prompter);
    window.Load(nullptr, {}, "");
    window.OfferAddress(state.address);
    window.show();
    for (auto [size, w, h] : {std::tuple{"design", 11895, 8565}, std::tuple{"large", 15600, 11000}}) {
      window.resize(window.ClientSizeFor(w, h));
      for (int i = 0; i < 5; ++i) app.processEvents();
      QString file = out.filePath(QString("formx-%1-%2.png").arg(state.name, size));
      window.grab().save(file);
      std::cout << file.toStdString() << "\n";
    }
  }
  return 0;
}
