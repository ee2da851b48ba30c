// The file operations of enforcement on Linux. Root runs them on folders a
// user may control, so nothing here follows a link a user could plant: a
// folder is opened once, checked (a real folder, its owner, nobody else may
// write it) and then used by name inside it; reads are capped. Each step
// that can fail returns a Result whose message names the path and the reason.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/Result.h"
#include "scriptpolicy/ScriptPolicy.h"

namespace pw {

// The largest policy file or index read: far beyond a real one (a policy of
// 100,000 listings is about 4 MB), small enough that a sparse or hostile file
// costs little.
inline constexpr std::size_t kMaxPolicyFileBytes = std::size_t{64} << 20;

// A folder held open: what is done in it by name cannot be sent elsewhere by
// a link or a folder swapped in on the way.
class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }
  const std::string& Path() const { return path_; }
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

 private:
  friend Result OpenFolder(const std::string&, Folder&, long, bool, std::vector<std::string>*);
  friend Result OpenStoreFolder(const std::string&, Folder&, long);
  friend Result OpenFolderIn(const Folder&, const std::string&, Folder&, long, bool, std::vector<std::string>*);
  int fd_ = -1;
  std::string path_;
};

// Opens the folder at `path` (its last name never a link) and checks that it
// is a folder owned by `owner` (-1: by this process's user or root) that no
// one else may write. With `create`, missing folders on the way are made (mode
// 0755), their paths added to `made`, outermost first.
Result OpenFolder(const std::string& path, Folder& folder, long owner = -1, bool create = false,
                  std::vector<std::string>* made = nullptr);
// The folder a store lies in, which the files beside the store go into: a
// folder of `owner` (-1: of this process's user) or root that others may not
// change, or only under the sticky bit (their entries stay theirs).
Result OpenStoreFolder(const std::string& path, Folder& folder, long owner = -1);
// The same for the entry `name` of an open folder.
Result OpenFolderIn(const Folder& parent, const std::string& name, Folder& folder, long owner = -1,
                    bool create = false, std::vector<std::string>* made = nullptr);

// Reads the regular file `name` (not a link) into `content`, whose room is
// reused; at most `limit` bytes, a larger file being a failure. Nothing there
// is a failure with `missing` set.
Result ReadFileIn(const Folder& folder, const std::string& name, std::string& content,
                  std::size_t limit = kMaxPolicyFileBytes, bool* missing = nullptr);
// Replaces `name` with `content` at once, so that a browser never reads half of
// it: a new file beside it (mode 0644), renamed over it. Content already there
// is not written again; `scratch`, when given, is the room it is read into.
// A file the programs make again whenever they cannot read it (`rebuilt`) has
// its room reserved before it is written: ext4 then has nothing to flush when
// it is renamed over the old one (some milliseconds a megabyte), a flush that
// only guards against a file left empty by a power loss.
Result ReplaceFileIn(const Folder& folder, const std::string& name, const std::string& content,
                     std::string* scratch = nullptr, bool rebuilt = false);
// Puts a symbolic link `name` pointing to `target`, replacing what is there at once.
Result PlaceLinkIn(const Folder& folder, const std::string& name, const std::string& target);
// Where the link `name` points; nothing when it is no link.
std::optional<std::string> LinkTargetIn(const Folder& folder, const std::string& name);
// Whether anything at all is called `name`.
bool ExistsIn(const Folder& folder, const std::string& name);
// Renames `from` in one folder to `to` in another (or the same); fails when
// `to` exists.
Result MoveBetween(const Folder& from, const std::string& fromName, const Folder& to, const std::string& toName);
// Removes the file or link `name`; one that is not there is no failure.
Result RemoveIn(const Folder& folder, const std::string& name);
// Removes the folder `name` when it is empty; false when it is not (or not there).
bool RemoveEmptyFolderIn(const Folder& folder, const std::string& name);
// Removes what an interrupted write or link left: files and links whose name
// starts with `prefix`.
void SweepIn(const Folder& folder, const std::string& prefix);
// Device, inode, size and change time of `name`: a file replaced by a rename
// shows another. Empty when there is none.
std::string FileIdentityIn(const Folder& folder, const std::string& name);

// Whether this process may make entries in the folder at `path` or, when it
// does not exist yet, in the nearest folder above it that does.
Result CheckWritable(const std::string& path);
// The folder above `path` that others cannot pass through, or empty.
std::string ClosedFolderAbove(const std::string& path);
// The path without links, "." or ".."; the path as given when it cannot be resolved.
std::string CanonicalPath(const std::string& path);
// The store as a command names it: its file's canonical path, or, for a store
// that is no file, its description.
std::string StoreNamed(const RegistryStore& store);
// Where a symbolic link points; nothing when `path` is not a link.
std::optional<std::string> LinkTarget(const std::string& path);

// An exclusive lock on the file `name` (made with mode 0600, so that no other
// user can open it, let alone hold it) while it lives, so that processes
// rewriting the files of a folder take turns. Waits at most `seconds`.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  Result Take(const Folder& folder, const std::string& name, int seconds);

 private:
  int fd_ = -1;
};

// While it lives, this thread touches files as the user `user` of group
// `group` (without root's other groups): what it makes is theirs, and it may
// do nothing they could not. Nothing changes unless this process is root and
// the user is another.
class ActingAs {
 public:
  ActingAs(long user, long group);
  ~ActingAs();
  ActingAs(const ActingAs&) = delete;
  ActingAs& operator=(const ActingAs&) = delete;
  // Done when it took effect (or had nothing to do).
  const Result& Taken() const { return taken_; }

 private:
  bool active_ = false;
  std::vector<unsigned> groups_;
  unsigned group_ = 0;
  Result taken_;
};

// Root's record in a folder it placed our policy in, as every placement keeps
// it: the store it is for, links or copies, and the folders `on` made.
struct PlacementRecord {
  std::string store;
  std::string linkedFolder;       // links: the folder they point into; empty: copies
  std::vector<std::string> made;  // folders `on` made, outermost first
};
// The record's text: `header`, its lines, then `more` (whole lines) of the
// placement's own.
std::string PlacementRecordText(std::string_view header, const PlacementRecord& record, std::string_view more = {});
// Reads the record under `header` from `text`; a line not one of every
// record's goes to `more`, which takes it or refuses (false) the record.
// False when the text is no such record.
bool ParsePlacementRecord(std::string_view header, std::string_view text, PlacementRecord& record,
                          const std::function<bool(std::string_view line)>& more);

// The policies of a browser's policy file that we write; nothing when the text
// is not a JSON object.
std::optional<ScriptPolicy> ParsePolicyFile(const std::string& text, PolicyLevel level);
// Whether the policy file holds nothing but the policies we write.
bool HoldsOnlyOurPolicies(const std::string& text);

}  // namespace pw
