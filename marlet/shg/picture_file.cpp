#include "shg/picture_file.h"

#include <cstring>

namespace marlet {
namespace {

constexpr size_t kFileHeaderSize = 14;

void Put32(uint8_t *at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> BmpFileBytes(HGLOBAL dib) {
  std::vector<uint8_t> file;
  const auto *block = dib != nullptr ? static_cast<const uint8_t *>(GlobalLock(dib)) : nullptr;
  if (block == nullptr) return file;
  const size_t size = GlobalSize(dib);
  BITMAPINFOHEADER info{};
  if (size >= sizeof info) std::memcpy(&info, block, sizeof info);
  const uint64_t tableBytes = uint64_t{info.biClrUsed} * 4;
  const uint64_t height = info.biHeight < 0 ? -int64_t{info.biHeight} : info.biHeight;
  const uint64_t rowBytes = (uint64_t{info.biBitCount} * static_cast<uint32_t>(info.biWidth) + 31) / 32 * 4;
  const uint64_t dibBytes = sizeof info + tableBytes + rowBytes * height;
  if (size >= sizeof info && info.biSize == sizeof info && info.biCompression == BI_RGB && info.biWidth >= 0 &&
      dibBytes <= size && kFileHeaderSize + dibBytes <= 0xFFFFFFFFu) {
    file.resize(kFileHeaderSize + dibBytes);
    file[0] = 'B';
    file[1] = 'M';
    Put32(&file[2], static_cast<uint32_t>(file.size()));
    Put32(&file[10], static_cast<uint32_t>(kFileHeaderSize + sizeof info + tableBytes));
    std::memcpy(&file[kFileHeaderSize], block, dibBytes);
    info.biSizeImage = static_cast<DWORD>(rowBytes * height);
    std::memcpy(&file[kFileHeaderSize], &info, sizeof info);
  }
  GlobalUnlock(dib);
  return file;
}

std::vector<uint8_t> WmfFileBytes(HMETAFILE metafile, const PlaceableMetafileHeader &header) {
  std::vector<uint8_t> file;
  UINT size = GetMetaFileBitsEx(metafile, 0, nullptr);
  if (metafile == nullptr || size == 0) return file;
  file.resize(sizeof header + size);
  std::memcpy(file.data(), &header, sizeof header);
  if (GetMetaFileBitsEx(metafile, size, file.data() + sizeof header) != size) file.clear();
  return file;
}

}  // namespace marlet
