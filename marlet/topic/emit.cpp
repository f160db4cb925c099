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

void EmitControlNumber(TopicHandleRecord &topic, const Sink &sink, const char *word, int32_t value,
                       const char *suffix) {
  if (topic.stopped) return;
  char buffer[64];
  size_t wordLength = strnlen(word, 24), suffixLength = strnlen(suffix, 24);
  std::memcpy(buffer, word, wordLength);
  char digits[12];
  size_t n = 0;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  size_t at = wordLength;
  if (value < 0) buffer[at++] = '-';
  while (n > 0) buffer[at++] = digits[--n];
  std::memcpy(buffer + at, suffix, suffixLength);
  buffer[at + suffixLength] = '\0';
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
