#include "topic/emit.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace marlet {

namespace {

constexpr int kFormattedLimit = 5000;
constexpr size_t kWordLimit = 24;
constexpr size_t kSuffixLimit = 8;

// Copies n bytes (at most 24) in a few moves of a fixed size, which for the
// short words of control text cost less than a loop or a call.
inline void CopyShort(char *to, const char *from, size_t n) {
  if (n >= 8) {
    std::memcpy(to, from, 8);
    if (n > 16) std::memcpy(to + 8, from + 8, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

}  // namespace

uint32_t EmitString(TopicHandleRecord &topic, const Sink &sink, const char *text, int32_t event) {
  DeliverPiece(topic, sink, text, event);
  return static_cast<uint32_t>(std::strlen(text));
}

void EmitControlNumber(TopicHandleRecord &topic, const Sink &sink, std::string_view word, int32_t value,
                       std::string_view suffix) {
  if (topic.stopped) return;
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  // The word, a sign, ten digits, the suffix and the terminator.
  char buffer[kWordLimit + 11 + kSuffixLimit + 1];
  size_t at = std::min(word.size(), kWordLimit);
  CopyShort(buffer, word.data(), at);
  if (value < 0) buffer[at++] = '-';
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  const size_t digits = magnitude < 10           ? 1
                        : magnitude < 100        ? 2
                        : magnitude < 1000       ? 3
                        : magnitude < 10000      ? 4
                        : magnitude < 100000     ? 5
                        : magnitude < 1000000    ? 6
                        : magnitude < 10000000   ? 7
                        : magnitude < 100000000  ? 8
                        : magnitude < 1000000000 ? 9
                                                 : 10;
  // The digits are written from the last, two at a time.
  char *p = buffer + at + digits;
  while (magnitude >= 100) {
    p -= 2;
    std::memcpy(p, kPairs + 2 * (magnitude % 100), 2);
    magnitude /= 100;
  }
  if (magnitude >= 10) {
    p -= 2;
    std::memcpy(p, kPairs + 2 * magnitude, 2);
  } else {
    *--p = static_cast<char>('0' + magnitude);
  }
  at += digits;
  const size_t tail = std::min(suffix.size(), kSuffixLimit);
  CopyShort(buffer + at, suffix.data(), tail);
  buffer[at + tail] = '\0';
  DeliverPiece(topic, sink, buffer, TopicEventControl);
}

void EmitFormatted(TopicHandleRecord &topic, const Sink &sink, const char *format, ...) {
  if (topic.stopped) return;  // formatting has no other effect
  // Most control texts have no arguments: they go out as they are.
  if (std::strchr(format, '%') == nullptr && std::strlen(format) < kFormattedLimit) {
    DeliverPiece(topic, sink, format, TopicEventControl);
    return;
  }
  char buffer[kFormattedLimit];
  va_list args;
  va_start(args, format);
  wvnsprintfA(buffer, kFormattedLimit, format, args);
  va_end(args);
  DeliverPiece(topic, sink, buffer, TopicEventControl);
}

}  // namespace marlet
