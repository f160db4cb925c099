// .bmp and placeable .wmf files from what SHGImport makes.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include "imported.h"
#include "shg/picture_file.h"
#include "support/shg_builder.h"

using namespace fixture;
using namespace shgtest;

namespace {

uint32_t U32(const Bytes &b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24; }

TEST(PictureFile, BmpOfAnImportedBitmap) {
  BitmapPicture p;
  p.method = 1;
  p.bitCount = 4;
  p.width = 9;
  p.height = 3;
  p.colours = Palette(16);
  Bytes pixels = RandomBytes(8 * 3, 2);  // rows of 8 bytes
  p.packed = RleLiterals(pixels);
  Imported got;
  ImportEx(got, BuildBitmapShg(p).bytes);
  Bytes bmp = marlet::BmpFileBytes(got.dib);
  ASSERT_EQ(bmp.size(), 14u + 40 + 64 + 24);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(U32(bmp, 2), bmp.size());
  EXPECT_EQ(U32(bmp, 6), 0u);
  EXPECT_EQ(U32(bmp, 10), 14u + 40 + 64);
  EXPECT_EQ(U32(bmp, 14), 40u);
  EXPECT_EQ(U32(bmp, 14 + 20), 24u);  // biSizeImage: the rows
  EXPECT_EQ(Bytes(bmp.begin() + 14 + 40, bmp.begin() + 14 + 40 + 64), Palette(16));
  EXPECT_EQ(Bytes(bmp.begin() + 14 + 40 + 64, bmp.end()), pixels);
}

TEST(PictureFile, BmpRefusesWhatIsNoDib) {
  EXPECT_TRUE(marlet::BmpFileBytes(nullptr).empty());
  HGLOBAL small = GlobalFromBytes(Bytes(20, 0));
  EXPECT_TRUE(marlet::BmpFileBytes(small).empty());
  GlobalFree(small);
  // Rows past the block.
  Bytes dib = DibBytes(8, 100, 100, {}, Bytes(10, 0));
  HGLOBAL cut = GlobalFromBytes(dib);
  EXPECT_TRUE(marlet::BmpFileBytes(cut).empty());
  GlobalFree(cut);
}

TEST(PictureFile, PlaceableWmfOfAnImportedMetafile) {
  MetafilePicture p;
  p.method = 2;
  p.width = 955;
  p.height = 427;
  Bytes wmf = SmallMetafile(3);
  p.packed = Lz77Pack(wmf);
  Imported got;
  ImportEx(got, BuildMetafileShg(p).bytes);
  Bytes file = marlet::WmfFileBytes(got.metafile, got.header);
  ASSERT_EQ(file.size(), 22u + wmf.size());
  EXPECT_EQ(U32(file, 0), 0x9AC6CDD7u);
  EXPECT_EQ(file[10] | file[11] << 8, 95);
  EXPECT_EQ(file[12] | file[13] << 8, 42);
  EXPECT_EQ(file[14] | file[15] << 8, 254);
  EXPECT_EQ(file[20] | file[21] << 8, 0x57EF ^ 95 ^ 42);
  EXPECT_EQ(Bytes(file.begin() + 22, file.end()), wmf);
  EXPECT_TRUE(marlet::WmfFileBytes(nullptr, got.header).empty());
}

}  // namespace
