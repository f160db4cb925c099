#include "support/document_builder.h"

#include <marlet/marlet.h>

#include <algorithm>
#include <map>

namespace fixture {

namespace {

Bytes HashOf(const std::string &context) {
  return U32Bytes(static_cast<uint32_t>(HlpGenerateHashValue(context.c_str())));
}

}  // namespace

Bytes JumpTo(const std::string &context) {
  Bytes out{0xE3};
  PutBytes(out, HashOf(context));
  return out;
}

Bytes PopupTo(const std::string &context) {
  Bytes out{0xE2};
  PutBytes(out, HashOf(context));
  return out;
}

Bytes JumpToNumber(uint32_t topicNumber) {
  Bytes out{0xE3};
  PutU32(out, topicNumber);
  return out;
}

Bytes JumpElsewhere(const std::string &context, const std::string &file, const std::string &window) {
  Bytes operand{static_cast<uint8_t>((window.empty() ? 0 : 0x02) | (file.empty() ? 0 : 0x04))};
  PutBytes(operand, HashOf(context));
  if (!window.empty()) PutCString(operand, window);
  if (!file.empty()) PutCString(operand, file);
  Bytes out{0xEB};
  PutU16(out, static_cast<uint32_t>(operand.size()));
  PutBytes(out, operand);
  return out;
}

Bytes MacroHotspot(const std::string &macro) {
  Bytes out{0xC8};
  PutU16(out, static_cast<uint32_t>(macro.size() + 1));
  PutCString(out, macro);
  return out;
}

Bytes HotspotEnd() { return {0x89}; }

Bytes PictureRef(uint16_t number, uint8_t command) {
  Bytes out{command, 3};    // type 3: a picture stored apart
  PutCompressedLong(out, 4); // size
  PutU16(out, 0);           // not embedded
  PutU16(out, number);
  return out;
}

Bytes EmbeddedObject(const std::string &text, uint8_t command) {
  Bytes out{command, 5};
  PutCompressedLong(out, static_cast<int32_t>(text.size() + 2));
  PutCompressedUShort(out, 0);
  PutU16(out, 0);  // embedded flag
  PutU16(out, 0);  // picture number (not used)
  PutU8(out, 0);   // the byte before the text
  PutCString(out, text);
  return out;
}

BuiltDoc BuildDocument(const DocRecipe &recipe) {
  const bool v30 = recipe.minor == kMinorWindows30;
  std::vector<TopicRecord> records;
  std::vector<size_t> firstRecord;
  for (size_t i = 0; i < recipe.topics.size(); ++i) {
    const DocTopic &topic = recipe.topics[i];
    firstRecord.push_back(records.size());
    TopicRecord header = TopicHeader(topic.title);
    if (v30) {
      // 3.0 topic headers hold the browse neighbours by number; numbers
      // count from 16 here, as the help compiler's do.
      header.format.assign(12, 0);
      SetU32(header.format, 0, 0x1000);
      SetU32(header.format, 4, i == 0 ? 0xFFFFFFFF : static_cast<uint32_t>(15 + i));
      SetU32(header.format, 8, i + 1 == recipe.topics.size() ? 0xFFFFFFFF : static_cast<uint32_t>(17 + i));
    }
    records.push_back(std::move(header));
    records.insert(records.end(), topic.records.begin(), topic.records.end());
  }
  BuiltTopic built = BuildTopic(records, TopicLayout{v30, false, 0});
  BuiltDoc doc;
  for (size_t first : firstRecord) doc.topicOffsets.push_back(built.offsets[first]);

  std::vector<SystemRecordRecipe> system;
  if (!v30) {
    system.push_back(TextRecord(1, recipe.title));
    if (!recipe.copyright.empty()) system.push_back(TextRecord(2, recipe.copyright));
    if (recipe.language != 0) {
      Bytes lcid(10, 0);
      SetU16(lcid, 8, recipe.language);
      system.push_back({9, lcid});
    }
    system.insert(system.end(), recipe.extraRecords.begin(), recipe.extraRecords.end());
  }
  std::vector<InternalFile> files{
      {"|SYSTEM", v30 ? System30File(0, recipe.title) : SystemFile(recipe.minor, 0, system)},
      {"|TOPIC", built.bytes},
      {"|FONT", FontFile(recipe.fonts, 20, v30 ? 11 : recipe.fontDescriptor)},
  };
  std::vector<Title> titles;
  std::vector<Context> contexts;
  std::map<std::string, std::vector<uint32_t>> keywords;
  for (size_t i = 0; i < recipe.topics.size(); ++i) {
    const DocTopic &topic = recipe.topics[i];
    titles.push_back({doc.topicOffsets[i], topic.title});
    for (const std::string &context : topic.contexts)
      contexts.push_back({HlpGenerateHashValue(context.c_str()), doc.topicOffsets[i]});
    for (const std::string &keyword : topic.keywords) keywords[keyword].push_back(doc.topicOffsets[i]);
  }
  if (v30) {
    Bytes map(4 * 16, 0);
    for (uint32_t offset : doc.topicOffsets) PutU32(map, offset);
    files.push_back({"|TOMAP", map});
  } else {
    files.push_back({"|CONTEXT", ContextTree(contexts).bytes});
  }
  std::vector<Title> titled;
  for (const Title &t : titles)
    if (!v30 || !t.title.empty()) titled.push_back(t);
  files.push_back({"|TTLBTREE", TitleTree(titled).bytes});
  if (!keywords.empty()) {
    std::vector<Keyword> list;
    for (auto &[word, offsets] : keywords) list.push_back({word, offsets});
    KeywordFiles k = KeywordList(list);
    files.push_back({"|KWBTREE", k.tree.bytes});
    files.push_back({"|KWDATA", k.data});
  }
  files.insert(files.end(), recipe.extraFiles.begin(), recipe.extraFiles.end());
  doc.bytes = BuildContainer(files).bytes;
  return doc;
}

}  // namespace fixture
