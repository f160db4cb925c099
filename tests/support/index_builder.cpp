#include "support/index_builder.h"

#include <algorithm>

namespace fixture {

Bytes SystemFile(uint16_t minor, uint16_t flags, const std::vector<SystemRecordRecipe> &records) {
  Bytes out;
  PutU16(out, kSystemMagic);
  PutU16(out, minor);
  PutU16(out, 1);  // major version
  PutU32(out, 0);  // build date
  PutU16(out, flags);
  for (const SystemRecordRecipe &record : records) {
    PutU16(out, record.type);
    PutU16(out, static_cast<uint32_t>(record.data.size()));
    PutBytes(out, record.data);
  }
  return out;
}

Bytes System30File(uint16_t flags, std::string_view title) {
  Bytes out = SystemFile(kMinorWindows30, flags, {});
  Bytes field(32, 0);
  std::copy_n(title.begin(), std::min<size_t>(title.size(), 32), field.begin());
  PutBytes(out, field);
  return out;
}

SystemRecordRecipe TextRecord(uint16_t type, std::string_view text) { return {type, CStringBytes(text)}; }

SystemRecordRecipe WindowRecord(std::string_view name, std::string_view caption) {
  Bytes data(90, 0);
  SetU16(data, 0, 0x0003);  // type and name given
  std::copy_n(name.begin(), std::min<size_t>(name.size(), 9), data.begin() + 12);
  std::copy_n(caption.begin(), std::min<size_t>(caption.size(), 50), data.begin() + 21);
  return {6, data};
}

BuiltTree TitleTree(std::vector<Title> titles, const TreeShape &shape) {
  std::stable_sort(titles.begin(), titles.end(), [](const Title &a, const Title &b) { return a.offset < b.offset; });
  std::vector<TreeEntry> entries;
  for (const Title &t : titles) entries.push_back({U32Bytes(t.offset), CStringBytes(t.title)});
  TreeShape s = shape;
  s.structure = "Lz";
  return BuildBTree(entries, s);
}

BuiltTree ContextTree(std::vector<Context> contexts, const TreeShape &shape) {
  std::stable_sort(contexts.begin(), contexts.end(), [](const Context &a, const Context &b) { return a.hash < b.hash; });
  std::vector<TreeEntry> entries;
  for (const Context &c : contexts) entries.push_back({U32Bytes(static_cast<uint32_t>(c.hash)), U32Bytes(c.offset)});
  TreeShape s = shape;
  s.structure = "L4";
  return BuildBTree(entries, s);
}

KeywordFiles KeywordList(std::vector<Keyword> keywords, const TreeShape &shape) {
  std::stable_sort(keywords.begin(), keywords.end(),
                   [](const Keyword &a, const Keyword &b) { return lstrcmpiA(a.word.c_str(), b.word.c_str()) < 0; });
  KeywordFiles files;
  std::vector<TreeEntry> entries;
  for (const Keyword &k : keywords) {
    uint32_t at = static_cast<uint32_t>(files.data.size());
    files.dataOffsets.push_back(at);
    for (uint32_t topic : k.topics) PutU32(files.data, topic);
    Bytes leaf;
    PutU16(leaf, static_cast<uint32_t>(k.topics.size()));
    PutU32(leaf, at);
    entries.push_back({CStringBytes(k.word), leaf});
  }
  TreeShape s = shape;
  s.structure = "F24";
  files.tree = BuildBTree(entries, s);
  return files;
}

}  // namespace fixture
