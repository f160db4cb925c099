// Writes the Halibut source of a large manual of plain prose for the
// benchmarks: 60 chapters of 50 sections (3060 topics), or SCALE times as
// many chapters.  The words follow one fixed pseudo-random sequence, so a
// scaled manual is the same kind of text throughout and its help file grows
// in step with SCALE.  Usage: large_manual OUTPUT.but [SCALE]
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  if (argc != 2 && argc != 3) return 2;
  const long scale = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 1;
  if (scale < 1 || scale > 1000) return 2;
  FILE *out = std::fopen(argv[1], "w");
  if (out == nullptr) return 1;
  static const char *const words[] = {
      "alpha", "beta",  "gamma",  "delta",  "river",   "lake",   "mountain",   "valley", "help",  "file",
      "topic", "context", "keyword", "index", "phrase", "block", "table", "cell", "row", "column",
      "picture", "hotspot", "jump", "popup", "macro", "window", "lighthouse", "keeper", "lamp", "lens",
      "wick", "oil", "harbour", "signal", "horn", "bell", "log", "report"};
  const unsigned count = sizeof words / sizeof words[0];
  uint32_t n = 1;
  std::fprintf(out, "\\title Large generated manual\n\n\\copyright Generated for benchmarks\n\n");
  for (long chapter = 1; chapter <= 60 * scale; ++chapter) {
    std::fprintf(out, "\\C{c%ld} Chapter %ld\n\n", chapter, chapter);
    for (int section = 1; section <= 50; ++section) {
      std::fprintf(out, "\\H{c%lds%d} Section %d of chapter %ld\n\n", chapter, section, section, chapter);
      for (int paragraph = 0; paragraph < 3; ++paragraph) {
        for (int word = 0; word < 60; ++word) {
          n = n * 1103515245u + 12345u;
          std::fprintf(out, "%s ", words[(n >> 16) % count]);
        }
        std::fprintf(out, "end.\n\n");
      }
    }
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
