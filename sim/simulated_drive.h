// The simulated QMX10 drive as a whole: the drive firmware (records, objects, CiA 402 state
// machine, motion), the processor below it (boot ROM, flash kernel, flash), and the serial line
// between the drive and one host (pacing, carrier, cable, power, fault injection), on one clock.
//
// Every member is thread-safe: the host side (a serial port) runs on one thread while the carrier
// watcher reads the modem lines and a test or the GUI unplugs the cable from another.
//
// Typical use:
//   auto drive = axtune::sim::registerSimulatedDrive("sim:qmx", axtune::sim::SimConfig::realTime());
//   axtune::SetPortSlotOverride(1, "sim:qmx");     // the GUI finds it on COM1
//   axtune::OpenLink("sim:qmx");                   // or open it by name
//
// Record layout, object mapping and error codes: see sim/record_layout.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/drive_link.h"
#include "link/serial_port.h"
#include "link/sleeper.h"
#include "sim/sim_config.h"

namespace axtune::sim {

class BootProcessor;
class DriveFirmware;
class LineModel;

// Faults of the drive that tests and the demo can trigger; each puts the drive into its fault
// state with the error number shown by the status displays.
enum class DriveFault : uint16_t {
  UnderVoltage = 1,
  OverVoltage = 2,
  OverTemperature = 4,
  FollowingError = 6,
  MotorBlocked = 9,
};

// A summary of the drive's inner state (tests, the demo's console).
struct DriveSnapshot {
  int32_t position = 0;     // motor position, steps
  double velocity = 0;      // steps/s
  uint16_t statusword = 0;  // object 0x6041
  uint16_t deviceState =
      0;  // record 129 word 14 (0 fault, 1 not ready, 2 ready, 3 on, 4 operation, 5 quick stop)
  uint16_t errorNumber = 0;      // record 129 word 13
  uint16_t motionState = 0;      // record 131 word 0
  uint16_t referenced = 0;       // record 129 word 10 (0 no, 1 homing, 2 yes, 3 homing failed)
  bool firmwareRunning = false;  // false while the boot ROM or flash kernel owns the line
  bool powered = false;
  bool plugged = false;
};

class SimulatedDrive {
 public:
  explicit SimulatedDrive(SimConfig config = SimConfig::realTime());
  ~SimulatedDrive();
  SimulatedDrive(const SimulatedDrive&) = delete;
  SimulatedDrive& operator=(const SimulatedDrive&) = delete;

  const SimConfig& config() const { return config_; }

  // ---- The host's end of the cable (what a serial port does) -----------------------------------
  // Opening claims the host end (false when another port holds it) and sets DTR and the baud rate
  // without producing a DTR edge; closing releases it. Reset by DTR needs a raise and a lower while open.
  bool hostOpen(int baudRate, bool dtr);
  void hostClose();
  bool hostIsOpen() const;
  // Bytes go out at once (the UART buffer) and reach the drive paced at the baud rate.
  void hostWrite(const uint8_t* data, size_t n);
  // Waits until n bytes arrived or `timeoutMs` passed on the drive's clock; returns how many were read.
  size_t hostRead(uint8_t* buffer, size_t n, uint32_t timeoutMs) { return hostRead(buffer, n, n, timeoutMs); }
  // The same, then takes whatever else has arrived, up to `max` bytes.
  size_t hostRead(uint8_t* buffer, size_t min, size_t max, uint32_t timeoutMs);
  size_t hostBytesWaiting();
  // How often host reads have gone to sleep waiting for the line so far: each is a wake-up of the
  // reading thread, which an idle GUI polling the drive pays for many times a second.
  uint64_t hostReadWaits();
  void hostPurge();
  void hostSetDtr(bool on);  // a falling edge after a raise resets the processor (the cable carries it)
  void hostSetBaudRate(int rate);
  int hostBaudRate() const;
  ModemStatus modemStatus();  // carrier, DSR and CTS are on while the drive is powered and plugged in

  // ---- Time ------------------------------------------------------------------------------------
  uint64_t nowUs();
  // Lets simulated time pass: virtual time jumps, real time sleeps.
  void advance(uint64_t microseconds);
  void advanceMs(uint32_t milliseconds) { advance(uint64_t{milliseconds} * 1000); }
  // A sleeper for axtune::SetSleeper/ScopedSleeper: fixed pauses of the product become simulated
  // time (in virtual mode a 3000 ms pause costs no wall time but the motor moves on). The drive
  // must outlive the installed sleeper.
  SleepFunction sleeper();

  // ---- Power and cable -------------------------------------------------------------------------
  void powerOff();
  void powerOn();  // the processor starts: firmware if the flash holds valid firmware, else the boot ROM
  void powerCycle();
  void unplug();  // carrier off, nothing passes the cable
  void replug();
  bool powered();
  bool plugged();

  // ---- Faults and environment -----------------------------------------------------------------
  void setFaults(const FaultConfig& faults);
  void triggerFault(DriveFault fault);
  void setSupplyVolts(double volts);       // below 18 V under-voltage, above 100 V over-voltage
  void setAmbientCelsius(double celsius);  // the power stage trips at 80 degrees
  void setStopSwitch(bool active);
  // Holds a switch (input function 1 lower limit, 2 upper limit, 3 reference, 4 stop) pressed
  // (true) or released (false); none gives it back to the simulated mechanics.
  void forceSwitch(uint16_t function, std::optional<bool> active);

  // ---- Inspection and direct access (tests, the pty server, the programmer's tests) -------------
  DriveSnapshot snapshot();
  // The record as a read on the line would deliver it now (live records computed); false when the
  // record does not exist.
  bool record(int number, RecordWords& words);
  // Runs `fn` with the drive locked (anything not covered above); `fn` must not call back into the drive.
  void withFirmware(const std::function<void(DriveFirmware&)>& fn);
  void withProcessor(const std::function<void(BootProcessor&)>& fn);
  // Writes the flash to config().flashExportPath in config().flashExportFormat.
  bool writeFlashExport(std::string* error);

  // ---- For servers that pump bytes themselves (qmx-sim on a pty) ------------------------------
  // Moves the clock to now (real time) and hands over every reply byte that has arrived by now.
  void takeArrived(std::vector<uint8_t>& out);
  // When the next reply byte reaches the host, or the drive gets a byte it may answer (which would
  // queue more), in simulated microseconds; UINT64_MAX when neither is pending.
  uint64_t nextArrivalUs();

 private:
  struct Impl;
  SimConfig config_;
  std::unique_ptr<Impl> impl_;
};

// Creates a drive and registers it with the serial port layer under `deviceName`, so that
// createSerialPort(deviceName) and OpenLink(deviceName) reach it. Registering a name again
// replaces the earlier drive. The returned drive stays usable after unregistering.
std::shared_ptr<SimulatedDrive> registerSimulatedDrive(const std::string& deviceName,
                                                       SimConfig config = SimConfig::realTime());
void unregisterSimulatedDrive(const std::string& deviceName);

// A serial port on a simulated drive (what registerSimulatedDrive's factory creates).
std::unique_ptr<SerialPort> createSimulatedPort(std::shared_ptr<SimulatedDrive> drive,
                                                const std::string& deviceName);

}  // namespace axtune::sim
