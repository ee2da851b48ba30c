#include "enforcement/PolicyJson.h"

#include <nlohmann/json.hpp>

namespace pw {
namespace {

void AppendJsonText(std::string& json, const std::string& text) {
  bool plain = true;
  for (char c : text) plain = plain && c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20;
  if (plain) {
    json += '"';
    json += text;
    json += '"';
    return;
  }
  json += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AppendList(std::string& json, const char* name, const std::vector<std::string>& patterns, bool& first) {
  if (patterns.empty()) return;
  json += first ? "\n  \"" : ",\n  \"";
  first = false;
  json += name;
  json += "\": [";
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    json += i ? ",\n    " : "\n    ";
    AppendJsonText(json, patterns[i]);
  }
  json += "\n  ]";
}

}  // namespace

std::string PolicyJson(const ScriptPolicy& policy, PolicyLevel level) {
  std::string json;
  WritePolicyJson(policy, level, json);
  return json;
}

void WritePolicyJson(const ScriptPolicy& policy, PolicyLevel level, std::string& json) {
  std::size_t size = 128;
  if (level == PolicyLevel::Managed)
    for (const auto* list : {&policy.blocked, &policy.allowed})
      for (const std::string& pattern : *list) size += pattern.size() + 8;
  json.reserve(size);
  json.assign("{");
  bool first = true;
  std::optional<int> fallback = level == PolicyLevel::Managed ? policy.managedDefault : policy.recommendedDefault;
  if (fallback) {
    json += std::string("\n  \"") + kDefaultScriptPolicy + "\": " + std::to_string(*fallback);
    first = false;
  }
  if (level == PolicyLevel::Managed) {
    AppendList(json, kBlockedScriptsPolicy, policy.blocked, first);
    AppendList(json, kAllowedScriptsPolicy, policy.allowed, first);
  }
  json += first ? "}\n" : "\n}\n";
}

}  // namespace pw
