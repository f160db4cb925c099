#include "support/shg_builder.h"

#include <marlet/marlet.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace fixture {

void PutShgUShort(Bytes &out, uint32_t value, bool forceLong) {
  if (value <= 127 && !forceLong) return PutU8(out, value * 2);
  PutU16(out, (value * 2 + 1) & 0xFFFF);
}

void PutShgULong(Bytes &out, uint32_t value, bool forceLong) {
  if (value <= 0x7FFF && !forceLong) return PutU16(out, value * 2);
  PutU32(out, value * 2 + 1);
}

Bytes RleLiterals(const Bytes &data) {
  Bytes out;
  for (size_t at = 0; at < data.size(); at += 127) {
    size_t n = std::min<size_t>(127, data.size() - at);
    PutU8(out, 0x80 + static_cast<uint32_t>(n));
    out.insert(out.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
  }
  return out;
}

Bytes Lz77Pack(const Bytes &data) {
  Bytes out;
  std::vector<long> last(1 << 16, -1);  // latest position of each 3-byte hash
  auto hash = [&](size_t at) {
    return ((data[at] << 8) ^ (data[at + 1] << 4) ^ data[at + 2]) & 0xFFFF;
  };
  size_t at = 0;
  while (at < data.size()) {
    size_t flagsAt = out.size();
    out.push_back(0);
    for (int item = 0; item < 8 && at < data.size(); ++item) {
      size_t length = 0, distance = 0;
      if (at + 3 <= data.size()) {
        long from = last[hash(at)];
        if (from >= 0 && at - from <= 4096) {
          while (length < 18 && at + length < data.size() && data[from + length] == data[at + length]) ++length;
          distance = at - from;
        }
        last[hash(at)] = static_cast<long>(at);
      }
      if (length >= 3) {
        out[flagsAt] |= static_cast<uint8_t>(1u << item);
        uint32_t d = static_cast<uint32_t>(distance - 1);
        PutU8(out, d & 0xFF);
        PutU8(out, ((length - 3) << 4) | (d >> 8));
        for (size_t k = 1; k < length && at + k + 3 <= data.size(); ++k) last[hash(at + k)] = static_cast<long>(at + k);
        at += length;
      } else {
        PutU8(out, data[at]);
        ++at;
      }
    }
  }
  return out;
}

Bytes BuildHotspotData(const std::vector<FileHotspot> &hotspots) {
  Bytes records, macros, pairs;
  for (const FileHotspot &h : hotspots) {
    bool macro = h.code == 0x04CC || h.code == 0x00C8;
    PutU16(records, h.code);
    PutU8(records, 0);
    PutU16(records, h.left);
    PutU16(records, h.top);
    PutU16(records, h.width);
    PutU16(records, h.height);
    PutU32(records, macro ? static_cast<uint32_t>(macros.size()) : 0);
    if (macro) PutCString(macros, h.macro);
    PutCString(pairs, h.name);
    PutCString(pairs, h.target);
  }
  Bytes out;
  PutU8(out, 1);
  PutU16(out, static_cast<uint32_t>(hotspots.size()));
  PutU32(out, static_cast<uint32_t>(macros.size()));
  PutBytes(out, records);
  PutBytes(out, macros);
  PutBytes(out, pairs);
  return out;
}

namespace {

void PutFileHeader(Bytes &out, const FileShape &shape) {
  PutText(out, shape.magic.substr(0, 2));
  PutU16(out, shape.pictureCount);
  size_t pictureAt = 4 + 4 * size_t{shape.pictureCount};
  for (int i = 0; i < shape.pictureCount; ++i) PutU32(out, static_cast<uint32_t>(pictureAt));
}

}  // namespace

BuiltShg BuildBitmapShg(const BitmapPicture &p, const FileShape &shape) {
  BuiltShg built;
  Bytes &out = built.bytes;
  PutFileHeader(out, shape);
  built.pictureAt = out.size();
  PutU8(out, shape.type != 0 ? shape.type : 6);
  PutU8(out, p.method);
  built.headerAt = out.size();
  bool l = p.longForms;
  uint32_t compressedSize = p.compressedSize.value_or(static_cast<uint32_t>(p.packed.size()));
  uint32_t hotspotSize = p.hotspotSize.value_or(static_cast<uint32_t>(p.hotspots.size()));
  PutShgULong(out, p.xdpi, l);
  PutShgULong(out, p.ydpi, l);
  PutShgUShort(out, p.planes);
  PutShgUShort(out, p.bitCount);
  PutShgULong(out, p.width, l);
  PutShgULong(out, p.height, l);
  PutShgULong(out, p.colorsUsed.value_or(static_cast<uint32_t>(p.colours.size() / 4)), l);
  PutShgULong(out, p.colorsImportant, l);
  PutShgULong(out, compressedSize, l);
  PutShgULong(out, hotspotSize, l);
  built.offsetsAt = out.size();
  size_t coloursAt = out.size() + 8;
  size_t dataAt = coloursAt + p.colours.size();
  PutU32(out, static_cast<uint32_t>(dataAt - built.pictureAt));
  PutU32(out, hotspotSize != 0 ? static_cast<uint32_t>(dataAt + p.packed.size() - built.pictureAt) : 0);
  built.coloursAt = out.size();
  PutBytes(out, p.colours);
  built.dataAt = out.size();
  PutBytes(out, p.packed);
  built.hotspotsAt = out.size();
  PutBytes(out, p.hotspots);
  return built;
}

BuiltShg BuildMetafileShg(const MetafilePicture &p, const FileShape &shape) {
  BuiltShg built;
  Bytes &out = built.bytes;
  PutFileHeader(out, shape);
  built.pictureAt = out.size();
  PutU8(out, shape.type != 0 ? shape.type : 8);
  PutU8(out, p.method);
  built.headerAt = out.size();
  uint32_t compressedSize = p.compressedSize.value_or(static_cast<uint32_t>(p.packed.size()));
  uint32_t hotspotSize = p.hotspotSize.value_or(static_cast<uint32_t>(p.hotspots.size()));
  PutU8(out, p.mapping);
  PutU16(out, p.width);
  PutU16(out, p.height);
  PutShgULong(out, p.decompressedSize);
  PutShgULong(out, compressedSize);
  PutShgULong(out, hotspotSize);
  built.offsetsAt = out.size();
  size_t dataAt = out.size() + 8;
  PutU32(out, static_cast<uint32_t>(dataAt - built.pictureAt));
  PutU32(out, static_cast<uint32_t>(dataAt + p.packed.size() - built.pictureAt));
  built.coloursAt = built.dataAt = out.size();
  PutBytes(out, p.packed);
  built.hotspotsAt = out.size();
  PutBytes(out, p.hotspots);
  return built;
}

Bytes SmallMetafile(int records) {
  Bytes body;
  for (int i = 0; i < records; ++i) {
    PutU32(body, 5);       // record size in words
    PutU16(body, 0x041F);  // META_SETPIXEL
    PutU16(body, static_cast<uint32_t>(i * 7));
    PutU16(body, static_cast<uint32_t>(i * 3));
    PutU16(body, static_cast<uint32_t>(i % 5));
  }
  PutU32(body, 3);  // end record
  PutU16(body, 0);
  Bytes out;
  PutU16(out, 1);  // memory metafile
  PutU16(out, 9);  // header words
  PutU16(out, 0x0300);
  PutU32(out, static_cast<uint32_t>((18 + body.size()) / 2));
  PutU16(out, 0);  // objects
  PutU32(out, 5);  // largest record in words
  PutU16(out, 0);
  PutBytes(out, body);
  return out;
}

Bytes MultiPictureShg(const std::vector<BuiltShg> &pictures, const std::string &magic) {
  Bytes out;
  PutText(out, magic.substr(0, 2));
  PutU16(out, static_cast<uint32_t>(pictures.size()));
  size_t at = 4 + 4 * pictures.size();
  for (const BuiltShg &p : pictures) {
    PutU32(out, static_cast<uint32_t>(at));
    at += p.bytes.size() - p.pictureAt;
  }
  for (const BuiltShg &p : pictures)
    out.insert(out.end(), p.bytes.begin() + static_cast<long>(p.pictureAt), p.bytes.end());
  return out;
}

Bytes Words(std::initializer_list<int> words) {
  Bytes out;
  for (int w : words) PutU16(out, static_cast<uint32_t>(w) & 0xFFFF);
  return out;
}

Bytes MetafileOf(const std::vector<MetafileRecord> &records, std::optional<uint16_t> objects) {
  Bytes body;
  uint32_t largest = 3;
  uint16_t created = 0;
  for (const MetafileRecord &r : records) {
    uint32_t words = static_cast<uint32_t>(3 + (r.params.size() + 1) / 2);
    largest = std::max(largest, words);
    PutU32(body, words);
    PutU16(body, r.function);
    PutBytes(body, r.params);
    if (r.params.size() % 2 != 0) PutU8(body, 0);
    if ((r.function & 0x00FF) >= 0xF7 || r.function == 0x0142)  // the records that create objects
      ++created;
  }
  PutU32(body, 3);
  PutU16(body, 0);
  Bytes out;
  PutU16(out, 1);
  PutU16(out, 9);
  PutU16(out, 0x0300);
  PutU32(out, static_cast<uint32_t>((18 + body.size()) / 2));
  PutU16(out, objects.value_or(created));
  PutU32(out, largest);
  PutU16(out, 0);
  PutBytes(out, body);
  return out;
}

BuiltShg MetafileShg(const Bytes &metafile, uint16_t width, uint16_t height, const Bytes &hotspots) {
  MetafilePicture picture;
  picture.width = width;
  picture.height = height;
  picture.decompressedSize = static_cast<uint32_t>(metafile.size());
  picture.packed = metafile;
  picture.hotspots = hotspots;
  return BuildMetafileShg(picture);
}

HGLOBAL GlobalFromBytes(const Bytes &bytes) {
  HGLOBAL block = GlobalAlloc(GHND, bytes.size());
  if (block == nullptr) return nullptr;
  void *data = GlobalLock(block);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

Bytes BytesOfGlobal(HGLOBAL block) {
  if (block == nullptr) return {};
  const auto *data = static_cast<const uint8_t *>(GlobalLock(block));
  if (data == nullptr) return {};
  Bytes out(data, data + GlobalSize(block));
  GlobalUnlock(block);
  return out;
}

Bytes DibBytes(uint16_t bitCount, int32_t width, int32_t height, const Bytes &colours, const Bytes &pixels,
               std::optional<uint32_t> clrUsed) {
  Bytes out;
  PutU32(out, 40);
  PutU32(out, static_cast<uint32_t>(width));
  PutU32(out, static_cast<uint32_t>(height));
  PutU16(out, 1);
  PutU16(out, bitCount);
  PutU32(out, 0);  // BI_RGB
  PutU32(out, static_cast<uint32_t>(pixels.size()));
  PutU32(out, 0);
  PutU32(out, 0);
  PutU32(out, clrUsed.value_or(static_cast<uint32_t>(colours.size() / 4)));
  PutU32(out, 0);
  PutBytes(out, colours);
  PutBytes(out, pixels);
  return out;
}

HGLOBAL MakeHotspotList(const std::vector<ListHotspot> &hotspots) {
  Bytes list(SHG_HOTSPOT_LIST_SIZE, 0);
  SetU16(list, 0, SHG_HOTSPOT_LIST_MAGIC);
  SetU16(list, 2, static_cast<uint32_t>(hotspots.size()));
  size_t end = SHG_HOTSPOT_ENTRIES_OFFSET + 64 * hotspots.size();
  auto put = [&](const std::string &text) {
    size_t at = end;
    std::memcpy(&list.at(at), text.c_str(), text.size() + 1);
    end += text.size() + 1;
    return static_cast<uint32_t>(at);
  };
  for (size_t i = 0; i < hotspots.size(); ++i) {
    const ListHotspot &h = hotspots[i];
    size_t e = SHG_HOTSPOT_ENTRIES_OFFSET + 64 * i;
    SetU16(list, e, static_cast<uint16_t>(h.left));
    SetU16(list, e + 2, static_cast<uint16_t>(h.top));
    SetU16(list, e + 4, static_cast<uint16_t>(h.right));
    SetU16(list, e + 6, static_cast<uint16_t>(h.bottom));
    SetU32(list, e + 8, put(h.target));
    SetU32(list, e + 12, put(h.name));
    SetU32(list, e + 24, h.kind);
  }
  SetU32(list, 520, static_cast<uint32_t>(end));
  return GlobalFromBytes(list);
}

ReadList ReadHotspotList(HGLOBAL block) {
  ReadList read;
  Bytes list = BytesOfGlobal(block);
  read.blockSize = list.size();
  if (list.size() < SHG_HOTSPOT_ENTRIES_OFFSET) return read;
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(list[at] | list[at + 1] << 8); };
  auto u32 = [&](size_t at) { return static_cast<uint32_t>(u16(at) | u16(at + 2) << 16); };
  auto text = [&](uint32_t at) {
    std::string s;
    while (at < list.size() && list[at] != 0) s += static_cast<char>(list[at++]);
    return s;
  };
  read.magic = u16(0);
  read.count = static_cast<int16_t>(u16(2));
  read.endOfData = u32(520);
  for (int i = 0; i < read.count; ++i) {
    size_t e = SHG_HOTSPOT_ENTRIES_OFFSET + 64 * static_cast<size_t>(i);
    if (e + 64 > list.size()) break;
    ListHotspot h;
    h.left = static_cast<int16_t>(u16(e));
    h.top = static_cast<int16_t>(u16(e + 2));
    h.right = static_cast<int16_t>(u16(e + 4));
    h.bottom = static_cast<int16_t>(u16(e + 6));
    h.target = text(u32(e + 8));
    h.name = text(u32(e + 12));
    h.kind = u32(e + 24);
    read.hotspots.push_back(h);
  }
  return read;
}

Bytes RandomBytes(size_t n, uint32_t seed, int alphabet) {
  Bytes out(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<uint8_t>(x % static_cast<uint32_t>(alphabet));
  }
  return out;
}

namespace {

std::mutex g_recorderMutex;
std::vector<std::string> g_lines;
std::vector<HWND> g_owners;
QuillonMessageBoxHandler g_previous = nullptr;

int Record(HWND owner, const char *text, const char *caption, unsigned style) {
  std::lock_guard<std::mutex> lock(g_recorderMutex);
  g_lines.push_back(std::string(caption) + "|" + text + "|" + std::to_string(style));
  g_owners.push_back(owner);
  return IDOK;
}

}  // namespace

MessageRecorder::MessageRecorder() {
  clear();
  g_previous = QuillonSetMessageBoxHandler(Record);
}
MessageRecorder::~MessageRecorder() { QuillonSetMessageBoxHandler(g_previous); }
const std::vector<std::string> &MessageRecorder::lines() const { return g_lines; }
const std::vector<HWND> &MessageRecorder::owners() const { return g_owners; }
void MessageRecorder::clear() {
  std::lock_guard<std::mutex> lock(g_recorderMutex);
  g_lines.clear();
  g_owners.clear();
}

}  // namespace fixture
