// A scratch folder for one benchmark run, removed with everything in it at
// exit, and the store files made in it.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace pw::bench {

inline const std::string& ScratchFolder() {
  // Never destroyed, so that the removal at exit still has it.
  static const std::string& folder = *[] {
    std::string pattern = (std::filesystem::temp_directory_path() / "pwbench-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    auto* made = new std::string(::mkdtemp(name.data()));
    std::atexit([] { std::filesystem::remove_all(ScratchFolder()); });
    return made;
  }();
  return folder;
}

// A new path in the folder: the stem and a number.
inline std::string NewScratchPath(const char* stem) {
  static int counter = 0;
  return ScratchFolder() + "/" + stem + std::to_string(++counter);
}

// Removes an SQLite store's file and its companions.
inline void RemoveStoreFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

}  // namespace pw::bench
