// A device server nobody here wrote (ser2net, Debian's package) between axtune-cli and the drive,
// against qmx-sim's own RFC 2217 server: the update of an image that fills the F28335's flash,
// as a user runs it (`axtune-cli --port URL flash FILE --processor F28335 --yes`, default rates).
// ser2net's connector speaks RFC 2217 to qmx-sim, so the drive has its DTR line on both paths and
// the update ends with the drive identified again. The two should take the same time: the client
// waits for nothing that ser2net leaves unanswered.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bench/table/bench_support.h"
#include "coff_writer.h"
#include "tests/firmware/programmer/qmx_sim_process.h"

namespace axtune::bench {
namespace {

// The F28335's flash, 0x300000..0x33FF7F in 8 sections, and the two words of the branch at its
// entry point (the rest of the last 128 words, the code security module's, stay erased).
std::unique_ptr<coff::testing::TempFile> FillingImage(uint32_t& words) {
  constexpr uint32_t kStart = 0x300000, kEnd = 0x33FF80, kParts = 8;
  coff::testing::Image image;
  image.entryPoint = kStart;
  words = kEnd - kStart;
  const uint32_t part = words / kParts;
  uint32_t address = kStart;
  for (uint32_t i = 0; i < kParts; ++i) {
    const uint32_t size = i + 1 == kParts ? kEnd - address : part;
    image.sections.emplace_back(".fill" + std::to_string(i), address, address, size,
                                coff::testing::pattern(size_t{size} * 2, static_cast<uint8_t>(i + 1)), false,
                                i % 2 == 0 ? 0x20u : 0x40u);
    address += size;
  }
  // The branch at the flash entry point, so the drive starts the image after the update.
  constexpr uint32_t kEntry = 0x33FFF6;
  image.sections.emplace_back("codestart", kEntry, kEntry, 2, std::vector<uint8_t>{0x40, 0x00, 0x00, 0x30},
                              false, 0x20u);
  words += 2;
  return std::make_unique<coff::testing::TempFile>(coff::testing::build(image));
}

// A free port on loopback for ser2net, which needs one named (qmx-sim takes port 0 itself).
int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

}  // namespace

Row DeviceServerRow(const Programs& programs, const std::string& cli) {
  Row row;
  uint32_t words = 0;
  const auto image = FillingImage(words);
  row.what = Format(
      "update of a generated image filling the F28335's flash (%u words) through ser2net 4 (RFC 2217 "
      "both sides) against qmx-sim --rfc2217 directly, axtune-cli flash with the default rates",
      static_cast<unsigned>(words));
  row.goal = "<= 1.05";
  if (std::system("command -v ser2net >/dev/null 2>&1") != 0) {
    row.measured = "left out: ser2net is not installed (scripts/bootstrap installs it)";
    return row;
  }
  std::string lastError;
  // The program's error stream goes to a file, so a failed row can say why.
  auto run = [&](const std::string& url, double& seconds) {
    const std::string errors = image->path() + ".err";
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (std::freopen("/dev/null", "w", stdout) == nullptr ||
          std::freopen(errors.c_str(), "w", stderr) == nullptr)
        ::_exit(126);
      ::execl(cli.c_str(), cli.c_str(), "--port", url.c_str(), "flash", image->path().c_str(), "--processor",
              "F28335", "--yes", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    const bool ended = pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    seconds = Seconds(start, Clock::now());
    std::ifstream in(errors);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("axtune-cli: ", 0) == 0) lastError = line;
    }
    std::filesystem::remove(errors);
    return ended ? WEXITSTATUS(status) : -1;
  };
  std::string error;
  test::QmxSimProcess direct;
  if (!direct.start(programs.qmxSim, {"--quiet", "--flash-geometry", "F28335", "--rfc2217", "0"}, error)) {
    row.measured = "qmx-sim did not start: " + error;
    row.ok = false;
    return row;
  }
  double directSeconds = 0;
  const int directCode = run(direct.device(), directSeconds);

  test::QmxSimProcess behind;
  if (!behind.start(programs.qmxSim, {"--quiet", "--flash-geometry", "F28335", "--rfc2217", "0"}, error)) {
    row.measured = "qmx-sim did not start: " + error;
    row.ok = false;
    return row;
  }
  const std::string simPort = behind.device().substr(behind.device().rfind(':') + 1);
  const int port = FreeLoopbackPort();
  const std::filesystem::path config = std::filesystem::temp_directory_path() /
                                       ("axtune_bench_ser2net_" + std::to_string(::getpid()) + ".yaml");
  std::ofstream(config) << "connection: &drive\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << port
                        << "\n  connector: telnet(rfc2217),tcp,127.0.0.1," << simPort << "\n";
  const std::string pidFile = config.string() + ".pid";
  const pid_t ser2net = ::fork();
  if (ser2net == 0) {
    if (std::freopen("/dev/null", "w", stderr) == nullptr) ::_exit(126);
    ::execlp("ser2net", "ser2net", "-n", "-c", config.c_str(), "-P", pidFile.c_str(), nullptr);
    ::_exit(127);
  }
  ::usleep(500000);  // ser2net listens within a few milliseconds; not part of any measurement
  double ser2netSeconds = 0;
  const int ser2netCode = run("rfc2217://127.0.0.1:" + std::to_string(port), ser2netSeconds);
  if (ser2net > 0) {
    ::kill(ser2net, SIGTERM);
    int status = 0;
    ::waitpid(ser2net, &status, 0);
  }
  std::filesystem::remove(config);
  std::filesystem::remove(pidFile);
  if (directCode != 0 || ser2netCode != 0) {
    row.measured = Format("failed (exit %d through ser2net, %d directly): %s", ser2netCode, directCode,
                          lastError.c_str());
    row.ok = false;
    return row;
  }
  row.measured = Format("%.2f s through ser2net", ser2netSeconds);
  row.reference = Format("%.2f s directly", directSeconds);
  row.ratio = ser2netSeconds / directSeconds;
  row.ok = row.ratio <= 1.05;
  return row;
}

}  // namespace axtune::bench
