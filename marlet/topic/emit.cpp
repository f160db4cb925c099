#include "topic/emit.h"

#include <cstdarg>
#include <cstring>

namespace marlet {

namespace {

constexpr int kFormattedLimit = 5000;

void Deliver(TopicHandleRecord &topic, const Sink &sink, const char *text, int32_t event) {
  if (topic.stopped) return;
  if (sink.callback(text, topic.topicOffset, event, sink.userData) == 0) topic.stopped = 1;
}

}  // namespace

uint32_t EmitString(TopicHandleRecord &topic, const Sink &sink, TextCursor &text, int32_t event) {
  const char *s = text.here();
  uint32_t n = static_cast<uint32_t>(strnlen(s, text.count()));
  Deliver(topic, sink, s, event);
  text.Advance(n);
  return n;
}

uint32_t EmitString(TopicHandleRecord &topic, const Sink &sink, const char *text, int32_t event) {
  Deliver(topic, sink, text, event);
  return static_cast<uint32_t>(std::strlen(text));
}

void EmitControl(TopicHandleRecord &topic, const Sink &sink, const char *text) {
  Deliver(topic, sink, text, TopicEventControl);
}

void EmitControlNumber(TopicHandleRecord &topic, const Sink &sink, std::string_view word, int32_t value) {
  if (topic.stopped) return;
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char buffer[40];
  size_t at = word.size() < 24 ? word.size() : 24;
  for (size_t i = 0; i < at; ++i) buffer[i] = word[i];
  if (value < 0) buffer[at++] = '-';
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  size_t digits = 1;
  for (uint32_t rest = magnitude; rest >= 10; rest /= 10) ++digits;
  // The digits are written from the last, two at a time.
  char *p = buffer + at + digits;
  *p = '\0';
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
  Deliver(topic, sink, buffer, TopicEventControl);
}

void EmitFormatted(TopicHandleRecord &topic, const Sink &sink, const char *format, ...) {
  if (topic.stopped) return;  // formatting has no other effect
  // Most control texts have no arguments: they go out as they are.
  if (std::strchr(format, '%') == nullptr && std::strlen(format) < kFormattedLimit) {
    Deliver(topic, sink, format, TopicEventControl);
    return;
  }
  char buffer[kFormattedLimit];
  va_list args;
  va_start(args, format);
  wvnsprintfA(buffer, kFormattedLimit, format, args);
  va_end(args);
  Deliver(topic, sink, buffer, TopicEventControl);
}

}  // namespace marlet
