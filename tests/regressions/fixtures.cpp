#include "regressions/fixtures.h"

#include <marlet/marlet.h>

#include <algorithm>
#include <cstdio>

#include "support/shg_builder.h"
#include "support/topic_builder.h"

namespace regression {

using fixture::Bytes;

namespace {

// What a damaged InternalFileHeader can say: nearly 2 GiB of data, in a help
// file of a few KiB.
constexpr uint32_t kHugeSize = 0x7FFFFFF0;

void DeclareSize(fixture::BuiltContainer &container, const std::string &name, uint32_t size) {
  fixture::SetU32(container.bytes, container.headerOffsets.at(name) + 4, size);
}

// Where byte `at` of an internal file lies in the help file.
size_t InFile(const fixture::BuiltContainer &container, const std::string &name, size_t at) {
  return container.headerOffsets.at(name) + 9 + at;
}

fixture::TopicFileRecipe OneTopic() {
  fixture::TopicFileRecipe recipe;
  recipe.records = {fixture::TopicHeader("Topic"), fixture::TextParagraph("Text of the topic")};
  return recipe;
}

fixture::BuiltTree Tree(const std::vector<fixture::TreeEntry> &entries, const char *structure) {
  fixture::TreeShape shape;
  shape.structure = structure;
  return fixture::BuildBTree(entries, shape);
}

}  // namespace

// A paragraph whose stored text names phrase 9 of a table of two: the phrase
// is empty, an empty span without an address, which the expansion copied
// with memcpy.
Bytes PhrasePastTable() {
  fixture::TopicFileRecipe recipe;
  fixture::TopicRecord paragraph = fixture::TextParagraph("");
  paragraph.text = {'x', 0x01, 0x12, 'y', 0, 0};  // "x", phrase 9, "y", then the paragraph end's string
  recipe.records = {fixture::TopicHeader("Topic"), paragraph};
  recipe.extraFiles = {{"|Phrases", fixture::OldPhrases({"one ", "two "}, false)}};
  return fixture::BuildTopicHelpFile(recipe).container.bytes;
}

// |CONTEXT declares 2 GiB and its tree 2^31 - 1 entries: the context table
// was allocated for 2^28 pairs.
Bytes ContextIndexLargerThanFile() {
  fixture::TopicFileRecipe recipe = OneTopic();
  std::vector<fixture::TreeEntry> entries;
  for (const char *context : {"alpha", "beta", "gamma"})
    entries.push_back(
        {fixture::U32Bytes(static_cast<uint32_t>(HlpGenerateHashValue(context))), fixture::U32Bytes(0)});
  std::sort(entries.begin(), entries.end(), [](const fixture::TreeEntry &a, const fixture::TreeEntry &b) {
    auto hash = [](const Bytes &k) {
      return static_cast<int32_t>(k[0] | k[1] << 8 | k[2] << 16 | k[3] << 24);
    };
    return hash(a.key) < hash(b.key);
  });
  recipe.extraFiles = {{"|CONTEXT", Tree(entries, "L4").bytes}};
  fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(recipe);
  DeclareSize(built.container, "|CONTEXT", kHugeSize);
  fixture::SetU32(built.container.bytes, InFile(built.container, "|CONTEXT", fixture::kTreeEntriesField),
                  0x7FFFFFFF);
  return built.container.bytes;
}

// |FONT declares 2 GiB and 65535 descriptors, and holds two: the font table
// had 65535 fonts, all but two of them empty.
Bytes FontTableLargerThanFile() {
  fixture::TopicFileRecipe recipe = OneTopic();
  std::vector<fixture::FontRecipe> fonts(2);
  fonts[0].face = "Arial";
  fonts[1].face = "Courier New";
  Bytes font = fixture::FontFile(fonts);
  fixture::SetU16(font, 2, 0xFFFF);
  recipe.extraFiles = {{"|FONT", font}};
  fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(recipe);
  DeclareSize(built.container, "|FONT", kHugeSize);
  return built.container.bytes;
}

// |TOPIC declares 2 GiB, and its second record claims 1 GiB: the record
// buffer was grown to 1 GiB before the record's bytes were looked for.
Bytes TopicLargerThanFile() {
  fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(OneTopic());
  DeclareSize(built.container, "|TOPIC", kHugeSize);
  size_t record = InFile(built.container, "|TOPIC", built.topic.links[1]);
  fixture::SetU32(built.container.bytes, record, 0x3FFFFFF0);      // recordLength
  fixture::SetU32(built.container.bytes, record + 4, 0x3FFFFF00);  // textLength
  return built.container.bytes;
}

// A compressed |Phrases that declares 2 GiB: its stored text was read into a
// buffer of 2 GiB.  The paragraph's text is phrase 1 and "x".
Bytes PhrasesLargerThanFile() {
  fixture::TopicFileRecipe recipe = OneTopic();
  recipe.flags = 0x04;
  recipe.layout.compressed = true;
  recipe.records[1].text = {0x01, 0x02, 'x', 0, 0};  // phrase 1, "x", the paragraph end's string
  Bytes phrases = fixture::OldPhrases({"one ", "two ", "three "}, true);
  fixture::SetU32(phrases, 4, 60000);  // decompressed size
  recipe.extraFiles = {{"|Phrases", phrases}};
  fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(recipe);
  DeclareSize(built.container, "|Phrases", kHugeSize);
  return built.container.bytes;
}

// |PhrIndex and |PhrImage declare 2 GiB, and their headers lengths of 2 GiB:
// the index data, the phrase text and the stored image each got a buffer of
// 2 GiB.  The paragraph's text is phrase 1 and "x".
Bytes PhraseIndexLargerThanFile() {
  fixture::TopicFileRecipe recipe = OneTopic();
  recipe.records[1].text = {0x02, 0x13, 'x', 0, 0};  // phrase 1, then the literals "x", 0, 0
  recipe.records[1].textLength = 7;
  fixture::NewPhraseFiles files = fixture::NewPhrases({"one ", "two ", "three "}, 2, true);
  fixture::SetU32(files.index, 8, kHugeSize);       // index data length
  fixture::SetU32(files.index, 12, kHugeSize);      // image size
  fixture::SetU32(files.index, 16, kHugeSize - 8);  // stored image size
  recipe.extraFiles = {{"|PhrIndex", files.index}, {"|PhrImage", files.image}};
  fixture::BuiltHelpFile built = fixture::BuildTopicHelpFile(recipe);
  DeclareSize(built.container, "|PhrIndex", kHugeSize);
  DeclareSize(built.container, "|PhrImage", kHugeSize);
  return built.container.bytes;
}

// 400 keywords whose topic lists are all the same 1000 offsets of |KWDATA:
// the keyword index loaded 400000 pairs, growing by 1000 at a time.
Bytes KeywordListsSharingBytes() {
  fixture::TopicFileRecipe recipe = OneTopic();
  Bytes data;
  for (size_t i = 0; i < kSharedKeywordDataSize / 4; ++i) fixture::PutU32(data, static_cast<uint32_t>(i));
  std::vector<fixture::TreeEntry> entries;
  for (int k = 0; k < 400; ++k) {
    char word[16];
    std::snprintf(word, sizeof word, "k%03d", k);
    Bytes leaf;
    fixture::PutU16(leaf, kSharedKeywordDataSize / 4);
    fixture::PutU32(leaf, 0);
    entries.push_back({fixture::CStringBytes(word), leaf});
  }
  recipe.extraFiles = {{"|KWBTREE", Tree(entries, "F24").bytes}, {"|KWDATA", data}};
  return fixture::BuildTopicHelpFile(recipe).container.bytes;
}

// A paragraph whose command stream ends inside the length field of a long
// jump hotspot (0xEB): the operand, an empty span without an address, was
// copied with memcpy.
Bytes LongHotspotCut() {
  fixture::TopicFileRecipe recipe;
  fixture::TopicRecord paragraph = fixture::Paragraph({"a", ""}, {});
  paragraph.format.back() = 0xEB;  // in place of the closing 0xFF
  paragraph.format.push_back(0x07);
  recipe.records = {fixture::TopicHeader("Topic"), paragraph};
  return fixture::BuildTopicHelpFile(recipe).container.bytes;
}

// A 32-bit picture of 1073764994 x 2147437309 pixels: the room for twice its
// rows wrapped around 2^64 to 537552 bytes, and the import made a DIB whose
// header describes 8 EiB of pixels in a block of half a MiB.
Bytes BitmapRowsOverflow() {
  fixture::BitmapPicture picture;
  picture.bitCount = 32;
  picture.width = (1u << 30) + 23170;
  picture.height = (1u << 31) - 46339;
  return fixture::BuildBitmapShg(picture).bytes;
}

// A metafile picture whose font is 70 times wider than tall, then text in it:
// libwmf's text drawing read through a null pointer.
Bytes FontWiderThanTall() {
  using fixture::Words;
  Bytes font = Words({-120, 8600, 0, 0, 700, 0, 0, 0, 0});
  for (char c : std::string("Arial\0", 6)) font.push_back(static_cast<uint8_t>(c));
  Bytes text = Words({5});
  for (char c : std::string("Hello\0", 6)) text.push_back(static_cast<uint8_t>(c));
  fixture::PutBytes(text, Words({300, 200}));
  Bytes metafile = fixture::MetafileOf({{0x020C, Words({1000, 2000})},  // SetWindowExt
                                        {0x02FB, font},                  // CreateFontIndirect
                                        {0x012D, Words({0})},            // SelectObject
                                        {0x0521, text}});                // TextOut
  return fixture::MetafileShg(metafile, 5292, 2650).bytes;
}

// A KWAJ file that ends inside its fixed header, before the optional
// headers: libmspack freed the header's name fields, never set.
Bytes KwajHeaderCutShort() {
  Bytes bytes{'K', 'W', 'A', 'J', 0x88, 0xF0, 0x27, 0xD1};
  fixture::PutBytes(bytes, {0x00, 0x00, 'K', 'W'});
  return bytes;
}

std::vector<Input> BuiltInputs() {
  return {
      {"collection", "kwaj-header-cut-short.hl_", KwajHeaderCutShort()},
      {"topic", "phrase-past-table.hlp", PhrasePastTable()},
      {"topic", "context-index-larger-than-file.hlp", ContextIndexLargerThanFile()},
      {"topic", "font-table-larger-than-file.hlp", FontTableLargerThanFile()},
      {"topic", "topic-larger-than-file.hlp", TopicLargerThanFile()},
      {"topic", "phrases-larger-than-file.hlp", PhrasesLargerThanFile()},
      {"topic", "phrase-index-larger-than-file.hlp", PhraseIndexLargerThanFile()},
      {"topic", "keyword-lists-sharing-bytes.hlp", KeywordListsSharingBytes()},
      {"topic", "long-hotspot-cut.hlp", LongHotspotCut()},
      {"shg_import", "bitmap-rows-overflow.shg", BitmapRowsOverflow()},
      {"pictures", "font-wider-than-tall.shg", FontWiderThanTall()},
  };
}

}  // namespace regression
