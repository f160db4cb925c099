// The two output primitives through which every piece of a topic passes, and
// the stop rule they own: once the callback has returned 0, no primitive calls
// it again in that enumeration, though both go on doing everything else
// (advancing cursors, lowering counts) so that callers walk their records to
// the end.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>
#include <cstring>
#include <string_view>

#include "topic/topic_handle.h"

namespace marlet {

// A record's expanded text: zero-terminated strings, read from the front.
// count() is the number of bytes not yet consumed; once it is 0, every string
// read is empty.
class TextCursor {
 public:
  TextCursor() = default;
  // data holds size bytes followed by a zero byte.
  TextCursor(const char *data, uint32_t size) : data_(data), size_(size) {}
  uint32_t count() const { return size_ - position_; }
  const char *here() const { return data_ + position_; }
  // Steps over n bytes and the terminator behind them, at most to the end.
  void Advance(uint32_t n) {
    uint64_t to = static_cast<uint64_t>(position_) + n + 1;
    position_ = to > size_ ? size_ : static_cast<uint32_t>(to);
  }

 private:
  const char *data_ = "";
  uint32_t size_ = 0;
  uint32_t position_ = 0;
};

// Where pieces go: the callback and its user value.
struct Sink {
  TopicCallback callback;
  MarletUserData userData;
};

// One piece to the callback, unless it has stopped the enumeration.  Inline
// with the primitives below: a whole-file export makes several pieces of every
// paragraph, and the calls between the renderers and the callback cost more
// than the pieces' own work.
inline void DeliverPiece(TopicHandleRecord &topic, const Sink &sink, const char *text, int32_t event) {
  if (topic.stopped) return;
  if (sink.callback(text, topic.topicOffset, event, sink.userData) == 0) topic.stopped = 1;
}

// Delivers the string at the text cursor as one piece of the given event and
// steps over it and its terminator.  Returns its length (bounded by the
// remaining count).
inline uint32_t EmitString(TopicHandleRecord &topic, const Sink &sink, TextCursor &text, int32_t event) {
  const char *s = text.here();
  // Runs between two commands are often empty: no length to look for.
  uint32_t n = *s == '\0' ? 0 : static_cast<uint32_t>(strnlen(s, text.count()));
  DeliverPiece(topic, sink, s, event);
  text.Advance(n);
  return n;
}

// Delivers a zero-terminated string whole.  Returns its length.
uint32_t EmitString(TopicHandleRecord &topic, const Sink &sink, const char *text, int32_t event);

// Formats RTF control text (wsprintf-style, at most 4999 characters) and
// delivers it as one piece of event 7.
void EmitFormatted(TopicHandleRecord &topic, const Sink &sink, const char *format, ...);

// Delivers control text made beforehand as one piece of event 7.
inline void EmitControl(TopicHandleRecord &topic, const Sink &sink, const char *text) {
  DeliverPiece(topic, sink, text, TopicEventControl);
}

// A control word (at most 24 characters) with a number and a suffix (at most
// 8 characters), as "%s%d%s" would format them: one piece of event 7.  The
// renderers' most frequent pieces, made without the formatter.
void EmitControlNumber(TopicHandleRecord &topic, const Sink &sink, std::string_view word, int32_t value,
                       std::string_view suffix = {});

}  // namespace marlet
