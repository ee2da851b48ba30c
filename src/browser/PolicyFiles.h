// The file operations of enforcement on Linux. Each returns what failed, as
// text naming the path and the system's reason, or empty text when it worked.
#pragma once

#include <optional>
#include <string>

#include "browser/ScriptPolicy.h"

namespace pw {

// Replaces the file with `content` at once, so that a browser never reads half
// of it: written to a temporary file beside it, flushed, given mode 0644 (and
// the owner, unless -1) and renamed over it. Content already there is not
// written again.
std::string ReplaceFileAtomically(const std::string& path, const std::string& content, long owner = -1,
                                  long group = -1);
// Puts a symbolic link at `path` pointing to `target`, replacing what is there
// at once.
std::string PlaceLink(const std::string& path, const std::string& target);
// Removes the file or link; one that is not there is no failure.
std::string RemoveFile(const std::string& path);
// Makes the folder and every missing one above it, with mode 0755.
std::string MakeFolders(const std::string& path, long owner = -1, long group = -1);
// Whether this process may make or change entries of the folder (or, when it
// does not exist yet, of the nearest folder above it that does).
std::string CheckWritable(const std::string& folder);
// The folder above `path` that others cannot pass through, or empty.
std::string ClosedFolderAbove(const std::string& path);

std::optional<std::string> ReadWholeFile(const std::string& path);
// Where a symbolic link points; nothing when `path` is not a link.
std::optional<std::string> LinkTarget(const std::string& path);
// The policies of a browser's policy file that we write; nothing when the text
// is not a JSON object.
std::optional<ScriptPolicy> ParsePolicyFile(const std::string& text, PolicyLevel level);

}  // namespace pw
