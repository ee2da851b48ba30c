#include "registry/RegData.h"

#include <charconv>

namespace pw {

std::optional<std::int64_t> ParseDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (*first == '+') return std::nullopt;
  auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> DwordValue(DWORD type, std::string_view data) {
  if (type != REG_DWORD || data.size() != 4) return std::nullopt;
  std::uint32_t number = 0;
  for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
  return number;
}

std::string RegData::AsText() const { return isNumber_ ? std::to_string(number_) : text_; }

std::optional<std::uint32_t> RegData::AsDword() const {
  std::optional<std::int64_t> value = isNumber_ ? std::optional<std::int64_t>(number_) : ParseDecimal(text_);
  if (!value || *value < INT32_MIN || *value > static_cast<std::int64_t>(UINT32_MAX)) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

}  // namespace pw
