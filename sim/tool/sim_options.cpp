#include "sim/tool/sim_options.h"

#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>

namespace axtune::sim {

namespace {

bool toLong(const std::string& text, long long low, long long high, long long& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= low && value <= high;
}

bool toDouble(const std::string& text, double low, double high, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && value >= low && value <= high;
}

bool toPair(const std::string& text, int32_t& first, int32_t& second) {
  const auto colon = text.find(':');
  long long a = 0, b = 0;
  if (colon == std::string::npos || !toLong(text.substr(0, colon), INT32_MIN, INT32_MAX, a) ||
      !toLong(text.substr(colon + 1), INT32_MIN, INT32_MAX, b) || a > b) {
    return false;
  }
  first = static_cast<int32_t>(a);
  second = static_cast<int32_t>(b);
  return true;
}

bool toVersion(const std::string& text, SimConfig& config) {
  long long major = 0, minor = 0, build = 0;
  const auto dot1 = text.find('.');
  const auto dot2 = dot1 == std::string::npos ? std::string::npos : text.find('.', dot1 + 1);
  if (dot2 == std::string::npos || !toLong(text.substr(0, dot1), 0, 255, major) ||
      !toLong(text.substr(dot1 + 1, dot2 - dot1 - 1), 0, 255, minor) ||
      !toLong(text.substr(dot2 + 1), 0, 65535, build)) {
    return false;
  }
  config.firmwareMajor = static_cast<uint8_t>(major);
  config.firmwareMinor = static_cast<uint8_t>(minor);
  config.firmwareBuild = static_cast<uint16_t>(build);
  return true;
}

}  // namespace

std::string ToolHelpText() {
  return R"(Usage: qmx-sim [options]
Serves a simulated QMX10 drive on a pseudo-terminal. The first line printed is the device path;
open it like a serial port (38400 8N1). With --rfc2217 it serves the drive as a network device
server instead and prints its URL (rfc2217://127.0.0.1:PORT) first. Ends on SIGINT or SIGTERM;
SIGUSR1 power-cycles the drive.

Drive:
  --device-type N        1025 QMX10-BA, 1026 -PB, 1027 -CB, 1028 -ET, or any other code (default:
                         the type of the flash geometry's processor, 1025 or 1028)
  --firmware X.Y.Z       firmware version in record 128 (default 4.1.7)
  --test-firmware        mark the firmware as a test version
  --records N            number of parameter records, 0..127 (default 65)
  --image FILE           keep the stored parameters in FILE (loaded at start, written on store)
  --word-reply STYLE     answer a single-word write with "confirm" (word index, record, value,
                         checksum; default) or "echo" (the request repeated, 0x80 | index first)
  --record-reply STYLE   answer a record write with "stored" (the record as held after the
                         drive's limits; default) or "echo" (the words as sent)
Line:
  --baud N               the firmware's baud rate (default 38400)
  --unpaced              deliver bytes at once instead of at the baud rate
  --turnaround-us N      the firmware's delay before its first reply byte (default 1000;
                         the boot ROM and flash kernel answer within a byte time)
  --frame-gap-ms N       a pause this long inside a request drops it (default 50)
                         (the drive holds at most 512 bytes on their way to it and 512 reply
                         bytes not yet sent; more written to it are lost, as on an overrun)
  --boot-ms N            silence after power-on or reset (default 200)
  --max-baud N           no byte gets through above this rate, either way (a cable too long
                         for 115200); default: every rate
  --max-autobaud N       the processor's autobaud (boot ROM and flash kernel) does not lock
                         above this rate; default: every rate
Fault injection (probabilities 0..1):
  --seed N               seed of the fault sequence (default 1)
  --corrupt P            flip bits of a byte        --drop P     lose a byte
  --stale P              send a reply for another record first
  --delay P              delay a reply by --delay-ms (default 200)
  --split P              send a reply byte by byte, --split-gap-us apart (default 2000)
  --silence P            do not answer at all
Environment and axis (positions in steps):
  --supply-volts V       DC supply (default 48; below 18 under-voltage, above 100 over-voltage)
  --ambient C            ambient temperature (default 25; the power stage trips at 80)
  --start-position N     where the motor stands at start (default 0)
  --limits LOW:HIGH      limit switch positions (default -20000:20000)
  --cam LOW:HIGH         reference switch cam (default 2000:3000)
  --stops LOW:HIGH       mechanical stops (default -21000:21000)
Processor and flash:
  --flash-geometry NAME  F2808 (default) or F28335: the drive's processor
  --blank-flash          start with no valid firmware: the boot ROM keeps the line
  --flash-hex FILE       write the flash as Intel hex on exit
  --flash-bin FILE       write the flash as binary on exit
Tool:
  --rfc2217 [ADDR:]PORT  serve over TCP as an RFC 2217 device server, one client at a time, on
                         ADDR (default 127.0.0.1, loopback only; 0.0.0.0 for every network);
                         PORT 0 takes a free port. A client that has not negotiated com port
                         control within 5 s is dropped, so the one slot comes free
  --idle-timeout S       with --rfc2217: drop a client that sent nothing for S seconds
                         (default 600; 0 never)
  --dtr-follows-client   with --rfc2217: raise DTR when a client connects and drop it when the
                         client leaves (the processor resets), as many device servers do
  --no-modemstate-mask-answer
                         with --rfc2217: never answer SET-MODEMSTATE-MASK, as ser2net and
                         pyserial's example server do not
  --link PATH            also make PATH a symbolic link to the device (removed on exit), as
                         /dev/serial/by-id names a USB adapter: "unplug" then pulls the adapter
                         (the terminal hangs up, PATH goes), "replug" plugs it back in as a
                         new terminal with another device name, and PATH comes back
  --quiet                no console messages on stderr
  --version              the version of qmx-sim
  --help                 this text

Commands on standard input: power off|on|cycle, unplug, replug, fault NAME (undervoltage,
overvoltage, overtemperature, following, blocked), volts V, ambient C, stop on|off,
switch lower|upper|reference|stop on|off|auto (a switch pressed, released, or left to the
simulated mechanics), status, quit.

A pseudo-terminal has no modem lines: the host sees no carrier and cannot reset the drive with a
DTR pulse; use SIGUSR1 or "power cycle" instead. Over --rfc2217 the lines are there: the carrier
follows unplug/replug and the power, and a DTR pulse from the host resets the processor. Either way
the host's baud rate is followed (the processor's boot ROM and flash kernel autobaud; the firmware
answers only at --baud).
)";
}

bool ParseToolOptions(const std::vector<std::string>& args, ToolOptions& options, std::string& error) {
  SimConfig& c = options.config;
  FaultConfig& f = c.faults;
  using Handler = std::function<bool(const std::string&)>;
  auto integer = [](auto& target, long long low, long long high) -> Handler {
    return [&target, low, high](const std::string& v) {
      long long value = 0;
      if (!toLong(v, low, high, value)) return false;
      target = static_cast<std::remove_reference_t<decltype(target)>>(value);
      return true;
    };
  };
  auto real = [](double& target, double low, double high) -> Handler {
    return [&target, low, high](const std::string& v) { return toDouble(v, low, high, target); };
  };
  auto text = [](std::string& target) -> Handler {
    return [&target](const std::string& v) { return !v.empty() && (target = v, true); };
  };
  uint32_t frameGapMs = c.frameGapUs / 1000, bootMs = c.bootTimeUs / 1000;
  const std::map<std::string, Handler> withValue = {
      {"--device-type", integer(c.deviceType, 1, 65535)},
      {"--firmware", [&](const std::string& v) { return toVersion(v, c); }},
      {"--records", integer(c.recordCount, 0, 127)},
      {"--image", text(c.persistentImagePath)},
      {"--baud", integer(c.baudRate, 50, 4000000)},
      {"--turnaround-us", integer(c.turnaroundUs, 0, 10000000)},
      {"--frame-gap-ms", integer(frameGapMs, 1, 60000)},
      {"--boot-ms", integer(bootMs, 0, 60000)},
      {"--max-baud", integer(c.maxLineBaud, 1, 4000000)},
      {"--max-autobaud", integer(c.maxAutobaud, 1, 4000000)},
      {"--seed", integer(f.seed, 0, UINT32_MAX)},
      {"--corrupt", real(f.corruptByte, 0, 1)},
      {"--drop", real(f.dropByte, 0, 1)},
      {"--stale", real(f.staleFrame, 0, 1)},
      {"--delay", real(f.delayReply, 0, 1)},
      {"--delay-ms", integer(f.delayMs, 0, 600000)},
      {"--split", real(f.splitReply, 0, 1)},
      {"--split-gap-us", integer(f.splitGapUs, 0, 10000000)},
      {"--silence", real(f.silence, 0, 1)},
      {"--supply-volts", real(c.supplyVolts, 0, 1000)},
      {"--ambient", real(c.ambientCelsius, -40, 200)},
      {"--start-position", integer(c.axis.startPosition, INT32_MIN, INT32_MAX)},
      {"--limits",
       [&](const std::string& v) { return toPair(v, c.axis.lowerLimitSwitch, c.axis.upperLimitSwitch); }},
      {"--cam",
       [&](const std::string& v) { return toPair(v, c.axis.referenceCamLow, c.axis.referenceCamHigh); }},
      {"--stops",
       [&](const std::string& v) { return toPair(v, c.axis.mechanicalStopLow, c.axis.mechanicalStopHigh); }},
      {"--flash-geometry",
       [&](const std::string& v) { return (v == "F2808" || v == "F28335") && (c.flashGeometry = v, true); }},
      {"--flash-hex", text(c.flashExportPath)},
      {"--flash-bin", text(c.flashExportPath)},
      {"--link", text(options.linkPath)},
      {"--rfc2217", text(options.rfc2217)},
      {"--word-reply", [&](const std::string& v) { return ParseWordReplyStyle(v, c.wordReply); }},
      {"--record-reply", [&](const std::string& v) { return ParseRecordReplyStyle(v, c.recordReply); }},
      {"--idle-timeout", integer(options.idleTimeoutS, 0, 86400)},
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--test-firmware") {
      c.testFirmware = true;
    } else if (arg == "--unpaced") {
      c.paced = false;
    } else if (arg == "--blank-flash") {
      c.factoryFirmware = false;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--dtr-follows-client") {
      options.dtrFollowsClient = true;
    } else if (arg == "--no-modemstate-mask-answer") {
      options.answerModemStateMask = false;
    } else if (auto it = withValue.find(arg); it != withValue.end()) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value (see --help)";
        return false;
      }
      if (!it->second(args[++i])) {
        error = "invalid value '" + args[i] + "' for " + arg + " (see --help)";
        return false;
      }
      if (arg == "--flash-hex") c.flashExportFormat = SimConfig::FlashFormat::IntelHex;
      if (arg == "--flash-bin") c.flashExportFormat = SimConfig::FlashFormat::Binary;
    } else {
      error = "unknown option '" + arg + "' (see --help)";
      return false;
    }
  }
  c.frameGapUs = frameGapMs * 1000;
  c.bootTimeUs = bootMs * 1000;
  if (c.axis.mechanicalStopLow > c.axis.lowerLimitSwitch ||
      c.axis.mechanicalStopHigh < c.axis.upperLimitSwitch) {
    error = "--stops must lie outside --limits (mechanical stops beyond the limit switches)";
    return false;
  }
  return true;
}

}  // namespace axtune::sim
