#include "topic/lz77.h"

#include <cstring>

#include "container/frame.h"

namespace marlet {

Lz77Result Lz77Decode(Bytes input, std::span<uint8_t> output) {
  const uint8_t *in = input.data();
  const uint8_t *const inEnd = in + input.size();
  uint8_t *const outStart = output.data();
  uint8_t *out = outStart;
  uint8_t *const outEnd = outStart + output.size();
  Lz77Result result;

  while (in < inEnd) {
    unsigned flags = *in++;
    for (int item = 0; item < 8 && in < inEnd; ++item, flags >>= 1) {
      if ((flags & 1) == 0) {
        if (out == outEnd) return result.produced = out - outStart, result.damaged = true, result;
        *out++ = *in++;
        continue;
      }
      if (inEnd - in < 2) {  // cut inside a back-reference
        in = inEnd;
        break;
      }
      unsigned b0 = in[0], b1 = in[1];
      in += 2;
      size_t length = (b1 >> 4) + 3;
      size_t distance = ((b1 & 0x0Fu) << 8 | b0) + 1;
      if (distance > static_cast<size_t>(out - outStart))
        return result.produced = out - outStart, result.damaged = true, result;
      bool fits = length <= static_cast<size_t>(outEnd - out);
      if (!fits) length = static_cast<size_t>(outEnd - out);
      const uint8_t *from = out - distance;
      if (distance >= length) {
        std::memcpy(out, from, length);
        out += length;
      } else {
        for (size_t k = 0; k < length; ++k) *out++ = from[k];
      }
      if (!fits) return result.produced = out - outStart, result.damaged = true, result;
    }
  }
  result.produced = static_cast<size_t>(out - outStart);
  return result;
}

uint32_t DecompressLz77(IfsFileHandle file, uint32_t length, std::span<uint8_t> output) {
  RtPtr<uint8_t> input(static_cast<uint8_t *>(RtMalloc(static_cast<size_t>(length) + 200)));
  if (!input) return 0;
  if (IFSReadFile(file, input.get(), length) != static_cast<int32_t>(length)) return 0;
  return static_cast<uint32_t>(Lz77Decode(Bytes(input.get(), length), output).produced);
}

}  // namespace marlet
