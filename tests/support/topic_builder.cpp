#include "support/topic_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

namespace fixture {

// ---- LZ77 -----------------------------------------------------------------

Bytes CompressLz77(const Bytes &input) {
  Bytes out;
  // Positions of earlier occurrences of each 3-byte prefix, newest last.
  std::unordered_map<uint32_t, std::vector<size_t>> seen;
  auto prefix = [&](size_t i) {
    return static_cast<uint32_t>(input[i]) | (static_cast<uint32_t>(input[i + 1]) << 8) |
           (static_cast<uint32_t>(input[i + 2]) << 16);
  };
  auto remember = [&](size_t i) {
    if (i + 2 < input.size()) seen[prefix(i)].push_back(i);
  };
  size_t i = 0;
  while (i < input.size()) {
    size_t flagAt = out.size();
    out.push_back(0);
    for (int item = 0; item < 8 && i < input.size(); ++item) {
      size_t bestLength = 0, bestDistance = 0;
      if (i + 2 < input.size()) {
        auto found = seen.find(prefix(i));
        if (found != seen.end()) {
          const std::vector<size_t> &chain = found->second;
          int tries = 0;
          for (auto it = chain.rbegin(); it != chain.rend() && tries < 64; ++it, ++tries) {
            size_t from = *it;
            if (i - from > 4096) break;
            size_t length = 0;
            while (length < 18 && i + length < input.size() && input[from + length] == input[i + length]) ++length;
            if (length > bestLength) bestLength = length, bestDistance = i - from;
            if (length == 18) break;
          }
        }
      }
      if (bestLength >= 3) {
        out[flagAt] |= static_cast<uint8_t>(1 << item);
        size_t d = bestDistance - 1;
        out.push_back(static_cast<uint8_t>(d & 0xFF));
        out.push_back(static_cast<uint8_t>(((bestLength - 3) << 4) | (d >> 8)));
        for (size_t k = 0; k < bestLength; ++k) remember(i + k);
        i += bestLength;
      } else {
        out.push_back(input[i]);
        remember(i);
        ++i;
      }
    }
  }
  return out;
}

// ---- |TOPIC -----------------------------------------------------------------

BuiltTopic BuildTopic(const std::vector<TopicRecord> &records, const TopicLayout &layout) {
  const bool v30 = layout.version30;
  const int32_t blockSize = v30 ? 2048 : 4096;
  const int offsetBits = v30 ? 11 : 14;
  const int32_t capacity = v30 ? 2036 : (layout.compressed ? 16384 - 12 : 4084);
  // Compressed blocks are stored shorter than their 4084 bytes; the zero bytes
  // behind them decode to a few unused bytes at the end of the block's data,
  // so records never continue into the next compressed block here.  (Real
  // compressors fill the stored bytes exactly; the tests on real files cover
  // records that continue.)
  int32_t requested = layout.blockFill > 0 ? layout.blockFill : (layout.compressed ? 12000 : 0);
  const bool noStraddle = requested > 0;
  const int32_t fill = noStraddle ? std::min(requested, capacity) : capacity;

  // Placement: the block and byte of each record's first byte.  A record
  // header is never split: one that would not fit in the rest of a block
  // begins in the next one, as the help compilers do.
  BuiltTopic built;
  std::vector<std::pair<int32_t, int32_t>> place;
  int32_t block = 0, used = 0;
  for (const TopicRecord &record : records) {
    int32_t size = 21 + static_cast<int32_t>(record.format.size() + record.text.size());
    if (noStraddle) {
      if (size > fill) throw std::runtime_error("record larger than blockFill");
      if (used > 0 && used + size > fill) block++, used = 0;
    } else if (fill - used < 21) {
      block++, used = 0;
    }
    place.push_back({block, used});
    used += size;
    if (noStraddle) {
      if (used >= fill) block++, used = 0;
    } else {
      while (used >= fill) used -= fill, block++;  // the record continues in the next block
    }
  }
  auto link = [&](size_t i) -> uint32_t {
    if (v30) return static_cast<uint32_t>(place[i].first * blockSize + 12 + place[i].second);
    return static_cast<uint32_t>((place[i].first << offsetBits) + 12 + place[i].second);
  };

  // The stream of record bytes, cut into blocks.
  std::vector<Bytes> blocks(1);
  std::vector<uint32_t> firstLink(1, 0xFFFFFFFF);
  for (size_t i = 0; i < records.size(); ++i) {
    const TopicRecord &r = records[i];
    while (static_cast<int32_t>(blocks.size()) <= place[i].first) {
      // The rest of the block stays unused.
      blocks.back().resize(static_cast<size_t>(layout.compressed ? fill : capacity), 0);
      blocks.emplace_back();
      firstLink.push_back(0xFFFFFFFF);
    }
    if (firstLink[place[i].first] == 0xFFFFFFFF) firstLink[place[i].first] = link(i);
    Bytes bytes;
    int32_t recordLength = 21 + static_cast<int32_t>(r.format.size() + r.text.size());
    PutU32(bytes, static_cast<uint32_t>(recordLength));
    PutU32(bytes, static_cast<uint32_t>(r.textLength >= 0 ? r.textLength : static_cast<int32_t>(r.text.size())));
    PutU32(bytes, i > 0 ? link(i - 1) : 0xFFFFFFFF);
    uint32_t next = 0xFFFFFFFF;
    if (i + 1 < records.size()) next = v30 ? link(i + 1) - link(i) : link(i + 1);
    PutU32(bytes, next);
    PutU32(bytes, static_cast<uint32_t>(21 + r.format.size()));
    PutU8(bytes, r.type);
    PutBytes(bytes, r.format);
    PutBytes(bytes, r.text);
    for (uint8_t byte : bytes) {
      if (static_cast<int32_t>(blocks.back().size()) >= fill) {
        blocks.emplace_back();
        firstLink.push_back(0xFFFFFFFF);
      }
      blocks.back().push_back(byte);
    }
    built.links.push_back(link(i));
    built.headerBlocks.push_back(place[i].first);
  }
  // A block whose records were all placed before may still be needed for a
  // record's continuation; drop a trailing empty block.
  while (blocks.size() > 1 && blocks.back().empty()) {
    blocks.pop_back();
    firstLink.pop_back();
  }

  // The offsets the indexes store.
  for (size_t i = 0; i < records.size(); ++i) {
    if (v30) {
      built.offsets.push_back(link(i));
      continue;
    }
    uint32_t offset = static_cast<uint32_t>(place[i].first) << 15;
    for (size_t j = 0; j < i; ++j)
      if (place[j].first == place[i].first && (records[j].type == 0x20 || records[j].type == 0x23))
        offset += records[j].advance;
    built.offsets.push_back(offset);
  }

  for (size_t b = 0; b < blocks.size(); ++b) {
    Bytes data = layout.compressed ? CompressLz77(blocks[b]) : blocks[b];
    if (static_cast<int32_t>(data.size()) > blockSize - 12)
      throw std::runtime_error("block data does not fit its block; use a smaller blockFill");
    Bytes header;
    PutU32(header, 0xFFFFFFFF);
    PutU32(header, firstLink[b]);
    PutU32(header, 0xFFFFFFFF);
    PutBytes(built.bytes, header);
    PutBytes(built.bytes, data);
    if (b + 1 < blocks.size()) built.bytes.resize(static_cast<size_t>(blockSize) * (b + 1), 0);
  }
  built.blockCount = static_cast<int32_t>(blocks.size());
  return built;
}

// ---- Format data ----------------------------------------------------------

void PutCompressedShort(Bytes &out, int value) {
  if (value >= -64 && value <= 63) {
    PutU8(out, static_cast<uint32_t>(value * 2 + 128));
  } else {
    PutU16(out, static_cast<uint32_t>(value * 2 + 32768 + (value < 0 ? -1 : 1)));
  }
}

void PutCompressedUShort(Bytes &out, unsigned value) {
  if (value <= 127) {
    PutU8(out, value * 2);
  } else {
    PutU16(out, value * 2 + 1);
  }
}

void PutCompressedLong(Bytes &out, int32_t value) {
  if (value >= -16384 && value <= 16383) {
    PutU16(out, static_cast<uint32_t>(value * 2 + 32768));
  } else {
    PutU32(out, static_cast<uint32_t>(static_cast<int64_t>(value) * 2 + 2147483648LL + (value < 0 ? -1 : 1)));
  }
}

Bytes TopicHeaderFormat(uint32_t scrollStart, int groupNumber) {
  Bytes out;
  PutU32(out, 0x1000);       // 0: block size of the topic (more than 8)
  PutU32(out, 0xFFFFFFFF);   // 4: browse back
  PutU32(out, 0xFFFFFFFF);   // 8: browse forward
  PutU32(out, 0);            // 12: topic number
  PutU32(out, 0xFFFFFFFF);   // 16: start of the non-scrolling region
  PutU32(out, scrollStart);  // 20: start of the scrolling region
  PutU32(out, 0xFFFFFFFF);   // 24: next topic
  if (groupNumber >= 0) PutU16(out, static_cast<uint32_t>(groupNumber));
  return out;
}

TopicRecord TopicHeader(const std::string &title, uint32_t scrollStart) {
  TopicRecord record;
  record.type = 0x02;
  record.format = TopicHeaderFormat(scrollStart);
  PutCString(record.text, title);
  return record;
}

void PutRecordPrefix(Bytes &out, unsigned advance) {
  PutCompressedLong(out, 0);
  PutCompressedUShort(out, advance);
}

TopicRecord Paragraph(const std::vector<std::string> &texts, const Bytes &commands, uint16_t infoBits,
                      const Bytes &infoFields) {
  TopicRecord record;
  for (const std::string &text : texts) PutCString(record.text, text);
  record.advance = static_cast<uint16_t>(record.text.size());
  PutRecordPrefix(record.format, record.advance);
  PutU8(record.format, 0x00);
  PutU8(record.format, 0x80);
  PutU16(record.format, 0);
  PutU16(record.format, infoBits);
  PutBytes(record.format, infoFields);
  PutBytes(record.format, commands);
  PutU8(record.format, 0xFF);
  return record;
}

TopicRecord TextParagraph(const std::string &text) { return Paragraph({text, ""}, {0x82}); }

// ---- Phrases ----------------------------------------------------------------

Bytes OldPhrases(const std::vector<std::string> &phrases, bool compressed) {
  Bytes offsets, text;
  uint32_t at = static_cast<uint32_t>(2 * (phrases.size() + 1));
  for (const std::string &phrase : phrases) {
    PutU16(offsets, at);
    PutText(text, phrase);
    at += static_cast<uint32_t>(phrase.size());
  }
  PutU16(offsets, at);
  Bytes out;
  PutU16(out, static_cast<uint32_t>(phrases.size()));
  PutU16(out, 0x0100);
  if (compressed) {
    PutU32(out, static_cast<uint32_t>(text.size()));
    PutBytes(out, offsets);
    PutBytes(out, CompressLz77(text));
  } else {
    PutBytes(out, offsets);
    PutBytes(out, text);
  }
  return out;
}

NewPhraseFiles NewPhrases(const std::vector<std::string> &phrases, unsigned bitCount, bool compressImage) {
  Bytes image;
  for (const std::string &phrase : phrases) PutText(image, phrase);
  Bytes stream;
  size_t bit = 0;
  auto put = [&](int value) {
    if (bit / 8 >= stream.size()) stream.push_back(0);
    if (value) stream[bit / 8] |= static_cast<uint8_t>(1 << (bit % 8));
    ++bit;
  };
  for (const std::string &phrase : phrases) {
    unsigned v = static_cast<unsigned>(phrase.size()) - 1;
    for (unsigned run = v >> bitCount; run > 0; --run) put(1);
    put(0);
    for (unsigned k = 0; k < bitCount; ++k) put((v >> k) & 1);
  }
  Bytes data{static_cast<uint8_t>(bitCount), 0, 0, 0};
  PutBytes(data, stream);
  Bytes stored = compressImage ? CompressLz77(image) : image;
  NewPhraseFiles files;
  PutU32(files.index, 1);
  PutU32(files.index, static_cast<uint32_t>(phrases.size()));
  PutU32(files.index, static_cast<uint32_t>(data.size()));
  PutU32(files.index, static_cast<uint32_t>(image.size()));
  PutU32(files.index, static_cast<uint32_t>(stored.size()));
  PutU32(files.index, 0);
  PutBytes(files.index, data);
  files.image = stored;
  return files;
}

// ---- |FONT ------------------------------------------------------------------

Bytes FontFile(const std::vector<FontRecipe> &fonts, unsigned slotSize, unsigned descriptorSize) {
  Bytes out;
  PutU16(out, static_cast<uint32_t>(fonts.size()));
  PutU16(out, static_cast<uint32_t>(fonts.size()));
  PutU16(out, 0);
  PutU16(out, static_cast<uint32_t>(8 + fonts.size() * slotSize));
  for (const FontRecipe &font : fonts) {
    Bytes slot(slotSize, 0);
    std::memcpy(slot.data(), font.face.data(), std::min<size_t>(slotSize, font.face.size()));
    PutBytes(out, slot);
  }
  for (size_t i = 0; i < fonts.size(); ++i) {
    const FontRecipe &font = fonts[i];
    if (descriptorSize == 11) {
      PutU8(out, font.attributes);
      PutU8(out, font.halfPoints);
      PutU8(out, font.family);
      PutU8(out, static_cast<uint32_t>(i));
      PutU8(out, 0);
      out.insert(out.end(), font.text, font.text + 3);
      out.insert(out.end(), font.back, font.back + 3);
    } else {
      static const uint8_t kFamily42[] = {0x30, 0x30, 0x10, 0x20, 0x40, 0x50};
      Bytes d(42, 0);
      d[0] = static_cast<uint8_t>(i);
      std::memcpy(&d[6], font.text, 3);
      std::memcpy(&d[9], font.back, 3);
      SetU32(d, 12, static_cast<uint32_t>(-static_cast<int32_t>(font.halfPoints / 2)));
      SetU32(d, 28, (font.attributes & 1) ? 700 : 400);
      SetU32(d, 32, (font.attributes & 2) ? 1 : 0);
      d[35] = font.charset;
      d[39] = kFamily42[font.family <= 5 ? font.family : 0];
      PutBytes(out, d);
    }
  }
  return out;
}

// ---- Whole help files -----------------------------------------------------

BuiltHelpFile BuildTopicHelpFile(const TopicFileRecipe &recipe) {
  BuiltHelpFile built;
  TopicLayout layout = recipe.layout;
  layout.version30 = recipe.minor == 15;
  built.topic = BuildTopic(recipe.records, layout);
  Bytes system = recipe.minor == kMinorWindows30 ? System30File(recipe.flags, "")
                                                 : SystemFile(recipe.minor, recipe.flags, {});
  std::vector<InternalFile> files{{"|SYSTEM", system}, {"|TOPIC", built.topic.bytes}};
  files.insert(files.end(), recipe.extraFiles.begin(), recipe.extraFiles.end());
  built.container = BuildContainer(files);
  return built;
}

}  // namespace fixture
