// An open COFF handle on a synthetic file, closed and removed with the object.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "coff_writer.h"
#include "firmware/coff/coff_reader.h"

namespace axtune::coff::testing {

class OpenFile {
 public:
  explicit OpenFile(const std::vector<uint8_t>& bytes, const uint32_t* options = nullptr)
      : file_(std::make_unique<TempFile>(bytes)) {
    result = COFFR_FileOpen(file_->path().c_str(), options, &handle);
  }
  explicit OpenFile(const Image& image) : OpenFile(build(image)) {}
  ~OpenFile() { COFFR_FileClose(handle); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  const CoffImageInfo& info() const { return *handle->info; }

  // Reads a whole section through the C interface.
  std::vector<uint8_t> data(uint16_t section, int32_t* code = nullptr) {
    std::vector<uint8_t> bytes(static_cast<size_t>(info().maxLoadSectionBytes) + 64 * 1024);
    uint32_t got = 0;
    int32_t r =
        COFFR_GetSectData(handle, section, bytes.data(), 0, static_cast<uint32_t>(bytes.size()), &got);
    if (code) *code = r;
    bytes.resize(got);
    return bytes;
  }

  std::string name(const char (&raw)[8], uint32_t bufferLength = 256, int32_t* code = nullptr) {
    CoffSymbolEntry symbol{};
    std::copy(raw, raw + 8, symbol.name);
    std::string buffer(bufferLength, '\x7F');
    int32_t r = COFFR_GetSymbolName(handle, &symbol, bufferLength, buffer.data());
    if (code) *code = r;
    return buffer.substr(0, buffer.find('\0'));
  }

  CoffHandle* handle = nullptr;
  int32_t result = 0;

 private:
  std::unique_ptr<TempFile> file_;
};

}  // namespace axtune::coff::testing
