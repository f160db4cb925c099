// The help viewer launcher: HlpTopicJumpAPI starts the viewer on the topic at
// which a topic stream stands.
//
// The viewer takes a context string on its command line,
//   PROGRAM -iCONTEXT FILE
// but help files keep only the hashes of their context strings.  So the
// launcher takes the |CONTEXT entry nearest to the reader's TopicOffset and
// makes up a string for its hash; the viewer hashes it back to the same
// value.  Files of minor version 27 and 33 go to the program registered for
// the file's type, all others to WINHELP.EXE.
#include <marlet/marlet.h>

#include <cstdint>
#include <cstring>

#include "topic/topic_handle.h"

namespace marlet {

namespace {

constexpr const char *kWinHelp = "WINHELP.EXE";
constexpr size_t kCommandLineSize = 260;
constexpr size_t kContextStringSize = 20;  // what HlpCreateStringForHashValue may use

struct Nearest {
  TopicOffset target;
  bool found;
  uint32_t distance;
  ContextHash hash;
};

// The distance of two TopicOffsets.  They are unsigned positions, so it is
// taken over their unsigned values: an offset with the top bit set is far from
// a small one, not near it by wrapping around.
uint32_t Distance(TopicOffset a, TopicOffset b) { return a > b ? a - b : b - a; }

// Keeps the entry nearest to the target.  The comparison is strict, so of
// entries at the same distance the first in index order (ascending signed
// hash) stays, whether it lies before or after the target.  The first entry
// is always taken, however far it lies: a file with contexts never launches
// with the empty string only because its one context is far away.
int32_t MARLET_API KeepNearest(ContextHash hash, TopicOffset offset, MarletUserData userData) {
  auto &nearest = *reinterpret_cast<Nearest *>(userData);
  uint32_t distance = Distance(offset, nearest.target);
  if (!nearest.found || distance < nearest.distance) {
    nearest.found = true;
    nearest.distance = distance;
    nearest.hash = hash;
  }
  return 1;  // walk the whole index
}

bool RegisteredViewer(uint8_t minorVersion) { return minorVersion == 27 || minorVersion == 33; }

}  // namespace

}  // namespace marlet

using namespace marlet;

extern "C" {

MARLET_EXPORT int32_t MARLET_API HlpTopicJumpAPI(const char *file, TopicHandle topic) {
  if (file == nullptr || topic == nullptr) return 0;

  // No context index, or an empty one, leaves hash 0, whose string is empty:
  // the viewer then gets "-i" alone and opens the file at its contents.
  Nearest nearest{topic->topicOffset, false, 0, 0};
  HlpEnumContext(topic->container, KeepNearest, reinterpret_cast<MarletUserData>(&nearest));
  char context[kContextStringSize] = {};
  HlpCreateStringForHashValue(nearest.hash, context);

  char command[kCommandLineSize] = {};
  const HelpTitleInfo *info = topic->titleInfo;
  if (info != nullptr && RegisteredViewer(info->minorVersion)) {
    HINSTANCE found = FindExecutableA(file, ".", command);
    // With no program registered for the file, WINHELP.EXE is the viewer that
    // reads every version; a user with another viewer can put it on the
    // search path under that name.
    if (reinterpret_cast<intptr_t>(found) <= 32 || command[0] == '\0') lstrcpyA(command, kWinHelp);
  } else {
    lstrcpyA(command, kWinHelp);
  }

  // Program, " -i", the context string, " ", the path and the terminator must
  // fit the buffer; a command line cut short would name another file, so a
  // longer one is not started at all.
  const size_t length = std::strlen(command);
  const size_t needed = length + 3 + std::strlen(context) + 1 + std::strlen(file) + 1;
  if (needed > kCommandLineSize) return 0;
  wnsprintfA(command + length, static_cast<int>(kCommandLineSize - length), " -i%s %s", context, file);

  return WinExec(command, SW_SHOW) >= 32 ? 1 : 0;
}

}  // extern "C"
