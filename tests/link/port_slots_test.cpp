// Slot names, the device rule behind them and the open-error sentences.
#include <gtest/gtest.h>

#include <cstdlib>

#include "link/port_slots.h"
#include "link/serial_port.h"
#include "tests/support/test_env.h"

namespace axtune {
namespace {

TEST(PortSlots, SlotNumbersFromNames) {
  EXPECT_EQ(PortSlotNumber("\\\\.\\COM1"), 1);
  EXPECT_EQ(PortSlotNumber("\\\\.\\COM12"), 12);
  EXPECT_EQ(PortSlotNumber("COM7"), 7);
  EXPECT_EQ(PortSlotNumber("com3"), 3);
  for (const char* name :
       {"\\\\.\\COM13", "COM0", "COM01", "\\\\.\\COM", "COM1x", "/dev/ttyS0", "", "\\\\.\\LPT1"}) {
    EXPECT_EQ(PortSlotNumber(name), 0) << name;
  }
  EXPECT_EQ(PortSlotName(3), "\\\\.\\COM3");
  for (int n = kFirstPortSlot; n <= kLastPortSlot; ++n) EXPECT_EQ(PortSlotNumber(PortSlotName(n)), n);
}

TEST(PortSlots, DeviceRuleOverridesEnvironmentAndDiscovery) {
  EXPECT_EQ(ResolvePortDevice("/dev/ttyUSB7"), "/dev/ttyUSB7");  // not a slot name: itself

#ifndef _WIN32
  // AXTUNE_COM<n> is the POSIX rule; on Windows slot n is always the COM port of that number.
  axtune::test::SetEnv("AXTUNE_COM4", "/tmp/sim-pty");
  EXPECT_EQ(ResolvePortDevice("\\\\.\\COM4"), "/tmp/sim-pty");
  EXPECT_EQ(ResolvePortDevice("COM4"), "/tmp/sim-pty");
#else
  EXPECT_EQ(ResolvePortDevice("COM4"), "\\\\.\\COM4");
#endif

  SetPortSlotOverride(4, "in-process-drive");
  EXPECT_EQ(ResolvePortDevice("\\\\.\\COM4"), "in-process-drive");
  const std::vector<PortSlot> slots = ListPortSlots();
  ASSERT_EQ(slots.size(), 12u);
  EXPECT_EQ(slots[3].number, 4);
  EXPECT_EQ(slots[3].label, "COM4");
  EXPECT_EQ(slots[3].device, "in-process-drive");
  EXPECT_EQ(slots[11].label, "COM12");

  SetPortSlotOverride(4, "");
#ifndef _WIN32
  EXPECT_EQ(ResolvePortDevice("\\\\.\\COM4"), "/tmp/sim-pty");
  axtune::test::UnsetEnv("AXTUNE_COM4");
  EXPECT_NE(ResolvePortDevice("\\\\.\\COM4"), "/tmp/sim-pty");
#else
  EXPECT_EQ(ResolvePortDevice("\\\\.\\COM4"), "\\\\.\\COM4");
#endif

  SetPortSlotOverride(13, "ignored");  // no such slot
  EXPECT_EQ(ResolvePortDevice("COM13"), "COM13");
}

TEST(InProcessPorts, RegistryServesRegisteredNamesOnly) {
  int created = 0;
  registerInProcessPort("unit-test-port", [&created](const std::string&) -> std::unique_ptr<SerialPort> {
    ++created;
    return nullptr;  // a factory that declines falls back to the platform
  });
  auto port = createSerialPort("unit-test-port");
  EXPECT_EQ(created, 1);
  ASSERT_NE(port, nullptr);
  EXPECT_FALSE(port->open(SerialSettings{}));
  EXPECT_EQ(port->lastOpenError(), PortOpenError::NotFound);
  unregisterInProcessPort("unit-test-port");
  createSerialPort("unit-test-port");
  EXPECT_EQ(created, 1);
}

}  // namespace
}  // namespace axtune
