// SHGExport: the file it writes, byte by byte where the layout is fixed, and
// import of the result.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <cstring>
#include <string>
#include <vector>

#include "imported.h"
#include "shg/codec.h"
#include "support/shg_builder.h"

using namespace fixture;
using namespace shgtest;

namespace {

struct Block {
  HGLOBAL handle;
  explicit Block(HGLOBAL h) : handle(h) {}
  Block(const Block &) = delete;
  Block &operator=(const Block &) = delete;
  ~Block() {
    if (handle != nullptr) GlobalFree(handle);
  }
};

size_t RowBytes(unsigned bits, unsigned width) { return (bits * width + 31) / 32 * 4; }

Bytes Export(const Bytes &dib, HGLOBAL hotspots = nullptr) {
  Block in(GlobalFromBytes(dib));
  Block out(SHGExport(0, in.handle, hotspots));
  return BytesOfGlobal(out.handle);
}

uint32_t U32(const Bytes &b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24; }

// Reads the six ShgULong values from offset 16 and returns P.
size_t ReadValues(const Bytes &file, uint32_t values[6]) {
  marlet::ByteCursor cursor(file.data() + 16, file.size() - 16);
  for (int i = 0; i < 6; ++i) values[i] = marlet::ShgULong(cursor);
  return 16 + cursor.position();
}

const std::vector<ListHotspot> kHotspots = {
    {1, 2, 11, 6, SHG_HOTSPOT_JUMP, "ctx_jump", "Jump one"},
    {3, 4, 8, 10, SHG_HOTSPOT_POPUP, "ctx_popup", "Pop"},
    {0, 0, 13, 7, SHG_HOTSPOT_MACRO, "ExecProgram(`calc')", "Run it"},
};

TEST(ShgExport, WritesTheFixedLayout) {
  // 100 x 100, 8 bits, 256 colours: every value short, P = 28.
  Bytes pixels = RandomBytes(100 * 100, 3, 4);
  Bytes colours = Palette(256);
  Bytes file = Export(DibBytes(8, 100, 100, colours, pixels));
  ASSERT_GT(file.size(), 36u + 1024);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 16),
            (Bytes{'l', 'p', 1, 0, 8, 0, 0, 0, 6, 1, 0, 0, 0, 0, 0x02, 0x10}));
  uint32_t v[6];
  size_t p = ReadValues(file, v);
  EXPECT_EQ(p, 28u);
  EXPECT_EQ(v[0], 100u);
  EXPECT_EQ(v[1], 100u);
  EXPECT_EQ(v[2], 256u);
  EXPECT_EQ(v[3], 0u);
  EXPECT_EQ(v[5], 0u);  // no hotspots
  EXPECT_EQ(U32(file, 28), 28u + 1024);
  EXPECT_EQ(U32(file, 32), 28u + 1024 + v[4]);  // the hotspot offset points at the end
  EXPECT_EQ(Bytes(file.begin() + 36, file.begin() + 36 + 1024), colours);
  EXPECT_EQ(file.size(), 36u + 1024 + v[4]);
  Bytes expected(marlet::CompressRleBound(pixels.size()));
  expected.resize(marlet::CompressRle(marlet::Bytes(pixels), expected));
  EXPECT_EQ(Bytes(file.begin() + 36 + 1024, file.end()), expected);
}

TEST(ShgExport, ColourCountsAndLongForms) {
  struct Case {
    const char *what;
    uint16_t bits;
    int32_t width, height;
    std::optional<uint32_t> clrUsed;
    size_t tableEntries;  // in the DIB
    uint32_t colours;     // exported
    size_t p;
  } cases[] = {
      {"8 bits, biClrUsed 0: 256 colours", 8, 5, 5, 0, 256, 256, 28},
      {"4 bits, biClrUsed 0: 16", 4, 5, 5, 0, 16, 16, 28},
      {"1 bit, biClrUsed 0: 2", 1, 5, 5, 0, 2, 2, 28},
      {"24 bits: no colour table", 24, 5, 5, 0, 0, 0, 28},
      {"32 bits: no colour table", 32, 3, 2, 0, 0, 0, 28},
      {"8 bits, biClrUsed 20", 8, 5, 5, std::nullopt, 20, 20, 28},
      {"width above 32767 moves P by 2", 1, 40000, 1, 0, 2, 2, 30},
      {"height too", 1, 1, 33000, 0, 2, 2, 32},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Bytes pixels = RandomBytes(RowBytes(c.bits, static_cast<unsigned>(c.width)) * static_cast<size_t>(c.height), 8);
    Bytes file = Export(DibBytes(c.bits, c.width, c.height, Palette(c.tableEntries), pixels, c.clrUsed));
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file[15], c.bits * 2);
    uint32_t v[6];
    EXPECT_EQ(ReadValues(file, v), c.p);
    EXPECT_EQ(v[0], static_cast<uint32_t>(c.width));
    EXPECT_EQ(v[1], static_cast<uint32_t>(c.height));
    EXPECT_EQ(v[2], c.colours);
    EXPECT_EQ(U32(file, c.p), c.p + c.colours * 4);
    EXPECT_EQ(file.size(), c.p + 8 + c.colours * 4 + v[4]);
    Imported back;
    ImportEx(back, file);
    EXPECT_EQ(back.result, 1);
    DibView dib = ViewDib(back.dib);
    EXPECT_EQ(dib.info.biClrUsed, c.colours);
    EXPECT_EQ(dib.colours, Palette(c.colours));
    EXPECT_EQ(dib.pixels, pixels);
  }
}

TEST(ShgExport, WritesTheHotspotData) {
  Block list(MakeHotspotList(kHotspots));
  Bytes file = Export(DibBytes(8, 13, 7, Palette(4), RandomBytes(16 * 7, 2)), list.handle);
  uint32_t v[6];
  size_t p = ReadValues(file, v);
  size_t hotspotsAt = p + 8 + 16 + v[4];
  EXPECT_EQ(U32(file, p + 4), hotspotsAt - 8);
  Bytes expected{1, 3, 0};
  PutU32(expected, 2 + sizeof "ExecProgram(`calc')");  // M
  struct Record {
    uint16_t code, left, top, width, height;
    uint32_t macro;
  } records[] = {{0x04E7, 1, 2, 10, 4, 0}, {0x04E6, 3, 4, 5, 6, 1}, {0x04CC, 0, 0, 13, 7, 2}};
  for (const Record &r : records) {
    PutU16(expected, r.code);
    PutU8(expected, 0);
    PutU16(expected, r.left);
    PutU16(expected, r.top);
    PutU16(expected, r.width);
    PutU16(expected, r.height);
    PutU32(expected, r.macro);
  }
  PutCString(expected, "");  // a popup or jump has the empty string in the macro area
  PutCString(expected, "");
  PutCString(expected, "ExecProgram(`calc')");
  for (const ListHotspot &h : kHotspots) {
    PutCString(expected, h.name);
    PutCString(expected, h.target);
  }
  EXPECT_EQ(v[5], expected.size());
  ASSERT_EQ(file.size(), hotspotsAt + expected.size());
  EXPECT_EQ(Bytes(file.begin() + static_cast<long>(hotspotsAt), file.end()), expected);
}

TEST(ShgExport, ImportGivesBackPixelsColoursAndHotspots) {
  struct Case {
    const char *what;
    uint16_t bits;
    int32_t width, height;
    size_t colours;
    std::vector<ListHotspot> hotspots;
    bool withList;
  } cases[] = {
      {"8 bits with hotspots", 8, 13, 7, 6, kHotspots, true},
      {"4 bits without hotspots", 4, 31, 9, 16, {}, false},
      {"24 bits with an empty list", 24, 7, 3, 0, {}, true},
      {"1 bit, one popup", 1, 70, 2, 2, {{-5, -6, 7, 8, SHG_HOTSPOT_POPUP, "t", ""}}, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Bytes pixels = RandomBytes(RowBytes(c.bits, static_cast<unsigned>(c.width)) * static_cast<size_t>(c.height), 4, 3);
    Block list(c.withList ? MakeHotspotList(c.hotspots) : nullptr);
    Bytes file = Export(DibBytes(c.bits, c.width, c.height, Palette(c.colours), pixels), list.handle);
    Imported back;
    ImportEx(back, file);
    EXPECT_EQ(back.result, 1);
    DibView dib = ViewDib(back.dib);
    EXPECT_EQ(dib.info.biWidth, c.width);
    EXPECT_EQ(dib.info.biHeight, c.height);
    EXPECT_EQ(dib.info.biBitCount, c.bits);
    EXPECT_EQ(dib.info.biXPelsPerMeter, 0);  // Xdpi 0
    EXPECT_EQ(dib.colours, Palette(c.colours));
    EXPECT_EQ(dib.pixels, pixels);
    if (c.withList) {
      ReadList read = ReadHotspotList(back.hotspots);
      EXPECT_EQ(read.hotspots, c.hotspots);
    } else {
      EXPECT_EQ(back.hotspots, nullptr);
    }
  }
}

TEST(ShgExport, ImportedPicturesComeBackWithInvisibleCodes) {
  // A file with visible codes, packed with LZ77, at 96 dpi.
  BitmapPicture p;
  p.method = 2;
  p.width = 13;
  p.height = 7;
  p.colours = Palette(6);
  Bytes pixels = RandomBytes(16 * 7, 5, 6);
  p.packed = Lz77Pack(pixels);
  p.hotspots = BuildHotspotData({{0x00E3, 1, 2, 10, 4, "Jump one", "ctx_jump", ""},
                                 {0x00E2, 3, 4, 5, 6, "Pop", "ctx_popup", ""},
                                 {0x00C8, 0, 0, 13, 7, "Run it", "x", "ExecProgram(`calc')"}});
  Imported first;
  ImportEx(first, BuildBitmapShg(p).bytes);
  ASSERT_EQ(first.result, 1);
  Block out(SHGExport(0, first.dib, first.hotspots));
  Bytes file = BytesOfGlobal(out.handle);
  EXPECT_EQ(file[9], 1);  // run-length, whatever the picture had
  uint32_t v[6];
  size_t at = ReadValues(file, v) + 8 + 24 + v[4];
  for (uint16_t code : {0x04E7, 0x04E6, 0x04CC}) {
    EXPECT_EQ(file[at + 7] | file[at + 8] << 8, code);
    at += 15;
  }
  Imported second;
  ImportEx(second, file);
  EXPECT_EQ(second.result, 1);
  EXPECT_EQ(ViewDib(second.dib).pixels, pixels);
  EXPECT_EQ(ViewDib(second.dib).info.biXPelsPerMeter, 0);
  EXPECT_EQ(ReadHotspotList(second.hotspots).hotspots, kHotspots);
  // The inputs stay the caller's and unlocked.
  EXPECT_FALSE(GlobalUnlock(first.dib));
  EXPECT_EQ(GlobalSize(out.handle), file.size());
}

TEST(ShgExport, RefusesDibsItCannotWrite) {
  const Bytes good = DibBytes(8, 4, 4, Palette(2), RandomBytes(16, 1));
  auto changed = [&](size_t at, uint32_t value, int width = 4) {
    Bytes b = good;
    for (int i = 0; i < width; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return b;
  };
  struct Case {
    const char *what;
    Bytes dib;
  } cases[] = {
      {"shorter than its header", Bytes(good.begin(), good.begin() + 39)},
      {"rows cut", Bytes(good.begin(), good.end() - 1)},
      {"biSize 12", changed(0, 12)},
      {"biSize past the block", changed(0, 1000)},
      {"top-down rows", changed(8, static_cast<uint32_t>(-4))},
      {"negative width", changed(4, static_cast<uint32_t>(-4))},
      {"run-length compressed", changed(16, 1)},
      {"bit count 2", changed(14, 2, 2)},
      {"bit count 0", changed(14, 0, 2)},
      {"colours past the block", changed(32, 100000)},
      {"Width x Height far past the block", [&] {
         Bytes b = changed(4, 0x7FFFFFFF);
         return Bytes(b);
       }()},
  };
  for (const Case &c : cases) {
    Block in(GlobalFromBytes(c.dib));
    HGLOBAL out = SHGExport(0, in.handle, nullptr);
    EXPECT_EQ(out, nullptr) << c.what;
    if (out != nullptr) GlobalFree(out);
  }
  EXPECT_EQ(SHGExport(0, nullptr, nullptr), nullptr);
}

TEST(ShgExport, DamagedListsGiveTheirLeadingSoundEntries) {
  const Bytes dib = DibBytes(8, 4, 4, Palette(2), RandomBytes(16, 1));
  auto listWith = [](auto change) {
    Block list(MakeHotspotList(kHotspots));
    Bytes b = BytesOfGlobal(list.handle);
    change(b);
    return b;
  };
  const size_t e1 = 564 + 64, e2 = 564 + 128;
  struct Case {
    const char *what;
    Bytes list;
    size_t written;
  } cases[] = {
      {"sound", listWith([](Bytes &) {}), 3},
      {"negative count: no hotspots", listWith([](Bytes &b) { SetU16(b, 2, 0x8000); }), 0},
      {"a target offset past the block", listWith([&](Bytes &b) { SetU32(b, e1 + 8, 40000); }), 1},
      {"a name offset past the block", listWith([&](Bytes &b) { SetU32(b, e2 + 12, 0xFFFFFFFF); }), 2},
      {"a string without terminator", listWith([&](Bytes &b) {
         SetU32(b, e2 + 12, 32767);
         b[32767] = 'x';
       }),
       2},
      {"a block shorter than its header", Bytes(100, 0), 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Block list(GlobalFromBytes(c.list));
    Bytes file = Export(dib, list.handle);
    ASSERT_FALSE(file.empty());
    Imported back;
    ImportEx(back, file);
    EXPECT_EQ(back.result, 1);
    ReadList read = ReadHotspotList(back.hotspots);
    EXPECT_EQ(read.hotspots.size(), c.written);
    for (size_t i = 0; i < read.hotspots.size(); ++i) EXPECT_EQ(read.hotspots[i], kHotspots[i]);
  }
}

TEST(ShgExport, HotspotDataStayWithin61440Bytes) {
  // 400 macro entries sharing one string of 6000 characters: each would take
  // 15 + 3 * 6001 bytes of hotspot data.
  Bytes list(32768, 0);
  SetU16(list, 0, SHG_HOTSPOT_LIST_MAGIC);
  SetU16(list, 2, 400);
  const uint32_t text = 564 + 64 * 400;
  std::memset(&list[text], 'm', 6000);
  for (size_t i = 0; i < 400; ++i) {
    size_t e = 564 + 64 * i;
    SetU32(list, e + 8, text);
    SetU32(list, e + 12, text);
    SetU32(list, e + 24, SHG_HOTSPOT_MACRO);
  }
  Block block(GlobalFromBytes(list));
  Bytes file = Export(DibBytes(8, 4, 4, Palette(2), RandomBytes(16, 1)), block.handle);
  uint32_t v[6];
  ReadValues(file, v);
  EXPECT_EQ(v[5], 7 + 3 * (15 + 3 * 6001u));
  EXPECT_LE(v[5], 61440u);
}

}  // namespace
