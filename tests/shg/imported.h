// What an import made, owned for the length of a test, and views of it.
#pragma once

#include <marlet/marlet.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/shg_builder.h"

namespace shgtest {

using fixture::Bytes;

struct Wanted {
  bool dib = true;
  bool metafile = true;
  bool hotspots = true;
};

// Frees every output at the end, whatever the result.
struct Imported {
  int32_t result = -1;
  HGLOBAL dib = nullptr;
  HMETAFILE metafile = nullptr;
  PlaceableMetafileHeader header{};
  HGLOBAL hotspots = nullptr;

  Imported() = default;
  Imported(const Imported &) = delete;
  Imported &operator=(const Imported &) = delete;
  ~Imported() {
    if (dib != nullptr) GlobalFree(dib);
    if (metafile != nullptr) DeleteMetaFile(metafile);
    if (hotspots != nullptr) GlobalFree(hotspots);
  }
};

// The image is copied into a heap buffer of exactly its size, so that the
// sanitizers see any read past it.
inline void ImportEx(Imported &out, const Bytes &image, Wanted want = {}, HWND owner = nullptr) {
  std::vector<uint8_t> exact(image);
  out.result = SHGImportEx(owner, exact.empty() ? nullptr : exact.data(), static_cast<uint32_t>(exact.size()),
                           want.dib ? &out.dib : nullptr, want.metafile ? &out.metafile : nullptr,
                           &out.header, want.hotspots ? &out.hotspots : nullptr);
}

inline void Import(Imported &out, const Bytes &image, Wanted want = {}, HWND owner = nullptr) {
  std::vector<uint8_t> exact(image);
  out.result = SHGImport(owner, exact.data(), want.dib ? &out.dib : nullptr,
                         want.metafile ? &out.metafile : nullptr, &out.header,
                         want.hotspots ? &out.hotspots : nullptr);
}

struct DibView {
  BITMAPINFOHEADER info{};
  Bytes colours;
  Bytes pixels;  // biSizeImage bytes
  size_t blockSize = 0;
};

inline DibView ViewDib(HGLOBAL dib) {
  DibView view;
  Bytes block = fixture::BytesOfGlobal(dib);
  view.blockSize = block.size();
  if (block.size() < 40) return view;
  std::memcpy(&view.info, block.data(), 40);
  size_t colours = 40 + size_t{view.info.biClrUsed} * 4;
  if (colours > block.size()) return view;
  view.colours.assign(block.begin() + 40, block.begin() + static_cast<long>(colours));
  size_t end = std::min(block.size(), colours + view.info.biSizeImage);
  view.pixels.assign(block.begin() + static_cast<long>(colours), block.begin() + static_cast<long>(end));
  return view;
}

inline Bytes MetafileBits(HMETAFILE metafile) {
  UINT size = GetMetaFileBitsEx(metafile, 0, nullptr);
  Bytes bits(size);
  if (size > 0) GetMetaFileBitsEx(metafile, size, bits.data());
  return bits;
}

// A palette of n entries, each a different colour.
inline Bytes Palette(size_t n) {
  Bytes out;
  for (size_t i = 0; i < n; ++i) {
    out.push_back(static_cast<uint8_t>(i * 7));
    out.push_back(static_cast<uint8_t>(i * 13));
    out.push_back(static_cast<uint8_t>(255 - i));
    out.push_back(0);
  }
  return out;
}

}  // namespace shgtest
