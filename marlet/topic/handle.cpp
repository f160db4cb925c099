// Opening and closing topic streams, and the optional side tables.
//
// |FONT, at offset 0:
//   0  2  faceNameCount: number of face-name slots
//   2  2  descriptorCount
//   4  2  (not read)
//   6  2  descriptorsOffset: where the first descriptor begins
// The face-name slots (20 or 32 bytes each, zero-terminated names) lie right
// in front of the descriptors, which are all 11 or all 42 bytes long.
//
// 11-byte descriptor:            42-byte descriptor (others not used):
//   0  attributes: 1 bold,         0  face-name slot number
//      2 italic, 4 underline       6  text colour: red, green, blue
//   1  size in half points         9  background colour: red, green, blue
//   2  family: 1 modern, 2 roman,  12 height (signed 32-bit)
//      3 swiss, 4 script, 5 decor  28 weight (signed 32-bit)
//   3  face-name slot number       32 italic when the 32-bit value is not 0
//   4  (not used)                  35 character set (as a LOGFONT's)
//                                  39 family: 0x10 roman, 0x20 swiss,
//   5  text colour: r, g, b           0x30 modern, 0x40 script, 0x50 decor
//   8  background colour: r, g, b
//
// Keyword indexes come in pairs "|xWBTREE" and "|xWDATA", x being A..Z or
// 0K..8K: a keyword B-tree whose leaf data are a 16-bit count and an offset
// into the data file, where that many 32-bit TopicOffsets lie.
#include <algorithm>
#include <cstring>
#include <vector>

#include "container/btree.h"
#include "container/frame.h"
#include "container/internal_file.h"
#include "topic/blocks.h"
#include "topic/phrases.h"
#include "topic/topic_handle.h"

namespace marlet {

namespace {

constexpr uint32_t kFontHeaderSize = 8;
constexpr size_t kKeywordGrowth = 1000;

int32_t ReadAt(IfsFileHandle file, uint32_t position, void *buffer, uint32_t count) {
  IFSSeekFile(file, static_cast<int32_t>(position), 0);
  int32_t read = IFSReadFile(file, buffer, count);
  return read < 0 ? 0 : read;
}

uint32_t PackColour(const uint8_t *rgb) {
  return rgb[0] | (static_cast<uint32_t>(rgb[1]) << 8) | (static_cast<uint32_t>(rgb[2]) << 16);
}

uint8_t FamilyCode(uint8_t family) {
  switch (family) {
    case 1: return 0x30;
    case 2: return 0x10;
    case 3: return 0x20;
    case 4: return 0x40;
    case 5: return 0x50;
    default: return 0;
  }
}

uint8_t FamilyOf42(uint8_t family) {
  switch (family) {
    case 0x10: return 2;
    case 0x20: return 3;
    case 0x40: return 4;
    case 0x50: return 5;
    default: return 1;  // 0x30 and anything unknown: modern
  }
}

void LoadFontTable(TopicHandleRecord &topic) {
  IfsFileHandle file = IFSOpenFile(topic.container, "|FONT");
  if (file == nullptr) return;
  uint32_t fileLength = ReadableSize(file);
  uint8_t header[kFontHeaderSize];
  if (ReadAt(file, 0, header, sizeof header) != static_cast<int32_t>(kFontHeaderSize)) {
    IFSCloseFile(file);
    return;
  }
  uint32_t faceNameCount = LoadU16(header);
  uint32_t descriptorCount = LoadU16(header + 2);
  uint32_t descriptorsOffset = LoadU16(header + 6);
  // No more descriptors than the file can hold.
  uint32_t room = fileLength > descriptorsOffset ? fileLength - descriptorsOffset : 0;
  descriptorCount = std::min(descriptorCount, room / 11);

  auto *table = static_cast<FontTable *>(RtCalloc(1, sizeof(FontTable) + descriptorCount * sizeof(FontEntry)));
  if (table == nullptr) {
    IFSCloseFile(file);
    return;
  }
  table->count = static_cast<int32_t>(descriptorCount);
  table->entries = reinterpret_cast<FontEntry *>(table + 1);
  topic.fonts = table;

  uint32_t slotSize = 20;
  if (faceNameCount > 0 && descriptorsOffset >= kFontHeaderSize && (descriptorsOffset - 8) / faceNameCount > 20)
    slotSize = 32;
  uint32_t descriptorSize = 11;
  if (descriptorCount > 0 && static_cast<int32_t>(room) / static_cast<int32_t>(descriptorCount) > 11) {
    descriptorSize = 42;
    topic.newFontDescriptors = 1;
  }

  // The face-name area, clamped to the bytes in front of the descriptors.
  uint32_t areaSize = std::min(faceNameCount * slotSize, descriptorsOffset);
  uint32_t slots = areaSize / slotSize;
  RtPtr<char> names(static_cast<char *>(RtCalloc(1, areaSize + 60)));
  if (!names) {
    IFSCloseFile(file);
    return;
  }
  ReadAt(file, descriptorsOffset - areaSize, names.get(), areaSize);

  std::vector<uint8_t> descriptors(static_cast<size_t>(descriptorCount) * descriptorSize);
  uint32_t got = static_cast<uint32_t>(ReadAt(file, descriptorsOffset, descriptors.data(),
                                              static_cast<uint32_t>(descriptors.size())));
  for (uint32_t i = 0; i < descriptorCount && (i + 1) * descriptorSize <= got; ++i) {
    const uint8_t *d = descriptors.data() + static_cast<size_t>(i) * descriptorSize;
    uint8_t f[11];
    if (descriptorSize == 11) {
      std::memcpy(f, d, 11);
    } else {
      int32_t height = LoadI32(d + 12);
      int32_t weight = LoadI32(d + 28);
      f[0] = static_cast<uint8_t>((weight > 500 ? 0x01 : 0) | (LoadU32(d + 32) != 0 ? 0x02 : 0));
      f[1] = static_cast<uint8_t>(static_cast<uint32_t>(-2 * static_cast<int64_t>(height)) & 0xFF);
      f[2] = FamilyOf42(d[39]);
      f[3] = d[0];
      f[4] = 0;
      std::memcpy(f + 5, d + 6, 3);
      std::memcpy(f + 8, d + 9, 3);
    }
    FontEntry &entry = table->entries[i];
    if (f[3] < slots) {
      const char *name = names.get() + static_cast<size_t>(f[3]) * slotSize;
      size_t length = strnlen(name, std::min<uint32_t>(31, slotSize));
      std::memcpy(entry.faceName, name, length);
      entry.faceName[length] = '\0';
      if (char *comma = std::strchr(entry.faceName, ',')) *comma = '\0';
    }
    entry.family = FamilyCode(f[2]);
    entry.textColour = PackColour(f + 5);
    if (entry.textColour == 0x00FFFFFF) entry.textColour = 0;
    entry.backColour = PackColour(f + 8);
    entry.halfPoints = f[1];
    entry.charset = descriptorSize == 42 ? d[35] : -1;
    entry.weight = (f[0] & 0x01) ? 700 : 0;
    entry.italic = (f[0] & 0x02) ? 1 : 0;
    entry.underline = (f[0] & 0x04) ? 1 : 0;
  }
  IFSCloseFile(file);
}

// Walks a side-table tree page by page; a page that cannot be read loses its
// subtree and the walk goes on.
void WalkSideTree(const BTreeSource &tree, const TreeLayout &layout, FunctionRef<bool(const LeafEntry &)> visit) {
  WalkOptions options;
  options.onFailedPage = OnFailedPage::Skip;
  BTreeWalk(tree, layout, options, visit);
}

void LoadContextTable(TopicHandleRecord &topic) {
  IfsFileHandle file = IFSOpenFile(topic.container, "|CONTEXT");
  if (file == nullptr) return;
  BTreeSource tree = FileTreeSource(file);
  auto *table = static_cast<ContextTable *>(RtCalloc(1, sizeof(ContextTable)));
  if (table == nullptr || !tree.valid) {
    RtFree(table);
    IFSCloseFile(file);
    return;
  }
  topic.contexts = table;
  // Sized from the header, but never beyond what the file holds (8 bytes an
  // entry); leaves holding more entries than announced lose the excess.
  uint32_t fileSize = ReadableSize(file);
  int64_t capacity = std::min<int64_t>(std::max<int32_t>(tree.header.entryCount, 0), fileSize / 8);
  table->pairs = static_cast<ContextPair *>(RtCalloc(static_cast<size_t>(capacity) + 1, sizeof(ContextPair)));
  if (table->pairs != nullptr) {
    table->capacity = static_cast<int32_t>(capacity);
    WalkSideTree(tree, kContextTree, [&](const LeafEntry &entry) {
      if (table->count >= table->capacity) return false;
      table->pairs[table->count++] = {LoadI32(entry.key.data()), LoadU32(entry.data.data())};
      return true;
    });
    std::sort(table->pairs, table->pairs + table->count,
              [](const ContextPair &a, const ContextPair &b) { return a.offset < b.offset; });
  }
  IFSCloseFile(file);
}

bool AppendKeywordPair(KeywordIndex &index, KeywordPair pair) {
  if (index.count >= index.capacity) {
    size_t capacity = static_cast<size_t>(index.capacity) + kKeywordGrowth;
    auto *grown = static_cast<KeywordPair *>(RtRealloc(index.pairs, capacity * sizeof(KeywordPair)));
    if (grown == nullptr) return false;
    index.pairs = grown;
    index.capacity = static_cast<int32_t>(capacity);
  }
  index.pairs[index.count++] = pair;
  return true;
}

void LoadKeywordIndex(TopicHandleRecord &topic, const char *name) {
  char treeName[16], dataName[16];
  wnsprintfA(treeName, sizeof treeName, "|%sWBTREE", name);
  wnsprintfA(dataName, sizeof dataName, "|%sWDATA", name);
  IfsFileHandle data = IFSOpenFile(topic.container, dataName);
  if (data == nullptr) return;
  IfsFileHandle btree = IFSOpenFile(topic.container, treeName);
  if (btree == nullptr) {
    IFSCloseFile(data);
    return;
  }
  auto **grown = static_cast<KeywordIndex **>(
      RtRealloc(topic.keywordIndexes, (static_cast<size_t>(topic.keywordIndexCount) + 1) * sizeof(KeywordIndex *)));
  auto *index = static_cast<KeywordIndex *>(RtCalloc(1, sizeof(KeywordIndex)));
  if (grown != nullptr) topic.keywordIndexes = grown;
  if (grown == nullptr || index == nullptr) {
    RtFree(index);
    IFSCloseFile(btree);
    IFSCloseFile(data);
    return;
  }
  topic.keywordIndexes[topic.keywordIndexCount++] = index;
  lstrcpynA(index->name, name, sizeof index->name);
  index->btreeFile = btree;

  // The lists of real files do not overlap: the data file holds every pair's
  // offset once.  Keywords whose lists share bytes could otherwise make a
  // small file load pairs by the billion, so the pairs are no more than the
  // offsets the data file holds; the rest are left out.
  const uint32_t dataSize = ReadableSize(data);
  const int64_t maxPairs = dataSize / 4;
  BTreeSource tree = FileTreeSource(btree);
  if (tree.valid) {
    std::vector<uint8_t> offsets;
    WalkSideTree(tree, kKeywordTree, [&](const LeafEntry &entry) {
      uint32_t count = LoadU16(entry.data.data());
      uint32_t at = LoadU32(entry.data.data() + 2);
      // No more offsets than the data file holds from there.
      uint32_t available = at < dataSize ? (dataSize - at) / 4 : 0;
      count = std::min(count, available);
      offsets.resize(static_cast<size_t>(count) * 4);
      uint32_t got = static_cast<uint32_t>(ReadAt(data, at, offsets.data(), count * 4)) / 4;
      int32_t keywordPos = static_cast<int32_t>(tree.PagePosition(entry.page) + entry.offsetInPage);
      for (uint32_t k = 0; k < got; ++k) {
        if (index->count >= maxPairs) return false;
        if (!AppendKeywordPair(*index, {LoadU32(offsets.data() + 4 * k), keywordPos})) return false;
      }
      return true;
    });
  }
  std::sort(index->pairs, index->pairs + index->count,
            [](const KeywordPair &a, const KeywordPair &b) { return a.offset < b.offset; });
  IFSCloseFile(data);
}

void LoadKeywordIndexes(TopicHandleRecord &topic) {
  char name[4];
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    wnsprintfA(name, sizeof name, "%c", letter);
    LoadKeywordIndex(topic, name);
  }
  for (int digit = 0; digit <= 8; ++digit) {
    wnsprintfA(name, sizeof name, "%dK", digit);
    LoadKeywordIndex(topic, name);
  }
}

}  // namespace

}  // namespace marlet

using namespace marlet;

extern "C" {

MARLET_EXPORT void MARLET_API HlpTopicClose(TopicHandle topic) {
  if (topic == nullptr) return;
  RtFree(topic->phraseImage);
  RtFree(topic->phraseOffsets);
  RtFree(topic->phrases);
  RtFree(topic->phraseSpans);
  RtFree(topic->blockBuffer);
  RtFree(topic->readAhead);
  RtFree(topic->expansion);
  RtFree(topic->recordBuffer);
  RtFree(topic->fonts);
  RtFree(topic->fontChanges);
  if (topic->contexts != nullptr) {
    RtFree(topic->contexts->pairs);
    RtFree(topic->contexts);
  }
  for (int32_t i = 0; i < topic->keywordIndexCount; ++i) {
    KeywordIndex *index = topic->keywordIndexes[i];
    RtFree(index->pairs);
    IFSCloseFile(index->btreeFile);
    RtFree(index);
  }
  RtFree(topic->keywordIndexes);
  HlpFreeHelpTitle(topic->titleInfo);
  IFSCloseFile(topic->topicFile);
  LocalFree(topic);
}

MARLET_EXPORT TopicHandle MARLET_API HlpTopicOpen(IfsHandle container, uint32_t options) {
  if (container == nullptr) return nullptr;
  auto *topic = LocalZeroed<TopicHandleRecord>(sizeof(TopicHandleRecord));
  if (topic == nullptr) return nullptr;
  topic->titleInfo = HlpGetHelpTitle(container);
  if (topic->titleInfo != nullptr) topic->topicFile = IFSOpenFile(container, "|TOPIC");
  if (topic->topicFile == nullptr) {
    HlpTopicClose(topic);
    return nullptr;
  }
  topic->container = container;
  topic->options = options;
  LoadPhraseTables(*topic);
  topic->expansion = static_cast<uint8_t *>(RtMalloc(kExpansionLimit + 1));
  if (topic->expansion == nullptr || !SetUpBlockReader(*topic)) {
    HlpTopicClose(topic);
    return nullptr;
  }
  if (options & HLP_TOPIC_FONTS) LoadFontTable(*topic);
  if (options & HLP_TOPIC_CONTEXTS) LoadContextTable(*topic);
  if (options & HLP_TOPIC_KEYWORDS) LoadKeywordIndexes(*topic);
  return topic;
}

}  // extern "C"
