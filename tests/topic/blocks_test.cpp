// The block reader: records across 2K and 4K blocks, plain and compressed;
// the compressed integers of format data.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/memory_container.h"
#include "support/topic_builder.h"
#include "topic/blocks.h"
#include "topic/topic_handle.h"

using namespace marlet;
using fixture::BuildTopicHelpFile;
using fixture::OpenedContainer;
using fixture::TopicFileRecipe;
using fixture::TopicRecord;

namespace {

using Bytes = fixture::Bytes;

// A topic stream opened for the length of a scope.
class OpenedTopic {
 public:
  OpenedTopic(IfsHandle container, uint32_t options = 0) : topic_(HlpTopicOpen(container, options)) {}
  ~OpenedTopic() { HlpTopicClose(topic_); }
  OpenedTopic(const OpenedTopic &) = delete;
  OpenedTopic &operator=(const OpenedTopic &) = delete;
  TopicHandleRecord &operator*() const { return *topic_; }
  TopicHandleRecord *operator->() const { return topic_; }
  explicit operator bool() const { return topic_ != nullptr; }

 private:
  TopicHandle topic_;
};

struct RawRecord {
  Bytes header;
  Bytes rest;
  uint8_t type() const { return header[20]; }
  uint32_t next() const { return LoadU32(header.data() + 12); }
};

// Reads records one after another, as the record loop does: the header, then
// the rest of recordLength.  The stream ends with a record whose next link is
// -1, or in a 3.0 file with a topic header whose first value is 8 or less.
std::vector<RawRecord> ReadAllRecords(TopicHandleRecord &topic, size_t limit = 1000000) {
  std::vector<RawRecord> records;
  while (records.size() < limit) {
    RawRecord record;
    record.header.resize(21);
    if (ReadRecordBytes(topic, record.header.data(), 21) != 21) break;
    int32_t length = LoadI32(record.header.data());
    if (length < 21 || length > (1 << 24)) break;
    record.rest.resize(static_cast<size_t>(length - 21));
    if (length > 21 && ReadRecordBytes(topic, record.rest.data(), length - 21) != length - 21) break;
    records.push_back(record);
    if (records.back().next() == kLastRecord) break;
    if (topic.blockSize == 2048 && record.type() == 0x02 && record.rest.size() >= 4 &&
        LoadI32(record.rest.data()) <= 8)
      break;
  }
  return records;
}

bool EndsTheStream(const TopicHandleRecord &topic, const RawRecord &record) {
  if (record.next() == kLastRecord) return true;
  return topic.blockSize == 2048 && record.type() == 0x02 && LoadI32(record.rest.data()) <= 8;
}

TEST(CompressedIntegers, WorkedValues) {
  struct Case {
    const char *form;
    Bytes bytes;
    int32_t value;
    size_t consumed;
  } cases[] = {
      {"short", {0x80}, 0, 1},          {"short", {0x82}, 1, 1},          {"short", {0x7E}, -1, 1},
      {"short", {0x00}, -64, 1},        {"short", {0x03, 0x80}, 1, 2},    {"short", {0xFD, 0x7F}, -1, 2},
      {"short", {0xFF, 0x7F}, 0, 2},    {"ushort", {0xFE}, 127, 1},       {"ushort", {0x03, 0x00}, 1, 2},
      {"ushort", {0xFF, 0x7F}, 16383, 2}, {"ushort", {0x01, 0x80}, 0xC001, 2}, {"ushort", {0x03, 0x80}, 0xC002, 2},
      {"ushort", {0xFD, 0xFF}, 0xFFFF, 2}, {"ushort", {0xFF, 0xFF}, 0, 2}, {"long", {0x02, 0x80}, 1, 2},
      {"long", {0x00, 0x00}, -16384, 2}, {"long", {0x03, 0x00, 0x00, 0x80}, 1, 4},
      {"long", {0xFD, 0xFF, 0xFF, 0x7F}, -1, 4},
  };
  for (const Case &c : cases) {
    Bytes bytes = c.bytes;
    bytes.push_back(0x55);  // a byte that is not part of the field
    ByteCursor cursor(bytes.data(), bytes.size());
    int32_t value = std::string(c.form) == "short"    ? CompressedShort(cursor)
                    : std::string(c.form) == "ushort" ? CompressedUShort(cursor)
                                                      : CompressedLong(cursor);
    EXPECT_EQ(value, c.value) << c.form << " " << int(c.bytes[0]);
    EXPECT_EQ(cursor.position(), c.consumed) << c.form << " " << int(c.bytes[0]);
    EXPECT_TRUE(cursor.ok());
  }
  // A long form cut by the end of the data fails and gives 0.
  Bytes cut{0x03};
  ByteCursor a(cut.data(), 1);
  EXPECT_EQ(CompressedLong(a), 0);
  EXPECT_FALSE(a.ok());
  ByteCursor b(cut.data(), 1);
  EXPECT_EQ(CompressedShort(b), 0);
  EXPECT_FALSE(b.ok());
}

// Records of every size around the block ends.
std::vector<TopicRecord> ManyRecords(int n, size_t textSize) {
  std::vector<TopicRecord> records;
  for (int i = 0; i < n; ++i) {
    std::string text;
    for (size_t k = 0; k < textSize + static_cast<size_t>(i % 37); ++k) text += static_cast<char>('a' + (i + k) % 26);
    records.push_back(i % 10 == 0 ? fixture::TopicHeader("Topic " + std::to_string(i)) : fixture::TextParagraph(text));
  }
  return records;
}

struct Layout {
  const char *name;
  uint16_t minor;
  uint16_t flags;
  int32_t blockFill;
};

const Layout kLayouts[] = {
    {"3.0, 2K blocks", 15, 0, 0},
    {"3.0 with compression flags, which it ignores", 15, 0x0C, 0},
    {"later, plain 4K blocks", 33, 0, 0},
    {"later, compressed", 33, 0x04, 0},
    {"later, compressed (flag 8)", 21, 0x08, 0},
    {"later, plain, blocks with unused ends", 33, 0, 3000},
    {"later, compressed, blocks with unused ends", 33, 0x04, 9000},
};

TEST(BlockReader, RecordsReadWholeAcrossBlocks) {
  for (const Layout &layout : kLayouts) {
    TopicFileRecipe recipe;
    recipe.minor = layout.minor;
    recipe.flags = layout.flags;
    recipe.records = ManyRecords(400, 90);
    recipe.layout.compressed = layout.minor != 15 && (layout.flags & 0x0C);
    recipe.layout.blockFill = layout.blockFill;
    fixture::BuiltHelpFile built = BuildTopicHelpFile(recipe);
    ASSERT_GT(built.topic.blockCount, 3) << layout.name;
    OpenedContainer container(built.container.bytes);
    OpenedTopic topic(container.get());
    ASSERT_TRUE(topic) << layout.name;
    EXPECT_EQ(topic->blockSize, layout.minor == 15 ? 2048 : 4096);
    EXPECT_EQ(topic->compressed != 0, recipe.layout.compressed) << layout.name;

    std::vector<RawRecord> records = ReadAllRecords(*topic);
    ASSERT_EQ(records.size(), recipe.records.size()) << layout.name;
    for (size_t i = 0; i < records.size(); ++i) {
      const TopicRecord &expected = recipe.records[i];
      Bytes rest = expected.format;
      fixture::PutBytes(rest, expected.text);
      ASSERT_EQ(records[i].type(), expected.type) << layout.name << " record " << i;
      ASSERT_EQ(records[i].rest, rest) << layout.name << " record " << i;
    }
    EXPECT_EQ(records.back().next(), kLastRecord);
    // After the last record the stream has nothing more.
    uint8_t byte;
    EXPECT_EQ(ReadRecordBytes(*topic, &byte, 1), 0) << layout.name;
  }
}

TEST(BlockReader, TheFirstReadLoadsBlockZero) {
  TopicFileRecipe recipe;
  recipe.records = {fixture::TopicHeader("First"), fixture::TextParagraph("text")};
  fixture::BuiltHelpFile built = BuildTopicHelpFile(recipe);
  OpenedContainer container(built.container.bytes);
  OpenedTopic topic(container.get());
  ASSERT_TRUE(topic);
  EXPECT_EQ(topic->blockNumber, -1);
  EXPECT_EQ(topic->nextLink, 12u);
  uint8_t header[21];
  ASSERT_EQ(ReadRecordBytes(*topic, header, 21), 21);
  EXPECT_EQ(topic->blockNumber, 0);
  EXPECT_EQ(topic->readPos, 21);  // the record started at buffer offset 0
  EXPECT_EQ(header[20], 0x02);
  EXPECT_EQ(topic->nextLink, built.topic.links[1]);
}

// A record that begins 30 bytes before the end of a block's data takes its
// first 30 bytes from there and the rest from the next block; one that ends
// exactly at the end is followed by a record from the next block's start.
TEST(BlockReader, RecordsAtTheBlockEnd) {
  for (bool v30 : {false, true}) {
    int32_t capacity = v30 ? 2036 : 4084;
    for (int32_t before : {30, 0}) {
      // A filler record leaves `before` bytes of the first block.
      int32_t fillerText = capacity - before - 21 - 0;
      TopicRecord filler;
      filler.type = 0x20;
      filler.text.assign(static_cast<size_t>(fillerText), 'f');
      TopicRecord probe = fixture::TextParagraph(std::string(200, 'p'));
      TopicRecord last = fixture::TextParagraph("last");
      TopicFileRecipe recipe;
      recipe.minor = v30 ? 15 : 33;
      recipe.records = {filler, probe, last};
      fixture::BuiltHelpFile built = BuildTopicHelpFile(recipe);
      ASSERT_EQ(built.topic.headerBlocks[1], before > 0 ? 0 : 1);
      OpenedContainer container(built.container.bytes);
      OpenedTopic topic(container.get());
      std::vector<RawRecord> records = ReadAllRecords(*topic);
      ASSERT_EQ(records.size(), 3u) << v30 << " " << before;
      Bytes rest = probe.format;
      fixture::PutBytes(rest, probe.text);
      EXPECT_EQ(records[1].rest, rest) << v30 << " " << before;
      EXPECT_EQ(topic->blockNumber, 1);
    }
  }
}

struct TopicDamage {
  const char *name;
  void (*apply)(Bytes &topic, const fixture::BuiltTopic &built);
};

const TopicDamage kTopicDamages[] = {
    {"second record's link past the block's data",
     [](Bytes &t, const fixture::BuiltTopic &) { fixture::SetU32(t, 12 + 12, (0u << 14) | 16000u); }},
    {"next record before the block header", [](Bytes &t, const fixture::BuiltTopic &) { fixture::SetU32(t, 12 + 12, 3); }},
    {"next record points backwards",
     [](Bytes &t, const fixture::BuiltTopic &b) { fixture::SetU32(t, 12 + 12, b.links[0]); }},
    {"record length 0", [](Bytes &t, const fixture::BuiltTopic &) { fixture::SetU32(t, 12, 0); }},
    {"record length negative", [](Bytes &t, const fixture::BuiltTopic &) { fixture::SetU32(t, 12, 0x80000000u); }},
    {"record length larger than the file",
     [](Bytes &t, const fixture::BuiltTopic &) { fixture::SetU32(t, 12, 0x7FFFFFF0u); }},
    {"next record in a far block", [](Bytes &t, const fixture::BuiltTopic &) { fixture::SetU32(t, 12 + 12, 0xFFFF0000u); }},
    {"file cut in the middle", [](Bytes &t, const fixture::BuiltTopic &) { t.resize(t.size() / 2); }},
    {"file cut inside the first header", [](Bytes &t, const fixture::BuiltTopic &) { t.resize(20); }},
    {"compressed data garbage",
     [](Bytes &t, const fixture::BuiltTopic &) {
       for (size_t i = 12; i < t.size(); i += 3) t[i] = static_cast<uint8_t>(i * 7);
     }},
};

TEST(BlockReader, DamagedStreamsEndCleanly) {
  for (uint16_t flags : {0, 4}) {
    for (const TopicDamage &damage : kTopicDamages) {
      TopicFileRecipe recipe;
      recipe.flags = flags;
      recipe.layout.compressed = flags != 0;
      recipe.records = ManyRecords(200, 60);
      fixture::BuiltHelpFile built = BuildTopicHelpFile(recipe);
      // Rebuild the container around the damaged |TOPIC.
      Bytes topicBytes = built.topic.bytes;
      damage.apply(topicBytes, built.topic);
      fixture::BuiltContainer container = fixture::BuildContainer(
          {{"|SYSTEM", fixture::SystemFile(33, flags, {})}, {"|TOPIC", topicBytes}});
      OpenedContainer opened(container.bytes);
      OpenedTopic topic(opened.get());
      ASSERT_TRUE(topic) << damage.name;
      std::vector<RawRecord> records = ReadAllRecords(*topic, 10000);
      EXPECT_LE(records.size(), 200u) << damage.name;
    }
  }
}

// Real files: every record of |TOPIC comes out whole and the chain ends with
// the last record.
void ExpectWholeStream(const std::string &path) {
  IfsHandle container = IFSOpen(path.c_str());
  ASSERT_NE(container, nullptr) << path;
  {
    OpenedTopic topic(container);
    ASSERT_TRUE(topic) << path;
    std::vector<RawRecord> records = ReadAllRecords(*topic);
    ASSERT_FALSE(records.empty()) << path;
    EXPECT_TRUE(EndsTheStream(*topic, records.back())) << path << " stopped after " << records.size() << " records";
    int headers = 0;
    for (const RawRecord &r : records) {
      EXPECT_TRUE(r.type() == 0x01 || r.type() == 0x02 || r.type() == 0x20 || r.type() == 0x23)
          << path << " type " << int(r.type());
      headers += r.type() == 0x02;
    }
    EXPECT_GT(headers, 0) << path;
  }
  IFSClose(container);
}

TEST(BlockReader, ReadsEveryRecordOfRealFiles) {
  int files = 0;
  for (const std::string &dir : {fixture::HalibutDir(), fixture::CorpusDir() + "/hlp"}) {
    if (dir == "/hlp" || !std::filesystem::exists(dir)) continue;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
      std::string ext = entry.path().extension().string();
      if (ext != ".hlp" && ext != ".HLP") continue;
      ExpectWholeStream(entry.path().string());
      ++files;
    }
  }
  if (fixture::CorpusDir().empty()) std::cout << "note: the shared corpus was left out (not on this machine)\n";
  EXPECT_GT(files, 0);
}

}  // namespace
