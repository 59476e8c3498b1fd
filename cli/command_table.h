// The command line's one description of itself: every command (name, synopsis, help text) and every
// option (value, which commands take it, how a shell completes it). The help texts, the option
// parser, the man page and the bash completion are all made from it, so none can fall behind.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace axtune::cli {

struct CommandDoc {
  std::string name;
  std::string synopsis;  // "save FILE [--user NAME] [--company NAME]"
  std::string text;      // the full help text, lines ending in '\n'
  std::string files;     // the kind of file its arguments name for completion ("qmx", "out", ""), "+" for any
};

struct OptionDoc {
  const char* name;      // without the dashes: "port"
  const char* value;     // the value's placeholder ("PORT"), nullptr for a flag
  const char* commands;  // the commands that take it, space-separated; "" for every command
  const char* complete;  // completion of the value: "port", "file", "file:EXT", "words:A B", "" none
  const char* help;
};

// Every command, in the order the help lists them.
std::vector<CommandDoc> CommandDocs();
// Every option.
const std::vector<OptionDoc>& OptionDocs();
// The option `name` (without dashes), or nullptr.
const OptionDoc* FindOption(const std::string& name);

// The man page: `manTemplate` with its @COMMANDS@ and @OPTIONS@ lines replaced by the sections made
// from the table and @PROJECT_VERSION@ by `version`.
std::string ManPage(const std::string& manTemplate, const std::string& version);
// The bash completion script.
std::string BashCompletion();

}  // namespace axtune::cli
