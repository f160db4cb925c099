// The codecs of segmented-hypergraphics pictures: the two variable-length
// integers of the picture headers, run-length coding both ways, and decoding
// by packing method.
//
// ShgUShort: one byte b0.  Even: the value is b0 / 2 (0..127), one byte long.
// Odd: two bytes b0 b1, the value (b0 + 256 * b1) / 2 (0..32767).
// ShgULong: a little-endian word w0.  Even: w0 / 2 (0..32767), two bytes long.
// Odd: four bytes w0 w1, the value (w0 + 65536 * w1) / 2 (0..0x7FFFFFFF).
// (Unlike the topic records' compressed integers these divide unsigned.)
//
// Run-length packets, one header byte n each:
//   n 0..127    a run: one data byte follows, written n times (0: nothing)
//   n 128..255  a literal: n - 128 data bytes follow, copied unchanged
// The whole buffer is one stream; row ends of a bitmap play no part.
//
// Packing methods: 0 stored, 1 run-length, 2 LZ77 (topic/lz77.h), 3 LZ77 whose
// output is run-length packets.
//
// Damage, decided here for every decoder: it never writes past its target and
// stops where the target is full, keeping what it wrote; an LZ77
// back-reference before the target's start ends the stream there; a literal
// packet cut by the end of the input copies the bytes that are there.  Each of
// these marks the result damaged.  A stream that simply ends early is not
// damage: the count written tells how far it got.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "container/bytes.h"

namespace marlet {

inline constexpr unsigned kPackStored = 0;
inline constexpr unsigned kPackRle = 1;
inline constexpr unsigned kPackLz77 = 2;
inline constexpr unsigned kPackLz77Rle = 3;

// Readers at a cursor, which they advance by the field's length.  A field cut
// by the end fails the cursor and reads 0.
uint16_t ShgUShort(ByteCursor &cursor);
uint32_t ShgULong(ByteCursor &cursor);

// Writers: the field's bytes at out, which has room for 2 (ShgUShort) or 4
// (ShgULong) bytes; return the field's length.  The short forms are used up
// to 127 and 0x7FFF.  Bits the long form cannot hold are lost: a ShgUShort
// keeps 15 bits, a ShgULong 31.
size_t WriteShgUShort(uint8_t *out, uint32_t value);
size_t WriteShgULong(uint8_t *out, uint32_t value);
inline constexpr size_t ShgULongSize(uint32_t value) { return value <= 0x7FFF ? 2 : 4; }

struct Decoded {
  size_t written = 0;    // bytes written to the target
  bool damaged = false;  // see the damage rules above
};

// Decodes all of source.  Packets are read while at least two input bytes
// remain: a single trailing byte is ignored.
Decoded DecompressRle(Bytes source, std::span<uint8_t> target);

// The most bytes CompressRle writes for length input bytes.
constexpr size_t CompressRleBound(size_t length) { return length + length / 127 + 4; }

// Encodes source as runs of 3..127 equal bytes and literals of 1..127 bytes;
// pairs of equal bytes go into literals.  target needs
// CompressRleBound(source.size()) bytes.  Returns the bytes written.
size_t CompressRle(Bytes source, std::span<uint8_t> target);

// Decodes source packed with method (0..3) into target.  Method 3 decodes
// the LZ77 stream into target, copies it to an intermediate global memory
// block and run-length decodes that into target; when the block cannot be
// had, nothing is decoded and the result is damaged.  An unknown method
// decodes nothing and is damaged.
Decoded DecodePicture(Bytes source, std::span<uint8_t> target, unsigned method);

}  // namespace marlet
