// Metafiles built record by record: where libwmf puts what the window holds,
// hotspots in window units, SVG documents and their text, and records that
// lie about their contents.
#include <gtest/gtest.h>
#include <quillon/pictures.h>

#include <functional>

#include "read_back.h"
#include "support/shg_builder.h"

using namespace quillon::pictures;
using namespace picturetest;
using fixture::Bytes;
using fixture::MetafileRecord;
using fixture::Words;

namespace {

enum : uint16_t {
  kSetMapMode = 0x0103,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kSetViewportExt = 0x020E,
  kCreatePen = 0x02FA,
  kCreateFont = 0x02FB,
  kCreateBrush = 0x02FC,
  kSelectObject = 0x012D,
  kDeleteObject = 0x01F0,
  kRectangle = 0x041B,
  kTextOut = 0x0521,
  kExtTextOut = 0x0A32,
  kStretchDib = 0x0F43,
  kPolygon = 0x0324,
  kPolyPolygon = 0x0538,
  kSaveDc = 0x001E,
  kRestoreDc = 0x0127,
  kExcludeClipRect = 0x0415,
  kSetPixel = 0x041F,
};

// 200 x 100 pixels: 0.01 mm as SHGImportEx's header keeps them, 96 to the inch.
constexpr uint16_t kWidth = 5292, kHeight = 2650;

Bytes Text(const std::string &text) {
  Bytes out(text.begin(), text.end());
  if (out.size() % 2 != 0) out.push_back(0);
  return out;
}
Bytes Join(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Window (100, 50) + (2000, 1000); a red rectangle with no outline over
// (500, 250)-(1000, 500), which is pixels (40, 20)-(90, 45) of the picture.
std::vector<MetafileRecord> RedRectangle() {
  return {{kSetWindowOrg, Words({50, 100})},
          {kSetWindowExt, Words({1000, 2000})},
          {kCreatePen, Words({5, 0, 0, 0, 0})},           // PS_NULL
          {kCreateBrush, Words({0, 0x00FF, 0x0000, 0})},  // solid red
          {kSelectObject, Words({0})},
          {kSelectObject, Words({1})},
          {kRectangle, Words({500, 1000, 250, 500})}};
}

std::optional<Rgba> Drawn(const std::vector<MetafileRecord> &records, std::string *why = nullptr,
                          uint16_t width = kWidth, uint16_t height = kHeight) {
  std::optional<Picture> picture =
      Decode(fixture::MetafileShg(fixture::MetafileOf(records), width, height).bytes, why);
  if (!picture) return std::nullopt;
  std::vector<uint8_t> png = Png(*picture, why);
  if (png.empty()) return std::nullopt;
  return ReadPng(png);
}

bool Red(const Rgba &image, int x, int y) { return image.At(x, y) == 0xFF0000FFu; }

// The window fills the picture whatever the metafile says of mapping modes
// and viewports: the help viewer played every metafile in MM_ANISOTROPIC onto
// the picture's rectangle.
TEST(PicturesMetafile, TheWindowFillsThePicture) {
  struct Case {
    const char *name;
    std::vector<MetafileRecord> before;
  };
  const Case kCases[] = {
      {"no mapping mode", {}},
      {"MM_ANISOTROPIC", {{kSetMapMode, Words({8})}}},
      {"MM_TEXT", {{kSetMapMode, Words({1})}}},
      {"a viewport of its own", {{kSetMapMode, Words({8})}, {kSetViewportExt, Words({300, 300})}}},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<MetafileRecord> records = c.before;
    for (const MetafileRecord &r : RedRectangle()) records.push_back(r);
    std::string why;
    std::optional<Rgba> image = Drawn(records, &why);
    ASSERT_TRUE(image) << why;
    ASSERT_EQ(image->width, 200);
    ASSERT_EQ(image->height, 100);
    EXPECT_TRUE(Red(*image, 65, 32));
    EXPECT_TRUE(Red(*image, 41, 21));
    EXPECT_TRUE(Red(*image, 88, 43));
    EXPECT_FALSE(Red(*image, 38, 32));
    EXPECT_FALSE(Red(*image, 92, 32));
    EXPECT_FALSE(Red(*image, 65, 18));
    EXPECT_FALSE(Red(*image, 65, 47));
    EXPECT_FALSE(Red(*image, 5, 5));
  }
}

TEST(PicturesMetafile, HotspotsAreMappedFromTheWindowToPixels) {
  fixture::FileHotspot h;
  h.code = 0x04E6;  // popup
  h.left = 500, h.top = 250, h.width = 500, h.height = 250;
  h.target = "red_square";
  fixture::FileHotspot outside = h;
  outside.left = 1500, outside.top = 900, outside.width = 4000,
  outside.height = 4000;  // past the window's end
  Bytes hotspots = fixture::BuildHotspotData({h, outside});
  std::optional<Picture> picture =
      Decode(fixture::MetafileShg(fixture::MetafileOf(RedRectangle()), kWidth, kHeight, hotspots).bytes);
  ASSERT_TRUE(picture);
  ASSERT_EQ(picture->hotspots.size(), 2u);
  const Hotspot &in = picture->hotspots[0];
  EXPECT_EQ(in.left, 40);
  EXPECT_EQ(in.top, 20);
  EXPECT_EQ(in.right, 90);
  EXPECT_EQ(in.bottom, 45);
  EXPECT_EQ(in.kind, HotspotKind::Popup);
  EXPECT_EQ(in.target, "red_square");
  const Hotspot &cut = picture->hotspots[1];
  EXPECT_EQ(cut.left, 140);
  EXPECT_EQ(cut.top, 85);
  EXPECT_EQ(cut.right, 200);
  EXPECT_EQ(cut.bottom, 100);
}

std::vector<MetafileRecord> WithText(uint16_t function, const std::string &text) {
  std::vector<MetafileRecord> records = RedRectangle();
  Bytes font = Join(Words({-100, 0, 0, 0, 400, 0, 0, 0, 0}), Text("Arial"));
  records.push_back({kCreateFont, font});
  records.push_back({kSelectObject, Words({2})});
  int count = static_cast<int>(text.size());
  if (function == kTextOut)
    records.push_back({kTextOut, Join(Join(Words({count}), Text(text)), Words({300, 200}))});
  else
    records.push_back({kExtTextOut, Join(Words({300, 200, count, 0}), Text(text))});
  return records;
}

// An SVG a browser shows: well-formed, the svg namespace, the picture's size,
// and the text of the metafile escaped and in UTF-8.
TEST(PicturesMetafile, SvgIsAStandAloneDocument) {
  for (uint16_t function : {kTextOut, kExtTextOut}) {
    SCOPED_TRACE(function);
    std::optional<Picture> picture =
        Decode(fixture::MetafileShg(fixture::MetafileOf(WithText(function, "Fish <&> chips\xe9\x80")), kWidth,
                                    kHeight)
                   .bytes);
    ASSERT_TRUE(picture);
    std::string why;
    std::string svg = Svg(*picture, &why);
    ASSERT_FALSE(svg.empty()) << why;
    std::optional<std::vector<Element>> elements = ParseXml(svg, &why);
    ASSERT_TRUE(elements) << why << "\n" << svg;
    const Element &root = elements->front();
    EXPECT_EQ(root.name, std::string(kSvgNamespace) + " svg");
    EXPECT_EQ(root.attributes.at("width"), "200");
    EXPECT_EQ(root.attributes.at("height"), "100");
    EXPECT_EQ(root.attributes.at("viewBox"), "0 0 200 100");
    int texts = 0;
    for (const Element &e : *elements) {
      if (e.name != std::string(kSvgNamespace) + " text") continue;
      ++texts;
      EXPECT_EQ(e.text, "Fish <&> chips\xc3\xa9\xe2\x82\xac");  // é and € of Windows-1252
    }
    EXPECT_EQ(texts, 1);
    EXPECT_GT(elements->size(), 3u);  // the rectangle is there too
  }
}

Bytes Dib(uint16_t bits, int32_t width, int32_t height) {
  size_t stride = (size_t(bits) * width + 31) / 32 * 4;
  return fixture::DibBytes(bits, width, height, bits <= 8 ? fixture::RandomBytes(4u << bits, 3) : Bytes{},
                           fixture::RandomBytes(stride * height, 4));
}

// rop SRCCOPY, colour use, source (height, width, y, x), target (height,
// width, y, x), then the DIB.
MetafileRecord StretchDib(const Bytes &dib, int srcW, int srcH, int srcX = 0, int srcY = 0) {
  return {kStretchDib, Join(Words({0x0020, 0x00CC, 0, srcH, srcW, srcY, srcX, 500, 1000, 0, 0}), dib)};
}

TEST(PicturesMetafile, BitmapsAreDrawnButLeftOutOfSvg) {
  std::vector<MetafileRecord> records = RedRectangle();
  records.push_back(StretchDib(Dib(8, 20, 10), 20, 10));
  std::optional<Picture> picture =
      Decode(fixture::MetafileShg(fixture::MetafileOf(records), kWidth, kHeight).bytes);
  ASSERT_TRUE(picture);
  std::string why;
  EXPECT_FALSE(Png(*picture, &why).empty()) << why;
  EXPECT_TRUE(Svg(*picture, &why).empty());
  EXPECT_EQ(why, "metafile holds bitmaps");
}

// Records whose sizes, counts, bitmaps or object numbers lie, and more work
// than a picture can need: nothing reaches libwmf that it could read past,
// and the picture's other records are still drawn where they can be.
TEST(PicturesMetafile, RecordsThatLieAreLeftOut) {
  struct Case {
    const char *name;
    std::vector<MetafileRecord> records;
    std::function<void(Bytes &, size_t)> damage =
        nullptr;  // of the metafile, given where the case's records begin
  };
  auto times = [](int n, const MetafileRecord &r) { return std::vector<MetafileRecord>(size_t(n), r); };
  const Case kCases[] = {
      {"polygon of more points than its record", {{kPolygon, Words({1000, 1, 2})}}},
      {"polygon of one point", {{kPolygon, Words({1, 1, 2})}}},
      {"polypolygon counts that overflow", {{kPolyPolygon, Words({2, 30000, 30000, 1, 1})}}},
      {"polypolygon of no polygons", {{kPolyPolygon, Words({0})}}},
      {"text longer than its record", {{kTextOut, Words({500, 0x4141})}}},
      {"ExtTextOut clipped without its rectangle", {{kExtTextOut, Words({10, 10, 4, 4})}}},
      {"ExtTextOut with part of its widths",
       {{kExtTextOut, Join(Words({10, 10, 4, 0}), Join(Text("abcd"), Words({5})))}}},
      {"font record cut short",
       {{kCreateFont, Words({10})},
        {kSelectObject, Words({0})},
        {kTextOut, Join(Words({1}), Words({65, 0, 0}))}}},
      {"font name without terminator",
       {{kCreateFont, Join(Words({10, 0, 0, 0, 400, 0, 0, 0, 0}), Bytes(64, 'A'))},
        {kSelectObject, Words({0})}}},
      {"pen and font as wide as 30000 pictures",
       {{kCreatePen, Words({0, 30000, 0, 0, 0})},
        {kSelectObject, Words({0})},
        {kCreateFont, Join(Words({30000, 0, 0, 0, 400, 0, 0, 0, 0}), Text("Arial"))},
        {kSelectObject, Words({1})},
        {kTextOut, Join(Words({2}), Join(Text("Hi"), Words({10, 10})))},
        {0x0213, Words({900, 1900})}}},
      {"bitmap of 7 bits",
       {StretchDib(Dib(8, 4, 4), 4, 4)},
       [](Bytes &m, size_t at) { m[at + 6 + 22 + 14] = 7; }},
      {"bitmap run-length coded",
       {StretchDib(Dib(8, 4, 4), 4, 4)},
       [](Bytes &m, size_t at) { m[at + 6 + 22 + 16] = 1; }},
      {"bitmap wider than its record",
       {StretchDib(Dib(8, 4, 4), 4, 4)},
       [](Bytes &m, size_t at) { fixture::SetU32(m, at + 6 + 22 + 4, 4000); }},
      {"bitmap of more colours than 8 bits",
       {StretchDib(Dib(8, 4, 4), 4, 4)},
       [](Bytes &m, size_t at) { fixture::SetU32(m, at + 6 + 22 + 32, 5000); }},
      {"source outside the bitmap", {StretchDib(Dib(24, 4, 4), 8, 4, 2, 0)}},
      {"source of no size", {StretchDib(Dib(24, 4, 4), 0, 4)}},
      {"bitmap header cut short",
       {{kStretchDib, Join(Words({0x0020, 0x00CC, 0, 4, 4, 0, 0, 4, 4, 0, 0}), Words({40, 0, 4}))}}},
      {"object never made", {{kSelectObject, Words({5})}, {kRectangle, Words({10, 10, 0, 0})}}},
      {"object deleted, then selected",
       {{kCreateBrush, Words({0, 0xFF, 0, 0})},
        {kDeleteObject, Words({0})},
        {kSelectObject, Words({0})},
        {kRectangle, Words({10, 10, 0, 0})}}},
      {"object deleted while selected",
       {{kCreateBrush, Words({0, 0xFF, 0, 0})},
        {kSelectObject, Words({0})},
        {kDeleteObject, Words({0})},
        {kRectangle, Words({10, 10, 0, 0})}}},
      {"brush of a style that needs a bitmap",
       {{kCreateBrush, Words({3, 0, 0, 0})}, {kSelectObject, Words({0})}}},
      {"restore without a save",
       {{kRestoreDc, Words({-1})}, {kRestoreDc, Words({5})}, {kRestoreDc, Words({0})}}},
      {"saves without end", times(1000, {kSaveDc, {}})},
      {"clip rectangles without end", times(1000, {kExcludeClipRect, Words({60, 60, 40, 40})})},
      {"window of no extent", {{kSetWindowExt, Words({0, 0})}, {kRectangle, Words({10, 10, 0, 0})}}},
      {"shapes far outside a window of 1 x 1",
       {{kSetWindowExt, Words({1, 1})},
        {kPolygon, Words({3, -32000, -32000, 32000, -31000, 0, 32000})},
        {kRectangle, Words({32000, 32000, -32000, -32000})},
        {0x061C, Words({30000, 30000, 32000, 32000, -32000, -32000})},
        {kPolyPolygon, Words({1, 3, -32000, -32000, 32000, -31000, 0, 32000})},
        {0x0214, Words({-32000, -32000})},
        {0x0213, Words({32000, 32000})},
        {kTextOut, Join(Words({2}), Join(Text("Hi"), Words({32000, -32000})))}}},
      {"flood fill", {{0x0548, Words({0, 0, 0, 10, 10})}, {0x0419, Words({0, 0, 10, 10})}}},
      {"escape and unknown records", {{0x0626, Words({15, 2, 0})}, {0x7777, Words({1, 2, 3})}}},
      {"region and palette records",
       {{0x06FF, Words({0, 0, 0, 0, 0, 0})},
        {0x012C, Words({0})},
        {0x00F7, Words({0x300, 1000})},
        {0x0234, Words({1})},
        {kSelectObject, Words({0})},
        {kSelectObject, Words({1})}}},
      {"record of size 0",
       {{kSetPixel, Words({0, 0, 1, 1})}},
       [](Bytes &m, size_t at) { fixture::SetU32(m, at, 0); }},
      {"record of size 2",
       {{kSetPixel, Words({0, 0, 1, 1})}},
       [](Bytes &m, size_t at) { fixture::SetU32(m, at, 2); }},
      {"record past the end",
       {{kSetPixel, Words({0, 0, 1, 1})}},
       [](Bytes &m, size_t at) { fixture::SetU32(m, at, 100000); }},
      {"no end record", {{kSetPixel, Words({0, 0, 1, 1})}}, [](Bytes &m, size_t) { m.erase(m.end() - 6, m.end()); }},
      {"header with no objects and a lying largest record",
       {{kCreateBrush, Words({0, 0xFF, 0, 0})}, {kSelectObject, Words({0})}},
       [](Bytes &m, size_t) { fixture::SetU16(m, 10, 0), fixture::SetU32(m, 12, 1); }},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<MetafileRecord> records = RedRectangle();
    records.insert(records.end(), c.records.begin(), c.records.end());
    Bytes metafile = fixture::MetafileOf(records);
    if (c.damage) {
      size_t at = 18;  // behind the header and RedRectangle's records
      for (size_t i = 0; i < RedRectangle().size(); ++i) at += 2 * (metafile[at] | metafile[at + 1] << 8);
      c.damage(metafile, at);
    }
    std::optional<Picture> picture = Decode(fixture::MetafileShg(metafile, kWidth, kHeight).bytes);
    ASSERT_TRUE(picture);
    std::string why;
    std::vector<uint8_t> png = Png(*picture, &why);
    ASSERT_FALSE(png.empty()) << why;
    std::optional<Rgba> image = ReadPng(png);
    ASSERT_TRUE(image);
    EXPECT_TRUE(Red(*image, 65, 32)) << "the rectangle before the damage is drawn";
    Svg(*picture, &why);
  }
}

TEST(PicturesMetafile, MoreWorkThanAPictureNeedsIsRefused) {
  struct Case {
    const char *name;
    std::vector<MetafileRecord> records;
    uint16_t width, height;
    const char *why;
  };
  auto times = [](int n, const MetafileRecord &r) { return std::vector<MetafileRecord>(size_t(n), r); };
  const Case kCases[] = {
      {"200001 records", times(200001, {kSetPixel, Words({0, 0, 1, 1})}), kWidth, kHeight,
       "metafile too large to draw"},
      {"400 rectangles over 2477 x 2477 pixels", times(400, {kRectangle, Words({900, 900, 0, 0})}), 65535,
       65535, "metafile too costly to draw"},
      {"1000 lines of a pen as wide as the picture",
       [&] {
         std::vector<MetafileRecord> r = {{kSetWindowExt, Words({2000, 2000})},
                                          {kCreatePen, Words({0, 2000, 0, 0, 0})},
                                          {kSelectObject, Words({0})}};
         for (int i = 0; i < 1000; ++i) r.push_back({0x0213, Words({i % 2 * 2000, i % 3 * 1000})});
         return r;
       }(),
       65535, 65535, "metafile too costly to draw"},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.name);
    std::optional<Picture> picture =
        Decode(fixture::MetafileShg(fixture::MetafileOf(c.records), c.width, c.height).bytes);
    ASSERT_TRUE(picture);
    std::string why;
    EXPECT_TRUE(Png(*picture, &why).empty());
    EXPECT_EQ(why, c.why);
    EXPECT_TRUE(Svg(*picture, &why).empty());
  }
}

}  // namespace
