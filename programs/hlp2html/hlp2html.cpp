// hlp2html: writes a help file as a linked HTML site: index.html (title,
// copyright, contents), a page per topic, the keyword index, a search page,
// the pictures.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "quillon/html/site.h"

namespace {

const char kUsage[] =
    "Usage: hlp2html [-q] HELPFILE OUTDIR\n"
    "Writes a Windows Help or Media Viewer file as a linked HTML site in OUTDIR:\n"
    "OUTDIR/index.html (title, copyright, contents), a page per topic, the keyword\n"
    "index, a search page and the pictures.  Open OUTDIR/index.html in a browser.\n"
    "  -q, --quiet   no summary on standard error\n"
    "  -h, --help    show this text\n"
    "A jump into another help file leads to ../OTHER/, OTHER being that file's base\n"
    "name in small letters: convert the files of one folder side by side, each\n"
    "into a folder of that name, and their jumps connect.\n"
    "Exit code 0; 1 when something of the help file did not reach the site (a topic\n"
    "not read, a picture not converted, a file not written); 2 for a wrong command line.\n";

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

}  // namespace

int main(int argc, char **argv) {
  bool quiet = false;
  const char *helpPath = nullptr, *outDir = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-q" || arg == "--quiet") {
      quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
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
