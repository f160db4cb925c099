// hlp2html: writes a help file as a linked HTML site: index.html (title,
// copyright, contents), a page per topic, the keyword index, a search page,
// the pictures.  Given a folder, an archive or a disc image, it writes a
// library: a site per help file found, linked to each other, a top page and
// a manifest.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "quillon/collection/library.h"
#include "quillon/html/site.h"

namespace {

const char kUsage[] =
    "Usage: hlp2html [-q] [-j N] HELPFILE OUTDIR\n"
    "       hlp2html [-q] [-j N] [--max-file-bytes N] [--max-unpacked-bytes N] COLLECTION OUTDIR\n"
    "Writes a Windows Help or Media Viewer file as a linked HTML site in OUTDIR:\n"
    "OUTDIR/index.html (title, copyright, contents), a page per topic, the keyword\n"
    "index, a search page and the pictures.  Open OUTDIR/index.html in a browser.\n"
    "A COLLECTION is a folder (read with its sub-folders), an archive or a disc image\n"
    "(ZIP, ISO 9660, tar, 7z, CAB ..., archives inside them too) holding help files,\n"
    "also compressed ones (SZDD, KWAJ: HELP.HL_).  It becomes a library: OUTDIR/index.html\n"
    "lists every help file, OUTDIR/SITE/ holds each one's site, jumps between them\n"
    "lead to the right page, OUTDIR/manifest.json tells what became of every input.\n"
    "A second run into the same OUTDIR keeps the sites that are complete and still right.\n"
    "  -j N                    help files converted at once (default: one per core)\n"
    "  --max-file-bytes N      bytes of one file taken from an archive (default 256 MiB)\n"
    "  --max-unpacked-bytes N  bytes unpacked from archives in all (default 64 GiB)\n"
    "  -q, --quiet             no summary on standard error\n"
    "  -h, --help              show this text\n"
    "A single help file's jumps into another help file lead to ../OTHER/, OTHER being\n"
    "that file's base name in small letters.\n"
    "Exit code 0; 1 when something did not reach the output (a help file or input not\n"
    "read, a topic, a picture, a file not written); 2 for a wrong command line.\n";

class Progress {
 public:
  Progress() : shown_(isatty(STDERR_FILENO) == 1) {}
  ~Progress() { Clear(); }
  void Clear() {
    if (drawn_) std::fprintf(stderr, "\r%40s\r", "");
    drawn_ = false;
  }
  void operator()(size_t done, size_t total) {
    if (!shown_) return;
    auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    std::fprintf(stderr, "\rhlp2html: topic %zu of %zu", done, total);
  }

 private:
  bool shown_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_;
};

// The collection's progress bar: files done, topics, errors, time left.
class LibraryProgress {
 public:
  LibraryProgress() : shown_(isatty(STDERR_FILENO) == 1) {}
  void operator()(const quillon::collection::BuildProgress &p) {
    if (!shown_) return;
    drawn_ = true;
    if (p.scanning) {
      std::fprintf(stderr, "\rhlp2html: looking through the input: %zu files%20s", p.done, "");
      return;
    }
    constexpr int kWidth = 24;
    double part = p.bytes > 0 ? static_cast<double>(p.bytesDone) / static_cast<double>(p.bytes) : 1.0;
    int filled = static_cast<int>(part * kWidth);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kWidth] = '\0';
    char left[32] = "";
    if (part > 0.02 && part < 1.0) {
      long seconds = static_cast<long>(p.seconds * (1.0 - part) / part + 0.5);
      std::snprintf(left, sizeof left, ", %ld:%02ld left", seconds / 60, seconds % 60);
    }
    std::fprintf(stderr, "\rhlp2html: [%s] %zu of %zu help files, %zu topics, %zu errors%s   ", bar, p.done,
                 p.helpFiles, p.topics, p.failed, left);
  }
  void Clear() {
    if (drawn_) std::fprintf(stderr, "\r%100s\r", "");
    drawn_ = false;
  }

 private:
  bool shown_;
  bool drawn_ = false;
};

bool ParseCount(const char *text, uint64_t *value) {
  char *end = nullptr;
  errno = 0;
  unsigned long long n = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || n == 0 || text[0] == '-') return false;
  *value = n;
  return true;
}

int WriteLibrary(const char *input, const char *outDir, const quillon::collection::BuildOptions &given, bool quiet) {
  LibraryProgress progress;
  quillon::collection::BuildOptions options = given;
  options.progress = [&](const quillon::collection::BuildProgress &p) { progress(p); };
  quillon::collection::BuildReport report = quillon::collection::BuildLibrary(input, outDir, options);
  progress.Clear();
  if (!report.ok) {
    std::fprintf(stderr, "hlp2html: %s: %s\n", input, report.why.c_str());
    return 1;
  }
  if (!quiet) {
    std::fprintf(stderr,
                 "hlp2html: %s: %zu inputs, %zu help files: %zu converted, %zu unchanged, %zu failed; %zu topics; "
                 "%zu other files\n",
                 input, report.inputs, report.helpFiles, report.converted, report.unchanged, report.failed,
                 report.topics, report.others);
    for (const std::string &failure : report.failures) std::fprintf(stderr, "hlp2html: failed: %s\n", failure.c_str());
    std::fprintf(stderr, "hlp2html: open %s/index.html; every input is listed in %s/manifest.json\n", outDir, outDir);
  }
  return report.AnyFailed() ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  bool quiet = false;
  const char *helpPath = nullptr, *outDir = nullptr;
  quillon::collection::BuildOptions library;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    uint64_t n = 0;
    if (arg == "-q" || arg == "--quiet") {
      quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "-j" || arg == "--max-file-bytes" || arg == "--max-unpacked-bytes") {
      if (i + 1 >= argc || !ParseCount(argv[i + 1], &n) || (arg == "-j" && n > 1024)) {
        std::fprintf(stderr, "hlp2html: %s needs a positive number\n%s", arg.c_str(), kUsage);
        return 2;
      }
      ++i;
      if (arg == "-j") library.jobs = static_cast<unsigned>(n);
      else if (arg == "--max-file-bytes") library.limits.entryBytes = n;
      else library.limits.totalBytes = n;
    } else if (arg.size() > 2 && arg.rfind("-j", 0) == 0 && ParseCount(arg.c_str() + 2, &n) && n <= 1024) {
      library.jobs = static_cast<unsigned>(n);
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "hlp2html: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    } else if (helpPath == nullptr) {
      helpPath = argv[i];
    } else if (outDir == nullptr) {
      outDir = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (helpPath == nullptr || outDir == nullptr) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (quillon::collection::IsCollection(helpPath)) return WriteLibrary(helpPath, outDir, library, quiet);
  Progress progress;
  quillon::html::SiteOptions options;
  options.progress = [&](size_t done, size_t total) { progress(done, total); };
  quillon::html::SiteReport report = quillon::html::WriteSite(helpPath, outDir, options);
  progress.Clear();
  if (!report.opened) {
    std::fprintf(stderr, "hlp2html: %s: %s\n", helpPath, report.why.c_str());
    return 1;
  }
  if (!quiet) {
    std::string topics = std::to_string(report.topics) + " topics";
    if (report.topics < report.topicsExpected)
      topics += " (of " + std::to_string(report.topicsExpected) + " the indexes list)";
    std::fprintf(stderr, "hlp2html: %s: %s, %zu links (%zu left as text: target unknown), %zu pictures (%zu failed)%s\n",
                 helpPath, topics.c_str(), report.links, report.dangling, report.pictures, report.picturesFailed,
                 report.endedEarly ? ", the topic text ends early (the file is damaged)" : "");
    if (report.filesFailed > 0) std::fprintf(stderr, "hlp2html: %zu files could not be written\n", report.filesFailed);
    std::fprintf(stderr, "hlp2html: open %s/index.html\n", outDir);
  }
  return report.Lost() ? 1 : 0;
}
