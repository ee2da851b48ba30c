// portwarden-cli's list, parse, add, set and delete, run in process on a store
// the test keeps.
#include <gtest/gtest.h>

#include <sstream>

#include "CliTestSupport.h"
#include "ZoneMap.h"
#include "intake/SiteAddress.h"
#include "registry/ForwardingStore.h"

namespace pw::test {
namespace {

class SiteVerbsTest : public testing::Test {
 protected:
  SiteVerbsTest() : map_(cli_.Store()) { map_.AddBase(); }

  // Runs the command line; returns the exit code, with Out() and Err() holding
  // what it printed.
  int Run(std::vector<std::string> args, const std::string& input = "") {
    last_ = cli_.Run(std::move(args), input);
    return last_.code;
  }

  std::string Out() const { return last_.out; }
  std::string Err() const { return last_.err; }

  CliHarness cli_;
  ZoneMap map_;
  CliResult last_;
};

// --- list ---

// The icon is the picture the list shows (the first data byte); the zone is
// the one the value sets, as the browser reads it.
TEST_F(SiteVerbsTest, ListShowsTheRowsAsTheSiteListHasThem) {
  map_.SetZone("example.com", "*", 2);
  map_.SetZone("example.com\\mail", "http", 4);
  map_.SetZone("b.org", "ftp", 3);
  map_.SetZone("intranet.net", "*", 1);
  map_.SetZone("odd.net", "http", 7);
  map_.SetZone("wide.net", "http", 0x102);
  map_.SetZone("unnamed.org", "", 4);
  map_.AddKey("bare.com");
  ASSERT_EQ(Run({"list", "--format", "json"}), 0) << Err();
  EXPECT_EQ(Out(),
            "[\n"
            "{\"protocol\":\"ftp\",\"subdomain\":\"\",\"domain\":\"b.org\",\"icon\":3,\"zone\":3,\"name\":\"Unclassified\"},\n"
            "{\"protocol\":\"\",\"subdomain\":\"\",\"domain\":\"bare.com\",\"icon\":null,\"zone\":null,\"name\":null},\n"
            "{\"protocol\":\"http\",\"subdomain\":\"mail\",\"domain\":\"example.com\",\"icon\":4,\"zone\":4,\"name\":\"Restricted\"},\n"
            "{\"protocol\":\"Default\",\"subdomain\":\"\",\"domain\":\"example.com\",\"icon\":2,\"zone\":2,\"name\":\"Trusted\"},\n"
            "{\"protocol\":\"Default\",\"subdomain\":\"\",\"domain\":\"intranet.net\",\"icon\":1,\"zone\":1,\"name\":\"Local intranet\"},\n"
            "{\"protocol\":\"http\",\"subdomain\":\"\",\"domain\":\"odd.net\",\"icon\":7,\"zone\":null,\"name\":null},\n"
            "{\"protocol\":\"\",\"subdomain\":\"\",\"domain\":\"unnamed.org\",\"icon\":4,\"zone\":null,\"name\":null},\n"
            "{\"protocol\":\"http\",\"subdomain\":\"\",\"domain\":\"wide.net\",\"icon\":2,\"zone\":null,\"name\":null}\n"
            "]\n");
  ASSERT_EQ(Run({"list", "--format=tsv"}), 0);
  EXPECT_EQ(Out(),
            "protocol\tsubdomain\tdomain\ticon\tzone\tname\n"
            "ftp\t\tb.org\t3\t3\tUnclassified\n"
            "\t\tbare.com\t\t\t\n"
            "http\tmail\texample.com\t4\t4\tRestricted\n"
            "Default\t\texample.com\t2\t2\tTrusted\n"
            "Default\t\tintranet.net\t1\t1\tLocal intranet\n"
            "http\t\todd.net\t7\t\t\n"
            "\t\tunnamed.org\t4\t\t\n"
            "http\t\twide.net\t2\t\t\n");
  ASSERT_EQ(Run({"list"}), 0);
  EXPECT_EQ(Out(),
            "Protocol  Subdomain  Trusted Website Domains  Zone\n"
            "ftp                  b.org                    3 Unclassified\n"
            "                     bare.com\n"
            "http      mail       example.com              4 Restricted\n"
            "Default              example.com              2 Trusted\n"
            "Default              intranet.net             1 Local intranet\n"
            "http                 odd.net\n"
            "                     unnamed.org\n"
            "http                 wide.net\n");
}

TEST_F(SiteVerbsTest, ListOfAnEmptyZoneMap) {
  ASSERT_EQ(Run({"list", "--format", "json"}), 0);
  EXPECT_EQ(Out(), "[]\n");
  ASSERT_EQ(Run({"list", "--format", "tsv"}), 0);
  EXPECT_EQ(Out(), "protocol\tsubdomain\tdomain\ticon\tzone\tname\n");
  EXPECT_EQ(Run({"list", "--format", "xml"}), cli::kExitUsage);
  EXPECT_EQ(Run({"list", "extra"}), cli::kExitUsage);
}

TEST_F(SiteVerbsTest, ListEscapesWhatWouldBreakItsFormats) {
  map_.SetZone("example.com", "say \"hi\"\\\t\x01", 2);
  map_.SetZone("example.com", "caf\xC3\xA9", 2);
  map_.SetZone("example.com", "raw\xFF", 2);
  ASSERT_EQ(Run({"list", "--format", "json"}), 0);
  EXPECT_NE(Out().find("\"protocol\":\"say \\\"hi\\\"\\\\\\t\\u0001\""), std::string::npos) << Out();
  EXPECT_NE(Out().find("\"protocol\":\"caf\xC3\xA9\""), std::string::npos) << Out();
  EXPECT_NE(Out().find("\"protocol\":\"raw\\u00ff\""), std::string::npos) << Out();
  ASSERT_EQ(Run({"list", "--format", "tsv"}), 0);
  EXPECT_NE(Out().find("say \"hi\"\\\\\\t\\x01\t\texample.com\t2\t2\tTrusted\n"), std::string::npos) << Out();
}

// --- parse ---

TEST_F(SiteVerbsTest, ParsePrintsEachAddressAsAnObjectAndNeedsNoStore) {
  ASSERT_EQ(Run({"parse", "http://www.example.com/index.html"}), 0);
  EXPECT_EQ(Out(),
            "{\"Verdict\":\"Accepted\",\"AddressText\":\"http://www.example.com\",\"Domain\":\"example.com\","
            "\"SubDomain\":\"*\",\"FullSubDomain\":\"www\",\"IpText\":\"\"}\n");
  EXPECT_EQ(Err(), "");
  EXPECT_EQ(Run({"parse", "www.example.com", "a.com", "localhost"}), cli::kExitRefused);
  EXPECT_EQ(Out(),
            "{\"Verdict\":\"Accepted\",\"AddressText\":\"www.example.com\",\"Domain\":\"example.com\","
            "\"SubDomain\":\"*\",\"FullSubDomain\":\"www\",\"IpText\":\"\"}\n"
            "{\"Verdict\":\"TooShort\",\"AddressText\":\"\",\"Domain\":\"\",\"SubDomain\":\"\",\"FullSubDomain\":\"\","
            "\"IpText\":\"\"}\n"
            "{\"Verdict\":\"CorruptedUrl\",\"AddressText\":\"localhost\",\"Domain\":\"\",\"SubDomain\":\"\","
            "\"FullSubDomain\":\"\",\"IpText\":\"\"}\n");
  EXPECT_EQ(Err(), "");  // several addresses: no messages
}

TEST(SiteVerbsStore, ParseOpensNoStore) {
  std::istringstream in;
  std::ostringstream out, err;
  cli::Environment env{in, out, err};
  env.openStore = [](const std::optional<std::string>&, StoreAccess) {
    ADD_FAILURE() << "parse opened a store";
    return OpenedStore{};
  };
  EXPECT_EQ(cli::RunCli({"--store", "/nonexistent/x.db", "parse", "www.example.com"}, env), 0);
  EXPECT_NE(out.str().find("\"Accepted\""), std::string::npos);
}

TEST_F(SiteVerbsTest, ParseOfOneRefusedAddressShowsItsMessage) {
  EXPECT_EQ(Run({"parse", "http://192.0.2.1/login"}), cli::kExitRefused);
  EXPECT_NE(Out().find("\"Verdict\":\"FraudAlert\""), std::string::npos);
  EXPECT_NE(Out().find("\"IpText\":\"192.0.2.1\""), std::string::npos);
  EXPECT_EQ(Err().rfind("Fraud Alert\n", 0), 0u) << Err();
  EXPECT_NE(Err().find("IP Address: 192.0.2.1 in this link: http://192.0.2.1/login"), std::string::npos);
  EXPECT_EQ(Run({"parse", "www.example.com:8080"}), cli::kExitRefused);
  EXPECT_EQ(Err().rfind("Corrupted URL\nThe URL you have entered is incorrect", 0), 0u) << Err();
  EXPECT_EQ(Run({"parse", "a.com"}), cli::kExitRefused);
  EXPECT_EQ(Err(), "");
}

TEST_F(SiteVerbsTest, ParseReadsLinesFromStandardInput) {
  EXPECT_EQ(Run({"parse", "-"}, "example.com\r\n\n \t\r\nhttp://x.y.z/\nab\n"), cli::kExitRefused);
  std::istringstream lines(Out());
  std::vector<std::string> verdicts;
  for (std::string line; std::getline(lines, line);) verdicts.push_back(line.substr(0, line.find(',')));
  // Blank lines are no addresses: skipped, not refused.
  EXPECT_EQ(verdicts, (std::vector<std::string>{"{\"Verdict\":\"Accepted\"", "{\"Verdict\":\"Accepted\"",
                                                "{\"Verdict\":\"TooShort\""}));
  EXPECT_NE(Out().find("\"AddressText\":\"example.com\""), std::string::npos);  // the CR is gone
  EXPECT_EQ(Run({"parse", "-"}, "www.example.com\nhttp://a.b.example.com"), 0);
  EXPECT_EQ(Run({"parse"}), cli::kExitUsage);
}

TEST_F(SiteVerbsTest, ParseOutputIsValidJsonForAnyBytes) {
  ASSERT_EQ(Run({"parse", std::string("w\"w\\w.ex\x02") + "\xC3"}), cli::kExitRefused);
  EXPECT_NE(Out().find("\"AddressText\":\"w\\\"w\\\\w.ex\\u0002\\u00c3\""), std::string::npos) << Out();
}

// --- add ---

TEST_F(SiteVerbsTest, AddWritesTheGeneralisedListing) {
  ASSERT_EQ(Run({"add", "http://www.example.com/index.html", "--zone", "trusted"}), 0) << Err();
  EXPECT_EQ(map_.Zone("example.com", "*"), 2u);
  EXPECT_EQ(Out(), "example.com: \"*\" = 2 (Trusted)\n");
  ASSERT_EQ(Run({"add", "https://a.b.example.com/x"}), 0);
  EXPECT_EQ(map_.Zone("example.com\\*.b", "*"), 3u);  // no zone: Unclassified
  EXPECT_EQ(Out(), "example.com\\*.b: \"*\" = 3 (Unclassified)\n");
}

TEST_F(SiteVerbsTest, AddWithProtocolsWritesTheExactSubdomain) {
  ASSERT_EQ(Run({"add", "http://www.example.com/", "--protocols", "http,https", "--zone", "restricted"}), 0) << Err();
  EXPECT_EQ(map_.ValueNames("example.com\\www"), (std::vector<std::string>{"https", "http"}));
  EXPECT_EQ(map_.Zone("example.com\\www", "http"), 4u);
  EXPECT_EQ(Out(), "example.com\\www: \"https\" = 4 (Restricted)\nexample.com\\www: \"http\" = 4 (Restricted)\n");
  ASSERT_EQ(Run({"add", "example.org", "--protocols=ftp"}), 0);
  EXPECT_EQ(map_.Zone("example.org", "ftp"), 3u);
}

// Values as list prints them, or as people type them.
TEST_F(SiteVerbsTest, ZonesAndProtocolsInAnyCaseZonesByNumberListsWithSpaces) {
  ASSERT_EQ(Run({"add", "www.example.com", "--zone", "Trusted"}), 0) << Err();
  EXPECT_EQ(map_.Zone("example.com", "*"), 2u);
  ASSERT_EQ(Run({"add", "http://www.example.org/", "--protocols", "HTTPS, http", "--zone", "4"}), 0) << Err();
  EXPECT_EQ(map_.ValueNames("example.org\\www"), (std::vector<std::string>{"https", "http"}));
  EXPECT_EQ(map_.Zone("example.org\\www", "https"), 4u);
  ASSERT_EQ(Run({"set", "--domain", "example.org", "--subdomain", "www", "--protocol", "HTTP", "--zone", "UNCLASSIFIED"}),
            0)
      << Err();
  EXPECT_EQ(map_.Zone("example.org\\www", "http"), 3u);
  ASSERT_EQ(Run({"set", "--domain", "example.com", "--protocol", "default", "--zone", "3"}), 0) << Err();
  EXPECT_EQ(map_.Zone("example.com", "*"), 3u);
  EXPECT_EQ(Run({"add", "www.example.com", "--zone", "1"}), cli::kExitUsage);  // not a zone the map is for
}

// The designed message stays; the command line adds what was refused.
TEST_F(SiteVerbsTest, ARefusedAddressNamesWhatWasRefused) {
  EXPECT_EQ(Run({"add", "http://foo.bar:8080/x"}), cli::kExitRefused);
  EXPECT_EQ(Err().rfind(std::string("Corrupted URL\n") + kCorruptedUrlText + "\n", 0), 0u) << Err();
  EXPECT_NE(Err().find("\nportwarden-cli add: refused: the port :8080 "), std::string::npos) << Err();
}

TEST_F(SiteVerbsTest, AddRefusesWithTheMessageAndWritesNothing) {
  EXPECT_EQ(Run({"add", "a.com", "--zone", "trusted"}), cli::kExitRefused);
  EXPECT_NE(Err().find("too short"), std::string::npos);
  EXPECT_EQ(Run({"add", "http://192.0.2.1/login"}), cli::kExitRefused);
  EXPECT_EQ(Err().rfind("Fraud Alert\n", 0), 0u);
  EXPECT_EQ(Run({"add", "http://a\\b.example.com/"}), cli::kExitRefused);
  EXPECT_EQ(Err().rfind("Corrupted URL\n", 0), 0u);
  EXPECT_EQ(Run({"add", "www.example.com", "--zone", "green"}), cli::kExitUsage);
  EXPECT_EQ(Run({"add", "www.example.com", "--protocols", "http,gopher"}), cli::kExitUsage);
  EXPECT_EQ(Run({"add", "www.example.com", "--protocols", ","}), cli::kExitUsage);
  EXPECT_EQ(Run({"add"}), cli::kExitUsage);
  EXPECT_EQ(Run({"add", "www." + std::string(300, 'a') + ".com"}), cli::kExitRefused);  // no key name that long
  EXPECT_EQ(map_.ValueNames(""), std::vector<std::string>{});
  EXPECT_EQ(Run({"list", "--format", "json"}), 0);
  EXPECT_EQ(Out(), "[]\n");
}

// A store that refuses to make keys, as a full or read-only one does.
class KeyRefusingStore : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  LONG RegCreateKeyExA(HKEY, RegName, DWORD, RegName, DWORD, REGSAM, const void*, HKEY*, DWORD*) override {
    return ERROR_ACCESS_DENIED;
  }
};

TEST(SiteVerbsStore, AddThatTheStoreCannotTakeFails) {
  MemoryStore memory;
  std::istringstream in;
  std::ostringstream out, err;
  cli::Environment env{in, out, err};
  env.openStore = [&memory](const std::optional<std::string>&, StoreAccess) {
    OpenedStore opened;
    opened.store = std::make_unique<KeyRefusingStore>(memory);
    return opened;
  };
  EXPECT_EQ(cli::RunCli({"add", "www.example.com"}, env), cli::kExitFailure);
  EXPECT_NE(err.str().find("cannot write the listing"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

TEST_F(SiteVerbsTest, AddSaysWhatItReplacedAndKeepLeavesAListingAlone) {
  map_.SetZone("example.com", "*", 4);
  map_.SetZone("example.com\\www", "http", 2);
  ASSERT_EQ(Run({"add", "www.example.com", "--keep"}), 0) << Err();
  EXPECT_EQ(map_.Zone("example.com", "*"), 4u);
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(Err(), "portwarden-cli add: kept example.com: \"*\" = 4 (Restricted)\n");
  ASSERT_EQ(Run({"add", "http://www.example.com", "--protocols", "http,https", "--keep"}), 0);
  EXPECT_EQ(map_.Zone("example.com\\www", "http"), 2u);
  EXPECT_EQ(map_.Zone("example.com\\www", "https"), 3u);
  EXPECT_EQ(Out(), "example.com\\www: \"https\" = 3 (Unclassified)\n");
  ASSERT_EQ(Run({"add", "www.example.com"}), 0);
  EXPECT_EQ(map_.Zone("example.com", "*"), 3u);
  EXPECT_EQ(Err(), "portwarden-cli add: replaced example.com: \"*\" = 4 (Restricted)\n");
  ASSERT_EQ(Run({"add", "www.example.com"}), 0);  // the same zone again replaces nothing
  EXPECT_EQ(Err(), "");
}

TEST_F(SiteVerbsTest, DoubleDashEndsTheOptions) {
  EXPECT_EQ(Run({"parse", "-www.example.com"}), cli::kExitUsage);
  ASSERT_EQ(Run({"add", "--zone", "trusted", "--", "-www.example.com"}), 0) << Err();
  EXPECT_EQ(map_.Zone("example.com", "*"), 2u);
  EXPECT_EQ(Run({"add", "--", "--zone"}), cli::kExitRefused);  // an address now, and refused
}

// --- set and delete ---

TEST_F(SiteVerbsTest, SetChangesAnExistingListingOnly) {
  map_.SetZone("example.com", "*", 3);
  map_.SetZone("example.com\\mail", "http", 3);
  ASSERT_EQ(Run({"set", "--domain", "example.com", "--zone", "trusted"}), 0) << Err();
  EXPECT_EQ(map_.Zone("example.com", "*"), 2u);
  ASSERT_EQ(Run({"set", "--domain", "example.com", "--protocol", "Default", "--zone", "restricted"}), 0);  // as list shows "*"
  EXPECT_EQ(map_.Zone("example.com", "*"), 4u);
  ASSERT_EQ(Run({"set", "--domain", "example.com", "--subdomain", "mail", "--protocol", "http", "--zone",
                 "restricted"}),
            0);
  EXPECT_EQ(map_.Zone("example.com\\mail", "http"), 4u);
  EXPECT_EQ(Out(), "example.com\\mail: \"http\" = 4 (Restricted)\n");

  EXPECT_EQ(Run({"set", "--domain", "example.com", "--subdomain", "mail", "--protocol", "ftp", "--zone", "trusted"}),
            cli::kExitFailure);
  EXPECT_NE(Err().find("no listing \"ftp\""), std::string::npos) << Err();
  EXPECT_EQ(Run({"set", "--domain", "nowhere.com", "--zone", "trusted"}), cli::kExitFailure);
  EXPECT_FALSE(map_.KeyExists("nowhere.com"));
  EXPECT_EQ(map_.ValueNames("example.com\\mail"), std::vector<std::string>{"http"});
  EXPECT_EQ(Run({"set", "--domain", "example.com"}), cli::kExitUsage);
  EXPECT_EQ(Run({"set", "--domain", "example.com", "--protocol", "gopher", "--zone", "trusted"}), cli::kExitUsage);
}

TEST_F(SiteVerbsTest, DeleteRemovesTheListingAndPrunesLikeTheButton) {
  map_.SetZone("example.com", "*", 2);
  map_.SetZone("example.com\\mail", "http", 4);
  map_.AddKey("bare.com");
  ASSERT_EQ(Run({"delete", "--domain", "example.com", "--subdomain", "mail", "--protocol", "http"}), 0) << Err();
  EXPECT_FALSE(map_.KeyExists("example.com\\mail"));
  EXPECT_FALSE(map_.KeyExists("bare.com"));  // the prune runs over the whole list
  EXPECT_EQ(map_.Zone("example.com", "*"), 2u);
  EXPECT_EQ(Run({"delete", "--domain", "example.com", "--protocol", "http"}), cli::kExitFailure);
  EXPECT_EQ(map_.Zone("example.com", "*"), 2u);
  ASSERT_EQ(Run({"delete", "--domain", "example.com", "--protocol", "Default"}), 0);
  EXPECT_FALSE(map_.KeyExists("example.com"));
  EXPECT_EQ(Run({"delete"}), cli::kExitUsage);
  EXPECT_EQ(Run({"delete", "--domain", "example.com", "extra"}), cli::kExitUsage);
}

TEST_F(SiteVerbsTest, AWriteTheStoreFailsPrintsNoSuccessAndLeavesNothing) {
  map_.SetZone("example.com", "*", 3);
  cli_.wrap = [](RegistryStore& store) {
    auto made = std::make_unique<FailingStore>(store);
    made->failWrites = true;
    return made;
  };
  EXPECT_EQ(Run({"add", "http://www.example.org/", "--zone", "trusted"}), cli::kExitFailure);
  EXPECT_EQ(Out(), "");
  EXPECT_NE(Err().find("memory: 112 (disk full); nothing was written"), std::string::npos) << Err();
  EXPECT_FALSE(map_.KeyExists("example.org"));
  EXPECT_EQ(Run({"set", "--domain", "example.com", "--zone", "trusted"}), cli::kExitFailure);
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(map_.Zone("example.com", "*"), 3u);
}

TEST_F(SiteVerbsTest, ADeleteThatFailsSaysSoAndAPruneThatCannotRunFailsTheRun) {
  map_.SetZone("example.com", "*", 3);
  bool failDeletes = true;
  cli_.wrap = [&](RegistryStore& store) {
    auto made = std::make_unique<FailingStore>(store);
    made->failDeletes = failDeletes;
    made->failTransactions = !failDeletes;
    return made;
  };
  EXPECT_EQ(Run({"delete", "--domain", "example.com"}), cli::kExitFailure);
  EXPECT_EQ(Out(), "");
  EXPECT_NE(Err().find("cannot delete \"*\" from the key example.com"), std::string::npos) << Err();
  EXPECT_EQ(map_.Zone("example.com", "*"), 3u);
  failDeletes = false;
  EXPECT_EQ(Run({"delete", "--domain", "example.com"}), cli::kExitFailure);
  EXPECT_EQ(Out(), "example.com: \"*\" deleted\n");
  EXPECT_NE(Err().find("could not be removed: 170"), std::string::npos) << Err();
  EXPECT_TRUE(map_.KeyExists("example.com"));
}

}  // namespace
}  // namespace pw::test
