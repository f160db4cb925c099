// hlp2rtf: writes the text of a help file, every topic from the first, as one
// RTF document or as plain text (export.cpp says what they hold).
#include <marlet/marlet.h>

#if defined(_WIN32)
#include <direct.h>
#else
#include <sys/stat.h>
#endif

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "common/output_file.h"
#include "export.h"

namespace {

#if defined(_WIN32)
void MakeFolder(const char *path) { _mkdir(path); }
#else
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
  std::optional<programs::OutputFile> named;
  if (outputPath != nullptr && std::strcmp(outputPath, "-") != 0) {
    file = named.emplace(outputPath).get();
    if (file == nullptr) {
      std::fprintf(stderr, "hlp2rtf: cannot write %s\n", outputPath);
      HlpTopicClose(topic);
      IFSClose(container);
      return 1;
    }
  }

  int status;
  {
    programs::Output out(file);
    hlp2rtf::ExportTopics(container, topic, text, out);
    status = out.Flush() ? 0 : 1;
    if (named && !named->Close(out.Written())) status = 1;
  }
  if (status != 0) std::fprintf(stderr, "hlp2rtf: writing the output failed\n");
  if (picturePath != nullptr) {
    MakeFolder(picturePath);  // an existing folder is fine
    if (hlp2rtf::ExportPictures(container, picturePath).failed > 0) status = 1;
  }
  HlpTopicClose(topic);
  IFSClose(container);
  return status;
}
