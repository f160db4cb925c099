#include "picture_file.h"

#include <cstring>

namespace pictures {
namespace {

constexpr size_t kFileHeaderSize = 14;

void Put32(uint8_t *at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

bool BmpFileHead(const uint8_t *block, size_t size, uint8_t (&head)[kBmpHeadSize], size_t &dibBytes) {
  BITMAPINFOHEADER info{};
  if (block == nullptr || size < sizeof info) return false;
  std::memcpy(&info, block, sizeof info);
  const uint64_t tableBytes = uint64_t{info.biClrUsed} * 4;
  const uint64_t height = info.biHeight < 0 ? -int64_t{info.biHeight} : info.biHeight;
  const uint64_t rowBytes = (uint64_t{info.biBitCount} * static_cast<uint32_t>(info.biWidth) + 31) / 32 * 4;
  const uint64_t bytes = sizeof info + tableBytes + rowBytes * height;
  if (info.biSize != sizeof info || info.biCompression != BI_RGB || info.biWidth < 0 || bytes > size ||
      kFileHeaderSize + bytes > 0xFFFFFFFFu)
    return false;
  head[0] = 'B';
  head[1] = 'M';
  Put32(&head[2], static_cast<uint32_t>(kFileHeaderSize + bytes));
  Put32(&head[6], 0);
  Put32(&head[10], static_cast<uint32_t>(kFileHeaderSize + sizeof info + tableBytes));
  info.biSizeImage = static_cast<DWORD>(rowBytes * height);
  std::memcpy(&head[kFileHeaderSize], &info, sizeof info);
  dibBytes = static_cast<size_t>(bytes);
  return true;
}

std::vector<uint8_t> BmpFileBytes(HGLOBAL dib) {
  std::vector<uint8_t> file;
  const auto *block = dib != nullptr ? static_cast<const uint8_t *>(GlobalLock(dib)) : nullptr;
  if (block == nullptr) return file;
  uint8_t head[kBmpHeadSize];
  size_t dibBytes = 0;
  if (BmpFileHead(block, GlobalSize(dib), head, dibBytes)) {
    file.reserve(kFileHeaderSize + dibBytes);
    file.insert(file.end(), head, head + kBmpHeadSize);
    file.insert(file.end(), block + sizeof(BITMAPINFOHEADER), block + dibBytes);
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

}  // namespace pictures
