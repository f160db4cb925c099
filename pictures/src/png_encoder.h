// PNG encoding with libpng, for bitmaps (dib.cpp) and for what libwmf drew
// (render.cpp).  Named so that <png.h> stays libpng's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::pictures {

struct PngRgb {
  uint8_t red, green, blue;
};

struct PngImage {
  enum class Layout {
    Palette,  // indices of `depth` bits (1, 2, 4 or 8), packed as PNG packs them
    Bgr,      // 3 bytes a pixel, blue first
    Bgrx,     // 4 bytes a pixel, blue first, the fourth ignored
    Rgb,      // 3 bytes a pixel
    Rgba      // 4 bytes a pixel
  };
  int width = 0, height = 0;
  Layout layout = Layout::Rgb;
  int depth = 8;
  const PngRgb *palette = nullptr;
  int paletteSize = 0;
  // Row y of the picture from the top, in the layout above; a row may be
  // made into `scratch`, which has room for one row of the output.
  const uint8_t *(*row)(const void *context, int y, uint8_t *scratch) = nullptr;
  const void *context = nullptr;
  size_t scratchBytes = 0;
};

// Appends the PNG file to out.  False, with libpng's reason, on failure.
bool EncodePng(const PngImage &image, std::vector<uint8_t> &out, std::string *why);

}  // namespace quillon::pictures
