// PRG_Close from another thread while PRG_Open loads the kernel: whatever the moment, once both have
// returned the programmer is not connected, the port is closed, nothing is busy and nothing crashed.
// Each round lets the close go at one point of the open (during the boot table, at the kernel's start,
// at its autobaud, in the pause after the zeros, right after the connection) and runs the two threads
// freely from there, so the interleavings differ from round to round.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "firmware/programmer/prg_port.h"
#include "firmware/programmer/prg_state.h"
#include "tests/firmware/programmer/scripted_target.h"

namespace axtune::test {
namespace {

// A closer thread that calls PRG_Close when told to.
class Closer {
 public:
  explicit Closer(PRG_Handle handle)
      : thread_([this, handle] {
          std::unique_lock lock(mutex_);
          cv_.wait(lock, [this] { return go_; });
          lock.unlock();
          PRG_Close(handle);
          done_ = true;
        }) {}
  ~Closer() { finish(); }
  void go() {
    {
      std::lock_guard lock(mutex_);
      go_ = true;
    }
    cv_.notify_one();
  }
  // Lets the close run if nothing set it off, and waits for it.
  void finish() {
    if (!thread_.joinable()) return;
    go();
    thread_.join();
  }
  bool done() const { return done_; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool go_ = false;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

enum class Moment { InTheTable, AtTheKernelsStart, AtTheKernelsAutobaud, AfterTheZeros, AfterConnecting };

class OpenCloseRace : public ScriptedSession {
 protected:
  void SetUp() override {
    ScriptedSession::SetUp();
    // A wide window keeps a round short; the interleavings are the same.
    ASSERT_EQ(PRG_SetOptions(handle_, "PrgBootLoadWindow=256"), 0);
  }

  // One round: a fresh drive in its boot ROM, the open on this thread, the close on another one,
  // set off at `moment` (`skew` yields let the open run on a little before the close starts).
  void Round(Moment moment, int skew) {
    PRG_Close(handle_);
    target_->onRequest = nullptr;
    target_ = std::make_unique<ScriptedTarget>(line_);
    line_->reset();
    ASSERT_EQ(PRG_SetOptions(handle_, "PrgSkipBootLoad=NO"), 0);

    Closer closer(handle_);
    const std::thread::id opener = std::this_thread::get_id();
    std::atomic<bool> fired{false};
    // From one of the open's pauses: the close has begun (its abort flag is up) before the open goes
    // on, then runs alongside it.
    auto fire = [&] {
      if (fired.exchange(true)) return;
      closer.go();
      while (!prg::State().abort && !closer.done()) std::this_thread::yield();
      for (int i = 0; i < skew; ++i) std::this_thread::yield();
    };
    // Pauses of the open's thread only (the close sleeps too, on its own thread).
    onSleep_ = [&](int ms) {
      if (std::this_thread::get_id() != opener) return;
      if ((moment == Moment::AtTheKernelsStart && ms == 1000) ||
          (moment == Moment::AfterTheZeros && ms == 300)) {
        fire();
      }
    };
    size_t tableByte = 0;
    target_->onTableByte = [&](size_t index) {
      if (moment == Moment::InTheTable && index == tableByte) closer.go();  // on the line's lock: no waiting
    };
    tableByte = 22 + 6 + static_cast<size_t>(skew) * 97 % 6000;
    target_->onWrite = [&](const Bytes& written, ScriptedTarget::Phase phase) {
      if (moment == Moment::AtTheKernelsAutobaud && phase == ScriptedTarget::Phase::Kernel &&
          written == Bytes{'A'}) {
        closer.go();
      }
    };

    const int32_t result = PRG_Open(handle_);
    if (moment == Moment::AfterConnecting) {
      prg::State().abort = false;  // no operation runs: the close's flag shows when it began
      fire();
    }
    closer.finish();
    onSleep_ = nullptr;
    target_->onTableByte = nullptr;
    target_->onWrite = nullptr;

    // Both returned: the close was the last word, whatever the open said.
    EXPECT_NE(result, PRG_BUSY);
    EXPECT_NE(PRG_Status(), PRG_BUSY);
    EXPECT_FALSE(prg::State().connected.load()) << "the open came back connected after the close";
    EXPECT_FALSE(line_->isOpen()) << "the port stayed open after the close";
    const size_t before = line_->written().size();
    uint16_t word = 0x1234;
    EXPECT_EQ(PRG_FlashWrite(handle_, 0x3F0000, 0, 2, &word), PRG_FAILED);
    EXPECT_EQ(line_->written().size(), before);  // nothing goes out without a connection
    // A close that began while the open waited in one of its pauses was inside the open: the open
    // must not report a connection.
    if (moment == Moment::AtTheKernelsStart || moment == Moment::AfterTheZeros) {
      EXPECT_EQ(result, PRG_FAILED);
    }
    if (moment == Moment::AfterConnecting) {
      EXPECT_EQ(result, PRG_DONE);
    }
  }
};

TEST_F(OpenCloseRace, ACloseDuringTheOpenLeavesNothingConnectedOrOpen) {
  std::mt19937 random(17);
  const Moment moments[] = {Moment::InTheTable, Moment::AtTheKernelsStart, Moment::AtTheKernelsAutobaud,
                            Moment::AfterTheZeros, Moment::AfterConnecting};
  for (int round = 0; round < 60; ++round) {
    for (const Moment moment : moments) {
      SCOPED_TRACE("round " + std::to_string(round) + ", moment " + std::to_string(static_cast<int>(moment)));
      Round(moment, static_cast<int>(random() % 64));
      if (HasFailure()) return;
    }
  }
}

// The windows the rounds above can only hit by chance, one at a time: a close that lands after the
// open's last look at the abort flag must still keep it from reopening the port after the kernel
// started, and from connecting.
TEST_F(OpenCloseRace, AnInterruptedSessionNeitherReopensThePortNorConnects) {
  prg::ProgrammerPort& port = prg::Port();
  std::atomic<bool> connected{false};

  port.beginSession();
  ASSERT_EQ(port.open(kDevice, 19200), 0);
  port.close();                                        // the open closes the port after the boot table ...
  std::thread([this] { PRG_Close(handle_); }).join();  // ... the close comes and goes ...
  EXPECT_NE(port.open(kDevice, 19200), 0);             // ... and the open cannot take it back
  EXPECT_FALSE(port.connect(connected));
  EXPECT_FALSE(connected);
  EXPECT_FALSE(line_->isOpen());
  port.endSession();

  // A close that closes the port while the session has it open.
  port.beginSession();
  ASSERT_EQ(port.open(kDevice, 19200), 0);
  port.interrupt(true);
  EXPECT_FALSE(line_->isOpen());
  EXPECT_NE(port.open(kDevice, 19200), 0);
  EXPECT_FALSE(port.connect(connected));
  port.endSession();

  // Outside a session, and in the next one, the port opens as always.
  ASSERT_EQ(port.open(kDevice, 19200), 0);
  port.close();
  port.beginSession();
  ASSERT_EQ(port.open(kDevice, 19200), 0);
  EXPECT_TRUE(port.connect(connected));
  EXPECT_TRUE(connected);
  port.endSession();
  port.close();
}

}  // namespace
}  // namespace axtune::test
