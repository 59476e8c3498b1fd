// Shared by the tests of the File commands: the main window on a simulated drive behind a port that
// logs every frame the program writes, injected file choices, user identity and programmer prompt.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/axtune_dlg.h"
#include "app/file_choosers.h"
#include "app/firmware_update_command.h"
#include "link/drive_link.h"
#include "link/testing/forwarding_serial_port.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"

namespace axtune::testing {

// Frames as the program wrote them: "write R" (whole record R), "read R", "cmd C" (record 127 with
// sub-command C), "word R" (one word of R).
class FrameLog {
 public:
  void add(std::string entry) {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      entries_.push_back(entry);
      hook = onAdd;
    }
    if (hook) hook(entry);  // on the thread that wrote the frame, before it goes out
  }
  // Set before the work starts; runs for every frame (a test steps in at a chosen one).
  std::function<void(const std::string&)> onAdd;
  std::vector<std::string> entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

class LoggingPort : public ForwardingSerialPort {
 public:
  LoggingPort(std::unique_ptr<SerialPort> inner, FrameLog& log)
      : ForwardingSerialPort(std::move(inner)), log_(log) {}
  size_t write(const uint8_t* data, size_t n) override {
    if (n == 2 && data[0] == 0x0F) log_.add("read " + std::to_string(data[1]));
    if (n == 34 && data[0] == 0x8F) {
      log_.add(data[1] == kObjectRecord ? "cmd " + std::to_string(data[2] | data[3] << 8)
                                        : "write " + std::to_string(data[1]));
    }
    return ForwardingSerialPort::write(data, n);
  }

 private:
  FrameLog& log_;
};

class DriveWorkTest : public ::testing::Test {
 protected:
  static constexpr const char* kDevice = "sim:drive-work";
  static constexpr const char* kLogged = "sim:drive-work-logged";
  static constexpr int kSlot = 1;

  void SetUp() override {
    EnsureApplication();
    IsolatePortSlots();
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    SetLanguage(Language::English);
    previousChooser_ = SetFileChooser([this](QWidget*, FileChoice choice) {
      choices.push_back(choice);
      return choice == FileChoice::Firmware ? firmwarePath : parameterPath;
    });
    previousPrompt_ = SetProgrammerPromptHook([this](QWidget*, const QString& title, const QString& text) {
      prompts.push_back(title + "|" + text);
      return onPrompt ? onPrompt() : true;
    });
  }

  void TearDown() override {
    window_.reset();
    SetFileChooser(previousChooser_);
    SetProgrammerPromptHook(previousPrompt_);
    CloseLink();
    unregisterInProcessPort(kLogged);
    sim::unregisterSimulatedDrive(kDevice);
    RestorePortSlots();
    QDir::setCurrent(previousDir_);
  }

  // The drive on COM1 behind the logging port; the window connected to it.
  CAxtuneDlg& Connect(sim::SimConfig config = sim::SimConfig::unitTest()) {
    drive = sim::registerSimulatedDrive(kDevice, config);
    registerInProcessPort(kLogged, [this](const std::string& device) {
      return std::make_unique<LoggingPort>(sim::createSimulatedPort(drive, device), log);
    });
    SetPortSlotOverride(kSlot, kLogged);
    window_ = std::make_unique<CAxtuneDlg>();
    // No real user dialog may block a test; the tests that need one put their own in.
    window_->SetUserDialogShow([] {});
    window_->show();
    EXPECT_TRUE(window_->OpenPort(kSlot));
    EXPECT_TRUE(window_->IsConnected());
    ui.clear();
    log.clear();
    return *window_;
  }

  QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

  std::vector<std::string> Frames() { return log.entries(); }

  UiRecorder ui;
  FrameLog log;
  std::shared_ptr<sim::SimulatedDrive> drive;
  std::vector<FileChoice> choices;
  std::vector<QString> prompts;
  std::function<bool()> onPrompt;
  QString parameterPath;
  QString firmwarePath;
  QTemporaryDir dir_;
  std::unique_ptr<CAxtuneDlg> window_;

 private:
  QString previousDir_;
  FileChooser previousChooser_;
  ProgrammerPromptHook previousPrompt_;
};

}  // namespace axtune::testing
