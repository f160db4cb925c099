#include "common/output.h"

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#include <emmintrin.h>
#define QUILLON_OUTPUT_SSE2 1
#endif

#include <array>

namespace programs {

namespace {

// 1 for the bytes that go into RTF text as they are.
constexpr std::array<unsigned char, 256> kPlain = [] {
  std::array<unsigned char, 256> plain{};
  for (int c = 0; c < 0x80; ++c) plain[c] = c != '\\' && c != '{' && c != '}';
  return plain;
}();

}  // namespace

Output::Output(FILE *file) : file_(file), buffer_(new char[kBlockSize]) {}

Output::Output(std::string *memory) : memory_(memory), buffer_(new char[kBlockSize]) {}

Output::~Output() { Send(); }

void Output::Send() {
  if (used_ == 0) return;
  if (memory_ != nullptr) {
    memory_->append(buffer_.get(), used_);
  } else if (std::fwrite(buffer_.get(), 1, used_, file_) != used_) {
    failed_ = true;
  }
  last_ = buffer_[used_ - 1];
  any_ = true;
  sent_ += used_;
  used_ = 0;
}

void Output::WriteLong(const char *bytes, size_t n) {
  Send();
  if (n < kBlockSize) {
    std::memcpy(buffer_.get(), bytes, n);
    used_ = n;
    return;
  }
  // A piece as large as the buffer goes out directly.
  if (memory_ != nullptr)
    memory_->append(bytes, n);
  else if (std::fwrite(bytes, 1, n, file_) != n)
    failed_ = true;
  last_ = bytes[n - 1];
  any_ = true;
  sent_ += n;
}

void Output::WriteRtfText(const char *text) {
  static constexpr char kHex[] = "0123456789abcdef";
  // Text runs of help files are mostly plain: copied sixteen bytes at a time
  // where the processor allows it, each step looking for a byte to escape in
  // the bytes it copied.  An escape takes at most 4 bytes: with kSlack bytes of
  // room a step needs no other check.
  constexpr size_t kSlack = 16;
  if (*text == '\0') return;  // many runs between two commands are empty
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *const end = p + std::strlen(text);
  while (p < end) {
    if (kBlockSize - used_ < kSlack) Send();
    char *out = buffer_.get() + used_;
    char *const limit = buffer_.get() + kBlockSize - kSlack;
#if defined(QUILLON_OUTPUT_SSE2)
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i open = _mm_set1_epi8('{');
    const __m128i close = _mm_set1_epi8('}');
    while (end - p >= 16 && out <= limit) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out), bytes);
      __m128i special =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, backslash), _mm_cmpeq_epi8(bytes, open)),
                       _mm_cmpeq_epi8(bytes, close));
      // The top bit of each byte in the mask: set by a special byte, or by a
      // byte of 0x80 and above itself.
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(special, bytes)));
      if (mask == 0) {
        p += 16;
        out += 16;
        continue;
      }
      unsigned plain = static_cast<unsigned>(__builtin_ctz(mask));
      p += plain;
      out += plain;
      break;  // the byte at p is escaped below
    }
    // The last bytes of a run (all of a short one), looked at in one step
    // from a copy padded with zeros; a step finds nothing to escape in most.
    if (end - p > 0 && end - p < 16 && out <= limit) {
      const size_t rest = static_cast<size_t>(end - p);
      alignas(16) unsigned char padded[16] = {};
      std::memcpy(padded, p, rest);
      __m128i bytes = _mm_load_si128(reinterpret_cast<const __m128i *>(padded));
      __m128i special =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, backslash), _mm_cmpeq_epi8(bytes, open)),
                       _mm_cmpeq_epi8(bytes, close));
      if (_mm_movemask_epi8(_mm_or_si128(special, bytes)) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), bytes);
        out += rest;
        p = end;
      }
    }
#endif
    // Byte by byte: the tail of a run, and the byte that stopped a step.
    for (; p < end && out <= limit; ++p) {
      unsigned char c = *p;
      if (kPlain[c]) {
        *out++ = static_cast<char>(c);
        continue;
      }
      *out++ = '\\';
      if (c >= 0x80) {
        *out++ = '\'';
        *out++ = kHex[c >> 4];
        *out++ = kHex[c & 0x0F];
      } else {
        *out++ = static_cast<char>(c);
      }
#if defined(QUILLON_OUTPUT_SSE2)
      if (end - p > 16) {
        ++p;
        break;  // back to whole steps
      }
#endif
    }
    used_ = static_cast<size_t>(out - buffer_.get());
  }
}

bool Output::Flush() {
  Send();
  if (file_ != nullptr && (std::fflush(file_) != 0 || std::ferror(file_) != 0)) failed_ = true;
  return !failed_;
}

}  // namespace programs
