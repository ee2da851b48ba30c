// fuzz-libraries: pw_regfile
// The reader on arbitrary bytes: it never crashes, and whatever it accepts the
// writer writes so that reading and writing again gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "regfile/RegFileReader.h"
#include "regfile/RegFileWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  pw::RegFile file;
  pw::RegFileError error;
  if (!pw::ReadRegFile(bytes, "fuzz.reg", file, error)) {
    if (error.line < 0 || error.what.empty() || !file.keys.empty()) __builtin_trap();
    return 0;
  }
  std::string written, writeError;
  if (!pw::WriteRegFile(file, written, writeError)) return 0;  // text the format cannot hold
  pw::RegFile again;
  if (!pw::ReadRegFile(written, "written.reg", again, error)) __builtin_trap();
  if (again.keys.size() != file.keys.size()) __builtin_trap();
  std::string rewritten;
  if (!pw::WriteRegFile(again, rewritten, writeError) || rewritten != written) __builtin_trap();
  return 0;
}
