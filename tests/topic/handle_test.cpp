// Topic streams: opening with their side tables, the output primitives and
// the RTF font tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "container/bytes.h"
#include "rtf/fonts.h"
#include "support/memory_container.h"
#include "support/recorder.h"
#include "support/topic_builder.h"
#include "topic/emit.h"
#include "topic/topic_handle.h"

using namespace marlet;

namespace {

using Bytes = fixture::Bytes;

struct Opened {
  explicit Opened(const std::vector<fixture::InternalFile> &extra, uint32_t options, uint16_t minor = 33) {
    fixture::TopicFileRecipe recipe;
    recipe.minor = minor;
    recipe.records = {fixture::TopicHeader("t")};
    recipe.extraFiles = extra;
    container = std::make_unique<fixture::OpenedContainer>(fixture::BuildTopicHelpFile(recipe).container.bytes);
    topic = HlpTopicOpen(container->get(), options);
  }
  ~Opened() { HlpTopicClose(topic); }
  std::unique_ptr<fixture::OpenedContainer> container;
  TopicHandle topic;
};

// ---- Opening ----------------------------------------------------------------

// A keyword list's two files: its tree and its data.
fixture::KeywordFiles Keywords(std::vector<fixture::Keyword> keywords, uint16_t pageSize = 1024) {
  fixture::TreeShape shape;
  shape.pageSize = pageSize;
  return fixture::KeywordList(std::move(keywords), shape);
}

TEST(TopicOpen, OptionsChooseTheSideTables) {
  fixture::KeywordFiles k = Keywords({{"alpha", {300, 100}}, {"beta", {100}}});
  fixture::KeywordFiles a = Keywords({{"gamma", {5}}});
  const Bytes &kdata = k.data, &adata = a.data;
  std::vector<fixture::TreeEntry> contexts{{fixture::U32Bytes(0x80000001u), fixture::U32Bytes(500)},
                                           {fixture::U32Bytes(7), fixture::U32Bytes(20)},
                                           {fixture::U32Bytes(9), fixture::U32Bytes(20)}};
  std::vector<fixture::InternalFile> files{
      {"|FONT", fixture::FontFile({{"Arial"}})},
      {"|KWBTREE", k.tree.bytes}, {"|KWDATA", kdata},
      {"|AWBTREE", a.tree.bytes}, {"|AWDATA", adata},
      {"|ZWBTREE", k.tree.bytes},  // no data file: skipped
      {"|3KWDATA", kdata},    // no tree: skipped
      {"|CONTEXT", fixture::BuildBTree(contexts).bytes},
  };
  for (uint32_t options : {0u, 1u, 2u, 4u, 7u, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
    Opened opened(files, options);
    ASSERT_NE(opened.topic, nullptr) << options;
    const TopicHandleRecord &t = *opened.topic;
    EXPECT_EQ(t.fonts != nullptr, (options & 1) != 0) << options;
    EXPECT_EQ(t.keywordIndexCount > 0, (options & 2) != 0) << options;
    EXPECT_EQ(t.contexts != nullptr, (options & 4) != 0) << options;
    if (options & 2) {
      ASSERT_EQ(t.keywordIndexCount, 2);
      EXPECT_STREQ(t.keywordIndexes[0]->name, "A");  // A to Z, then 0K to 8K
      EXPECT_STREQ(t.keywordIndexes[1]->name, "K");
      const KeywordIndex &kw = *t.keywordIndexes[1];
      ASSERT_EQ(kw.count, 3);
      EXPECT_EQ(kw.pairs[0].offset, 100u);  // sorted by offset
      EXPECT_EQ(kw.pairs[2].offset, 300u);
      // alpha's two occurrences share its keyword position: page 0, offset 8.
      int32_t alphaPos = 38 + 8;
      EXPECT_EQ(kw.pairs[2].keywordPos, alphaPos);
      EXPECT_TRUE(kw.pairs[0].keywordPos == alphaPos || kw.pairs[1].keywordPos == alphaPos);
    }
    if (options & 4) {
      ASSERT_EQ(t.contexts->count, 3);
      EXPECT_EQ(t.contexts->pairs[0].offset, 20u);
      EXPECT_EQ(t.contexts->pairs[2].offset, 500u);
      EXPECT_EQ(t.contexts->pairs[2].hash, static_cast<int32_t>(0x80000001u));
    }
  }
}

TEST(TopicOpen, KeywordPairsGrowInStepsOfAThousand) {
  std::vector<fixture::Keyword> keywords;
  for (int i = 0; i < 25; ++i) {
    std::vector<uint32_t> offsets;
    for (int k = 0; k < 100; ++k) offsets.push_back(static_cast<uint32_t>(i * 1000 + k));
    keywords.push_back({"word" + std::to_string(100 + i), offsets});
  }
  fixture::KeywordFiles list = Keywords(keywords, 128);
  const Bytes &data = list.data;
  const fixture::BuiltTree &tree = list.tree;
  Opened opened({{"|KWBTREE", tree.bytes}, {"|KWDATA", data}}, 2);
  ASSERT_EQ(opened.topic->keywordIndexCount, 1);
  EXPECT_EQ(opened.topic->keywordIndexes[0]->count, 2500);
  EXPECT_EQ(opened.topic->keywordIndexes[0]->capacity, 3000);
}

TEST(TopicOpen, FailsWithoutTopicOrSystem) {
  fixture::BuiltContainer noTopic = fixture::BuildContainer({{"|SYSTEM", fixture::SystemFile(33, 0, {})}});
  fixture::BuiltContainer noSystem = fixture::BuildContainer({{"|TOPIC", Bytes(100, 0)}});
  for (const Bytes &bytes : {noTopic.bytes, noSystem.bytes}) {
    fixture::OpenedContainer container(bytes);
    ASSERT_TRUE(container);
    EXPECT_EQ(HlpTopicOpen(container.get(), 7), nullptr);
  }
  HlpTopicClose(nullptr);
  EXPECT_EQ(HlpTopicOpen(nullptr, 0), nullptr);
}

TEST(TopicOpen, DamagedSideTablesLeaveThemEmpty) {
  fixture::KeywordFiles k = Keywords({{"alpha", {1, 2}}, {"beta", {3}}});
  const Bytes &kdata = k.data;
  Bytes countPastData = k.tree.bytes;
  fixture::SetU16(countPastData, k.tree.PageOffset(0) + 8 + 6, 60000);  // alpha's count
  std::vector<fixture::TreeEntry> contexts{{fixture::U32Bytes(1), fixture::U32Bytes(5)},
                                           {fixture::U32Bytes(2), fixture::U32Bytes(6)}};
  fixture::BuiltTree ctx = fixture::BuildBTree(contexts);
  Bytes fewerAnnounced = ctx.bytes;
  fixture::SetU32(fewerAnnounced, fixture::kTreeEntriesField, 1);
  Bytes hugeAnnounced = ctx.bytes;
  fixture::SetU32(hugeAnnounced, fixture::kTreeEntriesField, 0x7FFFFFFF);
  Bytes font = fixture::FontFile({{"Arial"}, {"Courier"}});
  Bytes fontBadSlot = font;
  fontBadSlot[8 + 2 * 20 + 3] = 200;  // slot number past the names
  Bytes fontHuge = font;
  fixture::SetU16(fontHuge, 2, 65535);
  fixture::SetU16(fontHuge, 0, 65535);
  struct Case {
    const char *name;
    std::vector<fixture::InternalFile> files;
  } cases[] = {
      {"keyword count past the data file", {{"|KWBTREE", countPastData}, {"|KWDATA", kdata}}},
      {"keyword data cut", {{"|KWBTREE", k.tree.bytes}, {"|KWDATA", Bytes(3, 0)}}},
      {"keyword tree cut", {{"|KWBTREE", Bytes(k.tree.bytes.begin(), k.tree.bytes.begin() + 50)}, {"|KWDATA", kdata}}},
      {"context leaves hold more than announced", {{"|CONTEXT", fewerAnnounced}}},
      {"context count far too large", {{"|CONTEXT", hugeAnnounced}}},
      {"context tree cut", {{"|CONTEXT", Bytes(ctx.bytes.begin(), ctx.bytes.begin() + 20)}}},
      {"font slot past the names", {{"|FONT", fontBadSlot}}},
      {"font counts past the file", {{"|FONT", fontHuge}}},
      {"font header only", {{"|FONT", Bytes(font.begin(), font.begin() + 8)}}},
      {"font shorter than its header", {{"|FONT", Bytes(5, 1)}}},
  };
  for (const Case &c : cases) {
    Opened opened(c.files, 7);
    ASSERT_NE(opened.topic, nullptr) << c.name;
    const TopicHandleRecord &t = *opened.topic;
    if (t.contexts) {
      EXPECT_LE(t.contexts->count, 2) << c.name;
    }
    if (t.fonts) {
      EXPECT_LE(t.fonts->count, 2) << c.name;
      RtfFontTable(t);
    }
  }
}

// ---- Fonts --------------------------------------------------------------------

TEST(Fonts, ElevenByteDescriptors) {
  fixture::FontRecipe bold{"Arial,Bold", 0x01, 24, 3, {0, 128, 255}, {255, 255, 255}};
  fixture::FontRecipe plain{"Times New Roman", 0x06, 20, 2, {255, 255, 255}, {1, 2, 3}};
  fixture::FontRecipe odd{"Odd", 0, 16, 0, {9, 9, 9}, {0, 0, 0}};
  for (unsigned slot : {20u, 32u}) {
    Opened opened({{"|FONT", fixture::FontFile({bold, plain, odd}, slot, 11)}}, 1);
    const TopicHandleRecord &t = *opened.topic;
    ASSERT_NE(t.fonts, nullptr);
    ASSERT_EQ(t.fonts->count, 3);
    EXPECT_EQ(t.newFontDescriptors, 0);
    const FontEntry &f0 = t.fonts->entries[0];
    EXPECT_STREQ(f0.faceName, "Arial");  // cut at the comma
    EXPECT_EQ(f0.weight, 700);
    EXPECT_EQ(f0.family, 0x20);
    EXPECT_EQ(f0.halfPoints, 24);
    EXPECT_EQ(f0.textColour, 0x00FF8000u);
    EXPECT_EQ(f0.backColour, 0x00FFFFFFu);  // white background stays
    const FontEntry &f1 = t.fonts->entries[1];
    EXPECT_STREQ(f1.faceName, "Times New Roman");
    EXPECT_EQ(f1.weight, 0);
    EXPECT_EQ(f1.italic, 1);
    EXPECT_EQ(f1.underline, 1);
    EXPECT_EQ(f1.textColour, 0u);  // white text is stored as 0
    EXPECT_EQ(t.fonts->entries[2].family, 0);

    EXPECT_EQ(RtfFontTable(t),
              "{\\fonttbl\n{\\f0\\fswiss Arial;}\n{\\f1\\froman Times New Roman;}\n{\\f2\\fmodern Odd;}\n"
              "}\n{\\colortbl\n\\red0\\green128\\blue255;\n\\red0\\green0\\blue0;\n\\red9\\green9\\blue9;\n}\n");
    char text[kFontAttributesSize];
    ASSERT_TRUE(RtfFontAttributes(t, 0, text));
    EXPECT_STREQ(text, "\\f0\\cf0\\fs24\\b\\i0\\ul0");
    ASSERT_TRUE(RtfFontAttributes(t, 1, text));
    EXPECT_STREQ(text, "\\f1\\cf1\\fs20\\b0\\i\\ul");
    EXPECT_FALSE(RtfFontAttributes(t, 3, text));  // the count itself
    EXPECT_FALSE(RtfFontAttributes(t, -1, text));
  }
}

TEST(Fonts, FortyTwoByteDescriptors) {
  fixture::FontRecipe a{"Courier", 0x01, 20, 1, {1, 2, 3}, {4, 5, 6}};  // height -10, weight 700
  fixture::FontRecipe b{"Symbol", 0x02, 17, 5, {0, 0, 0}, {0, 0, 0}};  // height -8, weight 400
  Opened opened({{"|FONT", fixture::FontFile({a, b}, 32, 42)}}, 1);
  const TopicHandleRecord &t = *opened.topic;
  ASSERT_NE(t.fonts, nullptr);
  EXPECT_EQ(t.newFontDescriptors, 1);
  EXPECT_EQ(t.fonts->entries[0].halfPoints, 20);
  EXPECT_EQ(t.fonts->entries[0].weight, 700);
  EXPECT_EQ(t.fonts->entries[0].family, 0x30);
  EXPECT_EQ(t.fonts->entries[0].textColour, 0x030201u);
  EXPECT_EQ(t.fonts->entries[0].backColour, 0x060504u);
  EXPECT_EQ(t.fonts->entries[1].halfPoints, 16);
  EXPECT_EQ(t.fonts->entries[1].weight, 0);
  EXPECT_EQ(t.fonts->entries[1].italic, 1);
  EXPECT_EQ(t.fonts->entries[1].family, 0x50);
  EXPECT_STREQ(t.fonts->entries[1].faceName, "Symbol");
}

TEST(Fonts, WithoutFontsThereIsNoTable) {
  Opened opened({{"|FONT", fixture::FontFile({{"Arial"}})}}, 0);
  EXPECT_EQ(RtfFontTable(*opened.topic), "");
  char text[kFontAttributesSize] = "unchanged";
  EXPECT_FALSE(RtfFontAttributes(*opened.topic, 0, text));
  EXPECT_STREQ(text, "unchanged");
}

// ---- Output primitives --------------------------------------------------------

using fixture::Recorder;

Sink SinkOf(Recorder &recorder) { return Sink{Recorder::Callback, recorder.user()}; }

TEST(Primitives, EmitStringBoundsByTheRemainingCount) {
  TopicHandleRecord topic{};
  Recorder recorder;
  Sink sink = SinkOf(recorder);
  const char data[] = "abcdef\0xyz\0";
  TextCursor whole(data, 11);
  EXPECT_EQ(EmitString(topic, sink, whole, 0), 6u);
  EXPECT_EQ(whole.count(), 4u);
  EXPECT_EQ(EmitString(topic, sink, whole, 0), 3u);
  EXPECT_EQ(whole.count(), 0u);
  EXPECT_EQ(EmitString(topic, sink, whole, 0), 0u);  // past the end: empty pieces
  // Three bytes of count over a six-letter string: the whole string is
  // delivered, the count runs out.
  TextCursor cut(data, 3);
  EXPECT_EQ(EmitString(topic, sink, cut, 0), 3u);
  EXPECT_EQ(cut.count(), 0u);
  ASSERT_EQ(recorder.lines.size(), 4u);
  EXPECT_EQ(recorder.lines[0], "0\tabcdef");
  EXPECT_EQ(recorder.lines[1], "0\txyz");
  EXPECT_EQ(recorder.lines[2], "0\t");
}

TEST(Primitives, TheStopRule) {
  TopicHandleRecord topic{};
  topic.topicOffset = 0x8042;
  Recorder recorder;
  recorder.stopAtCall = 2;
  Sink sink = SinkOf(recorder);
  EmitFormatted(topic, sink, "\\fs%d\\%s", 20, "b");
  const char data[] = "one\0two\0three";
  TextCursor text(data, 13);
  EmitString(topic, sink, text, 0);  // returns 0: stopped from now on
  EXPECT_EQ(topic.stopped, 1);
  EXPECT_EQ(EmitString(topic, sink, text, 0), 3u);  // still advances
  EXPECT_EQ(text.count(), 5u);
  EmitFormatted(topic, sink, "\\par ");
  EmitString(topic, sink, "whole", 13);
  EXPECT_EQ(recorder.calls, 2u);
  ASSERT_EQ(recorder.lines.size(), 2u);
  EXPECT_EQ(recorder.lines[0], "7\t\\fs20\\b");
  EXPECT_EQ(recorder.offsets[0], 0x8042u);
  EXPECT_EQ(recorder.lines[1], "0\tone");
}

// Numbered control words are made without the formatter; they must read as
// "%s%d%s" formats them, for every digit count and sign, with and without a
// suffix (the tables' "\\cellx%d0").
TEST(Primitives, ControlNumbersReadAsTheFormatterWritesThem) {
  const int32_t values[] = {0,      1,      9,       10,       99,        100,        999,        1000,
                            7200,   10080,  32767,   327670,   99999999,  100000000,  2147483647, -1,
                            -9,     -10,    -720,    -32768,   -327680,   -2147483647, INT32_MIN};
  const char *words[] = {"\\tx", "\\fi", "\\sb", "\\abcdefghijklmnopqrstuvw"};
  TopicHandleRecord topic{};
  Recorder recorder;
  Sink sink = SinkOf(recorder);
  const char *suffixes[] = {"", "0", "\\tqc"};
  for (const char *word : words) {
    for (int32_t value : values) {
      for (const char *suffix : suffixes) {
        char expected[64];
        wnsprintfA(expected, sizeof expected, "%s%d%s", word, value, suffix);
        recorder.lines.clear();
        if (*suffix == '\0')
          EmitControlNumber(topic, sink, word, value);
        else
          EmitControlNumber(topic, sink, word, value, suffix);
        ASSERT_EQ(recorder.lines.size(), 1u);
        EXPECT_EQ(recorder.lines[0], std::string("7\t") + expected) << word << " " << value << " " << suffix;
      }
    }
  }
  topic.stopped = 1;  // the stop rule: nothing more
  recorder.lines.clear();
  EmitControlNumber(topic, sink, "\\tx", 5);
  EXPECT_TRUE(recorder.lines.empty());
}

TEST(Primitives, LongFormattedTextStaysInItsBuffer) {
  TopicHandleRecord topic{};
  Recorder recorder;
  Sink sink = SinkOf(recorder);
  std::string big(20000, 'q');
  EmitFormatted(topic, sink, "{\\v %s}", big.c_str());
  ASSERT_EQ(recorder.lines.size(), 1u);
  EXPECT_EQ(recorder.lines[0].size(), 2u + 4999u);  // "7\t" and the text
}

}  // namespace
