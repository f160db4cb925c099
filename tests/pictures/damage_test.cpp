// Damaged SHG images through Decode, Png and Svg: each gives a picture or a
// reason, never a crash, a read outside a buffer (the sanitizer build
// checks) or a leak; and what is decoded still writes a PNG of its size.
#include <gtest/gtest.h>
#include <quillon/pictures.h>

#include <functional>

#include "read_back.h"
#include "support/shg_builder.h"

using namespace quillon::pictures;
using namespace picturetest;
using fixture::Bytes;

namespace {

fixture::BitmapPicture Bitmap() {
  fixture::BitmapPicture p;
  p.bitCount = 4;
  p.width = 13;
  p.height = 7;
  p.colours = fixture::RandomBytes(16 * 4, 1);
  p.packed = fixture::RandomBytes(8 * 7, 2);
  fixture::FileHotspot h;
  h.left = 1, h.top = 2, h.width = 30, h.height = 4;  // reaches past the picture: cut at its edge
  h.target = "ctx";
  p.hotspots = fixture::BuildHotspotData({h});
  return p;
}

// The bitmap above changed, as an SHG file.
Bytes BitmapWith(const std::function<void(fixture::BitmapPicture &)> &change) {
  fixture::BitmapPicture p = Bitmap();
  change(p);
  return fixture::BuildBitmapShg(p).bytes;
}
// The built file of the bitmap above, its bytes changed.
Bytes FileWith(const std::function<void(fixture::BuiltShg &)> &change) {
  fixture::BuiltShg b = fixture::BuildBitmapShg(Bitmap());
  change(b);
  return b.bytes;
}
Bytes MetafileCut() {
  fixture::BuiltShg b = fixture::MetafileShg(fixture::SmallMetafile(20), 2000, 2000);
  b.bytes.resize(b.dataAt + 30);
  return b.bytes;
}

struct Case {
  const char *what;
  Bytes image;
  bool decodes;
};

std::vector<Case> Cases() {
  using fixture::BitmapPicture;
  using fixture::BuiltShg;
  using fixture::SetU16;
  using fixture::SetU32;
  return {
      {"empty", {}, false},
      {"magic alone", {'l', 'p'}, false},
      {"other magic", FileWith([](BuiltShg &b) { b.bytes[1] = 'x'; }), false},
      {"count without offsets", {'l', 'p', 1, 0}, false},
      {"offset cut", {'l', 'p', 1, 0, 8, 0}, false},
      {"count 0", FileWith([](BuiltShg &b) { SetU16(b.bytes, 2, 0); }), false},
      {"count 65535, one offset there", FileWith([](BuiltShg &b) { SetU16(b.bytes, 2, 65535); }), true},
      {"offset past the end", FileWith([](BuiltShg &b) { SetU32(b.bytes, 4, 1u << 31); }), false},
      {"offset at the end", FileWith([](BuiltShg &b) { SetU32(b.bytes, 4, uint32_t(b.bytes.size())); }),
       false},
      {"picture of type 7", FileWith([](BuiltShg &b) { b.bytes[b.pictureAt] = 7; }), false},
      {"packing method 9", FileWith([](BuiltShg &b) { b.bytes[b.pictureAt + 1] = 9; }), false},
      {"header cut", FileWith([](BuiltShg &b) { b.bytes.resize(b.headerAt + 5); }), false},
      {"random bytes behind the type", FileWith([](BuiltShg &b) {
         Bytes noise = fixture::RandomBytes(500, 9);
         b.bytes.resize(b.headerAt);
         b.bytes.insert(b.bytes.end(), noise.begin(), noise.end());
       }),
       false},
      {"bit count 3", BitmapWith([](BitmapPicture &p) { p.bitCount = 3; }), false},
      {"bit count 0", BitmapWith([](BitmapPicture &p) { p.bitCount = 0; }), false},
      {"bit count 64", BitmapWith([](BitmapPicture &p) { p.bitCount = 64; }), false},
      {"width 0", BitmapWith([](BitmapPicture &p) { p.width = 0; }), false},
      {"height 0", BitmapWith([](BitmapPicture &p) { p.height = 0; }), false},
      {"width 2^30", BitmapWith([](BitmapPicture &p) { p.width = 1u << 30; }), false},
      {"16384 x 16384 pixels", BitmapWith([](BitmapPicture &p) { p.width = p.height = 16384; }), false},
      {"colours past the end", BitmapWith([](BitmapPicture &p) { p.colorsUsed = 1u << 30; }), false},
      {"packed data past the end", BitmapWith([](BitmapPicture &p) { p.compressedSize = 100000; }), false},
      {"rows cut short (kept, the rest zero)", BitmapWith([](BitmapPicture &p) { p.packed.resize(20); }),
       true},
      {"run-length data that overflow",
       BitmapWith([](BitmapPicture &p) { p.method = 1, p.packed = Bytes(200, 0x7F); }), true},
      {"hotspots past the end", BitmapWith([](BitmapPicture &p) { p.hotspotSize = 5000; }), true},
      {"hotspot count 65535", FileWith([](BuiltShg &b) { SetU16(b.bytes, b.hotspotsAt + 1, 65535); }), true},
      {"metafile cut", MetafileCut(), false},
      {"metafile of size 0 x 0", fixture::MetafileShg(fixture::SmallMetafile(3), 0, 0).bytes, false},
      {"metafile of no records", fixture::MetafileShg(Bytes(18, 0), 2000, 2000).bytes, false},
      {"metafile 655 x 655 mm", fixture::MetafileShg(fixture::SmallMetafile(50), 65535, 65535).bytes, true},
  };
}

TEST(PicturesDamage, DamagedImagesGiveAPictureOrAReason) {
  for (const Case &c : Cases()) {
    SCOPED_TRACE(c.what);
    const Bytes &image = c.image;
    std::string why;
    std::optional<Picture> picture = Decode(image, &why);
    EXPECT_EQ(picture.has_value(), c.decodes) << why;
    if (!picture) {
      EXPECT_FALSE(why.empty());
      continue;
    }
    for (const Hotspot &h : picture->hotspots) {
      EXPECT_TRUE(0 <= h.left && h.left <= h.right && h.right <= picture->width);
      EXPECT_TRUE(0 <= h.top && h.top <= h.bottom && h.bottom <= picture->height);
    }
    std::vector<uint8_t> png = Png(*picture, &why);
    if (png.empty()) {
      EXPECT_FALSE(why.empty());
    } else {
      std::optional<Rgba> read = ReadPng(png);
      ASSERT_TRUE(read);
      EXPECT_EQ(read->width, picture->width);
      EXPECT_EQ(read->height, picture->height);
    }
    Svg(*picture, &why);
  }
}

// Hand-made Pictures whose DIB or metafile does not hold what its header says.
TEST(PicturesDamage, PngOfALyingPictureIsRefused) {
  Bytes dib = fixture::DibBytes(8, 10, 10, fixture::RandomBytes(1024, 1), fixture::RandomBytes(120, 2));
  struct Case {
    const char *what;
    size_t at;
    uint32_t value;
  };
  const Case kCases[] = {{"rows past the end", 8, 100},
                         {"bit count 5", 14, 5},
                         {"compressed", 16, 1},
                         {"header of 12 bytes", 0, 12},
                         {"negative width", 4, 0xFFFFFFF0u}};
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.what);
    Picture picture;
    picture.dib = dib;
    picture.width = picture.height = 10;
    if (c.at == 14)
      fixture::SetU16(picture.dib, c.at, c.value);
    else
      fixture::SetU32(picture.dib, c.at, c.value);
    std::string why;
    EXPECT_TRUE(Png(picture, &why).empty());
    EXPECT_FALSE(why.empty());
  }
  Picture headerOnly;  // a placeable header cut after its units per inch
  headerOnly.kind = Kind::Metafile;
  headerOnly.width = headerOnly.height = 10;
  headerOnly.metafile = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 100, 0, 100, 0, 254, 0};
  std::string why;
  EXPECT_TRUE(Png(headerOnly, &why).empty());
  EXPECT_EQ(why, "no metafile header");
  Picture empty;
  EXPECT_TRUE(Png(empty).empty());
  empty.kind = Kind::Metafile;
  EXPECT_TRUE(Png(empty).empty());
  EXPECT_TRUE(Svg(empty).empty());
}

}  // namespace
