// Test-only builders of the index files of a help file: |SYSTEM with its
// records, the title tree |TTLBTREE, the context tree |CONTEXT and keyword
// lists (|xWBTREE with |xWDATA).  Each returns the bytes of internal files,
// to be put into a container with BuildContainer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/help_builder.h"

namespace fixture {

// ---- |SYSTEM --------------------------------------------------------------

inline constexpr uint16_t kSystemMagic = 0x036C;
inline constexpr uint16_t kMinorWindows30 = 15;
inline constexpr uint16_t kMinorWindows31 = 21;
inline constexpr uint16_t kMinorWindows95 = 33;

struct SystemRecordRecipe {
  uint16_t type;
  Bytes data;
};

// A 12-byte header (magic, minor version, major version 1, date 0, flags),
// then the records back to back.
Bytes SystemFile(uint16_t minor, uint16_t flags, const std::vector<SystemRecordRecipe> &records);
// A Windows 3.0 |SYSTEM: the header and the title in 32 bytes (zero-padded,
// or filling all 32 when that long).
Bytes System30File(uint16_t flags, std::string_view title);

// Record data: a text with its terminator.
SystemRecordRecipe TextRecord(uint16_t type, std::string_view text);
// A type-6 window definition as help compilers write it (90 bytes): the
// name in its 9-byte field at offset 12 (no terminator when it fills it),
// the caption in 51 bytes from offset 21.
SystemRecordRecipe WindowRecord(std::string_view name, std::string_view caption);

// ---- Trees ----------------------------------------------------------------

struct Title {
  uint32_t offset;
  std::string title;
};
// Sorted by offset (unsigned) before building.
BuiltTree TitleTree(std::vector<Title> titles, const TreeShape &shape = {});

struct Context {
  int32_t hash;
  uint32_t offset;
};
// Sorted by hash (signed) before building.
BuiltTree ContextTree(std::vector<Context> contexts, const TreeShape &shape = {});

struct Keyword {
  std::string word;
  std::vector<uint32_t> topics;
};
struct KeywordFiles {
  BuiltTree tree;             // |xWBTREE
  Bytes data;                 // |xWDATA
  std::vector<uint32_t> dataOffsets;  // where each keyword's topics lie, in tree order
};
// Sorted with lstrcmpiA before building.
KeywordFiles KeywordList(std::vector<Keyword> keywords, const TreeShape &shape = {});

}  // namespace fixture
