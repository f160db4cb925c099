// Writes the Halibut source of a large manual, 3000 topics of plain prose,
// for the benchmarks of the topic reader.  Usage: large_manual OUTPUT.but
#include <cstdint>
#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 2) return 2;
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
  for (int chapter = 1; chapter <= 60; ++chapter) {
    std::fprintf(out, "\\C{c%d} Chapter %d\n\n", chapter, chapter);
    for (int section = 1; section <= 50; ++section) {
      std::fprintf(out, "\\H{c%ds%d} Section %d of chapter %d\n\n", chapter, section, section, chapter);
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
