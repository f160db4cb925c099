// ZIP archives written byte by byte for tests of hostile archives: entry
// names that `zip` would clean up ("../", "/", control bytes), sizes that
// lie, deflate streams that expand far beyond their size.  The layout is
// the one every reader knows: local headers with their data, the central
// directory, its end record.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

struct ZipEntryRecipe {
  std::string name;
  std::string data;     // stored as it is, or deflated (deflate)
  bool deflate = false;
  // The uncompressed size the headers claim, when not the data's own.
  int64_t claimedSize = -1;
};

inline void ZipU16(std::string &out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
inline void ZipU32(std::string &out, uint32_t v) {
  ZipU16(out, v & 0xFFFF);
  ZipU16(out, v >> 16);
}

inline std::string RawDeflate(const std::string &data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef *>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

inline std::string BuildZip(const std::vector<ZipEntryRecipe> &entries) {
  std::string out, central;
  for (const ZipEntryRecipe &e : entries) {
    std::string body = e.deflate ? RawDeflate(e.data) : e.data;
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(e.data.data()),
                                               static_cast<uInt>(e.data.size())));
    uint32_t size = e.claimedSize >= 0 ? static_cast<uint32_t>(e.claimedSize) : static_cast<uint32_t>(e.data.size());
    uint32_t offset = static_cast<uint32_t>(out.size());
    auto common = [&](std::string &h) {
      ZipU16(h, 20);                   // version needed
      ZipU16(h, 0);                    // flags
      ZipU16(h, e.deflate ? 8 : 0);    // method
      ZipU16(h, 0);                    // time
      ZipU16(h, 0x21);                 // date
      ZipU32(h, crc);
      ZipU32(h, static_cast<uint32_t>(body.size()));
      ZipU32(h, size);
      ZipU16(h, static_cast<uint32_t>(e.name.size()));
      ZipU16(h, 0);                    // extra field
    };
    ZipU32(out, 0x04034b50);
    common(out);
    out += e.name;
    out += body;
    ZipU32(central, 0x02014b50);
    ZipU16(central, 20);  // version made by
    common(central);
    ZipU16(central, 0);   // comment
    ZipU16(central, 0);   // disk
    ZipU16(central, 0);   // internal attributes
    ZipU32(central, 0);   // external attributes
    ZipU32(central, offset);
    central += e.name;
  }
  uint32_t centralAt = static_cast<uint32_t>(out.size());
  out += central;
  ZipU32(out, 0x06054b50);
  ZipU16(out, 0);
  ZipU16(out, 0);
  ZipU16(out, static_cast<uint32_t>(entries.size()));
  ZipU16(out, static_cast<uint32_t>(entries.size()));
  ZipU32(out, static_cast<uint32_t>(central.size()));
  ZipU32(out, centralAt);
  ZipU16(out, 0);
  return out;
}

}  // namespace fixture
