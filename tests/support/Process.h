// Running a program of ours as a separate process, as a user would.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pw::test {

struct ProcessResult {
  int code = -1;  // exit code, or -signal when killed
  std::string out;
  std::string err;
};

// Runs `program` with `args`, `input` on its standard input and the variables
// in `env` added to (or, with an empty value, removed from) the environment.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "", const std::map<std::string, std::string>& env = {});

}  // namespace pw::test
