#include "quillon/document/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace quillon::document {

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

std::string IconvName(int codePage) {
  if (codePage == 1361) return "JOHAB";
  return "CP" + std::to_string(codePage);
}

}  // namespace

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

CodePage::CodePage(int codePage) : number_(codePage) {
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
  // The table of the upper half, one byte at a time; bytes the code page
  // leaves undefined (0x81 in 1252, say) become U+FFFD.
  for (int b = 0x80; b < 0x100; ++b) {
    char in = static_cast<char>(b);
    char utf8[8];
    char *inPointer = &in, *outPointer = utf8;
    size_t inLeft = 1, outLeft = sizeof utf8;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    Sequence &s = high_[b - 0x80];
    if (iconv(cd, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) || outLeft == sizeof utf8 ||
        sizeof utf8 - outLeft > 3) {
      s.length = 3;
      std::copy(kReplacement, kReplacement + 3, s.bytes);
    } else {
      s.length = static_cast<uint8_t>(sizeof utf8 - outLeft);
      std::copy(utf8, utf8 + s.length, s.bytes);
    }
  }
  iconv_close(cd);
  table_ = true;
}

CodePage::~CodePage() {
  if (iconv_ != nullptr) iconv_close(static_cast<iconv_t>(iconv_));
}

CodePage::CodePage(CodePage &&other) noexcept
    : number_(other.number_), table_(other.table_), high_(other.high_), iconv_(std::exchange(other.iconv_, nullptr)) {}

CodePage &CodePage::operator=(CodePage &&other) noexcept {
  if (this != &other) {
    if (iconv_ != nullptr) iconv_close(static_cast<iconv_t>(iconv_));
    number_ = other.number_;
    table_ = other.table_;
    high_ = other.high_;
    iconv_ = std::exchange(other.iconv_, nullptr);
  }
  return *this;
}

void CodePage::AppendUtf8(std::string_view bytes, std::string &out) const {
  if (table_ || iconv_ == nullptr) {
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
}

}  // namespace quillon::document
