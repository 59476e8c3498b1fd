// The man page and the bash completion are made from the command table: every command has its man
// section and its completion case, every option its man entry and its place in the completion, and
// the script is valid bash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/command_table.h"

namespace axtune::cli {
namespace {

using ::testing::HasSubstr;

std::string Roff(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

std::string ManTemplate() {
  std::ifstream in(std::string(AXTUNE_SOURCE_DIR) + "/packaging/man/axtune-cli.1");
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(CliDocs, EveryCommandAndOptionHasItsManSectionAndCompletion) {
  const std::string manTemplate = ManTemplate();
  ASSERT_THAT(manTemplate, HasSubstr("@COMMANDS@"));
  const std::string man = ManPage(manTemplate, "9.9.9");
  const std::string completion = BashCompletion();
  EXPECT_THAT(man, HasSubstr("\"Axtune 9.9.9\""));
  for (const char* placeholder : {"@COMMANDS@", "@OPTIONS@", "@PROJECT_VERSION@"})
    EXPECT_THAT(man, ::testing::Not(HasSubstr(placeholder)));

  // The words after `local commands="`, each with a space on either side.
  const size_t listAt = completion.find("local commands=\"");
  ASSERT_NE(listAt, std::string::npos);
  const size_t listFrom = listAt + std::string("local commands=\"").size();
  const std::string commandList =
      " " + completion.substr(listFrom, completion.find('"', listFrom) - listFrom) + " ";
  const std::vector<CommandDoc> commands = CommandDocs();
  ASSERT_GE(commands.size(), 19u);
  for (const CommandDoc& c : commands) {
    EXPECT_THAT(man, HasSubstr(".TP\n\\fB" + Roff(c.name) + "\\fR")) << c.name;
    EXPECT_THAT(commandList, HasSubstr(" " + c.name + " ")) << c.name;
    EXPECT_THAT(completion, HasSubstr("      " + c.name + ") COMPREPLY")) << c.name;
  }
  for (const OptionDoc& o : OptionDocs()) {
    EXPECT_THAT(man, HasSubstr("\\fB" + Roff(std::string("--") + o.name) + "\\fR")) << o.name;
    EXPECT_THAT(completion, HasSubstr("--" + std::string(o.name))) << o.name;
    if (o.value != nullptr) {
      EXPECT_THAT(completion, HasSubstr("    --" + std::string(o.name) + ") ")) << o.name;
    }
  }
#ifndef _WIN32
  if (std::system("bash -c true >/dev/null 2>&1") == 0) {
    const std::filesystem::path script =
        std::filesystem::temp_directory_path() / "axtune-cli-completion-test";
    std::ofstream(script) << completion;
    EXPECT_EQ(std::system(("bash -n " + script.string()).c_str()), 0) << completion;
    std::filesystem::remove(script);
  }
#endif
}

}  // namespace
}  // namespace axtune::cli
