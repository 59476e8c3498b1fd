// Bounds-checked decoding of the fixed-size records read from a COFF file. A record is first read
// whole into a local array; every field is then taken through these helpers, which never read past
// the array and decode in the file's byte order into host values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace axtune::coff {

class ByteView {
 public:
  // bigEndian: the file stores multi-byte fields most significant byte first.
  ByteView(const uint8_t* data, size_t size, bool bigEndian)
      : data_(data), size_(size), bigEndian_(bigEndian) {}

  // A field that does not lie wholly inside the record reads as 0.
  uint8_t u8(size_t offset) const { return offset < size_ ? data_[offset] : 0; }

  uint16_t u16(size_t offset) const {
    if (!fits(offset, 2)) return 0;
    const uint8_t* p = data_ + offset;
    return bigEndian_ ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
  }

  uint32_t u32(size_t offset) const {
    if (!fits(offset, 4)) return 0;
    const uint8_t* p = data_ + offset;
    if (bigEndian_) {
      return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
    }
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | uint32_t{p[0]};
  }

  // Copies raw bytes as they stand; a range outside the record copies nothing and returns false.
  bool copy(size_t offset, void* out, size_t count) const {
    if (!fits(offset, count)) return false;
    std::memcpy(out, data_ + offset, count);
    return true;
  }

  // True when the `count` bytes at `offset` are all zero (a name that refers to the string table).
  bool isZero(size_t offset, size_t count) const {
    if (!fits(offset, count)) return false;
    for (size_t i = 0; i < count; ++i) {
      if (data_[offset + i] != 0) return false;
    }
    return true;
  }

  size_t size() const { return size_; }

 private:
  bool fits(size_t offset, size_t count) const { return offset <= size_ && count <= size_ - offset; }

  const uint8_t* data_;
  size_t size_;
  bool bigEndian_;
};

// Stores a host value into a byte array at a checked position (used to rewrite auxiliary entries and
// name references in host byte order).
template <typename T, size_t N>
inline void storeHost(uint8_t (&bytes)[N], size_t offset, T value) {
  if (offset <= N && sizeof(T) <= N - offset) std::memcpy(bytes + offset, &value, sizeof(T));
}

template <typename T, size_t N>
inline void storeHost(char (&bytes)[N], size_t offset, T value) {
  if (offset <= N && sizeof(T) <= N - offset) std::memcpy(bytes + offset, &value, sizeof(T));
}

}  // namespace axtune::coff
