// The segmented-hypergraphics (SHG) file: a picture and its hotspots.  Read
// by import.cpp, written by export.cpp.  All numbers little-endian; US is a
// ShgUShort, UL a ShgULong (codec.h).
//
// File header:
//   0  2      magic "lp" or "lP" (read alike)
//   2  2      picture count (only the first picture is read)
//   4  4 * n  offset of each picture from the start of the file
//
// Picture: byte 0 the type (6 bitmap, 8 metafile), byte 1 the packing method
// (codec.h); read together as one type word, type + 256 * method.  Bitmaps
// take methods 0..3, metafiles 0..2.
//
// Bitmap header, from picture offset 2, field after field:
//   UL Xdpi, UL Ydpi, US Planes, US BitCount, UL Width, UL Height,
//   UL ColorsUsed, UL ColorsImportant, UL CompressedSize, UL HotspotSize,
//   32-bit data offset, 32-bit hotspot offset (both from the picture's start);
//   then ColorsUsed * 4 colour-table bytes, CompressedSize bytes of packed
//   pixel rows, HotspotSize bytes of hotspot data.
// Metafile header, from picture offset 2:
//   1 byte mapping mode, 16-bit width and height (0.01 mm), UL decompressed
//   size, UL CompressedSize, UL HotspotSize, 32-bit data and hotspot offsets;
//   then CompressedSize bytes of packed metafile, HotspotSize of hotspot data.
// The reader takes the colour table, the picture data and the hotspot data
// as following one another directly behind the header, as the files written
// by the help compiler have them; the two stored offsets are not needed.
//
// Hotspot data:
//   0            1        1 (not read)
//   1            2        hotspot count n
//   3            4        macro area size M
//   7            15 * n   hotspot records
//   7 + 15n      M        macro area: zero-terminated macro texts
//   7 + 15n + M  ...      n pairs of zero-terminated strings: name, then
//                         target (context string, or a macro's text)
// Hotspot record, 15 bytes:
//   0   2  kind code (table below)
//   2   1  third code byte (not read)
//   3   2  left, 5 2 top, 7 2 width, 9 2 height
//   11  4  a macro's text: its offset in the macro area (not used by the
//          other kinds, where the help compiler leaves arbitrary bytes)
#pragma once

#include <marlet/marlet.h>

#include <cstddef>
#include <cstdint>

namespace marlet {

inline constexpr uint16_t kShgMagicLp = 0x706C;  // "lp"
inline constexpr uint16_t kShgMagicLP = 0x506C;  // "lP"
inline constexpr size_t kShgPictureOffsetField = 4;
inline constexpr uint8_t kPictureBitmap = 6;
inline constexpr uint8_t kPictureMetafile = 8;

inline constexpr size_t kHotspotDataHeaderSize = 7;
inline constexpr size_t kHotspotRecordSize = 15;
inline constexpr size_t kRecordCode = 0;
inline constexpr size_t kRecordLeft = 3;
inline constexpr size_t kRecordTop = 5;
inline constexpr size_t kRecordWidth = 7;
inline constexpr size_t kRecordHeight = 9;
inline constexpr size_t kRecordMacroOffset = 11;

// Kind codes: the high byte 0x04 marks the invisible variant of a kind, 0x00
// the visible one; the list keeps only the kind, and the writer uses the
// invisible codes.
inline constexpr uint16_t kCodeMacroVisible = 0x00C8;
inline constexpr uint16_t kCodeMacro = 0x04CC;
inline constexpr uint16_t kCodePopupVisible = 0x00E2;
inline constexpr uint16_t kCodePopup = 0x04E6;
inline constexpr uint16_t kCodeJumpVisible = 0x00E3;
inline constexpr uint16_t kCodeJump = 0x04E7;

// The ShgHotspotList block, as the public header lays it out.
static_assert(sizeof(ShgHotspotListHeader) == SHG_HOTSPOT_ENTRIES_OFFSET);
static_assert(offsetof(ShgHotspotListHeader, count) == 2);
static_assert(offsetof(ShgHotspotListHeader, endOfData) == 520);
static_assert(sizeof(ShgHotspotEntry) == 64);
static_assert(offsetof(ShgHotspotEntry, targetOffset) == 8);
static_assert(offsetof(ShgHotspotEntry, nameOffset) == 12);
static_assert(offsetof(ShgHotspotEntry, kind) == 24);
static_assert(sizeof(PlaceableMetafileHeader) == 22);
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// The most hotspots a list can hold: entries alone, without strings.
inline constexpr size_t kMaxListEntries =
    (SHG_HOTSPOT_LIST_SIZE - SHG_HOTSPOT_ENTRIES_OFFSET) / sizeof(ShgHotspotEntry);

// Bit counts of the DIBs that are made and written.
inline constexpr bool IsDibBitCount(unsigned bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes of one pixel row, rounded up to whole 32-bit words.
inline constexpr uint64_t DibRowBytes(uint64_t bitCount, uint64_t width) {
  return (bitCount * width + 31) / 32 * 4;
}

}  // namespace marlet
