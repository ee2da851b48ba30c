#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "registry/RegistryTypes.h"

namespace pw {

// A datum that the registry layer takes "as text or as a number", converted on
// demand the way the layer's operations need it.
class RegData {
 public:
  RegData(const char* text) : text_(text ? text : ""), isNumber_(false) {}
  RegData(std::string text) : text_(std::move(text)), isNumber_(false) {}
  RegData(std::string_view text) : text_(text), isNumber_(false) {}
  RegData(int number) : number_(number), isNumber_(true) {}
  RegData(long number) : number_(number), isNumber_(true) {}
  RegData(long long number) : number_(number), isNumber_(true) {}
  RegData(unsigned number) : number_(number), isNumber_(true) {}
  RegData(unsigned long number) : number_(static_cast<std::int64_t>(number)), isNumber_(true) {}

  bool IsNumber() const { return isNumber_; }
  // The datum as text: a number in decimal.
  std::string AsText() const;
  // The datum as the 32 bits of a DWORD: a number, or text that is a decimal
  // integer (optional sign), from -2147483648 to 4294967295. Nothing otherwise.
  std::optional<std::uint32_t> AsDword() const;

 private:
  std::string text_;
  std::int64_t number_ = 0;
  bool isNumber_;
};

// The number a REG_DWORD of exactly four bytes holds (little-endian, as
// stored); nothing for any other type or size.
std::optional<std::uint32_t> DwordValue(DWORD type, std::string_view data);

// The number the browser engine reads from the data of a REG_DWORD of at most
// four bytes: it reads into four bytes of 0xFF, so those missing at the end
// stay 0xFF.
inline std::uint32_t DwordAsEngineReads(std::string_view data) {
  std::uint32_t number = 0;
  for (std::size_t i = 0; i < 4; ++i)
    number |= static_cast<std::uint32_t>(i < data.size() ? static_cast<unsigned char>(data[i]) : 0xFF) << (8 * i);
  return number;
}

// A decimal integer with an optional leading "-" and nothing else; nothing when
// the text is not one or does not fit 64 bits.
std::optional<std::int64_t> ParseDecimal(std::string_view text);

}  // namespace pw
