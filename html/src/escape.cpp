#include "escape.h"

#include <cstdint>

namespace quillon::html {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// The C1 controls U+0080..U+009F (UTF-8 C2 80..C2 9F) are not allowed in HTML
// text either.
bool IsC1(std::string_view text, size_t i) {
  return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
         static_cast<unsigned char>(text[i + 1]) >= 0x80 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

}  // namespace

void AppendText(std::string &out, std::string_view text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    const char *replacement;
    size_t skip = 1;
    switch (c) {
      case '&': replacement = "&amp;"; break;
      case '<': replacement = "&lt;"; break;
      case '>': replacement = "&gt;"; break;
      default:
        if (c == '\t' || c == '\n') continue;
        if (IsControl(c)) {
          replacement = "";
        } else if (IsC1(text, i)) {
          replacement = "";
          skip = 2;
        } else {
          continue;
        }
    }
    out.append(text.data() + run, i - run);
    out += replacement;
    i += skip - 1;
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
}

void AppendAttribute(std::string &out, std::string_view text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    const char *replacement;
    size_t skip = 1;
    switch (c) {
      case '&': replacement = "&amp;"; break;
      case '<': replacement = "&lt;"; break;
      case '>': replacement = "&gt;"; break;
      case '"': replacement = "&quot;"; break;
      case '\'': replacement = "&#39;"; break;
      case '\t': replacement = "&#9;"; break;
      case '\n': replacement = "&#10;"; break;
      default:
        if (IsControl(c)) {
          replacement = "";
        } else if (IsC1(text, i)) {
          replacement = "";
          skip = 2;
        } else {
          continue;
        }
    }
    out.append(text.data() + run, i - run);
    out += replacement;
    i += skip - 1;
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
}

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
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    bool escape = c < 0x20 || c == '\\' || c == '"' || c == '\'' || c == '<' || c == '>' || c == '&' || c == 0x7F;
    // U+2028 and U+2029 end lines in older JavaScript.
    bool separator = c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                     (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9);
    if (!escape && !separator) continue;
    out.append(text.data() + run, i - run);
    uint32_t code = separator ? (static_cast<unsigned char>(text[i + 2]) == 0xA8 ? 0x2028 : 0x2029) : c;
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
    if (separator) i += 2;
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
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
