// libwmf 0.2's SVG device writes an SVG of 2000: a DOCTYPE of a draft DTD, a
// root without the svg namespace (browsers then show the markup as unknown
// XML, not as a picture), and the strings of text records exactly as stored,
// unescaped, in the metafile's 8-bit code page.  Everything but the text
// content is libwmf's own printf output (the face names it copies are made
// plain in metafile.cpp), so the document is rewritten here rather than
// parsed: a new root, and the text content of each <text> element, which is
// known from the records, escaped and converted.  expat then has the last
// word on whether the result is well-formed.
#include "svg.h"

#include <expat.h>

#include <cstdint>

namespace quillon::pictures {
namespace {

// Windows-1252 0x80..0x9F; 0 where the code page has no character.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void PutUtf8(std::string &out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Text content: markup characters escaped, control characters (which XML
// does not allow) and code points the code page lacks left out.
void PutText(std::string &out, const std::string &text) {
  for (unsigned char ch : text) {
    if (ch == '<') {
      out += "&lt;";
    } else if (ch == '>') {
      out += "&gt;";
    } else if (ch == '&') {
      out += "&amp;";
    } else if (ch < 0x20 || ch == 0x7F) {
      if (ch == '\t') out += ' ';
    } else if (ch < 0x80) {
      out += static_cast<char>(ch);
    } else if (ch < 0xA0) {
      if (kCp1252High[ch - 0x80] != 0) PutUtf8(out, kCp1252High[ch - 0x80]);
    } else {
      PutUtf8(out, ch);
    }
  }
}

std::string Fail(std::string *why, const char *reason) {
  if (why != nullptr) *why = reason;
  return {};
}

}  // namespace

bool WellFormedXml(const std::string &text, std::string *why) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (parser == nullptr) return Fail(why, "expat could not start"), false;
  bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
  if (!ok && why != nullptr)
    *why = std::string("SVG is not well-formed: ") + XML_ErrorString(XML_GetErrorCode(parser));
  XML_ParserFree(parser);
  return ok;
}

std::string ShowableSvg(const std::string &libwmf, const std::vector<std::string> &texts, int width,
                        int height, std::string *why) {
  size_t root = libwmf.find("<svg");
  size_t rootEnd = root == std::string::npos ? root : libwmf.find('>', root);
  if (rootEnd == std::string::npos) return Fail(why, "libwmf wrote no svg element");
  std::string w = std::to_string(width), h = std::to_string(height);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"";
  // libwmf declares this namespace on its root; keep it in case it uses it.
  out += " xmlns:sodipodi=\"http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd\"";
  out += " width=\"" + w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h + "\">";

  size_t at = rootEnd + 1;
  size_t next = 0;  // the text string the next <text> element should hold
  for (;;) {
    size_t element = libwmf.find("<text", at);
    if (element == std::string::npos) break;
    size_t tagEnd = libwmf.find('>', element);
    if (tagEnd == std::string::npos) return Fail(why, "libwmf's SVG is cut short");
    out.append(libwmf, at, tagEnd + 1 - at);
    size_t content = tagEnd + 1;
    // The device may leave out a text it cannot draw, never reorder them.
    while (next < texts.size() && !(libwmf.compare(content, texts[next].size(), texts[next]) == 0 &&
                                    libwmf.compare(content + texts[next].size(), 7, "</text>") == 0))
      ++next;
    if (next == texts.size()) return Fail(why, "text in libwmf's SVG that the metafile does not hold");
    PutText(out, texts[next]);
    at = content + texts[next].size();
    ++next;
  }
  out.append(libwmf, at);
  if (!WellFormedXml(out, why)) return {};
  return out;
}

}  // namespace quillon::pictures
