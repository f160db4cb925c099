#include "topic/lz77.h"

#include <cstring>

#include "container/frame.h"

namespace marlet {

namespace {

// Copies a back-reference of length bytes from distance bytes back; the two
// may overlap, then each byte copies one just written.
inline void CopyBack(uint8_t *out, size_t distance, size_t length) {
  const uint8_t *from = out - distance;
  if (distance >= length) {
    std::memcpy(out, from, length);
  } else if (distance == 1) {
    std::memset(out, *from, length);
  } else {
    for (size_t k = 0; k < length; ++k) out[k] = from[k];
  }
}

// With room behind the output, a back-reference from 8 or more bytes back is
// copied in whole 8-byte steps (each step reads only bytes already written);
// the bytes past its length are overwritten by what follows, or lie past the
// end of what was produced.
inline void CopyBackWide(uint8_t *out, size_t distance, size_t length) {
  if (distance < 8) return CopyBack(out, distance, length);
  const uint8_t *from = out - distance;
  for (size_t k = 0; k < length; k += 8) std::memcpy(out + k, from + k, 8);
}

// A group takes at most 17 input bytes and writes at most 8 * 18 bytes, and a
// wide copy up to 6 more.
constexpr ptrdiff_t kGroupInput = 17;
constexpr ptrdiff_t kGroupOutput = 8 * 18 + 8;

}  // namespace

Lz77Result Lz77Decode(Bytes input, std::span<uint8_t> output) {
  const uint8_t *in = input.data();
  const uint8_t *const inEnd = in + input.size();
  uint8_t *const outStart = output.data();
  uint8_t *out = outStart;
  uint8_t *const outEnd = outStart + output.size();
  Lz77Result result;
  auto stop = [&](bool damaged) {
    result.produced = static_cast<size_t>(out - outStart);
    result.damaged = damaged;
    return result;
  };

  // While a whole group fits in what remains of both, no item needs a bound
  // check of its own.
  while (inEnd - in >= kGroupInput && outEnd - out >= kGroupOutput) {
    unsigned flags = *in++;
    if (flags == 0) {  // eight literals
      std::memcpy(out, in, 8);
      in += 8;
      out += 8;
      continue;
    }
    for (int item = 0; item < 8; ++item, flags >>= 1) {
      if ((flags & 1) == 0) {
        *out++ = *in++;
        continue;
      }
      unsigned b0 = in[0], b1 = in[1];
      in += 2;
      size_t length = (b1 >> 4) + 3;
      size_t distance = ((b1 & 0x0Fu) << 8 | b0) + 1;
      if (distance > static_cast<size_t>(out - outStart)) return stop(true);
      CopyBackWide(out, distance, length);
      out += length;
    }
  }

  // The rest, item by item.
  while (in < inEnd) {
    unsigned flags = *in++;
    for (int item = 0; item < 8 && in < inEnd; ++item, flags >>= 1) {
      if ((flags & 1) == 0) {
        if (out == outEnd) return stop(true);
        *out++ = *in++;
        continue;
      }
      if (inEnd - in < 2) return stop(false);  // cut inside a back-reference
      unsigned b0 = in[0], b1 = in[1];
      in += 2;
      size_t length = (b1 >> 4) + 3;
      size_t distance = ((b1 & 0x0Fu) << 8 | b0) + 1;
      if (distance > static_cast<size_t>(out - outStart)) return stop(true);
      bool fits = length <= static_cast<size_t>(outEnd - out);
      if (!fits) length = static_cast<size_t>(outEnd - out);
      CopyBack(out, distance, length);
      out += length;
      if (!fits) return stop(true);
    }
  }
  return stop(false);
}

uint32_t DecompressLz77(IfsFileHandle file, uint32_t length, std::span<uint8_t> output) {
  RtPtr<uint8_t> input(static_cast<uint8_t *>(RtMalloc(static_cast<size_t>(length) + 200)));
  if (!input) return 0;
  if (IFSReadFile(file, input.get(), length) != static_cast<int32_t>(length)) return 0;
  return static_cast<uint32_t>(Lz77Decode(Bytes(input.get(), length), output).produced);
}

}  // namespace marlet
