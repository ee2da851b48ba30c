// The command-line program as a user runs it, on real store files. The Windows
// program has none (it works on the registry; tests/windows checks it there).
#if defined(PW_HAVE_SQLITE)
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <sstream>

#include "Process.h"
#include "TempDir.h"

namespace pw::test {
namespace {

ProcessResult Cli(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {}) {
  std::map<std::string, std::string> all = {{"PORTWARDEN_STORE", ""}};
  for (const auto& [k, v] : env) all[k] = v;
  return RunProcess(PW_CLI_BINARY, args, "", all);
}

TEST(CliProcess, OnlyAVerbThatWritesCreatesAStoreWithANoteAndPrivateMode) {
  TempDir dir;
  std::string path = dir.File("new.db");
  struct stat info;
  // A mistyped path: a verb that only reads names it and makes nothing there.
  ProcessResult read = Cli({"--store", path, "status"});
  EXPECT_EQ(read.code, 1);
  EXPECT_NE(read.err.find("no store at " + path), std::string::npos) << read.err;
  EXPECT_NE(stat(path.c_str(), &info), 0);
  ProcessResult first = Cli({"--store", path, "prompt"});
  EXPECT_EQ(first.code, 0) << first.err;
  EXPECT_NE(first.err.find("created a new store at " + path), std::string::npos) << first.err;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ProcessResult second = Cli({"secure", "--store=" + path});  // the option may stand anywhere
  EXPECT_EQ(second.code, 0) << second.err;
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(Cli({"status"}, {{"PORTWARDEN_STORE", path}}).out, "secured\n");
}

TEST(CliProcess, TheDefaultStoreLivesUnderXdgDataHomeInAPrivateFolder) {
  TempDir dir;
  struct stat info;
  // Before anything is written, it answers as a fresh profile and makes nothing.
  ProcessResult read = Cli({"status"}, {{"XDG_DATA_HOME", dir.File("data")}});
  EXPECT_EQ(read.out, "unsecured\n") << read.err;
  EXPECT_NE(stat(dir.File("data").c_str(), &info), 0);
  ProcessResult run = Cli({"secure"}, {{"XDG_DATA_HOME", dir.File("data")}});
  EXPECT_EQ(run.code, 0) << run.err;
  ASSERT_EQ(stat(dir.File("data/portwarden").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(stat(dir.File("data/portwarden/registry.db").c_str(), &info), 0);
}

TEST(CliProcess, AFileThatIsNotAStoreIsRefusedAndLeftAsItWas) {
  TempDir dir;
  for (const std::string& content : {std::string(), std::string("hello\n"), std::string(4096, '\xAB')}) {
    std::string path = dir.File("foreign");
    WriteFileBytes(path, content);
    ProcessResult run = Cli({"--store", path, "secure"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(path), content);
  }
}

TEST(CliProcess, RunningOutOfMemoryEndsWithAMessageAndWritesNothing) {
  TempDir dir;
  std::string path = dir.File("s.db");
  ASSERT_EQ(Cli({"--store", path, "default", "--yes"}).code, 0);
  // 20 MB of values, read under a heap of 64 MB.
  std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\x]\r\n";
  for (int i = 0; reg.size() < (20 << 20); ++i) reg += "\"v" + std::to_string(i) + "\"=dword:00000001\r\n";
  WriteFileBytes(dir.File("big.reg"), reg);
  ProcessResult run = RunProcess("/usr/bin/prlimit", {"--data=" + std::to_string(64 << 20), PW_CLI_BINARY, "--store",
                                                      path, "import", dir.File("big.reg")});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("portwarden-cli import: not enough memory to finish"), std::string::npos) << run.err;
  EXPECT_EQ(Cli({"--store", path, "export", "-", "--key", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                                     "Internet Settings\\x"}).code, 1);
}

TEST(CliProcess, AStoreInAMissingFolderIsNotCreated) {
  TempDir dir;
  ProcessResult run = Cli({"--store", dir.File("no/such/folder/s.db"), "secure"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
}

TEST(CliProcess, AWriteTheStoreRefusesFailsTheRunNamingTheStore) {
  TempDir dir;
  std::string path = dir.File("ro.db");
  ASSERT_EQ(Cli({"--store", path, "default", "--yes"}).code, 0);
  // Root writes to read-only files; an immutable file is refused to root too.
  bool immutable = geteuid() == 0;
  if (immutable && RunProcess("/usr/bin/chattr", {"+i", path}).code != 0)
    GTEST_SKIP() << "cannot make a file read-only for root here";
  if (!immutable) chmod(path.c_str(), 0400);
  ProcessResult run = Cli({"--store", path, "secure"});
  ProcessResult after = Cli({"--store", path, "status"});
  if (immutable) RunProcess("/usr/bin/chattr", {"-i", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("the store " + path + " failed"), std::string::npos) << run.err;
  EXPECT_EQ(after.out, "unsecured\n");
}

// Another process holds the store's write lock longer than a write waits.
TEST(CliProcess, AStoreThatStaysBusyFailsTheRunAndWritesNothing) {
  TempDir dir;
  std::string path = dir.File("busy.db");
  ASSERT_EQ(Cli({"--store", path, "default", "--yes"}).code, 0);
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  ProcessResult run = Cli({"--store", path, "secure"});
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("the store " + path + " failed"), std::string::npos) << run.err;
  EXPECT_EQ(Cli({"--store", path, "status"}).out, "unsecured\n");
}

TEST(CliProcess, AUsageErrorCreatesNoStore) {
  TempDir dir;
  std::string path = dir.File("new.db");
  EXPECT_EQ(Cli({"--store", path, "add"}).code, 2);
  EXPECT_EQ(Cli({"--store", path, "list", "--format", "xml"}).code, 2);
  struct stat info;
  EXPECT_NE(stat(path.c_str(), &info), 0);
}

TEST(CliProcess, OutputThatCannotBeWrittenFailsTheRun) {
  TempDir dir;
  std::string path = dir.File("s.db");
  ASSERT_EQ(Cli({"--store", path, "add", "www.example.com"}).code, 0);
  std::string file = dir.File("sites.reg");
  WriteFileBytes(file, "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
                       "Settings\\ZoneMap\\Domains\\b.example]\r\n\"*\"=dword:00000002\r\n");
  std::vector<std::vector<std::string>> runs = {
      {"list"}, {"status"}, {"parse", "www.example.com"}, {"import", "--dry-run", file}};
  for (const char* redirect : {">/dev/full", ">&-"}) {
    for (const std::vector<std::string>& words : runs) {
      std::vector<std::string> args = {"-c", std::string("exec \"$0\" \"$@\" ") + redirect, PW_CLI_BINARY,
                                       "--store", path};
      args.insert(args.end(), words.begin(), words.end());
      ProcessResult run = RunProcess("/bin/sh", args);
      EXPECT_EQ(run.code, 1) << words[0] << " " << redirect;
      EXPECT_NE(run.err.find("cannot write to standard output"), std::string::npos) << run.err;
    }
  }
}

TEST(CliProcess, VersionAndHelp) {
  ProcessResult version = Cli({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.rfind("portwarden-cli ", 0), 0u);
  ProcessResult help = Cli({"--help"});
  EXPECT_EQ(help.code, 0);
  // The verb table and the options keep to a terminal's width.
  std::istringstream lines(help.out.substr(0, help.out.find("\nexit codes:")));
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

}  // namespace
}  // namespace pw::test

#endif  // PW_HAVE_SQLITE
