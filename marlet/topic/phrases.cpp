#include "topic/phrases.h"

#include <algorithm>
#include <cstring>

#include "container/frame.h"
#include "container/internal_file.h"
#include "topic/blocks.h"
#include "topic/lz77.h"

namespace marlet {

namespace {

// LZ77 output is at most 18 bytes per 2 input bytes plus a flag byte per
// eight items: under 9 times the input.  A declared size beyond that cannot
// be reached and is not allocated.
uint64_t ReachableSize(int64_t declared, uint64_t stored) {
  if (declared < 0) declared = 0;
  return std::min<uint64_t>(static_cast<uint64_t>(declared), stored * 9 + 16);
}

// Reads a whole internal file's remaining bytes at a position; short reads
// leave the rest zero.
int32_t ReadAt(IfsFileHandle file, uint32_t position, void *buffer, uint32_t count) {
  IFSSeekFile(file, static_cast<int32_t>(position), 0);
  int32_t read = IFSReadFile(file, buffer, count);
  return read < 0 ? 0 : read;
}

void LoadNewStyle(TopicHandleRecord &topic, IfsFileHandle index, IfsFileHandle image) {
  uint8_t header[24];
  if (ReadAt(index, 0, header, sizeof header) != 24) return;
  int32_t declaredCount = LoadI32(header + 4);
  int32_t indexLength = LoadI32(header + 8);
  int32_t imageSize = LoadI32(header + 12);
  int32_t storedSize = LoadI32(header + 16);
  uint32_t indexFileSize = ReadableSize(index);
  if (indexLength < 5 || declaredCount <= 0 || storedSize < 0) return;
  uint32_t available = std::min<uint32_t>(static_cast<uint32_t>(indexLength), indexFileSize > 24 ? indexFileSize - 24 : 0);
  if (available < 5) return;

  RtPtr<uint8_t> data(static_cast<uint8_t *>(RtCalloc(1, available + 550)));
  if (!data) return;
  uint32_t got = static_cast<uint32_t>(ReadAt(index, 24, data.get(), available));
  unsigned bitCount = data.get()[0] & 0x0F;
  // Every phrase takes at least 1 + bitCount bits of the stream.
  uint64_t bits = got > 4 ? static_cast<uint64_t>(got - 4) * 8 : 0;
  uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(declaredCount), bits / (1 + bitCount)));

  auto *offsets = static_cast<uint32_t *>(RtCalloc(count + 1, sizeof(uint32_t)));
  if (offsets == nullptr) return;
  const uint8_t *stream = data.get() + 4;
  uint64_t bit = 0;
  auto nextBit = [&]() -> int { return (stream[bit >> 3] >> (bit & 7)) & 1; };
  uint32_t decoded = 0;
  uint64_t offset = 0;
  for (; decoded < count; ++decoded) {
    uint64_t length = 1;
    bool complete = true;
    while (true) {  // the run of 1 bits, closed by a 0 bit
      if (bit >= bits) {
        complete = false;
        break;
      }
      if (!nextBit()) {
        ++bit;
        break;
      }
      ++bit;
      length += uint64_t{1} << bitCount;
    }
    for (unsigned k = 0; complete && k < bitCount; ++k) {
      if (bit >= bits) {
        complete = false;
        break;
      }
      length += static_cast<uint64_t>(nextBit()) << k;
      ++bit;
    }
    if (!complete) break;
    offset = std::min<uint64_t>(offset + length, UINT32_MAX);
    offsets[decoded + 1] = static_cast<uint32_t>(offset);
  }

  uint32_t imageFileSize = ReadableSize(image);
  uint32_t stored = std::min<uint32_t>(static_cast<uint32_t>(storedSize), imageFileSize);
  bool packed = storedSize != imageSize;
  uint64_t room = packed ? ReachableSize(imageSize, stored) : stored;
  auto *text = static_cast<uint8_t *>(RtCalloc(1, room + 500));
  if (text == nullptr) {
    RtFree(offsets);
    return;
  }
  uint32_t produced;
  IFSSeekFile(image, 0, 0);
  if (packed)
    produced = DecompressLz77(image, stored, std::span<uint8_t>(text, room));
  else
    produced = static_cast<uint32_t>(ReadAt(image, 0, text, stored));
  topic.phraseOffsets = offsets;
  topic.phraseImage = text;
  topic.phraseImageSize = produced;
  topic.phraseCount = decoded;
}

void LoadOldStyle(TopicHandleRecord &topic, IfsFileHandle file) {
  uint32_t length = ReadableSize(file);
  uint8_t header[8] = {};
  if (ReadAt(file, 0, header, sizeof header) < 4) return;
  uint32_t count = LoadU16(header);
  uint32_t offsetBytes = 2 * (count + 1);
  // A file without compression flags may still have the short header: its
  // offsets then begin at 4, the first of them pointing just past them.
  bool shortHeader = IsVersion30(topic) ||
                     ((topic.titleInfo->flags & 0x0C) == 0 && LoadU16(header + 4) == offsetBytes);
  int32_t decompressed = LoadI32(header + 4);
  uint32_t position = 8;
  if (!shortHeader && decompressed > 65536) {
    ReadAt(file, 2, header, sizeof header);
    count = LoadU16(header);
    offsetBytes = 2 * (count + 1);
    decompressed = LoadI32(header + 4);
    position = 40;
  }
  bool compressed = !shortHeader && (((topic.titleInfo->flags & 0x0C) != 0) ||
                                     (length - 2 * count + 2 < static_cast<uint32_t>(decompressed)));
  if (compressed) {
    int64_t storedText = static_cast<int64_t>(length) - offsetBytes - 8;
    uint64_t textRoom = ReachableSize(decompressed, storedText > 0 ? static_cast<uint64_t>(storedText) : 0);
    uint64_t size = offsetBytes + textRoom + 600;
    auto *buffer = static_cast<uint8_t *>(RtCalloc(1, size));
    if (buffer == nullptr) return;
    uint32_t got = static_cast<uint32_t>(ReadAt(file, position, buffer, offsetBytes));
    uint32_t produced = 0;
    if (storedText > 0)
      produced = DecompressLz77(file, static_cast<uint32_t>(storedText),
                                std::span<uint8_t>(buffer + got, size - got));
    topic.phrases = buffer;
    topic.phrasesSize = got + produced;
  } else {
    // The offsets and the text, plain, from the end of the header.
    if (length <= 4) return;
    uint32_t from = shortHeader ? 4 : position - 4;
    auto *buffer = static_cast<uint8_t *>(RtCalloc(1, length - 4));
    if (buffer == nullptr) return;
    topic.phrases = buffer;
    topic.phrasesSize = static_cast<uint32_t>(ReadAt(file, from, buffer, length - 4));
  }
  topic.phraseCount = count;
}

}  // namespace

namespace {

// Phrase n as the table stores it: checked against the table's bounds, cut at
// its first zero byte.
Bytes LocatePhrase(const TopicHandleRecord &topic, uint32_t n) {
  uint64_t start, end;
  const uint8_t *text;
  uint64_t size;
  if (topic.phraseImage != nullptr) {
    start = topic.phraseOffsets[n];
    end = topic.phraseOffsets[n + 1];
    text = topic.phraseImage;
    size = topic.phraseImageSize;
  } else if (topic.phrases != nullptr) {
    if (2 * (static_cast<uint64_t>(n) + 2) > topic.phrasesSize) return {};
    start = LoadU16(topic.phrases + 2 * n);
    end = LoadU16(topic.phrases + 2 * n + 2);
    text = topic.phrases;
    size = topic.phrasesSize;
  } else {
    return {};
  }
  if (start > end || end > size) return {};
  const uint8_t *begin = text + start;
  const void *zero = std::memchr(begin, 0, end - start);
  size_t length = zero != nullptr ? static_cast<size_t>(static_cast<const uint8_t *>(zero) - begin) : end - start;
  return Bytes(begin, length);
}

// Every phrase located once, so that the expansion of each record needs no
// checks of its own.
void LocatePhrases(TopicHandleRecord &topic) {
  if (topic.phraseCount == 0) return;
  auto *spans = static_cast<PhraseSpan *>(RtCalloc(topic.phraseCount, sizeof(PhraseSpan)));
  if (spans == nullptr) {
    topic.phraseCount = 0;  // no phrases rather than unchecked ones
    return;
  }
  const uint8_t *base = topic.phraseImage != nullptr ? topic.phraseImage : topic.phrases;
  for (uint32_t n = 0; n < topic.phraseCount; ++n) {
    Bytes phrase = LocatePhrase(topic, n);
    if (!phrase.empty())
      spans[n] = {static_cast<uint32_t>(phrase.data() - base), static_cast<uint32_t>(phrase.size())};
  }
  topic.phraseSpans = spans;
}

}  // namespace

void LoadPhraseTables(TopicHandleRecord &topic) {
  IfsFileHandle image = IFSOpenFile(topic.container, "|PhrImage");
  if (image != nullptr) {
    IfsFileHandle index = IFSOpenFile(topic.container, "|PhrIndex");
    if (index != nullptr) {
      LoadNewStyle(topic, index, image);
      IFSCloseFile(index);
      IFSCloseFile(image);
      LocatePhrases(topic);
      return;
    }
    IFSCloseFile(image);
  }
  IfsFileHandle phrases = IFSOpenFile(topic.container, "|Phrases");
  if (phrases != nullptr) {
    LoadOldStyle(topic, phrases);
    IFSCloseFile(phrases);
    LocatePhrases(topic);
  }
}

Bytes GetPhrase(const TopicHandleRecord &topic, uint32_t n) {
  if (n >= topic.phraseCount || topic.phraseSpans == nullptr) return {};
  const uint8_t *base = topic.phraseImage != nullptr ? topic.phraseImage : topic.phrases;
  return Bytes(base + topic.phraseSpans[n].start, topic.phraseSpans[n].length);
}

namespace {

// Appends to the bounded output.  Phrases are mostly a short word and runs
// of blanks a blank or two: up to 16 bytes go in a few fixed-size moves, not a
// library call each.
struct Output {
  uint8_t *data;
  uint32_t limit;
  uint32_t length = 0;
  bool full() const { return length >= limit; }
  void Put(Bytes bytes) {
    size_t n = std::min<size_t>(bytes.size(), limit - length);
    if (n == 0) return;  // an empty phrase may have no address: memcpy wants one
    uint8_t *to = data + length;
    const uint8_t *from = bytes.data();
    if (n >= 8 && n <= 16) {
      std::memcpy(to, from, 8);
      std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
      std::memcpy(to, from, 4);
      std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n < 4) {
      to[0] = from[0];
      to[n / 2] = from[n / 2];
      to[n - 1] = from[n - 1];
    } else {
      std::memcpy(to, from, n);
    }
    length += static_cast<uint32_t>(n);
  }
  void Fill(uint8_t byte, uint32_t n) {
    n = std::min(n, limit - length);
    if (n <= 4) {
      for (uint32_t i = 0; i < n; ++i) data[length + i] = byte;
    } else {
      std::memset(data + length, byte, n);
    }
    length += n;
  }
};

}  // namespace

uint32_t ExpandText(const TopicHandleRecord &topic, Bytes stored, uint8_t *output, uint32_t limit,
                    bool newStyle) {
  Output out{output, limit};
  const bool haveTable = topic.phrases != nullptr || topic.phraseImage != nullptr;
  const uint8_t *p = stored.data();
  const uint8_t *const end = p + stored.size();
  if (!haveTable) {
    out.Put(stored);
  } else if (newStyle) {
    while (p < end && !out.full()) {
      uint8_t b = *p++;
      if ((b & 1) == 0) {
        out.Put(GetPhrase(topic, b >> 1));
      } else if ((b & 3) == 1) {
        if (p == end) break;
        uint8_t c = *p++;
        out.Put(GetPhrase(topic, (static_cast<uint32_t>(b >> 2) << 8) + c + 128));
      } else if ((b & 7) == 3) {
        size_t k = std::min<size_t>((b >> 3) + 1, static_cast<size_t>(end - p));
        out.Put(Bytes(p, k));
        p += k;
      } else if ((b & 15) == 7) {
        out.Fill(' ', (b >> 4) + 1u);
      } else {
        out.Fill(0, (b >> 4) + 1u);
      }
    }
  } else {
    while (p < end && !out.full()) {
      uint8_t b = *p++;
      if (b >= 1 && b <= 15) {
        if (p == end) break;
        uint32_t v = (static_cast<uint32_t>(b - 1) << 8) + *p++;
        out.Put(GetPhrase(topic, v >> 1));
        if (v & 1) out.Fill(' ', 1);
      } else {
        // Literal bytes up to the next phrase code, in one copy.
        const uint8_t *run = p;
        while (run < end && (*run == 0 || *run > 15)) ++run;
        out.Put(Bytes(p - 1, static_cast<size_t>(run - p + 1)));
        p = run;
      }
    }
  }
  output[out.length] = 0;
  return out.length;
}

}  // namespace marlet
