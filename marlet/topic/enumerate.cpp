// The record loop: HlpTopicEnumerate and HlpTopicSeek.
//
// This is the top of the topic reader: it reads each record through the block
// reader, expands its text and hands paragraphs and tables to the RTF
// renderers (rtf/).
//
// Positions.  The indexes (|TTLBTREE, |CONTEXT, keywords) store for every
// record the base of the block in which its header begins (block << 15, in a
// 3.0 file block << 12) plus the offsetAdvance of the paragraph and table
// records before it that begin in the same block; in a 3.0 file, the header's
// absolute offset in |TOPIC.  The reader keeps topicOffset by that rule: it is
// the position of the record being read (and of every piece it delivers),
// and after a paragraph or table the position of the next one in its block.
//
// Topic header format data (later files; 3.0 headers are shorter):
//   0  4  in a 3.0 file: 8 or less on the header that ends |TOPIC
//   4  4  the topic before this one in its browse sequence (-1: none); in a
//          3.0 file its topic number
//   8  4  the topic after it, the same way
//  12  4  this topic's number (later files)
//  20  4  link position where the scrolling region begins
//  28  2  group number, counted from 1 (only when the data is longer)
// Records whose next link lies at or before the scrolling region's start are
// non-scrolling.
#include <algorithm>
#include <cstring>
#include <string>

#include "container/frame.h"
#include "rtf/fonts.h"
#include "rtf/render.h"
#include "topic/blocks.h"
#include "topic/emit.h"
#include "topic/phrases.h"
#include "topic/topic_handle.h"

namespace marlet {

namespace {

constexpr const char *kRtfOpening = "{\\rtf1\\ansi\\deff0\\deflang1024 ";
constexpr size_t kContextBufferSize = 500;
constexpr size_t kKeywordBufferSize = 1024;
constexpr uint32_t kKeywordRead = 999;
constexpr size_t kBrowseBackField = 4;
constexpr size_t kBrowseForwardField = 8;
constexpr size_t kTopicNumberField = 12;

// A field of a record's format data; bytes past the data read as zero.
uint32_t FormatField32(Bytes format, size_t at) {
  uint8_t field[4] = {};
  if (at < format.size()) std::memcpy(field, format.data() + at, std::min<size_t>(4, format.size() - at));
  return LoadU32(field);
}

uint16_t FormatField16(Bytes format, size_t at) {
  uint8_t field[2] = {};
  if (at < format.size()) std::memcpy(field, format.data() + at, std::min<size_t>(2, format.size() - at));
  return LoadU16(field);
}

// The position of the record about to be read, which begins at nextLink, and
// topicOffset set to it.
uint32_t BeginRecordPosition(TopicHandleRecord &topic) {
  if (IsVersion30(topic)) return topic.topicOffset = topic.nextLink;  // absolute |TOPIC offsets
  int32_t block = static_cast<int32_t>(topic.nextLink >> topic.offsetBits);
  if (block != topic.positionBlock) {
    topic.positionBlock = block;
    topic.topicOffset = static_cast<uint32_t>(block) << (topic.offsetBits + 1);
  }
  return topic.topicOffset;
}

std::string ContextStringAt(const TopicHandleRecord &topic, uint32_t position) {
  const ContextTable *table = topic.contexts;
  if (table == nullptr || table->count == 0) return {};
  const ContextPair *end = table->pairs + table->count;
  const ContextPair *found = std::lower_bound(static_cast<const ContextPair *>(table->pairs), end, position,
                                              [](const ContextPair &p, uint32_t v) { return p.offset < v; });
  if (found == end || found->offset != position) return {};
  char buffer[kContextBufferSize] = {};
  HlpCreateStringForHashValue(found->hash, buffer);
  buffer[kContextBufferSize - 1] = '\0';
  return buffer;
}

void EmitContextsAndKeywords(TopicHandleRecord &topic, const Sink &sink, uint32_t position) {
  if (std::string context = ContextStringAt(topic, position); !context.empty())
    EmitString(topic, sink, context.c_str(), TopicEventContext);
  for (int32_t i = 0; i < topic.keywordIndexCount; ++i) {
    const KeywordIndex &index = *topic.keywordIndexes[i];
    const KeywordPair *end = index.pairs + index.count;
    const KeywordPair *pair = std::lower_bound(static_cast<const KeywordPair *>(index.pairs), end, position,
                                               [](const KeywordPair &p, uint32_t v) { return p.offset < v; });
    for (; pair != end && pair->offset == position; ++pair) {
      char buffer[kKeywordBufferSize] = {};
      int prefix = wnsprintfA(buffer, sizeof buffer, "%s\t", index.name);
      IFSSeekFile(index.btreeFile, pair->keywordPos, 0);
      IFSReadFile(index.btreeFile, buffer + prefix, kKeywordRead);  // the keyword ends at its zero byte
      buffer[kKeywordBufferSize - 1] = '\0';
      EmitString(topic, sink, buffer, TopicEventKeyword);
    }
  }
}

// Event 18: the browse neighbours and the number of a topic header.  In a
// 3.0 file the header holds the neighbours' topic numbers at 4 and 8 and no
// number of its own.
void EmitTopicHeader(TopicHandleRecord &topic, const Sink &sink, Bytes format, bool v30) {
  static constexpr char kHex[] = "0123456789abcdef";
  const uint32_t fields[3] = {FormatField32(format, kBrowseBackField), FormatField32(format, kBrowseForwardField),
                              v30 ? kLastRecord : FormatField32(format, kTopicNumberField)};
  char text[27];
  char *p = text;
  for (uint32_t field : fields) {
    for (int shift = 28; shift >= 0; shift -= 4) *p++ = kHex[(field >> shift) & 0xF];
    *p++ = ' ';
  }
  p[-1] = '\0';
  EmitString(topic, sink, text, TopicEventTopicHeader);
}

bool GrowRecordBuffer(TopicHandleRecord &topic, uint32_t size) {
  if (size <= topic.recordCapacity) return true;
  auto *grown = static_cast<uint8_t *>(RtRealloc(topic.recordBuffer, size));
  if (grown == nullptr) return false;
  topic.recordBuffer = grown;
  topic.recordCapacity = size;
  return true;
}

struct LoopState {
  uint32_t scrollStart = 0;  // before any topic header: every record scrolls
};

// Reads and renders one record.  False ends the loop.
bool ReadOneRecord(TopicHandleRecord &topic, const Sink &sink, LoopState &state) {
  uint32_t position = BeginRecordPosition(topic);
  uint8_t header[kRecordHeaderSize];
  if (ReadRecordBytes(topic, header, kRecordHeaderSize) != kRecordHeaderSize) return false;
  const int32_t recordLength = LoadI32(header + kRecordLengthField);
  const int32_t textLength = LoadI32(header + kTextLengthField);
  const uint32_t nextRecord = LoadU32(header + kNextRecordField);
  const int32_t formatLength = LoadI32(header + kFormatLengthField);
  const uint8_t type = header[kRecordTypeField];

  // Lengths that contradict each other end the loop.
  const bool phrased = topic.phrases != nullptr || topic.phraseImage != nullptr;
  int64_t storedLength = phrased ? static_cast<int64_t>(recordLength) - formatLength : textLength;
  if (formatLength < kRecordHeaderSize || formatLength > recordLength || storedLength < 0 ||
      storedLength > static_cast<int64_t>(recordLength) - formatLength)
    return false;
  const uint32_t formatSize = static_cast<uint32_t>(formatLength - kRecordHeaderSize);
  const uint32_t stored = static_cast<uint32_t>(storedLength);
  if (!GrowRecordBuffer(topic, formatSize + stored + 16)) return false;
  if (formatSize + stored > 0 &&
      ReadRecordBytes(topic, topic.recordBuffer, static_cast<int32_t>(formatSize + stored)) !=
          static_cast<int32_t>(formatSize + stored))
    return false;
  topic.recordRemaining = 0;  // bytes the record holds beyond its text are not read
  Bytes format(topic.recordBuffer, formatSize);

  uint32_t produced = 0;
  topic.expansion[0] = 0;
  if (stored > 0) {
    uint32_t expand = std::min(stored, static_cast<uint32_t>(std::max(textLength, 0)));
    bool newStyle = topic.phraseOffsets != nullptr && stored < static_cast<uint32_t>(textLength);
    produced = ExpandText(topic, Bytes(topic.recordBuffer + formatSize, expand), topic.expansion,
                          kExpansionLimit, newStyle);
  }
  TextCursor text(reinterpret_cast<const char *>(topic.expansion), produced);
  const bool v30 = IsVersion30(topic);
  bool endAfterThis = nextRecord == kLastRecord;

  switch (type) {
    case kTopicHeaderRecord: {
      if (v30 && static_cast<int32_t>(FormatField32(format, 0)) <= 8) endAfterThis = true;
      state.scrollStart = FormatField32(format, 20);
      if (topic.options & HLP_TOPIC_HEADERS) EmitTopicHeader(topic, sink, format, v30);
      if (text.count() > 0) {
        if (*text.here() != '\0')
          EmitString(topic, sink, text, TopicEventTitle);
        else
          text.Advance(0);
        if (text.count() > 0 && *text.here() != '\0') EmitString(topic, sink, text, TopicEventTitleExtra);
      }
      if (formatSize > 28) {
        uint32_t group = static_cast<uint32_t>(FormatField16(format, 28)) - 1;
        if (group < static_cast<uint32_t>(topic.titleInfo->groupCount))
          EmitString(topic, sink, topic.titleInfo->groups[group], TopicEventGroup);
      }
      if (v30) EmitContextsAndKeywords(topic, sink, position);
      break;
    }
    case kParagraph30Record:
    case kParagraphRecord:
    case kTableRecord: {
      const bool nonScrolling = nextRecord <= state.scrollStart;
      if (!v30) EmitContextsAndKeywords(topic, sink, position);
      ByteCursor cursor(format);
      CompressedLong(cursor);
      uint16_t advance = type == kParagraph30Record ? 0 : CompressedUShort(cursor);
      if (type == kTableRecord)
        RtfTableRecord(topic, sink, text, cursor, nonScrolling);
      else
        RtfParagraph(topic, sink, text, cursor, nonScrolling, false);
      if (!v30 && type != kParagraph30Record)
        topic.topicOffset += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(advance)));
      break;
    }
    default:
      break;  // other record types are read and skipped
  }
  return !endAfterThis;
}

}  // namespace

}  // namespace marlet

using namespace marlet;

extern "C" {

MARLET_EXPORT int32_t MARLET_API HlpTopicEnumerate(TopicHandle topic, TopicCallback callback,
                                                   MarletUserData userData) {
  if (topic == nullptr || callback == nullptr) return 0;
  std::string fonts = RtfFontTable(*topic);
  topic->stopped = 0;
  std::string opening = std::string(kRtfOpening) + fonts;
  if (callback(opening.c_str(), 0, TopicEventRtfHeader, userData) == 0) topic->stopped = 1;

  Sink sink{callback, userData};
  LoopState state;
  while (!topic->atEnd) {
    if (!ReadOneRecord(*topic, sink, state)) topic->atEnd = 1;
    if (topic->stopped) break;
  }
  if (!fonts.empty() && callback("}", 0, TopicEventRtfEnd, userData) == 0) topic->stopped = 1;
  return topic->stopped;
}

MARLET_EXPORT int32_t MARLET_API HlpTopicSeek(TopicHandle topic, TopicOffset target) {
  if (topic == nullptr) return 0;
  TopicHandleRecord &t = *topic;
  t.atEnd = 0;
  t.recordRemaining = 0;
  t.recordLink = -1;

  if (IsVersion30(t)) {
    // 3.0 offsets are absolute: walk the records from the first one of the
    // target's block, by their relative links, to the first at or after it.
    // 3.0 record headers are never split between blocks, so each is read
    // straight from |TOPIC.
    const uint32_t blockStart = (target / static_cast<uint32_t>(t.blockSize)) * t.blockSize;
    uint8_t raw[kBlockHeaderSize];
    IFSSeekFile(t.topicFile, static_cast<int32_t>(blockStart), 0);
    // The block's firstLink is the record in which the block begins (it may
    // have begun in the block before); one past the target is the next record.
    uint32_t position = blockStart + kBlockHeaderSize;
    if (IFSReadFile(t.topicFile, raw, sizeof raw) == kBlockHeaderSize &&
        LoadU32(raw + 4) < static_cast<uint32_t>(t.topicFileSize))
      position = LoadU32(raw + 4);
    int32_t length = 0;
    for (int steps = 0; steps < 4096; ++steps) {
      uint8_t header[kRecordHeaderSize];
      IFSSeekFile(t.topicFile, static_cast<int32_t>(position), 0);
      if (IFSReadFile(t.topicFile, header, sizeof header) != kRecordHeaderSize) break;
      length = LoadI32(header + kRecordLengthField);
      uint32_t next = LoadU32(header + kNextRecordField);
      if (position >= target || next == kLastRecord || next < static_cast<uint32_t>(kRecordHeaderSize)) break;
      position += next;
      length = 0;
    }
    t.nextLink = position;
    t.topicOffset = position;
    if ((position >> t.offsetBits) != static_cast<uint32_t>(t.blockNumber)) LoadBlock(t, position >> t.offsetBits);
    return length;
  }

  // Later files: the records that begin in the target's block, from its
  // firstLink, each adding its offsetAdvance, up to the first whose position
  // is at or beyond the target.  The walk stays inside the block: a target
  // past its last record lands on the record that follows in the stream.
  const int shift = t.offsetBits + 1;
  const int64_t block = target >> shift;
  if (block != t.blockNumber && !LoadBlock(t, block)) {
    t.atEnd = 1;
    return 0;
  }
  t.positionBlock = t.blockNumber;
  t.topicOffset = static_cast<uint32_t>(t.blockNumber) << shift;
  uint32_t link = t.blockHeader.firstLink;
  int32_t length = 0;
  int64_t previous = -1;
  while (true) {
    int64_t at = static_cast<int64_t>(link & static_cast<uint32_t>(t.offsetMask)) - kBlockHeaderSize;
    bool inBlock = link != kLastRecord && static_cast<int64_t>(link >> t.offsetBits) == t.blockNumber && at > previous &&
                   at >= 0 && at + kRecordHeaderSize <= t.blockLength;
    if (!inBlock) {
      length = 0;
      break;
    }
    const uint8_t *record = t.blockData + at;
    length = LoadI32(record + kRecordLengthField);
    if (target <= t.topicOffset) break;
    uint8_t type = record[kRecordTypeField];
    uint32_t next = LoadU32(record + kNextRecordField);
    if (type == kParagraphRecord || type == kTableRecord) {
      int32_t formatLength = LoadI32(record + kFormatLengthField);
      int64_t room = std::min<int64_t>(formatLength - kRecordHeaderSize, t.blockLength - at - kRecordHeaderSize);
      ByteCursor cursor(record + kRecordHeaderSize, room > 0 ? static_cast<size_t>(room) : 0);
      CompressedLong(cursor);
      uint16_t advance = CompressedUShort(cursor);
      if (!cursor.ok()) {  // the advance lies in the next block: the target is inside this record
        link = next;
        length = 0;
        break;
      }
      t.topicOffset += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(advance)));
    }
    previous = at;
    link = next;
  }
  if (link == kLastRecord) t.atEnd = 1;
  t.nextLink = link;
  return length;
}

}  // extern "C"
