#include <unistd.h>

#include <iostream>

#include "Cli.h"

int main(int argc, char** argv) {
  pw::cli::Environment env{std::cin, std::cout, std::cerr};
  env.terminal = ::isatty(STDIN_FILENO) != 0;
  return pw::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
}
