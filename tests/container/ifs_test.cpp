// Opening help files and reading their internal files.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/help_builder.h"
#include "support/memory_container.h"

using namespace fixture;

namespace {

Bytes Sequence(size_t n, uint8_t first = 0) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(first + i);
  return out;
}

std::vector<InternalFile> SampleFiles() {
  return {{"|SYSTEM", Sequence(40)}, {"|TOPIC", Sequence(100, 7)}, {"empty", {}},
          {"author.txt", Sequence(3, 'a')}, {"|CONTEXT", Sequence(12)}};
}

struct Listed {
  std::string name;
  int32_t offset;
};

int32_t MARLET_API Collect(const char *name, int32_t offset, MarletUserData user) {
  reinterpret_cast<std::vector<Listed> *>(user)->push_back({name, offset});
  return 0;  // ignored: the listing goes on
}

std::vector<Listed> ListFiles(IfsHandle container) {
  std::vector<Listed> listed;
  IFSEnumerateFiles(container, Collect, reinterpret_cast<MarletUserData>(&listed));
  return listed;
}

TEST(IfsOpen, OpensAContainerAndReadsItsFiles) {
  BuiltContainer built = BuildContainer(SampleFiles());
  OpenedContainer container(built.bytes);
  ASSERT_TRUE(container);
  OpenedFile topic(container.get(), "|TOPIC");
  ASSERT_TRUE(topic);
  EXPECT_EQ(IFSSeekFile(topic.get(), 0, 2), 100u);
  EXPECT_EQ(IFSSeekFile(topic.get(), 0, 0), 0u);
  uint8_t buffer[200] = {};
  EXPECT_EQ(IFSReadFile(topic.get(), buffer, 10), 10);
  EXPECT_EQ(buffer[0], 7);
  EXPECT_EQ(buffer[9], 16);
  EXPECT_EQ(IFSSeekFile(topic.get(), 0, 1), 10u);
}

TEST(IfsOpenFile, NamesMatchWholeAndWithCase) {
  BuiltContainer built = BuildContainer(SampleFiles());
  OpenedContainer container(built.bytes);
  ASSERT_TRUE(container);
  for (const char *name : {"|system", "|SYS", "|SYSTEMX", "", "SYSTEM", "|TOPI"}) {
    IfsFileHandle file = IFSOpenFile(container.get(), name);
    EXPECT_EQ(file, nullptr) << name;
    IFSCloseFile(file);
  }
  OpenedFile system(container.get(), "|SYSTEM");
  EXPECT_TRUE(system);
  OpenedFile empty(container.get(), "empty");
  ASSERT_TRUE(empty);
  EXPECT_EQ(IFSSeekFile(empty.get(), 0, 2), 0u);
}

TEST(IfsReadFile, ReadsAreCutAtTheEnd) {
  BuiltContainer built = BuildContainer(SampleFiles());
  OpenedContainer container(built.bytes);
  OpenedFile file(container.get(), "|TOPIC");
  ASSERT_TRUE(file);
  uint8_t buffer[200];

  IFSSeekFile(file.get(), 70, 0);
  EXPECT_EQ(IFSReadFile(file.get(), buffer, 100), 30);  // 30 left
  EXPECT_EQ(IFSSeekFile(file.get(), 0, 1), 100u);       // at the end
  EXPECT_EQ(IFSReadFile(file.get(), buffer, 1), 0);     // position = size

  EXPECT_EQ(IFSSeekFile(file.get(), 50, 2), 150u);  // beyond the end is allowed
  EXPECT_EQ(IFSReadFile(file.get(), buffer, 10), 0);
  EXPECT_EQ(IFSSeekFile(file.get(), 0, 1), 150u);  // and stays there

  IFSSeekFile(file.get(), 5, 0);
  EXPECT_EQ(IFSSeekFile(file.get(), 99, 3), 5u);  // unknown origin: unchanged
  EXPECT_EQ(IFSSeekFile(file.get(), -3, 1), 2u);
  EXPECT_EQ(IFSSeekFile(file.get(), -1, 0), 0xFFFFFFFFu);  // 32-bit, wraps
  EXPECT_EQ(IFSReadFile(file.get(), buffer, 10), 0);
}

TEST(IfsReadFile, TwoHandlesOnOneFileReadIndependently) {
  BuiltContainer built = BuildContainer(SampleFiles());
  OpenedContainer container(built.bytes);
  OpenedFile a(container.get(), "|TOPIC"), b(container.get(), "|TOPIC");
  uint8_t x = 0, y = 0;
  IFSSeekFile(a.get(), 20, 0);
  ASSERT_EQ(IFSReadFile(b.get(), &y, 1), 1);
  ASSERT_EQ(IFSReadFile(a.get(), &x, 1), 1);
  EXPECT_EQ(x, 27);
  EXPECT_EQ(y, 7);
  ASSERT_EQ(IFSReadFile(b.get(), &y, 1), 1);
  EXPECT_EQ(y, 8);
}

TEST(IfsReadFile, DataPastTheContainerReadsWhatIsThere) {
  BuiltContainer built = BuildContainer(SampleFiles());
  // |TOPIC claims 10000 bytes; the container ends long before.
  uint32_t header = built.headerOffsets["|TOPIC"];
  SetU32(built.bytes, header + 4, 10000);
  size_t available = built.bytes.size() - (header + 9);
  OpenedContainer container(built.bytes);
  OpenedFile file(container.get(), "|TOPIC");
  ASSERT_TRUE(file);
  EXPECT_EQ(IFSSeekFile(file.get(), 0, 2), 10000u);
  IFSSeekFile(file.get(), 0, 0);
  std::vector<uint8_t> buffer(20000);
  EXPECT_EQ(IFSReadFile(file.get(), buffer.data(), 20000), static_cast<int32_t>(available));
  EXPECT_EQ(IFSReadFile(file.get(), buffer.data(), 20000), 0);
}

TEST(IfsOpenFile, AHeaderPastTheContainerGivesNull) {
  BuiltContainer built = BuildContainer(SampleFiles());
  // Point the directory entry of |TOPIC far outside the file.
  auto at = std::search(built.bytes.begin() + built.directoryOffset, built.bytes.end(),
                        std::begin("|TOPIC"), std::end("|TOPIC"));
  ASSERT_NE(at, built.bytes.end());
  SetU32(built.bytes, static_cast<size_t>(at - built.bytes.begin()) + 7, 0x7FFFFFF0);
  OpenedContainer container(built.bytes);
  EXPECT_EQ(IFSOpenFile(container.get(), "|TOPIC"), nullptr);
  OpenedFile system(container.get(), "|SYSTEM");
  EXPECT_TRUE(system);
}

TEST(IfsEnumerateFiles, ListsInBytewiseOrderWithTheOffsetsOpenUses) {
  BuiltContainer built = BuildContainer(SampleFiles());
  OpenedContainer container(built.bytes);
  std::vector<Listed> listed = ListFiles(container.get());
  std::vector<std::string> names;
  for (const Listed &entry : listed) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"author.txt", "empty", "|CONTEXT", "|SYSTEM", "|TOPIC"}));
  for (const Listed &entry : listed)
    EXPECT_EQ(static_cast<uint32_t>(entry.offset), built.headerOffsets[entry.name]) << entry.name;
}

int32_t MARLET_API ReadEachFile(const char *name, int32_t, MarletUserData user) {
  auto container = *reinterpret_cast<IfsHandle *>(user);
  IfsFileHandle file = IFSOpenFile(container, name);
  if (file != nullptr) {
    uint8_t buffer[256];
    IFSReadFile(file, buffer, sizeof buffer);
    IFSCloseFile(file);
  }
  return 1;
}

TEST(IfsEnumerateFiles, TheCallbackMayUseTheContainer) {
  std::vector<InternalFile> files;
  for (int i = 0; i < 300; ++i) files.push_back({"file" + std::to_string(i), Sequence(i % 50)});
  ContainerShape shape;
  shape.directory.pageSize = 128;  // a three-level directory
  BuiltContainer built = BuildContainer(files, shape);
  ASSERT_GE(built.directory.levels, 3);
  OpenedContainer container(built.bytes);
  IfsHandle handle = container.get();
  IFSEnumerateFiles(handle, ReadEachFile, reinterpret_cast<MarletUserData>(&handle));
  EXPECT_EQ(ListFiles(handle).size(), 300u);
}

TEST(IfsDirectory, DeepTreesFindEveryName) {
  std::vector<InternalFile> files;
  for (int i = 0; i < 500; ++i) files.push_back({"|name" + std::to_string(i * 7919 % 1000), Sequence(i % 7)});
  for (uint16_t pageSize : {64, 100, 256, 1024, 4096}) {
    ContainerShape shape;
    shape.directory.pageSize = pageSize;
    BuiltContainer built = BuildContainer(files, shape);
    OpenedContainer container(built.bytes);
    ASSERT_TRUE(container) << pageSize;
    for (const InternalFile &file : files) {
      OpenedFile opened(container.get(), file.name.c_str());
      ASSERT_TRUE(opened) << file.name << " page size " << pageSize;
      EXPECT_EQ(IFSSeekFile(opened.get(), 0, 2), file.data.size());
    }
    // Keys of index pages are found in the child right of them; names
    // between stored ones are not found.
    for (const char *missing : {"|name", "|name10000", "|nam", "|name5a", "~"}) {
      IfsFileHandle none = IFSOpenFile(container.get(), missing);
      EXPECT_EQ(none, nullptr) << missing;
    }
    EXPECT_EQ(ListFiles(container.get()).size(), files.size());
  }
}

TEST(IfsDirectory, AnEmptyDirectoryHasNoFiles) {
  for (bool negativeRoot : {false, true}) {
    ContainerShape shape;
    shape.directory.emptyRootIsNegative = negativeRoot;
    BuiltContainer built = BuildContainer({}, shape);
    OpenedContainer container(built.bytes);
    ASSERT_TRUE(container);
    EXPECT_EQ(IFSOpenFile(container.get(), "|SYSTEM"), nullptr);
    EXPECT_TRUE(ListFiles(container.get()).empty());
  }
}

TEST(IfsClose, NullHandlesAreAccepted) {
  IFSClose(nullptr);
  IFSCloseFile(nullptr);
  SUCCEED();
}

// ---- Files that are no help containers -------------------------------------

struct BadFile {
  const char *name;
  Bytes bytes;
};

std::vector<BadFile> BadFiles() {
  BuiltContainer good = BuildContainer(SampleFiles());
  std::vector<BadFile> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"fifteen bytes", Bytes(good.bytes.begin(), good.bytes.begin() + 15)});
  Bytes magic = good.bytes;
  magic[2] = 0x04;
  cases.push_back({"wrong magic", magic});
  Bytes atEnd = good.bytes;
  SetU32(atEnd, 4, static_cast<uint32_t>(atEnd.size()));
  cases.push_back({"directory offset at the end", atEnd});
  Bytes pastEnd = good.bytes;
  SetU32(pastEnd, 4, 0xFFFFFFF0u);
  cases.push_back({"directory offset past the end", pastEnd});
  Bytes shortTree = good.bytes;
  SetU32(shortTree, 4, static_cast<uint32_t>(shortTree.size() - 40));  // 38-byte header cut
  cases.push_back({"directory header cut short", shortTree});
  return cases;
}

TEST(IfsOpen, FilesThatAreNoContainersGiveNullAndLeaveNothingOpen) {
  TempDir dir;
  int before = OpenDescriptorCount();
  EXPECT_EQ(IFSOpen((dir.path() + "/missing.hlp").c_str()), nullptr);
  EXPECT_EQ(IFSOpen(dir.path().c_str()), nullptr);  // a folder
  for (const BadFile &bad : BadFiles()) {
    std::string path = dir.Write("bad.hlp", bad.bytes);
    EXPECT_EQ(IFSOpen(path.c_str()), nullptr) << bad.name;
    EXPECT_EQ(OpenDescriptorCount(), before) << bad.name;
  }
  MemoryFiles memory;
  for (const BadFile &bad : BadFiles()) {
    memory.Add("bad", bad.bytes);
    EXPECT_EQ(IFSOpen("bad"), nullptr) << bad.name;
    EXPECT_EQ(memory.openCount(), 0) << bad.name;
  }
}

TEST(IfsOpen, RealFilesThatAreNoContainersGiveNull) {
  std::string corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "left out: no shared corpus of real files on this machine";
  for (const char *name : {"oemdisplay-tandy__DOS_EDIT.HLP", "oemdisplay-tandy__TTY.HLP.szdd",
                           "os9_68k_sdk_v12__umacs.hlp", "eudora-win__eudora.gid.empty"}) {
    std::string path = corpus + "/odd/" + name;
    IfsHandle handle = IFSOpen(path.c_str());
    EXPECT_EQ(handle, nullptr) << name;
    IFSClose(handle);
  }
}

}  // namespace
