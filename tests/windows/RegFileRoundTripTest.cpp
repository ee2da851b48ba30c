// Registry files between us and the platform's own editor, in both
// directions, for key names holding "]" and ";", which the editor reads up to
// the last "]" of the key line.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "Platform.h"
#include "TempDir.h"
#include "regfile/RegFileExport.h"
#include "regfile/RegFileReader.h"
#include "registry/Win32Store.h"

namespace pw::test {
namespace {

constexpr const char* kScratch = "Software\\PortwardenRoundTrip";
const char* const kNames[] = {"a] ;x.b", "[x]y]", "c];"};

class RegFileRoundTrip : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(DeleteTree(kScratch));
    for (const char* name : kNames) {
      HKEY key = 0;
      ASSERT_EQ(store_.RegCreateKeyExA(HKEY_CURRENT_USER, std::string(kScratch) + "\\" + name, 0, nullptr, 0,
                                       kAccess3F, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      BYTE seven[4] = {7, 0, 0, 0};
      ASSERT_EQ(store_.RegSetValueExA(key, "v", 0, REG_DWORD, seven, 4), ERROR_SUCCESS);
      store_.RegCloseKey(key);
    }
  }
  void TearDown() override { DeleteTree(kScratch); }

  Win32Store store_;
  TempDir dir_;
};

TEST_F(RegFileRoundTrip, ThePlatformsEditorImportsOurExportUnderTheSameNames) {
  ExportResult exported = ExportRegFile(store_, {{HKEY_CURRENT_USER, kScratch}}, RegFileFormat::Version5);
  ASSERT_TRUE(exported.ok) << exported.error;
  std::string file = dir_.File("ours.reg");
  WriteFileBytes(file, exported.bytes);
  ASSERT_TRUE(DeleteTree(kScratch));
  ProgramResult imported = RunProgram("regedit.exe /s \"" + file + "\"");
  ASSERT_EQ(imported.exitCode, 0) << imported.output;
  for (const char* name : kNames) {
    HKEY key = 0;
    ASSERT_EQ(store_.RegOpenKeyA(HKEY_CURRENT_USER, std::string(kScratch) + "\\" + name, &key), ERROR_SUCCESS) << name;
    DWORD type = 0, size = 0;
    EXPECT_EQ(store_.RegQueryValueExA(key, "v", nullptr, &type, nullptr, &size), ERROR_SUCCESS) << name;
    store_.RegCloseKey(key);
  }
  EXPECT_EQ(SubkeyNamesW(L"Software\\PortwardenRoundTrip").size(), std::size(kNames));
}

TEST_F(RegFileRoundTrip, WeReadThePlatformsEditorsExportUnderTheSameNames) {
  std::string file = dir_.File("theirs.reg");
  ProgramResult exported = RunProgram("regedit.exe /e \"" + file + "\" \"HKEY_CURRENT_USER\\" + kScratch + "\"");
  ASSERT_EQ(exported.exitCode, 0) << exported.output;
  RegFile parsed;
  RegFileError error;
  ASSERT_TRUE(ReadRegFile(ReadFileBytes(file), "theirs.reg", parsed, error)) << error.Message();
  std::vector<std::string> paths;
  for (const RegFileKey& key : parsed.keys) {
    paths.push_back(key.path);
    if (key.path != kScratch) {
      EXPECT_EQ(key.values.size(), 1u) << key.path;
    }
  }
  for (const char* name : kNames) {
    EXPECT_NE(std::find(paths.begin(), paths.end(), std::string(kScratch) + "\\" + name), paths.end()) << name;
  }
}

}  // namespace
}  // namespace pw::test
