#include "browser/TrustButton.h"

#include <cstdio>

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

// Appends records to the uninstall log, each line flushed before the next
// value is written, and remembers the first failure.
class UninstallLog {
 public:
  explicit UninstallLog(const std::string& path) : file_(std::fopen(path.c_str(), "ab")) {
    if (!file_) error_ = "cannot open " + path + " for appending";
    path_ = path;
  }
  ~UninstallLog() { Close(); }
  UninstallLog(const UninstallLog&) = delete;
  UninstallLog& operator=(const UninstallLog&) = delete;

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

  void Record(const char* kind, const std::string& first, const std::string& second) {
    if (!Ok()) return;
    std::string line = std::string("ACTION: ") + kind + ": \"" + first + "\", \"" + second + "\"\r\n";
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)
      error_ = "cannot write to " + path_;
  }

  void Close() {
    if (!file_) return;
    if (std::fclose(file_) != 0 && Ok()) error_ = "cannot write to " + path_;
    file_ = nullptr;
  }

 private:
  std::FILE* file_;
  std::string path_;
  std::string error_;
};

// Draws GUIDs until one names no key, makes that key and opens it again with
// full access. A name that exists, an empty draw and a key that will not open
// again all lead to another draw. 0 when no key could be made.
HKEY MakeButtonKey(Registry& registry, const std::function<void()>& pump, std::string& guid) {
  int draws = 0;
  for (;;) {
    std::string path;  // empty names the hive itself, which exists: at least one draw
    guid.clear();
    while (guid.empty() || registry.RegKeyExists(HKEY_LOCAL_MACHINE, path)) {
      if (draws++ == kGuidDraws) return 0;
      if (pump) pump();
      guid = registry.NewGuidString();
      path = std::string(kExtensionsPath) + "\\" + guid;
    }
    HKEY made = registry.CreateRegKey(HKEY_LOCAL_MACHINE, path);
    if (!made) return 0;
    registry.Store().RegCloseKey(made);
    if (HKEY key = registry.OpenRegKey(HKEY_LOCAL_MACHINE, path)) return key;
  }
}

}  // namespace

TrustButtonResult RegisterTrustButton(Registry& registry, const Installation& place,
                                      const std::function<void()>& pump) {
  TrustButtonResult result;
  // The log comes first: a key the uninstaller is never told of would stay for good.
  UninstallLog log(place.logPath);
  if (!log.Ok()) {
    result.logError = log.Error();
    return result;
  }
  std::string guid;
  HKEY key = MakeButtonKey(registry, pump, guid);
  if (!key) return result;
  result.guid = guid;

  std::string buttonKey = std::string(kHiveText) + kExtensionsPath + "\\" + guid;
  log.Record("RegKey", std::string(kHiveText) + kExtensionsPath, guid);
  log.Record("RegValue", buttonKey, "");
  for (const ButtonValue& value : ButtonValues(place)) {
    if (!log.Ok()) break;  // values the log cannot name are not written
    LONG status = registry.WriteRegEntry(key, value.name, REG_SZ, value.data);
    if (status != ERROR_SUCCESS) {
      result.failures.push_back({registry.Store().Describe(), "RegSetValueExA",
                                 "the value \"" + value.name + "\" of " + buttonKey +
                                     " was not stored (status " + std::to_string(status) + ")",
                                 status});
    }
    // The key exists either way, so the uninstaller is told of the value too.
    log.Record("RegKey", buttonKey, value.name);
    log.Record("RegValue", buttonKey + "\\" + value.name, value.logText);
  }
  log.Close();
  registry.Store().RegCloseKey(key);
  result.logError = log.Error();
  result.registered = result.failures.empty() && result.logError.empty();
  return result;
}

bool TrustButtonRegistered(Registry& registry) {
  return !registry.GetRegValue(HKEY_LOCAL_MACHINE, kProgramKeyPath, kButtonMarkName).empty();
}

TrustButtonResult RegisterTrustButtonAndMark(Registry& registry, const Installation& place,
                                             const std::function<void()>& pump) {
  TrustButtonResult result;
  RegistryStore& store = registry.Store();
  LONG committed = RunInTransaction(store, [&] {
    result = RegisterTrustButton(registry, place, pump);
    if (!result.registered) return;
    HKEY key = registry.CreateRegKey(HKEY_LOCAL_MACHINE, kProgramKeyPath);
    LONG status = key ? registry.WriteRegEntry(key, kButtonMarkName, REG_SZ, result.guid) : ERROR_ACCESS_DENIED;
    if (key) store.RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
      result.registered = false;
      result.failures.push_back({store.Describe(), "RegSetValueExA",
                                 std::string("the mark HKEY_LOCAL_MACHINE\\") + kProgramKeyPath + "\\" +
                                     kButtonMarkName + " was not stored (status " + std::to_string(status) + ")",
                                 status});
    }
  });
  // A store that could not commit has reported why to its error sink.
  if (committed != ERROR_SUCCESS) result.registered = false;
  return result;
}

TrustButtonResult RunFirstStart(Registry& registry, const Installation& place, const std::function<void()>& pump) {
  if (TrustButtonRegistered(registry)) return {};
  return RegisterTrustButtonAndMark(registry, place, pump);
}

}  // namespace pw
