#include "browser/TrustButton.h"

#include <memory>

#include "browser/UninstallLog.h"
#include "registry/KeyHandle.h"

namespace pw {
namespace {

// The log names the hive the key was made in, so that an uninstall removes it.
constexpr const char* kHiveText = "HKEY_LOCAL_MACHINE\\";

struct ButtonValue {
  std::string name;
  std::string data;     // what is stored
  std::string logText;  // what the log records
};

std::vector<ButtonValue> ButtonValues(const Installation& place) {
  auto inFolder = [&](const std::string& file) {
    bool atRoot = !place.folder.empty() && place.folder.back() == place.separator;
    return atRoot ? place.folder + file : place.folder + place.separator + file;
  };
  return {
      {"Exec", inFolder(place.executableName), place.executableName},
      {"Icon", inFolder("VadadAr.ico"), "VadadAr.ico"},
      {"HotIcon", inFolder("TrustHot.ico"), "TrustHot.ico"},
      {"ButtonText", "Trust", "Trust"},
      {"CLSID", "{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}", "{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}"},
      {"Default Visible", "Yes", "Yes"},
  };
}

// Draws GUIDs until one names no key, makes that key and opens it again with
// full access. A name that exists, an empty draw and a key that will not open
// again all lead to another draw. Empty when no key could be made.
KeyHandle MakeButtonKey(Registry& registry, const std::function<void()>& pump, std::string& guid) {
  int draws = 0;
  for (;;) {
    std::string path;  // empty names the hive itself, which exists: at least one draw
    guid.clear();
    while (guid.empty() || registry.RegKeyExists(HKEY_LOCAL_MACHINE, path)) {
      if (draws++ == kGuidDraws) return {};
      if (pump) pump();
      guid = registry.NewGuidString();
      path = std::string(kExtensionsPath) + "\\" + guid;
    }
    if (!KeyHandle(registry.Store(), registry.CreateRegKey(HKEY_LOCAL_MACHINE, path))) return {};
    if (KeyHandle key(registry.Store(), registry.OpenRegKey(HKEY_LOCAL_MACHINE, path)); key) return key;
  }
}

// One registration: the key, its values and their records. A registration that
// fails anywhere, or whose mark or commit fails after it, is undone whole (the
// key with its values, and the records taken back out of the log), so that a
// later start registers once instead of adding to what is left.
class ButtonRegistration {
 public:
  ButtonRegistration(Registry& registry, const Installation& place) : registry_(registry), place_(place) {}

  TrustButtonResult& Result() { return result_; }

  // Makes the key, then opens the log: a key that cannot be made leaves no log
  // behind, not even an empty one.
  void Run(const std::function<void()>& pump) {
    KeyHandle key = MakeButtonKey(registry_, pump, result_.guid);
    if (!key) {
      result_.guid.clear();
      return;
    }
    std::string buttonKey = std::string(kHiveText) + kExtensionsPath + "\\" + result_.guid;
    log_ = std::make_unique<UninstallLog>(place_.logPath);
    log_->Record("RegKey", std::string(kHiveText) + kExtensionsPath, result_.guid);
    log_->Record("RegValue", buttonKey, "");
    for (const ButtonValue& value : ButtonValues(place_)) {
      if (!log_->Ok()) break;  // values the log cannot name are not written
      LONG status = registry_.WriteRegEntry(key.get(), value.name, REG_SZ, value.data);
      if (status != ERROR_SUCCESS) {
        result_.failures.push_back({registry_.Store().Describe(), "RegSetValueExA",
                                    "the value \"" + value.name + "\" of " + buttonKey +
                                        " was not stored (status " + std::to_string(status) + ")",
                                    status});
        break;
      }
      log_->Record("RegKey", buttonKey, value.name);
      log_->Record("RegValue", buttonKey + "\\" + value.name, value.logText);
    }
    key.Close();
    result_.logError = log_->Error();
    result_.registered = result_.failures.empty() && result_.logError.empty();
  }

  // Removes what Run made; `rolledBack` when the store's rollback has already
  // taken the key. Reports what could not be undone.
  void Undo(bool rolledBack) {
    result_.registered = false;
    if (log_) {
      log_->TakeBack();
      result_.logError = log_->Error();
    }
    if (rolledBack) return;
    if (markWritten_) {
      KeyHandle program(registry_.Store(), registry_.OpenRegKey(HKEY_LOCAL_MACHINE, kProgramKeyPath));
      if (program) registry_.Store().RegDeleteValueA(program.get(), kButtonMarkName);
    }
    if (result_.guid.empty()) return;
    std::string path = std::string(kExtensionsPath) + "\\" + result_.guid;
    LONG status = registry_.Store().RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      result_.failures.push_back({registry_.Store().Describe(), "RegDeleteKeyA",
                                  "the button key HKEY_LOCAL_MACHINE\\" + path +
                                      " of a failed registration could not be removed (status " +
                                      std::to_string(status) + ")",
                                  status});
  }

  void WriteMark() {
    RegistryStore& store = registry_.Store();
    KeyHandle key(store, registry_.CreateRegKey(HKEY_LOCAL_MACHINE, kProgramKeyPath));
    LONG status = key ? registry_.WriteRegEntry(key.get(), kButtonMarkName, REG_SZ, result_.guid) : ERROR_ACCESS_DENIED;
    key.Close();
    markWritten_ = status == ERROR_SUCCESS;
    if (markWritten_) return;
    result_.registered = false;
    result_.failures.push_back({store.Describe(), "RegSetValueExA",
                                std::string("the mark HKEY_LOCAL_MACHINE\\") + kProgramKeyPath + "\\" +
                                    kButtonMarkName + " was not stored (status " + std::to_string(status) + ")",
                                status});
  }

 private:
  Registry& registry_;
  const Installation& place_;
  TrustButtonResult result_;
  std::unique_ptr<UninstallLog> log_;
  bool markWritten_ = false;
};

// Registers (unless `onlyFirst` finds the mark) and marks in one transaction,
// checking the mark inside it, so that two first starts at once register one
// button. Anything that fails undoes the registration.
TrustButtonResult RegisterInTransaction(Registry& registry, const Installation& place,
                                        const std::function<void()>& pump, bool onlyFirst) {
  RegistryStore& store = registry.Store();
  ButtonRegistration registration(registry, place);
  TrustButtonResult& result = registration.Result();
  LONG status = store.BeginTransaction();
  if (status != ERROR_SUCCESS) {
    result.failures.push_back({store.Describe(), "transaction",
                               "the store could not start a transaction (status " + std::to_string(status) +
                                   "); no button was registered",
                               status});
    return result;
  }
  bool skipped = false;
  try {
    skipped = onlyFirst && TrustButtonRegistered(registry);
    if (!skipped) {
      registration.Run(pump);
      if (result.registered) registration.WriteMark();
    }
  } catch (...) {
    store.RollbackTransaction();
    registration.Undo(store.SupportsRollback());
    throw;
  }
  if (skipped) {
    store.CommitTransaction();
    return {};
  }
  if (!result.registered) {
    store.RollbackTransaction();
    registration.Undo(store.SupportsRollback());
    return result;
  }
  // A store that cannot commit has rolled back and reported why to its sink.
  if (store.CommitTransaction() != ERROR_SUCCESS) registration.Undo(store.SupportsRollback());
  return result;
}

}  // namespace

TrustButtonResult RegisterTrustButton(Registry& registry, const Installation& place,
                                      const std::function<void()>& pump) {
  ButtonRegistration registration(registry, place);
  registration.Run(pump);
  if (!registration.Result().registered) registration.Undo(false);
  return registration.Result();
}

bool TrustButtonRegistered(Registry& registry) {
  return !registry.GetRegValue(HKEY_LOCAL_MACHINE, kProgramKeyPath, kButtonMarkName).empty();
}

TrustButtonResult RegisterTrustButtonAndMark(Registry& registry, const Installation& place,
                                             const std::function<void()>& pump) {
  return RegisterInTransaction(registry, place, pump, false);
}

TrustButtonResult RunFirstStart(Registry& registry, const Installation& place, const std::function<void()>& pump) {
  return RegisterInTransaction(registry, place, pump, true);
}

}  // namespace pw
