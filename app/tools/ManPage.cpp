// Writes the manual page of portwarden-cli from its table of verbs, at build
// time: portwarden-cli-manpage VERSION DATE FILE
#include <fstream>
#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: portwarden-cli-manpage VERSION DATE FILE\n";
    return 2;
  }
  std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
  pw::cli::WriteManPage(out, argv[1], argv[2]);
  out.close();
  if (!out) {
    std::cerr << "portwarden-cli-manpage: cannot write " << argv[3] << "\n";
    return 1;
  }
  return 0;
}
