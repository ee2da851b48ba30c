// What the window tests share: a store on disk, a scripted prompter and a
// main window on them.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "policy/ZoneProfiles.h"
#include "registry/SqliteStore.h"
#include "qtwindow/MainWindow.h"

namespace pw::test {

// Failures that the GoogleTest-based helpers (ScriptedPrompter) recorded so
// far; a QtTest program compares it before and after a case.
int GtestFailureCount();

// A fresh SQLite store in a folder of its own, laid out as a new user profile.
class StoreRig {
 public:
  StoreRig();
  SqliteStore& Store() { return *store_; }
  Registry& Reg() { return registry_; }
  std::string Path() const { return dir_.File("registry.db"); }
  void SetZone(ZoneProfile profile) { WriteZoneProfile(registry_, profile); }
  ZoneSecurityState Zone() { return DetectZoneSecurity(registry_); }

 private:
  TempDir dir_;
  std::unique_ptr<SqliteStore> store_;
  Registry registry_;
};

// The window's fixed DPI in tests; checked once per program.
bool HasTestDpi(const QWidget& widget);

// The control `name` of the window, of type T; fails the test when missing.
template <typename T>
T* Find(QWidget& window, const char* name) {
  return window.findChild<T*>(QString::fromLatin1(name));
}

}  // namespace pw::test
