// Picture layer: the input as an SHG image through Decode, Png and Svg.
#include <quillon/pictures.h>

#include <cstring>
#include <span>
#include <string>

#include "harness.h"

namespace quillon_fuzz {

namespace {

// Bitmaps beyond this many pixels are decoded but not written: a PNG of 2^24
// pixels takes a second under the sanitizers, and its code is the same.
constexpr long long kLargestWritten = 1 << 20;

uint32_t Big32(const uint8_t *at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

}  // namespace

int RunPictures(const uint8_t *data, size_t size) {
  using namespace quillon::pictures;
  std::string why;
  std::optional<Picture> picture = Decode(std::span<const uint8_t>(data, size), &why);
  if (!picture) {
    Check(!why.empty(), "Decode failed without a reason");
    return 0;
  }
  Check(picture->width > 0 && picture->height > 0 && picture->count >= 1, "a picture of no size");
  for (const Hotspot &h : picture->hotspots)
    Check(0 <= h.left && h.left <= h.right && h.right <= picture->width && 0 <= h.top && h.top <= h.bottom &&
              h.bottom <= picture->height,
          "a hotspot off the picture");
  if (picture->kind == Kind::Bitmap && (long long)picture->width * picture->height > kLargestWritten)
    return 0;

  std::vector<uint8_t> png = Png(*picture, &why);
  if (png.empty()) {
    Check(!why.empty(), "Png failed without a reason");
  } else {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Check(png.size() > 33 && std::memcmp(png.data(), kSignature, 8) == 0 &&
              std::memcmp(&png[12], "IHDR", 4) == 0,
          "Png wrote no PNG file");
    Check(Big32(&png[16]) == uint32_t(picture->width) && Big32(&png[20]) == uint32_t(picture->height),
          "a PNG of another size than the picture");
  }
  std::string svg = Svg(*picture, &why);
  if (!svg.empty()) {
    Check(picture->kind == Kind::Metafile, "an SVG of a bitmap");
    Check(svg.rfind("<?xml", 0) == 0 &&
              svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\"") != std::string::npos,
          "an SVG without the svg namespace");
  }
  return 0;
}

}  // namespace quillon_fuzz
