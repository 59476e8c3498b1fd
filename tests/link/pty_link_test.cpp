// The drive link through the termios backend on a pseudo-terminal pair, with a small drive
// answering on the master side from its own thread.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "frame_test_support.h"
#include "link/drive_link.h"
#include "link/serial_port.h"

namespace axtune::test {
namespace {

RecordWords WordsForRecord(uint8_t record) {
  RecordWords words{};
  for (int i = 0; i < kRecordWords; ++i) words[i] = static_cast<uint16_t>(record * 100 + i);
  return words;
}

size_t OpenDescriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// Answers record reads, record writes and single-word writes; keeps quiet for one record.
class PtyDrive {
 public:
  static constexpr uint8_t kSilentRecord = 99;

  PtyDrive() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    slavePath_ = ::ptsname(master_);
    // Keeping one descriptor on the slave open stops the master from seeing a hang-up between
    // the link's opens; it never reads, so every reply goes to the link.
    holder_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (::pipe(wake_) != 0) return;
    thread_ = std::thread([this] { run(); });
  }

  ~PtyDrive() {
    if (thread_.joinable()) {
      const char stop = 's';
      [[maybe_unused]] ssize_t written = ::write(wake_[1], &stop, 1);
      thread_.join();
    }
    for (int fd : {master_, holder_, wake_[0], wake_[1]}) {
      if (fd >= 0) ::close(fd);
    }
  }

  bool ready() const { return thread_.joinable() && holder_ >= 0; }
  const std::string& slavePath() const { return slavePath_; }
  int holder() const { return holder_; }
  int aCount() const { return aCount_; }
  Bytes lastWordWrite() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastWordWrite_;
  }

 private:
  void run() {
    Bytes pending;
    for (;;) {
      pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents) return;
      uint8_t chunk[256];
      const ssize_t n = ::read(master_, chunk, sizeof chunk);
      if (n <= 0) continue;
      pending.insert(pending.end(), chunk, chunk + n);
      while (consume(pending)) {
      }
    }
  }

  // Handles one complete request at the front of `pending`; false when it needs more bytes.
  bool consume(Bytes& pending) {
    if (pending.empty()) return false;
    const uint8_t control = pending[0];
    size_t length = 0;
    Bytes reply;
    if (control == 0x41) {
      ++aCount_;
      length = 1;
    } else if (control == 0x0F) {
      length = 2;
      if (pending.size() < length) return false;
      if (pending[1] != kSilentRecord) reply = ReadReply(pending[1], WordsForRecord(pending[1]));
    } else if (control == 0x8F) {
      length = 34;
      if (pending.size() < length) return false;
      // Answer with the written words incremented, so the test sees they came back through the reply.
      RecordWords words = WordsOf(pending);
      for (auto& word : words) ++word;
      reply = RecordFrame(0x0F, pending[1], words);
    } else if ((control & 0xF0) == 0x80) {
      length = 6;
      if (pending.size() < length) return false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        lastWordWrite_.assign(pending.begin(), pending.begin() + 6);
      }
      // The confirmation: word index, record, value, checksum.
      reply.assign(pending.begin(), pending.begin() + 6);
      reply[0] &= 0x0F;
      const unsigned sum = reply[0] + 256u * reply[1] + reply[2] + 256u * reply[3];
      reply[4] = static_cast<uint8_t>(sum & 0xFF);
      reply[5] = static_cast<uint8_t>((sum >> 8) & 0xFF);
    } else {
      length = 1;  // noise
    }
    if (pending.size() < length) return false;
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
    if (!reply.empty()) {
      [[maybe_unused]] ssize_t written = ::write(master_, reply.data(), reply.size());
    }
    return true;
  }

  int master_ = -1;
  int holder_ = -1;
  int wake_[2] = {-1, -1};
  std::string slavePath_;
  std::thread thread_;
  std::atomic<int> aCount_{0};
  std::mutex mutex_;
  Bytes lastWordWrite_;
};

class PtyLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseLink();
    if (!drive_.ready()) GTEST_SKIP() << "no pseudo-terminal available on this machine";
  }
  void TearDown() override { CloseLink(); }

  PtyDrive drive_;
};

TEST_F(PtyLinkTest, TransfersThroughTheTermiosBackend) {
  termios before{};
  ASSERT_EQ(::tcgetattr(drive_.holder(), &before), 0);
  // A device that hangs up on its last close would drop DTR there (a reset of the drive's processor
  // in the middle of the update's hand-over): neither the open nor the settings restored at close
  // keep that.
  before.c_cflag |= HUPCL;
  ASSERT_EQ(::tcsetattr(drive_.holder(), TCSANOW, &before), 0);

  ASSERT_TRUE(OpenLink(drive_.slavePath())) << LastOpenErrorText();
  // While the link holds it: raw 38400 8N1, no flow control, no byte changed on the way in.
  termios open{};
  ASSERT_EQ(::tcgetattr(drive_.holder(), &open), 0);
  EXPECT_EQ(::cfgetispeed(&open), static_cast<speed_t>(B38400));
  EXPECT_EQ(::cfgetospeed(&open), static_cast<speed_t>(B38400));
  EXPECT_EQ(open.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(open.c_iflag & (IXON | IXOFF | ISTRIP | ICRNL | INLCR | IGNCR | PARMRK), 0u);
  EXPECT_EQ(open.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(open.c_oflag & OPOST, 0u);
  EXPECT_EQ(open.c_cflag & HUPCL, 0u);

  RecordWords words{};
  ASSERT_TRUE(ReadRecord(128, words)) << "LinkError " << LinkError;
  EXPECT_EQ(words, WordsForRecord(128));
  EXPECT_EQ(drive_.aCount(), 3);

  RecordWords buffer{1, 2, 3};
  ASSERT_TRUE(ExchangeRecord(127, buffer));
  EXPECT_EQ(buffer, (RecordWords{2, 3, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));

  ASSERT_TRUE(WriteWords(2, 7, 0x1234));
  EXPECT_EQ(drive_.lastWordWrite(), (Bytes{0x87, 0x02, 0x34, 0x12, 0xBB, 0x14}));

  // A pseudo-terminal has no modem lines: no carrier, DTR calls fail without harm.
  EXPECT_FALSE(IsCarrierDetected());
  EXPECT_FALSE(SetDtr(true));
  EXPECT_TRUE(ClearLinkErrors());

  // Closing gives the device back with the settings it had.
  ASSERT_TRUE(CloseLink());
  termios after{};
  ASSERT_EQ(::tcgetattr(drive_.holder(), &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_cflag & HUPCL, 0u);
}

TEST_F(PtyLinkTest, SilentLineFailsAfterTheHeaderTimeout) {
  ASSERT_TRUE(OpenLink(drive_.slavePath())) << LastOpenErrorText();
  RecordWords words{};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadRecord(PtyDrive::kSilentRecord, words));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(LinkError, kLinkNoReply);
  // 2 bytes at 1 ms each plus 1000 ms, with room for a loaded machine.
  EXPECT_GE(seconds, 0.9);
  EXPECT_LE(seconds, 1.5);
  // The link still works afterwards.
  EXPECT_TRUE(ReadRecord(3, words));
}

TEST_F(PtyLinkTest, FailedOpensHoldNothingAndKeepTheReason) {
  const size_t descriptors = OpenDescriptors();

  EXPECT_FALSE(OpenLink("/dev/axtune-no-such-device"));
  EXPECT_EQ(LastOpenError(), PortOpenError::NotFound);
  EXPECT_NE(LastOpenErrorText().find("/dev/axtune-no-such-device"), std::string::npos);

  // A plain file is no serial port.
  const std::string file = ::testing::TempDir() + "axtune-not-a-tty";
  {
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  EXPECT_FALSE(OpenLink(file));
  EXPECT_EQ(LastOpenError(), PortOpenError::BadSettings);

  // Busy: another holder has the device exclusively.
  auto other = createSerialPort(drive_.slavePath());
  ASSERT_TRUE(other->open(SerialSettings{}));
  EXPECT_FALSE(OpenLink(drive_.slavePath()));
  EXPECT_EQ(LastOpenError(), PortOpenError::Busy);
  EXPECT_FALSE(describeOpenError(LastOpenError(), LastOpenErrorText()).empty());
  EXPECT_TRUE(other->close());
  EXPECT_FALSE(IsLinkOpen());
  EXPECT_EQ(OpenDescriptors(), descriptors);

  // Once released, the same device opens.
  EXPECT_TRUE(OpenLink(drive_.slavePath())) << LastOpenErrorText();
  EXPECT_TRUE(CloseLink());

  std::remove(file.c_str());
}

TEST_F(PtyLinkTest, PermissionDeniedIsReported) {
  const std::string file = ::testing::TempDir() + "axtune-no-access";
  {
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  ASSERT_EQ(::chmod(file.c_str(), 0), 0);
  auto expectDenied = [&file] {
    auto port = createSerialPort(file);
    return !port->open(SerialSettings{}) && port->lastOpenError() == PortOpenError::PermissionDenied &&
           !port->isOpen();
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(expectDenied());
  } else {
    // Root ignores file permissions: check from a child that gave up its privileges.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
      ::_exit(dropped && expectDenied() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::remove(file.c_str());
}

}  // namespace
}  // namespace axtune::test
