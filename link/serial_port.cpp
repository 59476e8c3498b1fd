// The in-process port registry, the platform factory and the user-facing open-error texts.
#include "link/serial_port.h"

#include <chrono>
#include <map>
#include <mutex>

#include "link/in_process_port.h"
#include "link/platform_serial_port.h"
#include "link/port_handover.h"
#include "link/rfc2217_serial_port.h"

namespace axtune {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, InProcessPortFactory> factories;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

}  // namespace

size_t SerialPort::readSome(uint8_t* buffer, size_t min, size_t max) {
  if (max < min) max = min;
  size_t got = read(buffer, min);
  if (got < min || got >= max) return got;
  const size_t waiting = bytesWaiting();
  if (waiting > 0) got += read(buffer + got, waiting < max - got ? waiting : max - got);
  return got;
}

uint64_t SerialPort::clockUs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

std::unique_ptr<SerialPort> createSerialPort(const std::string& device) {
  InProcessPortFactory factory;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.factories.find(device);
    if (it != r.factories.end()) factory = it->second;
  }
  // The factory runs outside the lock so that it may itself create or register ports.
  if (factory) {
    if (auto port = factory(device)) return port;
  }
  if (IsRfc2217Name(device)) return CreateHandOverNetworkPort(device);
  return createPlatformSerialPort(device);
}

void registerInProcessPort(const std::string& device, InProcessPortFactory factory) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (factory) {
    r.factories[device] = std::move(factory);
  } else {
    r.factories.erase(device);
  }
}

void unregisterInProcessPort(const std::string& device) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.factories.erase(device);
}

bool isInProcessPort(const std::string& device) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.factories.count(device) != 0;
}

std::string describeOpenError(PortOpenError error, const std::string& osText) {
  std::string sentence;
  switch (error) {
    case PortOpenError::None:
      return "The port opened without error.";
    case PortOpenError::NotFound:
      sentence = "The serial device does not exist: check the cable or adapter and choose another port.";
      break;
    case PortOpenError::PermissionDenied:
#ifdef _WIN32
      sentence = "Access to the serial device was denied: close any other program that uses the port.";
#else
      sentence =
          "Access to the serial device was denied: add your user to the dialout group (then log in "
          "again) or ask the administrator for access.";
#endif
      break;
    case PortOpenError::Busy:
      sentence = "The serial device is in use by another program: close that program and try again.";
      break;
    case PortOpenError::BadSettings:
      sentence =
          "The device does not accept serial port settings: it is probably not a serial port. "
          "Choose another port.";
      break;
    case PortOpenError::Other:
      sentence = "The serial device could not be opened.";
      break;
  }
  if (!osText.empty()) sentence += " (" + osText + ")";
  return sentence;
}

}  // namespace axtune
