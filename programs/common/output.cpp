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

// The length of the run of plain bytes at the start of p[0, n).  Text runs
// of help files are mostly plain: sixteen bytes are looked at in one step
// where the processor allows it.
size_t PlainRun(const unsigned char *p, size_t n) {
  size_t i = 0;
#if defined(QUILLON_OUTPUT_SSE2)
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i open = _mm_set1_epi8('{');
  const __m128i close = _mm_set1_epi8('}');
  for (; i + 16 <= n; i += 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
    __m128i special =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, backslash), _mm_cmpeq_epi8(bytes, open)),
                     _mm_cmpeq_epi8(bytes, close));
    // The top bit of each byte in the mask: set by a special byte, or by a
    // byte of 0x80 and above itself.
    int mask = _mm_movemask_epi8(_mm_or_si128(special, bytes));
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
#endif
  while (i < n && kPlain[p[i]]) ++i;
  return i;
}

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
}

void Output::WriteRtfText(const char *text) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *const end = p + std::strlen(text);
  while (p < end) {
    size_t run = PlainRun(p, static_cast<size_t>(end - p));
    Write(reinterpret_cast<const char *>(p), run);
    p += run;
    if (p == end) break;
    unsigned char c = *p++;
    if (c >= 0x80) {
      const char escaped[4] = {'\\', '\'', kHex[c >> 4], kHex[c & 0x0F]};
      Write(escaped, sizeof escaped);
    } else {
      const char escaped[2] = {'\\', static_cast<char>(c)};
      Write(escaped, sizeof escaped);
    }
  }
}

bool Output::Flush() {
  Send();
  if (file_ != nullptr && (std::fflush(file_) != 0 || std::ferror(file_) != 0)) failed_ = true;
  return !failed_;
}

}  // namespace programs
