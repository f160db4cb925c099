// Windows metafiles as the pictures layer hands them to libwmf: checked
// record by record and written anew, so that libwmf only ever sees records
// whose parameters lie within them and that it is known to play safely.
// The layout and the rules are in metafile.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cursor.h"

namespace quillon::pictures::wmf {

// The placeable header's frame: metafile units, `inch` of them to the inch.
struct Frame {
  int left = 0, top = 0, right = 0, bottom = 0;
  int inch = 0;
};

// A window in logical units (SetWindowOrg, SetWindowExt); the extents may be
// negative (a flipped axis) but never zero.
struct Window {
  int x = 0, y = 0, width = 0, height = 0;
};

struct Playable {
  Frame frame;
  // The window set before the first drawing record.  With it the metafile is
  // played as the help viewer played it: MM_ANISOTROPIC, the window on the
  // whole picture, and hotspot rectangles are in the window's units.
  std::optional<Window> window;
  bool raster = false;             // draws bitmaps (or fills with bitmap brushes)
  std::vector<std::string> texts;  // the strings of the text records, in order, as stored
  uint32_t records = 0;            // records kept
  std::vector<uint8_t> bytes;      // placeable header and metafile for libwmf
};

// Largest output image drawn from a metafile, each way.  The placeable header
// SHGImportEx writes cannot ask for more than 6553 / 254 inches (2477 pixels).
inline constexpr int kLargestSide = 4096;

// The metafile (22-byte placeable header, then the metafile) made ready for
// libwmf, for an output image of width x height pixels; nullopt and a reason
// when it cannot be played safely.
std::optional<Playable> MakePlayable(ByteSpan placeable, int width, int height, std::string *why);

// The output image's size for a placeable header: the frame at 96 pixels to
// the inch (the screens help files were made for), at least 1 pixel; nullopt
// for a header that is no placeable header or an empty frame.
std::optional<Frame> ReadFrame(ByteSpan placeable);
int FramePixels(int units, int inch);

}  // namespace quillon::pictures::wmf
