// Import and export of a 1024 x 768 picture of 8 bits.  Throughput counts
// the picture's pixel bytes (786432) per call.
#include <benchmark/benchmark.h>

#include <marlet/marlet.h>

#include <cstring>
#include <vector>

#include "shg/codec.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr size_t kPixelBytes = size_t{kWidth} * kHeight;

// Something like a screen shot: flat areas and lines of colour, and a band of
// noise where a photograph would be.
std::vector<uint8_t> Pixels() {
  std::vector<uint8_t> pixels(kPixelBytes);
  uint32_t x = 12345;
  for (int row = 0; row < kHeight; ++row) {
    for (int col = 0; col < kWidth; ++col) {
      uint8_t value = static_cast<uint8_t>((row / 48) * 16 + (col / 128));
      if (col % 97 == 0 || row % 61 == 0) value = 255;
      if (row > 500 && row < 600 && col > 200 && col < 700) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        value = static_cast<uint8_t>(x);
      }
      pixels[size_t(row) * kWidth + col] = value;
    }
  }
  return pixels;
}

HGLOBAL MakeDib() {
  std::vector<uint8_t> pixels = Pixels();
  HGLOBAL dib = GlobalAlloc(GHND, 40 + 1024 + kPixelBytes);
  auto *block = static_cast<uint8_t *>(GlobalLock(dib));
  BITMAPINFOHEADER info{};
  info.biSize = 40;
  info.biWidth = kWidth;
  info.biHeight = kHeight;
  info.biPlanes = 1;
  info.biBitCount = 8;
  info.biClrUsed = 256;
  std::memcpy(block, &info, sizeof info);
  for (int i = 0; i < 256; ++i) block[40 + 4 * i] = block[41 + 4 * i] = block[42 + 4 * i] = uint8_t(i);
  std::memcpy(block + 40 + 1024, pixels.data(), kPixelBytes);
  GlobalUnlock(dib);
  return dib;
}

std::vector<uint8_t> Exported() {
  HGLOBAL dib = MakeDib();
  HGLOBAL file = SHGExport(0, dib, nullptr);
  std::vector<uint8_t> bytes(GlobalSize(file));
  std::memcpy(bytes.data(), GlobalLock(file), bytes.size());
  GlobalUnlock(file);
  GlobalFree(file);
  GlobalFree(dib);
  return bytes;
}

// The same picture stored unpacked (method 0).
std::vector<uint8_t> Stored() {
  std::vector<uint8_t> pixels = Pixels();
  std::vector<uint8_t> file = {'l', 'p', 1, 0, 8, 0, 0, 0, 6, 0};
  uint8_t field[4];
  auto putLong = [&](uint32_t v) { file.insert(file.end(), field, field + marlet::WriteShgULong(field, v)); };
  putLong(96);
  putLong(96);
  file.push_back(2);   // Planes 1
  file.push_back(16);  // BitCount 8
  for (uint32_t v : {uint32_t{kWidth}, uint32_t{kHeight}, 256u, 0u, uint32_t(kPixelBytes), 0u}) putLong(v);
  file.insert(file.end(), 8, 0);     // offsets, not read
  file.insert(file.end(), 1024, 0);  // colour table
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

void Import(benchmark::State &state, const std::vector<uint8_t> &file) {
  HGLOBAL check = nullptr;
  if (SHGImportEx(nullptr, file.data(), static_cast<uint32_t>(file.size()), &check, nullptr, nullptr, nullptr) != 1 ||
      check == nullptr)
    state.SkipWithError("the picture does not import");
  GlobalFree(check);
  for (auto _ : state) {
    HGLOBAL dib = nullptr;
    int32_t result = SHGImportEx(nullptr, file.data(), static_cast<uint32_t>(file.size()), &dib, nullptr, nullptr,
                                 nullptr);
    benchmark::DoNotOptimize(result);
    GlobalFree(dib);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixelBytes));
  state.counters["file_bytes"] = static_cast<double>(file.size());
}

void BM_ImportRunLength(benchmark::State &state) {
  static const std::vector<uint8_t> file = Exported();
  Import(state, file);
}
BENCHMARK(BM_ImportRunLength)->Unit(benchmark::kMicrosecond);

void BM_ImportStored(benchmark::State &state) {
  static const std::vector<uint8_t> file = Stored();
  Import(state, file);
}
BENCHMARK(BM_ImportStored)->Unit(benchmark::kMicrosecond);

void BM_Export(benchmark::State &state) {
  HGLOBAL dib = MakeDib();
  for (auto _ : state) {
    HGLOBAL file = SHGExport(0, dib, nullptr);
    benchmark::DoNotOptimize(file);
    GlobalFree(file);
  }
  GlobalFree(dib);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixelBytes));
}
BENCHMARK(BM_Export)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
