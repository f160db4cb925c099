// The picture layer's writers.  Bitmaps: PNG of a 1024 x 768 screen shot of
// 8 bits, of 4 bits and of 24 bits (throughput counts the DIB's pixel
// bytes), and Decode + Png of every bitmap of the corpus.  Metafiles: Png
// and Svg of the corpus's metafiles (libwmf's drawing dominates).
#include <benchmark/benchmark.h>
#include <quillon/pictures.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace quillon::pictures;

namespace {

constexpr int kWidth = 1024, kHeight = 768;

// Something like a screen shot: flat areas, lines of colour, and a band of
// noise where a photograph would be.  Values up to 2^bits - 1.
uint8_t Value(int row, int col, uint32_t &noise, unsigned bits) {
  unsigned value = (row / 48) * 16 + (col / 128);
  if (col % 97 == 0 || row % 61 == 0) value = 255;
  if (row > 500 && row < 600 && col > 200 && col < 700) {
    noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
    value = noise;
  }
  return static_cast<uint8_t>(value & ((1u << bits) - 1));
}

Picture ScreenShot(unsigned bits) {
  size_t stride = (size_t(bits) * kWidth + 31) / 32 * 4;
  size_t colours = bits <= 8 ? size_t{1} << bits : 0;
  Picture p;
  p.width = kWidth;
  p.height = kHeight;
  p.dib.assign(40 + colours * 4 + stride * kHeight, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&p.dib[at], &v, 4); };
  put32(0, 40), put32(4, kWidth), put32(8, kHeight);
  p.dib[12] = 1, p.dib[14] = static_cast<uint8_t>(bits);
  put32(32, static_cast<uint32_t>(colours));
  for (size_t i = 0; i < colours; ++i)
    p.dib[40 + 4 * i] = uint8_t(i * 7), p.dib[41 + 4 * i] = uint8_t(i * 3), p.dib[42 + 4 * i] = uint8_t(i);
  uint8_t *rows = &p.dib[40 + colours * 4];
  uint32_t noise = 12345;
  for (int row = 0; row < kHeight; ++row) {
    uint8_t *r = rows + row * stride;
    for (int col = 0; col < kWidth; ++col) {
      uint8_t v = Value(row, col, noise, bits <= 8 ? bits : 8);
      if (bits == 4)
        r[col / 2] |= static_cast<uint8_t>(col % 2 == 0 ? v << 4 : v);
      else if (bits == 8)
        r[col] = v;
      else
        r[3 * col] = v, r[3 * col + 1] = uint8_t(v * 5), r[3 * col + 2] = uint8_t(255 - v);
    }
  }
  return p;
}

void PngOf(benchmark::State &state, unsigned bits) {
  Picture picture = ScreenShot(bits);
  size_t bytes = 0;
  for (auto _ : state) {
    std::vector<uint8_t> png = Png(picture);
    bytes = png.size();
    benchmark::DoNotOptimize(png.data());
  }
  size_t pixelBytes = (size_t(bits) * kWidth + 31) / 32 * 4 * kHeight;
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixelBytes));
  state.counters["png_bytes"] = double(bytes);
}
void BM_Png8Bits(benchmark::State &state) { PngOf(state, 8); }
void BM_Png4Bits(benchmark::State &state) { PngOf(state, 4); }
void BM_Png24Bits(benchmark::State &state) { PngOf(state, 24); }
BENCHMARK(BM_Png8Bits)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Png4Bits)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Png24Bits)->Unit(benchmark::kMicrosecond);

std::vector<std::vector<uint8_t>> CorpusPictures(Kind kind) {
  std::vector<std::vector<uint8_t>> images;
  std::string dir = std::string(QUILLON_CORPUS_DIR) + "/shg";
  if (std::string(QUILLON_CORPUS_DIR).empty() || !std::filesystem::is_directory(dir)) return images;
  std::vector<std::filesystem::path> paths;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  for (const auto &path : paths) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::optional<Picture> picture = Decode(bytes);
    if (picture && picture->kind == kind) images.push_back(std::move(bytes));
  }
  return images;
}

// Decode and Png of each bitmap of the corpus, one picture per iteration.
void BM_CorpusBitmaps(benchmark::State &state) {
  std::vector<std::vector<uint8_t>> images = CorpusPictures(Kind::Bitmap);
  if (images.empty()) return state.SkipWithError("no corpus");
  size_t i = 0, bytes = 0;
  for (auto _ : state) {
    const std::vector<uint8_t> &image = images[i++ % images.size()];
    std::optional<Picture> picture = Decode(image);
    std::vector<uint8_t> png = Png(*picture);
    benchmark::DoNotOptimize(png.data());
    bytes += image.size();
  }
  state.SetBytesProcessed(int64_t(bytes));
  state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_CorpusBitmaps)->Unit(benchmark::kMicrosecond);

void BM_CorpusMetafilesPng(benchmark::State &state) {
  std::vector<std::vector<uint8_t>> images = CorpusPictures(Kind::Metafile);
  if (images.empty()) return state.SkipWithError("no corpus");
  std::vector<Picture> pictures;
  for (const auto &image : images) pictures.push_back(*Decode(image));
  size_t i = 0;
  for (auto _ : state) {
    std::vector<uint8_t> png = Png(pictures[i++ % pictures.size()]);
    benchmark::DoNotOptimize(png.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_CorpusMetafilesPng)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
