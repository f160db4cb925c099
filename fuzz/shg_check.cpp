#include "shg_check.h"

#include <cstring>

#include "harness.h"

namespace quillon_fuzz {

namespace {

bool IsDibBitCount(unsigned bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

void CheckImportedDib(HGLOBAL dib) {
  const size_t size = GlobalSize(dib);
  Check(size >= sizeof(BITMAPINFOHEADER), "SHGImportEx made a DIB block smaller than its header");
  const auto *block = static_cast<const uint8_t *>(GlobalLock(dib));
  Check(block != nullptr, "SHGImportEx made a DIB that cannot be locked");
  BITMAPINFOHEADER info;
  std::memcpy(&info, block, sizeof info);
  GlobalUnlock(dib);
  Check(info.biSize == sizeof info && info.biPlanes == 1 && info.biCompression == BI_RGB &&
            info.biClrImportant == 0 && IsDibBitCount(info.biBitCount) && info.biWidth >= 0 &&
            info.biHeight >= 0,
        "SHGImportEx made a DIB header unlike the one it promises");
  const unsigned __int128 rows =
      RowBytes(info.biBitCount, static_cast<uint32_t>(info.biWidth)) * static_cast<uint32_t>(info.biHeight);
  const unsigned __int128 expected = sizeof info + uint64_t{info.biClrUsed} * 4 + 2 * rows + 100;
  Check(expected == size, "SHGImportEx made a DIB block whose size is not what its header calls for");
  Check(info.biSizeImage <= 2 * rows + 100, "SHGImportEx decoded more pixel bytes than the block holds");
}

std::vector<ListEntry> CheckHotspotList(HGLOBAL list) {
  std::vector<ListEntry> entries;
  Check(GlobalSize(list) == SHG_HOTSPOT_LIST_SIZE, "a hotspot list block is not 32768 bytes");
  const auto *block = static_cast<const uint8_t *>(GlobalLock(list));
  Check(block != nullptr, "a hotspot list cannot be locked");
  ShgHotspotListHeader header;
  std::memcpy(&header, block, sizeof header);
  Check(header.magic == SHG_HOTSPOT_LIST_MAGIC, "a hotspot list without its magic number");
  Check(header.count >= 0, "a hotspot list with a negative count");
  const uint32_t stringsAt = SHG_HOTSPOT_ENTRIES_OFFSET + sizeof(ShgHotspotEntry) * header.count;
  Check(stringsAt <= header.endOfData && header.endOfData <= SHG_HOTSPOT_LIST_SIZE,
        "a hotspot list whose used data lie outside its block");
  auto text = [&](uint32_t offset) {
    Check(offset >= stringsAt && offset < header.endOfData, "a hotspot string outside the used data");
    const void *zero = std::memchr(block + offset, 0, header.endOfData - offset);
    Check(zero != nullptr, "a hotspot string not terminated inside the used data");
    return std::string(reinterpret_cast<const char *>(block + offset));
  };
  for (int i = 0; i < header.count; ++i) {
    ListEntry entry;
    std::memcpy(&entry.fields, block + SHG_HOTSPOT_ENTRIES_OFFSET + sizeof(ShgHotspotEntry) * i,
                sizeof entry.fields);
    Check(entry.fields.kind <= SHG_HOTSPOT_MACRO, "a hotspot of an unknown kind");
    entry.target = text(entry.fields.targetOffset);
    entry.name = text(entry.fields.nameOffset);
    entries.push_back(std::move(entry));
  }
  GlobalUnlock(list);
  return entries;
}

void CheckMetafile(HMETAFILE metafile, const PlaceableMetafileHeader &header) {
  Check(header.key == 0x9AC6CDD7u && header.unitsPerInch == 254,
        "a placeable header unlike the promised one");
  uint8_t bytes[sizeof header];
  std::memcpy(bytes, &header, sizeof header);
  uint16_t sum = 0;
  for (size_t at = 0; at < 20; at += 2) sum ^= static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
  Check(sum == header.checksum, "a placeable header with a wrong checksum");
  if (metafile != nullptr)
    Check(GetMetaFileBitsEx(metafile, 0, nullptr) >= 18, "a metafile shorter than a metafile header");
}

}  // namespace quillon_fuzz
