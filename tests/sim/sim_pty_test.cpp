// qmx-sim on a real pseudo-terminal, reached through the drive link like a serial port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/drive_link.h"
#include "link/object_access.h"
#include "sim/tool/sim_options.h"

namespace axtune::sim {
namespace {

class QmxSimProcess {
 public:
  explicit QmxSimProcess(std::vector<std::string> args) {
    int out[2];
    if (::pipe(out) != 0) return;
    int in[2];
    if (::pipe(in) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(in[0], STDIN_FILENO);
      ::close(out[0]);
      ::close(in[1]);
      std::vector<char*> argv{const_cast<char*>(QMX_SIM_PATH)};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(QMX_SIM_PATH, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    output_ = ::fdopen(out[0], "r");
    commands_ = in[1];
  }
  ~QmxSimProcess() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (output_) std::fclose(output_);
    if (commands_ >= 0) ::close(commands_);
  }
  std::string readLine() {
    char line[512] = {};
    if (!output_ || !std::fgets(line, sizeof line, output_)) return {};
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  void command(const std::string& text) {
    const std::string line = text + "\n";
    ASSERT_EQ(::write(commands_, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }
  void signal(int signal) { ::kill(pid_, signal); }
  // The most memory the process has held so far (VmHWM), in kB; -1 when it cannot be read.
  long peakMemoryKb() const {
    FILE* f = std::fopen(("/proc/" + std::to_string(pid_) + "/status").c_str(), "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f)) {
      if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    }
    std::fclose(f);
    return kb;
  }
  // Sends the signal and waits for the process to end; the exit status, or -1 when it did not exit.
  int stop(int signal) {
    ::kill(pid_, signal);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
  int commands_ = -1;
  bool waited_ = false;
};

TEST(QmxSim, ServesTheDriveOnAPseudoTerminalAndEndsOnSigterm) {
  const std::string hexPath = ::testing::TempDir() + "qmx-sim-flash.hex";
  std::remove(hexPath.c_str());
  QmxSimProcess sim({"--quiet", "--device-type", "1027", "--firmware", "4.2.3", "--flash-hex", hexPath});
  const std::string device = sim.readLine();
  ASSERT_EQ(device.rfind("/dev/", 0), 0u) << "first line: '" << device << "'";

  ASSERT_TRUE(OpenLink(device)) << LastOpenErrorText();
  RecordWords id{};
  ASSERT_TRUE(ReadRecord(kIdentificationRecord, id)) << "LinkError " << LinkError.load();
  EXPECT_EQ(id[0], 1027);
  EXPECT_EQ(id[1], 0x0402);
  EXPECT_EQ(id[2], 3);

  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 7));
  int32_t selected = -1;
  ASSERT_TRUE(ReadObject(0x2022, 5, &selected));
  EXPECT_EQ(selected, 7);
  ASSERT_TRUE(WriteWords(2, 5, 321));
  RecordWords settings{};
  ASSERT_TRUE(ReadRecord(2, settings));
  EXPECT_EQ(settings[5], 321);

  // Console commands act on the running drive: a triggered fault shows in record 129.
  sim.command("fault following");
  RecordWords status{};
  for (int i = 0; i < 200 && status[13] != 6; ++i) ASSERT_TRUE(ReadRecord(kStatusRecordA, status));
  EXPECT_EQ(status[13], 6);
  EXPECT_EQ(status[14], 0);
  sim.command("status");
  EXPECT_NE(sim.readLine().find("error 6"), std::string::npos);

  // SIGUSR1 power-cycles the drive: after its start-up it answers again, the fault forgotten.
  sim.signal(SIGUSR1);
  bool answered = false;
  for (int i = 0; i < 20 && !answered; ++i) answered = ReadRecord(kStatusRecordA, status) && status[14] == 1;
  EXPECT_TRUE(answered);
  EXPECT_EQ(status[13], 0);
  ASSERT_TRUE(ReadRecord(2, settings));
  EXPECT_EQ(settings[5], 500) << "the unstored change is gone";

  CloseLink();
  EXPECT_EQ(sim.stop(SIGTERM), 0);
  FILE* hex = std::fopen(hexPath.c_str(), "r");
  ASSERT_NE(hex, nullptr) << "the flash is written on exit";
  std::fclose(hex);
  std::remove(hexPath.c_str());
}

// A flood into the drive's line, on a terminal or over the network: qmx-sim keeps what a drive's
// buffers hold and drops the rest, so its memory stays small and the drive answers as soon as the
// line is quiet again. (Unbounded, 16 MB sent used to take 265 MB and half a minute of silence.)
class QmxSimFlood : public ::testing::TestWithParam<bool> {};

TEST_P(QmxSimFlood, MemoryStaysBoundedAndTheDriveAnswersOnceTheLineIsQuiet) {
  const bool network = GetParam();
  QmxSimProcess sim(network ? std::vector<std::string>{"--quiet", "--rfc2217", "0"}
                            : std::vector<std::string>{"--quiet"});
  const std::string device = sim.readLine();
  ASSERT_FALSE(device.empty());
  ASSERT_TRUE(OpenLink(device)) << LastOpenErrorText();
  RecordWords id{};
  ASSERT_TRUE(ReadRecord(kIdentificationRecord, id)) << "LinkError " << LinkError.load();

  // 8 MB of 0xFF: whole-record writes to record 255 with bad checksums, as noise would be.
  const std::vector<uint8_t> chunk(64 * 1024, 0xFF);
  SerialPort* port = LinkPort();
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->setTimeouts({1, 1000, 0, 10000}));
  size_t sent = 0;
  for (int i = 0; i < 128; ++i) sent += port->write(chunk.data(), chunk.size());
  EXPECT_EQ(sent, 128 * chunk.size());
  const long peakKb = sim.peakMemoryKb();
  ASSERT_GT(peakKb, 0);
  EXPECT_LT(peakKb, 20 * 1024) << "qmx-sim grew to " << peakKb << " kB";

  // A request right behind the flood meets a full buffer and is lost like the flood's last bytes;
  // the next, a timeout (about a second) later, finds the drive answering.
  EXPECT_TRUE(ReadRecord(kIdentificationRecord, id) || ReadRecord(kIdentificationRecord, id))
      << "LinkError " << LinkError.load();
  EXPECT_EQ(id[0], 1025);
  CloseLink();
}

INSTANTIATE_TEST_SUITE_P(TerminalAndNetwork, QmxSimFlood, ::testing::Bool());

TEST(QmxSim, EndsOnSigintAndRefusesBadOptions) {
  QmxSimProcess sim({"--quiet"});
  ASSERT_FALSE(sim.readLine().empty());
  EXPECT_EQ(sim.stop(SIGINT), 0);

  QmxSimProcess bad({"--corrupt", "2"});
  EXPECT_EQ(bad.readLine(), "");
  EXPECT_EQ(bad.stop(0), 2);
}

TEST(QmxSimOptions, EveryOptionReachesTheConfiguration) {
  ToolOptions options;
  std::string error;
  ASSERT_TRUE(ParseToolOptions({"--device-type",
                                "1026",
                                "--firmware",
                                "5.0.12",
                                "--test-firmware",
                                "--records",
                                "80",
                                "--image",
                                "drive.img",
                                "--baud",
                                "19200",
                                "--unpaced",
                                "--turnaround-us",
                                "500",
                                "--frame-gap-ms",
                                "20",
                                "--boot-ms",
                                "0",
                                "--seed",
                                "9",
                                "--corrupt",
                                "0.01",
                                "--drop",
                                "0.02",
                                "--stale",
                                "0.03",
                                "--delay",
                                "0.04",
                                "--delay-ms",
                                "300",
                                "--split",
                                "0.05",
                                "--split-gap-us",
                                "100",
                                "--silence",
                                "0.06",
                                "--supply-volts",
                                "24",
                                "--ambient",
                                "30",
                                "--start-position",
                                "-5",
                                "--limits",
                                "-100:100",
                                "--cam",
                                "10:20",
                                "--stops",
                                "-200:200",
                                "--flash-geometry",
                                "F28335",
                                "--blank-flash",
                                "--flash-bin",
                                "flash.bin",
                                "--link",
                                "/tmp/qmx",
                                "--rfc2217",
                                "0.0.0.0:4001",
                                "--quiet"},
                               options, error))
      << error;
  const SimConfig& c = options.config;
  EXPECT_EQ(c.deviceType, 1026);
  EXPECT_EQ(c.firmwareMajor, 5);
  EXPECT_EQ(c.firmwareBuild, 12);
  EXPECT_TRUE(c.testFirmware);
  EXPECT_EQ(c.recordCount, 80);
  EXPECT_EQ(c.persistentImagePath, "drive.img");
  EXPECT_EQ(c.baudRate, 19200);
  EXPECT_FALSE(c.paced);
  EXPECT_EQ(c.turnaroundUs, 500u);
  EXPECT_EQ(c.frameGapUs, 20000u);
  EXPECT_EQ(c.bootTimeUs, 0u);
  EXPECT_EQ(c.faults.seed, 9u);
  EXPECT_DOUBLE_EQ(c.faults.silence, 0.06);
  EXPECT_EQ(c.faults.delayMs, 300u);
  EXPECT_EQ(c.axis.referenceCamHigh, 20);
  EXPECT_EQ(c.axis.mechanicalStopLow, -200);
  EXPECT_EQ(c.flashGeometry, "F28335");
  EXPECT_FALSE(c.factoryFirmware);
  EXPECT_EQ(c.flashExportFormat, SimConfig::FlashFormat::Binary);
  EXPECT_EQ(options.linkPath, "/tmp/qmx");
  EXPECT_EQ(options.rfc2217, "0.0.0.0:4001");

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--records", "128"},
                                              {"--firmware", "4.1"},
                                              {"--limits", "5:1"},
                                              {"--records"},
                                              {"--stops", "-10:10"},
                                              {"--what"}}) {
    ToolOptions rejected;
    EXPECT_FALSE(ParseToolOptions(bad, rejected, error)) << bad[0];
    EXPECT_NE(error.find("--"), std::string::npos) << "the message names the option: " << error;
  }
  // Everything the parser accepts is documented.
  for (const char* name :
       {"--device-type",    "--firmware",       "--test-firmware", "--records",      "--image",
        "--baud",           "--unpaced",        "--turnaround-us", "--frame-gap-ms", "--boot-ms",
        "--seed",           "--corrupt",        "--drop",          "--stale",        "--delay",
        "--delay-ms",       "--split",          "--split-gap-us",  "--silence",      "--supply-volts",
        "--ambient",        "--start-position", "--limits",        "--cam",          "--stops",
        "--flash-geometry", "--blank-flash",    "--flash-hex",     "--flash-bin",    "--link",
        "--rfc2217",        "--quiet"}) {
    EXPECT_NE(ToolHelpText().find(name), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace axtune::sim
