#include "container/btree.h"

#include <bitset>
#include <vector>

#include "container/ifs.h"

namespace marlet {

namespace {

constexpr uint32_t kPageCountOffset = 2;
constexpr uint32_t kIndexFirstChildOffset = 4;
constexpr uint32_t kLeafEntriesOffset = 8;

bool IsNumeric(KeyKind kind) { return kind == KeyKind::Signed32 || kind == KeyKind::Unsigned32; }

// The page's entry count; damage (a count below 0, a page too small to hold
// it) counts as none.
int PageCount(const uint8_t *page, uint16_t pageSize) {
  if (pageSize < kPageCountOffset + 2) return 0;
  int n = LoadI16(page + kPageCountOffset);
  return n < 0 ? 0 : n;
}

bool ReadKey(ByteCursor &cursor, KeyKind kind, Bytes *key) {
  if (IsNumeric(kind)) {
    *key = cursor.Span(4);
  } else {
    const uint8_t *start = cursor.here();
    std::string_view text = cursor.CString();
    *key = Bytes(start, text.size());
  }
  return cursor.ok();
}

bool ReadLeafData(ByteCursor &cursor, int8_t leafData, Bytes *data) {
  if (leafData == kStringData) {
    const uint8_t *start = cursor.here();
    std::string_view text = cursor.CString();
    *data = Bytes(start, text.size());
  } else {
    *data = cursor.Span(static_cast<size_t>(leafData));
  }
  return cursor.ok();
}

// Walks the entries of a leaf page in page order; visit returns false to stop.
// Returns false when visit stopped.
template <typename Visit>
bool ForEachLeafEntry(const uint8_t *page, uint16_t pageSize, uint32_t pageNumber,
                      const TreeLayout &layout, Visit &&visit) {
  int n = PageCount(page, pageSize);
  if (pageSize <= kLeafEntriesOffset) return true;
  ByteCursor cursor(page + kLeafEntriesOffset, pageSize - kLeafEntriesOffset);
  for (int i = 0; i < n; ++i) {
    LeafEntry entry;
    entry.page = pageNumber;
    entry.offsetInPage = static_cast<uint32_t>(kLeafEntriesOffset + cursor.position());
    if (!ReadKey(cursor, layout.key, &entry.key) || !ReadLeafData(cursor, layout.leafData, &entry.data))
      break;  // the rest of the page is damaged
    if (!visit(entry)) return false;
  }
  return true;
}

// The child of an index page under which the sought key lies: child i, where
// i counts the keys that compare less than or equal to it.  False when not
// even child 0 can be read.
bool ChildFor(const uint8_t *page, uint16_t pageSize, KeyKind kind, const SoughtKey &sought,
              uint32_t *child) {
  if (pageSize < kIndexFirstChildOffset + 2) return false;
  int n = PageCount(page, pageSize);
  ByteCursor cursor(page + kIndexFirstChildOffset, pageSize - kIndexFirstChildOffset);
  *child = cursor.U16();
  for (int i = 0; i < n; ++i) {
    Bytes key;
    if (!ReadKey(cursor, kind, &key)) break;
    uint16_t next = cursor.U16();
    if (!cursor.ok()) break;
    if (CompareKey(kind, key, sought) > 0) break;
    *child = next;
  }
  return true;
}

// The pages met in one operation; a page met twice is damage (a cycle, or a
// page shared by two parents).
class VisitedPages {
 public:
  bool FirstVisit(uint32_t page) {
    if (page >= seen_.size() || seen_.test(page)) return false;
    seen_.set(page);
    return true;
  }

 private:
  std::bitset<65536> seen_;
};

// The pages met on one descent from the root to a leaf: one per level, so a
// short list does, where VisitedPages' bitmap would be cleared (8 KiB) for
// every lookup.  A page met twice is damage, as for VisitedPages.
class DescentPages {
 public:
  bool FirstVisit(uint32_t page) {
    if (page >= 65536 || count_ == kCapacity) return false;
    for (int i = 0; i < count_; ++i)
      if (pages_[i] == page) return false;
    pages_[count_++] = page;
    return true;
  }

 private:
  static constexpr int kCapacity = kMaxTreeDepth + 1;  // the index levels and the leaf
  uint32_t pages_[kCapacity];
  int count_ = 0;
};

}  // namespace

BTreeHeader ParseBTreeHeader(const uint8_t *raw) {
  BTreeHeader header;
  header.pageSize = LoadU16(raw + 4);
  header.rootPage = LoadI16(raw + 26);
  header.levels = LoadI16(raw + 32);
  header.entryCount = LoadI32(raw + 34);
  return header;
}

bool BTreeSource::ReadPage(uint32_t page, uint8_t *buffer) const {
  uint32_t size = header.pageSize;
  if (size == 0) return false;
  uint64_t position = PagePosition(page);
  if (file != nullptr) {
    if (position > UINT32_MAX) return false;
    IFSSeekFile(file, static_cast<int32_t>(static_cast<uint32_t>(position)), 0);
    return IFSReadFile(file, buffer, size) == static_cast<int32_t>(size);
  }
  return ContainerRead(container, position, buffer, size) == static_cast<int32_t>(size);
}

BTreeSource FileTreeSource(IfsFileHandle file) {
  BTreeSource source;
  source.file = file;
  source.firstPage = kBTreeHeaderSize;
  uint8_t raw[kBTreeHeaderSize];
  IFSSeekFile(file, 0, 0);
  if (IFSReadFile(file, raw, sizeof raw) == static_cast<int32_t>(sizeof raw)) {
    source.header = ParseBTreeHeader(raw);
    source.valid = true;
  }
  return source;
}

int CompareKey(KeyKind kind, Bytes key, const SoughtKey &sought) {
  switch (kind) {
    case KeyKind::Signed32: {
      int32_t a = LoadI32(key.data()), b = static_cast<int32_t>(sought.number);
      return a < b ? -1 : (a > b ? 1 : 0);
    }
    case KeyKind::Unsigned32: {
      uint32_t a = LoadU32(key.data()), b = sought.number;
      return a < b ? -1 : (a > b ? 1 : 0);
    }
    case KeyKind::Bytewise:
      return std::strcmp(reinterpret_cast<const char *>(key.data()), sought.text);
    case KeyKind::NoCase:
      return lstrcmpiA(reinterpret_cast<const char *>(key.data()), sought.text);
  }
  return 0;
}

bool BTreeFind(const BTreeSource &tree, const TreeLayout &layout, const SoughtKey &sought,
               FunctionRef<void(const LeafEntry &)> found) {
  const BTreeHeader &h = tree.header;
  if (!tree.valid || h.rootPage < 0 || h.pageSize == 0) return false;
  // Every page is read whole before it is looked at: the buffer needs no
  // clearing.
  LocalPtr<uint8_t> buffer(static_cast<uint8_t *>(LocalAlloc(LMEM_FIXED, h.pageSize)));
  if (!buffer) return false;
  DescentPages visited;
  uint32_t page = static_cast<uint32_t>(h.rootPage);
  for (int level = 1; level < h.levels; ++level) {
    if (level > kMaxTreeDepth || !visited.FirstVisit(page) || !tree.ReadPage(page, buffer.get()))
      return false;
    if (!ChildFor(buffer.get(), h.pageSize, layout.key, sought, &page)) return false;
  }
  if (!visited.FirstVisit(page) || !tree.ReadPage(page, buffer.get())) return false;

  bool hit = false;
  ForEachLeafEntry(buffer.get(), h.pageSize, page, layout, [&](const LeafEntry &entry) {
    int order = CompareKey(layout.key, entry.key, sought);
    if (layout.key == KeyKind::Bytewise && order != 0) return true;  // names: scan for equality
    if (order < 0) return true;
    if (order == 0) {
      hit = true;
      found(entry);
    }
    return false;
  });
  return hit;
}

int BTreeFindAtOrBelow(const BTreeSource &tree, const TreeLayout &layout, uint32_t sought,
                       FunctionRef<void(const LeafEntry &)> found) {
  const BTreeHeader &h = tree.header;
  if (!tree.valid) return 0;
  if (h.rootPage < 0) return 1;  // an empty tree: nothing at or below anything
  if (h.pageSize == 0) return 0;
  LocalPtr<uint8_t> buffer(static_cast<uint8_t *>(LocalAlloc(LMEM_FIXED, h.pageSize)));
  if (!buffer) return 0;
  SoughtKey key{sought, nullptr};
  DescentPages visited;
  uint32_t page = static_cast<uint32_t>(h.rootPage);
  for (int level = 1; level < h.levels; ++level) {
    if (level > kMaxTreeDepth || !visited.FirstVisit(page) || !tree.ReadPage(page, buffer.get()))
      return 0;
    if (!ChildFor(buffer.get(), h.pageSize, layout.key, key, &page)) return 0;
  }
  if (!visited.FirstVisit(page) || !tree.ReadPage(page, buffer.get())) return 0;

  // The last entry not above the sought offset; the page stays in the buffer,
  // so the entry's spans stay valid until it is delivered.
  LeafEntry best;
  bool have = false;
  ForEachLeafEntry(buffer.get(), h.pageSize, page, layout, [&](const LeafEntry &entry) {
    if (CompareKey(layout.key, entry.key, key) <= 0) {
      best = entry;
      have = true;
    }
    return true;
  });
  if (have) found(best);
  return 1;
}

namespace {

struct IndexPage {
  std::vector<uint32_t> children;  // child 0 .. child n
  std::vector<Bytes> keys;         // key 1 .. key n (keys[i] follows children[i])
};

// The readable part of an index page: child 0 and every complete key/child
// pair after it.  False when not even child 0 can be read.
bool ParseIndexPage(const uint8_t *page, uint16_t pageSize, KeyKind kind, IndexPage *out) {
  if (pageSize < kIndexFirstChildOffset + 2) return false;
  int n = PageCount(page, pageSize);
  ByteCursor cursor(page + kIndexFirstChildOffset, pageSize - kIndexFirstChildOffset);
  out->children.push_back(cursor.U16());
  for (int i = 0; i < n; ++i) {
    Bytes key;
    if (!ReadKey(cursor, kind, &key)) break;
    uint16_t child = cursor.U16();
    if (!cursor.ok()) break;
    out->keys.push_back(key);
    out->children.push_back(child);
  }
  return true;
}

struct WalkFrame {
  LocalPtr<uint8_t> buffer;
  IndexPage index;
  size_t nextChild = 0;
};

}  // namespace

int BTreeWalk(const BTreeSource &tree, const TreeLayout &layout, const WalkOptions &options,
              FunctionRef<bool(const LeafEntry &)> visit) {
  const BTreeHeader &h = tree.header;
  if (!tree.valid) return 0;
  if (h.rootPage < 0) return 1;
  if (h.pageSize == 0) return 0;
  const bool stopOnFailure = options.onFailedPage == OnFailedPage::Stop;
  SoughtKey start{0, options.startKey};
  VisitedPages visited;
  std::vector<WalkFrame> stack;  // the index pages on the path to the current page

  // Visits one page at the given depth (root: 1).  False ends the walk.
  bool failed = false;
  auto enter = [&](uint32_t page, int depth) -> bool {
    bool readable = depth <= kMaxTreeDepth && visited.FirstVisit(page);
    LocalPtr<uint8_t> buffer(readable ? LocalZeroed(h.pageSize) : nullptr);
    if (!buffer || !tree.ReadPage(page, buffer.get())) {
      if (stopOnFailure) return failed = true, false;
      return true;
    }
    if (depth >= h.levels) {  // a leaf
      return ForEachLeafEntry(buffer.get(), h.pageSize, page, layout, [&](const LeafEntry &entry) {
        if (options.startKey != nullptr && CompareKey(layout.key, entry.key, start) < 0) return true;
        return visit(entry);
      });
    }
    WalkFrame frame;
    if (!ParseIndexPage(buffer.get(), h.pageSize, layout.key, &frame.index)) {
      if (stopOnFailure) return failed = true, false;
      return true;
    }
    frame.buffer = std::move(buffer);
    stack.push_back(std::move(frame));
    return true;
  };

  if (!enter(static_cast<uint32_t>(h.rootPage), 1)) return 0;
  while (!stack.empty()) {
    WalkFrame &frame = stack.back();
    const size_t children = frame.index.children.size();
    // Skip the children whose keys all lie below the start key: child i < n
    // holds keys below key i + 1.
    while (options.startKey != nullptr && frame.nextChild + 1 < children &&
           CompareKey(layout.key, frame.index.keys[frame.nextChild], start) < 0)
      ++frame.nextChild;
    if (frame.nextChild >= children) {
      stack.pop_back();
      continue;
    }
    uint32_t child = frame.index.children[frame.nextChild++];
    int depth = static_cast<int>(stack.size()) + 1;
    if (!enter(child, depth)) return 0;
  }
  return failed ? 0 : 1;
}

}  // namespace marlet
