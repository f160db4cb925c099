// A bounded little-endian reader over a byte span: it cannot read past the
// end, and after a short read every later read gives zero and ok() is false,
// so that a caller reads a whole structure and checks once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quillon::pictures {

using ByteSpan = std::span<const uint8_t>;

inline uint16_t LoadU16(const uint8_t *at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
inline uint32_t LoadU32(const uint8_t *at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}
inline int16_t LoadS16(const uint8_t *at) { return static_cast<int16_t>(LoadU16(at)); }

class Cursor {
 public:
  Cursor() = default;
  explicit Cursor(ByteSpan bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  size_t position() const { return at_; }
  size_t remaining() const { return ok_ ? bytes_.size() - at_ : 0; }
  void Fail() { ok_ = false; }

  uint8_t U8() { return Have(1) ? bytes_[at_++] : 0; }
  uint16_t U16() { return Take<uint16_t>(2, LoadU16); }
  uint32_t U32() { return Take<uint32_t>(4, LoadU32); }
  int16_t S16() { return static_cast<int16_t>(U16()); }
  // The next n bytes; an empty span (and failure) when fewer remain.
  ByteSpan Span(uint64_t n) {
    if (!Have(n)) return {};
    ByteSpan out = bytes_.subspan(at_, static_cast<size_t>(n));
    at_ += static_cast<size_t>(n);
    return out;
  }
  void Skip(uint64_t n) { Span(n); }

 private:
  bool Have(uint64_t n) {
    if (ok_ && n <= bytes_.size() - at_) return true;
    ok_ = false;
    return false;
  }
  template <typename T, typename Load>
  T Take(size_t n, Load load) {
    if (!Have(n)) return 0;
    T value = load(bytes_.data() + at_);
    at_ += n;
    return value;
  }

  ByteSpan bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

}  // namespace quillon::pictures
