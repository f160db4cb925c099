// quillon::pictures: the pictures of a help file as files a browser shows.
//
// A help file keeps each picture as an SHG image in an internal file (|bm0,
// |bm1 ... ; bm0 ... in Windows 3.0 files).  Decode turns one into a Picture
// through marlet's SHGImportEx; Png and Svg write it out.  Hotspot rectangles
// are given in the pixels of the image Png and Svg write, so that a writer can
// put them into an image map or over the image as they are.
//
// Nothing here keeps state between calls; damaged input gives nullopt or an
// empty result with a short reason in *why, never a crash.  The vectors and
// strings throw std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon::pictures {

enum class Kind { Bitmap, Metafile };
enum class HotspotKind { Jump, Popup, Macro };

struct Hotspot {
  // In the output image's pixels, left/top inclusive, right/bottom exclusive,
  // within 0..width and 0..height (a hotspot the file puts outside the
  // picture comes out empty).
  int left = 0, top = 0, right = 0, bottom = 0;
  HotspotKind kind = HotspotKind::Jump;
  std::string target;  // context string of a jump or popup, text of a macro: bytes as stored
  std::string name;    // the hotspot's name as stored, often empty
};

struct Picture {
  Kind kind = Kind::Bitmap;
  int width = 0, height = 0;  // pixels of the output image
  int count = 0;              // pictures (resolutions) the SHG image holds; the largest is the one decoded
  std::vector<Hotspot> hotspots;
  std::vector<uint8_t>
      dib;  // bitmaps: the packed DIB (header, colours, bottom-up rows) as SHGImportEx made it
  std::vector<uint8_t> metafile;  // metafiles: the 22-byte placeable header, then the metafile
};

// An SHG image ("lp" or "lP") from a help file's picture internal file.  Of
// several pictures in one image (resolutions of the same picture) the one of
// most pixels.  A picture whose data are cut short keeps what the import
// made (missing rows are zero bytes), and its hotspots as far as they are
// whole.  nullopt, with a short reason, when no picture can be had.
std::optional<Picture> Decode(std::span<const uint8_t> image, std::string *why = nullptr);

// PNG bytes of a picture: a bitmap as a palette image (up to 8 bits per
// pixel) or an RGB image; a metafile drawn by libwmf.  Empty on failure.
std::vector<uint8_t> Png(const Picture &picture, std::string *why = nullptr);

// A stand-alone SVG document (svg namespace, width, height and viewBox in the
// pixels of Png) of a metafile drawn by libwmf.  Empty for bitmaps, and for
// metafiles that an SVG would not show faithfully (those that hold bitmaps or
// whose text cannot be carried over): the caller then uses Png.
std::string Svg(const Picture &picture, std::string *why = nullptr);

}  // namespace quillon::pictures
