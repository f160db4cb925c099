// The pieces a caller gets only when it asks for them: the file and window of
// a long-form jump (event 17), every topic header (event 18) and the fonts'
// character sets.  Without the option bits the stream is the one every other
// test holds; with them it is the same stream with these pieces added.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/memory_container.h"
#include "support/recorder.h"
#include "support/topic_builder.h"

using fixture::Recorder;
using Lines = std::vector<std::string>;
using Bytes = fixture::Bytes;

namespace {

constexpr uint32_t kAllOptIn = HLP_TOPIC_JUMP_PLACES | HLP_TOPIC_HEADERS | HLP_TOPIC_CHARSETS;

Lines Record(IfsHandle container, uint32_t options, std::set<int32_t> events = {}) {
  TopicHandle topic = HlpTopicOpen(container, options);
  Recorder recorder;
  recorder.events = std::move(events);
  if (topic != nullptr) HlpTopicEnumerate(topic, Recorder::Callback, recorder.user());
  HlpTopicClose(topic);
  return recorder.lines;
}

Bytes HashBytes(const char *context) { return fixture::U32Bytes(static_cast<uint32_t>(HlpGenerateHashValue(context))); }

// A long-form jump: its length, then the flags, the hash and the fields.
Bytes LongJump(uint8_t command, uint8_t flags, const Bytes &fields) {
  Bytes operand{flags};
  fixture::PutBytes(operand, HashBytes("target"));
  fixture::PutBytes(operand, fields);
  Bytes out{command};
  fixture::PutU16(out, static_cast<uint32_t>(operand.size()));
  fixture::PutBytes(out, operand);
  return out;
}

TEST(OptIn, TheFileAndWindowOfALongJump) {
  Bytes twoNames = fixture::CStringBytes("glossary");
  fixture::PutBytes(twoNames, fixture::CStringBytes("OTHER.HLP"));
  Bytes cut = fixture::CStringBytes("OTHER.HLP");
  cut.pop_back();  // no terminator within the operand
  struct Case {
    const char *what;
    Bytes jump;
    Lines places;  // event 17 pieces with the bit
  } cases[] = {
      {"a file", LongJump(0xEB, 0x04, fixture::CStringBytes("OTHER.HLP")), {"17\tOTHER.HLP>"}},
      {"a window by name", LongJump(0xEB, 0x02, fixture::CStringBytes("glossary")), {"17\t>glossary"}},
      {"a window by number", LongJump(0xEF, 0x01, {3}), {"17\t>#3"}},
      {"a window and a file", LongJump(0xEA, 0x06, twoNames), {"17\tOTHER.HLP>glossary"}},
      {"neither", LongJump(0xEB, 0x00, {}), {}},
      {"a name cut by the operand's end", LongJump(0xEB, 0x04, cut), {}},
      {"the short form names no place", Bytes{0xE3, 1, 2, 3, 4}, {}},
  };
  for (const Case &c : cases) {
    Bytes commands = c.jump;
    fixture::PutBytes(commands, {0x89});
    fixture::TopicFileRecipe recipe;
    recipe.records = {fixture::TopicHeader("T"), fixture::Paragraph({"", "hot", ""}, commands)};
    fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(recipe);
    fixture::OpenedContainer opened(built.container.bytes);
    Lines with = Record(opened.get(), HLP_TOPIC_JUMP_PLACES, {15, 17});
    Lines without = Record(opened.get(), 0, {15, 17});
    ASSERT_EQ(with.size(), 1 + c.places.size()) << c.what;
    EXPECT_EQ(with[0].substr(0, 3), "15\t") << c.what;  // the place follows the target
    EXPECT_EQ(Lines(with.begin() + 1, with.end()), c.places) << c.what;
    EXPECT_EQ(without, Lines{with[0]}) << c.what;
  }
}

TEST(OptIn, EveryTopicHeaderTitledOrNot) {
  for (uint16_t minor : {33, 15}) {
    fixture::TopicRecord first = fixture::TopicHeader("First");
    fixture::SetU32(first.format, 4, 0xFFFFFFFF);
    fixture::SetU32(first.format, 8, 0x00008000);
    fixture::SetU32(first.format, 12, 7);
    fixture::TopicRecord untitled = fixture::TopicHeader("");
    fixture::SetU32(untitled.format, 4, 0x12);
    fixture::SetU32(untitled.format, 8, 0x34);
    fixture::SetU32(untitled.format, 12, 8);
    fixture::TopicFileRecipe recipe;
    recipe.minor = minor;
    recipe.records = {first, fixture::TextParagraph("one"), untitled, fixture::TextParagraph("two")};
    fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(recipe);
    fixture::OpenedContainer opened(built.container.bytes);
    const char *number = minor == 15 ? "ffffffff" : "00000007";
    const char *second = minor == 15 ? "ffffffff" : "00000008";
    EXPECT_EQ(Record(opened.get(), HLP_TOPIC_HEADERS, {2, 18}),
              (Lines{std::string("18\tffffffff 00008000 ") + number, "2\tFirst",
                     std::string("18\t00000012 00000034 ") + second}))
        << minor;
    EXPECT_EQ(Record(opened.get(), 0, {2, 18}), Lines{"2\tFirst"}) << minor;
  }
}

TEST(OptIn, FontCharacterSetsWhereTheFontTableHasThem) {
  fixture::FontRecipe cyrillic{"Arial"};
  cyrillic.charset = 204;
  fixture::FontRecipe western{"Times New Roman"};
  struct Case {
    unsigned descriptorSize;
    uint32_t options;
    std::string fonts;
  } cases[] = {
      {42, HLP_TOPIC_FONTS | HLP_TOPIC_CHARSETS,
       "{\\f0\\fswiss\\fcharset204 Arial;}\n{\\f1\\fswiss\\fcharset0 Times New Roman;}\n"},
      {42, HLP_TOPIC_FONTS, "{\\f0\\fswiss Arial;}\n{\\f1\\fswiss Times New Roman;}\n"},
      // Short descriptors carry no character set.
      {11, HLP_TOPIC_FONTS | HLP_TOPIC_CHARSETS, "{\\f0\\fswiss Arial;}\n{\\f1\\fswiss Times New Roman;}\n"},
  };
  for (const Case &c : cases) {
    fixture::TopicFileRecipe recipe;
    recipe.records = {fixture::TopicHeader("T"), fixture::TextParagraph("text")};
    recipe.extraFiles = {{"|FONT", fixture::FontFile({cyrillic, western}, 20, c.descriptorSize)}};
    fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(recipe);
    fixture::OpenedContainer opened(built.container.bytes);
    Lines header = Record(opened.get(), c.options, {6});
    ASSERT_EQ(header.size(), 1u);
    EXPECT_NE(header[0].find(Recorder::Line(0, "{\\fonttbl\n" + c.fonts + "}").substr(2)), std::string::npos)
        << c.descriptorSize << " " << c.options << "\n" << header[0];
  }
}

// On every real file the opted-in stream is the plain one with the new pieces
// added: take them out and the two are the same.
TEST(OptIn, RealFilesGetOnlyAdditions) {
  std::vector<std::string> files;
  for (const std::string &dir : {fixture::HalibutDir(), fixture::CorpusDir().empty() ? "" : fixture::CorpusDir() + "/hlp"}) {
    if (dir.empty() || !std::filesystem::exists(dir)) continue;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) files.push_back(entry.path().string());
  }
  if (fixture::CorpusDir().empty()) std::cout << "note: the shared corpus was left out (not on this machine)\n";
  ASSERT_FALSE(files.empty());
  size_t headers = 0, places = 0;
  for (const std::string &path : files) {
    IfsHandle container = IFSOpen(path.c_str());
    if (container == nullptr) continue;
    Lines plain = Record(container, 7);
    Lines extended = Record(container, 7 | kAllOptIn);
    Lines reduced;
    for (std::string &line : extended) {
      if (line.rfind("17\t", 0) == 0) {
        ++places;
        continue;
      }
      if (line.rfind("18\t", 0) == 0) {
        ++headers;
        continue;
      }
      for (size_t at; (at = line.find("\\fcharset")) != std::string::npos;) {
        size_t end = at + 9;
        while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
        line.erase(at, end - at);
      }
      reduced.push_back(line);
    }
    EXPECT_EQ(reduced, plain) << path;
    IFSClose(container);
  }
  EXPECT_GT(headers, 0u);
  EXPECT_GT(places, 0u);  // real files name windows by number
}

}  // namespace
