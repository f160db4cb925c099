// The record loop: the event stream of whole topics, the stop rule, seeks,
// context and keyword annotations; and the same on real help files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "container/bytes.h"
#include "support/memory_container.h"
#include "support/recorder.h"
#include "support/topic_builder.h"
#include "topic/blocks.h"
#include "topic/phrases.h"
#include "topic/topic_handle.h"

using namespace marlet;
using fixture::Recorder;

namespace {

using Bytes = fixture::Bytes;
using Lines = std::vector<std::string>;

struct HelpFile {
  explicit HelpFile(const fixture::TopicFileRecipe &recipe)
      : built(fixture::BuildTopicHelpFile(recipe)), container(built.container.bytes) {}
  fixture::BuiltHelpFile built;
  fixture::OpenedContainer container;
};

struct Stream {
  Stream(IfsHandle container, uint32_t options) : topic(HlpTopicOpen(container, options)) {}
  ~Stream() { HlpTopicClose(topic); }
  TopicHandle topic;
};

Lines Enumerate(TopicHandle topic, Recorder &recorder, int32_t *result = nullptr) {
  int32_t r = HlpTopicEnumerate(topic, Recorder::Callback, recorder.user());
  if (result) *result = r;
  return recorder.lines;
}

std::vector<fixture::TopicRecord> TwoTopics() {
  return {fixture::TopicHeader("First"), fixture::TextParagraph("one"), fixture::TopicHeader("Second"),
          fixture::TextParagraph("two")};
}

fixture::TopicFileRecipe TwoTopicsWithAFont() {
  fixture::TopicFileRecipe recipe;
  recipe.records = TwoTopics();
  recipe.extraFiles = {{"|FONT", fixture::FontFile({{"Arial"}})}};
  return recipe;
}

const char kOpening[] = "{\\rtf1\\ansi\\deff0\\deflang1024 ";

TEST(Enumerate, AWholeDocumentWithFonts) {
  HelpFile file(TwoTopicsWithAFont());
  Stream stream(file.container.get(), HLP_TOPIC_FONTS);
  Recorder recorder;
  int32_t result = -1;
  Lines lines = Enumerate(stream.topic, recorder, &result);
  EXPECT_EQ(result, 0);
  std::string header = std::string(kOpening) +
                       "{\\fonttbl\n{\\f0\\fswiss Arial;}\n}\n{\\colortbl\n\\red0\\green0\\blue0;\n}\n";
  Lines paragraph = {"7\t\\pard\\s0", "7\t\\ql", "7\t ", "0\tone", "7\t\\par ", "1\t\\n", "0\t"};
  Lines expected = {Recorder::Line(6, header), "2\tFirst"};
  expected.insert(expected.end(), paragraph.begin(), paragraph.end());
  expected.push_back("2\tSecond");
  paragraph[3] = "0\ttwo";
  expected.insert(expected.end(), paragraph.begin(), paragraph.end());
  expected.push_back("8\t}");
  EXPECT_EQ(lines, expected);
  // Events 6 and 8 carry offset 0; the others their record's position.
  EXPECT_EQ(recorder.offsets.front(), 0u);
  EXPECT_EQ(recorder.offsets.back(), 0u);
  EXPECT_EQ(recorder.offsets[1], file.built.topic.offsets[0]);
  EXPECT_EQ(recorder.offsets[9], file.built.topic.offsets[2]);
}

TEST(Enumerate, WithoutFontsTheHeaderIsBareAndNothingCloses) {
  HelpFile file(TwoTopicsWithAFont());
  Stream stream(file.container.get(), 0);
  Recorder recorder;
  Lines lines = Enumerate(stream.topic, recorder);
  EXPECT_EQ(lines.front(), Recorder::Line(6, kOpening));
  EXPECT_NE(lines.back().substr(0, 2), "8\t");
}

TEST(Enumerate, TheStopRule) {
  HelpFile file(TwoTopicsWithAFont());
  // A callback that returns 0 at the second title gets exactly the first
  // topic, the second title, then event 8; the result is 1.
  {
    Stream stream(file.container.get(), HLP_TOPIC_FONTS);
    Recorder recorder;
    recorder.stopAtCall = 10;  // 6, 2, seven pieces of the paragraph, 2
    int32_t result = 0;
    Lines lines = Enumerate(stream.topic, recorder, &result);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[9], "2\tSecond");
    EXPECT_EQ(lines[10], "8\t}");
    // The loop finished the header record: the next enumeration goes on with
    // the second topic's paragraph.
    Recorder rest;
    Lines more = Enumerate(stream.topic, rest, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(more[4], "0\ttwo");
  }
  // Event 8's own 0 makes the result 1.
  {
    Stream stream(file.container.get(), HLP_TOPIC_FONTS);
    Recorder recorder;
    recorder.stopAtCall = 18;
    int32_t result = 0;
    Lines lines = Enumerate(stream.topic, recorder, &result);
    EXPECT_EQ(lines.back(), "8\t}");
    EXPECT_EQ(result, 1);
  }
  // A 0 for event 6: one record is still read, silently; event 8 comes.
  {
    Stream stream(file.container.get(), HLP_TOPIC_FONTS);
    Recorder recorder;
    recorder.stopAtCall = 1;
    int32_t result = 0;
    Lines lines = Enumerate(stream.topic, recorder, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(lines.size(), 2u);
    Recorder rest;
    EXPECT_EQ(Enumerate(stream.topic, rest)[1], "7\t\\pard\\s0");  // the first paragraph
  }
}

TEST(Enumerate, AfterTheLastRecordOnlyTheFrameComes) {
  HelpFile file(TwoTopicsWithAFont());
  Stream stream(file.container.get(), HLP_TOPIC_FONTS);
  Recorder all;
  Enumerate(stream.topic, all);
  Recorder again;
  Lines lines = Enumerate(stream.topic, again);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 2), "6\t");
  EXPECT_EQ(lines[1], "8\t}");
}

TEST(Enumerate, TopicHeaders) {
  fixture::TopicRecord secondOnly = fixture::TopicHeader("");
  fixture::PutCString(secondOnly.text, "second string");
  fixture::TopicRecord withGroup;
  withGroup.type = 0x02;
  withGroup.format = fixture::TopicHeaderFormat(0xFFFFFFFF, 2);
  fixture::PutCString(withGroup.text, "Grouped");
  fixture::TopicRecord groupZero = withGroup;
  groupZero.format = fixture::TopicHeaderFormat(0xFFFFFFFF, 0);
  fixture::TopicRecord groupPast = withGroup;
  groupPast.format = fixture::TopicHeaderFormat(0xFFFFFFFF, 9);
  fixture::TopicRecord both = fixture::TopicHeader("Title");
  fixture::PutCString(both.text, "more");

  fixture::TopicFileRecipe recipe;
  recipe.records = {secondOnly, withGroup, groupZero, groupPast, both, fixture::TopicHeader("")};
  fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(recipe);
  // Groups come from |SYSTEM's group records.
  fixture::BuiltContainer container = fixture::BuildContainer(
      {{"|SYSTEM", fixture::SystemFile(33, 0, {fixture::TextRecord(13, "group one"), fixture::TextRecord(13, "group two")})},
       {"|TOPIC", built.topic.bytes}});
  fixture::OpenedContainer opened(container.bytes);
  Stream stream(opened.get(), 0);
  Recorder recorder;
  Lines lines = Enumerate(stream.topic, recorder);
  EXPECT_EQ(lines, (Lines{Recorder::Line(6, kOpening), "4\tsecond string", "2\tGrouped", "3\tgroup two",
                          "2\tGrouped", "2\tGrouped", "2\tTitle", "4\tmore"}));
}

TEST(Enumerate, NonScrollingRecords) {
  // The scrolling region begins at the third record: the paragraph before it
  // is non-scrolling.
  fixture::TopicFileRecipe recipe;
  recipe.records = {fixture::TopicHeader("T"), fixture::TextParagraph("fixed"), fixture::TextParagraph("moving")};
  fixture::BuiltHelpFile probe = fixture::BuildTopicHelpFile(recipe);
  recipe.records[0] = fixture::TopicHeader("T", probe.topic.links[2]);
  HelpFile file(recipe);
  Stream stream(file.container.get(), 0);
  Recorder recorder;
  recorder.events = {7};
  Lines lines = Enumerate(stream.topic, recorder);
  EXPECT_EQ(lines[0], "7\t\\pard\\keepn\\s1");
  EXPECT_EQ(lines[4], "7\t\\pard\\s0");
}

// Context strings and keywords arrive at the records the side tables name.
TEST(Enumerate, ContextsAndKeywordsWhereTheTablesSay) {
  for (uint16_t minor : {33, 15}) {
    fixture::TopicFileRecipe recipe;
    recipe.minor = minor;
    recipe.records = {fixture::TopicHeader("A"), fixture::TextParagraph("a1"), fixture::TextParagraph("a2"),
                    fixture::TopicHeader("B"), fixture::TextParagraph("b1")};
    fixture::BuiltHelpFile probe = fixture::BuildTopicHelpFile(recipe);
    const std::vector<uint32_t> &at = probe.topic.offsets;
    // 3.0 files name topic headers; later files any record, a header and its
    // first paragraph sharing one position.
    uint32_t second = minor == 15 ? at[3] : at[2];
    fixture::KeywordFiles keywords = fixture::KeywordList({{"apple", {at[0]}}, {"pear", {at[0]}}, {"plum", {second}}});
    recipe.extraFiles = {
        {"|CONTEXT", fixture::ContextTree({{HlpGenerateHashValue("abc"), at[0]}, {HlpGenerateHashValue("zz"), second}}).bytes},
        {"|KWBTREE", keywords.tree.bytes},
        {"|KWDATA", keywords.data}};
    HelpFile file(recipe);
    Stream stream(file.container.get(), HLP_TOPIC_CONTEXTS | HLP_TOPIC_KEYWORDS);
    Recorder recorder;
    recorder.events = {2, 13, 14};
    Lines lines = Enumerate(stream.topic, recorder);
    if (minor == 15) {
      EXPECT_EQ(lines, (Lines{"2\tA", "13\tabc", "14\tK\\tapple", "14\tK\\tpear", "2\tB", "13\tzz", "14\tK\\tplum"}));
    } else {
      EXPECT_EQ(lines, (Lines{"2\tA", "13\tabc", "14\tK\\tapple", "14\tK\\tpear", "13\tzz", "14\tK\\tplum", "2\tB"}));
    }
    EXPECT_EQ(recorder.offsets[1], at[0]);
  }
}

TEST(Seek, ToATitleDeliversItFirst) {
  fixture::TopicFileRecipe recipe;
  for (int i = 0; i < 300; ++i) {
    recipe.records.push_back(fixture::TopicHeader("Topic " + std::to_string(i)));
    recipe.records.push_back(fixture::TextParagraph(std::string(40 + i % 50, 'a' + i % 26)));
    recipe.records.push_back(fixture::TextParagraph("end of " + std::to_string(i)));
  }
  for (uint16_t minor : {33, 15}) {
    for (uint16_t flags : {0, 4}) {
      recipe.minor = minor;
      recipe.flags = flags;
      recipe.layout.compressed = minor != 15 && flags != 0;
      HelpFile file(recipe);
      ASSERT_GT(file.built.topic.blockCount, 3);
      Stream stream(file.container.get(), 0);
      for (int i : {0, 1, 57, 150, 299, 12}) {
        uint32_t offset = file.built.topic.offsets[static_cast<size_t>(3 * i)];
        HlpTopicSeek(stream.topic, offset);
        Recorder recorder;
        recorder.stopAtCall = 2;
        Lines lines = Enumerate(stream.topic, recorder);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1], "2\tTopic " + std::to_string(i)) << minor << " " << flags;
        EXPECT_EQ(recorder.offsets[1], offset);
      }
      // Inside a paragraph: the next record.
      uint32_t inside = file.built.topic.offsets[3 * 20 + 1] + 5;
      HlpTopicSeek(stream.topic, inside);
      Recorder recorder;
      recorder.events = {0, 2};
      recorder.stopAtCall = 8;
      Lines lines = Enumerate(stream.topic, recorder);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines[0], "0\tend of 20") << minor << " " << flags;
      // A block's base: the block's first record.
      if (minor != 15) {
        HlpTopicSeek(stream.topic, 1u << 15);
        Recorder first;
        first.stopAtCall = 2;
        Enumerate(stream.topic, first);
        size_t index = std::find(file.built.topic.headerBlocks.begin(), file.built.topic.headerBlocks.end(), 1) -
                       file.built.topic.headerBlocks.begin();
        EXPECT_EQ(first.offsets[1], file.built.topic.offsets[index]);
      }
      // Past everything: nothing but the frame.
      HlpTopicSeek(stream.topic, 0xFFFFFFF0u);
      Recorder none;
      EXPECT_EQ(Enumerate(stream.topic, none).size(), 1u);
    }
  }
}

TEST(Enumerate, InconsistentRecordsEndTheLoop) {
  struct Case {
    const char *what;
    int field;
    uint32_t value;
  } cases[] = {
      {"format length below 21", 16, 20},
      {"format length past the record", 16, 5000},
      {"text length negative", 4, 0x80000000u},
      {"record length below 21", 0, 3},
  };
  for (const Case &c : cases) {
    fixture::TopicFileRecipe recipe;
    recipe.records = TwoTopics();
    fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(recipe);
    Bytes topic = built.topic.bytes;
    // Damage the second record.
    size_t at = (built.topic.links[1] & 0x3FFF);
    fixture::SetU32(topic, at + c.field, c.value);
    fixture::BuiltContainer container = fixture::BuildContainer({{"|SYSTEM", fixture::SystemFile(33, 0, {})}, {"|TOPIC", topic}});
    fixture::OpenedContainer opened(container.bytes);
    Stream stream(opened.get(), 7);
    Recorder recorder;
    Lines lines = Enumerate(stream.topic, recorder);
    EXPECT_EQ(lines, (Lines{Recorder::Line(6, kOpening), "2\tFirst"})) << c.what;
  }
}

// ---- Real help files ------------------------------------------------------------

std::vector<std::string> RealFiles() {
  std::vector<std::string> files;
  for (const std::string &dir : {fixture::HalibutDir(), fixture::CorpusDir().empty() ? "" : fixture::CorpusDir() + "/hlp",
                                 fixture::TestDataDir() + "/real"}) {
    if (dir.empty() || !std::filesystem::exists(dir)) continue;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
      std::string ext = entry.path().extension().string();
      if (ext == ".hlp" || ext == ".HLP") files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

struct Title {
  TopicOffset offset;
  std::string text;
};

int32_t MARLET_API CollectTitle(const char *title, TopicOffset offset, MarletUserData user) {
  reinterpret_cast<std::vector<Title> *>(user)->push_back({offset, title});
  return 1;
}

int32_t MARLET_API CollectContext(ContextHash hash, TopicOffset offset, MarletUserData user) {
  reinterpret_cast<std::vector<std::pair<ContextHash, TopicOffset>> *>(user)->push_back({hash, offset});
  return 1;
}

TEST(RealFiles, EveryTitleIsTheOffsetOfOneTitleEvent) {
  std::vector<std::string> files = RealFiles();
  if (fixture::CorpusDir().empty()) std::cout << "note: the shared corpus was left out (not on this machine)\n";
  ASSERT_FALSE(files.empty());
  for (const std::string &path : files) {
    IfsHandle container = IFSOpen(path.c_str());
    ASSERT_NE(container, nullptr) << path;
    std::vector<Title> titles;
    HlpEnumTitles(container, CollectTitle, reinterpret_cast<MarletUserData>(&titles));
    {
      Stream stream(container, 0);
      Recorder recorder;
      recorder.events = {2};
      Lines lines = Enumerate(stream.topic, recorder);
      std::multimap<TopicOffset, std::string> events;
      for (size_t i = 0; i < lines.size(); ++i) events.insert({recorder.offsets[i], lines[i].substr(2)});
      for (const Title &title : titles) {
        if (title.text.empty()) continue;
        ASSERT_EQ(events.count(title.offset), 1u) << path << " " << title.text;
        EXPECT_EQ(events.find(title.offset)->second, title.text) << path;
      }
      // And a seek to each title delivers it first.
      for (size_t i = 0; i < titles.size(); i += std::max<size_t>(1, titles.size() / 40)) {
        if (titles[i].text.empty()) continue;
        HlpTopicSeek(stream.topic, titles[i].offset);
        Recorder first;
        first.stopAtCall = 2;
        Lines got = Enumerate(stream.topic, first);
        ASSERT_GE(got.size(), 2u) << path;
        EXPECT_EQ(got[1], "2\t" + titles[i].text) << path << " seek " << std::hex << titles[i].offset;
      }
    }
    IFSClose(container);
  }
}

TEST(RealFiles, ContextStringsArriveWhereTheIndexPoints) {
  for (const std::string &path : RealFiles()) {
    IfsHandle container = IFSOpen(path.c_str());
    std::vector<std::pair<ContextHash, TopicOffset>> contexts;
    HlpEnumContext(container, CollectContext, reinterpret_cast<MarletUserData>(&contexts));
    if (contexts.empty()) {
      IFSClose(container);
      continue;
    }
    {
      Stream stream(container, HLP_TOPIC_CONTEXTS);
      Recorder recorder;
      recorder.events = {0, 13};
      Lines lines = Enumerate(stream.topic, recorder);
      std::map<TopicOffset, std::string> seen;
      std::set<TopicOffset> paragraphs;  // positions of records that deliver text
      for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i][0] == '0')
          paragraphs.insert(recorder.offsets[i]);
        else
          seen[recorder.offsets[i]] = lines[i].substr(3);
      }
      size_t named = 0;
      for (const auto &[hash, offset] : contexts) {
        // A context may also name a place inside a paragraph, or a topic
        // without paragraphs; those have no record of their own.
        if (!paragraphs.count(offset)) continue;
        ++named;
        auto at = seen.find(offset);
        ASSERT_NE(at, seen.end()) << path << " " << std::hex << offset;
        // One string per position: it hashes to one of the hashes there.
        bool any = false;
        for (const auto &[h, o] : contexts) any |= o == offset && HlpGenerateHashValue(at->second.c_str()) == h;
        EXPECT_TRUE(any) << path;
      }
      EXPECT_GE(named + 1 + contexts.size() / 20, contexts.size()) << path;  // not vacuous
    }
    IFSClose(container);
  }
}

// The plain text of every topic, in |TOPIC order: a line "== TITLE" at each
// topic header record, then the pieces of events 0 and 1.  The topic headers,
// titled or not, are found by walking the records directly, so untitled
// headers, which send no event, get their line too.
struct HeaderMark {
  uint32_t position;
  std::string title;
};

std::vector<HeaderMark> TopicHeaders(IfsHandle container) {
  std::vector<HeaderMark> headers;
  TopicHandle handle = HlpTopicOpen(container, 0);
  if (handle == nullptr) return headers;
  TopicHandleRecord &t = *handle;
  const bool v30 = IsVersion30(t);
  int64_t block = -1;
  uint32_t advance = 0;
  std::vector<uint8_t> rest, text(kExpansionLimit + 1);
  for (int guard = 0; guard < 1000000; ++guard) {
    uint32_t link = t.nextLink;
    uint8_t header[21];
    if (ReadRecordBytes(t, header, 21) != 21) break;
    int32_t length = LoadI32(header), textLength = LoadI32(header + 4), formatLength = LoadI32(header + 16);
    uint32_t next = LoadU32(header + 12);
    rest.resize(static_cast<size_t>(length - 21));
    if (!rest.empty() && ReadRecordBytes(t, rest.data(), length - 21) != length - 21) break;
    marlet::Bytes format(rest.data(), static_cast<size_t>(formatLength - 21));
    uint32_t position;
    if (v30) {
      position = link;
    } else {
      if (static_cast<int64_t>(link >> 14) != block) block = link >> 14, advance = 0;
      position = static_cast<uint32_t>(block << 15) + advance;
    }
    uint8_t type = header[20];
    if (type == 0x02) {
      bool phrased = t.phrases != nullptr || t.phraseImage != nullptr;
      uint32_t stored = phrased ? static_cast<uint32_t>(length - formatLength) : static_cast<uint32_t>(textLength);
      marlet::Bytes storedText(rest.data() + format.size(), std::min<size_t>(stored, static_cast<size_t>(textLength)));
      ExpandText(t, storedText, text.data(), kExpansionLimit, t.phraseOffsets != nullptr && stored < static_cast<uint32_t>(textLength));
      headers.push_back({position, reinterpret_cast<const char *>(text.data())});
      if (v30 && LoadI32(format.data()) <= 8) break;
    } else if (!v30 && (type == 0x20 || type == 0x23)) {
      ByteCursor cursor(format);
      CompressedLong(cursor);
      advance += static_cast<uint32_t>(static_cast<int16_t>(CompressedUShort(cursor)));
    }
    if (next == kLastRecord) break;
  }
  HlpTopicClose(handle);
  return headers;
}

struct TextExport {
  std::vector<HeaderMark> headers;
  size_t next = 0;
  std::string out;
  void MarkTo(uint32_t offset) {
    while (next < headers.size() && headers[next].position <= offset) {
      if (!out.empty() && out.back() != '\n') out += '\n';
      out += "== " + headers[next++].title + "\n";
    }
  }
};

int32_t MARLET_API CollectText(const char *text, TopicOffset offset, int32_t event, MarletUserData user) {
  auto &x = *reinterpret_cast<TextExport *>(user);
  if (event == 6 || event == 8) return 1;
  x.MarkTo(offset);
  if (event == 0 || event == 1) x.out += text;
  return 1;
}

TEST(RealFiles, TheTextOfEveryTopicMatchesTheIndependentReading) {
  std::string corpus = fixture::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "left out: no shared corpus of real files on this machine";
  int compared = 0;
  for (const auto &entry : std::filesystem::directory_iterator(corpus + "/hlp")) {
    std::string expectedPath = corpus + "/expected/" + entry.path().filename().string() + ".text";
    if (!std::filesystem::exists(expectedPath)) continue;
    std::ifstream in(expectedPath, std::ios::binary);
    std::stringstream expected;
    expected << in.rdbuf();
    IfsHandle container = IFSOpen(entry.path().c_str());
    ASSERT_NE(container, nullptr);
    TextExport x;
    x.headers = TopicHeaders(container);
    {
      Stream stream(container, 0);
      HlpTopicEnumerate(stream.topic, CollectText, reinterpret_cast<MarletUserData>(&x));
    }
    x.MarkTo(0xFFFFFFFFu);
    IFSClose(container);
    EXPECT_TRUE(x.out == expected.str()) << entry.path() << ": " << x.out.size() << " bytes vs " << expected.str().size();
    ++compared;
  }
  EXPECT_GT(compared, 20);
}

}  // namespace
