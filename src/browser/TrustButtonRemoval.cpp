#include "browser/TrustButtonRemoval.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "browser/TrustButton.h"
#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"
#include "registry/NameFold.h"

namespace pw {
namespace {

// The hives a log line may name the key in: where we make it, and the text
// the original program wrote for the same key.
constexpr const char* kHiveTexts[] = {"HKEY_LOCAL_MACHINE\\", "HKEY_CURRENT_USER\\"};
constexpr const char* kButtonValueNames[] = {"Exec", "Icon", "HotIcon", "ButtonText", "CLSID", "Default Visible"};

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// "{8-4-4-4-12}", as the button keys are named.
bool IsBraceGuid(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != '-' : !IsHex(text[i])) return false;
  }
  return true;
}

// The two quoted fields of a record line, "ACTION: KIND: "first", "second"".
bool RecordFields(const std::string& line, std::string& first, std::string& second) {
  std::size_t a = line.find('"');
  std::size_t b = a == std::string::npos ? a : line.find('"', a + 1);
  std::size_t c = b == std::string::npos ? b : line.find('"', b + 1);
  std::size_t d = c == std::string::npos ? c : line.find('"', c + 1);
  if (d == std::string::npos || line.rfind("ACTION: ", 0) != 0) return false;
  first = line.substr(a + 1, b - a - 1);
  second = line.substr(c + 1, d - c - 1);
  return true;
}

// The extensions key as a line names it, with its hive text.
bool IsExtensionsKey(std::string_view path) {
  for (const char* hive : kHiveTexts)
    if (SameName(path, std::string(hive) + kExtensionsPath)) return true;
  return false;
}

// The GUID whose button a record line belongs to; empty for other lines.
std::string ButtonOfLine(const std::string& line) {
  std::string first, second;
  if (!RecordFields(line, first, second)) return {};
  if (IsExtensionsKey(first)) return IsBraceGuid(second) ? second : std::string();
  for (const char* hive : kHiveTexts) {
    std::string prefix = std::string(hive) + kExtensionsPath + "\\";
    if (first.size() < prefix.size() + 38 || !SameName(std::string_view(first).substr(0, prefix.size()), prefix)) continue;
    std::string guid = first.substr(prefix.size(), 38);
    bool whole = first.size() == prefix.size() + 38 || first[prefix.size() + 38] == '\\';
    if (IsBraceGuid(guid) && whole) return guid;
  }
  return {};
}

// Why the key at `path` is not a Trust button's to delete; empty when it is.
std::string NotOurs(RegistryStore& store, HKEY key) {
  std::string why;
  ForEachSubkey(store, key, [&](const std::string& name) {
    why = "it has the subkey " + name;
    return false;
  });
  if (!why.empty()) return why;
  ForEachValue(store, key, [&](const EnumeratedValue& value) {
    bool ours = false;
    for (const char* name : kButtonValueNames) ours = ours || SameName(value.name, name);
    if (!ours) why = "it holds the value \"" + value.name + "\", which no Trust button has";
    return why.empty();
  });
  return why;
}

std::string FoldedGuid(const std::string& guid) { return FoldName(guid); }

bool WriteWhole(const std::string& path, const std::string& bytes, std::string& error) {
  std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      error = "cannot write " + temporary;
      std::remove(temporary.c_str());
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    error = "cannot replace " + path + ": " + ec.message();
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> RegisteredTrustButton(Registry& registry) {
  std::string guid = registry.GetRegValue(HKEY_LOCAL_MACHINE, kProgramKeyPath, kButtonMarkName);
  if (guid.empty() || !registry.RegKeyExists(HKEY_LOCAL_MACHINE, std::string(kExtensionsPath) + "\\" + guid))
    return std::nullopt;
  return guid;
}

TrustButtonRemoval RemoveTrustButtons(Registry& registry, const std::string& logPath) {
  TrustButtonRemoval result;
  std::ifstream in(logPath, std::ios::binary);
  if (!in) {
    result.error = "cannot read the uninstall log " + logPath;
    return result;
  }
  std::ostringstream content;
  content << in.rdbuf();
  std::string log = std::move(content).str();
  in.close();  // Windows replaces no file that is open

  // The buttons in the order the log records them.
  std::vector<std::string> recorded;
  std::set<std::string> seen;
  for (std::size_t start = 0; start < log.size();) {
    std::size_t end = log.find('\n', start);
    std::string line = log.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? log.size() : end + 1;
    std::string guid = ButtonOfLine(line);
    if (!guid.empty() && seen.insert(FoldedGuid(guid)).second) recorded.push_back(guid);
  }

  RegistryStore& store = registry.Store();
  std::set<std::string> dropped;  // folded GUIDs whose lines go
  std::string mark = registry.GetRegValue(HKEY_LOCAL_MACHINE, kProgramKeyPath, kButtonMarkName);
  LONG failure = ERROR_SUCCESS;
  LONG committed = RunInTransaction(store, [&] {
    for (const std::string& guid : recorded) {
      std::string path = std::string(kExtensionsPath) + "\\" + guid;
      KeyHandle key;
      if (key.OpenA(store, HKEY_LOCAL_MACHINE, path) != ERROR_SUCCESS) {
        result.gone.push_back(guid);
        dropped.insert(FoldedGuid(guid));
        continue;
      }
      std::string why = NotOurs(store, key.get());
      key.Close();
      if (!why.empty()) {
        result.kept.push_back("HKEY_LOCAL_MACHINE\\" + path + ": " + why);
        continue;
      }
      LONG status = store.RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
      if (status != ERROR_SUCCESS) {
        failure = status;
        return;
      }
      result.removed.push_back(guid);
      dropped.insert(FoldedGuid(guid));
    }
    if (!mark.empty() && dropped.count(FoldedGuid(mark))) {
      if (KeyHandle key; key.OpenA(store, HKEY_LOCAL_MACHINE, kProgramKeyPath) == ERROR_SUCCESS) {
        LONG status = store.RegDeleteValueA(key.get(), kButtonMarkName);
        key.Close();
        if (status != ERROR_SUCCESS) failure = status;
      }
    }
  });
  if (failure != ERROR_SUCCESS || committed != ERROR_SUCCESS) {
    LONG status = failure != ERROR_SUCCESS ? failure : committed;
    result.error = "the store " + store.Describe() + " refused to remove the buttons (status " +
                   std::to_string(status) + ")" + (store.SupportsRollback() ? "; nothing was removed" : "");
    result.removed.clear();
    result.gone.clear();
    return result;
  }

  if (dropped.empty()) return result;
  std::string kept;
  for (std::size_t start = 0; start < log.size();) {
    std::size_t end = log.find('\n', start);
    std::size_t next = end == std::string::npos ? log.size() : end + 1;
    std::string line = log.substr(start, next - start);
    std::string guid = ButtonOfLine(line.substr(0, line.find_last_not_of("\r\n") + 1));
    if (!guid.empty() && dropped.count(FoldedGuid(guid))) ++result.linesRemoved;
    else kept += line;
    start = next;
  }
  std::string error;
  if (!WriteWhole(logPath, kept, error))
    result.error = error + "; the buttons are removed, but the log still names them";
  return result;
}

}  // namespace pw
