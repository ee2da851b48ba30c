// Reading registry files: every syntax element, both headers and their
// encodings, and the files that must be refused whole.
#include <gtest/gtest.h>

#include "RegFileTestUtil.h"
#include "StoreText.h"
#include "regfile/RegFileReader.h"

namespace pw::test {
namespace {

constexpr const char* kIs = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

RegFile MustRead(const std::string& bytes) {
  RegFile file;
  RegFileError error;
  EXPECT_TRUE(ReadRegFile(bytes, "test.reg", file, error)) << error.Message();
  return file;
}

const RegFileValue& OnlyValue(const RegFile& file) {
  static RegFileValue none;
  if (file.keys.size() != 1 || file.keys[0].values.size() != 1) {
    ADD_FAILURE() << "expected one key with one value";
    return none;
  }
  return file.keys[0].values[0];
}

// One value line under one key, in a UTF-8 version 5.00 file.
RegFileValue ReadValueLine(const std::string& line) {
  return OnlyValue(MustRead("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n" + line +
                            "\r\n"));
}

TEST(RegFileReader, ReadsAVersion5FileAsThePlatformsEditorSavesIt) {
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]\r\n"
      u"\"User Agent\"=\"Mozilla/4.0 (compatible; MSIE 8.0)\"\r\n"
      u"@=\"unnamed\"\r\n"
      u"\"WarnOnPost\"=hex:01,00,00,00\r\n"
      u"\"CertificateRevocation\"=dword:00000001\r\n"
      u"\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\bücher.example]\r\n"
      u"\"*\"=dword:00000004\r\n";
  RegFile file = MustRead(Utf16File(text));
  EXPECT_EQ(file.format, RegFileFormat::Version5);
  ASSERT_EQ(file.keys.size(), 2u);
  const RegFileKey& settings = file.keys[0];
  EXPECT_EQ(settings.hive, HKEY_CURRENT_USER);
  EXPECT_EQ(settings.path, kIs);
  EXPECT_EQ(settings.line, 3);
  ASSERT_EQ(settings.values.size(), 4u);
  EXPECT_EQ(settings.values[0].name, "User Agent");
  EXPECT_EQ(settings.values[0].type, REG_SZ);
  EXPECT_EQ(settings.values[0].data, std::string("Mozilla/4.0 (compatible; MSIE 8.0)") + '\0');
  EXPECT_EQ(settings.values[1].name, "");
  EXPECT_EQ(settings.values[1].data, std::string("unnamed") + '\0');
  EXPECT_EQ(settings.values[2].type, REG_BINARY);
  EXPECT_EQ(settings.values[2].data, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(settings.values[3].type, REG_DWORD);
  EXPECT_EQ(settings.values[3].data, Dword(1));
  EXPECT_EQ(settings.values[3].line, 7);
  // UTF-16 names become the store's 8-bit text.
  EXPECT_EQ(file.keys[1].path, std::string(kIs) + "\\ZoneMap\\Domains\\" + StoreText("b\xC3\xBC" "cher.example"));
}

TEST(RegFileReader, ANameTheStoresTextCannotHoldRefusesTheFile) {
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"[HKEY_CURRENT_USER\\Software\\ok]\r\n"
      u"\r\n"
      u"[HKEY_CURRENT_USER\\Software\\例え.jp]\r\n"
      u"\"*\"=dword:00000004\r\n";
  const std::string name = "\xE4\xBE\x8B\xE3\x81\x88.jp";
  RegFile file;
  RegFileError error;
  bool read = ReadRegFile(Utf16File(text), "test.reg", file, error);
  if (StoreCanHold(name)) {  // UTF-8 on Linux
    ASSERT_TRUE(read) << error.Message();
    ASSERT_EQ(file.keys.size(), 2u);
    EXPECT_EQ(file.keys[1].path, "Software\\" + name);
  } else {  // a code page without these characters, on Windows
    EXPECT_FALSE(read);
    EXPECT_NE(error.Message().find("line 5"), std::string::npos) << error.Message();
  }
}

TEST(RegFileReader, AcceptsVersion5AsUtf8WithOrWithoutMarkAndWithLfOrCrlf) {
  std::string body = "[HKLM\\Software\\A]\n\"x\"=\"\xC3\xA9t\xC3\xA9\"\r\n";
  for (const std::string& bytes : {"Windows Registry Editor Version 5.00\n" + body,
                                   "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n" + body}) {
    RegFile file = MustRead(bytes);
    ASSERT_EQ(file.keys.size(), 1u);
    EXPECT_EQ(file.keys[0].hive, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(file.keys[0].path, "Software\\A");
    EXPECT_EQ(OnlyValue(file).data, StoreText("\xC3\xA9t\xC3\xA9") + '\0');
  }
}

TEST(RegFileReader, AcceptsUtf16WithoutItsByteOrderMark) {
  std::string bytes = Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKCU\\Software\\A]\r\n\"x\"=dword:0000000a\r\n");
  RegFile file = MustRead(bytes.substr(2));
  EXPECT_EQ(OnlyValue(file).data, Dword(10));
}

TEST(RegFileReader, ReadsRegedit4AsWindows1252) {
  RegFile file = MustRead(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Caf\xE9]\r\n"
      "\"\x80uro\"=\"na\xEFve\"\r\n"
      "\"path\"=hex(2):25,74,65,6d,70,25,5c,e9,00\r\n");
  EXPECT_EQ(file.format, RegFileFormat::Regedit4);
  ASSERT_EQ(file.keys.size(), 1u);
  EXPECT_EQ(file.keys[0].path, "Software\\" + StoreText("Caf\xC3\xA9"));
  ASSERT_EQ(file.keys[0].values.size(), 2u);
  EXPECT_EQ(file.keys[0].values[0].name, StoreText("\xE2\x82\xACuro"));
  EXPECT_EQ(file.keys[0].values[0].data, StoreText("na\xC3\xAFve") + '\0');
  // In a REGEDIT4 file the bytes of an expandable string are 8-bit text.
  EXPECT_EQ(file.keys[0].values[1].type, REG_EXPAND_SZ);
  EXPECT_EQ(file.keys[0].values[1].data, StoreText("%temp%\\\xC3\xA9") + '\0');
}

TEST(RegFileReader, HiveNamesInFullOrShortAndAnyCase) {
  RegFile file = MustRead(
      "Windows Registry Editor Version 5.00\r\n"
      "[HKEY_CURRENT_USER\\A]\r\n[HKCU\\B]\r\n[hkey_local_machine\\C]\r\n[hklm\\D\\]\r\n[HKEY_CURRENT_USER]\r\n");
  ASSERT_EQ(file.keys.size(), 5u);
  EXPECT_EQ(file.keys[0].hive, HKEY_CURRENT_USER);
  EXPECT_EQ(file.keys[1].hive, HKEY_CURRENT_USER);
  EXPECT_EQ(file.keys[1].path, "B");
  EXPECT_EQ(file.keys[2].hive, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(file.keys[3].hive, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(file.keys[3].path, "D");  // one trailing backslash names the same key
  EXPECT_EQ(file.keys[4].path, "");
}

TEST(RegFileReader, StringEscapesAndQuotedNames) {
  RegFileValue value = ReadValueLine(R"("a \"quoted\" \\ name"="C:\\Program Files\\\"x\"")");
  EXPECT_EQ(value.name, "a \"quoted\" \\ name");
  EXPECT_EQ(value.data, std::string("C:\\Program Files\\\"x\"") + '\0');
  // A semicolon inside quotes is text, not a comment.
  EXPECT_EQ(ReadValueLine(R"("a;b"="c;d" ; a comment)").data, std::string("c;d") + '\0');
  EXPECT_EQ(ReadValueLine(R"(""="empty name")").name, "");
  EXPECT_EQ(ReadValueLine(R"("e"="")").data, std::string(1, '\0'));
}

TEST(RegFileReader, DwordTakesOneToEightHexDigitsInAnyCase) {
  EXPECT_EQ(ReadValueLine("\"a\"=dword:ffffffff").data, Dword(0xFFFFFFFF));
  EXPECT_EQ(ReadValueLine("\"a\"=DWORD:7F").data, Dword(0x7F));
  EXPECT_EQ(ReadValueLine("\"a\"=dword:00007960 ; 31072").data, Dword(31072));
}

TEST(RegFileReader, HexOfEveryTypeKeepsTypeAndBytes) {
  RegFileValue none = ReadValueLine("\"n\"=hex(0):01,02");
  EXPECT_EQ(none.type, REG_NONE);
  EXPECT_EQ(none.data, "\x01\x02");
  RegFileValue qword = ReadValueLine("\"q\"=hex(b):01,00,00,00,00,00,00,80");
  EXPECT_EQ(qword.type, REG_QWORD);
  EXPECT_EQ(qword.data, std::string("\x01\0\0\0\0\0\0\x80", 8));
  RegFileValue odd = ReadValueLine("\"o\"=hex(12345678):ff");
  EXPECT_EQ(odd.type, 0x12345678u);
  EXPECT_EQ(odd.data, "\xFF");
  RegFileValue empty = ReadValueLine("\"e\"=hex:");
  EXPECT_EQ(empty.type, REG_BINARY);
  EXPECT_EQ(empty.data, "");
  RegFileValue dwordBytes = ReadValueLine("\"d\"=hex(4):01,02");
  EXPECT_EQ(dwordBytes.type, REG_DWORD);
  EXPECT_EQ(dwordBytes.data, "\x01\x02");
  RegFileValue spaced = ReadValueLine("\"s\"=hex: 1 , A,ff");
  EXPECT_EQ(spaced.data, "\x01\x0A\xFF");
}

TEST(RegFileReader, WideTextOfTypes1And2And7BecomesStoreText) {
  // "%SystemRoot%\é" and a NUL, in UTF-16LE.
  RegFileValue expand =
      ReadValueLine("\"x\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,e9,00,00,00");
  EXPECT_EQ(expand.type, REG_EXPAND_SZ);
  EXPECT_EQ(expand.data, StoreText("%SystemRoot%\\\xC3\xA9") + '\0');
  // "a", "bc" and the closing empty string.
  RegFileValue multi = ReadValueLine("\"m\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00");
  EXPECT_EQ(multi.type, REG_MULTI_SZ);
  EXPECT_EQ(multi.data, std::string("a\0bc\0\0", 6));
  RegFileValue sz = ReadValueLine("\"s\"=hex(1):0a,00,00,00");
  EXPECT_EQ(sz.type, REG_SZ);
  EXPECT_EQ(sz.data, std::string("\n\0", 2));
}

TEST(RegFileReader, ContinuationLinesJoinWithLeadingBlanksDropped) {
  RegFile file = MustRead(
      "Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\Software\\T]\r\n"
      "\"b\"=hex:01,02,\\\r\n"
      "  03,04,\\\r\n"
      "\t05\r\n"
      "\"after\"=dword:00000001\r\n");
  ASSERT_EQ(file.keys[0].values.size(), 2u);
  EXPECT_EQ(file.keys[0].values[0].data, "\x01\x02\x03\x04\x05");
  EXPECT_EQ(file.keys[0].values[1].line, 7);
  // A backslash at the end of a comment or inside quotes does not continue.
  RegFile comment = MustRead(
      "Windows Registry Editor Version 5.00\r\n[HKCU\\T]\r\n\"a\"=\"x\" ; ends in \\\r\n\"b\"=\"c:\\\\\"\r\n");
  ASSERT_EQ(comment.keys[0].values.size(), 2u);
  EXPECT_EQ(comment.keys[0].values[1].data, std::string("c:\\") + '\0');
}

TEST(RegFileReader, DeletionsOfKeysAndValues) {
  RegFile file = MustRead(
      "Windows Registry Editor Version 5.00\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
      "[HKEY_CURRENT_USER\\Software\\Kept]\r\n"
      "\"gone\"=-\r\n"
      "@=-\r\n");
  ASSERT_EQ(file.keys.size(), 2u);
  EXPECT_TRUE(file.keys[0].remove);
  EXPECT_EQ(file.keys[0].path, "Software\\Old");
  EXPECT_FALSE(file.keys[1].remove);
  ASSERT_EQ(file.keys[1].values.size(), 2u);
  EXPECT_TRUE(file.keys[1].values[0].remove);
  EXPECT_EQ(file.keys[1].values[0].name, "gone");
  EXPECT_TRUE(file.keys[1].values[1].remove);
  EXPECT_EQ(file.keys[1].values[1].name, "");
}

TEST(RegFileReader, CommentsBlankLinesAndIndentationAreIgnored) {
  RegFile file = MustRead(
      "Windows Registry Editor Version 5.00   \n"
      "; a comment\n"
      "\n"
      "   \t\n"
      "  [HKCU\\Software\\A] ; a key\n"
      "  ;\"not\"=\"a value\"\n"
      "  \"v\" = dword:00000001\n");
  ASSERT_EQ(file.keys.size(), 1u);
  EXPECT_EQ(file.keys[0].path, "Software\\A");
  ASSERT_EQ(file.keys[0].values.size(), 1u);
  EXPECT_EQ(file.keys[0].values[0].name, "v");
}

TEST(RegFileReader, KeyNamesMayHoldBrackets) {
  RegFile file = MustRead("Windows Registry Editor Version 5.00\r\n[HKCU\\Software\\[x]y]]\r\n");
  ASSERT_EQ(file.keys.size(), 1u);
  EXPECT_EQ(file.keys[0].path, "Software\\[x]y]");
}

TEST(RegFileReader, AKeyLineEndsAtItsLastBracketAsThePlatformsEditorReadsIt) {
  RegFile file = MustRead("Windows Registry Editor Version 5.00\r\n[HKCU\\Software\\a] ;x.b] ; note\r\n");
  ASSERT_EQ(file.keys.size(), 1u);
  EXPECT_EQ(file.keys[0].path, "Software\\a] ;x.b");
}

class MalformedFileTest : public testing::TestWithParam<MalformedFile> {};

TEST_P(MalformedFileTest, IsRefusedWholeNamingFileLineAndFault) {
  const MalformedFile& bad = GetParam();
  RegFile file;
  RegFileError error;
  ASSERT_FALSE(ReadRegFile(bad.bytes, "sites.reg", file, error));
  EXPECT_TRUE(file.keys.empty()) << "a refused file yields no keys";
  EXPECT_EQ(error.file, "sites.reg");
  EXPECT_EQ(error.line, bad.line) << error.Message();
  EXPECT_NE(error.what.find(bad.fragment), std::string::npos) << error.Message();
  EXPECT_EQ(error.Message().rfind("sites.reg, line " + std::to_string(bad.line) + ": ", 0), 0u) << error.Message();
}

INSTANTIATE_TEST_SUITE_P(RegFileReader, MalformedFileTest, testing::ValuesIn(MalformedFiles()),
                         [](const testing::TestParamInfo<MalformedFile>& info) { return info.param.name; });

#ifndef _WIN32
TEST(RegFileReader, AByteThatIsNotWindows1252IsRefusedOnItsLine) {
  RegFile file;
  RegFileError error;
  EXPECT_FALSE(ReadRegFile("REGEDIT4\r\n\r\n[HKCU\\Software]\r\n\"a\"=\"\x81\"\r\n", "old.reg", file, error));
  EXPECT_EQ(error.line, 4);
}
#endif

}  // namespace
}  // namespace pw::test
