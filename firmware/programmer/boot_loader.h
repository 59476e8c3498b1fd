// Loading the flash kernel through the processor's SCI boot ROM: autobaud, the boot table streamed
// byte by byte with every echo checked, and the temporary file that holds the embedded kernel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/programmer/flash_programmer.h"

namespace axtune::prg {

// Sends "A" up to 21 times at `rate` until it comes back. A rate outside the ROM's table is used as
// it is (the port accepted it).
bool Autobaud(int rate);

// Streams the loadable sections of the COFF file as a boot table with up to `window` bytes whose echo
// has not come back yet (1: each byte waits for its echo). Messages name the failing step. After a
// failure *echoed (when given) is the number of table bytes whose echo came back before it.
bool StreamBootImage(const std::string& path, int window = 1, size_t* echoed = nullptr);

// Bytes to the boot ROM, which echoes each one as it receives it. Up to `window` bytes are on their
// way at a time; every echo is compared with its byte, in order, as it arrives, and the first one that
// differs or does not come within the read timeout fails the stream. After a failure nothing more is
// sent. A window of 1 writes one byte, reads one byte and compares, byte after byte.
class EchoedStream {
 public:
  explicit EchoedStream(int window);
  // False at the first byte not written, or an echo that differs or is missing.
  bool send(const uint8_t* data, size_t n);
  bool sendWord(uint16_t word);   // low byte first
  bool sendLong(uint32_t value);  // high word, then low word
  // Waits for the echo of every byte sent; false as above.
  bool drain();
  size_t outstanding() const { return count_; }
  size_t echoed() const { return echoed_; }  // bytes whose echo came back and matched

 private:
  bool receive();  // the echoes that have arrived, at least one

  size_t window_;
  uint8_t pending_[PRG_MAX_BOOT_LOAD_WINDOW] = {};  // sent bytes awaiting their echo (a ring)
  size_t first_ = 0;
  size_t count_ = 0;
  size_t echoed_ = 0;
  bool failed_ = false;
};

// The embedded kernel written to a uniquely named file in the system temp directory; the file is
// removed when the object goes, whatever happened in between. path() is empty when it could not be
// written.
class TemporaryKernelFile {
 public:
  TemporaryKernelFile();
  ~TemporaryKernelFile();
  TemporaryKernelFile(const TemporaryKernelFile&) = delete;
  TemporaryKernelFile& operator=(const TemporaryKernelFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace axtune::prg
