#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ostream>

#include "cli/cli_internal.h"
#include "cli/command_table.h"
#include "core/firmware_fit.h"

namespace axtune::cli {
namespace {

// Options that take a value, written "--name value" or "--name=value".
bool TakesValue(const std::string& name) {
  const OptionDoc* option = FindOption(name);
  return option != nullptr && option->value != nullptr;
}

// --sim-faults: NAME=VALUE pairs, comma-separated, named as qmx-sim's options are.
bool ParseSimFaults(const std::string& text, Options& options, std::string& error) {
  sim::FaultConfig& f = options.simFaults;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, end - start);
    start = end + 1;
    if (item.empty()) continue;
    const size_t equals = item.find('=');
    const std::string name = item.substr(0, equals);
    const std::string value = equals == std::string::npos ? std::string() : item.substr(equals + 1);
    double* probability = name == "corrupt"   ? &f.corruptByte
                          : name == "drop"    ? &f.dropByte
                          : name == "stale"   ? &f.staleFrame
                          : name == "delay"   ? &f.delayReply
                          : name == "split"   ? &f.splitReply
                          : name == "silence" ? &f.silence
                                              : nullptr;
    if (probability != nullptr) {
      char* rest = nullptr;
      const double p = std::strtod(value.c_str(), &rest);
      if (value.empty() || rest == nullptr || *rest != '\0' || !(p >= 0 && p <= 1)) {
        error = "--sim-faults: " + name + " takes a probability from 0 to 1, not \"" + value + "\"";
        return false;
      }
      *probability = p;
      continue;
    }
    int64_t number = 0;
    const bool isNumber = ParseInteger(value, 0, 600000, number);
    if (name == "delay-ms" && isNumber) {
      f.delayMs = static_cast<uint32_t>(number);
    } else if (name == "split-gap-us" && isNumber) {
      f.splitGapUs = static_cast<uint32_t>(number);
    } else if (name == "unplug-ms" && isNumber) {
      options.simUnplugMs = static_cast<int>(number);
      options.simRealTime = true;  // counted on the wall clock
    } else if (name == "seed" && ParseInteger(value, 0, UINT32_MAX, number)) {
      f.seed = static_cast<uint32_t>(number);
    } else if (name == "delay-ms" || name == "split-gap-us" || name == "unplug-ms" || name == "seed") {
      error = "--sim-faults: " + name + " takes a number, not \"" + value + "\"";
      return false;
    } else {
      error = "--sim-faults: unknown fault \"" + name +
              "\" (corrupt, drop, stale, delay, split, silence, delay-ms, split-gap-us, seed, unplug-ms)";
      return false;
    }
  }
  return true;
}

bool IsOptionToken(const std::string& token) {
  // "-5" and "-0x10" are negative numbers, not options.
  if (token.size() < 2 || token[0] != '-') return false;
  if (token[1] >= '0' && token[1] <= '9') return false;
  return true;
}

}  // namespace

bool ParseInteger(const std::string& text, int64_t minimum, int64_t maximum, int64_t& value) {
  if (text.empty()) return false;
  size_t pos = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    pos = 1;
  }
  int base = 10;
  if (text.size() > pos + 2 && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  if (pos >= text.size()) return false;
  const std::string digits = text.substr(pos);
  for (char c : digits) {
    const bool ok = base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '9');
    if (!ok) return false;
  }
  if (digits.size() > 18) return false;  // out of any range we take
  errno = 0;
  char* end = nullptr;
  const long long magnitude = std::strtoll(digits.c_str(), &end, base);
  if (errno != 0 || end == nullptr || *end != '\0') return false;
  const int64_t result = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (result < minimum || result > maximum) return false;
  value = result;
  return true;
}

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  if (const char* port = std::getenv("AXTUNE_PORT"); port != nullptr) options.port = port;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& token = args[i];
    if (token == "--") {
      for (++i; i < args.size(); ++i) {
        (options.command.empty() ? options.command : options.args.emplace_back()) = args[i];
      }
      break;
    }
    if (!IsOptionToken(token)) {
      if (options.command.empty()) {
        options.command = token;
      } else {
        options.args.push_back(token);
      }
      continue;
    }
    if (token == "-h" || token == "--help") {
      options.help = true;
      continue;
    }
    if (token == "--version") {
      options.version = true;
      continue;
    }
    if (token.rfind("--", 0) != 0) {
      error = "unknown option " + token;
      return false;
    }
    std::string name = token.substr(2);
    std::string value;
    bool hasValue = false;
    if (const size_t equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasValue = true;
    }
    if (name == "verify") {
      // A flag for the write commands; flash also takes --verify=readback or --verify=sum.
      if (hasValue && value != "readback" && value != "sum") {
        error = "--verify takes readback or sum, not \"" + value + "\"";
        return false;
      }
      options.verify = true;
      options.verifyMode = value;
      continue;
    }
    if (TakesValue(name) && !hasValue) {
      if (i + 1 >= args.size()) {
        error = "option --" + name + " needs a value";
        return false;
      }
      value = args[++i];
      hasValue = true;
    } else if (!TakesValue(name) && hasValue) {
      error = "option --" + name + " takes no value";
      return false;
    }

    int64_t number = 0;
    if (name == "port") {
      options.port = value;
      options.ports.push_back(value);
    } else if (name == "ports") {
      options.portsFile = value;
    } else if (name == "jobs") {
      if (!ParseInteger(value, 1, 1000, number)) {
        error = "--jobs takes a number of drives at once from 1 to 1000, not \"" + value + "\"";
        return false;
      }
      options.jobs = static_cast<int>(number);
    } else if (name == "failed") {
      options.failedFile = value;
    } else if (name == "progress-events") {
      options.progressEvents = true;
    } else if (name == "json") {
      options.json = true;
    } else if (name == "lang") {
      if (value == "de") {
        options.language = Language::German;
      } else if (value == "en") {
        options.language = Language::English;
      } else {
        error = "--lang takes de or en, not \"" + value + "\"";
        return false;
      }
    } else if (name == "watch") {
      options.watch = true;
    } else if (name == "csv") {
      options.csv = true;
    } else if (name == "interval") {
      if (!ParseInteger(value, 0, 3600 * 1000, number)) {
        error = "--interval takes milliseconds from 0 to 3600000, not \"" + value + "\"";
        return false;
      }
      options.intervalMs = static_cast<int>(number);
      options.intervalGiven = true;
    } else if (name == "count") {
      if (!ParseInteger(value, 1, 1000000000, number)) {
        error = "--count takes a number of polls of at least 1, not \"" + value + "\"";
        return false;
      }
      options.count = static_cast<int>(number);
    } else if (name == "symbols") {
      options.symbols = true;
    } else if (name == "yes") {
      options.yes = true;
    } else if (name == "kernel") {
      options.kernel = value;
    } else if (name == "all") {
      options.all = true;
    } else if (name == "no-verify") {
      options.noVerify = true;
    } else if (name == "reference") {
      options.reference = value;
    } else if (name == "user") {
      options.user = value;
    } else if (name == "company") {
      options.company = value;
    } else if (name == "sim-flash") {
      if (value != "F2808" && value != "F28335") {
        error = "--sim-flash takes F2808 or F28335, not \"" + value + "\"";
        return false;
      }
      options.simFlash = value;
    } else if (name == "processor") {
      if (FindProcessor(value) == nullptr) {
        error = "--processor takes " + KnownProcessorNames() + ", not \"" + value + "\"";
        return false;
      }
      options.processor = value;
    } else if (name == "baud" || name == "boot-baud") {
      // Refused here, before any port is opened: the programmer would take another rate silently.
      if (!ParseInteger(value, 1, 4000000, number) || !IsProgrammerBaudRate(static_cast<int>(number))) {
        error =
            "--" + name + " takes one of the rates " + ProgrammerBaudRateList() + ", not \"" + value + "\"";
        return false;
      }
      (name == "baud" ? options.flashBaud : options.bootBaud) = static_cast<int>(number);
    } else if (name == "sim-real-time") {
      options.simRealTime = true;
    } else if (name == "sim-faults") {
      if (!ParseSimFaults(value, options, error)) return false;
    } else {
      error = "unknown option --" + name;
      return false;
    }
  }
  return true;
}

int Fail(Context& context, int code, const std::string& message) {
  // A drive failure after Ctrl-C is the cancel cutting a transfer short, whatever the command.
  if (code == kExitDrive && context.stopRequested()) return Cancelled(context, message);
  context.err << kProgram << ": " << message << '\n';
  if (context.options.json) {
    Json error = Json::object();
    error.set("ok", false).set("exitCode", code).set("error", message);
    error.write(context.out);
  }
  return code;
}

int Cancelled(Context& context, const std::string& what) {
  const std::string message = "cancelled; " + what;
  context.err << kProgram << ": " << message << '\n';
  if (context.options.json) {
    Json error = Json::object();
    error.set("ok", false).set("exitCode", kExitCancelled).set("cancelled", true).set("error", message);
    error.write(context.out);
  }
  return kExitCancelled;
}

int UsageError(Context& context, const std::string& message) {
  context.err << kProgram << ": " << message << '\n';
  if (context.options.json) {
    Json error = Json::object();
    error.set("ok", false).set("exitCode", kExitUsage).set("error", message);
    error.write(context.out);
  }
  context.err << "Try '" << kProgram << " --help'"
              << (IsCommand(context.options.command)
                      ? " or '" + std::string(kProgram) + " " + context.options.command + " --help'"
                      : std::string())
              << ".\n";
  return kExitUsage;
}

void Warn(Context& context, const std::string& message) {
  context.err << kProgram << ": " << message << '\n';
}

}  // namespace axtune::cli
