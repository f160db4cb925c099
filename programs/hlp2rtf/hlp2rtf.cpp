// hlp2rtf: writes the text of a help file, every topic from the first, as one
// RTF document or as plain text.
//
// The RTF document is what the topic stream delivers as events 6, 0, 7, 9, 10,
// 11 and 8, in order.  Two things are added so that RTF readers take it: the
// text of events 0 and 9 is escaped (the library hands it over as stored), and
// a closing brace is written when the stream sends none (files without fonts).
// Plain text is a line "== TITLE" at each topic, then events 0 and 1.  Topics
// are known by their title event, and an untitled one by its entry in the title
// index (where its first piece arrives); a 3.0 file's untitled popups, which
// have no index entry, show no line of their own.
#include <marlet/marlet.h>

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "picture_file.h"

namespace {

#if defined(_WIN32)
bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
void MakeFolder(const char *path) { _mkdir(path); }
#else
bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }
void MakeFolder(const char *path) { ::mkdir(path, 0777); }
#endif

const char kUsage[] =
    "Usage: hlp2rtf [-t] [-o OUTPUT] [-p DIR] HELPFILE\n"
    "Writes all topics of a Windows Help or Media Viewer file as one RTF document.\n"
    "  -t, --text          plain text instead: \"== TITLE\" at each topic, then its text\n"
    "  -o, --output FILE   write to FILE instead of standard output\n"
    "  -p, --pictures DIR  also write the file's pictures (|bm0, |bm1, ...) into DIR,\n"
    "                      bitmaps as bm0.bmp ..., metafiles as placeable bm0.wmf ...\n"
    "  -h, --help          show this text\n";

struct Title {
  TopicOffset offset;
  std::string text;
};

int32_t MARLET_API CollectTitle(const char *title, TopicOffset offset, MarletUserData user) {
  reinterpret_cast<std::vector<Title> *>(user)->push_back({offset, title});
  return 1;
}

class Output {
 public:
  explicit Output(FILE *file) : file_(file) {}
  void Write(const char *text, size_t n) {
    if (n == 0) return;
    std::fwrite(text, 1, n, file_);
    last_ = text[n - 1];
    any_ = true;
  }
  void Write(const std::string &text) { Write(text.data(), text.size()); }
  void Write(const char *text) { Write(text, std::strlen(text)); }
  // Text for RTF: the three characters RTF gives a meaning, and 8-bit bytes.
  void WriteEscaped(const char *text) {
    const char *run = text;
    for (const char *p = text; *p; ++p) {
      unsigned char c = static_cast<unsigned char>(*p);
      if (c != '\\' && c != '{' && c != '}' && c < 0x80) continue;
      Write(run, static_cast<size_t>(p - run));
      char escaped[8];
      if (c >= 0x80)
        std::snprintf(escaped, sizeof escaped, "\\'%02x", c);
      else
        std::snprintf(escaped, sizeof escaped, "\\%c", c);
      Write(escaped);
      run = p + 1;
    }
    Write(run, std::strlen(run));
  }
  bool AtLineStart() const { return !any_ || last_ == '\n'; }
  bool Failed() { return std::ferror(file_) != 0; }

 private:
  FILE *file_;
  char last_ = 0;
  bool any_ = false;
};

// Progress on standard error, when it is a terminal.
class Progress {
 public:
  explicit Progress(size_t total) : total_(total), shown_(StandardErrorIsTerminal()) {}
  ~Progress() {
    if (shown_ && drawn_) std::fprintf(stderr, "\r%*s\r", 40, "");
  }
  void Topic() {
    ++done_;
    if (!shown_) return;
    auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    std::fprintf(stderr, "\rhlp2rtf: topic %zu of %zu", done_, total_);
  }

 private:
  size_t total_, done_ = 0;
  bool shown_, drawn_ = false;
  std::chrono::steady_clock::time_point last_;
};

struct Export {
  Output *out;
  Progress *progress;
  bool text;
  bool closed = false;  // event 8 came
  // Plain text: the titles of the index, to mark topics whose header sends no
  // title event (untitled topics) where their first piece arrives.
  std::vector<Title> titles = {};
  size_t next = 0;

  void Announce(const std::string &title) {
    if (!out->AtLineStart()) out->Write("\n");
    out->Write("== ");
    out->Write(title);
    out->Write("\n");
    progress->Topic();
  }
  void TopicsBefore(TopicOffset offset, bool inclusive) {
    while (next < titles.size() && (titles[next].offset < offset || (inclusive && titles[next].offset == offset)))
      Announce(titles[next++].text);
  }
};

int32_t MARLET_API Deliver(const char *text, TopicOffset offset, int32_t event, MarletUserData user) {
  Export &x = *reinterpret_cast<Export *>(user);
  if (x.text) {
    switch (event) {
      case TopicEventTitle:
        x.TopicsBefore(offset, false);
        if (x.next < x.titles.size() && x.titles[x.next].offset == offset) ++x.next;
        x.Announce(text);
        break;

      case TopicEventText:
      case TopicEventPlainBreak:
        x.TopicsBefore(offset, true);
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
      x.out->WriteEscaped(text);
      break;
    case TopicEventRtfEnd:
      x.closed = true;
      [[fallthrough]];
    case TopicEventRtfHeader:
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

struct PictureExport {
  IfsHandle container;
  std::string directory;
  int written = 0;
  int failed = 0;
};

// A picture's internal file: "|bm" and a number ("bm" and a number in 3.0 files).
bool IsPictureName(const char *name) {
  if (*name == '|') ++name;
  if (name[0] != 'b' || name[1] != 'm' || name[2] == '\0') return false;
  for (const char *p = name + 2; *p; ++p)
    if (*p < '0' || *p > '9') return false;
  return true;
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

int32_t MARLET_API ExportPicture(const char *name, int32_t, MarletUserData user) {
  PictureExport &x = *reinterpret_cast<PictureExport *>(user);
  if (!IsPictureName(name)) return 1;
  IfsFileHandle file = IFSOpenFile(x.container, name);
  if (file == nullptr) return ++x.failed, 1;
  uint32_t size = IFSSeekFile(file, 0, 2);
  IFSSeekFile(file, 0, 0);
  std::vector<uint8_t> image(size);
  bool read = size > 0 && IFSReadFile(file, image.data(), size) == static_cast<int32_t>(size);
  IFSCloseFile(file);
  HGLOBAL dib = nullptr, hotspots = nullptr;
  HMETAFILE metafile = nullptr;
  PlaceableMetafileHeader header{};
  std::vector<uint8_t> bytes;
  const char *extension = ".bmp";
  if (read && SHGImportEx(nullptr, image.data(), size, &dib, &metafile, &header, &hotspots)) {
    if (dib != nullptr) {
      bytes = pictures::BmpFileBytes(dib);
    } else if (metafile != nullptr) {
      bytes = pictures::WmfFileBytes(metafile, header);
      extension = ".wmf";
    }
  }
  if (dib) GlobalFree(dib);
  if (hotspots) GlobalFree(hotspots);
  if (metafile) DeleteMetaFile(metafile);
  std::string base = name[0] == '|' ? name + 1 : name;
  if (!bytes.empty() && WriteFile(x.directory + "/" + base + extension, bytes)) {
    ++x.written;
  } else {
    std::fprintf(stderr, "hlp2rtf: picture %s could not be converted\n", name);
    ++x.failed;
  }
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  bool text = false;
  const char *outputPath = nullptr;
  const char *picturePath = nullptr;
  const char *helpPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-t" || arg == "--text") {
      text = true;
    } else if ((arg == "-o" || arg == "--output") && i + 1 < argc) {
      outputPath = argv[++i];
    } else if ((arg == "-p" || arg == "--pictures") && i + 1 < argc) {
      picturePath = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::fprintf(stderr, "hlp2rtf: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    } else if (helpPath == nullptr) {
      helpPath = argv[i];
    } else {
      std::fprintf(stderr, "hlp2rtf: one help file at a time\n%s", kUsage);
      return 2;
    }
  }
  if (helpPath == nullptr) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  IfsHandle container = IFSOpen(helpPath);
  if (container == nullptr) {
    std::fprintf(stderr, "hlp2rtf: %s: not a help file, or it cannot be read\n", helpPath);
    return 1;
  }
  TopicHandle topic = HlpTopicOpen(container, text ? 0 : HLP_TOPIC_FONTS);
  if (topic == nullptr) {
    std::fprintf(stderr, "hlp2rtf: %s: no topics (no |SYSTEM or |TOPIC)\n", helpPath);
    IFSClose(container);
    return 1;
  }
  FILE *file = stdout;
  if (outputPath != nullptr && std::strcmp(outputPath, "-") != 0) {
    file = std::fopen(outputPath, "wb");
    if (file == nullptr) {
      std::fprintf(stderr, "hlp2rtf: cannot write %s\n", outputPath);
      HlpTopicClose(topic);
      IFSClose(container);
      return 1;
    }
  }

  std::vector<Title> titles;
  HlpEnumTitles(container, CollectTitle, reinterpret_cast<MarletUserData>(&titles));
  Output out(file);
  int status;
  {
    Progress progress(titles.size());
    Export x{&out, &progress, text};
    if (text) x.titles = std::move(titles);
    HlpTopicEnumerate(topic, Deliver, reinterpret_cast<MarletUserData>(&x));
    if (text) {
      x.TopicsBefore(0xFFFFFFFFu, true);
    } else if (!x.closed) {
      out.Write("}");
    }
    if (!text) out.Write("\n");
    status = out.Failed() ? 1 : 0;
  }
  if (file != stdout && std::fclose(file) != 0) status = 1;
  if (status != 0) std::fprintf(stderr, "hlp2rtf: writing the output failed\n");
  if (picturePath != nullptr) {
    MakeFolder(picturePath);  // an existing folder is fine
    PictureExport pictures{container, picturePath};
    IFSEnumerateFiles(container, ExportPicture, reinterpret_cast<MarletUserData>(&pictures));
    if (pictures.failed > 0) status = 1;
  }
  HlpTopicClose(topic);
  IFSClose(container);
  return status;
}
