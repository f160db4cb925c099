#include "quillon/text/code_page.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cctype>
#include <cerrno>
#include <iterator>
#include <cstring>
#include <string>
#include <utility>

namespace quillon::text {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

struct CharsetPage {
  int charset;
  int codePage;
};
// Windows character sets that fix a code page.  ANSI (0), default (1),
// symbol (2), Mac (77) and OEM (255) do not: those fonts follow the file.
constexpr CharsetPage kCharsets[] = {
    {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},  {161, 1253}, {162, 1254},
    {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257}, {204, 1251}, {222, 874},  {238, 1250},
};

// Primary language (the LCID's low ten bits) to its Windows code page; the
// Chinese ones depend on the sub-language and are handled apart.
struct LanguagePage {
  uint16_t language;
  int codePage;
};
constexpr LanguagePage kLanguages[] = {
    {0x01, 1256}, {0x02, 1251}, {0x05, 1250}, {0x08, 1253}, {0x0D, 1255}, {0x0E, 1250}, {0x11, 932},
    {0x12, 949},  {0x15, 1250}, {0x18, 1250}, {0x19, 1251}, {0x1B, 1250}, {0x1C, 1250}, {0x1E, 874},
    {0x1F, 1254}, {0x20, 1256}, {0x22, 1251}, {0x23, 1251}, {0x24, 1250}, {0x25, 1257}, {0x26, 1257},
    {0x27, 1257}, {0x29, 1256}, {0x2A, 1258}, {0x2C, 1254}, {0x2F, 1251}, {0x3F, 1251}, {0x40, 1251},
    {0x43, 1254}, {0x44, 1251}, {0x50, 1251},
};

bool SingleByte(int codePage) {
  // 1258 combines base letters with the marks after them, so iconv keeps
  // state between bytes: it goes through iconv whole.
  return codePage != 1258 && codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950 &&
         codePage != 1361;
}

#if !defined(_WIN32)
std::string IconvName(int codePage) {
  if (codePage == 1361) return "JOHAB";
  return "CP" + std::to_string(codePage);
}
#endif

// The glyphs of the symbol fonts, by byte; 0 where the font has none (the
// byte is kept as the character of the same number).  Symbol is Adobe's
// Symbol encoding; of Wingdings the bullets, boxes, hands, digits, stars,
// arrows and check marks that help files use.
struct Glyph {
  uint8_t byte;
  uint32_t code;
};
constexpr Glyph kSymbol[] = {
    {0x22, 0x2200}, {0x24, 0x2203}, {0x27, 0x220B}, {0x2A, 0x2217}, {0x2D, 0x2212}, {0x40, 0x2245},
    {0x41, 0x0391}, {0x42, 0x0392}, {0x43, 0x03A7}, {0x44, 0x0394}, {0x45, 0x0395}, {0x46, 0x03A6},
    {0x47, 0x0393}, {0x48, 0x0397}, {0x49, 0x0399}, {0x4A, 0x03D1}, {0x4B, 0x039A}, {0x4C, 0x039B},
    {0x4D, 0x039C}, {0x4E, 0x039D}, {0x4F, 0x039F}, {0x50, 0x03A0}, {0x51, 0x0398}, {0x52, 0x03A1},
    {0x53, 0x03A3}, {0x54, 0x03A4}, {0x55, 0x03A5}, {0x56, 0x03C2}, {0x57, 0x03A9}, {0x58, 0x039E},
    {0x59, 0x03A8}, {0x5A, 0x0396}, {0x5C, 0x2234}, {0x5E, 0x22A5}, {0x60, 0x203E}, {0x61, 0x03B1},
    {0x62, 0x03B2}, {0x63, 0x03C7}, {0x64, 0x03B4}, {0x65, 0x03B5}, {0x66, 0x03C6}, {0x67, 0x03B3},
    {0x68, 0x03B7}, {0x69, 0x03B9}, {0x6A, 0x03D5}, {0x6B, 0x03BA}, {0x6C, 0x03BB}, {0x6D, 0x03BC},
    {0x6E, 0x03BD}, {0x6F, 0x03BF}, {0x70, 0x03C0}, {0x71, 0x03B8}, {0x72, 0x03C1}, {0x73, 0x03C3},
    {0x74, 0x03C4}, {0x75, 0x03C5}, {0x76, 0x03D6}, {0x77, 0x03C9}, {0x78, 0x03BE}, {0x79, 0x03C8},
    {0x7A, 0x03B6}, {0x7E, 0x223C}, {0xA0, 0x20AC}, {0xA1, 0x03D2}, {0xA2, 0x2032}, {0xA3, 0x2264},
    {0xA4, 0x2044}, {0xA5, 0x221E}, {0xA6, 0x0192}, {0xA7, 0x2663}, {0xA8, 0x2666}, {0xA9, 0x2665},
    {0xAA, 0x2660}, {0xAB, 0x2194}, {0xAC, 0x2190}, {0xAD, 0x2191}, {0xAE, 0x2192}, {0xAF, 0x2193},
    {0xB0, 0x00B0}, {0xB1, 0x00B1}, {0xB2, 0x2033}, {0xB3, 0x2265}, {0xB4, 0x00D7}, {0xB5, 0x221D},
    {0xB6, 0x2202}, {0xB7, 0x2022}, {0xB8, 0x00F7}, {0xB9, 0x2260}, {0xBA, 0x2261}, {0xBB, 0x2248},
    {0xBC, 0x2026}, {0xBD, 0x23D0}, {0xBE, 0x2014}, {0xBF, 0x21B5}, {0xC0, 0x2135}, {0xC1, 0x2111},
    {0xC2, 0x211C}, {0xC3, 0x2118}, {0xC4, 0x2297}, {0xC5, 0x2295}, {0xC6, 0x2205}, {0xC7, 0x2229},
    {0xC8, 0x222A}, {0xC9, 0x2283}, {0xCA, 0x2287}, {0xCB, 0x2284}, {0xCC, 0x2282}, {0xCD, 0x2286},
    {0xCE, 0x2208}, {0xCF, 0x2209}, {0xD0, 0x2220}, {0xD1, 0x2207}, {0xD2, 0x00AE}, {0xD3, 0x00A9},
    {0xD4, 0x2122}, {0xD5, 0x220F}, {0xD6, 0x221A}, {0xD7, 0x22C5}, {0xD8, 0x00AC}, {0xD9, 0x2227},
    {0xDA, 0x2228}, {0xDB, 0x21D4}, {0xDC, 0x21D0}, {0xDD, 0x21D1}, {0xDE, 0x21D2}, {0xDF, 0x21D3},
    {0xE0, 0x25CA}, {0xE1, 0x2329}, {0xE2, 0x00AE}, {0xE3, 0x00A9}, {0xE4, 0x2122}, {0xE5, 0x2211},
    {0xE6, 0x239B}, {0xE7, 0x239C}, {0xE8, 0x239D}, {0xE9, 0x23A1}, {0xEA, 0x23A2}, {0xEB, 0x23A3},
    {0xEC, 0x23A7}, {0xED, 0x23A8}, {0xEE, 0x23A9}, {0xEF, 0x23AA}, {0xF1, 0x232A}, {0xF2, 0x222B},
    {0xF3, 0x2320}, {0xF4, 0x23AE}, {0xF5, 0x2321}, {0xF6, 0x239E}, {0xF7, 0x239F}, {0xF8, 0x23A0},
    {0xF9, 0x23A4}, {0xFA, 0x23A5}, {0xFB, 0x23A6}, {0xFC, 0x23AB}, {0xFD, 0x23AC}, {0xFE, 0x23AD},
};
constexpr Glyph kWingdings[] = {
    {0x22, 0x2702}, {0x23, 0x2701}, {0x29, 0x2706}, {0x36, 0x231B}, {0x3E, 0x2707}, {0x3F, 0x270D},
    {0x41, 0x270C}, {0x42, 0x1F44C}, {0x43, 0x1F44D}, {0x44, 0x1F44E}, {0x45, 0x261C}, {0x46, 0x261E},
    {0x47, 0x261D}, {0x48, 0x261F}, {0x4A, 0x263A}, {0x4B, 0x1F610}, {0x4C, 0x2639}, {0x4E, 0x2620},
    {0x51, 0x2708}, {0x52, 0x263C}, {0x54, 0x2744}, {0x56, 0x271E}, {0x58, 0x2720}, {0x59, 0x2721},
    {0x5A, 0x262A}, {0x5B, 0x262F}, {0x5D, 0x2638}, {0x6C, 0x25CF}, {0x6E, 0x25A0}, {0x6F, 0x25A1},
    {0x71, 0x2751}, {0x72, 0x2752}, {0x73, 0x2B27}, {0x74, 0x29EB}, {0x75, 0x25C6}, {0x76, 0x2756},
    {0x77, 0x2B25}, {0x78, 0x2327}, {0x7A, 0x2318}, {0x80, 0x24EA}, {0x81, 0x2460}, {0x82, 0x2461},
    {0x83, 0x2462}, {0x84, 0x2463}, {0x85, 0x2464}, {0x86, 0x2465}, {0x87, 0x2466}, {0x88, 0x2467},
    {0x89, 0x2468}, {0x8A, 0x2469}, {0x8B, 0x24FF}, {0x8C, 0x2776}, {0x8D, 0x2777}, {0x8E, 0x2778},
    {0x8F, 0x2779}, {0x90, 0x277A}, {0x91, 0x277B}, {0x92, 0x277C}, {0x93, 0x277D}, {0x94, 0x277E},
    {0x95, 0x277F}, {0x9E, 0x00B7}, {0x9F, 0x2022}, {0xA0, 0x25AA}, {0xA1, 0x25CB}, {0xA4, 0x25C9},
    {0xA5, 0x25CE}, {0xA7, 0x25AA}, {0xA8, 0x25FB}, {0xAA, 0x2726}, {0xAB, 0x2605}, {0xAC, 0x2736},
    {0xAD, 0x2734}, {0xAE, 0x2739}, {0xAF, 0x2735}, {0xEF, 0x21E6}, {0xF0, 0x21E8}, {0xF1, 0x21E7},
    {0xF2, 0x21E9}, {0xFB, 0x2717}, {0xFC, 0x2714}, {0xFD, 0x2612}, {0xFE, 0x2611},
};

void Encode(uint32_t c, char *out, uint8_t &length) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    length = 1;
  } else if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    length = 2;
  } else if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    length = 3;
  } else {
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    length = 4;
  }
}

}  // namespace

std::optional<CodePage> CodePage::ForSymbolFont(std::string_view face) {
  std::string name(face);
  for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const Glyph *begin = nullptr, *end = nullptr;
  if (name == "symbol") {
    begin = std::begin(kSymbol);
    end = std::end(kSymbol);
  } else if (name == "wingdings") {
    begin = std::begin(kWingdings);
    end = std::end(kWingdings);
  } else {
    return std::nullopt;
  }
  CodePage page(1252);
  page.symbols_ = true;
  // Bytes without a glyph of their own: ASCII as it is, the rest as 1252's.
  for (int b = 0; b < 0x80; ++b) Encode(static_cast<uint32_t>(b), page.low_[b].bytes, page.low_[b].length);
  for (const Glyph *g = begin; g != end; ++g) {
    Sequence &s = g->byte < 0x80 ? page.low_[g->byte] : page.high_[g->byte - 0x80];
    Encode(g->code, s.bytes, s.length);
  }
  return page;
}

int CodePageOfCharset(int charset) {
  for (const CharsetPage &entry : kCharsets)
    if (entry.charset == charset) return entry.codePage;
  return 0;
}

int CodePageOfLanguage(uint32_t lcid) {
  const uint16_t primary = lcid & 0x3FF;
  if (primary == 0x04) {  // Chinese: simplified in the PRC and Singapore, traditional elsewhere
    const uint16_t sub = (lcid >> 10) & 0x3F;
    return sub == 2 || sub == 4 ? 936 : 950;
  }
  if (primary == 0x1A) {  // Serbo-Croatian: Croatian and Latin Serbian in 1250, Cyrillic Serbian in 1251
    const uint16_t sub = (lcid >> 10) & 0x3F;
    return sub == 3 || sub == 7 ? 1251 : 1250;
  }
  for (const LanguagePage &entry : kLanguages)
    if (entry.language == primary) return entry.codePage;
  return primary == 0 ? 0 : 1252;
}

namespace {

// One byte of a single-byte code page in UTF-8: false when the code page
// leaves it undefined (0x81 in 1252, say).
#if defined(_WIN32)
bool ByteToUtf8(int codePage, unsigned char byte, char (&utf8)[8], size_t &length) {
  char in = static_cast<char>(byte);
  wchar_t wide[2];
  int n = MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, &in, 1, wide, 2);
  if (n <= 0) return false;
  int m = WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof utf8, nullptr, nullptr);
  if (m <= 0) return false;
  length = static_cast<size_t>(m);
  return true;
}
#else
bool ByteToUtf8(void *converter, unsigned char byte, char (&utf8)[8], size_t &length) {
  auto cd = static_cast<iconv_t>(converter);
  char in = static_cast<char>(byte);
  char *inPointer = &in, *outPointer = utf8;
  size_t inLeft = 1, outLeft = sizeof utf8;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1)) return false;
  length = sizeof utf8 - outLeft;
  return length > 0;
}
#endif

}  // namespace

CodePage::CodePage(int codePage) : number_(codePage) {
#if defined(_WIN32)
  CPINFO info;
  if (!IsValidCodePage(static_cast<UINT>(codePage)) || !GetCPInfo(static_cast<UINT>(codePage), &info)) number_ = 1252;
  if (!SingleByte(number_)) {
    multiByte_ = true;
    return;
  }
  const int converter = number_;
#else
  iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    number_ = 1252;
    cd = iconv_open("UTF-8", "CP1252");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;  // no iconv data at all: bytes above 0x7F become U+FFFD
  }
  if (!SingleByte(number_)) {
    iconv_ = cd;
    return;
  }
  void *converter = cd;
#endif
  // The table of the upper half, one byte at a time; bytes the code page
  // leaves undefined become U+FFFD.
  for (int b = 0x80; b < 0x100; ++b) {
    char utf8[8];
    size_t length = 0;
    Sequence &s = high_[b - 0x80];
    if (!ByteToUtf8(converter, static_cast<unsigned char>(b), utf8, length) || length > 4) {
      s.length = 3;
      std::copy(kReplacement, kReplacement + 3, s.bytes);
    } else {
      s.length = static_cast<uint8_t>(length);
      std::copy(utf8, utf8 + length, s.bytes);
    }
  }
#if !defined(_WIN32)
  iconv_close(cd);
#endif
  table_ = true;
}

void CodePage::Release() {
#if !defined(_WIN32)
  if (iconv_ != nullptr) iconv_close(static_cast<iconv_t>(iconv_));
#endif
  iconv_ = nullptr;
}

CodePage::~CodePage() { Release(); }

CodePage::CodePage(CodePage &&other) noexcept
    : number_(other.number_),
      table_(other.table_),
      high_(other.high_),
      symbols_(other.symbols_),
      low_(other.low_),
      iconv_(std::exchange(other.iconv_, nullptr)),
      multiByte_(other.multiByte_) {}

CodePage &CodePage::operator=(CodePage &&other) noexcept {
  if (this != &other) {
    Release();
    number_ = other.number_;
    table_ = other.table_;
    high_ = other.high_;
    symbols_ = other.symbols_;
    low_ = other.low_;
    iconv_ = std::exchange(other.iconv_, nullptr);
    multiByte_ = other.multiByte_;
  }
  return *this;
}

void CodePage::AppendUtf8(std::string_view bytes, std::string &out) const {
  if (symbols_) {
    for (unsigned char c : bytes) {
      const Sequence &s = c < 0x80 ? low_[c] : high_[c - 0x80];
      out.append(s.bytes, s.length);
    }
    return;
  }
  if (table_ || (iconv_ == nullptr && !multiByte_)) {
    out.reserve(out.size() + bytes.size());
    size_t run = 0;  // start of the current run of ASCII, copied whole
    for (size_t i = 0; i < bytes.size(); ++i) {
      // Most text is ASCII: eight bytes at a time while none has its top bit.
      while (i + 8 <= bytes.size()) {
        uint64_t eight;
        std::memcpy(&eight, bytes.data() + i, 8);
        if (eight & 0x8080808080808080ull) break;
        i += 8;
      }
      if (i >= bytes.size()) break;
      auto c = static_cast<unsigned char>(bytes[i]);
      if (c < 0x80) continue;
      out.append(bytes.data() + run, i - run);
      if (table_)
        out.append(high_[c - 0x80].bytes, high_[c - 0x80].length);
      else
        out += kReplacement;
      run = i + 1;
    }
    out.append(bytes.data() + run, bytes.size() - run);
    return;
  }
#if defined(_WIN32)
  // The system converts the whole text; bytes that start no character come
  // out as U+FFFD, as iconv's are made to below.
  if (bytes.empty()) return;
  int n = MultiByteToWideChar(static_cast<UINT>(number_), 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(static_cast<UINT>(number_), 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  if (m <= 0) return;
  size_t at = out.size();
  out.resize(at + static_cast<size_t>(m));
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, out.data() + at, m, nullptr, nullptr);
#else
  auto cd = static_cast<iconv_t>(iconv_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char *in = const_cast<char *>(bytes.data());
  size_t inLeft = bytes.size();
  char buffer[1024];
  while (inLeft > 0) {
    char *outPointer = buffer;
    size_t outLeft = sizeof buffer;
    size_t result = iconv(cd, &in, &inLeft, &outPointer, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    if (result != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A byte that starts no character, or a character cut by the end: one
    // replacement character, and on with the next byte.
    out += kReplacement;
    ++in;
    --inLeft;
  }
  // Flush what a stateful code page holds back (1258's last base letter).
  char *outPointer = buffer;
  size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &outPointer, &outLeft);
  out.append(buffer, sizeof buffer - outLeft);
#endif
}

}  // namespace quillon::text
