// |SYSTEM, read for what HlpGetHelpTitle does not keep.  After the 12-byte
// header (minor version at 2, flags at 10), files later than 3.0 hold
// records: a 16-bit type, a 16-bit length, the data.  Types used here:
//    3  contents topic: a TopicOffset (32-bit)
//    4  a macro run at start-up (text)
//    6  a window, 90 bytes:
//         0  2  which fields are set: 0x01 type, 0x02 name, 0x04 caption,
//               0x08 x, 0x10 y, 0x20 width, 0x40 height, 0x80 maximized,
//               0x100 colour, 0x200 non-scrolling colour
//         2 10  type      12  9  name      21 51  caption
//        72  2  x   74  2  y   76  2  width   78  2  height   80  2  maximized
//        82  3  colour (r, g, b)   86  3  non-scrolling colour
//    9  language: the LCID, 16-bit, at offset 8
//   10  the contents file's name (text; may carry a folder)
//   11  character set: its first byte
// A record cut by the end of the file is read as far as it goes.
#include "quillon/text/system_records.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "quillon/text/code_page.h"

namespace quillon::text {

namespace {

constexpr size_t kSystemHeaderSize = 12;
constexpr uint16_t kContentsRecord = 3, kMacroRecord = 4, kWindowRecord = 6, kLanguageRecord = 9,
                   kContentsFileRecord = 10, kCharsetRecord = 11;
constexpr size_t kWindowRecordSize = 90;
// |SYSTEM is small; anything larger is damage.
constexpr uint32_t kLargestSystem = 64u << 20;

uint16_t U16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t *p) {
  return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadInternalFile(IfsHandle container, const char *name, uint32_t limit) {
  IfsFileHandle file = IFSOpenFile(container, name);
  if (file == nullptr) return std::nullopt;
  uint32_t size = IFSSeekFile(file, 0, 2);
  IFSSeekFile(file, 0, 0);
  std::optional<std::vector<uint8_t>> bytes;
  if (size <= limit) {
    // The size is what the directory says, and damage can make it gigabytes
    // in a small file: memory grows with the bytes really read, a chunk at a
    // time, and a short read ends the file.
    constexpr uint32_t kChunk = 1u << 20;
    bytes.emplace();
    while (bytes->size() < size) {
      size_t at = bytes->size();
      uint32_t want = std::min<uint32_t>(kChunk, size - static_cast<uint32_t>(at));
      bytes->resize(at + want);
      int32_t got = IFSReadFile(file, bytes->data() + at, want);
      if (got < 0) {
        if (at == 0) bytes.reset();
        else bytes->resize(at);
        break;
      }
      bytes->resize(at + static_cast<size_t>(got));
      if (static_cast<uint32_t>(got) < want) break;
    }
  }
  IFSCloseFile(file);
  return bytes;
}

namespace {

// A zero-terminated text inside a fixed field.
std::string FieldText(const uint8_t *p, size_t size) {
  size_t n = strnlen(reinterpret_cast<const char *>(p), size);
  return std::string(reinterpret_cast<const char *>(p), n);
}

int64_t Colour(const uint8_t *rgb) { return (int64_t{rgb[0]} << 16) | (int64_t{rgb[1]} << 8) | rgb[2]; }

}  // namespace

SystemRecords ReadSystemRecords(IfsHandle container) {
  SystemRecords records;
  std::optional<std::vector<uint8_t>> system = ReadInternalFile(container, "|SYSTEM", kLargestSystem);
  if (!system || system->size() < kSystemHeaderSize || U16(system->data() + 2) <= 16) return records;
  const std::vector<uint8_t> &d = *system;
  for (size_t at = kSystemHeaderSize; at + 4 <= d.size();) {
    uint16_t type = U16(&d[at]);
    size_t length = std::min<size_t>(U16(&d[at + 2]), d.size() - at - 4);
    const uint8_t *data = &d[at + 4];
    switch (type) {
      case kContentsRecord:
        if (length >= 4) records.contents = U32(data);
        break;
      case kMacroRecord:
        records.macros.push_back(FieldText(data, length));
        break;
      case kWindowRecord:
        if (length >= kWindowRecordSize) {
          uint16_t set = U16(data);
          WindowRecord w;
          w.type = FieldText(data + 2, 10);
          w.name = FieldText(data + 12, 9);
          w.caption = FieldText(data + 21, 51);
          if (set & 0x08) w.x = U16(data + 72);
          if (set & 0x10) w.y = U16(data + 74);
          if (set & 0x20) w.width = U16(data + 76);
          if (set & 0x40) w.height = U16(data + 78);
          w.maximized = (set & 0x80) && U16(data + 80) != 0;
          if (set & 0x100) w.background = Colour(data + 82);
          if (set & 0x200) w.nonScrollingBackground = Colour(data + 86);
          records.windows.push_back(std::move(w));
        }
        break;
      case kLanguageRecord:
        if (length >= 10) records.language = U16(data + 8);
        break;
      case kContentsFileRecord: {
        std::string name = FieldText(data, length);
        size_t slash = name.find_last_of("\\/:");
        records.contentsFile = slash == std::string::npos ? name : name.substr(slash + 1);
        break;
      }
      case kCharsetRecord:
        if (length >= 1) records.charset = data[0];
        break;
      default:
        break;
    }
    at += 4 + length;
  }
  return records;
}


int ChooseCodePage(const SystemRecords &records, const std::vector<int> &fontCharsets) {
  if (int page = CodePageOfCharset(records.charset)) return page;
  if (int page = CodePageOfLanguage(records.language)) return page;
  std::map<int, int> votes;
  for (int charset : fontCharsets)
    if (int page = CodePageOfCharset(charset)) ++votes[page];
  auto best = std::max_element(votes.begin(), votes.end(),
                               [](const auto &a, const auto &b) { return a.second < b.second; });
  return best != votes.end() ? best->first : 1252;
}

}  // namespace quillon::text
