#include "escape.h"

#include <cstdint>

namespace quillon::html {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// What each byte becomes, per context: 0 stays as it is; 1 is dropped (a
// control character HTML does not allow); 2 may start a C1 control (UTF-8
// C2 80..C2 9F), dropped with the byte after it; 3 and up index kEntities.
// Text runs are copied whole between the few bytes that need something, so
// the common case is one table look-up per byte.
enum : uint8_t { kKeep = 0, kDrop = 1, kMaybeC1 = 2, kAmp, kLess, kGreater, kQuote, kApostrophe, kTab, kLineFeed };
constexpr const char *kEntities[] = {"", "", "", "&amp;", "&lt;", "&gt;", "&quot;", "&#39;", "&#9;", "&#10;"};

struct Table {
  uint8_t action[256];
};

constexpr Table MakeTable(bool attribute) {
  Table t{};
  for (int c = 0; c < 0x20; ++c) t.action[c] = kDrop;
  t.action[0x7F] = kDrop;
  t.action[0xC2] = kMaybeC1;
  t.action['&'] = kAmp;
  t.action['<'] = kLess;
  t.action['>'] = kGreater;
  t.action['\t'] = attribute ? kTab : kKeep;
  t.action['\n'] = attribute ? kLineFeed : kKeep;
  if (attribute) {
    t.action['"'] = kQuote;
    t.action['\''] = kApostrophe;
  }
  return t;
}

constexpr Table kTextTable = MakeTable(false);
constexpr Table kAttributeTable = MakeTable(true);

void Escape(std::string &out, std::string_view text, const Table &table) {
  const char *p = text.data(), *end = p + text.size(), *run = p;
  while (p < end) {
    uint8_t action = table.action[static_cast<unsigned char>(*p)];
    if (action == kKeep) {
      ++p;
      continue;
    }
    if (action == kMaybeC1) {
      // U+0080..U+009F, C1 controls, are not allowed in HTML text either.
      bool c1 = p + 1 < end && static_cast<unsigned char>(p[1]) >= 0x80 && static_cast<unsigned char>(p[1]) <= 0x9F;
      if (!c1) {
        ++p;
        continue;
      }
      out.append(run, p);
      p += 2;
      run = p;
      continue;
    }
    out.append(run, p);
    out += kEntities[action];
    run = ++p;
  }
  out.append(run, end);
}

// Bytes a JavaScript string literal in a .js file may not hold as they are.
constexpr Table MakeScriptTable() {
  Table t{};
  for (int c = 0; c < 0x20; ++c) t.action[c] = 1;
  for (char c : {'\\', '"', '\'', '<', '>', '&', '\x7F'}) t.action[static_cast<unsigned char>(c)] = 1;
  t.action[0xE2] = 2;  // may start U+2028 or U+2029, which end lines in older JavaScript
  return t;
}
constexpr Table kScriptTable = MakeScriptTable();

}  // namespace

void AppendText(std::string &out, std::string_view text) { Escape(out, text, kTextTable); }

void AppendAttribute(std::string &out, std::string_view text) { Escape(out, text, kAttributeTable); }

void AppendUrl(std::string &out, std::string_view url) {
  std::string encoded;
  encoded.reserve(url.size());
  for (unsigned char c : url) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!keep) {
      for (char d : std::string_view("-._~:/?#[]@!$&'()*+,;=%"))
        if (c == static_cast<unsigned char>(d)) keep = true;
    }
    if (keep) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0xF];
    }
  }
  AppendAttribute(out, encoded);
}

void AppendScriptString(std::string &out, std::string_view text) {
  const char *p = text.data(), *end = p + text.size(), *run = p;
  while (p < end) {
    uint8_t action = kScriptTable.action[static_cast<unsigned char>(*p)];
    if (action == 0) {
      ++p;
      continue;
    }
    uint32_t code = static_cast<unsigned char>(*p);
    size_t length = 1;
    if (action == 2) {
      bool separator = p + 2 < end && static_cast<unsigned char>(p[1]) == 0x80 &&
                       (static_cast<unsigned char>(p[2]) == 0xA8 || static_cast<unsigned char>(p[2]) == 0xA9);
      if (!separator) {
        ++p;
        continue;
      }
      code = static_cast<unsigned char>(p[2]) == 0xA8 ? 0x2028 : 0x2029;
      length = 3;
    }
    out.append(run, p);
    char escaped[6] = {'\\', 'u', kHex[(code >> 12) & 0xF], kHex[(code >> 8) & 0xF], kHex[(code >> 4) & 0xF],
                       kHex[code & 0xF]};
    out.append(escaped, 6);
    p += length;
    run = p;
  }
  out.append(run, end);
}

std::string SafeName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (out.size() >= 64) break;
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    out += ok ? static_cast<char>(c) : '_';
  }
  while (!out.empty() && out.front() == '.') out.front() = '_';
  if (out.empty()) out = "_";
  return out;
}

}  // namespace quillon::html
