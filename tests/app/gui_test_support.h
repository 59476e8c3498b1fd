// Shared by the GUI tests: an offscreen QApplication, a recorder for message boxes and pauses, and
// scripted drive replies for the fake port.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controls/message_box.h"
#include "link/drive_link.h"
#include "link/port_slots.h"
#include "link/sleeper.h"
#include "link/testing/fake_serial_port.h"

namespace axtune::testing {

// The application lives from the first GUI test to the end of the run and goes before the exit
// handlers run (Qt must not be torn down by static destruction).
class ApplicationEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { delete QApplication::instance(); }
};
inline ::testing::Environment* const kApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

inline QApplication* EnsureApplication() {
  if (QApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "axtune-test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  return qApp;
}

// A fixture whose widgets may be plain members: the application exists before they are built.
class GuiTest : public ::testing::Test {
 protected:
  GuiTest() { EnsureApplication(); }
};

// Message boxes become recorded texts; fixed pauses become recorded numbers and cost nothing.
class UiRecorder {
 public:
  UiRecorder()
      : previousHook_(SetMessageHook([this](QWidget*, const QString& text) { messages.push_back(text); })),
        previousQuestionHook_(SetAnswerHook([this](QWidget*, const QString& text, const QStringList&) {
          questions.push_back(text);
          if (answers.empty()) return answer;
          const int next = answers.front();
          answers.erase(answers.begin());
          return next;
        })),
        sleeper_([this](int ms) {
          std::lock_guard<std::mutex> lock(mutex_);
          pauses_.push_back(ms);
        }) {}
  ~UiRecorder() {
    SetMessageHook(previousHook_);
    SetAnswerHook(previousQuestionHook_);
  }

  std::vector<int> pauses() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pauses_;
  }
  int countPauses(int ms) {
    int n = 0;
    for (int p : pauses()) n += p == ms;
    return n;
  }
  void clear() {
    messages.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    pauses_.clear();
  }

  std::vector<QString> messages;
  // The questions asked, each answered with the button `answer` (1: "Discard", "Don't write" -
  // the program goes on as before the question, and nothing unasked is written).
  std::vector<QString> questions;
  int answer = 1;
  std::vector<int> answers;  // the answers to the next questions in turn, before `answer`

 private:
  MessageHook previousHook_;
  AnswerHook previousQuestionHook_;
  std::mutex mutex_;
  std::vector<int> pauses_;
  ScopedSleeper sleeper_;
};

// Every slot points at a device that does not exist, so no test touches the machine's real ports.
inline void IsolatePortSlots() {
  for (int n = kFirstPortSlot; n <= kLastPortSlot; ++n)
    SetPortSlotOverride(n, "test-no-such-device-" + std::to_string(n));
}
inline void RestorePortSlots() {
  for (int n = kFirstPortSlot; n <= kLastPortSlot; ++n) SetPortSlotOverride(n, "");
}

// A whole-record read reply: header 0x0F r, 15 words, checksum (optionally wrong).
inline Bytes RecordReply(int record, const RecordWords& words, bool badChecksum = false) {
  Bytes reply = {0x0F, static_cast<uint8_t>(record)};
  uint32_t sum = 0x0F + 256u * static_cast<uint8_t>(record);
  for (uint16_t w : words) {
    reply.push_back(static_cast<uint8_t>(w & 0xFF));
    reply.push_back(static_cast<uint8_t>(w >> 8));
    sum += w;
  }
  if (badChecksum) ++sum;
  reply.push_back(static_cast<uint8_t>(sum & 0xFF));
  reply.push_back(static_cast<uint8_t>((sum >> 8) & 0xFF));
  return reply;
}

// A drive on the fake line that answers record reads from its table; records it does not know
// stay silent. Checksum errors can be switched on per record.
class ScriptedDrive {
 public:
  explicit ScriptedDrive(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {
    line_->setResponder([this](const Bytes& written) { return Answer(written); });
  }
  void setRecord(int record, const RecordWords& words) {
    std::lock_guard<std::mutex> lock(mutex_);
    records_[record] = words;
  }
  void setBadChecksum(int record, bool bad) {
    std::lock_guard<std::mutex> lock(mutex_);
    badChecksum_[record] = bad;
  }
  int reads(int record) {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_[record];
  }

 private:
  Bytes Answer(const Bytes& written) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (written.size() == 2 && written[0] == 0x0F) {
      const int record = written[1];
      ++reads_[record];
      auto it = records_.find(record);
      if (it == records_.end()) return {};
      return RecordReply(record, it->second, badChecksum_[record]);
    }
    return {};
  }

  std::shared_ptr<FakeLine> line_;
  std::mutex mutex_;
  std::map<int, RecordWords> records_;
  std::map<int, bool> badChecksum_;
  std::map<int, int> reads_;
};

inline RecordWords IdentificationRecord(uint16_t type, uint16_t version = 0x0401, uint16_t build = 7,
                                        uint16_t test = 0, uint16_t count = 65) {
  RecordWords words{};
  words[0] = type;
  words[1] = version;
  words[2] = build;
  words[3] = test;
  words[6] = count;
  return words;
}

}  // namespace axtune::testing
