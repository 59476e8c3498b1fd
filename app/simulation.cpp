#include "app/simulation.h"

#include "link/port_slots.h"
#include "res/strings.h"

#if defined(AXTUNE_WITH_SIM) && __has_include("sim/simulated_drive.h")
#include <memory>

#include "sim/simulated_drive.h"
#define AXTUNE_SIMULATION_AVAILABLE 1
#endif

namespace axtune {

#ifdef AXTUNE_SIMULATION_AVAILABLE
namespace {
std::shared_ptr<sim::SimulatedDrive>& TheDrive() {
  static std::shared_ptr<sim::SimulatedDrive> drive;
  return drive;
}
}  // namespace
#endif

bool SetSimulatedCablePulled(bool pulled) {
#ifdef AXTUNE_SIMULATION_AVAILABLE
  const std::shared_ptr<sim::SimulatedDrive>& drive = TheDrive();
  if (drive == nullptr) return false;
  if (pulled) {
    drive->unplug();
  } else {
    drive->replug();
  }
  return true;
#else
  (void)pulled;
  return false;
#endif
}

bool StartSimulation(std::string* error, const std::string& processor) {
#ifdef AXTUNE_SIMULATION_AVAILABLE
  (void)error;
  // Real time and paced at the baud rate: the demo behaves like a drive on a cable.
  sim::SimConfig config = sim::SimConfig::realTime();
  config.flashGeometry = processor;
  sim::ApplyReplyStylesFromEnvironment(config);
  std::shared_ptr<sim::SimulatedDrive>& drive = TheDrive();
  if (drive == nullptr) drive = sim::registerSimulatedDrive(kSimulatedDeviceName, config);
  SetPortSlotOverride(kSimulatedPortSlot, kSimulatedDeviceName);
  return drive != nullptr;
#else
  (void)processor;
  if (error != nullptr) *error = Text(40042);
  return false;
#endif
}

}  // namespace axtune
