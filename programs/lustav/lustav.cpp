// lustav: lists the topic titles of a help file with the TopicOffset of each,
// in the order of the title index.
#include <marlet/marlet.h>

#include <cstdio>

namespace {

int32_t MARLET_API PrintTitle(const char *title, TopicOffset topicOffset, MarletUserData) {
  std::printf("TopicOffset:%08lx\tTitle:\"%s\"\n", static_cast<unsigned long>(topicOffset), title);
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc <= 1) {
    std::printf(
        "LUSTAV: Simple Example program for Quillon\n"
        "          Enumerates the List of Topics (|TTLBTREE) contained in a"
        "          Help or Media Viewer File.Usage: LUSTAV Filename\n");
    return 0;
  }
  IfsHandle container = IFSOpen(argv[1]);
  if (container == nullptr) {
    std::printf("File could not be opened\n");
    return 0;
  }
  HlpEnumTitles(container, PrintTitle, 0);
  IFSClose(container);
  return 0;
}
