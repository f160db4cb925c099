#include "support/help_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>

namespace fixture {

void PutU8(Bytes &out, uint32_t value) { out.push_back(static_cast<uint8_t>(value)); }
void PutU16(Bytes &out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutU32(Bytes &out, uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}
void PutBytes(Bytes &out, const Bytes &bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
void PutText(Bytes &out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }
void PutCString(Bytes &out, std::string_view text) {
  PutText(out, text);
  out.push_back(0);
}
void SetU16(Bytes &out, size_t at, uint32_t value) {
  out.at(at) = static_cast<uint8_t>(value);
  out.at(at + 1) = static_cast<uint8_t>(value >> 8);
}
void SetU32(Bytes &out, size_t at, uint32_t value) {
  SetU16(out, at, value & 0xFFFF);
  SetU16(out, at + 2, value >> 16);
}
Bytes U32Bytes(uint32_t value) {
  Bytes out;
  PutU32(out, value);
  return out;
}
Bytes CStringBytes(std::string_view text) {
  Bytes out;
  PutCString(out, text);
  return out;
}

// ---- B-trees --------------------------------------------------------------

namespace {

constexpr size_t kLeafHeader = 8;
constexpr size_t kIndexHeader = 6;

struct Page {
  Bytes bytes;
  Bytes firstKey;  // the smallest key under this page
};

Bytes TreeHeader(const TreeShape &shape, int16_t root, int16_t levels, int pageCount, int32_t entries) {
  Bytes h;
  PutU16(h, 0x293B);  // magic
  PutU16(h, 0x0002);  // flags
  PutU16(h, shape.pageSize);
  char structure[16] = {};
  std::strncpy(structure, shape.structure.c_str(), sizeof structure - 1);
  h.insert(h.end(), structure, structure + 16);
  PutU16(h, 0);       // must be zero
  PutU16(h, 0);       // page splits
  PutU16(h, static_cast<uint16_t>(root));
  PutU16(h, 0xFFFF);  // must be -1
  PutU16(h, static_cast<uint32_t>(pageCount));
  PutU16(h, static_cast<uint16_t>(levels));
  PutU32(h, static_cast<uint32_t>(entries));
  return h;
}

}  // namespace

BuiltTree BuildBTree(const std::vector<TreeEntry> &entries, const TreeShape &shape) {
  BuiltTree tree;
  tree.pageSize = shape.pageSize;
  std::vector<Page> pages;  // in page-number order

  // Leaves.
  std::vector<int> level;
  size_t i = 0;
  do {
    Page page;
    page.bytes.assign(kLeafHeader, 0);
    int count = 0;
    while (i < entries.size()) {
      size_t need = entries[i].key.size() + entries[i].data.size();
      if (page.bytes.size() + need > shape.pageSize && count > 0) break;
      if (shape.maxLeafEntries > 0 && count >= shape.maxLeafEntries) break;
      if (count == 0) page.firstKey = entries[i].key;
      PutBytes(page.bytes, entries[i].key);
      PutBytes(page.bytes, entries[i].data);
      ++count, ++i;
    }
    SetU16(page.bytes, 0, static_cast<uint32_t>(shape.pageSize - std::min<size_t>(page.bytes.size(), shape.pageSize)));
    SetU16(page.bytes, 2, static_cast<uint32_t>(count));
    level.push_back(static_cast<int>(pages.size()));
    pages.push_back(std::move(page));
  } while (i < entries.size());
  // Chain the leaves: previous and next page.
  for (size_t k = 0; k < level.size(); ++k) {
    SetU16(pages[level[k]].bytes, 4, k > 0 ? static_cast<uint32_t>(level[k - 1]) : 0xFFFF);
    SetU16(pages[level[k]].bytes, 6, k + 1 < level.size() ? static_cast<uint32_t>(level[k + 1]) : 0xFFFF);
  }
  std::vector<std::vector<int>> levels{level};

  // Index levels until one page remains.
  while (level.size() > 1) {
    std::vector<int> upper;
    size_t c = 0;
    while (c < level.size()) {
      Page page;
      page.bytes.assign(kIndexHeader, 0);
      page.firstKey = pages[level[c]].firstKey;
      SetU16(page.bytes, 4, static_cast<uint32_t>(level[c]));
      ++c;
      int count = 0;
      while (c < level.size()) {
        const Bytes &key = pages[level[c]].firstKey;
        if (page.bytes.size() + key.size() + 2 > shape.pageSize && count > 0) break;
        if (shape.maxIndexEntries > 0 && count >= shape.maxIndexEntries) break;
        PutBytes(page.bytes, key);
        PutU16(page.bytes, static_cast<uint32_t>(level[c]));
        ++count, ++c;
      }
      SetU16(page.bytes, 0, static_cast<uint32_t>(shape.pageSize - std::min<size_t>(page.bytes.size(), shape.pageSize)));
      SetU16(page.bytes, 2, static_cast<uint32_t>(count));
      upper.push_back(static_cast<int>(pages.size()));
      pages.push_back(std::move(page));
    }
    level = upper;
    levels.push_back(level);
  }

  std::reverse(levels.begin(), levels.end());
  tree.pagesByLevel = levels;
  tree.levels = static_cast<int16_t>(levels.size());
  tree.root = static_cast<int16_t>(levels.front().front());
  tree.pageCount = static_cast<int>(pages.size());
  if (entries.empty() && shape.emptyRootIsNegative) tree.root = -1;

  tree.bytes = TreeHeader(shape, tree.root, tree.levels, tree.pageCount, static_cast<int32_t>(entries.size()));
  for (Page &page : pages) {
    if (page.bytes.size() > shape.pageSize) throw std::runtime_error("B-tree entry larger than a page");
    page.bytes.resize(shape.pageSize, 0);
    PutBytes(tree.bytes, page.bytes);
  }
  return tree;
}

// ---- Containers -----------------------------------------------------------

BuiltContainer BuildContainer(const std::vector<InternalFile> &files, const ContainerShape &shape) {
  BuiltContainer built;
  Bytes &out = built.bytes;
  out.assign(16, 0);
  for (const InternalFile &file : files) {
    uint32_t at = static_cast<uint32_t>(out.size());
    built.headerOffsets[file.name] = at;
    PutU32(out, static_cast<uint32_t>(file.data.size() + 9));  // reserved space
    PutU32(out, static_cast<uint32_t>(file.data.size()));      // used space
    PutU8(out, 0);
    PutBytes(out, file.data);
  }
  std::vector<InternalFile> sorted = files;
  std::sort(sorted.begin(), sorted.end(), [](const InternalFile &a, const InternalFile &b) {
    return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
  });
  std::vector<TreeEntry> entries;
  for (const InternalFile &file : sorted)
    entries.push_back({CStringBytes(file.name), U32Bytes(built.headerOffsets[file.name])});
  built.directory = BuildBTree(entries, shape.directory);

  built.directoryOffset = static_cast<uint32_t>(out.size());
  PutU32(out, static_cast<uint32_t>(built.directory.bytes.size() + 9));
  PutU32(out, static_cast<uint32_t>(built.directory.bytes.size()));
  PutU8(out, 4);  // the directory's flags
  PutBytes(out, built.directory.bytes);

  SetU32(out, 0, 0x00035F3F);
  SetU32(out, 4, built.directoryOffset);
  SetU32(out, 8, 0xFFFFFFFF);
  SetU32(out, 12, static_cast<uint32_t>(out.size()));
  return built;
}

// ---- Files ----------------------------------------------------------------

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string &name, const Bytes &bytes) const {
  std::string file = path_ + "/" + name;
  std::ofstream stream(file, std::ios::binary);
  stream.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!stream) throw std::runtime_error("cannot write " + file);
  return file;
}

Bytes ReadFileBytes(const std::string &path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

struct MemoryFiles::Open {
  MemoryFiles *owner;
  const Bytes *bytes;
};

MemoryFiles::MemoryFiles() {
  ops_ = QuillonFileOps{OpenFile, ReadAt, CloseFile, this};
  QuillonSetFileOps(&ops_);
}

MemoryFiles::~MemoryFiles() { QuillonSetFileOps(nullptr); }

void *MemoryFiles::OpenFile(void *context, const char *path, char *fullPath, size_t fullPathSize) {
  auto *self = static_cast<MemoryFiles *>(context);
  auto found = self->files_.find(path);
  if (found == self->files_.end()) return nullptr;
  if (fullPath != nullptr && fullPathSize > 0) lstrcpynA(fullPath, path, static_cast<int>(fullPathSize));
  ++self->open_;
  return new Open{self, &found->second};
}

int32_t MemoryFiles::ReadAt(void *, void *file, uint64_t offset, void *buffer, uint32_t count) {
  ++static_cast<Open *>(file)->owner->reads_;
  const Bytes &bytes = *static_cast<Open *>(file)->bytes;
  if (offset >= bytes.size()) return 0;
  uint64_t n = std::min<uint64_t>(count, bytes.size() - offset);
  std::memcpy(buffer, bytes.data() + offset, n);
  return static_cast<int32_t>(n);
}

void MemoryFiles::CloseFile(void *, void *file) {
  auto *open = static_cast<Open *>(file);
  --open->owner->open_;
  delete open;
}

int OpenDescriptorCount() {
  int count = 0;
  if (DIR *dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

std::string HalibutDir() { return QUILLON_HALIBUT_DIR; }
std::string CorpusDir() { return QUILLON_CORPUS_DIR; }
std::string TestDataDir() { return QUILLON_TEST_DATA_DIR; }
std::string ProgramPath(const std::string &name) { return std::string(QUILLON_PROGRAM_DIR) + "/" + name; }

CommandResult RunCommand(const std::string &command) {
  CommandResult result;
  FILE *pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace fixture
