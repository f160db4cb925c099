#include "shg/codec.h"

#include <quillon/platform.h>

#include <algorithm>
#include <cassert>
#include <cstring>

#include "shg/global_block.h"
#include "topic/lz77.h"

namespace marlet {

uint16_t ShgUShort(ByteCursor &cursor) {
  if ((cursor.Peek() & 1) == 0) return static_cast<uint16_t>(cursor.U8() >> 1);
  return static_cast<uint16_t>(cursor.U16() >> 1);
}

uint32_t ShgULong(ByteCursor &cursor) {
  if ((cursor.Peek() & 1) == 0) return static_cast<uint32_t>(cursor.U16() >> 1);
  return cursor.U32() >> 1;
}

size_t WriteShgUShort(uint8_t *out, uint32_t value) {
  if (value <= 127) {
    out[0] = static_cast<uint8_t>(value << 1);
    return 1;
  }
  uint32_t word = (value << 1) | 1;
  out[0] = static_cast<uint8_t>(word);
  out[1] = static_cast<uint8_t>(word >> 8);
  return 2;
}

size_t WriteShgULong(uint8_t *out, uint32_t value) {
  if (value <= 0x7FFF) {
    uint32_t word = value << 1;
    out[0] = static_cast<uint8_t>(word);
    out[1] = static_cast<uint8_t>(word >> 8);
    return 2;
  }
  uint32_t word = (value << 1) | 1;
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(word >> (8 * i));
  return 4;
}

Decoded DecompressRle(Bytes source, std::span<uint8_t> target) {
  const uint8_t *in = source.data();
  const uint8_t *const inEnd = in + source.size();
  uint8_t *const outStart = target.data();
  uint8_t *out = outStart;
  uint8_t *const outEnd = outStart + target.size();
  Decoded result;

  while (inEnd - in >= 2) {
    unsigned header = *in++;
    size_t count = header & 0x7F;
    size_t room = static_cast<size_t>(outEnd - out);
    if (header & 0x80) {
      size_t available = static_cast<size_t>(inEnd - in);
      if (count > available) count = available, result.damaged = true;
      if (count > room) count = room, result.damaged = true;
      if (count > 0) std::memcpy(out, in, count);
      in += count;
      out += count;
    } else {
      uint8_t value = *in++;
      if (count > room) count = room, result.damaged = true;
      if (count > 0) std::memset(out, value, count);
      out += count;
    }
    if (result.damaged) break;
  }
  result.written = static_cast<size_t>(out - outStart);
  return result;
}

size_t CompressRle(Bytes source, std::span<uint8_t> target) {
  assert(target.size() >= CompressRleBound(source.size()));
  const uint8_t *in = source.data();
  const size_t length = source.size();
  uint8_t *const outStart = target.data();
  uint8_t *out = outStart;
  size_t pos = 0;

  while (pos < length) {
    const uint8_t b = in[pos];
    size_t run = 1;
    while (pos + run < length && in[pos + run] == b && run < 127) ++run;
    if (run >= 3) {
      *out++ = static_cast<uint8_t>(run);
      *out++ = b;
      pos += run;
      continue;
    }
    // A literal: it takes bytes until three equal ones lie ahead, or a final
    // pair, or a single final byte (which then go as their own packets).
    uint8_t *header = out++;
    for (size_t k = 0; k < run; ++k) *out++ = b;
    pos += run;
    size_t count = run;
    while (count < 127) {
      size_t rest = length - pos;
      bool nextTwoDiffer = rest > 1 && in[pos] != in[pos + 1];
      bool laterTwoDiffer = rest > 2 && in[pos + 1] != in[pos + 2];
      if (!nextTwoDiffer && !laterTwoDiffer) break;
      *out++ = in[pos++];
      ++count;
    }
    *header = static_cast<uint8_t>(count + 128);
  }
  return static_cast<size_t>(out - outStart);
}

namespace {

Decoded DecodeStored(Bytes source, std::span<uint8_t> target) {
  Decoded result;
  result.written = std::min(source.size(), target.size());
  result.damaged = source.size() > target.size();
  if (result.written > 0) std::memcpy(target.data(), source.data(), result.written);
  return result;
}

Decoded DecodeLz77(Bytes source, std::span<uint8_t> target) {
  Lz77Result lz = Lz77Decode(source, target);
  return {lz.produced, lz.damaged};
}

// The LZ77 stage leaves run-length packets in the target; they are moved to a
// block of their own so that the run-length stage can write over them.
Decoded DecodeLz77Rle(Bytes source, std::span<uint8_t> target) {
  Decoded packed = DecodeLz77(source, target);
  OwnedGlobal copy(AllocZeroed(packed.written));
  GlobalLockGuard lock(copy.get());
  if (lock.data() == nullptr) return {0, true};
  if (packed.written > 0) std::memcpy(lock.data(), target.data(), packed.written);
  Decoded result = DecompressRle(Bytes(lock.data(), packed.written), target);
  result.damaged = result.damaged || packed.damaged;
  return result;
}

}  // namespace

Decoded DecodePicture(Bytes source, std::span<uint8_t> target, unsigned method) {
  switch (method) {
    case kPackStored:
      return DecodeStored(source, target);
    case kPackRle:
      return DecompressRle(source, target);
    case kPackLz77:
      return DecodeLz77(source, target);
    case kPackLz77Rle:
      return DecodeLz77Rle(source, target);
    default:
      return {0, true};
  }
}

}  // namespace marlet
