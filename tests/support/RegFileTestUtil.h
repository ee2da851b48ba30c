// Helpers shared by the registry-file tests.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "TempDir.h"
#include "regfile/RegFile.h"
#include "registry/MemoryStore.h"
#if defined(PW_HAVE_SQLITE)
#include "registry/SqliteStore.h"
#endif
#include "registry/Enumeration.h"
#include "registry/RegistryStore.h"

namespace pw::test {

// A version 5.00 file as the platform's editor saves it: byte-order mark, then
// the text in UTF-16LE. The compiler encodes the literal, not the code under test.
inline std::string Utf16File(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

inline std::string Dword(std::uint32_t n) {
  return std::string{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                     static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
}

// Every key and value under one key of a store, as text, read with the
// store's own enumeration: two stores hold the same when their dumps match.
inline void DumpKey(RegistryStore& store, HKEY key, const std::string& path, std::string& out) {
  out += "[" + path + "]\n";
  ForEachValue(store, key, [&](const EnumeratedValue& v) {
    out += "  " + v.name + " type " + std::to_string(v.type) + " :";
    static const char* digits = "0123456789abcdef";
    for (unsigned char c : v.data) out += std::string(" ") + digits[c >> 4] + digits[c & 15];
    out += "\n";
    return true;
  });
  std::vector<std::string> children;
  ForEachSubkey(store, key, [&](const std::string& name) {
    children.push_back(name);
    return true;
  });
  for (const std::string& name : children) {
    HKEY child = 0;
    if (store.RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) {
      out += "<cannot open " + name + ">\n";
      continue;
    }
    DumpKey(store, child, path + "\\" + name, out);
    store.RegCloseKey(child);
  }
}

inline std::string DumpStore(RegistryStore& store) {
  std::string out;
  DumpKey(store, HKEY_CURRENT_USER, "HKCU", out);
  DumpKey(store, HKEY_LOCAL_MACHINE, "HKLM", out);
  return out;
}

// The type and data of a value, or "<missing>".
inline std::string ValueOf(RegistryStore& store, HKEY hive, const std::string& path, const std::string& name,
                           DWORD* type = nullptr) {
  HKEY key = 0;
  if (store.RegOpenKeyExA(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
  DWORD size = 0;
  LONG status = store.RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
  std::string data(size, '\0');
  if (status == ERROR_SUCCESS)
    status = store.RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
  store.RegCloseKey(key);
  return status == ERROR_SUCCESS ? data.substr(0, size) : "<missing>";
}

inline bool KeyExists(RegistryStore& store, HKEY hive, const std::string& path) {
  HKEY key = 0;
  if (store.RegOpenKeyExA(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  store.RegCloseKey(key);
  return true;
}

}  // namespace pw::test

namespace pw::test {

// A file that must be refused whole: where and why.
struct MalformedFile {
  std::string name;
  std::string bytes;
  int line;              // the line the error names
  std::string fragment;  // a piece of the message
};

inline void PrintTo(const MalformedFile& file, std::ostream* out) { *out << file.name; }

// A valid first key and value come before the fault, so that a reader that
// wrote as it went would have written something.
inline std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

inline std::vector<MalformedFile> MalformedFiles() {
  const std::string head =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\good.example]\r\n"
      "\"*\"=dword:00000002\r\n";
  auto utf8 = [&](const std::string& tail) { return head + tail; };
  std::u16string head16;
  for (char c : head) head16 += static_cast<char16_t>(static_cast<unsigned char>(c));
  return {
      {"UnterminatedString", utf8("\"a\"=\"no end\r\n"), 5, "no closing quote"},
      {"UnterminatedName", utf8("\"abc=dword:00000001\r\n"), 5, "no closing quote"},
      {"BadHexDigit", utf8("\"a\"=hex:01,0g,03\r\n"), 5, "bad hex digit"},
      {"BadHexDigitOnContinuation", utf8("\"a\"=hex:01,02,\\\r\n  03,z4\r\n"), 6, "bad hex digit"},
      {"DwordOfNineDigits", utf8("\"a\"=dword:000000001\r\n"), 5, "9 hex digits"},
      {"DwordBadDigit", utf8("\"a\"=dword:0000000x\r\n"), 5, "bad hex digit"},
      {"MissingHeader", "[HKEY_CURRENT_USER\\Software]\r\n\"a\"=\"b\"\r\n", 1, "header"},
      {"EmptyFile", "", 1, "empty"},
      {"KeyOutsideBothHives", utf8("[HKEY_CLASSES_ROOT\\.reg]\r\n"), 5, "not under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE"},
      {"TruncatedUtf16", Utf16File(head16 + u"\"a\"=\"b\"\r\n").append("\x41"), 6, "cut short"},
      {"UnpairedSurrogate", Utf16File(head16 + u"\"a\"=\"\xD800\"\r\n"), 5, "UTF-16"},
      {"InvalidUtf8", utf8("\"a\"=\"\xC3\x28\"\r\n"), 5, "UTF-8"},
      {"BigEndian", "\xFE\xFF", 1, "big-endian"},
      {"ValueBeforeKey", "Windows Registry Editor Version 5.00\r\n\"a\"=\"b\"\r\n", 2, "before the first key"},
      {"ValueUnderDeletedKey", utf8("[-HKEY_CURRENT_USER\\Software\\X]\r\n\"a\"=\"b\"\r\n"), 6, "deletes"},
      {"UnknownEscape", utf8("\"a\"=\"c:\\temp\"\r\n"), 5, "unknown escape"},
      {"ContinuationAtEnd", utf8("\"a\"=hex:01,\\"), 5, "no line follows"},
      {"KeyWithoutBracket", utf8("[HKEY_CURRENT_USER\\Software\r\n"), 5, "no closing ']'"},
      {"TextAfterKey", utf8("[HKEY_CURRENT_USER\\Software] x\r\n"), 5, "after the key"},
      {"DeleteHive", utf8("[-HKEY_CURRENT_USER]\r\n"), 5, "hive cannot be deleted"},
      {"EmptyKeyComponent", utf8("[HKEY_CURRENT_USER\\Software\\\\X]\r\n"), 5, "empty name"},
      {"OddWideText", utf8("\"a\"=hex(2):41,00,42\r\n"), 5, "not valid UTF-16"},
      {"UnknownData", utf8("\"a\"=qword:1\r\n"), 5, "expected the value's data"},
      {"MissingEquals", utf8("\"a\" \"b\"\r\n"), 5, "expected '='"},
      {"TextAfterValue", utf8("\"a\"=\"b\" c\r\n"), 5, "after the value"},
      {"StrayLine", utf8("hello\r\n"), 5, "expected a key"},
      {"ByteOfThreeDigits", utf8("\"a\"=hex:012\r\n"), 5, "more than two hex digits"},
      {"MissingByteAfterComma", utf8("\"a\"=hex:01,\r\n"), 5, "bad hex digit"},
      {"BadTypeNumber", utf8("\"a\"=hex(xyz):00\r\n"), 5, "hex(N)"},
      {"KeyNameTooLong", utf8("[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\r\n"), 5, "255"},
      {"ControlCharacterInKeyName", utf8("[HKEY_CURRENT_USER\\Software\\a\rb]\r\n"), 5, "control character"},
      {"ControlCharacterInValueName", utf8("\"a\tb\"=dword:00000001\r\n"), 5, "control character"},
      {"KeyTooDeep", utf8("[HKEY_CURRENT_USER" + Repeated("\\d", 513) + "]\r\n"), 5, "512 levels"},
  };
}

// The stores the import and export run against: memory and, where built, an
// SQLite file in the test's folder.
struct Kind {
  std::string name;
  std::function<std::unique_ptr<RegistryStore>(TempDir&)> make;
};

inline void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.name; }

inline std::vector<Kind> Kinds() {
  std::vector<Kind> kinds = {{"Memory", [](TempDir&) { return std::make_unique<MemoryStore>(); }}};
#if defined(PW_HAVE_SQLITE)
  kinds.push_back({"Sqlite", [](TempDir& dir) -> std::unique_ptr<RegistryStore> {
                     SqliteStore::OpenResult opened = SqliteStore::Open(dir.File("store.db"));
                     EXPECT_TRUE(opened.store) << opened.error;
                     return std::move(opened.store);
                   }});
#endif
  return kinds;
}

}  // namespace pw::test
