// Group Policy registry files: the bytes of each kind of entry, and the files
// that must be refused whole.
#include <gtest/gtest.h>

#include "RegFileTestUtil.h"
#include "regfile/PolicyFile.h"

namespace pw::test {
namespace {

// Text as the format holds it, encoded by the compiler rather than the code
// under test.
std::string Wide(std::u16string_view text) { return Utf16File(text).substr(2); }

std::string Entry(std::u16string_view key, std::u16string_view name, std::uint32_t type, const std::string& data) {
  return Wide(u"[") + Wide(key) + Wide(std::u16string(1, u'\0')) + Wide(u";") + Wide(name) +
         Wide(std::u16string(1, u'\0')) + Wide(u";") + Dword(type) + Wide(u";") +
         Dword(static_cast<std::uint32_t>(data.size())) + Wide(u";") + data + Wide(u"]");
}

const std::string kHeader = std::string("PReg") + Dword(1);

TEST(PolicyFile, EveryKindOfEntryIsWrittenAsTheFormatLaysItOutAndReadBack) {
  std::string nul(2, '\0');
  PolicyFile file;
  file.entries = {
      {"Software\\Policies\\P", "**delvals.", REG_SZ, Wide(u" ") + nul, 0},
      {"Software\\Policies\\P", "**del.old", REG_SZ, Wide(u" ") + nul, 0},
      {"Software\\Policies\\P", "*://*.bücher.example", REG_SZ, Wide(u"2") + nul, 0},
      {"Software\\Policies\\P\\Zones\\3", "1200", REG_DWORD, Dword(3), 0},
      {"Software\\Policies\\P\\Zones\\3", "1C00", REG_BINARY, std::string("\0\0\1\0", 4), 0},
      {"Software\\Policies\\\xF0\x9F\x9B\xA1", "", REG_SZ, nul, 0},
  };
  std::string expected = kHeader + Entry(u"Software\\Policies\\P", u"**delvals.", 1, Wide(u" ") + nul) +
                         Entry(u"Software\\Policies\\P", u"**del.old", 1, Wide(u" ") + nul) +
                         Entry(u"Software\\Policies\\P", u"*://*.bücher.example", 1, Wide(u"2") + nul) +
                         Entry(u"Software\\Policies\\P\\Zones\\3", u"1200", 4, Dword(3)) +
                         Entry(u"Software\\Policies\\P\\Zones\\3", u"1C00", 3, std::string("\0\0\1\0", 4)) +
                         Entry(u"Software\\Policies\\\U0001F6E1", u"", 1, nul);
  std::string bytes;
  Result written = WritePolicyFile(file, bytes);
  ASSERT_TRUE(written.Ok()) << written.Message();
  EXPECT_EQ(bytes, expected);

  PolicyFile read;
  PolicyFileError readError;
  ASSERT_TRUE(ReadPolicyFile(bytes, "Registry.pol", read, readError)) << readError.Message();
  ASSERT_EQ(read.entries.size(), file.entries.size());
  for (std::size_t i = 0; i < file.entries.size(); ++i) {
    EXPECT_EQ(read.entries[i].key, file.entries[i].key) << i;
    EXPECT_EQ(read.entries[i].name, file.entries[i].name) << i;
    EXPECT_EQ(read.entries[i].type, file.entries[i].type) << i;
    EXPECT_EQ(read.entries[i].data, file.entries[i].data) << i;
  }
  std::string text;
  ASSERT_TRUE(PolicyTextOf(read.entries[2], text));
  EXPECT_EQ(text, "2");
}

TEST(PolicyFile, AnEmptyListIsTheHeaderAlone) {
  std::string bytes;
  ASSERT_TRUE(WritePolicyFile({}, bytes).Ok());
  EXPECT_EQ(bytes, kHeader);
  PolicyFile read;
  PolicyFileError readError;
  EXPECT_TRUE(ReadPolicyFile(bytes, "empty.pol", read, readError));
  EXPECT_TRUE(read.entries.empty());
}

TEST(PolicyFile, NamesTheFormatCannotHoldAreRefusedNotMangled) {
  std::string bytes;
  Result written = WritePolicyFile({{{"K", std::string("a\0b", 3), REG_SZ, "", 0}}}, bytes);
  EXPECT_FALSE(written.Ok());
  EXPECT_NE(written.Message().find("entry 1"), std::string::npos) << written.Message();
  EXPECT_FALSE(WritePolicyFile({{{"K", "\xC3\x28", REG_SZ, "", 0}}}, bytes).Ok());
  EXPECT_TRUE(bytes.empty());
}

struct MalformedPolicy {
  std::string name;
  std::string bytes;
  std::size_t entry;  // the entry the error names; 0 for the header
  std::string fragment;
};

void PrintTo(const MalformedPolicy& file, std::ostream* out) { *out << file.name; }

class MalformedPolicyTest : public testing::TestWithParam<MalformedPolicy> {};

// A good first entry comes before each fault, so that a reader that kept what
// it read so far would return something.
std::vector<MalformedPolicy> MalformedPolicies() {
  std::string good = kHeader + Entry(u"K", u"a", REG_DWORD, Dword(2));
  std::string entry = Entry(u"K", u"b", REG_DWORD, Dword(2));
  auto without = [&](std::size_t from, std::size_t count) { return good + std::string(entry).erase(from, count); };
  return {
      {"Empty", "", 0, "empty"},
      {"NotPReg", "PRex" + Dword(1), 0, "\"PReg\""},
      {"HeaderCutShort", "PReg", 0, "\"PReg\""},
      {"Version2", std::string("PReg") + Dword(2), 0, "version 2"},
      {"NoOpeningBracket", good + entry.substr(2), 2, "'['"},
      {"KeyWithoutNul", good + Wide(u"[K"), 2, "no terminating NUL"},
      {"NoSemicolonAfterKey", without(6, 2), 2, "';' after the key"},
      {"TypeCutShort", good + entry.substr(0, 16), 2, "cut short in the type"},
      {"UnknownType", good + Entry(u"K", u"b", 12, ""), 2, "unknown value type 12"},
      {"DwordOfThreeBytes", good + Entry(u"K", u"b", REG_DWORD, "abc"), 2, "4 bytes, not 3"},
      {"OddText", good + Entry(u"K", u"b", REG_SZ, "abc"), 2, "not whole UTF-16"},
      {"DataPastTheEnd", good + entry.substr(0, entry.size() - 4), 2, "past the end"},
      {"NoClosingBracket", good + entry.substr(0, entry.size() - 2) + Wide(u")"), 2, "']'"},
      {"StrayByteAfterTheLast", good + "x", 2, "cut short"},
      {"UnpairedSurrogate", good + Entry(u"K", u"\xD800", REG_SZ, ""), 2, "not valid UTF-16"},
      {"EmptyKey", good + Entry(u"", u"b", REG_SZ, ""), 2, "key name is empty"},
  };
}

TEST_P(MalformedPolicyTest, IsRefusedWholeNamingTheEntryAndFault) {
  const MalformedPolicy& bad = GetParam();
  PolicyFile file;
  PolicyFileError error;
  ASSERT_FALSE(ReadPolicyFile(bad.bytes, "bad.pol", file, error));
  EXPECT_TRUE(file.entries.empty());
  EXPECT_EQ(error.entry, bad.entry) << error.Message();
  EXPECT_NE(error.Message().find("bad.pol"), std::string::npos);
  EXPECT_NE(error.what.find(bad.fragment), std::string::npos) << error.what;
}

INSTANTIATE_TEST_SUITE_P(PolicyFile, MalformedPolicyTest, testing::ValuesIn(MalformedPolicies()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace pw::test
