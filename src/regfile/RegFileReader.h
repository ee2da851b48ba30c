// Reads a registry file ("Windows Registry Editor Version 5.00" in UTF-16LE
// with a byte-order mark or in UTF-8, or "REGEDIT4" in Windows-1252) into
// keys and values in the store's terms. The whole file is checked: either
// every line is understood, or the first problem is reported with its line.
#pragma once

#include <string>
#include <string_view>

#include "regfile/RegFile.h"

namespace pw {

struct RegFileError {
  std::string file;  // as the caller named it
  int line = 0;      // 1-based; 0 when it concerns no line in particular
  std::string what;
  // "FILE, line N: WHAT"
  std::string Message() const;
};

// Parses `bytes`, the whole content of the file called `fileName`. On success
// fills `out` (REG_SZ data with its terminating NUL, as the platform's editor
// stores it; the text of REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data in the
// store's encoding) and returns true. Otherwise returns false, `error` says
// where and what, and `out` is left empty.
bool ReadRegFile(std::string_view bytes, const std::string& fileName, RegFile& out, RegFileError& error);

}  // namespace pw
