#include <ostream>

#include "cli/cli_internal.h"
#include "cli/command_table.h"

namespace axtune::cli {
namespace {

struct CommandHelp {
  const char* name;
  const char* synopsis;
  const char* text;
};

const CommandHelp kCommands[] = {
    {"ports", "ports",
     "Lists the port slots COM1..COM12 with the device behind each, what it is (a USB adapter's\n"
     "product and serial number, a built-in UART's chip), whether it opens and whether its carrier\n"
     "(DCD) is on. Nothing is sent to the devices. No --port needed. The slots are the window's: an\n"
     "adapter keeps the slot \"Axtune.ini\" remembers for it (by its /dev/serial/by-id name).\n"
     "--json adds maker, product, serial number, USB ids, driver and the by-id name.\n"},
    {"identify", "identify",
     "Reads the drive's identification (record 128): device type, firmware version, number of\n"
     "parameter records, and the carrier state of the port.\n"},
    {"status", "status [--watch] [--csv] [--interval MS] [--count N]",
     "Reads records 129 and 131 and the statusword and shows what the status bar shows: device\n"
     "state, DC-link voltage, motion profile state, position, switches and temperature, in the\n"
     "language of --lang. With --watch it polls every --interval milliseconds (default 1000) until\n"
     "Ctrl-C, or --count polls; a USB adapter pulled out meanwhile gets a line, and a line again when\n"
     "the same adapter is back (under any device name), and the watch goes on. A watch that ends\n"
     "after --count polls exits 0 only when every poll\n"
     "was answered, 1 when any failed; Ctrl-C ends it with 130 (and says how many polls failed).\n"
     "--csv writes the trend window's columns instead (time, positions in steps, velocity, following\n"
     "error, current, voltage, temperature, switches, states, marks), a header and one row per poll;\n"
     "a poll without answer is a row with empty values. Its --interval defaults to 100 ms.\n"},
    {"read", "read RECORD", "Reads one record (0..255) and prints its 15 words.\n"},
    {"write-word", "write-word RECORD WORD VALUE [--verify]",
     "Writes one word (WORD 0..14) of a parameter record (0..127). VALUE -32768..65535, decimal or 0x "
     "hex.\n"
     "With --verify the record is read back afterwards and the word compared.\n"},
    {"write-record", "write-record RECORD W0 W1 ... W14 [--verify]",
     "Writes a whole record (0..255) of 15 words and prints the 15 words of the drive's reply.\n"
     "With --verify a parameter record is read back afterwards and compared.\n"},
    {"read-object", "read-object INDEX SUB",
     "Reads an object (INDEX 0..0xFFFF, SUB 0..255) through record 127, e.g. read-object 0x6041 0.\n"},
    {"write-object", "write-object INDEX SUB SIZE VALUE [--verify]",
     "Writes an object of SIZE 1..4 bytes through record 127, e.g. write-object 0x6040 0 2 0x0F.\n"
     "Fails when the drive refuses the write. With --verify the object is read back and compared.\n"
     "A write whose answer did not come back is reported as not confirmed (the drive may or may not\n"
     "have taken it; exit 1); with --verify the read-back decides.\n"},
    {"store", "store",
     "Makes the drive store its parameters permanently (as \"Save Changes\" in the GUI).\n"},
    {"save", "save FILE [--user NAME] [--company NAME]",
     "Reads every parameter record of the drive and writes them to a parameter file (*.qmx). The\n"
     "trailer takes the user name and company from --user/--company, else from name.dat in the\n"
     "working directory. Nothing is written when a record cannot be read; an existing file is only\n"
     "replaced once the new one is complete. Ctrl-C cancels and leaves no partial file.\n"},
    {"load", "load FILE",
     "Sends the records of a parameter file to the drive (records 2 and up; 0 and 1 stay as they\n"
     "are), then the end-of-load command. A file saved from a drive with another number of records\n"
     "is refused. Run 'store' afterwards to keep the values over a power cycle. Ctrl-C cancels and\n"
     "says how many records the drive took.\n"},
    {"flash",
     "flash FILE.out [--yes] [--processor F2808|F28335] [--kernel KERNEL.out] [--baud RATE] [--boot-baud "
     "RATE]\n"
     "      [--verify=readback]",
     "Updates the drive's firmware from a TI COFF file for the C28x: checks the file, switches the\n"
     "drive into its boot loader, loads the flash kernel, erases, programs and verifies every code\n"
     "and data section, then re-opens the port and identifies the drive again. Asks to switch the\n"
     "drive on unless --yes is given or the input is not a terminal. Ctrl-C cancels at the next\n"
     "packet and says what state the drive is in; running flash again finishes the update.\n"
     "Before the drive is told anything, every section must lie in the flash that the update erases\n"
     "on the drive's processor: the F2808 of every QMX10 drive, or the one the last update on the\n"
     "port named (the update log; docs/firmware-fit.md), also for a drive that does not answer (it\n"
     "waits in its boot loader); --processor names another. A cancel before the erase resets the\n"
     "drive through DTR so that it runs its firmware.\n"
     "Rates: the boot ROM locks and loads the flash kernel at --boot-baud (default 19200), then the\n"
     "kernel erases, programs and verifies at --baud (default 115200). When the kernel does not\n"
     "answer at --baud, the drive is reset and the whole update runs at 19200 (said on the error\n"
     "stream); --baud 19200 uses 19200 throughout. Rates: 115200, 57600, 38400, 19200, 9600, 4800,\n"
     "2400, 1200; any other is refused before the port is opened.\n"
     "With --port sim, --sim-flash F2808|F28335 picks the simulated processor's flash.\n"
     "--kernel KERNEL.out loads that flash kernel instead of the one built in (checked first: a C28x\n"
     "COFF image whose sections load into RAM). A build whose kernel is the stand-in (it programs\n"
     "the simulated drive only) says so before it sends anything to another port, and on a terminal\n"
     "asks whether to go on; --yes answers that too. JSON: standInKernelWarning.\n"
     "The kernel's verify compares a 16-bit sum per section: it catches any single wrong word, but two\n"
     "errors that cancel pass it. --verify=readback also reads the flash back and compares it word by\n"
     "word with the file, naming the first differing address (it costs about as long as programming).\n"},
    {"coff", "coff FILE [--symbols]",
     "Shows a COFF file: file header, sections with run and load address, size, flags and the\n"
     "loadable mark, entry point and largest loadable section, and for which processors (drive\n"
     "types) the file is firmware; with --symbols the symbol table.\n"
     "No --port needed.\n"},
    {"batch", "batch --port PORT... | --ports FILE [--jobs N] [--failed FILE] -- COMMAND [ARGS]",
     "Runs one drive command on many drives at once, each drive in an axtune-cli process of its\n"
     "own: the ports from repeated --port or a file (--ports FILE, one device or rfc2217:// address\n"
     "a line, # comments), the command after --, at most --jobs N at once (default: as many as the\n"
     "open-file limit allows; the others wait their turn). A port named twice, also through a link,\n"
     "is refused. A command that writes a file (save, report) needs a file name per drive: {port}\n"
     "(the port made fit for a file name), {type} (the drive's type) and {n} (the drive's line\n"
     "number) in the path are filled in per drive, and one path for two drives is refused before\n"
     "anything starts. While it runs, a line per drive shows its port, identification, step, percent\n"
     "and time left (redrawn on a terminal, plain lines otherwise); at the end a table of every drive\n"
     "with its outcome, time and the reason of a failure (--json: one object per drive). --failed\n"
     "FILE gets the ports that did not succeed, for a second run with --ports FILE. Exit 0 only when\n"
     "every drive succeeded. Ctrl-C stops every drive at its safe point; the table says where each\n"
     "was left.\n"
     "Examples: batch --ports cabinet.txt --failed again.txt -- flash fw.out --yes\n"
     "          batch --ports cabinet.txt -- save 'line-{port}.qmx'\n"},
    {"doctor", "doctor [--port DEV|rfc2217://HOST:PORT]",
     "Checks what keeps a serial port from working on Linux and prints the command that fixes\n"
     "each finding: read and write access to each USB serial device (its owner, group and mode; a\n"
     "new login after usermod), every process that holds the port (from /proc; a pseudo-terminal's\n"
     "own server is named as such), ModemManager probing the adapter without a udev rule that tells\n"
     "it not to, brltty's udev rules claiming CH34x and CP210x adapters, an FTDI adapter's latency\n"
     "timer above 1 ms (with what a record exchange costs at each value), and an rfc2217:// address\n"
     "that does not answer, is busy with another client, or does not speak RFC 2217.\n"
     "Without --port it looks at every /dev/ttyUSB* and /dev/ttyACM*. One line per check: OK,\n"
     "WARNING or PROBLEM. Exit 0 when nothing blocks, 1 when a problem does.\n"},
    {"get", "get NAME...",
     "Reads parameters by name in the units the pages show (motor-current, profile-3-velocity,\n"
     "input-de4, ...; 'params' lists them, other words are record-R-word-W). Each line reads\n"
     "NAME=VALUE, which 'set' takes back, then the label in the language of --lang.\n"},
    {"set", "set NAME=VALUE... [--no-verify]",
     "Writes parameters by name in the units the pages show, e.g. set motor-current=1500. List\n"
     "values by their text in either language or its ASCII form (input-de4=profile-2-jogging),\n"
     "flags as 0/1 or off/on. Every value is checked against its limit first: one value outside it\n"
     "is refused with the limit named and nothing is written. Each value is read back and compared\n"
     "unless --no-verify is given. Run 'store' to keep the values over a power cycle.\n"},
    {"params", "params",
     "Lists every named parameter: name, label (--lang), unit, page and where it lives (record and\n"
     "word, object); with --json also its limits, scale and list entries. No --port needed.\n"},
    {"diff", "diff A B [--all]",
     "Compares two parameter sets by name: A and B are each a parameter file or the word 'drive'\n"
     "for the connected drive. Lists the values that differ page by page, in units and raw words;\n"
     "words no page shows as record-R-word-W. --all lists equal values too. Exit code 0 when equal,\n"
     "1 when different, 2 usage error, 3 file error, 4 drive or link failure.\n"},
    {"report", "report FILE.pdf|FILE.html [--reference FILE.qmx] [--user NAME] [--company NAME]",
     "Writes the commissioning report of the connected drive: identification, date and time, user\n"
     "and company (name.dat or --user/--company), every parameter page by page, the differences to\n"
     "the reference file, and the last firmware update this program logged. The language follows\n"
     "--lang. A PDF needs a build with Qt; HTML always works and needs nothing else to be shown.\n"},
    {"history", "history",
     "Prints the local log of firmware updates (both front ends append to it): time, port, drive\n"
     "before and after, file, SHA-256, outcome, duration. No --port needed.\n"},
};

const CommandHelp* Find(const std::string& command) {
  for (const auto& help : kCommands) {
    if (command == help.name) return &help;
  }
  return nullptr;
}

}  // namespace

// The kind of file a command's arguments name, for the shell's completion.
static std::string FilesOf(const std::string& command) {
  if (command == "save" || command == "load" || command == "diff") return "qmx";
  if (command == "flash" || command == "coff") return "out";
  if (command == "report") return "@(pdf|html)";
  return {};
}

std::vector<CommandDoc> CommandDocs() {
  std::vector<CommandDoc> docs;
  for (const auto& help : kCommands)
    docs.push_back({help.name, help.synopsis, help.text, FilesOf(help.name)});
  return docs;
}

bool IsCommand(const std::string& command) {
  return Find(command) != nullptr;
}

void PrintToolHelp(std::ostream& out) {
  out << "Usage: " << kProgram << " [options] COMMAND [arguments]\n\n"
      << "Commissioning of QMX10 drives from a terminal or a script.\n\nCommands:\n";
  for (const auto& help : kCommands) out << "  " << help.synopsis << '\n';
  out << "\nOptions:\n"
         "  --port COMn|DEVICE|sim  the drive's port: a slot COM1..COM12, a device such as /dev/ttyUSB0,\n"
         "                          a network port rfc2217://HOST:PORT (a serial device server), or sim\n"
         "                          for the built-in simulated drive (default: $AXTUNE_PORT)\n"
         "  --json                  results as JSON on standard output (field names in docs/cli.md)\n"
         "  --lang de|en            language of decoded texts (default: from the locale)\n"
         "  --version               the version of axtune-cli\n"
         "  --help                  this text; '"
      << kProgram
      << " COMMAND --help' for one command\n"
         "  --sim-real-time         with --port sim: the simulated drive runs on the wall clock\n"
         "  --sim-faults LIST       with --port sim: line faults such as delay=1,delay-ms=300 or\n"
         "                          unplug-ms=500 (all of them in docs/cli.md)\n\n"
         "Exit codes: 0 success, 1 drive or link failure, 2 usage error, 3 file error, 130 cancelled\n"
         "(Ctrl-C or SIGTERM: the command stops within a second; a second Ctrl-C ends it at once).\n";
}

bool PrintCommandHelp(const std::string& command, std::ostream& out) {
  const CommandHelp* help = Find(command);
  if (help == nullptr) return false;
  out << "Usage: " << kProgram << " [--port PORT] [--json] [--lang de|en] " << help->synopsis << "\n\n"
      << help->text;
  return true;
}

}  // namespace axtune::cli
