// |TOPIC as one stream of link records.
//
// |TOPIC is cut into blocks of blockSize bytes (2048 in a 3.0 file, whose
// minor version is 15; 4096 in later files).  Each block is a 12-byte
// BlockHeader followed by record data; in a later file whose |SYSTEM flags
// have bit 0x4 or 0x8, the record data of a block is one LZ77 stream that
// decompresses to at most 16384 bytes.
//
// BlockHeader:
//   0  4  (not used)
//   4  4  firstLink: link position of the first record that begins in the block
//   8  4  (not used)
//
// A link position names a block and a byte in it: block = position >>
// offsetBits (11 or 14), byte = position & offsetMask, counted from the start
// of the block, header included: the record sits at blockData offset byte -
// 12.  In a 3.0 file that is the absolute offset in |TOPIC.
//
// RecordHeader, 21 bytes at the start of every link record:
//   0  4  recordLength: bytes of the record in the stream, header included
//   4  4  textLength: length of the text once expanded
//   8  4  previousRecord (not used)
//  12  4  nextRecord: link position of the next record (3.0: distance to it);
//         0xFFFFFFFF on the last record
//  16  4  formatLength: 21 + the length of the format data
//  20  1  recordType: 0x02 topic header, 0x01 paragraph (3.0), 0x20 paragraph,
//         0x23 table
// Records follow one another without gaps; one that does not fit in the rest
// of a block continues at the start of the next block's record data.
#pragma once

#include <cstdint>

#include "container/bytes.h"
#include "topic/topic_handle.h"

namespace marlet {

inline constexpr int32_t kBlockHeaderSize = 12;
inline constexpr int32_t kRecordHeaderSize = 21;
inline constexpr uint32_t kLastRecord = 0xFFFFFFFFu;

// Record header field offsets.
inline constexpr int kRecordLengthField = 0;
inline constexpr int kTextLengthField = 4;
inline constexpr int kNextRecordField = 12;
inline constexpr int kFormatLengthField = 16;
inline constexpr int kRecordTypeField = 20;

inline constexpr uint8_t kTopicHeaderRecord = 0x02;
inline constexpr uint8_t kParagraph30Record = 0x01;
inline constexpr uint8_t kParagraphRecord = 0x20;
inline constexpr uint8_t kTableRecord = 0x23;

bool IsVersion30(const TopicHandleRecord &topic);

// Chooses the block layout from the file's version and flags, allocates the
// block buffer and places the reader before the first record.  False when the
// buffer cannot be had.
bool SetUpBlockReader(TopicHandleRecord &topic);

// Loads block `blockNumber` into the block buffer.
void ReadTopicBlock(TopicHandleRecord &topic);

// Makes `block` the loaded block; false when it lies past the end of |TOPIC.
bool LoadBlock(TopicHandleRecord &topic, int64_t block);

// Copies the next count bytes of the record stream: count when all were
// copied, 0 when no record start can be placed in the loaded block or the
// stream ends.  Between records (recordRemaining 0) the next record begins at
// nextLink.
int32_t ReadRecordBytes(TopicHandleRecord &topic, uint8_t *destination, int32_t count);

// The variable-length integers of records' format data.  Each advances the
// cursor; a field cut by the end of the data fails the cursor and gives 0.
int16_t CompressedShort(ByteCursor &cursor);
uint16_t CompressedUShort(ByteCursor &cursor);
int32_t CompressedLong(ByteCursor &cursor);

}  // namespace marlet
