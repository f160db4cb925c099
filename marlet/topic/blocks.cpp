#include "topic/blocks.h"

#include <algorithm>
#include <cstring>

#include "container/frame.h"
#include "container/internal_file.h"
#include "topic/lz77.h"

namespace marlet {

namespace {

constexpr int32_t kVersion30BlockSize = 2048;
constexpr int32_t kBlockSize = 4096;
// A decompressed block stays below 16384 bytes; the buffer takes six stored
// blocks' worth, as generously as the help compilers' readers do.
constexpr int32_t kCompressedBufferFactor = 6;
// |TOPIC is read ahead this many blocks at a time: one read for 32 KiB rather
// than two for each block (its header, then its data), which on large files
// had the system calls cost as much as rendering a third of the text.  More
// would save few reads more, and each page of the buffer costs a fault.
constexpr int32_t kReadAheadBlocks = 8;

// The most record bytes the blocks from the loaded one on can hold: a record
// claiming more is damage.
int64_t RemainingStream(const TopicHandleRecord &topic) {
  int64_t blocks = (static_cast<int64_t>(topic.topicFileSize) + topic.blockSize - 1) / topic.blockSize - topic.blockNumber;
  int64_t perBlock = topic.compressed ? (int64_t{1} << topic.offsetBits) : topic.blockDataSize;
  return blocks * perBlock;
}

}  // namespace

bool LoadBlock(TopicHandleRecord &topic, int64_t block) {
  if (block < 0 || block * topic.blockSize >= topic.topicFileSize) return false;
  topic.blockNumber = static_cast<int32_t>(block);
  ReadTopicBlock(topic);
  return true;
}

bool IsVersion30(const TopicHandleRecord &topic) { return topic.titleInfo->minorVersion == 15; }

bool SetUpBlockReader(TopicHandleRecord &topic) {
  if (IsVersion30(topic)) {
    topic.blockSize = kVersion30BlockSize;
    topic.offsetBits = 11;
    topic.compressed = 0;
  } else {
    topic.blockSize = kBlockSize;
    topic.offsetBits = 14;
    topic.compressed = (topic.titleInfo->flags & 0x0C) != 0;
  }
  topic.blockDataSize = topic.blockSize - kBlockHeaderSize;
  topic.offsetMask = (1 << topic.offsetBits) - 1;
  topic.blockBufferSize = topic.compressed ? kCompressedBufferFactor * topic.blockDataSize : topic.blockDataSize;
  topic.blockBuffer = static_cast<uint8_t *>(RtCalloc(1, static_cast<size_t>(topic.blockBufferSize)));
  if (topic.blockBuffer == nullptr) return false;
  topic.blockData = topic.blockBuffer;
  topic.readAhead = static_cast<uint8_t *>(RtMalloc(static_cast<size_t>(kReadAheadBlocks) * topic.blockSize));
  if (topic.readAhead == nullptr) return false;
  topic.readAheadStart = 0;
  topic.readAheadLength = 0;
  topic.readPos = 0;
  topic.blockLength = 0;
  topic.blockNumber = -1;
  topic.topicOffset = 0;
  topic.nextLink = kBlockHeaderSize;
  topic.recordRemaining = 0;
  topic.positionBlock = -1;
  topic.atEnd = 0;
  topic.recordLink = -1;
  // Record lengths are bounded by what the stream holds: the bytes really
  // there, not what a damaged header declares.
  uint32_t size = ReadableSize(topic.topicFile);
  topic.topicFileSize = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
  IFSSeekFile(topic.topicFile, 0, 0);
  return true;
}

namespace {

// The bytes of |TOPIC from start (a block's start) to the end of its block,
// or fewer where the file ends: as one read from start would give them.  A
// block that the read-ahead holds whole comes from it; any other is read
// afresh with the blocks after it.
Bytes BlockBytes(TopicHandleRecord &topic, int64_t start) {
  const int64_t held = topic.readAheadStart + topic.readAheadLength;
  if (start < topic.readAheadStart || start + topic.blockSize > held) {
    IFSSeekFile(topic.topicFile, static_cast<int32_t>(start), 0);
    const uint32_t want = static_cast<uint32_t>(kReadAheadBlocks) * static_cast<uint32_t>(topic.blockSize);
    int32_t read = IFSReadFile(topic.topicFile, topic.readAhead, want);
    topic.readAheadStart = start;
    topic.readAheadLength = read > 0 ? read : 0;
  }
  const int64_t offset = start - topic.readAheadStart;
  const int64_t length = std::min<int64_t>(topic.readAheadLength - offset, topic.blockSize);
  return Bytes(topic.readAhead + offset, static_cast<size_t>(std::max<int64_t>(length, 0)));
}

}  // namespace

void ReadTopicBlock(TopicHandleRecord &topic) {
  int64_t start = static_cast<int64_t>(topic.blockNumber) * topic.blockSize;
  topic.readPos = 0;
  topic.blockLength = 0;
  topic.blockHeader = {};
  topic.blockData = topic.blockBuffer;
  if (topic.blockNumber < 0 || start >= topic.topicFileSize) return;
  Bytes block = BlockBytes(topic, start);
  if (block.size() >= kBlockHeaderSize)
    topic.blockHeader = {LoadU32(block.data()), LoadU32(block.data() + 4), LoadU32(block.data() + 8)};
  Bytes data = block.size() > kBlockHeaderSize ? block.subspan(kBlockHeaderSize) : Bytes();
  if (topic.compressed) {
    // A block whose stored bytes are not all there decodes to nothing.
    int64_t stored = std::min<int64_t>(topic.blockDataSize, topic.topicFileSize - start - kBlockHeaderSize);
    if (stored > 0 && static_cast<uint64_t>(stored) <= data.size())
      topic.blockLength = static_cast<int32_t>(
          Lz77Decode(data.first(static_cast<size_t>(stored)),
                     std::span<uint8_t>(topic.blockBuffer, static_cast<size_t>(topic.blockBufferSize)))
              .produced);
  } else {
    // Read where the read-ahead holds it, which stays until the next block
    // is loaded.
    size_t n = std::min<size_t>(data.size(), static_cast<size_t>(topic.blockDataSize));
    if (n > 0) topic.blockData = data.data();
    topic.blockLength = static_cast<int32_t>(n);
  }
}

int32_t ReadRecordBytes(TopicHandleRecord &topic, uint8_t *destination, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    // The record goes on in the next block, or the next record begins in a
    // later block.
    if (topic.recordRemaining == 0) {
      int64_t block = topic.nextLink >> topic.offsetBits;
      if (block < topic.blockNumber) return 0;  // a link back: damage
      if (block > topic.blockNumber) {
        if (!LoadBlock(topic, block)) return 0;
        continue;
      }
    } else if (topic.readPos >= topic.blockLength) {
      if (!LoadBlock(topic, static_cast<int64_t>(topic.blockNumber) + 1)) return 0;
      continue;
    }
    if (topic.recordRemaining == 0) {
      // A record begins at nextLink: its length and the position of the next
      // one stand in its header, which must lie inside the loaded data.  In a
      // well-formed stream the header is where the last record ended; reading
      // from where the link points keeps the bytes and the header together
      // when it is not.
      int64_t at = static_cast<int64_t>(topic.nextLink & static_cast<uint32_t>(topic.offsetMask)) - kBlockHeaderSize;
      if (at < 0 || at + kNextRecordField + 4 > topic.blockLength) return 0;
      // Links go forward in the stream; one that does not is damage (a cycle).
      if (static_cast<int64_t>(topic.nextLink) <= topic.recordLink) return 0;
      topic.recordLink = topic.nextLink;
      topic.readPos = static_cast<int32_t>(at);
      int32_t length = LoadI32(topic.blockData + at + kRecordLengthField);
      uint32_t next = LoadU32(topic.blockData + at + kNextRecordField);
      if (length < kRecordHeaderSize || length > RemainingStream(topic)) return 0;
      topic.recordRemaining = length;
      topic.nextLink = IsVersion30(topic) ? topic.nextLink + next : next;
    }
    int32_t run = std::min({count - done, topic.blockLength - topic.readPos, topic.recordRemaining});
    std::memcpy(destination + done, topic.blockData + topic.readPos, static_cast<size_t>(run));
    topic.readPos += run;
    topic.recordRemaining -= run;
    done += run;
  }
  return count;
}

int16_t CompressedShort(ByteCursor &cursor) {
  uint8_t b0 = cursor.Peek();
  if ((b0 & 1) == 0) {
    cursor.U8();
    return cursor.ok() ? static_cast<int16_t>((b0 - 128) / 2) : 0;
  }
  int32_t w = cursor.U16();
  return cursor.ok() ? static_cast<int16_t>((w - 32768) / 2) : 0;
}

uint16_t CompressedUShort(ByteCursor &cursor) {
  uint8_t b0 = cursor.Peek();
  if ((b0 & 1) == 0) {
    cursor.U8();
    return cursor.ok() ? static_cast<uint16_t>(b0 / 2) : 0;
  }
  int16_t w = cursor.I16();
  return cursor.ok() ? static_cast<uint16_t>(w / 2) : 0;
}

int32_t CompressedLong(ByteCursor &cursor) {
  uint8_t b0 = cursor.Peek();
  if ((b0 & 1) == 0) {
    int32_t w = cursor.U16();
    return cursor.ok() ? (w - 32768) / 2 : 0;
  }
  int64_t v = cursor.U32();
  return cursor.ok() ? static_cast<int32_t>((v - 2147483648LL) / 2) : 0;
}

}  // namespace marlet
