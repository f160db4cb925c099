// The real pictures of the shared corpus, taken out of help files: each
// imports whole, with the sizes, colours and hotspots its header states, and
// the bitmaps survive export and import.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <filesystem>
#include <map>
#include <string>

#include "imported.h"
#include "support/help_builder.h"
#include "support/shg_builder.h"

using namespace fixture;
using namespace shgtest;

namespace {

struct Expected {
  bool metafile;
  int32_t width, height;  // pixels, or the placeable header's right and bottom
  uint16_t bits;
  uint32_t colours;
  size_t decoded;  // biSizeImage, or the metafile's bytes
  int hotspots;    // -1: no hotspot data
  int macros;
};

// From the pictures' headers, read apart from the library.
const std::map<std::string, Expected> kExpected = {
    {"birthrt__BIRTHRT__bm5.shg", {true, 1203, 1158, 0, 0, 201920, 15, 0}},
    {"eudora-win__PureVoice__bm0.shg", {true, 836, 698, 0, 0, 250412, -1, 0}},
    {"oemdisplay-tandy__DDAG31WH__bm0.shg", {false, 9, 9, 4, 16, 8 * 9, -1, 0}},
    {"oemdisplay-tandy__MWBACKUP__bm1.shg", {false, 290, 108, 4, 16, 148 * 108, -1, 0}},
    {"oemdisplay-tandy__PROGMAN__bm18.shg", {false, 78, 49, 1, 2, 12 * 49, -1, 0}},
    {"os9_68k_sdk_v12__cwappbas__bm0.shg", {false, 760, 297, 8, 256, 760 * 297, 16, 7}},
    {"os9_68k_sdk_v12__mwhawk__bm0.shg", {false, 406, 263, 4, 16, 204 * 263, 8, 0}},
    {"tpofficepartner__OfficePartner__bm4.shg", {false, 6, 6, 4, 16, 4 * 6, -1, 0}},
};

std::vector<std::string> CorpusPictures() {
  std::vector<std::string> paths;
  std::string dir = CorpusDir();
  if (dir.empty() || !std::filesystem::is_directory(dir + "/shg")) return paths;
  for (const auto &entry : std::filesystem::directory_iterator(dir + "/shg"))
    if (entry.path().extension() == ".shg") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(ShgCorpus, EveryPictureImportsWhole) {
  std::vector<std::string> paths = CorpusPictures();
  if (paths.empty()) GTEST_SKIP() << "left out: no corpus pictures on this machine";
  for (const std::string &path : paths) {
    std::string name = std::filesystem::path(path).filename().string();
    SCOPED_TRACE(name);
    Bytes image = ReadFileBytes(path);
    MessageRecorder recorder;
    Imported got;
    ImportEx(got, image);
    EXPECT_EQ(got.result, 1);
    EXPECT_TRUE(recorder.lines().empty());
    EXPECT_TRUE(got.dib != nullptr || got.metafile != nullptr);

    // The unchecked entry reads the same.
    Imported unchecked;
    Import(unchecked, image);
    EXPECT_EQ(unchecked.result, got.result);
    EXPECT_EQ(BytesOfGlobal(unchecked.dib), BytesOfGlobal(got.dib));
    EXPECT_EQ(MetafileBits(unchecked.metafile), MetafileBits(got.metafile));

    auto known = kExpected.find(name);
    if (known == kExpected.end()) continue;
    const Expected &e = known->second;
    if (e.metafile) {
      ASSERT_NE(got.metafile, nullptr);
      EXPECT_EQ(got.header.right, e.width);
      EXPECT_EQ(got.header.bottom, e.height);
      Bytes bits = MetafileBits(got.metafile);
      EXPECT_EQ(bits.size(), e.decoded);
      // The METAHEADER's size in words matches the bytes decoded.
      ASSERT_GE(bits.size(), 18u);
      EXPECT_EQ((bits[6] | bits[7] << 8 | bits[8] << 16 | uint32_t{bits[9]} << 24) * 2u, bits.size());
    } else {
      ASSERT_NE(got.dib, nullptr);
      DibView dib = ViewDib(got.dib);
      EXPECT_EQ(dib.info.biWidth, e.width);
      EXPECT_EQ(dib.info.biHeight, e.height);
      EXPECT_EQ(dib.info.biBitCount, e.bits);
      EXPECT_EQ(dib.info.biClrUsed, e.colours);
      EXPECT_EQ(dib.info.biSizeImage, e.decoded);
    }
    if (e.hotspots < 0) {
      EXPECT_EQ(got.hotspots, nullptr);
      continue;
    }
    ReadList list = ReadHotspotList(got.hotspots);
    EXPECT_EQ(list.count, e.hotspots);
    int macros = 0;
    for (const ListHotspot &h : list.hotspots) {
      EXPECT_FALSE(h.target.empty());
      EXPECT_LT(h.left, h.right);
      EXPECT_LT(h.top, h.bottom);
      if (h.kind == SHG_HOTSPOT_MACRO) {
        ++macros;
        EXPECT_EQ(h.target.rfind("JumpID(", 0), 0u) << h.target;
      }
    }
    EXPECT_EQ(macros, e.macros);
  }
}

TEST(ShgCorpus, BitmapsSurviveExportAndImport) {
  std::vector<std::string> paths = CorpusPictures();
  if (paths.empty()) GTEST_SKIP() << "left out: no corpus pictures on this machine";
  int bitmaps = 0;
  for (const std::string &path : paths) {
    SCOPED_TRACE(path);
    Imported first;
    ImportEx(first, ReadFileBytes(path));
    if (first.dib == nullptr) continue;
    ++bitmaps;
    HGLOBAL exported = SHGExport(0, first.dib, first.hotspots);
    ASSERT_NE(exported, nullptr);
    Bytes file = BytesOfGlobal(exported);
    GlobalFree(exported);
    Imported second;
    ImportEx(second, file);
    EXPECT_EQ(second.result, 1);
    DibView a = ViewDib(first.dib), b = ViewDib(second.dib);
    EXPECT_EQ(b.info.biWidth, a.info.biWidth);
    EXPECT_EQ(b.info.biHeight, a.info.biHeight);
    EXPECT_EQ(b.info.biBitCount, a.info.biBitCount);
    EXPECT_EQ(b.colours, a.colours);
    EXPECT_EQ(b.pixels, a.pixels);
    EXPECT_EQ(b.info.biXPelsPerMeter, 0);
    EXPECT_EQ(ReadHotspotList(second.hotspots).hotspots, ReadHotspotList(first.hotspots).hotspots);
  }
  EXPECT_EQ(bitmaps, 6);
}

}  // namespace
