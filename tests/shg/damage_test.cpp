// Damaged pictures through the length-checked import: each gives result 0 or
// a clean partial result, never a read or write outside a buffer (the
// sanitizer build checks) and never a leak.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <string>
#include <vector>

#include "imported.h"
#include "shg/codec.h"
#include "support/shg_builder.h"

using namespace fixture;
using namespace shgtest;

namespace {

Bytes Rle(const Bytes &in) {
  Bytes out(marlet::CompressRleBound(in.size()));
  out.resize(marlet::CompressRle(marlet::Bytes(in), out));
  return out;
}

std::vector<FileHotspot> ThreeHotspots() {
  return {
      {0x04E7, 1, 2, 10, 4, "Jump one", "ctx_jump", ""},
      {0x04E6, 3, 4, 5, 6, "Pop", "ctx_popup", ""},
      {0x04CC, 0, 0, 13, 7, "Run it", "unused second", "ExecProgram(`calc')"},
  };
}

BitmapPicture Picture(uint8_t method = 1) {
  BitmapPicture p;
  p.method = method;
  p.bitCount = 8;
  p.width = 13;
  p.height = 7;
  p.colours = Palette(6);
  Bytes pixels = RandomBytes(16 * 7, 5, 6);
  p.packed = method == 0 ? pixels : method == 1 ? Rle(pixels) : method == 2 ? Lz77Pack(pixels)
                                                                           : Lz77Pack(Rle(pixels));
  p.hotspots = BuildHotspotData(ThreeHotspots());
  return p;
}

// Offset of a field of the hotspot data inside a built file.
size_t HotspotField(const BuiltShg &b, size_t at) { return b.hotspotsAt + at; }

struct Damaged {
  std::string what;
  Bytes image;
  int32_t result;
  bool dib;           // a DIB is handed out
  int hotspots;       // entries in the list handed out, -1: no list
  size_t messages = 0;
};

std::vector<Damaged> DamagedPictures() {
  std::vector<Damaged> cases;
  const BuiltShg good = BuildBitmapShg(Picture());
  const Bytes &g = good.bytes;
  auto with = [&](auto change) {
    Bytes b = g;
    change(b);
    return b;
  };
  auto built = [](auto change) {
    BitmapPicture p = Picture();
    change(p);
    return BuildBitmapShg(p).bytes;
  };
  auto cut = [&](size_t n) { return Bytes(g.begin(), g.begin() + static_cast<long>(n)); };
  const size_t records = good.hotspotsAt + 7;
  const size_t macroRecord = records + 2 * 15;

  cases.push_back({"the good picture", g, 1, true, 3});
  cases.push_back({"cut inside the file header", cut(6), 0, false, -1});
  cases.push_back({"first picture offset past the image", with([&](Bytes &b) { SetU32(b, 4, 100000); }), 0, false, -1});
  cases.push_back({"first picture offset at the image's end",
                   with([&](Bytes &b) { SetU32(b, 4, static_cast<uint32_t>(b.size())); }), 0, false, -1});
  cases.push_back({"cut after the type word", cut(good.headerAt), 0, false, -1});
  cases.push_back({"cut inside the bitmap header", cut(good.headerAt + 5), 0, false, -1});
  cases.push_back({"cut inside the stored offsets", cut(good.offsetsAt + 6), 0, false, -1});
  cases.push_back({"colour count past the image", built([](BitmapPicture &p) { p.colorsUsed = 100000; }), 0, false,
                   -1});
  cases.push_back({"colour count 0x7FFFFFFF", built([](BitmapPicture &p) { p.colorsUsed = 0x7FFFFFFF; }), 0, false,
                   -1});
  cases.push_back({"cut inside the colour table", cut(good.coloursAt + 10), 0, false, -1});
  cases.push_back({"CompressedSize past the image",
                   built([](BitmapPicture &p) { p.compressedSize = static_cast<uint32_t>(p.packed.size() + 5000); }),
                   0, false, -1});
  cases.push_back({"CompressedSize 0x7FFFFFFF", built([](BitmapPicture &p) { p.compressedSize = 0x7FFFFFFF; }), 0,
                   false, -1});
  cases.push_back({"cut inside the picture data", cut(good.dataAt + 3), 0, false, -1});
  cases.push_back({"HotspotSize past the image: cut at its end",
                   built([](BitmapPicture &p) { p.hotspotSize = static_cast<uint32_t>(p.hotspots.size() + 900); }), 0,
                   true, 3});
  cases.push_back({"HotspotSize short of the strings",
                   built([](BitmapPicture &p) { p.hotspotSize = static_cast<uint32_t>(p.hotspots.size() - 3); }), 0,
                   true, 2});
  cases.push_back({"cut inside the hotspot data header", cut(good.hotspotsAt + 4), 0, true, 0});
  cases.push_back({"cut inside the hotspot records", cut(records + 20), 0, true, 0});
  cases.push_back({"cut inside the last string", cut(g.size() - 4), 0, true, 2});
  cases.push_back({"last string without terminator", with([](Bytes &b) { b.back() = 'x'; }), 0, true, 2});
  cases.push_back({"hotspot count 1000: the records run into the strings",
                   with([&](Bytes &b) { SetU16(b, HotspotField(good, 1), 1000); }), 0, true, 0});
  cases.push_back({"hotspot count 65535", with([&](Bytes &b) { SetU16(b, HotspotField(good, 1), 0xFFFF); }), 0, true,
                   0});
  cases.push_back({"macro area size past the image",
                   with([&](Bytes &b) { SetU32(b, HotspotField(good, 3), 0xFFFFFFFF); }), 0, true, 0});
  cases.push_back({"macro offset past the macro area", with([&](Bytes &b) { SetU32(b, macroRecord + 11, 5000); }), 0,
                   true, 2});
  cases.push_back({"macro offset 0xFFFFFFFF", with([&](Bytes &b) { SetU32(b, macroRecord + 11, 0xFFFFFFFF); }), 0,
                   true, 2});
  cases.push_back({"macro text without terminator in its area", with([&](Bytes &b) {
                     size_t macroEnd = records + 3 * 15 + sizeof "ExecProgram(`calc')" - 1;
                     b[macroEnd] = 'x';
                   }),
                   0, true, 2});
  {
    std::vector<FileHotspot> many(600, FileHotspot{0x04E7, 1, 1, 1, 1, "n", "t", ""});
    // 564 + 64 k + 4 k <= 32768
    cases.push_back({"600 hotspots do not fit the list",
                     built([&](BitmapPicture &p) { p.hotspots = BuildHotspotData(many); }), 0, true,
                     (32768 - 564) / 68});
    std::vector<FileHotspot> long3(3, FileHotspot{0x04E6, 1, 1, 1, 1, std::string(20000, 'n'), "t", ""});
    cases.push_back({"strings too long for the list",
                     built([&](BitmapPicture &p) { p.hotspots = BuildHotspotData(long3); }), 0, true, 1});
  }
  for (uint16_t bits : {0, 2, 3, 7, 255})
    cases.push_back({"BitCount " + std::to_string(bits), built([&](BitmapPicture &p) { p.bitCount = bits; }), 0,
                     false, -1});
  cases.push_back({"Width x Height past 32 bits", built([](BitmapPicture &p) {
                     p.width = 0x10000;
                     p.height = 0x10000;
                   }),
                   0, false, 3, 1});
  cases.push_back({"Width x BitCount past 32 bits", built([](BitmapPicture &p) {
                     p.width = 0x7FFFFFFF;
                     p.bitCount = 32;
                     p.height = 1;
                   }),
                   0, false, 3, 1});
  cases.push_back({"Height 0x7FFFFFFF", built([](BitmapPicture &p) { p.height = 0x7FFFFFFF; }), 0, false, 3, 1});
  cases.push_back({"stored data longer than the DIB's room", built([](BitmapPicture &p) {
                     p.method = 0;
                     p.packed = RandomBytes(1000, 1);
                   }),
                   0, true, 3});
  cases.push_back({"run-length data decoding past the DIB's room", built([](BitmapPicture &p) {
                     p.packed = Bytes{127, 1, 127, 2, 127, 3};
                   }),
                   0, true, 3});
  cases.push_back({"LZ77 back-reference before the start", built([](BitmapPicture &p) {
                     p.method = 2;
                     p.packed = Bytes{0x02, 'a', 0x05, 0x00, 'b'};
                   }),
                   0, true, 3});
  cases.push_back({"LZ77 then run-length, back-reference before the start", built([](BitmapPicture &p) {
                     p.method = 3;
                     p.packed = Bytes{0x01, 0xFF, 0x0F};
                   }),
                   0, true, 3});
  cases.push_back({"one byte", Bytes{'l'}, 0, false, -1, 1});
  cases.push_back({"empty", Bytes{}, 0, false, -1, 1});

  // Metafiles.
  MetafilePicture mp;
  mp.method = 1;
  mp.packed = Rle(SmallMetafile(5));
  mp.hotspots = BuildHotspotData(ThreeHotspots());
  const BuiltShg meta = BuildMetafileShg(mp);
  auto builtMeta = [&](auto change) {
    MetafilePicture p = mp;
    change(p);
    return BuildMetafileShg(p).bytes;
  };
  cases.push_back({"metafile header cut", Bytes(meta.bytes.begin(), meta.bytes.begin() + 14), 0, false, -1});
  cases.push_back({"metafile CompressedSize past the image",
                   builtMeta([](MetafilePicture &p) { p.compressedSize = 70000; }), 0, false, -1});
  cases.push_back({"metafile HotspotSize past the image",
                   builtMeta([](MetafilePicture &p) { p.hotspotSize = 70000; }), 0, false, 3});
  cases.push_back({"metafile decoding past its work block", builtMeta([](MetafilePicture &p) {
                     p.packed = Bytes{127, 0, 127, 0, 127, 0, 127, 0};  // 508 bytes into a block of 400
                   }),
                   0, false, 3});
  return cases;
}

TEST(ShgDamage, EachDamagedPictureGivesACleanResult) {
  for (const Damaged &c : DamagedPictures()) {
    SCOPED_TRACE(c.what);
    MessageRecorder recorder;
    Imported got;
    ImportEx(got, c.image);
    EXPECT_EQ(got.result, c.result);
    EXPECT_EQ(got.dib != nullptr, c.dib);
    if (c.hotspots < 0) {
      EXPECT_EQ(got.hotspots, nullptr);
    } else {
      ASSERT_NE(got.hotspots, nullptr);
      ReadList list = ReadHotspotList(got.hotspots);
      EXPECT_EQ(list.count, c.hotspots);
      EXPECT_EQ(list.magic, 0x2FA7);
      EXPECT_LE(list.endOfData, 32768u);
      EXPECT_GE(list.endOfData, 564u + 64u * static_cast<unsigned>(c.hotspots));
    }
    EXPECT_EQ(recorder.lines().size(), c.messages);
    if (got.dib != nullptr) {
      DibView dib = ViewDib(got.dib);
      EXPECT_LE(40 + dib.info.biClrUsed * 4 + dib.info.biSizeImage, dib.blockSize);
    }
  }
}

TEST(ShgDamage, PartialListsKeepTheWholeHotspotsUnchanged) {
  BitmapPicture p = Picture();
  p.hotspotSize = static_cast<uint32_t>(p.hotspots.size() - 3);
  Imported got;
  ImportEx(got, BuildBitmapShg(p).bytes);
  ReadList list = ReadHotspotList(got.hotspots);
  ASSERT_EQ(list.hotspots.size(), 2u);
  EXPECT_EQ(list.hotspots[0], (ListHotspot{1, 2, 11, 6, SHG_HOTSPOT_JUMP, "ctx_jump", "Jump one"}));
  EXPECT_EQ(list.hotspots[1], (ListHotspot{3, 4, 8, 10, SHG_HOTSPOT_POPUP, "ctx_popup", "Pop"}));
  EXPECT_EQ(list.endOfData, 564u + 128 + sizeof "ctx_jump" + sizeof "Jump one" + sizeof "ctx_popup" + sizeof "Pop");
}

TEST(ShgDamage, ANullImageIsNoSHGFile) {
  MessageRecorder recorder;
  HGLOBAL dib = nullptr;
  EXPECT_EQ(SHGImportEx(nullptr, nullptr, 100, &dib, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(SHGImport(nullptr, nullptr, &dib, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(dib, nullptr);
  EXPECT_EQ(recorder.lines().size(), 2u);
}

// Every cut of good pictures of each kind and method: result 0 unless whole.
TEST(ShgDamage, EveryTruncationIsRefusedOrPartial) {
  std::vector<Bytes> images;
  for (uint8_t method : {0, 1, 2, 3}) images.push_back(BuildBitmapShg(Picture(method)).bytes);
  for (uint8_t method : {0, 1, 2}) {
    MetafilePicture mp;
    mp.method = method;
    Bytes wmf = SmallMetafile(6);
    mp.packed = method == 0 ? wmf : method == 1 ? Rle(wmf) : Lz77Pack(wmf);
    mp.hotspots = BuildHotspotData(ThreeHotspots());
    images.push_back(BuildMetafileShg(mp).bytes);
  }
  MessageRecorder recorder;
  for (const Bytes &image : images) {
    for (size_t n = 0; n <= image.size(); ++n) {
      Imported got;
      ImportEx(got, Bytes(image.begin(), image.begin() + static_cast<long>(n)));
      ASSERT_EQ(got.result, n == image.size() ? 1 : 0) << "cut at " << n << " of " << image.size();
    }
  }
}

// Every byte of good pictures set to a few values: no crash, no leak, and the
// outputs are sound blocks.
TEST(ShgDamage, ChangedBytesNeverCrash) {
  std::vector<Bytes> images = {BuildBitmapShg(Picture(1)).bytes, BuildBitmapShg(Picture(3)).bytes};
  MetafilePicture mp;
  mp.method = 2;
  mp.packed = Lz77Pack(SmallMetafile(6));
  mp.hotspots = BuildHotspotData(ThreeHotspots());
  images.push_back(BuildMetafileShg(mp).bytes);
  MessageRecorder recorder;
  for (const Bytes &image : images) {
    for (size_t at = 0; at < image.size(); ++at) {
      for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x81}, static_cast<uint8_t>(image[at] ^ 1)}) {
        Bytes changed = image;
        changed[at] = value;
        Imported got;
        ImportEx(got, changed);
        ASSERT_TRUE(got.result == 0 || got.result == 1);
        if (got.hotspots != nullptr) {
          ASSERT_EQ(GlobalSize(got.hotspots), 32768u);
          ASSERT_LE(ReadHotspotList(got.hotspots).endOfData, 32768u);
        }
      }
    }
  }
}

}  // namespace
