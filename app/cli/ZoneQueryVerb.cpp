// zone: which zone the browser engine gives each address, and the listing that
// decides it.
#include <istream>
#include <ostream>

#include "Cli.h"
#include "listings/ZoneForUrl.h"
#include "registry/KnownKeys.h"

namespace pw::cli {
namespace {

const char* VerdictWord(ZoneVerdict verdict) {
  switch (verdict) {
    case ZoneVerdict::Listed:
      return "listed";
    case ZoneVerdict::NotListed:
      return "not listed";
    case ZoneVerdict::ByNumber:
      return "by number";
    default:
      return "not answered";
  }
}

void PrintJson(std::ostream& out, const std::string& address, const ZoneAnswer& answer) {
  bool answered = answer.verdict != ZoneVerdict::NotAnswered;
  bool listed = answer.verdict == ZoneVerdict::Listed;
  std::string key = std::string(kDomainsPath) + "\\" + answer.listing.domain +
                    (answer.listing.subdomain.empty() ? "" : "\\" + answer.listing.subdomain);
  out << "{\"address\":" << JsonString(address)
      << ",\"verdict\":" << JsonString(VerdictWord(answer.verdict))
      << ",\"zone\":" << (answered ? std::to_string(answer.zone) : "null")
      << ",\"name\":" << (answered ? JsonString(ZoneAnswerName(answer)) : "null") << ",\"hive\":"
      << (listed ? JsonString(answer.listing.hive == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE"
                                                                        : "HKEY_CURRENT_USER")
                 : "null")
      << ",\"key\":" << (listed ? JsonString(key) : "null")
      << ",\"value\":" << (listed ? JsonString(answer.listing.valueName) : "null")
      << ",\"reason\":" << JsonString(ZoneAnswerReason(answer)) << "}\n";
}

}  // namespace

int RunZone(Run& run) {
  run.access = StoreAccess::Read;
  std::string format = run.args.Option("--format").value_or("text");
  std::vector<std::string> words = run.args.Rest();
  if (format != "text" && format != "json")
    throw UsageError{"--format takes text or json, not '" + format + "'"};
  if (words.empty())
    throw UsageError{"give an address, or - to read addresses from standard input"};
  bool allAnswered = true;
  auto answer = [&](const std::string& typed) {
    std::string address = AddressAsTyped(typed);
    ZoneAnswer zone = ZoneForUrl(run.store, address);
    allAnswered = allAnswered && zone.verdict != ZoneVerdict::NotAnswered;
    if (format == "json") {
      PrintJson(run.env.out, address, zone);
    } else if (zone.verdict == ZoneVerdict::NotAnswered) {
      run.env.out << address << "\t-\t-\t" << ZoneAnswerReason(zone) << "\n";
    } else {
      run.env.out << address << "\t" << zone.zone << "\t" << ZoneAnswerName(zone) << "\t"
                  << ZoneAnswerReason(zone) << "\n";
    }
  };
  for (const std::string& word : words) {
    if (word != "-") {
      answer(word);
      continue;
    }
    std::string line;
    while (std::getline(run.env.in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") != std::string::npos) answer(line);
    }
  }
  return allAnswered ? kExitOk : kExitRefused;
}

}  // namespace pw::cli
