// zone: which zone the browser engine gives each address, and the listing that
// decides it.
#include <istream>
#include <ostream>
#include <utility>

#include "Cli.h"
#include "listings/ZoneAddress.h"
#include "listings/ZoneAnswerText.h"
#include "listings/ZoneForUrl.h"
#include "registry/KnownKeys.h"
#include "registry/Utf8.h"

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

// Far beyond any address a browser takes (about 2,000 characters, or a few
// tens of thousands in the most generous): a longer line ends the reading, so
// that an input without line ends (a device) is not read without end.
constexpr std::size_t kMaxLine = std::size_t{1} << 20;

// One line without its line feed, of at most kMaxLine + 1 characters: a
// longer one is not read further. False at the end.
bool ReadLine(std::istream& in, std::string& line) {
  line.clear();
  std::streambuf* buffer = in.rdbuf();
  for (bool any = false;; any = true) {
    int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return any;
    }
    if (c == '\n') return true;
    line += static_cast<char>(c);
    if (line.size() > kMaxLine) return true;
  }
}

}  // namespace

int RunZone(Run& run) {
  std::string format = run.args.Option("--format").value_or("text");
  std::vector<std::string> words = run.args.Rest();
  if (format != "text" && format != "json")
    throw UsageError{"--format takes text or json, not '" + format + "'"};
  if (words.empty())
    throw UsageError{"give an address, or - to read addresses from standard input"};
  bool allAnswered = true;
  // False when the store cannot be opened. It is opened for the first address
  // that can be read: one that cannot is answered without it.
  auto answer = [&](const std::string& typed) {
    std::string address = AddressAsTyped(typed);
    ZoneAddress read = ReadZoneAddress(address);
    RegistryStore* store = nullptr;
    if (read.problem.empty() && !(store = run.OpenStore(StoreAccess::Read))) return false;
    ZoneAnswer zone = ZoneForAddress(store, std::move(read));
    allAnswered = allAnswered && zone.verdict != ZoneVerdict::NotAnswered;
    if (format == "json") {
      PrintJson(run.env.out, address, zone);
    } else if (zone.verdict == ZoneVerdict::NotAnswered) {
      run.env.out << ShownText(address) << "\t-\t-\t" << ShownText(ZoneAnswerReason(zone)) << "\n";
    } else {
      run.env.out << ShownText(address) << "\t" << zone.zone << "\t" << ZoneAnswerName(zone) << "\t"
                  << ShownText(ZoneAnswerReason(zone)) << "\n";
    }
    return true;
  };
  for (const std::string& word : words) {
    if (word != "-") {
      if (!answer(word)) return kExitFailure;
      continue;
    }
    std::string line;
    for (int number = 1; ReadLine(run.env.in, line); ++number) {
      if (line.size() > kMaxLine) {
        run.env.err << "portwarden-cli zone: standard input line " << number << " is longer than " << kMaxLine
                    << " characters, which no address is; it holds no list of addresses\n";
        return kExitFailure;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") != std::string::npos && !answer(line)) return kExitFailure;
    }
  }
  return allAnswered ? kExitOk : kExitRefused;
}

}  // namespace pw::cli
