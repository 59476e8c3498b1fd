// ports: the slots COM1..COM12, the device behind each, whether it opens, and its carrier.
#include <cstdio>
#include <ostream>

#include "cli/cli_internal.h"
#include "link/port_discovery.h"
#include "link/port_slots.h"
#include "link/serial_port.h"

namespace axtune::cli {
namespace {

struct PortProbe {
  PortSlot slot;
  SerialDeviceInfo info;  // what the system says about the device (empty fields when nothing)
  bool opens = false;
  std::optional<bool> carrier;  // empty when the port cannot tell (pseudo-terminals) or did not open
  std::string error;
};

// Opens the device without sending anything, reads the modem lines, closes it again.
PortProbe Probe(const PortSlot& slot) {
  PortProbe probe;
  probe.slot = slot;
  if (slot.device.empty()) return probe;
  for (const SerialDeviceInfo& info : DiscoverSerialDevices()) {
    if (info.device == slot.device) probe.info = info;
  }
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
      auto text = [](const std::string& value) { return value.empty() ? Json() : Json(value); };
      entry.set("description", text(p.slot.description)).set("byId", text(p.info.byIdName));
      entry.set("byIdPath", text(p.slot.byIdPath)).set("remembered", text(p.slot.key));
      entry.set("manufacturer", text(p.info.manufacturer)).set("product", text(p.info.product));
      entry.set("serial", text(p.info.serial)).set("vendorId", text(p.info.vendorId));
      entry.set("productId", text(p.info.productId)).set("driver", text(p.info.driver));
      entry.set("network", IsNetworkPortName(p.slot.device));
      entry.set("opens", p.opens).set("carrier", p.carrier ? Json(*p.carrier) : Json());
      entry.set("error", p.error.empty() ? Json() : Json(p.error));
      list.push(entry);
    }
    Json j = Json::object();
    j.set("ports", list);
    j.write(context.out);
    return kExitOk;
  }
  char line[512];
  std::snprintf(line, sizeof line, "%-6s %-24s %-6s %-8s %s\n", "slot", "device", "opens", "carrier", "what");
  context.out << line;
  for (const PortProbe& p : probes) {
    const char* carrier = p.carrier ? (*p.carrier ? "on" : "off") : "-";
    // What is plugged in, as the window's port menu names it; a remembered adapter that is away.
    std::string what = p.slot.description;
    if (p.slot.device.empty() && !p.slot.key.empty()) what = p.slot.key + " (not plugged in)";
    std::snprintf(line, sizeof line, "%-6s %-24s %-6s %-8s %s", p.slot.label.c_str(),
                  p.slot.device.empty() ? "-" : p.slot.device.c_str(),
                  p.slot.device.empty() ? "-" : (p.opens ? "yes" : "no"), carrier, what.c_str());
    std::string text = line;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    context.out << text;
    if (!p.error.empty()) context.out << "  (" << p.error << ")";
    context.out << '\n';
  }
  context.out << "sim    built-in simulated drive (--port sim)\n";
  return kExitOk;
}

}  // namespace axtune::cli
