// Windows code pages to UTF-8.
//
// Help files store their text in the code page of the system they were written
// on; nothing in the file says so directly.  The language (LCID) of |SYSTEM,
// its character-set record and the fonts' character sets tell it, and the
// functions here map those to a code page.  Conversion goes through iconv;
// single-byte code pages, nearly all help files, are converted through a table
// built once from iconv, which keeps the hot path free of library calls.  On
// Windows the system's own conversion (MultiByteToWideChar) takes iconv's
// place.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::text {

// The code page of a Windows character set (a LOGFONT's lfCharSet), or 0 when
// the character set says nothing about one (ANSI, default, symbol, OEM).
int CodePageOfCharset(int charset);
// The code page Windows used for a language (LCID), or 0 for an unknown one.
int CodePageOfLanguage(uint32_t lcid);

class CodePage {
 public:
  // An unknown or unsupported code page converts as 1252.
  explicit CodePage(int codePage = 1252);
  ~CodePage();
  CodePage(const CodePage &) = delete;
  CodePage &operator=(const CodePage &) = delete;
  CodePage(CodePage &&other) noexcept;
  CodePage &operator=(CodePage &&other) noexcept;

  // The fonts that draw symbols in place of letters (Symbol, Wingdings):
  // their bytes are not characters of any code page but glyphs, which these
  // give their Unicode characters.  Nullopt for any other face.
  static std::optional<CodePage> ForSymbolFont(std::string_view face);

  int number() const { return number_; }
  // Appends the UTF-8 form of bytes in this code page.  Bytes that name no
  // character become U+FFFD; control characters pass through.
  void AppendUtf8(std::string_view bytes, std::string &out) const;
  std::string ToUtf8(std::string_view bytes) const {
    std::string out;
    AppendUtf8(bytes, out);
    return out;
  }

 private:
  void Release();
  struct Sequence {
    uint8_t length;
    char bytes[4];
  };
  int number_ = 1252;
  bool table_ = false;                  // single-byte: converted through high_
  std::array<Sequence, 128> high_ = {};  // the UTF-8 of bytes 0x80..0xFF
  bool symbols_ = false;                // a symbol font: every byte through low_ and high_
  std::array<Sequence, 128> low_ = {};
  void *iconv_ = nullptr;               // multi-byte code pages: an iconv_t (POSIX)
  bool multiByte_ = false;              // multi-byte code pages: through the system (Windows)
};

}  // namespace quillon::text
