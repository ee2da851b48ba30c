// portwarden.exe: the window program on Windows. "Startup" on the command
// line ends the run at once when the Internet zone is protected.
#include <string>
#include <vector>

#include "browser/DesktopBrowserPages.h"
#include "browser/Installation.h"
#include "storechoice/StoreChoice.h"
#include "windowlogic/Startup.h"
#include "win32window/MainWindow.h"

// After the store's headers, whose names the platform's headers define as macros.
#include <shellapi.h>

namespace {

std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(pw::win32::Utf8(words[i]));
  LocalFree(words);
  return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
  pw::win32::MessageBoxPrompter prompter;
  auto fail = [&](const std::string& message, int code) {
    prompter.MsgBox("Portwarden", message, pw::MsgButtons::Ok, pw::MsgIcon::Critical);
    return code;
  };

  std::vector<std::string> args = Arguments();
  for (const std::string& arg : args)
    if (arg == "--version") return fail(std::string("portwarden ") + PW_VERSION, 0);
  std::string optionError;
  std::optional<std::string> storePath = pw::TakeStoreOption(args, optionError);
  if (!optionError.empty()) return fail(optionError, 2);
  pw::OpenedStore opened = pw::OpenChosenStore(storePath);
  if (!opened.store) return fail("The store cannot be opened: " + opened.error, 1);

  pw::win32::MainWindow window(*opened.store, prompter);
  if (!window.Create()) return fail("The window could not be made.", 1);
  auto firstStart = [&] {
    pw::Installation place = pw::InstallationOf(pw::RunningExecutablePath(), opened.folder);
    pw::TrustButtonResult result;
    window.HoldingInput([&](const pw::EventPump& pump) { result = pw::RunFirstStart(window.Reg(), place, pump); });
    for (const pw::StoreFailure& failure : result.failures) window.ReportStoreFailure(failure);
  };
  if (window.Load(pw::DesktopOpenPages, firstStart, pw::CommandLineText(args)) == pw::StartupOutcome::EndRun) return 0;
  window.Show(showCommand);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.TranslateDialogKeys(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
