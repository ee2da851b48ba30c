// Whole files in and out, for registry files.
#pragma once

#include <string>

namespace pw {

// Reads the whole file. False with `error` ("cannot read FILE: reason").
bool LoadFile(const std::string& path, std::string& bytes, std::string& error);

// Writes the file whole or not at all: into a new file beside it, flushed to
// disk, then renamed over the old one, so that a failure never leaves a
// half-written file in its place. An existing file keeps its permissions.
bool SaveFileReplacing(const std::string& path, const std::string& bytes, std::string& error);

}  // namespace pw
