// The packed DIB of a bitmap picture, as SHGImportEx lays it out:
//   0   40  BITMAPINFOHEADER (biSize 40, BI_RGB)
//   40  4 * n  colour table, blue, green, red, 0; n is biClrUsed, or 2^bits
//              for up to 8 bits when biClrUsed is 0
//   ...     rows, bottom-up, each padded to a multiple of 4 bytes
// 16 bits per pixel are 5 bits each of red, green, blue (X1R5G5B5); 32 bits
// are blue, green, red and an unused byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cursor.h"

namespace quillon::pictures {

// Largest bitmap the layer decodes and writes: each way, and in pixels.
// Help files' pictures were made for screens of up to 1280 x 1024.
inline constexpr uint32_t kLargestBitmapSide = 16384;
inline constexpr uint64_t kLargestBitmapPixels = uint64_t{1} << 24;

struct DibView {
  int width = 0, height = 0;
  unsigned bits = 0;
  ByteSpan colours;  // 4 bytes per entry
  ByteSpan rows;     // height rows of stride bytes, the bottom row first
  size_t stride = 0;
  size_t bytes = 0;  // header, colours and rows
};

inline uint64_t DibStride(uint64_t bits, uint64_t width) { return (bits * width + 31) / 32 * 4; }

// The DIB's parts, checked against each other and against the bytes there.
std::optional<DibView> ViewDib(ByteSpan dib, std::string *why);

// PNG bytes of the DIB; empty (and a reason) on failure.
std::vector<uint8_t> DibToPng(const DibView &dib, std::string *why);

}  // namespace quillon::pictures
