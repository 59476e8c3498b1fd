// axtune-cli-docs: writes the man page and the bash completion of axtune-cli from its command table
// (run by the build; not installed).
//   axtune-cli-docs man TEMPLATE VERSION OUT
//   axtune-cli-docs completion OUT
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "cli/command_table.h"
#include "core/save_target.h"

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  std::string text;
  std::string out;
  if (what == "man" && argc == 5) {
    std::ifstream in(argv[2], std::ios::binary);
    const std::string manTemplate((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      std::cerr << "axtune-cli-docs: cannot read " << argv[2] << '\n';
      return 3;
    }
    text = axtune::cli::ManPage(manTemplate, argv[3]);
    out = argv[4];
  } else if (what == "completion" && argc == 3) {
    text = axtune::cli::BashCompletion();
    out = argv[2];
  } else {
    std::cerr << "usage: axtune-cli-docs man TEMPLATE VERSION OUT | completion OUT\n";
    return 2;
  }
  const axtune::FileWriteResult written = axtune::WriteBytesAtomically(out, text.data(), text.size());
  if (!written.ok) {
    std::cerr << "axtune-cli-docs: " << written.reason << '\n';
    return 3;
  }
  return 0;
}
