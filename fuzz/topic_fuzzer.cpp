// The topic reader: the input as a help file, its whole topic stream, then
// seeks to the positions its title index names.
#include <cstring>
#include <vector>

#include "harness.h"

namespace quillon_fuzz {

namespace {

// Bounds of one run.  A record of a few bytes can expand to 65280 bytes of
// text through its phrases, so the pieces of the whole stream are bounded by
// count and by bytes; the enumeration is then stopped by the callback.
constexpr int kMaxEvents = 200000;
constexpr uint64_t kMaxTextBytes = 16u << 20;
// Every enumeration begins with the font table (event 6), which a large
// |FONT makes long: the seeks end when the headers of one run have come to
// this many bytes.
constexpr size_t kMaxSeeks = 32;
constexpr uint64_t kMaxHeaderBytes = 256u << 10;
constexpr int kEventsAfterSeek = 24;

struct Events {
  int calls = 0;
  int limit = kMaxEvents;
  uint64_t bytes = 0;
  bool returnedZero = false;  // the callback has returned 0
  bool ended = false;         // event 8 has come
  uint64_t headerBytes = 0;   // of event 6
};

int32_t MARLET_API OnPiece(const char *text, TopicOffset offset, int32_t event, MarletUserData user) {
  auto &events = *reinterpret_cast<Events *>(user);
  Check(text != nullptr, "HlpTopicEnumerate gave no text");
  Check(event >= TopicEventText && event <= TopicEventHotspotEnd, "HlpTopicEnumerate gave an unknown event");
  Check(!events.ended, "HlpTopicEnumerate gave a piece after event 8");
  Check((events.calls == 0) == (event == TopicEventRtfHeader),
        "event 6 was not the first piece, and only it");
  if (event == TopicEventRtfHeader || event == TopicEventRtfEnd)
    Check(offset == 0, "events 6 and 8 came with a TopicOffset other than 0");
  if (event == TopicEventRtfEnd) {
    Check(std::strcmp(text, "}") == 0, "event 8 was not \"}\"");
    events.ended = true;
  } else {
    Check(!events.returnedZero, "HlpTopicEnumerate went on after its callback returned 0");
  }
  size_t length = std::strlen(text);
  events.bytes += length;
  if (event == TopicEventRtfHeader) events.headerBytes = length;
  ++events.calls;
  bool go = events.calls < events.limit && events.bytes < kMaxTextBytes;
  if (!go) events.returnedZero = true;
  return go ? 1 : 0;
}

// Returns the length of the document header.
uint64_t Enumerate(TopicHandle topic, int limit) {
  Events events;
  events.limit = limit;
  int32_t result = HlpTopicEnumerate(topic, OnPiece, reinterpret_cast<MarletUserData>(&events));
  Check(result == (events.returnedZero ? 1 : 0),
        "HlpTopicEnumerate's result is not whether its callback stopped it");
  return events.headerBytes;
}

int32_t MARLET_API OnTitle(const char *, TopicOffset offset, MarletUserData user) {
  auto &offsets = *reinterpret_cast<std::vector<TopicOffset> *>(user);
  offsets.push_back(offset);
  return offsets.size() < kMaxSeeks ? 1 : 0;
}

}  // namespace

int RunTopic(const uint8_t *data, size_t size) {
  InputFile input(data, size);
  IfsHandle help = IFSOpen(kInputName);
  if (help == nullptr) return 0;
  std::vector<TopicOffset> offsets;
  HlpEnumTitles(help, OnTitle, reinterpret_cast<MarletUserData>(&offsets));
  InputReader tail(data + (size > 8 ? size - 8 : 0), size > 8 ? 8 : size);
  for (TopicOffset offset : {0u, 0x8000u, 0xFFFFFFFFu, tail.U32(), tail.U32()}) offsets.push_back(offset);

  TopicHandle topic = HlpTopicOpen(help, HLP_TOPIC_FONTS | HLP_TOPIC_KEYWORDS | HLP_TOPIC_CONTEXTS);
  if (topic != nullptr) {
    uint64_t headers = Enumerate(topic, kMaxEvents);
    headers += Enumerate(topic, kEventsAfterSeek);  // after the end of the stream
    for (size_t i = 0; i < offsets.size() && headers < kMaxHeaderBytes; ++i) {
      HlpTopicSeek(topic, offsets[i]);
      headers += Enumerate(topic, kEventsAfterSeek);
      if (i < 4) headers += Enumerate(topic, 2);  // on from where the last one stopped
    }
    HlpTopicClose(topic);
  }
  IFSClose(help);
  return 0;
}

}  // namespace quillon_fuzz
