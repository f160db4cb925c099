// Damaged index trees through the exports: results stay clear, nothing is
// read outside a page or the file (the sanitizer build checks), every walk
// ends.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/help_builder.h"
#include "support/index_builder.h"
#include "support/memory_container.h"

using namespace fixture;

namespace {

constexpr uint16_t kPageSize = 64;

struct TreeDamage {
  const char *name;
  std::function<void(BuiltTree &)> apply;
};

size_t LeafOffset(const BuiltTree &tree, size_t leaf) { return tree.PageOffset(tree.pagesByLevel.back().at(leaf)); }

std::vector<Title> Titles() {
  std::vector<Title> titles;
  for (uint32_t i = 0; i < 200; ++i) titles.push_back({i * 0x20, "T" + std::to_string(i)});
  return titles;
}

int32_t MARLET_API CollectTitle(const char *title, TopicOffset offset, MarletUserData user) {
  reinterpret_cast<std::vector<Title> *>(user)->push_back({offset, title});
  return 1;
}

TEST(IndexDamage, TitleTrees) {
  const TreeDamage damages[] = {
      // The title of the second entry of a leaf runs to the end of the page.
      {"title running to the page end",
       [](BuiltTree &t) {
         size_t page = LeafOffset(t, 3);
         size_t second = page + 8 + 4 + std::strlen(reinterpret_cast<const char *>(&t.bytes[page + 12])) + 1;
         std::fill(t.bytes.begin() + static_cast<long>(second) + 4, t.bytes.begin() + static_cast<long>(page + t.pageSize), 'A');
       }},
      {"leaf count above what the page holds", [](BuiltTree &t) { SetU16(t.bytes, LeafOffset(t, 2) + 2, 0x7FFF); }},
      {"tree header counting 3 entries", [](BuiltTree &t) { SetU32(t.bytes, kTreeEntriesField, 3); }},
  };
  const std::vector<Title> all = Titles();
  std::set<std::pair<uint32_t, std::string>> known;
  for (const Title &t : all) known.insert({t.offset, t.title});
  for (const TreeDamage &damage : damages) {
    TreeShape shape;
    shape.pageSize = kPageSize;
    BuiltTree tree = TitleTree(all, shape);
    ASSERT_GE(tree.levels, 3);
    damage.apply(tree);
    OpenedContainer container(BuildContainer({{"|TTLBTREE", tree.bytes}}).bytes);
    std::vector<Title> seen;
    EXPECT_EQ(HlpEnumTitles(container.get(), CollectTitle, reinterpret_cast<MarletUserData>(&seen)), 1) << damage.name;
    // Only the damaged leaf loses entries, and a 64-byte leaf holds at most 7.
    EXPECT_GE(seen.size(), all.size() - 7) << damage.name;
    EXPECT_LE(seen.size(), all.size()) << damage.name;
    for (const Title &t : seen) EXPECT_TRUE(known.count({t.offset, t.title})) << damage.name << " " << t.title;
    for (const Title &t : all) {
      char buffer[32] = "";
      TopicOffset start = 0xFFFFFFFF;
      EXPECT_EQ(HlpGetTopicTitle(container.get(), t.offset + 1, buffer, sizeof buffer, &start), 1) << damage.name;
      if (start != 0xFFFFFFFF) {
        EXPECT_LE(start, t.offset + 1);
        EXPECT_TRUE(known.count({start, buffer})) << damage.name << " " << buffer;
      }
    }
  }
}

std::vector<Context> Contexts() {
  std::vector<Context> contexts;
  for (int i = 0; i < 300; ++i) contexts.push_back({(i - 150) * 1000003, static_cast<uint32_t>(i) * 16});
  return contexts;
}

int32_t MARLET_API CollectContext(ContextHash hash, TopicOffset offset, MarletUserData user) {
  reinterpret_cast<std::vector<Context> *>(user)->push_back({hash, offset});
  return 1;
}

TEST(IndexDamage, ContextTrees) {
  const TreeDamage damages[] = {
      // A count above what the page can hold: the entries end at the page end.
      {"leaf count above what the page holds", [](BuiltTree &t) { SetU16(t.bytes, LeafOffset(t, 1) + 2, 30000); }},
      // A leaf that holds more entries than its count says: the count rules.
      {"leaf holding more entries than its count", [](BuiltTree &t) { SetU16(t.bytes, LeafOffset(t, 1) + 2, 2); }},
      {"tree header counting 3 entries", [](BuiltTree &t) { SetU32(t.bytes, kTreeEntriesField, 3); }},
      {"negative leaf count", [](BuiltTree &t) { SetU16(t.bytes, LeafOffset(t, 4) + 2, 0xFFFF); }},
  };
  const std::vector<Context> all = Contexts();
  for (const TreeDamage &damage : damages) {
    TreeShape shape;
    shape.pageSize = kPageSize;
    BuiltTree tree = ContextTree(all, shape);
    ASSERT_GE(tree.levels, 3);
    damage.apply(tree);
    OpenedContainer container(BuildContainer({{"|CONTEXT", tree.bytes}}).bytes);
    std::vector<Context> seen;
    EXPECT_EQ(HlpEnumContext(container.get(), CollectContext, reinterpret_cast<MarletUserData>(&seen)), 1)
        << damage.name;
    // A 64-byte leaf has room for 7 entries whatever its count says.
    EXPECT_LE(seen.size(), all.size()) << damage.name;
    EXPECT_GE(seen.size(), all.size() - 7) << damage.name;
    size_t found = 0;
    for (const Context &c : all) {
      TopicOffset offset = HlpIsTopic(container.get(), c.hash);
      if (offset != MARLET_NO_TOPIC) {
        EXPECT_EQ(offset, c.offset) << damage.name;
        ++found;
      }
    }
    EXPECT_GE(found, all.size() - 7) << damage.name;
  }
}

}  // namespace
