// The LZ77 decoding of help files: topic blocks, phrase tables and pictures.
//
// The stream is a sequence of groups: one flag byte, then eight items, bit 0
// of the flags (the least significant) for the first.  A 0 bit marks a literal
// byte; a 1 bit a back-reference of two bytes b0 b1: length (b1 >> 4) + 3
// (3..18), distance ((b1 & 0x0F) << 8 | b0) + 1 (1..4096).  A back-reference
// copies length bytes, one at a time, from distance bytes before the end of
// the output, so it may repeat what it has just written.  The last group ends
// with the input.
//
// Damage, decided here: the decoder never writes past its output, and refuses
// a back-reference that reaches before the output's start.  Either ends the
// stream at that point, keeping what was written before; a back-reference cut
// by the end of the input is dropped.
#pragma once

#include <marlet/marlet.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "container/bytes.h"

namespace marlet {

struct Lz77Result {
  size_t produced = 0;   // bytes written
  bool damaged = false;  // stopped at the output's end or at a bad back-reference
};

Lz77Result Lz77Decode(Bytes input, std::span<uint8_t> output);

// Reads the next `length` bytes of an internal file and decodes them into
// output.  The bytes produced, or 0 when the input cannot be read in full.
uint32_t DecompressLz77(IfsFileHandle file, uint32_t length, std::span<uint8_t> output);

}  // namespace marlet
