// Files of the pictures SHGImport makes: a .bmp file from a DIB block, a
// placeable .wmf file from a metafile handle and its placeable header.  For a
// program that writes the pictures of a help file (|bm0, |bm1, ... hold SHG
// images) next to its other output.
//
// Uses the platform layer and the public header's records only.  The vectors
// throw std::bad_alloc when memory runs out.
#pragma once

#include <marlet/marlet.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pictures {

// A BITMAPFILEHEADER (14 bytes: "BM", file size, two reserved words, offset
// of the pixels), then the DIB's header, its biClrUsed colour entries and its
// pixel rows (biSizeImage is set to their size).  Empty when the block does
// not hold a BI_RGB DIB with a 40-byte header, its colours and its rows.
std::vector<uint8_t> BmpFileBytes(HGLOBAL dib);

// The same file in two parts, for writing it without a copy of the pixels:
// the first kBmpHeadSize bytes (the file header and the DIB's header) into
// head, and the number of the DIB's bytes it holds (dibBytes: its header, its
// colours and its rows), so that the file goes on with block[40, dibBytes).
// False when BmpFileBytes would be empty.  block holds size bytes.
inline constexpr size_t kBmpHeadSize = 14 + 40;
bool BmpFileHead(const uint8_t *block, size_t size, uint8_t (&head)[kBmpHeadSize], size_t &dibBytes);

// The 22-byte placeable header, then the metafile's bytes.  Empty without a
// metafile.
std::vector<uint8_t> WmfFileBytes(HMETAFILE metafile, const PlaceableMetafileHeader &header);

}  // namespace pictures
