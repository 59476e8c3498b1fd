#include "cli/command_table.h"

#include <sstream>

namespace axtune::cli {

namespace {

const char* const kRates = "words:115200 57600 38400 19200 9600 4800 2400 1200";

}  // namespace

const std::vector<OptionDoc>& OptionDocs() {
  static const std::vector<OptionDoc> options = {
      {"port", "PORT", "", "port",
       "the drive's port: a slot COM1..COM12, a device such as /dev/ttyUSB0, a network port "
       "rfc2217://HOST:PORT, or sim for the built-in simulated drive (default: $AXTUNE_PORT); batch takes it "
       "once per drive"},
      {"json", nullptr, "", "", "results as JSON on standard output (field names in docs/cli.md)"},
      {"lang", "de|en", "", "words:de en", "the language of decoded texts (default: from the locale)"},
      {"help", nullptr, "", "", "the options and commands; after a command: that command in full"},
      {"version", nullptr, "", "", "the version of axtune-cli"},
      {"sim-real-time", nullptr, "", "", "with --port sim: the simulated drive runs on the wall clock"},
      {"sim-faults", "LIST", "", "",
       "with --port sim: line faults such as delay=1,delay-ms=300 or unplug-ms=500 (all of them in "
       "docs/cli.md)"},
      {"sim-flash", "F2808|F28335", "", "words:F2808 F28335",
       "with --port sim: the simulated processor's flash"},
      {"progress-events", nullptr, "", "",
       "progress as \"@progress {json}\" lines on the error stream (for batch)"},
      {"watch", nullptr, "status", "", "poll until Ctrl-C or --count polls"},
      {"csv", nullptr, "status", "", "the trend window's columns as CSV, one row per poll"},
      {"interval", "MS", "status", "", "milliseconds between polls"},
      {"count", "N", "status", "", "polls before ending"},
      {"verify", nullptr, "write-word write-record write-object flash", "",
       "read back and compare; flash --verify=readback compares the flash word by word"},
      {"symbols", nullptr, "coff", "", "the symbol table too"},
      {"yes", nullptr, "flash", "", "do not ask before the drive is switched on"},
      {"processor", "F2808|F28335", "flash", "words:F2808 F28335",
       "the drive's processor instead of its type's"},
      {"kernel", "KERNEL.out", "flash", "file:out", "this flash kernel instead of the built-in one"},
      {"baud", "RATE", "flash", kRates, "the flash kernel's rate (default 115200)"},
      {"boot-baud", "RATE", "flash", kRates, "the boot ROM's rate (default 19200)"},
      {"ports", "FILE", "batch", "file", "a file of ports, one a line, # comments"},
      {"jobs", "N", "batch", "", "at most N drives at once (default: as many as the open-file limit allows)"},
      {"failed", "FILE", "batch", "file", "write the ports that did not succeed to FILE"},
      {"all", nullptr, "diff", "", "list equal values too"},
      {"no-verify", nullptr, "set", "", "do not read the values back"},
      {"reference", "FILE.qmx", "report", "file:qmx", "the reference parameter file"},
      {"user", "NAME", "save report", "", "the user name instead of the one in name.dat"},
      {"company", "NAME", "save report", "", "the company instead of the one in name.dat"},
  };
  return options;
}

const OptionDoc* FindOption(const std::string& name) {
  for (const OptionDoc& option : OptionDocs()) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

namespace {

// Text for roff: backslashes and dashes escaped, a line that starts with a control character made
// plain.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (const char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    lineStart = c == '\n';
  }
  return out;
}

std::string OneLine(std::string text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else if (!(c == ' ' && !out.empty() && out.back() == ' ')) {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string CommandsSection() {
  std::ostringstream out;
  for (const CommandDoc& command : CommandDocs()) {
    const std::string synopsis = OneLine(command.synopsis);
    const std::string rest = synopsis.substr(command.name.size());
    out << ".TP\n\\fB" << Roff(command.name) << "\\fR" << Roff(rest) << "\n" << Roff(command.text);
  }
  return out.str();
}

std::string OptionsSection() {
  std::ostringstream out;
  for (const OptionDoc& option : OptionDocs()) {
    out << ".TP\n\\fB" << Roff(std::string("--") + option.name) << "\\fR";
    if (option.value != nullptr) out << " \\fI" << Roff(option.value) << "\\fR";
    out << "\n";
    if (*option.commands != '\0') out << Roff(option.commands) << ": ";
    out << Roff(option.help) << ".\n";
  }
  return out.str();
}

std::string Replace(std::string text, const std::string& key, const std::string& value) {
  for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
  return text;
}

// The words of a command's options for completion (its own and the global ones).
std::string OptionWords(const std::string& command) {
  std::string words;
  for (const OptionDoc& option : OptionDocs()) {
    const std::string applies = std::string(" ") + option.commands + " ";
    if (*option.commands != '\0' && applies.find(" " + command + " ") == std::string::npos) continue;
    words += (words.empty() ? "--" : " --") + std::string(option.name);
  }
  return words;
}

std::string ValueCompletion(const std::string& complete) {
  if (complete == "port")
    return "COMPREPLY=($(compgen -W \"sim COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 COM10 COM11 COM12 "
           "rfc2217:// $(ls -d /dev/ttyUSB* /dev/ttyACM* /dev/ttyS* 2>/dev/null)\" -- \"$cur\"))";
  if (complete == "file") return "_axtune_cli_files";
  if (complete.rfind("file:", 0) == 0) return "_axtune_cli_files '" + complete.substr(5) + "'";
  if (complete.rfind("words:", 0) == 0)
    return "COMPREPLY=($(compgen -W \"" + complete.substr(6) + "\" -- \"$cur\"))";
  return ":";
}

}  // namespace

std::string ManPage(const std::string& manTemplate, const std::string& version) {
  std::string page = Replace(manTemplate, "@PROJECT_VERSION@", version);
  page = Replace(page, "@COMMANDS@\n", CommandsSection());
  return Replace(page, "@OPTIONS@\n", OptionsSection());
}

std::string BashCompletion() {
  std::ostringstream out;
  std::string commands, valued;
  for (const CommandDoc& command : CommandDocs()) commands += command.name + " ";
  commands += "help";
  for (const OptionDoc& option : OptionDocs()) {
    if (option.value != nullptr) valued += (valued.empty() ? "--" : "|--") + std::string(option.name);
  }
  out << "# bash completion for axtune-cli, made from its own table of commands and options at build time.\n"
         "# Uses bash-completion's helpers where they are loaded, plain compgen otherwise.\n"
         "_axtune_cli_files() {\n"
         "  if declare -F _filedir >/dev/null; then _filedir \"$@\"; return; fi\n"
         "  COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "}\n"
         "_axtune_cli() {\n"
         "  local cur prev words cword\n"
         "  if declare -F _init_completion >/dev/null; then\n"
         "    _init_completion || return\n"
         "  else\n"
         "    words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD; cur=${COMP_WORDS[COMP_CWORD]}\n"
         "    prev=${COMP_WORDS[COMP_CWORD-1]}\n"
         "  fi\n\n"
         "  local commands=\""
      << commands
      << "\"\n\n"
         "  case \"$prev\" in\n";
  for (const OptionDoc& option : OptionDocs()) {
    if (option.value == nullptr) continue;
    out << "    --" << option.name << ") " << ValueCompletion(option.complete) << "; return ;;\n";
  }
  out << "  esac\n\n"
         "  # The command is the first word that is not an option or an option's value; after batch's --\n"
         "  # comes the command it runs.\n"
         "  local command=\"\" i\n"
         "  for ((i = 1; i < cword; i++)); do\n"
         "    case \"${words[i]}\" in\n"
         "      "
      << valued
      << ") ((i++)) ;;\n"
         "      --) [[ \"$command\" == batch ]] && command=\"\" ;;\n"
         "      -*) ;;\n"
         "      *) [[ -z \"$command\" ]] && command=\"${words[i]}\" ;;\n"
         "    esac\n"
         "  done\n\n"
         "  if [[ -z \"$command\" ]]; then\n"
         "    if [[ \"$cur\" == -* ]]; then\n"
         "      COMPREPLY=($(compgen -W \""
      << OptionWords("")
      << "\" -- \"$cur\"))\n"
         "    else\n"
         "      COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
         "    fi\n"
         "    return\n"
         "  fi\n\n"
         "  if [[ \"$cur\" == -* ]]; then\n"
         "    case \"$command\" in\n";
  for (const CommandDoc& command : CommandDocs()) {
    out << "      " << command.name << ") COMPREPLY=($(compgen -W \"" << OptionWords(command.name)
        << (command.name == "batch" ? " --" : "") << "\" -- \"$cur\")) ;;\n";
  }
  out << "    esac\n"
         "    return\n"
         "  fi\n"
         "  case \"$command\" in\n";
  for (const CommandDoc& command : CommandDocs()) {
    if (command.files.empty()) continue;
    out << "    " << command.name << ") _axtune_cli_files"
        << (command.files == "+" ? "" : " '" + command.files + "'") << " ;;\n";
  }
  out << "    help) COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\")) ;;\n"
         "  esac\n"
         "} &&\n"
         "  complete -F _axtune_cli axtune-cli\n";
  return out.str();
}

}  // namespace axtune::cli
