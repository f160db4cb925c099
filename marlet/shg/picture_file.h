// Files of the pictures SHGImport makes: a .bmp file from a DIB block, a
// placeable .wmf file from a metafile handle and its placeable header.  For a
// program that writes the pictures of a help file (|bm0, |bm1, ... hold SHG
// images) next to its other output.
//
// Uses the platform layer and the public header's records only, and calls no
// export, so a program can compile this file in beside its use of marlet.
// Not used behind the C interface: the vectors throw std::bad_alloc when
// memory runs out.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>
#include <vector>

namespace marlet {

// A BITMAPFILEHEADER (14 bytes: "BM", file size, two reserved words, offset
// of the pixels), then the DIB's header, its biClrUsed colour entries and its
// pixel rows (biSizeImage is set to their size).  Empty when the block does
// not hold a BI_RGB DIB with a 40-byte header, its colours and its rows.
std::vector<uint8_t> BmpFileBytes(HGLOBAL dib);

// The 22-byte placeable header, then the metafile's bytes.  Empty without a
// metafile.
std::vector<uint8_t> WmfFileBytes(HMETAFILE metafile, const PlaceableMetafileHeader &header);

}  // namespace marlet
