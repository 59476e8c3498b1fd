// ports: the slots COM1..COM12, the device behind each, whether it opens, and its carrier.
#include <cstdio>
#include <ostream>

#include "cli/cli_internal.h"
#include "link/port_slots.h"
#include "link/serial_port.h"

namespace axtune::cli {
namespace {

struct PortProbe {
  PortSlot slot;
  bool opens = false;
  std::optional<bool> carrier;  // empty when the port cannot tell (pseudo-terminals) or did not open
  std::string error;
};

// Opens the device without sending anything, reads the modem lines, closes it again.
PortProbe Probe(const PortSlot& slot) {
  PortProbe probe;
  probe.slot = slot;
  if (slot.device.empty()) return probe;
  std::unique_ptr<SerialPort> port = createSerialPort(slot.device);
  SerialSettings settings;
  if (!port || !port->open(settings)) {
    probe.error = port ? describeOpenError(port->lastOpenError(), port->lastErrorText()) : "no port layer";
    return probe;
  }
  probe.opens = true;
  ModemStatus status;
  if (port->modemStatus(status)) probe.carrier = status.carrier;
  port->close();
  return probe;
}

}  // namespace

int CmdPorts(Context& context) {
  std::vector<PortProbe> probes;
  for (const PortSlot& slot : ListPortSlots()) probes.push_back(Probe(slot));

  if (context.options.json) {
    Json list = Json::array();
    for (const PortProbe& p : probes) {
      Json entry = Json::object();
      entry.set("slot", p.slot.number).set("name", p.slot.label).set("device", p.slot.device);
      entry.set("opens", p.opens).set("carrier", p.carrier ? Json(*p.carrier) : Json());
      entry.set("error", p.error.empty() ? Json() : Json(p.error));
      list.push(entry);
    }
    Json j = Json::object();
    j.set("ports", list);
    j.write(context.out);
    return kExitOk;
  }
  char line[256];
  std::snprintf(line, sizeof line, "%-6s %-24s %-6s %s\n", "slot", "device", "opens", "carrier");
  context.out << line;
  for (const PortProbe& p : probes) {
    const char* carrier = p.carrier ? (*p.carrier ? "on" : "off") : "-";
    std::snprintf(line, sizeof line, "%-6s %-24s %-6s %s", p.slot.label.c_str(),
                  p.slot.device.empty() ? "-" : p.slot.device.c_str(),
                  p.slot.device.empty() ? "-" : (p.opens ? "yes" : "no"), carrier);
    context.out << line;
    if (!p.error.empty()) context.out << "  (" << p.error << ")";
    context.out << '\n';
  }
  context.out << "sim    built-in simulated drive (--port sim)\n";
  return kExitOk;
}

}  // namespace axtune::cli
