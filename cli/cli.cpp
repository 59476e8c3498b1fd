#include "cli/cli.h"

#include <exception>
#include <filesystem>
#include <ostream>

#include "axtune_version.h"
#include "cli/cli_internal.h"
#include "link/port_slot_memory.h"
#include "link/port_slots.h"

namespace axtune::cli {
namespace {

using Handler = int (*)(Context&);

struct Dispatch {
  const char* name;
  Handler handler;
  int minArgs;
  int maxArgs;
};

const Dispatch kDispatch[] = {
    {"ports", CmdPorts, 0, 0},
    {"identify", CmdIdentify, 0, 0},
    {"status", CmdStatus, 0, 0},
    {"read", CmdRead, 1, 1},
    {"write-word", CmdWriteWord, 3, 3},
    {"write-record", CmdWriteRecord, 16, 16},
    {"read-object", CmdReadObject, 2, 2},
    {"write-object", CmdWriteObject, 4, 4},
    {"store", CmdStore, 0, 0},
    {"save", CmdSave, 1, 1},
    {"load", CmdLoad, 1, 1},
    {"flash", CmdFlash, 1, 1},
    {"coff", CmdCoff, 1, 1},
    {"doctor", CmdDoctor, 0, 0},
    {"batch", CmdBatch, 0, 1000},
    {"get", CmdGet, 1, 1000},
    {"set", CmdSet, 1, 1000},
    {"params", CmdParams, 0, 0},
    {"diff", CmdDiff, 2, 2},
    {"report", CmdReport, 1, 1},
    {"history", CmdHistory, 0, 0},
};

// The commands report every failure they know of themselves; this is the net under them, so that
// nothing a library throws (a file system call, an allocation) ends the program with an abort and
// no answer. A file system error is a file error (exit 3), named with its path.
int RunHandler(Handler handler, Context& context) {
  try {
    return handler(context);
  } catch (const std::filesystem::filesystem_error& e) {
    const std::string path = e.path1().empty() ? std::string() : e.path1().string() + ": ";
    return Fail(context, kExitFile, path + e.code().message());
  } catch (const std::exception& e) {
    return Fail(context, kExitFile, std::string("the command stopped: ") + e.what());
  }
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment) {
  Context context{Options{}, out, err, environment};
  std::string error;
  if (!ParseOptions(args, context.options, error)) {
    // The parse stopped at the error: a --json after it still asks for a JSON answer.
    for (const std::string& arg : args) {
      if (arg == "--") break;
      if (arg == "--json") context.options.json = true;
    }
    return UsageError(context, error);
  }
  const Options& options = context.options;
  const Language previousLanguage = CurrentLanguage();
  if (options.language) SetLanguage(*options.language);

  // The slots as the window gives them: the adapters and network ports the memory file remembers.
  SetPortSlotMemory(ReadPortSlotMemoryFile(kPortSlotMemoryFile));

  int code = kExitOk;
  if (options.version) {
    if (options.json) {
      Json j = Json::object();
      j.set("program", kProgram).set("version", AXTUNE_VERSION);
      j.write(out);
    } else {
      out << kProgram << ' ' << AXTUNE_VERSION << '\n';
    }
  } else if (options.command.empty() || options.command == "help") {
    if (options.command == "help" && !options.args.empty()) {
      if (!PrintCommandHelp(options.args[0], out))
        code = UsageError(context, "unknown command " + options.args[0]);
    } else if (options.help || options.command == "help") {
      PrintToolHelp(out);
    } else {
      PrintToolHelp(err);
      code = context.options.json ? UsageError(context, "no command given") : kExitUsage;
    }
  } else if (!IsCommand(options.command)) {
    code = UsageError(context, "unknown command " + options.command);
  } else if (options.help) {
    PrintCommandHelp(options.command, out);
  } else {
    for (const Dispatch& d : kDispatch) {
      if (options.command != d.name) continue;
      const int n = static_cast<int>(options.args.size());
      if (n < d.minArgs || n > d.maxArgs) {
        code =
            UsageError(context, options.command + " takes " +
                                    (d.minArgs == d.maxArgs
                                         ? std::to_string(d.minArgs)
                                         : std::to_string(d.minArgs) + " to " + std::to_string(d.maxArgs)) +
                                    " argument" + (d.maxArgs == 1 ? "" : "s") + ", not " + std::to_string(n));
      } else {
        code = RunHandler(d.handler, context);
      }
      break;
    }
  }
  if (options.language) SetLanguage(previousLanguage);
  return code;
}

}  // namespace axtune::cli
