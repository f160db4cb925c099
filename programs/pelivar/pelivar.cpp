// pelivar: lists the topic titles of a help file, each after a context string
// for the topic: the string made up for the context entry whose TopicOffset
// lies nearest to the title's.
#include <marlet/marlet.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

struct Nearest {
  TopicOffset target;
  TopicOffset best = 0x7FFFFFFF;
  ContextHash bestHash = 0;
};

// The distance of two offsets as the signed 32-bit difference made
// non-negative; computed wide, so that the largest negative difference does
// not overflow.
int64_t Distance(TopicOffset a, TopicOffset b) {
  int64_t difference = static_cast<int32_t>(a - b);
  return difference < 0 ? -difference : difference;
}

int32_t MARLET_API TakeIfNearer(ContextHash hash, TopicOffset topicOffset, MarletUserData userData) {
  auto *nearest = reinterpret_cast<Nearest *>(userData);
  // Strictly nearer: of entries at the same distance the first one stays.
  if (Distance(nearest->best, nearest->target) > Distance(topicOffset, nearest->target)) {
    nearest->best = topicOffset;
    nearest->bestHash = hash;
  }
  return 1;
}

int32_t MARLET_API PrintTitle(const char *title, TopicOffset topicOffset, MarletUserData userData) {
  IfsHandle container = *reinterpret_cast<IfsHandle *>(userData);
  Nearest nearest{topicOffset};
  HlpEnumContext(container, TakeIfNearer, reinterpret_cast<MarletUserData>(&nearest));
  char text[52];
  HlpCreateStringForHashValue(nearest.bestHash, text);
  while (std::strlen(text) < 15) lstrcatA(text, " ");
  std::printf("%s\t%s\n", text, title);
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc <= 1) {
    std::printf(
        "PELIVAR: Simple Example program for Quillon\n"
        "          Enumerates the List of Topics (|TTLBTREE) contained in a\n"
        "          Help or Media Viewer File with the associated Context Id\n"
        "          String created form the Hash-Value.\n"
        "Usage: PELIVAR Filename\n");
    return 0;
  }
  IfsHandle container = IFSOpen(argv[1]);
  if (container == nullptr) {
    std::printf("File could not be opened\n");
    return 0;
  }
  HlpEnumTitles(container, PrintTitle, reinterpret_cast<MarletUserData>(&container));
  IFSClose(container);
  return 0;
}
