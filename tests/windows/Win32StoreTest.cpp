// The store over the platform's registry, beyond the conformance suite: the
// handles are the platform's, an enumeration survives another program deleting
// its key, and names outside ASCII cross through the system's code page.
#include <gtest/gtest.h>

#include <algorithm>

#include "Platform.h"
#include "registry/Enumeration.h"
#include "registry/Win32Store.h"

namespace pw::test {
namespace {

constexpr const char* kScratch = "Software\\PortwardenWin32Test";
constexpr const wchar_t* kScratchW = L"Software\\PortwardenWin32Test";

class Win32StoreTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(DeleteTree(kScratch));
    ASSERT_EQ(Create(HKEY_CURRENT_USER, kScratch, &root_), ERROR_SUCCESS);
  }
  void TearDown() override {
    store_.RegCloseKey(root_);
    DeleteTree(kScratch);
  }

  LONG Create(HKEY parent, RegName path, HKEY* out) {
    return store_.RegCreateKeyExA(parent, path, 0, nullptr, 0, kAccess3F, nullptr, out, nullptr);
  }
  void MakeKey(const std::string& path) {
    HKEY h = 0;
    ASSERT_EQ(Create(root_, path, &h), ERROR_SUCCESS) << path;
    store_.RegCloseKey(h);
  }
  LONG SetDword(HKEY key, RegName name, DWORD number) {
    BYTE bytes[4] = {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)};
    return store_.RegSetValueExA(key, name, 0, REG_DWORD, bytes, 4);
  }
  std::vector<std::string> SubkeyNamesA(HKEY key) {
    std::vector<std::string> names;
    EXPECT_EQ(ForEachSubkey(store_, key,
                            [&](const std::string& name) {
                              names.push_back(name);
                              return true;
                            }),
              ERROR_NO_MORE_ITEMS);
    return names;
  }
  // Another program deletes scratch\path with everything below it.
  void DeleteElsewhere(const std::string& path) {
    ProgramResult deleted =
        RunProgram("reg.exe delete \"HKCU\\" + std::string(kScratch) + "\\" + path + "\" /f");
    EXPECT_EQ(deleted.exitCode, 0) << deleted.output;
  }

  Win32Store store_;
  HKEY root_ = 0;
};

TEST_F(Win32StoreTest, TheHivesAndHandlesAreThePlatformsOwn) {
  MakeKey("seen\\below");
  EXPECT_EQ(SubkeyNamesW(kScratchW), std::vector<std::wstring>{L"seen"});
  EXPECT_EQ(SubkeyNamesW(std::wstring(kScratchW) + L"\\seen"), std::vector<std::wstring>{L"below"});
  HKEY h = 0;
  ASSERT_EQ(store_.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\PortwardenWin32Test\\seen", 0,
                                 kAccess3F, &h),
            ERROR_SUCCESS);
  EXPECT_NE(h, 0u);
  EXPECT_NE(h, HKEY_CURRENT_USER);
  EXPECT_EQ(SubkeyNamesA(h), std::vector<std::string>{"below"});
  EXPECT_EQ(store_.RegCloseKey(h), ERROR_SUCCESS);
  EXPECT_EQ(store_.RegCloseKey(h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(store_.Describe(), "Windows registry");
}

TEST_F(Win32StoreTest, AnEnumerationEndsWhenAnotherProgramDeletesTheKey) {
  for (const char* name : {"victim\\s1", "victim\\s2", "victim\\s3"}) MakeKey(name);
  HKEY h = 0;
  ASSERT_EQ(store_.RegOpenKeyA(root_, "victim", &h), ERROR_SUCCESS);
  int visits = 0;
  LONG status = ForEachSubkey(store_, h, [&](const std::string&) {
    if (++visits == 1) DeleteElsewhere("victim");
    return visits < 100;  // taking the failure for an item would go on for ever
  });
  EXPECT_EQ(status, ERROR_KEY_DELETED);
  EXPECT_EQ(visits, 1);
  EXPECT_EQ(store_.RegCloseKey(h), ERROR_SUCCESS);

  MakeKey("values");
  ASSERT_EQ(store_.RegOpenKeyA(root_, "values", &h), ERROR_SUCCESS);
  for (const char* name : {"v1", "v2", "v3"}) ASSERT_EQ(SetDword(h, name, 1), ERROR_SUCCESS);
  visits = 0;
  status = ForEachValue(store_, h, [&](const EnumeratedValue&) {
    if (++visits == 1) DeleteElsewhere("values");
    return visits < 100;
  });
  EXPECT_EQ(status, ERROR_KEY_DELETED);
  EXPECT_EQ(visits, 1);
  EXPECT_EQ(store_.RegCloseKey(h), ERROR_SUCCESS);
}

TEST_F(Win32StoreTest, NamesOutsideAsciiCrossThroughTheAnsiCodePage) {
  const std::string ansi =
      "B\xFC"
      "cher.example";  // "Bücher.example" in code page 1252
  const std::string utf8 =
      "B\xC3\xBC"
      "cher.example";  // the same text as UTF-8 bytes
  const std::string ansiUpper =
      "B\xDC"
      "CHER.EXAMPLE";  // its capitals in code page 1252
  MakeKey(ansi);
  MakeKey(utf8);
  // Read back through the 8-bit functions, each name is the bytes written.
  std::vector<std::string> names = SubkeyNamesA(root_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{utf8, ansi}));

  if (AnsiCodePage() != 1252) return;  // what the bytes mean depends on the code page
  // The registry holds text: the UTF-8 bytes read as two characters each.
  std::vector<std::wstring> wide = SubkeyNamesW(kScratchW);
  std::sort(wide.begin(), wide.end());
  EXPECT_EQ(wide,
            (std::vector<std::wstring>{L"B\u00C3\u00BCcher.example", L"B\u00FCcher.example"}));
  // Letter case is ignored beyond ASCII too.
  HKEY h = 0;
  ASSERT_EQ(store_.RegOpenKeyExA(root_, ansiUpper, 0, kAccess3F, &h), ERROR_SUCCESS);
  store_.RegCloseKey(h);
}

TEST_F(Win32StoreTest, ANameTheCodePageCannotHoldReadsAsQuestionMarksAndOpensNothing) {
  // Another program may list a site whose name the 8-bit functions cannot carry.
  ASSERT_TRUE(CreateKeyW(std::wstring(kScratchW) + L"\\\u65E5\u672C.example"));
  std::vector<std::string> names = SubkeyNamesA(root_);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], "??.example");
  // The name read does not lead back to the key, nor to any other.
  HKEY h = 0x77;
  EXPECT_EQ(store_.RegOpenKeyA(root_, names[0], &h), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(store_.RegDeleteKeyA(root_, names[0]), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SubkeyNamesW(kScratchW).size(), 1u);
}

}  // namespace
}  // namespace pw::test
