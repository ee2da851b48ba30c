// Writing registry files: the exact text of every value form, both formats,
// and values kept byte for byte through writing and reading back.
#include <gtest/gtest.h>

#include "RegFileTestUtil.h"
#include "StoreText.h"
#include "regfile/RegFileReader.h"
#include "regfile/RegFileWriter.h"

namespace pw {
// Test names show the format, not its bytes.
inline void PrintTo(RegFileFormat format, std::ostream* out) {
  *out << (format == RegFileFormat::Version5 ? "Version5" : "Regedit4");
}
}  // namespace pw

namespace pw::test {
namespace {

RegFileValue Value(std::string name, DWORD type, std::string data) {
  RegFileValue value;
  value.name = std::move(name);
  value.type = type;
  value.data = std::move(data);
  return value;
}

RegFile OneKey(std::vector<RegFileValue> values, RegFileFormat format = RegFileFormat::Version5) {
  RegFile file;
  file.format = format;
  RegFileKey key;
  key.hive = HKEY_CURRENT_USER;
  key.path = "Software\\T";
  key.values = std::move(values);
  file.keys.push_back(std::move(key));
  return file;
}

std::string Line(const RegFileValue& value, RegFileFormat format = RegFileFormat::Version5) {
  std::string line;
  Result formatted = FormatValueLine(value, format, line);
  EXPECT_TRUE(formatted.Ok()) << formatted.Message();
  return line;
}

// The UTF-8 text of a version 5.00 file the writer made, checking its frame.
std::string TextOf(const std::string& bytes) {
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes.size() % 2, 0u);
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    EXPECT_EQ(bytes[i + 1], '\0') << "the test values are ASCII";
    text += bytes[i];
  }
  return text;
}

TEST(RegFileWriter, WritesVersion5AsUtf16WithMarkAndCrlf) {
  RegFile file = OneKey({Value("*", REG_DWORD, Dword(4)), Value("", REG_SZ, std::string("x") + '\0')});
  std::string bytes, error;
  ASSERT_TRUE(WriteRegFile(file, bytes, error)) << error;
  EXPECT_EQ(TextOf(bytes),
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\T]\r\n"
            "\"*\"=dword:00000004\r\n"
            "@=\"x\"\r\n"
            "\r\n");
}

TEST(RegFileWriter, WritesRegedit4As8BitText) {
  RegFile file =
      OneKey({Value(StoreText("caf\xC3\xA9"), REG_SZ, StoreText("\xE2\x82\xAC"))}, RegFileFormat::Regedit4);
  std::string bytes, error;
  ASSERT_TRUE(WriteRegFile(file, bytes, error)) << error;
  EXPECT_EQ(bytes, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"caf\xE9\"=\"\x80\"\r\n\r\n");
}

// Store text outside Windows-1252, and store text that is not valid, exist
// where the store's text is UTF-8; the Windows code page 1252 has neither.
#if !defined(_WIN32)
TEST(RegFileWriter, Regedit4RefusesTextOutsideWindows1252NamingTheValue) {
  RegFile file = OneKey({Value("jp", REG_SZ, "\xE4\xBE\x8B")}, RegFileFormat::Regedit4);
  std::string bytes, error;
  EXPECT_FALSE(WriteRegFile(file, bytes, error));
  EXPECT_NE(error.find("\"jp\""), std::string::npos) << error;
  EXPECT_NE(error.find("Windows-1252"), std::string::npos) << error;
  file.format = RegFileFormat::Version5;
  EXPECT_TRUE(WriteRegFile(file, bytes, error)) << error;
}
#endif

TEST(RegFileWriter, StringsEscapeBackslashAndQuote) {
  EXPECT_EQ(Line(Value("a\"b\\", REG_SZ, std::string("C:\\x \"y\"") + '\0')), R"("a\"b\\"="C:\\x \"y\"")");
}

TEST(RegFileWriter, AStringWithoutItsNulIsWrittenWhole) {
  EXPECT_EQ(Line(Value("s", REG_SZ, "abc")), "\"s\"=\"abc\"");
  EXPECT_EQ(Line(Value("s", REG_SZ, "")), "\"s\"=\"\"");
  EXPECT_EQ(Line(Value("s", REG_SZ, std::string(1, '\0'))), "\"s\"=\"\"");
}

TEST(RegFileWriter, AStringHoldingANulOrALineBreakIsWrittenAsHex1) {
  EXPECT_EQ(Line(Value("s", REG_SZ, std::string("a\0b\0", 4))), "\"s\"=hex(1):61,00,00,00,62,00,00,00");
  EXPECT_EQ(Line(Value("s", REG_SZ, "a\n")), "\"s\"=hex(1):61,00,0a,00");
  EXPECT_EQ(Line(Value("s", REG_SZ, "a\r"), RegFileFormat::Regedit4), "\"s\"=hex(1):61,0d");
}

TEST(RegFileWriter, ADwordOfAnotherSizeIsWrittenAsHex4) {
  EXPECT_EQ(Line(Value("d", REG_DWORD, Dword(0x7960))), "\"d\"=dword:00007960");
  EXPECT_EQ(Line(Value("d", REG_DWORD, "\x01\x02")), "\"d\"=hex(4):01,02");
  EXPECT_EQ(Line(Value("d", REG_DWORD, "")), "\"d\"=hex(4):");
}

TEST(RegFileWriter, OtherTypesAsHexWithTheirNumber) {
  EXPECT_EQ(Line(Value("b", REG_BINARY, std::string("\0\0\x01\0", 4))), "\"b\"=hex:00,00,01,00");
  EXPECT_EQ(Line(Value("n", REG_NONE, "")), "\"n\"=hex(0):");
  EXPECT_EQ(Line(Value("q", REG_QWORD, std::string(8, '\xFF'))), "\"q\"=hex(b):ff,ff,ff,ff,ff,ff,ff,ff");
  EXPECT_EQ(Line(Value("x", 0xABCDEF01u, "\x10")), "\"x\"=hex(abcdef01):10");
  EXPECT_EQ(Line(Value("e", REG_EXPAND_SZ, std::string("%a%") + '\0')), "\"e\"=hex(2):25,00,61,00,25,00,00,00");
  EXPECT_EQ(Line(Value("e", REG_EXPAND_SZ, std::string("%a%") + '\0'), RegFileFormat::Regedit4),
            "\"e\"=hex(2):25,61,25,00");
  RegFileValue removed = Value("gone", REG_NONE, "");
  removed.remove = true;
  EXPECT_EQ(Line(removed), "\"gone\"=-");
}

TEST(RegFileWriter, LongHexWrapsWithinEightyColumns) {
  RegFile file = OneKey({Value("Blob", REG_BINARY, std::string(100, '\x5A'))});
  std::string bytes, error;
  ASSERT_TRUE(WriteRegFile(file, bytes, error)) << error;
  std::string text = TextOf(bytes);
  std::size_t start = text.find("\"Blob\"");
  std::size_t lines = 0;
  std::string joined;
  for (std::size_t at = start; at < text.size();) {
    std::size_t end = text.find("\r\n", at);
    std::string line = text.substr(at, end - at);
    if (line.empty()) break;
    EXPECT_LE(line.size(), 80u) << line;
    if (lines > 0) {
      EXPECT_EQ(line.substr(0, 2), "  ");
    }
    ++lines;
    joined += line;
    at = end + 2;
  }
  EXPECT_GT(lines, 1u);
  EXPECT_EQ(joined.find("\\  5a"), joined.find('\\'));
}

TEST(RegFileWriter, NamesWithLineBreaksCannotBeWritten) {
  std::string bytes, error;
  EXPECT_FALSE(WriteRegFile(OneKey({Value("a\nb", REG_DWORD, Dword(1))}), bytes, error));
  EXPECT_NE(error.find("line break"), std::string::npos) << error;
  RegFile key = OneKey({});
  key.keys[0].path = "Software\\a\rb";
  EXPECT_FALSE(WriteRegFile(key, bytes, error));
}

#if !defined(_WIN32)
TEST(RegFileWriter, TextThatIsNotValidStoreTextIsRefusedNotMangled) {
  std::string bytes, error;
  EXPECT_FALSE(WriteRegFile(OneKey({Value("s", REG_SZ, "\xFF\xFE")}), bytes, error));
  EXPECT_NE(error.find("\"s\""), std::string::npos) << error;
  EXPECT_FALSE(WriteRegFile(OneKey({Value("e", REG_MULTI_SZ, "\xC3")}), bytes, error));
  // Binary data is bytes, whatever they are.
  EXPECT_TRUE(WriteRegFile(OneKey({Value("b", REG_BINARY, "\xFF\xFE")}), bytes, error)) << error;
}
#endif

// Every type, with data that is awkward for it, in both formats.
std::vector<RegFileValue> EveryKindOfValue(RegFileFormat format) {
  std::vector<RegFileValue> values = {
      Value("sz", REG_SZ, std::string("text \"quoted\" \\ back") + '\0'),
      Value("", REG_SZ, std::string(1, '\0')),
      Value("sz-inner-nul", REG_SZ, std::string("a\0b\0", 4)),
      Value("sz-two-nuls", REG_SZ, std::string("a\0\0", 3)),
      Value("sz-newline", REG_SZ, std::string("line1\r\nline2") + '\0'),
      Value("expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x") + '\0'),
      Value("expand-no-nul", REG_EXPAND_SZ, "%a%"),
      Value("multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9)),
      Value("binary", REG_BINARY, std::string("\0\xFF\x80\x7F", 4)),
      Value("binary-long", REG_BINARY, std::string(300, '\xA5')),
      Value("binary-empty", REG_BINARY, ""),
      Value("dword", REG_DWORD, Dword(0xDEADBEEF)),
      Value("dword-short", REG_DWORD, "\x01"),
      Value("dword-long", REG_DWORD, std::string("\x01\x02\x03\x04\x05", 5)),
      Value("big-endian", REG_DWORD_BIG_ENDIAN, Dword(0x01020304)),
      Value("link", REG_LINK, std::string("\x5C\0\x3F\0", 4)),
      Value("qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)),
      Value("none", REG_NONE, std::string("\x00\x01", 2)),
      Value("none-empty", REG_NONE, ""),
      Value("type-99", 0x99, "raw"),
      Value(std::string(300, 'N'), REG_DWORD, Dword(7)),
  };
  // Characters outside ASCII, each within what the format can hold.
  if (format == RegFileFormat::Version5) {
    values.push_back(Value("\xE4\xBE\x8B", REG_SZ, std::string("\xF0\x9F\x98\x80 \xC3\xA9") + '\0'));
    values.push_back(Value("wide-multi", REG_MULTI_SZ, std::string("\xE4\xBE\x8B\0\xC3\xA9\0\0", 8)));
  } else {
    values.push_back(Value("caf\xC3\xA9", REG_SZ, std::string("\xE2\x82\xAC \xC3\xBF") + '\0'));
    values.push_back(Value("multi-1252", REG_EXPAND_SZ, std::string("\xC3\xA9\0", 3)));
  }
  return values;
}

class RoundTrip : public testing::TestWithParam<RegFileFormat> {};

TEST_P(RoundTrip, EveryTypeKeepsItsDataByteForByte) {
  RegFile file = OneKey(EveryKindOfValue(GetParam()), GetParam());
  RegFileKey removed;
  removed.hive = HKEY_LOCAL_MACHINE;
  removed.path = "Software\\Old";
  removed.remove = true;
  file.keys.push_back(removed);
  std::string bytes, error;
  ASSERT_TRUE(WriteRegFile(file, bytes, error)) << error;
  RegFile back;
  RegFileError readError;
  ASSERT_TRUE(ReadRegFile(bytes, "written.reg", back, readError)) << readError.Message();
  EXPECT_EQ(back.format, GetParam());
  ASSERT_EQ(back.keys.size(), 2u);
  EXPECT_TRUE(back.keys[1].remove);
  const std::vector<RegFileValue>& want = file.keys[0].values;
  const std::vector<RegFileValue>& got = back.keys[0].values;
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(want[i].name.substr(0, 20));
    EXPECT_EQ(got[i].name, want[i].name);
    EXPECT_EQ(got[i].type, want[i].type);
    // Text read from quotes gains the terminating NUL, as the platform's
    // editor stores it; everything else comes back as it was.
    bool gainsNul = want[i].type == REG_SZ && (want[i].data.empty() || want[i].data.back() != '\0');
    EXPECT_EQ(got[i].data, gainsNul ? want[i].data + '\0' : want[i].data);
  }
  std::string again;
  ASSERT_TRUE(WriteRegFile(back, again, error)) << error;
  EXPECT_EQ(again, bytes);
}

INSTANTIATE_TEST_SUITE_P(RegFileWriter, RoundTrip, testing::Values(RegFileFormat::Version5, RegFileFormat::Regedit4),
                         [](const testing::TestParamInfo<RegFileFormat>& info) {
                           return info.param == RegFileFormat::Version5 ? "Version5" : "Regedit4";
                         });

}  // namespace
}  // namespace pw::test
