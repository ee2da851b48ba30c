#include "enforcement/FirefoxSwitches.h"

#include <nlohmann/json.hpp>
#include <string_view>
#include <unordered_map>

namespace pw {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kSwitchName = "no-scripting: ";
constexpr const char* kSwitchesKey = "hostnameSwitchesString";
constexpr const char* kManifestDescription = "Portwarden: the zone map as the script policy of this machine";

// A host name a switch can hold: ASCII labels (the blocker matches the
// punycode form a browser uses), no empty label.
bool IsSwitchHost(std::string_view host) {
  if (host.empty() || host.front() == '.' || host.back() == '.') return false;
  char previous = '.';
  for (char c : host) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!plain && !(c == '.' && previous != '.')) return false;
    previous = c;
  }
  return true;
}

// The host of a pattern as the translation makes it ("[*.]host", "host",
// "scheme://[*.]host:*", "scheme://host:*"), and whether it is for one
// protocol; nothing for a pattern no switch states.
std::optional<std::string_view> HostOf(std::string_view pattern, bool& perProtocol) {
  perProtocol = false;
  std::size_t scheme = pattern.find("://");
  if (scheme != std::string_view::npos) {
    if (pattern.size() < scheme + 5 || pattern.substr(pattern.size() - 2) != ":*") return std::nullopt;
    pattern = pattern.substr(scheme + 3, pattern.size() - scheme - 5);
    perProtocol = true;
  }
  if (pattern.substr(0, 4) == "[*.]") pattern.remove_prefix(4);
  if (!IsSwitchHost(pattern)) return std::nullopt;
  return pattern;
}

const Json& OurEntry() {
  static const Json entry = {{"installation_mode", "force_installed"}, {"private_browsing", true}};
  return entry;
}

std::optional<Json> ParseObject(const std::string& text) {
  Json json = Json::parse(text, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  return json;
}

std::string Dump(const Json& json) { return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"; }

// `text` as a JSON string. Switches hold only host names, so this is plain
// copying but for the line breaks; written here, as 20,000 of them go through
// it twice at every write.
void AppendJsonString(std::string& json, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  json += '"';
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (c == '\n') {
      json += "\\n";
    } else if (byte < 0x20) {
      json += "\\u00";
      json += kHex[byte >> 4];
      json += kHex[byte & 15];
    } else {
      json += c;
    }
  }
  json += '"';
}

}  // namespace

HostnameSwitches SwitchesOf(const ScriptPolicy& policy) {
  HostnameSwitches switches;
  if (policy.managedDefault == kBlockScripts || policy.recommendedDefault == kBlockScripts)
    switches.noScripting.emplace_back("*", true);
  std::unordered_map<std::string_view, std::size_t> seen;
  seen.reserve(policy.blocked.size() + policy.allowed.size());
  switches.noScripting.reserve(policy.blocked.size() + policy.allowed.size() + 1);
  for (const std::string& pattern : policy.blocked) {
    bool perProtocol = false;
    std::optional<std::string_view> host = HostOf(pattern, perProtocol);
    if (!host) {
      ++switches.gaps.leftOut;
      continue;
    }
    switches.gaps.widened += perProtocol;
    if (seen.emplace(*host, switches.noScripting.size()).second) switches.noScripting.emplace_back(*host, true);
  }
  for (const std::string& pattern : policy.allowed) {
    bool perProtocol = false;
    std::optional<std::string_view> host = HostOf(pattern, perProtocol);
    if (!host || perProtocol) {
      // Allowing the whole host would trust protocols that were not listed.
      ++switches.gaps.leftOut;
      continue;
    }
    if (seen.emplace(*host, switches.noScripting.size()).second) switches.noScripting.emplace_back(*host, false);
  }
  return switches;
}

std::string SwitchesText(const HostnameSwitches& switches) {
  std::string text;
  std::size_t size = 0;
  for (const auto& [host, blocked] : switches.noScripting) size += kSwitchName.size() + host.size() + 7;
  text.reserve(size);
  for (const auto& [host, blocked] : switches.noScripting) {
    if (!text.empty()) text += '\n';
    text += kSwitchName;
    text += host;
    text += blocked ? " true" : " false";
  }
  return text;
}

std::string ManagedStorageJson(const HostnameSwitches& switches) {
  std::string json;
  WriteManagedStorageJson(switches, json);
  return json;
}

void WriteManagedStorageJson(const HostnameSwitches& switches, std::string& json) {
  // The settings are a JSON text inside the manifest's JSON.
  std::string text = SwitchesText(switches);
  std::string settings;
  settings.reserve(text.size() + text.size() / 8 + 32);
  settings = std::string("{\"") + kSwitchesKey + "\":";
  AppendJsonString(settings, text);
  settings += '}';
  json.clear();
  json.reserve(settings.size() + settings.size() / 8 + 256);
  json += "{\n  \"name\": ";
  AppendJsonString(json, kBlockerId);
  json += ",\n  \"description\": ";
  AppendJsonString(json, kManifestDescription);
  json += ",\n  \"type\": \"storage\",\n  \"data\": {\n    \"adminSettings\": ";
  AppendJsonString(json, settings);
  json += "\n  }\n}\n";
}

std::optional<HostnameSwitches> SwitchesInManifest(const std::string& text) {
  std::optional<Json> manifest = ParseObject(text);
  if (!manifest || manifest->value("name", "") != kBlockerId || !manifest->contains("data") ||
      !(*manifest)["data"].is_object())
    return std::nullopt;
  const Json& data = (*manifest)["data"];
  auto found = data.find("adminSettings");
  if (found == data.end() || !found->is_string()) return std::nullopt;
  std::optional<Json> settings = ParseObject(found->get<std::string>());
  if (!settings) return std::nullopt;
  auto lines = settings->find(kSwitchesKey);
  if (lines == settings->end() || !lines->is_string()) return std::nullopt;
  HostnameSwitches switches;
  std::string_view all = lines->get_ref<const std::string&>();
  while (!all.empty()) {
    std::size_t end = all.find('\n');
    std::string_view line = all.substr(0, end);
    all = end == std::string_view::npos ? std::string_view() : all.substr(end + 1);
    if (line.empty() || line.substr(0, kSwitchName.size()) != kSwitchName) continue;  // other switches
    line.remove_prefix(kSwitchName.size());
    std::size_t space = line.rfind(' ');
    if (space == std::string_view::npos) return std::nullopt;
    std::string_view value = line.substr(space + 1);
    if (value != "true" && value != "false") return std::nullopt;
    switches.noScripting.emplace_back(std::string(line.substr(0, space)), value == "true");
  }
  return switches;
}

bool IsOurManifest(const std::string& text) {
  std::optional<Json> manifest = ParseObject(text);
  if (!manifest || manifest->size() != 4 || manifest->value("description", "") != kManifestDescription ||
      manifest->value("type", "") != "storage")
    return false;
  std::optional<HostnameSwitches> switches = SwitchesInManifest(text);
  return switches && (*manifest)["data"].size() == 1 && ManagedStorageJson(*switches) == text;
}

ScriptPolicy PolicyShapeOf(const HostnameSwitches& switches) {
  ScriptPolicy policy;
  for (const auto& [host, blocked] : switches.noScripting) {
    if (host == "*") {
      if (blocked) policy.managedDefault = kBlockScripts;
      continue;
    }
    (blocked ? policy.blocked : policy.allowed).push_back(host);
  }
  return policy;
}

std::string BlockerEntryJson() { return OurEntry().dump(); }

PoliciesEdit AddBlockerEntry(const std::string& text, bool replace) {
  PoliciesEdit edit;
  bool blank = text.find_first_not_of(" \t\r\n") == std::string::npos;
  std::optional<Json> root = blank ? Json::object() : ParseObject(text);
  if (!root) {
    edit.error = "is not a JSON object, so Firefox cannot read it either; it is left alone";
    return edit;
  }
  Json& policies = (*root)["policies"];
  if (policies.is_null()) policies = Json::object();
  if (!policies.is_object()) {
    edit.error = "holds \"policies\" that are not an object; it is left alone";
    return edit;
  }
  Json& settings = policies["ExtensionSettings"];
  if (settings.is_null()) settings = Json::object();
  if (!settings.is_object()) {
    edit.error = "holds \"ExtensionSettings\" that are not an object; it is left alone";
    return edit;
  }
  auto present = settings.find(kBlockerId);
  if (present != settings.end() && *present == OurEntry()) {
    edit.text = text;
    return edit;
  }
  if (present != settings.end()) {
    if (!replace) {
      edit.error = std::string("holds an administrator's own entry for ") + kBlockerId + " in ExtensionSettings";
      return edit;
    }
    edit.theirs = present->dump();
  }
  settings[kBlockerId] = OurEntry();
  edit.text = Dump(*root);
  edit.changed = true;
  return edit;
}

PoliciesEdit RemoveBlockerEntry(const std::string& text, const std::optional<std::string>& putBack) {
  PoliciesEdit edit;
  edit.text = text;
  std::optional<Json> root = ParseObject(text);
  if (!root) {
    edit.error = "is not a JSON object; our entry cannot be taken out of it";
    return edit;
  }
  auto policies = root->find("policies");
  if (policies == root->end() || !policies->is_object()) return edit;
  auto settings = policies->find("ExtensionSettings");
  if (settings == policies->end() || !settings->is_object()) return edit;
  auto present = settings->find(kBlockerId);
  // An entry an administrator has changed since is theirs now.
  if (present == settings->end() || *present != OurEntry()) return edit;
  Json theirs = putBack ? Json::parse(*putBack, nullptr, false) : Json();
  if (!theirs.is_discarded() && !theirs.is_null()) *present = std::move(theirs);
  else settings->erase(present);
  if (settings->empty()) policies->erase(settings);
  edit.text = Dump(*root);
  edit.changed = true;
  return edit;
}

bool HoldsBlockerEntry(const std::string& text) {
  std::optional<Json> root = ParseObject(text);
  if (!root) return false;
  const Json* level = &*root;
  for (const char* name : {"policies", "ExtensionSettings", kBlockerId}) {
    auto found = level->find(name);
    if (found == level->end()) return false;
    level = &*found;
  }
  return *level == OurEntry();
}

bool HoldsNoPolicies(const std::string& text) {
  std::optional<Json> root = ParseObject(text);
  if (!root) return false;
  if (root->empty()) return true;
  return root->size() == 1 && root->contains("policies") && (*root)["policies"].is_object() &&
         (*root)["policies"].empty();
}

}  // namespace pw
