// The real pictures: every SHG file of the corpus and every picture internal
// file of every corpus help file decodes, its PNG reads back at the picture's
// size with the DIB's own pixels (bitmaps) or with something drawn
// (metafiles), its hotspots lie on the picture, and a metafile's SVG is
// either a document a browser shows or refused with a reason.
#include <gtest/gtest.h>
#include <marlet/marlet.h>
#include <quillon/pictures.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "read_back.h"
#include "support/help_builder.h"

using namespace quillon::pictures;
using namespace picturetest;

namespace {

struct Named {
  std::string name;  // file, or file/internal file
  fixture::Bytes bytes;
};

std::vector<std::string> CorpusFiles(const std::string &folder) {
  std::vector<std::string> paths;
  std::string dir = fixture::CorpusDir();
  if (dir.empty() || !std::filesystem::is_directory(dir + "/" + folder)) return paths;
  for (const auto &entry : std::filesystem::directory_iterator(dir + "/" + folder))
    if (entry.is_regular_file()) paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool IsPictureFile(const std::string &name) {
  std::string bare = name.size() > 0 && name[0] == '|' ? name.substr(1) : name;
  return bare.size() > 2 && bare.compare(0, 2, "bm") == 0 &&
         std::all_of(bare.begin() + 2, bare.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int32_t MARLET_API AddName(const char *name, int32_t, MarletUserData user) {
  reinterpret_cast<std::vector<std::string> *>(user)->push_back(name);
  return 1;
}

// The picture internal files of a help file, read through marlet.
std::vector<Named> PicturesOf(const std::string &path) {
  std::vector<Named> pictures;
  IfsHandle help = IFSOpen(path.c_str());
  if (help == nullptr) return pictures;
  std::vector<std::string> names;
  IFSEnumerateFiles(help, AddName, reinterpret_cast<MarletUserData>(&names));
  for (const std::string &name : names) {
    if (!IsPictureFile(name)) continue;
    IfsFileHandle file = IFSOpenFile(help, name.c_str());
    uint32_t size = IFSSeekFile(file, 0, 2);
    IFSSeekFile(file, 0, 0);
    fixture::Bytes bytes(size);
    int32_t read = IFSReadFile(file, bytes.data(), size);
    IFSCloseFile(file);
    bytes.resize(read > 0 ? size_t(read) : 0);
    pictures.push_back({std::filesystem::path(path).filename().string() + "/" + name, std::move(bytes)});
  }
  IFSClose(help);
  return pictures;
}

// What a picture must come out as.
void CheckPicture(const Named &file, const Picture &picture) {
  SCOPED_TRACE(file.name);
  ASSERT_GT(picture.width, 0);
  ASSERT_GT(picture.height, 0);
  EXPECT_EQ(picture.count, 1);  // no file of the corpus holds several resolutions
  for (const Hotspot &h : picture.hotspots) {
    EXPECT_LE(0, h.left);
    EXPECT_LT(h.left, h.right);
    EXPECT_LE(h.right, picture.width);
    EXPECT_LE(0, h.top);
    EXPECT_LT(h.top, h.bottom);
    EXPECT_LE(h.bottom, picture.height);
    EXPECT_FALSE(h.target.empty());
  }
  std::string why;
  std::vector<uint8_t> png = Png(picture, &why);
  ASSERT_FALSE(png.empty()) << why;
  std::optional<Rgba> read = ReadPng(png);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->width, picture.width);
  EXPECT_EQ(read->height, picture.height);
  std::string svg = Svg(picture, &why);
  if (picture.kind == Kind::Bitmap) {
    std::optional<Rgba> expected = DibPixels(picture.dib);
    ASSERT_TRUE(expected);
    EXPECT_TRUE(read->pixels == expected->pixels) << "PNG pixels differ from the DIB's";
    EXPECT_TRUE(svg.empty());
  } else {
    // Something is drawn: more than one colour.
    std::set<uint32_t> colours;
    for (int y = 0; y < read->height && colours.size() < 2; ++y)
      for (int x = 0; x < read->width; ++x) colours.insert(read->At(x, y));
    EXPECT_GE(colours.size(), 2u) << "the metafile's PNG is blank";
    // Every metafile of the corpus wraps a bitmap, which an SVG of libwmf's
    // would misplace: refused, with the reason.
    EXPECT_TRUE(svg.empty());
    EXPECT_EQ(why, "metafile holds bitmaps");
  }
}

TEST(PicturesCorpus, EveryShgFileBecomesAPng) {
  std::vector<std::string> paths = CorpusFiles("shg");
  if (paths.empty()) GTEST_SKIP() << "left out: no corpus pictures on this machine";
  for (const std::string &path : paths) {
    Named file{std::filesystem::path(path).filename().string(), fixture::ReadFileBytes(path)};
    std::string why;
    std::optional<Picture> picture = Decode(file.bytes, &why);
    ASSERT_TRUE(picture) << file.name << ": " << why;
    CheckPicture(file, *picture);
  }
}

TEST(PicturesCorpus, EveryPictureOfEveryHelpFileBecomesAPng) {
  std::vector<std::string> paths = CorpusFiles("hlp");
  if (paths.empty()) GTEST_SKIP() << "left out: no corpus help files on this machine";
  // Pictures per help file, from fentro's listings; the others have none.
  const std::map<std::string, int> kPictures = {{"FlexDSL__HELP.HLP", 4},
                                                {"dean-chapman-alarm-v2-0__1-12898__help.hlp", 1},
                                                {"eudora-win__OT50.HLP", 1},
                                                {"eudora-win__PureVoice.hlp", 6},
                                                {"oemdisplay-tandy__CONTROL.HLP", 15},
                                                {"oemdisplay-tandy__DDAG31WH.HLP", 1},
                                                {"oemdisplay-tandy__MWBACKUP.HLP", 6},
                                                {"oemdisplay-tandy__PROGMAN.HLP", 27}};
  int total = 0;
  for (const std::string &path : paths) {
    std::string name = std::filesystem::path(path).filename().string();
    std::vector<Named> pictures = PicturesOf(path);
    auto known = kPictures.find(name);
    EXPECT_EQ(int(pictures.size()), known == kPictures.end() ? 0 : known->second) << name;
    for (const Named &file : pictures) {
      std::string why;
      std::optional<Picture> picture = Decode(file.bytes, &why);
      ASSERT_TRUE(picture) << file.name << ": " << why;
      CheckPicture(file, *picture);
      ++total;
    }
  }
  EXPECT_EQ(total, 61);
}

// Hotspots as the pictures show them (checked by eye over the PNGs): in a
// bitmap's pixels from the top; in a metafile's window units, which the
// layer maps onto its image (455 x 438 for a window of 12331 x 11870).
TEST(PicturesCorpus, HotspotsLieWhereThePictureShowsThem) {
  struct Case {
    const char *file;
    size_t index;
    Hotspot expected;
  };
  const Case kCases[] = {
      {"os9_68k_sdk_v12__cwappbas__bm0.shg",
       0,
       {20, 146, 753, 267, HotspotKind::Popup, "IDH_Edit_Area", "Hotspot 1"}},
      {"os9_68k_sdk_v12__cwappbas__bm0.shg",
       9,
       {5, 273, 56, 294, HotspotKind::Macro, "JumpID(`cwhelp.hlp',`IDH_Build_Window_Tab')", ""}},
      {"os9_68k_sdk_v12__mwhawk__bm0.shg",
       3,
       {227, 27, 250, 48, HotspotKind::Popup, "Unit_Maintenance_1", ""}},
      {"birthrt__BIRTHRT__bm5.shg", 14, {5, 38, 144, 57, HotspotKind::Popup, "The_Sea_of_Storms", ""}},
      {"birthrt__BIRTHRT__bm5.shg",
       0,
       {307, 296, 437, 346, HotspotKind::Popup, "The_Imperial_Temple_of_Haelyn", ""}},
  };
  std::string dir = fixture::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "left out: no corpus pictures on this machine";
  for (const Case &c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " #" + std::to_string(c.index));
    std::optional<Picture> picture = Decode(fixture::ReadFileBytes(dir + "/shg/" + c.file));
    ASSERT_TRUE(picture);
    ASSERT_LT(c.index, picture->hotspots.size());
    const Hotspot &h = picture->hotspots[c.index];
    EXPECT_EQ(h.left, c.expected.left);
    EXPECT_EQ(h.top, c.expected.top);
    EXPECT_EQ(h.right, c.expected.right);
    EXPECT_EQ(h.bottom, c.expected.bottom);
    EXPECT_EQ(h.kind, c.expected.kind);
    EXPECT_EQ(h.target, c.expected.target);
    EXPECT_EQ(h.name, c.expected.name);
  }
}

}  // namespace
