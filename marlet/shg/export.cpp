// SHGExport: a packed DIB and an optional ShgHotspotList become an SHG file
// (format.h) of one bitmap picture, packed with run-length coding.
//
// The file written:
//   0       2   "lp"
//   2       2   1 picture
//   4       4   8, the picture's offset
//   8       1   6 bitmap;  9  1  1 run-length
//   10      2   Xdpi 0;  12  2  Ydpi 0 (ShgULong)
//   14      1   Planes 1;  15  1  BitCount (ShgUShort)
//   16      ..  Width, Height, ColorsUsed, ColorsImportant, CompressedSize,
//               HotspotSize: ShgULong, 2 bytes each up to 0x7FFF, else 4
//   P       4   data offset, P + colours * 4, from the picture's start
//   P + 4   4   hotspot offset, data offset + CompressedSize
//   P + 8   ..  colour table, run-length data, hotspot data
// P is 28 when all six values take the short form, up to 40.
//
// Taken from the DIB: the colour table behind biSize bytes of header,
// biClrUsed colours (when 0, 2^BitCount below 16 bits, none from 16 on), and
// Height rows of DibRowBytes each, packed as one stream.
//
// Hotspot data, from the list's entries in order: per entry a record with
// the invisible kind code (popup when bit 0 of the kind is set, else macro
// when bit 1 is, else jump), the rectangle as left, top, right - left,
// bottom - top, and the offset of its macro-area string; the macro area has
// one string per entry, a macro's target or else the empty string; then per
// entry its name and its target.
//
// Damage, decided here: the DIB must be a bottom-up BI_RGB DIB with a header
// of at least 40 bytes, a bit count of 1, 4, 8, 16, 24 or 32, and its colour
// table and rows inside its block; otherwise the result is null, as when
// memory runs out.  Of the list, the leading entries whose record lies in
// the block, whose strings are terminated inside it and whose hotspot data
// stay within 61440 bytes (the hotspot data room of the help tools) are
// written; the first other entry ends the list.  A negative count writes no
// hotspots.
#include <marlet/marlet.h>

#include <cstring>
#include <string_view>

#include "shg/codec.h"
#include "shg/format.h"
#include "shg/global_block.h"

namespace marlet {
namespace {

constexpr size_t kHotspotDataRoom = 61440;
constexpr size_t kLongestHeader = 48;  // P + 8 with every value in its long form

struct Dib {
  BITMAPINFOHEADER info{};
  uint32_t colours = 0;
  Bytes colourTable;
  Bytes pixels;
};

bool ReadDib(const uint8_t *block, size_t size, Dib &dib) {
  if (block == nullptr || size < sizeof(BITMAPINFOHEADER)) return false;
  std::memcpy(&dib.info, block, sizeof dib.info);
  const BITMAPINFOHEADER &info = dib.info;
  if (info.biSize < sizeof(BITMAPINFOHEADER) || info.biSize > size) return false;
  if (info.biWidth < 0 || info.biHeight < 0 || info.biCompression != BI_RGB || !IsDibBitCount(info.biBitCount))
    return false;
  dib.colours = info.biClrUsed != 0 ? info.biClrUsed : (info.biBitCount < 16 ? 1u << info.biBitCount : 0);
  uint64_t tableBytes = uint64_t{dib.colours} * 4;
  uint64_t pixelBytes = DibRowBytes(info.biBitCount, static_cast<uint64_t>(info.biWidth)) *
                        static_cast<uint64_t>(info.biHeight);
  if (tableBytes + pixelBytes > size - info.biSize) return false;
  dib.colourTable = Bytes(block + info.biSize, tableBytes);
  dib.pixels = Bytes(block + info.biSize + tableBytes, pixelBytes);
  return true;
}

// ---- Hotspot data -----------------------------------------------------------

struct Entry {
  ShgHotspotEntry fields{};
  std::string_view target;
  std::string_view name;
};

bool CStringAt(const uint8_t *list, size_t size, uint32_t offset, std::string_view &out) {
  if (offset >= size) return false;
  const void *zero = std::memchr(list + offset, 0, size - offset);
  if (zero == nullptr) return false;
  out = std::string_view(reinterpret_cast<const char *>(list + offset),
                         static_cast<const uint8_t *>(zero) - (list + offset));
  return true;
}

class ListReader {
 public:
  ListReader(const uint8_t *list, size_t size) : list_(list), size_(size) {
    if (list != nullptr && size >= sizeof(ShgHotspotListHeader)) {
      ShgHotspotListHeader header;
      std::memcpy(&header, list, sizeof header);
      count_ = header.count > 0 ? static_cast<size_t>(header.count) : 0;
    }
  }
  size_t count() const { return count_; }

  bool Read(size_t i, Entry &out) const {
    size_t at = SHG_HOTSPOT_ENTRIES_OFFSET + sizeof(ShgHotspotEntry) * i;
    if (at + sizeof(ShgHotspotEntry) > size_) return false;
    std::memcpy(&out.fields, list_ + at, sizeof out.fields);
    return CStringAt(list_, size_, out.fields.targetOffset, out.target) &&
           CStringAt(list_, size_, out.fields.nameOffset, out.name);
  }

 private:
  const uint8_t *list_;
  size_t size_;
  size_t count_ = 0;
};

bool IsPopup(const ShgHotspotEntry &e) { return (e.kind & 1) != 0; }
bool IsMacro(const ShgHotspotEntry &e) { return !IsPopup(e) && (e.kind & 2) != 0; }

// A macro's text goes into the macro area, everyone else's the empty string.
std::string_view MacroAreaText(const Entry &e) { return IsMacro(e.fields) ? e.target : std::string_view(); }

struct HotspotPlan {
  size_t entries = 0;  // how many are written
  size_t macroBytes = 0;
  size_t size = 0;  // bytes of hotspot data
};

HotspotPlan PlanHotspots(const ListReader &list) {
  HotspotPlan plan;
  size_t pairBytes = 0;
  Entry e;
  for (size_t i = 0; i < list.count() && list.Read(i, e); ++i) {
    size_t macro = plan.macroBytes + MacroAreaText(e).size() + 1;
    size_t pairs = pairBytes + e.name.size() + 1 + e.target.size() + 1;
    size_t size = kHotspotDataHeaderSize + kHotspotRecordSize * (i + 1) + macro + pairs;
    if (size > kHotspotDataRoom) break;
    plan.entries = i + 1;
    plan.macroBytes = macro;
    pairBytes = pairs;
    plan.size = size;
  }
  if (plan.entries == 0) plan.size = kHotspotDataHeaderSize;
  return plan;
}

void Put16(uint8_t *at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
void Put32(uint8_t *at, uint32_t value) {
  Put16(at, value);
  Put16(at + 2, value >> 16);
}

uint8_t *PutText(uint8_t *at, std::string_view text) {
  if (!text.empty()) std::memcpy(at, text.data(), text.size());
  at[text.size()] = 0;
  return at + text.size() + 1;
}

void WriteHotspots(const ListReader &list, const HotspotPlan &plan, uint8_t *out) {
  out[0] = 1;
  Put16(out + 1, static_cast<uint32_t>(plan.entries));
  Put32(out + 3, static_cast<uint32_t>(plan.macroBytes));
  uint8_t *macro = out + kHotspotDataHeaderSize + kHotspotRecordSize * plan.entries;
  uint8_t *const macroStart = macro;
  uint8_t *pairs = macroStart + plan.macroBytes;
  Entry e;
  for (size_t i = 0; i < plan.entries; ++i) {
    list.Read(i, e);
    const ShgHotspotEntry &f = e.fields;
    uint8_t *record = out + kHotspotDataHeaderSize + kHotspotRecordSize * i;
    Put16(record + kRecordCode, IsPopup(f) ? kCodePopup : IsMacro(f) ? kCodeMacro : kCodeJump);
    record[kRecordCode + 2] = 0;
    Put16(record + kRecordLeft, static_cast<uint16_t>(f.left));
    Put16(record + kRecordTop, static_cast<uint16_t>(f.top));
    Put16(record + kRecordWidth, static_cast<uint16_t>(f.right - f.left));
    Put16(record + kRecordHeight, static_cast<uint16_t>(f.bottom - f.top));
    Put32(record + kRecordMacroOffset, static_cast<uint32_t>(macro - macroStart));
    macro = PutText(macro, MacroAreaText(e));
    pairs = PutText(pairs, e.name);
    pairs = PutText(pairs, e.target);
  }
}

// ---- The file ---------------------------------------------------------------

HGLOBAL Export(HGLOBAL dibBlock, HGLOBAL hotspotsBlock) {
  GlobalLockGuard dibLock(dibBlock);
  Dib dib;
  if (!ReadDib(dibLock.data(), dibLock.size(), dib)) return nullptr;
  GlobalLockGuard listLock(hotspotsBlock);
  ListReader list(listLock.data(), listLock.size());
  bool withHotspots = listLock.data() != nullptr;
  HotspotPlan plan = withHotspots ? PlanHotspots(list) : HotspotPlan{};

  // The run-length data go behind the longest header first and move down
  // once the header's length is known.
  const size_t tableBytes = dib.colourTable.size();
  const size_t packedAt = kLongestHeader + tableBytes;
  OwnedGlobal result(AllocZeroed(uint64_t{packedAt} + CompressRleBound(dib.pixels.size()) + plan.size));
  GlobalLockGuard lock(result.get());
  uint8_t *file = lock.data();
  if (file == nullptr) return nullptr;
  size_t packed = CompressRle(dib.pixels, std::span<uint8_t>(file + packedAt, lock.size() - packedAt));

  const BITMAPINFOHEADER &info = dib.info;
  const uint32_t values[] = {static_cast<uint32_t>(info.biWidth), static_cast<uint32_t>(info.biHeight),
                             dib.colours, info.biClrImportant, static_cast<uint32_t>(packed),
                             static_cast<uint32_t>(plan.size)};
  size_t p = 16;
  for (uint32_t v : values) p += ShgULongSize(v);
  const size_t tableAt = p + 8;
  std::memmove(file + tableAt + tableBytes, file + packedAt, packed);

  file[0] = 'l';
  file[1] = 'p';
  Put16(file + 2, 1);
  Put32(file + 4, 8);
  file[8] = kPictureBitmap;
  file[9] = kPackRle;
  size_t at = 10;
  at += WriteShgULong(file + at, 0);
  at += WriteShgULong(file + at, 0);
  at += WriteShgUShort(file + at, 1);
  at += WriteShgUShort(file + at, info.biBitCount);
  for (uint32_t v : values) at += WriteShgULong(file + at, v);
  const uint32_t dataOffset = static_cast<uint32_t>(tableAt + tableBytes - 8);
  Put32(file + p, dataOffset);
  Put32(file + p + 4, dataOffset + static_cast<uint32_t>(packed));
  if (tableBytes > 0) std::memcpy(file + tableAt, dib.colourTable.data(), tableBytes);
  const size_t hotspotsAt = tableAt + tableBytes + packed;
  if (plan.size > 0) WriteHotspots(list, plan, file + hotspotsAt);
  const size_t length = hotspotsAt + plan.size;

  lock.Unlock();
  if (GlobalReAlloc(result.get(), length, 0) == nullptr) return nullptr;
  return result.release();
}

}  // namespace
}  // namespace marlet

extern "C" {

// reserved stands where SHGImport takes its owner window; it is not looked at.
MARLET_EXPORT HGLOBAL MARLET_API SHGExport(MarletUserData reserved, HGLOBAL dib, HGLOBAL hotspots) {
  (void)reserved;
  return marlet::Export(dib, hotspots);
}

}  // extern "C"
