// SHG import: the input as an SHG file image.
#include <cstring>
#include <vector>

#include "harness.h"
#include "hlp2rtf/picture_file.h"
#include "shg_check.h"

namespace quillon_fuzz {

namespace {

// A few bytes of file can declare a picture of 2 GiB, which the import
// allocates (zero-filled, so untouched).  Copying such a DIB into a .bmp, or
// writing it back as SHG, touches every byte: the checks that do so are left
// to DIBs up to this size.
constexpr size_t kLargestCopiedDib = 16u << 20;

// The pixel rows of a DIB made by the import, behind its header and colours.
std::vector<uint8_t> Rows(HGLOBAL dib) {
  const auto *block = static_cast<const uint8_t *>(GlobalLock(dib));
  BITMAPINFOHEADER info;
  std::memcpy(&info, block, sizeof info);
  size_t at = sizeof info + size_t{info.biClrUsed} * 4;
  size_t rows = static_cast<size_t>(RowBytes(info.biBitCount, static_cast<uint32_t>(info.biWidth)) *
                                    static_cast<uint32_t>(info.biHeight));
  std::vector<uint8_t> bytes(block + at, block + at + rows);
  GlobalUnlock(dib);
  return bytes;
}

// SHGExport of what the import made, and the import of that: the same rows.
// A picture without a colour table is left out when its bit count calls for
// one: a DIB whose biClrUsed is 0 has a full table, an SHG picture whose
// ColorsUsed is 0 none, so the export reads such a DIB otherwise than the
// import meant it.
void WriteBack(HGLOBAL dib, HGLOBAL hotspots) {
  HGLOBAL file = SHGExport(0, dib, hotspots);
  BITMAPINFOHEADER info;
  std::memcpy(&info, GlobalLock(dib), sizeof info);
  GlobalUnlock(dib);
  if (info.biClrUsed == 0 && info.biBitCount < 16) {
    GlobalFree(file);
    return;
  }
  Check(file != nullptr, "SHGExport refused a DIB that SHGImportEx made");
  const auto *bytes = static_cast<const uint8_t *>(GlobalLock(file));
  HGLOBAL again = nullptr;
  int32_t result =
      SHGImportEx(nullptr, bytes, static_cast<uint32_t>(GlobalSize(file)), &again, nullptr, nullptr, nullptr);
  Check(result == 1 && again != nullptr, "SHGImportEx refused a file that SHGExport wrote");
  Check(Rows(again) == Rows(dib), "an SHG file written and read back holds other pixel rows");
  GlobalUnlock(file);
  GlobalFree(again);
  GlobalFree(file);
}

// The DIB block a bitmap picture asks for, read from its header as the import
// reads it; 0 for anything else.  AddressSanitizer writes the shadow of every
// block it maps, 256 MiB for a block of 2 GiB, which takes a second: such
// pictures are imported without asking for the DIB.
unsigned __int128 DeclaredDibBytes(const uint8_t *data, size_t size) {
  InputReader file(data, size);
  if (file.U8() != 'l' || (file.U8() | 0x20) != 'p') return 0;
  file.U16();
  uint32_t offset = file.U32();
  if (offset >= size) return 0;
  InputReader picture(data + offset, size - offset);
  if (picture.U8() != 6) return 0;
  picture.U8();
  auto ushort = [&] {
    uint16_t b0 = picture.U8();
    return (b0 & 1) == 0 ? static_cast<uint32_t>(b0 >> 1)
                         : static_cast<uint32_t>((b0 | (picture.U8() << 8)) >> 1);
  };
  auto ulong = [&] {
    uint32_t w0 = picture.U16();
    return (w0 & 1) == 0 ? w0 >> 1 : (w0 | (static_cast<uint32_t>(picture.U16()) << 16)) >> 1;
  };
  ulong(), ulong(), ushort();
  uint32_t bits = ushort(), width = ulong(), height = ulong();
  return RowBytes(bits, width) * 2 * height;
}

constexpr unsigned __int128 kLargestDibAskedFor = 64u << 20;

}  // namespace

int RunShgImport(const uint8_t *data, size_t size) {
  SilentMessages quiet;
  const auto length = static_cast<uint32_t>(size);
  HGLOBAL dib = nullptr, hotspots = nullptr;
  HMETAFILE metafile = nullptr;
  PlaceableMetafileHeader header;
  std::memset(&header, 0xA5, sizeof header);
  const PlaceableMetafileHeader untouched = header;
  const bool askForDib = DeclaredDibBytes(data, size) <= kLargestDibAskedFor;
  int32_t result =
      SHGImportEx(nullptr, data, length, askForDib ? &dib : nullptr, &metafile, &header, &hotspots);
  Check(result == 0 || result == 1, "SHGImportEx gave neither 0 nor 1");
  Check(dib == nullptr || metafile == nullptr, "SHGImportEx made both a DIB and a metafile");

  if (dib != nullptr) {
    CheckImportedDib(dib);
    if (GlobalSize(dib) <= kLargestCopiedDib) {
      std::vector<uint8_t> bmp = pictures::BmpFileBytes(dib);
      Check(bmp.empty() || bmp.size() >= 14 + sizeof(BITMAPINFOHEADER),
            "a .bmp file shorter than its headers");
      WriteBack(dib, hotspots);
    }
  }
  if (metafile != nullptr || std::memcmp(&header, &untouched, sizeof header) != 0) {
    CheckMetafile(metafile, header);
    std::vector<uint8_t> wmf = pictures::WmfFileBytes(metafile, header);
    Check(metafile == nullptr || wmf.size() == sizeof header + GetMetaFileBitsEx(metafile, 0, nullptr),
          "a .wmf file of another length than its header and metafile");
  }
  if (hotspots != nullptr) CheckHotspotList(hotspots);
  GlobalFree(dib);
  GlobalFree(hotspots);
  DeleteMetaFile(metafile);

  // Without outputs nothing is made, and the hotspot list alone.
  SHGImportEx(nullptr, data, length, nullptr, nullptr, nullptr, nullptr);
  HGLOBAL only = nullptr;
  SHGImportEx(nullptr, data, length, nullptr, nullptr, nullptr, &only);
  if (only != nullptr) CheckHotspotList(only);
  GlobalFree(only);
  return 0;
}

}  // namespace quillon_fuzz
