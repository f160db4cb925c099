// The platform's movable global memory and metafile handles, as the picture
// conversion and its callers use them.
#include <gtest/gtest.h>

#include <quillon/platform.h>

#include <cstdint>
#include <cstring>

#include "support/shg_builder.h"

namespace {

TEST(GlobalMemory, ZeroInitialisedMovableBlocks) {
  HGLOBAL block = GlobalAlloc(GHND, 1000);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 1000u);
  auto *data = static_cast<uint8_t *>(GlobalLock(block));
  ASSERT_NE(data, nullptr);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(data[i], 0);
  std::memset(data, 7, 1000);
  EXPECT_FALSE(GlobalUnlock(block));  // no lock left
  // Growing zero-fills the new part; the old bytes move along.
  ASSERT_EQ(GlobalReAlloc(block, 5000, GMEM_ZEROINIT), block);
  data = static_cast<uint8_t *>(GlobalLock(block));
  EXPECT_EQ(data[999], 7);
  EXPECT_EQ(data[1000], 0);
  EXPECT_EQ(data[4999], 0);
  GlobalUnlock(block);
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, LockedBlocksMoveOnlyWhenAllowed) {
  HGLOBAL block = GlobalAlloc(GHND, 100);
  void *locked = GlobalLock(block);
  ASSERT_EQ(GlobalReAlloc(block, 40, 0), block);  // shrinks in place
  EXPECT_EQ(GlobalSize(block), 40u);
  EXPECT_EQ(GlobalLock(block), locked);
  EXPECT_EQ(GlobalReAlloc(block, 1 << 20, 0), nullptr);  // cannot grow in place
  EXPECT_EQ(GlobalSize(block), 40u);
  ASSERT_EQ(GlobalReAlloc(block, 1 << 20, GMEM_MOVEABLE), block);
  EXPECT_EQ(GlobalSize(block), size_t{1} << 20);
  EXPECT_TRUE(GlobalUnlock(block));   // one lock left
  EXPECT_FALSE(GlobalUnlock(block));  // none
  EXPECT_FALSE(GlobalUnlock(block));  // not locked: fails
  GlobalFree(block);
}

TEST(GlobalMemory, RefusesWhatCannotBeHad) {
  EXPECT_EQ(GlobalAlloc(GHND, SIZE_MAX), nullptr);
  HGLOBAL block = GlobalAlloc(GHND, 0);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 0u);
  EXPECT_EQ(GlobalReAlloc(block, SIZE_MAX, 0), nullptr);
  EXPECT_EQ(GlobalSize(block), 0u);
  GlobalFree(block);
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  EXPECT_EQ(GlobalSize(nullptr), 0u);
}

TEST(Metafiles, KeepTheirOwnCopyOfTheBytes) {
  fixture::Bytes wmf = fixture::SmallMetafile(2);
  HMETAFILE metafile = SetMetaFileBitsEx(static_cast<UINT>(wmf.size()), wmf.data());
  ASSERT_NE(metafile, nullptr);
  wmf[20] ^= 0xFF;
  fixture::Bytes back(GetMetaFileBitsEx(metafile, 0, nullptr));
  EXPECT_EQ(back.size(), wmf.size());
  EXPECT_EQ(GetMetaFileBitsEx(metafile, static_cast<UINT>(back.size() - 1), back.data()), 0u);
  EXPECT_EQ(GetMetaFileBitsEx(metafile, static_cast<UINT>(back.size()), back.data()), back.size());
  wmf[20] ^= 0xFF;
  EXPECT_EQ(back, wmf);
  EXPECT_TRUE(DeleteMetaFile(metafile));
  EXPECT_EQ(SetMetaFileBitsEx(10, wmf.data()), nullptr);  // shorter than a header
  fixture::Bytes notWmf(40, 3);
  EXPECT_EQ(SetMetaFileBitsEx(40, notWmf.data()), nullptr);
}

}  // namespace
