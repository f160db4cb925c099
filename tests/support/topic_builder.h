// Test-only writers of the topic reader's internal files: |TOPIC in 2K or 4K
// blocks (plain, or LZ77-compressed with a small compressor that emits real
// back-references), both phrase table styles, |FONT with 11- or 42-byte
// descriptors, and the format data of paragraph, table and topic header
// records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/help_builder.h"
#include "support/index_builder.h"

namespace fixture {

// ---- LZ77 -----------------------------------------------------------------

// Greedy LZ77 with back-references of 3 to 18 bytes within 4096 bytes.
Bytes CompressLz77(const Bytes &input);

// ---- Records --------------------------------------------------------------

struct TopicRecord {
  uint8_t type = 0x20;
  Bytes format;                // the format data (after the 21-byte header)
  Bytes text;                  // the stored text
  int32_t textLength = -1;     // the expanded length; -1: the stored length
  uint16_t advance = 0;        // the record's offsetAdvance, for the offsets the indexes use
};

struct TopicLayout {
  bool version30 = false;  // 2048-byte blocks and absolute, relative links
  bool compressed = false; // LZ77-compressed blocks (later files only)
  // Record data per block: 0 for the most the layout allows (records then
  // continue from block to block).  Other values leave the rest of each
  // block's data unused and keep every record inside one block, as compressed
  // layouts always do here.
  int32_t blockFill = 0;
};

struct BuiltTopic {
  Bytes bytes;                        // the |TOPIC file
  std::vector<uint32_t> links;        // each record's link position
  std::vector<uint32_t> offsets;      // each record's TopicOffset as the indexes count it
  std::vector<int32_t> headerBlocks;  // block in which each record header begins
  int32_t blockCount = 0;
};

BuiltTopic BuildTopic(const std::vector<TopicRecord> &records, const TopicLayout &layout = {});

// ---- Format data ----------------------------------------------------------

void PutCompressedShort(Bytes &out, int value);   // one byte for -64..63, else two
void PutCompressedUShort(Bytes &out, unsigned value);  // one byte for 0..127, else two
void PutCompressedLong(Bytes &out, int32_t value);     // two bytes for -16384..16383, else four

// A topic header's format data (28 bytes, more with a group number).
Bytes TopicHeaderFormat(uint32_t scrollStart = 0, int groupNumber = -1);

// A topic header record with its title (and optional second string).
// scrollStart: the link where the scrolling region begins; records whose next
// link lies at or before it are non-scrolling (0: none are).
TopicRecord TopicHeader(const std::string &title, uint32_t scrollStart = 0);

// The leading values of a paragraph or table record: the unused
// CompressedLong and the offsetAdvance.
void PutRecordPrefix(Bytes &out, unsigned advance);

// A plain paragraph: "\pard\s0\ql", the given strings separated by the given
// commands, ended by 0xFF.  texts.size() must be commands.size() + 1.
TopicRecord Paragraph(const std::vector<std::string> &texts, const Bytes &commands = {}, uint16_t infoBits = 0,
                      const Bytes &infoFields = {});

// A paragraph of one line of text ending with a paragraph end.
TopicRecord TextParagraph(const std::string &text);

// ---- Phrases ----------------------------------------------------------------

// |Phrases with the standard header, text plain (4-byte header, as 3.0 and
// uncompressed files have) or compressed (8-byte header).
Bytes OldPhrases(const std::vector<std::string> &phrases, bool compressed);

struct NewPhraseFiles {
  Bytes index;  // |PhrIndex
  Bytes image;  // |PhrImage
};
NewPhraseFiles NewPhrases(const std::vector<std::string> &phrases, unsigned bitCount, bool compressImage);

// ---- |FONT ------------------------------------------------------------------

struct FontRecipe {
  std::string face;
  uint8_t attributes = 0;  // 1 bold, 2 italic, 4 underline
  uint8_t halfPoints = 20;
  uint8_t family = 3;      // 1 modern, 2 roman, 3 swiss, 4 script, 5 decorative
  uint8_t text[3] = {0, 0, 0};
  uint8_t back[3] = {255, 255, 255};
  uint8_t charset = 0;     // 42-byte descriptors only
};
// Face names in slots of slotSize bytes (20 or 32), one per font, and 11- or
// 42-byte descriptors.
Bytes FontFile(const std::vector<FontRecipe> &fonts, unsigned slotSize = 20, unsigned descriptorSize = 11);

// ---- Whole help files -----------------------------------------------------

struct TopicFileRecipe {
  uint16_t minor = 33;
  uint16_t flags = 0;
  std::vector<TopicRecord> records;
  TopicLayout layout;
  std::vector<InternalFile> extraFiles;  // phrases, |FONT, indexes ...
};
struct BuiltHelpFile {
  BuiltContainer container;
  BuiltTopic topic;
};
BuiltHelpFile BuildTopicHelpFile(const TopicFileRecipe &recipe);

}  // namespace fixture
