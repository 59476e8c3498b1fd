// Shared by the tests of the Profiles and Homing pages: a simulated drive on virtual time behind a
// port that logs what the host sends, decoded into the drive accesses the pages make, and a window
// that stands in for the main window (connected, collecting change notifications).
#pragma once

#include <gtest/gtest.h>

#include <QWidget>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
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

// One access of the host as the drive sees it.
struct Access {
  enum Kind { RecordRead, WordWrite, ObjectWrite, ObjectRead, Other } kind = Other;
  int record = 0;      // RecordRead, WordWrite
  int word = 0;        // WordWrite
  uint16_t index = 0;  // ObjectWrite, ObjectRead
  int subindex = 0;
  int size = 0;        // ObjectWrite: 1, 2 or 4
  uint32_t value = 0;  // WordWrite (16 bits), ObjectWrite (the size's bytes)

  bool operator==(const Access&) const = default;
};

inline Access Read(int record) {
  return {Access::RecordRead, record, 0, 0, 0, 0, 0};
}
inline Access Word(int record, int word, uint16_t value) {
  return {Access::WordWrite, record, word, 0, 0, 0, value};
}
inline Access Object(uint16_t index, int subindex, int size, uint32_t value) {
  const uint32_t mask = size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
  return {Access::ObjectWrite, 0, 0, index, subindex, size, value & mask};
}
inline Access ObjectRead(uint16_t index, int subindex) {
  return {Access::ObjectRead, 0, 0, index, subindex, 0, 0};
}

inline std::ostream& operator<<(std::ostream& os, const Access& a) {
  switch (a.kind) {
    case Access::RecordRead:
      return os << "read " << a.record;
    case Access::WordWrite:
      return os << "word " << a.record << "/" << a.word << "=" << a.value;
    case Access::ObjectWrite:
      return os << "object " << std::hex << a.index << "/" << std::dec << a.subindex << " (" << a.size
                << ")=" << a.value;
    case Access::ObjectRead:
      return os << "object read " << std::hex << a.index << "/" << std::dec << a.subindex;
    default:
      return os << "other";
  }
}

// Splits what the host wrote into frames: a 2-byte record read, a 6-byte word write or a 34-byte
// record write (record 127 carries the object requests). The three "A" of opening are skipped.
inline std::vector<Access> DecodeAccesses(const Bytes& bytes) {
  std::vector<Access> out;
  size_t i = 0;
  auto word = [&](size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); };
  while (i < bytes.size()) {
    const uint8_t head = bytes[i];
    if (head == 0x0F && i + 2 <= bytes.size()) {
      out.push_back(Read(bytes[i + 1]));
      i += 2;
    } else if (head == 0x8F && i + 34 <= bytes.size()) {
      Access a;
      const uint16_t command = word(i + 2);
      if (bytes[i + 1] == kObjectRecord && (command == kCmdObjectWrite || command == kCmdObjectRead)) {
        a.kind = command == kCmdObjectWrite ? Access::ObjectWrite : Access::ObjectRead;
        a.index = word(i + 6);
        a.subindex = word(i + 8);
        if (command == kCmdObjectWrite) {
          a.size = 4 - (word(i + 4) - 0x23) / 4;
          const uint32_t value = word(i + 10) | uint32_t{word(i + 12)} << 16;
          a.value = Object(a.index, a.subindex, a.size, value).value;
        }
      }
      out.push_back(a);
      i += 34;
    } else if ((head & 0xF0) == 0x80 && i + 6 <= bytes.size()) {
      out.push_back(Word(bytes[i + 1], head & 0x0F, word(i + 2)));
      i += 6;
    } else {
      ++i;
    }
  }
  return out;
}

// Logs every byte the host writes to the drive.
class LoggingPort : public ForwardingSerialPort {
 public:
  LoggingPort(std::unique_ptr<SerialPort> inner, std::shared_ptr<std::mutex> mutex,
              std::shared_ptr<Bytes> log)
      : ForwardingSerialPort(std::move(inner)), mutex_(std::move(mutex)), log_(std::move(log)) {}
  size_t write(const uint8_t* data, size_t n) override {
    {
      std::lock_guard<std::mutex> lock(*mutex_);
      log_->insert(log_->end(), data, data + n);
    }
    return ForwardingSerialPort::write(data, n);
  }

 private:
  std::shared_ptr<std::mutex> mutex_;
  std::shared_ptr<Bytes> log_;
};

class HostWindow : public QWidget, public PageHost {
 public:
  bool IsConnected() const override { return connected; }
  void NotifyParameterChanged(int record) override { notified.push_back(record); }
  bool connected = true;
  std::vector<int> notified;
};

// A connected simulated drive and a host window for one page.
class MotionPageTest : public GuiTest {
 protected:
  static constexpr const char* kDevice = "sim:motion-page";

  // The drive the test talks to; a style-parameterised fixture answers writes its own way.
  virtual sim::SimConfig driveConfig() { return sim::SimConfig::unitTest(); }

  void SetUp() override {
    SetLanguage(Language::English);
    drive_ = std::make_shared<sim::SimulatedDrive>(driveConfig());
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    auto drive = drive_;
    auto mutex = mutex_;
    auto log = log_;
    registerInProcessPort(kDevice, [drive, mutex, log](const std::string& device) {
      return std::make_unique<LoggingPort>(sim::createSimulatedPort(drive, device), mutex, log);
    });
    ASSERT_TRUE(OpenLink(kDevice));
    host_.resize(640, 480);
    host_.show();
    clearAccesses();
  }
  void TearDown() override {
    CloseLink();
    unregisterInProcessPort(kDevice);
    sleeper_.reset();
  }

  std::vector<Access> accesses() {
    std::lock_guard<std::mutex> lock(*mutex_);
    return DecodeAccesses(*log_);
  }
  // Only the writes (words and objects), which is what changes the drive.
  std::vector<Access> writes() {
    std::vector<Access> out;
    for (const Access& a : accesses())
      if (a.kind == Access::WordWrite || a.kind == Access::ObjectWrite) out.push_back(a);
    return out;
  }
  void clearAccesses() {
    std::lock_guard<std::mutex> lock(*mutex_);
    log_->clear();
  }
  RecordWords record(int number) {
    RecordWords words{};
    EXPECT_TRUE(drive_->record(number, words));
    return words;
  }
  static uint32_t LongAt(const RecordWords& w, int word) { return w[word] | uint32_t{w[word + 1]} << 16; }
  // Every answer of the drive is lost from now on (or again delivered).
  void silenceDrive(bool silent) {
    sim::FaultConfig faults;
    faults.silence = silent ? 1.0 : 0.0;
    drive_->setFaults(faults);
  }
  template <typename Done>
  bool runUntil(Done done, uint32_t limitMs = 120000) {
    for (uint32_t t = 0; t < limitMs; t += 50) {
      if (done()) return true;
      drive_->advanceMs(50);
    }
    return done();
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<ScopedSleeper> sleeper_;
  std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
  std::shared_ptr<Bytes> log_ = std::make_shared<Bytes>();
  UiRecorder ui_;
  HostWindow host_;
};

}  // namespace axtune::testing

namespace axtune::testing {

// The ids of the controls Tab visits in `page`, from `first` round to `first` again.
inline std::vector<int> TabOrder(QWidget* page, QWidget* first) {
  std::vector<int> ids;
  QWidget* w = first;
  do {
    if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) &&
        w->isEnabled() && !w->objectName().isEmpty()) {
      bool ok = false;
      const int id = w->objectName().toInt(&ok);
      if (ok && (ids.empty() || ids.back() != id)) ids.push_back(id);
    }
    w = w->nextInFocusChain();
  } while (w != first && ids.size() < 64);
  return ids;
}

}  // namespace axtune::testing
