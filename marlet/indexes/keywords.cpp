// Keyword indexes: for a list named L, the B-tree "|" L "WBTREE" maps each
// keyword to its topic list in "|" L "WDATA".
//
// Leaf entry:  0  ..  keyword, NUL-terminated, ordered by lstrcmpiA
//              .  2   count of topics
//              .  4   offset in the WDATA file of count TopicOffsets (4 bytes
//                     each); reading them is left to the caller
// Index keys are NUL-terminated keywords.  The layout of the pages is in
// btree.h.
#include <marlet/marlet.h>

#include "container/btree.h"
#include "indexes/index_file.h"

namespace {
constexpr size_t kCountField = 0;
constexpr size_t kDataOffsetField = 2;
}  // namespace

using namespace marlet;

extern "C" {

MARLET_EXPORT int32_t MARLET_API HlpEnumKeyWords(IfsHandle container, KeywordCallback callback,
                                                 const char *startKeyword, const char *treeFileName,
                                                 MarletUserData userData) {
  if (callback == nullptr || treeFileName == nullptr) return 0;
  IndexFile keywords(container, treeFileName);
  if (!keywords) return 0;
  WalkOptions options;
  options.startKey = startKeyword != nullptr ? startKeyword : "";
  return BTreeWalk(keywords.Tree(), kKeywordTree, options, [&](const LeafEntry &entry) {
    const uint8_t *data = entry.data.data();
    callback(entry.Text(), LoadI32(data + kDataOffsetField), LoadU16(data + kCountField), userData);
    return true;  // the caller cannot stop this walk
  });
}

}  // extern "C"
