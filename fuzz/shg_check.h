// Checks of the blocks the picture conversion hands out, shared by the two
// SHG targets.
#pragma once

#include <marlet/marlet.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon_fuzz {

// Bytes of one pixel row, rounded up to whole 32-bit words; wide enough that
// nothing wraps.
inline unsigned __int128 RowBytes(uint32_t bitCount, uint64_t width) {
  return (static_cast<unsigned __int128>(bitCount) * width + 31) / 32 * 4;
}

// A DIB block from SHGImportEx: its header as the import fills it, and its
// size exactly the header, the colour table and twice the rows plus 100.
void CheckImportedDib(HGLOBAL dib);

// A ShgHotspotList: 32768 bytes, its entries and strings inside the used
// data, every string terminated there.
struct ListEntry {
  ShgHotspotEntry fields;
  std::string target, name;
};
std::vector<ListEntry> CheckHotspotList(HGLOBAL list);

// The metafile and its placeable header.
void CheckMetafile(HMETAFILE metafile, const PlaceableMetafileHeader &header);

}  // namespace quillon_fuzz
