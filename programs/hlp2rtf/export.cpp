// The RTF document is what the topic stream delivers as events 6, 0, 7, 9, 10,
// 11 and 8, in order.  Two things are added so that RTF readers take it: the
// text of events 0 and 9 is escaped (the library hands it over as stored), and
// a closing brace is written when the stream sends none (files without fonts).
// Plain text is a line "== TITLE" at each topic, then events 0 and 1.  Topics
// are known by their title event, and an untitled one by its entry in the title
// index (where its first piece arrives); a 3.0 file's untitled popups, which
// have no index entry, show no line of their own.
//
// Characters: the stream hands text over in the help file's code page, which
// its |SYSTEM language and character-set records and its fonts' character
// sets tell (quillon::text).  Plain text is converted to UTF-8, each run by
// its font's character set where that names a code page of its own, the rest
// by the file's; the RTF document keeps the bytes (escaped) and declares the
// code page (\ansicpg), and each font's character set (\fcharset), so that
// word processors read the right letters.
#include "export.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/output_file.h"
#include "quillon/text/code_page.h"
#include "quillon/text/system_records.h"
#include "common/progress.h"
#include "picture_file.h"

namespace hlp2rtf {

namespace text = quillon::text;

namespace {

// The title index: each entry's offset and where its title begins in one
// text of all titles (each ended by a zero byte), rather than a string each.
struct Titles {
  struct Entry {
    TopicOffset offset;
    size_t at;
  };
  std::vector<Entry> entries;
  std::string text;
  size_t size() const { return entries.size(); }
  TopicOffset offset(size_t i) const { return entries[i].offset; }
  const char *title(size_t i) const { return text.c_str() + entries[i].at; }
};

int32_t MARLET_API CollectTitle(const char *title, TopicOffset offset, MarletUserData user) {
  Titles &titles = *reinterpret_cast<Titles *>(user);
  titles.entries.push_back({offset, titles.text.size()});
  titles.text.append(title).push_back('\0');
  return 1;
}

int32_t MARLET_API CountTitle(const char *, TopicOffset, MarletUserData user) {
  ++*reinterpret_cast<size_t *>(user);
  return 1;
}

// The Windows character set of a code page, for fonts the file gives none.
int CharsetOfCodePage(int codePage) {
  static constexpr int kPairs[][2] = {{1250, 238}, {1251, 204}, {1253, 161}, {1254, 162}, {1255, 177},
                                      {1256, 178}, {1257, 186}, {1258, 163}, {874, 222},  {932, 128},
                                      {936, 134},  {949, 129},  {950, 136}};
  for (const auto &pair : kPairs)
    if (pair[0] == codePage) return pair[1];
  return 0;
}

struct Export {
  programs::Output *out;
  programs::Progress *progress;
  Format format;
  text::SystemRecords system;
  bool closed = false;  // event 8 came
  // Plain text: the titles of the index, to mark topics whose header sends no
  // title event (untitled topics) where their first piece arrives.
  Titles titles = {};
  size_t next = 0;
  // Plain text in UTF-8: the file's code page and each font's own; the font
  // of the text now.
  std::unique_ptr<text::CodePage> page = {};
  std::vector<std::unique_ptr<text::CodePage>> fontPages = {};
  int font = -1;
  std::string converted = {};

  bool Utf8() const { return format == Format::Text; }
  const text::CodePage &PageOfFont() const {
    return font >= 0 && static_cast<size_t>(font) < fontPages.size() && fontPages[font] ? *fontPages[font] : *page;
  }
  void WriteText(const char *text, const text::CodePage &codePage) {
    if (!Utf8()) return out->Write(text);
    converted.clear();
    codePage.AppendUtf8(text, converted);
    out->Write(converted);
  }
  void Announce(const char *title) {
    if (!out->AtLineStart()) out->Put('\n');
    out->Write("== ", 3);
    if (page) WriteText(title, *page);
    else out->Write(title);
    out->Put('\n');
    progress->Topic();
  }
  void TopicsBefore(TopicOffset offset, bool inclusive) {
    while (next < titles.size() &&
           (titles.offset(next) < offset || (inclusive && titles.offset(next) == offset)))
      Announce(titles.title(next++));
  }
  // The document header comes first: it names the fonts, and with them the
  // code page.
  void Header(const char *header) {
    std::vector<text::HeaderFont> fonts = text::FontsOfHeader(header);
    std::vector<int> charsets;
    for (const text::HeaderFont &f : fonts) charsets.push_back(f.charset);
    int codePage = text::ChooseCodePage(system, charsets);
    page = std::make_unique<text::CodePage>(codePage);
    for (const text::HeaderFont &f : fonts) {
      int own = text::CodePageOfCharset(f.charset);
      fontPages.push_back(own != 0 && own != page->number() ? std::make_unique<text::CodePage>(own) : nullptr);
    }
    if (format == Format::Rtf) WriteRtfHeader(header, page->number());
  }
  // "{\rtf1\ansi" gets "\ansicpgN"; in a file of a code page other than
  // 1252, a font the header gives no character set gets the file's.
  void WriteRtfHeader(std::string_view header, int codePage) {
    std::string_view opening = "{\\rtf1\\ansi";
    if (header.substr(0, opening.size()) != opening) return out->Write(header);
    std::string rewritten(opening);
    rewritten += "\\ansicpg" + std::to_string(codePage);
    header.remove_prefix(opening.size());
    int charset = CharsetOfCodePage(codePage);
    size_t table = header.find("{\\fonttbl");
    if (charset != 0 && table != std::string_view::npos) {
      rewritten.append(header.substr(0, table + 9));
      header.remove_prefix(table + 9);
      // Each "{\fN\fFAMILY[\fcharsetC] FACE;}" up to the table's end.
      while (true) {
        size_t at = header.find("{\\f");
        size_t close = header.find('}');
        if (at == std::string_view::npos || close < at) break;
        size_t blank = header.find(' ', at);
        size_t end = header.find(";}", at);
        if (blank == std::string_view::npos || end == std::string_view::npos || blank > end) break;
        rewritten.append(header.substr(0, blank));
        if (header.substr(at, blank - at).find("\\fcharset") == std::string_view::npos)
          rewritten += "\\fcharset" + std::to_string(charset);
        rewritten.append(header.substr(blank, end + 2 - blank));
        header.remove_prefix(end + 2);
      }
    }
    rewritten.append(header);
    out->Write(rewritten);
  }
};

// The font a font change ("\f3\cf3\fs20...") selects, or -1.
int FontOfChange(const char *control) {
  if (control[0] != '\\' || control[1] != 'f' || control[2] < '0' || control[2] > '9') return -1;
  int font = 0;
  for (const char *p = control + 2; *p >= '0' && *p <= '9' && font < 100000; ++p) font = font * 10 + (*p - '0');
  return font;
}

int32_t MARLET_API Deliver(const char *text, TopicOffset offset, int32_t event, MarletUserData user) {
  Export &x = *reinterpret_cast<Export *>(user);
  if (x.format != Format::Rtf) {
    switch (event) {
      case TopicEventRtfHeader:
        x.Header(text);
        break;
      case TopicEventControl:
        if (int font = FontOfChange(text); font >= 0) x.font = font;
        break;
      case TopicEventTitle:
        x.TopicsBefore(offset, false);
        if (x.next < x.titles.size() && x.titles.offset(x.next) == offset) ++x.next;
        x.Announce(text);
        break;

      case TopicEventText:
      case TopicEventPlainBreak:
        // Most pieces come before the next index entry: no call for them.
        if (x.next < x.titles.size() && x.titles.offset(x.next) <= offset) x.TopicsBefore(offset, true);
        if (x.Utf8() && event == TopicEventText)
          x.WriteText(text, x.PageOfFont());
        else
          x.out->Write(text);
        break;
      default:
        break;
    }
    return 1;
  }
  switch (event) {
    case TopicEventTitle:
      x.progress->Topic();
      break;
    case TopicEventText:
    case TopicEventEmbeddedWindow:
      x.out->WriteRtfText(text);
      break;
    case TopicEventRtfHeader:
      x.Header(text);
      break;
    case TopicEventRtfEnd:
      x.closed = true;
      [[fallthrough]];
    case TopicEventControl:
    case TopicEventBitmap:
    case TopicEventMediaClip:
      x.out->Write(text);
      break;
    default:
      break;
  }
  return 1;
}

// ---- Pictures ------------------------------------------------------------------

bool WriteFile(const std::string &path, const Picture &picture) {
  programs::OutputFile file(path.c_str());
  if (file.get() == nullptr) return false;
  programs::Output out(file.get());
  picture.Write(out);
  bool ok = out.Flush();
  return file.Close(out.Written()) && ok;
}

struct PictureExport {
  IfsHandle container;
  std::string directory;
  PictureCounts counts = {};
};

int32_t MARLET_API ExportPicture(const char *name, int32_t, MarletUserData user) {
  PictureExport &x = *reinterpret_cast<PictureExport *>(user);
  if (!IsPictureName(name)) return 1;
  IfsFileHandle file = IFSOpenFile(x.container, name);
  if (file == nullptr) return ++x.counts.failed, 1;
  Picture picture(file);
  IFSCloseFile(file);
  std::string base = name[0] == '|' ? name + 1 : name;
  if (picture.converted() && WriteFile(x.directory + "/" + base + picture.extension(), picture)) {
    ++x.counts.written;
  } else {
    std::fprintf(stderr, "hlp2rtf: picture %s could not be converted\n", name);
    ++x.counts.failed;
  }
  return 1;
}

}  // namespace

uint32_t TopicOptions(Format format) {
  // The fonts' character sets tell the code page; stored text needs neither.
  return format == Format::StoredText ? 0 : HLP_TOPIC_FONTS | HLP_TOPIC_CHARSETS;
}

void ExportTopics(IfsHandle container, TopicHandle topic, Format format, programs::Output &out) {
  const bool plain = format != Format::Rtf;
  // The RTF document needs the titles' count alone (for the progress line).
  Titles titles;
  size_t count = 0;
  if (plain)
    HlpEnumTitles(container, CollectTitle, reinterpret_cast<MarletUserData>(&titles));
  else
    HlpEnumTitles(container, CountTitle, reinterpret_cast<MarletUserData>(&count));
  programs::Progress progress("hlp2rtf", plain ? titles.size() : count);
  Export x{&out, &progress, format, {}};
  if (format != Format::StoredText) x.system = text::ReadSystemRecords(container);
  if (plain) x.titles = std::move(titles);
  HlpTopicEnumerate(topic, Deliver, reinterpret_cast<MarletUserData>(&x));
  if (plain) {
    x.TopicsBefore(0xFFFFFFFFu, true);
  } else {
    if (!x.closed) out.Put('}');
    out.Put('\n');
  }
}

bool IsPictureName(const char *name) {
  if (*name == '|') ++name;
  if (name[0] != 'b' || name[1] != 'm' || name[2] == '\0') return false;
  for (const char *p = name + 2; *p; ++p)
    if (*p < '0' || *p > '9') return false;
  return true;
}

Picture::Picture(IfsFileHandle file) {
  uint32_t size = IFSSeekFile(file, 0, 2);
  IFSSeekFile(file, 0, 0);
  // Not cleared: it is read whole or not used.
  std::unique_ptr<uint8_t[]> image(new uint8_t[size > 0 ? size : 1]);
  bool read = size > 0 && IFSReadFile(file, image.get(), size) == static_cast<int32_t>(size);
  PlaceableMetafileHeader header{};
  if (!read || !SHGImportEx(nullptr, image.get(), size, &dib_, &metafile_, &header, &hotspots_)) return;
  if (dib_ != nullptr) {
    const auto *block = static_cast<const uint8_t *>(GlobalLock(dib_));
    converted_ = block != nullptr && pictures::BmpFileHead(block, GlobalSize(dib_), bmpHead_, dibBytes_);
    GlobalUnlock(dib_);
  } else if (metafile_ != nullptr) {
    // As pictures::WmfFileBytes makes it, into a buffer that is not cleared
    // first: the metafile's bytes fill it.
    UINT bits = GetMetaFileBitsEx(metafile_, 0, nullptr);
    if (bits == 0) return;
    wmfBytes_ = sizeof header + bits;
    wmf_.reset(new uint8_t[wmfBytes_]);
    std::memcpy(wmf_.get(), &header, sizeof header);
    converted_ = GetMetaFileBitsEx(metafile_, bits, wmf_.get() + sizeof header) == bits;
  }
}

Picture::~Picture() {
  if (dib_) GlobalFree(dib_);
  if (hotspots_) GlobalFree(hotspots_);
  if (metafile_) DeleteMetaFile(metafile_);
}

void Picture::Write(programs::Output &out) const {
  if (!converted_) return;
  if (metafile_ != nullptr) {
    out.Write(reinterpret_cast<const char *>(wmf_.get()), wmfBytes_);
    return;
  }
  const auto *block = static_cast<const char *>(GlobalLock(dib_));
  out.Write(reinterpret_cast<const char *>(bmpHead_), sizeof bmpHead_);
  out.Write(block + sizeof(BITMAPINFOHEADER), dibBytes_ - sizeof(BITMAPINFOHEADER));
  GlobalUnlock(dib_);
}

PictureCounts ExportPictures(IfsHandle container, const std::string &directory) {
  PictureExport x{container, directory};
  IFSEnumerateFiles(container, ExportPicture, reinterpret_cast<MarletUserData>(&x));
  return x.counts;
}

}  // namespace hlp2rtf
