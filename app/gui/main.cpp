// portwarden: the window program. `--store PATH` (or PORTWARDEN_STORE) picks
// the store; what remains of the command line after the program's and the
// toolkit's own options is compared with "Startup".
#include <QApplication>
#include <QLoggingCategory>
#include <QScreen>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string_view>
#include <thread>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "storechoice/StoreChoice.h"
#include "TerminalView.h"
#include "browser/DesktopBrowserPages.h"
#include "browser/Installation.h"
#include "windowlogic/Startup.h"
#include "qtwindow/MainWindow.h"
#include "qtwindow/QtPrompter.h"
#include "qtwindow/ReportPrinting.h"

namespace {

QtMessageHandler previousHandler = nullptr;
bool probingPlatform = false;

// Qt's notes that are no news to the user stay off the terminal: while the
// platform is chosen, a display that cannot be reached is expected (the
// program then says so in its own words); without XDG_RUNTIME_DIR, as under
// su or at an early log-in, Qt uses a folder of its own, and says so again at
// every look.
void QuietToolkitNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  QByteArray category(context.category ? context.category : "");
  if (probingPlatform && category.startsWith("qt.qpa.")) return;
  if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  previousHandler(type, context, message);
}

bool NoDisplay(const QString& platform) { return platform == "offscreen" || platform == "minimal"; }

#if !defined(_WIN32)
// The "Startup" mode runs at log-in, maybe before the display is up. With an
// unsecured zone its question needs a window, so it waits this long for the
// display, looking again this often. The toolkit settles on a display once per
// process, so each look is a fresh start of the program, which carries the end
// of the wait in kWaitUntilVariable (milliseconds of the monotonic clock).
constexpr std::chrono::milliseconds kDisplayWait{5000};
constexpr std::chrono::milliseconds kDisplayRetry{500};
constexpr const char* kWaitUntilVariable = "PORTWARDEN_DISPLAY_WAIT_UNTIL";

long long MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Starts the program anew, with its original arguments, after a pause, when
// the wait has time left for it. Returns when it has not, or the start failed.
void LookAgainForDisplay(const std::vector<std::string>& arguments, long long waitUntil) {
  if (MonotonicMs() + kDisplayRetry.count() > waitUntil) return;
  std::this_thread::sleep_for(kDisplayRetry);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  setenv(kWaitUntilVariable, std::to_string(waitUntil).c_str(), 1);
  unsetenv("QT_QPA_PLATFORM");  // the display list is chosen anew
  execv(pw::RunningExecutablePath().c_str(), argv.data());
}
#endif

// The displays the environment names, for messages; empty when none is.
std::string NamedDisplays() {
  std::string named;
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    named += (named.empty() ? "" : ", ") + std::string(variable) + "=" + value;
  }
  return named;
}

std::string NoDisplayReason() {
  std::string named = NamedDisplays();
  return named.empty() ? "no display is named (DISPLAY and WAYLAND_DISPLAY are not set)"
                       : "the display named by " + named + " cannot be reached";
}

constexpr const char* kUsage =
    "Usage: portwarden [--store PATH] [Startup]\n"
    "\n"
    "The window of Portwarden: the Internet zone's security state with the\n"
    "security switch, the site list with its zone buttons, the address box and\n"
    "the printed privilege report. On a machine without a display it prints the\n"
    "state and the site list instead.\n"
    "\n"
    "Options:\n"
#if !defined(_WIN32)
    "  --store PATH    the store to use (default: $PORTWARDEN_STORE, else\n"
    "                  $XDG_DATA_HOME/portwarden/registry.db)\n"
#endif
    "  Startup         end at once, without a window, when the Internet zone is\n"
    "                  secured or semi-secured; when it is unsecured, wait a few\n"
    "                  seconds for a display that is not up yet, and without one\n"
    "                  say so and exit 1\n"
    "  --help          this text\n"
    "  --version       the program's version\n"
    "\n"
    "Qt's own options (-platform NAME, -display DISPLAY, ...) are taken too.\n"
    "portwarden-cli(1) does the same work from the command line.\n";

// --help and --version answer before the toolkit starts, so that they need
// neither a display nor a store.
int AnswerInformationOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "portwarden " << PW_VERSION << "\n";
      return 0;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (int code = AnswerInformationOption(argc, argv); code >= 0) return code;
#if !defined(_WIN32)
  // The toolkit takes its own options out of argv; a fresh start needs them all.
  std::vector<std::string> originalArguments(argv, argv + argc);
  std::optional<long long> waitUntil;
  if (const char* value = std::getenv(kWaitUntilVariable)) {
    waitUntil = std::atoll(value);
    qunsetenv(kWaitUntilVariable);  // not for the programs this one starts
  }
#endif
  bool probing = false;
  previousHandler = qInstallMessageHandler(QuietToolkitNotes);
#if !defined(_WIN32)
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    // Try the displays there may be; without one, fall back to no window at all.
    qputenv("QT_QPA_PLATFORM", "xcb;wayland;offscreen");
    probing = true;
  }
#endif
  probingPlatform = probing;
  QApplication app(argc, argv);
  probingPlatform = false;
  bool terminal = NoDisplay(QGuiApplication::platformName());

  std::vector<std::string> args;
  for (const QString& arg : QCoreApplication::arguments().mid(1)) args.push_back(arg.toStdString());
  std::string optionError;
  std::optional<std::string> storePath = pw::TakeStoreOption(args, optionError);
  pw::ui::QtPrompter prompter;
  auto fail = [&](const std::string& message, int code) {
    if (terminal)
      std::cerr << "portwarden: " << message << "\n";
    else
      prompter.MsgBox("Portwarden", message, pw::MsgButtons::Ok, pw::MsgIcon::Critical);
    return code;
  };
  if (!optionError.empty()) return fail(optionError, 2);

  pw::OpenedStore opened = pw::OpenChosenStore(storePath);
  if (!opened.store) return fail("The store cannot be opened: " + opened.error, 1);
  if (!opened.note.empty()) std::cerr << "portwarden: " << opened.note << "\n";
  std::string commandLine = pw::CommandLineText(args);

  if (terminal) {
    pw::Registry registry(*opened.store);
    pw::ZoneSecurityState state = pw::DetectZoneSecurity(registry);
    if (pw::StartupModeEndsRun(state, commandLine)) return 0;
    if (commandLine == pw::kStartupCommandLine) {
      // The zone is unsecured and start-up exists to offer securing it: wait
      // for a display that is named (the platform list is ours to choose).
#if !defined(_WIN32)
      if (probing && !NamedDisplays().empty()) {
        opened.store.reset();
        LookAgainForDisplay(originalArguments, waitUntil.value_or(MonotonicMs() + kDisplayWait.count()));
      }
#endif
      std::cerr << "portwarden: the Internet zone is unsecured and could not be offered for securing: "
                << NoDisplayReason() << "\n";
      return 1;
    }
    std::cerr << "portwarden: no display found (" << NoDisplayReason()
              << "); the security state and the site list follow instead of the window.\n";
    pw::SiteList sites;
    sites.Rebuild(*opened.store);
    pw::PrintStateAndSites(std::cout, state, sites, *opened.store);
    return 0;
  }

  pw::ui::MainWindow window(*opened.store, prompter);
  prompter.SetFallbackParent(&window);
  pw::ui::InstallReportPrinting(window, prompter, pw::ui::DesktopPdfPathDialog(&window));
  auto firstStart = [&] {
    pw::Installation place = pw::InstallationOf(pw::RunningExecutablePath(), opened.folder);
    pw::TrustButtonResult result;
    window.HoldingInput([&](const pw::EventPump& pump) { result = pw::RunFirstStart(window.Reg(), place, pump); });
    for (const pw::StoreFailure& failure : result.failures) window.ReportStoreFailure(failure);
  };
  if (window.Load(pw::DesktopOpenPages, firstStart, commandLine) == pw::StartupOutcome::EndRun) return 0;
  if (QScreen* screen = window.screen()) {
    QRect available = screen->availableGeometry();
    window.move(available.center() - window.rect().center());
  }
  window.show();
  return app.exec();
}
