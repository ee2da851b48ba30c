// The pages open in Firefox, read from the session file it keeps in its
// profile folder. Every fault of the file (missing, locked, damaged, half
// written) gives no addresses: never an error, never a wait.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pw {

// The whole of a regular file of at most `limit` bytes, or nothing. Opened
// without waiting, so that a pipe or device put in the file's place cannot
// make start-up wait or read without end.
std::optional<std::string> ReadProfileFile(const std::string& path, std::size_t limit);

// The JSON text of a session file: the 8 bytes "mozLz40\0", the text's size as
// 4 bytes little-endian, then one LZ4 block. Nothing when the bytes are not
// such a file or do not decompress to exactly that size.
std::optional<std::string> DecodeSessionFile(std::string_view bytes);

// The addresses of the open tabs, window by window and tab by tab: each tab's
// current entry (its 1-based "index"; the last entry without one; the typed
// text without entries). Private windows, closed tabs and windows, "about:"
// pages and addresses holding control characters are left out. Nothing when
// the text is not a session.
std::optional<std::vector<std::string>> SessionPageAddresses(std::string_view json);

// The addresses in the newest readable of the profile's session files (the
// running browser's recovery file, its backup while a new one is being put in
// place, and the file written at a clean exit).
std::vector<std::string> ProfileOpenPages(const std::string& profileFolder);

}  // namespace pw
