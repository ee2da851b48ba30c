#include "TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace pw::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pwtest-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
#if defined(_WIN32)
  path_ = std::filesystem::temp_directory_path() / ("pwtest-" + std::to_string(std::rand()) + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  std::filesystem::create_directories(path_);
#else
  path_ = mkdtemp(buffer.data());
#endif
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace pw::test
