// The doctor's checks of what else on the machine gets between Axtune and an adapter: ModemManager,
// brltty, the FTDI latency timer; and of a serial device server on the network.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "cli/doctor_checks.h"
#include "cli/doctor_internal.h"
#include "link/rfc2217_protocol.h"
#include "link/rfc2217_serial_port.h"
#include "link/tcp_stream.h"

namespace axtune::cli {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The device's name without its folder ("ttyUSB0" for "/dev/ttyUSB0", also through a link such as
// /dev/serial/by-id/...).
std::string KernelName(const DoctorSystem& system, const std::string& device) {
  std::error_code ec;
  const fs::path path = UnderRoot(system, device);
  fs::path resolved = fs::is_symlink(path, ec) ? fs::weakly_canonical(path, ec) : path;
  if (ec) resolved = path;
  return resolved.filename().string();
}

// The USB vendor and product of a tty's adapter: the first folder above its device with an idVendor.
bool UsbIds(const DoctorSystem& system, const std::string& name, std::string& vendor, std::string& product) {
  std::error_code ec;
  fs::path dir = fs::weakly_canonical(UnderRoot(system, "/sys/class/tty/" + name + "/device"), ec);
  if (ec) return false;
  for (int up = 0; up < 5 && !dir.empty(); ++up, dir = dir.parent_path()) {
    vendor = ReadFirstLine(dir / "idVendor");
    product = ReadFirstLine(dir / "idProduct");
    if (!vendor.empty()) return true;
  }
  return false;
}

bool Running(const DoctorSystem& system, const std::string& command) {
  const std::vector<ProcessInfo> processes = ListProcesses(system);
  return std::any_of(processes.begin(), processes.end(),
                     [&](const ProcessInfo& p) { return p.command == command; });
}

const char* const kRuleFolders[] = {"/lib/udev/rules.d", "/usr/lib/udev/rules.d"};
// USB vendors of the adapters brltty's rules claim along with braille displays.
const char* const kBrlttyClaimed[][2] = {{"1a86", "CH34x"}, {"10c4", "CP210x"}};

}  // namespace

std::vector<Finding> CheckModemManager(const DoctorSystem& system, const std::vector<std::string>& devices) {
  if (!Running(system, "ModemManager"))
    return {{"modemmanager", Severity::Ok, {}, "ModemManager does not run", {}}};
  std::vector<Finding> findings;
  for (const std::string& device : devices) {
    const std::string name = KernelName(system, device);
    if (name.rfind("ttyUSB", 0) != 0 && name.rfind("ttyACM", 0) != 0) continue;
    // udev's database says whether a rule told ModemManager to leave the device alone.
    const std::string numbers = ReadFirstLine(UnderRoot(system, "/sys/class/tty/" + name + "/dev"));
    const std::string udev = ReadWhole(UnderRoot(system, "/run/udev/data/c" + numbers));
    Finding f{"modemmanager", Severity::Ok, device, "ModemManager runs and leaves this adapter alone", {}};
    if (!numbers.empty() && udev.find("E:ID_MM_DEVICE_IGNORE=1") != std::string::npos) {
      findings.push_back(f);
      continue;
    }
    f.severity = Severity::Warning;
    f.message =
        "ModemManager runs and may probe this adapter when it is plugged in (it sends AT commands "
        "and takes the drive's first answers for some seconds)";
    std::string vendor, product;
    if (UsbIds(system, name, vendor, product)) {
      f.fix = "echo 'ATTRS{idVendor}==\"" + vendor + "\", ATTRS{idProduct}==\"" + product +
              "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"' | sudo tee /etc/udev/rules.d/99-axtune-modemmanager.rules "
              "&& sudo udevadm control --reload, then plug the adapter in again";
    } else {
      f.fix = "sudo systemctl disable --now ModemManager (when no modem is used on this machine)";
    }
    findings.push_back(f);
  }
  if (findings.empty()) {
    findings.push_back({"modemmanager",
                        Severity::Warning,
                        {},
                        "ModemManager runs and probes USB serial adapters when they are plugged in",
                        "sudo systemctl disable --now ModemManager (when no modem is used on this machine)"});
  }
  return findings;
}

Finding CheckBrltty(const DoctorSystem& system) {
  Finding f{"brltty", Severity::Ok, {}, "brltty's udev rules claim no serial adapter", {}};
  for (const char* folder : kRuleFolders) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(UnderRoot(system, folder), ec)) {
      const std::string file = entry.path().filename().string();
      if (file.find("brltty") == std::string::npos) continue;
      // A file of the same name in /etc/udev/rules.d replaces it (a link to /dev/null masks it).
      const fs::path override = UnderRoot(system, "/etc/udev/rules.d/" + file);
      std::error_code overrideError;
      if (fs::exists(override, overrideError) || fs::is_symlink(override, overrideError)) continue;
      const std::string rules = Lower(ReadWhole(entry.path()));
      std::string claimed;
      for (const auto& vendor : kBrlttyClaimed) {
        if (rules.find(std::string("idvendor}==\"") + vendor[0]) != std::string::npos)
          claimed += (claimed.empty() ? "" : " and ") + std::string(vendor[1]);
      }
      if (claimed.empty()) continue;
      // Such an adapter plugged in now is taken from under Axtune.
      bool present = false;
      std::error_code usbError;
      for (const fs::directory_entry& usb :
           fs::directory_iterator(UnderRoot(system, "/sys/bus/usb/devices"), usbError)) {
        const std::string vendor = Lower(ReadFirstLine(usb.path() / "idVendor"));
        for (const auto& v : kBrlttyClaimed) present = present || vendor == v[0];
      }
      f.severity = present ? Severity::Problem : Severity::Warning;
      f.subject = std::string(folder) + "/" + file;
      f.message = "brltty is installed and its udev rules claim " + claimed +
                  " adapters: the port disappears a second after it is plugged in" +
                  (present ? " (such an adapter is plugged in)" : "");
      f.fix =
          "sudo apt remove brltty (when no braille display is used), or: sudo ln -s /dev/null "
          "/etc/udev/rules.d/" +
          file + " && sudo udevadm control --reload; then plug the adapter in again";
      return f;
    }
  }
  return f;
}

double RecordExchangeMs(int latencyMs) {
  // A record read is a 2-byte request and a 34-byte reply, ten bits a byte at 38400 baud, plus the
  // firmware's 1 ms turnaround. The adapter holds a reply shorter than its buffer until its latency
  // timer runs out, so the timer adds up to its own length to each exchange.
  const double wireMs = 36.0 * 10.0 * 1000.0 / 38400.0;
  return wireMs + 1.0 + std::max(latencyMs, 1);
}

Finding CheckLatency(const DoctorSystem& system, const std::string& device) {
  const std::string name = KernelName(system, device);
  const std::string text =
      ReadFirstLine(UnderRoot(system, "/sys/bus/usb-serial/devices/" + name + "/latency_timer"));
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      text.size() > 4) {
    return {};  // not an FTDI adapter: no latency timer to set
  }
  const int latency = std::stoi(text);
  Finding f{"latency", Severity::Ok, device, "FTDI latency timer " + text + " ms", {}};
  if (latency <= 1) return f;
  char costs[256];
  std::snprintf(
      costs, sizeof costs,
      "FTDI latency timer %d ms: a record exchange takes up to %.0f ms instead of %.0f ms at 1 ms "
      "(2 ms: %.0f, 4 ms: %.0f, 8 ms: %.0f, 16 ms: %.0f); reading 65 records %.1f s instead of %.1f s",
      latency, RecordExchangeMs(latency), RecordExchangeMs(1), RecordExchangeMs(2), RecordExchangeMs(4),
      RecordExchangeMs(8), RecordExchangeMs(16), 65 * RecordExchangeMs(latency) / 1000.0,
      65 * RecordExchangeMs(1) / 1000.0);
  f.severity = Severity::Warning;
  f.message = costs;
  f.fix =
      "echo 1 | sudo tee /sys/bus/usb-serial/devices/" + name +
      "/latency_timer; to keep it: echo 'ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVERS==\"ftdi_sio\", "
      "ATTR{latency_timer}=\"1\"' | sudo tee /etc/udev/rules.d/99-axtune-ftdi-latency.rules";
  return f;
}

namespace {

// The printable text of what a server sent (Telnet commands and control bytes left out), at most a line.
std::string PrintableText(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && text.size() < 120; ++i) {
    if (bytes[i] == rfc2217::kIac) {
      i += 2;  // IAC and its command and option
      continue;
    }
    if (bytes[i] >= 0x20 && bytes[i] < 0x7F)
      text += static_cast<char>(bytes[i]);
    else if (!text.empty() && text.back() != ' ')
      text += ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool Contains(const std::string& text, const char* word) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(word) != std::string::npos;
}

}  // namespace

Finding CheckRfc2217(const std::string& address, int waitMs) {
  Finding f{"rfc2217", Severity::Problem, address, {}, {}};
  std::string host, error;
  uint16_t port = 0;
  if (!ParseRfc2217Name(address, host, port, error)) {
    f.message = error;
    f.fix = "write the address as rfc2217://HOST:PORT";
    return f;
  }
  TcpStream stream;
  ConnectError reason = ConnectError::None;
  if (!stream.connect(host, port, waitMs, reason, error)) {
    f.message = "nothing answers at " + host + ":" + std::to_string(port) + " (" + error + ")";
    f.fix = "check the address, the network (ping " + host + ") and that the device server serves this port";
    return f;
  }
  // Offer the COM port option; a device server in RFC 2217 mode agrees with DO COM-PORT-OPTION.
  using namespace rfc2217;
  const uint8_t offer[] = {kIac, kWill, kOptionComPort};
  stream.send(offer, sizeof offer, waitMs);
  std::vector<uint8_t> received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  bool closed = false;
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) break;
    uint8_t buffer[256];
    const long n = stream.receive(buffer, sizeof buffer, static_cast<int>(left));
    if (n < 0) {
      closed = true;
      break;
    }
    received.insert(received.end(), buffer, buffer + n);
    for (size_t i = 0; i + 2 < received.size(); ++i) {
      if (received[i] == kIac && received[i + 2] == kOptionComPort &&
          (received[i + 1] == kDo || received[i + 1] == kDont)) {
        if (received[i + 1] == kDo) {
          f.severity = Severity::Ok;
          f.message = "the device server answers and speaks RFC 2217";
          return f;
        }
        f.message = "the device server answers but refuses the COM port option (RFC 2217)";
        f.fix = "switch the port to RFC 2217 mode (in ser2net 4: accepter: telnet(rfc2217),tcp," +
                std::to_string(port) + ")";
        return f;
      }
    }
  }
  // A device server whose port another client holds says so and closes the connection (ser2net:
  // "Port already in use", qmx-sim: "... in use by another client ..."); a raw TCP port keeps the
  // connection open and answers no Telnet option.
  const std::string said = PrintableText(received);
  const bool busyText = Contains(said, "in use") || Contains(said, "busy") || Contains(said, "already");
  if (closed || busyText) {
    f.message =
        "the device server is busy: another client holds this port" +
        (said.empty() ? std::string(" (it closed the connection at once)") : " (it said: \"" + said + "\")");
    f.fix = "close the other client (a second Axtune or axtune-cli, a terminal program) and try again";
  } else {
    f.message = "something answers at " + host + ":" + std::to_string(port) +
                " but does not speak RFC 2217 (a raw TCP port or another service)" +
                (said.empty() ? std::string() : "; it said: \"" + said + "\"");
    f.fix = "serve the port as Telnet with RFC 2217 (in ser2net 4: accepter: telnet(rfc2217),tcp," +
            std::to_string(port) + ")";
  }
  return f;
}

}  // namespace axtune::cli
