// The title index, |TTLBTREE: a B-tree from the TopicOffset at which each
// topic begins to the topic's title.
//
// Leaf entry:  0  4  TopicOffset, compared unsigned
//              4  .. title, NUL-terminated (an empty title is one zero byte)
// Index keys are 4-byte offsets.  The layout of the pages is in btree.h.
#include <marlet/marlet.h>

#include "container/btree.h"
#include "indexes/index_file.h"

using namespace marlet;

extern "C" {

MARLET_EXPORT int32_t MARLET_API HlpEnumTitles(IfsHandle container, TitleCallback callback,
                                               MarletUserData userData) {
  if (callback == nullptr) return 0;
  IndexFile titles(container, "|TTLBTREE");
  if (!titles) return 0;
  return BTreeWalk(titles.Tree(), kTitleTree, {}, [&](const LeafEntry &entry) {
    return callback(entry.DataText(), entry.Number(), userData) != 0;
  });
}

MARLET_EXPORT int32_t MARLET_API HlpGetTopicTitle(IfsHandle container, TopicOffset offset, char *buffer,
                                                  int32_t bufferSize, TopicOffset *topicStart) {
  IndexFile titles(container, "|TTLBTREE");
  if (!titles) return 0;
  return BTreeFindAtOrBelow(titles.Tree(), kTitleTree, offset, [&](const LeafEntry &entry) {
    if (buffer != nullptr) lstrcpynA(buffer, entry.DataText(), bufferSize);
    if (topicStart != nullptr) *topicStart = entry.Number();
  });
}

}  // extern "C"
