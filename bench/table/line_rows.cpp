// The line itself: 64 KiB streamed into the simulated boot ROM and echoed back, and record
// exchanges with the drive firmware, both through qmx-sim with its default options.
#include <algorithm>
#include <deque>

#include "bench/table/bench_support.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "tests/firmware/programmer/qmx_sim_process.h"

namespace axtune::bench {
namespace {

constexpr size_t kLineBytes = 64 * 1024;
// Enough bytes in flight to keep the line busy on a loaded host (22 ms at 115200 baud), and within
// the 512 bytes the simulated drive holds on their way to it.
constexpr size_t kLineWindow = 256;
constexpr int kRecordExchanges = 300;
constexpr double kTurnaroundSeconds = 0.001;  // qmx-sim's default: the firmware's, not the host's

// The drive firmware hands the line to its boot ROM (record 127, sub-command 9).
bool EnterBootLoader(const std::string& device) {
  if (!OpenLink(device)) return false;
  RecordWords request = CommandRequest(kCmdEnterBootLoader);
  const bool answered = ExchangeRecord(kObjectRecord, request);
  CloseLink();
  return answered;
}

// A boot table of exactly kLineBytes: header, one block of data words into RAM, the end mark.
std::vector<uint8_t> LineTable() {
  std::vector<uint8_t> table = {0xAA, 0x08};
  table.resize(18, 0);                                  // eight reserved words
  table.insert(table.end(), {0x00, 0x00, 0x00, 0x90});  // entry 0x00009000: nothing runs there
  const size_t dataBytes = kLineBytes - table.size() - 6 - 2;
  const auto words = static_cast<uint16_t>(dataBytes / 2);
  table.insert(table.end(),
               {static_cast<uint8_t>(words & 0xFF), static_cast<uint8_t>(words >> 8), 0, 0, 0, 0});
  for (size_t i = 0; i < dataBytes; ++i) table.push_back(static_cast<uint8_t>(i * 131 + 7));
  table.insert(table.end(), {0, 0});
  return table;
}

Row LineRow(const Programs& programs, int rate) {
  Row row;
  row.what = Format("line: 64 KiB into the boot ROM and echoed back, %d baud", rate);
  row.reference = Format("%.3f s", WireSeconds(kLineBytes, rate));
  row.goal = "<= 1.02";
  test::QmxSimProcess sim;
  std::string error;
  if (!sim.start(programs.qmxSim, {"--quiet"}, error) || !EnterBootLoader(sim.device())) {
    row.measured = "failed: no boot loader (" + error + ")";
    row.ok = false;
    return row;
  }
  auto port = createSerialPort(sim.device());
  SerialSettings settings;
  settings.baudRate = rate;
  SerialTimeouts timeouts;
  timeouts.readPerByteMs = 1000000 / static_cast<uint32_t>(rate);
  timeouts.readConstantMs = 100;
  uint8_t a = 'A', echo = 0;
  if (!port->open(settings) || !port->setTimeouts(timeouts) || port->write(&a, 1) != 1 ||
      port->read(&echo, 1) != 1 || echo != 'A') {
    row.measured = "failed: the boot ROM did not autobaud";
    row.ok = false;
    return row;
  }
  const std::vector<uint8_t> table = LineTable();
  std::vector<uint8_t> echoes(kLineWindow);
  size_t sent = 0, checked = 0;
  const auto start = Clock::now();
  while (checked < table.size()) {
    const size_t room = std::min(kLineWindow - (sent - checked), table.size() - sent);
    if (room > 0 && port->write(table.data() + sent, room) == room) sent += room;
    const size_t got = port->readSome(echoes.data(), 1, sent - checked);
    if (got == 0 || !std::equal(echoes.begin(), echoes.begin() + static_cast<ptrdiff_t>(got),
                                table.begin() + static_cast<ptrdiff_t>(checked))) {
      break;
    }
    checked += got;
  }
  const double elapsed = Seconds(start, Clock::now());
  if (checked < table.size()) {
    row.measured = Format("failed: echo %zu of %zu missing or wrong", checked, table.size());
    row.ok = false;
    return row;
  }
  row.measured = Format("%.3f s", elapsed);
  row.ratio = elapsed / WireSeconds(kLineBytes, rate);
  row.ok = row.ratio <= 1.02;
  return row;
}

Row RecordRow(const Programs& programs) {
  Row row;
  row.what = Format("record exchange: %d reads of record 2 at 38400 baud", kRecordExchanges);
  row.goal = "<= 1.05 x (wire + 1 ms turnaround)";
  test::QmxSimProcess sim;
  std::string error;
  LineCount count;
  if (!sim.start(programs.qmxSim, {"--quiet"}, error)) {
    row.measured = "failed: " + error;
    row.ok = false;
    return row;
  }
  RegisterCountedDevice("bench:records", sim.device(), &count);
  RecordWords words{};
  if (!OpenLink("bench:records") || !ReadRecord(2, words)) {
    row.measured = "failed: the drive did not answer";
    row.ok = false;
    CloseLink();
    return row;
  }
  count = LineCount{};
  const auto start = Clock::now();
  int good = 0;
  for (int i = 0; i < kRecordExchanges; ++i) good += ReadRecord(2, words) ? 1 : 0;
  const double elapsed = Seconds(start, Clock::now());
  CloseLink();
  unregisterInProcessPort("bench:records");
  const double reference = count.wireSeconds + kRecordExchanges * kTurnaroundSeconds;
  row.measured = Format("%.3f s", elapsed);
  row.reference = Format("%.3f s + %.3f s", count.wireSeconds, kRecordExchanges * kTurnaroundSeconds);
  row.ratio = elapsed / reference;
  row.ok = good == kRecordExchanges && row.ratio <= 1.05;
  if (good != kRecordExchanges) row.measured += Format(" (%d of %d answered)", good, kRecordExchanges);
  return row;
}

}  // namespace

std::vector<Row> LineRows(const Programs& programs) {
  return {RecordRow(programs), LineRow(programs, 38400), LineRow(programs, 115200)};
}

}  // namespace axtune::bench
