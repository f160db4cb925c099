// Output in blocks.  The programs deliver their output in many small pieces
// (a whole-file export hands over a piece per control word and text run);
// each piece goes into one buffer of kBlockSize bytes, which goes to the file,
// or onto the end of a string in memory, when it is full and at Flush.  Memory
// stays one buffer per stream, whatever the size of the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace programs {

class Output {
 public:
  static constexpr size_t kBlockSize = 32 * 1024;

  // Writes to file, which stays the caller's to close (after Flush).
  explicit Output(FILE *file);
  // Appends to *memory.
  explicit Output(std::string *memory);
  ~Output();
  Output(const Output &) = delete;
  Output &operator=(const Output &) = delete;

  void Write(const char *bytes, size_t n) {
    if (n > kBlockSize - used_) return WriteLong(bytes, n);
    char *out = buffer_.get() + used_;
    used_ += n;
    // Most pieces are a few bytes long: copied in two overlapping moves of a
    // fixed size rather than through a call for each.
    if (n >= 8 && n <= 16) {
      std::memcpy(out, bytes, 8);
      std::memcpy(out + n - 8, bytes + n - 8, 8);
    } else if (n >= 4 && n < 8) {
      std::memcpy(out, bytes, 4);
      std::memcpy(out + n - 4, bytes + n - 4, 4);
    } else if (n > 0 && n < 4) {
      out[0] = bytes[0];
      out[n / 2] = bytes[n / 2];
      out[n - 1] = bytes[n - 1];
    } else if (n > 16) {
      std::memcpy(out, bytes, n);
    }
  }
  void Write(std::string_view text) { Write(text.data(), text.size()); }
  void Write(const char *text) { Write(text, std::strlen(text)); }
  void Put(char c) {
    if (used_ == kBlockSize) Send();
    buffer_[used_++] = c;
  }

  // Text for an RTF document: the three characters RTF gives a meaning ("\",
  // "{", "}") with a backslash before them, and bytes of 0x80 and above as
  // "\'hh" (two small hex digits); every other byte as it is.
  void WriteRtfText(const char *text);

  // Whether nothing has been written yet or the last byte was a line end.
  bool AtLineStart() const { return used_ > 0 ? buffer_[used_ - 1] == '\n' : (!any_ || last_ == '\n'); }

  // The number of bytes written so far, sent or not.
  uint64_t Written() const { return sent_ + used_; }

  // Sends what the buffer holds.  False once any write to the file failed.
  bool Flush();
  bool Failed() const { return failed_; }

 private:
  void Send();
  void WriteLong(const char *bytes, size_t n);

  FILE *file_ = nullptr;
  std::string *memory_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  uint64_t sent_ = 0;
  char last_ = 0;     // the last byte sent
  bool any_ = false;  // anything sent
  bool failed_ = false;
};

}  // namespace programs
