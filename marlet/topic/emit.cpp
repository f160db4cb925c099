#include "topic/emit.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace marlet {

namespace {

constexpr int kFormattedLimit = 5000;
constexpr size_t kWordLimit = 24;
constexpr size_t kSuffixLimit = 8;

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
  size_t at = 0;
  for (size_t n = std::min(word.size(), kWordLimit); at < n; ++at) buffer[at] = word[at];
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
  for (size_t i = 0, n = std::min(suffix.size(), kSuffixLimit); i < n; ++i) buffer[at++] = suffix[i];
  buffer[at] = '\0';
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
