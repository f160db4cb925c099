// daskol: lists the context index of a help file: each hash, the TopicOffset
// it leads to, and a context string made up for the hash (the file keeps only
// the hashes, so the string need not be the author's).
#include <marlet/marlet.h>

#include <cstdio>

namespace {

int32_t MARLET_API PrintContext(ContextHash hash, TopicOffset topicOffset, MarletUserData) {
  char text[20];
  HlpCreateStringForHashValue(hash, text);
  std::printf("Hash:0x%08x TopicOffset:0x%08x String:%s\n", static_cast<unsigned>(static_cast<uint32_t>(hash)),
              static_cast<unsigned>(topicOffset), text);
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc <= 1) {
    std::printf(
        "DASKOL: Simple Example program for Quillon\n"
        "          Enumerates the Hash-Codes with their appropiate Context-StringsUSAGE   : DASKOL Filename\n");
    return 0;
  }
  IfsHandle container = IFSOpen(argv[1]);
  if (container == nullptr) {
    std::printf("File could not be opened\n");
    return 0;
  }
  HlpEnumContext(container, PrintContext, 0);
  IFSClose(container);
  return 0;
}
