// The title, context and keyword indexes through the exports, on trees of
// several levels.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/help_builder.h"
#include "support/index_builder.h"
#include "support/memory_container.h"

using namespace fixture;

namespace {

TreeShape SmallPages(uint16_t pageSize = 64) {
  TreeShape shape;
  shape.pageSize = pageSize;
  return shape;
}

// ---- Titles -----------------------------------------------------------------

struct TitleRecorder {
  std::vector<Title> seen;
  int stopAfter = -1;  // calls after which the callback returns 0; -1: never
  static int32_t MARLET_API Record(const char *title, TopicOffset offset, MarletUserData user) {
    auto *self = reinterpret_cast<TitleRecorder *>(user);
    self->seen.push_back({offset, title});
    return static_cast<int>(self->seen.size()) == self->stopAfter ? 0 : 1;
  }
  int32_t Enumerate(IfsHandle container) {
    return HlpEnumTitles(container, Record, reinterpret_cast<MarletUserData>(this));
  }
};

std::vector<Title> ManyTitles() {
  std::vector<Title> titles;
  for (uint32_t i = 0; i < 300; ++i) titles.push_back({i * 0x100 + 0x10, "Topic " + std::to_string(i)});
  titles.push_back({0x80000000u, "High"});
  titles.push_back({0xFFFFFF00u, ""});  // an empty title
  titles.push_back({0x7FFFFFFFu, "Below the top bit"});
  return titles;
}

TEST(TitleIndex, EnumeratesInUnsignedOrderAndStopsAtZero) {
  BuiltTree tree = TitleTree(ManyTitles(), SmallPages());
  ASSERT_GE(tree.levels, 3);
  OpenedContainer container(BuildContainer({{"|TTLBTREE", tree.bytes}}).bytes);
  TitleRecorder all;
  EXPECT_EQ(all.Enumerate(container.get()), 1);
  ASSERT_EQ(all.seen.size(), 303u);
  EXPECT_TRUE(std::is_sorted(all.seen.begin(), all.seen.end(),
                             [](const Title &a, const Title &b) { return a.offset < b.offset; }));
  EXPECT_EQ(all.seen[300].title, "Below the top bit");
  EXPECT_EQ(all.seen[301].title, "High");
  EXPECT_EQ(all.seen[302].title, "");
  for (int stopAfter : {1, 2, 150, 303}) {
    TitleRecorder stopped;
    stopped.stopAfter = stopAfter;
    EXPECT_EQ(stopped.Enumerate(container.get()), 0);
    EXPECT_EQ(stopped.seen.size(), static_cast<size_t>(stopAfter));
  }
}

TEST(TitleIndex, TopicTitleOfAnOffset) {
  BuiltTree tree = TitleTree(ManyTitles(), SmallPages());
  OpenedContainer container(BuildContainer({{"|TTLBTREE", tree.bytes}}).bytes);
  struct Case {
    TopicOffset offset;
    bool delivered;
    TopicOffset start;
    const char *title;
  } cases[] = {
      {0x0F, false, 0, nullptr},  // below every topic: 1, and nothing written
      {0x10, true, 0x10, "Topic 0"},
      {0x10F, true, 0x10, "Topic 0"},
      {0x110, true, 0x110, "Topic 1"},
      {0x12345, true, 0x12310, "Topic 291"},
      {0x7FFFFFFE, true, 0x12B10, "Topic 299"},
      {0x7FFFFFFF, true, 0x7FFFFFFF, "Below the top bit"},
      {0x80000001u, true, 0x80000000u, "High"},
      {0xFFFFFFFFu, true, 0xFFFFFF00u, ""},
  };
  for (const Case &c : cases) {
    char buffer[64] = "untouched";
    TopicOffset start = 0xDEADBEEF;
    EXPECT_EQ(HlpGetTopicTitle(container.get(), c.offset, buffer, sizeof buffer, &start), 1) << c.offset;
    EXPECT_STREQ(buffer, c.delivered ? c.title : "untouched") << c.offset;
    EXPECT_EQ(start, c.delivered ? c.start : 0xDEADBEEF) << c.offset;
  }
  // Cut to bufferSize - 1 characters; either output may be left out.
  char small[5];
  TopicOffset start = 0;
  EXPECT_EQ(HlpGetTopicTitle(container.get(), 0x7FFFFFFF, small, sizeof small, nullptr), 1);
  EXPECT_STREQ(small, "Belo");
  EXPECT_EQ(HlpGetTopicTitle(container.get(), 0x215, nullptr, 0, &start), 1);
  EXPECT_EQ(start, 0x210u);
}

TEST(TitleIndex, WithoutTitleTree) {
  OpenedContainer container(BuildContainer({{"|SYSTEM", SystemFile(21, 0, {})}}).bytes);
  TitleRecorder recorder;
  EXPECT_EQ(recorder.Enumerate(container.get()), 0);
  EXPECT_TRUE(recorder.seen.empty());
  char buffer[8] = "same";
  TopicOffset start = 7;
  EXPECT_EQ(HlpGetTopicTitle(container.get(), 100, buffer, sizeof buffer, &start), 0);
  EXPECT_STREQ(buffer, "same");
  EXPECT_EQ(start, 7u);
}

// ---- Contexts ---------------------------------------------------------------

struct ContextRecorder {
  std::vector<Context> seen;
  int stopAfter = -1;
  static int32_t MARLET_API Record(ContextHash hash, TopicOffset offset, MarletUserData user) {
    auto *self = reinterpret_cast<ContextRecorder *>(user);
    self->seen.push_back({hash, offset});
    return static_cast<int>(self->seen.size()) == self->stopAfter ? 0 : 1;
  }
  int32_t Enumerate(IfsHandle container) {
    return HlpEnumContext(container, Record, reinterpret_cast<MarletUserData>(this));
  }
};

std::vector<Context> ManyContexts() {
  std::vector<Context> contexts;
  for (int i = -200; i < 200; ++i) contexts.push_back({i * 10000019, static_cast<uint32_t>(i + 200) * 0x40});
  contexts.push_back({HlpGenerateHashValue("Contents"), 0x8000});
  contexts.push_back({HlpGenerateHashValue("unreachable"), 0xFFFFFFFFu});
  return contexts;
}

TEST(ContextIndex, EnumeratesInSignedOrderAndStopsAtZero) {
  BuiltTree tree = ContextTree(ManyContexts(), SmallPages());
  ASSERT_GE(tree.levels, 3);
  OpenedContainer container(BuildContainer({{"|CONTEXT", tree.bytes}}).bytes);
  ContextRecorder all;
  EXPECT_EQ(all.Enumerate(container.get()), 1);
  ASSERT_EQ(all.seen.size(), 402u);
  EXPECT_LT(all.seen.front().hash, 0);  // the top bit set sorts first
  EXPECT_TRUE(std::is_sorted(all.seen.begin(), all.seen.end(),
                             [](const Context &a, const Context &b) { return a.hash < b.hash; }));
  for (int stopAfter : {1, 77, 402}) {
    ContextRecorder stopped;
    stopped.stopAfter = stopAfter;
    EXPECT_EQ(stopped.Enumerate(container.get()), 0);
    EXPECT_EQ(stopped.seen.size(), static_cast<size_t>(stopAfter));
  }
}

TEST(ContextIndex, LooksUpEveryHash) {
  BuiltTree tree = ContextTree(ManyContexts(), SmallPages());
  OpenedContainer container(BuildContainer({{"|CONTEXT", tree.bytes}}).bytes);
  // Every key, those that stand on index pages included.
  for (const Context &c : ManyContexts()) {
    TopicOffset expected = c.offset;
    EXPECT_EQ(HlpIsTopic(container.get(), c.hash), expected) << c.hash;
    if (c.hash != INT32_MAX) {
      EXPECT_EQ(HlpIsTopic(container.get(), c.hash + 1), MARLET_NO_TOPIC) << c.hash;
    }
  }
  EXPECT_EQ(HlpIsTopic(container.get(), INT32_MIN), MARLET_NO_TOPIC);
  EXPECT_EQ(HlpIsTopic(container.get(), INT32_MAX), MARLET_NO_TOPIC);
}

TEST(ContextIndex, IsTopicByName) {
  MemoryFiles files;
  files.Add("contexts.hlp", BuildContainer({{"|CONTEXT", ContextTree(ManyContexts(), SmallPages()).bytes}}).bytes);
  files.Add("no-context.hlp", BuildContainer({{"|SYSTEM", SystemFile(21, 0, {})}}).bytes);
  struct Case {
    const char *file;
    const char *context;
    int32_t result;
  } cases[] = {
      {"contexts.hlp", "Contents", 1},
      {"contexts.hlp", "CONTENTS", 1},
      {"contexts.hlp", "Con-tents!", 1},  // hashes alike
      {"contexts.hlp", "Content", 0},
      {"contexts.hlp", "unreachable", 0},  // stored with the offset 0xFFFFFFFF
      {"no-context.hlp", "Contents", 0},
      {"missing.hlp", "Contents", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(IsTopic(c.file, c.context), c.result) << c.file << " " << c.context;
  EXPECT_EQ(files.openCount(), 0);
  OpenedContainer noContext(BuildContainer({{"|SYSTEM", SystemFile(21, 0, {})}}).bytes);
  EXPECT_EQ(HlpIsTopic(noContext.get(), 0), MARLET_NO_TOPIC);
  ContextRecorder recorder;
  EXPECT_EQ(recorder.Enumerate(noContext.get()), 0);
  EXPECT_TRUE(recorder.seen.empty());
}

// ---- Keywords ---------------------------------------------------------------

struct KeywordRecorder {
  struct Seen {
    std::string word;
    int32_t dataOffset;
    int32_t count;
    std::vector<uint32_t> topics;  // read from the data file during the call
  };
  IfsFileHandle data = nullptr;
  std::vector<Seen> seen;
  static int32_t MARLET_API Record(const char *word, int32_t dataOffset, int32_t count, MarletUserData user) {
    auto *self = reinterpret_cast<KeywordRecorder *>(user);
    Seen s{word, dataOffset, count, {}};
    if (self->data != nullptr) {
      IFSSeekFile(self->data, dataOffset, 0);
      for (int32_t i = 0; i < count; ++i) {
        uint8_t raw[4] = {};
        IFSReadFile(self->data, raw, 4);
        s.topics.push_back(raw[0] | raw[1] << 8 | raw[2] << 16 | static_cast<uint32_t>(raw[3]) << 24);
      }
    }
    self->seen.push_back(s);
    return 0;  // ignored: the walk cannot be stopped
  }
  std::vector<std::string> Words() const {
    std::vector<std::string> words;
    for (const Seen &s : seen) words.push_back(s.word);
    return words;
  }
};

std::vector<Keyword> ManyKeywords() {
  std::vector<Keyword> keywords;
  for (char a = 'A'; a <= 'Z'; ++a)
    for (int i = 0; i < 12; ++i) {
      std::string word = std::string(1, a) + (i % 2 ? "lpha " : "LPHA ") + std::to_string(i);
      std::vector<uint32_t> topics;
      for (int t = 0; t < i % 4; ++t) topics.push_back(static_cast<uint32_t>(a * 1000 + i * 10 + t));
      keywords.push_back({word, topics});
    }
  return keywords;
}

TEST(KeywordIndex, WalksFromAStartKeyword) {
  KeywordFiles list = KeywordList(ManyKeywords(), SmallPages(128));
  ASSERT_GE(list.tree.levels, 3);
  OpenedContainer container(BuildContainer({{"|KWBTREE", list.tree.bytes}, {"|KWDATA", list.data}}).bytes);
  OpenedFile data(container.get(), "|KWDATA");
  auto from = [&](const char *start, int32_t *result = nullptr) {
    KeywordRecorder recorder;
    recorder.data = data.get();
    int32_t r = HlpEnumKeyWords(container.get(), KeywordRecorder::Record, start, "|KWBTREE",
                                reinterpret_cast<MarletUserData>(&recorder));
    if (result != nullptr) *result = r;
    return recorder;
  };
  int32_t result = 0;
  KeywordRecorder all = from("", &result);
  EXPECT_EQ(result, 1);
  ASSERT_EQ(all.seen.size(), 26u * 12u);
  std::vector<Keyword> sorted = ManyKeywords();
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Keyword &a, const Keyword &b) { return lstrcmpiA(a.word.c_str(), b.word.c_str()) < 0; });
  for (size_t i = 0; i < sorted.size(); ++i) {
    EXPECT_EQ(all.seen[i].word, sorted[i].word);
    EXPECT_EQ(all.seen[i].count, static_cast<int32_t>(sorted[i].topics.size()));  // counts of 0 too
    EXPECT_EQ(all.seen[i].dataOffset, static_cast<int32_t>(list.dataOffsets[i]));
    EXPECT_EQ(all.seen[i].topics, sorted[i].topics) << sorted[i].word;
  }
  EXPECT_EQ(from(nullptr).Words(), all.Words());

  // A start keyword equal to a stored one in another case comes first.
  for (const char *start : {"mlpha 3", "MLPHA 3", "Mlpha 3"}) {
    std::vector<std::string> words = from(start).Words();
    ASSERT_FALSE(words.empty()) << start;
    EXPECT_EQ(words.front(), "Mlpha 3");
    EXPECT_EQ(words.size(), static_cast<size_t>(all.seen.end() - std::find_if(all.seen.begin(), all.seen.end(),
                                                                               [](const auto &s) {
                                                                                 return s.word == "Mlpha 3";
                                                                               })));
  }
  EXPECT_EQ(from("M").Words().front(), "MLPHA 0");
  EXPECT_TRUE(from("zz", &result).seen.empty());
  EXPECT_EQ(result, 1);
}

TEST(KeywordIndex, MissingTree) {
  KeywordFiles list = KeywordList(ManyKeywords());
  OpenedContainer container(BuildContainer({{"|KWBTREE", list.tree.bytes}, {"|KWDATA", list.data}}).bytes);
  KeywordRecorder recorder;
  for (const char *tree : {"|AWBTREE", "|kwbtree", "|KWBTREE "}) {
    EXPECT_EQ(HlpEnumKeyWords(container.get(), KeywordRecorder::Record, "", tree,
                              reinterpret_cast<MarletUserData>(&recorder)),
              0)
        << tree;
  }
  EXPECT_EQ(recorder.seen.size(), 0u);
}

}  // namespace
