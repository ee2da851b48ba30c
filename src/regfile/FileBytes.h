// Whole files in and out, for registry files.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

#include "registry/Result.h"

namespace pw {

// Reads the whole file, or the whole stream until its end, checking every
// read, into `bytes`. A failure says "cannot read FILE: reason", also when it
// holds more than `limit` bytes: reading stops there, so that a device that
// never ends or a file far larger than any of its kind costs no more than
// `limit`.
Result LoadFile(const std::string& path, std::string& bytes, std::size_t limit);
Result LoadStream(std::istream& in, const std::string& shown, std::string& bytes, std::size_t limit);

// Writes the file whole or not at all: into a new file beside it, flushed to
// disk, then renamed over the old one, so that a failure never leaves a
// half-written file in its place. An existing file keeps its permissions.
// A failure says "cannot write FILE" and, where there is one, the reason.
Result SaveFileReplacing(const std::string& path, const std::string& bytes);

}  // namespace pw
