// Writes keys and values as a registry file: "Windows Registry Editor Version
// 5.00" as UTF-16LE with a byte-order mark, or "REGEDIT4" as Windows-1252, both
// with CRLF line ends. The writer's output read back by the reader gives the
// same keys and values, and written again gives the same bytes.
#pragma once

#include <string>
#include <vector>

#include "regfile/RegFile.h"
#include "registry/Result.h"

namespace pw {

// Writes `file` in its format into `bytes`. Returns false, with `error` naming
// the key or value, when something cannot be written: a name holding a line
// break, or text that the file's encoding cannot represent.
//
// Values: REG_SZ as "text", without one terminating NUL when the data has it
// and whole when it has none; a REG_SZ holding a NUL or a line break inside as
// hex(1):. REG_DWORD of 4 bytes as dword:; any other size as hex(4):.
// REG_BINARY as hex:; every other type as hex(N):, the text of types 1, 2 and
// 7 in the file's encoding (UTF-16LE, or Windows-1252 for REGEDIT4).
//
// With `skipped`, a key or value that cannot be written is left out instead
// (a key with every key below it) and described there, and the rest is
// written.
bool WriteRegFile(const RegFile& file, std::string& bytes, std::string& error,
                  std::vector<std::string>* skipped = nullptr);

// One value as its line of a file of `format` would read, in UTF-8 and
// unwrapped, for showing on a terminal.
Result FormatValueLine(const RegFileValue& value, RegFileFormat format, std::string& line);

}  // namespace pw
