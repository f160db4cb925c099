// B-trees: the one layout of every index of a help file.
//
// A tree begins with a 38-byte BTreeHeader, followed by pages of one size;
// page k begins at 38 + k * page size from the start of the tree.
//
// BTreeHeader:
//   0   4  (not read)
//   4   2  page size, unsigned
//   6  20  (not read)
//  26   2  root page, signed; below 0: an empty tree
//  28   4  (not read)
//  32   2  number of levels, signed; 1 or less: the root is a leaf
//  34   4  number of entries in the whole tree
//
// Every page begins with 2 bytes of bookkeeping and n (2 bytes, signed), the
// number of keys or entries.
//   leaf page:  bytes 4..7 not read; from 8, n entries back to back, each a
//               key followed by the tree's leaf data.
//   index page: at 4 child 0 (2 bytes, unsigned); then n pairs of a key and a
//               child page number: key 1, child 1, ... key n, child n.  Child 0
//               holds the keys below key 1, child i those from key i up to key
//               i + 1 (exclusive), child n all from key n on.
// The pages at level L (the root being level 1, L the header's level count)
// are leaves, all others index pages.
//
// Damage (decided here, once): a page that cannot be read in full, a page met
// twice in one operation, and a descent deeper than kMaxTreeDepth are failed
// pages.  An entry count below 0 counts as 0; entries that do not fit in the
// page, or string keys without a terminator inside it, end the page's entries
// where they begin.  Nothing outside a page buffer or the file is read.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>

#include "container/bytes.h"
#include "container/frame.h"

namespace marlet {

inline constexpr uint32_t kBTreeHeaderSize = 38;
// Real trees have 2 to 4 levels; 64 levels of two-way pages would index more
// entries than any file can hold.
inline constexpr int kMaxTreeDepth = 64;

struct BTreeHeader {
  uint16_t pageSize;
  int16_t rootPage;
  int16_t levels;
  int32_t entryCount;
};

BTreeHeader ParseBTreeHeader(const uint8_t *raw38);

// Where a tree's pages come from: the help file itself (the directory) or an
// internal file.
struct BTreeSource {
  IfsHandle container = nullptr;  // pages read from the help file ...
  IfsFileHandle file = nullptr;   // ... or through an internal file
  uint64_t firstPage = 0;         // where page 0 begins
  BTreeHeader header{};
  bool valid = false;  // the header could be read

  // Reads page number `page` into buffer (header.pageSize bytes): true when
  // read in full.
  bool ReadPage(uint32_t page, uint8_t *buffer) const;
  // Byte position of a page within the tree's file (of the help file for the
  // directory).
  uint64_t PagePosition(uint32_t page) const {
    return firstPage + static_cast<uint64_t>(page) * header.pageSize;
  }
};

// Reads the 38-byte header at position 0 of an internal file.
BTreeSource FileTreeSource(IfsFileHandle file);

enum class KeyKind : uint8_t {
  Signed32,    // 4-byte key compared as a signed number (context hashes)
  Unsigned32,  // 4-byte key compared unsigned (topic offsets)
  Bytewise,    // zero-terminated string, unsigned bytes, case-sensitive
  NoCase,      // zero-terminated string compared with lstrcmpiA
};

inline constexpr int8_t kStringData = -1;

struct TreeLayout {
  KeyKind key;
  int8_t leafData;  // bytes of data after a leaf key, or kStringData
};

inline constexpr TreeLayout kDirectoryTree{KeyKind::Bytewise, 4};
inline constexpr TreeLayout kContextTree{KeyKind::Signed32, 4};
inline constexpr TreeLayout kTitleTree{KeyKind::Unsigned32, kStringData};
inline constexpr TreeLayout kKeywordTree{KeyKind::NoCase, 6};

// A key to look for: a number for the 4-byte keys, a string for the others.
struct SoughtKey {
  uint32_t number = 0;
  const char *text = nullptr;
};

struct LeafEntry {
  Bytes key;                // the key; a string key without its terminator
  Bytes data;               // the leaf data; string data without its terminator
  uint32_t page = 0;        // the page it stands in
  uint32_t offsetInPage = 0;  // where its key begins in that page

  uint32_t Number() const { return LoadU32(key.data()); }
  // String keys and string data are terminated inside the page buffer.
  const char *Text() const { return reinterpret_cast<const char *>(key.data()); }
  const char *DataText() const { return reinterpret_cast<const char *>(data.data()); }
};

// <0, 0, >0 as the key compares below, equal to or above the sought key.
int CompareKey(KeyKind kind, Bytes key, const SoughtKey &sought);

// Exact lookup.  The directory takes the first leaf entry whose name equals
// the sought one; the numeric trees stop at the first entry not below it and
// have found it when it is equal.  Calls found() with the entry (valid only
// during the call) and returns true when there is one.
bool BTreeFind(const BTreeSource &tree, const TreeLayout &layout, const SoughtKey &sought,
               FunctionRef<void(const LeafEntry &)> found);

// Nearest key at or below sought (unsigned 4-byte keys): descends as the exact
// lookup does and, on the leaf, delivers the last entry not above sought, if
// any.  1 when the leaf level was reached (empty trees included), 0 when a page
// failed.
int BTreeFindAtOrBelow(const BTreeSource &tree, const TreeLayout &layout, uint32_t sought,
                       FunctionRef<void(const LeafEntry &)> found);

enum class OnFailedPage {
  Stop,  // the walk ends with result 0 (title, context and keyword walks)
  Skip,  // the page's subtree contributes nothing and the walk goes on
};

struct WalkOptions {
  OnFailedPage onFailedPage = OnFailedPage::Stop;
  // Walk from a start key (string trees): on index pages child i < n only when
  // key i + 1 is not below it, child n always; on leaves the entries not below
  // it.  Null: every entry.
  const char *startKey = nullptr;
};

// Depth-first walk in ascending key order.  visit() returns false to stop the
// whole walk at once.  1 when the walk ran to its end, 0 when visit() stopped
// it or a page failed under OnFailedPage::Stop.
int BTreeWalk(const BTreeSource &tree, const TreeLayout &layout, const WalkOptions &options,
              FunctionRef<bool(const LeafEntry &)> visit);

}  // namespace marlet
