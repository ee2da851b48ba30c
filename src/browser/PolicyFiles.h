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
// `scratch`, when given, is the room the old content is read into.
std::string ReplaceFileAtomically(const std::string& path, const std::string& content, long owner = -1,
                                  long group = -1, std::string* scratch = nullptr);
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

// Holds an exclusive lock on a folder while it lives (none when the folder
// cannot be opened), so that processes rewriting the files in it take turns.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

std::optional<std::string> ReadWholeFile(const std::string& path);
// The same into `content`, whose room is reused; false when it cannot be read.
bool ReadWholeFileInto(const std::string& path, std::string& content);
// Device, inode, size and change time: a file replaced by a rename shows
// another. Empty when there is no such file.
std::string FileIdentity(const std::string& path);
// Where a symbolic link points; nothing when `path` is not a link.
std::optional<std::string> LinkTarget(const std::string& path);
// The policies of a browser's policy file that we write; nothing when the text
// is not a JSON object.
std::optional<ScriptPolicy> ParsePolicyFile(const std::string& text, PolicyLevel level);

}  // namespace pw
