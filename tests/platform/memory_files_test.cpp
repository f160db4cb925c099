// Memory files: bytes registered under a path, read through the library as a
// file on disk would be, released once nobody needs them.
#include <gtest/gtest.h>

#include <marlet/marlet.h>
#include <quillon/platform.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/help_builder.h"

using fixture::Bytes;

namespace {

struct Released {
  std::atomic<int> count{0};
  static void Release(void *context) { ++static_cast<Released *>(context)->count; }
};

std::string Register(const Bytes &bytes, const char *name, Released *released) {
  char path[256];
  EXPECT_EQ(QuillonRegisterMemoryFile(bytes.data(), bytes.size(), name, Released::Release, released, path,
                                      sizeof path),
            1);
  return path;
}

// The bytes of the whole |SYSTEM internal file, as a caller of the exports reads them.
std::string SystemBytes(IfsHandle help) {
  IfsFileHandle system = IFSOpenFile(help, "|SYSTEM");
  if (system == nullptr) return "";
  uint32_t size = IFSSeekFile(system, 0, 2);
  IFSSeekFile(system, 0, 0);
  std::string bytes(size, '\0');
  IFSReadFile(system, bytes.data(), size);
  IFSCloseFile(system);
  return bytes;
}

std::string HelpFilePath() { return fixture::HalibutDir() + "/quillon-guide.hlp"; }

TEST(MemoryFiles, HelpFileReadsAsFromDisk) {
  Bytes bytes = fixture::ReadFileBytes(HelpFilePath());
  ASSERT_FALSE(bytes.empty());
  Released released;
  std::string path = Register(bytes, "C:\\HELP\\GUIDE.HLP", &released);
  EXPECT_EQ(path.rfind("//quillon-memory/", 0), 0u) << path;
  EXPECT_EQ(path.substr(path.size() - 10), "/GUIDE.HLP") << path;  // the name's last component

  IfsHandle disk = IFSOpen(HelpFilePath().c_str());
  IfsHandle memory = IFSOpen(path.c_str());
  ASSERT_NE(disk, nullptr);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(SystemBytes(memory), SystemBytes(disk));
  HelpTitleInfo *a = HlpGetHelpTitle(disk), *b = HlpGetHelpTitle(memory);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(b->title, a->title);
  HlpFreeHelpTitle(a);
  HlpFreeHelpTitle(b);
  IFSClose(disk);
  IFSClose(memory);
  EXPECT_EQ(QuillonUnregisterMemoryFile(path.c_str()), 1);
  EXPECT_EQ(released.count, 1);
}

// When the bytes are released: never while a file is open on them, once
// after the registration has ended and the last file is closed.
TEST(MemoryFiles, ReleasedOnceWhenUnregisteredAndClosed) {
  Bytes bytes{1, 2, 3, 4, 5};
  Released released;
  std::string path = Register(bytes, "a.bin", &released);
  QuillonFile *first = QuillonFileOpen(path.c_str(), nullptr, 0);
  QuillonFile *second = QuillonFileOpen(path.c_str(), nullptr, 0);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(QuillonUnregisterMemoryFile(path.c_str()), 1);
  EXPECT_EQ(QuillonUnregisterMemoryFile(path.c_str()), 0);  // once only
  EXPECT_EQ(QuillonFileOpen(path.c_str(), nullptr, 0), nullptr) << "no longer registered: the disk has no such file";
  QuillonFileClose(first);
  EXPECT_EQ(released.count, 0);
  unsigned char buffer[8] = {};
  EXPECT_EQ(QuillonFileReadAt(second, 3, buffer, 8), 2) << "still readable until closed";
  EXPECT_EQ(buffer[0], 4);
  QuillonFileClose(second);
  EXPECT_EQ(released.count, 1);

  Released unopened;
  std::string other = Register(bytes, "b.bin", &unopened);
  EXPECT_NE(other, path) << "each registration has a path of its own";
  QuillonUnregisterMemoryFile(other.c_str());
  EXPECT_EQ(unopened.count, 1);
}

TEST(MemoryFiles, ReadsStayInsideTheBytes) {
  Bytes bytes{10, 11, 12, 13};
  Released released;
  std::string path = Register(bytes, "c.bin", &released);
  QuillonFile *file = QuillonFileOpen(path.c_str(), nullptr, 0);
  ASSERT_NE(file, nullptr);
  struct Case {
    uint64_t offset;
    uint32_t count;
    int32_t read;
  } cases[] = {{0, 4, 4}, {1, 2, 2}, {2, 100, 2}, {4, 1, 0}, {5, 1, 0}, {UINT64_MAX, 4, 0}, {0, 0, 0}};
  for (const Case &c : cases) {
    unsigned char buffer[128];
    EXPECT_EQ(QuillonFileReadAt(file, c.offset, buffer, c.count), c.read) << c.offset << "+" << c.count;
  }
  QuillonFileClose(file);
  QuillonUnregisterMemoryFile(path.c_str());
}

// Paths that only look like memory files, and registrations that cannot be
// made, fail cleanly and leave everything else alone.
TEST(MemoryFiles, WhatIsNoMemoryFile) {
  for (const char *path : {"//quillon-memory/", "//quillon-memory/x/a", "//quillon-memory/999999/a",
                           "//quillon-memory/1", "//quillon-memory/99999999999999999999999/a", "/quillon-memory/1/a"})
    EXPECT_EQ(QuillonFileOpen(path, nullptr, 0), nullptr) << path;
  EXPECT_EQ(QuillonUnregisterMemoryFile("//quillon-memory/999999/a"), 0);
  EXPECT_EQ(QuillonUnregisterMemoryFile(nullptr), 0);

  Bytes bytes{1};
  Released released;
  char small[20];
  EXPECT_EQ(QuillonRegisterMemoryFile(bytes.data(), 1, "a-rather-long-name.hlp", Released::Release, &released, small,
                                      sizeof small),
            0);
  EXPECT_EQ(QuillonRegisterMemoryFile(nullptr, 5, "x", Released::Release, &released, small, sizeof small), 0);
  EXPECT_EQ(released.count, 0) << "a registration not made releases nothing";
  char path[64];
  ASSERT_EQ(QuillonRegisterMemoryFile(bytes.data(), 1, "", nullptr, nullptr, path, sizeof path), 1);
  EXPECT_EQ(QuillonUnregisterMemoryFile(path), 1) << "no name and no release call are allowed";
}

// Installed file operations (tests' in-memory files) do not hide memory
// files, and memory files do not hide them.
TEST(MemoryFiles, WorkBesideInstalledFileOperations) {
  fixture::MemoryFiles installed;
  installed.Add("disk.hlp", fixture::ReadFileBytes(HelpFilePath()));
  Released released;
  const Bytes bytes = fixture::ReadFileBytes(HelpFilePath());  // held while registered
  std::string path = Register(bytes, "guide.hlp", &released);
  IfsHandle a = IFSOpen(path.c_str());
  IfsHandle b = IFSOpen("disk.hlp");
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  IFSClose(a);
  IFSClose(b);
  QuillonUnregisterMemoryFile(path.c_str());
}

// Many threads open, read and close memory files while others are
// registered and unregistered: every read sees its own bytes, every
// registration is released exactly once.
TEST(MemoryFiles, ManyThreads) {
  const Bytes help = fixture::ReadFileBytes(HelpFilePath());
  Released released;
  std::string shared = Register(help, "shared.hlp", &released);
  IfsHandle reference = IFSOpen(shared.c_str());
  ASSERT_NE(reference, nullptr);
  const std::string expected = SystemBytes(reference);
  IFSClose(reference);

  std::atomic<int> mismatches{0}, churnReleased{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        IfsHandle h = IFSOpen(shared.c_str());
        if (h == nullptr || SystemBytes(h) != expected) ++mismatches;
        IFSClose(h);
      }
    });
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        Bytes own{static_cast<uint8_t>(t), static_cast<uint8_t>(i)};
        char path[64];
        auto release = [](void *context) { ++*static_cast<std::atomic<int> *>(context); };
        if (!QuillonRegisterMemoryFile(own.data(), own.size(), "own", release, &churnReleased, path, sizeof path)) {
          ++mismatches;
          continue;
        }
        QuillonFile *file = QuillonFileOpen(path, nullptr, 0);
        unsigned char back[2] = {};
        if (file == nullptr || QuillonFileReadAt(file, 0, back, 2) != 2 || back[0] != own[0] || back[1] != own[1])
          ++mismatches;
        QuillonUnregisterMemoryFile(path);
        QuillonFileClose(file);
      }
    });
  for (std::thread &thread : threads) thread.join();
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(churnReleased, 400);
  QuillonUnregisterMemoryFile(shared.c_str());
  EXPECT_EQ(released.count, 1);
}

}  // namespace
