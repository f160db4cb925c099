// Phrase tables of both styles and the expansion of stored text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/memory_container.h"
#include "support/topic_builder.h"
#include "topic/phrases.h"
#include "topic/topic_handle.h"

using namespace marlet;

namespace {

using Bytes = fixture::Bytes;

std::vector<std::string> SamplePhrases(size_t n) {
  std::vector<std::string> phrases;
  for (size_t i = 0; i < n; ++i) phrases.push_back("p" + std::to_string(i) + (i % 3 == 0 ? "long phrase" : ""));
  return phrases;
}

struct PhraseFile {
  uint16_t minor = 33;
  uint16_t flags = 0;
  std::vector<fixture::InternalFile> files;
};

// Opens a help file with the given phrase files and runs a check on its
// topic handle.
template <typename Check>
void WithTopic(const PhraseFile &recipe, Check &&check) {
  fixture::TopicFileRecipe topic;
  topic.minor = recipe.minor;
  topic.flags = recipe.flags;
  topic.records = {fixture::TopicHeader("t")};
  topic.extraFiles = recipe.files;
  fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(topic);
  fixture::OpenedContainer container(built.container.bytes);
  TopicHandle handle = HlpTopicOpen(container.get(), 0);
  ASSERT_NE(handle, nullptr);
  check(*handle);
  HlpTopicClose(handle);
}

std::string Phrase(const TopicHandleRecord &topic, uint32_t n) {
  Bytes bytes(GetPhrase(topic, n).begin(), GetPhrase(topic, n).end());
  return std::string(bytes.begin(), bytes.end());
}

std::string Expand(const TopicHandleRecord &topic, const Bytes &stored, bool newStyle, uint32_t limit = kExpansionLimit) {
  std::vector<uint8_t> out(limit + 1, 0xEE);
  uint32_t n = ExpandText(topic, Bytes(stored), out.data(), limit, newStyle);
  EXPECT_EQ(out[n], 0);
  return std::string(out.begin(), out.begin() + n);
}

TEST(PhraseTables, LoadInEveryStyle) {
  std::vector<std::string> phrases = SamplePhrases(3000);
  fixture::NewPhraseFiles packed = fixture::NewPhrases(phrases, 2, true);
  fixture::NewPhraseFiles plain = fixture::NewPhrases(phrases, 4, false);
  struct Case {
    const char *name;
    PhraseFile file;
  } cases[] = {
      {"old style, compressed", {33, 0x04, {{"|Phrases", fixture::OldPhrases(phrases, true)}}}},
      {"old style, plain", {33, 0, {{"|Phrases", fixture::OldPhrases(phrases, false)}}}},
      {"3.0, plain whatever the flags", {15, 0x0C, {{"|Phrases", fixture::OldPhrases(phrases, false)}}}},
      {"new style, image compressed", {33, 0x04, {{"|PhrIndex", packed.index}, {"|PhrImage", packed.image}}}},
      {"new style, image stored plain", {33, 0x04, {{"|PhrIndex", plain.index}, {"|PhrImage", plain.image}}}},
      {"both styles: the new one wins",
       {33, 0x04, {{"|PhrIndex", packed.index}, {"|PhrImage", packed.image}, {"|Phrases", Bytes(40, 0)}}}},
  };
  for (const Case &c : cases) {
    WithTopic(c.file, [&](const TopicHandleRecord &topic) {
      ASSERT_EQ(topic.phraseCount, phrases.size()) << c.name;
      for (uint32_t n : {0u, 1u, 127u, 128u, 1919u, 2999u}) EXPECT_EQ(Phrase(topic, n), phrases[n]) << c.name << " " << n;
      EXPECT_EQ(Phrase(topic, 3000), "") << c.name;  // past the table
      EXPECT_EQ(Phrase(topic, 0xFFFFFFFF), "") << c.name;
    });
  }
}

TEST(PhraseTables, PhrImageWithoutPhrIndexFallsBackToPhrases) {
  std::vector<std::string> phrases = SamplePhrases(5);
  PhraseFile file{33, 0, {{"|PhrImage", Bytes(10, 'x')}, {"|Phrases", fixture::OldPhrases(phrases, false)}}};
  WithTopic(file, [&](const TopicHandleRecord &topic) {
    EXPECT_EQ(topic.phraseImage, nullptr);
    EXPECT_EQ(Phrase(topic, 4), phrases[4]);
  });
}

TEST(PhraseTables, TheLengthsBitStream) {
  // bitCount 2; bits 0 0 1 1 0 1 0 0: lengths 3 and 6.
  Bytes index;
  fixture::PutU32(index, 1);
  fixture::PutU32(index, 2);
  fixture::PutU32(index, 5);
  fixture::PutU32(index, 9);
  fixture::PutU32(index, 9);
  fixture::PutU32(index, 0);
  fixture::PutBytes(index, {0x02, 0x00, 0x00, 0x00, 0x2C});
  PhraseFile file{33, 0, {{"|PhrIndex", index}, {"|PhrImage", {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'}}}};
  WithTopic(file, [&](const TopicHandleRecord &topic) {
    ASSERT_EQ(topic.phraseCount, 2u);
    EXPECT_EQ(topic.phraseOffsets[1], 3u);
    EXPECT_EQ(topic.phraseOffsets[2], 9u);
    EXPECT_EQ(Phrase(topic, 1), "defghi");
  });
}

TEST(ExpandText, NewStyleCodes) {
  std::vector<std::string> phrases;
  for (int i = 0; i < 16600; ++i) phrases.push_back("#" + std::to_string(i));
  fixture::NewPhraseFiles files = fixture::NewPhrases(phrases, 4, true);
  PhraseFile file{33, 0x04, {{"|PhrIndex", files.index}, {"|PhrImage", files.image}}};
  WithTopic(file, [&](const TopicHandleRecord &topic) {
    struct Case {
      Bytes stored;
      std::string expected;
    } cases[] = {
        {{0x0F}, std::string(1, '\0')},
        {{0xFF}, std::string(16, '\0')},
        {{0x07}, " "},
        {{0xF7}, std::string(16, ' ')},
        {{0x03, 'x'}, "x"},
        {[] {
           Bytes b{0xFB};
           for (int i = 0; i < 32; ++i) b.push_back(static_cast<uint8_t>('A' + i % 26));
           return b;
         }(),
         "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF"},
        {{0x00}, "#0"},
        {{0xFE}, "#127"},
        {{0x01, 0x00}, "#128"},
        {{0xFD, 0xFF}, "#16511"},
        {{0x08, 0x07, 0x0B, 'a', 'b', 0x0F, 0x02}, std::string("#4 ab") + '\0' + "#1"},
        {{}, ""},
        // Operands past the stored text end the expansion.
        {{0x02, 0x01}, "#1"},
        {{0x13, 'a'}, "a"},
    };
    for (const Case &c : cases) EXPECT_EQ(Expand(topic, c.stored, true), c.expected) << int(c.stored.empty() ? -1 : c.stored[0]);
    // Without the new-style flag the old rule applies, with phrases from the
    // new-style table.
    EXPECT_EQ(Expand(topic, {0x01, 0x01, 'z'}, false), "#0 z");
  });
}

TEST(ExpandText, OldStyleCodes) {
  std::vector<std::string> phrases = SamplePhrases(2000);
  phrases[3] = "abc";
  PhraseFile file{33, 0x04, {{"|Phrases", fixture::OldPhrases(phrases, true)}}};
  WithTopic(file, [&](const TopicHandleRecord &topic) {
    struct Case {
      Bytes stored;
      std::string expected;
    } cases[] = {
        {{0x01, 0x07, 0x78}, "abc x"},
        {{0x10}, "\x10"},
        {{0x00, 'a'}, std::string(1, '\0') + "a"},
        {{0x01, 0x00}, phrases[0]},
        {{0x01, 0x01}, phrases[0] + " "},
        {{0x0F, 0xFF}, phrases[1919] + " "},
        {{'h', 'e', 'l', 'l', 'o', 0x00, 0xFF}, std::string("hello") + '\0' + "\xFF"},
        {{0x01}, ""},                          // operand missing
        {{0x0F, 0xFE, 'q'}, phrases[1919] + "q"},  // even: no space
    };
    for (const Case &c : cases) EXPECT_EQ(Expand(topic, c.stored, false), c.expected);
  });
}

TEST(ExpandText, WithoutAPhraseTableTheTextIsCopied) {
  WithTopic(PhraseFile{}, [&](const TopicHandleRecord &topic) {
    EXPECT_EQ(Expand(topic, {0x01, 0x02, 0x0F, 'a'}, false), "\x01\x02\x0F" "a");
    EXPECT_EQ(Expand(topic, {0x01, 0x02}, true), "\x01\x02");
  });
}

TEST(ExpandText, OutputStopsAtTheLimit) {
  std::vector<std::string> phrases{std::string(200, 'x')};
  PhraseFile file{33, 0, {{"|Phrases", fixture::OldPhrases(phrases, false)}}};
  WithTopic(file, [&](const TopicHandleRecord &topic) {
    Bytes stored;
    for (int i = 0; i < 400; ++i) stored.insert(stored.end(), {0x01, 0x00});  // 80000 bytes of phrase 0
    std::string out = Expand(topic, stored, false);
    EXPECT_EQ(out.size(), kExpansionLimit);
    EXPECT_EQ(Expand(topic, stored, false, 10), std::string(10, 'x'));
  });
}

TEST(PhraseTables, DamagedTablesNeverReadOutside) {
  std::vector<std::string> phrases = SamplePhrases(50);
  Bytes oldPlain = fixture::OldPhrases(phrases, false);
  Bytes oldPacked = fixture::OldPhrases(phrases, true);
  fixture::NewPhraseFiles packed = fixture::NewPhrases(phrases, 3, true);
  auto with = [](Bytes b, size_t at, uint32_t v) {
    fixture::SetU32(b, at, v);
    return b;
  };
  auto with16 = [](Bytes b, size_t at, uint32_t v) {
    fixture::SetU16(b, at, v);
    return b;
  };
  std::vector<PhraseFile> cases = {
      {33, 0, {{"|Phrases", with16(oldPlain, 0, 60000)}}},               // count past the offsets
      {33, 0, {{"|Phrases", with16(oldPlain, 4 + 2 * 10, 0xFFFF)}}},     // an offset past the text
      {33, 0x04, {{"|Phrases", with(oldPacked, 4, 0x7FFFFFFF)}}},        // huge decompressed size
      {33, 0x04, {{"|Phrases", with(oldPacked, 4, 70000)}}},             // the 40-byte header variant
      {33, 0x04, {{"|Phrases", Bytes(oldPacked.begin(), oldPacked.begin() + 30)}}},
      {33, 0, {{"|Phrases", Bytes{5, 0}}}},
      {33, 0, {{"|PhrIndex", with(packed.index, 4, 0x7FFFFFFF)}, {"|PhrImage", packed.image}}},
      {33, 0, {{"|PhrIndex", with(packed.index, 8, 0x7FFFFFFF)}, {"|PhrImage", packed.image}}},
      {33, 0, {{"|PhrIndex", with(packed.index, 12, 0x7FFFFFFF)}, {"|PhrImage", packed.image}}},
      {33, 0, {{"|PhrIndex", with(packed.index, 16, 0x7FFFFFFF)}, {"|PhrImage", packed.image}}},
      {33, 0, {{"|PhrIndex", Bytes(packed.index.begin(), packed.index.begin() + 30)}, {"|PhrImage", packed.image}}},
      {33, 0, {{"|PhrIndex", packed.index}, {"|PhrImage", Bytes(3, 0xFF)}}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    WithTopic(cases[i], [&](const TopicHandleRecord &topic) {
      for (uint32_t n = 0; n < 70; ++n) GetPhrase(topic, n);
      Bytes stored;
      for (uint32_t n = 0; n < 60; ++n) stored.insert(stored.end(), {static_cast<uint8_t>(1 + (n >> 7)), static_cast<uint8_t>(n * 2)});
      Expand(topic, stored, false);
      Expand(topic, stored, true);
    });
  }
}

}  // namespace
