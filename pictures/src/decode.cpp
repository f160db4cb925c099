// Decode: an SHG image through marlet's SHGImportEx into a Picture.
//
// The SHG image, as far as it is read here (the pictures themselves are
// marlet's):
//   0  2      magic "lp" or "lP"
//   2  2      picture count n
//   4  4 * n  offset of each picture from the start of the image
// Each picture begins with its type byte (6 bitmap, 8 metafile) and packing
// method, then its header, of which only the size is read here:
//   bitmap:   ShgULong Xdpi, ShgULong Ydpi, ShgUShort planes, ShgUShort bit
//             count, ShgULong width, ShgULong height (pixels), ...
//   metafile: a byte of mapping mode, 16-bit width and height (0.01 mm), ...
// ShgUShort: a byte b0; even: b0 / 2, else two bytes, (b0 + 256 b1) / 2.
// ShgULong: a word w0; even: w0 / 2, else two words, (w0 + 65536 w1) / 2.
//
// Several pictures in one image are the same picture for several displays
// (the help viewer shows the one that suits the screen).  SHGImportEx reads
// the first: another one is read from an image made of a one-picture header
// and that picture's bytes.  The picture of most pixels is the one decoded,
// its size read from its header before anything is allocated; should it not
// import, the next largest is tried, kMostTries pictures in all.  Pictures
// beyond kLargestBitmapPixels are never imported: the import allocates twice
// their rows before it decodes.
#include <marlet/marlet.h>
#include <quillon/pictures.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "cursor.h"
#include "dib.h"
#include "metafile.h"

namespace quillon::pictures {
namespace {

constexpr uint16_t kMagicLp = 0x706C;  // "lp"
constexpr uint16_t kMagicLP = 0x506C;  // "lP"
constexpr size_t kOffsetsAt = 4;
constexpr uint8_t kTypeBitmap = 6;
constexpr uint8_t kTypeMetafile = 8;
constexpr uint8_t kLastBitmapMethod = 3;  // LZ77 then run-length
constexpr uint8_t kLastMetafileMethod = 2;
constexpr int kMostTries = 4;

// SHGImportEx's placeable header: width / 10 and height / 10 in units of
// 0.1 mm, 254 to the inch.
constexpr int kMetafileInch = 254;

uint16_t ShgUShort(Cursor &c) {
  uint8_t b0 = c.U8();
  if ((b0 & 1) == 0) return b0 >> 1;
  return static_cast<uint16_t>((b0 | (c.U8() << 8)) >> 1);
}
uint32_t ShgULong(Cursor &c) {
  uint32_t w0 = c.U16();
  if ((w0 & 1) == 0) return w0 >> 1;
  return (w0 | (uint32_t{c.U16()} << 16)) >> 1;
}

struct Candidate {
  uint32_t offset = 0;
  uint32_t index = 0;   // in the header's list
  uint64_t pixels = 0;  // of the output image
};

// The output size a picture's header asks for; nullopt for a header that is
// cut, of an unknown type or method, empty or too large.
std::optional<uint64_t> PicturePixels(ByteSpan image, uint32_t offset) {
  if (offset >= image.size()) return std::nullopt;
  Cursor c(image.subspan(offset));
  uint8_t type = c.U8();
  uint8_t method = c.U8();
  uint64_t width = 0, height = 0;
  if (type == kTypeBitmap && method <= kLastBitmapMethod) {
    ShgULong(c), ShgULong(c), ShgUShort(c), ShgUShort(c);
    width = ShgULong(c);
    height = ShgULong(c);
    if (width > kLargestBitmapSide || height > kLargestBitmapSide || width * height > kLargestBitmapPixels)
      return std::nullopt;
  } else if (type == kTypeMetafile && method <= kLastMetafileMethod) {
    c.U8();
    width = wmf::FramePixels(c.U16() / 10, kMetafileInch);
    height = wmf::FramePixels(c.U16() / 10, kMetafileInch);
  } else {
    return std::nullopt;
  }
  if (!c.ok() || width == 0 || height == 0) return std::nullopt;
  return width * height;
}

// marlet's message boxes (an unknown hotspot kind, memory) would reach
// standard error: they are silenced while any Decode imports.  The handler
// is the process's, so it is put in place by the first import that begins
// and put back by the last that ends.
class QuietImports {
 public:
  QuietImports() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (depth_++ == 0) previous_ = QuillonSetMessageBoxHandler(Quiet);
  }
  ~QuietImports() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--depth_ == 0) QuillonSetMessageBoxHandler(previous_);
  }
  QuietImports(const QuietImports &) = delete;
  QuietImports &operator=(const QuietImports &) = delete;

 private:
  static int Quiet(HWND, const char *, const char *, unsigned) { return IDOK; }
  static inline std::mutex mutex_;
  static inline int depth_ = 0;
  static inline QuillonMessageBoxHandler previous_ = nullptr;
};

struct Imported {
  HGLOBAL dib = nullptr;
  HMETAFILE metafile = nullptr;
  PlaceableMetafileHeader header{};
  HGLOBAL hotspots = nullptr;
  Imported() = default;
  Imported(const Imported &) = delete;
  Imported &operator=(const Imported &) = delete;
  ~Imported() {
    if (dib != nullptr) GlobalFree(dib);
    if (hotspots != nullptr) GlobalFree(hotspots);
    if (metafile != nullptr) DeleteMetaFile(metafile);
  }
};

// Bytes of a global block, locked while they are copied.
std::vector<uint8_t> BlockBytes(HGLOBAL block, size_t limit = SIZE_MAX) {
  std::vector<uint8_t> bytes;
  const auto *data = static_cast<const uint8_t *>(GlobalLock(block));
  if (data == nullptr) return bytes;
  bytes.assign(data, data + std::min(GlobalSize(block), limit));
  GlobalUnlock(block);
  return bytes;
}

// The DIB proper (header, colours, rows), without the slack behind its rows
// that the import's decoding room leaves.
std::vector<uint8_t> DibBytes(HGLOBAL dib) {
  std::vector<uint8_t> bytes;
  const auto *data = static_cast<const uint8_t *>(GlobalLock(dib));
  if (data == nullptr) return bytes;
  ByteSpan block(data, GlobalSize(dib));
  std::optional<DibView> view = ViewDib(block, nullptr);
  bytes.assign(data, data + (view ? view->bytes : block.size()));
  GlobalUnlock(dib);
  return bytes;
}

// The hotspot list block (layout in marlet.h): entries at
// SHG_HOTSPOT_ENTRIES_OFFSET, strings named by offsets into the block.
std::string ListString(ByteSpan list, uint32_t offset) {
  if (offset >= list.size()) return {};
  ByteSpan rest = list.subspan(offset);
  const auto *end = static_cast<const uint8_t *>(std::memchr(rest.data(), 0, rest.size()));
  return std::string(reinterpret_cast<const char *>(rest.data()),
                     end != nullptr ? size_t(end - rest.data()) : 0);
}

std::vector<Hotspot> ReadHotspots(HGLOBAL block) {
  std::vector<Hotspot> hotspots;
  std::vector<uint8_t> bytes = BlockBytes(block);
  ByteSpan list(bytes);
  Cursor header(list);
  if (header.U16() != SHG_HOTSPOT_LIST_MAGIC) return hotspots;
  int count = header.S16();
  for (int i = 0; i < count; ++i) {
    uint64_t at = SHG_HOTSPOT_ENTRIES_OFFSET + uint64_t(i) * sizeof(ShgHotspotEntry);
    if (at + sizeof(ShgHotspotEntry) > list.size()) break;
    ShgHotspotEntry entry;
    std::memcpy(&entry, list.data() + at, sizeof entry);
    Hotspot h;
    h.left = entry.left, h.top = entry.top, h.right = entry.right, h.bottom = entry.bottom;
    h.kind = entry.kind == SHG_HOTSPOT_POPUP   ? HotspotKind::Popup
             : entry.kind == SHG_HOTSPOT_MACRO ? HotspotKind::Macro
                                               : HotspotKind::Jump;
    h.target = ListString(list, entry.targetOffset);
    h.name = ListString(list, entry.nameOffset);
    hotspots.push_back(std::move(h));
  }
  return hotspots;
}

int Clamp(long long v, int high) { return static_cast<int>(std::clamp<long long>(v, 0, high)); }

// From the units the hotspots are stored in to the output image's pixels:
// picture pixels for bitmaps, the window's logical units for metafiles.
void PlaceHotspots(Picture &picture, const std::optional<wmf::Window> &window) {
  for (Hotspot &h : picture.hotspots) {
    long long left = h.left, top = h.top, right = h.right, bottom = h.bottom;
    if (window) {
      auto x = [&](long long v) {
        return ((v - window->x) * picture.width * 2 + window->width) / (2 * window->width);
      };
      auto y = [&](long long v) {
        return ((v - window->y) * picture.height * 2 + window->height) / (2 * window->height);
      };
      left = x(left), right = x(right), top = y(top), bottom = y(bottom);
    }
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    h.left = Clamp(left, picture.width), h.right = Clamp(right, picture.width);
    h.top = Clamp(top, picture.height), h.bottom = Clamp(bottom, picture.height);
  }
}

// One picture: the import, and its results as a Picture.
std::optional<Picture> ImportOne(ByteSpan image, std::string *why) {
  Imported got;
  {
    QuietImports quiet;
    SHGImportEx(nullptr, image.data(), static_cast<uint32_t>(image.size()), &got.dib, &got.metafile,
                &got.header, &got.hotspots);
  }
  Picture picture;
  std::optional<wmf::Window> window;
  if (got.dib != nullptr) {
    picture.kind = Kind::Bitmap;
    picture.dib = DibBytes(got.dib);
    std::optional<DibView> view = ViewDib(picture.dib, why);
    if (!view) return std::nullopt;
    picture.width = view->width;
    picture.height = view->height;
  } else if (got.metafile != nullptr) {
    picture.kind = Kind::Metafile;
    UINT size = GetMetaFileBitsEx(got.metafile, 0, nullptr);
    picture.metafile.resize(sizeof got.header + size);
    std::memcpy(picture.metafile.data(), &got.header, sizeof got.header);
    if (size == 0 ||
        GetMetaFileBitsEx(got.metafile, size, picture.metafile.data() + sizeof got.header) != size) {
      if (why != nullptr) *why = "empty metafile";
      return std::nullopt;
    }
    std::optional<wmf::Frame> frame = wmf::ReadFrame(picture.metafile);
    if (!frame) {
      if (why != nullptr) *why = "metafile of no size";
      return std::nullopt;
    }
    picture.width = wmf::FramePixels(frame->right - frame->left, frame->inch);
    picture.height = wmf::FramePixels(frame->bottom - frame->top, frame->inch);
    // The window the hotspots are measured in; a metafile that cannot be
    // played keeps them as stored (Png and Svg tell why).
    std::optional<wmf::Playable> playable =
        wmf::MakePlayable(picture.metafile, picture.width, picture.height, nullptr);
    if (playable) window = playable->window;
  } else {
    if (why != nullptr) *why = "picture cannot be imported";
    return std::nullopt;
  }
  if (got.hotspots != nullptr) picture.hotspots = ReadHotspots(got.hotspots);
  PlaceHotspots(picture, window);
  return picture;
}

}  // namespace

std::optional<Picture> Decode(std::span<const uint8_t> image, std::string *why) {
  auto fail = [&](const char *reason) {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  };
  Cursor header(image);
  uint16_t magic = header.U16();
  uint16_t count = header.U16();
  if (!header.ok() || (magic != kMagicLp && magic != kMagicLP)) return fail("not an SHG image");
  if (image.size() > UINT32_MAX) return fail("image too large");

  // The pictures whose offset is whole within the header, each offset once
  // (sorted to find the repeats: a header may list 65535 of them).
  std::vector<std::pair<uint32_t, uint32_t>> entries;  // offset, index
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t offset = header.U32();
    if (!header.ok()) break;
    entries.emplace_back(offset, i);
  }
  std::sort(entries.begin(), entries.end());
  entries.erase(
      std::unique(entries.begin(), entries.end(), [](auto &a, auto &b) { return a.first == b.first; }),
      entries.end());
  std::sort(entries.begin(), entries.end(), [](auto &a, auto &b) { return a.second < b.second; });
  std::vector<Candidate> candidates;
  for (const auto &[offset, index] : entries)
    if (std::optional<uint64_t> pixels = PicturePixels(image, offset))
      candidates.push_back({offset, index, *pixels});
  if (candidates.empty()) return fail("no picture that can be read");
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate &a, const Candidate &b) { return a.pixels > b.pixels; });

  std::string reason;
  std::vector<uint8_t> single;
  for (size_t i = 0; i < candidates.size() && i < kMostTries; ++i) {
    ByteSpan one = image;  // SHGImportEx reads the first picture of the list
    if (candidates[i].index != 0) {
      // A one-picture image: the header, then the picture's bytes to the end.
      constexpr uint32_t kSingleAt = kOffsetsAt + 4;
      ByteSpan rest = image.subspan(candidates[i].offset);
      single.assign(image.begin(), image.begin() + kOffsetsAt);
      single[2] = 1, single[3] = 0;
      single.insert(single.end(), {kSingleAt & 0xFF, 0, 0, 0});
      single.insert(single.end(), rest.begin(), rest.end());
      one = single;
    }
    if (std::optional<Picture> picture = ImportOne(one, &reason)) {
      picture->count = static_cast<int>(candidates.size());
      return picture;
    }
  }
  if (why != nullptr) *why = reason;
  return std::nullopt;
}

}  // namespace quillon::pictures
