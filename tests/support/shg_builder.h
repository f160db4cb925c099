// Test-only builder of segmented-hypergraphics (SHG) files and of the blocks
// that SHGImport hands out and SHGExport takes: DIBs and hotspot lists.  The
// fields can be set to any value, so damaged files take a line; each built
// file tells where its parts begin.
#pragma once

#include <quillon/platform.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/help_builder.h"

namespace fixture {

// ---- Integers and packing -------------------------------------------------

// The header integers, written here independently of the library's writers:
// a ShgUShort in its one- or two-byte form, a ShgULong in its two- or four-
// byte form (the short forms when the value allows, unless forced long).
void PutShgUShort(Bytes &out, uint32_t value, bool forceLong = false);
void PutShgULong(Bytes &out, uint32_t value, bool forceLong = false);

// Run-length packets made only of literals (never runs), for fixtures that do
// not lean on the library's encoder.
Bytes RleLiterals(const Bytes &data);
// A greedy LZ77 encoder: back-references of 3..18 bytes up to 4096 back.
Bytes Lz77Pack(const Bytes &data);

// ---- Hotspots -------------------------------------------------------------

struct FileHotspot {
  uint16_t code = 0x04E7;  // jump, invisible
  uint16_t left = 0, top = 0, width = 0, height = 0;
  std::string name;
  std::string target;  // the pair's second string
  std::string macro;   // for the macro codes: the text in the macro area
};

// Hotspot data: records, macro area (the macro codes' texts, in order), the
// pairs of strings.  Macro records point at their text; the others at 0.
Bytes BuildHotspotData(const std::vector<FileHotspot> &hotspots);

// ---- Files ----------------------------------------------------------------

struct BitmapPicture {
  uint8_t method = 0;
  uint32_t xdpi = 96, ydpi = 96;
  uint16_t planes = 1, bitCount = 8;
  uint32_t width = 0, height = 0;
  Bytes colours;                            // colour-table bytes
  Bytes packed;                             // picture data, already packed
  Bytes hotspots;                           // hotspot data (empty: none)
  std::optional<uint32_t> colorsUsed;       // default colours.size() / 4
  uint32_t colorsImportant = 0;
  std::optional<uint32_t> compressedSize;   // default packed.size()
  std::optional<uint32_t> hotspotSize;      // default hotspots.size()
  bool longForms = false;                   // every ShgULong in its four-byte form
};

struct MetafilePicture {
  uint8_t method = 0;
  uint8_t mapping = 16;  // MM_ANISOTROPIC as a one-byte ShgUShort
  uint16_t width = 0, height = 0;
  uint32_t decompressedSize = 0;
  Bytes packed;
  Bytes hotspots;
  std::optional<uint32_t> compressedSize;
  std::optional<uint32_t> hotspotSize;
};

struct FileShape {
  std::string magic = "lp";
  uint16_t pictureCount = 1;  // only the first picture is built; the others repeat its offset
  uint8_t type = 0;           // 0: 6 for bitmaps, 8 for metafiles
};

struct BuiltShg {
  Bytes bytes;
  size_t pictureAt = 0;   // the type byte
  size_t headerAt = 0;    // first header field (picture + 2)
  size_t offsetsAt = 0;   // the data-offset field
  size_t coloursAt = 0;   // colour table (bitmaps)
  size_t dataAt = 0;      // picture data
  size_t hotspotsAt = 0;  // hotspot data
};

BuiltShg BuildBitmapShg(const BitmapPicture &picture, const FileShape &shape = {});
BuiltShg BuildMetafileShg(const MetafilePicture &picture, const FileShape &shape = {});

// A Windows metafile: the 18-byte header, `records` SetPixel-like records of
// 5 words with varied parameters, and the end record.
Bytes SmallMetafile(int records);

// Several pictures in one SHG file (resolutions of one picture): the header
// lists each built file's picture, whose bytes follow one another.  Each
// BuiltShg is a one-picture file from the builders above.
Bytes MultiPictureShg(const std::vector<BuiltShg> &pictures, const std::string &magic = "lp");

// ---- Metafile records -----------------------------------------------------

// A record of a Windows metafile: its function and its parameters, 16-bit
// words in the order they are stored (the reverse of the GDI call's).
struct MetafileRecord {
  uint16_t function = 0;
  Bytes params;
};
Bytes Words(std::initializer_list<int> words);
// The 18-byte header (its size, object count and largest record as the
// records make them, unless given), the records and the end record.
Bytes MetafileOf(const std::vector<MetafileRecord> &records, std::optional<uint16_t> objects = std::nullopt);
// An SHG file of one metafile picture, stored unpacked; width and height in
// 0.01 mm as the header keeps them.
BuiltShg MetafileShg(const Bytes &metafile, uint16_t width, uint16_t height, const Bytes &hotspots = {});

// ---- Blocks ---------------------------------------------------------------

// Copies bytes into a new movable global memory block.
HGLOBAL GlobalFromBytes(const Bytes &bytes);
Bytes BytesOfGlobal(HGLOBAL block);

// A packed DIB: 40-byte header, colour table, rows.  colours: 4-byte entries;
// biClrUsed is colours.size() / 4 unless given.
Bytes DibBytes(uint16_t bitCount, int32_t width, int32_t height, const Bytes &colours, const Bytes &pixels,
               std::optional<uint32_t> clrUsed = std::nullopt);

struct ListHotspot {
  int16_t left = 0, top = 0, right = 0, bottom = 0;
  uint32_t kind = 0;
  std::string target;
  std::string name;
  bool operator==(const ListHotspot &) const = default;
};

// A ShgHotspotList block laid out as SHGImport makes it.
HGLOBAL MakeHotspotList(const std::vector<ListHotspot> &hotspots);
// Reads a ShgHotspotList back; checks nothing but the bounds.
struct ReadList {
  uint16_t magic = 0;
  int16_t count = 0;
  uint32_t endOfData = 0;
  size_t blockSize = 0;
  std::vector<ListHotspot> hotspots;
};
ReadList ReadHotspotList(HGLOBAL list);

// Deterministic pseudo-random bytes.
Bytes RandomBytes(size_t n, uint32_t seed, int alphabet = 256);

// Records every message box as "caption|text|style" while it lives; the
// boxes return IDOK at once.
class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder &) = delete;
  MessageRecorder &operator=(const MessageRecorder &) = delete;
  const std::vector<std::string> &lines() const;
  const std::vector<HWND> &owners() const;  // the owner window of each box
  void clear();
};

}  // namespace fixture
