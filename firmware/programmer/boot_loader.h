// Loading the flash kernel through the processor's SCI boot ROM: autobaud, the boot table streamed
// byte by byte with every echo checked, and the temporary file that holds the embedded kernel.
#pragma once

#include <string>

namespace axtune::prg {

// Sends "A" up to 21 times at `rate` until it comes back. A rate outside the ROM's table is used as
// it is (the port accepted it).
bool Autobaud(int rate);

// Streams the loadable sections of the COFF file as a boot table. Messages name the failing step.
bool StreamBootImage(const std::string& path);

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
