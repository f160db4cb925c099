// saldir: prints the topics whose text contains one of the given words.
//
// Each title's topic is read from its offset up to the next topic: the next
// title event, or the first piece at or beyond the next title's offset (an
// untitled topic sends no title event).
#include <marlet/marlet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Search {
  int termCount = 0;
  char **terms = nullptr;
  size_t *termLengths = nullptr;  // a term longer than a piece is not in it
  IfsHandle container = nullptr;
  TopicHandle topic = nullptr;
  int found = 0;
  int inTopic = 0;
  std::vector<TopicOffset> starts;  // every topic's offset, in title-index order
  size_t current = 0;
  TopicOffset end = 0xFFFFFFFFu;  // where the topic being searched ends
};

int32_t MARLET_API CollectStart(const char *, TopicOffset offset, MarletUserData user) {
  reinterpret_cast<Search *>(user)->starts.push_back(offset);
  return 1;
}

int32_t MARLET_API SearchText(const char *text, TopicOffset offset, int32_t event, MarletUserData user) {
  Search &search = *reinterpret_cast<Search *>(user);
  if (offset >= search.end && (event == TopicEventText || event == TopicEventPlainBreak || event == TopicEventTitle))
    return 0;  // the next topic has begun
  if (event == TopicEventText || event == TopicEventPlainBreak) {
    const size_t length = std::strlen(text);
    for (int i = 0; i < search.termCount && !search.found; ++i)
      if (search.termLengths[i] <= length && std::strstr(text, search.terms[i]) != nullptr) search.found = 1;
  } else if (event == TopicEventTitle) {
    if (search.inTopic) return 0;  // the next topic has begun
    search.inTopic = 1;
  }
  return search.found ? 0 : 1;
}

int32_t MARLET_API SearchTopic(const char *title, TopicOffset offset, MarletUserData user) {
  Search &search = *reinterpret_cast<Search *>(user);
  search.end = 0xFFFFFFFFu;
  for (size_t next = search.current + 1; next < search.starts.size(); ++next)
    if (search.starts[next] > offset) {
      search.end = search.starts[next];
      break;
    }
  ++search.current;
  HlpTopicSeek(search.topic, offset);
  search.found = 0;
  search.inTopic = 0;
  HlpTopicEnumerate(search.topic, SearchText, user);
  if (search.found) std::printf("TopicOffset:%08lx\tTitle:\"%s\"\n", static_cast<unsigned long>(offset), title);
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::printf(
        "SALDIR: Simple example program to search for Topics containing as specific word\n"
        "          Enumerates the List of Topics (|TTLBTREE) contained in a"
        "          Help or Media Viewer File.Usage: SALDIR Filename Keyword\n");
    return 0;
  }
  Search search;
  // Every argument is a term, the file name included.
  search.termCount = argc - 1;
  search.terms = static_cast<char **>(std::malloc(sizeof(char *) * static_cast<size_t>(search.termCount)));
  std::vector<size_t> lengths(static_cast<size_t>(search.termCount));
  if (search.terms == nullptr) return 0;
  for (int i = 0; i < search.termCount; ++i) {
    search.terms[i] = argv[i + 1];
    lengths[static_cast<size_t>(i)] = std::strlen(argv[i + 1]);
  }
  search.termLengths = lengths.data();

  search.container = IFSOpen(argv[1]);
  if (search.container == nullptr) {
    std::printf("File could not be opened\n");
    std::free(search.terms);
    return 0;
  }
  search.topic = HlpTopicOpen(search.container, 0);
  if (search.topic == nullptr) {
    std::printf("Can't open TOPIC file, maybe this file is not a Windows Help ore Media Viewer file?\n");
    IFSClose(search.container);
    std::free(search.terms);
    return 0;
  }
  HlpEnumTitles(search.container, CollectStart, reinterpret_cast<MarletUserData>(&search));
  HlpEnumTitles(search.container, SearchTopic, reinterpret_cast<MarletUserData>(&search));
  HlpTopicClose(search.topic);
  IFSClose(search.container);
  std::free(search.terms);
  return 0;
}
