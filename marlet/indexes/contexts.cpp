// The context index, |CONTEXT: a B-tree from the ContextHash of every
// context string the help author defined to the TopicOffset of its topic.
//
// Leaf entry:  0  4  ContextHash, ordered as a signed value
//              4  4  TopicOffset
// Index keys are 4-byte hashes.  The layout of the pages is in btree.h.
#include <marlet/marlet.h>

#include "container/btree.h"
#include "indexes/index_file.h"

using namespace marlet;

extern "C" {

MARLET_EXPORT int32_t MARLET_API HlpEnumContext(IfsHandle container, ContextCallback callback,
                                                MarletUserData userData) {
  if (callback == nullptr) return 0;
  IndexFile contexts(container, "|CONTEXT");
  if (!contexts) return 0;
  return BTreeWalk(contexts.Tree(), kContextTree, {}, [&](const LeafEntry &entry) {
    return callback(LoadI32(entry.key.data()), LoadU32(entry.data.data()), userData) != 0;
  });
}

// An entry whose TopicOffset is 0xFFFFFFFF cannot be told from a missing
// hash: both give MARLET_NO_TOPIC.
MARLET_EXPORT TopicOffset MARLET_API HlpIsTopic(IfsHandle container, ContextHash hash) {
  IndexFile contexts(container, "|CONTEXT");
  if (!contexts) return MARLET_NO_TOPIC;
  TopicOffset found = MARLET_NO_TOPIC;
  BTreeFind(contexts.Tree(), kContextTree, SoughtKey{static_cast<uint32_t>(hash), nullptr},
            [&](const LeafEntry &entry) { found = LoadU32(entry.data.data()); });
  return found;
}

MARLET_EXPORT int32_t MARLET_API IsTopic(const char *helpFileName, const char *contextString) {
  IfsHandle container = IFSOpen(helpFileName);
  if (container == nullptr) return 0;
  TopicOffset offset = HlpIsTopic(container, HlpGenerateHashValue(contextString));
  IFSClose(container);
  return offset != MARLET_NO_TOPIC ? 1 : 0;
}

}  // extern "C"
