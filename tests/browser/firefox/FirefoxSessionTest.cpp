// Firefox's session file and profiles, written here as Firefox writes them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <lz4.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "MemoryBudget.h"
#include "TempDir.h"
#include "browser/FirefoxProfiles.h"
#include "browser/FirefoxSession.h"

namespace pw::test {
namespace {

using Pages = std::vector<std::string>;

std::string Packed(const std::string& json) {
  std::string block(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(json.size()))), '\0');
  int size = LZ4_compress_default(json.data(), block.data(), static_cast<int>(json.size()), static_cast<int>(block.size()));
  std::string bytes("mozLz40\0", 8);
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((json.size() >> (8 * i)) & 0xFF);
  return bytes + block.substr(0, static_cast<std::size_t>(size));
}

std::string Session(const std::string& url) {
  return R"({"windows":[{"tabs":[{"entries":[{"url":")" + url + R"("}]}]}]})";
}

TEST(FirefoxSession, TakesEachTabsCurrentEntryInWindowAndTabOrder) {
  std::string json = R"({"version":["sessionrestore",1],"windows":[
    {"tabs":[{"entries":[{"url":"http://a.example/1"},{"url":"http://a.example/2"}],"index":1,"hidden":false},
             {"entries":[{"url":"about:blank"}],"index":1},
             {"entries":[],"userTypedValue":"http://typed.example/"},
             {"entries":[{"url":"file:///home/ann/x.html"}]}],
     "_closedTabs":[{"state":{"entries":[{"url":"http://closed.example/"}]}}]},
    {"isPrivate":true,"tabs":[{"entries":[{"url":"http://private.example/"}]}]},
    {"tabs":[{"entries":[{"url":"http://b.example/1"},{"url":"http://b.example/2\nx"}]},
             {"entries":[{"url":"http://b.example/3"},{"url":"http://b.example/4"}],"index":9}]}],
    "_closedWindows":[{"tabs":[{"entries":[{"url":"http://gone.example/"}]}]}]})";
  EXPECT_EQ(SessionPageAddresses(json),
            (Pages{"http://a.example/1", "http://typed.example/", "file:///home/ann/x.html", "http://b.example/4"}));
  EXPECT_EQ(SessionPageAddresses(R"({"windows":[{"tabs":[7,{"entries":"x","index":"2"}]},null]})"), Pages{});
  EXPECT_EQ(SessionPageAddresses(R"({"windows":[{"tabs":[)"), std::nullopt);
}

TEST(FirefoxSession, RefusesEveryDamagedFile) {
  std::string json = Session("http://a.example/");
  std::string good = Packed(json);
  EXPECT_EQ(DecodeSessionFile(good), json);
  std::string magic = good, sizeUp = good, sizeDown = good, damaged = good;
  magic[3] = 'X';
  sizeUp[8] = static_cast<char>(sizeUp[8] + 1);
  sizeDown[8] = static_cast<char>(sizeDown[8] - 1);
  damaged[12] = static_cast<char>(0xFF);  // a literal run longer than the block
  std::string huge = good;
  huge[11] = 0x7F;
  for (const std::string& bytes : {magic, sizeUp, sizeDown, damaged, huge, good.substr(0, good.size() - 3),
                                   good.substr(0, 12), std::string()})
    EXPECT_EQ(DecodeSessionFile(bytes), std::nullopt);
}

TEST(FirefoxSession, TakesAFewMegabytesWhateverTheFileHolds) {
  // A text larger than any real session is not decoded at all.
  std::string large = Session("http://a.example/") + std::string(9 << 20, ' ');
  EXPECT_EQ(DecodeSessionFile(Packed(large)), std::nullopt);
  // A text of the largest size taken, of the smallest values a document would
  // make an entry of each, is read in a fraction of its size again.
  std::string json = R"({"windows":[)";
  while (json.size() < (std::size_t{8} << 20) - 64) json += "{},";
  json += R"({"tabs":[{"entries":[{"url":"http://last.example/"}]}]}]})";
  EXPECT_TRUE(FitsInMemory(std::size_t{16} << 20, [&] {
    if (SessionPageAddresses(json) != Pages{"http://last.example/"}) std::_Exit(3);
  }));
}

TEST(FirefoxSession, ReadsTheNewestReadableSessionFileOfAProfile) {
  TempDir profile;
  std::filesystem::create_directory(profile.Path() / "sessionstore-backups");
  EXPECT_EQ(ProfileOpenPages(profile.Path()), Pages{});
  auto put = [&](const std::string& name, const std::string& bytes, int age) {
    WriteFileBytes(profile.File(name), bytes);
    auto when = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(age);
    std::filesystem::last_write_time(profile.File(name), when);
  };
  put("sessionstore-backups/recovery.baklz4", Packed(Session("http://backup.example/")), 20);
  EXPECT_EQ(ProfileOpenPages(profile.Path()), Pages{"http://backup.example/"});  // between the renames
  put("sessionstore.jsonlz4", Packed(Session("http://older.example/")), 30);
  put("sessionstore-backups/recovery.jsonlz4", Packed(Session("http://half")).substr(0, 20), 1);
  EXPECT_EQ(ProfileOpenPages(profile.Path()), Pages{"http://backup.example/"});
  std::filesystem::remove(profile.File("sessionstore-backups/recovery.jsonlz4"));
  ASSERT_EQ(mkfifo(profile.File("sessionstore-backups/recovery.jsonlz4").c_str(), 0600), 0);
  EXPECT_EQ(ProfileOpenPages(profile.Path()), Pages{"http://backup.example/"});  // no wait on a pipe
}

TEST(FirefoxSession, TheLaterOfTwoFilesWrittenWithinOneSecondWins) {
  TempDir profile;
  std::filesystem::create_directory(profile.Path() / "sessionstore-backups");
  auto put = [&](const std::string& name, const std::string& url, long nanoseconds) {
    WriteFileBytes(profile.File(name), Packed(Session(url)));
    struct timespec times[2] = {{1700000000, nanoseconds}, {1700000000, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, profile.File(name).c_str(), times, 0), 0);
  };
  put("sessionstore-backups/recovery.jsonlz4", "http://earlier.example/", 100);
  put("sessionstore.jsonlz4", "http://later.example/", 900);
  EXPECT_EQ(ProfileOpenPages(profile.Path()), Pages{"http://later.example/"});
}

TEST(FirefoxProfiles, TheProfileInUseIsTheLockedOneInstallationDefaultsFirst) {
  TempDir root;
  WriteFileBytes(root.File("profiles.ini"),
                 "[Profile1]\r\nName=other\r\nIsRelative=1\r\nPath=b.other\r\n\r\n"
                 "[Profile0]\r\nName=old\r\nIsRelative=0\r\nPath=/elsewhere/a.old\r\nDefault=1\r\n\r\n"
                 "[Install4F96D1932A9F858E]\r\nDefault=c.esr\r\nLocked=1\r\n");
  WriteFileBytes(root.File("installs.ini"), "[3B6073811A6ABF12]\nDefault=d.release\nLocked=1\n");
  std::string base = root.Path().string() + "/";
  EXPECT_EQ(ListedProfiles(root.Path()),
            (Pages{base + "d.release", base + "c.esr", "/elsewhere/a.old", base + "b.other"}));

  EXPECT_EQ(ProfileInUse({root.Path()}), std::nullopt);  // no Firefox runs
  std::filesystem::create_directory(root.Path() / "b.other");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  if (holder == 0) {  // a browser holding its profile's lock
    int fd = open((base + "b.other/.parentlock").c_str(), O_WRONLY | O_CREAT, 0600);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    fcntl(fd, F_SETLK, &lock);
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char signal;
  ASSERT_EQ(read(ready[0], &signal, 1), 1);
  EXPECT_EQ(ProfileInUse({base + "missing", root.Path()}), base + "b.other");
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_FALSE(ProfileLocked(base + "b.other"));
}

}  // namespace
}  // namespace pw::test
