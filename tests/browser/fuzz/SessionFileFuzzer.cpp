// fuzz-libraries: pw_browser
// Reads any bytes as a session file and as session text: never a crash, and
// every address offered is one line of text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "browser/FirefoxSession.h"

namespace {

void CheckAddresses(std::string_view text) {
  if (auto addresses = pw::SessionPageAddresses(text))
    for (const std::string& address : *addresses)
      if (address.empty() || address.find_first_of("\r\n") != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (auto text = pw::DecodeSessionFile(bytes)) CheckAddresses(*text);
  CheckAddresses(bytes);
  return 0;
}
