// Phrase tables and the expansion of a record's stored text.
//
// Help compilers replace frequent words by references to a phrase table.  A
// file carries none, an old-style table in |Phrases, or a new-style one split
// over |PhrIndex (phrase lengths, bit-packed) and |PhrImage (the text).
//
// |Phrases:
//   0  2  phraseCount
//   2  2  (not used)
//   4  4  decompressedSize: length of the phrase text once decompressed
//   8     phraseCount + 1 16-bit offsets, then the text, LZ77-compressed to
//         the end of the file.
// A 3.0 file and an uncompressed later file have a 4-byte header (the offsets
// follow at 4, the text plain behind them).  A later file whose field at 4
// exceeds 65536 has a 40-byte header: phraseCount at 2, decompressedSize at 6,
// the offsets from 40.  The offsets count from the first offset's own
// position: phrase n is the bytes from offset[n] to offset[n + 1].
//
// |PhrIndex:
//   0   4  (not used)
//   4   4  phraseCount
//   8   4  indexDataLength: bytes of index data after this 24-byte header
//  12   4  imageSize: length of the phrase text once decompressed
//  16   4  imageStoredSize: length of |PhrImage as stored
//  20   4  (not used)
//  24      index data: bitCount in the low 4 bits of its first byte; from its
//          fifth byte a bit stream, least significant bit first, holding each
//          phrase's length: a run of 1 bits closed by a 0 bit, each worth
//          2^bitCount, then bitCount bits of value; length = 1 + both.
// |PhrImage holds the text, LZ77-compressed when its stored size differs from
// imageSize.
//
// Damage: tables are clamped to what their files hold; a phrase number past
// the table, an offset outside it, an operand past the stored text or output
// past the limit ends that phrase or the expansion there.
#pragma once

#include <cstdint>
#include <span>

#include "container/bytes.h"
#include "topic/topic_handle.h"

namespace marlet {

// The longest text a record expands to.
inline constexpr uint32_t kExpansionLimit = 0xFF00;

void LoadPhraseTables(TopicHandleRecord &topic);

// Phrase n of the loaded table (the new-style one when present), up to its
// first zero byte; empty when there is no such phrase.
Bytes GetPhrase(const TopicHandleRecord &topic, uint32_t n);

// Expands stored text into output (at most limit bytes, then a terminating
// zero: output must hold limit + 1 bytes).  Returns the bytes produced, the
// terminator not counted.  newStyle chooses the new-style codes; without any
// phrase table the text is copied unchanged.
uint32_t ExpandText(const TopicHandleRecord &topic, Bytes stored, uint8_t *output, uint32_t limit,
                    bool newStyle);

}  // namespace marlet
