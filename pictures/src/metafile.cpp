// Checks a metafile record by record and writes it anew for libwmf.
//
// Placeable header, 22 bytes (all numbers little-endian):
//   0   4  key 0x9AC6CDD7
//   4   2  handle (0)
//   6   8  frame: left, top, right, bottom (signed, metafile units)
//   14  2  metafile units per inch
//   16  4  reserved
//   20  2  checksum: XOR of the ten words before
// Metafile header, 18 bytes, behind it:
//   0   2  type (1 memory, 2 disk)     2  2  header size in words (9)
//   4   2  version                     6  4  size of the metafile in words
//   10  2  object slots                12 4  largest record in words
//   16  2  (0)
// Records: a 32-bit size in words (at least 3: these 6 bytes count), a 16-bit
// function, then 16-bit parameters in the reverse order of the GDI call's
// arguments.  Function 0 ends the metafile.
//
// libwmf 0.2 trusts what it reads: the header's object count and largest
// record, counts inside records, bitmap headers.  So the bytes it gets are
// written here, never passed through:
// - Only records of the table below are kept, each with the parameters it
//   must have, counts checked against its size.  Records that change the
//   mapping mode or the viewport, palettes, regions, flood fills, escapes and
//   the old device-dependent bitmap records are left out; a help file's
//   pictures hardly use them, and libwmf's handling of them is where it was
//   found unsafe in the past.
// - Objects: a record that creates an object the layer does not keep becomes
//   a null brush, so that the slots of the objects behind it stay the same.
//   Objects are never deleted for libwmf: each one gets a slot of its own and
//   SelectObject is renumbered, so that no record can reach an object that
//   was deleted (or never made).
// - Bitmaps: BI_RGB DIBs only (libwmf's run-length decoding overran its
//   buffers), colours and rows within the record, the source rectangle within
//   the bitmap, at most kLargestRaster pixels in all.
// - Work: at most kLargestRecordCount records; a budget of pixels for the
//   records that fill areas (each may fill the whole picture) and for lines
//   (as long as the picture is wide and high, times the pen); SaveDC depth
//   and clipping records are bounded, as libwmf copies its clip lists.
//   Coordinates are brought within one window's extent around the window,
//   sizes within three extents: gd fills a shape pixel by pixel over its
//   whole extent, picture or not, so that a single polygon of a few points
//   far out (a window of 1 x 1 and points at 32000) ran for minutes.  Pens
//   and fonts are bounded by the window in the same way.
// - A metafile cut short is played as far as its records are whole.
// When the window is set before the first drawing record, the metafile is
// played in MM_ANISOTROPIC with that window on the whole picture, as the help
// viewer played it; otherwise libwmf's own reading of it stands.
#include "metafile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quillon::pictures::wmf {
namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr size_t kPlaceableSize = 22;
constexpr size_t kHeaderSize = 18;
constexpr size_t kPlaceableLeft = 6;
constexpr size_t kPlaceableInch = 14;
constexpr size_t kPlaceableChecksum = 20;

constexpr uint32_t kLargestRecordCount = 200000;
constexpr uint64_t kLargestRaster = uint64_t{1} << 25;  // pixels of all bitmaps together
constexpr uint64_t kLargestBitmap = uint64_t{1} << 24;
constexpr uint64_t kLargestPattern = uint64_t{1} << 16;
// Pixels the records may touch in all: each area record counts the picture's
// pixels, each line its length across the picture times the pen's width.
constexpr uint64_t kWorkBudget = uint64_t{1} << 31;
constexpr int kDeepestSave = 64;
constexpr int kMostClipRecords = 64;
constexpr uint32_t kMostObjects = 65535;  // the header's slot count is 16 bits

constexpr uint16_t kMmAnisotropic = 8;

// Record functions.
enum : uint16_t {
  kEof = 0x0000,
  kSaveDc = 0x001E,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetRop2 = 0x0104,
  kSetPolyFillMode = 0x0106,
  kSetStretchBltMode = 0x0107,
  kSetTextCharExtra = 0x0108,
  kRestoreDc = 0x0127,
  kSelectObject = 0x012D,
  kSetTextAlign = 0x012E,
  kDibCreatePatternBrush = 0x0142,
  kDeleteObject = 0x01F0,
  kCreatePatternBrush = 0x01F9,
  kSetBkColor = 0x0201,
  kSetTextColor = 0x0209,
  kSetTextJustification = 0x020A,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kOffsetWindowOrg = 0x020F,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kCreatePalette = 0x00F7,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kCreateBitmapIndirect = 0x02FD,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416,
  kEllipse = 0x0418,
  kRectangle = 0x041B,
  kSetPixel = 0x041F,
  kTextOut = 0x0521,
  kPolyPolygon = 0x0538,
  kRoundRect = 0x061C,
  kPatBlt = 0x061D,
  kCreateBitmap = 0x06FE,
  kCreateRegion = 0x06FF,
  kArc = 0x0817,
  kPie = 0x081A,
  kChord = 0x0830,
  kDibBitBlt = 0x0940,
  kExtTextOut = 0x0A32,
  kDibStretchBlt = 0x0B41,
  kStretchDib = 0x0F43,
};

enum class Rule {
  Keep,      // fixed parameters, copied
  Draw,      // fixed parameters, draws
  Fill,      // fixed parameters, may fill an area
  Special,   // checked by its own code below
  NullBrush  // creates an object that is not kept
};

struct RecordRule {
  uint16_t function;
  uint16_t words;  // parameters needed (and written) for the fixed rules
  Rule rule;
  // What each parameter word is, for the fixed rules: x or y a coordinate,
  // w or h a size, '-' anything else.
  const char *layout = "";
};

// Records not in this table are left out.
constexpr RecordRule kRules[] = {
    {kSaveDc, 0, Rule::Special},
    {kSetBkMode, 1, Rule::Keep},
    {kSetMapMode, 1, Rule::Special},
    {kSetRop2, 1, Rule::Keep},
    {kSetPolyFillMode, 1, Rule::Keep},
    {kSetStretchBltMode, 1, Rule::Keep},
    {kSetTextCharExtra, 1, Rule::Keep},
    {kRestoreDc, 1, Rule::Special},
    {kSelectObject, 1, Rule::Special},
    {kSetTextAlign, 1, Rule::Keep},
    {kDibCreatePatternBrush, 2, Rule::Special},
    {kDeleteObject, 1, Rule::Special},
    {kCreatePatternBrush, 0, Rule::NullBrush},
    {kSetBkColor, 2, Rule::Keep},
    {kSetTextColor, 2, Rule::Keep},
    {kSetTextJustification, 2, Rule::Keep},
    {kSetWindowOrg, 2, Rule::Special},
    {kSetWindowExt, 2, Rule::Special},
    {kOffsetWindowOrg, 2, Rule::Special},
    {kLineTo, 2, Rule::Draw, "yx"},
    {kMoveTo, 2, Rule::Keep, "yx"},
    {kCreatePalette, 0, Rule::NullBrush},
    {kCreatePenIndirect, 5, Rule::Special},
    {kCreateFontIndirect, 9, Rule::Special},
    {kCreateBrushIndirect, 4, Rule::Special},
    {kCreateBitmapIndirect, 0, Rule::NullBrush},
    {kPolygon, 1, Rule::Special},
    {kPolyline, 1, Rule::Special},
    {kExcludeClipRect, 4, Rule::Special},
    {kIntersectClipRect, 4, Rule::Special},
    {kEllipse, 4, Rule::Fill, "yxyx"},
    {kRectangle, 4, Rule::Fill, "yxyx"},
    {kSetPixel, 4, Rule::Draw, "--yx"},
    {kTextOut, 1, Rule::Special},
    {kPolyPolygon, 1, Rule::Special},
    {kRoundRect, 6, Rule::Fill, "hwyxyx"},
    {kPatBlt, 6, Rule::Fill, "--hwyx"},
    {kCreateBitmap, 0, Rule::NullBrush},
    {kCreateRegion, 0, Rule::NullBrush},
    {kArc, 8, Rule::Draw, "yxyxyxyx"},
    {kPie, 8, Rule::Fill, "yxyxyxyx"},
    {kChord, 8, Rule::Fill, "yxyxyxyx"},
    {kDibBitBlt, 8, Rule::Special},
    {kExtTextOut, 4, Rule::Special},
    {kDibStretchBlt, 10, Rule::Special},
    {kStretchDib, 11, Rule::Special},
};

const RecordRule *FindRule(uint16_t function) {
  for (const RecordRule &r : kRules)
    if (r.function == function) return &r;
  return nullptr;
}

void Put16(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t> &out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Set16(std::vector<uint8_t> &out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Set32(std::vector<uint8_t> &out, size_t at, uint32_t v) {
  Set16(out, at, v & 0xFFFF);
  Set16(out, at + 2, v >> 16);
}

uint64_t DibRowBytes(uint64_t bits, uint64_t width) { return (bits * width + 31) / 32 * 4; }

// A DIB in a record: BITMAPINFOHEADER (40 bytes), colour table, rows.
struct Dib {
  int width = 0, height = 0;
  size_t bytes = 0;  // header, colours and rows
};

std::optional<Dib> ReadDib(ByteSpan data) {
  Cursor c(data);
  uint32_t headerSize = c.U32();
  auto width = static_cast<int32_t>(c.U32());
  auto height = static_cast<int32_t>(c.U32());
  uint16_t planes = c.U16();
  uint16_t bits = c.U16();
  uint32_t compression = c.U32();
  c.Skip(12);  // image size, resolutions
  uint32_t used = c.U32();
  c.Skip(4);
  if (!c.ok() || headerSize != 40 || planes != 1 || compression != 0) return std::nullopt;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return std::nullopt;
  // Top-down DIBs (negative heights) are left out with the rest that the
  // help compiler never wrote.
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return std::nullopt;
  if (uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) > kLargestBitmap)
    return std::nullopt;
  uint64_t colours = used;
  if (bits <= 8) {
    if (used > (1u << bits)) return std::nullopt;
    if (used == 0) colours = 1u << bits;
  }
  uint64_t total =
      40 + colours * 4 + DibRowBytes(bits, static_cast<uint32_t>(width)) * static_cast<uint32_t>(height);
  if (total > data.size()) return std::nullopt;
  return Dib{width, height, static_cast<size_t>(total)};
}

// True when a raster operation reads the source bitmap.
bool RopUsesSource(uint32_t rop) { return (((rop >> 2) ^ rop) & 0x00330000u) != 0; }

class Rebuilder {
 public:
  Rebuilder(int width, int height, std::string *why)
      : width_(width), height_(height), pixels_(uint64_t(width) * uint64_t(height)), why_(why) {}

  std::optional<Playable> Run(ByteSpan placeable);

 private:
  struct Record {
    uint16_t function = 0;
    ByteSpan params;  // whole 16-bit words
    int16_t S(size_t i) const { return LoadS16(params.data() + 2 * i); }
    uint16_t U(size_t i) const { return LoadU16(params.data() + 2 * i); }
    size_t words() const { return params.size() / 2; }
  };

  bool Fail(const char *reason) {
    if (why_ != nullptr) *why_ = reason;
    return false;
  }
  // The records of the metafile, up to its end record or its first record
  // that is not whole.
  template <typename Visit>
  void ForEachRecord(ByteSpan records, Visit visit);
  bool WindowBeforeDrawing(ByteSpan records);
  bool Take(const Record &r);
  void Write(uint16_t function, ByteSpan params);
  void WriteWords(uint16_t function, std::initializer_list<int> words);
  void Created(bool kept, int pen = -1);
  void Filled() { work_ += pixels_; }
  void Lines(uint64_t segments);
  void Drawing();
  bool TakeSpecial(const Record &r);
  bool TakeDibRecord(const Record &r, size_t fixed, const char *layout, int srcX, int srcY, int srcW,
                     int srcH);
  bool TakeText(const Record &r);
  bool CountRaster(const Dib &dib);
  // The record's parameters with its coordinates and sizes brought within
  // reach of the window (see the top of the file); `layout` as in kRules,
  // from parameter word `from` on.
  std::vector<uint8_t> Fitted(ByteSpan params, const char *layout, size_t from = 0) const;
  void FitPoints(std::vector<uint8_t> &params, size_t from, size_t points) const;
  int16_t Fit(int16_t value, char what) const;

  int width_, height_;
  uint64_t pixels_;
  std::string *why_;
  Playable out_;
  std::vector<uint8_t> body_;
  bool forced_ = false;
  bool drawn_ = false;
  Window window_{0, 0, 1, 1};
  bool extentSet_ = false;
  int pen_ = 0;            // the selected pen's width, logical units (0: one pixel, as the default pen)
  std::vector<int> pens_;  // of each libwmf slot: a pen's width, or -1
  struct Saved {
    Window window;
    int pen;
  };
  std::vector<Saved> saved_;  // SaveDC keeps the window and pen, RestoreDC brings them back
  // The file's object slots: 0 when free, else the libwmf slot + 1.
  std::vector<uint32_t> slots_;
  uint32_t objects_ = 0;
  int saveDepth_ = 0;
  int clipRecords_ = 0;
  uint64_t work_ = 0;
  uint64_t raster_ = 0;
  uint32_t largestRecord_ = 3;
};

template <typename Visit>
void Rebuilder::ForEachRecord(ByteSpan records, Visit visit) {
  Cursor c(records);
  while (c.remaining() >= 6) {
    uint32_t size = c.U32();
    uint16_t function = c.U16();
    if (function == kEof || size < 3 || uint64_t{size} * 2 - 6 > c.remaining()) return;
    Record r{function, c.Span(uint64_t{size} * 2 - 6)};
    if (!visit(r)) return;
  }
}

bool IsDrawing(uint16_t function) {
  const RecordRule *rule = FindRule(function);
  if (rule == nullptr) return false;
  if (rule->rule == Rule::Draw || rule->rule == Rule::Fill) return true;
  switch (function) {
    case kPolygon:
    case kPolyline:
    case kPolyPolygon:
    case kTextOut:
    case kExtTextOut:
    case kDibBitBlt:
    case kDibStretchBlt:
    case kStretchDib:
      return true;
    default:
      return false;
  }
}

// Whether a window extent is set before anything is drawn: then the window is
// what the picture shows.
bool Rebuilder::WindowBeforeDrawing(ByteSpan records) {
  bool found = false;
  ForEachRecord(records, [&](const Record &r) {
    if (IsDrawing(r.function)) return false;
    if (r.function == kSetWindowExt && r.words() >= 2 && r.S(0) != 0 && r.S(1) != 0) found = true;
    return true;
  });
  return found;
}

void Rebuilder::Write(uint16_t function, ByteSpan params) {
  auto words = static_cast<uint32_t>(3 + params.size() / 2);
  largestRecord_ = std::max(largestRecord_, words);
  Put32(body_, words);
  Put16(body_, function);
  body_.insert(body_.end(), params.begin(),
               params.begin() + static_cast<std::ptrdiff_t>(params.size() / 2 * 2));
  ++out_.records;
}

void Rebuilder::WriteWords(uint16_t function, std::initializer_list<int> words) {
  std::vector<uint8_t> params;
  for (int w : words) Put16(params, static_cast<uint32_t>(w) & 0xFFFF);
  Write(function, params);
}

// An object made for libwmf: the file's lowest free slot now names it.
void Rebuilder::Created(bool kept, int pen) {
  if (!kept) WriteWords(kCreateBrushIndirect, {1, 0, 0, 0});  // BS_NULL
  auto free = std::find(slots_.begin(), slots_.end(), 0u);
  if (free == slots_.end()) free = slots_.insert(slots_.end(), 0u);
  *free = ++objects_;
  pens_.push_back(kept ? pen : -1);
}

void Rebuilder::Lines(uint64_t segments) {
  double pixels = std::max(1, pen_);
  if (forced_ && extentSet_)
    pixels = std::max(1.0, pen_ * std::max(double(width_) / std::abs(window_.width),
                                           double(height_) / std::abs(window_.height)));
  work_ +=
      static_cast<uint64_t>(double(segments) * (width_ + height_) * std::min(pixels, double(kLargestSide)));
}

void Rebuilder::Drawing() {
  if (drawn_) return;
  drawn_ = true;
  if (forced_) out_.window = window_;
}

bool Rebuilder::CountRaster(const Dib &dib) {
  raster_ += uint64_t(dib.width) * uint64_t(dib.height);
  out_.raster = true;
  return raster_ <= kLargestRaster;
}

int16_t Rebuilder::Fit(int16_t value, char what) const {
  if (!forced_ || !extentSet_) return value;  // libwmf's box is then what the records draw
  bool horizontal = what == 'x' || what == 'w';
  int origin = horizontal ? window_.x : window_.y;
  int extent = horizontal ? window_.width : window_.height;
  int low = std::min(origin, origin + extent), high = std::max(origin, origin + extent);
  int span = high - low;
  if (what == 'w' || what == 'h') return static_cast<int16_t>(std::clamp<int>(value, -3 * span, 3 * span));
  return static_cast<int16_t>(
      std::clamp<int>(value, std::max(-32768, low - span), std::min(32767, high + span)));
}

std::vector<uint8_t> Rebuilder::Fitted(ByteSpan params, const char *layout, size_t from) const {
  std::vector<uint8_t> out(params.begin(), params.end());
  for (size_t i = 0; layout[i] != 0 && 2 * (from + i) + 1 < out.size(); ++i)
    if (layout[i] != '-')
      Set16(out, 2 * (from + i), static_cast<uint16_t>(Fit(LoadS16(&out[2 * (from + i)]), layout[i])));
  return out;
}

void Rebuilder::FitPoints(std::vector<uint8_t> &params, size_t from, size_t points) const {
  for (size_t i = 0; i < points; ++i) {
    size_t at = 2 * (from + 2 * i);
    Set16(params, at, static_cast<uint16_t>(Fit(LoadS16(&params[at]), 'x')));
    Set16(params, at + 2, static_cast<uint16_t>(Fit(LoadS16(&params[at + 2]), 'y')));
  }
}

// DIBBITBLT, DIBSTRETCHBLT and STRETCHDIB: `fixed` parameter words, then a
// DIB (or none, for the forms that only paint the target).
bool Rebuilder::TakeDibRecord(const Record &r, size_t fixed, const char *layout, int srcX, int srcY, int srcW,
                              int srcH) {
  ByteSpan rest = r.params.subspan(fixed * 2);
  std::optional<Dib> dib = ReadDib(rest);
  if (!dib) return false;
  if (srcX < 0 || srcY < 0 || srcW <= 0 || srcH <= 0 || srcX + srcW > dib->width || srcY + srcH > dib->height)
    return false;
  if (!CountRaster(*dib)) return false;
  Write(r.function, Fitted(r.params.first(fixed * 2 + dib->bytes), layout));
  return true;
}

bool Rebuilder::TakeText(const Record &r) {
  size_t n = r.words();
  if (r.function == kTextOut) {
    size_t count = r.U(0);
    size_t stringWords = (count + 1) / 2;
    if (count == 0 || n < 1 + stringWords + 2) return false;
    out_.texts.emplace_back(reinterpret_cast<const char *>(r.params.data() + 2), count);
    Write(r.function, Fitted(r.params.first((1 + stringWords + 2) * 2), "yx", 1 + stringWords));
    return true;
  }
  // ExtTextOut: y, x, count, options, [rectangle], string, [a width per character].
  size_t count = r.U(2);
  uint16_t options = r.U(3);
  size_t rect = (options & 0x0006) != 0 ? 4 : 0;  // ETO_OPAQUE, ETO_CLIPPED
  size_t stringWords = (count + 1) / 2;
  size_t need = 4 + rect + stringWords;
  if (n < need) return false;
  size_t at = (4 + rect) * 2;
  out_.texts.emplace_back(reinterpret_cast<const char *>(r.params.data() + at), count);
  // The widths are taken whole or not at all: libwmf reads them when the
  // record is long enough for them.
  if (n >= need + count) need += count;
  Write(r.function, Fitted(r.params.first(need * 2), rect != 0 ? "yx--xyxy" : "yx"));
  return true;
}

bool Rebuilder::TakeSpecial(const Record &r) {
  size_t n = r.words();
  switch (r.function) {
    case kSetMapMode:
      if (forced_ || r.U(0) < 1 || r.U(0) > 8) return false;
      Write(r.function, r.params.first(2));
      return true;
    case kSaveDc:
      if (saveDepth_ == kDeepestSave) return false;
      ++saveDepth_;
      saved_.push_back({window_, pen_});
      Write(r.function, {});
      return true;
    case kRestoreDc: {
      // Relative (-n) or absolute (n, the n-th saved state); written relative,
      // and only to a state that was saved.
      int want = r.S(0);
      int back = want < 0 ? -want : saveDepth_ - want + 1;
      if (want == 0 || back < 1 || back > saveDepth_) return false;
      saveDepth_ -= back;
      window_ = saved_[static_cast<size_t>(saveDepth_)].window;
      pen_ = saved_[static_cast<size_t>(saveDepth_)].pen;
      saved_.resize(static_cast<size_t>(saveDepth_));
      WriteWords(kRestoreDc, {-back});
      return true;
    }
    case kSelectObject: {
      uint16_t slot = r.U(0);
      if (slot >= slots_.size() || slots_[slot] == 0) return false;
      if (pens_[slots_[slot] - 1] >= 0) pen_ = pens_[slots_[slot] - 1];
      WriteWords(kSelectObject, {static_cast<int>(slots_[slot] - 1)});
      return true;
    }
    case kDeleteObject: {
      uint16_t slot = r.U(0);
      if (slot < slots_.size()) slots_[slot] = 0;
      return false;  // never passed on: see the top of the file
    }
    case kSetWindowOrg:
      window_.y = r.S(0), window_.x = r.S(1);
      Write(r.function, r.params.first(4));
      return true;
    case kSetWindowExt:
      if (r.S(0) == 0 || r.S(1) == 0) return false;
      window_.height = r.S(0), window_.width = r.S(1);
      extentSet_ = true;
      Write(r.function, r.params.first(4));
      return true;
    case kOffsetWindowOrg:
      window_.y += r.S(0), window_.x += r.S(1);
      Write(r.function, r.params.first(4));
      return true;
    case kExcludeClipRect:
    case kIntersectClipRect:
      if (++clipRecords_ > kMostClipRecords) return false;
      Write(r.function, Fitted(r.params.first(8), "yxyx"));
      return true;
    case kCreatePenIndirect: {
      // style, width (x, y), colour.  A pen wider than the picture draws
      // nothing more, only slower.
      int width = std::abs(int{r.S(1)});
      int widest = extentSet_ ? std::max(std::abs(window_.width), std::abs(window_.height)) : kLargestSide;
      width = std::min(width, widest);
      WriteWords(kCreatePenIndirect, {r.U(0), width, 0, r.U(3), r.U(4)});
      Created(true, r.U(0) == 5 ? 0 : width);  // PS_NULL draws nothing
      return true;
    }
    case kCreateBrushIndirect: {
      // style (BS_SOLID, BS_NULL, BS_HATCHED), colour, hatch (0..5).
      uint16_t style = r.U(0);
      if (style > 2) {
        Created(false);
        return true;
      }
      WriteWords(kCreateBrushIndirect, {style, r.U(1), r.U(2), r.U(3) <= 5 ? r.U(3) : 0});
      Created(true);
      return true;
    }
    case kCreateFontIndirect: {
      // 18 bytes of LOGFONT, then the face name, written here as 32 bytes
      // with its terminator whatever the record held.
      std::vector<uint8_t> font(r.params.begin(), r.params.begin() + 18);
      int height = r.S(0), width = r.S(1);
      if (extentSet_) {
        int tallest = std::min(32767, 4 * std::abs(window_.height));
        height = std::clamp(height, -tallest, tallest);
      }
      // Glyphs far wider than tall crashed libwmf's text drawing (a width of
      // 8600 at a height of 120, found by fuzzing); real fonts are narrower
      // than tall, a width with the default height (0) means nothing.
      int widest = 2 * std::abs(height);
      width = std::clamp(width, -widest, widest);
      Set16(font, 0, static_cast<uint32_t>(height) & 0xFFFF);
      Set16(font, 2, static_cast<uint32_t>(width) & 0xFFFF);
      ByteSpan face = r.params.subspan(18);
      size_t length = 0;
      while (length < face.size() && length < 31 && face[length] != 0) ++length;
      // libwmf's SVG device writes the name into an attribute as it is.
      for (size_t i = 0; i < length; ++i) {
        uint8_t ch = face[i];
        bool plain =
            ch >= 0x20 && ch < 0x7F && ch != '"' && ch != '&' && ch != '\'' && ch != '<' && ch != '>';
        font.push_back(plain ? ch : '_');
      }
      font.resize(18 + 32, 0);
      Write(kCreateFontIndirect, font);
      Created(true);
      return true;
    }
    case kDibCreatePatternBrush: {
      // style, colour use, then a DIB for BS_DIBPATTERN (5) and
      // BS_DIBPATTERNPT (6) with RGB colours.
      std::optional<Dib> dib = ReadDib(r.params.subspan(4));
      bool kept = (r.U(0) == 5 || r.U(0) == 6) && r.U(1) == 0 && dib &&
                  uint64_t(dib->width) * uint64_t(dib->height) <= kLargestPattern && CountRaster(*dib);
      if (kept) Write(r.function, r.params.first(4 + dib->bytes));
      Created(kept);
      return true;
    }
    case kPolygon:
    case kPolyline: {
      size_t points = r.U(0);
      if (points < 2 || n < 1 + 2 * points) return false;
      Drawing();
      if (r.function == kPolygon) Filled();
      Lines(points);
      std::vector<uint8_t> params(r.params.begin(),
                                  r.params.begin() + static_cast<std::ptrdiff_t>((1 + 2 * points) * 2));
      FitPoints(params, 1, points);
      Write(r.function, params);
      return true;
    }
    case kPolyPolygon: {
      size_t polygons = r.U(0);
      if (polygons == 0 || n < 1 + polygons) return false;
      size_t points = 0;
      for (size_t i = 0; i < polygons; ++i) {
        if (r.U(1 + i) < 2) return false;
        points += r.U(1 + i);
      }
      if (n < 1 + polygons + 2 * points) return false;
      Drawing();
      Filled();
      Lines(points);
      std::vector<uint8_t> params(
          r.params.begin(), r.params.begin() + static_cast<std::ptrdiff_t>((1 + polygons + 2 * points) * 2));
      FitPoints(params, 1 + polygons, points);
      Write(r.function, params);
      return true;
    }
    case kTextOut:
    case kExtTextOut:
      if (!TakeText(r)) return false;
      Drawing();
      Filled();  // an opaque background, or glyphs as tall as the picture
      return true;
    case kDibBitBlt:
    case kDibStretchBlt:
    case kStretchDib: {
      // The forms without a bitmap (exactly 9 or 11 words) only paint the
      // target; those that would read a source are left out.
      bool bare = (r.function == kDibBitBlt && n == 9) || (r.function == kDibStretchBlt && n == 11);
      if (bare) {
        uint32_t rop = r.U(0) | (uint32_t{r.U(1)} << 16);
        if (RopUsesSource(rop)) return false;
        Write(r.function, Fitted(r.params, r.function == kDibBitBlt ? "-----hwyx" : "-------hwyx"));
      } else if (r.function == kDibBitBlt) {
        // rop, ySrc, xSrc, height, width, yDest, xDest, DIB
        if (!TakeDibRecord(r, 8, "------yx", r.S(3), r.S(2), r.S(5), r.S(4))) return false;
      } else if (r.function == kDibStretchBlt) {
        // rop, srcHeight, srcWidth, ySrc, xSrc, destHeight, destWidth, yDest, xDest, DIB
        if (r.S(6) <= 0 || r.S(7) <= 0) return false;
        if (!TakeDibRecord(r, 10, "------hwyx", r.S(5), r.S(4), r.S(3), r.S(2))) return false;
      } else {
        // rop, colour use, srcHeight, srcWidth, ySrc, xSrc, destHeight, destWidth, yDest, xDest, DIB
        if (r.U(2) != 0 || r.S(7) <= 0 || r.S(8) <= 0) return false;
        if (!TakeDibRecord(r, 11, "-------hwyx", r.S(6), r.S(5), r.S(4), r.S(3))) return false;
      }
      Drawing();
      Filled();
      return true;
    }
    default:
      return false;
  }
}

bool Rebuilder::Take(const Record &r) {
  const RecordRule *rule = FindRule(r.function);
  if (rule == nullptr) return true;  // left out
  if (rule->rule == Rule::NullBrush) {
    Created(false);
    return true;
  }
  if (r.words() < rule->words) {
    // A creation record cut short still takes its slot.
    if (r.function == kCreatePenIndirect || r.function == kCreateBrushIndirect ||
        r.function == kCreateFontIndirect || r.function == kDibCreatePatternBrush)
      Created(false);
    return true;
  }
  switch (rule->rule) {
    case Rule::Keep:
      Write(r.function, Fitted(r.params.first(size_t{rule->words} * 2), rule->layout));
      break;
    case Rule::Draw:
    case Rule::Fill:
      Drawing();
      if (rule->rule == Rule::Fill) Filled();
      // An outline: a line as long as the picture (a shape may reach one
      // window's extent beyond it on each side: three times).
      if (r.function != kSetPixel) Lines(r.function == kLineTo ? 1 : 6);
      Write(r.function, Fitted(r.params.first(size_t{rule->words} * 2), rule->layout));
      break;
    default:
      TakeSpecial(r);
      break;
  }
  return true;
}

std::optional<Playable> Rebuilder::Run(ByteSpan placeable) {
  std::optional<Frame> frame = ReadFrame(placeable);
  if (!frame) return Fail("no placeable metafile header"), std::nullopt;
  out_.frame = *frame;
  if (placeable.size() < kPlaceableSize + kHeaderSize) return Fail("no metafile header"), std::nullopt;
  Cursor header(placeable.subspan(kPlaceableSize));
  uint16_t type = header.U16();
  uint16_t headerWords = header.U16();
  if (!header.ok() || (type != 1 && type != 2) || headerWords != 9)
    return Fail("no metafile header"), std::nullopt;
  ByteSpan records = placeable.subspan(kPlaceableSize + kHeaderSize);

  forced_ = WindowBeforeDrawing(records);
  bool tooMany = false;
  ForEachRecord(records, [&](const Record &r) {
    if (out_.records >= kLargestRecordCount || objects_ >= kMostObjects || raster_ > kLargestRaster) {
      tooMany = true;
      return false;
    }
    return Take(r);
  });
  if (tooMany) return Fail("metafile too large to draw"), std::nullopt;
  if (forced_ && !drawn_) out_.window = window_;
  if (work_ > kWorkBudget) return Fail("metafile too costly to draw"), std::nullopt;

  std::vector<uint8_t> &bytes = out_.bytes;
  bytes.assign(placeable.begin(), placeable.begin() + kPlaceableSize);
  uint16_t checksum = 0;
  for (size_t at = 0; at < kPlaceableChecksum; at += 2) checksum ^= LoadU16(bytes.data() + at);
  Set16(bytes, kPlaceableChecksum, checksum);
  size_t headerAt = bytes.size();
  Put16(bytes, 1);
  Put16(bytes, 9);
  Put16(bytes, 0x0300);
  Put32(bytes, 0);  // size, below
  Put16(bytes, objects_);
  Put32(bytes, largestRecord_);
  Put16(bytes, 0);
  if (forced_) {
    Put32(bytes, 4);
    Put16(bytes, kSetMapMode);
    Put16(bytes, kMmAnisotropic);
  }
  bytes.insert(bytes.end(), body_.begin(), body_.end());
  Put32(bytes, 3);
  Put16(bytes, kEof);
  Set32(bytes, headerAt + 6, static_cast<uint32_t>((bytes.size() - headerAt) / 2));
  return std::move(out_);
}

}  // namespace

std::optional<Frame> ReadFrame(ByteSpan placeable) {
  Cursor c(placeable);
  if (c.U32() != kPlaceableKey) return std::nullopt;
  c.Skip(kPlaceableLeft - 4);
  Frame f;
  f.left = c.S16();
  f.top = c.S16();
  f.right = c.S16();
  f.bottom = c.S16();
  f.inch = c.U16();
  if (!c.ok() || f.inch == 0 || f.right <= f.left || f.bottom <= f.top) return std::nullopt;
  static_assert(kPlaceableInch == 14);
  return f;
}

int FramePixels(int units, int inch) {
  long long pixels = (static_cast<long long>(units) * 96 + inch / 2) / inch;
  return static_cast<int>(std::clamp<long long>(pixels, 1, kLargestSide));
}

std::optional<Playable> MakePlayable(ByteSpan placeable, int width, int height, std::string *why) {
  Rebuilder rebuilder(width, height, why);
  return rebuilder.Run(placeable);
}

}  // namespace quillon::pictures::wmf
