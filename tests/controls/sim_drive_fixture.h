// GUI tests of the bound controls and the pages against the simulated drive: the drive runs in the
// test process on virtual time, behind a port that logs every word and object write the link
// sends, and a host window stands in for the main window (connected flag, notifications).
#pragma once

#include <gtest/gtest.h>

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "controls/page_host.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/sleeper.h"
#include "link/testing/forwarding_serial_port.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/reply_styles.h"

namespace axtune::testing {

struct WordWrite {
  int record;
  int word;
  uint16_t value;
  bool operator==(const WordWrite&) const = default;
};
struct ObjectWrite {
  uint16_t index;
  uint8_t subindex;
  uint32_t value;
  bool operator==(const ObjectWrite&) const = default;
};
struct WriteLog {
  std::vector<WordWrite> words;
  std::vector<ObjectWrite> objects;
  size_t count() const { return words.size() + objects.size(); }
  void clear() {
    words.clear();
    objects.clear();
  }
};

// Decodes each frame the link writes (one write call per frame) into the log.
class WriteLoggingPort : public ForwardingSerialPort {
 public:
  WriteLoggingPort(std::unique_ptr<SerialPort> inner, WriteLog* log)
      : ForwardingSerialPort(std::move(inner)), log_(log) {}
  size_t write(const uint8_t* data, size_t n) override {
    auto word = [&](size_t i) { return static_cast<uint16_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8); };
    if (n == 6 && (data[0] & 0x80) != 0) {
      log_->words.push_back({data[1], data[0] & 0x0F, word(0)});
    } else if (n == 34 && data[0] == 0x8F && data[1] == kObjectRecord && word(0) == kCmdObjectWrite) {
      log_->objects.push_back(
          {word(2), static_cast<uint8_t>(word(3)), static_cast<uint32_t>(word(4) | word(5) << 16)});
    }
    return inner().write(data, n);
  }

 private:
  WriteLog* log_;
};

class TestHost : public QWidget, public PageHost {
 public:
  bool IsConnected() const override { return connected; }
  void NotifyParameterChanged(int record) override { notified.push_back(record); }
  bool connected = true;
  std::vector<int> notified;
};

class SimDriveTest : public GuiTest {
 protected:
  static constexpr const char* kDevice = "sim:bound-controls";

  void SetUp() override {
    SetLanguage(Language::English);
    drive_ = std::make_shared<sim::SimulatedDrive>(driveConfig());
    registerInProcessPort(kDevice, [this](const std::string& name) -> std::unique_ptr<SerialPort> {
      return std::make_unique<WriteLoggingPort>(sim::createSimulatedPort(drive_, name), &log_);
    });
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    ASSERT_TRUE(OpenLink(kDevice));
    host_.resize(700, 500);
  }
  void TearDown() override {
    CloseLink();
    unregisterInProcessPort(kDevice);
    sleeper_.reset();
  }

  // The drive the test talks to; a style-parameterised fixture answers writes its own way.
  virtual sim::SimConfig driveConfig() { return sim::SimConfig::unitTest(); }

  // The record as the drive holds it now.
  RecordWords DriveRecord(int record) {
    RecordWords words{};
    EXPECT_TRUE(drive_->record(record, words)) << "record " << record;
    return words;
  }
  // The drive stops answering (every reply is lost) or answers again.
  void SetSilent(bool silent) {
    sim::FaultConfig faults;
    faults.silence = silent ? 1.0 : 0.0;
    drive_->setFaults(faults);
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<ScopedSleeper> sleeper_;
  WriteLog log_;
  UiRecorder ui_;
  TestHost host_;
};

}  // namespace axtune::testing
