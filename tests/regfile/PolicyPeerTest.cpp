// Registry.pol files checked against a second implementation of the format,
// Samba's, both ways: Samba reads what we write, and we read what Samba writes.
// Samba's Python modules exist on Linux only.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include "Process.h"
#include "RegFileTestUtil.h"
#include "ZoneMap.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "regfile/GroupPolicy.h"
#include "regfile/RegFileImport.h"

namespace pw::test {
namespace {

// Debian's own Python, where python3-samba installs its modules.
constexpr const char* kPython = "/usr/bin/python3";

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) hex += std::string{digits[c >> 4], digits[c & 15]};
  return hex;
}

std::string EntriesText(const std::vector<PolicyEntry>& entries) {
  std::string text;
  for (const PolicyEntry& e : entries)
    text += Hex(e.key) + "\t" + Hex(e.name) + "\t" + std::to_string(e.type) + "\t" + Hex(e.data) + "\n";
  return text;
}

ProcessResult Peer(const std::string& verb, const std::string& first, const std::string& second) {
  ProcessResult result = RunProcess(kPython, {PW_POLICY_PEER, verb, first, second});
  std::cout << result.out;
  return result;
}

TEST(PolicyPeer, SambaReadsEveryEntryOfAnExportedPolicyAsWritten) {
  MemoryStore store;
  LayOutNewStore(store);
  ZoneMap map(store);
  for (int i = 0; i < 20000; ++i) map.SetZone("site" + std::to_string(i) + ".example", "*", 2 + i % 3);
  map.SetZone("example.com\\www", "https", 4);
  map.SetZone("example.com\\*.b", "http", 3);
  map.SetZone("b\xC3\xBC" "cher.example\\\xE6\x97\xA5\xE6\x9C\xAC", "ftp", 2);
  Registry registry(store);
  WriteZoneProfile(registry, ZoneProfile::LockedDown);
  PolicyExport exported = ExportPolicy(store);
  ASSERT_TRUE(exported.ok) << exported.error;
  // The site list, the profile, and for Chrome and Edge two defaults, two list
  // deletions, 6,667 blocked and 6,667 allowed patterns (ftp has none).
  ASSERT_EQ(exported.file.entries.size(), 1u + 20003u + 28u + 2u * (4u + 6667u + 6667u));
  std::string bytes;
  Result written = WritePolicyFile(exported.file, bytes);
  ASSERT_TRUE(written.Ok()) << written.Message();

  TempDir dir;
  WriteFileBytes(dir.File("Registry.pol"), bytes);
  WriteFileBytes(dir.File("entries.tsv"), EntriesText(exported.file.entries));
  ProcessResult peer = Peer("check", dir.File("Registry.pol"), dir.File("entries.tsv"));
  EXPECT_EQ(peer.code, 0) << peer.err;
}

TEST(PolicyPeer, APolicyThatSambaWroteIsReadAndImported) {
  std::string two, three, four, space;
  PolicyText("2", two);
  PolicyText("3", three);
  PolicyText("4", four);
  PolicyText(" ", space);
  std::vector<PolicyEntry> entries = {
      {kPolicySiteListPath, "**delvals.", REG_SZ, space, 0},
      {kPolicySiteListPath, "*://*.example.com", REG_SZ, two, 0},
      {kPolicySiteListPath, "https://www.example.org", REG_SZ, four, 0},
      {kPolicySiteListPath, "ftp://*.b.b\xC3\xBC" "cher.example", REG_SZ, three, 0},
      {kPolicySiteListPath, "10.0.0.1", REG_SZ, two, 0},
      {kPolicyZonePath, "1200", REG_DWORD, Dword(3), 0},
      {kPolicyZonePath, "1C00", REG_BINARY, std::string("\0\0\1\0", 4), 0},
  };
  TempDir dir;
  WriteFileBytes(dir.File("entries.tsv"), EntriesText(entries));
  ProcessResult peer = Peer("pack", dir.File("entries.tsv"), dir.File("Registry.pol"));
  ASSERT_EQ(peer.code, 0) << peer.err;

  PolicyFile read;
  PolicyFileError readError;
  ASSERT_TRUE(ReadPolicyFile(ReadFileBytes(dir.File("Registry.pol")), "Registry.pol", read, readError))
      << readError.Message();
  EXPECT_EQ(EntriesText(read.entries), EntriesText(entries));
  PolicyImportPlan plan = PlanPolicyImport(read);
  EXPECT_EQ(plan.listings, 3u);
  EXPECT_EQ(plan.skipped.size(), 1u);  // the IP address
  EXPECT_EQ(plan.besideSiteList, 2u);  // the zone's profile values, as our own export writes them
  MemoryStore store;
  LayOutNewStore(store);
  ASSERT_EQ(ApplyImport(store, plan.file, PlanImport(plan.file, false)).error, "");
  ZoneMap map(store);
  EXPECT_EQ(map.Zone("example.com", "*"), 2u);
  EXPECT_EQ(map.Zone("example.org\\www", "https"), 4u);
  EXPECT_EQ(map.Zone("b\xC3\xBC" "cher.example\\*.b", "ftp"), 3u);
}

}  // namespace
}  // namespace pw::test
#endif
