// Bitmaps built with the SHG builder: every bit count, odd widths (row
// padding), short and full colour tables, written as PNG and read back
// pixel for pixel against the colours the builder was given; and the choice
// among several resolutions in one SHG file.
#include <gtest/gtest.h>
#include <quillon/pictures.h>

#include "read_back.h"
#include "support/shg_builder.h"

using namespace quillon::pictures;
using namespace picturetest;
using fixture::Bytes;

namespace {

struct Built {
  fixture::BuiltShg shg;
  Rgba expected;  // the colours, from the builder's inputs
};

uint8_t Scale5(unsigned v) { return static_cast<uint8_t>((v * 255 + 15) / 31); }

// A stored (unpacked) bitmap of random pixels; indices beyond a short colour
// table show black.
Built RandomBitmap(uint16_t bits, uint32_t width, uint32_t height, uint32_t colours, uint32_t seed) {
  size_t stride = (size_t(bits) * width + 31) / 32 * 4;
  fixture::BitmapPicture p;
  p.bitCount = bits;
  p.width = width;
  p.height = height;
  p.colours = fixture::RandomBytes(colours * 4, seed);
  p.packed = fixture::RandomBytes(stride * height, seed + 1);
  Built b{fixture::BuildBitmapShg(p), {}};
  b.expected.width = int(width);
  b.expected.height = int(height);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t *row = &p.packed[(height - 1 - y) * stride];
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t r = 0, g = 0, bl = 0;
      if (bits <= 8) {
        unsigned index = (row[x * bits / 8] >> (8 - bits - x * bits % 8)) & ((1u << bits) - 1);
        if (index < colours)
          bl = p.colours[4 * index], g = p.colours[4 * index + 1], r = p.colours[4 * index + 2];
      } else if (bits == 16) {
        unsigned v = row[2 * x] | row[2 * x + 1] << 8;
        r = Scale5(v >> 10 & 31), g = Scale5(v >> 5 & 31), bl = Scale5(v & 31);
      } else {
        const uint8_t *px = &row[x * bits / 8];
        bl = px[0], g = px[1], r = px[2];
      }
      b.expected.pixels.insert(b.expected.pixels.end(), {r, g, bl, 255});
    }
  }
  return b;
}

TEST(PicturesBitmap, PngHoldsTheBitmapsPixels) {
  struct Case {
    uint16_t bits;
    uint32_t width, height, colours;
  };
  const Case kCases[] = {
      {1, 1, 1, 2},  {1, 33, 5, 2}, {1, 17, 3, 1},  // one colour given: index 1 shows black
      {4, 7, 9, 16}, {4, 3, 2, 5},  {8, 13, 11, 256}, {8, 5, 4, 7},   {16, 9, 7, 0},
      {24, 7, 5, 0}, {24, 1, 1, 0}, {32, 6, 4, 0},    {8, 6, 3, 300},  // more entries than 8 bits name: the
                                                                       // first 256 count
  };
  uint32_t seed = 1;
  for (const Case &c : kCases) {
    SCOPED_TRACE(std::to_string(c.bits) + " bits " + std::to_string(c.width) + "x" +
                 std::to_string(c.height) + ", " + std::to_string(c.colours) + " colours");
    Built built = RandomBitmap(c.bits, c.width, c.height, c.colours, seed += 7);
    std::string why;
    std::optional<Picture> picture = Decode(built.shg.bytes, &why);
    ASSERT_TRUE(picture) << why;
    EXPECT_EQ(picture->kind, Kind::Bitmap);
    EXPECT_EQ(picture->width, int(c.width));
    EXPECT_EQ(picture->height, int(c.height));
    std::vector<uint8_t> png = Png(*picture, &why);
    ASSERT_FALSE(png.empty()) << why;
    std::optional<Rgba> read = ReadPng(png);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->width, built.expected.width);
    EXPECT_EQ(read->height, built.expected.height);
    EXPECT_TRUE(read->pixels == built.expected.pixels);
  }
}

// Palette images up to 8 bits (of the bitmap's own depth), RGB beyond: the
// IHDR's bit depth and colour type.
TEST(PicturesBitmap, PngKindFollowsTheBitCount) {
  const std::pair<uint16_t, std::pair<int, int>> kCases[] = {{1, {1, 3}},  {4, {4, 3}},  {8, {8, 3}},
                                                             {16, {8, 2}}, {24, {8, 2}}, {32, {8, 2}}};
  for (const auto &[bits, expected] : kCases) {
    SCOPED_TRACE(bits);
    Built built = RandomBitmap(bits, 5, 5, bits <= 8 ? 1u << bits : 0, bits);
    std::optional<Picture> picture = Decode(built.shg.bytes);
    ASSERT_TRUE(picture);
    std::vector<uint8_t> png = Png(*picture);
    ASSERT_GE(png.size(), 26u);
    EXPECT_EQ(png[24], expected.first);   // bit depth
    EXPECT_EQ(png[25], expected.second);  // colour type: 3 palette, 2 RGB
  }
}

fixture::BuiltShg Resolution(uint32_t width, uint32_t height, const std::string &target) {
  fixture::BitmapPicture p;
  p.bitCount = 4;
  p.width = width;
  p.height = height;
  p.colours = fixture::RandomBytes(16 * 4, width);
  p.packed = fixture::RandomBytes((4 * width + 31) / 32 * 4 * height, height);
  fixture::FileHotspot h;
  h.left = 1, h.top = 1, h.width = 2, h.height = 2;
  h.target = target;
  p.hotspots = fixture::BuildHotspotData({h});
  return fixture::BuildBitmapShg(p);
}

// Of several resolutions the one of most pixels, wherever it stands in the
// list; its own hotspots come with it.
TEST(PicturesBitmap, SeveralResolutionsGiveTheLargest) {
  const fixture::BuiltShg small = Resolution(16, 8, "small"), large = Resolution(64, 32, "large"),
                          middle = Resolution(32, 32, "middle");
  const std::vector<std::vector<fixture::BuiltShg>> kOrders = {
      {large, small, middle}, {small, large, middle}, {small, middle, large}};
  for (const auto &order : kOrders) {
    std::optional<Picture> picture = Decode(fixture::MultiPictureShg(order, "lP"));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 64);
    EXPECT_EQ(picture->height, 32);
    EXPECT_EQ(picture->count, 3);
    ASSERT_EQ(picture->hotspots.size(), 1u);
    EXPECT_EQ(picture->hotspots[0].target, "large");
  }
}

// A header that lists one picture twice holds it once.
TEST(PicturesBitmap, RepeatedOffsetsCountOnce) {
  Bytes file =
      fixture::MultiPictureShg({Resolution(8, 8, "a"), Resolution(16, 8, "b"), Resolution(8, 8, "a")});
  uint32_t first = file[4] | file[5] << 8 | file[6] << 16 | uint32_t{file[7]} << 24;
  fixture::SetU32(file, 12, first);  // the third entry names the first picture again
  std::optional<Picture> picture = Decode(file);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->count, 2);
  EXPECT_EQ(picture->width, 16);
}

// When the largest picture cannot be imported (its data run past the image),
// the next largest stands in.
TEST(PicturesBitmap, ALargestPictureCutShortGivesWayToTheNext) {
  fixture::BuiltShg cut = Resolution(64, 32, "large");
  cut.bytes.resize(cut.dataAt + 10);
  std::optional<Picture> picture = Decode(fixture::MultiPictureShg({Resolution(16, 8, "small"), cut}));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 16);
  EXPECT_EQ(picture->count, 2);
}

}  // namespace
