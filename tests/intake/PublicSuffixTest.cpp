// The compiled-in Public Suffix List reads as libpsl, the list's reference
// reader on Linux, reads the same file: every rule, and names one and two
// labels below it (wildcards and their exceptions included). The Windows
// build has no libpsl and relies on this reading.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <libpsl.h>

#include <fstream>

#include "intake/PublicSuffix.h"

namespace pw::test {
namespace {

TEST(PublicSuffix, ReadsEveryRuleOfTheListAsLibpslDoes) {
  psl_ctx_t* psl = psl_load_file(PW_PUBLIC_SUFFIX_LIST);
  ASSERT_TRUE(psl) << PW_PUBLIC_SUFFIX_LIST;
  std::ifstream list(PW_PUBLIC_SUFFIX_LIST);
  int names = 0, differing = 0;
  std::string line;
  while (std::getline(list, line)) {
    if (line.empty() || line.rfind("//", 0) == 0) continue;
    std::string rule = line.substr(0, line.find_first_of(" \t\r"));
    std::string name = rule[0] == '!' ? rule.substr(1) : rule.rfind("*.", 0) == 0 ? rule.substr(2) : rule;
    for (const char* front : {"", "x.", "Ab.x."}) {
      std::string host = front + name;
      char* lower = nullptr;
      ASSERT_EQ(psl_str_to_utf8lower(host.c_str(), "utf-8", nullptr, &lower), PSL_SUCCESS) << host;
      const char* theirs = psl_registrable_domain(psl, lower);
      std::string ours(RegistrableDomain(host));
      for (char& c : ours) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      ++names;
      if (ours != (theirs ? theirs : "") && ++differing <= 10)
        ADD_FAILURE() << host << ": libpsl " << (theirs ? theirs : "(a public suffix)") << ", ours "
                      << (ours.empty() ? "(a public suffix)" : ours);
      psl_free_string(lower);
    }
  }
  psl_free(psl);
  EXPECT_GT(names, 20000);
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace pw::test
#endif
