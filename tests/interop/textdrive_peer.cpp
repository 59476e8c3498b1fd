#include "tests/interop/textdrive_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

namespace axtune::interop {
namespace {

namespace fs = std::filesystem;

// A port that was free a moment ago: bound to port 0, read back, released. Another program could
// take it in between; the start then fails and is tried again with another port.
int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

// The first line the child writes, within `timeoutMs`; empty when none came.
std::string ReadFirstLine(int fd, int timeoutMs) {
  std::string line;
  for (int waited = 0; waited < timeoutMs;) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, 100);
    if (ready == 0) {
      waited += 100;
      continue;
    }
    char c = 0;
    if (ready < 0 || ::read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  return {};
}

std::map<std::string, std::unique_ptr<TextDrive>>& Running() {
  static std::map<std::string, std::unique_ptr<TextDrive>> drives;
  return drives;
}

}  // namespace

std::vector<PeerStyle> AllPeerStyles() {
  std::vector<PeerStyle> styles;
  for (bool rfc2217 : {false, true}) {
    styles.push_back({"echo", 1, rfc2217});
    styles.push_back({"zeros", 1, rfc2217});
    styles.push_back({"sdo", 1, rfc2217});
    styles.push_back({"random", 1, rfc2217});
    styles.push_back({"random", 7, rfc2217});
  }
  return styles;
}

PeerStyle InFault(PeerStyle style, int errorNumber) {
  style.fault = errorNumber;
  return style;
}

std::string PeerStyleName(const PeerStyle& style) {
  std::string name = style.open;
  if (name == "random") name += std::to_string(style.seed);
  if (style.fault != 0) name += "_fault" + std::to_string(style.fault);
  return name + (style.rfc2217 ? "_rfc2217" : "_pty");
}

std::string TextDriveScript() {
  if (const char* given = std::getenv("AXTUNE_TEXTDRIVE"); given != nullptr && *given != '\0')
    return fs::exists(given) ? given : std::string();
  std::error_code error;
  return fs::exists(AXTUNE_TEXTDRIVE_PATH, error) ? AXTUNE_TEXTDRIVE_PATH : std::string();
}

std::string TextDriveAbsentReason() {
  return std::string("the reference drive is absent (looked for ") + AXTUNE_TEXTDRIVE_PATH +
         " and $AXTUNE_TEXTDRIVE): the interoperability tests need ../shared/peers/textdrive.py beside the "
         "source tree";
}

TextDrive* TextDrive::For(const PeerStyle& style, std::string* why) {
  auto& running = Running();
  const std::string name = PeerStyleName(style);
  if (auto it = running.find(name); it != running.end()) return it->second.get();
  std::unique_ptr<TextDrive> drive(new TextDrive(style));
  if (!drive->start(why)) return nullptr;
  return (running[name] = std::move(drive)).get();
}

bool TextDrive::start(std::string* why) {
  const std::string script = TextDriveScript();
  if (script.empty()) {
    *why = TextDriveAbsentReason();
    return false;
  }
  logPath_ = (fs::temp_directory_path() /
              ("axtune-interop-" + std::to_string(::getpid()) + "-" + PeerStyleName(style_) + ".jsonl"))
                 .string();
  fs::remove(logPath_);
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<std::string> args = {
        "python3", script,   "--open",    style_.open, "--seed", std::to_string(style_.seed),
        "--log",   logPath_, "--seconds", "900"};
    if (style_.fault != 0) {
      args.push_back("--fault");
      args.push_back(std::to_string(style_.fault));
    }
    if (style_.rfc2217) {
      const int port = FreeLoopbackPort();
      if (port <= 0) continue;
      args.push_back("--rfc2217");
      args.push_back(std::to_string(port));
    }
    int out[2];
    if (::pipe(out) != 0) break;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test program that crashes takes its drives with it
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execvp("python3", argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    device_ = ReadFirstLine(out[0], 10000);
    ::close(out[0]);
    if (!device_.empty()) return true;
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  *why = "the reference drive did not start (" + script + " --open " + style_.open + ")";
  return false;
}

TextDrive::~TextDrive() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  std::error_code error;
  fs::remove(logPath_, error);
}

std::vector<std::string> TextDrive::lines() const {
  // Whole lines only: the drive may be writing the next one.
  std::ifstream in(logPath_, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

void TextDrive::awaitNoClient() const {
  if (!style_.rfc2217) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<JsonValue> all = since(0);
    long open = 0;
    for (const JsonValue& e : all) {
      const std::string& kind = e["kind"].string;
      open += kind == "connect" ? 1 : kind == "disconnect" ? -1 : 0;
    }
    if (open <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the drive looks every 20 ms
  }
}

void TextDrive::awaitState(const std::string& state, const std::function<void()>& nudge) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    nudge();
    const std::vector<JsonValue> changes = since(0, "state");
    if (!changes.empty() && changes.back()["state"].string == state) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the drive starts ready after 0.3 s
  }
}

size_t TextDrive::mark() const {
  return lines().size();
}

std::vector<JsonValue> TextDrive::since(size_t mark, const std::string& kind) const {
  std::vector<JsonValue> entries;
  const std::vector<std::string> all = lines();
  for (size_t i = mark; i < all.size(); ++i) {
    JsonValue entry = cli::testing::JsonReader::parse(all[i]);
    if (kind.empty() || (entry.has("kind") && entry["kind"].string == kind))
      entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<JsonValue> Where(const std::vector<JsonValue>& entries, const std::string& field,
                             long long value) {
  std::vector<JsonValue> found;
  for (const JsonValue& e : entries)
    if (e.has(field) && e[field].kind == JsonValue::Kind::Number && e[field].integer() == value)
      found.push_back(e);
  return found;
}

}  // namespace axtune::interop
