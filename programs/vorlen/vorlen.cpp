// vorlen: lists the keywords of one keyword list of a help file from a start
// keyword on, and under each keyword the topics it leads to, with their
// titles.
#include <marlet/marlet.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "common/output.h"

namespace {

// What the title index says of one offset.
struct Lookup {
  bool delivered;
  TopicOffset start;
  std::string title;
};

struct KeywordList {
  IfsHandle container;
  IfsFileHandle data;  // the list's |xWDATA
  programs::Output *out;
  // Many keywords lead to the same topics: each offset is looked up once.
  std::unordered_map<TopicOffset, Lookup> lookups = {};
};

const Lookup &LookUp(KeywordList &list, TopicOffset offset) {
  auto known = list.lookups.find(offset);
  if (known != list.lookups.end()) return known->second;
  char title[1024];
  title[0] = '\0';
  // The lookup also succeeds when the offset lies below every topic, and
  // then delivers nothing; that is reported like a failed lookup.  A
  // delivered start is never above the offset, so offset + 1 marks "none"
  // (for the offset 0xFFFFFFFF it is 0, the start only of a tree whose one
  // key is 0).
  const TopicOffset none = offset + 1;
  TopicOffset start = none;
  bool delivered =
      HlpGetTopicTitle(list.container, offset, title, sizeof title, &start) != 0 && start != none;
  return list.lookups.emplace(offset, Lookup{delivered, start, title}).first->second;
}

int32_t MARLET_API PrintKeyword(const char *keyword, int32_t dataOffset, int32_t count,
                                MarletUserData userData) {
  auto &list = *reinterpret_cast<KeywordList *>(userData);
  char line[128];
  std::snprintf(line, sizeof line, "Offset:0x%08lx Count:0x%04x KW:",
                static_cast<unsigned long>(static_cast<uint32_t>(dataOffset)), static_cast<unsigned>(count));
  list.out->Write(line);
  list.out->Write(keyword);
  list.out->Put('\n');
  IFSSeekFile(list.data, dataOffset, 0);
  for (int32_t i = 0; i < count; ++i) {
    uint8_t raw[4];
    // A topic list cut short by the end of the data file ends here.
    if (IFSReadFile(list.data, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) break;
    TopicOffset offset = static_cast<uint32_t>(raw[0]) | (static_cast<uint32_t>(raw[1]) << 8) |
                         (static_cast<uint32_t>(raw[2]) << 16) | (static_cast<uint32_t>(raw[3]) << 24);
    const Lookup &found = LookUp(list, offset);
    if (found.delivered) {
      std::snprintf(line, sizeof line,
                    "  TopicOffset: 0x%08x  TopicOffsetStart: 0x%08lx  Title:", static_cast<unsigned>(offset),
                    static_cast<unsigned long>(found.start));
      list.out->Write(line);
      list.out->Write(found.title);
      list.out->Put('\n');
    } else {
      std::snprintf(line, sizeof line, "  TopicOffset: 0x%08x: ERROR\n\n", static_cast<unsigned>(offset));
      list.out->Write(line);
    }
  }
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc <= 1) {
    std::printf(
        "VORLEN : Simple Example program for Quillon\n"
        "          Lists the Keywords contained in a Help File\n"
        "Usage: VORLEN Filename [StartKeyWord] [List]\n");
    return 0;
  }
  IfsHandle container = IFSOpen(argv[1]);
  if (container == nullptr) {
    std::printf("File could not be opened\n");
    return 0;
  }
  const char *start = argc > 2 ? argv[2] : "";
  const char *letters = argc > 3 ? argv[3] : "K";
  // Built to their full length: a list name of any length names its own files.
  std::string treeName = std::string("|") + letters + "WBTREE";
  std::string dataName = std::string("|") + letters + "WDATA";

  programs::Output out(stdout);
  KeywordList list{container, IFSOpenFile(container, dataName.c_str()), &out};
  if (list.data == nullptr) {
    std::printf("Internal File \"%s\" not found\n", dataName.c_str());
    IFSClose(container);
    return 0;
  }
  HlpEnumKeyWords(container, PrintKeyword, start, treeName.c_str(), reinterpret_cast<MarletUserData>(&list));
  out.Flush();
  IFSCloseFile(list.data);
  IFSClose(container);
  return 0;
}
