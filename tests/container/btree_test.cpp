// The four tree operations on every kind of key, and damaged trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "container/btree.h"
#include "container/ifs.h"
#include "support/help_builder.h"
#include "support/memory_container.h"

using namespace fixture;
using namespace marlet;


namespace {

using Bytes = fixture::Bytes;

std::vector<TreeEntry> NumberEntries(const std::vector<uint32_t> &keys) {
  std::vector<TreeEntry> entries;
  for (uint32_t key : keys) entries.push_back({U32Bytes(key), U32Bytes(key ^ 0xA5A5A5A5u)});
  return entries;
}

std::vector<TreeEntry> TitleEntries(const std::vector<uint32_t> &keys) {
  std::vector<TreeEntry> entries;
  for (uint32_t key : keys) entries.push_back({U32Bytes(key), CStringBytes("title " + std::to_string(key))});
  return entries;
}

std::vector<TreeEntry> WordEntries(const std::vector<std::string> &words) {
  std::vector<TreeEntry> entries;
  for (size_t i = 0; i < words.size(); ++i) {
    Bytes data;
    PutU16(data, static_cast<uint32_t>(i));
    PutU32(data, static_cast<uint32_t>(i * 4));
    entries.push_back({CStringBytes(words[i]), data});
  }
  return entries;
}

// A container holding one tree as the internal file "|TREE".
struct TreeFile {
  explicit TreeFile(const BuiltTree &tree)
      : container(BuildContainer({{"|TREE", tree.bytes}}).bytes), file(container.get(), "|TREE") {}
  BTreeSource Source() const { return FileTreeSource(file.get()); }
  OpenedContainer container;
  OpenedFile file;
};

std::vector<uint32_t> WalkNumbers(const BTreeSource &source, const TreeLayout &layout, int *result = nullptr) {
  std::vector<uint32_t> seen;
  int r = BTreeWalk(source, layout, {}, [&](const LeafEntry &entry) {
    seen.push_back(entry.Number());
    return true;
  });
  if (result) *result = r;
  return seen;
}

TEST(BTree, SignedKeysPutTheTopBitFirst) {
  std::vector<int32_t> hashes;
  for (int i = -300; i < 300; ++i) hashes.push_back(i * 7000001);
  std::sort(hashes.begin(), hashes.end());
  std::vector<uint32_t> keys(hashes.begin(), hashes.end());
  for (uint16_t pageSize : {64, 512, 2048}) {
    TreeShape shape;
    shape.pageSize = pageSize;
    BuiltTree tree = BuildBTree(NumberEntries(keys), shape);
    TreeFile file(tree);
    BTreeSource source = file.Source();
    int result = 0;
    EXPECT_EQ(WalkNumbers(source, kContextTree, &result), keys);
    EXPECT_EQ(result, 1);
    for (uint32_t key : keys) {
      uint32_t data = 0;
      ASSERT_TRUE(BTreeFind(source, kContextTree, {key, nullptr},
                            [&](const LeafEntry &entry) { data = LoadU32(entry.data.data()); }))
          << key;
      EXPECT_EQ(data, key ^ 0xA5A5A5A5u);
      EXPECT_FALSE(BTreeFind(source, kContextTree, {key + 1, nullptr}, [](const LeafEntry &) {}));
    }
  }
}

TEST(BTree, NearestAtOrBelowUnsigned) {
  std::vector<uint32_t> keys;
  for (uint32_t i = 1; i <= 400; ++i) keys.push_back(i * 1000);
  keys.push_back(0x80000000u);
  keys.push_back(0xFFFFFF00u);
  TreeShape shape;
  shape.pageSize = 128;
  BuiltTree tree = BuildBTree(TitleEntries(keys), shape);
  ASSERT_GE(tree.levels, 3);
  TreeFile file(tree);
  BTreeSource source = file.Source();
  struct Case {
    uint32_t sought;
    bool delivered;
    uint32_t expected;
  } cases[] = {
      {0, false, 0},          {999, false, 0},        {1000, true, 1000},      {1999, true, 1000},
      {2000, true, 2000},     {400000, true, 400000}, {0x7FFFFFFF, true, 400000}, {0x80000000u, true, 0x80000000u},
      {0xFFFFFFFFu, true, 0xFFFFFF00u},
  };
  for (const Case &c : cases) {
    bool delivered = false;
    uint32_t key = 0;
    std::string title;
    EXPECT_EQ(BTreeFindAtOrBelow(source, kTitleTree, c.sought,
                                 [&](const LeafEntry &entry) {
                                   delivered = true;
                                   key = entry.Number();
                                   title = entry.DataText();
                                 }),
              1)
        << c.sought;
    EXPECT_EQ(delivered, c.delivered) << c.sought;
    if (c.delivered) {
      EXPECT_EQ(key, c.expected) << c.sought;
      EXPECT_EQ(title, "title " + std::to_string(c.expected));
    }
  }
}

TEST(BTree, AWalkStopsAtTheFirstZero) {
  std::vector<uint32_t> keys;
  for (uint32_t i = 0; i < 1000; ++i) keys.push_back(i);
  for (uint16_t pageSize : {64, 4096}) {
    TreeShape shape;
    shape.pageSize = pageSize;
    TreeFile file(BuildBTree(TitleEntries(keys), shape));
    for (int stopAt : {0, 1, 500, 999}) {
      int calls = 0;
      int result = BTreeWalk(file.Source(), kTitleTree, {}, [&](const LeafEntry &) { return calls++ != stopAt; });
      EXPECT_EQ(result, 0);
      EXPECT_EQ(calls, stopAt + 1);
    }
  }
}

TEST(BTree, WalkFromAStartKeyComparesWithoutCase) {
  std::vector<std::string> words;
  for (char a = 'a'; a <= 'z'; ++a)
    for (char b = 'a'; b <= 'z'; b += 5) words.push_back(std::string(1, a) + b + "word");
  TreeShape shape;
  shape.pageSize = 96;
  TreeFile file(BuildBTree(WordEntries(words), shape));
  BTreeSource source = file.Source();
  auto from = [&](const char *start) {
    std::vector<std::string> seen;
    WalkOptions options;
    options.startKey = start;
    EXPECT_EQ(BTreeWalk(source, kKeywordTree, options,
                        [&](const LeafEntry &entry) {
                          seen.push_back(entry.Text());
                          return true;
                        }),
              1);
    return seen;
  };
  EXPECT_EQ(from(""), words);
  EXPECT_TRUE(from("zzz").empty());
  std::vector<std::string> fromM = from("MKWORD");
  ASSERT_FALSE(fromM.empty());
  EXPECT_EQ(fromM.front(), "mkword");
  EXPECT_EQ(fromM.size(), static_cast<size_t>(words.end() - std::find(words.begin(), words.end(), "mkword")));
  EXPECT_EQ(from("mk").front(), "mkword");

  // The walk from a late start reads only the pages on the way there.
  long before = file.container.files().readCount();
  from("zpword");
  long late = file.container.files().readCount() - before;
  before = file.container.files().readCount();
  from("");
  long all = file.container.files().readCount() - before;
  EXPECT_LT(late * 3, all);
}

TEST(BTree, EmptyTreesYieldNothing) {
  for (bool negative : {false, true}) {
    TreeShape shape;
    shape.emptyRootIsNegative = negative;
    TreeFile file(BuildBTree({}, shape));
    BTreeSource source = file.Source();
    int result = 0;
    EXPECT_TRUE(WalkNumbers(source, kTitleTree, &result).empty());
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(BTreeFind(source, kContextTree, {0, nullptr}, [](const LeafEntry &) {}));
    bool delivered = false;
    EXPECT_EQ(BTreeFindAtOrBelow(source, kTitleTree, 5, [&](const LeafEntry &) { delivered = true; }), 1);
    EXPECT_FALSE(delivered);
  }
}

// ---- Damaged trees ----------------------------------------------------------

struct Damage {
  const char *name;
  void (*apply)(BuiltTree &);
};

void SetRootPage(BuiltTree &t, uint32_t page) { SetU16(t.bytes, kTreeRootField, page); }

const Damage kDamages[] = {
    {"root page past the file", [](BuiltTree &t) { SetRootPage(t, 999); }},
    {"root page 0x7FFF", [](BuiltTree &t) { SetRootPage(t, 0x7FFF); }},
    {"page size 0", [](BuiltTree &t) { SetU16(t.bytes, kTreePageSizeField, 0); }},
    {"page size 1", [](BuiltTree &t) { SetU16(t.bytes, kTreePageSizeField, 1); }},
    {"page size 65535", [](BuiltTree &t) { SetU16(t.bytes, kTreePageSizeField, 65535); }},
    {"level count 0", [](BuiltTree &t) { SetU16(t.bytes, kTreeLevelsField, 0); }},
    {"level count 1", [](BuiltTree &t) { SetU16(t.bytes, kTreeLevelsField, 1); }},
    {"level count 1000", [](BuiltTree &t) { SetU16(t.bytes, kTreeLevelsField, 1000); }},
    {"level count -5", [](BuiltTree &t) { SetU16(t.bytes, kTreeLevelsField, 0xFFFB); }},
    {"leaf count larger than the page",
     [](BuiltTree &t) { SetU16(t.bytes, t.PageOffset(t.pagesByLevel.back()[1]) + 2, 30000); }},
    {"negative leaf count", [](BuiltTree &t) { SetU16(t.bytes, t.PageOffset(t.pagesByLevel.back()[0]) + 2, 0x8000); }},
    {"index count larger than the page", [](BuiltTree &t) { SetU16(t.bytes, t.PageOffset(t.root) + 2, 30000); }},
    {"keys without terminator",
     [](BuiltTree &t) {
       size_t at = t.PageOffset(t.pagesByLevel.back()[2]);
       std::fill(t.bytes.begin() + at + 8, t.bytes.begin() + at + t.pageSize, 'A');
     }},
    {"index keys without terminator",
     [](BuiltTree &t) {
       size_t at = t.PageOffset(t.root);
       std::fill(t.bytes.begin() + at + 6, t.bytes.begin() + at + t.pageSize, 'A');
     }},
    {"child points back at the root",
     [](BuiltTree &t) { SetU16(t.bytes, t.PageOffset(t.pagesByLevel[1][0]) + 4, static_cast<uint32_t>(t.root)); }},
    {"child points at itself",
     [](BuiltTree &t) {
       int page = t.pagesByLevel[1][1];
       SetU16(t.bytes, t.PageOffset(page) + 4, static_cast<uint32_t>(page));
     }},
    {"every child is the root",
     [](BuiltTree &t) {
       for (size_t level = 0; level + 1 < t.pagesByLevel.size(); ++level)
         for (int page : t.pagesByLevel[level])
           for (size_t at = t.PageOffset(page) + 4; at + 1 < t.PageOffset(page) + t.pageSize; at += 2)
             SetU16(t.bytes, at, static_cast<uint32_t>(t.root));
     }},
    {"tree cut in the middle", [](BuiltTree &t) { t.bytes.resize(t.bytes.size() / 2); }},
    {"header only", [](BuiltTree &t) { t.bytes.resize(38); }},
    {"header cut short", [](BuiltTree &t) { t.bytes.resize(20); }},
};

std::vector<std::string> Names(int n) {
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back("|entry" + std::to_string(1000 + i));
  return names;
}

TEST(BTreeDamage, StringTreesNeverReadOutsideAndAlwaysEnd) {
  std::vector<std::string> words = Names(400);
  TreeShape shape;
  shape.pageSize = 128;
  for (const Damage &damage : kDamages) {
    BuiltTree tree = BuildBTree(WordEntries(words), shape);
    ASSERT_GE(tree.levels, 3);
    damage.apply(tree);
    TreeFile file(tree);
    BTreeSource source = file.Source();
    size_t seen = 0;
    BTreeWalk(source, kKeywordTree, {}, [&](const LeafEntry &) { return ++seen, true; });
    EXPECT_LE(seen, words.size() * 2) << damage.name;
    WalkOptions from;
    from.startKey = "|entry1200";
    from.onFailedPage = OnFailedPage::Skip;
    BTreeWalk(source, kKeywordTree, from, [&](const LeafEntry &) { return true; });
    for (const char *word : {"|entry1000", "|entry1234", "|entry1399", "zzz"})
      BTreeFind(source, kDirectoryTree, {0, word}, [](const LeafEntry &) {});
  }
}

TEST(BTreeDamage, NumberTreesNeverReadOutsideAndAlwaysEnd) {
  std::vector<uint32_t> keys;
  for (uint32_t i = 0; i < 500; ++i) keys.push_back(i * 3);
  TreeShape shape;
  shape.pageSize = 64;
  for (const Damage &damage : kDamages) {
    BuiltTree tree = BuildBTree(TitleEntries(keys), shape);
    ASSERT_GE(tree.levels, 3);
    damage.apply(tree);
    TreeFile file(tree);
    BTreeSource source = file.Source();
    size_t seen = 0;
    BTreeWalk(source, kTitleTree, {}, [&](const LeafEntry &) { return ++seen, true; });
    EXPECT_LE(seen, keys.size() * 2) << damage.name;
    for (uint32_t sought : {0u, 700u, 1497u, 5000u}) {
      BTreeFindAtOrBelow(source, kTitleTree, sought, [](const LeafEntry &) {});
      BTreeFind(source, kContextTree, {sought, nullptr}, [](const LeafEntry &) {});
    }
  }
}

TEST(BTreeDamage, AFailedPageStopsOrIsSkipped) {
  std::vector<uint32_t> keys;
  for (uint32_t i = 0; i < 300; ++i) keys.push_back(i);
  TreeShape shape;
  shape.pageSize = 64;
  BuiltTree tree = BuildBTree(NumberEntries(keys), shape);
  // The second leaf lies past the end of the file.
  SetU16(tree.bytes, tree.PageOffset(tree.pagesByLevel[tree.levels - 2][0]) + 6 + 4, 0xFFF0);
  TreeFile file(tree);
  BTreeSource source = file.Source();
  int stopped = 0, skipped = 0;
  int result = BTreeWalk(source, kContextTree, {}, [&](const LeafEntry &) { return ++stopped, true; });
  EXPECT_EQ(result, 0);
  WalkOptions skip;
  skip.onFailedPage = OnFailedPage::Skip;
  EXPECT_EQ(BTreeWalk(source, kContextTree, skip, [&](const LeafEntry &) { return ++skipped, true; }), 1);
  EXPECT_GT(skipped, stopped);
  EXPECT_LT(skipped, 300);
  // The keys of the lost leaf are not found; the others are.
  EXPECT_TRUE(BTreeFind(source, kContextTree, {0, nullptr}, [](const LeafEntry &) {}));
  EXPECT_TRUE(BTreeFind(source, kContextTree, {299, nullptr}, [](const LeafEntry &) {}));
}

// The directory, damaged, through the exports.
TEST(DirectoryDamage, OpenWorksAndOnlyLookupsAndListingsSuffer) {
  std::vector<InternalFile> files;
  for (const std::string &name : Names(300)) files.push_back({name, Bytes(10, 1)});
  ContainerShape shape;
  shape.directory.pageSize = 128;
  for (const Damage &damage : kDamages) {
    BuiltContainer built = BuildContainer(files, shape);
    BuiltTree tree = built.directory;
    damage.apply(tree);
    // Put the damaged tree back in place; a shorter tree leaves the rest of
    // the old one behind it, a longer one cannot happen here.
    size_t at = built.directoryOffset + 9;
    std::copy(tree.bytes.begin(), tree.bytes.end(), built.bytes.begin() + static_cast<long>(at));
    if (tree.bytes.size() < built.directory.bytes.size())
      built.bytes.resize(at + tree.bytes.size());
    OpenedContainer container(built.bytes);
    if (!container) {
      EXPECT_TRUE(std::string(damage.name).find("header") != std::string::npos) << damage.name;
      continue;
    }
    int listed = 0;
    IFSEnumerateFiles(
        container.get(), [](const char *, int32_t, MarletUserData user) -> int32_t {
          return ++*reinterpret_cast<int *>(user), 1;
        },
        reinterpret_cast<MarletUserData>(&listed));
    EXPECT_LE(listed, 600) << damage.name;
    for (const InternalFile &file : files) {
      OpenedFile opened(container.get(), file.name.c_str());
      if (opened) {
        uint8_t buffer[16];
        EXPECT_EQ(IFSReadFile(opened.get(), buffer, sizeof buffer), 10) << damage.name;
      }
    }
  }
}

}  // namespace
