// Little-endian fields and a bounded cursor over a byte span.
//
// The cursor cannot read past its end.  A read that does not fit fails, yields
// zero, consumes the rest and makes the cursor fail for good (a sticky
// failure), so a caller can read a whole structure and check ok() once, and a
// loop over the remaining bytes ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace marlet {

using Bytes = std::span<const uint8_t>;

inline uint16_t LoadU16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int16_t LoadI16(const uint8_t *p) { return static_cast<int16_t>(LoadU16(p)); }
inline int32_t LoadI32(const uint8_t *p) { return static_cast<int32_t>(LoadU32(p)); }

class ByteCursor {
 public:
  ByteCursor() = default;
  explicit ByteCursor(Bytes bytes) : bytes_(bytes) {}
  ByteCursor(const uint8_t *data, size_t size) : bytes_(data, size) {}

  bool ok() const { return !failed_; }
  size_t position() const { return position_; }
  size_t remaining() const { return bytes_.size() - position_; }
  bool empty() const { return remaining() == 0; }
  Bytes rest() const { return bytes_.subspan(position_); }
  const uint8_t *here() const { return bytes_.data() + position_; }

  uint8_t U8() { return Take(1) ? bytes_[position_ - 1] : 0; }
  uint16_t U16() { return Take(2) ? LoadU16(here() - 2) : 0; }
  uint32_t U32() { return Take(4) ? LoadU32(here() - 4) : 0; }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  // The next byte without moving; 0 at the end (not a failure).
  uint8_t Peek() const { return remaining() > 0 ? bytes_[position_] : 0; }

  // n bytes, or an empty span and failure when fewer remain.
  Bytes Span(size_t n) { return Take(n) ? bytes_.subspan(position_ - n, n) : Bytes{}; }
  bool Skip(size_t n) { return Take(n); }

  // A zero-terminated string: its characters, with the terminator consumed.
  // Fails when no terminator lies before the end.
  std::string_view CString() {
    if (failed_) return {};
    const void *zero = std::memchr(here(), 0, remaining());
    if (zero == nullptr) return Fail(), std::string_view{};  // consumes the rest
    size_t length = static_cast<size_t>(static_cast<const uint8_t *>(zero) - here());
    std::string_view text(reinterpret_cast<const char *>(here()), length);
    position_ += length + 1;
    return text;
  }

  void Fail() {
    failed_ = true;
    position_ = bytes_.size();
  }

 private:
  bool Take(size_t n) {
    if (failed_ || n > remaining()) {
      Fail();
      return false;
    }
    position_ += n;
    return true;
  }

  Bytes bytes_;
  size_t position_ = 0;
  bool failed_ = false;
};

}  // namespace marlet
