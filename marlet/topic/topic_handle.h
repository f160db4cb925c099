// An open topic stream: the |TOPIC file, the block reader's state and the side
// tables that turn link records into text and annotations.
//
// The topic reader is layered inside this folder: the handle, the block
// reader, the phrase tables and the output primitives are used by the RTF
// renderers (rtf/), and the record loop (enumerate.cpp) hands each record to
// those renderers.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>

namespace marlet {

struct FontEntry {
  int32_t halfPoints;   // character size in half points
  int32_t weight;       // 700 for a bold font, else 0
  uint8_t italic;       // 1 or 0
  uint8_t underline;    // 1 or 0
  uint8_t family;       // 0x10 roman, 0x20 swiss, 0x30 modern, 0x40 script, 0x50 decorative, or 0
  char faceName[32];    // zero-terminated, cut at its first comma
  uint32_t textColour;  // 0x00BBGGRR
  uint32_t backColour;
  int16_t charset;      // the character set of a 42-byte descriptor; -1 where |FONT has none
};

struct FontTable {
  int32_t count;
  FontEntry *entries;  // count entries, in the same allocation as the table
};

struct ContextPair {
  ContextHash hash;
  TopicOffset offset;
};

struct ContextTable {
  int32_t count;
  int32_t capacity;
  ContextPair *pairs;  // sorted by offset
};

struct KeywordPair {
  TopicOffset offset;
  int32_t keywordPos;  // position of the keyword's first character in btreeFile
};

struct KeywordIndex {
  int32_t count;
  int32_t capacity;
  char name[4];  // "A" .. "Z", "0K" .. "8K"
  IfsFileHandle btreeFile;
  KeywordPair *pairs;  // sorted by offset
};

struct FontChangeTexts;  // made by the RTF renderer from the font table

struct PhraseSpan {  // where a phrase's text lies, up to its first zero byte
  uint32_t start;
  uint32_t length;
};

struct BlockHeader {
  uint32_t unused0;
  uint32_t firstLink;  // link position of the first record that begins in the block
  uint32_t unused8;
};

}  // namespace marlet

struct TopicHandleRecord {
  IfsHandle container;  // not owned
  IfsFileHandle topicFile;
  HelpTitleInfo *titleInfo;
  int32_t stopped;  // the callback returned 0 in this enumeration

  // Phrase tables: at most one style is loaded.
  uint8_t *phrases;         // old style: phraseCount + 1 16-bit offsets, then the text
  uint8_t *phraseImage;     // new style: the phrase text
  uint32_t *phraseOffsets;  // new style: phraseCount + 1 offsets into phraseImage

  TopicOffset topicOffset;  // the running position, as the indexes count it
  int32_t blockSize;        // 2048 or 4096
  int32_t blockDataSize;    // blockSize - 12
  int32_t offsetBits;       // 11 or 14
  int32_t offsetMask;
  uint8_t *blockBuffer;
  int32_t readPos;
  int32_t blockLength;  // valid bytes in blockBuffer
  int32_t blockNumber;  // -1 before the first block is read
  uint32_t nextLink;
  int32_t recordRemaining;  // bytes of the current record not yet read; 0 between records
  int32_t topicFileSize;
  marlet::BlockHeader blockHeader;

  marlet::FontTable *fonts;
  int32_t newFontDescriptors;  // |FONT holds 42-byte descriptors
  marlet::ContextTable *contexts;
  marlet::KeywordIndex **keywordIndexes;
  int32_t keywordIndexCount;

  // ---- Bookkeeping beyond the format's own fields ----
  uint32_t phraseCount;       // phrases in the loaded table
  uint32_t phrasesSize;       // valid bytes of phrases
  uint32_t phraseImageSize;   // valid bytes of phraseImage
  marlet::PhraseSpan *phraseSpans;  // each phrase of the loaded table, checked once
  int32_t blockBufferSize;    // bytes allocated for blockBuffer
  int32_t compressed;         // blocks are LZ77-compressed
  int32_t positionBlock;      // block in which the last record header began; -1 before any
  int32_t atEnd;              // the last record of |TOPIC has been read
  int64_t recordLink;         // link of the record last begun; -1 before any
  uint8_t *expansion;         // buffer for one record's expanded text (kExpansionLimit + 1)
  uint8_t *recordBuffer;      // format data and stored text of the record being read
  uint32_t recordCapacity;
  marlet::FontChangeTexts *fontChanges;  // each font's change text, made on first use
  uint8_t *readAhead;         // |TOPIC bytes from readAheadStart on, several blocks read at once
  int64_t readAheadStart;
  int32_t readAheadLength;    // valid bytes of readAhead
  // The loaded block's record data, blockLength bytes: in blockBuffer when
  // the blocks are compressed, else where the read-ahead holds them.
  const uint8_t *blockData;
  uint32_t options;           // the HlpTopicOpen options, for the opt-in pieces
};
