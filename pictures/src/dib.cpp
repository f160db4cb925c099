// Bitmaps to PNG: palette images of the DIB's own bit depth, whose rows
// libpng takes straight from the DIB; RGB for the rest (png.cpp swaps BGR).
#include "dib.h"

#include <algorithm>

#include "png_encoder.h"

namespace quillon::pictures {

std::optional<DibView> ViewDib(ByteSpan dib, std::string *why) {
  auto fail = [&](const char *reason) {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  };
  Cursor c(dib);
  uint32_t headerSize = c.U32();
  auto width = static_cast<int32_t>(c.U32());
  auto height = static_cast<int32_t>(c.U32());
  c.U16();  // planes: SHGImportEx always writes 1
  uint16_t bits = c.U16();
  uint32_t compression = c.U32();
  c.Skip(12);
  uint32_t used = c.U32();
  c.Skip(4);
  if (!c.ok() || headerSize != 40 || compression != 0) return fail("no BI_RGB DIB header");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return fail("bit count not 1, 4, 8, 16, 24 or 32");
  if (width <= 0 || height <= 0) return fail("empty bitmap");
  if (uint32_t(width) > kLargestBitmapSide || uint32_t(height) > kLargestBitmapSide ||
      uint64_t(width) * uint64_t(height) > kLargestBitmapPixels)
    return fail("bitmap too large");
  uint64_t entries = used;
  if (bits <= 8 && used == 0) entries = uint64_t{1} << bits;
  DibView view;
  view.width = width;
  view.height = height;
  view.bits = bits;
  view.stride = static_cast<size_t>(DibStride(bits, uint32_t(width)));
  view.colours = c.Span(entries * 4);
  view.rows = c.Span(uint64_t{view.stride} * uint32_t(height));
  if (!c.ok()) return fail("DIB shorter than its colours and rows");
  view.bytes = c.position();
  return view;
}

namespace {

// 5 bits of a colour to the nearest of 8 bits.
constexpr uint8_t Scale5(unsigned v) { return static_cast<uint8_t>((v * 255 + 15) / 31); }

void Rgb16Row(const uint8_t *row, int width, uint8_t *out) {
  for (int x = 0; x < width; ++x) {
    unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
    out[3 * x] = Scale5((v >> 10) & 31);
    out[3 * x + 1] = Scale5((v >> 5) & 31);
    out[3 * x + 2] = Scale5(v & 31);
  }
}

// The DIB's rows are bottom-up; PNG's top-down.
const uint8_t *DibRow(const void *context, int y, uint8_t *scratch) {
  const auto &dib = *static_cast<const DibView *>(context);
  const uint8_t *row = dib.rows.data() + size_t(dib.height - 1 - y) * dib.stride;
  if (dib.bits != 16) return row;
  Rgb16Row(row, dib.width, scratch);
  return scratch;
}

}  // namespace

std::vector<uint8_t> DibToPng(const DibView &dib, std::string *why) {
  // A palette of the full 2^bits entries when the DIB's table is shorter, so
  // that every index a row holds names a colour (black for those it lacks).
  PngRgb palette[256] = {};
  PngImage image;
  image.width = dib.width;
  image.height = dib.height;
  image.row = DibRow;
  image.context = &dib;
  if (dib.bits <= 8) {
    size_t entries = std::min<size_t>(dib.colours.size() / 4, size_t{1} << dib.bits);
    for (size_t i = 0; i < entries; ++i)
      palette[i] = {dib.colours[4 * i + 2], dib.colours[4 * i + 1], dib.colours[4 * i]};
    image.layout = PngImage::Layout::Palette;
    image.depth = static_cast<int>(dib.bits);
    image.palette = palette;
    image.paletteSize = entries < (size_t{1} << dib.bits) ? 1 << dib.bits : static_cast<int>(entries);
  } else if (dib.bits == 16) {
    image.layout = PngImage::Layout::Rgb;
    image.scratchBytes = size_t(dib.width) * 3;
  } else {
    image.layout = dib.bits == 24 ? PngImage::Layout::Bgr : PngImage::Layout::Bgrx;
  }
  std::vector<uint8_t> out;
  // About a third of the raw pixels is a fair first guess for pictures like
  // screen shots.
  out.reserve(64 + dib.rows.size() / 3);
  if (!EncodePng(image, out, why)) return {};
  return out;
}

}  // namespace quillon::pictures
