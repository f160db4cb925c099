// SHGImport and SHGImportEx: an SHG file image in memory becomes a DIB or a
// metafile, plus a ShgHotspotList.  The file layout is in format.h.
//
// DIB block (movable, zero-initialised): a BITMAPINFOHEADER, the ColorsUsed *
// 4 colour-table bytes as stored, then room for twice the pixel rows plus 100
// bytes, into which the pixel data are decoded.  biSizeImage is the count
// decoded; both resolutions are Xdpi * 40, as the help compiler's pictures
// expect; biPlanes is 1 whatever the file says.
//
// Placeable metafile header: right = width / 10, bottom = height / 10 (0.1 mm
// units, 254 to the inch); the checksum is the XOR of its first ten words.
//
// ShgHotspotList (public header): entries at 564, then for each hotspot its
// target string and its name string, in hotspot order, behind the entries.
//
// Damage, decided here once (SHGImportEx; SHGImport trusts the image):
// - The result is 1 only when everything asked for was made whole.  Whatever
//   an output received belongs to the caller whatever the result, as with the
//   "Not enough memory" case, where the hotspot list is still made.
// - A header cut by the end of the image, a first picture offset outside it,
//   a bit count other than 1, 4, 8, 16, 24 or 32, or a colour table or
//   picture data that run past the image: the picture is refused, result 0,
//   nothing is made.  Only the magic and the type word have messages.
// - A DIB or metafile work block beyond 2^31 - 1 bytes (Width * Height and the
//   rest overflowing 32 bits) counts as memory that cannot be had.  For the
//   DIB that is the "Not enough memory" case; a missing metafile work block
//   leaves the metafile and its header untouched, result 0, no message.
// - A decoder that fills its target or meets a bad back-reference (codec.h)
//   keeps what it wrote: the DIB or metafile is made, result 0.
// - Hotspot data running past the image are cut at its end.  The list holds
//   the leading hotspots whose record and strings lie whole within the
//   hotspot data (a macro's text within the macro area) and that fit the
//   32768-byte block with their strings; the first hotspot that does not ends
//   the list, and the result is 0.  A list block that cannot be had leaves
//   the output untouched, result 0.
#include <marlet/marlet.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "container/bytes.h"
#include "shg/codec.h"
#include "shg/format.h"
#include "shg/global_block.h"

namespace marlet {
namespace {

constexpr const char *kCaption = "SHG-Import";

void Message(HWND owner, const char *text, UINT style) { MessageBoxA(owner, text, kCaption, style); }

// ---- Headers ----------------------------------------------------------------

struct BitmapHeader {
  uint32_t xdpi = 0;
  uint16_t bitCount = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t colorsUsed = 0;
  uint32_t compressedSize = 0;
  uint32_t hotspotSize = 0;
};

BitmapHeader ReadBitmapHeader(ByteCursor &cursor) {
  BitmapHeader h;
  h.xdpi = ShgULong(cursor);
  ShgULong(cursor);   // Ydpi: the horizontal resolution serves both directions
  ShgUShort(cursor);  // Planes: a DIB has one
  h.bitCount = ShgUShort(cursor);
  h.width = ShgULong(cursor);
  h.height = ShgULong(cursor);
  h.colorsUsed = ShgULong(cursor);
  ShgULong(cursor);  // ColorsImportant
  h.compressedSize = ShgULong(cursor);
  h.hotspotSize = ShgULong(cursor);
  cursor.U32();  // data offset
  cursor.U32();  // hotspot offset
  return h;
}

struct MetafileHeader {
  uint16_t width = 0;  // 0.01 mm
  uint16_t height = 0;
  uint32_t compressedSize = 0;
  uint32_t hotspotSize = 0;
};

MetafileHeader ReadMetafileHeader(ByteCursor &cursor) {
  MetafileHeader h;
  cursor.U8();  // mapping mode, a ShgUShort always in its one-byte form
  h.width = cursor.U16();
  h.height = cursor.U16();
  ShgULong(cursor);  // decompressed size
  h.compressedSize = ShgULong(cursor);
  h.hotspotSize = ShgULong(cursor);
  cursor.U32();  // data offset
  cursor.U32();  // hotspot offset
  return h;
}

// The hotspot data behind the picture data: HotspotSize bytes, cut at the end
// of the image.
struct HotspotBytes {
  Bytes bytes;
  bool cut = false;
};

HotspotBytes TakeHotspotBytes(ByteCursor &cursor, uint32_t size) {
  if (size <= cursor.remaining()) return {cursor.Span(size), false};
  return {cursor.rest(), true};
}

PlaceableMetafileHeader MakePlaceableHeader(uint16_t width, uint16_t height) {
  PlaceableMetafileHeader h{};
  h.key = 0x9AC6CDD7u;
  h.right = static_cast<int16_t>(width / 10);
  h.bottom = static_cast<int16_t>(height / 10);
  h.unitsPerInch = 254;
  uint8_t bytes[sizeof h];
  std::memcpy(bytes, &h, sizeof h);
  uint16_t sum = 0;
  for (size_t at = 0; at < 20; at += 2) sum ^= LoadU16(bytes + at);
  h.checksum = sum;
  return h;
}

// ---- Hotspots ---------------------------------------------------------------

struct Hotspot {
  uint16_t code = 0;
  uint16_t left = 0, top = 0, width = 0, height = 0;
  std::string_view target;
  std::string_view name;
};

bool IsMacroCode(uint16_t code) { return code == kCodeMacro || code == kCodeMacroVisible; }

// -1 for a code outside the table.
int KindOfCode(uint16_t code) {
  switch (code) {
    case kCodeMacro:
    case kCodeMacroVisible:
      return SHG_HOTSPOT_MACRO;
    case kCodePopup:
    case kCodePopupVisible:
      return SHG_HOTSPOT_POPUP;
    case kCodeJump:
    case kCodeJumpVisible:
      return SHG_HOTSPOT_JUMP;
    default:
      return -1;
  }
}

// Walks the hotspots of the hotspot data in order; stops at the first one
// whose record or strings do not lie whole within the data.
class HotspotReader {
 public:
  explicit HotspotReader(Bytes data) : data_(data) {
    ByteCursor header(data);
    header.U8();
    count_ = header.U16();
    uint64_t macroSize = header.U32();
    headerWhole_ = header.ok();
    if (!headerWhole_) count_ = 0;
    uint64_t macroStart = kHotspotDataHeaderSize + kHotspotRecordSize * uint64_t{count_};
    uint64_t stringsStart = macroStart + macroSize;
    if (macroStart <= data.size()) {
      macroArea_ = data.subspan(macroStart, std::min<uint64_t>(macroSize, data.size() - macroStart));
    }
    strings_ = stringsStart <= data.size() ? ByteCursor(data.subspan(stringsStart)) : ByteCursor();
    if (stringsStart > data.size()) strings_.Fail();
  }

  size_t declared() const { return count_; }
  bool headerWhole() const { return headerWhole_; }

  bool Next(Hotspot &out) {
    if (index_ == count_) return false;
    size_t at = kHotspotDataHeaderSize + kHotspotRecordSize * index_;
    if (at + kHotspotRecordSize > data_.size()) return false;
    const uint8_t *record = data_.data() + at;
    out.code = LoadU16(record + kRecordCode);
    out.left = LoadU16(record + kRecordLeft);
    out.top = LoadU16(record + kRecordTop);
    out.width = LoadU16(record + kRecordWidth);
    out.height = LoadU16(record + kRecordHeight);
    out.name = strings_.CString();
    std::string_view second = strings_.CString();
    if (!strings_.ok()) return false;
    if (IsMacroCode(out.code)) {
      uint32_t offset = LoadU32(record + kRecordMacroOffset);
      if (offset >= macroArea_.size()) return false;
      ByteCursor macro(macroArea_.subspan(offset));
      out.target = macro.CString();
      if (!macro.ok()) return false;
    } else {
      out.target = second;
    }
    ++index_;
    return true;
  }

 private:
  Bytes data_;
  size_t count_ = 0;
  bool headerWhole_ = false;
  Bytes macroArea_;
  ByteCursor strings_;
  size_t index_ = 0;
};

size_t StringBytes(const Hotspot &h) { return h.target.size() + 1 + h.name.size() + 1; }

uint32_t PutString(uint8_t *list, uint32_t &end, std::string_view text) {
  uint32_t at = end;
  if (!text.empty()) std::memcpy(list + at, text.data(), text.size());
  list[at + text.size()] = 0;
  end += static_cast<uint32_t>(text.size() + 1);
  return at;
}

// Builds the ShgHotspotList into *out.  True when every hotspot went in.
bool BuildHotspotList(HWND owner, const HotspotBytes &data, HGLOBAL *out) {
  // First count the hotspots that are whole and fit, since the strings begin
  // behind all the entries.
  size_t kept = 0;
  size_t stringBytes = 0;
  {
    HotspotReader reader(data.bytes);
    Hotspot h;
    while (kept < kMaxListEntries && reader.Next(h)) {
      size_t need = SHG_HOTSPOT_ENTRIES_OFFSET + sizeof(ShgHotspotEntry) * (kept + 1) + stringBytes + StringBytes(h);
      if (need > SHG_HOTSPOT_LIST_SIZE) break;
      stringBytes += StringBytes(h);
      ++kept;
    }
  }

  OwnedGlobal block(AllocZeroed(SHG_HOTSPOT_LIST_SIZE));
  GlobalLockGuard lock(block.get());
  uint8_t *list = lock.data();
  if (list == nullptr) return false;

  HotspotReader reader(data.bytes);
  ShgHotspotListHeader header{};
  header.magic = SHG_HOTSPOT_LIST_MAGIC;
  header.count = static_cast<int16_t>(kept);
  uint32_t end = static_cast<uint32_t>(SHG_HOTSPOT_ENTRIES_OFFSET + sizeof(ShgHotspotEntry) * kept);
  for (size_t i = 0; i < kept; ++i) {
    Hotspot h;
    reader.Next(h);
    int kind = KindOfCode(h.code);
    if (kind < 0) {
      Message(owner, "Unknown Hotspot Type", MB_OK);
      kind = SHG_HOTSPOT_JUMP;
    }
    ShgHotspotEntry entry{};
    entry.left = static_cast<int16_t>(h.left);
    entry.top = static_cast<int16_t>(h.top);
    entry.right = static_cast<int16_t>(static_cast<uint16_t>(h.left + h.width));
    entry.bottom = static_cast<int16_t>(static_cast<uint16_t>(h.top + h.height));
    entry.kind = static_cast<uint32_t>(kind);
    entry.targetOffset = PutString(list, end, h.target);
    entry.nameOffset = PutString(list, end, h.name);
    std::memcpy(list + SHG_HOTSPOT_ENTRIES_OFFSET + sizeof entry * i, &entry, sizeof entry);
  }
  header.endOfData = end;
  std::memcpy(list, &header, sizeof header);

  lock.Unlock();
  *out = block.release();
  return reader.headerWhole() && kept == reader.declared() && !data.cut;
}

// ---- Pictures ---------------------------------------------------------------

int32_t ImportBitmap(HWND owner, ByteCursor &picture, unsigned method, HGLOBAL *dibOut, HGLOBAL *hotspotsOut) {
  BitmapHeader h = ReadBitmapHeader(picture);
  Bytes colours = picture.Span(uint64_t{h.colorsUsed} * 4);
  Bytes data = picture.Span(h.compressedSize);
  if (!picture.ok() || !IsDibBitCount(h.bitCount)) return 0;
  HotspotBytes hotspots = TakeHotspotBytes(picture, h.hotspotSize);

  int32_t result = 1;
  if (dibOut != nullptr) {
    // Rows of up to 2^33 bytes times a height of up to 2^31 can pass 2^64: a
    // product beyond the largest block is checked before it is formed.
    const uint64_t rows2 = DibRowBytes(h.bitCount, h.width) * 2;
    const bool tooLarge = h.height != 0 && rows2 > kLargestBlock / h.height;
    uint64_t room = tooLarge ? kLargestBlock + 1 : rows2 * h.height + 100;
    uint64_t prefix = sizeof(BITMAPINFOHEADER) + colours.size();
    OwnedGlobal dib(AllocZeroed(prefix + room));
    GlobalLockGuard lock(dib.get());
    if (lock.data() == nullptr) {
      Message(owner, "Not enough memory", MB_SYSTEMMODAL);
      result = 0;
    } else {
      uint8_t *block = lock.data();
      if (!colours.empty()) std::memcpy(block + sizeof(BITMAPINFOHEADER), colours.data(), colours.size());
      Decoded decoded = DecodePicture(data, std::span<uint8_t>(block + prefix, room), method);
      BITMAPINFOHEADER info{};
      info.biSize = sizeof(BITMAPINFOHEADER);
      info.biWidth = static_cast<LONG>(h.width);
      info.biHeight = static_cast<LONG>(h.height);
      info.biPlanes = 1;
      info.biBitCount = h.bitCount;
      info.biCompression = BI_RGB;
      info.biSizeImage = static_cast<DWORD>(decoded.written);
      info.biXPelsPerMeter = static_cast<LONG>(h.xdpi * 40u);
      info.biYPelsPerMeter = info.biXPelsPerMeter;
      info.biClrUsed = h.colorsUsed;
      std::memcpy(block, &info, sizeof info);
      lock.Unlock();
      *dibOut = dib.release();
      if (decoded.damaged) result = 0;
    }
  }
  if (h.hotspotSize != 0 && hotspotsOut != nullptr && !BuildHotspotList(owner, hotspots, hotspotsOut)) result = 0;
  return result;
}

int32_t ImportMetafile(HWND owner, ByteCursor &picture, unsigned method, HMETAFILE *metafileOut,
                       PlaceableMetafileHeader *headerOut, HGLOBAL *hotspotsOut) {
  MetafileHeader h = ReadMetafileHeader(picture);
  Bytes data = picture.Span(h.compressedSize);
  if (!picture.ok()) return 0;
  HotspotBytes hotspots = TakeHotspotBytes(picture, h.hotspotSize);

  int32_t result = 1;
  if (metafileOut != nullptr) {
    // No metafile of the help compiler packs to less than a fiftieth.
    uint64_t room = uint64_t{h.compressedSize} * 50;
    OwnedGlobal work(AllocZeroed(room));
    GlobalLockGuard lock(work.get());
    if (lock.data() == nullptr) {
      result = 0;
    } else {
      if (headerOut != nullptr) *headerOut = MakePlaceableHeader(h.width, h.height);
      Decoded decoded = DecodePicture(data, std::span<uint8_t>(lock.data(), room), method);
      // The metafile keeps its own copy, so the work block goes at once.
      *metafileOut = SetMetaFileBitsEx(static_cast<UINT>(decoded.written), lock.data());
      if (decoded.damaged) result = 0;
    }
  }
  if (h.hotspotSize != 0 && hotspotsOut != nullptr && !BuildHotspotList(owner, hotspots, hotspotsOut)) result = 0;
  return result;
}

int32_t Import(HWND owner, Bytes image, HGLOBAL *dibOut, HMETAFILE *metafileOut,
               PlaceableMetafileHeader *headerOut, HGLOBAL *hotspotsOut) {
  ByteCursor file(image);
  uint16_t magic = file.U16();
  if (magic != kShgMagicLp && magic != kShgMagicLP) {
    Message(owner, "Not a valid SHG-File", MB_ICONHAND);
    return 0;
  }
  file.U16();  // picture count: only the first picture is read
  uint32_t offset = file.U32();
  if (!file.ok() || offset > image.size()) return 0;

  ByteCursor picture(image.subspan(offset));
  uint8_t type = picture.U8();
  uint8_t method = picture.U8();
  if (!picture.ok()) return 0;
  if (type == kPictureBitmap && method <= kPackLz77Rle)
    return ImportBitmap(owner, picture, method, dibOut, hotspotsOut);
  if (type == kPictureMetafile && method <= kPackLz77)
    return ImportMetafile(owner, picture, method, metafileOut, headerOut, hotspotsOut);
  Message(owner, "Unknown Sub-Filetype", MB_ICONHAND);
  return 0;
}

}  // namespace
}  // namespace marlet

extern "C" {

MARLET_EXPORT int32_t MARLET_API SHGImportEx(HWND owner, const void *data, uint32_t dataSize, HGLOBAL *dibOut,
                                             HMETAFILE *metafileOut, PlaceableMetafileHeader *headerOut,
                                             HGLOBAL *hotspotsOut) {
  marlet::Bytes image;
  if (data != nullptr) image = marlet::Bytes(static_cast<const uint8_t *>(data), dataSize);
  return marlet::Import(owner, image, dibOut, metafileOut, headerOut, hotspotsOut);
}

// The image's length is not known: every offset and size comes from the file
// itself.  The decoders are still bounded by their targets.
MARLET_EXPORT int32_t MARLET_API SHGImport(HWND owner, const void *data, HGLOBAL *dibOut, HMETAFILE *metafileOut,
                                           PlaceableMetafileHeader *headerOut, HGLOBAL *hotspotsOut) {
  marlet::Bytes image;
  if (data != nullptr) {
    auto address = reinterpret_cast<uintptr_t>(data);
    image = marlet::Bytes(static_cast<const uint8_t *>(data), std::numeric_limits<uintptr_t>::max() - address);
  }
  return marlet::Import(owner, image, dibOut, metafileOut, headerOut, hotspotsOut);
}

}  // extern "C"
