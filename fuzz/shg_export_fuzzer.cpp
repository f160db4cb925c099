// SHG export: a DIB block and a hotspot list block made from the input, then
// the import of the file written.
//
// Input:
//   0  1  flags: 0x01 pass a hotspot list; 0x02 the list block is as long as
//         the bytes behind the DIB (else 32768 bytes, those bytes in front)
//   1  4  size of the DIB block (its low 24 bits)
//   5  .. the DIB block's bytes (zero behind the input), then the list's
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "hlp2rtf/picture_file.h"
#include "shg_check.h"

namespace quillon_fuzz {

namespace {

constexpr uint8_t kWithList = 0x01;
constexpr uint8_t kListAsGiven = 0x02;

HGLOBAL BlockOf(const std::vector<uint8_t> &bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GHND, size);
  if (block == nullptr) return nullptr;
  if (!bytes.empty()) std::memcpy(GlobalLock(block), bytes.data(), std::min(size, bytes.size()));
  GlobalUnlock(block);
  return block;
}

// What the export promises to take, judged here on its own.
struct Judged {
  bool valid = false;
  BITMAPINFOHEADER info{};
  uint32_t colours = 0;
  std::vector<uint8_t> table, rows;
};

bool IsDibBitCount(unsigned bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

Judged Judge(HGLOBAL dib) {
  Judged j;
  const size_t size = GlobalSize(dib);
  const auto *block = static_cast<const uint8_t *>(GlobalLock(dib));
  if (size >= sizeof j.info) {
    std::memcpy(&j.info, block, sizeof j.info);
    const BITMAPINFOHEADER &info = j.info;
    j.colours = info.biClrUsed != 0 ? info.biClrUsed : (info.biBitCount < 16 ? 1u << info.biBitCount : 0);
    if (info.biSize >= sizeof info && info.biSize <= size && info.biWidth >= 0 && info.biHeight >= 0 &&
        info.biCompression == BI_RGB && IsDibBitCount(info.biBitCount)) {
      const unsigned __int128 table = uint64_t{j.colours} * 4;
      const unsigned __int128 rows = RowBytes(info.biBitCount, static_cast<uint32_t>(info.biWidth)) *
                                     static_cast<uint32_t>(info.biHeight);
      j.valid = table + rows <= size - info.biSize;
      if (j.valid) {
        const uint8_t *at = block + info.biSize;
        j.table.assign(at, at + static_cast<size_t>(table));
        j.rows.assign(at + static_cast<size_t>(table), at + static_cast<size_t>(table + rows));
      }
    }
  }
  GlobalUnlock(dib);
  return j;
}

// The entries of a list block the export can take, read as it reads them:
// in order, up to the first whose record or strings leave the block.
std::vector<ListEntry> ListEntries(HGLOBAL list) {
  std::vector<ListEntry> entries;
  const size_t size = GlobalSize(list);
  const auto *block = static_cast<const uint8_t *>(GlobalLock(list));
  if (size >= sizeof(ShgHotspotListHeader)) {
    ShgHotspotListHeader header;
    std::memcpy(&header, block, sizeof header);
    auto text = [&](uint32_t offset, std::string &out) {
      if (offset >= size || std::memchr(block + offset, 0, size - offset) == nullptr) return false;
      out = reinterpret_cast<const char *>(block + offset);
      return true;
    };
    for (int i = 0; i < header.count; ++i) {
      size_t at = SHG_HOTSPOT_ENTRIES_OFFSET + sizeof(ShgHotspotEntry) * i;
      if (at + sizeof(ShgHotspotEntry) > size) break;
      ListEntry entry;
      std::memcpy(&entry.fields, block + at, sizeof entry.fields);
      if (!text(entry.fields.targetOffset, entry.target) || !text(entry.fields.nameOffset, entry.name)) break;
      entries.push_back(std::move(entry));
    }
  }
  GlobalUnlock(list);
  return entries;
}

uint32_t KindWritten(uint32_t kind) {
  if (kind & 1) return SHG_HOTSPOT_POPUP;
  if (kind & 2) return SHG_HOTSPOT_MACRO;
  return SHG_HOTSPOT_JUMP;
}

// The import of the written file gives back the picture and the leading
// hotspots.
void ReadBack(HGLOBAL file, const Judged &dib, HGLOBAL list) {
  const auto *bytes = static_cast<const uint8_t *>(GlobalLock(file));
  HGLOBAL again = nullptr, hotspots = nullptr;
  int32_t result = SHGImportEx(nullptr, bytes, static_cast<uint32_t>(GlobalSize(file)), &again, nullptr,
                               nullptr, &hotspots);
  GlobalUnlock(file);
  Check(again != nullptr, "SHGImportEx made no DIB of a file that SHGExport wrote");
  Check(list != nullptr || result == 1, "SHGImportEx refused a file without hotspots that SHGExport wrote");
  CheckImportedDib(again);
  const auto *block = static_cast<const uint8_t *>(GlobalLock(again));
  BITMAPINFOHEADER info;
  std::memcpy(&info, block, sizeof info);
  Check(info.biWidth == dib.info.biWidth && info.biHeight == dib.info.biHeight &&
            info.biBitCount == dib.info.biBitCount && info.biClrUsed == dib.colours &&
            info.biSizeImage == dib.rows.size(),
        "an SHG file written and read back has another DIB header");
  const uint8_t *table = block + sizeof info, *rows = table + dib.table.size();
  Check(std::equal(dib.table.begin(), dib.table.end(), table),
        "an SHG file written and read back has another colour table");
  Check(std::equal(dib.rows.begin(), dib.rows.end(), rows),
        "an SHG file written and read back has other pixel rows");
  GlobalUnlock(again);
  GlobalFree(again);

  Check((list != nullptr) == (hotspots != nullptr), "hotspot data written without a list, or none with one");
  if (hotspots == nullptr) return;
  std::vector<ListEntry> read = CheckHotspotList(hotspots);
  std::vector<ListEntry> given = ListEntries(list);
  Check(read.size() <= given.size(), "an SHG file read back has more hotspots than were written");
  for (size_t i = 0; i < read.size(); ++i) {
    const ShgHotspotEntry &a = read[i].fields, &b = given[i].fields;
    Check(a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom,
          "a hotspot written and read back has another rectangle");
    Check(a.kind == KindWritten(b.kind), "a hotspot written and read back has another kind");
    Check(read[i].target == given[i].target && read[i].name == given[i].name,
          "a hotspot written and read back has other strings");
  }
  GlobalFree(hotspots);
}

}  // namespace

int RunShgExport(const uint8_t *data, size_t size) {
  SilentMessages quiet;
  InputReader input(data, size);
  const uint8_t flags = input.U8();
  const size_t dibSize = input.U32() & 0xFFFFFF;
  HGLOBAL dib = BlockOf(input.Take(dibSize), dibSize);
  HGLOBAL list = nullptr;
  if (flags & kWithList) {
    std::vector<uint8_t> bytes = input.Take(input.remaining());
    list = BlockOf(bytes, (flags & kListAsGiven) ? bytes.size() : SHG_HOTSPOT_LIST_SIZE);
  }
  if (dib == nullptr) return 0;

  std::vector<uint8_t> bmp = pictures::BmpFileBytes(dib);
  (void)bmp;
  const Judged judged = Judge(dib);
  HGLOBAL file = SHGExport(0, dib, list);
  Check(judged.valid == (file != nullptr), judged.valid
                                               ? "SHGExport refused a DIB that lies inside its block"
                                               : "SHGExport took a DIB that does not lie inside its block");
  if (file != nullptr) ReadBack(file, judged, list);
  GlobalFree(file);
  GlobalFree(dib);
  GlobalFree(list);
  return 0;
}

}  // namespace quillon_fuzz
