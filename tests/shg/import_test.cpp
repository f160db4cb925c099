// SHGImport and SHGImportEx on built pictures: every packing method, the
// metafile header, the hotspot list, the messages, and the outputs that are
// left alone.
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

constexpr uint32_t kW = 13, kH = 7;   // an 8-bit picture: rows of 16 bytes
constexpr size_t kRowBytes = 16;

Bytes Pixels() {
  Bytes rows = RandomBytes(kRowBytes * kH, 5, 6);
  for (size_t i = 0; i < 40; ++i) rows[20 + i] = 3;  // a run
  return rows;
}

Bytes Rle(const Bytes &in) {
  Bytes out(marlet::CompressRleBound(in.size()));
  out.resize(marlet::CompressRle(marlet::Bytes(in), out));
  return out;
}

Bytes Packed(uint8_t method, const Bytes &raw) {
  switch (method) {
    case 0: return raw;
    case 1: return Rle(raw);
    case 2: return Lz77Pack(raw);
    default: return Lz77Pack(Rle(raw));
  }
}

BitmapPicture Bitmap(uint8_t method, Bytes hotspots = {}) {
  BitmapPicture p;
  p.method = method;
  p.bitCount = 8;
  p.width = kW;
  p.height = kH;
  p.colours = Palette(6);
  p.packed = Packed(method, Pixels());
  p.hotspots = std::move(hotspots);
  return p;
}

std::vector<FileHotspot> ThreeHotspots() {
  return {
      {0x04E7, 1, 2, 10, 4, "Jump one", "ctx_jump", ""},
      {0x00E2, 3, 4, 5, 6, "Pop", "ctx_popup", ""},
      {0x04CC, 0, 0, 13, 7, "Run it", "unused second", "ExecProgram(`calc')"},
  };
}

const std::vector<ListHotspot> kThreeInList = {
    {1, 2, 11, 6, SHG_HOTSPOT_JUMP, "ctx_jump", "Jump one"},
    {3, 4, 8, 10, SHG_HOTSPOT_POPUP, "ctx_popup", "Pop"},
    {0, 0, 13, 7, SHG_HOTSPOT_MACRO, "ExecProgram(`calc')", "Run it"},
};

TEST(ShgImportBitmap, EveryPackingMethodGivesTheSameDib) {
  struct Case {
    const char *what;
    BitmapPicture picture;
    FileShape shape;
  } cases[] = {
      {"stored", Bitmap(0), {}},
      {"run-length", Bitmap(1), {}},
      {"run-length of literals only", [] { auto p = Bitmap(1); p.packed = RleLiterals(Pixels()); return p; }(), {}},
      {"LZ77", Bitmap(2), {}},
      {"LZ77 then run-length", Bitmap(3), {}},
      {"magic lP", Bitmap(1), {"lP", 1, 0}},
      {"picture count 3: the first picture is read", Bitmap(2), {"lp", 3, 0}},
      {"every ShgULong in its long form", [] { auto p = Bitmap(1); p.longForms = true; return p; }(), {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    BuiltShg built = BuildBitmapShg(c.picture, c.shape);
    Imported got;
    ImportEx(got, built.bytes);
    EXPECT_EQ(got.result, 1);
    ASSERT_NE(got.dib, nullptr);
    EXPECT_EQ(got.metafile, nullptr);
    DibView dib = ViewDib(got.dib);
    EXPECT_EQ(dib.info.biSize, 40u);
    EXPECT_EQ(dib.info.biWidth, static_cast<LONG>(kW));
    EXPECT_EQ(dib.info.biHeight, static_cast<LONG>(kH));
    EXPECT_EQ(dib.info.biPlanes, 1);
    EXPECT_EQ(dib.info.biBitCount, 8);
    EXPECT_EQ(dib.info.biCompression, BI_RGB);
    EXPECT_EQ(dib.info.biSizeImage, kRowBytes * kH);
    EXPECT_EQ(dib.info.biXPelsPerMeter, 96 * 40);
    EXPECT_EQ(dib.info.biYPelsPerMeter, 96 * 40);
    EXPECT_EQ(dib.info.biClrUsed, 6u);
    EXPECT_EQ(dib.info.biClrImportant, 0u);
    EXPECT_EQ(dib.colours, Palette(6));
    EXPECT_EQ(dib.pixels, Pixels());
    // Header, colours, twice the rows, 100 bytes.
    EXPECT_EQ(dib.blockSize, 40 + 6 * 4 + 2 * kRowBytes * kH + 100);
  }
}

TEST(ShgImportBitmap, HeaderValuesPassThrough) {
  struct Case {
    const char *what;
    uint16_t bitCount;
    uint32_t width, height, xdpi, ydpi, colours;
    uint16_t planes;
    size_t rowBytes;
  } cases[] = {
      {"1 bit", 1, 33, 2, 72, 300, 2, 1, 8},
      {"4 bits", 4, 9, 9, 96, 96, 16, 1, 8},
      {"24 bits, no colour table", 24, 5, 3, 0, 0, 0, 1, 16},
      {"8 bits with ColorsUsed 0: no colour table", 8, 4, 4, 96, 96, 0, 1, 4},
      {"Ydpi and Planes are not used", 4, 2, 2, 120, 5, 16, 3, 4},
      {"32 bits, wide", 32, 40000, 1, 96, 96, 0, 1, 160000},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    BitmapPicture p;
    p.method = 0;
    p.bitCount = c.bitCount;
    p.width = c.width;
    p.height = c.height;
    p.xdpi = c.xdpi;
    p.ydpi = c.ydpi;
    p.planes = c.planes;
    p.colours = Palette(c.colours);
    p.packed = RandomBytes(c.rowBytes * c.height, 9);
    Imported got;
    ImportEx(got, BuildBitmapShg(p).bytes);
    EXPECT_EQ(got.result, 1);
    DibView dib = ViewDib(got.dib);
    EXPECT_EQ(dib.info.biBitCount, c.bitCount);
    EXPECT_EQ(dib.info.biPlanes, 1);
    EXPECT_EQ(dib.info.biXPelsPerMeter, static_cast<LONG>(c.xdpi * 40));
    EXPECT_EQ(dib.info.biYPelsPerMeter, static_cast<LONG>(c.xdpi * 40));
    EXPECT_EQ(dib.info.biClrUsed, c.colours);
    EXPECT_EQ(dib.colours, Palette(c.colours));
    EXPECT_EQ(dib.pixels, p.packed);
    EXPECT_EQ(dib.blockSize, 40 + c.colours * 4 + 2 * c.rowBytes * c.height + 100);
  }
}

TEST(ShgImportMetafile, EveryPackingMethodGivesTheSameMetafile) {
  const Bytes wmf = SmallMetafile(30);
  for (uint8_t method : {0, 1, 2}) {
    SCOPED_TRACE(int{method});
    MetafilePicture p;
    p.method = method;
    p.width = 955;
    p.height = 427;
    p.decompressedSize = static_cast<uint32_t>(wmf.size());
    p.packed = Packed(method, wmf);
    Imported got;
    ImportEx(got, BuildMetafileShg(p).bytes);
    EXPECT_EQ(got.result, 1);
    EXPECT_EQ(got.dib, nullptr);
    ASSERT_NE(got.metafile, nullptr);
    EXPECT_EQ(MetafileBits(got.metafile), wmf);
    EXPECT_EQ(got.header.key, 0x9AC6CDD7u);
    EXPECT_EQ(got.header.metafileHandle, 0);
    EXPECT_EQ(got.header.left, 0);
    EXPECT_EQ(got.header.top, 0);
    EXPECT_EQ(got.header.right, 95);
    EXPECT_EQ(got.header.bottom, 42);
    EXPECT_EQ(got.header.unitsPerInch, 254);
    EXPECT_EQ(got.header.reserved, 0u);
    EXPECT_EQ(got.header.checksum, 0x57EF ^ 95 ^ 42);
  }
}

TEST(ShgImportMetafile, ChecksumIsTheXorOfTheFirstTenWords) {
  for (auto [width, height] : {std::pair<uint16_t, uint16_t>{0, 0}, {65535, 65535}, {12039, 11589}, {9, 10}}) {
    MetafilePicture p;
    p.width = width;
    p.height = height;
    p.packed = SmallMetafile(1);
    Imported got;
    ImportEx(got, BuildMetafileShg(p).bytes);
    uint16_t words[11];
    std::memcpy(words, &got.header, 22);
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= words[i];
    EXPECT_EQ(got.header.checksum, sum) << width;
    EXPECT_EQ(got.header.right, width / 10);
    EXPECT_EQ(got.header.bottom, height / 10);
  }
}

TEST(ShgImportMetafile, BytesThatAreNoMetafileStillSucceedWithoutHandle) {
  MetafilePicture p;
  p.packed = Bytes{1, 2, 3, 4, 5};
  Imported got;
  HMETAFILE sentinel = reinterpret_cast<HMETAFILE>(&p);  // to see that a null is stored
  got.metafile = sentinel;
  ImportEx(got, BuildMetafileShg(p).bytes);
  EXPECT_EQ(got.result, 1);
  EXPECT_EQ(got.metafile, nullptr);
  if (got.metafile == sentinel) got.metafile = nullptr;
}

TEST(ShgImportHotspots, BuildsTheListBlock) {
  BuiltShg built = BuildBitmapShg(Bitmap(1, BuildHotspotData(ThreeHotspots())));
  Imported got;
  ImportEx(got, built.bytes);
  EXPECT_EQ(got.result, 1);
  ASSERT_NE(got.hotspots, nullptr);
  ReadList list = ReadHotspotList(got.hotspots);
  EXPECT_EQ(list.blockSize, 32768u);
  EXPECT_EQ(list.magic, 0x2FA7);
  EXPECT_EQ(list.count, 3);
  EXPECT_EQ(list.hotspots, kThreeInList);
  // Each hotspot's target, then its name, behind the entries.
  Bytes block = BytesOfGlobal(got.hotspots);
  std::string strings;
  for (const ListHotspot &h : kThreeInList) strings += h.target + '\0' + h.name + '\0';
  const size_t start = 564 + 64 * 3;
  EXPECT_EQ(list.endOfData, start + strings.size());
  EXPECT_EQ(std::string(block.begin() + start, block.begin() + static_cast<long>(list.endOfData)), strings);
  uint32_t target0, name0;
  std::memcpy(&target0, &block[564 + 8], 4);
  std::memcpy(&name0, &block[564 + 12], 4);
  EXPECT_EQ(target0, start);
  EXPECT_EQ(name0, start + sizeof "ctx_jump");
  // Reserved bytes stay zero.
  for (size_t at : {4u, 100u, 519u, 524u, 563u, 564u + 16, 564u + 28, 564u + 63}) EXPECT_EQ(block[at], 0) << at;
}

TEST(ShgImportHotspots, VisibleAndInvisibleCodesGiveIdenticalEntries) {
  struct Pair {
    uint16_t visible, invisible;
  } pairs[] = {{0x00E3, 0x04E7}, {0x00E2, 0x04E6}, {0x00C8, 0x04CC}};
  for (Pair pair : pairs) {
    ReadList lists[2];
    int i = 0;
    for (uint16_t code : {pair.visible, pair.invisible}) {
      FileHotspot h{code, 5, 6, 7, 8, "name", "target", "Macro()"};
      Imported got;
      ImportEx(got, BuildBitmapShg(Bitmap(0, BuildHotspotData({h}))).bytes);
      EXPECT_EQ(got.result, 1);
      lists[i++] = ReadHotspotList(got.hotspots);
    }
    EXPECT_EQ(lists[0].hotspots, lists[1].hotspots) << pair.visible;
    EXPECT_EQ(BytesOfGlobal(nullptr), Bytes{});
  }
}

TEST(ShgImportHotspots, RectanglesUse16BitArithmetic) {
  FileHotspot h{0x04E7, 0xFFF0, 0x7FFF, 0x20, 0x0002, "n", "t", ""};
  Imported got;
  ImportEx(got, BuildBitmapShg(Bitmap(0, BuildHotspotData({h}))).bytes);
  ReadList list = ReadHotspotList(got.hotspots);
  ASSERT_EQ(list.hotspots.size(), 1u);
  EXPECT_EQ(list.hotspots[0].left, -16);
  EXPECT_EQ(list.hotspots[0].right, 16);
  EXPECT_EQ(list.hotspots[0].top, 32767);
  EXPECT_EQ(list.hotspots[0].bottom, -32767);
}

TEST(ShgImportHotspots, CountZeroGivesAnEmptyList) {
  Imported got;
  ImportEx(got, BuildBitmapShg(Bitmap(1, BuildHotspotData({}))).bytes);
  EXPECT_EQ(got.result, 1);
  ReadList list = ReadHotspotList(got.hotspots);
  EXPECT_EQ(list.magic, 0x2FA7);
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.endOfData, 564u);
}

TEST(ShgImportHotspots, MetafilesCarryHotspotsToo) {
  MetafilePicture p;
  p.method = 2;
  p.packed = Lz77Pack(SmallMetafile(4));
  p.hotspots = BuildHotspotData(ThreeHotspots());
  Imported got;
  ImportEx(got, BuildMetafileShg(p).bytes);
  EXPECT_EQ(got.result, 1);
  EXPECT_NE(got.metafile, nullptr);
  EXPECT_EQ(ReadHotspotList(got.hotspots).hotspots, kThreeInList);
}

TEST(ShgImportOutputs, OnlyWhatAppliesAndIsAskedForIsTouched) {
  const Bytes withHotspots = BuildBitmapShg(Bitmap(1, BuildHotspotData(ThreeHotspots()))).bytes;
  const Bytes withoutHotspots = BuildBitmapShg(Bitmap(1)).bytes;
  MetafilePicture mp;
  mp.packed = SmallMetafile(2);
  const Bytes metafile = BuildMetafileShg(mp).bytes;

  HGLOBAL sentinel = reinterpret_cast<HGLOBAL>(uintptr_t{0x5A5A});
  HMETAFILE metaSentinel = reinterpret_cast<HMETAFILE>(uintptr_t{0x5B5B});
  struct Case {
    const char *what;
    const Bytes &image;
    Wanted want;
    int32_t result;
    bool dib, metafile, header, hotspots;  // which outputs change
  } cases[] = {
      {"bitmap: the metafile and its header stay", withHotspots, {}, 1, true, false, false, true},
      {"no DIB asked for: the hotspots are still made", withHotspots, {false, true, true}, 1, false, false, false, true},
      {"HotspotSize 0: the hotspot output stays", withoutHotspots, {}, 1, true, false, false, false},
      {"hotspots not asked for", withHotspots, {true, true, false}, 1, true, false, false, false},
      {"metafile: the DIB output stays", metafile, {}, 1, false, true, true, false},
      {"metafile not asked for: nothing made", metafile, {true, false, true}, 1, false, false, false, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    HGLOBAL dib = sentinel, hotspots = sentinel;
    HMETAFILE mf = metaSentinel;
    PlaceableMetafileHeader header;
    std::memset(&header, 0xA5, sizeof header);
    std::vector<uint8_t> image(c.image);
    int32_t result = SHGImportEx(nullptr, image.data(), static_cast<uint32_t>(image.size()),
                                 c.want.dib ? &dib : nullptr, c.want.metafile ? &mf : nullptr, &header,
                                 c.want.hotspots ? &hotspots : nullptr);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(dib != sentinel, c.dib);
    EXPECT_EQ(mf != metaSentinel, c.metafile);
    EXPECT_EQ(header.key != 0xA5A5A5A5u, c.header);
    EXPECT_EQ(hotspots != sentinel, c.hotspots);
    if (dib != sentinel) GlobalFree(dib);
    if (mf != metaSentinel) DeleteMetaFile(mf);
    if (hotspots != sentinel) GlobalFree(hotspots);
  }
}

TEST(ShgImportMessages, ShowTheirTextCaptionStyleAndOwner) {
  HWND owner = reinterpret_cast<HWND>(uintptr_t{0x1234});
  FileShape type5{"lp", 1, 5};
  MetafilePicture method3;
  method3.method = 3;
  method3.packed = SmallMetafile(1);
  BitmapPicture method4 = Bitmap(0);
  method4.method = 4;
  std::vector<FileHotspot> odd = ThreeHotspots();
  odd[0].code = 0x00EA;
  odd[1].code = 0x1234;
  struct Case {
    const char *what;
    Bytes image;
    int32_t result;
    std::vector<std::string> messages;
  } cases[] = {
      {"magic", [] { auto b = BuildBitmapShg(Bitmap(0)).bytes; b[1] = 'x'; return b; }(), 0,
       {"SHG-Import|Not a valid SHG-File|16"}},
      {"an empty image", {}, 0, {"SHG-Import|Not a valid SHG-File|16"}},
      {"picture type 5", BuildBitmapShg(Bitmap(0), type5).bytes, 0, {"SHG-Import|Unknown Sub-Filetype|16"}},
      {"metafile packed with method 3", BuildMetafileShg(method3).bytes, 0,
       {"SHG-Import|Unknown Sub-Filetype|16"}},
      {"bitmap packed with method 4", BuildBitmapShg(method4).bytes, 0, {"SHG-Import|Unknown Sub-Filetype|16"}},
      {"two unknown hotspot codes: one box each", BuildBitmapShg(Bitmap(1, BuildHotspotData(odd))).bytes, 1,
       {"SHG-Import|Unknown Hotspot Type|0", "SHG-Import|Unknown Hotspot Type|0"}},
      {"no memory for the DIB (more than 32 bits of rows)",
       [] {
         auto p = Bitmap(0, BuildHotspotData(ThreeHotspots()));
         p.width = 0x10000;
         p.height = 0x10000;
         return BuildBitmapShg(p).bytes;
       }(),
       0, {"SHG-Import|Not enough memory|4096"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    MessageRecorder recorder;
    Imported got;
    ImportEx(got, c.image, {}, owner);
    EXPECT_EQ(got.result, c.result);
    EXPECT_EQ(recorder.lines(), c.messages);
    for (HWND o : recorder.owners()) EXPECT_EQ(o, owner);
  }
}

TEST(ShgImportMessages, UnknownCodesBecomeJumpsToTheSecondString) {
  std::vector<FileHotspot> odd = ThreeHotspots();
  odd[0].code = 0x00EA;
  odd[2].code = 0x00EA;  // was a macro: now the pair's second string is the target
  MessageRecorder recorder;
  Imported got;
  ImportEx(got, BuildBitmapShg(Bitmap(1, BuildHotspotData(odd))).bytes);
  EXPECT_EQ(recorder.lines().size(), 2u);
  ReadList list = ReadHotspotList(got.hotspots);
  ASSERT_EQ(list.hotspots.size(), 3u);
  EXPECT_EQ(list.hotspots[0].kind, SHG_HOTSPOT_JUMP);
  EXPECT_EQ(list.hotspots[0].target, "ctx_jump");
  EXPECT_EQ(list.hotspots[2].kind, SHG_HOTSPOT_JUMP);
  EXPECT_EQ(list.hotspots[2].target, "unused second");
}

TEST(ShgImportMessages, NoMemoryForTheDibStillHandsOutTheHotspots) {
  auto p = Bitmap(0, BuildHotspotData(ThreeHotspots()));
  p.width = 0x10000;
  p.height = 0x10000;
  MessageRecorder recorder;
  Imported got;
  ImportEx(got, BuildBitmapShg(p).bytes);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(got.dib, nullptr);
  EXPECT_EQ(ReadHotspotList(got.hotspots).hotspots, kThreeInList);
}

TEST(ShgImportMessages, TheDefaultHandlerWritesToStandardError) {
  QuillonMessageBoxHandler previous = QuillonSetMessageBoxHandler(nullptr);
  testing::internal::CaptureStderr();
  Imported got;
  ImportEx(got, Bytes{'x', 'y', 0, 0});
  std::string err = testing::internal::GetCapturedStderr();
  QuillonSetMessageBoxHandler(previous);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(err, "SHG-Import: Not a valid SHG-File\n");
}

TEST(ShgImportUnbounded, ReadsGoodPicturesLikeTheCheckedEntry) {
  MetafilePicture mp;
  mp.method = 1;
  mp.packed = Rle(SmallMetafile(7));
  mp.hotspots = BuildHotspotData(ThreeHotspots());
  const Bytes images[] = {BuildBitmapShg(Bitmap(3, BuildHotspotData(ThreeHotspots()))).bytes,
                          BuildMetafileShg(mp).bytes};
  for (const Bytes &image : images) {
    Imported checked, unchecked;
    ImportEx(checked, image);
    Import(unchecked, image);
    EXPECT_EQ(unchecked.result, checked.result);
    EXPECT_EQ(BytesOfGlobal(unchecked.dib), BytesOfGlobal(checked.dib));
    EXPECT_EQ(MetafileBits(unchecked.metafile), MetafileBits(checked.metafile));
    EXPECT_EQ(BytesOfGlobal(unchecked.hotspots), BytesOfGlobal(checked.hotspots));
  }
  // Its decoders are bounded by their targets too: 300 bytes stored into
  // rows of 4 (room 2 * 4 + 100).
  BitmapPicture big = Bitmap(0);
  big.width = 4;
  big.height = 1;
  big.packed = RandomBytes(300, 3);
  Imported got;
  Import(got, BuildBitmapShg(big).bytes);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(ViewDib(got.dib).info.biSizeImage, 108u);
}

}  // namespace
